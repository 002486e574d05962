// Paths (kernel32, winbase.h): the current directory, full paths, 8.3 short names and the Windows
// path of a host file. Paths resolve on the machine's drives without regard to case.
#include "common.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

using namespace winsim;
using namespace winsim::files;

namespace {

std::string g_cwd; // empty until first asked: then machine.ini's cwd, or C:\ .
// The machine.ini cwd that g_cwd was taken from: a tool that changes the setting while the
// process runs moves the process there, as a new start would.
std::string g_cwdSetting;

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr,
                                                    [] {
                                                        g_cwd.clear();
                                                        g_cwdSetting.clear();
                                                    }}),
                      true);

// Copies `text` into a caller's buffer of `size` characters. Returns the length copied, or the
// size needed (terminator included) when it does not fit, as the Get...A path calls do.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
    if (!buffer || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

// Whether `p` is a full path in the form FullWindowsPath gives ("X:\A\B": a drive letter and a
// backslash, then components none of which is empty, "." or "..", and no '/').
bool IsFullForm(std::string_view p) {
    if (p.size() < 3 || p[1] != ':' || p[2] != '\\') return false;
    const char letter = p[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return false;
    if (p.size() == 3) return true;
    // Every path an API is given passes here, most of them already in this form: the scans go
    // by memchr rather than a character at a time.
    if (p.find('/') != std::string_view::npos) return false;
    const char* s = p.data() + 3;
    const char* const end = p.data() + p.size();
    for (;;) {
        const void* found = std::memchr(s, '\\', static_cast<size_t>(end - s));
        const char* stop = found ? static_cast<const char*>(found) : end;
        const size_t n = static_cast<size_t>(stop - s);
        if (n == 0 || (n <= 2 && s[0] == '.' && (n == 1 || s[1] == '.'))) return false;
        if (stop == end) return true;
        s = stop + 1;
    }
}

} // namespace

namespace winsim::files {

bool IsSep(char c) {
    return c == '\\' || c == '/';
}

std::string LastComponent(const std::string& full) {
    size_t bs = full.rfind('\\');
    return bs == std::string::npos ? full : full.substr(bs + 1);
}

std::string ParentOf(const std::string& full) {
    size_t bs = full.rfind('\\');
    if (bs == std::string::npos || full.size() <= 3) return "";
    return bs == 2 ? full.substr(0, 3) : full.substr(0, bs);
}

bool HasWildcards(const std::string& s) {
    return std::memchr(s.data(), '*', s.size()) || std::memchr(s.data(), '?', s.size());
}

namespace {

// What is at `path` (relative to the folder `dirFd`, or AT_FDCWD).
HostInfo StatAt(int dirFd, const char* path) {
    HostInfo info;
    // statx also tells the creation time where the file system keeps one; a host whose kernel
    // refuses statx (an old one, or a sandbox) answers the plain stat.
    auto found = [&info](mode_t mode, uint64_t size, timespec mtime, timespec created) {
        info.exists = true;
        info.dir = S_ISDIR(mode);
        info.readOnly = (mode & S_IWUSR) == 0;
        info.size = size;
        info.mtime = mtime;
        info.created = created;
        return info;
    };
    static bool statxRefused = false;
    struct statx stx;
    if (!statxRefused && statx(dirFd, path, 0, STATX_BASIC_STATS | STATX_BTIME, &stx) == 0) {
        const timespec mtime{static_cast<time_t>(stx.stx_mtime.tv_sec),
                             static_cast<long>(stx.stx_mtime.tv_nsec)};
        const timespec created = (stx.stx_mask & STATX_BTIME)
                                     ? timespec{static_cast<time_t>(stx.stx_btime.tv_sec),
                                                static_cast<long>(stx.stx_btime.tv_nsec)}
                                     : mtime;
        return found(stx.stx_mode, stx.stx_size, mtime, created);
    }
    if (!statxRefused && errno != ENOSYS && errno != EPERM) return info;
    statxRefused = true;
    struct stat st;
    if (fstatat(dirFd, path, &st, 0) != 0) return info;
    return found(st.st_mode, static_cast<uint64_t>(st.st_size), st.st_mtim, st.st_mtim);
}

} // namespace

HostInfo Stat(const std::string& host) {
    return host.empty() ? HostInfo{} : StatAt(AT_FDCWD, host.c_str());
}

HostInfo StatEntry(const std::string& host) {
    const char* name = nullptr;
    const int dirFd = KeptFolderOfEntry(host, &name);
    return dirFd >= 0 ? StatAt(dirFd, name) : Stat(host);
}

std::string Host(const std::string& full) {
    return full.empty() ? "" : ResolvePath(full, false);
}

std::string Host(const std::string& full, HostInfo* info) {
    *info = HostInfo{};
    return full.empty() ? "" : ResolveHost(full, false, info);
}

std::string HostOfFolder(const std::string& full, HostInfo* info) {
    *info = HostInfo{};
    return full.empty() ? "" : ResolveHost(full, false, info, true);
}

DWORD MissingError(const std::string& full) {
    std::string parent = ParentOf(full);
    if (full.size() <= 3) return ERROR_PATH_NOT_FOUND; // a drive the machine lacks
    HostInfo info;
    Host(parent, &info);
    return info.dir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

} // namespace winsim::files

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
    if (IsFullForm(path)) return path;
    std::string p = path;
    for (char& c : p)
        if (c == '/') c = '\\';
    // The current directory is asked for only by a path that depends on it.
    std::string drive, rest;
    if (p.size() >= 2 && p[1] == ':') {
        drive = p.substr(0, 2);
        rest = p.substr(2);
        if (rest.empty() || rest[0] != '\\') {
            // "D:name" is relative to the current directory when that lies on D:.
            const std::string cwd = CurrentDirectory();
            rest = IEquals(cwd.substr(0, 2), drive) ? cwd.substr(2) + "\\" + rest : "\\" + rest;
        }
    } else if (!p.empty() && p[0] == '\\') {
        if (p.size() >= 2 && p[1] == '\\') return ""; // a network name
        drive = CurrentDirectory().substr(0, 2);
        rest = p;
    } else {
        const std::string cwd = CurrentDirectory();
        drive = cwd.substr(0, 2);
        rest = cwd.substr(2) + "\\" + p;
    }
    char letter = drive[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return "";
    std::string out = drive;
    AppendComponents(rest, '\\', &out);
    if (out.size() == drive.size()) out += '\\';
    return out;
}

std::string ResolvePath(const std::string& windowsPath, bool bareInWindowsDir) {
    return files::ResolveHost(windowsPath, bareInWindowsDir, nullptr);
}

} // namespace winsim

namespace winsim::files {

std::string ResolveHost(const std::string& windowsPath, bool bareInWindowsDir, HostInfo* info,
                        bool keptFolderAnswers) {
    MachineState& m = Require();
    // Most paths come with a drive and backslashes only, and are taken as they are.
    std::string adjusted;
    const bool asGiven = windowsPath.size() >= 2 && windowsPath[1] == ':' &&
                         windowsPath.find('/') == std::string::npos;
    if (!asGiven) {
        adjusted = windowsPath;
        std::replace(adjusted.begin(), adjusted.end(), '/', '\\');
        if (bareInWindowsDir && adjusted.find('\\') == std::string::npos &&
            adjusted.find(':') == std::string::npos)
            adjusted = WindowsDir() + "\\" + adjusted;
        if (adjusted.size() < 2 || adjusted[1] != ':') {
            // Relative to the process's current directory.
            std::string cwd = CurrentDirectory();
            if (!cwd.empty() && cwd.back() != '\\') cwd += '\\';
            adjusted = (!adjusted.empty() && adjusted[0] == '\\') ? cwd.substr(0, 2) + adjusted
                                                                  : cwd + adjusted;
        }
    }
    const std::string& p = asGiven ? windowsPath : adjusted;
    char letter = p[0];
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    if (letter < 'a' || letter > 'z') return "";
    const std::string drive = std::string("drive_") + letter;
    // A path whose every component is there as written resolves to itself (an entry named
    // exactly is preferred to one that differs in case), so for a caller that stats the result
    // anyway that one stat settles it without the folders' listings. A path with an 8.3 form in
    // it ('~') is rarely there as written and goes through the listings at once.
    std::string literal;
    literal.reserve(m.dir.size() + drive.size() + p.size() + 2);
    literal.append(m.dir).append(1, '/').append(drive);
    const size_t driveEnd = literal.size();
    if (IsFullForm(p)) {
        // Its components as they are, each after a '/'.
        if (p.size() > 3) literal.append(p, 2, std::string::npos);
        std::replace(literal.begin() + static_cast<std::ptrdiff_t>(driveEnd), literal.end(), '\\',
                     '/');
    } else {
        AppendComponents(std::string_view(p).substr(2), '/', &literal);
    }
    const bool shortForms = literal.find('~', driveEnd) != std::string::npos;
    const bool tryLiteral = info && !shortForms;
    if (tryLiteral) {
        if (keptFolderAnswers && KeptFolderInfo(literal, info)) return literal;
        *info = StatEntry(literal);
        if (info->exists) return literal;
    }
    const Listing* top = ListingOf(m.dir);
    const ListedName* driveEntry = top ? top->Named(drive) : nullptr;
    if (!driveEntry || driveEntry->name != drive) return "";
    std::string host = literal.substr(0, driveEnd);
    for (size_t pos = driveEnd; pos < literal.size();) {
        const size_t end = std::min(literal.find('/', pos + 1), literal.size());
        const std::string entry = EntryNamed(host, literal.substr(pos + 1, end - pos - 1));
        host += '/';
        host += entry;
        pos = end;
    }
    // Unless the path as written was just found missing, what is there is looked at now.
    if (info && !(tryLiteral && host == literal)) *info = StatEntry(host);
    return host;
}

} // namespace winsim::files

namespace winsim {

std::string HostPath(const std::string& windowsPath) {
    // Asked between calls: what the host changed since the last call counts too.
    SyncListings(true);
    return ResolvePath(windowsPath, false);
}

std::string EntryNamed(const std::string& hostDir, const std::string& name) {
    Listing* listing = ListingOf(hostDir);
    if (!listing) return name;
    if (const ListedName* e = listing->Named(name)) return e->name;
    // A component in its 8.3 form names the entry whose short name it is.
    if (name.find('~') != std::string::npos)
        if (const ListedName* e = listing->WithShortName(name)) return e->name;
    return name;
}

} // namespace winsim

extern "C" {

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    WINSIM_FAILPOINT(0u);
    return CopyOut(CurrentDirectory(), lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
    WINSIM_FAILPOINT(FALSE);
    if (!lpPathName) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    std::string full = FullWindowsPath(lpPathName);
    if (full.empty()) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    HostInfo info;
    Host(full, &info);
    if (!info.exists) return Refuse(MissingError(full), FALSE);
    if (!info.dir) return Refuse(ERROR_DIRECTORY, FALSE);
    // The setting the process started from is taken first, so that a later look at it does not
    // take the process back there.
    CurrentDirectory();
    g_cwd = full;
    return TRUE;
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart) {
    if (lpFilePart) *lpFilePart = nullptr;
    WINSIM_FAILPOINT(0u);
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

DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer) {
    WINSIM_FAILPOINT(0u);
    if (!lpszLongPath) return Refuse(ERROR_INVALID_PARAMETER, 0u);
    std::string given = lpszLongPath;
    for (char& c : given)
        if (c == '/') c = '\\';
    if (given.empty()) return Refuse(ERROR_INVALID_PARAMETER, 0u);
    std::string full = FullWindowsPath(given);
    HostInfo info;
    const std::string host = full.empty() ? "" : Host(full, &info);
    if (host.empty()) return Refuse(ERROR_PATH_NOT_FOUND, 0u);
    if (!info.exists) return Refuse(MissingError(full), 0u);

    // Each component of the path as given becomes its short form; the rest stays as written.
    if (IsFullForm(given)) {
        // The usual form: walked once from the drive's root, each folder's listing giving the
        // next component's entry, rather than each folder on the way resolved anew.
        std::string out = given.substr(0, 3), walkedHost = Host(out);
        for (size_t pos = 3; pos < given.size();) {
            const size_t end = std::min(given.find('\\', pos), given.size());
            const std::string comp = given.substr(pos, end - pos);
            Listing* listing = ListingOf(walkedHost);
            if (listing) listing->AssignShortNames();
            const ListedName* e = listing ? listing->Named(comp) : nullptr;
            out += e ? e->shortName : comp;
            if (end < given.size()) {
                out += '\\';
                const std::string entry = e ? e->name : EntryNamed(walkedHost, comp);
                walkedHost.append(1, '/').append(entry);
            }
            pos = end + 1;
        }
        return CopyOut(out, lpszShortPath, cchBuffer);
    }
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
            Listing* listing = ListingOf(Host(ParentOf(fullComp)));
            if (listing) listing->AssignShortNames();
            const ListedName* e = listing ? listing->Named(comp) : nullptr;
            out += e ? e->shortName : comp;
        }
        pos = end == std::string::npos ? given.size() : end;
    }
    return CopyOut(out, lpszShortPath, cchBuffer);
}

} // extern "C"
