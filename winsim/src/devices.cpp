// Port devices (kernel32, winbase.h; control codes from winioctl.h and ntddpar.h): the parallel and
// serial ports that CreateFileA opens by device name, their comm time-outs, and the printer's IEEE
// 1284 device ID answered through DeviceIoControl.
//
// A machine has LPT1, COM1 and COM2, as a PC with one parallel port does, and every port that
// machine.ini [devices] names ("LPT2:=" declares a second parallel port without a printer). The
// value of a port's key is the ID of the printer attached to it; an empty value means nothing is
// attached: the port opens, and asking it for an ID fails as a port without a printer does.
#include "devices.h"
#include "files.h"

#include <winioctl.h>

#include <cstring>

using namespace winsim;

namespace {

// Windows NT's parallel port driver: IOCTL_PAR_QUERY_DEVICE_ID and its relatives (ntddpar.h).
constexpr DWORD kParQueryDeviceId =
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 3, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kParQueryDeviceIdSize =
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 4, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kParQueryRawDeviceId =
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 12, METHOD_BUFFERED, FILE_ANY_ACCESS);
// What the parallel port driver of Windows 95/98 answers with the device ID.
constexpr DWORD kWin9xGetDeviceId = 17;

bool IsPortName(const std::string& upper) {
    if (upper.size() != 4 || upper[3] < '1' || upper[3] > '9') return false;
    return upper.compare(0, 3, "LPT") == 0 || upper.compare(0, 3, "COM") == 0;
}

// The [devices] entry of a port, keyed "LPT1:" or "LPT1". The value is read raw: a device ID is
// full of ';', which elsewhere in machine.ini would start a comment.
bool DeclaredPort(const std::string& name, std::string* deviceId) {
    const IniFile& ini = Require().ini;
    return ini.Get("devices", name + ":", deviceId) || ini.Get("devices", name, deviceId);
}

bool Answer(const std::string& bytes, LPVOID out, DWORD outSize, LPDWORD returned) {
    if (!out || outSize < bytes.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    std::memcpy(out, bytes.data(), bytes.size());
    *returned = static_cast<DWORD>(bytes.size());
    return true;
}

} // namespace

namespace winsim {

std::string PortNameOf(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '/') c = '\\';
    std::string name = p;
    if (p.compare(0, 4, "\\\\.\\") == 0) {
        name = p.substr(4);
    } else {
        // DOS device names are reserved in every folder and with any extension ("LPT1.TXT").
        if (!name.empty() && name.back() == ':') name.pop_back();
        size_t cut = name.find_last_of("\\:");
        if (cut != std::string::npos) name = name.substr(cut + 1);
        size_t dot = name.find('.');
        if (dot != std::string::npos) name.resize(dot);
    }
    if (!name.empty() && name.back() == ':') name.pop_back();
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    name = Upper(name);
    if (name == "PRN") name = "LPT1";
    if (name == "AUX") name = "COM1";
    return IsPortName(name) ? name : "";
}

bool OpenPort(const std::string& name, PortDevice* port, DWORD* error) {
    std::string id;
    bool declared = DeclaredPort(name, &id);
    if (!declared && name != "LPT1" && name != "COM1" && name != "COM2") {
        *error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    port->name = name;
    port->deviceId = Trim(id);
    port->hasDevice = !port->deviceId.empty();
    port->timeouts = COMMTIMEOUTS{};
    return true;
}

} // namespace winsim

namespace {

// The port a call is made on, after the failure a test armed for the call (`function`, the
// caller's name); null with the error set otherwise. A disk file is no port: its driver does not
// know the request.
PortDevice* CalledPort(const char* function, HANDLE h) {
    DWORD err;
    if (ShouldFail(function, &err)) {
        SetLastError(err);
        return nullptr;
    }
    PortDevice* port = PortOfHandle(h);
    if (!port) SetLastError(IsFileHandle(h) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    return port;
}

// The port of GetCommTimeouts or SetCommTimeouts, which also need the caller's structure.
PortDevice* TimeoutsPort(const char* function, HANDLE h, const COMMTIMEOUTS* timeouts) {
    PortDevice* port = CalledPort(function, h);
    if (port && !timeouts) {
        SetLastError(ERROR_NOACCESS);
        return nullptr;
    }
    return port;
}

} // namespace

extern "C" {

BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    PortDevice* port = TimeoutsPort(WINSIM_API_NAME(), hFile, lpCommTimeouts);
    if (!port) return FALSE;
    *lpCommTimeouts = port->timeouts;
    return TRUE;
}

BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    PortDevice* port = TimeoutsPort(WINSIM_API_NAME(), hFile, lpCommTimeouts);
    if (!port) return FALSE;
    port->timeouts = *lpCommTimeouts;
    return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    (void)lpInBuffer;
    (void)nInBufferSize;
    DWORD ignored = 0;
    // Without an OVERLAPPED the count is required; Windows faults, we refuse.
    if (!lpBytesReturned && !lpOverlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LPDWORD returned = lpBytesReturned ? lpBytesReturned : &ignored;
    *returned = 0;
    PortDevice* port = CalledPort(WINSIM_API_NAME(), hDevice);
    if (!port) return FALSE;
    const bool parallel = port->name.compare(0, 3, "LPT") == 0;
    const bool nt = IsNT();
    const bool askId =
        nt ? (dwIoControlCode == kParQueryDeviceId || dwIoControlCode == kParQueryDeviceIdSize ||
              dwIoControlCode == kParQueryRawDeviceId)
           : dwIoControlCode == kWin9xGetDeviceId;
    if (!parallel || !askId) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!port->hasDevice) {
        // Nothing answers the IEEE 1284 negotiation.
        SetLastError(ERROR_IO_DEVICE);
        return FALSE;
    }
    // Both systems hand over the ID as a text with its terminating zero, counted.
    std::string id = port->deviceId;
    id.push_back('\0');
    if (nt && dwIoControlCode == kParQueryDeviceIdSize) {
        DWORD size = static_cast<DWORD>(id.size());
        return Answer(std::string(reinterpret_cast<const char*>(&size), sizeof(size)), lpOutBuffer,
                      nOutBufferSize, returned);
    }
    if (nt && dwIoControlCode == kParQueryRawDeviceId) {
        // The ID as the printer sends it: a big-endian length that counts its own two bytes.
        size_t len = port->deviceId.size() + 2;
        std::string raw;
        raw.push_back(static_cast<char>((len >> 8) & 0xff));
        raw.push_back(static_cast<char>(len & 0xff));
        raw += id;
        return Answer(raw, lpOutBuffer, nOutBufferSize, returned);
    }
    return Answer(id, lpOutBuffer, nOutBufferSize, returned);
}

} // extern "C"
