// kernel32 basics (winbase.h): the version, the last error, kernel object handles and processes,
// debug output, and the Windows and system directories.
#include "files.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace winsim;

namespace {

thread_local DWORD t_lastError = 0;

std::map<uintptr_t, ObjectKind>& Objects() {
    static std::map<uintptr_t, ObjectKind> objects;
    return objects;
}

} // namespace

namespace winsim {

uint32_t NextHandleNumber() {
    static uint32_t next = 0x1000;
    next += 4;
    if (next >= 0x7ffffff0) next = 0x1004;
    return next;
}

HANDLE NewObjectHandle(ObjectKind kind) {
    uintptr_t h = NextHandleNumber();
    Objects()[h] = kind;
    return reinterpret_cast<HANDLE>(h);
}

size_t OpenObjectHandles() {
    return Objects().size();
}

bool IsObjectHandle(HANDLE h, ObjectKind kind) {
    auto it = Objects().find(reinterpret_cast<uintptr_t>(h));
    return it != Objects().end() && it->second == kind;
}

} // namespace winsim

extern "C" {

DWORD WINAPI GetVersion(void) {
    // Packed as Windows packs it: major in the low byte, minor in the next, the build in the high
    // word, with bit 31 set on Windows 95/98.
    switch (Require().os) {
    case Os::Win95:
        return 0xC3B60004u; // 4.00, build 950
    case Os::Win98:
        return 0xC7CE0A04u; // 4.10, build 1998
    case Os::Nt4:
        return 0x05650004u; // 4.00, build 1381
    }
    return 0;
}

DWORD WINAPI GetLastError(void) {
    return t_lastError;
}
void WINAPI SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    if (!lpOutputString) return;
    MachineState* m = Current();
    if (!m) return;
    for (const char* p = lpOutputString; *p; ++p) {
        if (*p == '\n') {
            m->debugLines.push_back(m->pendingDebug);
            m->pendingDebug.clear();
        } else if (*p != '\r') {
            m->pendingDebug += *p;
        }
    }
}

DWORD WINAPI GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}

HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
}

HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
    (void)dwDesiredAccess;
    (void)bInheritHandle;
    WINSIM_FAILPOINT(nullptr);
    if (dwProcessId != static_cast<DWORD>(getpid())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return NewObjectHandle(ObjectKind::Process);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    WINSIM_FAILPOINT(FALSE);
    if (CloseFileHandle(hObject)) return TRUE;
    if (IsObjectHandle(hObject, ObjectKind::Event)) ForgetEvent(hObject);
    if (Objects().erase(reinterpret_cast<uintptr_t>(hObject)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

static UINT CopyDir(const std::string& dir, LPSTR buf, UINT size) {
    if (!buf || size <= dir.size()) return static_cast<UINT>(dir.size() + 1);
    std::memcpy(buf, dir.c_str(), dir.size() + 1);
    return static_cast<UINT>(dir.size());
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    WINSIM_FAILPOINT(0u);
    return CopyDir(WindowsDir(), lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    WINSIM_FAILPOINT(0u);
    return CopyDir(SystemDir(), lpBuffer, uSize);
}

} // extern "C"
