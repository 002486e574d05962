// Network device discovery: the search settings in the product tree, then one call of the
// discovery library, loaded from the folder the script names.
#include "devices/pnpkeys.h"

#include "frame/modulehandles.h"
#include "frame/zrregistry.h"

namespace {

typedef LONG(WINAPI* PFNFINDDEVICE)(LONG value, LONG reserved);

// The library's entry point, under its decorated standard-call name or, failing that, its plain
// one.
PFNFINDDEVICE zrFindDeviceEntry(HMODULE hLibrary) {
    PFNFINDDEVICE entry = zrProcAs<PFNFINDDEVICE>(hLibrary, "_FindDevice@8");
    return entry ? entry : zrProcAs<PFNFINDDEVICE>(hLibrary, "FindDevice");
}

// Loads the discovery library with `libraryDir` current, so that the search finds it there
// first. The current directory is back as it was on return, loaded or not.
HMODULE zrLoadDiscoveryLibrary(LPCSTR libraryDir) {
    CZRCurrentDirectory current;
    if (!current.Saved()) {
        Trace("DLL_FindDevice(): current directory cannot be remembered\n");
        return nullptr;
    }
    // A folder that cannot be entered must not let a library of the same name from the old
    // current directory stand in for it.
    if (!current.ChangeTo(libraryDir)) {
        Trace("DLL_FindDevice(): cannot enter %s: ERROR %ld\n", libraryDir ? libraryDir : "(null)",
              (long)GetLastError());
        return nullptr;
    }
    HMODULE hLibrary = LoadLibraryA(PW_DISCOVERY_LIBRARY);
    if (!hLibrary)
        Trace("DLL_FindDevice(): %s not loaded: ERROR %ld\n", PW_DISCOVERY_LIBRARY,
              (long)GetLastError());
    return hLibrary;
}

} // namespace

PW_EXPORT DLL_FindDevice(LONG value, LPCSTR tempDir, LPCSTR libraryDir) {
    return zrGuarded(0, [&]() -> LONG {
        WriteValueCreatingPath(HKEY_LOCAL_MACHINE, PW_NETSCAN_KEY, "TempDir",
                               tempDir ? tempDir : "", REG_SZ, FALSE);
        WriteValueCreatingPath(HKEY_LOCAL_MACHINE, PW_NETSCAN_KEY, "Search ID",
                               PW_NETSCAN_SEARCH_ID, REG_SZ, FALSE);
        WriteValueCreatingPath(HKEY_LOCAL_MACHINE, PW_NETSCAN_KEY, "Community-Set", "", REG_SZ,
                               FALSE);

        CZRModule library(zrLoadDiscoveryLibrary(libraryDir));
        if (!library) return 0;
        PFNFINDDEVICE entry = zrFindDeviceEntry(library.Get());
        if (!entry) {
            Trace("DLL_FindDevice(): %s has no FindDevice entry\n", PW_DISCOVERY_LIBRARY);
            return 0;
        }
        return entry(value, 0);
    });
}
