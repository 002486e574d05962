// Kernel basics: version, last error, global memory, debug output, processes and strings.
#include "files.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace winsim;

namespace {

thread_local DWORD t_lastError = 0;

// A global memory block. A fixed block's handle is its pointer; a movable block's handle is a
// number of its own, and the block stays where it is while it is not locked.
struct GlobalBlock {
    std::vector<unsigned char> bytes;
    bool movable = false;
    UINT locks = 0;
};
std::map<uintptr_t, GlobalBlock*>& Blocks() {
    static std::map<uintptr_t, GlobalBlock*> blocks;
    return blocks;
}
// Fixed blocks by their data address.
std::map<uintptr_t, GlobalBlock*>& FixedBlocks() {
    static std::map<uintptr_t, GlobalBlock*> blocks;
    return blocks;
}

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

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    WINSIM_FAILPOINT(nullptr);
    auto* b = new GlobalBlock;
    b->bytes.assign(dwBytes ? dwBytes : 1, 0);
    b->movable = (uFlags & GMEM_MOVEABLE) != 0;
    if (b->movable) {
        uintptr_t h = NextHandleNumber() | 0x40000000u;
        Blocks()[h] = b;
        return reinterpret_cast<HGLOBAL>(h);
    }
    FixedBlocks()[reinterpret_cast<uintptr_t>(b->bytes.data())] = b;
    return b->bytes.data();
}

static GlobalBlock* FindBlock(HGLOBAL h) {
    auto it = Blocks().find(reinterpret_cast<uintptr_t>(h));
    if (it != Blocks().end()) return it->second;
    auto f = FixedBlocks().find(reinterpret_cast<uintptr_t>(h));
    return f == FixedBlocks().end() ? nullptr : f->second;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    GlobalBlock* b = FindBlock(hMem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (b->movable) ++b->locks;
    return b->bytes.data();
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    GlobalBlock* b = FindBlock(hMem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!b->movable) return TRUE; // fixed memory is never locked
    if (b->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    --b->locks;
    if (b->locks == 0) SetLastError(NO_ERROR);
    return b->locks != 0;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    if (!hMem) return nullptr; // freeing null is a no-op that succeeds
    auto it = Blocks().find(reinterpret_cast<uintptr_t>(hMem));
    if (it != Blocks().end()) {
        delete it->second;
        Blocks().erase(it);
        return nullptr;
    }
    auto f = FixedBlocks().find(reinterpret_cast<uintptr_t>(hMem));
    if (f != FixedBlocks().end()) {
        delete f->second;
        FixedBlocks().erase(f);
        return nullptr;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return hMem;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    GlobalBlock* b = FindBlock(hMem);
    return b ? b->bytes.size() : 0;
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

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
    (void)dwDesiredAccess;
    (void)bInheritHandle;
    DWORD err;
    if (ShouldFail("OpenProcess", &err)) {
        SetLastError(err);
        return nullptr;
    }
    if (dwProcessId != static_cast<DWORD>(getpid())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return NewObjectHandle(ObjectKind::Process);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (CloseFileHandle(hObject)) return TRUE;
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
    return CopyDir(WindowsDir(), lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return CopyDir(SystemDir(), lpBuffer, uSize);
}

int WINAPI lstrlenA(LPCSTR lpString) {
    return lpString ? static_cast<int>(std::strlen(lpString)) : 0;
}

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
    if (!lpString1 || iMaxLength <= 0) return lpString1;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
    lpString1[i] = '\0';
    return lpString1;
}

LPSTR WINAPI CharUpperA(LPSTR lpsz) {
    // A value below 0x10000 is a single character passed in the pointer itself.
    if (reinterpret_cast<uintptr_t>(lpsz) < 0x10000) {
        uintptr_t c = reinterpret_cast<uintptr_t>(lpsz) & 0xff;
        if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
        return reinterpret_cast<LPSTR>(c);
    }
    for (char* p = lpsz; *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    return lpsz;
}

} // extern "C"
