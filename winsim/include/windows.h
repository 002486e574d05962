// winsim's <windows.h>: the part of the Win32 API that the product uses, with the SDK's names,
// signatures, constants and structure layouts. Implemented by libwinsim on the simulated machine.
// As in the SDK it gathers the family headers; <winioctl.h>, <winspool.h>, <shlobj.h>,
// <commdlg.h>, <winnetwk.h> and <lm.h> are included by name where they are needed.
#ifndef WINSIM_WINDOWS_H
#define WINSIM_WINDOWS_H

#include <stdarg.h>
#include <stddef.h>

#include <windef.h>
#include <winerror.h>
#include <winbase.h>
#include <wingdi.h>
#include <winuser.h>
#include <winnls.h>
#include <winver.h>
#include <winreg.h>

#endif
