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
    struct timespec created {}; // where the host keeps none, the modification time
};
HostInfo Stat(const std::string& host);
// The same for an entry of a folder: looked at through the folder's descriptor where the folder
// is kept (see KeptFolderOfEntry), which spares the host walking the whole path again.
HostInfo StatEntry(const std::string& host);
// The host path of a full Windows path; empty when it lies on no drive of the machine.
std::string Host(const std::string& full);
// The same, with *info what is there now (nothing, for an empty result).
std::string Host(const std::string& full, HostInfo* info);
// The same for a path expected to name a folder: a kept listing of that very path answers
// without a stat (see KeptFolderInfo).
std::string HostOfFolder(const std::string& full, HostInfo* info);
// ResolvePath's work; when `info` is given it receives what is at the result, from the stat
// that the resolution itself made where it made one.
std::string ResolveHost(const std::string& windowsPath, bool bareInWindowsDir, HostInfo* info,
                        bool keptFolderAnswers = false);
// The error for a path that does not exist: its folder exists (file not found) or not.
DWORD MissingError(const std::string& full);

template <typename T> T Refuse(DWORD error, T result) {
    SetLastError(error);
    return result;
}

// ---- folder listings and 8.3 names (listings.cpp) ---------------------------------------
struct ListedName {
    std::string name;
    std::string shortName; // empty until the folder's short names are assigned
};

// A host folder's entries (without "." and ".."), sorted without regard to case so that
// listings and short names come out the same on every host.
class Listing {
  public:
    // The entry named `name` exactly, else the first so named without regard to case.
    const ListedName* Named(const std::string& name) const;
    // The entry whose 8.3 name is `shortName`, compared without regard to case.
    const ListedName* WithShortName(const std::string& shortName);
    // The first entry that sorts after `key` (the first of all for an empty key), its short name
    // assigned; *nextKey receives its own key, to go on from. Null at the end.
    const ListedName* After(const std::string& key, std::string* nextKey);
    bool Empty() const { return m_entries.empty(); }
    // Gives each entry without one its 8.3 name.
    void AssignShortNames();

    void Add(const std::string& name);
    void Remove(const std::string& name);
    bool Read(const std::string& host); // the folder as the host lists it now

  private:
    std::map<std::string, ListedName> m_entries; // by sort key
    std::map<std::string, std::string> m_owners; // an 8.3 name in capitals: the entry holding it
    bool m_shortsComplete = true;
    mutable std::string m_key; // a name's sort key while it is looked up; its room is reused
};

// The listing of a host folder as it is now (what the host reported changed is applied first,
// once per call); null when there is no such folder. It stays valid until the next call.
Listing* ListingOf(const std::string& host);
// Applies what the host reported changed since the listings were last brought up to date: once
// per API call (the first listing asked for does), so a call sees the folders as they were when
// it first looked into one; `always` also between calls.
void SyncListings(bool always);
// What is at `host` when it is a kept folder, after this call's changes are applied: the folder
// is there (its watch and those above it would have told otherwise), and its attributes and
// creation time are kept until its own attributes change. False when the folder is not kept.
bool KeptFolderInfo(const std::string& host, HostInfo* info);
// A descriptor of the kept folder that holds the entry at `host`, after this call's changes are
// applied: the folder the path names now, as its watch and those above it would have told
// otherwise; *name is the entry's name within it. -1 when the folder is not kept (it is not made
// so here) or no descriptor can be had. It serves this call only.
int KeptFolderOfEntry(const std::string& host, const char** name);

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
