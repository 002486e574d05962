// winsim's <winioctl.h>: CTL_CODE and the device types live in winsim's <windows.h>; this header
// lets code include <winioctl.h> as it must where <windows.h> is lean.
#ifndef WINSIM_WINIOCTL_H
#define WINSIM_WINIOCTL_H

#include <windows.h>

#endif
