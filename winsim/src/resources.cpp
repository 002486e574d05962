// Resources (kernel32, winbase.h): FindResourceA, LoadResource, LockResource, FreeResource and
// SizeofResource over the compiled resources (.res) that a module carries (see
// cmake/Resources.cmake).
//
// A resource handle is the module handle plus 4 * (the resource's position + 1): module handles
// lie 64 KB apart, so the handle names both without a table of its own.
#include "resources.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace winsim;

namespace {

// Code page 1252's characters 0x80 to 0x9F; the others are their own UTF-16 values.
const WORD k80to9F[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char winsim::AnsiChar(WORD c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (k80to9F[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

WORD winsim::WideChar(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x80 && b <= 0x9F ? k80to9F[b - 0x80] : static_cast<WORD>(b);
}

namespace {

constexpr uint32_t kModuleMask = 0xFFFF0000u;
constexpr size_t kMaxResources = 0x3FFF;
constexpr WORD kLangNeutral = 0x0000;
constexpr WORD kLangEnglishUs = 0x0409; // the language of our machines

// A resource type or name: a number, or a text compared without regard to case.
struct ResId {
    bool isNumber = true;
    WORD number = 0;
    std::string text;

    bool operator==(const ResId& o) const {
        return isNumber == o.isNumber && (isNumber ? number == o.number : IEquals(text, o.text));
    }
};

struct Resource {
    ResId type;
    ResId name;
    WORD language = 0;
    const unsigned char* data = nullptr;
    DWORD size = 0;
};

DWORD ReadDword(const unsigned char* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

// A type or name field of a .res entry header: 0xFFFF and a number, or a NUL-ended UTF-16 text.
bool ReadId(const unsigned char* p, size_t avail, size_t* used, ResId* id) {
    if (avail < 2) return false;
    if (ReadWord(p) == 0xFFFF) {
        if (avail < 4) return false;
        id->number = ReadWord(p + 2);
        *used = 4;
        return true;
    }
    id->isNumber = false;
    for (size_t at = 0; at + 2 <= avail; at += 2) {
        WORD c = ReadWord(p + at);
        if (c == 0) {
            *used = at + 2;
            return true;
        }
        id->text += AnsiChar(c);
    }
    return false;
}

// The entries of a .res file: each a header (sizes, type, name, language) and the data, both
// padded to 4 bytes. The first entry is an empty marker. Stops at anything malformed.
std::vector<Resource> Parse(const unsigned char* res, size_t size) {
    std::vector<Resource> out;
    size_t at = 0;
    while (at + 8 <= size && out.size() < kMaxResources) {
        DWORD dataSize = ReadDword(res + at);
        DWORD headerSize = ReadDword(res + at + 4);
        if (headerSize < 16 || headerSize > size - at || dataSize > size - at - headerSize) break;
        const unsigned char* h = res + at + 8;
        size_t avail = headerSize - 8, used = 0;
        Resource r;
        if (!ReadId(h, avail, &used, &r.type)) break;
        size_t idsEnd = used;
        if (!ReadId(h + idsEnd, avail - idsEnd, &used, &r.name)) break;
        idsEnd = (8 + idsEnd + used + 3) / 4 * 4 - 8;
        if (idsEnd + 16 > avail) break; // DataVersion, MemoryFlags, LanguageId, Version, ...
        r.language = ReadWord(h + idsEnd + 6);
        r.data = res + at + headerSize;
        r.size = dataSize;
        bool marker = r.type.isNumber && r.type.number == 0 && r.name.isNumber &&
                      r.name.number == 0 && dataSize == 0;
        if (!marker) out.push_back(r);
        at = (at + headerSize + dataSize + 3) / 4 * 4;
    }
    return out;
}

ResId QueryId(LPCSTR s) {
    ResId id;
    if (IS_INTRESOURCE(s)) {
        id.number = LOWORD(reinterpret_cast<uintptr_t>(s));
    } else if (s[0] == '#') {
        id.number = static_cast<WORD>(std::strtoul(s + 1, nullptr, 10));
    } else {
        id.isNumber = false;
        id.text = s;
    }
    return id;
}

bool Find(HMODULE module, LPCSTR name, LPCSTR type, uint32_t* handle, Resource* found) {
    const unsigned char* res = nullptr;
    size_t size = 0;
    uint32_t moduleValue = ModuleHandleValue(module);
    if (!moduleValue || !ModuleResources(module, &res, &size)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return false;
    }
    if (size == 0) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    std::vector<Resource> all = Parse(res, size);
    ResId wantType = QueryId(type), wantName = QueryId(name);
    bool typeSeen = false;
    size_t best = all.size();
    int bestRank = 3;
    for (size_t i = 0; i < all.size(); ++i) {
        if (!(all[i].type == wantType)) continue;
        typeSeen = true;
        if (!(all[i].name == wantName)) continue;
        int rank = all[i].language == kLangNeutral ? 0 : all[i].language == kLangEnglishUs ? 1 : 2;
        if (rank < bestRank) {
            best = i;
            bestRank = rank;
        }
    }
    if (best == all.size()) {
        SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return false;
    }
    *handle = moduleValue + 4 * static_cast<uint32_t>(best + 1);
    *found = all[best];
    return true;
}

// The resource a resource handle names.
bool Resolve(HRSRC hResInfo, Resource* found) {
    uintptr_t v = reinterpret_cast<uintptr_t>(hResInfo);
    uint32_t moduleValue = static_cast<uint32_t>(v & kModuleMask);
    size_t index = (v & ~uintptr_t{kModuleMask}) / 4;
    const unsigned char* res = nullptr;
    size_t size = 0;
    HMODULE module = reinterpret_cast<HMODULE>(uintptr_t{moduleValue});
    if (v > 0xFFFFFFFFu || v % 4 != 0 || index == 0 || moduleValue == 0 ||
        ModuleHandleValue(module) != moduleValue || !ModuleResources(module, &res, &size)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    std::vector<Resource> all = Parse(res, size);
    if (index > all.size()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    *found = all[index - 1];
    return true;
}

} // namespace

bool winsim::FindModuleResource(HMODULE module, LPCSTR name, LPCSTR type,
                                const unsigned char** data, DWORD* size) {
    uint32_t handle = 0;
    Resource r;
    if (!Find(module, name, type, &handle, &r)) return false;
    *data = r.data;
    *size = r.size;
    return true;
}

extern "C" {

HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
    WINSIM_FAILPOINT(nullptr);
    if (!lpName || !lpType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    uint32_t handle = 0;
    Resource r;
    if (!Find(hModule, lpName, lpType, &handle, &r)) return nullptr;
    return reinterpret_cast<HRSRC>(uintptr_t{handle});
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
    WINSIM_FAILPOINT(nullptr);
    Resource r;
    if (!Resolve(hResInfo, &r)) return nullptr;
    // As in Win32, the "global" of a resource is its place in the module image.
    return const_cast<unsigned char*>(r.data);
}

LPVOID WINAPI LockResource(HGLOBAL hResData) {
    return hResData;
}

BOOL WINAPI FreeResource(HGLOBAL hResData) {
    (void)hResData;
    return FALSE; // nothing to free: a resource lives in its module's image (FALSE = success)
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
    WINSIM_FAILPOINT(0u);
    Resource r;
    return Resolve(hResInfo, &r) ? r.size : 0;
}

} // extern "C"
