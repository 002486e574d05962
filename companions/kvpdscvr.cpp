// Stand-in for the network discovery library that PWSETUP loads and calls once.
//
// FindDevice(portCount, reserved) reads the search settings that PWSETUP left in the product
// tree and looks for the printer the "Search ID" names. This stand-in has no network of its own:
// it asks the devices on the parallel ports LPT1 to LPTn (n = portCount, 3 when 0 or less, at
// most 9) for their IEEE 1284 device IDs, and returns the number of devices whose ID contains
// the "Search ID" text, or -1 when there is no search ID to look for. `reserved` is not used.
#include <windows.h>
#include <winioctl.h>
#include <ntddpar.h>

#include <cstring>

// Windows' linker exports the decorated name through the .def file. An ELF linker reads '@' in a
// symbol name as a symbol version, so natively the decorated name is spelled with '$', which
// winsim's GetProcAddress tries for a name holding '@'.
#if defined(_WIN32) || defined(KVP_PLAIN_EXPORT)
#define KVP_NATIVE_NAME(name)
#else
#define KVP_NATIVE_NAME(name) __asm__(name)
#endif

extern "C" LONG WINAPI FindDevice(LONG portCount, LONG reserved) KVP_NATIVE_NAME("_FindDevice$8");

namespace {

const char kNetscanKey[] = "SOFTWARE\\Norvex\\KVP\\Netscan";
const DWORD kVxdDeviceIdRequest = 17; // the 95/98 parallel port driver's device ID request

bool ReadSearchId(char* text, DWORD size) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNetscanKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD read = size - 1;
    LONG rc =
        RegQueryValueExA(hKey, "Search ID", nullptr, &type, reinterpret_cast<BYTE*>(text), &read);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    text[read] = '\0';
    return text[0] != '\0';
}

// The device ID of the device on a port; empty when the port has none or does not answer.
void ReadPortDeviceId(const char* port, char* id, DWORD size) {
    id[0] = '\0';
    HANDLE hPort = CreateFileA(port, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hPort == INVALID_HANDLE_VALUE) return;
    const bool nt = (GetVersion() & 0x80000000u) == 0;
    const DWORD code = nt ? static_cast<DWORD>(IOCTL_PAR_QUERY_DEVICE_ID) : kVxdDeviceIdRequest;
    DWORD count = 0;
    if (DeviceIoControl(hPort, code, nullptr, 0, id, size - 1, &count, nullptr) && count > 0)
        id[count < size - 1 ? count : size - 1] = '\0';
    else
        id[0] = '\0';
    CloseHandle(hPort);
}

} // namespace

extern "C" LONG WINAPI FindDevice(LONG portCount, LONG /*reserved*/) {
    char searchId[256];
    if (!ReadSearchId(searchId, sizeof searchId)) return -1;
    const LONG ports = portCount <= 0 ? 3 : (portCount > 9 ? 9 : portCount);
    LONG found = 0;
    for (LONG n = 1; n <= ports; ++n) {
        const char port[] = {'L', 'P', 'T', static_cast<char>('0' + n), ':', '\0'};
        char id[1024];
        ReadPortDeviceId(port, id, sizeof id);
        if (id[0] != '\0' && std::strstr(id, searchId)) ++found;
    }
    return found;
}
