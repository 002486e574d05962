// Profile files (kernel32, winbase.h): GetPrivateProfileStringA and its family, and their WIN.INI
// forms.
//
// Parsed files are cached by host path, and follow changes made behind their back: a file the
// host's change notifications vouch for (filewatch.h) is taken as cached; any other is checked by
// its identity (device, inode, size, modification and change times in nanoseconds) and, within
// the file system's clock tick, its content. On 95/98 writes stay in the cache, as those systems
// keep them, until the all-NULL write, an access to another file or the machine's close writes
// them out; NT writes them through before the call returns. Either way the file is rewritten
// with only the changed lines different, and a change that keeps its length within one sector
// (a flag's "1" turned "0") is written over the old bytes alone.
#include "files.h"
#include "filewatch.h"
#include "inimapping.h"
#include "nls.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace winsim;

namespace {

constexpr size_t kCachedFiles = 16;
// Any rewrite moves a file's change time, unless it falls within the same tick of the file
// system's clock as the time cached. The file system stamps a change with its coarse clock (or a
// finer time, never an earlier one), so a file whose change time is older than that clock was
// when its content was read cannot change again without the time moving: its times vouch for
// it. One changed later than that is vouched for by its content until it settles.
// A time in whole seconds may come from a file system that keeps no finer ones: such a file is
// vouched for by its content for a second.
constexpr int64_t kRacyNanoseconds = 1000000000;

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    // The file system's clock just before the identity (and the text with it) was taken.
    timespec seen{};
};

timespec FileClockNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameFile(const FileId& a, const FileId& b) {
    return a.dev == b.dev && a.ino == b.ino && a.size == b.size && SameTime(a.mtime, b.mtime) &&
           SameTime(a.ctime, b.ctime);
}

FileId IdOf(const struct stat& st) {
    FileId id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtime = st.st_mtim;
    id.ctime = st.st_ctim;
    return id;
}

bool IsRacy(const FileId& id) {
    if (id.ctime.tv_nsec != 0)
        return id.ctime.tv_sec > id.seen.tv_sec ||
               (id.ctime.tv_sec == id.seen.tv_sec && id.ctime.tv_nsec >= id.seen.tv_nsec);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t age = (static_cast<int64_t>(now.tv_sec) - id.ctime.tv_sec) * 1000000000 +
                  (now.tv_nsec - id.ctime.tv_nsec);
    return age < kRacyNanoseconds;
}

struct Profile {
    std::string hostPath;
    std::string name; // the file as the program last named it in a write, for debug lines
    // The file as last read or written: its identity, whether it existed, its text (also for
    // the content check of a racy entry).
    FileId id;
    bool onDisk = false;
    std::string text;
    IniFile ini;          // what the profile calls see: the file with the pending writes
    bool pending = false; // ini holds writes the file lacks
    bool racy = true;
    // Vouches for id and text while the host reports no change to the file or its path.
    FileWatch watch;
    uint64_t lastUse = 0;
    // A name a program gave for the file that resolved to hostPath component for component (each
    // the entry's own name, no "." or "..", no drive-relative part): it names this file for as
    // long as hostPath exists, so a call that gives it again skips the path's resolution. A bare
    // name also depends on the Windows directory it was found in.
    std::string knownName;
    std::string knownWindowsDir; // empty unless knownName is bare
};

// Only the most recently accessed file holds pending writes: the others' went to their files
// when the access moved on.
struct Cache {
    std::vector<std::unique_ptr<Profile>> entries;
    uint64_t clock = 0;
    std::string current; // host path of the most recently accessed file
};

// Never destroyed: the machine's close hook may run from another file's static destructor.
Cache& TheCache() {
    static Cache* cache = new Cache;
    return *cache;
}

void Note(const std::string& line) {
    OutputDebugStringA(("winsim: " + line + "\n").c_str());
}

void Forget(const std::string& hostPath) {
    auto& entries = TheCache().entries;
    entries.erase(
        std::remove_if(entries.begin(), entries.end(),
                       [&](const std::unique_ptr<Profile>& p) { return p->hostPath == hostPath; }),
        entries.end());
}

Profile* Cached(const std::string& hostPath) {
    for (auto& p : TheCache().entries)
        if (p->hostPath == hostPath) return p.get();
    return nullptr;
}

// The error Windows gives for a file that cannot be opened: a missing file in an existing
// folder is "file not found", anything missing above it "path not found".
DWORD OpenError(int err, const std::string& hostPath) {
    if (err == EACCES || err == EPERM || err == EISDIR) return ERROR_ACCESS_DENIED;
    if (err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
    if (err != ENOENT) return ERROR_ACCESS_DENIED;
    size_t slash = hostPath.rfind('/');
    struct stat st;
    if (slash != std::string::npos && stat(hostPath.substr(0, slash).c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

// Reads the whole file together with the identity of what was read.
bool ReadProfileFile(const std::string& hostPath, std::string* text, FileId* id, DWORD* error) {
    const timespec seen = FileClockNow();
    int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = OpenError(errno, hostPath);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    text->assign(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < text->size()) {
        ssize_t n = read(fd, &(*text)[done], text->size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    text->resize(done);
    close(fd);
    *id = IdOf(st);
    id->size = static_cast<off_t>(done);
    id->seen = seen;
    return true;
}

Profile* PendingEntry() {
    for (auto& p : TheCache().entries)
        if (p->pending) return p.get();
    return nullptr;
}

// Writes the pending writes to their file, in place when a file handle of the process holds it
// open (so the handle sees them, as on Windows), else through a temporary file and a rename.
// What the program changed in the file itself since the cache read it is overwritten, as Windows
// does; a debug line says so. `justLoaded`: the caller read the file during this call, so there is
// nothing to check. False when the file cannot be written (the writes are then dropped).
bool WritePending(bool justLoaded = false) {
    Profile* p = PendingEntry();
    if (!p) return true;
    p->pending = false;
    p->watch.Doubt(); // checked again once the host has reported the write
    const std::string host = p->hostPath;
    // What the file holds now, when known: a change that keeps its length is written over it.
    std::string now;
    bool onDisk = p->onDisk;
    if (!justLoaded) {
        FileId nowId;
        DWORD error = 0;
        onDisk = ReadProfileFile(host, &now, &nowId, &error);
        if (onDisk != p->onDisk || (onDisk && now != p->text))
            Note("profile writes overwrite what was changed in " + p->name + " since it was read");
    }
    const std::string& before = justLoaded ? p->text : now;
    std::string text = p->ini.Text();
    const timespec seen = FileClockNow();
    const bool written = IsHostFileOpen(host) ? WriteFileInPlace(host, text)
                         : onDisk             ? WriteFileChange(host, before, text)
                                              : WriteFileAtomic(host, text);
    struct stat st;
    if (!written || stat(host.c_str(), &st) != 0) {
        Note("profile writes to " + p->name + " are lost: the file cannot be written");
        Forget(host);
        return false;
    }
    p->text = std::move(text);
    p->onDisk = true;
    p->id = IdOf(st);
    p->id.seen = seen;
    p->racy = IsRacy(p->id);
    return true;
}

// Makes `hostPath` the most recently accessed file; another file's pending writes go to it.
void Access(const std::string& hostPath) {
    Cache& cache = TheCache();
    if (cache.current == hostPath) return;
    WritePending();
    cache.current = hostPath;
}

// The cache entry of a file, made (in place of the least recently used) when missing.
Profile* Entry(const std::string& hostPath) {
    Cache& cache = TheCache();
    Profile* p = Cached(hostPath);
    if (!p) {
        if (cache.entries.size() >= kCachedFiles) {
            auto oldest = std::min_element(
                cache.entries.begin(), cache.entries.end(),
                [](const std::unique_ptr<Profile>& a, const std::unique_ptr<Profile>& b) {
                    return a->lastUse < b->lastUse;
                });
            if ((*oldest)->pending) WritePending();
            cache.entries.erase(oldest);
        }
        cache.entries.push_back(std::make_unique<Profile>());
        p = cache.entries.back().get();
        p->hostPath = hostPath;
        p->ini.SetGapBeforeNewSection(false); // Windows adds a section right after the last line
    }
    p->lastUse = ++cache.clock;
    return p;
}

Profile* Store(const std::string& hostPath, std::string text, const FileId& id) {
    Profile* p = Entry(hostPath);
    p->watch.Doubt();
    p->text = std::move(text);
    p->ini.Parse(p->text);
    p->id = id;
    p->onDisk = true;
    p->pending = false;
    p->racy = IsRacy(id);
    return p;
}

// The parsed file as the profile calls see it: with its pending writes, else as it is on disk
// now; null with *error set.
Profile* Load(const std::string& hostPath, DWORD* error) {
    Profile* p = Cached(hostPath);
    if (p && (p->pending || p->watch.Unchanged())) {
        p->lastUse = ++TheCache().clock;
        return p;
    }
    // Watched from before the check on, so that what changes after it is reported.
    const bool watched = p && p->watch.Arm(hostPath);
    struct stat st;
    if (stat(hostPath.c_str(), &st) != 0) {
        Forget(hostPath);
        *error = OpenError(errno, hostPath);
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        Forget(hostPath);
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (p && SameFile(p->id, IdOf(st)) && !p->racy) {
        if (watched) p->watch.Vouch();
        p->lastUse = ++TheCache().clock;
        return p;
    }
    std::string text;
    FileId id;
    if (!ReadProfileFile(hostPath, &text, &id, error)) {
        Forget(hostPath);
        return nullptr;
    }
    if (p && text == p->text) {
        p->id = id;
        p->racy = IsRacy(id);
        if (watched) p->watch.Vouch();
        p->lastUse = ++TheCache().clock;
        return p;
    }
    p = Store(hostPath, std::move(text), id);
    if (watched) p->watch.Vouch();
    return p;
}

// A file name without a folder lies in the Windows directory; no name means WIN.INI.
const char* GivenName(LPCSTR fileName) {
    return fileName ? fileName : "WIN.INI";
}

bool IsBareName(const char* name) {
    return std::strpbrk(name, "\\/:") == nullptr;
}

std::string HostOf(LPCSTR fileName) {
    return ResolvePath(GivenName(fileName), true);
}

// Whether `given` resolved to `host` by each component's own name: "X:\A\B" (or a bare name in
// the Windows directory) gives <machine>/drive_x/A/B. Path resolution prefers an entry named
// exactly, so while that path exists the name resolves to it again.
bool NamesHostExactly(const std::string& given, const std::string& host) {
    std::string path = IsBareName(given.c_str()) ? WindowsDir() + "\\" + given : given;
    for (char& c : path)
        if (c == '/') c = '\\';
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return false;
    char letter = path[0];
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    std::string expected = Require().dir + "/drive_" + letter;
    size_t pos = 3;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(pos, end - pos);
        if (part == "." || part == "..") return false;
        if (!part.empty()) expected += "/" + part;
        pos = end + 1;
    }
    return expected == host;
}

// The cached file that a name given before resolved to exactly, while nothing it depends on
// moved: the file at that path unchanged since it was read (vouched for by the host's change
// notifications, else by its identity outside the racy window), or holding writes not yet
// written. Null when the name must be resolved afresh.
Profile* KnownFile(const char* given) {
    for (auto& entry : TheCache().entries) {
        Profile* p = entry.get();
        if (p->knownName != given) continue;
        if (!p->knownWindowsDir.empty() && p->knownWindowsDir != WindowsDir()) return nullptr;
        if (p->pending || p->watch.Unchanged()) return p;
        if (p->racy) return nullptr;
        const bool watched = p->watch.Arm(p->hostPath);
        struct stat st;
        if (stat(p->hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            !SameFile(p->id, IdOf(st)))
            return nullptr;
        if (watched) p->watch.Vouch();
        return p;
    }
    return nullptr;
}

Profile* Open(LPCSTR fileName, DWORD* error) {
    const char* given = GivenName(fileName);
    if (Profile* p = KnownFile(given)) {
        if (!HostFileShareable(p->hostPath, false)) {
            *error = ERROR_SHARING_VIOLATION;
            return nullptr;
        }
        // Another file's pending writes go out first; the entry stays (entries live in their
        // own allocations), and this file's are its own.
        Access(p->hostPath);
        p->lastUse = ++TheCache().clock;
        return p;
    }
    std::string host = HostOf(fileName);
    if (host.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    if (!HostFileShareable(host, false)) {
        *error = ERROR_SHARING_VIOLATION;
        return nullptr;
    }
    Access(host);
    Profile* p = Load(host, error);
    if (p && p->knownName != given && NamesHostExactly(given, host)) {
        for (auto& other : TheCache().entries)
            if (other->knownName == given) other->knownName.clear(); // it names another file now
        p->knownName = given;
        p->knownWindowsDir = IsBareName(given) ? WindowsDir() : "";
    }
    return p;
}

// The all-NULL write: the pending writes go to their file, whichever file the call names, and
// the named file's parsed copy is dropped (without a name, every copy). It reports zero, as
// documented, except on NT for a file that NT's mapping names, which has nothing to flush.
BOOL Flush(LPCSTR fileName) {
    if (!HasMachine()) return FALSE; // the machine's close wrote and emptied the cache
    if (!fileName) {
        WritePending();
        TheCache().entries.clear();
        return FALSE;
    }
    const std::string host = HostOf(fileName);
    if (!host.empty()) Access(host);
    WritePending();
    if (!host.empty()) Forget(host);
    return IniFileIsMapped(fileName);
}

// The machine closes (also at process exit): what the cache holds goes to its file.
void CloseCache() {
    WritePending();
    Cache& cache = TheCache();
    cache.entries.clear();
    cache.current.clear();
}

struct RegisterProfileHooks {
    RegisterProfileHooks() {
        StateHooks hooks;
        hooks.reset = &CloseCache;
        RegisterStateHooks(hooks);
    }
} g_registerProfileHooks;

std::string Unquote(const std::string& v) {
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        return v.substr(1, v.size() - 2);
    return v;
}

DWORD CopyText(const std::string& text, LPSTR buf, DWORD size) {
    if (!buf || size == 0) return 0;
    size_t len = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buf, text.data(), len);
    buf[len] = '\0';
    return static_cast<DWORD>(len);
}

// Texts each ended by a NUL, the list ended by one more. A list that does not fit with a
// character to spare (Windows counts an exact fit as too small) is cut and ended by two NULs.
DWORD CopyList(const std::vector<std::string>& items, LPSTR buf, DWORD size) {
    if (!buf || size == 0) return 0;
    std::string list;
    for (const std::string& item : items) {
        if (item.empty()) continue; // would end the list early
        list += item;
        list += '\0';
    }
    if (list.size() + 2 <= size) {
        std::memcpy(buf, list.data(), list.size());
        buf[list.size()] = '\0';
        if (list.empty()) buf[1] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buf[0] = '\0';
        return 0;
    }
    std::memcpy(buf, list.data(), size - 2);
    buf[size - 2] = '\0';
    buf[size - 1] = '\0';
    return size - 2;
}

// The default in place of a key list: its text, with a second NUL where there is room.
DWORD CopyDefaultList(const std::string& def, LPSTR buf, DWORD size) {
    DWORD len = CopyText(def, buf, size);
    if (buf && len + 1 < size) buf[len + 1] = '\0';
    return len;
}

// A name in a list, compared without regard to case.
bool Listed(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
        if (IEquals(n, name)) return true;
    return false;
}

// The key of a "key=value" line of a section.
std::string KeyOfLine(const std::string& line) {
    return Trim(line.substr(0, line.find('=')));
}

// The file behind a read, opened only when an answer needs it (NT answers a mapped section from
// the registry); an unreadable file sets the last error once.
class Reader {
  public:
    explicit Reader(LPCSTR fileName, bool failed = false)
        : m_fileName(fileName), m_opened(failed) {}
    const Profile* File() {
        if (!m_opened) {
            m_opened = true;
            DWORD error = 0;
            m_profile = Open(m_fileName, &error);
            if (!m_profile) SetLastError(error);
        }
        return m_profile;
    }

  private:
    LPCSTR m_fileName;
    bool m_opened;
    const Profile* m_profile = nullptr;
};

// The value of a key: from the registry where NT's mapping keeps it, else from the file.
bool LookUp(Reader* r, const IniSectionMap* map, const std::string& section,
            const std::string& name, std::string* value) {
    if (map) {
        if (const IniLocation* at = map->For(name)) {
            if (IniSectionMap::Get(*at, name, value)) return true;
            if (at->registryOnly) return false;
        }
    }
    const Profile* p = r->File();
    if (!p || !p->ini.Get(section, name, value)) return false;
    *value = Unquote(*value);
    return true;
}

// The key names of a section, those the registry keeps first.
std::vector<std::string> KeyNames(Reader* r, const IniSectionMap* map,
                                  const std::string& section) {
    std::vector<std::string> keys;
    if (map)
        for (const auto& e : map->Entries())
            keys.push_back(e.first);
    if (map && !map->MayReadFile()) return keys;
    // Where the registry has none of the section, the file answers for all of it.
    const std::vector<std::string> fromRegistry = keys;
    if (const Profile* p = r->File())
        for (const std::string& k : p->ini.KeyLines(section))
            if (fromRegistry.empty() || (!map->For(k) && !Listed(fromRegistry, k)))
                keys.push_back(k);
    return keys;
}

// The section names of a file: those NT's mapping names, then the file's.
bool SectionNames(Reader* r, LPCSTR fileName, std::vector<std::string>* names) {
    const std::vector<std::string> mapped = MappedSectionNames(fileName);
    *names = mapped;
    const Profile* p = r->File();
    if (p)
        for (const std::string& s : p->ini.SectionHeaders())
            if (!Listed(mapped, s)) names->push_back(s);
    return p || !names->empty();
}

// `api` is the calling function's name (WINSIM_API_NAME()), under which a failure is armed; null
// for winsim's own services.
DWORD ReadString(const char* api, LPCSTR app, LPCSTR key, LPCSTR def, LPSTR buf, DWORD size,
                 LPCSTR fileName) {
    std::string dflt = def ? def : "";
    while (!dflt.empty() && dflt.back() == ' ')
        dflt.pop_back();
    DWORD error = 0;
    const bool failed = api && ShouldFail(api, &error);
    if (failed) SetLastError(error);
    Reader reader(fileName, failed);

    if (!app) {
        std::vector<std::string> names;
        if (!failed && SectionNames(&reader, fileName, &names)) return CopyList(names, buf, size);
        if (buf && size) buf[0] = '\0'; // Windows ends an unread file's list with one NUL only
        return 0;
    }
    const std::string section = Trim(app);
    IniSectionMap map;
    const IniSectionMap* mapped =
        !failed && IniSectionMap::Find(fileName, section, &map) ? &map : nullptr;
    if (!key) {
        const std::vector<std::string> keys = KeyNames(&reader, mapped, section);
        return keys.empty() ? CopyDefaultList(dflt, buf, size) : CopyList(keys, buf, size);
    }
    std::string value;
    if (LookUp(&reader, mapped, section, Trim(key), &value)) return CopyText(value, buf, size);
    return CopyText(dflt, buf, size);
}

// Windows NT reads with its run-time's rules: blanks, a sign, a 0x, 0o or 0b prefix, digits up
// to the first that does not belong, modulo 2^32. Windows 95/98 know only '-' and decimals.
UINT ParseProfileInt(const char* s, bool nt) {
    while (*s && static_cast<unsigned char>(*s) <= ' ')
        ++s;
    bool negative = false;
    if (*s == '-') {
        negative = true;
        ++s;
    } else if (nt && *s == '+') {
        ++s;
    }
    unsigned base = 10;
    if (nt && s[0] == '0') {
        char p = s[1];
        if (p == 'x' || p == 'X')
            base = 16;
        else if (p == 'o' || p == 'O')
            base = 8;
        else if (p == 'b' || p == 'B')
            base = 2;
        if (base != 10) s += 2;
    }
    uint32_t value = 0;
    for (;; ++s) {
        unsigned digit;
        if (*s >= '0' && *s <= '9')
            digit = static_cast<unsigned>(*s - '0');
        else if (*s >= 'a' && *s <= 'f')
            digit = static_cast<unsigned>(*s - 'a' + 10);
        else if (*s >= 'A' && *s <= 'F')
            digit = static_cast<unsigned>(*s - 'A' + 10);
        else
            break;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

UINT ReadInt(const char* api, LPCSTR app, LPCSTR key, INT def, LPCSTR fileName) {
    if (!IsNT() && (!app || !key)) return 0;
    char buf[64];
    // A missing key, an empty value and an unreadable file all give the empty default.
    if (ReadString(api, app, key, "", buf, sizeof buf, fileName) == 0)
        return static_cast<UINT>(def);
    return ParseProfileInt(buf, IsNT());
}

enum class Change { SetKey, DeleteKey, DeleteSection, ReplaceSection };

// Applies one change to a section that NT's mapping keeps in the registry; true when the file is
// to take the change as well ('!', or an entry that the mapping leaves in the file). A section
// written whole changes only the entries it names, and only where the registry keeps them.
bool WriteMapped(const IniSectionMap& map, Change change, const std::string& key,
                 const std::string& value, const std::vector<std::string>& lines) {
    const IniLocation* at = change == Change::SetKey || change == Change::DeleteKey ? map.For(key)
                                                                                    : nullptr;
    switch (change) {
    case Change::SetKey:
        if (at) IniSectionMap::Set(*at, key, value);
        return !at || at->writeFileToo;
    case Change::DeleteKey:
        if (at) IniSectionMap::Delete(*at, key);
        return !at || at->writeFileToo;
    case Change::DeleteSection:
        map.Clear();
        return map.WritesFileToo();
    case Change::ReplaceSection: {
        bool fileToo = false;
        for (const std::string& line : lines) {
            const size_t eq = line.find('=');
            const std::string name = KeyOfLine(line);
            const IniLocation* entry = map.For(name);
            if (!entry || eq == std::string::npos) continue;
            IniSectionMap::Set(*entry, name, Trim(line.substr(eq + 1)));
            fileToo = fileToo || entry->writeFileToo;
        }
        return fileToo;
    }
    }
    return false;
}

// Applies one change to the cached file, which then holds a pending write (95/98) or is written
// out at once (NT); a missing file is made for a key or section to be written, not for a deletion.
BOOL WriteChange(LPCSTR fileName, Change change, const std::string& section, const std::string& key,
                 const std::string& value, const std::vector<std::string>& lines) {
    IniSectionMap map;
    if (IniSectionMap::Find(fileName, section, &map) &&
        !WriteMapped(map, change, key, value, lines))
        return TRUE;
    std::string host = HostOf(fileName);
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // Windows opens the file to read and write it, sharing both: a handle that shares less
    // refuses the write, which then changes nothing.
    if (!HostFileShareable(host, true)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    Access(host);
    DWORD error = 0;
    Profile* p = Load(host, &error);
    if (!p) {
        if (error != ERROR_FILE_NOT_FOUND) {
            SetLastError(error);
            return FALSE;
        }
        if (change == Change::DeleteKey || change == Change::DeleteSection) return TRUE;
        p = Entry(host);
        p->text.clear();
        p->ini.Parse("");
        p->onDisk = false;
    }
    IniFile& ini = p->ini;
    bool changed = true;
    switch (change) {
    case Change::SetKey:
        ini.Set(section, key, value);
        break;
    case Change::DeleteKey:
        changed = ini.DeleteKey(section, key);
        break;
    case Change::DeleteSection:
        changed = ini.DeleteSection(section);
        break;
    case Change::ReplaceSection:
        ini.ReplaceSection(section, lines);
        break;
    }
    if (!changed) return TRUE;
    p->pending = true;
    p->name = fileName ? fileName : "WIN.INI";
    if (IsNT() && !WritePending(true)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL WriteString(const char* api, LPCSTR app, LPCSTR key, LPCSTR value, LPCSTR fileName) {
    DWORD error = 0;
    if (ShouldFail(api, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (!app && !key && !value) return Flush(fileName);
    if (!app) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string section = Trim(app);
    if (!key) return WriteChange(fileName, Change::DeleteSection, section, "", "", {});
    if (!value) return WriteChange(fileName, Change::DeleteKey, section, Trim(key), "", {});
    return WriteChange(fileName, Change::SetKey, section, Trim(key), value, {});
}

} // namespace

void winsim::WritePendingProfile(const std::string& hostPath) {
    const Profile* p = PendingEntry();
    if (p && (hostPath.empty() || p->hostPath == hostPath)) WritePending();
}

namespace {

DWORD ReadSection(const char* api, LPCSTR app, LPSTR buf, DWORD size, LPCSTR fileName) {
    DWORD error = 0;
    if (ShouldFail(api, &error)) {
        SetLastError(error);
        return CopyList({}, buf, size);
    }
    if (!app || !buf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string section = Trim(app);
    IniSectionMap map;
    const bool mapped = IniSectionMap::Find(fileName, section, &map);
    std::vector<std::string> body;
    if (mapped)
        for (const auto& e : map.Entries())
            body.push_back(e.first + "=" + e.second);
    if (!mapped || map.MayReadFile()) {
        const Profile* p = Open(fileName, &error);
        if (!p && body.empty()) {
            SetLastError(error);
            return CopyList({}, buf, size);
        }
        const bool fileAnswers = body.empty(); // for all of the section, as in KeyNames
        if (p)
            for (const std::string& line : p->ini.SectionBody(section))
                if (fileAnswers || !map.For(KeyOfLine(line))) body.push_back(line);
        if (p && !mapped && !p->ini.HasSection(section)) {
            SetLastError(ERROR_FILE_NOT_FOUND); // a missing section, as Windows reports it
            return CopyList({}, buf, size);
        }
    }
    SetLastError(ERROR_SUCCESS); // as Windows does after a section it could read
    return CopyList(body, buf, size);
}

// `lines`: "key=value" texts each ended by a NUL, the list by one more.
BOOL WriteSection(const char* api, LPCSTR app, LPCSTR lines, LPCSTR fileName) {
    DWORD error = 0;
    if (ShouldFail(api, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (!app && !lines) return Flush(fileName);
    if (!app) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string section = Trim(app);
    if (!lines) return WriteChange(fileName, Change::DeleteSection, section, "", "", {});
    std::vector<std::string> list;
    for (const char* s = lines; *s; s += std::strlen(s) + 1)
        list.emplace_back(s);
    return WriteChange(fileName, Change::ReplaceSection, section, "", "", list);
}

// ---- structures -------------------------------------------------------------------------------
// A structure is kept as the hexadecimal digits of its bytes followed by those of a checksum
// byte, the sum of the bytes modulo 256; the digits are written in capitals and read in either
// case.

BOOL WriteStruct(const char* api, LPCSTR app, LPCSTR key, LPVOID data, UINT size, LPCSTR fileName) {
    if (!data) return WriteString(api, app, key, nullptr, fileName);
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve((size_t{size} + 1) * 2);
    unsigned sum = 0;
    for (UINT i = 0; i < size; ++i) {
        const unsigned b = static_cast<const unsigned char*>(data)[i];
        sum += b;
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    text += kDigits[(sum >> 4) & 15];
    text += kDigits[sum & 15];
    return WriteString(api, app, key, text.c_str(), fileName);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A missing key or a text of the wrong length is ERROR_BAD_LENGTH; a character that is no digit
// or a wrong checksum ERROR_INVALID_DATA. Nothing is copied unless the whole text is sound.
BOOL ReadStruct(const char* api, LPCSTR app, LPCSTR key, LPVOID data, UINT size, LPCSTR fileName) {
    DWORD error = 0;
    if (ShouldFail(api, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (!app || !key || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string section = Trim(app);
    IniSectionMap map;
    Reader reader(fileName);
    std::string text;
    if (!LookUp(&reader, IniSectionMap::Find(fileName, section, &map) ? &map : nullptr, section,
                Trim(key), &text) ||
        text.size() != (size_t{size} + 1) * 2) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    std::vector<unsigned char> bytes(size_t{size} + 1);
    unsigned sum = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
        bytes[i] = static_cast<unsigned char>(hi * 16 + lo);
        if (i < size) sum += bytes[i];
    }
    if ((sum & 0xFF) != bytes[size]) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    std::memcpy(data, bytes.data(), size);
    return TRUE;
}

// ---- the W forms --------------------------------------------------------------------------------
// NT answers them as the A forms, in UTF-16; 95/98 have only stubs that fail.

bool WideCallsExist() {
    if (IsNT()) return true;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
}

// A W argument in the ANSI code page; null stays null.
class Narrow {
  public:
    explicit Narrow(LPCWSTR text) : m_null(!text), m_text(NarrowText(text)) {}
    operator LPCSTR() const { return m_null ? nullptr : m_text.c_str(); }

  private:
    bool m_null;
    std::string m_text;
};

// A list argument ("a\0b\0\0") in the ANSI code page.
std::string NarrowList(LPCWSTR list) {
    std::string out;
    for (const WCHAR* w = list; *w; w += std::char_traits<WCHAR>::length(w) + 1) {
        out += NarrowText(w);
        out += '\0';
    }
    out += '\0';
    return out;
}

// A caller's UTF-16 buffer seen as an ANSI one: the A form fills the stand-in, and every character
// it changed goes back widened, so that what the call leaves alone stays as the caller had it.
class WideOut {
  public:
    WideOut(LPWSTR buf, DWORD size) : m_buf(buf), m_size(buf ? size : 0) {
        for (DWORD i = 0; i < m_size; ++i)
            m_before += AnsiChar(buf[i]);
        m_after = m_before;
    }
    ~WideOut() {
        for (DWORD i = 0; i < m_size; ++i)
            if (m_after[i] != m_before[i]) m_buf[i] = WideChar(static_cast<unsigned char>(m_after[i]));
    }
    WideOut(const WideOut&) = delete;
    WideOut& operator=(const WideOut&) = delete;
    LPSTR Buffer() { return m_buf ? &m_after[0] : nullptr; }

  private:
    LPWSTR m_buf;
    DWORD m_size;
    std::string m_before, m_after;
};

DWORD ReadStringW(const char* api, LPCWSTR app, LPCWSTR key, LPCWSTR def, LPWSTR buf, DWORD size,
                  LPCSTR fileName) {
    if (!WideCallsExist()) return 0;
    WideOut out(buf, size);
    return ReadString(api, Narrow(app), Narrow(key), Narrow(def), out.Buffer(), size, fileName);
}

} // namespace

namespace {

// winsim's own services keep the caller's last error.
class KeepLastError {
  public:
    KeepLastError() : m_error(GetLastError()) {}
    ~KeepLastError() { SetLastError(m_error); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

  private:
    DWORD m_error;
};

const IniSectionMap* WinIniMap(const std::string& section, IniSectionMap* map) {
    return IniSectionMap::Find("WIN.INI", section, map) ? map : nullptr;
}

BOOL WinIniChange(Change change, const std::string& section, const std::string& key,
                  const std::string& value) {
    BOOL done = WriteChange("WIN.INI", change, section, key, value, {});
    if (done && !IsNT()) done = WritePending(); // the spooler's changes reach the file at once
    return done;
}

} // namespace

bool winsim::WinIniGet(const std::string& section, const std::string& key, std::string* value) {
    KeepLastError keep;
    Reader reader("WIN.INI");
    IniSectionMap map;
    return LookUp(&reader, WinIniMap(section, &map), section, key, value);
}

std::vector<std::string> winsim::WinIniKeys(const std::string& section) {
    KeepLastError keep;
    Reader reader("WIN.INI");
    IniSectionMap map;
    return KeyNames(&reader, WinIniMap(section, &map), section);
}

bool winsim::WinIniSet(const std::string& section, const std::string& key,
                       const std::string& value) {
    KeepLastError keep;
    return WinIniChange(Change::SetKey, section, key, value);
}

bool winsim::WinIniDelete(const std::string& section, const std::string& key) {
    KeepLastError keep;
    return WinIniChange(Change::DeleteKey, section, key, "");
}

extern "C" {

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    return ReadString(WINSIM_API_NAME(), lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                      lpFileName);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                  LPCSTR lpFileName) {
    return ReadInt(WINSIM_API_NAME(), lpAppName, lpKeyName, nDefault, lpFileName);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                       LPCSTR lpFileName) {
    return WriteString(WINSIM_API_NAME(), lpAppName, lpKeyName, lpString, lpFileName);
}

DWORD WINAPI GetProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize) {
    return ReadString(WINSIM_API_NAME(), lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                      "WIN.INI");
}

UINT WINAPI GetProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault) {
    return ReadInt(WINSIM_API_NAME(), lpAppName, lpKeyName, nDefault, "WIN.INI");
}

BOOL WINAPI WriteProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString) {
    return WriteString(WINSIM_API_NAME(), lpAppName, lpKeyName, lpString, "WIN.INI");
}

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize,
                                       LPCSTR lpFileName) {
    return ReadSection(WINSIM_API_NAME(), lpAppName, lpReturnedString, nSize, lpFileName);
}

DWORD WINAPI GetProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize) {
    return ReadSection(WINSIM_API_NAME(), lpAppName, lpReturnedString, nSize, "WIN.INI");
}

BOOL WINAPI WritePrivateProfileSectionA(LPCSTR lpAppName, LPCSTR lpString, LPCSTR lpFileName) {
    return WriteSection(WINSIM_API_NAME(), lpAppName, lpString, lpFileName);
}

BOOL WINAPI WriteProfileSectionA(LPCSTR lpAppName, LPCSTR lpString) {
    return WriteSection(WINSIM_API_NAME(), lpAppName, lpString, "WIN.INI");
}

DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR lpszReturnBuffer, DWORD nSize,
                                            LPCSTR lpFileName) {
    return ReadString(WINSIM_API_NAME(), nullptr, nullptr, nullptr, lpszReturnBuffer, nSize,
                      lpFileName);
}

BOOL WINAPI GetPrivateProfileStructA(LPCSTR lpszSection, LPCSTR lpszKey, LPVOID lpStruct,
                                     UINT uSizeStruct, LPCSTR szFile) {
    return ReadStruct(WINSIM_API_NAME(), lpszSection, lpszKey, lpStruct, uSizeStruct, szFile);
}

BOOL WINAPI WritePrivateProfileStructA(LPCSTR lpszSection, LPCSTR lpszKey, LPVOID lpStruct,
                                       UINT uSizeStruct, LPCSTR szFile) {
    return WriteStruct(WINSIM_API_NAME(), lpszSection, lpszKey, lpStruct, uSizeStruct, szFile);
}

// ---- W forms (NT 4.0) ----

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                      LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
    return ReadStringW(WINSIM_API_NAME(), lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                       Narrow(lpFileName));
}

DWORD WINAPI GetProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                               LPWSTR lpReturnedString, DWORD nSize) {
    return ReadStringW(WINSIM_API_NAME(), lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                       "WIN.INI");
}

DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                            LPCWSTR lpFileName) {
    return ReadStringW(WINSIM_API_NAME(), nullptr, nullptr, nullptr, lpszReturnBuffer, nSize,
                       Narrow(lpFileName));
}

UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                  LPCWSTR lpFileName) {
    if (!WideCallsExist()) return 0;
    return ReadInt(WINSIM_API_NAME(), Narrow(lpAppName), Narrow(lpKeyName), nDefault,
                   Narrow(lpFileName));
}

UINT WINAPI GetProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault) {
    if (!WideCallsExist()) return 0;
    return ReadInt(WINSIM_API_NAME(), Narrow(lpAppName), Narrow(lpKeyName), nDefault, "WIN.INI");
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                       LPCWSTR lpFileName) {
    if (!WideCallsExist()) return FALSE;
    return WriteString(WINSIM_API_NAME(), Narrow(lpAppName), Narrow(lpKeyName), Narrow(lpString),
                       Narrow(lpFileName));
}

BOOL WINAPI WriteProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString) {
    if (!WideCallsExist()) return FALSE;
    return WriteString(WINSIM_API_NAME(), Narrow(lpAppName), Narrow(lpKeyName), Narrow(lpString),
                       "WIN.INI");
}

DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                       LPCWSTR lpFileName) {
    if (!WideCallsExist()) return 0;
    WideOut out(lpReturnedString, nSize);
    return ReadSection(WINSIM_API_NAME(), Narrow(lpAppName), out.Buffer(), nSize,
                       Narrow(lpFileName));
}

BOOL WINAPI WritePrivateProfileSectionW(LPCWSTR lpAppName, LPCWSTR lpString, LPCWSTR lpFileName) {
    if (!WideCallsExist()) return FALSE;
    const std::string lines = lpString ? NarrowList(lpString) : "";
    return WriteSection(WINSIM_API_NAME(), Narrow(lpAppName), lpString ? lines.c_str() : nullptr,
                        Narrow(lpFileName));
}

BOOL WINAPI GetPrivateProfileStructW(LPCWSTR lpszSection, LPCWSTR lpszKey, LPVOID lpStruct,
                                     UINT uSizeStruct, LPCWSTR szFile) {
    if (!WideCallsExist()) return FALSE;
    return ReadStruct(WINSIM_API_NAME(), Narrow(lpszSection), Narrow(lpszKey), lpStruct,
                      uSizeStruct, Narrow(szFile));
}

BOOL WINAPI WritePrivateProfileStructW(LPCWSTR lpszSection, LPCWSTR lpszKey, LPVOID lpStruct,
                                       UINT uSizeStruct, LPCWSTR szFile) {
    if (!WideCallsExist()) return FALSE;
    return WriteStruct(WINSIM_API_NAME(), Narrow(lpszSection), Narrow(lpszKey), lpStruct,
                       uSizeStruct, Narrow(szFile));
}

} // extern "C"
