// Files and folders as entries of the file system (kernel32, winbase.h): creating and removing
// folders, deleting, moving (also at the next start of NT) and copying files, and their attributes.
#include "common.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace winsim;
using namespace winsim::files;

namespace {

// An API's path argument: its full Windows path, its host path and what is there.
struct Entry {
    std::string full, host;
    HostInfo info;
};

// Resolves `path` into *e; NO_ERROR, or what Windows says of no argument, of a path that leads
// nowhere, or of wildcards where they are refused. `info` is filled only when `withInfo`.
DWORD ResolvePath(LPCSTR path, bool refuseWildcards, Entry* e, bool withInfo = false) {
    if (!path) return ERROR_INVALID_PARAMETER;
    e->full = FullWindowsPath(path);
    e->host = withInfo ? Host(e->full, &e->info) : Host(e->full);
    if (e->full.empty() || e->host.empty()) return ERROR_PATH_NOT_FOUND;
    if (refuseWildcards && HasWildcards(e->full)) return ERROR_INVALID_NAME;
    return NO_ERROR;
}

// The same for a path that must name an entry that is there.
DWORD FindEntry(LPCSTR path, bool refuseWildcards, Entry* e) {
    if (DWORD error = ResolvePath(path, refuseWildcards, e, true)) return error;
    return e->info.exists ? NO_ERROR : MissingError(e->full);
}

// Deletes the file at `host`, through its kept folder's descriptor where it has one.
bool UnlinkEntry(const std::string& host) {
    const char* name = nullptr;
    const int dirFd = KeptFolderOfEntry(host, &name);
    return (dirFd >= 0 ? ::unlinkat(dirFd, name, 0) : ::unlink(host.c_str())) == 0;
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
    // A folder moved: what this call looks at next goes by where things are now.
    if (si.dir) SyncListings(true);
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

DWORD winsim::files::Attributes(const HostInfo& info) {
    DWORD a = info.dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (info.readOnly) a |= FILE_ATTRIBUTE_READONLY;
    return a;
}

extern "C" {

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    (void)lpSecurityAttributes;
    WINSIM_FAILPOINT(FALSE);
    Entry e;
    if (DWORD error = ResolvePath(lpPathName, true, &e)) return Refuse(error, FALSE);
    if (Stat(e.host).exists) return Refuse(ERROR_ALREADY_EXISTS, FALSE);
    if (!Stat(Host(ParentOf(e.full))).dir) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    std::string target = e.host.substr(0, e.host.rfind('/') + 1) + LastComponent(e.full);
    if (::mkdir(target.c_str(), 0755) != 0) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    WINSIM_FAILPOINT(FALSE);
    Entry e;
    if (DWORD error = FindEntry(lpPathName, false, &e)) return Refuse(error, FALSE);
    if (!e.info.dir) return Refuse(ERROR_DIRECTORY, FALSE);
    if (e.full.size() <= 3) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    // The current directory and folders in use stay open in some process.
    if (IEquals(e.full, CurrentDirectory()) || IsInUse(e.full))
        return Refuse(ERROR_SHARING_VIOLATION, FALSE);
    const Listing* listing = ListingOf(e.host);
    if (listing && !listing->Empty()) return Refuse(ERROR_DIR_NOT_EMPTY, FALSE);
    if (::rmdir(e.host.c_str()) != 0) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

// ---- files --------------------------------------------------------------------------------

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    WINSIM_FAILPOINT(FALSE);
    Entry e;
    if (DWORD error = FindEntry(lpFileName, true, &e)) return Refuse(error, FALSE);
    if (e.info.dir || e.info.readOnly) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    DWORD blocked = RemovalBlocked(e.full, e.host);
    if (blocked) return Refuse(blocked, FALSE);
    if (!UnlinkEntry(e.host)) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    WINSIM_FAILPOINT(FALSE);
    return MoveEntry(lpExistingFileName, lpNewFileName, false, true);
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    WINSIM_FAILPOINT(FALSE);
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
    WINSIM_FAILPOINT(FALSE);
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
    WINSIM_FAILPOINT(INVALID_FILE_ATTRIBUTES);
    Entry e;
    if (DWORD error = FindEntry(lpFileName, true, &e))
        return Refuse(error, INVALID_FILE_ATTRIBUTES);
    return Attributes(e.info);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    WINSIM_FAILPOINT(FALSE);
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

} // extern "C"
