// The ANSI code page (1252) that the machine's A calls speak, and UTF-16 for the W calls.
#include "internal.h"

namespace winsim {

namespace {

// 0x80..0x9F of code page 1252; 0 where the code page has no character.
const WCHAR kHigh1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                             0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

WCHAR WidenChar(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80 || b > 0x9F) return b;
    return kHigh1252[b - 0x80] ? kHigh1252[b - 0x80] : b;
}

// A character the code page lacks becomes '?', as WideCharToMultiByte's default character.
char NarrowChar(WCHAR w) {
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return static_cast<char>(w);
    if (w <= 0x9F && !kHigh1252[w - 0x80]) return static_cast<char>(w);
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] == w) return static_cast<char>(0x80 + i);
    return '?';
}

std::string NarrowText(LPCWSTR text) {
    std::string out;
    for (; text && *text; ++text)
        out += NarrowChar(*text);
    return out;
}

} // namespace winsim
