// Stand-in for the product's print monitors: the language monitor (KVLMON.DLL) and the port
// monitor (KVPMON.DLL), one source for both. The spooler loads a monitor and calls the
// initialisation its system knows: Windows 95/98 InitializeMonitorEx, Windows NT 4.0
// InitializePrintMonitor, later systems InitializePrintMonitor2. The stand-in drives no port, so
// every initialisation hands back a function table with no functions in it; the spooler calls
// none of a monitor's functions that the table leaves empty.
#include <windows.h>

#include <cstring>

// The function table that an initialisation hands back: a leading size (MONITOREX's and
// MONITOR2's first member) and room for every function a monitor of any of these systems lists.
struct EmptyMonitorTable {
    DWORD size;
    void* functions[32];
};

namespace {
EmptyMonitorTable g_table = {sizeof(EmptyMonitorTable), {}};
} // namespace

extern "C" {

// Windows 2000 and later (and Wine): the table, and the monitor's handle.
void* WINAPI InitializePrintMonitor2(void* monitorInit, HANDLE* monitor) {
    (void)monitorInit;
    if (monitor) *monitor = reinterpret_cast<HANDLE>(&g_table);
    return &g_table;
}

// Windows NT 4.0: the table for the monitor's registry root.
void* WINAPI InitializePrintMonitor(LPWSTR registryRoot) {
    (void)registryRoot;
    return &g_table;
}

// Windows 95/98: the spooler's own table, of a size the monitor knows, left empty.
BOOL WINAPI InitializeMonitorEx(LPSTR registryRoot, void* monitor) {
    (void)registryRoot;
    return monitor != nullptr;
}

} // extern "C"
