// Key security: whether the process token may do what it asks to a key, given the key's owner
// and DACL. The registry checks every open and call with it; the spooler asks the token too.
#ifndef WINSIM_KEYSECURITY_H
#define WINSIM_KEYSECURITY_H

#include "security/descriptor.h"
#include "security/token.h"

namespace winsim {

// Everything the process may do to a key with this security now (null: no security of its own).
DWORD GrantedAccess(const KeySecurity* sec);
// ERROR_SUCCESS when every right of `desired` (generic rights mapped, MAXIMUM_ALLOWED meaning
// "anything at all") is granted; ERROR_ACCESS_DENIED otherwise. On success *handleRights (when
// given) receives the rights a handle opened with `desired` holds: the mapped rights asked for,
// or with MAXIMUM_ALLOWED everything granted now.
// On 95/98 every mask succeeds with every right. On NT, ACCESS_SYSTEM_SECURITY answers
// ERROR_PRIVILEGE_NOT_HELD, and a right outside KEY_ALL_ACCESS is never granted.
LONG CheckAccess(const KeySecurity* sec, REGSAM desired, DWORD* handleRights = nullptr);
// The rights the creator of a new key holds: those it asked for that keys have (every right with
// MAXIMUM_ALLOWED, and on 95/98); ACCESS_SYSTEM_SECURITY as in CheckAccess.
LONG CreatorAccess(REGSAM desired, DWORD* handleRights);

} // namespace winsim

#endif
