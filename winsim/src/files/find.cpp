// Find handles (kernel32, winbase.h): FindFirstFileA, FindNextFileA and FindClose over a folder's
// listing, with wildcards matched against the long and the 8.3 name.
#include "common.h"

#include <cstring>

using namespace winsim;
using namespace winsim::files;

namespace {

// ---- wildcards ----------------------------------------------------------------------------

// Matches a name against a pattern as FindFirstFileA does: '*' any run, '?' one character (or
// none at the end of the name or before its dot), a '.' of the pattern also matching the end of
// a name without one ("*.*" matches every name, "*." names without an extension).
bool WildMatch(const char* p, const char* n) {
    for (;;) {
        if (!*p) return !*n;
        if (*p == '*') {
            while (*p == '*')
                ++p;
            if (!*p) return true;
            // A '*' before a '.' runs no further than the name's last dot.
            const char* limit = nullptr;
            if (*p == '.') limit = std::strrchr(n, '.');
            for (const char* s = n;; ++s) {
                if (WildMatch(p, s)) return true;
                if (!*s || s == limit) return false;
            }
        }
        if (*p == '?') {
            if (*n && WildMatch(p + 1, n + 1)) return true;
            if (!*n || *n == '.') return WildMatch(p + 1, n);
            return false;
        }
        if (*p == '.' && !*n) {
            ++p;
            continue; // the end of a name without a dot matches the pattern's dot
        }
        if (UpperAscii(*p) != UpperAscii(*n)) return false;
        ++p;
        ++n;
    }
}

FILETIME ToFileTime(const struct timespec& t) {
    // 100-ns intervals since 1601-01-01.
    uint64_t v = (static_cast<uint64_t>(t.tv_sec) + 11644473600ull) * 10000000ull +
                 static_cast<uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

struct FoundEntry {
    std::string name, shortName;
    HostInfo info;
};

// A search walks the folder's listing as it is at each call, from where it left off, so entries
// deleted meanwhile are passed over and each call costs the same however large the folder.
class FindObject {
  public:
    std::string m_dirHost, m_pattern;
    HostInfo m_dirInfo; // the folder as the search began, for "." and ".."
    // "." and "..", where the pattern takes them, to come first; the next to hand out.
    const char* m_dots[2] = {};
    size_t m_dotCount = 0, m_dotNext = 0;
    std::string m_key; // where the last entry handed out sorts; empty before it
    bool m_ended = false;
    std::string m_path; // an entry's host path while it is looked at

    bool Next(FoundEntry* out) {
        if (m_dotNext < m_dotCount) {
            const char* dot = m_dots[m_dotNext++];
            *out = FoundEntry{dot, dot, m_dirInfo};
            return true;
        }
        while (!m_ended) {
            Listing* listing = ListingOf(m_dirHost);
            const ListedName* e = listing ? listing->After(m_key, &m_key) : nullptr;
            if (!e) break;
            if (!WildMatch(m_pattern.c_str(), e->name.c_str()) &&
                !WildMatch(m_pattern.c_str(), e->shortName.c_str()))
                continue;
            m_path.assign(m_dirHost).append(1, '/').append(e->name);
            FoundEntry found{e->name, e->shortName, StatEntry(m_path)};
            if (!found.info.exists) continue; // gone since the folder was last read
            *out = std::move(found);
            return true;
        }
        m_ended = true;
        return false;
    }
};

std::map<uint32_t, std::unique_ptr<FindObject>>& Finds() {
    static std::map<uint32_t, std::unique_ptr<FindObject>> finds;
    return finds;
}

void FillFindData(const FoundEntry& e, LPWIN32_FIND_DATAA data) {
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = Attributes(e.info);
    // A folder's times are those of its making, whatever was added to it or taken from it since.
    data->ftCreationTime = data->ftLastAccessTime = data->ftLastWriteTime =
        ToFileTime(e.info.dir ? e.info.created : e.info.mtime);
    if (!e.info.dir) {
        data->nFileSizeHigh = static_cast<DWORD>(e.info.size >> 32);
        data->nFileSizeLow = static_cast<DWORD>(e.info.size);
    }
    lstrcpynA(data->cFileName, e.name.c_str(), sizeof(data->cFileName));
    // The alternate name is given only where it differs from the name itself.
    if (e.shortName != e.name)
        lstrcpynA(data->cAlternateFileName, e.shortName.c_str(), sizeof(data->cAlternateFileName));
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { Finds().clear(); }}), true);

} // namespace

namespace winsim {

size_t OpenFindHandles() {
    return Finds().size();
}

} // namespace winsim

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    WINSIM_FAILPOINT(INVALID_HANDLE_VALUE);
    if (!lpFileName || !lpFindFileData)
        return Refuse(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::string given = lpFileName;
    if (given.empty() || IsSep(given.back()))
        return Refuse(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    std::string full = FullWindowsPath(given);
    if (full.empty() || full.size() <= 3) return Refuse(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    std::string dir = ParentOf(full), pattern = LastComponent(full);
    // "C:\DIR\." names the folder itself; FullWindowsPath has taken the dot away.
    HostInfo dirInfo;
    std::string dirHost = HostOfFolder(dir, &dirInfo);
    if (HasWildcards(dir) || !dirInfo.dir)
        return Refuse(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);

    auto find = std::make_unique<FindObject>();
    find->m_dirHost = std::move(dirHost);
    find->m_dirInfo = dirInfo;
    find->m_pattern = std::move(pattern);
    if (dir.size() > 3) {
        // Folders other than a drive's root list themselves and their parent first.
        for (const char* dot : {".", ".."})
            if (WildMatch(find->m_pattern.c_str(), dot)) find->m_dots[find->m_dotCount++] = dot;
    }
    FoundEntry first;
    if (!find->Next(&first)) return Refuse(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    FillFindData(first, lpFindFileData);
    uint32_t n = NextHandleNumber();
    Finds()[n] = std::move(find);
    SetLastError(NO_ERROR);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(n));
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    WINSIM_FAILPOINT(FALSE);
    auto it = Finds().find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hFindFile)));
    if (it == Finds().end()) return Refuse(ERROR_INVALID_HANDLE, FALSE);
    FoundEntry found;
    if (!lpFindFileData) {
        // Nothing is handed out, so the search stays where it was.
        FindObject probe = *it->second;
        return Refuse(probe.Next(&found) ? ERROR_INVALID_PARAMETER : ERROR_NO_MORE_FILES, FALSE);
    }
    if (!it->second->Next(&found)) return Refuse(ERROR_NO_MORE_FILES, FALSE);
    FillFindData(found, lpFindFileData);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    WINSIM_FAILPOINT(FALSE);
    if (Finds().erase(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hFindFile))) == 0)
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

} // extern "C"
