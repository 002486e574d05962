// A NETAPI32.DLL for the Windows tier (tools/windows.sh) to run PWUNINST under Wine as an NT 4.0
// administrator. Wine's own NetUserGetInfo answers level 1 with privilege 0 (USER_PRIV_GUEST) for
// the user it runs as, and has no setting for it, so the uninstaller would stop at its
// administrator check. This one answers as NT 4.0 does for a member of Administrators: level 1
// for the logged-on user, with USER_PRIV_ADMIN; any other user is unknown and any other level
// invalid. It is loaded only for the uninstaller's runs, in place of Wine's (WINEDLLOVERRIDES),
// and never shipped.
#include <windows.h>

#include <cwchar>

namespace {

// USER_INFO_1 as the network API lays it out; the SDK's header also declares the calls below
// as imports, which their definitions here would contradict.
struct UserInfo1 {
    LPWSTR name;
    LPWSTR password;
    DWORD passwordAge;
    DWORD privilege;
    LPWSTR homeDir;
    LPWSTR comment;
    DWORD flags;
    LPWSTR scriptPath;
};

constexpr DWORD kUserPrivAdmin = 2;
constexpr DWORD kUfScript = 0x0001;
constexpr DWORD kUfNormalAccount = 0x0200;
constexpr DWORD kNerrUserNotFound = 2221;
constexpr DWORD kUnlen = 256;

} // namespace

extern "C" {

// The buffer holds the record and, after it, the user's name; the strings it does not know
// point at the name's terminator.
DWORD WINAPI AdminNetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buffer) {
    if (!buffer) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    if (server && server[0]) return ERROR_NOT_SUPPORTED;
    if (level != 1) return ERROR_INVALID_LEVEL;
    WCHAR current[kUnlen + 1];
    DWORD length = kUnlen + 1;
    if (!user || !GetUserNameW(current, &length) || lstrcmpiW(current, user) != 0)
        return kNerrUserNotFound;

    const size_t chars = std::wcslen(current) + 1;
    auto* info = static_cast<UserInfo1*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(UserInfo1) + chars * sizeof(WCHAR)));
    if (!info) return ERROR_NOT_ENOUGH_MEMORY;
    auto* name = reinterpret_cast<LPWSTR>(info + 1);
    std::wmemcpy(name, current, chars);
    LPWSTR empty = name + chars - 1;
    *info = {name, empty, 0, kUserPrivAdmin, empty, empty, kUfScript | kUfNormalAccount, empty};
    *buffer = reinterpret_cast<LPBYTE>(info);
    return ERROR_SUCCESS;
}

DWORD WINAPI AdminNetApiBufferFree(LPVOID buffer) {
    if (buffer) HeapFree(GetProcessHeap(), 0, buffer);
    return ERROR_SUCCESS;
}

} // extern "C"
