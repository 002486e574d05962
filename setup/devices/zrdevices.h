// Ports and devices: the product's registry tree, printer ports, the ECP parallel port with its
// NT driver, SYSTEM.INI device lines, Plug-and-Play keys and network discovery.
#ifndef PWSETUP_DEVICES_ZRDEVICES_H
#define PWSETUP_DEVICES_ZRDEVICES_H

#include "frame/pwsetup.h"

#include <string>

// ---- the product's registry tree below HKEY_LOCAL_MACHINE -----------------------------------
#define PW_PRODUCT_ROOT "SOFTWARE\\Norvex\\KVP\\"
#define PW_PRODUCT_NAME "KV Pellora 4720"
#define PW_NETSCAN_KEY PW_PRODUCT_ROOT "Netscan"
#define PW_NETSCAN_SEARCH_ID "Pellora 4720A"
#define PW_DEFAULT_DEVICE_ID "88888888"
enum { PW_MODEL_NUMBER = 4720 };

// ---- the NT ECP port driver -------------------------------------------------------------------
#define PW_ECP_SERVICE "KVPECP00"

// Writes the ECP port driver's service key and its legacy device instance, taking access to keys
// that refuse a plain write. Windows NT only. False when a value could not be written; the
// values after it are written all the same.
bool RegisterEcpDriver();

// ---- printer ports ------------------------------------------------------------------------------
// The port object lives for one DLL_AddPort call, on its stack; its table holds the two
// operations and nothing else.
class CZRPort {
  public:
    virtual LONG CreatePort(const std::string& port);
    virtual LONG CreatePort(const char* port);
};

// Whether a port name begins with a name Windows keeps for its own ports (LPT, COM, FILE:).
bool IsReservedPortName(const char* port);

// ---- exports ------------------------------------------------------------------------------------
PW_EXPORT DLL_IsPortECP(LPCSTR port);
PW_EXPORT DLL_CacheVxD(LPSTR name);
PW_EXPORT DLL_ConfigIO(LPCSTR port, LPCSTR dir);
PW_EXPORT DLL_AddPort(LPCSTR port);

#endif
