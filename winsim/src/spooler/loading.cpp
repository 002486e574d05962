// The spooler's check of the components it is asked to add: it loads a monitor and calls its
// initialisation, and loads a print processor and looks up its entry points, as the system does
// when it adds one. Each system knows its own entry points: Windows NT 4.0 a monitor's
// InitializePrintMonitor and a processor's five calls, Windows 95/98 InitializeMonitorEx and
// InitializePrintProcessor. The module is released again: the spooler's own process keeps its
// components loaded, and a simulated spooler runs in the caller's.
#include "spooler.h"

#include "../../machine.h"
#include "../modules.h"

#include <iterator>

namespace winsim::spooler {

namespace {

// A loaded module, released when it goes.
class LoadedModule {
  public:
    explicit LoadedModule(uintptr_t handle) : m_handle(handle) {}
    ~LoadedModule() {
        if (m_handle) ReleaseModule(reinterpret_cast<HMODULE>(m_handle));
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    explicit operator bool() const { return m_handle != 0; }
    void* Export(const char* name) const { return HostProcAddress(m_handle, name); }

  private:
    uintptr_t m_handle;
};

// The file's module, or none with the error set: no file, or a file that is no module.
uintptr_t Load(const std::string& file, const std::string& dir) {
    const std::string path = file.find('\\') != std::string::npos ? file : dir + "\\" + file;
    if (!FileThere(file, {dir})) {
        Fail(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const uintptr_t module = LoadHostLibrary(ResolvePath(path, false));
    if (!module) Fail(ERROR_BAD_EXE_FORMAT);
    return module;
}

// The error an initialisation left, or one that says it failed when it left none.
BOOL InitialisationFailed() {
    const DWORD error = GetLastError();
    return Fail(error ? error : ERROR_GEN_FAILURE);
}

// An initialisation that succeeds leaves the caller's last error as it was.
BOOL Initialised(DWORD callersError) {
    SetLastError(callersError);
    return TRUE;
}

} // namespace

bool LoadMonitor(const std::string& name, const std::string& file, const std::string& dir) {
    LoadedModule module(Load(file, dir));
    if (!module) return false;
    const std::string root = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\" + name;
    const DWORD callersError = GetLastError();
    SetLastError(ERROR_SUCCESS);
    if (IsNT()) {
        using Initialize = void* (*)(LPWSTR);
        auto init = reinterpret_cast<Initialize>(module.Export("InitializePrintMonitor"));
        if (!init) return Fail(ERROR_PROC_NOT_FOUND);
        std::vector<WCHAR> wide(root.begin(), root.end());
        wide.push_back(0);
        return init(wide.data()) ? Initialised(callersError) : InitialisationFailed();
    }
    using InitializeEx = BOOL (*)(LPSTR, void*);
    auto init = reinterpret_cast<InitializeEx>(module.Export("InitializeMonitorEx"));
    if (!init) return Fail(ERROR_PROC_NOT_FOUND);
    // The spooler's table of the monitor's functions, which the monitor fills.
    std::vector<void*> table(64, nullptr);
    std::vector<char> text(root.begin(), root.end());
    text.push_back('\0');
    return init(text.data(), table.data()) ? Initialised(callersError) : InitialisationFailed();
}

bool LoadProcessor(const std::string& file, const std::string& dir) {
    LoadedModule module(Load(file, dir));
    if (!module) return false;
    static const char* const kNt[] = {"EnumPrintProcessorDatatypesW", "OpenPrintProcessor",
                                      "PrintDocumentOnPrintProcessor", "ControlPrintProcessor",
                                      "ClosePrintProcessor"};
    static const char* const k9x[] = {"InitializePrintProcessor"};
    for (const char* name : IsNT() ? std::vector<const char*>(std::begin(kNt), std::end(kNt))
                                   : std::vector<const char*>(std::begin(k9x), std::end(k9x)))
        if (!module.Export(name)) return Fail(ERROR_PROC_NOT_FOUND);
    return true;
}

} // namespace winsim::spooler
