// The winsim command: the simulated machine from the command line.
#include "callscript.h"

#include "../machine.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int Usage() {
    std::cerr << "usage:\n"
                 "  winsim new DIR [--os nt4|win95|win98]\n"
                 "  winsim run DIR SCRIPT [--trace] [--library PATH]\n"
                 "  winsim reg export DIR [KEY]\n"
                 "  winsim reg import DIR FILE.reg\n"
                 "  winsim show DIR\n";
    return 2;
}

bool ReadFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *text = ss.str();
    return true;
}

std::string ExeDir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string p(buf, static_cast<size_t>(n));
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

bool Open(const std::string& dir) {
    std::string error;
    if (winsim::OpenMachine(dir, &error)) return true;
    std::cerr << "winsim: " << error << "\n";
    return false;
}

int CmdNew(const std::vector<std::string>& a) {
    if (a.empty()) return Usage();
    winsim::Os os = winsim::Os::Nt4;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--os" && i + 1 < a.size()) {
            if (!winsim::ParseOs(a[++i], &os)) {
                std::cerr << "winsim: unknown os " << a[i] << " (nt4, win95 or win98)\n";
                return 2;
            }
        } else {
            return Usage();
        }
    }
    std::string error;
    if (!winsim::CreateMachine(a[0], os, &error)) {
        std::cerr << "winsim: " << error << "\n";
        return 1;
    }
    std::cout << "new " << winsim::OsName(os) << " machine in " << a[0] << "\n";
    return 0;
}

int CmdRun(const std::vector<std::string>& a) {
    if (a.size() < 2) return Usage();
    winsim::CallScriptOptions options;
    const char* env = std::getenv("WINSIM_PWSETUP");
    std::string library = env ? env : ExeDir() + "/PWSETUP.DLL";
    for (size_t i = 2; i < a.size(); ++i) {
        if (a[i] == "--trace")
            options.trace = true;
        else if (a[i] == "--library" && i + 1 < a.size())
            library = a[++i];
        else
            return Usage();
    }
    std::string script;
    if (!ReadFile(a[1], &script)) {
        std::cerr << "winsim: cannot read " << a[1] << "\n";
        return 2;
    }
    if (!Open(a[0])) return 2;
    // One run is one process: the library stays loaded from the first call to the last.
    std::string error;
    uintptr_t module = winsim::LoadHostLibrary(library, &error);
    if (!module) {
        std::cerr << "winsim: cannot load " << library << ": " << error << "\n";
        return 2;
    }
    int rc = winsim::RunCallScript(
        script, [&](const std::string& name) { return winsim::HostProcAddress(module, name); },
        options, std::cout, std::cerr);
    winsim::CloseMachine();
    return rc;
}

int CmdReg(const std::vector<std::string>& a) {
    if (a.size() < 2) return Usage();
    if (a[0] == "export" && a.size() <= 3) {
        if (!Open(a[1])) return 2;
        std::string key = a.size() == 3 ? a[2] : "";
        if (!key.empty() && !winsim::KeyExists(key)) {
            std::cerr << "winsim: no key " << key << "\n";
            return 1;
        }
        std::cout << winsim::ExportRegistry(key);
        return 0;
    }
    if (a[0] == "import" && a.size() == 3) {
        std::string text, error;
        if (!ReadFile(a[2], &text)) {
            std::cerr << "winsim: cannot read " << a[2] << "\n";
            return 2;
        }
        if (!Open(a[1])) return 2;
        if (!winsim::ImportRegistry(text, &error)) {
            std::cerr << "winsim: " << a[2] << ": " << error << "\n";
            return 1;
        }
        winsim::CloseMachine();
        return 0;
    }
    return Usage();
}

// The spooler, one object a line: printers, drivers, monitors, processors, ports, connections.
int CmdShow(const std::vector<std::string>& a) {
    if (a.size() != 1) return Usage();
    if (!Open(a[0])) return 2;
    for (const std::string& line : winsim::SpoolerLines())
        std::cout << line << "\n";
    winsim::CloseMachine();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    std::vector<std::string> rest(argv + 2, argv + argc);
    try {
        if (cmd == "new") return CmdNew(rest);
        if (cmd == "run") return CmdRun(rest);
        if (cmd == "reg") return CmdReg(rest);
        if (cmd == "show") return CmdShow(rest);
    } catch (const std::exception& e) {
        std::cerr << "winsim: " << e.what() << "\n";
        return 2;
    }
    return Usage();
}
