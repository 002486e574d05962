// Files and directories: CreateFileA and its handles, OpenFile and the _l calls, the current
// directory, directory listing with wildcards and 8.3 names, moves, copies, deletions and disk
// space. Paths resolve on the machine's drives without regard to case.
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace winsim;

namespace {

// ---- paths --------------------------------------------------------------------------------

std::string g_cwd; // empty until first asked: then machine.ini's cwd, or C:\ .
// The machine.ini cwd that g_cwd was taken from: a tool that changes the setting while the
// process runs moves the process there, as a new start would.
std::string g_cwdSetting;

bool IsSep(char c) {
    return c == '\\' || c == '/';
}

std::string LastComponent(const std::string& full) {
    size_t bs = full.rfind('\\');
    return bs == std::string::npos ? full : full.substr(bs + 1);
}

// The folder that holds `full`; empty for a drive's root.
std::string ParentOf(const std::string& full) {
    size_t bs = full.rfind('\\');
    if (bs == std::string::npos || full.size() <= 3) return "";
    return bs == 2 ? full.substr(0, 3) : full.substr(0, bs);
}

bool HasWildcards(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

struct HostInfo {
    bool exists = false;
    bool dir = false;
    bool readOnly = false;
    uint64_t size = 0;
    struct timespec mtime {};
};

HostInfo Stat(const std::string& host) {
    HostInfo info;
    struct stat st;
    if (host.empty() || stat(host.c_str(), &st) != 0) return info;
    info.exists = true;
    info.dir = S_ISDIR(st.st_mode);
    info.readOnly = (st.st_mode & S_IWUSR) == 0;
    info.size = static_cast<uint64_t>(st.st_size);
    info.mtime = st.st_mtim;
    return info;
}

std::string Host(const std::string& full) {
    return full.empty() ? "" : ResolvePath(full, false);
}

// The error for a path that does not exist: its folder exists (file not found) or not.
DWORD MissingError(const std::string& full) {
    std::string parent = ParentOf(full);
    if (full.size() <= 3) return ERROR_PATH_NOT_FOUND; // a drive the machine lacks
    return Stat(Host(parent)).dir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool Fail(const char* function, DWORD* error) {
    return ShouldFail(function, error);
}

template <typename T> T Refuse(DWORD error, T result) {
    SetLastError(error);
    return result;
}

// Files and folders listed in machine.ini [in-use] cannot be written, moved or deleted.
bool IsInUse(const std::string& full) {
    const auto marks = Require().ini.Entries("in-use");
    if (marks.empty()) return false;
    const std::string host = Host(full);
    for (const auto& e : marks) {
        const std::string marked = FullWindowsPath(e.first);
        if (IEquals(marked, full)) return true;
        // The same file or folder named in its 8.3 form.
        if (!host.empty() && IEquals(Host(marked), host)) return true;
    }
    return false;
}

DWORD Attributes(const HostInfo& info) {
    DWORD a = info.dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (info.readOnly) a |= FILE_ATTRIBUTE_READONLY;
    return a;
}

FILETIME ToFileTime(const struct timespec& t) {
    // 100-ns intervals since 1601-01-01.
    uint64_t v = (static_cast<uint64_t>(t.tv_sec) + 11644473600ull) * 10000000ull +
                 static_cast<uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

// Copies `text` into a caller's buffer of `size` characters. Returns the length copied, or the
// size needed (terminator included) when it does not fit, as the Get...A path calls do.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
    if (!buffer || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

// ---- 8.3 names ----------------------------------------------------------------------------

bool IsShortChar(char c) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
    if (c <= ' ') return false;
    return std::strchr("\"*+,/:;<=>?[\\]|.", c) == nullptr;
}

// A name that is already an 8.3 name needs no short form of its own.
bool IsShortName(const std::string& name) {
    if (name == "." || name == "..") return true;
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
    if (dot != std::string::npos && ext.empty()) return false;
    for (char c : base + ext)
        if (!IsShortChar(c)) return false;
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

// The short names of a folder's entries, in listing order. Windows 95/98 show an 8.3 name in
// capitals; NT keeps an 8.3 name as written. Long names get BASE~N.EXT with the lowest free N.
std::map<std::string, std::string> ShortNames(const std::vector<std::string>& entries) {
    std::map<std::string, std::string> out;
    std::vector<std::string> taken;
    const bool nt = IsNT();
    for (const std::string& e : entries)
        if (IsShortName(e)) {
            out[e] = nt ? e : Upper(e);
            taken.push_back(Upper(e));
        }
    for (const std::string& e : entries) {
        if (out.count(e)) continue;
        size_t dot = e.rfind('.');
        std::string base = ShortChars(dot == std::string::npos || dot == 0 ? e : e.substr(0, dot));
        std::string ext = dot == std::string::npos || dot == 0 ? "" : ShortChars(e.substr(dot + 1));
        if (ext.size() > 3) ext.resize(3);
        if (base.empty()) base = "_";
        for (int n = 1; n < 1000000; ++n) {
            std::string tail = "~" + std::to_string(n);
            std::string cand = base.substr(0, 8 - tail.size()) + tail;
            if (!ext.empty()) cand += "." + ext;
            if (std::find(taken.begin(), taken.end(), cand) == taken.end()) {
                out[e] = cand;
                taken.push_back(cand);
                break;
            }
        }
    }
    return out;
}

// A folder's entries (without "." and ".."), sorted without regard to case so that listings
// and short names come out the same on every host.
bool ListHostDir(const std::string& host, std::vector<std::string>* names) {
    names->clear();
    DIR* d = opendir(host.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names->push_back(n);
    }
    closedir(d);
    std::sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
        std::string x = Upper(a), y = Upper(b);
        return x != y ? x < y : a < b;
    });
    return true;
}

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
        char a = *p, b = *n;
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
        if (a != b) return false;
        ++p;
        ++n;
    }
}

// ---- file handles -------------------------------------------------------------------------

// The one owner of what a file handle stands for: an open host file or a port.
class FileObject {
  public:
    FileObject() = default;
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;
    ~FileObject() {
        if (m_fd >= 0) ::close(m_fd);
        if (m_deleteOnClose) ::unlink(m_host.c_str());
    }

    int m_fd = -1;
    std::string m_host;
    bool m_read = false, m_write = false, m_delete = false;
    DWORD m_share = 0;
    bool m_deleteOnClose = false;
    uint64_t m_pos = 0;
    std::unique_ptr<PortDevice> m_port;
};

// Never destroyed: the machine's close at process exit asks which files are open.
std::map<uint32_t, std::unique_ptr<FileObject>>& Files() {
    static auto* files = new std::map<uint32_t, std::unique_ptr<FileObject>>;
    return *files;
}

FileObject* Lookup(HANDLE h) {
    auto it = Files().find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)));
    return it == Files().end() ? nullptr : it->second.get();
}

} // namespace

bool winsim::IsHostFileOpen(const std::string& hostPath) {
    for (const auto& entry : Files())
        if (entry.second->m_fd >= 0 && entry.second->m_host == hostPath) return true;
    return false;
}

namespace {

FileObject* LookupDisk(HANDLE h, DWORD* error) {
    FileObject* f = Lookup(h);
    if (!f)
        *error = ERROR_INVALID_HANDLE;
    else if (f->m_port)
        *error = ERROR_INVALID_FUNCTION;
    return f && !f->m_port ? f : nullptr;
}

HANDLE Keep(std::unique_ptr<FileObject> f) {
    uint32_t n = NextHandleNumber();
    Files()[n] = std::move(f);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(n));
}

// Whether an open of `host` with this access and sharing agrees with the handles already open
// on it, as Windows checks share modes both ways.
bool SharingAllows(const std::string& host, bool read, bool write, bool del, DWORD share) {
    for (const auto& kv : Files()) {
        const FileObject& o = *kv.second;
        if (o.m_port || o.m_host != host) continue;
        if ((read && !(o.m_share & FILE_SHARE_READ)) ||
            (write && !(o.m_share & FILE_SHARE_WRITE)) || (del && !(o.m_share & FILE_SHARE_DELETE)))
            return false;
        if ((o.m_read && !(share & FILE_SHARE_READ)) ||
            (o.m_write && !(share & FILE_SHARE_WRITE)) ||
            (o.m_delete && !(share & FILE_SHARE_DELETE)))
            return false;
    }
    return true;
}

// The checks before a file or folder is removed or renamed: in use, open without delete
// sharing.
DWORD RemovalBlocked(const std::string& full, const std::string& host) {
    if (IsInUse(full)) return ERROR_SHARING_VIOLATION;
    if (!SharingAllows(host, false, false, true,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return ERROR_SHARING_VIOLATION;
    return NO_ERROR;
}

// CreateFileA without its failure injection, shared with OpenFile and the _l calls.
HANDLE OpenFileHandle(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    if (!name) return Refuse(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
        return Refuse(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

    std::string port = PortNameOf(name);
    if (!port.empty()) {
        auto f = std::make_unique<FileObject>();
        f->m_port = std::make_unique<PortDevice>();
        DWORD error = NO_ERROR;
        if (!OpenPort(port, f->m_port.get(), &error)) return Refuse(error, INVALID_HANDLE_VALUE);
        SetLastError(NO_ERROR);
        return Keep(std::move(f));
    }

    std::string text = name;
    if (text.size() >= 2 && IsSep(text[0]) && IsSep(text[1]))
        return Refuse(ERROR_BAD_NETPATH, INVALID_HANDLE_VALUE);
    if (HasWildcards(text)) return Refuse(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
    std::string full = FullWindowsPath(text);
    std::string host = Host(full);
    if (full.empty() || host.empty()) return Refuse(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (!text.empty() && IsSep(text.back()))
        return Refuse(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);

    const bool read = (access & (GENERIC_READ | GENERIC_ALL | 0x0001)) != 0;
    const bool write = (access & (GENERIC_WRITE | GENERIC_ALL | 0x0002 | 0x0004)) != 0;
    const bool del = (access & DELETE) != 0 || (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    if (disposition == TRUNCATE_EXISTING && !write)
        return Refuse(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

    HostInfo info = Stat(host);
    if (info.exists && info.dir) return Refuse(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (!info.exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
        return Refuse(MissingError(full), INVALID_HANDLE_VALUE);
    if (info.exists && disposition == CREATE_NEW)
        return Refuse(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
    if (!info.exists && !Stat(Host(ParentOf(full))).dir)
        return Refuse(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);

    const bool truncate =
        info.exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (info.exists) {
        if (info.readOnly && (write || del || truncate))
            return Refuse(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
        if ((write || del || truncate) && IsInUse(full))
            return Refuse(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
        if (!SharingAllows(host, read, write || truncate, del, share))
            return Refuse(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    }

    int oflags = O_RDWR | O_CLOEXEC;
    if (!info.exists) oflags |= O_CREAT;
    if (truncate) oflags |= O_TRUNC;
    int fd = ::open(host.c_str(), oflags, 0644);
    if (fd < 0 && errno == EACCES) fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Refuse(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (!info.exists && (flags & FILE_ATTRIBUTE_READONLY)) ::fchmod(fd, 0444);

    auto f = std::make_unique<FileObject>();
    f->m_fd = fd;
    f->m_host = host;
    f->m_read = read;
    f->m_write = write;
    f->m_delete = del;
    f->m_share = share;
    f->m_deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    // Opening an existing file with a creating disposition reports it through the last error.
    SetLastError(info.exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                     ? ERROR_ALREADY_EXISTS
                     : NO_ERROR);
    return Keep(std::move(f));
}

bool ReadHandle(HANDLE h, void* buffer, DWORD count, DWORD* done) {
    *done = 0;
    FileObject* f = Lookup(h);
    if (!f) return Refuse(ERROR_INVALID_HANDLE, false);
    if (f->m_port) return true; // nothing arrives from a printer port
    if (!f->m_read) return Refuse(ERROR_ACCESS_DENIED, false);
    if (count && !buffer) return Refuse(ERROR_NOACCESS, false);
    char* out = static_cast<char*>(buffer);
    while (*done < count) {
        ssize_t n =
            ::pread(f->m_fd, out + *done, count - *done, static_cast<off_t>(f->m_pos + *done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Refuse(ERROR_GEN_FAILURE, false);
        if (n == 0) break;
        *done += static_cast<DWORD>(n);
    }
    f->m_pos += *done;
    return true;
}

bool WriteHandle(HANDLE h, const void* buffer, DWORD count, DWORD* done) {
    *done = 0;
    FileObject* f = Lookup(h);
    if (!f) return Refuse(ERROR_INVALID_HANDLE, false);
    if (f->m_port) {
        // The printer takes whatever it is sent; a port without one never gets ready.
        if (!f->m_port->hasDevice) return Refuse(ERROR_NOT_READY, false);
        *done = count;
        return true;
    }
    if (!f->m_write) return Refuse(ERROR_ACCESS_DENIED, false);
    if (count && !buffer) return Refuse(ERROR_NOACCESS, false);
    const char* in = static_cast<const char*>(buffer);
    while (*done < count) {
        ssize_t n =
            ::pwrite(f->m_fd, in + *done, count - *done, static_cast<off_t>(f->m_pos + *done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Refuse(errno == ENOSPC ? ERROR_DISK_FULL : ERROR_GEN_FAILURE, false);
        *done += static_cast<DWORD>(n);
    }
    f->m_pos += *done;
    return true;
}

// Moves a handle's position; false with the last error set when it cannot.
bool SeekHandle(HANDLE h, int64_t distance, DWORD method, uint64_t* result) {
    DWORD error = NO_ERROR;
    FileObject* f = LookupDisk(h, &error);
    if (!f) return Refuse(error, false);
    int64_t base = 0;
    if (method == FILE_CURRENT) {
        base = static_cast<int64_t>(f->m_pos);
    } else if (method == FILE_END) {
        struct stat st;
        if (fstat(f->m_fd, &st) != 0) return Refuse(ERROR_GEN_FAILURE, false);
        base = st.st_size;
    } else if (method != FILE_BEGIN) {
        return Refuse(ERROR_INVALID_PARAMETER, false);
    }
    int64_t pos = base + distance;
    if (pos < 0) return Refuse(ERROR_NEGATIVE_SEEK, false);
    f->m_pos = static_cast<uint64_t>(pos);
    *result = f->m_pos;
    return true;
}

bool TruncateHandle(HANDLE h) {
    DWORD error = NO_ERROR;
    FileObject* f = LookupDisk(h, &error);
    if (!f) return Refuse(error, false);
    if (!f->m_write) return Refuse(ERROR_ACCESS_DENIED, false);
    if (::ftruncate(f->m_fd, static_cast<off_t>(f->m_pos)) != 0)
        return Refuse(ERROR_DISK_FULL, false);
    return true;
}

// ---- find handles -------------------------------------------------------------------------

struct FoundEntry {
    std::string name, shortName;
    HostInfo info;
};

class FindObject {
  public:
    std::vector<FoundEntry> m_entries;
    size_t m_next = 0;
};

std::map<uint32_t, std::unique_ptr<FindObject>>& Finds() {
    static std::map<uint32_t, std::unique_ptr<FindObject>> finds;
    return finds;
}

void FillFindData(const FoundEntry& e, LPWIN32_FIND_DATAA data) {
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = Attributes(e.info);
    data->ftCreationTime = data->ftLastAccessTime = data->ftLastWriteTime =
        ToFileTime(e.info.mtime);
    if (!e.info.dir) {
        data->nFileSizeHigh = static_cast<DWORD>(e.info.size >> 32);
        data->nFileSizeLow = static_cast<DWORD>(e.info.size);
    }
    lstrcpynA(data->cFileName, e.name.c_str(), sizeof(data->cFileName));
    // The alternate name is given only where it differs from the name itself.
    if (e.shortName != e.name)
        lstrcpynA(data->cAlternateFileName, e.shortName.c_str(), sizeof(data->cAlternateFileName));
}

// ---- state --------------------------------------------------------------------------------

void ResetFiles() {
    Files().clear();
    Finds().clear();
    g_cwd.clear();
    g_cwdSetting.clear();
}

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr, ResetFiles}), true);

// The Windows path OpenFile opens for a bare file name: the first of the current, system and
// Windows directories that holds it; the current directory when none does.
std::string SearchOpenFile(const std::string& name) {
    if (name.find_first_of("\\/:") != std::string::npos) return FullWindowsPath(name);
    for (const std::string& dir : {CurrentDirectory(), SystemDir(), WindowsDir()}) {
        std::string full = FullWindowsPath(dir + "\\" + name);
        HostInfo info = Stat(Host(full));
        if (info.exists && !info.dir) return full;
    }
    return FullWindowsPath(name);
}

// Moves a file or folder; the checks of MoveFileA and MoveFileExA without the OS gate.
BOOL MoveEntry(const char* from, const char* to, bool replace, bool copyAllowed) {
    if (!from || !to) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    std::string src = FullWindowsPath(from), dst = FullWindowsPath(to);
    std::string srcHost = Host(src), dstHost = Host(dst);
    HostInfo si = Stat(srcHost);
    if (!si.exists)
        return Refuse(src.empty() || srcHost.empty() ? ERROR_PATH_NOT_FOUND : MissingError(src),
                      FALSE);
    if (dst.empty() || dstHost.empty() || !Stat(Host(ParentOf(dst))).dir)
        return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    DWORD blocked = RemovalBlocked(src, srcHost);
    if (blocked) return Refuse(blocked, FALSE);
    HostInfo di = Stat(dstHost);
    const bool sameFile = IEquals(src, dst); // a change of case only
    if (di.exists && !sameFile) {
        if (!replace) return Refuse(ERROR_ALREADY_EXISTS, FALSE);
        if (di.dir || si.dir || di.readOnly) return Refuse(ERROR_ACCESS_DENIED, FALSE);
        DWORD b = RemovalBlocked(dst, dstHost);
        if (b) return Refuse(b, FALSE);
    }
    if (toupper(static_cast<unsigned char>(src[0])) !=
        toupper(static_cast<unsigned char>(dst[0]))) {
        // Another drive: a folder cannot go there, a file only as a copy.
        if (si.dir) return Refuse(ERROR_NOT_SAME_DEVICE, FALSE);
        if (!copyAllowed) return Refuse(ERROR_NOT_SAME_DEVICE, FALSE);
        if (!CopyFileA(from, to, FALSE)) return FALSE;
        ::unlink(srcHost.c_str());
        SetLastError(NO_ERROR);
        return TRUE;
    }
    // The new name as written: the host path keeps the case of the last component given.
    std::string target = dstHost.substr(0, dstHost.rfind('/') + 1) + LastComponent(dst);
    if (sameFile) target = srcHost.substr(0, srcHost.rfind('/') + 1) + LastComponent(dst);
    if (di.exists && !sameFile) ::unlink(dstHost.c_str());
    if (::rename(srcHost.c_str(), target.c_str()) != 0) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

// Records a deletion or rename for the next start of NT in the Session Manager's list.
BOOL DelayMove(const char* from, const char* to, bool replace) {
    std::string src = FullWindowsPath(from ? from : "");
    if (src.empty()) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    HKEY key = nullptr;
    LONG rc =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                        0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return Refuse(static_cast<DWORD>(rc), FALSE);
    std::vector<char> list;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS &&
        type == REG_MULTI_SZ && size > 0) {
        list.resize(size);
        RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(list.data()), &size);
        list.resize(size);
    }
    // Keep the entries (an empty one stands for a deletion), drop the list's closing NUL, then
    // append the new pair.
    if (!list.empty() && list.back() == '\0') list.pop_back();
    std::string first = "\\??\\" + src;
    std::string second;
    if (to && *to) second = std::string(replace ? "!" : "") + "\\??\\" + FullWindowsPath(to);
    list.insert(list.end(), first.begin(), first.end());
    list.push_back('\0');
    list.insert(list.end(), second.begin(), second.end());
    list.push_back('\0');
    list.push_back('\0');
    rc =
        RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(list.data()), static_cast<DWORD>(list.size()));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return Refuse(static_cast<DWORD>(rc), FALSE);
    return TRUE;
}

} // namespace

namespace winsim {

std::string CurrentDirectory() {
    std::string setting = GetSetting("machine", "cwd", "C:\\");
    if (g_cwd.empty() || setting != g_cwdSetting) {
        g_cwdSetting = setting;
        std::string start = setting.size() >= 2 && setting[1] == ':' ? setting : "C:\\";
        g_cwd = start; // absolute, so FullWindowsPath needs no current directory
        g_cwd = FullWindowsPath(start);
    }
    return g_cwd;
}

std::string FullWindowsPath(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '/') c = '\\';
    std::string cwd = CurrentDirectory();
    std::string drive, rest;
    if (p.size() >= 2 && p[1] == ':') {
        drive = p.substr(0, 2);
        rest = p.substr(2);
        if (rest.empty() || rest[0] != '\\') {
            // "D:name" is relative to the current directory when that lies on D:.
            rest = IEquals(cwd.substr(0, 2), drive) ? cwd.substr(2) + "\\" + rest : "\\" + rest;
        }
    } else if (!p.empty() && p[0] == '\\') {
        if (p.size() >= 2 && p[1] == '\\') return ""; // a network name
        drive = cwd.substr(0, 2);
        rest = p;
    } else {
        drive = cwd.substr(0, 2);
        rest = cwd.substr(2) + "\\" + p;
    }
    char letter = drive[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return "";
    const std::vector<std::string> parts = PathComponents(rest);
    std::string out = drive;
    if (parts.empty()) return out + "\\";
    for (const std::string& c : parts)
        out += "\\" + c;
    return out;
}

PortDevice* PortOfHandle(HANDLE h) {
    FileObject* f = Lookup(h);
    return f ? f->m_port.get() : nullptr;
}

bool IsFileHandle(HANDLE h) {
    return Lookup(h) != nullptr;
}

bool CloseFileHandle(HANDLE h) {
    return Files().erase(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h))) != 0;
}

void MarkInUse(const std::string& windowsPath, bool inUse) {
    MachineState& m = Require();
    if (inUse)
        m.ini.Set("in-use", windowsPath, "");
    else
        m.ini.DeleteKey("in-use", windowsPath);
    WriteFileAtomic(m.dir + "/machine.ini", m.ini.Text());
}

std::string EntryForShortName(const std::string& hostDir, const std::string& shortName) {
    std::vector<std::string> names;
    if (!ListHostDir(hostDir, &names)) return "";
    for (const auto& kv : ShortNames(names))
        if (IEquals(kv.second, shortName)) return kv.first;
    return "";
}

} // namespace winsim

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    DWORD err;
    if (Fail("CreateFileA", &err)) return Refuse(err, INVALID_HANDLE_VALUE);
    return OpenFileHandle(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                          dwFlagsAndAttributes);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    (void)lpOverlapped;
    DWORD done = 0, err;
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    if (Fail("ReadFile", &err)) return Refuse(err, FALSE);
    BOOL ok = ReadHandle(hFile, lpBuffer, nNumberOfBytesToRead, &done);
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return ok;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    (void)lpOverlapped;
    DWORD done = 0, err;
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    if (Fail("WriteFile", &err)) return Refuse(err, FALSE);
    BOOL ok = WriteHandle(hFile, lpBuffer, nNumberOfBytesToWrite, &done);
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return ok;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    DWORD err;
    if (Fail("SetFilePointer", &err)) return Refuse(err, INVALID_SET_FILE_POINTER);
    // With a high part the distance is one signed 64-bit number; without, a signed 32-bit one.
    int64_t distance =
        lpDistanceToMoveHigh
            ? static_cast<int64_t>(
                  (static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                  static_cast<uint32_t>(lDistanceToMove))
            : lDistanceToMove;
    uint64_t pos = 0;
    if (!SeekHandle(hFile, distance, dwMoveMethod, &pos)) return INVALID_SET_FILE_POINTER;
    if (lpDistanceToMoveHigh) {
        *lpDistanceToMoveHigh = static_cast<LONG>(pos >> 32);
    } else if (pos > 0xFFFFFFFEull) {
        return Refuse(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    SetLastError(NO_ERROR); // INVALID_SET_FILE_POINTER can be a true position
    return static_cast<DWORD>(pos);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    DWORD err;
    if (Fail("SetEndOfFile", &err)) return Refuse(err, FALSE);
    return TruncateHandle(hFile);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    DWORD err;
    if (Fail("FlushFileBuffers", &err)) return Refuse(err, FALSE);
    FileObject* f = Lookup(hFile);
    if (!f) return Refuse(ERROR_INVALID_HANDLE, FALSE);
    if (!f->m_port && !f->m_write) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE; // writes reach the host file at once
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    DWORD err;
    if (Fail("GetFileSize", &err)) return Refuse(err, INVALID_FILE_SIZE);
    FileObject* f = LookupDisk(hFile, &err);
    struct stat st;
    if (!f) return Refuse(err, INVALID_FILE_SIZE);
    if (fstat(f->m_fd, &st) != 0) return Refuse(ERROR_GEN_FAILURE, INVALID_FILE_SIZE);
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

// ---- OpenFile and the _l calls ------------------------------------------------------------

HFILE WINAPI OpenFile(LPCSTR lpFileName, LPOFSTRUCT lpReOpenBuff, UINT uStyle) {
    OFSTRUCT local;
    OFSTRUCT* ofs = lpReOpenBuff ? lpReOpenBuff : &local;
    std::string name;
    if (uStyle & OF_REOPEN)
        name.assign(ofs->szPathName, strnlen(ofs->szPathName, sizeof(ofs->szPathName)));
    else
        name = lpFileName ? lpFileName : "";
    std::memset(ofs, 0, sizeof(*ofs));
    ofs->cBytes = sizeof(OFSTRUCT);
    ofs->fFixedDisk = 1; // every drive of the machine is a hard disk
    auto fail = [&](DWORD error) {
        ofs->nErrCode = static_cast<WORD>(error);
        SetLastError(error);
        return HFILE_ERROR;
    };
    DWORD err;
    if (Fail("OpenFile", &err)) return fail(err);
    if (name.empty()) return fail(ERROR_FILE_NOT_FOUND);

    std::string full = (uStyle & OF_CREATE) && name.find_first_of("\\/:") == std::string::npos
                           ? FullWindowsPath(name)
                           : SearchOpenFile(name);
    lstrcpynA(ofs->szPathName, full.c_str(), sizeof(ofs->szPathName));
    if (uStyle & OF_PARSE) return 0;
    if (uStyle & OF_DELETE) {
        if (!DeleteFileA(full.c_str())) return fail(GetLastError());
        return 1;
    }

    DWORD access = GENERIC_READ;
    if ((uStyle & 3) == OF_WRITE) access = GENERIC_WRITE;
    if ((uStyle & 3) == OF_READWRITE) access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE; // compatibility mode and deny-none
    switch (uStyle & 0x70) {
    case OF_SHARE_EXCLUSIVE:
        share = 0;
        break;
    case OF_SHARE_DENY_WRITE:
        share = FILE_SHARE_READ;
        break;
    case OF_SHARE_DENY_READ:
        share = FILE_SHARE_WRITE;
        break;
    default:
        break;
    }
    HANDLE h = OpenFileHandle(full.c_str(), access, share,
                              (uStyle & OF_CREATE) ? CREATE_ALWAYS : OPEN_EXISTING, 0);
    if (h == INVALID_HANDLE_VALUE) return fail(GetLastError());
    if (uStyle & OF_EXIST) {
        CloseFileHandle(h); // only asked whether it opens
        return 1;
    }
    SetLastError(NO_ERROR);
    return static_cast<HFILE>(reinterpret_cast<uintptr_t>(h));
}

HFILE WINAPI _lopen(LPCSTR lpPathName, int iReadWrite) {
    DWORD err;
    if (Fail("_lopen", &err)) return Refuse(err, HFILE_ERROR);
    DWORD access = GENERIC_READ;
    if ((iReadWrite & 3) == OF_WRITE) access = GENERIC_WRITE;
    if ((iReadWrite & 3) == OF_READWRITE) access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if ((iReadWrite & 0x70) == OF_SHARE_EXCLUSIVE) share = 0;
    if ((iReadWrite & 0x70) == OF_SHARE_DENY_WRITE) share = FILE_SHARE_READ;
    if ((iReadWrite & 0x70) == OF_SHARE_DENY_READ) share = FILE_SHARE_WRITE;
    HANDLE h = OpenFileHandle(lpPathName, access, share, OPEN_EXISTING, 0);
    return h == INVALID_HANDLE_VALUE ? HFILE_ERROR
                                     : static_cast<HFILE>(reinterpret_cast<uintptr_t>(h));
}

HFILE WINAPI _lcreat(LPCSTR lpPathName, int iAttribute) {
    DWORD err;
    if (Fail("_lcreat", &err)) return Refuse(err, HFILE_ERROR);
    HANDLE h =
        OpenFileHandle(lpPathName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       CREATE_ALWAYS, (iAttribute & 1) ? FILE_ATTRIBUTE_READONLY : 0);
    return h == INVALID_HANDLE_VALUE ? HFILE_ERROR
                                     : static_cast<HFILE>(reinterpret_cast<uintptr_t>(h));
}

static HANDLE FromHfile(HFILE h) {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(static_cast<uint32_t>(h)));
}

UINT WINAPI _lread(HFILE hFile, LPVOID lpBuffer, UINT uBytes) {
    DWORD err, done = 0;
    if (Fail("_lread", &err)) return Refuse(err, static_cast<UINT>(HFILE_ERROR));
    if (!ReadHandle(FromHfile(hFile), lpBuffer, uBytes, &done))
        return static_cast<UINT>(HFILE_ERROR);
    return done;
}

UINT WINAPI _lwrite(HFILE hFile, LPCCH lpBuffer, UINT uBytes) {
    DWORD err, done = 0;
    if (Fail("_lwrite", &err)) return Refuse(err, static_cast<UINT>(HFILE_ERROR));
    // Writing nothing sets the end of the file at the position, as the 16-bit call did.
    if (uBytes == 0) return TruncateHandle(FromHfile(hFile)) ? 0 : static_cast<UINT>(HFILE_ERROR);
    if (!WriteHandle(FromHfile(hFile), lpBuffer, uBytes, &done))
        return static_cast<UINT>(HFILE_ERROR);
    return done;
}

LONG WINAPI _llseek(HFILE hFile, LONG lOffset, int iOrigin) {
    DWORD err;
    if (Fail("_llseek", &err)) return Refuse(err, static_cast<LONG>(HFILE_ERROR));
    uint64_t pos = 0;
    if (!SeekHandle(FromHfile(hFile), lOffset, static_cast<DWORD>(iOrigin), &pos))
        return HFILE_ERROR;
    return static_cast<LONG>(pos);
}

HFILE WINAPI _lclose(HFILE hFile) {
    DWORD err;
    if (Fail("_lclose", &err)) return Refuse(err, HFILE_ERROR);
    if (!CloseFileHandle(FromHfile(hFile))) return Refuse(ERROR_INVALID_HANDLE, HFILE_ERROR);
    return 0;
}

// ---- directories --------------------------------------------------------------------------

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    DWORD err;
    if (Fail("GetCurrentDirectoryA", &err)) return Refuse(err, 0u);
    return CopyOut(CurrentDirectory(), lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
    DWORD err;
    if (Fail("SetCurrentDirectoryA", &err)) return Refuse(err, FALSE);
    if (!lpPathName) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    std::string full = FullWindowsPath(lpPathName);
    if (full.empty()) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    HostInfo info = Stat(Host(full));
    if (!info.exists) return Refuse(MissingError(full), FALSE);
    if (!info.dir) return Refuse(ERROR_DIRECTORY, FALSE);
    g_cwd = full;
    return TRUE;
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart) {
    DWORD err;
    if (lpFilePart) *lpFilePart = nullptr;
    if (Fail("GetFullPathNameA", &err)) return Refuse(err, 0u);
    if (!lpFileName || !*lpFileName) return Refuse(ERROR_INVALID_NAME, 0u);
    std::string full = FullWindowsPath(lpFileName);
    if (full.empty()) return Refuse(ERROR_INVALID_NAME, 0u);
    // A name given with a trailing backslash keeps it and has no file part.
    std::string given = lpFileName;
    if (IsSep(given.back()) && full.back() != '\\') full += '\\';
    DWORD n = CopyOut(full, lpBuffer, nBufferLength);
    if (n == full.size() && lpFilePart && full.back() != '\\')
        *lpFilePart = lpBuffer + full.rfind('\\') + 1;
    return n;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    (void)lpSecurityAttributes;
    DWORD err;
    if (Fail("CreateDirectoryA", &err)) return Refuse(err, FALSE);
    if (!lpPathName) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    std::string full = FullWindowsPath(lpPathName);
    std::string host = Host(full);
    if (full.empty() || host.empty()) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    if (HasWildcards(full)) return Refuse(ERROR_INVALID_NAME, FALSE);
    if (Stat(host).exists) return Refuse(ERROR_ALREADY_EXISTS, FALSE);
    if (!Stat(Host(ParentOf(full))).dir) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    std::string target = host.substr(0, host.rfind('/') + 1) + LastComponent(full);
    if (::mkdir(target.c_str(), 0755) != 0) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    DWORD err;
    if (Fail("RemoveDirectoryA", &err)) return Refuse(err, FALSE);
    if (!lpPathName) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    std::string full = FullWindowsPath(lpPathName);
    std::string host = Host(full);
    if (full.empty() || host.empty()) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    HostInfo info = Stat(host);
    if (!info.exists) return Refuse(MissingError(full), FALSE);
    if (!info.dir) return Refuse(ERROR_DIRECTORY, FALSE);
    if (full.size() <= 3) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    // The current directory and folders in use stay open in some process.
    if (IEquals(full, CurrentDirectory()) || IsInUse(full))
        return Refuse(ERROR_SHARING_VIOLATION, FALSE);
    std::vector<std::string> entries;
    if (ListHostDir(host, &entries) && !entries.empty()) return Refuse(ERROR_DIR_NOT_EMPTY, FALSE);
    if (::rmdir(host.c_str()) != 0) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

// ---- files --------------------------------------------------------------------------------

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    DWORD err;
    if (Fail("DeleteFileA", &err)) return Refuse(err, FALSE);
    if (!lpFileName) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    std::string full = FullWindowsPath(lpFileName);
    std::string host = Host(full);
    if (full.empty() || host.empty()) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    if (HasWildcards(full)) return Refuse(ERROR_INVALID_NAME, FALSE);
    HostInfo info = Stat(host);
    if (!info.exists) return Refuse(MissingError(full), FALSE);
    if (info.dir || info.readOnly) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    DWORD blocked = RemovalBlocked(full, host);
    if (blocked) return Refuse(blocked, FALSE);
    if (::unlink(host.c_str()) != 0) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    DWORD err;
    if (Fail("MoveFileA", &err)) return Refuse(err, FALSE);
    return MoveEntry(lpExistingFileName, lpNewFileName, false, true);
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    DWORD err;
    if (Fail("MoveFileExA", &err)) return Refuse(err, FALSE);
    // Windows 95/98 have the entry point but not the function.
    if (!IsNT()) return Refuse(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    const bool replace = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;
    if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        if (dwFlags & MOVEFILE_COPY_ALLOWED) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
        return DelayMove(lpExistingFileName, lpNewFileName, replace);
    }
    if (!lpNewFileName) {
        // No new name: a deletion.
        return DeleteFileA(lpExistingFileName);
    }
    return MoveEntry(lpExistingFileName, lpNewFileName, replace,
                     (dwFlags & MOVEFILE_COPY_ALLOWED) != 0);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    DWORD err;
    if (Fail("CopyFileA", &err)) return Refuse(err, FALSE);
    if (!lpExistingFileName || !lpNewFileName) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    std::string src = FullWindowsPath(lpExistingFileName);
    std::string dst = FullWindowsPath(lpNewFileName);
    std::string srcHost = Host(src), dstHost = Host(dst);
    HostInfo si = Stat(srcHost);
    if (!si.exists)
        return Refuse(srcHost.empty() ? ERROR_PATH_NOT_FOUND : MissingError(src), FALSE);
    if (si.dir) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    if (!SharingAllows(srcHost, true, false, false, FILE_SHARE_READ))
        return Refuse(ERROR_SHARING_VIOLATION, FALSE);
    if (dst.empty() || dstHost.empty() || !Stat(Host(ParentOf(dst))).dir)
        return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    HostInfo di = Stat(dstHost);
    if (di.exists) {
        if (bFailIfExists) return Refuse(ERROR_FILE_EXISTS, FALSE);
        if (di.dir || di.readOnly) return Refuse(ERROR_ACCESS_DENIED, FALSE);
        if (IEquals(src, dst)) return Refuse(ERROR_SHARING_VIOLATION, FALSE);
        if (IsInUse(dst) || !SharingAllows(dstHost, false, true, false, 0))
            return Refuse(ERROR_SHARING_VIOLATION, FALSE);
    }
    std::string bytes;
    if (!ReadWholeFile(srcHost, &bytes)) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    std::string target =
        di.exists ? dstHost : dstHost.substr(0, dstHost.rfind('/') + 1) + LastComponent(dst);
    int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    if (si.readOnly) ::fchmod(fd, 0444); // the copy takes the source's attributes
    ::close(fd);
    if (done != bytes.size()) return Refuse(ERROR_DISK_FULL, FALSE);
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    DWORD err;
    if (Fail("GetFileAttributesA", &err)) return Refuse(err, INVALID_FILE_ATTRIBUTES);
    if (!lpFileName) return Refuse(ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
    std::string full = FullWindowsPath(lpFileName);
    std::string host = Host(full);
    if (full.empty() || host.empty()) return Refuse(ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    if (HasWildcards(full)) return Refuse(ERROR_INVALID_NAME, INVALID_FILE_ATTRIBUTES);
    HostInfo info = Stat(host);
    if (!info.exists) return Refuse(MissingError(full), INVALID_FILE_ATTRIBUTES);
    return Attributes(info);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    DWORD err;
    if (Fail("SetFileAttributesA", &err)) return Refuse(err, FALSE);
    if (!lpFileName) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    std::string full = FullWindowsPath(lpFileName);
    std::string host = Host(full);
    HostInfo info = Stat(host);
    if (!info.exists)
        return Refuse(host.empty() ? ERROR_PATH_NOT_FOUND : MissingError(full), FALSE);
    // Only the read-only attribute is kept (as the host's write permission).
    mode_t mode = info.dir ? 0755 : 0644;
    if (dwFileAttributes & FILE_ATTRIBUTE_READONLY) mode &= ~static_cast<mode_t>(0222);
    if (::chmod(host.c_str(), mode) != 0) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    DWORD err;
    if (Fail("FindFirstFileA", &err)) return Refuse(err, INVALID_HANDLE_VALUE);
    if (!lpFileName || !lpFindFileData)
        return Refuse(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::string given = lpFileName;
    if (given.empty() || IsSep(given.back()))
        return Refuse(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    std::string full = FullWindowsPath(given);
    if (full.empty() || full.size() <= 3) return Refuse(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    std::string dir = ParentOf(full), pattern = LastComponent(full);
    // "C:\DIR\." names the folder itself; FullWindowsPath has taken the dot away.
    std::string dirHost = Host(dir);
    if (HasWildcards(dir) || !Stat(dirHost).dir)
        return Refuse(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);

    std::vector<std::string> names;
    ListHostDir(dirHost, &names);
    std::map<std::string, std::string> shorts = ShortNames(names);
    auto find = std::make_unique<FindObject>();
    if (dir.size() > 3) {
        // Folders other than a drive's root list themselves and their parent first.
        for (const char* dot : {".", ".."})
            if (WildMatch(pattern.c_str(), dot))
                find->m_entries.push_back(FoundEntry{dot, dot, Stat(dirHost)});
    }
    for (const std::string& n : names) {
        const std::string& s = shorts[n];
        if (WildMatch(pattern.c_str(), n.c_str()) || WildMatch(pattern.c_str(), s.c_str()))
            find->m_entries.push_back(FoundEntry{n, s, Stat(dirHost + "/" + n)});
    }
    if (find->m_entries.empty()) return Refuse(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    FillFindData(find->m_entries[0], lpFindFileData);
    find->m_next = 1;
    uint32_t n = NextHandleNumber();
    Finds()[n] = std::move(find);
    SetLastError(NO_ERROR);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(n));
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    DWORD err;
    if (Fail("FindNextFileA", &err)) return Refuse(err, FALSE);
    auto it = Finds().find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hFindFile)));
    if (it == Finds().end()) return Refuse(ERROR_INVALID_HANDLE, FALSE);
    FindObject& f = *it->second;
    if (f.m_next >= f.m_entries.size()) return Refuse(ERROR_NO_MORE_FILES, FALSE);
    if (!lpFindFileData) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    FillFindData(f.m_entries[f.m_next++], lpFindFileData);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    DWORD err;
    if (Fail("FindClose", &err)) return Refuse(err, FALSE);
    if (Finds().erase(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hFindFile))) == 0)
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer) {
    DWORD err;
    if (Fail("GetShortPathNameA", &err)) return Refuse(err, 0u);
    if (!lpszLongPath) return Refuse(ERROR_INVALID_PARAMETER, 0u);
    std::string given = lpszLongPath;
    for (char& c : given)
        if (c == '/') c = '\\';
    if (given.empty()) return Refuse(ERROR_INVALID_PARAMETER, 0u);
    std::string full = FullWindowsPath(given);
    if (full.empty() || Host(full).empty()) return Refuse(ERROR_PATH_NOT_FOUND, 0u);
    if (!Stat(Host(full)).exists) return Refuse(MissingError(full), 0u);

    // Each component of the path as given becomes its short form; the rest stays as written.
    std::string out;
    size_t pos = 0;
    std::string walked; // full path of the components handled so far
    if (given.size() >= 2 && given[1] == ':') {
        out = given.substr(0, 2);
        pos = 2;
    }
    while (pos < given.size()) {
        if (given[pos] == '\\') {
            out += '\\';
            ++pos;
            continue;
        }
        size_t end = given.find('\\', pos);
        std::string comp =
            given.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        std::string sofar = given.substr(0, end == std::string::npos ? given.size() : end);
        std::string fullComp = FullWindowsPath(sofar);
        if (comp == "." || comp == "..") {
            out += comp;
        } else {
            std::string dirHost = Host(ParentOf(fullComp));
            std::vector<std::string> names;
            ListHostDir(dirHost, &names);
            std::string shortName = comp;
            for (const auto& kv : ShortNames(names))
                if (IEquals(kv.first, comp)) shortName = kv.second;
            out += shortName;
        }
        pos = end == std::string::npos ? given.size() : end;
    }
    return CopyOut(out, lpszShortPath, cchBuffer);
}

BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                              LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                              LPDWORD lpTotalNumberOfClusters) {
    DWORD err;
    if (Fail("GetDiskFreeSpaceA", &err)) return Refuse(err, FALSE);
    std::string root = lpRootPathName ? lpRootPathName : CurrentDirectory().substr(0, 3);
    for (char& c : root)
        if (c == '/') c = '\\';
    // The root of a drive, with its backslash: "C:\".
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\')
        return Refuse(ERROR_INVALID_NAME, FALSE);
    if (Host(root).empty()) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    char letter = static_cast<char>(toupper(static_cast<unsigned char>(root[0])));
    std::string spec = GetSetting("drives", std::string(1, letter), "512,8,200000,500000");
    unsigned long long v[4] = {512, 8, 0, 0};
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        size_t comma = spec.find(',', at);
        std::string part =
            spec.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        v[i] = std::strtoull(part.c_str(), nullptr, 10);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    if (!IsNT()) {
        // Windows 95/98 report no more than 2 GB through this call.
        unsigned long long cluster = (v[0] * v[1]) != 0 ? v[0] * v[1] : 1;
        unsigned long long limit = 0x7FFFFFFFull / cluster;
        v[2] = std::min(v[2], limit);
        v[3] = std::min(v[3], limit);
    }
    if (lpBytesPerSector) *lpBytesPerSector = static_cast<DWORD>(v[0]);
    if (lpSectorsPerCluster) *lpSectorsPerCluster = static_cast<DWORD>(v[1]);
    if (lpNumberOfFreeClusters) *lpNumberOfFreeClusters = static_cast<DWORD>(v[2]);
    if (lpTotalNumberOfClusters) *lpTotalNumberOfClusters = static_cast<DWORD>(v[3]);
    return TRUE;
}

} // extern "C"
