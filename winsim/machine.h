// winsim's control API: what tests and tools use to create, seed, steer and inspect a simulated
// machine. Product code never includes this header.
#ifndef WINSIM_MACHINE_H
#define WINSIM_MACHINE_H

#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

enum class Os { Win95, Win98, Nt4 };

const char* OsName(Os os);            // "win95", "win98", "nt4"
bool ParseOs(const std::string& text, Os* os);

// Creates a fresh machine in `dir` (which may exist but must not hold a machine): machine.ini,
// drive_c with the Windows and system directories, WIN.INI, SYSTEM.INI and the registry a fresh
// Windows of that version has. Returns false and sets *error when it cannot.
bool CreateMachine(const std::string& dir, Os os, std::string* error = nullptr);

// Makes the machine in `dir` the current one of this process (every API call works on it).
// Any machine that was current is closed first.
bool OpenMachine(const std::string& dir, std::string* error = nullptr);

// Writes what the machine keeps in memory (the registry hives) and forgets it. Also done at
// process exit for a machine still open.
void CloseMachine();

bool HasMachine();
std::string MachineDir();
Os MachineOs();

// Windows path of a file on the machine -> host path below the machine folder (case-insensitive
// look-up of each existing component). Empty when the path names no drive of the machine.
std::string HostPath(const std::string& windowsPath);

// A key of machine.ini ([section] key=value); written through to the file.
std::string GetSetting(const std::string& section, const std::string& key,
                       const std::string& def = "");
void SetSetting(const std::string& section, const std::string& key, const std::string& value);

// ---- failures ---------------------------------------------------------------------------
// The next `count` calls (or every call when count < 0) of the named API function fail with
// `error`, as far as that function can fail. ClearFailures() undoes all.
void FailCall(const std::string& function, uint32_t error, int count = -1);
void ClearFailures();

// ---- files --------------------------------------------------------------------------------
// Marks a file or folder as in use by a running program (machine.ini [in-use]): it can be read
// but not written, moved or deleted until the next start. `inUse` false lifts the mark.
void MarkInUse(const std::string& windowsPath, bool inUse = true);

// ---- debug output -----------------------------------------------------------------------
// Lines given to OutputDebugStringA since the machine was opened (or last cleared).
std::vector<std::string> DebugOutput();
void ClearDebugOutput();

// ---- registry -----------------------------------------------------------------------------
// Keys are written with their root name: "HKEY_LOCAL_MACHINE\SOFTWARE\Norvex".
std::string ExportRegistry(const std::string& key = ""); // REGEDIT4 text; "" = both hives
bool ImportRegistry(const std::string& regText, std::string* error = nullptr);
bool KeyExists(const std::string& key);
// A value's type and its data bytes exactly as stored; false when the value is missing.
bool ReadValue(const std::string& key, const std::string& name, uint32_t* type,
               std::vector<uint8_t>* data);
void FlushRegistry();

// Key security, in SDDL text ("O:SYD:(A;;KA;;;SY)(A;;KR;;;BA)", "D:NO_ACCESS_CONTROL" for a
// NULL DACL). A key without security of its own grants everything.
bool SetKeySecurity(const std::string& key, const std::string& sddl);
std::string GetKeySecurity(const std::string& key);
// Marks a key as refusing write access to the process: owner SYSTEM, SYSTEM full control,
// Administrators and Everyone read only.
bool ProtectKey(const std::string& key);

// Whether the process token holds SeTakeOwnershipPrivilege (machine.ini [machine]
// takeownership=0|1; held by default for an administrator on NT).
void SetTakeOwnershipHeld(bool held);

// ---- print spooler --------------------------------------------------------------------------
// What the spooler holds, as its calls report it. Every spooler call (EnumPrintersA,
// AddPrinterDriverA, DeletePortA, ...) honours FailCall under its own name.
struct SpoolerPrinter {
    std::string name, port, driver, processor, datatype;
    uint32_t attributes = 0; // as GetPrinterA reports them
    bool isDefault = false;
};
struct SpoolerDriver {
    std::string name, environment;
    uint32_t version = 0;
    std::string file, monitor;
    std::vector<std::string> dependentFiles;
};
struct SpoolerMonitor {
    std::string name, file;
};
struct SpoolerProcessor {
    std::string name, environment, file;
};
struct SpoolerPort {
    std::string name, monitor;
};
struct SpoolerConnection {
    std::string name; // "\\SERVER\SHARE"
    std::string driver;
    bool isDefault = false;
};
struct SpoolerState {
    std::vector<SpoolerPrinter> printers;
    std::vector<SpoolerDriver> drivers; // the OS's own environment first
    std::vector<SpoolerMonitor> monitors;
    std::vector<SpoolerProcessor> processors;
    std::vector<SpoolerPort> ports;
    std::vector<SpoolerConnection> connections;
    std::string defaultPrinter; // empty when there is none
};
SpoolerState ReadSpooler();
// The spooler one object a line, as `winsim show` prints it.
std::vector<std::string> SpoolerLines();

// ---- messages -------------------------------------------------------------------------------
// Messages sent or posted to HWND_BROADCAST since the machine was opened (or last cleared).
struct BroadcastMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    uintptr_t lParam = 0;
    std::string text; // WM_WININICHANGE: the section named by lParam, when it names one
};
std::vector<BroadcastMessage> Broadcasts();
void ClearBroadcasts();

// ---- network ------------------------------------------------------------------------------
// Shares the network offers: machine.ini [network] \\SERVER\SHARE=DRIVER, the driver being the
// one the share serves. Redirected local names: machine.ini [net-use] LPT2:=\\SERVER\SHARE;
// WNetCancelConnection2A removes the line.

// ---- modules ------------------------------------------------------------------------------
// Loads a module from a host path, as the setup engine loads PWSETUP.DLL: the same module table
// as LoadLibraryA (a second load of the file counts a reference; FreeLibrary releases it), no
// machine needed. Returns the HMODULE value, or 0 with *error saying why.
uintptr_t LoadHostLibrary(const std::string& hostPath, std::string* error = nullptr);
// An export of a loaded module by name (GetProcAddress without the function-pointer type);
// null when the module does not export it.
void* HostProcAddress(uintptr_t module, const std::string& name);

} // namespace winsim

#endif
