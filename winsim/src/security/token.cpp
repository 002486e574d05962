// SIDs and the process token: the user's SIDs by the machine's settings, the privileges of NT 4.0
// by their LUIDs, and the calls that allocate SIDs and adjust the token.
#include "token.h"

#include <cstddef>
#include <cstdlib>
#include <set>

using namespace winsim;

namespace {

// Privileges by their LUID on NT 4.0; the token holds only the two the product adjusts.
struct Privilege {
    const char* name;
    DWORD luid;
};
const Privilege kPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},
    {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},
    {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},
    {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},
    {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14},
    {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},
    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},
    {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},
    {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},
};
constexpr DWORD kTakeOwnershipLuid = 9;
constexpr DWORD kShutdownLuid = 19;

// The process token: one per process, so its enabled privileges outlive the token handles.
struct Token {
    std::set<DWORD> enabled;
    std::map<uintptr_t, DWORD> handleAccess;
};
Token& TheToken() {
    static Token* token = new Token; // never destroyed: the machine may close at process exit
    return *token;
}

// SIDs handed out by AllocateAndInitializeSid, so FreeSid frees only what it gave.
std::set<void*>& AllocatedSids() {
    static std::set<void*>* sids = new std::set<void*>;
    return *sids;
}

void ResetToken() {
    TheToken() = Token{};
}

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr, ResetToken}), true);

int PrivilegeLevel() {
    return std::atoi(GetSetting("machine", "privilege", "2").c_str());
}

bool HoldsPrivilege(DWORD luid) {
    if (luid == kShutdownLuid) return true;
    if (luid == kTakeOwnershipLuid) {
        std::string def = (IsNT() && PrivilegeLevel() == 2) ? "1" : "0";
        return GetSetting("machine", "takeownership", def) == "1";
    }
    return false;
}

SidBytes UserSid() {
    std::string user = GetSetting("machine", "user", "Administrator");
    DWORD rid = IEquals(user, "Administrator") ? 500 : (IEquals(user, "Guest") ? 501 : 1000);
    return MakeSid(5, {21, 1004336348, 1177238915, 682003330, rid});
}

const Privilege* FindPrivilege(DWORD luid) {
    for (const Privilege& p : kPrivileges)
        if (p.luid == luid) return &p;
    return nullptr;
}

} // namespace

namespace winsim {

bool SecurityUnsupported() {
    if (IsNT()) return false;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return true;
}

SidBytes MakeSid(uint8_t authority, std::initializer_list<DWORD> subAuthorities) {
    SidBytes sid(8 + 4 * subAuthorities.size(), 0);
    sid[0] = SID_REVISION;
    sid[1] = static_cast<uint8_t>(subAuthorities.size());
    sid[7] = authority;
    size_t at = 8;
    for (DWORD s : subAuthorities) {
        std::memcpy(&sid[at], &s, 4);
        at += 4;
    }
    return sid;
}

SidBytes SidSystem() {
    return MakeSid(5, {SECURITY_LOCAL_SYSTEM_RID});
}
SidBytes SidAdministrators() {
    return MakeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
}
SidBytes SidUsers() {
    return MakeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS});
}
SidBytes SidGuests() {
    return MakeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, 546});
}
SidBytes SidEveryone() {
    return MakeSid(1, {SECURITY_WORLD_RID});
}
SidBytes SidInteractive() {
    return MakeSid(5, {4});
}
SidBytes SidAuthenticatedUsers() {
    return MakeSid(5, {11});
}

bool ReadSid(const void* p, SidBytes* sid) {
    if (!p) return false;
    const uint8_t* b = static_cast<const uint8_t*>(p);
    if (b[0] != SID_REVISION || b[1] > 15) return false;
    sid->assign(b, b + 8 + 4 * b[1]);
    return true;
}

bool TokenHoldsSid(const SidBytes& sid) {
    if (sid == UserSid() || sid == SidEveryone() || sid == SidInteractive() ||
        sid == SidAuthenticatedUsers())
        return true;
    int level = PrivilegeLevel();
    if (sid == SidAdministrators()) return level >= 2;
    if (sid == SidUsers()) return level >= 1;
    if (sid == SidGuests()) return level <= 0;
    return false;
}

bool TokenCanOwn(const SidBytes& sid) {
    return sid == UserSid() || (sid == SidAdministrators() && PrivilegeLevel() >= 2);
}

SidBytes TokenDefaultOwner() {
    return PrivilegeLevel() >= 2 ? SidAdministrators() : UserSid();
}

// Whether the process token has SeShutdownPrivilege enabled (ExitWindowsEx on NT asks).
bool ShutdownPrivilegeEnabled() {
    return TheToken().enabled.count(kShutdownLuid) && HoldsPrivilege(kShutdownLuid);
}

bool TakeOwnershipEnabled() {
    return TheToken().enabled.count(kTakeOwnershipLuid) && HoldsPrivilege(kTakeOwnershipLuid);
}

void SetTakeOwnershipHeld(bool held) {
    SetSetting("machine", "takeownership", held ? "1" : "0");
}

} // namespace winsim

extern "C" {

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                                     BYTE nSubAuthorityCount, DWORD nSubAuthority0,
                                     DWORD nSubAuthority1, DWORD nSubAuthority2,
                                     DWORD nSubAuthority3, DWORD nSubAuthority4,
                                     DWORD nSubAuthority5, DWORD nSubAuthority6,
                                     DWORD nSubAuthority7, PSID* pSid) {
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
    if (!pIdentifierAuthority || !pSid || nSubAuthorityCount == 0 || nSubAuthorityCount > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD subs[8] = {nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3,
                           nSubAuthority4, nSubAuthority5, nSubAuthority6, nSubAuthority7};
    size_t size = 8 + 4 * static_cast<size_t>(nSubAuthorityCount);
    uint8_t* sid = static_cast<uint8_t*>(std::malloc(size));
    if (!sid) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    sid[0] = SID_REVISION;
    sid[1] = nSubAuthorityCount;
    std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
    std::memcpy(sid + 8, subs, 4 * static_cast<size_t>(nSubAuthorityCount));
    AllocatedSids().insert(sid);
    *pSid = sid;
    return TRUE;
}

PVOID WINAPI FreeSid(PSID pSid) {
    WINSIM_FAILPOINT(pSid); // a SID that is not freed comes back
    // Works on every system so that no caller leaks; frees only what AllocateAndInitializeSid gave.
    if (!pSid || AllocatedSids().erase(pSid) == 0) return pSid;
    std::free(pSid);
    return nullptr;
}

BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2) {
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
    SidBytes a, b;
    if (!ReadSid(pSid1, &a) || !ReadSid(pSid2, &b)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return a == b;
}

DWORD WINAPI GetLengthSid(PSID pSid) {
    if (SecurityUnsupported() || !pSid) return 0;
    return 8 + 4 * static_cast<DWORD>(static_cast<const uint8_t*>(pSid)[1]);
}

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
    if (!TokenHandle) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    // GetCurrentProcess() is -1, which may reach us sign- or zero-extended.
    bool self = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ProcessHandle)) == 0xffffffffu;
    if (!self && !IsObjectHandle(ProcessHandle, ObjectKind::Process)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HANDLE token = NewObjectHandle(ObjectKind::Token);
    TheToken().handleAccess[reinterpret_cast<uintptr_t>(token)] = DesiredAccess;
    *TokenHandle = token;
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
    (void)lpSystemName; // every system name is taken as this machine
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
    if (!lpName || !lpLuid) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    for (const Privilege& p : kPrivileges) {
        if (IEquals(p.name, lpName)) {
            lpLuid->LowPart = p.luid;
            lpLuid->HighPart = 0;
            return TRUE;
        }
    }
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                  PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                  PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
    Token& token = TheToken();
    auto access = token.handleAccess.find(reinterpret_cast<uintptr_t>(TokenHandle));
    if (!IsObjectHandle(TokenHandle, ObjectKind::Token) || access == token.handleAccess.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(access->second & TOKEN_ADJUST_PRIVILEGES) ||
        (PreviousState && !(access->second & TOKEN_QUERY))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!DisableAllPrivileges && !NewState) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Work out every change first: a too small previous-state buffer changes nothing.
    std::map<DWORD, bool> changes; // luid -> enable
    bool notAll = false;
    if (DisableAllPrivileges) {
        for (DWORD luid : token.enabled)
            changes[luid] = false;
    } else {
        const uint8_t* entries =
            reinterpret_cast<const uint8_t*>(NewState) + offsetof(TOKEN_PRIVILEGES, Privileges);
        for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
            LUID_AND_ATTRIBUTES la;
            std::memcpy(&la, entries + i * sizeof la, sizeof la);
            if (la.Luid.HighPart != 0 || !FindPrivilege(la.Luid.LowPart) ||
                !HoldsPrivilege(la.Luid.LowPart)) {
                notAll = true;
                continue;
            }
            bool enable = (la.Attributes & SE_PRIVILEGE_ENABLED) != 0;
            if (enable != (token.enabled.count(la.Luid.LowPart) != 0))
                changes[la.Luid.LowPart] = enable;
        }
    }
    if (PreviousState) {
        DWORD needed = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) +
                                          changes.size() * sizeof(LUID_AND_ATTRIBUTES));
        if (ReturnLength) *ReturnLength = needed;
        if (BufferLength < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        uint8_t* out = reinterpret_cast<uint8_t*>(PreviousState);
        DWORD count = static_cast<DWORD>(changes.size());
        std::memcpy(out, &count, sizeof count);
        size_t i = 0;
        for (const auto& c : changes) {
            LUID_AND_ATTRIBUTES la{};
            la.Luid.LowPart = c.first;
            la.Attributes = c.second ? 0 : SE_PRIVILEGE_ENABLED; // the state before
            std::memcpy(out + offsetof(TOKEN_PRIVILEGES, Privileges) + i++ * sizeof la, &la,
                        sizeof la);
        }
    }
    for (const auto& c : changes) {
        if (c.second)
            token.enabled.insert(c.first);
        else
            token.enabled.erase(c.first);
    }
    // Success either way; the last error tells whether every privilege was there to adjust.
    SetLastError(notAll ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
    return TRUE;
}

} // extern "C"
