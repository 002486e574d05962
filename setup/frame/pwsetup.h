// PWSETUP's frame: the exports' common ground, the settings store, the device records and the
// small routines every other part of the library uses.
#ifndef PWSETUP_FRAME_PWSETUP_H
#define PWSETUP_FRAME_PWSETUP_H

#include <windows.h>

#include "common/fence.h"
#include "common/text.h"

// Every export is a flat standard-call function with C linkage; the .def file gives its plain name.
#define PW_EXPORT extern "C" LONG WINAPI

// ---- results of the settings store ---------------------------------------------------------
enum {
    PW_OK = 0,
    PW_ERR_UNKNOWN_ID = 0x1000,  // DLL_SetNum with an unlisted ID
    PW_ERR_NULL_STRING = 0x2000, // DLL_SetStr with a null text
    PW_ERR_TOO_LONG = 0x3000,    // DLL_SetStr with a text of more than 258 characters
};

enum {
    PW_MAX_SETTING_LEN = 258, // longest text DLL_SetStr accepts
    PW_PATH_SIZE = 260,
    PW_VXD_LIST_SIZE = 512,
    PW_DEVICE_SLOTS = 10,
};

// ---- platform families (GetOSFamily) -------------------------------------------------------
enum { OSF_OLDER = 0, OSF_V3 = 1, OSF_WIN9X = 2, OSF_WINNT = 3 };

// ---- the settings store --------------------------------------------------------------------
struct SettingsStore {
    char WinDirPath[PW_PATH_SIZE];
    char WinSysDirPath[PW_PATH_SIZE];
    char SetupDirPath[PW_PATH_SIZE];
    LONG WinDirDrive;
    LONG WinSysDirDrive;
    LONG SetupDirDrive;
    char SetupIniPath[PW_PATH_SIZE];
    LONG NetworkPresent;
    LONG PnPMode;
    char CachedVxDList[PW_VXD_LIST_SIZE];
};
extern SettingsStore g_Settings;

// ---- device records --------------------------------------------------------------------------
// One device per slot, in movable global memory. Only the named fields are used by this library.
struct DeviceRecord {
    BYTE Reserved1[32];
    char ModelName[64];
    char SectionName[168];
    LONG Detected;
    BYTE Reserved2[8];
    LONG Selected;
};

struct DeviceSlot {
    HGLOBAL hRecord;
    DeviceRecord* pRecord;
};
extern DeviceSlot DeviceSlots[PW_DEVICE_SLOTS];

// The record of a slot, or null when the slot number is out of range or the slot is empty.
DeviceRecord* zrSlotRecord(LONG slot);
// The lowest slot from 1 to 9 whose record is selected, or 0 when none is.
LONG zrSelectedSlot();

// ---- shared routines -------------------------------------------------------------------------
LONG DriveIndexOf(int ch);
// The library's own module, whose string table holds the texts it loads.
HMODULE zrLibraryModule();
int GetOSFamily();
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Trace(LPCSTR format, ...);

// Runs an export's body; an exception that escapes it becomes the export's failure result.
template <typename Body> LONG zrGuarded(LONG failure, Body body) noexcept {
    return zrFenced(failure, body, [] { Trace("exception caught at the export boundary\n"); });
}

// ---- exports of this part --------------------------------------------------------------------
PW_EXPORT DLL_SetStr(LONG id, LPCSTR text);
PW_EXPORT DLL_GetStr(LONG id, LPSTR buffer, LONG size);
PW_EXPORT DLL_SetNum(LONG id, LONG value);
PW_EXPORT DLL_GetNum(LONG id);
PW_EXPORT DLL_IsDetected(LONG slot);
PW_EXPORT DLL_FreePrinter(LONG slot);
PW_EXPORT DLL_RestartBackEnd(void);

#endif
