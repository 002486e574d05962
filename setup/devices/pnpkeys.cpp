// The printer's Plug-and-Play device key below Enum\LPTENUM on Windows 95/98, and the device ID
// that a printer reports through its port.
#include "devices/pnpkeys.h"

#include "common/filehandles.h"
#include "common/handles.h"
#include "printer/inf.h"

#include <winioctl.h>
#include <ntddpar.h>

#include <cstring>
#include <vector>

LONG SkipCount;

namespace {

const char kEnumKey[] = "Enum";
const char kLptEnumKey[] = "Enum\\LPTENUM\\";
const char kPortNameValue[] = "PortName";
const char kPrinterClass[] = "PRINTER";
const DWORD kConfigFlags = 0x40;

void zrTraceOpenFailure(LPCSTR name, LONG rc) {
    Trace("Failed opening %s: ERROR %ld <0x%8.8lX>\n", name, (long)rc, (unsigned long)rc);
}

// An entry of the device's INF section; a missing entry reads as empty.
std::string zrReadEntry(LPCSTR infFile, LPCSTR section, LPCSTR key) {
    char value[PW_PNP_ENTRY_SIZE];
    GetPrivateProfileStringA(section, key, "", value, sizeof value, infFile);
    return value;
}

void zrSetText(HKEY hKey, LPCSTR name, const std::string& text) {
    RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

// The values of the device key, in the order the enumerator expects to find them.
void zrWriteDeviceKey(HKEY hKey, LPCSTR infFile, LPCSTR section, const std::string& deviceId) {
    zrSetText(hKey, "Class", kPrinterClass);
    std::string description = zrReadEntry(infFile, section, "Description");
    if (description.empty()) description = zrReadEntry(infFile, section, "Device");
    zrSetText(hKey, "DeviceDesc", description);
    zrSetText(hKey, "Model", zrReadEntry(infFile, section, "Model"));
    zrSetText(hKey, "HardwareID", "LPTENUM\\" + deviceId);
    const BYTE flags[4] = {LOBYTE(kConfigFlags), 0, 0, 0};
    RegSetValueExA(hKey, "ConfigFlags", 0, REG_BINARY, flags, sizeof flags);
    std::string manufacturer = zrReadEntry(infFile, section, "Mfg");
    zrTranslateStringPlaceholder(&manufacturer, infFile);
    zrSetText(hKey, "Manufacturer", manufacturer);
}

} // namespace

DWORD ReadDeviceId(LPCSTR device, LPSTR buffer, DWORD size) {
    if (!device || !buffer || size == 0) return 0;
    CZRFile port(CreateFileA(device, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!port) return 0;

    COMMTIMEOUTS timeouts;
    if (GetCommTimeouts(port.Get(), &timeouts)) {
        timeouts.ReadIntervalTimeout = 200;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 200;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = 200;
        SetCommTimeouts(port.Get(), &timeouts);
    }

    const DWORD code = GetOSFamily() == OSF_WINNT ? static_cast<DWORD>(IOCTL_PAR_QUERY_DEVICE_ID)
                                                  : static_cast<DWORD>(PW_VXD_DEVICE_ID);
    DWORD count = 0;
    // The first answer after the port opens may be stale; the second one counts.
    if (DeviceIoControl(port.Get(), code, nullptr, 0, buffer, size, &count, nullptr)) {
        count = 0;
        DeviceIoControl(port.Get(), code, nullptr, 0, buffer, size, &count, nullptr);
    }
    if (count > size) count = size; // never trust a count beyond the room given
    if (count > 0) buffer[count - 1] = '\0';
    return count;
}

std::string FindStrValueSubkeyPath(HKEY parent, LPCSTR subkey, LPCSTR valueName, LPCSTR wanted,
                                   char separator) {
    Trace("FindStrValueSubkeyPath() on %s\n", subkey ? subkey : "");
    if (!subkey || !wanted) return std::string();
    CZRRegKey key;
    LONG rc = RegOpenKeyExA(parent, subkey, 0, KEY_READ, key.Put());
    if (rc != ERROR_SUCCESS) {
        zrTraceOpenFailure(subkey, rc);
        return std::string();
    }

    char name[PW_ENUM_NAME_SIZE];
    const DWORD room = static_cast<DWORD>(std::strlen(wanted) + 2);
    // One byte more than the read may fill, so that any value read is terminated.
    std::vector<char> value(room + 1);
    std::string result;
    for (DWORD index = 0;; ++index) {
        rc = RegEnumKeyA(key.Get(), index, name, sizeof name);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA) continue; // a name of more than 35 characters
        if (rc != ERROR_SUCCESS) {
            // A key that cannot be enumerated would fail the same way at every further index.
            zrTraceOpenFailure(subkey, rc);
            break;
        }

        CZRRegKey child;
        rc = RegOpenKeyExA(key.Get(), name, 0, KEY_READ, child.Put());
        if (rc != ERROR_SUCCESS) {
            if (rc != ERROR_NO_MORE_ITEMS) zrTraceOpenFailure(name, rc);
            continue;
        }
        DWORD type = 0;
        DWORD size = room;
        rc = RegQueryValueExA(child.Get(), valueName, nullptr, &type,
                              reinterpret_cast<BYTE*>(value.data()), &size);
        child.Close();
        if (rc != ERROR_SUCCESS) {
            // No such value here (or one too long to be the text): the match may lie below.
            std::string below =
                FindStrValueSubkeyPath(key.Get(), name, valueName, wanted, separator);
            if (!below.empty()) {
                result = name + below;
                Trace("Found it! csResult == %s\n", result.c_str());
                break;
            }
            continue;
        }
        value[size < room ? size : room] = '\0';
        Trace("%s=%s; Looking for %s\n", valueName ? valueName : "", value.data(), wanted);
        if (lstrcmpA(value.data(), wanted) == 0 && SkipCount-- == 0) {
            result = std::string(1, separator) + name;
            Trace("Found it! csResult == %s\n", result.c_str());
            break;
        }
    }
    return result;
}

std::string GetPnPEnumKey(LPCSTR port) {
    char shortPort[PW_PORT_SHORT_SIZE] = "";
    if (port) {
        for (size_t i = 0; i + 1 < sizeof shortPort && port[i] != '\0'; ++i) {
            if (i > 0 && port[i] == ':') break;
            shortPort[i] = port[i];
            shortPort[i + 1] = '\0';
        }
    }
    // An empty port name would match every instance whose "PortName" is empty.
    if (shortPort[0] == '\0') {
        Trace("GetPnPEnumKey() Failed!\n");
        return std::string();
    }

    CZRRegKey enumKey;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnumKey, 0, KEY_READ, enumKey.Put());
    if (rc != ERROR_SUCCESS) {
        zrTraceOpenFailure("HKLM\\Enum", rc);
        return std::string();
    }
    // SkipCount runs on from the BIOS search into the Root search: together they are one list.
    const char* enumerator = "BIOS";
    std::string found = FindStrValueSubkeyPath(enumKey.Get(), enumerator, kPortNameValue, shortPort,
                                               PW_ENUM_SEPARATOR);
    if (found.empty()) {
        enumerator = "Root";
        found = FindStrValueSubkeyPath(enumKey.Get(), enumerator, kPortNameValue, shortPort,
                                       PW_ENUM_SEPARATOR);
    }
    if (found.empty()) {
        Trace("GetPnPEnumKey() Failed!\n");
        return std::string();
    }
    std::string result = std::string(enumerator) + PW_ENUM_SEPARATOR + found;
    Trace("GetPnPEnumKey() found: %s\n", result.c_str());
    return result;
}

PW_EXPORT DLL_GetDeviceMatch(LPCSTR device, LPCSTR text, LONG /*extra*/) {
    return zrGuarded(0, [&]() -> LONG {
        char id[PW_DEVICE_ID_SIZE];
        if (ReadDeviceId(device, id, sizeof id) == 0) id[0] = '\0';
        if (!text) return 0;
        return std::strstr(id, text) ? 1 : 0;
    });
}

PW_EXPORT DLL_MarkPnPKeyInstalled(LPCSTR infFile, LPCSTR section, LPCSTR port) {
    return zrGuarded(PW_PNP_NOTHING, [&]() -> LONG {
        if (!infFile || !section) return PW_PNP_NOTHING;
        const std::string deviceId = zrReadEntry(infFile, section, "Win95DeviceID");
        if (deviceId.empty()) return PW_PNP_NOTHING;

        LONG result = PW_PNP_NOTHING;
        // Pass n takes the n-th instance that carries the port's name, so a port listed more
        // than once gets a device key for each listing.
        for (LONG n = 0;; ++n) {
            SkipCount = n;
            const std::string instance = GetPnPEnumKey(port);
            if (instance.empty()) break;
            result = PW_PNP_WRITTEN;
            const std::string path = kLptEnumKey + deviceId + "\\" + instance;
            Trace("csPortSubkey=%s\n", path.c_str());
            CZRRegKey key;
            if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), key.Put()) != ERROR_SUCCESS)
                return PW_PNP_NO_KEY;
            zrWriteDeviceKey(key.Get(), infFile, section, deviceId);
        }
        return result;
    });
}

PW_EXPORT DLL_AddPnPKey(void) {
    return zrGuarded(0, [&]() -> LONG {
        if (g_Settings.PnPMode == 0) return 0;
        // The selected devices' entries are only read and traced: the device key itself is
        // written by DLL_MarkPnPKeyInstalled, once the port is known.
        for (LONG slot = 1; slot < PW_DEVICE_SLOTS; ++slot) {
            const DeviceRecord* record = zrSlotRecord(slot);
            if (!record || !record->Selected) continue;
            // A record's section name need not be terminated within its field.
            char sectionName[sizeof record->SectionName + 1];
            std::memcpy(sectionName, record->SectionName, sizeof record->SectionName);
            sectionName[sizeof record->SectionName] = '\0';
            char device[64];
            char deviceId[64];
            GetPrivateProfileStringA(sectionName, "Device", "", device, sizeof device,
                                     g_Settings.SetupIniPath);
            GetPrivateProfileStringA(sectionName, "Win95DeviceID", "", deviceId, sizeof deviceId,
                                     g_Settings.SetupIniPath);
            Trace("DLL_AddPnPKey() slot %ld: %s, %s\n", (long)slot, device, deviceId);
        }
        return 0;
    });
}
