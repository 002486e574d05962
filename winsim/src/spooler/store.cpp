// The spooler's store: printers, printer connections, drivers, monitors, print processors and
// ports are kept in the simulated registry where Windows keeps them, so that they outlive the
// process; the environments and directories are those of the machine's system.
//
// One layout serves every OS, below HKLM\SYSTEM\CurrentControlSet\Control\Print (the keys
// compare without regard to case, so 95/98's "System\...\control\Print" is the same key):
//   Environments\<env>\Drivers\Version-2\<name>  NT 4.0 drivers ("Windows NT x86")
//   Environments\<env>\Drivers\Version-0\<name>  95 drivers kept on NT ("Windows 4.0")
//   Environments\Windows 4.0\Drivers\<name>       drivers on 95/98
//   Environments\<env>\Print Processors\<name>    Driver = the processor's file
//   Monitors\<name>                               Driver = the monitor's file; Ports\<port> keys
//   Printers\<name>                               Port, Printer Driver, Print Processor, ...
//   Ports\<port>                                  ports made known by setup programs
// Printer connections (NT only) are per user: HKCU\Printers\Connections\,,SERVER,SHARE.
#include "spooler.h"

#include "../keysecurity.h"
#include "pack.h"

#include <cstring>
#include <sys/stat.h>

namespace winsim::spooler {

// ---- registry places ----------------------------------------------------------------------

namespace {

std::string PrintKey() {
    return IsNT() ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print"
                  : "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print";
}
std::string EnvKey(const std::string& env) {
    return PrintKey() + "\\Environments\\" + env;
}

} // namespace

std::string OwnEnv() {
    return IsNT() ? kEnvNt : kEnv40;
}
std::string DriversKey(const std::string& env) {
    if (!IsNT()) return EnvKey(env) + "\\Drivers";
    return EnvKey(env) + "\\Drivers\\" + (env == kEnvNt ? "Version-2" : "Version-0");
}
std::string ProcessorsKey(const std::string& env) {
    return EnvKey(env) + "\\Print Processors";
}
std::string MonitorsKey() {
    return PrintKey() + "\\Monitors";
}
std::string PrintersKey() {
    return PrintKey() + "\\Printers";
}
std::string PortsKey() {
    return PrintKey() + "\\Ports";
}

// NT 4.0 also keeps "Windows 4.0" drivers for the 95 clients it serves; 95/98 know only their
// own environment.
bool ResolveEnv(LPCSTR env, std::string* out) {
    if (!env || !*env || IEquals(env, OwnEnv())) {
        *out = OwnEnv();
        return true;
    }
    if (IsNT() && IEquals(env, kEnv40)) {
        *out = kEnv40;
        return true;
    }
    return false;
}

// ---- values -------------------------------------------------------------------------------

const SysValue* Values::Find(const char* name) const {
    const size_t n = m_values ? m_values->size() : 0;
    const std::string_view wanted(name);
    for (size_t i = 0, at = m_next < n ? m_next : 0; i < n; ++i, at = at + 1 < n ? at + 1 : 0) {
        const SysValue& v = (*m_values)[at];
        if (IEquals(v.name, wanted)) {
            m_next = at; // the same name may be asked again
            return &v;
        }
    }
    return nullptr;
}

std::string_view Values::TextOf(const SysValue& v) {
    if ((v.type != REG_SZ && v.type != REG_EXPAND_SZ) || v.data.empty()) return {};
    const char* text = reinterpret_cast<const char*>(v.data.data());
    return std::string_view(text, strnlen(text, v.data.size()));
}

DWORD Values::NumberOf(const SysValue& v) {
    return v.type == REG_DWORD && v.data.size() >= 4 ? Load32(v.data.data()) : 0;
}

std::string Values::Text(const char* name) const {
    const SysValue* v = Find(name);
    return v ? std::string(TextOf(*v)) : std::string();
}

DWORD Values::Number(const char* name) const {
    const SysValue* v = Find(name);
    return v ? NumberOf(*v) : 0;
}

std::vector<std::string> Values::List(const char* name) const {
    std::vector<std::string> items;
    const SysValue* v = Find(name);
    if (!v) return items;
    std::string cur;
    for (uint8_t b : v->data) {
        if (b != 0) {
            cur += static_cast<char>(b);
            continue;
        }
        if (cur.empty()) break;
        items.push_back(cur);
        cur.clear();
    }
    if (!cur.empty()) items.push_back(cur);
    return items;
}

void PutText(const std::string& key, const char* name, const std::string& text) {
    std::vector<uint8_t> d(text.begin(), text.end());
    d.push_back(0);
    SysSetValue(key, name, REG_SZ, d);
}
void PutNumber(const std::string& key, const char* name, DWORD n) {
    std::vector<uint8_t> d(4);
    std::memcpy(d.data(), &n, 4);
    SysSetValue(key, name, REG_DWORD, d);
}
void PutList(const std::string& key, const char* name, const std::vector<std::string>& items) {
    std::vector<uint8_t> d;
    for (const std::string& s : items) {
        d.insert(d.end(), s.begin(), s.end());
        d.push_back(0);
    }
    if (items.empty()) d.push_back(0);
    d.push_back(0);
    SysSetValue(key, name, REG_MULTI_SZ, d);
}

std::vector<std::string> Subkeys(const std::string& key) {
    std::vector<std::string> names;
    SysSubkeys(key, &names);
    return names;
}

// ---- files and directories ------------------------------------------------------------------

std::string Str(LPCSTR s) {
    return s ? s : "";
}

std::string FileName(const std::string& path) {
    size_t bs = path.find_last_of("\\/:");
    return bs == std::string::npos ? path : path.substr(bs + 1);
}

namespace {

bool FileExists(const std::string& windowsPath) {
    std::string host = ResolvePath(windowsPath, false);
    struct stat st;
    return !host.empty() && stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool FileThere(const std::string& file, const std::vector<std::string>& dirs) {
    if (file.find('\\') != std::string::npos) return FileExists(file);
    for (const std::string& d : dirs)
        if (FileExists(d + "\\" + file)) return true;
    return false;
}

void MakeFolder(const std::string& windowsPath) {
    std::string host = ResolvePath(windowsPath, false);
    std::string cur;
    for (size_t i = 0; i <= host.size(); ++i) {
        if (i == host.size() || host[i] == '/')
            if (!cur.empty()) mkdir(cur.c_str(), 0755);
        if (i < host.size()) cur += host[i];
    }
}

std::string DriverDirectory(const std::string& env) {
    if (!IsNT()) return SystemDir();
    return SystemDir() + "\\spool\\drivers\\" + (env == kEnvNt ? "w32x86" : "win40");
}
std::string ProcessorDirectory(const std::string& env) {
    if (!IsNT()) return SystemDir();
    return SystemDir() + "\\spool\\prtprocs\\" + (env == kEnvNt ? "w32x86" : "win40");
}

// ---- what every call checks -----------------------------------------------------------------

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool Begin(const char* function, LPCSTR server) {
    Require();
    DWORD err;
    if (ShouldFail(function, &err)) return Fail(err);
    return LocalServer(server);
}

bool WideFormOnNt(const char* function) {
    if (IsNT()) return true;
    if (Begin(function)) Fail(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
}

// Only the local machine serves the spooler's calls: a null or empty server name. Another
// machine's name ("\\SERVER") cannot be reached: NT's call finds no spooler there, 95/98 call it
// a bad parameter.
bool LocalServer(LPCSTR server) {
    if (!server || !*server) return true;
    if (server[0] == '\\' && server[1] == '\\')
        return Fail(IsNT() ? RPC_S_SERVER_UNAVAILABLE : ERROR_INVALID_PARAMETER);
    return Fail(ERROR_INVALID_NAME);
}

bool MayAdminister() {
    return !IsNT() || TokenHoldsSid(SidAdministrators());
}

BOOL QueryDirectory(const char* function, std::string (*folderOf)(const std::string&), LPSTR server,
                    LPSTR environment, DWORD level, LPBYTE buf, DWORD cb, LPDWORD needed) {
    if (!GetReady(function, needed) || !LocalServer(server)) return FALSE;
    if (level != 1) return Fail(ERROR_INVALID_LEVEL);
    std::string env;
    if (!ResolveEnv(environment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    const std::string dir = folderOf(env);
    MakeFolder(dir);
    // 95/98, with nowhere to put the size, write the folder when it fits and succeed regardless.
    if (!needed) {
        if (buf && cb > dir.size()) std::memcpy(buf, dir.c_str(), dir.size() + 1);
        return TRUE;
    }
    return PackText(dir, buf, cb, needed);
}

} // namespace winsim::spooler
