// Text comparison as the national language support does it for the Western code page (1252):
// CompareStringA (kernel32, winnls.h), and lstrcmpA and lstrcmpiA (kernel32, winbase.h), which
// sort the same way. Sorting is linguistic, level by level: letters without regard to case or
// accent first, then accents, then case (lower before upper), then, in a word sort, the hyphens
// and apostrophes that the first levels passed over. Also the code page against Unicode
// (MultiByteToWideChar, nls.h).
#include "nls.h"

#include <winnls.h>

#include <cstring>

using namespace winsim;

namespace {

// Code page 1252's characters 0x80 to 0x9F in UTF-16; the others are their own value.
const WORD k1252From80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                              0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char winsim::AnsiChar(WORD c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (k1252From80[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

WORD winsim::WideChar(unsigned char c) {
    return c >= 0x80 && c < 0xA0 ? k1252From80[c - 0x80] : c;
}

std::string winsim::NarrowText(LPCWSTR text) {
    std::string out;
    for (; text && *text; ++text)
        out += AnsiChar(*text);
    return out;
}

namespace {

// Upper case of a code page 1252 character.
unsigned char FoldCase(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
    switch (c) {
    case 0x9A:
        return 0x8A; // s caron
    case 0x9C:
        return 0x8C; // oe
    case 0x9E:
        return 0x8E; // z caron
    case 0xFF:
        return 0x9F; // y diaeresis
    default:
        return c;
    }
}

bool IsLower(unsigned char c) {
    return FoldCase(c) != c;
}

// The plain letter under an accented capital; 0 when `c` is no letter at all. Letters of their
// own (AE, ETH, THORN, sharp s, OE, f hook) sort after the letter they follow in the alphabet.
int LetterWeight(unsigned char up) {
    // The accented capitals and letters of their own, by code range: the letter they sort
    // under, and 1 for a letter that sorts just after it.
    struct Letter {
        unsigned char first, last;
        char base;
        int after;
    };
    static const Letter kLetters[] = {
        {0xC0, 0xC5, 'A', 0}, {0xC6, 0xC6, 'A', 1}, {0xC7, 0xC7, 'C', 0}, {0xC8, 0xCB, 'E', 0},
        {0xCC, 0xCF, 'I', 0}, {0xD0, 0xD0, 'D', 1}, {0xD1, 0xD1, 'N', 0}, {0xD2, 0xD6, 'O', 0},
        {0xD8, 0xD8, 'O', 0}, {0x8C, 0x8C, 'O', 1}, {0xD9, 0xDC, 'U', 0}, {0xDD, 0xDD, 'Y', 0},
        {0x9F, 0x9F, 'Y', 0}, {0x8A, 0x8A, 'S', 0}, {0xDF, 0xDF, 'S', 1}, {0x8E, 0x8E, 'Z', 0},
        {0xDE, 0xDE, 'Z', 1}, {0x83, 0x83, 'F', 1},
    };
    if (up >= 'A' && up <= 'Z') return (up - 'A') * 8 + 8;
    for (const Letter& l : kLetters)
        if (up >= l.first && up <= l.last) return (l.base - 'A') * 8 + 8 + l.after;
    return 0;
}

bool IsAccented(unsigned char up) {
    return (up >= 0xC0 && up <= 0xDD && up != 0xC6 && up != 0xD0 && up != 0xD7) || up == 0x8A ||
           up == 0x8E || up == 0x9F;
}

// What one character weighs. A character with no weight at all, or a symbol ignored, is
// skipped; a hyphen or apostrophe in a word sort weighs only at the last level.
enum class Kind { Skip, Weighed, Special };

struct Weight {
    Kind kind = Kind::Skip;
    int primary = 0, accent = 0, cases = 0;
};

Weight Weigh(unsigned char c, DWORD flags) {
    Weight w;
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return w; // no weight at all
    unsigned char up = FoldCase(c);
    int letter = LetterWeight(up);
    w.kind = Kind::Weighed;
    if (letter) {
        w.primary = 0x300 + letter;
        w.accent = (flags & NORM_IGNORENONSPACE) || !IsAccented(up) ? 0 : up;
        w.cases = (flags & NORM_IGNORECASE) || IsLower(c) ? 0 : 1;
    } else if (c >= '0' && c <= '9') {
        w.primary = 0x200 + c;
    } else if (flags & NORM_IGNORESYMBOLS) {
        w.kind = Kind::Skip;
    } else if ((flags & SORT_STRINGSORT) == 0 && (c == '-' || c == '\'' || c == 0xAD)) {
        w.kind = Kind::Special;
    } else {
        w.primary = 0x100 + c;
    }
    return w;
}

enum class Level { Primary, Accents, Cases, Special };

// The value a weighed character has at `level`; -1 when it has none there. A special
// character weighs by where it stands and what it is.
int ValueAt(const unsigned char* s, size_t i, DWORD flags, Level level) {
    const Weight w = Weigh(s[i], flags);
    if (level == Level::Special)
        return w.kind == Kind::Special ? static_cast<int>(i) * 256 + s[i] : -1;
    if (w.kind != Kind::Weighed) return -1;
    return level == Level::Primary ? w.primary : (level == Level::Accents ? w.accent : w.cases);
}

// Compares the two strings' weights at one level, as sequences (a shorter prefix first),
// walking both strings side by side.
int Order(const unsigned char* a, size_t na, const unsigned char* b, size_t nb, DWORD flags,
          Level level) {
    size_t i = 0, j = 0;
    for (;;) {
        int x = -1, y = -1;
        while (i < na && (x = ValueAt(a, i, flags, level)) < 0)
            ++i;
        while (j < nb && (y = ValueAt(b, j, flags, level)) < 0)
            ++j;
        if (i >= na || j >= nb) return i < na ? 1 : (j < nb ? -1 : 0);
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
}

size_t Length(const char* s, int count) {
    if (count < 0) return std::strlen(s);
    const void* nul = std::memchr(s, 0, static_cast<size_t>(count));
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - s)
               : static_cast<size_t>(count);
}

int Compare(DWORD flags, const char* a, size_t na, const char* b, size_t nb) {
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    for (Level level : {Level::Primary, Level::Accents, Level::Cases, Level::Special})
        if (int r = Order(x, na, y, nb, flags, level)) return r;
    return 0;
}

} // namespace

extern "C" {

int WINAPI CompareStringA(LCID Locale, DWORD dwCmpFlags, LPCSTR lpString1, int cchCount1,
                          LPCSTR lpString2, int cchCount2) {
    (void)Locale; // every locale of the machine sorts the Western way
    WINSIM_FAILPOINT(0);
    const DWORD known = NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS |
                        NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | SORT_STRINGSORT;
    if (dwCmpFlags & ~known) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (!lpString1 || !lpString2 || cchCount1 < -1 || cchCount2 < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int r = Compare(dwCmpFlags, lpString1, Length(lpString1, cchCount1), lpString2,
                    Length(lpString2, cchCount2));
    return r < 0 ? CSTR_LESS_THAN : (r > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL);
}

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2) return lpString1 == lpString2 ? 0 : (lpString1 ? 1 : -1);
    int r = Compare(0, lpString1, std::strlen(lpString1), lpString2, std::strlen(lpString2));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// The same word sort, case ignored, as CompareStringA with NORM_IGNORECASE.
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2) return lpString1 == lpString2 ? 0 : (lpString1 ? 1 : -1);
    int r = Compare(NORM_IGNORECASE, lpString1, std::strlen(lpString1), lpString2,
                    std::strlen(lpString2));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

} // extern "C"

// Every code page our machines know is the system one: CP_ACP, CP_OEMCP and 1252 itself (the
// OEM code page's own characters are not kept; its text is read as the system code page).
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    Require();
    WINSIM_FAILPOINT(0);
    const DWORD known = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr) ||
        (lpWideCharStr && static_cast<const void*>(lpWideCharStr) == lpMultiByteStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (CodePage != CP_ACP && CodePage != CP_OEMCP && CodePage != 1252) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((dwFlags & ~known) != 0 || (dwFlags & MB_PRECOMPOSED && dwFlags & MB_COMPOSITE)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    // -1: the text and its terminator.
    const size_t count = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1
                                           : static_cast<size_t>(cbMultiByte);
    if (cchWideChar == 0) return static_cast<int>(count);
    const size_t room = static_cast<size_t>(cchWideChar);
    for (size_t i = 0; i < count && i < room; ++i)
        lpWideCharStr[i] = WideChar(static_cast<unsigned char>(lpMultiByteStr[i]));
    if (count > room) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(count);
}
