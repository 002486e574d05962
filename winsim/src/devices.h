// The port devices (devices.cpp) that CreateFileA opens by device name.
#ifndef WINSIM_DEVICES_H
#define WINSIM_DEVICES_H

#include "internal.h"

namespace winsim {

// A port that CreateFileA opened ("LPT1", "COM2"): its device ID and time-outs.
struct PortDevice {
    std::string name; // "LPT1"
    bool hasDevice = false;
    std::string deviceId; // the IEEE 1284 ID of the printer on the port, without length prefix
    COMMTIMEOUTS timeouts{};
};
// The port that a path names ("LPT1:", "lpt1", "\\.\LPT1", "C:\TMP\LPT1.TXT"), empty when
// it names none.
std::string PortNameOf(const std::string& path);
// Opens a port of the machine; false with *error when the machine has no such port.
bool OpenPort(const std::string& name, PortDevice* port, DWORD* error);

} // namespace winsim

#endif
