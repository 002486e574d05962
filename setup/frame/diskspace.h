// Components and disk space: the component dialog's per-drive totals of free, required and
// maximum space, from the files of up to 8 components and their sub-components.
#ifndef PWSETUP_FRAME_DISKSPACE_H
#define PWSETUP_FRAME_DISKSPACE_H

#include "frame/pwsetup.h"

enum {
    PW_UNIT_CLASSES = 7, // allocation units 512, 2048, ... 65536
    PW_COMPONENTS = 8,
    PW_DRIVES = 26,           // A to Z
    PW_DRIVE_LIST_ID = 20062, // the component dialog's drive list box
    PW_SIZE_FORMAT_SIZE = 16, // string 25001 is loaded into 16 bytes
};

// One drive letter. The byte counts hold at 0xFFFFFFFF rather than wrap past 4 GiB.
struct DriveInfo {
    LONG Present; // queried by DLL_SysDrvInfo; only present drives are listed and searched
    LONG UnitClass;
    DWORD FreeBytes;
    DWORD RequiredBytes;
    DWORD MaxBytes;
};

// A component or sub-component: its own-directory files rounded for every unit class, and the
// files of the Windows, system and setup directories rounded for their drive's unit.
struct CompRecord {
    DWORD SizeByUnit[PW_UNIT_CLASSES];
    LONG Selected;
    LONG TargetDrive; // drive index; -1 leaves the record's own files out of every total
    LONG MaxDrive;
    CompRecord* Next; // component: its first sub-component; sub-component: the next one
    DWORD WinDirBytes;
    DWORD WinSysDirBytes;
    DWORD SetupDirBytes;
};

struct DiskSpaceState {
    DriveInfo Drives[PW_DRIVES];
    CompRecord Components[PW_COMPONENTS];
    // The record the per-file calls address. Kept as the script gave them: a position that
    // names no record makes those calls change nothing.
    LONG CurrentComp;
    LONG CurrentSub;
};
extern DiskSpaceState g_DiskSpace;

extern const DWORD AllocationUnits[PW_UNIT_CLASSES];
// The unit class of a cluster size: 512 -> 0 ... 32768 -> 5, any other size -> 6.
LONG zrUnitClassOf(DWORD clusterBytes);
// A size rounded up to a multiple of `unit`; 0xFFFFFFFF when that passes 32 bits.
DWORD zrRoundToUnit(DWORD size, DWORD unit);

void RecomputeRequired();
void RecomputeMax();
// The first present drive, A to Z and each queried afresh, whose non-zero total is at least its
// free space; false when none is.
bool FindShortDrive(DWORD DriveInfo::*total, LONG* letter, DWORD* bytes);

PW_EXPORT DLL_SysDrvInfo(LONG letter);
PW_EXPORT DLL_InitComp(LONG index, LONG selected, LONG letter, LONG mode, LONG maxLetter);
PW_EXPORT DLL_SetSubIndx(LONG position);
PW_EXPORT DLL_AddCompFile(LONG size, LPCSTR dirCode, LONG target);
PW_EXPORT DLL_ChgCompDrv(LONG index, LONG letter);
PW_EXPORT DLL_InitCompDlg(HWND dialog);
PW_EXPORT DLL_UpdateSizeReq(LONG unused);
PW_EXPORT DLL_InitMaxSpace(void);
PW_EXPORT DLL_GetFreeSpace(LONG letter);
PW_EXPORT DLL_GetReqSpace(LONG letter);
PW_EXPORT DLL_ReqSpace(LPLONG letter, LPLONG bytes);
PW_EXPORT DLL_MaxSpace(LPLONG letter, LPLONG bytes);
PW_EXPORT DLL_UpdateDriveList(HWND dialog);
PW_EXPORT DLL_CleanupDiskInfo(void);

#endif
