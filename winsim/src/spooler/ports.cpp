// Ports: the machine's own, those of WIN.INI [Ports], the spooler's Ports key and the monitors'
// Ports keys, and the calls that list, add and delete them.
#include "pack.h"
#include "spooler.h"

namespace winsim::spooler {

namespace {

// The ports the machine's hardware gives the local port monitor; they cannot be deleted.
const char* const kBuiltinPorts[] = {
    "LPT1:", "LPT2:", "LPT3:", "COM1:", "COM2:", "COM3:", "COM4:", "FILE:"};

// A port name redirected to a network share (machine.ini [net-use] LPT2:=\\SERVER\SHARE).
bool IsRedirected(const std::string& port) {
    for (const auto& e : Require().ini.Entries("net-use"))
        if (IEquals(Trim(e.first), port)) return true;
    return false;
}

// AddPortA and DeletePortA for a monitor or port no monitor has: NT's router finds no monitor
// to ask; 95/98 call the name a bad parameter.
DWORD NoMonitorFor() {
    return IsNT() ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER;
}

bool IsBuiltin(const std::string& port) {
    for (const char* b : kBuiltinPorts)
        if (IEquals(port, b)) return true;
    return false;
}

// The port names a Ports key holds. The registry has no backslash in a key name, so a UNC port
// name ("\\SRV\share") is stored as a key path: the server's key with one key per share below
// it. A key with subkeys is therefore a server, never a port of its own.
std::vector<std::string> PortKeyNames(const std::string& key) {
    std::vector<std::string> names;
    for (const std::string& k : Subkeys(key)) {
        const std::vector<std::string> shares = Subkeys(key + "\\" + k);
        if (shares.empty()) names.push_back(k);
        for (const std::string& share : shares)
            names.push_back("\\\\" + k + "\\" + share);
    }
    return names;
}

// Deletes a port's key under a Ports key, and the server's key that a UNC name leaves empty.
void DeletePortKey(const std::string& key, const std::string& port) {
    if (port.compare(0, 2, "\\\\") != 0) {
        SysDeleteTree(key + "\\" + port);
        return;
    }
    const std::string server = port.substr(2, port.find('\\', 2) - 2);
    if (server.empty()) return;
    SysDeleteTree(key + "\\" + port.substr(2));
    if (Subkeys(key + "\\" + server).empty()) SysDeleteTree(key + "\\" + server);
}

} // namespace

std::vector<PortRec> Ports() {
    std::vector<PortRec> list;
    auto add = [&](const std::string& name, const std::string& monitor) {
        std::string n = Trim(name);
        if (n.empty()) return;
        for (const PortRec& p : list)
            if (IEquals(p.name, n)) return;
        PortRec p;
        p.name = n;
        p.monitor = monitor;
        p.description = IEquals(monitor, kLocalPort) ? kLocalPort : monitor;
        if (IsRedirected(n)) p.type |= PORT_TYPE_REDIRECTED;
        list.push_back(p);
    };
    for (const char* p : kBuiltinPorts)
        add(p, kLocalPort);
    for (const std::string& k : WinIniKeys("Ports"))
        add(k, kLocalPort);
    for (const std::string& k : PortKeyNames(PortsKey()))
        add(k, kLocalPort);
    for (const std::string& m : Subkeys(MonitorsKey()))
        for (const std::string& k : PortKeyNames(MonitorsKey() + "\\" + m + "\\Ports"))
            add(k, IEquals(m, kLocalPort) ? kLocalPort : m);
    return list;
}

bool FindPort(const std::string& name, PortRec* out) {
    return FindByName(Ports(), name, out);
}

std::vector<std::string> SplitPorts(const std::string& ports) {
    std::vector<std::string> list;
    size_t pos = 0;
    while (pos <= ports.size()) {
        size_t comma = ports.find(',', pos);
        std::string p = Trim(ports.substr(pos, comma == std::string::npos ? comma : comma - pos));
        if (!p.empty()) list.push_back(p);
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return list;
}

bool PortInUse(const std::string& port) {
    for (const PrinterRec& p : LocalPrinters())
        for (const std::string& q : SplitPorts(p.port))
            if (IEquals(q, port)) return true;
    return false;
}

// ---- the calls ------------------------------------------------------------------------------

extern "C" {

// 95/98 clear the last error when the ports are listed.
BOOL WINAPI EnumPortsA(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                       LPDWORD pcReturned) {
    if (!EnumReady(WINSIM_API_NAME(), pName, pcbNeeded, pcReturned)) return FALSE;
    BOOL listed;
    if (Level == 1) {
        listed = PackNames(Ports(), &PORT_INFO_1A::pName, pPorts, cbBuf, pcbNeeded, pcReturned);
    } else if (Level == 2) {
        listed = PackEach<PORT_INFO_2A>(Ports(), pPorts, cbBuf, pcbNeeded, pcReturned,
                                        [](auto& b, auto& p) {
                                            b.fixed.fPortType = p.type;
                                            b.Text(&PORT_INFO_2A::pPortName, p.name)
                                                .Text(&PORT_INFO_2A::pMonitorName, p.monitor)
                                                .Text(&PORT_INFO_2A::pDescription, p.description);
                                        });
    } else {
        return NoSuchLevel(pcbNeeded, pcReturned);
    }
    if (listed && !IsNT()) SetLastError(ERROR_SUCCESS);
    return listed;
}

// A monitor adds a port through a dialog of its own; no user is there to fill it in.
BOOL WINAPI AddPortA(LPSTR pName, HWND hWnd, LPSTR pMonitorName) {
    (void)hWnd;
    if (!Begin(WINSIM_API_NAME(), pName)) return FALSE;
    // NT's call crosses to the spooler, which takes no null monitor name.
    if (!pMonitorName) return Fail(IsNT() ? RPC_X_NULL_REF_POINTER : ERROR_INVALID_PARAMETER);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    // No monitor answers for a name it does not have.
    if (!FindMonitor(Str(pMonitorName), nullptr)) return Fail(NoMonitorFor());
    return Fail(ERROR_CANCELLED);
}

// The port's monitor asks the user through a dialog of its own, which no user is there to answer:
// it is cancelled (ERROR_CANCELLED). 95/98 take the name without its colon, and their local
// monitor succeeds at once for what it has nothing to ask about: FILE: and redirected ports.
BOOL WINAPI ConfigurePortA(LPSTR pName, HWND hWnd, LPSTR pPortName) {
    (void)hWnd;
    if (!Begin(WINSIM_API_NAME(), pName)) return FALSE;
    if (!pPortName) return Fail(IsNT() ? RPC_X_NULL_REF_POINTER : ERROR_INVALID_PARAMETER);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    const std::string name = pPortName;
    PortRec port;
    if (!FindPort(name, &port) && (IsNT() || name.empty() || !FindPort(name + ":", &port)))
        return Fail(NoMonitorFor());
    if (!IsNT() && (IEquals(port.name, "FILE:") || port.type & PORT_TYPE_REDIRECTED)) return TRUE;
    return Fail(ERROR_CANCELLED);
}

// Deletes without a dialog, whatever window is given: the local monitor asks nothing.
BOOL WINAPI DeletePortA(LPSTR pName, HWND hWnd, LPSTR pPortName) {
    (void)hWnd;
    if (!Begin(WINSIM_API_NAME(), pName)) return FALSE;
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    PortRec port;
    if (!FindPort(Str(pPortName), &port)) return Fail(NoMonitorFor());
    if (IsBuiltin(port.name)) return Fail(ERROR_NOT_SUPPORTED);
    if (PortInUse(port.name)) return Fail(ERROR_BUSY);
    DeletePortKey(PortsKey(), port.name);
    for (const std::string& m : Subkeys(MonitorsKey()))
        DeletePortKey(MonitorsKey() + "\\" + m + "\\Ports", port.name);
    WinIniDelete("Ports", port.name);
    return TRUE;
}

} // extern "C"

} // namespace winsim::spooler
