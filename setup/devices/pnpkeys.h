// The printer's Plug-and-Play device key on Windows 95/98, the IEEE 1284 device ID read through
// a port, and the network discovery library.
#ifndef PWSETUP_DEVICES_PNPKEYS_H
#define PWSETUP_DEVICES_PNPKEYS_H

#include "devices/zrdevices.h"

#include <string>

enum {
    PW_DEVICE_ID_SIZE = 260, // a device ID as the port delivers it, with its terminator
    PW_PNP_ENTRY_SIZE = 256, // an entry of the INF section that describes the device
    PW_ENUM_NAME_SIZE = 36,  // enumeration key names of up to 35 characters are searched
    PW_PORT_SHORT_SIZE = 7,  // "LPT1:" is looked for as "LPT1", at most six characters
    PW_VXD_DEVICE_ID = 17,   // the 95/98 parallel port driver's device ID request
};

// Results of DLL_MarkPnPKeyInstalled.
enum {
    PW_PNP_WRITTEN = 0,    // at least one device key was written
    PW_PNP_NOTHING = 1024, // no device identifier, or no device instance for the port
    PW_PNP_NO_KEY = 1028,  // a device key could not be created
};

#define PW_ENUM_SEPARATOR '&'
#define PW_DISCOVERY_LIBRARY "kvpdscvr.dll"

// Matches that FindStrValueSubkeyPath passes over before it accepts one; decremented by each.
extern LONG SkipCount;

// The device ID that the device behind `device` delivers, terminated in place of its last byte;
// returns the number of bytes delivered (0 when the device does not open or answer).
DWORD ReadDeviceId(LPCSTR device, LPSTR buffer, DWORD size);

// Searches parent\subkey depth first for a key whose value `valueName` is exactly `wanted`.
// The result joins the names of the keys on the way, with `separator` in front of the matching
// key's own name ("*PNP0400&0D"); empty when nothing matched.
std::string FindStrValueSubkeyPath(HKEY parent, LPCSTR subkey, LPCSTR valueName, LPCSTR wanted,
                                   char separator);

// The enumeration instance of the device on `port` ("BIOS&*PNP0400&0D"), the SkipCount-th
// match over the BIOS and then the Root enumerator; empty when there is none.
std::string GetPnPEnumKey(LPCSTR port);

PW_EXPORT DLL_GetDeviceMatch(LPCSTR device, LPCSTR text, LONG extra);
PW_EXPORT DLL_MarkPnPKeyInstalled(LPCSTR infFile, LPCSTR section, LPCSTR port);
// Returns nothing of meaning; the 0 only keeps the result register defined for callers that read
// it.
PW_EXPORT DLL_AddPnPKey(void);

PW_EXPORT DLL_FindDevice(LONG value, LPCSTR tempDir, LPCSTR libraryDir);

#endif
