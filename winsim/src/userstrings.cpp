// The text calls of user32 (winuser.h) that winsim has: CharUpperA, and LoadStringA over the
// string table of a module's resources.
#include "resources.h"

#include <algorithm>

using namespace winsim;

extern "C" {

LPSTR WINAPI CharUpperA(LPSTR lpsz) {
    // A value below 0x10000 is a single character passed in the pointer itself.
    if (reinterpret_cast<uintptr_t>(lpsz) < 0x10000) {
        uintptr_t c = reinterpret_cast<uintptr_t>(lpsz) & 0xff;
        if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
        return reinterpret_cast<LPSTR>(c);
    }
    for (char* p = lpsz; *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    return lpsz;
}

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    // The ANSI form has no "pointer to the resource" mode: a zero size is refused, not written.
    if (!lpBuffer || cchBufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    lpBuffer[0] = '\0';
    WINSIM_FAILPOINT(0);
    // Strings come in blocks of 16: block uID / 16 + 1 holds them as counted UTF-16 texts.
    WORD id = LOWORD(uID);
    const unsigned char* p = nullptr;
    DWORD size = 0;
    if (!FindModuleResource(hInstance, MAKEINTRESOURCEA(id / 16 + 1), RT_STRING, &p, &size))
        return 0;
    const unsigned char* end = p + size;
    for (int i = 0; i < id % 16; ++i) {
        if (end - p < 2) return 0;
        size_t skip = 2 + 2 * size_t{ReadWord(p)};
        if (static_cast<size_t>(end - p) < skip) return 0;
        p += skip;
    }
    if (end - p < 2) return 0;
    size_t length = ReadWord(p);
    p += 2;
    length = std::min(length, static_cast<size_t>(end - p) / 2);
    size_t copied = std::min(length, static_cast<size_t>(cchBufferMax) - 1);
    for (size_t i = 0; i < copied; ++i)
        lpBuffer[i] = AnsiChar(ReadWord(p + 2 * i));
    lpBuffer[copied] = '\0';
    return static_cast<int>(copied);
}

} // extern "C"
