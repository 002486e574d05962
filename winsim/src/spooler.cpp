// The print spooler: printers, printer connections, drivers, monitors, print processors and
// ports, kept in the simulated registry where Windows keeps them so that they outlive the
// process, and answered with Windows' records, size queries and error codes.
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
#include "keysecurity.h"

#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

using namespace winsim;

namespace {

const char kEnvNt[] = "Windows NT x86";
const char kEnv40[] = "Windows 4.0";
const char kLocalPort[] = "Local Port";
const char kWinPrint[] = "WinPrint";
const char kConnectionsKey[] = "HKEY_CURRENT_USER\\Printers\\Connections";
// The ports the machine's hardware gives the local port monitor; they cannot be deleted.
const char* const kBuiltinPorts[] = {
    "LPT1:", "LPT2:", "LPT3:", "COM1:", "COM2:", "COM3:", "COM4:", "FILE:"};

// ---- registry places ----------------------------------------------------------------------

std::string PrintKey() {
    return IsNT() ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print"
                  : "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print";
}
std::string OwnEnv() {
    return IsNT() ? kEnvNt : kEnv40;
}
std::string EnvKey(const std::string& env) {
    return PrintKey() + "\\Environments\\" + env;
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

// The environment a call names, in the spooler's spelling; null or empty means the machine's
// own. NT 4.0 also keeps "Windows 4.0" drivers for the 95 clients it serves; 95/98 know only
// their own environment.
bool ResolveEnv(LPCSTR env, std::string* out) {
    if (!env || !*env) {
        *out = OwnEnv();
        return true;
    }
    if (IEquals(env, OwnEnv())) {
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

class Values {
  public:
    explicit Values(const std::string& key) { m_exists = SysValues(key, &m_values); }
    bool Exists() const { return m_exists; }
    bool Has(const char* name) const { return Find(name) != nullptr; }
    std::string Text(const char* name) const {
        const SysValue* v = Find(name);
        if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ)) return "";
        std::string s(v->data.begin(), v->data.end());
        return s.substr(0, s.find('\0'));
    }
    DWORD Number(const char* name) const {
        const SysValue* v = Find(name);
        if (!v || v->type != REG_DWORD || v->data.size() < 4) return 0;
        return Load32(v->data.data());
    }
    std::vector<std::string> List(const char* name) const {
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

  private:
    const SysValue* Find(const char* name) const {
        for (const SysValue& v : m_values)
            if (IEquals(v.name, name)) return &v;
        return nullptr;
    }
    std::vector<SysValue> m_values;
    bool m_exists = false;
};

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

std::string Str(LPCSTR s) {
    return s ? s : "";
}

// The file part of a path ("C:\X\KV.DLL" -> "KV.DLL").
std::string FileName(const std::string& path) {
    size_t bs = path.find_last_of("\\/:");
    return bs == std::string::npos ? path : path.substr(bs + 1);
}

bool FileExists(const std::string& windowsPath) {
    std::string host = ResolvePath(windowsPath, false);
    struct stat st;
    return !host.empty() && stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A file that the spooler looks for in `dir` unless the caller gave a full path.
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

// ---- WIN.INI --------------------------------------------------------------------------------
// Read and written directly, not through the profile calls, so that failures a test arms for
// the product's profile calls do not reach the spooler; the profile writes still cached go to
// the file first, so the spooler sees them and its own change is not overwritten later.

std::string WinIniPath() {
    return ResolvePath(WindowsDir() + "\\WIN.INI", false);
}
IniFile ReadWinIni() {
    const std::string host = WinIniPath();
    WritePendingProfile(host);
    IniFile ini;
    std::string text;
    if (ReadWholeFile(host, &text)) ini.Parse(text);
    return ini;
}
void WriteWinIni(const IniFile& ini) {
    const std::string host = WinIniPath();
    WritePendingProfile(host);
    WriteFileAtomic(host, ini.Text());
}

// The printer that WIN.INI [windows] device= names (the part before the first comma).
std::string ProfileDefault() {
    std::string v;
    if (!ReadWinIni().Get("windows", "device", &v)) return "";
    return Trim(v.substr(0, v.find(',')));
}

// ---- records --------------------------------------------------------------------------------

struct PrinterRec {
    std::string name, share, port, driver, comment, location, sepFile, processor, datatype,
        parameters;
    DWORD attributes = 0, priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0,
          status = 0;
};

struct ConnectionRec {
    std::string path, server, share, driver;
};

struct DriverRec {
    std::string name, env, file, data, config, help, monitor, datatype;
    std::vector<std::string> dependents;
    DWORD version = 0;
};

struct PortRec {
    std::string name, monitor, description;
    DWORD type = PORT_TYPE_WRITE;
};

bool LoadPrinter(const std::string& keyName, PrinterRec* p) {
    Values v(PrintersKey() + "\\" + keyName);
    if (!v.Exists()) return false;
    p->name = v.Has("Name") ? v.Text("Name") : keyName;
    p->share = v.Text("Share Name");
    p->port = v.Text("Port");
    p->driver = v.Text("Printer Driver");
    p->comment = v.Text("Description");
    p->location = v.Text("Location");
    p->sepFile = v.Text("Separator File");
    p->processor = v.Text("Print Processor");
    p->datatype = v.Text("Datatype");
    p->parameters = v.Text("Parameters");
    p->attributes = v.Number("Attributes");
    p->priority = v.Number("Priority");
    p->defaultPriority = v.Number("Default Priority");
    p->startTime = v.Number("StartTime");
    p->untilTime = v.Number("UntilTime");
    p->status = v.Number("Status");
    return true;
}

void StorePrinter(const PrinterRec& p) {
    const std::string key = PrintersKey() + "\\" + p.name;
    SysCreateKey(key);
    PutText(key, "Name", p.name);
    PutText(key, "Share Name", p.share);
    PutText(key, "Port", p.port);
    PutText(key, "Printer Driver", p.driver);
    PutText(key, "Description", p.comment);
    PutText(key, "Location", p.location);
    PutText(key, "Separator File", p.sepFile);
    PutText(key, "Print Processor", p.processor);
    PutText(key, "Datatype", p.datatype);
    PutText(key, "Parameters", p.parameters);
    PutNumber(key, "Attributes", p.attributes);
    PutNumber(key, "Priority", p.priority);
    PutNumber(key, "Default Priority", p.defaultPriority);
    PutNumber(key, "StartTime", p.startTime);
    PutNumber(key, "UntilTime", p.untilTime);
    PutNumber(key, "Status", p.status);
}

std::vector<PrinterRec> LocalPrinters() {
    std::vector<PrinterRec> list;
    for (const std::string& k : Subkeys(PrintersKey())) {
        PrinterRec p;
        if (LoadPrinter(k, &p)) list.push_back(p);
    }
    return list;
}

bool FindPrinter(const std::string& name, PrinterRec* p) {
    if (name.empty() || name.find('\\') != std::string::npos) return false;
    return LoadPrinter(name, p);
}

// "\\SERVER\SHARE" <-> ",,SERVER,SHARE", the key name Windows NT gives a connection.
bool SplitShare(const std::string& path, std::string* server, std::string* share) {
    if (path.size() < 5 || path[0] != '\\' || path[1] != '\\') return false;
    size_t bs = path.find('\\', 2);
    if (bs == std::string::npos || bs == 2 || bs + 1 >= path.size()) return false;
    if (path.find_first_of("\\,", bs + 1) != std::string::npos) return false;
    if (path.find(',') < bs) return false;
    *server = path.substr(2, bs - 2);
    *share = path.substr(bs + 1);
    return true;
}

std::string ConnectionKey(const ConnectionRec& c) {
    return std::string(kConnectionsKey) + "\\,," + c.server + "," + c.share;
}

std::vector<ConnectionRec> Connections() {
    std::vector<ConnectionRec> list;
    if (!IsNT()) return list;
    for (const std::string& k : Subkeys(kConnectionsKey)) {
        if (k.size() < 4 || k.compare(0, 2, ",,") != 0) continue;
        size_t comma = k.find(',', 2);
        if (comma == std::string::npos) continue;
        ConnectionRec c;
        c.server = k.substr(2, comma - 2);
        c.share = k.substr(comma + 1);
        c.path = "\\\\" + c.server + "\\" + c.share;
        c.driver = Values(std::string(kConnectionsKey) + "\\" + k).Text("Printer Driver");
        list.push_back(c);
    }
    return list;
}

bool FindConnection(const std::string& path, ConnectionRec* c) {
    for (const ConnectionRec& x : Connections())
        if (IEquals(x.path, path)) {
            *c = x;
            return true;
        }
    return false;
}

// A share that the machine's network offers: machine.ini [network] \\SERVER\SHARE=DRIVER.
bool FindShare(const std::string& path, ConnectionRec* c) {
    MachineState& m = Require();
    if (GetSetting("machine", "network", "1") == "0") return false;
    for (const auto& e : m.ini.Entries("network")) {
        if (!IEquals(Trim(e.first), path)) continue;
        if (!SplitShare(Trim(e.first), &c->server, &c->share)) return false;
        c->path = Trim(e.first);
        c->driver = e.second;
        size_t semi = c->driver.find(';');
        if (semi != std::string::npos) c->driver = Trim(c->driver.substr(0, semi));
        return true;
    }
    return false;
}

bool LoadDriver(const std::string& env, const std::string& keyName, DriverRec* d) {
    Values v(DriversKey(env) + "\\" + keyName);
    // A key that holds no driver file is no driver (setup programs may keep values there).
    if (!v.Exists() || v.Text("Driver").empty()) return false;
    d->name = keyName;
    d->env = env;
    d->version = v.Number("Version");
    d->file = v.Text("Driver");
    d->data = v.Text("Data File");
    d->config = v.Text("Configuration File");
    d->help = v.Text("Help File");
    d->dependents = v.List("Dependent Files");
    d->monitor = v.Text("Monitor");
    d->datatype = v.Text("Datatype");
    return true;
}

std::vector<DriverRec> Drivers(const std::string& env) {
    std::vector<DriverRec> list;
    for (const std::string& k : Subkeys(DriversKey(env))) {
        DriverRec d;
        if (LoadDriver(env, k, &d)) list.push_back(d);
    }
    return list;
}

bool FindDriver(const std::string& env, const std::string& name, DriverRec* d) {
    return !name.empty() && name.find('\\') == std::string::npos && LoadDriver(env, name, d);
}

struct MonitorRec {
    std::string name, file;
};
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
    for (const MonitorRec& m : Monitors())
        if (IEquals(m.name, name)) {
            if (out) *out = m;
            return true;
        }
    return false;
}

struct ProcessorRec {
    std::string name, env, file;
};
// 95/98 keep their built-in processor out of the registry; it is listed all the same.
std::vector<ProcessorRec> Processors(const std::string& env) {
    std::vector<ProcessorRec> list;
    bool builtin = false;
    for (const std::string& k : Subkeys(ProcessorsKey(env))) {
        std::string file = Values(ProcessorsKey(env) + "\\" + k).Text("Driver");
        if (IEquals(k, kWinPrint)) builtin = true;
        list.push_back(ProcessorRec{k, env, file});
    }
    if (!builtin && env == OwnEnv())
        list.insert(list.begin(),
                    ProcessorRec{kWinPrint, env, IsNT() ? "winprint.dll" : "spoolss.dll"});
    return list;
}

bool FindProcessor(const std::string& env, const std::string& name) {
    for (const ProcessorRec& p : Processors(env))
        if (IEquals(p.name, name)) return true;
    return false;
}

// A port name redirected to a network share (machine.ini [net-use] LPT2:=\\SERVER\SHARE).
bool IsRedirected(const std::string& port) {
    for (const auto& e : Require().ini.Entries("net-use"))
        if (IEquals(Trim(e.first), port)) return true;
    return false;
}

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
    for (const std::string& k : ReadWinIni().Keys("Ports"))
        add(k, kLocalPort);
    for (const std::string& k : Subkeys(PortsKey()))
        add(k, kLocalPort);
    for (const std::string& m : Subkeys(MonitorsKey()))
        for (const std::string& k : Subkeys(MonitorsKey() + "\\" + m + "\\Ports"))
            add(k, IEquals(m, kLocalPort) ? kLocalPort : m);
    return list;
}

bool FindPort(const std::string& name, PortRec* out) {
    for (const PortRec& p : Ports())
        if (IEquals(p.name, name)) {
            if (out) *out = p;
            return true;
        }
    return false;
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

// ---- the default printer --------------------------------------------------------------------
// NT 4.0 keeps it only as WIN.INI [windows] device=; 95/98 as the printer's default attribute,
// with the device= line kept in step for older programs.

std::string DefaultPrinterName() {
    if (IsNT()) return ProfileDefault();
    for (const PrinterRec& p : LocalPrinters())
        if (p.attributes & PRINTER_ATTRIBUTE_DEFAULT) return p.name;
    return "";
}

// `profileDefault` is what ProfileDefault() gives, read once for a whole list.
DWORD ReportedAttributes(const PrinterRec& p, const std::string& profileDefault) {
    if (!IsNT()) return p.attributes;
    DWORD a = p.attributes & ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT);
    if (IEquals(profileDefault, p.name)) a |= PRINTER_ATTRIBUTE_DEFAULT;
    return a;
}

// 95/98: `p` becomes the default; the attribute leaves every other printer.
void MakeDefault95(const PrinterRec& p) {
    for (PrinterRec other : LocalPrinters()) {
        if (IEquals(other.name, p.name) || !(other.attributes & PRINTER_ATTRIBUTE_DEFAULT))
            continue;
        other.attributes &= ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT);
        PutNumber(PrintersKey() + "\\" + other.name, "Attributes", other.attributes);
    }
    DriverRec d;
    std::string drv = FindDriver(OwnEnv(), p.driver, &d) ? FileName(d.file) : p.driver;
    drv = drv.substr(0, drv.find('.'));
    std::vector<std::string> ports = SplitPorts(p.port);
    IniFile ini = ReadWinIni();
    ini.Set("windows", "device", p.name + "," + drv + "," + (ports.empty() ? "" : ports[0]));
    WriteWinIni(ini);
}

void ForgetDefault(const std::string& name) {
    IniFile ini = ReadWinIni();
    if (!IEquals(ProfileDefault(), name)) return;
    ini.DeleteKey("windows", "device");
    WriteWinIni(ini);
}

// ---- packing records into the caller's buffer -----------------------------------------------
// As the spooler does: the fixed structures from the start of the buffer, their strings from
// its end backwards. A size query is the same call with too small a buffer.

template <class T> struct Packed {
    T fixed{};
    std::vector<std::pair<LPSTR T::*, const std::string*>> strings; // null: a null pointer
    std::vector<std::string> owned;
};

// A level the call does not know: nothing is needed and nothing returned.
BOOL NoSuchLevel(LPDWORD needed, LPDWORD returned) {
    if (needed) *needed = 0;
    if (returned) *returned = 0;
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
}

template <class T>
BOOL Pack(const std::vector<Packed<T>>& items, LPBYTE buf, DWORD cb, LPDWORD needed,
          LPDWORD returned) {
    size_t need = items.size() * sizeof(T);
    for (const Packed<T>& it : items)
        for (const auto& s : it.strings)
            if (s.second) need += s.second->size() + 1;
    if (returned) *returned = 0;
    if (needed) *needed = static_cast<DWORD>(need);
    if (need > cb || (!buf && need > 0)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    char* end = reinterpret_cast<char*>(buf) + cb;
    for (size_t i = 0; i < items.size(); ++i) {
        T t = items[i].fixed;
        for (const auto& s : items[i].strings) {
            if (!s.second) {
                t.*(s.first) = nullptr;
                continue;
            }
            end -= s.second->size() + 1;
            std::memcpy(end, s.second->data(), s.second->size());
            end[s.second->size()] = '\0';
            t.*(s.first) = end;
        }
        std::memcpy(buf + i * sizeof(T), &t, sizeof(T));
    }
    if (returned) *returned = static_cast<DWORD>(items.size());
    return TRUE;
}

// Texts a record points into; kept in a list whose elements never move.
template <class T> struct Builder {
    Packed<T> item;
    std::vector<std::unique_ptr<std::string>>* store;
    Builder& Text(LPSTR T::*field, const std::string& text) {
        store->push_back(std::make_unique<std::string>(text));
        item.strings.emplace_back(field, store->back().get());
        return *this;
    }
    Builder& Null(LPSTR T::*field) {
        item.strings.emplace_back(field, nullptr);
        return *this;
    }
    // An empty text is reported as a null pointer.
    Builder& TextOrNull(LPSTR T::*field, const std::string& text) {
        return text.empty() ? Null(field) : Text(field, text);
    }
};

using TextStore = std::vector<std::unique_ptr<std::string>>;

template <class T> Builder<T> Start(TextStore* store) {
    Builder<T> b;
    b.store = store;
    return b;
}

// Records that carry only a name, as every level-1 list but the printers'.
template <class T, class Rec>
BOOL PackNames(const std::vector<Rec>& recs, LPSTR T::*field, LPBYTE buf, DWORD cb, LPDWORD needed,
               LPDWORD returned) {
    TextStore store;
    std::vector<Packed<T>> items;
    for (const Rec& r : recs)
        items.push_back(Start<T>(&store).Text(field, r.name).item);
    return Pack(items, buf, cb, needed, returned);
}

std::string Joined(const std::vector<std::string>& items) {
    std::string s;
    for (const std::string& i : items) {
        s += i;
        s += '\0';
    }
    return s; // Pack adds the list's closing terminator
}

// Printer records at levels 1, 2, 4 and 5 for a local printer or a connection.
struct PrinterView {
    std::string name, server, share, port, driver, comment, location, sepFile, processor, datatype,
        parameters;
    DWORD attributes = 0, priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0,
          status = 0;
};

PrinterView ViewOf(const PrinterRec& p, const std::string& profileDefault) {
    PrinterView v;
    v.name = p.name;
    v.share = p.share;
    v.port = p.port;
    v.driver = p.driver;
    v.comment = p.comment;
    v.location = p.location;
    v.sepFile = p.sepFile;
    v.processor = p.processor;
    v.datatype = p.datatype;
    v.parameters = p.parameters;
    v.attributes = ReportedAttributes(p, profileDefault);
    v.priority = p.priority;
    v.defaultPriority = p.defaultPriority;
    v.startTime = p.startTime;
    v.untilTime = p.untilTime;
    v.status = p.status;
    return v;
}

PrinterView ViewOf(const ConnectionRec& c, const std::string& profileDefault) {
    PrinterView v;
    v.name = c.path;
    v.server = "\\\\" + c.server;
    v.share = c.share;
    v.driver = c.driver;
    v.processor = kWinPrint;
    v.datatype = "RAW";
    v.attributes = PRINTER_ATTRIBUTE_NETWORK;
    if (IEquals(profileDefault, c.path)) v.attributes |= PRINTER_ATTRIBUTE_DEFAULT;
    return v;
}

BOOL PackPrinters(const std::vector<PrinterView>& views, DWORD level, LPBYTE buf, DWORD cb,
                  LPDWORD needed, LPDWORD returned) {
    TextStore store;
    switch (level) {
    case 1: {
        std::vector<Packed<PRINTER_INFO_1A>> items;
        for (const PrinterView& v : views) {
            auto b = Start<PRINTER_INFO_1A>(&store);
            b.item.fixed.Flags = PRINTER_ENUM_ICON8;
            b.Text(&PRINTER_INFO_1A::pDescription, v.name + "," + v.driver + "," + v.location)
                .Text(&PRINTER_INFO_1A::pName, v.name)
                .Text(&PRINTER_INFO_1A::pComment, v.comment);
            items.push_back(b.item);
        }
        return Pack(items, buf, cb, needed, returned);
    }
    case 2: {
        std::vector<Packed<PRINTER_INFO_2A>> items;
        for (const PrinterView& v : views) {
            auto b = Start<PRINTER_INFO_2A>(&store);
            PRINTER_INFO_2A& f = b.item.fixed;
            f.Attributes = v.attributes;
            f.Priority = v.priority;
            f.DefaultPriority = v.defaultPriority;
            f.StartTime = v.startTime;
            f.UntilTime = v.untilTime;
            f.Status = v.status;
            b.TextOrNull(&PRINTER_INFO_2A::pServerName, v.server)
                .Text(&PRINTER_INFO_2A::pPrinterName, v.name)
                .Text(&PRINTER_INFO_2A::pShareName, v.share)
                .Text(&PRINTER_INFO_2A::pPortName, v.port)
                .Text(&PRINTER_INFO_2A::pDriverName, v.driver)
                .Text(&PRINTER_INFO_2A::pComment, v.comment)
                .Text(&PRINTER_INFO_2A::pLocation, v.location)
                .Text(&PRINTER_INFO_2A::pSepFile, v.sepFile)
                .Text(&PRINTER_INFO_2A::pPrintProcessor, v.processor)
                .Text(&PRINTER_INFO_2A::pDatatype, v.datatype)
                .Text(&PRINTER_INFO_2A::pParameters, v.parameters);
            items.push_back(b.item);
        }
        return Pack(items, buf, cb, needed, returned);
    }
    case 4: {
        std::vector<Packed<PRINTER_INFO_4A>> items;
        for (const PrinterView& v : views) {
            auto b = Start<PRINTER_INFO_4A>(&store);
            b.item.fixed.Attributes = v.attributes;
            b.Text(&PRINTER_INFO_4A::pPrinterName, v.name)
                .TextOrNull(&PRINTER_INFO_4A::pServerName, v.server);
            items.push_back(b.item);
        }
        return Pack(items, buf, cb, needed, returned);
    }
    case 5: {
        std::vector<Packed<PRINTER_INFO_5A>> items;
        for (const PrinterView& v : views) {
            auto b = Start<PRINTER_INFO_5A>(&store);
            b.item.fixed.Attributes = v.attributes;
            b.item.fixed.DeviceNotSelectedTimeout = 15000;
            b.item.fixed.TransmissionRetryTimeout = 45000;
            b.Text(&PRINTER_INFO_5A::pPrinterName, v.name)
                .Text(&PRINTER_INFO_5A::pPortName, v.port);
            items.push_back(b.item);
        }
        return Pack(items, buf, cb, needed, returned);
    }
    default:
        return NoSuchLevel(needed, returned);
    }
}

BOOL PackDrivers(const std::vector<DriverRec>& drivers, DWORD level, LPBYTE buf, DWORD cb,
                 LPDWORD needed, LPDWORD returned) {
    TextStore store;
    auto full = [](const DriverRec& d, const std::string& file) {
        if (file.empty()) return file;
        return DriverDirectory(d.env) + (IsNT() ? (d.env == kEnvNt ? "\\2\\" : "\\0\\") : "\\") +
               file;
    };
    switch (level) {
    case 1:
        return PackNames(drivers, &DRIVER_INFO_1A::pName, buf, cb, needed, returned);
    case 2: {
        std::vector<Packed<DRIVER_INFO_2A>> items;
        for (const DriverRec& d : drivers) {
            auto b = Start<DRIVER_INFO_2A>(&store);
            b.item.fixed.cVersion = d.version;
            b.Text(&DRIVER_INFO_2A::pName, d.name)
                .Text(&DRIVER_INFO_2A::pEnvironment, d.env)
                .Text(&DRIVER_INFO_2A::pDriverPath, full(d, d.file))
                .Text(&DRIVER_INFO_2A::pDataFile, full(d, d.data))
                .Text(&DRIVER_INFO_2A::pConfigFile, full(d, d.config));
            items.push_back(b.item);
        }
        return Pack(items, buf, cb, needed, returned);
    }
    case 3: {
        std::vector<Packed<DRIVER_INFO_3A>> items;
        for (const DriverRec& d : drivers) {
            auto b = Start<DRIVER_INFO_3A>(&store);
            b.item.fixed.cVersion = d.version;
            b.Text(&DRIVER_INFO_3A::pName, d.name)
                .Text(&DRIVER_INFO_3A::pEnvironment, d.env)
                .Text(&DRIVER_INFO_3A::pDriverPath, full(d, d.file))
                .Text(&DRIVER_INFO_3A::pDataFile, full(d, d.data))
                .Text(&DRIVER_INFO_3A::pConfigFile, full(d, d.config))
                .Text(&DRIVER_INFO_3A::pHelpFile, full(d, d.help));
            if (d.dependents.empty()) {
                b.Null(&DRIVER_INFO_3A::pDependentFiles);
            } else {
                std::vector<std::string> files;
                for (const std::string& f : d.dependents)
                    files.push_back(full(d, f));
                b.Text(&DRIVER_INFO_3A::pDependentFiles, Joined(files));
            }
            b.TextOrNull(&DRIVER_INFO_3A::pMonitorName, d.monitor)
                .TextOrNull(&DRIVER_INFO_3A::pDefaultDataType, d.datatype);
            items.push_back(b.item);
        }
        return Pack(items, buf, cb, needed, returned);
    }
    default:
        return NoSuchLevel(needed, returned);
    }
}

BOOL PackText(const std::string& text, LPBYTE buf, DWORD cb, LPDWORD needed) {
    DWORD need = static_cast<DWORD>(text.size() + 1);
    if (needed) *needed = need;
    if (!buf || cb < need) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buf, text.c_str(), need);
    return TRUE;
}

// ---- printer handles ----------------------------------------------------------------------

struct PrinterHandle {
    enum Kind { Server, Local, Connection } kind = Local;
    std::string name;
    ACCESS_MASK access = 0;
    bool deleted = false;
};

std::map<uint32_t, PrinterHandle>& Handles() {
    static auto* handles = new std::map<uint32_t, PrinterHandle>;
    return *handles;
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { Handles().clear(); }}), true);

PrinterHandle* HandleOf(HANDLE h) {
    auto it = Handles().find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)));
    return it == Handles().end() ? nullptr : &it->second;
}

// ---- common checks --------------------------------------------------------------------------

// Failures a test armed for this call; true when the call must fail now.
bool Armed(const char* function) {
    DWORD err;
    if (!ShouldFail(function, &err)) return false;
    SetLastError(err);
    return true;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// What every Enum* call checks first; false when the call fails now, with the error set.
bool EnumReady(const char* function, LPDWORD needed, LPDWORD returned) {
    if (returned) *returned = 0;
    if (Armed(function)) return false;
    if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
    return true;
}

// What every Get* call that fills a buffer checks first; as EnumReady.
bool GetReady(const char* function, LPDWORD needed) {
    if (Armed(function)) return false;
    if (!needed) return Fail(ERROR_INVALID_PARAMETER);
    *needed = 0;
    return true;
}

// Only the local machine serves these calls: a null or empty server name.
bool LocalServer(LPCSTR server) {
    return !server || !*server;
}

// NT 4.0 lets only administrators change what the spooler holds; 95/98 check nothing.
bool MayAdminister() {
    return !IsNT() || TokenHoldsSid(SidAdministrators());
}

bool ValidPrinterName(const std::string& name) {
    return !name.empty() && name.size() < MAX_PATH &&
           name.find_first_of("\\,!") == std::string::npos;
}

// The ports a printer may be put on: known ports, and on 95/98 also a share name.
DWORD CheckPorts(const std::string& ports) {
    std::vector<std::string> list = SplitPorts(ports);
    if (list.empty()) return ERROR_UNKNOWN_PORT;
    for (const std::string& p : list) {
        std::string server, share;
        if (!IsNT() && SplitShare(p, &server, &share)) continue;
        if (!FindPort(p, nullptr)) return ERROR_UNKNOWN_PORT;
    }
    return ERROR_SUCCESS;
}

// Checks a level-2 record against what the spooler holds; fills `out` from it.
DWORD CheckPrinterRecord(const PRINTER_INFO_2A& in, PrinterRec* out) {
    PrinterRec p;
    p.name = Str(in.pPrinterName);
    if (!ValidPrinterName(p.name)) return ERROR_INVALID_PRINTER_NAME;
    p.port = Str(in.pPortName);
    DWORD err = CheckPorts(p.port);
    if (err != ERROR_SUCCESS) return err;
    p.driver = Str(in.pDriverName);
    DriverRec d;
    if (!FindDriver(OwnEnv(), p.driver, &d)) return ERROR_UNKNOWN_PRINTER_DRIVER;
    p.processor = Str(in.pPrintProcessor);
    if (!FindProcessor(OwnEnv(), p.processor)) return ERROR_UNKNOWN_PRINTPROCESSOR;
    p.datatype = in.pDatatype && *in.pDatatype ? in.pDatatype : "RAW";
    p.share = Str(in.pShareName);
    p.comment = Str(in.pComment);
    p.location = Str(in.pLocation);
    p.sepFile = Str(in.pSepFile);
    p.parameters = Str(in.pParameters);
    p.attributes = in.Attributes;
    if (IsNT()) p.attributes &= ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT);
    p.priority = in.Priority ? in.Priority : 1;
    p.defaultPriority = in.DefaultPriority;
    p.startTime = in.StartTime;
    p.untilTime = in.UntilTime;
    p.status = in.Status;
    *out = p;
    return ERROR_SUCCESS;
}

// The printer a handle stands for now; sets the error when it is gone or no printer.
bool HandlePrinter(HANDLE h, PrinterHandle** ph, PrinterRec* rec) {
    *ph = HandleOf(h);
    if (!*ph || (*ph)->kind != PrinterHandle::Local) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((*ph)->deleted || !FindPrinter((*ph)->name, rec)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return false;
    }
    return true;
}

// The printer or connection a handle stands for now; sets the error when it is gone.
bool HandleView(const PrinterHandle& h, PrinterView* v) {
    if (h.kind == PrinterHandle::Connection) {
        ConnectionRec c;
        if (!FindConnection(h.name, &c) && !FindShare(h.name, &c))
            return Fail(ERROR_INVALID_PRINTER_NAME);
        *v = ViewOf(c, ProfileDefault());
    } else {
        PrinterRec p;
        if (h.deleted || !FindPrinter(h.name, &p)) return Fail(ERROR_INVALID_PRINTER_NAME);
        *v = ViewOf(p, ProfileDefault());
    }
    return true;
}

// GetPrinterDriverDirectoryA and GetPrintProcessorDirectoryA: one folder per environment,
// made on the way so that setup can copy into it.
BOOL QueryDirectory(const char* function, std::string (*folderOf)(const std::string&), LPSTR server,
                    LPSTR environment, DWORD level, LPBYTE buf, DWORD cb, LPDWORD needed) {
    if (!GetReady(function, needed)) return FALSE;
    if (!LocalServer(server)) return Fail(ERROR_INVALID_NAME);
    if (level != 1) return Fail(ERROR_INVALID_LEVEL);
    std::string env;
    if (!ResolveEnv(environment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    const std::string dir = folderOf(env);
    MakeFolder(dir);
    return PackText(dir, buf, cb, needed);
}

} // namespace

// ---- the control API ------------------------------------------------------------------------

namespace winsim {

SpoolerState ReadSpooler() {
    SpoolerState s;
    Require();
    const std::string def = DefaultPrinterName(), profile = ProfileDefault();
    for (const PrinterRec& p : LocalPrinters())
        s.printers.push_back(SpoolerPrinter{p.name, p.port, p.driver, p.processor, p.datatype,
                                            ReportedAttributes(p, profile), IEquals(p.name, def)});
    std::vector<std::string> envs{OwnEnv()};
    if (IsNT()) envs.push_back(kEnv40);
    for (const std::string& env : envs) {
        for (const DriverRec& d : Drivers(env))
            s.drivers.push_back(
                SpoolerDriver{d.name, d.env, d.version, d.file, d.monitor, d.dependents});
        for (const ProcessorRec& p : Processors(env))
            s.processors.push_back(SpoolerProcessor{p.name, p.env, p.file});
    }
    for (const MonitorRec& m : Monitors())
        s.monitors.push_back(SpoolerMonitor{m.name, m.file});
    for (const PortRec& p : Ports())
        s.ports.push_back(SpoolerPort{p.name, p.monitor});
    for (const ConnectionRec& c : Connections())
        s.connections.push_back(SpoolerConnection{c.path, c.driver, IEquals(c.path, def)});
    s.defaultPrinter = def;
    return s;
}

std::vector<std::string> SpoolerLines() {
    SpoolerState s = ReadSpooler();
    std::vector<std::string> lines;
    auto q = [](const std::string& t) { return "\"" + t + "\""; };
    for (const SpoolerPrinter& p : s.printers) {
        char attr[16];
        std::snprintf(attr, sizeof attr, "0x%08X", p.attributes);
        lines.push_back("printer " + q(p.name) + " port " + q(p.port) + " driver " + q(p.driver) +
                        " processor " + q(p.processor) + " datatype " + q(p.datatype) +
                        " attributes " + attr + (p.isDefault ? " default" : ""));
    }
    for (const SpoolerDriver& d : s.drivers)
        lines.push_back("driver " + q(d.name) + " environment " + q(d.environment) + " version " +
                        std::to_string(d.version) + " file " + q(d.file) + " monitor " +
                        q(d.monitor));
    for (const SpoolerMonitor& m : s.monitors)
        lines.push_back("monitor " + q(m.name) + " file " + q(m.file));
    for (const SpoolerProcessor& p : s.processors)
        lines.push_back("processor " + q(p.name) + " environment " + q(p.environment) + " file " +
                        q(p.file));
    for (const SpoolerPort& p : s.ports)
        lines.push_back("port " + q(p.name) + " monitor " + q(p.monitor));
    for (const SpoolerConnection& c : s.connections)
        lines.push_back("connection " + q(c.name));
    return lines;
}

} // namespace winsim

// ---- the spooler's calls --------------------------------------------------------------------

extern "C" {

BOOL WINAPI EnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
    Require();
    if (!EnumReady("EnumPrintersA", pcbNeeded, pcReturned)) return FALSE;
    if (Level != 1 && Level != 2 && Level != 4 && Level != 5) return Fail(ERROR_INVALID_LEVEL);
    if (!LocalServer(Name)) return Fail(ERROR_INVALID_NAME);
    std::vector<PrinterView> views;
    const std::vector<PrinterRec> printers = LocalPrinters();
    const std::string profile = ProfileDefault();
    if (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME)) {
        for (const PrinterRec& p : printers)
            views.push_back(ViewOf(p, profile));
    } else if (Flags & PRINTER_ENUM_DEFAULT) {
        const std::string def = DefaultPrinterName();
        for (const PrinterRec& p : printers)
            if (IEquals(p.name, def)) views.push_back(ViewOf(p, profile));
    }
    if (Flags & PRINTER_ENUM_CONNECTIONS)
        for (const ConnectionRec& c : Connections())
            views.push_back(ViewOf(c, profile));
    return PackPrinters(views, Level, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
}

HANDLE WINAPI AddPrinterA(LPSTR pName, DWORD Level, LPBYTE pPrinter) {
    Require();
    if (Armed("AddPrinterA")) return nullptr;
    if (!LocalServer(pName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (Level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return nullptr;
    }
    if (!pPrinter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!MayAdminister()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    PRINTER_INFO_2A in;
    std::memcpy(&in, pPrinter, sizeof in);
    PrinterRec existing;
    if (FindPrinter(Str(in.pPrinterName), &existing)) {
        SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
        return nullptr;
    }
    PrinterRec p;
    DWORD err = CheckPrinterRecord(in, &p);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return nullptr;
    }
    StorePrinter(p);
    if (!IsNT() && (p.attributes & PRINTER_ATTRIBUTE_DEFAULT)) MakeDefault95(p);
    uint32_t n = NextHandleNumber();
    Handles()[n] = PrinterHandle{PrinterHandle::Local, p.name, PRINTER_ALL_ACCESS, false};
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(n));
}

BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA pDefault) {
    Require();
    if (phPrinter) *phPrinter = nullptr;
    if (Armed("OpenPrinterA")) return FALSE;
    if (!phPrinter) return Fail(ERROR_INVALID_PARAMETER);
    ACCESS_MASK want = pDefault ? pDefault->DesiredAccess : 0;
    if (want & (GENERIC_ALL | MAXIMUM_ALLOWED)) want |= PRINTER_ALL_ACCESS;
    if (want & GENERIC_WRITE) want |= PRINTER_ACCESS_ADMINISTER;
    if (want & (GENERIC_READ | GENERIC_EXECUTE)) want |= PRINTER_ACCESS_USE;
    want &= PRINTER_ALL_ACCESS | SERVER_ALL_ACCESS | WRITE_DAC | WRITE_OWNER;
    if (want == 0) want = PRINTER_ACCESS_USE;
    const ACCESS_MASK adminRights =
        PRINTER_ACCESS_ADMINISTER | SERVER_ACCESS_ADMINISTER | DELETE | WRITE_DAC | WRITE_OWNER;
    PrinterHandle h;
    const std::string name = Str(pPrinterName);
    PrinterRec p;
    ConnectionRec c;
    if (name.empty()) {
        h.kind = PrinterHandle::Server;
    } else if (FindPrinter(name, &p)) {
        h.kind = PrinterHandle::Local;
        h.name = p.name;
    } else if (IsNT() && (FindConnection(name, &c) || FindShare(name, &c))) {
        h.kind = PrinterHandle::Connection;
        h.name = c.path;
    } else {
        return Fail(ERROR_INVALID_PRINTER_NAME);
    }
    if (IsNT() && (want & adminRights) && !MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    h.access = IsNT() ? want : PRINTER_ALL_ACCESS | SERVER_ALL_ACCESS;
    uint32_t n = NextHandleNumber();
    Handles()[n] = h;
    *phPrinter = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(n));
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    Require();
    if (Armed("ClosePrinter")) return FALSE;
    auto it = Handles().find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hPrinter)));
    if (it == Handles().end()) return Fail(ERROR_INVALID_HANDLE);
    Handles().erase(it);
    return TRUE;
}

BOOL WINAPI GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
    Require();
    if (!GetReady("GetPrinterA", pcbNeeded)) return FALSE;
    PrinterHandle* h = HandleOf(hPrinter);
    if (!h || h->kind == PrinterHandle::Server) return Fail(ERROR_INVALID_HANDLE);
    if (Level != 1 && Level != 2 && Level != 4 && Level != 5) return Fail(ERROR_INVALID_LEVEL);
    PrinterView v;
    if (!HandleView(*h, &v)) return FALSE;
    return PackPrinters({v}, Level, pPrinter, cbBuf, pcbNeeded, nullptr);
}

BOOL WINAPI SetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    Require();
    if (Armed("SetPrinterA")) return FALSE;
    PrinterHandle* h = HandleOf(hPrinter);
    if (!h || h->kind == PrinterHandle::Server) return Fail(ERROR_INVALID_HANDLE);
    if (h->kind == PrinterHandle::Connection || !(h->access & PRINTER_ACCESS_ADMINISTER))
        return Fail(ERROR_ACCESS_DENIED);
    PrinterRec p;
    if (!HandlePrinter(hPrinter, &h, &p)) return FALSE;
    if (Level != 0 && Level != 2 && Level != 5) return Fail(ERROR_INVALID_LEVEL);
    if (Level != 0 && !pPrinter) return Fail(ERROR_INVALID_PARAMETER);
    if (Command > PRINTER_CONTROL_SET_STATUS || (Level == 0 && Command == 0))
        return Fail(ERROR_INVALID_PRINTER_COMMAND);
    if (Command == PRINTER_CONTROL_SET_STATUS && !pPrinter) return Fail(ERROR_INVALID_PARAMETER);

    PrinterRec next = p;
    if (Level == 2) {
        PRINTER_INFO_2A in;
        std::memcpy(&in, pPrinter, sizeof in);
        DWORD err = CheckPrinterRecord(in, &next);
        if (err != ERROR_SUCCESS) return Fail(err);
        PrinterRec other;
        if (!IEquals(next.name, p.name) && FindPrinter(next.name, &other))
            return Fail(ERROR_PRINTER_ALREADY_EXISTS);
    } else if (Level == 5) {
        PRINTER_INFO_5A in;
        std::memcpy(&in, pPrinter, sizeof in);
        DWORD err = CheckPorts(Str(in.pPortName));
        if (err != ERROR_SUCCESS) return Fail(err);
        next.port = Str(in.pPortName);
        next.attributes = in.Attributes;
        if (IsNT()) next.attributes &= ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT);
    }
    switch (Command) {
    case PRINTER_CONTROL_PAUSE:
        next.status |= PRINTER_STATUS_PAUSED;
        break;
    case PRINTER_CONTROL_RESUME:
        next.status &= ~static_cast<DWORD>(PRINTER_STATUS_PAUSED);
        break;
    case PRINTER_CONTROL_SET_STATUS:
        std::memcpy(&next.status, pPrinter, sizeof next.status);
        break;
    default: // purge: no jobs are kept
        break;
    }

    if (next.name != p.name) {
        // A new name is a new key; the default printer follows it.
        const bool wasDefault = IEquals(ProfileDefault(), p.name);
        SysDeleteTree(PrintersKey() + "\\" + p.name);
        h->name = next.name;
        if (wasDefault) {
            IniFile ini = ReadWinIni();
            std::string v;
            ini.Get("windows", "device", &v);
            size_t comma = v.find(',');
            ini.Set("windows", "device",
                    next.name + (comma == std::string::npos ? "" : v.substr(comma)));
            WriteWinIni(ini);
        }
    }
    StorePrinter(next);
    if (!IsNT()) {
        if (next.attributes & PRINTER_ATTRIBUTE_DEFAULT)
            MakeDefault95(next);
        else if (p.attributes & PRINTER_ATTRIBUTE_DEFAULT)
            ForgetDefault(next.name);
    }
    return TRUE;
}

BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
    Require();
    if (Armed("DeletePrinter")) return FALSE;
    PrinterHandle* h = HandleOf(hPrinter);
    if (!h || h->kind == PrinterHandle::Server) return Fail(ERROR_INVALID_HANDLE);
    if (h->kind == PrinterHandle::Connection || !(h->access & DELETE))
        return Fail(ERROR_ACCESS_DENIED);
    PrinterRec p;
    if (!HandlePrinter(hPrinter, &h, &p)) return FALSE;
    const bool wasDefault = IEquals(DefaultPrinterName(), p.name);
    SysDeleteTree(PrintersKey() + "\\" + p.name);
    h->deleted = true;
    if (wasDefault) ForgetDefault(p.name);
    return TRUE;
}

BOOL WINAPI AddPrinterConnectionA(LPSTR pName) {
    Require();
    if (Armed("AddPrinterConnectionA")) return FALSE;
    // 95/98 keep no per-user connections: a network printer there is a local printer on a
    // share name.
    if (!IsNT()) return Fail(ERROR_NOT_SUPPORTED);
    ConnectionRec c;
    if (!pName || !FindShare(pName, &c)) return Fail(ERROR_INVALID_PRINTER_NAME);
    const std::string key = ConnectionKey(c);
    ConnectionRec existing;
    if (FindConnection(c.path, &existing)) return TRUE;
    PutText(key, "Server", "\\\\" + c.server);
    PutText(key, "Provider", "win32spl.dll");
    PutText(key, "Printer Driver", c.driver);
    return TRUE;
}

BOOL WINAPI DeletePrinterConnectionA(LPSTR pName) {
    Require();
    if (Armed("DeletePrinterConnectionA")) return FALSE;
    if (!IsNT()) return Fail(ERROR_NOT_SUPPORTED);
    ConnectionRec c;
    if (!pName || !FindConnection(pName, &c)) return Fail(ERROR_INVALID_PRINTER_NAME);
    SysDeleteTree(ConnectionKey(c));
    ForgetDefault(c.path);
    return TRUE;
}

// ---- drivers --------------------------------------------------------------------------------

BOOL WINAPI AddPrinterDriverA(LPSTR pName, DWORD Level, LPBYTE pDriverInfo) {
    Require();
    if (Armed("AddPrinterDriverA")) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    if (Level != 2 && Level != 3) return Fail(ERROR_INVALID_LEVEL);
    if (!pDriverInfo) return Fail(ERROR_INVALID_PARAMETER);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    DRIVER_INFO_3A in{};
    std::memcpy(&in, pDriverInfo, Level == 3 ? sizeof(DRIVER_INFO_3A) : sizeof(DRIVER_INFO_2A));
    DriverRec d;
    d.name = Str(in.pName);
    d.file = Str(in.pDriverPath);
    if (d.name.empty() || d.name.find_first_of("\\,") != std::string::npos || d.file.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    if (!ResolveEnv(in.pEnvironment, &d.env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    DriverRec existing;
    if (FindDriver(d.env, d.name, &existing)) return Fail(ERROR_PRINTER_DRIVER_ALREADY_INSTALLED);
    d.version = in.cVersion;
    d.data = Str(in.pDataFile);
    d.config = Str(in.pConfigFile);
    if (Level == 3) {
        d.help = Str(in.pHelpFile);
        d.monitor = Str(in.pMonitorName);
        d.datatype = Str(in.pDefaultDataType);
        for (const char* f = in.pDependentFiles; f && *f; f += std::strlen(f) + 1)
            d.dependents.push_back(f);
    }
    // The files lie in the driver directory where setup copied them, or in the version folder
    // below it where an earlier install left them.
    const std::string dir = DriverDirectory(d.env);
    std::vector<std::string> dirs{dir};
    if (IsNT()) dirs.push_back(dir + (d.env == kEnvNt ? "\\2" : "\\0"));
    std::vector<std::string> files{d.file, d.data, d.config, d.help};
    files.insert(files.end(), d.dependents.begin(), d.dependents.end());
    for (const std::string& f : files)
        if (!f.empty() && !FileThere(f, dirs)) return Fail(ERROR_FILE_NOT_FOUND);

    if (IsNT()) {
        // NT moves the files from the driver directory into the folder of the driver version.
        const std::string versionDir = dirs[1];
        MakeFolder(versionDir);
        for (const std::string& f : files) {
            if (f.empty() || f.find('\\') != std::string::npos) continue;
            std::string from = ResolvePath(dir + "\\" + f, false);
            struct stat st;
            if (stat(from.c_str(), &st) != 0) continue;
            std::string to = ResolvePath(versionDir + "\\" + f, false);
            std::rename(from.c_str(), to.c_str());
        }
    }
    const std::string key = DriversKey(d.env) + "\\" + d.name;
    SysCreateKey(key);
    PutNumber(key, "Version", d.version);
    PutText(key, "Driver", FileName(d.file));
    PutText(key, "Data File", FileName(d.data));
    PutText(key, "Configuration File", FileName(d.config));
    PutText(key, "Help File", FileName(d.help));
    std::vector<std::string> deps;
    for (const std::string& f : d.dependents)
        deps.push_back(FileName(f));
    PutList(key, "Dependent Files", deps);
    PutText(key, "Monitor", d.monitor);
    PutText(key, "Datatype", d.datatype);
    return TRUE;
}

BOOL WINAPI EnumPrinterDriversA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                                DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
    Require();
    if (!EnumReady("EnumPrinterDriversA", pcbNeeded, pcReturned)) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    std::string env;
    if (!ResolveEnv(pEnvironment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    return PackDrivers(Drivers(env), Level, pDriverInfo, cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI GetPrinterDriverA(HANDLE hPrinter, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                              DWORD cbBuf, LPDWORD pcbNeeded) {
    Require();
    if (!GetReady("GetPrinterDriverA", pcbNeeded)) return FALSE;
    PrinterHandle* h = HandleOf(hPrinter);
    if (!h || h->kind == PrinterHandle::Server) return Fail(ERROR_INVALID_HANDLE);
    std::string env;
    if (!ResolveEnv(pEnvironment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    PrinterView v;
    if (!HandleView(*h, &v)) return FALSE;
    DriverRec d;
    if (!FindDriver(env, v.driver, &d)) return Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    return PackDrivers({d}, Level, pDriverInfo, cbBuf, pcbNeeded, nullptr);
}

BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
    Require();
    return QueryDirectory("GetPrinterDriverDirectoryA", DriverDirectory, pName, pEnvironment, Level,
                          pDriverDirectory, cbBuf, pcbNeeded);
}

BOOL WINAPI DeletePrinterDriverA(LPSTR pName, LPSTR pEnvironment, LPSTR pDriverName) {
    Require();
    if (Armed("DeletePrinterDriverA")) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    std::string env;
    if (!ResolveEnv(pEnvironment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    DriverRec d;
    if (!FindDriver(env, Str(pDriverName), &d)) return Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    if (env == OwnEnv()) {
        for (const PrinterRec& p : LocalPrinters())
            if (IEquals(p.driver, d.name)) return Fail(ERROR_PRINTER_DRIVER_IN_USE);
        for (const ConnectionRec& c : Connections())
            if (IEquals(c.driver, d.name)) return Fail(ERROR_PRINTER_DRIVER_IN_USE);
    }
    SysDeleteTree(DriversKey(env) + "\\" + d.name);
    return TRUE;
}

// ---- print processors -----------------------------------------------------------------------

BOOL WINAPI AddPrintProcessorA(LPSTR pName, LPSTR pEnvironment, LPSTR pPathName,
                               LPSTR pPrintProcessorName) {
    Require();
    if (Armed("AddPrintProcessorA")) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    const std::string name = Str(pPrintProcessorName), file = Str(pPathName);
    if (name.empty() || name.find('\\') != std::string::npos || file.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    // 95/98 have a single environment and do not look at the one asked for.
    std::string env = OwnEnv();
    if (IsNT() && !ResolveEnv(pEnvironment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    if (FindProcessor(env, name)) return Fail(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED);
    // The spooler loads the processor from its directory.
    if (!FileThere(file, {ProcessorDirectory(env)})) return Fail(ERROR_MOD_NOT_FOUND);
    PutText(ProcessorsKey(env) + "\\" + name, "Driver", FileName(file));
    return TRUE;
}

BOOL WINAPI EnumPrintProcessorsA(LPSTR pName, LPSTR pEnvironment, DWORD Level,
                                 LPBYTE pPrintProcessorInfo, DWORD cbBuf, LPDWORD pcbNeeded,
                                 LPDWORD pcReturned) {
    Require();
    if (!EnumReady("EnumPrintProcessorsA", pcbNeeded, pcReturned)) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    if (Level != 1) return Fail(ERROR_INVALID_LEVEL);
    std::string env = OwnEnv();
    if (IsNT() && !ResolveEnv(pEnvironment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    return PackNames(Processors(env), &PRINTPROCESSOR_INFO_1A::pName, pPrintProcessorInfo, cbBuf,
                     pcbNeeded, pcReturned);
}

BOOL WINAPI GetPrintProcessorDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level,
                                        LPBYTE pPrintProcessorInfo, DWORD cbBuf,
                                        LPDWORD pcbNeeded) {
    Require();
    return QueryDirectory("GetPrintProcessorDirectoryA", ProcessorDirectory, pName, pEnvironment,
                          Level, pPrintProcessorInfo, cbBuf, pcbNeeded);
}

BOOL WINAPI DeletePrintProcessorA(LPSTR pName, LPSTR pEnvironment, LPSTR pPrintProcessorName) {
    Require();
    if (Armed("DeletePrintProcessorA")) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    std::string env = OwnEnv();
    if (IsNT() && !ResolveEnv(pEnvironment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    const std::string name = Str(pPrintProcessorName);
    if (!FindProcessor(env, name)) return Fail(ERROR_UNKNOWN_PRINTPROCESSOR);
    if (IEquals(name, kWinPrint)) return Fail(ERROR_ACCESS_DENIED); // the spooler's own
    SysDeleteTree(ProcessorsKey(env) + "\\" + name);
    return TRUE;
}

// ---- monitors -------------------------------------------------------------------------------

BOOL WINAPI AddMonitorA(LPSTR pName, DWORD Level, LPBYTE pMonitors) {
    Require();
    if (Armed("AddMonitorA")) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    if (Level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (!pMonitors) return Fail(ERROR_INVALID_PARAMETER);
    MONITOR_INFO_2A in;
    std::memcpy(&in, pMonitors, sizeof in);
    const std::string name = Str(in.pName), file = Str(in.pDLLName);
    if (name.empty() || name.find('\\') != std::string::npos || file.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    // NT takes only monitors built for itself; 95/98 do not look at the environment.
    std::string env;
    if (IsNT() && (!ResolveEnv(in.pEnvironment, &env) || env != OwnEnv()))
        return Fail(ERROR_INVALID_ENVIRONMENT);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    if (FindMonitor(name, nullptr))
        return Fail(IsNT() ? ERROR_PRINT_MONITOR_ALREADY_INSTALLED : ERROR_ALREADY_EXISTS);
    // The spooler loads the monitor from the system directory.
    if (!FileThere(file, {SystemDir()})) return Fail(ERROR_MOD_NOT_FOUND);
    PutText(MonitorsKey() + "\\" + name, "Driver", FileName(file));
    return TRUE;
}

BOOL WINAPI EnumMonitorsA(LPSTR pName, DWORD Level, LPBYTE pMonitors, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
    Require();
    if (!EnumReady("EnumMonitorsA", pcbNeeded, pcReturned)) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    if (Level == 1)
        return PackNames(Monitors(), &MONITOR_INFO_1A::pName, pMonitors, cbBuf, pcbNeeded,
                         pcReturned);
    if (Level == 2) {
        TextStore store;
        std::vector<Packed<MONITOR_INFO_2A>> items;
        for (const MonitorRec& m : Monitors())
            items.push_back(Start<MONITOR_INFO_2A>(&store)
                                .Text(&MONITOR_INFO_2A::pName, m.name)
                                .Text(&MONITOR_INFO_2A::pEnvironment, OwnEnv())
                                .Text(&MONITOR_INFO_2A::pDLLName, m.file)
                                .item);
        return Pack(items, pMonitors, cbBuf, pcbNeeded, pcReturned);
    }
    return NoSuchLevel(pcbNeeded, pcReturned);
}

BOOL WINAPI DeleteMonitorA(LPSTR pName, LPSTR pEnvironment, LPSTR pMonitorName) {
    Require();
    if (Armed("DeleteMonitorA")) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    std::string env;
    if (IsNT() && (!ResolveEnv(pEnvironment, &env) || env != OwnEnv()))
        return Fail(ERROR_INVALID_ENVIRONMENT);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    MonitorRec m;
    if (!FindMonitor(Str(pMonitorName), &m)) return Fail(ERROR_UNKNOWN_PRINT_MONITOR);
    if (IEquals(m.name, kLocalPort)) return Fail(ERROR_PRINT_MONITOR_IN_USE);
    for (const PortRec& p : Ports())
        if (IEquals(p.monitor, m.name) && PortInUse(p.name))
            return Fail(ERROR_PRINT_MONITOR_IN_USE);
    SysDeleteTree(MonitorsKey() + "\\" + m.name);
    return TRUE;
}

// ---- ports ----------------------------------------------------------------------------------

BOOL WINAPI EnumPortsA(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                       LPDWORD pcReturned) {
    Require();
    if (!EnumReady("EnumPortsA", pcbNeeded, pcReturned)) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    if (Level == 1)
        return PackNames(Ports(), &PORT_INFO_1A::pName, pPorts, cbBuf, pcbNeeded, pcReturned);
    if (Level == 2) {
        TextStore store;
        std::vector<Packed<PORT_INFO_2A>> items;
        for (const PortRec& p : Ports()) {
            auto b = Start<PORT_INFO_2A>(&store);
            b.item.fixed.fPortType = p.type;
            b.Text(&PORT_INFO_2A::pPortName, p.name)
                .Text(&PORT_INFO_2A::pMonitorName, p.monitor)
                .Text(&PORT_INFO_2A::pDescription, p.description);
            items.push_back(b.item);
        }
        return Pack(items, pPorts, cbBuf, pcbNeeded, pcReturned);
    }
    return NoSuchLevel(pcbNeeded, pcReturned);
}

// A monitor adds a port through a dialog of its own; no user is there to fill it in.
BOOL WINAPI AddPortA(LPSTR pName, HWND hWnd, LPSTR pMonitorName) {
    (void)hWnd;
    Require();
    if (Armed("AddPortA")) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    if (!FindMonitor(Str(pMonitorName), nullptr)) return Fail(ERROR_UNKNOWN_PRINT_MONITOR);
    return Fail(ERROR_CANCELLED);
}

// Deletes without a dialog, whatever window is given: the local monitor asks nothing.
BOOL WINAPI DeletePortA(LPSTR pName, HWND hWnd, LPSTR pPortName) {
    (void)hWnd;
    Require();
    if (Armed("DeletePortA")) return FALSE;
    if (!LocalServer(pName)) return Fail(ERROR_INVALID_NAME);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    PortRec port;
    if (!FindPort(Str(pPortName), &port)) return Fail(ERROR_UNKNOWN_PORT);
    for (const char* b : kBuiltinPorts)
        if (IEquals(port.name, b)) return Fail(ERROR_NOT_SUPPORTED);
    if (PortInUse(port.name)) return Fail(ERROR_BUSY);
    SysDeleteTree(PortsKey() + "\\" + port.name);
    for (const std::string& m : Subkeys(MonitorsKey()))
        SysDeleteTree(MonitorsKey() + "\\" + m + "\\Ports\\" + port.name);
    IniFile ini = ReadWinIni();
    if (ini.DeleteKey("Ports", port.name)) WriteWinIni(ini);
    return TRUE;
}

} // extern "C"
