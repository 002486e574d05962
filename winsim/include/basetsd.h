// winsim's <basetsd.h>: the integer types as wide as a pointer.
#ifndef WINSIM_BASETSD_H
#define WINSIM_BASETSD_H

#include <stdint.h>

typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef DWORD_PTR* PDWORD_PTR;
typedef ULONG_PTR SIZE_T;

#endif
