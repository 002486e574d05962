// What the sources of the files family share: Windows paths and the host files behind them,
// 8.3 names, and the checks that open handles and in-use marks impose on a change.
#ifndef WINSIM_FILES_COMMON_H
#define WINSIM_FILES_COMMON_H

#include "../files.h"

#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace winsim::files {

// ---- paths (paths.cpp) --------------------------------------------------------------------
bool IsSep(char c); // '\' or '/'
std::string LastComponent(const std::string& full);
// The folder that holds `full`; empty for a drive's root.
std::string ParentOf(const std::string& full);
bool HasWildcards(const std::string& s);

struct HostInfo {
    bool exists = false;
    bool dir = false;
    bool readOnly = false;
    uint64_t size = 0;
    struct timespec mtime {};
};
HostInfo Stat(const std::string& host);
// The host path of a full Windows path; empty when it lies on no drive of the machine.
std::string Host(const std::string& full);
// The error for a path that does not exist: its folder exists (file not found) or not.
DWORD MissingError(const std::string& full);

template <typename T> T Refuse(DWORD error, T result) {
    SetLastError(error);
    return result;
}

// ---- 8.3 names (paths.cpp) ----------------------------------------------------------------
// The short names of a folder's entries, in listing order.
std::map<std::string, std::string> ShortNames(const std::vector<std::string>& entries);
// A folder's entries (without "." and ".."), sorted without regard to case so that listings
// and short names come out the same on every host.
bool ListHostDir(const std::string& host, std::vector<std::string>* names);

// ---- attributes (entries.cpp) -------------------------------------------------------------
DWORD Attributes(const HostInfo& info);

// ---- sharing (handles.cpp) ----------------------------------------------------------------
// Files and folders listed in machine.ini [in-use] cannot be written, moved or deleted.
bool IsInUse(const std::string& full);
// Whether an open of `host` with this access and sharing agrees with the handles already open
// on it, as Windows checks share modes both ways.
bool SharingAllows(const std::string& host, bool read, bool write, bool del, DWORD share);
// The checks before a file or folder is removed or renamed: in use, open without delete
// sharing.
DWORD RemovalBlocked(const std::string& full, const std::string& host);

} // namespace winsim::files

#endif
