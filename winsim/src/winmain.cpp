// The start of a GUI program on the simulated machine: main() for a program whose entry is
// WinMain. Linked from the static library winsim_winmain. The machine is the folder that the
// environment variable WINSIM_MACHINE names; WINSIM_ANSWERS ("yes,no,ok") queues the scripted
// user's message box answers, WINSIM_CLICKS ("1,2") its clicks in modal dialogs by control ID and
// WINSIM_STEPS its steps (one a line, as winsim::QueueUserStep reads them); with WINSIM_TRACE=1
// the program's debug output goes to standard error at the end; WINSIM_SCREENSHOTS names a folder
// for pictures of the screen (winsim::TakeScreenshots).
#include <windows.h>

#include "../machine.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::vector<std::string> Split(const char* text, char separator = ',') {
    std::vector<std::string> out;
    std::string cur;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == separator) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("WINSIM_MACHINE");
    if (!dir || !*dir) {
        std::fprintf(stderr, "%s: WINSIM_MACHINE names no machine folder\n", argv[0]);
        return 2;
    }
    std::string error;
    if (!winsim::OpenMachine(dir, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        return 2;
    }
    for (const std::string& a : Split(std::getenv("WINSIM_ANSWERS"))) {
        int answer = 0;
        if (!winsim::ParseAnswer(a, &answer)) {
            std::fprintf(stderr, "%s: unknown answer %s\n", argv[0], a.c_str());
            return 2;
        }
        winsim::QueueMessageBoxAnswer(answer);
    }
    for (const std::string& c : Split(std::getenv("WINSIM_CLICKS")))
        winsim::QueueDialogClick(std::atoi(c.c_str()));
    for (const std::string& step : Split(std::getenv("WINSIM_STEPS"), '\n')) {
        if (!winsim::QueueUserStep(step, &error)) {
            std::fprintf(stderr, "%s: step \"%s\": %s\n", argv[0], step.c_str(), error.c_str());
            return 2;
        }
    }

    if (const char* folder = std::getenv("WINSIM_SCREENSHOTS"); folder && *folder)
        winsim::TakeScreenshots(folder);

    // The command line as Windows hands it to WinMain: the text after the program's name.
    std::string args;
    for (int i = 1; i < argc; ++i)
        args += (i > 1 ? " " : "") + std::string(argv[i]);
    std::string program = argv[0];
    program = program.substr(program.rfind('/') + 1);
    winsim::SetProcessCommandLine(args.empty() ? program : program + " " + args);

    int rc = WinMain(GetModuleHandleA(nullptr), nullptr, &args[0], SW_SHOWNORMAL);
    winsim::Journal("exit " + std::to_string(rc));
    const char* trace = std::getenv("WINSIM_TRACE");
    if (trace && std::string(trace) == "1") {
        const std::vector<std::string> lines = winsim::DebugOutput();
        for (const std::string& line : lines)
            std::fprintf(stderr, "%s\n", line.c_str());
        if (lines.empty()) std::fprintf(stderr, "%s: --trace: the program sent no debug output\n", argv[0]);
    }
    if (!winsim::CloseMachine(&error)) { // what the program changed did not all reach the disk
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        return rc ? rc : 1;
    }
    return rc;
}
