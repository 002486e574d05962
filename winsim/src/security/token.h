// SIDs and the process token: the SIDs the token holds for the machine's user, and its
// privileges. Windows 95/98 have neither.
#ifndef WINSIM_SECURITY_TOKEN_H
#define WINSIM_SECURITY_TOKEN_H

#include "../internal.h"

#include <cstring>
#include <initializer_list>

namespace winsim {

// True, with ERROR_CALL_NOT_IMPLEMENTED as the last error, on 95/98: no security call works there.
bool SecurityUnsupported();

// A SID in its binary layout (revision, count, authority, sub-authorities).
using SidBytes = std::vector<uint8_t>;

SidBytes MakeSid(uint8_t authority, std::initializer_list<DWORD> subAuthorities);
SidBytes SidSystem();             // S-1-5-18
SidBytes SidAdministrators();     // S-1-5-32-544
SidBytes SidUsers();              // S-1-5-32-545
SidBytes SidGuests();             // S-1-5-32-546
SidBytes SidEveryone();           // S-1-1-0
SidBytes SidInteractive();        // S-1-5-4
SidBytes SidAuthenticatedUsers(); // S-1-5-11
// The SID at `p` when it is well formed (revision 1, at most 15 sub-authorities).
bool ReadSid(const void* p, SidBytes* sid);

// ---- the process token --------------------------------------------------------------------
bool TokenHoldsSid(const SidBytes& sid);
// Whether the token may make `sid` an owner: its user or a group it may own through.
bool TokenCanOwn(const SidBytes& sid);
// The owner a key gets when it first receives security of its own.
SidBytes TokenDefaultOwner();
bool TakeOwnershipEnabled();

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
