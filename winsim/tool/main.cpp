// The winsim command: the simulated machine from the command line.
#include "callscript.h"
#include "machinediff.h"
#include "preview.h"

#include "../machine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const char kUsage[] =
    "usage:\n"
    "  winsim new DIR [--os nt4|win95|win98]\n"
    "  winsim run DIR SCRIPT [--trace] [--library PATH] [--preview]\n"
    "                 [--file PATH|cancel ...] [--printer \\\\SERVER\\SHARE|cancel ...]\n"
    "  winsim uninstall DIR [COMMAND LINE] [--answer ok|cancel|yes|no|abort|retry|ignore ...]\n"
    "                   [--click CONTROL-ID ...] [--do STEP ...] [--program PATH] [--trace]\n"
    "                   [--preview] [--screenshots OUTDIR]\n"
    "  winsim reboot DIR\n"
    "  winsim reg export DIR [KEY]\n"
    "  winsim reg import DIR FILE.reg\n"
    "  winsim show DIR\n"
    "  winsim diff DIR-A DIR-B [--json]\n"
    "  winsim --help\n";

int Usage() {
    std::cerr << kUsage;
    return 2;
}

bool ReadFile(const std::string& path, std::string* text) {
    // A folder opens as a stream that reads nothing, which would pass for an empty file.
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

// The machine's files are written when it closes: a file that could not be is an error of the
// command, whatever else the command did.
int Close(int rc) {
    std::string error;
    if (winsim::CloseMachine(&error)) return rc;
    std::istringstream lines(error);
    for (std::string line; std::getline(lines, line);)
        std::cerr << "winsim: " << line << "\n";
    return rc ? rc : 1;
}

// A command `winsim NAME DIR` that prints, a line each, what `lines` finds on the machine.
int PrintFromMachine(const std::vector<std::string>& a, std::vector<std::string> (*lines)()) {
    if (a.size() != 1) return Usage();
    if (!Open(a[0])) return 2;
    for (const std::string& line : lines())
        std::cout << line << "\n";
    return Close(0);
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
    // The scripted user's answers to the file dialogs and printer browsers, in order.
    std::vector<std::string> files, printers;
    auto answer = [](const std::string& text) { return text == "cancel" ? std::string() : text; };
    bool preview = false;
    for (size_t i = 2; i < a.size(); ++i) {
        if (a[i] == "--trace")
            options.takeTrace = [] {
                std::vector<std::string> lines = winsim::DebugOutput();
                winsim::ClearDebugOutput();
                return lines;
            };
        else if (a[i] == "--library" && i + 1 < a.size())
            library = a[++i];
        else if (a[i] == "--file" && i + 1 < a.size())
            files.push_back(answer(a[++i]));
        else if (a[i] == "--printer" && i + 1 < a.size())
            printers.push_back(answer(a[++i]));
        else if (a[i] == "--preview")
            preview = true;
        else
            return Usage();
    }
    std::string script;
    if (!ReadFile(a[1], &script)) {
        std::cerr << "winsim: cannot read " << a[1] << "\n";
        return 2;
    }
    // A preview runs on a copy of the machine and prints what the run changed there.
    winsim::MachineCopy copy;
    std::string dir = a[0];
    if (preview) {
        std::string error;
        if (!copy.Make(a[0], &error)) {
            std::cerr << "winsim: " << error << "\n";
            return 2;
        }
        dir = copy.Dir();
    }
    if (!Open(dir)) return 2;
    for (const std::string& path : files)
        winsim::QueueFileDialogAnswer(path);
    for (const std::string& item : printers)
        winsim::QueueBrowseAnswer(item);
    // The dialogs answered during a call are printed after it, as the journal has them.
    size_t filesSeen = winsim::FileDialogs().size(), browsesSeen = winsim::FolderBrowses().size();
    options.takeDialogs = [&] {
        auto quote = [](const std::string& s) { return "\"" + s + "\""; };
        std::vector<std::string> lines;
        const std::vector<winsim::FileDialogRecord> shown = winsim::FileDialogs();
        for (size_t i = filesSeen; i < shown.size(); ++i)
            lines.push_back("file dialog " + quote(shown[i].title) + " (" + shown[i].filter +
                            ", initial " + quote(shown[i].initialFile) + ") -> " +
                            (shown[i].answer.empty() ? "cancel" : shown[i].answer));
        filesSeen = shown.size();
        const std::vector<winsim::FolderBrowseRecord> browses = winsim::FolderBrowses();
        for (size_t i = browsesSeen; i < browses.size(); ++i)
            lines.push_back("printer browser " + quote(browses[i].title) + " -> " +
                            (browses[i].answer.empty() ? "cancel" : browses[i].answer));
        browsesSeen = browses.size();
        return lines;
    };
    options.makeEngineWindow = [](int listId) {
        return winsim::CreateEngineDialog("Select Components", listId);
    };
    options.listRows = winsim::ListBoxRows;
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
    rc = Close(rc);
    if (preview && !winsim::PrintPreview(a[0], dir, std::cout, std::cerr)) return 2;
    return rc;
}

// What differs between two machines, for a person or (--json) for a program. 0 when nothing
// does, 1 when something does, 2 when a machine cannot be read.
int CmdDiff(const std::vector<std::string>& a) {
    if (a.size() < 2 || a.size() > 3 || (a.size() == 3 && a[2] != "--json")) return Usage();
    winsim::MachineSnapshot snaps[2];
    for (int i = 0; i < 2; ++i) {
        if (!Open(a[static_cast<size_t>(i)])) return 2;
        snaps[i] = winsim::TakeSnapshot();
        if (Close(0) != 0) return 2;
    }
    const winsim::MachineDiff diff = winsim::CompareMachines(snaps[0], snaps[1]);
    if (a.size() == 3)
        winsim::PrintDiffJson(diff, std::cout);
    else
        winsim::PrintDiff(diff, std::cout);
    return diff.Empty() ? 0 : 1;
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
        return Close(0);
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
            return Close(1);
        }
        return Close(0);
    }
    return Usage();
}

// The spooler, one object a line: printers, drivers, monitors, processors, ports, connections.
int CmdShow(const std::vector<std::string>& a) {
    return PrintFromMachine(a, winsim::SpoolerLines);
}

// Runs PWUNINST as a program of its own on the machine, with the user's answers, and lists what
// it showed (from the machine's journal) and its exit code.
int CmdUninstall(const std::vector<std::string>& a) {
    if (a.empty()) return Usage();
    const char* env = std::getenv("WINSIM_PWUNINST");
    std::string program = env ? env : ExeDir() + "/PWUNINST.EXE";
    std::string commandLine, answers, clicks, steps, screenshots;
    bool trace = false, preview = false;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--answer" && i + 1 < a.size()) {
            int id = 0;
            if (!winsim::ParseAnswer(a[++i], &id)) {
                std::cerr << "winsim: unknown answer " << a[i] << "\n";
                return 2;
            }
            answers += (answers.empty() ? "" : ",") + a[i];
        } else if (a[i] == "--click" && i + 1 < a.size()) {
            clicks += (clicks.empty() ? "" : ",") + a[++i];
        } else if (a[i] == "--do" && i + 1 < a.size()) {
            std::string error;
            if (a[++i].find('\n') != std::string::npos ||
                !winsim::CheckUserStep(a[i], &error)) {
                std::cerr << "winsim: step \"" << a[i] << "\": "
                          << (error.empty() ? "a step is one line" : error) << "\n";
                return 2;
            }
            steps += (steps.empty() ? "" : "\n") + a[i];
        } else if (a[i] == "--program" && i + 1 < a.size()) {
            program = a[++i];
        } else if (a[i] == "--trace") {
            trace = true;
        } else if (a[i] == "--preview") {
            preview = true;
        } else if (a[i] == "--screenshots" && i + 1 < a.size()) {
            // A PNG of the screen each time it settles after a change, numbered in order.
            screenshots = a[++i];
            std::string made;
            for (size_t at = 0; at != std::string::npos;) {
                at = screenshots.find('/', at + 1);
                made = screenshots.substr(0, at);
                if (!made.empty()) mkdir(made.c_str(), 0777);
            }
            char* full = realpath(screenshots.c_str(), nullptr);
            struct stat info;
            if (!full || stat(full, &info) != 0 || !S_ISDIR(info.st_mode)) {
                std::cerr << "winsim: cannot make the folder " << screenshots << "\n";
                std::free(full);
                return 2;
            }
            screenshots = full;
            std::free(full);
        } else if (a[i].compare(0, 2, "--") == 0) {
            return Usage();
        } else {
            commandLine += (commandLine.empty() ? "" : " ") + a[i];
        }
    }
    // A failure the sweep arms is PWUNINST's: the tool hands it on and keeps none for itself, so
    // the failure points counted are the program's alone.
    std::vector<std::string> handedOn;
    for (const char* name : {"WINSIM_FAIL_AT", "WINSIM_FAILPOINT_COUNT"})
        if (const char* value = std::getenv(name)) {
            handedOn.push_back(std::string(name) + "=" + value);
            unsetenv(name);
        }
    // A preview runs PWUNINST on a copy of the machine and prints what it changed there.
    winsim::MachineCopy copy;
    std::string machine = a[0];
    if (preview) {
        std::string error;
        if (!copy.Make(a[0], &error)) {
            std::cerr << "winsim: " << error << "\n";
            return 2;
        }
        machine = copy.Dir();
    }
    if (!Open(machine)) return 2;
    size_t journalAt = winsim::JournalSize();
    // The program owns the machine while it runs: held here, its own open would wait for us.
    if (Close(0) != 0) return 1;

    char* real = realpath(machine.c_str(), nullptr);
    std::string dir = real ? real : machine;
    std::free(real);
    std::vector<std::string> vars = {"WINSIM_MACHINE=" + dir, "WINSIM_ANSWERS=" + answers,
                                     "WINSIM_CLICKS=" + clicks, "WINSIM_STEPS=" + steps,
                                     std::string("WINSIM_TRACE=") + (trace ? "1" : "0"),
                                     "WINSIM_SCREENSHOTS=" + screenshots};
    vars.insert(vars.end(), handedOn.begin(), handedOn.end());
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "WINSIM_", 7) != 0) envp.push_back(*e);
    for (std::string& v : vars)
        envp.push_back(&v[0]);
    envp.push_back(nullptr);
    std::string name = program.substr(program.rfind('/') + 1);
    std::vector<char*> argv = {&name[0]};
    if (!commandLine.empty()) argv.push_back(&commandLine[0]);
    argv.push_back(nullptr);

    std::cout << "PWUNINST " << commandLine << "\n" << std::flush;
    pid_t pid = fork();
    if (pid < 0) {
        std::cerr << "winsim: cannot start " << program << ": " << std::strerror(errno) << "\n";
        return 2;
    }
    if (pid == 0) {
        execve(program.c_str(), argv.data(), envp.data());
        std::fprintf(stderr, "winsim: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }

    if (!Open(machine)) return 2;
    bool exited = false;
    int code = 0;
    int stepErrors = 0;
    for (const std::string& line : winsim::JournalSince(journalAt)) {
        std::istringstream in(line);
        std::string what;
        in >> what;
        if (what == "messagebox") {
            std::string type, answer, rest;
            in >> type >> answer;
            std::getline(in, rest);
            if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
            size_t tab = rest.find('\t');
            std::string caption = rest.substr(0, tab);
            std::string text = tab == std::string::npos ? "" : rest.substr(tab + 1);
            std::cout << "message box \"" << caption << "\" (" << type << "): \"" << text
                      << "\" -> " << answer << "\n";
        } else if (what == "restart") {
            std::string flags;
            in >> flags;
            std::cout << "restart requested (ExitWindowsEx " << flags << ")\n";
        } else if (what == "closed") {
            std::string cls;
            std::getline(in, cls);
            std::cout << "window closed:" << cls << "\n";
        } else if (what == "dialog") {
            std::string caption;
            std::getline(in, caption);
            if (!caption.empty() && caption[0] == ' ') caption.erase(0, 1);
            std::cout << "window \"" << caption << "\"\n";
        } else if (what == "user") {
            std::string step;
            std::getline(in, step);
            std::cout << "user:" << step << "\n";
        } else if (what == "user-error") {
            std::string rest;
            std::getline(in, rest);
            if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
            size_t tab = rest.find('\t');
            std::cerr << "winsim: the user cannot take the step \"" << rest.substr(0, tab)
                      << "\": " << (tab == std::string::npos ? "" : rest.substr(tab + 1)) << "\n";
            std::cout << "user cannot: " << rest.substr(0, tab) << "\n";
            ++stepErrors;
        } else if (what == "exit") {
            in >> code;
            exited = true;
        }
    }
    if (Close(0) != 0) return 1;
    if (!exited) {
        if (WIFSIGNALED(status))
            std::cout << "PWUNINST ended by signal " << WTERMSIG(status) << "\n";
        else
            std::cout << "PWUNINST ended without finishing (status "
                      << (WIFEXITED(status) ? WEXITSTATUS(status) : -1) << ")\n";
        return 1;
    }
    std::cout << "exit code " << code << "\n";
    if (preview && !winsim::PrintPreview(a[0], machine, std::cout, std::cerr)) return 2;
    if (stepErrors) return 1; // what the run was to show did not happen
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// The next start of Windows on the machine, one line per thing it did.
int CmdReboot(const std::vector<std::string>& a) {
    return PrintFromMachine(a, winsim::Reboot);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        std::cout << kUsage;
        return 0;
    }
    std::vector<std::string> rest(argv + 2, argv + argc);
    try {
        if (cmd == "new") return CmdNew(rest);
        if (cmd == "run") return CmdRun(rest);
        if (cmd == "reg") return CmdReg(rest);
        if (cmd == "show") return CmdShow(rest);
        if (cmd == "uninstall") return CmdUninstall(rest);
        if (cmd == "reboot") return CmdReboot(rest);
        if (cmd == "diff") return CmdDiff(rest);
    } catch (const std::exception& e) {
        std::cerr << "winsim: " << e.what() << "\n";
        return 2;
    }
    std::cerr << "winsim: unknown command " << cmd << "\n";
    return Usage();
}
