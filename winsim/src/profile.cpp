// Profile files (kernel32, winbase.h): GetPrivateProfileStringA and its family, and their WIN.INI
// forms.
//
// Parsed files are cached by host path. Each call checks the file's identity (device, inode,
// size, modification and change times in nanoseconds) so the cache follows changes made behind
// its back. On 95/98 writes stay in the cache, as those systems keep them, until the all-NULL
// write, an access to another file or the machine's close writes them out; NT writes them through
// before the call returns. Either way the file is rewritten with only the changed lines different.
#include "files.h"

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
// system's clock as the time cached. So a file changed this recently (far more than a tick) is
// vouched for by its content, not by its times.
// A time with nanoseconds comes from a clock that ticks every few milliseconds; a time in whole
// seconds may come from a file system that keeps no finer ones.
constexpr int64_t kRacyNanoseconds = 1000000000;
constexpr int64_t kRacyFineNanoseconds = 50000000;

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
};

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
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t age = (static_cast<int64_t>(now.tv_sec) - id.ctime.tv_sec) * 1000000000 +
                  (now.tv_nsec - id.ctime.tv_nsec);
    return age < (id.ctime.tv_nsec != 0 ? kRacyFineNanoseconds : kRacyNanoseconds);
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
    uint64_t lastUse = 0;
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
    const std::string host = p->hostPath;
    if (!justLoaded) {
        std::string now;
        FileId nowId;
        DWORD error = 0;
        const bool exists = ReadProfileFile(host, &now, &nowId, &error);
        if (exists != p->onDisk || (exists && now != p->text))
            Note("profile writes overwrite what was changed in " + p->name + " since it was read");
    }
    std::string text = p->ini.Text();
    const bool written =
        IsHostFileOpen(host) ? WriteFileInPlace(host, text) : WriteFileAtomic(host, text);
    struct stat st;
    if (!written || stat(host.c_str(), &st) != 0) {
        Note("profile writes to " + p->name + " are lost: the file cannot be written");
        Forget(host);
        return false;
    }
    p->text = std::move(text);
    p->onDisk = true;
    p->id = IdOf(st);
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
    }
    p->lastUse = ++cache.clock;
    return p;
}

Profile* Store(const std::string& hostPath, std::string text, const FileId& id) {
    Profile* p = Entry(hostPath);
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
    if (Profile* p = Cached(hostPath); p && p->pending) {
        p->lastUse = ++TheCache().clock;
        return p;
    }
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
    Profile* p = Cached(hostPath);
    if (p && SameFile(p->id, IdOf(st)) && !p->racy) {
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
        p->lastUse = ++TheCache().clock;
        return p;
    }
    return Store(hostPath, std::move(text), id);
}

// A file name without a folder lies in the Windows directory; no name means WIN.INI.
std::string HostOf(LPCSTR fileName) {
    return ResolvePath(fileName ? fileName : "WIN.INI", true);
}

Profile* Open(LPCSTR fileName, DWORD* error) {
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
    return Load(host, error);
}

// The all-NULL write: the pending writes go to their file, whichever file the call names, and
// the named file's parsed copy is dropped (without a name, every copy).
void Flush(LPCSTR fileName) {
    if (!HasMachine()) return; // the machine's close wrote and emptied the cache
    if (!fileName) {
        WritePending();
        TheCache().entries.clear();
        return;
    }
    const std::string host = HostOf(fileName);
    if (!host.empty()) Access(host);
    WritePending();
    if (!host.empty()) Forget(host);
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

// `api` is the calling function's name (WINSIM_API_NAME()), under which a failure is armed.
DWORD ReadString(const char* api, LPCSTR app, LPCSTR key, LPCSTR def, LPSTR buf, DWORD size,
                 LPCSTR fileName) {
    std::string dflt = def ? def : "";
    while (!dflt.empty() && dflt.back() == ' ')
        dflt.pop_back();
    DWORD error = 0;
    const Profile* p = nullptr;
    if (!ShouldFail(api, &error)) p = Open(fileName, &error);
    if (!p) SetLastError(error);

    if (!app) {
        if (p) return CopyList(p->ini.SectionHeaders(), buf, size);
        if (buf && size) buf[0] = '\0'; // Windows ends an unread file's list with one NUL only
        return 0;
    }
    std::string section = Trim(app);
    if (!key) {
        std::vector<std::string> keys;
        if (p) keys = p->ini.KeyLines(section);
        return keys.empty() ? CopyDefaultList(dflt, buf, size) : CopyList(keys, buf, size);
    }
    std::string value;
    if (p && p->ini.Get(section, Trim(key), &value)) return CopyText(Unquote(value), buf, size);
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

// Applies one change to the cached file, which then holds a pending write (95/98) or is written
// out at once (NT); a missing file is made for a key or section to be written, not for a deletion.
BOOL WriteChange(LPCSTR fileName, Change change, const std::string& section, const std::string& key,
                 const std::string& value, const std::vector<std::string>& lines) {
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
    if (!app && !key && !value) {
        Flush(fileName);
        return FALSE; // documented: a flush reports zero
    }
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
    DWORD error = 0;
    if (WINSIM_ARMED(&error)) {
        SetLastError(error);
        return CopyList({}, lpReturnedString, nSize);
    }
    if (!lpAppName || !lpReturnedString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const Profile* p = Open(lpFileName, &error);
    if (!p) {
        SetLastError(error);
        return CopyList({}, lpReturnedString, nSize);
    }
    SetLastError(ERROR_SUCCESS); // as Windows does after a section it could read
    return CopyList(p->ini.SectionBody(Trim(lpAppName)), lpReturnedString, nSize);
}

BOOL WINAPI WritePrivateProfileSectionA(LPCSTR lpAppName, LPCSTR lpString, LPCSTR lpFileName) {
    WINSIM_FAILPOINT(FALSE);
    if (!lpAppName && !lpString) {
        Flush(lpFileName);
        return FALSE;
    }
    if (!lpAppName) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string section = Trim(lpAppName);
    if (!lpString) return WriteChange(lpFileName, Change::DeleteSection, section, "", "", {});
    std::vector<std::string> lines;
    for (const char* s = lpString; *s; s += std::strlen(s) + 1)
        lines.emplace_back(s);
    return WriteChange(lpFileName, Change::ReplaceSection, section, "", "", lines);
}

DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR lpszReturnBuffer, DWORD nSize,
                                            LPCSTR lpFileName) {
    return ReadString(WINSIM_API_NAME(), nullptr, nullptr, nullptr, lpszReturnBuffer, nSize,
                      lpFileName);
}

} // extern "C"
