// File handles (kernel32, winbase.h): CreateFileA and the I/O on its handles, OpenFile and the _l
// calls of 16-bit heritage, and the sharing checks that open handles and in-use marks impose on the
// others.
#include "common.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace winsim;
using namespace winsim::files;

namespace {

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

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { Files().clear(); }}), true);

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

// ReadFile and WriteFile: the count is zeroed before the failure point, so that a failed call
// reports nothing moved, and tells what moved even when the transfer stops part way.
template <typename Buffer>
BOOL MoveBytes(const char* api, bool (*move)(HANDLE, Buffer, DWORD, DWORD*), HANDLE h,
               Buffer buffer, DWORD count, LPDWORD moved) {
    if (moved) *moved = 0;
    DWORD err;
    if (ShouldFail(api, &err)) return Refuse(err, FALSE);
    DWORD done = 0;
    BOOL ok = move(h, buffer, count, &done);
    if (moved) *moved = done;
    return ok;
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

// The access and sharing that an OpenFile style or an _lopen mode asks for: both take the same
// bits, the access in the low two and the share mode above.
void AccessOfStyle(UINT style, DWORD* access, DWORD* share) {
    *access = GENERIC_READ;
    if ((style & 3) == OF_WRITE) *access = GENERIC_WRITE;
    if ((style & 3) == OF_READWRITE) *access = GENERIC_READ | GENERIC_WRITE;
    *share = FILE_SHARE_READ | FILE_SHARE_WRITE; // compatibility mode and deny-none
    switch (style & 0x70) {
    case OF_SHARE_EXCLUSIVE:
        *share = 0;
        break;
    case OF_SHARE_DENY_WRITE:
        *share = FILE_SHARE_READ;
        break;
    case OF_SHARE_DENY_READ:
        *share = FILE_SHARE_WRITE;
        break;
    default:
        break;
    }
}

} // namespace

namespace winsim::files {

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

DWORD RemovalBlocked(const std::string& full, const std::string& host) {
    if (IsInUse(full)) return ERROR_SHARING_VIOLATION;
    if (!SharingAllows(host, false, false, true,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return ERROR_SHARING_VIOLATION;
    return NO_ERROR;
}

} // namespace winsim::files

namespace winsim {

size_t OpenFileHandles() {
    return Files().size();
}

bool IsHostFileOpen(const std::string& hostPath) {
    for (const auto& entry : Files())
        if (entry.second->m_fd >= 0 && entry.second->m_host == hostPath) return true;
    return false;
}

bool HostFileShareable(const std::string& hostPath, bool write) {
    return files::SharingAllows(hostPath, true, write, false, FILE_SHARE_READ | FILE_SHARE_WRITE);
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

} // namespace winsim

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    WINSIM_FAILPOINT(INVALID_HANDLE_VALUE);
    return OpenFileHandle(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                          dwFlagsAndAttributes);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    (void)lpOverlapped;
    return MoveBytes(WINSIM_API_NAME(), ReadHandle, hFile, lpBuffer, nNumberOfBytesToRead,
                     lpNumberOfBytesRead);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    (void)lpOverlapped;
    return MoveBytes(WINSIM_API_NAME(), WriteHandle, hFile, lpBuffer, nNumberOfBytesToWrite,
                     lpNumberOfBytesWritten);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    WINSIM_FAILPOINT(INVALID_SET_FILE_POINTER);
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
    WINSIM_FAILPOINT(FALSE);
    return TruncateHandle(hFile);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    WINSIM_FAILPOINT(FALSE);
    FileObject* f = Lookup(hFile);
    if (!f) return Refuse(ERROR_INVALID_HANDLE, FALSE);
    if (!f->m_port && !f->m_write) return Refuse(ERROR_ACCESS_DENIED, FALSE);
    return TRUE; // writes reach the host file at once
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    WINSIM_FAILPOINT(INVALID_FILE_SIZE);
    DWORD err = NO_ERROR;
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
    if (WINSIM_ARMED(&err)) return fail(err);
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

    DWORD access = 0, share = 0;
    AccessOfStyle(uStyle, &access, &share);
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
    WINSIM_FAILPOINT(HFILE_ERROR);
    DWORD access = 0, share = 0;
    AccessOfStyle(static_cast<UINT>(iReadWrite), &access, &share);
    HANDLE h = OpenFileHandle(lpPathName, access, share, OPEN_EXISTING, 0);
    return h == INVALID_HANDLE_VALUE ? HFILE_ERROR
                                     : static_cast<HFILE>(reinterpret_cast<uintptr_t>(h));
}

HFILE WINAPI _lcreat(LPCSTR lpPathName, int iAttribute) {
    WINSIM_FAILPOINT(HFILE_ERROR);
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
    DWORD done = 0;
    WINSIM_FAILPOINT(static_cast<UINT>(HFILE_ERROR));
    if (!ReadHandle(FromHfile(hFile), lpBuffer, uBytes, &done))
        return static_cast<UINT>(HFILE_ERROR);
    return done;
}

UINT WINAPI _lwrite(HFILE hFile, LPCCH lpBuffer, UINT uBytes) {
    DWORD done = 0;
    WINSIM_FAILPOINT(static_cast<UINT>(HFILE_ERROR));
    // Writing nothing sets the end of the file at the position, as the 16-bit call did.
    if (uBytes == 0) return TruncateHandle(FromHfile(hFile)) ? 0 : static_cast<UINT>(HFILE_ERROR);
    if (!WriteHandle(FromHfile(hFile), lpBuffer, uBytes, &done))
        return static_cast<UINT>(HFILE_ERROR);
    return done;
}

LONG WINAPI _llseek(HFILE hFile, LONG lOffset, int iOrigin) {
    WINSIM_FAILPOINT(static_cast<LONG>(HFILE_ERROR));
    uint64_t pos = 0;
    if (!SeekHandle(FromHfile(hFile), lOffset, static_cast<DWORD>(iOrigin), &pos))
        return HFILE_ERROR;
    return static_cast<LONG>(pos);
}

HFILE WINAPI _lclose(HFILE hFile) {
    WINSIM_FAILPOINT(HFILE_ERROR);
    if (!CloseFileHandle(FromHfile(hFile))) return Refuse(ERROR_INVALID_HANDLE, HFILE_ERROR);
    return 0;
}

} // extern "C"
