// Printer ports: a port name made known to the spooler's registry and to WIN.INI.
#include "devices/zrdevices.h"
#include "common/handles.h"
#include "common/spoolenum.h"
#include "resources/resource.h"

#include <winspool.h>

#include <cstdio>
#include <cstring>

namespace {

#define PW_PORTS_KEY_PREFIX "System\\CurrentControlSet\\Control\\Print\\Ports\\"

enum {
    PW_PREFIX_SIZE = 16,   // reserved prefixes are loaded into 16 characters
    PW_PORT_COPY_SIZE = 16 // the part of a port name compared with them
};

void zrTracePorts() {
    const CZRSpoolRecords ports =
        zrEnumerateSpool([](LPBYTE p, DWORD size, LPDWORD pNeeded, LPDWORD pReturned) {
            return EnumPortsA(nullptr, 1, p, size, pNeeded, pReturned);
        });
    if (ports.listed)
        Trace("EnumPorts() found %d ports\n", static_cast<int>(ports.returned));
    else
        Trace("EnumPorts() FAILED: %lu\n", static_cast<unsigned long>(GetLastError()));
}

} // namespace

bool IsReservedPortName(const char* port) {
    char name[PW_PORT_COPY_SIZE];
    zrCopyBounded(name, sizeof name, port);
    const int nameLen = static_cast<int>(std::strlen(name));
    const HMODULE module = zrLibraryModule();
    for (UINT id : {IDS_PORT_LPT, IDS_PORT_COM, IDS_PORT_FILE}) {
        char prefix[PW_PREFIX_SIZE];
        const int n = LoadStringA(module, id, prefix, sizeof prefix);
        if (n <= 0) continue;
        // A name shorter than the prefix is compared whole, so it never equals it.
        if (CompareStringA(LOCALE_USER_DEFAULT,
                           NORM_IGNORECASE | NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH, name,
                           nameLen < n ? nameLen : n, prefix, n) == CSTR_EQUAL)
            return true;
    }
    return false;
}

LONG CZRPort::CreatePort(const std::string& port) {
    if (IsReservedPortName(port.c_str())) return 0;

    char keyPath[PW_PATH_SIZE];
    const int n = std::snprintf(keyPath, sizeof keyPath, "%s%s", PW_PORTS_KEY_PREFIX, port.c_str());
    if (n < 0 || static_cast<size_t>(n) >= sizeof keyPath) {
        // A cut name would make another port: the name is refused whole.
        Trace("Failed to create port `%s'\n", port.c_str());
        return 0;
    }

    LONG result = 0;
    CZRRegKey key;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, keyPath, key.Put()) != ERROR_SUCCESS) {
        Trace("Failed to create port `%s'\n", port.c_str());
    } else {
        key.Close();
        RegFlushKey(HKEY_LOCAL_MACHINE);
        char entry[4];
        result = 1;
        // A port WIN.INI does not list is no port to 95/98 programs: that is a failed call.
        if (GetProfileStringA("Ports", port.c_str(), "", entry, sizeof entry) == 0 &&
            !WriteProfileStringA("Ports", port.c_str(), "")) {
            Trace("Failed to list port `%s' in WIN.INI\n", port.c_str());
            result = 0;
        }
    }
    zrTracePorts();
    return result;
}

LONG CZRPort::CreatePort(const char* port) {
    return CZRPort::CreatePort(std::string(port ? port : ""));
}

PW_EXPORT DLL_AddPort(LPCSTR port) {
    return zrGuarded(0, [&]() -> LONG {
        if (!port || !*port) return 0; // no name, no port
        CZRPort portObject;
        return portObject.CreatePort(port);
    });
}
