// The settings store, the device records and the frame's small shared routines.
#include "frame/pwsetup.h"
#include "resources/version.h"

#include <cstdio>
#include <cstring>

SettingsStore g_Settings;
DeviceSlot DeviceSlots[PW_DEVICE_SLOTS];

namespace {

const char kDefaultModel[] = "KV 4720";

// Stores a directory with a trailing backslash and remembers its drive.
void zrStoreDirectory(char* path, LONG* drive, LPCSTR text) {
    size_t len = std::strlen(text); // at most 258, checked by the caller
    std::memcpy(path, text, len + 1);
    if (len == 0 || path[len - 1] != '\\') {
        path[len] = '\\';
        path[len + 1] = '\0';
    }
    *drive = DriveIndexOf(static_cast<unsigned char>(text[0]));
}

// The slot named by the low 16 bits of a DLL_SetNum value.
DeviceRecord* zrSlotOfValue(LONG value) {
    return zrSlotRecord(LOWORD(value));
}

void zrNetworkCheck() {
    if (g_Settings.PnPMode != 0) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Network", 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
            g_Settings.NetworkPresent = 1;
            RegCloseKey(hKey);
        }
        return;
    }
    char driver[16];
    g_Settings.NetworkPresent = static_cast<LONG>(
        GetPrivateProfileStringA("Boot", "network.drv", "", driver, sizeof driver, "SYSTEM.INI"));
}

} // namespace

LONG DriveIndexOf(int ch) {
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a';
    return -1;
}

HMODULE zrLibraryModule() {
    return GetModuleHandleA("PWSETUP.DLL");
}

int GetOSFamily() {
    DWORD version = GetVersion();
    BYTE major = LOBYTE(LOWORD(version));
    if (major == 3) return OSF_V3;
    if (major < 4) return OSF_OLDER;
    return (version & 0x80000000u) ? OSF_WIN9X : OSF_WINNT;
}

#if defined(PW_TRACE)
void Trace(LPCSTR format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    OutputDebugStringA(line);
}
#else
void Trace(LPCSTR, ...) {}
#endif

namespace {
// A record's text field may be filled to its last byte without a terminator (the records come
// from outside the library): it is read no further than the field.
template <size_t N> void CopyRecordText(char* dest, LONG size, const char (&field)[N]) {
    size_t n = strnlen(field, N);
    if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
    std::memcpy(dest, field, n);
    dest[n] = '\0';
}
} // namespace

DeviceRecord* zrSlotRecord(LONG slot) {
    if (slot < 0 || slot >= PW_DEVICE_SLOTS) return nullptr;
    const DeviceSlot& s = DeviceSlots[slot];
    return s.hRecord ? s.pRecord : nullptr;
}

LONG zrSelectedSlot() {
    for (LONG slot = 1; slot < PW_DEVICE_SLOTS; ++slot) {
        const DeviceRecord* record = zrSlotRecord(slot);
        if (record && record->Selected) return slot;
    }
    return 0;
}

PW_EXPORT DLL_SetStr(LONG id, LPCSTR text) {
    if (!text) return PW_ERR_NULL_STRING;
    if (std::strlen(text) > PW_MAX_SETTING_LEN) return PW_ERR_TOO_LONG;
    switch (id) {
    case 1000:
        zrStoreDirectory(g_Settings.WinDirPath, &g_Settings.WinDirDrive, text);
        break;
    case 1010:
        zrStoreDirectory(g_Settings.WinSysDirPath, &g_Settings.WinSysDirDrive, text);
        break;
    case 1015:
        zrStoreDirectory(g_Settings.SetupDirPath, &g_Settings.SetupDirDrive, text);
        break;
    case 1020:
        zrCopyBounded(g_Settings.SetupIniPath, sizeof g_Settings.SetupIniPath, text);
        break;
    default:
        break;
    }
    return PW_OK;
}

PW_EXPORT DLL_GetStr(LONG id, LPSTR buffer, LONG size) {
    // No buffer, no room: nothing is written and the store keeps what it holds.
    const bool writable = buffer && size > 0;
    switch (id) {
    case 30: {
        LONG slot = zrSelectedSlot();
        if (!slot) return 0;
        if (writable) CopyRecordText(buffer, size, DeviceSlots[slot].pRecord->SectionName);
        return 1;
    }
    case 200:
        if (writable) {
            zrCopyBounded(buffer, size, g_Settings.CachedVxDList);
            g_Settings.CachedVxDList[0] = '\0';
        }
        return 0;
    case 1070:
        if (writable) zrCopyBounded(buffer, size, PW_VERSION_TEXT);
        return 0;
    case 1080: {
        if (!writable) return 0;
        LONG slot = zrSelectedSlot();
        if (slot) {
            CopyRecordText(buffer, size, DeviceSlots[slot].pRecord->ModelName);
        } else if (size == 1) {
            buffer[0] = '\0';
        } else {
            GetPrivateProfileStringA("default", "model", kDefaultModel, buffer,
                                     static_cast<DWORD>(size - 1), g_Settings.SetupIniPath);
        }
        return 0;
    }
    default:
        return 0;
    }
}

PW_EXPORT DLL_SetNum(LONG id, LONG value) {
    DeviceRecord* record = nullptr;
    switch (id) {
    case 10:
        zrNetworkCheck();
        return PW_OK;
    case 50:
    case 130:
    case 140:
        return PW_OK;
    case 110:
        g_Settings.PnPMode = LOWORD(value);
        return PW_OK;
    case 160:
        if ((record = zrSlotOfValue(value)) != nullptr) record->Selected = 1;
        return PW_OK;
    case 170:
        if ((record = zrSlotOfValue(value)) != nullptr) record->Selected = 0;
        return PW_OK;
    case 180:
        if ((record = zrSlotOfValue(value)) != nullptr) record->Detected = 0;
        return PW_OK;
    default:
        return PW_ERR_UNKNOWN_ID;
    }
}

PW_EXPORT DLL_GetNum(LONG id) {
    switch (id) {
    case 20: {
        LONG slot = zrSelectedSlot();
        return slot ? slot : 1;
    }
    case 190:
        // The VCOMM entry point comes from the DOS multiplex interrupt, which only 16-bit and
        // V86 code can issue; a 32-bit library has no way to it, so it reports "no entry point".
        return 0;
    default:
        return 0;
    }
}

PW_EXPORT DLL_IsDetected(LONG slot) {
    const DeviceRecord* record = zrSlotRecord(slot);
    return record ? record->Detected : 0;
}

PW_EXPORT DLL_FreePrinter(LONG slot) {
    if (slot < 0 || slot >= PW_DEVICE_SLOTS) return 0; // no such slot: nothing to release
    DeviceSlot& s = DeviceSlots[slot];
    GlobalUnlock(s.hRecord);
    GlobalFree(s.hRecord);
    s.hRecord = nullptr;
    s.pRecord = nullptr;
    return 0;
}

PW_EXPORT DLL_RestartBackEnd(void) {
    return 0;
}
