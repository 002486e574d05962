// Folder listings: each host folder's entries and their 8.3 names, read once and then kept true
// by the host's change notifications (inotify), whoever makes the change: this process, another
// program on the machine or a person in the machine folder. Every event is applied before the
// next path is resolved, so a file created, renamed or deleted behind the machine's back is seen
// at the next call. Without notifications (none left, or a folder that cannot be watched) a
// folder is read afresh each time it is asked for.
#include "common.h"

#include "../filewatch.h"

#include <array>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace winsim;
using namespace winsim::files;

namespace {

// ---- 8.3 names ----------------------------------------------------------------------------

// Every name of a folder read passes here, a character at a time: a table, not a search.
constexpr std::array<bool, 256> kShortChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<size_t>(c)] = c > ' ';
    for (const char* bad = "\"*+,/:;<=>?[\\]|."; *bad; ++bad)
        table[static_cast<unsigned char>(*bad)] = false;
    return table;
}();

bool IsShortChar(char c) {
    return kShortChars[static_cast<unsigned char>(c)];
}

// A name that is already an 8.3 name needs no short form of its own.
bool IsShortName(const std::string& name) {
    if (name == "." || name == "..") return true;
    size_t dot = name.find('.');
    size_t baseLen = dot == std::string::npos ? name.size() : dot;
    size_t extLen = dot == std::string::npos ? 0 : name.size() - dot - 1;
    if (baseLen == 0 || baseLen > 8 || extLen > 3) return false;
    if (dot != std::string::npos && extLen == 0) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (i != dot && !IsShortChar(name[i])) return false;
    return true;
}

std::string ShortChars(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' || c == '.') continue;
        out += IsShortChar(c) ? c : '_';
    }
    return Upper(out);
}

// Where an entry sorts: without regard to case, then by the exact name ('\0' sorts first, so a
// name sorts before every longer name it begins). Built into *key, whose room is reused.
void SortKeyInto(const std::string& name, std::string* key) {
    key->assign(name);
    for (char& c : *key)
        c = UpperAscii(c);
    key->append(1, '\0').append(name);
}

std::string SortKey(const std::string& name) {
    std::string key;
    SortKeyInto(name, &key);
    return key;
}

} // namespace

namespace winsim::files {

void Listing::Add(const std::string& name) {
    auto [it, added] = m_entries.emplace(SortKey(name), ListedName{name, ""});
    (void)it;
    if (added) m_shortsComplete = false;
}

void Listing::Remove(const std::string& name) {
    SortKeyInto(name, &m_key);
    auto it = m_entries.find(m_key);
    if (it == m_entries.end()) return;
    const std::string& shortName = it->second.shortName;
    auto owner = m_owners.find(Upper(shortName));
    if (!shortName.empty() && owner != m_owners.end() && owner->second == name)
        m_owners.erase(owner);
    m_entries.erase(it);
}

const ListedName* Listing::Named(const std::string& name) const {
    SortKeyInto(name, &m_key);
    auto exact = m_entries.find(m_key);
    if (exact != m_entries.end()) return &exact->second;
    m_key.resize(name.size() + 1); // the name in capitals and its '\0': what every spelling shares
    const std::string& prefix = m_key;
    auto it = m_entries.lower_bound(prefix);
    if (it != m_entries.end() && it->first.compare(0, prefix.size(), prefix) == 0)
        return &it->second;
    return nullptr;
}

const ListedName* Listing::WithShortName(const std::string& shortName) {
    AssignShortNames();
    auto owner = m_owners.find(Upper(shortName));
    return owner == m_owners.end() ? nullptr : Named(owner->second);
}

const ListedName* Listing::After(const std::string& key, std::string* nextKey) {
    AssignShortNames();
    auto it = key.empty() ? m_entries.begin() : m_entries.upper_bound(key);
    if (it == m_entries.end()) return nullptr;
    *nextKey = it->first;
    return &it->second;
}

// Windows 95/98 show an 8.3 name in capitals; NT keeps an 8.3 name as written. A long name gets
// BASE~N.EXT with the lowest N free when it is first seen, and keeps it while it stays, so the
// short names of a folder stay the same as entries come and go. An entry whose own name is an
// 8.3 name takes it even from a long name that held it, which then gets the next free one.
void Listing::AssignShortNames() {
    if (m_shortsComplete) return;
    const bool nt = IsNT();
    for (auto& kv : m_entries) {
        ListedName& e = kv.second;
        if (!e.shortName.empty() || !IsShortName(e.name)) continue;
        e.shortName = nt ? e.name : Upper(e.name);
        std::string& owner = m_owners[Upper(e.name)];
        if (!owner.empty() && owner != e.name && !IsShortName(owner)) {
            auto held = m_entries.find(SortKey(owner));
            if (held != m_entries.end()) held->second.shortName.clear();
        }
        owner = e.name;
    }
    for (auto& kv : m_entries) {
        ListedName& e = kv.second;
        if (!e.shortName.empty()) continue;
        size_t dot = e.name.rfind('.');
        const bool hasExt = dot != std::string::npos && dot != 0;
        std::string base = ShortChars(hasExt ? e.name.substr(0, dot) : e.name);
        std::string ext = hasExt ? ShortChars(e.name.substr(dot + 1)) : "";
        if (ext.size() > 3) ext.resize(3);
        if (base.empty()) base = "_";
        for (int n = 1; n < 1000000; ++n) {
            std::string tail = "~" + std::to_string(n);
            std::string cand = base.substr(0, 8 - tail.size()) + tail;
            if (!ext.empty()) cand += "." + ext;
            if (m_owners.emplace(cand, e.name).second) {
                e.shortName = cand;
                break;
            }
        }
    }
    m_shortsComplete = true;
}

bool Listing::Read(const std::string& host) {
    m_entries.clear();
    m_owners.clear();
    m_shortsComplete = true;
    DIR* d = opendir(host.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (std::strcmp(n, ".") != 0 && std::strcmp(n, "..") != 0) Add(n);
    }
    closedir(d);
    return true;
}

} // namespace winsim::files

namespace {

// The listings kept, by host path, and the notifications that keep them true.
class Listings {
  public:
    Listings() {
        pthread_atfork(nullptr, nullptr, [] { Instance().ForgetInChild(); });
    }

    static Listings& Instance() {
        // Never destroyed: the machine still open at exit is closed by a static destructor.
        static auto* listings = new Listings;
        return *listings;
    }

    Listing* Of(const std::string& host) {
        if (Kept* kept = KeptAt(host)) return &kept->listing;
        return m_scratch.Read(host) ? &m_scratch : nullptr;
    }

    void Sync(bool always) {
        if (m_fd < 0) return;
        // Every API call that can fail reaches a failure point first, so the count tells one
        // call from the next.
        const uint64_t call = FailurePointsReached();
        if (!always && call == m_syncedAt) return;
        m_syncedAt = call;
        ReadNotifications(m_fd, [this](const inotify_event& ev) { Apply(ev); });
    }

    int FolderFd(std::string_view host) {
        // The entries of one folder are mostly looked at one after another.
        if (m_lastFd >= 0 && host == m_lastFdPath) return m_lastFd;
        auto it = m_byPath.find(host);
        if (it == m_byPath.end()) return -1;
        Kept& kept = it->second;
        // Only a folder whose removal its parent's watch reports: an open descriptor holds back
        // the folder's own report until it is closed.
        const MachineState* machine = Current();
        if (machine && it->first == machine->dir) return -1;
        if (kept.fd < 0 && m_openFds < kMostOpen) {
            // Opened now, the path names the folder the watch was set on: had that been moved
            // or replaced, its watch or one above it would have told, and it were not kept.
            kept.fd = ::open(it->first.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (kept.fd >= 0) ++m_openFds;
        }
        if (kept.fd >= 0) {
            m_lastFdPath = it->first;
            m_lastFd = kept.fd;
        }
        return kept.fd;
    }

    bool SelfInfo(const std::string& host, HostInfo* info) {
        auto it = m_byPath.find(host);
        if (it == m_byPath.end()) return false;
        Kept& kept = it->second;
        if (!kept.selfKnown) {
            kept.self = Stat(host);
            // Gone meanwhile (its event is still on the way): the caller looks for itself.
            if (!kept.self.exists || !kept.self.dir) return false;
            kept.selfKnown = true;
        }
        *info = kept.self;
        return true;
    }

    void DropAll() {
        for (auto& kv : m_byPath)
            ::inotify_rm_watch(m_fd, kv.second.wd);
        Clear();
    }

  private:
    struct Kept {
        Kept() = default;
        Kept(const Kept&) = delete;
        Kept& operator=(const Kept&) = delete;
        ~Kept() {
            if (fd >= 0) ::close(fd);
        }
        int wd = -1;
        Listing listing;
        // The folder's own attributes and creation time, which only its own attribute change
        // alters; taken when first asked for.
        HostInfo self;
        bool selfKnown = false;
        // The folder's descriptor (O_PATH), opened when an entry is first looked at through it.
        int fd = -1;
    };
    static constexpr size_t kMostKept = 4096;
    // Descriptors count against the process's limit, which the program needs for its own files.
    static constexpr size_t kMostOpen = 128;
    static constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                      IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

    // The kept listing of `host`, made when it can be; null when the folder is not to be kept
    // (or is not there). A folder is kept only below kept folders up to the machine folder:
    // the move or deletion of a folder is reported to that folder's own watch, so each kept
    // folder learns of any folder above it going, where one never listed would not tell.
    Kept* KeptAt(const std::string& host) {
        auto it = m_byPath.find(host);
        if (it != m_byPath.end()) return &it->second;
        const MachineState* machine = Current();
        if (!machine || host != machine->dir) {
            const size_t slash = host.rfind('/');
            if (slash == std::string::npos || slash == 0 || !KeptAt(host.substr(0, slash)))
                return nullptr;
        }
        int wd = Watch(host);
        if (wd < 0) return nullptr;
        auto kept = m_byPath.try_emplace(host).first;
        kept->second.wd = wd;
        m_pathOf[wd] = kept;
        // Read after the watch is set: a change made meanwhile also comes as an event, and the
        // events of a name, applied in order, leave it as the folder has it.
        if (!kept->second.listing.Read(host)) {
            Drop(host);
            return nullptr;
        }
        return &kept->second;
    }

    // A new watch on `host`; -1 when the folder is not to be kept (no notifications, too many
    // kept, or a folder already watched under another path, as through a link).
    int Watch(const std::string& host) {
        if (m_fd < 0 && !m_failed) {
            m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            m_failed = m_fd < 0;
        }
        if (m_fd < 0 || m_byPath.size() >= kMostKept) return -1;
        int wd = ::inotify_add_watch(m_fd, host.c_str(), kMask);
        if (wd < 0) return -1;
        if (m_pathOf.count(wd)) return -1;
        return wd;
    }

    void Apply(const inotify_event& ev) {
        if (ev.mask & IN_Q_OVERFLOW) {
            DropAll(); // events were lost: nothing kept can be trusted
            return;
        }
        auto at = m_pathOf.find(ev.wd);
        if (at == m_pathOf.end()) return; // a watch already dropped
        const auto kept = at->second;
        if (ev.mask & IN_ATTRIB) {
            // The folder's own attributes changed (its entries' are not kept here).
            if (ev.len == 0) kept->second.selfKnown = false;
            return;
        }
        const std::string name = ev.len ? ev.name : "";
        if (ev.mask & (IN_CREATE | IN_MOVED_TO)) {
            kept->second.listing.Add(name);
            // A folder moved in over a kept one replaces it. The one replaced reports nothing
            // itself while its descriptor is open: it counts as removed only once closed.
            if (ev.mask & IN_MOVED_TO) {
                m_gone.assign(kept->first).append(1, '/').append(name);
                DropTree(m_gone);
            }
        } else if (ev.mask & (IN_DELETE | IN_MOVED_FROM)) {
            kept->second.listing.Remove(name);
            // A folder gone or moved takes what lay below it along.
            m_gone.assign(kept->first).append(1, '/').append(name);
            DropTree(m_gone);
        } else if (ev.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
            DropTree(std::string(kept->first));
        }
    }

    void Drop(const std::string& host) {
        auto it = m_byPath.find(host);
        if (it != m_byPath.end()) Erase(it);
    }

    std::map<std::string, Kept, std::less<>>::iterator
    Erase(std::map<std::string, Kept, std::less<>>::iterator it) {
        ::inotify_rm_watch(m_fd, it->second.wd);
        m_pathOf.erase(it->second.wd);
        if (it->second.fd >= 0) --m_openFds;
        m_lastFd = -1;
        return m_byPath.erase(it);
    }

    void Clear() {
        m_byPath.clear();
        m_pathOf.clear();
        m_openFds = 0;
        m_lastFd = -1;
    }

    // The folder at `host` and every folder below it. Both sort among the paths that begin with
    // `host`, as do a few neighbours ("host!x" sorts before "host/x"), which stay; most deletions
    // are of files, and find nothing kept there at all.
    void DropTree(const std::string& host) {
        auto it = m_byPath.lower_bound(host);
        while (it != m_byPath.end() && it->first.compare(0, host.size(), host) == 0) {
            if (it->first.size() != host.size() && it->first[host.size()] != '/') {
                ++it;
                continue;
            }
            it = Erase(it);
        }
    }

    // A forked child shares the parent's notifications: it keeps none of its own until it asks
    // again, and leaves the parent's watches alone.
    void ForgetInChild() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_failed = false;
        Clear(); // the child's copies of the descriptors are its own to close
    }

    int m_fd = -1;
    bool m_failed = false;
    uint64_t m_syncedAt = 0; // the call the events were last read at
    std::map<std::string, Kept, std::less<>> m_byPath;
    std::map<int, std::map<std::string, Kept, std::less<>>::iterator> m_pathOf; // by watch
    size_t m_openFds = 0; // kept folders' descriptors open
    // The folder whose descriptor was asked for last, while it is kept.
    std::string m_lastFdPath;
    int m_lastFd = -1;
    std::string m_gone; // the path of an entry an event removed; reused, as events come by the many
    Listing m_scratch;  // a folder read afresh, not kept
};

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { Listings::Instance().DropAll(); }}),
     true);

} // namespace

namespace winsim::files {

Listing* ListingOf(const std::string& host) {
    if (host.empty()) return nullptr;
    Listings::Instance().Sync(false);
    return Listings::Instance().Of(host);
}

void SyncListings(bool always) {
    Listings::Instance().Sync(always);
}

int KeptFolderOfEntry(const std::string& host, const char** name) {
    const size_t slash = host.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == host.size()) return -1;
    *name = host.c_str() + slash + 1;
    Listings::Instance().Sync(false);
    return Listings::Instance().FolderFd(std::string_view(host).substr(0, slash));
}

bool KeptFolderInfo(const std::string& host, HostInfo* info) {
    Listings::Instance().Sync(false);
    return Listings::Instance().SelfInfo(host, info);
}

} // namespace winsim::files
