// The access check of key security: what the token may do to a key, by the key's owner and its
// DACL's allow and deny entries in order, generic rights mapped to the key rights.
#include "../keysecurity.h"

using namespace winsim;

namespace {

constexpr DWORD kAllKeyRights = KEY_ALL_ACCESS;

DWORD MapGeneric(DWORD mask) {
    if (mask & GENERIC_READ) mask |= KEY_READ;
    if (mask & GENERIC_WRITE) mask |= KEY_WRITE;
    if (mask & GENERIC_EXECUTE) mask |= KEY_EXECUTE;
    if (mask & GENERIC_ALL) mask |= KEY_ALL_ACCESS;
    return mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

// Rights no key grants: ACCESS_SYSTEM_SECURITY needs SeSecurityPrivilege, which the token never
// has enabled; NT answers that before it looks at the key.
LONG CheckSystemSecurity(REGSAM desired) {
    return (desired & ACCESS_SYSTEM_SECURITY) && IsNT() ? ERROR_PRIVILEGE_NOT_HELD : ERROR_SUCCESS;
}

} // namespace

namespace winsim {

DWORD GrantedAccess(const KeySecurity* sec) {
    if (!sec || sec->dacl != DaclKind::List || !IsNT()) return kAllKeyRights;
    DWORD granted = 0, denied = 0;
    // NT 4.0 lets the owner read and rewrite the DACL whatever the DACL says.
    if (!sec->owner.empty() && TokenHoldsSid(sec->owner)) granted |= READ_CONTROL | WRITE_DAC;
    for (const Ace& a : sec->aces) {
        if (!TokenHoldsSid(a.sid)) continue;
        DWORD m = MapGeneric(a.mask);
        if (a.type == ACCESS_ALLOWED_ACE_TYPE)
            granted |= m & ~denied;
        else
            denied |= m & ~granted;
    }
    if (TakeOwnershipEnabled()) granted |= WRITE_OWNER;
    return granted & kAllKeyRights;
}

LONG CheckAccess(const KeySecurity* sec, REGSAM desired, DWORD* handleRights) {
    // 95/98 have no registry security and ignore the rights asked for, whatever their bits.
    if (!IsNT()) {
        if (handleRights) *handleRights = kAllKeyRights;
        return ERROR_SUCCESS;
    }
    LONG err = CheckSystemSecurity(desired);
    if (err != ERROR_SUCCESS) return err;
    DWORD granted = GrantedAccess(sec);
    bool maximum = (desired & MAXIMUM_ALLOWED) != 0;
    DWORD want = MapGeneric(desired) & ~(MAXIMUM_ALLOWED | SYNCHRONIZE);
    // A bit outside KEY_ALL_ACCESS is granted by no DACL, so an open asking it is refused.
    if (want & ~granted) return ERROR_ACCESS_DENIED;
    if (maximum && granted == 0) return ERROR_ACCESS_DENIED;
    if (handleRights) *handleRights = maximum ? granted : want & kAllKeyRights;
    return ERROR_SUCCESS;
}

LONG CreatorAccess(REGSAM desired, DWORD* handleRights) {
    LONG err = CheckSystemSecurity(desired);
    if (err != ERROR_SUCCESS) return err;
    const bool maximum = (desired & MAXIMUM_ALLOWED) != 0 || !IsNT();
    *handleRights = maximum ? kAllKeyRights : MapGeneric(desired) & kAllKeyRights;
    return ERROR_SUCCESS;
}

} // namespace winsim
