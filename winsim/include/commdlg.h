// winsim's <commdlg.h>: the common dialogs of comdlg32. The structures come first; each call is
// declared here together with its implementation in winsim, when the product first makes it.
#ifndef WINSIM_COMMDLG_H
#define WINSIM_COMMDLG_H

#include <windows.h>

#define WINCOMMDLGAPI extern "C"

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

// The Windows NT 4.0 form (76 bytes in a 32-bit process), the one that WINVER 0x0400 builds use.
typedef struct tagOFNA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCSTR lpTemplateName;
} OPENFILENAMEA, *LPOPENFILENAMEA;
typedef OPENFILENAMEA OPENFILENAME;
typedef LPOPENFILENAMEA LPOPENFILENAME;

#define OPENFILENAME_SIZE_VERSION_400A 76

// OPENFILENAMEA flags
#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000

// CommDlgExtendedError
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define FNERR_BUFFERTOOSMALL 0x3003

WINCOMMDLGAPI BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA lpofn);
WINCOMMDLGAPI DWORD WINAPI CommDlgExtendedError(void);

#endif
