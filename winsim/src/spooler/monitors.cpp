// Port monitors: their keys under Monitors, their files in the system directory, and the calls
// that add, list and delete them.
#include "pack.h"
#include "spooler.h"

#include <cstring>

namespace winsim::spooler {

namespace {

// NT takes only monitors built for itself, and a null environment is its own; 95/98 refuse a
// null environment and any but their own. False with the error set.
bool MonitorEnv(LPCSTR asked) {
    std::string env;
    if ((IsNT() || asked) && ResolveEnv(asked, &env) && env == OwnEnv()) return true;
    return Fail(ERROR_INVALID_ENVIRONMENT);
}

} // namespace

std::vector<MonitorRec> Monitors() {
    std::vector<MonitorRec> list;
    bool local = false;
    for (const std::string& k : Subkeys(MonitorsKey())) {
        std::string file = Values(MonitorsKey() + "\\" + k).Text("Driver");
        if (IEquals(k, kLocalPort)) {
            local = true;
            if (file.empty()) file = "localmon.dll";
        }
        list.push_back(MonitorRec{k, file});
    }
    if (!local) list.insert(list.begin(), MonitorRec{kLocalPort, "localmon.dll"});
    return list;
}

bool FindMonitor(const std::string& name, MonitorRec* out) {
    return FindByName(Monitors(), name, out);
}

// ---- the calls ------------------------------------------------------------------------------

extern "C" {

BOOL WINAPI AddMonitorA(LPSTR pName, DWORD Level, LPBYTE pMonitors) {
    if (!Begin(WINSIM_API_NAME(), pName)) return FALSE;
    if (Level != 2) return Fail(ERROR_INVALID_LEVEL);
    // NT's interface refuses a null record before the call reaches the spooler, with no error of
    // its own; 95/98 answer as for a missing name.
    if (!pMonitors) return IsNT() ? FALSE : Fail(ERROR_PRIVILEGE_NOT_HELD);
    MONITOR_INFO_2A in;
    std::memcpy(&in, pMonitors, sizeof in);
    const std::string name = Str(in.pName), file = Str(in.pDLLName);
    // NT checks the names first, 95/98 the environment; a missing name or file is, oddly, a
    // privilege 95/98 do not hold, an empty file name a bad parameter on both.
    const bool named = !name.empty() && name.find('\\') == std::string::npos && in.pDLLName;
    if (IsNT() && (!named || file.empty())) return Fail(ERROR_INVALID_PARAMETER);
    if (!MonitorEnv(in.pEnvironment)) return FALSE;
    if (!named) return Fail(ERROR_PRIVILEGE_NOT_HELD);
    if (file.empty()) return Fail(ERROR_INVALID_PARAMETER);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    if (FindMonitor(name, nullptr))
        return Fail(IsNT() ? ERROR_PRINT_MONITOR_ALREADY_INSTALLED : ERROR_ALREADY_EXISTS);
    // The spooler loads the monitor from the system directory and initialises it; 95/98 call a
    // missing one a bad parameter.
    if (!IsNT() && !FileThere(file, {SystemDir()})) return Fail(ERROR_INVALID_PARAMETER);
    if (!LoadMonitor(name, file, SystemDir())) return FALSE;
    PutText(MonitorsKey() + "\\" + name, "Driver", FileName(file));
    return TRUE;
}

BOOL WINAPI EnumMonitorsA(LPSTR pName, DWORD Level, LPBYTE pMonitors, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
    if (!EnumReady(WINSIM_API_NAME(), pName, pcbNeeded, pcReturned)) return FALSE;
    if (Level == 1)
        return PackNames(Monitors(), &MONITOR_INFO_1A::pName, pMonitors, cbBuf, pcbNeeded,
                         pcReturned);
    if (Level != 2) return NoSuchLevel(pcbNeeded, pcReturned);
    return PackEach<MONITOR_INFO_2A>(Monitors(), pMonitors, cbBuf, pcbNeeded, pcReturned,
                                     [](auto& b, auto& m) {
                                         b.Text(&MONITOR_INFO_2A::pName, m.name)
                                             .Text(&MONITOR_INFO_2A::pEnvironment, OwnEnv())
                                             .Text(&MONITOR_INFO_2A::pDLLName, m.file);
                                     });
}

// The environment named is not looked at: a monitor is deleted whatever environment is given.
BOOL WINAPI DeleteMonitorA(LPSTR pName, LPSTR pEnvironment, LPSTR pMonitorName) {
    (void)pEnvironment;
    if (!Begin(WINSIM_API_NAME(), pName)) return FALSE;
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    const std::string name = Str(pMonitorName);
    if (name.empty()) return Fail(IsNT() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME);
    MonitorRec m;
    if (!FindMonitor(name, &m))
        return Fail(IsNT() ? ERROR_UNKNOWN_PRINT_MONITOR : ERROR_INVALID_PARAMETER);
    if (IEquals(m.name, kLocalPort)) return Fail(ERROR_PRINT_MONITOR_IN_USE);
    for (const PortRec& p : Ports())
        if (IEquals(p.monitor, m.name) && PortInUse(p.name))
            return Fail(ERROR_PRINT_MONITOR_IN_USE);
    SysDeleteTree(MonitorsKey() + "\\" + m.name);
    return TRUE;
}

} // extern "C"

} // namespace winsim::spooler
