// Shared internals of the print spooler (winspool.drv): the store it keeps in the simulated
// registry, the checks every call makes, and each kind of object as the other kinds need it.
// Record packing, the layout of what the Enum*/Get* calls return, is in pack.h.
#ifndef WINSIM_SPOOLER_SPOOLER_H
#define WINSIM_SPOOLER_SPOOLER_H

#include "../internal.h"

#include <winspool.h>

#include <string>
#include <string_view>
#include <vector>

namespace winsim::spooler {

// ---- the store (store.cpp) ------------------------------------------------------------------

inline constexpr char kEnvNt[] = "Windows NT x86";
inline constexpr char kEnv40[] = "Windows 4.0";
inline constexpr char kLocalPort[] = "Local Port";
inline constexpr char kWinPrint[] = "WinPrint";

std::string OwnEnv(); // the machine's own environment
std::string DriversKey(const std::string& env);
std::string ProcessorsKey(const std::string& env);
std::string MonitorsKey();
std::string PrintersKey();
std::string PortsKey();

// The environment a call names, in the spooler's spelling; null or empty means the machine's
// own. False for an environment this system does not keep.
bool ResolveEnv(LPCSTR env, std::string* out);

// The values of one key, read where the registry holds them: a Values is read before the
// registry next changes.
class Values {
  public:
    explicit Values(const std::string& key) : m_values(SysValuesOf(key)) {}
    explicit Values(const std::vector<SysValue>& values) : m_values(&values) {}
    bool Exists() const { return m_values != nullptr; }
    std::string Text(const char* name) const;              // "" unless REG_SZ or REG_EXPAND_SZ
    DWORD Number(const char* name) const;                  // 0 unless REG_DWORD
    std::vector<std::string> List(const char* name) const; // up to the list's empty item
    // A value's text ("" unless REG_SZ or REG_EXPAND_SZ, up to its first zero) and number (0
    // unless REG_DWORD), where the registry holds it.
    static std::string_view TextOf(const SysValue& v);
    static DWORD NumberOf(const SysValue& v);

  private:
    const SysValue* Find(const char* name) const;
    const std::vector<SysValue>* m_values; // null: no such key
    // Where the next look-up starts: a record's values are mostly read in the order written.
    mutable size_t m_next = 0;
};

void PutText(const std::string& key, const char* name, const std::string& text);
void PutNumber(const std::string& key, const char* name, DWORD n);
void PutList(const std::string& key, const char* name, const std::vector<std::string>& items);
std::vector<std::string> Subkeys(const std::string& key);

std::string Str(LPCSTR s); // "" for a null pointer

// The record of that name in a list, compared without regard to case; `out` may be null.
template <class Rec>
bool FindByName(const std::vector<Rec>& list, const std::string& name, Rec* out) {
    for (const Rec& r : list)
        if (IEquals(r.name, name)) {
            if (out) *out = r;
            return true;
        }
    return false;
}

// The file part of a path ("C:\X\KV.DLL" -> "KV.DLL").
std::string FileName(const std::string& path);
// A file that the spooler looks for in `dirs` unless the caller gave a full path.
bool FileThere(const std::string& file, const std::vector<std::string>& dirs);
void MakeFolder(const std::string& windowsPath);

// ---- loading the spooler's components (loading.cpp) -----------------------------------------

// The spooler loads a monitor from `dir` (unless `file` is a full path) and calls its
// initialisation before it adds it; a print processor it loads to find its entry points. False
// with the error set: ERROR_MOD_NOT_FOUND (no file), ERROR_BAD_EXE_FORMAT (no module),
// ERROR_PROC_NOT_FOUND (an entry point missing), or the error of an initialisation that fails.
bool LoadMonitor(const std::string& name, const std::string& file, const std::string& dir);
bool LoadProcessor(const std::string& file, const std::string& dir);

std::string DriverDirectory(const std::string& env);
std::string ProcessorDirectory(const std::string& env);

// ---- what every call checks (store.cpp) -----------------------------------------------------

BOOL Fail(DWORD error); // sets the last error; FALSE

// The start of every call: the failure a test armed for `function` (the API's own name, from
// WINSIM_API_NAME()), then the server it names, which must be this machine: a null or empty
// name. False with the last error set when the call fails now.
bool Begin(const char* function, LPCSTR server = nullptr);
// The server check alone, for calls that check something else before it.
bool LocalServer(LPCSTR server);
// Where a W form goes on: true on NT. 95/98's W forms are stubs: the failure armed for
// `function`, else ERROR_CALL_NOT_IMPLEMENTED (false, with the last error set).
bool WideFormOnNt(const char* function);

// NT 4.0 lets only administrators change what the spooler holds; 95/98 check nothing.
bool MayAdminister();

// GetPrinterDriverDirectoryA and GetPrintProcessorDirectoryA: one folder per environment,
// made on the way so that setup can copy into it.
BOOL QueryDirectory(const char* function, std::string (*folderOf)(const std::string&), LPSTR server,
                    LPSTR environment, DWORD level, LPBYTE buf, DWORD cb, LPDWORD needed);

// ---- printers (printers.cpp) ----------------------------------------------------------------

// A printer's record, its texts as S: std::string to keep it, std::string_view to read it where
// the registry holds it.
template <class S> struct PrinterFields {
    S name, share, port, driver, comment, location, sepFile, processor, datatype, parameters;
    DWORD attributes = 0, priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0,
          status = 0;

    PrinterFields() = default;
    template <class O>
    explicit PrinterFields(const PrinterFields<O>& o)
        : name(o.name), share(o.share), port(o.port), driver(o.driver), comment(o.comment),
          location(o.location), sepFile(o.sepFile), processor(o.processor), datatype(o.datatype),
          parameters(o.parameters), attributes(o.attributes), priority(o.priority),
          defaultPriority(o.defaultPriority), startTime(o.startTime), untilTime(o.untilTime),
          status(o.status) {}
};
using PrinterRec = PrinterFields<std::string>;

std::vector<PrinterRec> LocalPrinters();
// The printer that WIN.INI [windows] device= names (the part before the first comma).
std::string ProfileDefault();
std::string DefaultPrinterName();
// The attributes a call reports for the printer `name` that keeps `attributes`; `profileDefault`
// is ProfileDefault(), read once for a list.
DWORD ReportedAttributes(std::string_view name, DWORD attributes,
                         const std::string& profileDefault);
// Takes the WIN.INI device line away when it names `name`.
void ForgetDefault(const std::string& name);

// A printer as the records of every level show it: a local printer or a connection.
struct PrinterView : PrinterRec {
    std::string server; // "\\SERVER" for a connection
};
// The same, read in place: valid while what it was read from stays (the registry unchanged).
struct PrinterRef : PrinterFields<std::string_view> {
    std::string_view server;
};

// An open printer handle.
struct PrinterHandle {
    enum Kind { Server, Local, Connection } kind = Local;
    std::string name;
    ACCESS_MASK access = 0;
    bool deleted = false;
};
PrinterHandle* HandleOf(HANDLE h);
// The printer or connection a handle stands for now; sets the error when it is gone.
bool HandleView(const PrinterHandle& h, PrinterView* v);

// The settings a printer's driver gives a document that asks for none: the DEVMODEA of the
// printer `name` on `driver`.
DEVMODEA DefaultDevMode(std::string_view name, std::string_view driver);

// ---- forms (forms.cpp) ----------------------------------------------------------------------

// The name of the form a DMPAPER_ number stands for, "" for none; its size in thousandths of a
// millimetre.
std::string FormName(short paper);
bool FormSize(short paper, LONG* width, LONG* height);

// ---- printer connections (connections.cpp) --------------------------------------------------

struct ConnectionRec {
    std::string name, server, share, driver; // name: "\\SERVER\SHARE"
};

// "\\SERVER\SHARE" into its two names; false when it is no share name.
bool SplitShare(const std::string& path, std::string* server, std::string* share);
std::vector<ConnectionRec> Connections(); // NT only; none on 95/98
bool FindConnection(const std::string& path, ConnectionRec* c);
// A share that the machine's network offers: machine.ini [network] \\SERVER\SHARE=DRIVER.
bool FindShare(const std::string& path, ConnectionRec* c);
PrinterView ViewOf(const ConnectionRec& c, const std::string& profileDefault);

// ---- drivers (drivers.cpp) ------------------------------------------------------------------

struct DriverRec {
    std::string name, env, file, data, config, help, monitor, datatype;
    std::vector<std::string> dependents;
    DWORD version = 0;
};

std::vector<DriverRec> Drivers(const std::string& env);
bool FindDriver(const std::string& env, const std::string& name, DriverRec* d);

// ---- print processors (processors.cpp) ------------------------------------------------------

struct ProcessorRec {
    std::string name, env, file;
};

std::vector<ProcessorRec> Processors(const std::string& env);
bool FindProcessor(const std::string& env, const std::string& name);

// ---- monitors (monitors.cpp) ----------------------------------------------------------------

struct MonitorRec {
    std::string name, file;
};

std::vector<MonitorRec> Monitors(); // "Local Port" always, first unless the registry has it
bool FindMonitor(const std::string& name, MonitorRec* out);

// ---- ports (ports.cpp) ----------------------------------------------------------------------

struct PortRec {
    std::string name, monitor, description;
    DWORD type = PORT_TYPE_WRITE;
};

std::vector<PortRec> Ports();
bool FindPort(const std::string& name, PortRec* out);
// A printer's port list "LPT1:,FILE:" as names, blanks trimmed, empty ones left out.
std::vector<std::string> SplitPorts(const std::string& ports);
bool PortInUse(const std::string& port); // by a local printer

} // namespace winsim::spooler

#endif
