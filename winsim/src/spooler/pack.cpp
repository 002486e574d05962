// Record packing: the checks and answers that every call filling a caller's buffer shares.
#include "pack.h"

#include "spooler.h"

#include "../nls.h"

namespace winsim::spooler {

// NT's calls cross to the spooler, whose interface takes no null count; 95/98 fill the buffer
// and leave a count they have nowhere to put.
bool CountsGiven(LPDWORD needed, LPDWORD returned) {
    return !IsNT() || (needed && returned) || Fail(RPC_X_NULL_REF_POINTER);
}

bool EnumReady(const char* function, LPCSTR server, LPDWORD needed, LPDWORD returned) {
    if (returned) *returned = 0;
    if (!Begin(function)) return false;
    if (!CountsGiven(needed, returned)) return false;
    return LocalServer(server);
}

bool GetReady(const char* function, LPDWORD needed) {
    if (!Begin(function)) return false;
    DWORD unused = 0;
    if (!CountsGiven(needed, &unused)) return false;
    if (needed) *needed = 0;
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

void WriteWideText(char* at, std::string_view text) {
    for (size_t i = 0; i <= text.size(); ++i) { // the terminator too
        const WORD w = i < text.size() ? WideChar(static_cast<unsigned char>(text[i])) : 0;
        std::memcpy(at + i * sizeof w, &w, sizeof w);
    }
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
