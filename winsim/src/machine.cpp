// The machine folder: creation, opening, paths, settings, failures and debug output.
#include "files.h"
#include "inimapping.h"
#include "machinelock.h"
#include "modules.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace winsim {

namespace {

std::unique_ptr<MachineState> g_machine;
std::vector<std::string> g_errors; // NoteMachineError's, since the machine opened
MachineLock g_lock; // held while g_machine is open; outlives g_exitSaver, whose close saves
// Never destroyed: the machine still open at process exit is closed by a static destructor,
// which may run after other statics of this library are gone.
std::vector<StateHooks>& Hooks() {
    static auto* hooks = new std::vector<StateHooks>;
    return *hooks;
}

bool IsDir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirs(const std::string& path) {
    std::string cur;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!cur.empty() && !IsDir(cur) && mkdir(cur.c_str(), 0755) != 0) return false;
        }
        if (i < path.size()) cur += path[i];
    }
    return true;
}

// The errors noted since the machine opened, one a line.
std::string ErrorText() {
    std::string text;
    for (const std::string& e : g_errors)
        text += (text.empty() ? "" : "\n") + e;
    return text;
}

// False with every file that could not be written since the machine opened.
bool SaveAll(std::string* error) {
    for (const StateHooks& h : Hooks())
        if (h.save) h.save();
    if (error) *error = ErrorText();
    return g_errors.empty();
}

struct ExitSaver {
    ~ExitSaver() {
        std::string error;
        if (!CloseMachine(&error)) std::fprintf(stderr, "winsim: %s\n", error.c_str());
    }
} g_exitSaver;

const char kWinIni[] = "[windows]\r\n"
                       "load=\r\n"
                       "run=\r\n"
                       "NullPort=None\r\n"
                       "\r\n"
                       "[Desktop]\r\n"
                       "Wallpaper=(None)\r\n"
                       "\r\n"
                       "[intl]\r\n"
                       "iCountry=1\r\n"
                       "\r\n"
                       "[fonts]\r\n"
                       "\r\n"
                       "[Ports]\r\n"
                       "LPT1:=\r\n"
                       "LPT2:=\r\n"
                       "LPT3:=\r\n"
                       "COM1:=9600,n,8,1,x\r\n"
                       "COM2:=9600,n,8,1,x\r\n"
                       "FILE:=\r\n"
                       "\r\n"
                       "[devices]\r\n"
                       "\r\n"
                       "[PrinterPorts]\r\n";

const char kSystemIni9x[] = "[boot]\r\n"
                            "shell=Explorer.exe\r\n"
                            "system.drv=system.drv\r\n"
                            "drivers=mmsystem.dll power.drv\r\n"
                            "user.exe=user.exe\r\n"
                            "network.drv=\r\n"
                            "\r\n"
                            "[boot.description]\r\n"
                            "system.drv=Standard PC\r\n"
                            "\r\n"
                            "[386Enh]\r\n"
                            "ebios=*ebios\r\n"
                            "woafont=dosapp.fon\r\n"
                            "device=*vshare\r\n"
                            "\r\n"
                            "[drivers]\r\n"
                            "wave=mmsystem.dll\r\n";

const char kSystemIniNt[] = "[boot]\r\n"
                            "shell=Explorer.exe\r\n"
                            "system.drv=system.drv\r\n"
                            "drivers=mmsystem.dll\r\n"
                            "\r\n"
                            "[boot.description]\r\n"
                            "system.drv=Standard PC\r\n"
                            "\r\n"
                            "[386Enh]\r\n"
                            "woafont=dosapp.fon\r\n"
                            "\r\n"
                            "[drivers]\r\n"
                            "wave=mmdrv.dll\r\n";

} // namespace

void SeedFreshRegistry(Os os); // registry/freshkeys.cpp

const char* OsName(Os os) {
    switch (os) {
    case Os::Win95:
        return "win95";
    case Os::Win98:
        return "win98";
    case Os::Nt4:
        return "nt4";
    }
    return "nt4";
}

bool ParseOs(const std::string& text, Os* os) {
    if (IEquals(text, "win95"))
        *os = Os::Win95;
    else if (IEquals(text, "win98"))
        *os = Os::Win98;
    else if (IEquals(text, "nt4"))
        *os = Os::Nt4;
    else
        return false;
    return true;
}

void RegisterStateHooks(const StateHooks& hooks) {
    Hooks().push_back(hooks);
}

void NoteMachineError(const std::string& message) {
    g_errors.push_back(message);
}

MachineState* Current() {
    return g_machine.get();
}

MachineState& Require() {
    if (!g_machine) {
        std::fprintf(stderr, "winsim: a Windows API was called with no machine open\n");
        std::abort();
    }
    return *g_machine;
}

bool HasMachine() {
    return g_machine != nullptr;
}
std::string MachineDir() {
    return Require().dir;
}
Os MachineOs() {
    return Require().os;
}
bool IsNT() {
    return Require().os == Os::Nt4;
}

std::string GetSetting(const std::string& section, const std::string& key, const std::string& def) {
    std::string v;
    if (!Require().ini.Get(section, key, &v)) return def;
    size_t semi = v.find(';'); // machine.ini allows a comment after a value
    if (semi != std::string::npos) v = Trim(v.substr(0, semi));
    return v;
}

void SetSetting(const std::string& section, const std::string& key, const std::string& value) {
    MachineState& m = Require();
    m.ini.Set(section, key, value);
    WriteFileAtomic(m.dir + "/machine.ini", m.ini.Text());
}

std::string WindowsDir() {
    return GetSetting("machine", "windir", "C:\\WINDOWS");
}

std::string SystemDir() {
    return GetSetting("machine", "sysdir", WindowsDir() + (IsNT() ? "\\SYSTEM32" : "\\SYSTEM"));
}

void AppendComponents(std::string_view rest, char separator, std::string* out) {
    const size_t base = out->size();
    out->reserve(base + rest.size() + 1);
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t bs = rest.find('\\', pos);
        if (bs == std::string_view::npos) bs = rest.size();
        const std::string_view comp = rest.substr(pos, bs - pos);
        if (comp == "..") {
            if (out->size() > base) out->resize(out->rfind(separator));
        } else if (!comp.empty() && comp != ".") {
            *out += separator;
            out->append(comp);
        }
        pos = bs + 1;
    }
}

bool CreateMachine(const std::string& dir, Os os, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (!MakeDirs(dir)) return fail("cannot create folder " + dir);
    struct stat st;
    if (stat((dir + "/machine.ini").c_str(), &st) == 0)
        return fail(dir + " already holds a machine");
    const bool nt = os == Os::Nt4;
    std::string sys = nt ? "SYSTEM32" : "SYSTEM";
    std::string root = dir + "/drive_c";
    for (const std::string& sub :
         {std::string("/WINDOWS/") + sys, std::string("/WINDOWS/TEMP"),
          std::string("/WINDOWS/Start Menu/Programs/StartUp"), std::string("/WINDOWS/Desktop"),
          std::string("/Program Files")}) {
        if (!MakeDirs(root + sub)) return fail("cannot create " + root + sub);
    }
    if (nt && (!MakeDirs(root + "/WINDOWS/SYSTEM32/spool/drivers/w32x86/2") ||
               !MakeDirs(root + "/WINDOWS/SYSTEM32/spool/prtprocs/w32x86")))
        return fail("cannot create the spooler directories");
    if (!nt && !MakeDirs(root + "/WINDOWS/SPOOL/PRINTERS"))
        return fail("cannot create the spooler directories");

    std::string ini = std::string("[machine]\r\nos=") + OsName(os) +
                      "\r\nwindir=C:\\WINDOWS\r\nuser=Administrator\r\nprivilege=2\r\n"
                      "network=1\r\n\r\n[drives]\r\nC=512,8,200000,500000\r\n\r\n[devices]\r\n\r\n"
                      "[in-use]\r\n";
    if (!WriteFileAtomic(dir + "/machine.ini", ini)) return fail("cannot write machine.ini");
    if (!WriteFileAtomic(root + "/WINDOWS/WIN.INI", kWinIni) ||
        !WriteFileAtomic(root + "/WINDOWS/SYSTEM.INI", nt ? kSystemIniNt : kSystemIni9x))
        return fail("cannot write WIN.INI or SYSTEM.INI");
    if (!WriteSystemLibraryFiles(root + "/WINDOWS/" + sys, nt))
        return fail("cannot write the system libraries' files");

    // Seed the registry through the machine itself, then leave it closed.
    bool wasOpen = HasMachine();
    std::string previous = wasOpen ? MachineDir() : "";
    if (!OpenMachine(dir, error)) return false;
    SeedFreshRegistry(os);
    if (nt) SeedIniFileMapping();
    if (!CloseMachine(error)) return false;
    if (wasOpen) OpenMachine(previous);
    return true;
}

bool OpenMachine(const std::string& dir, std::string* error) {
    MachineLock lock = std::move(g_lock); // kept, with no gap, when `dir` is the folder it holds
    CloseMachine();
    // One program at a time per machine: wait for it, then read it as the last one left it. A
    // folder without machine.ini gets no lock file.
    const std::string ini = dir + "/machine.ini";
    const bool isMachine = access(ini.c_str(), F_OK) == 0;
    if (isMachine && !lock.Take(dir, error)) return false;
    std::string text;
    if (!isMachine || !ReadWholeFile(ini, &text)) {
        if (error) *error = dir + " holds no machine (no machine.ini)";
        return false;
    }
    auto m = std::make_unique<MachineState>();
    m->dir = dir;
    while (m->dir.size() > 1 && m->dir.back() == '/')
        m->dir.pop_back();
    m->ini.Parse(text);
    g_machine = std::move(m);
    std::string os = GetSetting("machine", "os", "nt4");
    if (!ParseOs(os, &g_machine->os)) {
        if (error) *error = "machine.ini names an unknown os: " + os;
        g_machine.reset();
        return false;
    }
    g_errors.clear();
    for (const StateHooks& h : Hooks())
        if (h.load) h.load();
    if (!g_errors.empty()) { // a file that did not read whole must not be written over
        if (error) *error = ErrorText();
        g_errors.clear();
        for (const StateHooks& h : Hooks())
            if (h.reset) h.reset();
        g_machine.reset();
        return false; // the lock goes with `lock`
    }
    g_lock = std::move(lock);
    ArmFailureFromEnvironment();
    return true;
}

bool CloseMachine(std::string* error) {
    if (!g_machine) return true;
    ReportFailureRun();
    bool saved = SaveAll(error);
    g_errors.clear();
    for (const StateHooks& h : Hooks())
        if (h.reset) h.reset();
    g_machine.reset();
    ClearFailures();
    g_lock.Release();
    return saved;
}

bool FlushRegistry(std::string* error) {
    return !g_machine || SaveAll(error);
}

std::vector<std::string> DebugOutput() {
    std::vector<std::string> lines = Require().debugLines;
    if (!Require().pendingDebug.empty()) lines.push_back(Require().pendingDebug);
    return lines;
}

void ClearDebugOutput() {
    Require().debugLines.clear();
    Require().pendingDebug.clear();
}

} // namespace winsim
