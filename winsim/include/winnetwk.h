// winsim's <winnetwk.h>: the network connection calls the product uses, with the SDK's names
// and signatures. Connections are the ones the machine declares (machine.ini [net-use]).
#ifndef WINSIM_WINNETWK_H
#define WINSIM_WINNETWK_H

#include <windows.h>

#define WINNETAPI extern "C"

#define CONNECT_UPDATE_PROFILE 0x00000001
#define CONNECT_UPDATE_RECENT 0x00000002
#define CONNECT_TEMPORARY 0x00000004
#define CONNECT_INTERACTIVE 0x00000008
#define CONNECT_PROMPT 0x00000010

WINNETAPI DWORD WINAPI WNetCancelConnection2A(LPCSTR lpName, DWORD dwFlags, BOOL fForce);

#endif
