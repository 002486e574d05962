// Item lists (shell32, shlobj.h): the shell's allocator, the special folders the product asks
// for, the path and the display name of an item list.
#include "shell.h"

#include <cstdlib>
#include <cstring>
#include <map>

using namespace winsim;
using namespace winsim::shell;

namespace {

// The shell's task allocator: one object for the process, which counts what it holds.
class ShellMalloc : public IMalloc {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return m_refs > 1 ? --m_refs : 1; }
    void* STDMETHODCALLTYPE Alloc(SIZE_T cb) override {
        void* p = std::malloc(cb ? cb : 1);
        if (p) m_blocks[p] = cb;
        return p;
    }
    void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) override {
        if (!pv) return Alloc(cb);
        if (!m_blocks.count(pv)) return nullptr;
        void* p = std::realloc(pv, cb ? cb : 1);
        if (!p) return nullptr;
        m_blocks.erase(pv);
        m_blocks[p] = cb;
        return p;
    }
    void STDMETHODCALLTYPE Free(void* pv) override {
        // A block this allocator never gave is left alone, as is null.
        auto it = m_blocks.find(pv);
        if (it == m_blocks.end()) return;
        m_blocks.erase(it);
        std::free(pv);
    }
    SIZE_T STDMETHODCALLTYPE GetSize(void* pv) override {
        auto it = m_blocks.find(pv);
        return it == m_blocks.end() ? static_cast<SIZE_T>(-1) : it->second;
    }
    int STDMETHODCALLTYPE DidAlloc(void* pv) override {
        return pv ? (m_blocks.count(pv) ? 1 : 0) : -1;
    }
    void STDMETHODCALLTYPE HeapMinimize() override {}

    size_t Blocks() const { return m_blocks.size(); }
    void Reset() {
        for (auto& block : m_blocks)
            std::free(block.first);
        m_blocks.clear();
    }

  private:
    ULONG m_refs = 1;
    std::map<void*, SIZE_T> m_blocks;
};

ShellMalloc& Allocator() {
    static auto* a = new ShellMalloc;
    return *a;
}

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { Allocator().Reset(); }}),
                      true);

HRESULT FromWin32(DWORD error) {
    return static_cast<HRESULT>((error & 0xFFFF) | 0x80070000u);
}

// The desktop folder, asked only for the display names of item lists.
class DesktopFolder : public IShellFolder {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, void*, WCHAR*, ULONG*, LPITEMIDLIST*,
                                               ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumObjects(HWND, DWORD, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToObject(LPCITEMIDLIST, void*, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE BindToStorage(LPCITEMIDLIST, void*, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, LPCITEMIDLIST, LPCITEMIDLIST) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, LPCITEMIDLIST*, ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, LPCITEMIDLIST*, REFIID, UINT*,
                                            void**) override {
        return E_NOTIMPL;
    }
    // For parsing, a network item is named "\\SERVER" or "\\SERVER\SHARE"; otherwise by its own
    // name ("Network Neighborhood" for the neighbourhood). The text comes as STRRET_CSTR.
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(LPCITEMIDLIST pidl, DWORD uFlags,
                                               STRRET* pName) override {
        std::vector<Item> items;
        if (!pName || !ReadItemList(pidl, &items) || items.empty()) return E_INVALIDARG;
        std::string name = items.back().name;
        if ((uFlags & SHGDN_FORPARSING) && items.size() > 1) name = NetworkName(items);
        if (name.size() >= sizeof pName->cStr) return E_FAIL;
        pName->uType = STRRET_CSTR;
        std::memcpy(pName->cStr, name.c_str(), name.size() + 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetNameOf(HWND, LPCITEMIDLIST, const WCHAR*, DWORD,
                                        LPITEMIDLIST*) override {
        return E_NOTIMPL;
    }
};

const char kNetworkName[] = "Network Neighborhood";

} // namespace

namespace winsim::shell {

size_t OpenShellBlocks() {
    return Allocator().Blocks();
}

LPITEMIDLIST NewItemList(const std::vector<Item>& items) {
    size_t size = sizeof(USHORT); // the terminating item
    for (const Item& item : items)
        size += sizeof(USHORT) + 1 + item.name.size() + 1;
    auto* bytes = static_cast<BYTE*>(Allocator().Alloc(size));
    if (!bytes) return nullptr;
    BYTE* at = bytes;
    for (const Item& item : items) {
        const USHORT cb = static_cast<USHORT>(sizeof(USHORT) + 1 + item.name.size() + 1);
        std::memcpy(at, &cb, sizeof cb);
        at[sizeof cb] = static_cast<BYTE>(item.kind);
        std::memcpy(at + sizeof cb + 1, item.name.c_str(), item.name.size() + 1);
        at += cb;
    }
    std::memset(at, 0, sizeof(USHORT));
    return reinterpret_cast<LPITEMIDLIST>(bytes);
}

bool ReadItemList(LPCITEMIDLIST list, std::vector<Item>* items) {
    items->clear();
    if (!list) return false;
    const auto* at = reinterpret_cast<const BYTE*>(list);
    for (;;) {
        USHORT cb;
        std::memcpy(&cb, at, sizeof cb);
        if (cb == 0) return true;
        if (cb < sizeof cb + 2 || at[cb - 1] != '\0') return false;
        const auto kind = static_cast<ItemKind>(at[sizeof cb]);
        if (kind != ItemKind::Network && kind != ItemKind::Server && kind != ItemKind::Printer)
            return false;
        items->push_back(Item{kind, reinterpret_cast<const char*>(at + sizeof cb + 1)});
        at += cb;
    }
}

std::string NetworkName(const std::vector<Item>& items) {
    if (items.size() < 2 || items[0].kind != ItemKind::Network) return "";
    std::string name = "\\\\" + items[1].name;
    if (items.size() > 2) name += "\\" + items[2].name;
    return name;
}

std::vector<std::string> NetworkShares() {
    std::vector<std::string> shares;
    for (const auto& entry : Require().ini.Entries("network"))
        shares.push_back(entry.first);
    return shares;
}

} // namespace winsim::shell

extern "C" {

HRESULT WINAPI SHGetMalloc(LPMALLOC* ppMalloc) {
    Require();
    DWORD error;
    if (WINSIM_ARMED(&error)) return FromWin32(error);
    if (!ppMalloc) return E_INVALIDARG;
    Allocator().AddRef();
    *ppMalloc = &Allocator();
    return S_OK;
}

HRESULT WINAPI SHGetSpecialFolderLocation(HWND hwnd, int csidl, LPITEMIDLIST* ppidl) {
    (void)hwnd;
    Require();
    if (!ppidl) return E_INVALIDARG;
    *ppidl = nullptr;
    DWORD error;
    if (WINSIM_ARMED(&error)) return FromWin32(error);
    std::vector<Item> items;
    switch (csidl) {
    case CSIDL_DESKTOP:
        break;
    case CSIDL_NETWORK:
        items.push_back(Item{ItemKind::Network, kNetworkName});
        break;
    default:
        return E_INVALIDARG; // winsim's shell has no other folder as an item list
    }
    *ppidl = NewItemList(items);
    return *ppidl ? S_OK : E_OUTOFMEMORY;
}

// Only items of the file system have a path: the desktop's and network shares' do not here, so
// the path is emptied and the answer is FALSE.
BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR pszPath) {
    Require();
    if (!pszPath) return FALSE;
    pszPath[0] = '\0';
    std::vector<Item> items;
    if (!ReadItemList(pidl, &items)) return FALSE;
    if (items.empty()) {
        const std::string desktop = WindowsDir() + "\\Desktop";
        if (desktop.size() >= MAX_PATH) return FALSE;
        std::memcpy(pszPath, desktop.c_str(), desktop.size() + 1);
        return TRUE;
    }
    return FALSE;
}

HRESULT WINAPI SHGetDesktopFolder(IShellFolder** ppshf) {
    Require();
    if (!ppshf) return E_INVALIDARG;
    DWORD error;
    if (WINSIM_ARMED(&error)) {
        *ppshf = nullptr;
        return FromWin32(error);
    }
    static DesktopFolder desktop;
    *ppshf = &desktop;
    return S_OK;
}

} // extern "C"
