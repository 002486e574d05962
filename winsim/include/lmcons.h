// winsim's <lmcons.h>: the constants and types shared by the network management calls.
#ifndef WINSIM_LMCONS_H
#define WINSIM_LMCONS_H

#include <windef.h>

#define NET_API_FUNCTION WINAPI
typedef DWORD NET_API_STATUS;

#define CNLEN 15
#define LM20_UNLEN 20
#define UNLEN 256 // longest user name
#define MAX_PREFERRED_LENGTH ((DWORD)-1)

#endif
