// Stand-in for the link library whose link finder PWSETUP runs in a work folder.
//
// ZRI_FindLinks(recurse, limit) counts the shortcuts (*.lnk files) in the current directory, and
// in its subfolders as well when `recurse` is not 0. It returns that count, or `limit` when
// `limit` is above 0 and the count reaches it.
#include <windows.h>

#include <cstring>
#include <string>

// See kvpdscvr.cpp: natively the decorated name is spelled with '$' in place of '@'.
#if defined(_WIN32) || defined(PWL_PLAIN_EXPORT)
#define PWL_NATIVE_NAME(name)
#else
#define PWL_NATIVE_NAME(name) __asm__(name)
#endif

extern "C" LONG WINAPI ZRI_FindLinks(LONG recurse, LONG limit) PWL_NATIVE_NAME("_ZRI_FindLinks$8");

namespace {

const int kMaxDepth = 8;

bool IsLink(const char* name) {
    size_t len = std::strlen(name);
    return len >= 4 && lstrcmpiA(name + len - 4, ".lnk") == 0;
}

LONG CountLinks(const std::string& folder, bool recurse, int depth) {
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA((folder + "*").c_str(), &found);
    if (hFind == INVALID_HANDLE_VALUE) return 0;
    LONG count = 0;
    do {
        const char* name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (recurse && depth < kMaxDepth && std::strcmp(name, ".") != 0 &&
                std::strcmp(name, "..") != 0)
                count += CountLinks(folder + name + "\\", recurse, depth + 1);
        } else if (IsLink(name)) {
            ++count;
        }
    } while (FindNextFileA(hFind, &found));
    FindClose(hFind);
    return count;
}

} // namespace

extern "C" LONG WINAPI ZRI_FindLinks(LONG recurse, LONG limit) {
    LONG count = CountLinks("", recurse != 0, 0);
    return limit > 0 && count > limit ? limit : count;
}
