// winsim's <shlobj.h>: the shell calls the product makes (shell32). Implemented by libwinsim's
// shell (winsim/src/shell.cpp); further shell calls join the section of their kind here.
#ifndef WINSIM_SHLOBJ_H
#define WINSIM_SHLOBJ_H

#include <windows.h>

#define SHSTDAPI_(type) extern "C" type WINAPI

// ---- change notification ------------------------------------------------------------------
// SHChangeNotify events and item kinds
#define SHCNE_RENAMEITEM 0x00000001L
#define SHCNE_CREATE 0x00000002L
#define SHCNE_DELETE 0x00000004L
#define SHCNE_MKDIR 0x00000008L
#define SHCNE_RMDIR 0x00000010L
#define SHCNE_ATTRIBUTES 0x00000800L
#define SHCNE_UPDATEDIR 0x00001000L
#define SHCNE_UPDATEITEM 0x00002000L
#define SHCNE_RENAMEFOLDER 0x00020000L
#define SHCNE_ASSOCCHANGED 0x08000000L
#define SHCNE_ALLEVENTS 0x7FFFFFFFL

#define SHCNF_IDLIST 0x0000
#define SHCNF_PATHA 0x0001
#define SHCNF_PRINTERA 0x0002
#define SHCNF_DWORD 0x0003
#define SHCNF_PATHW 0x0005
#define SHCNF_PRINTERW 0x0006
#define SHCNF_TYPE 0x00FF
#define SHCNF_FLUSH 0x1000
#define SHCNF_FLUSHNOWAIT 0x2000
#define SHCNF_PATH SHCNF_PATHA
#define SHCNF_PRINTER SHCNF_PRINTERA

SHSTDAPI_(void) SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID dwItem2);

// ---- item lists and the shell's allocator ----------------------------------------------------
// Interfaces are C++ classes whose virtual functions stand in the SDK's vtable order.
#define STDMETHODCALLTYPE WINAPI

typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID, IID;
typedef const IID& REFIID;

#pragma pack(push, 1)
typedef struct _SHITEMID {
    USHORT cb; // of the whole item, cb included
    BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
    SHITEMID mkid; // items follow one another up to one whose cb is 0
} ITEMIDLIST;
#pragma pack(pop)
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IMalloc : public IUnknown {
    virtual void* STDMETHODCALLTYPE Alloc(SIZE_T cb) = 0;
    virtual void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) = 0;
    virtual void STDMETHODCALLTYPE Free(void* pv) = 0;
    virtual SIZE_T STDMETHODCALLTYPE GetSize(void* pv) = 0;
    virtual int STDMETHODCALLTYPE DidAlloc(void* pv) = 0;
    virtual void STDMETHODCALLTYPE HeapMinimize() = 0;
};
typedef IMalloc* LPMALLOC;

// Special folders
#define CSIDL_DESKTOP 0x0000
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PRINTERS 0x0004
#define CSIDL_DRIVES 0x0011
#define CSIDL_NETWORK 0x0012

SHSTDAPI_(HRESULT) SHGetMalloc(LPMALLOC* ppMalloc);
SHSTDAPI_(HRESULT) SHGetSpecialFolderLocation(HWND hwnd, int csidl, LPITEMIDLIST* ppidl);
SHSTDAPI_(BOOL) SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR pszPath);

// ---- display names ----------------------------------------------------------------------------
#define STRRET_WSTR 0x0000
#define STRRET_OFFSET 0x0001
#define STRRET_CSTR 0x0002
typedef struct _STRRET {
    UINT uType;
    union {
        WCHAR* pOleStr; // STRRET_WSTR, freed with the shell's allocator
        UINT uOffset;   // STRRET_OFFSET, into the item list
        char cStr[MAX_PATH];
    };
} STRRET;

#define SHGDN_NORMAL 0x0000
#define SHGDN_INFOLDER 0x0001
#define SHGDN_FORPARSING 0x8000

// The desktop's folder: only the display names of item lists are asked of it.
struct IShellFolder : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, void*, WCHAR*, ULONG*, LPITEMIDLIST*,
                                                       ULONG*) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumObjects(HWND, DWORD, void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindToObject(LPCITEMIDLIST, void*, REFIID, void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindToStorage(LPCITEMIDLIST, void*, REFIID, void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, LPCITEMIDLIST, LPCITEMIDLIST) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, LPCITEMIDLIST*, ULONG*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, LPCITEMIDLIST*, REFIID, UINT*,
                                                    void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplayNameOf(LPCITEMIDLIST pidl, DWORD uFlags,
                                                       STRRET* pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNameOf(HWND, LPCITEMIDLIST, const WCHAR*, DWORD,
                                                LPITEMIDLIST*) = 0;
};
typedef IShellFolder* LPSHELLFOLDER;

SHSTDAPI_(HRESULT) SHGetDesktopFolder(IShellFolder** ppshf);

// ---- the folder browser -------------------------------------------------------------------------
typedef int(CALLBACK* BFFCALLBACK)(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

typedef struct _browseinfoA {
    HWND hwndOwner;
    LPCITEMIDLIST pidlRoot;
    LPSTR pszDisplayName; // MAX_PATH bytes
    LPCSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
} BROWSEINFOA, *LPBROWSEINFOA;
typedef BROWSEINFOA BROWSEINFO;

#define BIF_RETURNONLYFSDIRS 0x0001
#define BIF_DONTGOBELOWDOMAIN 0x0002
#define BIF_RETURNFSANCESTORS 0x0008
#define BIF_BROWSEFORCOMPUTER 0x1000
#define BIF_BROWSEFORPRINTER 0x2000

SHSTDAPI_(LPITEMIDLIST) SHBrowseForFolderA(LPBROWSEINFOA lpbi);

#endif
