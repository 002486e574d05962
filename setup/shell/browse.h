// The browse dialogs and the network check: a file chosen in the file-open dialog, a network
// printer chosen in the shell's folder browser, and whether the machine has networking.
#ifndef PWSETUP_SHELL_BROWSE_H
#define PWSETUP_SHELL_BROWSE_H

#include "frame/pwsetup.h"

// The callers' result buffers carry no size: each result is written within these bytes.
PW_EXPORT DLL_BrowseForFile(HWND owner, LPCSTR title, LONG unused, char result[PW_PATH_SIZE]);
PW_EXPORT DLL_BrowseForPrinter(HWND owner, LPCSTR title, LONG unused,
                               char result[PW_PATH_SIZE]);
PW_EXPORT DLL_HasTCPIP(void);

#endif
