// winsim's <winver.h>: version.dll's calls, which read the version resource (VS_VERSION_INFO) of
// a module file, and the fixed part of that resource. The resource script's constants (VS_FF_*,
// VOS_*, VFT_*) come from <winresrc.h>, as the SDK shares them between the two.
#ifndef WINSIM_WINVER_H
#define WINSIM_WINVER_H

#include <windef.h>
#include <winresrc.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature; // VS_FFI_SIGNATURE
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);

#ifdef __cplusplus
}
#endif

#endif
