// wsprintfA: user32's formatting into a buffer of at most 1024 bytes.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

extern "C" {

int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    va_list args;
    va_start(args, lpFmt);
    int n = std::vsnprintf(lpOut, 1024, lpFmt, args);
    va_end(args);
    return n < 0 ? 0 : std::min(n, 1023);
}

} // extern "C"
