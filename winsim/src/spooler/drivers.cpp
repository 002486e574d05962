// Printer drivers: their keys per environment and driver version, their files in the driver
// directory, and the calls that add, list, read and delete them.
#include "pack.h"
#include "spooler.h"

#include "../nls.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace winsim::spooler {

namespace {

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

void StoreDriver(const DriverRec& d) {
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
}

// NT keeps a driver's files in a folder of its version below the driver directory.
std::string VersionFolder(const std::string& env) {
    return DriverDirectory(env) + (env == kEnvNt ? "\\2" : "\\0");
}

// Where the records say a driver's file lies: NT's version folder, 95/98's driver directory.
std::string FullPath(const DriverRec& d, const std::string& file) {
    if (file.empty()) return file;
    return (IsNT() ? VersionFolder(d.env) : DriverDirectory(d.env)) + "\\" + file;
}

// AddPrinterDriverA's record at level 2 or 3; false with the error set.
bool NewDriver(DWORD level, LPBYTE record, DriverRec* d) {
    if (level != 2 && level != 3) return Fail(ERROR_INVALID_LEVEL);
    if (!record) return Fail(ERROR_INVALID_PARAMETER);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    DRIVER_INFO_3A in{};
    std::memcpy(&in, record, level == 3 ? sizeof(DRIVER_INFO_3A) : sizeof(DRIVER_INFO_2A));
    d->name = Str(in.pName);
    d->file = Str(in.pDriverPath);
    if (d->name.empty() || d->name.find_first_of("\\,") != std::string::npos || d->file.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    if (!ResolveEnv(in.pEnvironment, &d->env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    DriverRec existing;
    if (FindDriver(d->env, d->name, &existing)) return Fail(ERROR_PRINTER_DRIVER_ALREADY_INSTALLED);
    d->version = in.cVersion;
    d->data = Str(in.pDataFile);
    d->config = Str(in.pConfigFile);
    if (level == 3) {
        d->help = Str(in.pHelpFile);
        d->monitor = Str(in.pMonitorName);
        d->datatype = Str(in.pDefaultDataType);
        for (const char* f = in.pDependentFiles; f && *f; f += std::strlen(f) + 1)
            d->dependents.push_back(f);
    }
    return true;
}

// The files lie in the driver directory where setup copied them, or in the version folder
// below it where an earlier install left them; NT moves them into the version folder.
bool TakeFiles(const DriverRec& d) {
    const std::string dir = DriverDirectory(d.env);
    std::vector<std::string> dirs{dir};
    if (IsNT()) dirs.push_back(VersionFolder(d.env));
    std::vector<std::string> files{d.file, d.data, d.config, d.help};
    files.insert(files.end(), d.dependents.begin(), d.dependents.end());
    for (const std::string& f : files)
        if (!f.empty() && !FileThere(f, dirs)) return Fail(ERROR_FILE_NOT_FOUND);
    if (!IsNT()) return true;
    MakeFolder(dirs[1]);
    for (const std::string& f : files) {
        if (f.empty() || f.find('\\') != std::string::npos) continue;
        std::string from = ResolvePath(dir + "\\" + f, false);
        struct stat st;
        if (stat(from.c_str(), &st) != 0) continue;
        std::string to = ResolvePath(dirs[1] + "\\" + f, false);
        std::rename(from.c_str(), to.c_str());
    }
    return true;
}

// The texts that levels 2 and 3 share, each file with its full path.
template <class T> void DriverBasics(Builder<T>& b, const DriverRec& d) {
    b.fixed.cVersion = d.version;
    b.Text(&T::pName, d.name)
        .Text(&T::pEnvironment, d.env)
        .Text(&T::pDriverPath, FullPath(d, d.file))
        .Text(&T::pDataFile, FullPath(d, d.data))
        .Text(&T::pConfigFile, FullPath(d, d.config));
}

// The W records are built as the A ones (pack.h): the same layout, field for field.
static_assert(sizeof(DRIVER_INFO_1A) == sizeof(DRIVER_INFO_1W) &&
                  sizeof(DRIVER_INFO_2A) == sizeof(DRIVER_INFO_2W) &&
                  sizeof(DRIVER_INFO_3A) == sizeof(DRIVER_INFO_3W),
              "the W driver records are the A ones with wide texts");

BOOL PackDrivers(const std::vector<DriverRec>& drivers, DWORD level, LPBYTE buf, DWORD cb,
                 LPDWORD needed, LPDWORD returned, Charset cs) {
    switch (level) {
    case 1:
        return PackNames(drivers, &DRIVER_INFO_1A::pName, buf, cb, needed, returned, cs);
    case 2:
        return PackEach<DRIVER_INFO_2A>(drivers, buf, cb, needed, returned,
                                        DriverBasics<DRIVER_INFO_2A>, cs);
    case 3:
        return PackEach<DRIVER_INFO_3A>(drivers, buf, cb, needed, returned, [](auto& b, auto& d) {
            DriverBasics(b, d);
            b.Text(&DRIVER_INFO_3A::pHelpFile, FullPath(d, d.help));
            if (d.dependents.empty()) {
                b.Null(&DRIVER_INFO_3A::pDependentFiles);
            } else {
                std::vector<std::string> files;
                for (const std::string& f : d.dependents)
                    files.push_back(FullPath(d, f));
                b.Text(&DRIVER_INFO_3A::pDependentFiles, Joined(files));
            }
            b.TextOrNull(&DRIVER_INFO_3A::pMonitorName, d.monitor)
                .TextOrNull(&DRIVER_INFO_3A::pDefaultDataType, d.datatype);
        }, cs);
    default:
        return NoSuchLevel(needed, returned);
    }
}

// The work of the A and W forms; the W forms hand out wide texts.
BOOL EnumPrinterDriversAs(const char* function, Charset cs, LPCSTR pName, LPCSTR pEnvironment,
                          DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
    if (!EnumReady(function, pName, pcbNeeded, pcReturned)) return FALSE;
    std::string env;
    if (!ResolveEnv(pEnvironment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    return PackDrivers(Drivers(env), Level, pDriverInfo, cbBuf, pcbNeeded, pcReturned, cs);
}

BOOL GetPrinterDriverAs(const char* function, Charset cs, HANDLE hPrinter, LPCSTR pEnvironment,
                        DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf, LPDWORD pcbNeeded) {
    if (!GetReady(function, pcbNeeded)) return FALSE;
    PrinterHandle* h = HandleOf(hPrinter);
    if (!h || h->kind == PrinterHandle::Server) return Fail(ERROR_INVALID_HANDLE);
    std::string env;
    if (!ResolveEnv(pEnvironment, &env)) return Fail(ERROR_INVALID_ENVIRONMENT);
    PrinterView v;
    if (!HandleView(*h, &v)) return FALSE;
    DriverRec d;
    if (!FindDriver(env, v.driver, &d)) return Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    if (PackDrivers({d}, Level, pDriverInfo, cbBuf, pcbNeeded, nullptr, cs)) return TRUE;
    // NT clears a buffer too small for the record, so no stale pointer looks like an answer.
    if (IsNT() && pDriverInfo && GetLastError() == ERROR_INSUFFICIENT_BUFFER)
        std::memset(pDriverInfo, 0, cbBuf);
    return FALSE;
}

} // namespace

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

// ---- the calls ------------------------------------------------------------------------------

extern "C" {

BOOL WINAPI AddPrinterDriverA(LPSTR pName, DWORD Level, LPBYTE pDriverInfo) {
    DriverRec d;
    if (!Begin(WINSIM_API_NAME(), pName) || !NewDriver(Level, pDriverInfo, &d) || !TakeFiles(d))
        return FALSE;
    StoreDriver(d);
    return TRUE;
}

BOOL WINAPI EnumPrinterDriversA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                                DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
    return EnumPrinterDriversAs(WINSIM_API_NAME(), Charset::Ansi, pName, pEnvironment, Level,
                                pDriverInfo, cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI EnumPrinterDriversW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level,
                                LPBYTE pDriverInfo, DWORD cbBuf, LPDWORD pcbNeeded,
                                LPDWORD pcReturned) {
    const char* function = WINSIM_API_NAME();
    if (!WideFormOnNt(function)) return FALSE;
    return EnumPrinterDriversAs(function, Charset::Wide, NarrowArg(pName).get(),
                                NarrowArg(pEnvironment).get(), Level, pDriverInfo, cbBuf,
                                pcbNeeded, pcReturned);
}

BOOL WINAPI GetPrinterDriverA(HANDLE hPrinter, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                              DWORD cbBuf, LPDWORD pcbNeeded) {
    return GetPrinterDriverAs(WINSIM_API_NAME(), Charset::Ansi, hPrinter, pEnvironment, Level,
                              pDriverInfo, cbBuf, pcbNeeded);
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level,
                              LPBYTE pDriverInfo, DWORD cbBuf, LPDWORD pcbNeeded) {
    const char* function = WINSIM_API_NAME();
    if (!WideFormOnNt(function)) return FALSE;
    return GetPrinterDriverAs(function, Charset::Wide, hPrinter, NarrowArg(pEnvironment).get(),
                              Level, pDriverInfo, cbBuf, pcbNeeded);
}

BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
    return QueryDirectory(WINSIM_API_NAME(), DriverDirectory, pName, pEnvironment, Level,
                          pDriverDirectory, cbBuf, pcbNeeded);
}

BOOL WINAPI DeletePrinterDriverA(LPSTR pName, LPSTR pEnvironment, LPSTR pDriverName) {
    if (!Begin(WINSIM_API_NAME(), pName)) return FALSE;
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

} // extern "C"

} // namespace winsim::spooler
