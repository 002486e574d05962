// Record packing: the checks and answers that every call filling a caller's buffer shares.
#include "pack.h"

#include "spooler.h"

namespace winsim::spooler {

bool EnumReady(const char* function, LPCSTR server, LPDWORD needed, LPDWORD returned) {
    if (returned) *returned = 0;
    if (!Begin(function)) return false;
    if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
    return LocalServer(server);
}

bool GetReady(const char* function, LPDWORD needed) {
    if (!Begin(function)) return false;
    if (!needed) return Fail(ERROR_INVALID_PARAMETER);
    *needed = 0;
    return true;
}

BOOL NoSuchLevel(LPDWORD needed, LPDWORD returned) {
    if (needed) *needed = 0;
    if (returned) *returned = 0;
    return Fail(ERROR_INVALID_LEVEL);
}

BOOL PackText(const std::string& text, LPBYTE buf, DWORD cb, LPDWORD needed) {
    DWORD need = static_cast<DWORD>(text.size() + 1);
    if (needed) *needed = need;
    if (!buf || cb < need) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buf, text.c_str(), need);
    return TRUE;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string s;
    for (const std::string& i : items) {
        s += i;
        s += '\0';
    }
    return s;
}

} // namespace winsim::spooler
