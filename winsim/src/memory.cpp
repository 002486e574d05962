// Global memory (kernel32, winbase.h): GlobalAlloc, GlobalLock, GlobalUnlock, GlobalFree and
// GlobalSize.
#include "internal.h"

using namespace winsim;

namespace {

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

} // namespace

namespace winsim {

size_t OpenMemoryBlocks() {
    return Blocks().size() + FixedBlocks().size();
}

} // namespace winsim

extern "C" {

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

// The block a lock or an unlock acts on; null with the error set when the handle is none.
static GlobalBlock* BlockToLock(HGLOBAL h) {
    GlobalBlock* b = FindBlock(h);
    if (!b) SetLastError(ERROR_INVALID_HANDLE);
    return b;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    WINSIM_FAILPOINT(nullptr);
    GlobalBlock* b = BlockToLock(hMem);
    if (!b) return nullptr;
    if (b->movable) ++b->locks;
    return b->bytes.data();
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    WINSIM_FAILPOINT(FALSE);
    GlobalBlock* b = BlockToLock(hMem);
    if (!b) return FALSE;
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
    WINSIM_FAILPOINT(hMem);
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
    WINSIM_FAILPOINT(SIZE_T{0});
    GlobalBlock* b = FindBlock(hMem);
    return b ? b->bytes.size() : 0;
}

} // extern "C"
