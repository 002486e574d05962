// The user name (advapi32, winbase.h): GetUserNameA and GetUserNameW report the machine's user.
#include "account.h"

using namespace winsim;

namespace {

// `api` is the calling function's name: each form fails under its own.
template <typename Char> BOOL GetUserNameT(Char* lpBuffer, LPDWORD pcbBuffer, const char* api) {
    Require();
    DWORD err;
    if (ShouldFail(api, &err)) {
        SetLastError(err);
        return FALSE;
    }
    if (!pcbBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name = MachineUser();
    DWORD need = static_cast<DWORD>(name.size() + 1); // characters, NUL included
    if (!lpBuffer || *pcbBuffer < need) {
        *pcbBuffer = need;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    for (size_t i = 0; i < name.size(); ++i)
        lpBuffer[i] = static_cast<Char>(static_cast<unsigned char>(name[i]));
    lpBuffer[name.size()] = 0;
    *pcbBuffer = need;
    return TRUE;
}

} // namespace

extern "C" {

BOOL WINAPI GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer) {
    return GetUserNameT(lpBuffer, pcbBuffer, WINSIM_API_NAME());
}

BOOL WINAPI GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer) {
    return GetUserNameT(lpBuffer, pcbBuffer, WINSIM_API_NAME());
}

} // extern "C"
