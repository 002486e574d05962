// PWSETUP's resource IDs, shared by the resource script and the library. Only #defines, so that
// the resource compiler reads it as well as C++.
#ifndef PWSETUP_RESOURCES_RESOURCE_H
#define PWSETUP_RESOURCES_RESOURCE_H

// ---- strings --------------------------------------------------------------------------------
#define IDS_MEGABYTES 25001 // "%5lu.%02u Mb"
// Port names Windows keeps for its own ports; DLL_AddPort refuses names that begin with them.
#define IDS_PORT_LPT 25011
#define IDS_PORT_COM 25012
#define IDS_PORT_FILE 25013

// ---- dialogs ----------------------------------------------------------------------------------
// A printer browser of the library's own, kept among its resources; DLL_BrowseForPrinter shows
// the shell's folder browser instead.
#define IDD_BROWSE_PRINTER 20070
#define IDC_PRINTER_LIST 20071

#endif
