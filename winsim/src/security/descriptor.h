// Security descriptors: the stored form of a key's owner and DACL, its SDDL text, and the binary
// layouts (self-relative and absolute) that the API hands in and out.
#ifndef WINSIM_SECURITY_DESCRIPTOR_H
#define WINSIM_SECURITY_DESCRIPTOR_H

#include "token.h"

namespace winsim {

struct Ace {
    uint8_t type = ACCESS_ALLOWED_ACE_TYPE; // allowed or denied; no other type is kept
    uint8_t flags = 0;
    DWORD mask = 0;
    SidBytes sid;
};

// Absent: the key has no DACL, which grants everything; Null: a present NULL DACL, which grants
// everything too; List: the ACEs decide.
enum class DaclKind { Absent, Null, List };

struct KeySecurity {
    SidBytes owner; // empty: no owner recorded
    DaclKind dacl = DaclKind::Absent;
    std::vector<Ace> aces;
};

// ---- SDDL (sddl.cpp) ----------------------------------------------------------------------
// "O:owner D:(A;flags;rights;;;sid)...": the owner, an optional group (read and dropped), and a
// DACL of allow and deny entries or NO_ACCESS_CONTROL.
bool ParseSddl(const std::string& text, KeySecurity* out);
std::string ToSddl(const KeySecurity& sec);

// ---- binary descriptors (descriptor.cpp) ----------------------------------------------------
// A self-relative descriptor holding the parts that `info` asks for. Without security of its own
// a key reports Administrators as owner and no DACL.
std::vector<uint8_t> MakeSelfRelative(const KeySecurity* sec, SECURITY_INFORMATION info);

// The parts of a caller's descriptor, absolute or self-relative.
struct DescriptorParts {
    bool hasOwner = false;
    SidBytes owner;
    bool daclPresent = false;
    bool daclNull = false;
    std::vector<Ace> aces;
};
// ERROR_SUCCESS, ERROR_INVALID_SECURITY_DESCR, ERROR_INVALID_SID or ERROR_INVALID_ACL.
LONG ReadDescriptor(const void* descriptor, DescriptorParts* out);

inline DaclKind DaclKindOf(const DescriptorParts& parts) {
    if (!parts.daclPresent) return DaclKind::Absent;
    return parts.daclNull ? DaclKind::Null : DaclKind::List;
}

} // namespace winsim

#endif
