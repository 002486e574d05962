// The browse dialogs and the network check.
#include "shell/browse.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>

namespace {

// The file dialog's description and its buffers live as long as the library: the chosen path
// is the next dialog's initial file.
OPENFILENAMEA g_ofn;
char g_szFilePath[PW_PATH_SIZE];
char g_szFileTitle[PW_PATH_SIZE];

// One pair, "All Files" and "*.*", and the empty text that ends the list.
const char kAllFilesFilter[] = "All Files\0*.*\0";

// Windows 95 and NT 4.0 know the structure without its later fields.
const DWORD kOpenFileNameSize = 76;

// The shell's allocator and the item lists it gave, all handed back however the call ends.
class CZRShellItems {
  public:
    CZRShellItems() {
        if (FAILED(SHGetMalloc(&m_pMalloc))) m_pMalloc = nullptr;
    }
    ~CZRShellItems() {
        if (!m_pMalloc) return;
        if (m_pidlChosen) m_pMalloc->Free(m_pidlChosen);
        if (m_pidlRoot) m_pMalloc->Free(m_pidlRoot);
        m_pMalloc->Release();
    }
    CZRShellItems(const CZRShellItems&) = delete;
    CZRShellItems& operator=(const CZRShellItems&) = delete;

    bool HasAllocator() const { return m_pMalloc != nullptr; }
    LPMALLOC Allocator() const { return m_pMalloc; }
    LPITEMIDLIST* Root() { return &m_pidlRoot; }
    LPITEMIDLIST Chosen() const { return m_pidlChosen; }
    void SetChosen(LPITEMIDLIST pidl) { m_pidlChosen = pidl; }
    LPITEMIDLIST RootList() const { return m_pidlRoot; }

  private:
    LPMALLOC m_pMalloc = nullptr;
    LPITEMIDLIST m_pidlRoot = nullptr;
    LPITEMIDLIST m_pidlChosen = nullptr;
};

// An item list's name for parsing, which for a network item is "\\SERVER\SHARE". False, and
// `name` empty, when the desktop folder cannot say it within PW_PATH_SIZE bytes.
bool zrParsingName(LPMALLOC pMalloc, LPCITEMIDLIST pidl, char* name) {
    name[0] = '\0';
    IShellFolder* pDesktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&pDesktop)) || !pDesktop) return false;
    STRRET str;
    std::memset(&str, 0, sizeof str);
    bool named = false;
    if (SUCCEEDED(pDesktop->GetDisplayNameOf(pidl, SHGDN_FORPARSING, &str))) {
        switch (str.uType) {
        case STRRET_CSTR:
            named = zrCopyWhole(name, PW_PATH_SIZE, str.cStr, strnlen(str.cStr, sizeof str.cStr));
            break;
        case STRRET_OFFSET:
            named = zrCopyWhole(name, PW_PATH_SIZE,
                                reinterpret_cast<const char*>(pidl) + str.uOffset);
            break;
        case STRRET_WSTR:
            // Network names are plain ASCII; a wider character names no share this machine
            // can reach by its narrow name.
            if (str.pOleStr) {
                size_t n = 0;
                named = true;
                for (; str.pOleStr[n] && named; ++n)
                    named = n + 1 < PW_PATH_SIZE && str.pOleStr[n] < 0x80;
                if (named) {
                    for (size_t i = 0; i < n; ++i)
                        name[i] = static_cast<char>(str.pOleStr[i]);
                    name[n] = '\0';
                }
                pMalloc->Free(str.pOleStr);
            }
            break;
        }
    }
    pDesktop->Release();
    if (!named) name[0] = '\0';
    return named;
}

} // namespace

PW_EXPORT DLL_BrowseForFile(HWND owner, LPCSTR title, LONG, char result[PW_PATH_SIZE]) {
    return zrGuarded(0, [&]() -> LONG {
        std::memset(&g_ofn, 0, sizeof g_ofn);
        g_ofn.lStructSize = kOpenFileNameSize;
        g_ofn.hwndOwner = owner;
        g_ofn.lpstrFilter = kAllFilesFilter;
        g_ofn.nFilterIndex = 1;
        g_ofn.lpstrFile = g_szFilePath;
        g_ofn.nMaxFile = sizeof g_szFilePath;
        g_ofn.lpstrFileTitle = g_szFileTitle;
        g_ofn.nMaxFileTitle = sizeof g_szFileTitle;
        g_ofn.lpstrTitle = title;
        g_ofn.Flags = OFN_HIDEREADONLY;
        g_ofn.lpstrDefExt = "";
        if (!GetOpenFileNameA(&g_ofn)) {
            Trace("DLL_BrowseForFile() no file: CommDlgExtendedError %lu\n",
                  static_cast<unsigned long>(CommDlgExtendedError()));
            return 0;
        }
        if (!result) return 0;
        zrCopyBounded(result, PW_PATH_SIZE, g_szFilePath);
        return 1;
    });
}

PW_EXPORT DLL_BrowseForPrinter(HWND owner, LPCSTR title, LONG, char result[PW_PATH_SIZE]) {
    return zrGuarded(0, [&]() -> LONG {
        CZRShellItems items;
        if (!items.HasAllocator() ||
            FAILED(SHGetSpecialFolderLocation(owner, CSIDL_NETWORK, items.Root()))) {
            Trace("DLL_BrowseForPrinter() no network neighbourhood\n");
            return 0;
        }
        char szDisplayName[PW_PATH_SIZE];
        BROWSEINFOA bi;
        std::memset(&bi, 0, sizeof bi);
        bi.hwndOwner = owner;
        bi.pidlRoot = items.RootList();
        bi.pszDisplayName = szDisplayName;
        bi.lpszTitle = title;
        bi.ulFlags = BIF_BROWSEFORPRINTER;
        items.SetChosen(SHBrowseForFolderA(&bi));
        if (!items.Chosen()) return 0;
        if (!result) return 1;
        // A network printer has no file-system path: it is named by its network name instead,
        // and the buffer never keeps what a failed conversion left.
        char path[PW_PATH_SIZE];
        if (SHGetPathFromIDListA(items.Chosen(), path))
            zrCopyBounded(result, PW_PATH_SIZE, path);
        else if (!zrParsingName(items.Allocator(), items.Chosen(), result))
            result[0] = '\0';
        return 1;
    });
}

PW_EXPORT DLL_HasTCPIP(void) {
    return g_Settings.NetworkPresent ? 1 : 3;
}
