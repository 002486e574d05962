// The ECP parallel port: whether a port is one, the NT driver's registry keys, and the device
// lines of SYSTEM.INI that load the port drivers on Windows 95/98.
#include "devices/zrdevices.h"
#include "common/filehandles.h"
#include "common/handles.h"
#include "frame/zrregistry.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

// ---- ECP detection on Windows 95/98 ------------------------------------------------------------

const char kEcpDeviceId[] = "*PNP0401";

// Equal without regard to the case of the basic Latin letters.
bool zrEqualNoCaseAscii(const char* a, const char* b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
    for (; *a && *b; ++a, ++b)
        if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// A text value of at most `size` bytes, terminated in a buffer of size + 1 bytes; false when it
// is missing or longer.
bool zrReadText(HKEY hKey, LPCSTR name, char* buffer, DWORD size) {
    DWORD type = 0, bytes = size;
    if (RegQueryValueExA(hKey, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &bytes) !=
        ERROR_SUCCESS)
        return false;
    buffer[bytes <= size ? bytes : size] = '\0';
    return true;
}

// Looks through every instance below one enumeration key for the port; with `needEcpId` the
// instance must also name the ECP device in its hardware ID.
bool zrStageFindsPort(LPCSTR enumKey, const char* port, bool needEcpId) {
    CZRRegKey stage;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, enumKey, 0, KEY_READ, stage.Put()) != ERROR_SUCCESS)
        return false;
    bool found = false;
    char name[PW_PATH_SIZE];
    for (DWORD index = 0; RegEnumKeyA(stage.Get(), index, name, sizeof name) == ERROR_SUCCESS;
         ++index) {
        CZRRegKey instance;
        if (RegOpenKeyExA(stage.Get(), name, 0, KEY_READ, instance.Put()) != ERROR_SUCCESS)
            continue;
        char portName[PW_PATH_SIZE + 1];
        if (!zrReadText(instance.Get(), "PORTNAME", portName, PW_PATH_SIZE) ||
            !zrEqualNoCaseAscii(portName, port))
            continue;
        if (!needEcpId) {
            found = true;
            continue;
        }
        char hardwareId[PW_PATH_SIZE + 1];
        if (!zrReadText(instance.Get(), "HardwareID", hardwareId, PW_PATH_SIZE)) continue;
        for (char* p = hardwareId; *p; ++p)
            if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - ('a' - 'A'));
        if (std::strstr(hardwareId, kEcpDeviceId)) found = true;
    }
    return found;
}

// ---- the NT driver's keys ----------------------------------------------------------------------

#define PW_ECP_ENUM "System\\CurrentControlSet\\Enum\\Root\\LEGACY_KVPECP00"
#define PW_ECP_INSTANCE PW_ECP_ENUM "\\0000"
#define PW_ECP_SERVICE_KEY "System\\CurrentControlSet\\Services\\" PW_ECP_SERVICE
#define PW_ECP_PARAMETERS PW_ECP_SERVICE_KEY "\\Parameters"

struct EcpValue {
    const char* key;
    const char* name;
    DWORD type;
    DWORD number;     // REG_DWORD
    const char* text; // REG_SZ, or REG_MULTI_SZ with its closing empty text
};

// In writing order. The service is spelled "Kvpecp00" once, as the instance's "Service".
const EcpValue kEcpValues[] = {
    {PW_ECP_ENUM, "NextInstance", REG_DWORD, 1, nullptr},
    {PW_ECP_INSTANCE, "StatusFlags", REG_DWORD, 8, nullptr},
    {PW_ECP_INSTANCE, "FoundAtEnum", REG_DWORD, 1, nullptr},
    {PW_ECP_INSTANCE, "Problem", REG_DWORD, 0, nullptr},
    {PW_ECP_INSTANCE, "BaseDevicePath", REG_SZ, 0, "HTREE\\ROOT\\0"},
    {PW_ECP_INSTANCE, "Class", REG_SZ, 0, "Unknown"},
    {PW_ECP_INSTANCE, "ClassGUID", REG_SZ, 0, "{4D36E97E-E325-11CE-BFC1-08002BE10318}"},
    {PW_ECP_INSTANCE, "DeviceDesc", REG_SZ, 0, "Parallel Device"},
    {PW_ECP_INSTANCE, "Service", REG_SZ, 0, "Kvpecp00"},
    {PW_ECP_INSTANCE "\\Control", "ActiveService", REG_SZ, 0, PW_ECP_SERVICE},
    {PW_ECP_SERVICE_KEY, "DependOnGroup", REG_MULTI_SZ, 0, "Parallel arbitrator\0"},
    {PW_ECP_SERVICE_KEY, "DependOnService", REG_MULTI_SZ, 0, "Parport\0"},
    {PW_ECP_SERVICE_KEY, "Group", REG_SZ, 0, "Extended base"},
    {PW_ECP_SERVICE_KEY, "ErrorControl", REG_DWORD, 0, nullptr}, // ignore errors
    {PW_ECP_SERVICE_KEY, "Start", REG_DWORD, 2, nullptr},        // automatic start
    {PW_ECP_SERVICE_KEY, "Tag", REG_DWORD, 2, nullptr},
    {PW_ECP_SERVICE_KEY, "Type", REG_DWORD, 1, nullptr}, // kernel driver
    {PW_ECP_SERVICE_KEY "\\Enum", "0", REG_SZ, 0, "Root\\LEGACY_KVPECP00\\0000"},
    {PW_ECP_SERVICE_KEY "\\Enum", "Count", REG_DWORD, 1, nullptr},
    {PW_ECP_SERVICE_KEY "\\Enum", "NextInstance", REG_DWORD, 1, nullptr},
    {PW_ECP_PARAMETERS, "911", REG_DWORD, 0, nullptr},
    {PW_ECP_PARAMETERS, "InitInputMode", REG_DWORD, 11, nullptr},
    {PW_ECP_PARAMETERS, "InitOutputMode", REG_DWORD, 11, nullptr},
    {PW_ECP_PARAMETERS, "PortLockMode", REG_DWORD, 2, nullptr},
    {PW_ECP_PARAMETERS, "InitDirectEnable", REG_DWORD, 0, nullptr},
    {PW_ECP_PARAMETERS, "InitDMAEnable", REG_DWORD, 0, nullptr},
    {PW_ECP_PARAMETERS, "InitDMAChannel", REG_DWORD, 3, nullptr},
    {PW_ECP_PARAMETERS, "InitDMATestEnable", REG_DWORD, 0, nullptr},
    // One subkey per usual parallel-port base address, in hexadecimal.
    {PW_ECP_PARAMETERS "\\278", "InitDirectEnable", REG_DWORD, 0, nullptr},
    {PW_ECP_PARAMETERS "\\278", "InitDMAChannel", REG_DWORD, 3, nullptr},
    {PW_ECP_PARAMETERS "\\278", "InitDMAEnable", REG_DWORD, 0, nullptr},
    {PW_ECP_PARAMETERS "\\278", "InitDMATestEnable", REG_DWORD, 0, nullptr},
    {PW_ECP_PARAMETERS "\\278", "InitInputMode", REG_DWORD, 11, nullptr},
    {PW_ECP_PARAMETERS "\\278", "InitOutputMode", REG_DWORD, 11, nullptr},
    {PW_ECP_PARAMETERS "\\378", "InitDirectEnable", REG_DWORD, 0, nullptr},
    {PW_ECP_PARAMETERS "\\378", "InitDMAChannel", REG_DWORD, 3, nullptr},
    {PW_ECP_PARAMETERS "\\378", "InitDMAEnable", REG_DWORD, 0, nullptr},
    {PW_ECP_PARAMETERS "\\378", "InitDMATestEnable", REG_DWORD, 0, nullptr},
    {PW_ECP_PARAMETERS "\\378", "InitInputMode", REG_DWORD, 11, nullptr},
    {PW_ECP_PARAMETERS "\\378", "InitOutputMode", REG_DWORD, 11, nullptr},
};
static_assert(sizeof kEcpValues / sizeof kEcpValues[0] == 40, "the driver has 40 values");

// ---- SYSTEM.INI device lines -------------------------------------------------------------------

// The open SYSTEM.INI and its copy in capitals, kept from the first named call to the null call.
// Plain data, so that loading and unloading the library runs no code of its own.
struct VxDCache {
    HFILE hFile;
    char* pImage; // file length + 1 bytes, ending in a zero
};
VxDCache s_VxDCache = {HFILE_ERROR, nullptr};

void zrCloseVxDCache() {
    CZRHFile file(s_VxDCache.hFile);
    std::unique_ptr<char[]> image(s_VxDCache.pImage);
    s_VxDCache.hFile = HFILE_ERROR;
    s_VxDCache.pImage = nullptr;
}

bool zrOpenVxDCache() {
    // Whatever the system holds of SYSTEM.INI in memory goes to disk before the file is read.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "system.ini");
    OFSTRUCT of;
    std::memset(&of, 0, sizeof of);
    of.cBytes = sizeof of;
    CZRHFile file(OpenFile("SYSTEM.INI", &of, OF_READWRITE));
    if (!file) {
        Trace("DLL_CacheVxD: SYSTEM.INI not opened\n");
        return false;
    }
    const LONG length = _llseek(file.Get(), 0, FILE_END);
    if (length < 0 || _llseek(file.Get(), 0, FILE_BEGIN) != 0) return false;
    std::unique_ptr<char[]> image(new (std::nothrow) char[static_cast<size_t>(length) + 1]());
    if (!image) return false;
    const UINT read = _lread(file.Get(), image.get(), static_cast<UINT>(length));
    if (read == static_cast<UINT>(HFILE_ERROR) || read < static_cast<UINT>(length)) {
        Trace("DLL_CacheVxD: SYSTEM.INI not read\n");
        return false;
    }
    CharUpperA(image.get());
    s_VxDCache.hFile = file.Release();
    s_VxDCache.pImage = image.release();
    return true;
}

// Control characters (line ends and tabs among them) end a line when stepping back from a name.
bool zrIsControl(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// Whether "NAME;" fits the collected list whole, with the list's terminator.
bool zrListHasRoomFor(const char* name) {
    const size_t used = strnlen(g_Settings.CachedVxDList, sizeof g_Settings.CachedVxDList);
    return used + std::strlen(name) + 1 < sizeof g_Settings.CachedVxDList;
}

// The first place where the text names the driver itself: an occurrence inside a longer name
// ("XPORTDRV.VXD" for "PORTDRV.VXD") is another driver, whose line must stay.
bool zrEndsName(char c) {
    return c == '\0' || zrIsControl(c) || std::strchr(" =\\/:,;\"", c) != nullptr;
}
const char* zrFindDriverName(const char* image, const char* name, size_t nameLen) {
    for (const char* hit = std::strstr(image, name); hit; hit = std::strstr(hit + 1, name)) {
        if ((hit == image || zrEndsName(hit[-1])) && zrEndsName(hit[nameLen])) return hit;
    }
    return nullptr;
}

void zrAppendToList(const char* name) {
    char* end = g_Settings.CachedVxDList + std::strlen(g_Settings.CachedVxDList);
    const size_t len = std::strlen(name);
    std::memcpy(end, name, len);
    end[len] = ';';
    end[len + 1] = '\0';
}

LONG zrCacheVxD(LPSTR name) {
    if (!name) {
        zrCloseVxDCache();
        return 1;
    }
    if (!s_VxDCache.pImage && !zrOpenVxDCache()) return 0;
    CharUpperA(name);
    if (!*name) return 1; // names no driver: nothing to check, nothing to collect

    const char* image = s_VxDCache.pImage;
    const size_t nameLen = std::strlen(name);
    LONG commentAt = -1; // file offset of a device line that names the driver in the wrong place
    if (const char* hit = zrFindDriverName(image, name, nameLen)) {
        const char* line = hit;
        while (line > image && !zrIsControl(line[-1]))
            --line;
        if (std::strncmp(line, "DEVICE", 6) == 0) {
            const char* equals = std::strchr(line, '=');
            if (!equals) return 1;
            if (std::strncmp(equals + 1, name, nameLen) == 0) return 1; // loaded by its name
            commentAt = static_cast<LONG>(line - image);
        }
    }
    // A name the list cannot take is refused before SYSTEM.INI changes, so that no driver loses
    // its line without being collected.
    if (!zrListHasRoomFor(name)) {
        Trace("DLL_CacheVxD: no room for %s in the collected list\n", name);
        return 0;
    }
    // A driver whose line still loads it is not collected: it would be loaded twice.
    if (commentAt >= 0 && (_llseek(s_VxDCache.hFile, commentAt, FILE_BEGIN) != commentAt ||
                           _lwrite(s_VxDCache.hFile, ";", 1) != 1)) {
        Trace("DLL_CacheVxD: the line of %s could not be commented out\n", name);
        return 0;
    }
    zrAppendToList(name);
    return 1;
}

} // namespace

bool RegisterEcpDriver() {
    bool written = true;
    for (const EcpValue& row : kEcpValues) {
        const void* data = row.type == REG_DWORD ? static_cast<const void*>(&row.number)
                                                 : static_cast<const void*>(row.text);
        if (!WriteValueCreatingPath(HKEY_LOCAL_MACHINE, row.key, row.name, data, row.type, TRUE)) {
            Trace("RegisterEcpDriver: %s\\%s not written\n", row.key, row.name);
            written = false;
        }
    }
    return written;
}

PW_EXPORT DLL_IsPortECP(LPCSTR port) {
    return zrGuarded(0, [&]() -> LONG {
        if (GetOSFamily() == OSF_WINNT) return 1;
        if (!port) return 0;
        char shortPort[5];
        zrCopyBounded(shortPort, sizeof shortPort, port); // LPT1: becomes LPT1
        if (zrStageFindsPort("Enum\\BIOS\\*PNP0401", shortPort, false)) return 1;
        if (zrStageFindsPort("Enum\\Root\\*PNP0401", shortPort, false)) return 1;
        return zrStageFindsPort("Enum\\Root\\Ports", shortPort, true) ? 1 : 0;
    });
}

PW_EXPORT DLL_CacheVxD(LPSTR name) {
    return zrGuarded(0, [&] { return zrCacheVxD(name); });
}
