// Key security shared by the registry (registry.cpp) and the security family (security.cpp):
// the stored form of a key's owner and DACL, the process token's view of it, SDDL text and the
// binary descriptor layouts that the API hands in and out.
#ifndef WINSIM_KEYSECURITY_H
#define WINSIM_KEYSECURITY_H

#include "internal.h"

#include <cstring>

namespace winsim {

// A SID in its binary layout (revision, count, authority, sub-authorities).
using SidBytes = std::vector<uint8_t>;

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

// ---- SIDs and SDDL ----------------------------------------------------------------------
SidBytes MakeSid(uint8_t authority, std::initializer_list<DWORD> subAuthorities);
SidBytes SidSystem();         // S-1-5-18
SidBytes SidAdministrators(); // S-1-5-32-544
SidBytes SidEveryone();       // S-1-1-0
// The SID at `p` when it is well formed (revision 1, at most 15 sub-authorities).
bool ReadSid(const void* p, SidBytes* sid);

bool ParseSddl(const std::string& text, KeySecurity* out);
std::string ToSddl(const KeySecurity& sec);

// ---- the process token --------------------------------------------------------------------
bool TokenHoldsSid(const SidBytes& sid);
// Whether the token may make `sid` an owner: its user or a group it may own through.
bool TokenCanOwn(const SidBytes& sid);
// The owner a key gets when it first receives security of its own.
SidBytes TokenDefaultOwner();
bool TakeOwnershipEnabled();

// ---- access -------------------------------------------------------------------------------
// Everything the process may do to a key with this security now (null: no security of its own).
DWORD GrantedAccess(const KeySecurity* sec);
// ERROR_SUCCESS when every right of `desired` (generic rights mapped, MAXIMUM_ALLOWED meaning
// "anything at all") is granted; ERROR_ACCESS_DENIED otherwise. On success *handleRights (when
// given) receives the rights a handle opened with `desired` holds: the mapped rights asked for,
// or with MAXIMUM_ALLOWED everything granted now.
LONG CheckAccess(const KeySecurity* sec, REGSAM desired, DWORD* handleRights = nullptr);

// ---- binary descriptors -------------------------------------------------------------------
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

// Unaligned little-endian field access for caller-supplied layouts.
inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace winsim

#endif
