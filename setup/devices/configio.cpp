// The product's registry tree, which the product's own programs read to find the printer, its
// port and its directories.
#include "devices/zrdevices.h"
#include "frame/zrregistry.h"

#include <cstdio>
#include <cstring>

namespace {

#define PW_MODELS_KEY PW_PRODUCT_ROOT "Models"
#define PW_ENV_KEY PW_PRODUCT_ROOT PW_PRODUCT_NAME "\\Env"
#define PW_INSTALL_KEY PW_PRODUCT_ROOT PW_PRODUCT_NAME "\\Install"
#define PW_DEVICE0_KEY PW_PRODUCT_ROOT "Devices\\0"
#define PW_DEFAULT_DEVICE_KEY PW_PRODUCT_ROOT "Devices\\" PW_DEFAULT_DEVICE_ID
#define PW_PORTS_KEY PW_PRODUCT_ROOT "Ports"

const char kOtherPortId[] = "99";
const char kTempDirName[] = "KVSETUP\\";
const char kProductIni[] = "KVPT4720.INI";
const char kDeviceIni[] = "DEV_1.INI";

enum {
    PW_NEXT_DEVICE_SIZE = 244, // "NextNewDevice": at most 243 characters
    PW_LANGUAGE_SIZE = 8,      // a language code of at most 7 characters
};

bool zrWriteText(LPCSTR key, LPCSTR name, LPCSTR text) {
    return WriteValueCreatingPath(HKEY_LOCAL_MACHINE, key, name, text, REG_SZ, FALSE) != 0;
}

// The port identifier: for LPTn the character before n ("0" for LPT1), "99" for any other port.
// A name with no character after "LPT" (or only the colon) numbers no parallel port.
bool zrPortIdentifier(const char* port, char* id, size_t size) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    const bool parallel = lower(port[0]) == 'l' && lower(port[1]) == 'p' && lower(port[2]) == 't' &&
                          port[3] != '\0' && port[3] != ':';
    if (!parallel) {
        zrCopyBounded(id, static_cast<LONG>(size), kOtherPortId);
        return false;
    }
    id[0] = static_cast<char>(port[3] - 1);
    id[1] = '\0';
    return true;
}

// Windows directory, a backslash, "KVSETUP"; false when the directory cannot be had whole.
bool zrTempDirectory(char* path, size_t size) {
    char windir[PW_PATH_SIZE];
    const UINT len = GetWindowsDirectoryA(windir, sizeof windir);
    if (len == 0 || len >= sizeof windir) return false;
    const bool slash = windir[len - 1] == '\\';
    const int n = std::snprintf(path, size, "%s%s%s", windir, slash ? "" : "\\", kTempDirName);
    if (n < 0 || static_cast<size_t>(n) >= size) return false;
    path[n - 1] = '\0'; // the final backslash goes
    return true;
}

// Dir, one backslash and a file name, when the whole path fits a path buffer.
bool zrFilePath(char* path, size_t size, const char* dir, const char* file) {
    const int n = std::snprintf(path, size, "%s\\%s", dir, file);
    return n >= 0 && static_cast<size_t>(n) < size;
}

// False when a row could not be written; the rows after it are written all the same.
bool zrWriteProductTree(const char* port, const char* dir) {
    bool written = true;
    auto write = [&written](LPCSTR key, LPCSTR name, LPCSTR text) {
        written = zrWriteText(key, name, text) && written;
    };
    char portId[4];
    const bool parallel = zrPortIdentifier(port, portId, sizeof portId);

    if (parallel) {
        char tempDir[PW_PATH_SIZE];
        write(PW_NETSCAN_KEY, "Address Type", "Local");
        write(PW_NETSCAN_KEY, "Search ID", PW_NETSCAN_SEARCH_ID);
        write(PW_NETSCAN_KEY, "Community-Set", "");
        if (zrTempDirectory(tempDir, sizeof tempDir))
            write(PW_NETSCAN_KEY, "TempDir", tempDir);
        else
            Trace("DLL_ConfigIO: no Windows directory for TempDir\n");
    }

    write(PW_MODELS_KEY, "0", PW_PRODUCT_NAME);
    write(PW_ENV_KEY, "DataDir", dir);
    write(PW_ENV_KEY, "ProgramDir", dir);
    write(PW_ENV_KEY, "RootDir", dir);
    write(PW_ENV_KEY, "HelpDir", dir);
    write(PW_ENV_KEY, "ImageDir", dir);
    char language[PW_LANGUAGE_SIZE];
    GetProfileStringA("Intl", "sLanguage", "ENU", language, sizeof language);
    write(PW_ENV_KEY, "Language", language);
    // A cut path would name another file: a path that does not fit is not written.
    char path[PW_PATH_SIZE];
    if (zrFilePath(path, sizeof path, dir, kProductIni))
        write(PW_ENV_KEY, "ProdIniFile", path);
    else
        Trace("DLL_ConfigIO: directory too long for ProdIniFile\n");

    write(PW_INSTALL_KEY, "InstallRun", "0");
    write(PW_INSTALL_KEY, "Type", "C");
    write(PW_INSTALL_KEY, "Device", PW_DEFAULT_DEVICE_ID);
    char nextDevice[PW_NEXT_DEVICE_SIZE];
    const int n = std::snprintf(nextDevice, sizeof nextDevice, "%d,%s,%s", PW_MODEL_NUMBER, port,
                                PW_DEFAULT_DEVICE_ID);
    if (n >= 0 && static_cast<size_t>(n) < sizeof nextDevice)
        write(PW_INSTALL_KEY, "NextNewDevice", nextDevice);
    else
        Trace("DLL_ConfigIO: port name too long for NextNewDevice\n");
    write(PW_INSTALL_KEY, "RunSetupWizard", "0");
    write(PW_INSTALL_KEY, "InstallState", "1");

    write(PW_DEVICE0_KEY, "DefDevID", PW_DEFAULT_DEVICE_ID);
    write(PW_DEFAULT_DEVICE_KEY, "PortID", portId);
    write(PW_DEFAULT_DEVICE_KEY, "Model", PW_PRODUCT_NAME);
    char derivative[12];
    std::snprintf(derivative, sizeof derivative, "%d", PW_MODEL_NUMBER);
    write(PW_DEFAULT_DEVICE_KEY, "Derivative", derivative);
    if (zrFilePath(path, sizeof path, dir, kDeviceIni))
        write(PW_DEFAULT_DEVICE_KEY, "DevIniFile", path);
    else
        Trace("DLL_ConfigIO: directory too long for DevIniFile\n");
    write(PW_DEFAULT_DEVICE_KEY, "DefDevID", PW_DEFAULT_DEVICE_ID);

    write(PW_PORTS_KEY, "DefPortID", portId);
    write(PW_PORTS_KEY, portId, PW_DEFAULT_DEVICE_ID);
    return written;
}

} // namespace

PW_EXPORT DLL_ConfigIO(LPCSTR port, LPCSTR dir) {
    return zrGuarded(1, [&]() -> LONG {
        if (!port || !dir) {
            Trace("DLL_ConfigIO: no port or no directory\n");
            return 1;
        }
        // A row that could not be written is a failed call: the product's programs need them all,
        // and on NT the port needs its driver.
        bool written = zrWriteProductTree(port, dir);
        if (GetOSFamily() == OSF_WINNT) written = RegisterEcpDriver() && written;
        return written ? 1 : 0;
    });
}
