// Components and disk space: files rounded to the allocation unit of the drive that will hold
// them, per-drive totals, the short-drive search and the component dialog's drive list.
#include "frame/diskspace.h"
#include "resources/resource.h"

#include <cstring>
#include <new>

DiskSpaceState g_DiskSpace;

const DWORD AllocationUnits[PW_UNIT_CLASSES] = {512, 2048, 4096, 8192, 16384, 32768, 65536};

namespace {

const DWORD kSaturated = 0xFFFFFFFFu;

// Where a file goes: its record's own directory or one of the three shared directories, each
// with the field that sums its files and the setting that names its drive.
enum Destination { OWN_DIR, WIN_DIR, WIN_SYS_DIR, SETUP_DIR };

const struct SharedDirectory {
    Destination destination;
    const char* code;
    DWORD CompRecord::*bytes;
    LONG SettingsStore::*drive;
} kSharedDirectories[] = {
    // Looked for in this order inside a "DirCodes" value: "WINDIR" comes first, so a value
    // holding "WINSYSDIR" only is the system directory.
    {WIN_DIR, "WINDIR", &CompRecord::WinDirBytes, &SettingsStore::WinDirDrive},
    {WIN_SYS_DIR, "WINSYSDIR", &CompRecord::WinSysDirBytes, &SettingsStore::WinSysDirDrive},
    {SETUP_DIR, "SETUPDIR", &CompRecord::SetupDirBytes, &SettingsStore::SetupDirDrive},
};

// Tab stops of the drive list, in dialog units: a narrow drive column ("C:") and two size
// columns wide enough for "%5lu.%02u Mb" in the list box's proportional font.
const INT kDriveListTabStops[] = {24, 84};

DWORD zrAddSaturated(DWORD a, DWORD b) {
    return a > kSaturated - b ? kSaturated : a + b;
}

DriveInfo* zrDrive(LONG index) {
    return index >= 0 && index < PW_DRIVES ? &g_DiskSpace.Drives[index] : nullptr;
}

// The unit of a drive; a drive not yet queried (or no drive) has the smallest.
DWORD zrUnitOfDrive(LONG index) {
    const DriveInfo* drive = zrDrive(index);
    return AllocationUnits[drive ? drive->UnitClass : 0];
}

// Adds to a drive's total; a record or file of no drive (-1) counts nowhere.
void zrAddToDrive(LONG index, DWORD DriveInfo::*total, DWORD bytes) {
    if (DriveInfo* drive = zrDrive(index)) drive->*total = zrAddSaturated(drive->*total, bytes);
}

// The record the current positions name: the component (target 1) or its sub-component at
// CurrentSub; null when there is no such record.
CompRecord* zrCurrentRecord(LONG target) {
    const LONG comp = g_DiskSpace.CurrentComp;
    if (comp < 0 || comp >= PW_COMPONENTS) return nullptr;
    CompRecord* record = &g_DiskSpace.Components[comp];
    if (target == 1) return record;
    if (g_DiskSpace.CurrentSub < 0) return nullptr;
    record = record->Next;
    for (LONG i = 0; record && i < g_DiskSpace.CurrentSub; ++i)
        record = record->Next;
    return record;
}

void zrFreeChain(CompRecord* component) {
    CompRecord* sub = component->Next;
    component->Next = nullptr;
    while (sub) {
        CompRecord* next = sub->Next;
        delete sub;
        sub = next;
    }
}

// The destination of a directory code: an exact name, else what its "DirCodes" value holds.
Destination zrDestinationOf(LPCSTR code) {
    if (!code) return OWN_DIR;
    for (const SharedDirectory& dir : kSharedDirectories)
        if (std::strcmp(code, dir.code) == 0) return dir.destination;
    if (g_Settings.SetupIniPath[0] == '\0') return OWN_DIR;
    char value[128];
    GetPrivateProfileStringA("DirCodes", code, "", value, sizeof value, g_Settings.SetupIniPath);
    for (const SharedDirectory& dir : kSharedDirectories)
        if (std::strstr(value, dir.code)) return dir.destination;
    return OWN_DIR;
}

// Adds the four amounts of one record to the drives' totals.
void zrCountRecord(const CompRecord& record, LONG ownDrive, DWORD DriveInfo::*total) {
    if (const DriveInfo* drive = zrDrive(ownDrive))
        zrAddToDrive(ownDrive, total, record.SizeByUnit[drive->UnitClass]);
    for (const SharedDirectory& dir : kSharedDirectories)
        zrAddToDrive(g_Settings.*dir.drive, total, record.*dir.bytes);
}

void zrClearTotals(DWORD DriveInfo::*total) {
    for (DriveInfo& drive : g_DiskSpace.Drives)
        drive.*total = 0;
}

// Queries a drive. A drive that does not answer stays present with no free space (so that
// anything it must hold makes it short) and keeps the unit class it had; one never answered
// takes the largest unit, which rounds no file below what it may take.
void zrQueryDrive(LONG index) {
    DriveInfo& drive = g_DiskSpace.Drives[index];
    const char root[] = {static_cast<char>('A' + index), ':', '\\', '\0'};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                          &totalClusters)) {
        const unsigned long long cluster =
            static_cast<unsigned long long>(sectorsPerCluster) * bytesPerSector;
        const unsigned long long freeBytes = cluster * freeClusters;
        drive.UnitClass = zrUnitClassOf(cluster > kSaturated ? 0 : static_cast<DWORD>(cluster));
        drive.FreeBytes = freeBytes > kSaturated ? kSaturated : static_cast<DWORD>(freeBytes);
    } else {
        Trace("DLL_SysDrvInfo() GetDiskFreeSpace(%s) FAILED: %lu\n", root,
              static_cast<unsigned long>(GetLastError()));
        if (!drive.Present) drive.UnitClass = PW_UNIT_CLASSES - 1;
        drive.FreeBytes = 0;
    }
    drive.Present = 1;
}

// One size column of the drive list: whole mebibytes and the fraction rounded to the nearest
// hundredth, a rounding to 100 hundredths carrying into the whole number.
void zrFormatMegabytes(char* out, LPCSTR format, DWORD bytes) {
    unsigned long whole = bytes >> 20;
    unsigned hundredths = static_cast<unsigned>(((bytes & 0xFFFFFu) * 100u + 0x80000u) >> 20);
    if (hundredths >= 100) {
        ++whole;
        hundredths -= 100;
    }
    wsprintfA(out, format, whole, hundredths);
}

LONG zrFindShort(DWORD DriveInfo::*total, LPLONG letter, LPLONG bytes) {
    LONG foundLetter = 0;
    DWORD foundBytes = 0;
    if (!FindShortDrive(total, &foundLetter, &foundBytes)) return 0;
    if (letter) *letter = foundLetter;
    if (bytes) *bytes = static_cast<LONG>(foundBytes);
    return 1;
}

} // namespace

LONG zrUnitClassOf(DWORD clusterBytes) {
    for (LONG k = 0; k < PW_UNIT_CLASSES - 1; ++k)
        if (clusterBytes == AllocationUnits[k]) return k;
    return PW_UNIT_CLASSES - 1;
}

DWORD zrRoundToUnit(DWORD size, DWORD unit) {
    const unsigned long long units = size / unit + (size % unit ? 1 : 0);
    const unsigned long long rounded = units * unit;
    return rounded > kSaturated ? kSaturated : static_cast<DWORD>(rounded);
}

void RecomputeRequired() {
    zrClearTotals(&DriveInfo::RequiredBytes);
    for (const CompRecord& component : g_DiskSpace.Components) {
        // A sub-component of an unselected component never counts, whatever its own flag.
        if (!component.Selected) continue;
        for (const CompRecord* r = &component; r; r = r->Next)
            if (r->Selected) zrCountRecord(*r, r->TargetDrive, &DriveInfo::RequiredBytes);
    }
}

void RecomputeMax() {
    zrClearTotals(&DriveInfo::MaxBytes);
    for (const CompRecord& component : g_DiskSpace.Components)
        for (const CompRecord* r = &component; r; r = r->Next)
            zrCountRecord(*r, r->MaxDrive, &DriveInfo::MaxBytes);
}

bool FindShortDrive(DWORD DriveInfo::*total, LONG* letter, DWORD* bytes) {
    for (LONG index = 0; index < PW_DRIVES; ++index) {
        DriveInfo& drive = g_DiskSpace.Drives[index];
        if (!drive.Present) continue;
        zrQueryDrive(index);
        // Equality counts as short: a drive filled to its last byte has no room to work in.
        if (drive.*total != 0 && drive.*total >= drive.FreeBytes) {
            *letter = 'A' + index;
            *bytes = drive.*total;
            return true;
        }
    }
    return false;
}

PW_EXPORT DLL_SysDrvInfo(LONG letter) {
    return zrGuarded(0, [&]() -> LONG {
        const LONG index = DriveIndexOf(letter);
        if (index < 0) return 0;
        zrQueryDrive(index);
        return 1;
    });
}

PW_EXPORT DLL_InitComp(LONG index, LONG selected, LONG letter, LONG mode, LONG maxLetter) {
    return zrGuarded(-1, [&]() -> LONG {
        CompRecord* record = nullptr;
        if (mode == 1) {
            g_DiskSpace.CurrentComp = index;
            g_DiskSpace.CurrentSub = 0;
            if (index < 0 || index >= PW_COMPONENTS) {
                Trace("DLL_InitComp() no component %ld\n", static_cast<long>(index));
                return -1;
            }
            record = &g_DiskSpace.Components[index];
        } else {
            // The sub-component's number is its position even when it is refused, so that its
            // files address no record rather than the sub-component before it.
            g_DiskSpace.CurrentSub = index;
            const LONG comp = g_DiskSpace.CurrentComp;
            if (comp < 0 || comp >= PW_COMPONENTS) return -1;
            CompRecord& component = g_DiskSpace.Components[comp];
            // Number 0 starts a new chain; each further number must be the next position.
            if (index == 0) zrFreeChain(&component);
            CompRecord** end = &component.Next;
            LONG length = 0;
            for (; *end; end = &(*end)->Next)
                ++length;
            if (index != length) {
                Trace("DLL_InitComp() sub-component %ld of component %ld is not the next (%ld)\n",
                      static_cast<long>(index), static_cast<long>(comp),
                      static_cast<long>(length));
                return -1;
            }
            record = new (std::nothrow) CompRecord();
            if (!record) return -1;
            *end = record;
        }
        record->Selected = selected;
        record->TargetDrive = DriveIndexOf(letter);
        record->MaxDrive = DriveIndexOf(maxLetter);
        return record->MaxDrive;
    });
}

PW_EXPORT DLL_SetSubIndx(LONG position) {
    g_DiskSpace.CurrentSub = position;
    return position;
}

PW_EXPORT DLL_AddCompFile(LONG size, LPCSTR dirCode, LONG target) {
    return zrGuarded(0, [&]() -> LONG {
        const Destination destination = zrDestinationOf(dirCode);
        CompRecord* record = zrCurrentRecord(target);
        if (!record) {
            Trace("DLL_AddCompFile() no record for component %ld, sub-component %ld\n",
                  static_cast<long>(g_DiskSpace.CurrentComp),
                  static_cast<long>(g_DiskSpace.CurrentSub));
            return 0;
        }
        const DWORD bytes = static_cast<DWORD>(size);
        if (destination == OWN_DIR) {
            // Every class, because the record's drive may still change.
            for (LONG k = 0; k < PW_UNIT_CLASSES; ++k)
                record->SizeByUnit[k] = zrAddSaturated(record->SizeByUnit[k],
                                                       zrRoundToUnit(bytes, AllocationUnits[k]));
            return 0;
        }
        for (const SharedDirectory& dir : kSharedDirectories) {
            if (dir.destination != destination) continue;
            DWORD& sum = record->*dir.bytes;
            sum = zrAddSaturated(sum, zrRoundToUnit(bytes, zrUnitOfDrive(g_Settings.*dir.drive)));
            return static_cast<LONG>(sum);
        }
        return 0;
    });
}

PW_EXPORT DLL_ChgCompDrv(LONG index, LONG letter) {
    return zrGuarded(0, [&]() -> LONG {
        if (index < 0 || index >= PW_COMPONENTS) return 0;
        const LONG drive = DriveIndexOf(letter);
        for (CompRecord* r = &g_DiskSpace.Components[index]; r; r = r->Next)
            r->TargetDrive = drive;
        RecomputeRequired();
        g_DiskSpace.CurrentComp = index;
        return 0;
    });
}

PW_EXPORT DLL_InitCompDlg(HWND dialog) {
    return zrGuarded(0, [&]() -> LONG {
        SendDlgItemMessageA(dialog, PW_DRIVE_LIST_ID, LB_SETTABSTOPS,
                            sizeof kDriveListTabStops / sizeof kDriveListTabStops[0],
                            reinterpret_cast<LPARAM>(kDriveListTabStops));
        RecomputeRequired();
        g_DiskSpace.CurrentComp = 0;
        g_DiskSpace.CurrentSub = 0;
        return 0;
    });
}

PW_EXPORT DLL_UpdateSizeReq(LONG) {
    return zrGuarded(0, []() -> LONG {
        RecomputeRequired();
        return 0;
    });
}

PW_EXPORT DLL_InitMaxSpace(void) {
    return zrGuarded(0, []() -> LONG {
        RecomputeMax();
        return 0;
    });
}

PW_EXPORT DLL_GetFreeSpace(LONG letter) {
    const DriveInfo* drive = zrDrive(DriveIndexOf(letter));
    return drive ? static_cast<LONG>(drive->FreeBytes) : 0;
}

PW_EXPORT DLL_GetReqSpace(LONG letter) {
    const DriveInfo* drive = zrDrive(DriveIndexOf(letter));
    return drive ? static_cast<LONG>(drive->RequiredBytes) : 0;
}

PW_EXPORT DLL_ReqSpace(LPLONG letter, LPLONG bytes) {
    return zrGuarded(0, [&] { return zrFindShort(&DriveInfo::RequiredBytes, letter, bytes); });
}

PW_EXPORT DLL_MaxSpace(LPLONG letter, LPLONG bytes) {
    return zrGuarded(0, [&] { return zrFindShort(&DriveInfo::MaxBytes, letter, bytes); });
}

PW_EXPORT DLL_UpdateDriveList(HWND dialog) {
    return zrGuarded(0, [&]() -> LONG {
        HWND list = GetDlgItem(dialog, PW_DRIVE_LIST_ID);
        if (!list) return 0;
        char format[PW_SIZE_FORMAT_SIZE];
        if (LoadStringA(zrLibraryModule(), IDS_MEGABYTES, format, sizeof format) <= 0) {
            Trace("DLL_UpdateDriveList() string %d FAILED: %lu\n", IDS_MEGABYTES,
                  static_cast<unsigned long>(GetLastError()));
            return 0;
        }
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
        for (LONG index = 0; index < PW_DRIVES; ++index) {
            const DriveInfo& drive = g_DiskSpace.Drives[index];
            if (!drive.Present) continue;
            // Each column fits 16 bytes: the format is at most 15 characters and its number
            // columns grow no wider than 4095 whole mebibytes.
            char letter[4], required[32], free[32], row[96];
            wsprintfA(letter, "%c:", static_cast<int>('A' + index));
            zrFormatMegabytes(required, format, drive.RequiredBytes);
            zrFormatMegabytes(free, format, drive.FreeBytes);
            wsprintfA(row, "%s\t%s\t%s", letter, required, free);
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
        }
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        return InvalidateRect(list, nullptr, TRUE) ? 1 : 0;
    });
}

PW_EXPORT DLL_CleanupDiskInfo(void) {
    for (CompRecord& component : g_DiskSpace.Components)
        zrFreeChain(&component);
    return 0;
}
