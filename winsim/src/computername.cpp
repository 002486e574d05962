// The computer's name (kernel32, winbase.h): GetComputerNameA reads it where Windows keeps it,
// the ComputerName value of the ComputerName key, which a fresh machine has (freshkeys.cpp).
#include "internal.h"

#include <cstring>

using namespace winsim;

extern "C" {

BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
    WINSIM_FAILPOINT(FALSE);
    Require();
    if (!lpBuffer || !nSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<SysValue> values;
    SysValues(kComputerNameKey, &values);
    const SysValue* v = nullptr;
    for (const SysValue& each : values)
        if (IEquals(each.name, "ComputerName")) v = &each;
    if (!v || v->type != REG_SZ) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const auto* text = reinterpret_cast<const char*>(v->data.data());
    const std::string name(text, strnlen(text, v->data.size()));
    const auto need = static_cast<DWORD>(name.size() + 1);
    // 95/98 want room for the longest name whatever the name is; NT for this one, and say how
    // much that is.
    const DWORD least = IsNT() ? need : MAX_COMPUTERNAME_LENGTH + 1;
    if (*nSize < least) {
        if (IsNT()) *nSize = need;
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(lpBuffer, name.c_str(), need);
    *nSize = need - 1;
    return TRUE;
}

} // extern "C"
