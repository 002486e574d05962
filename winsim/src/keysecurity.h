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
LONG CheckAccess(const KeySecurity* sec, REGSAM desired, DWORD* handleRights = nullptr);

} // namespace winsim

#endif
