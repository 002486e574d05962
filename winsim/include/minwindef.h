// winsim's <minwindef.h>: the calling conventions and the fixed-size integer types that every
// other header builds on (the SDK's minimal <windef.h>).
#ifndef WINSIM_MINWINDEF_H
#define WINSIM_MINWINDEF_H

#include <stdint.h>

#define WINAPI
#define APIENTRY
#define CALLBACK
#define WINAPIV

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

typedef void* LPVOID;
typedef const void* LPCVOID;
typedef unsigned char UCHAR;
typedef unsigned char BYTE;
typedef BYTE* PBYTE;
typedef BYTE* LPBYTE;
typedef unsigned short WORD;
typedef unsigned short USHORT;
typedef WORD* PWORD;
typedef WORD* LPWORD;
typedef int INT;
typedef unsigned int UINT;
typedef unsigned int* PUINT;
typedef int BOOL;
typedef BOOL* PBOOL;
typedef BOOL* LPBOOL;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef DWORD* PDWORD;
typedef DWORD* LPDWORD;

#endif
