// The process's environment and command line (kernel32, winbase.h): GetEnvironmentVariableA,
// SetEnvironmentVariableA and GetCommandLineA.
#include "account.h"

#include <cstring>
#include <unistd.h>

using namespace winsim;

namespace {

// What SetEnvironmentVariableA set, by upper-case name. Never destroyed: the machine's close at
// process exit empties it.
std::map<std::string, std::string>& EnvSet() {
    static auto* set = new std::map<std::string, std::string>;
    return *set;
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { EnvSet().clear(); }}), true);

struct CommandLine {
    std::string text;
    std::string buffer; // what GetCommandLineA hands out
};
CommandLine& TheCommandLine() {
    static auto* commandLine = new CommandLine;
    return *commandLine;
}

// The variables a fresh Windows of the machine's version gives a program, then machine.ini
// [environment] (an empty value removes a variable), then the process's own changes.
std::map<std::string, std::string> Environment() {
    std::map<std::string, std::string> env;
    std::string win = WindowsDir();
    if (IsNT()) {
        env["COMSPEC"] = SystemDir() + "\\cmd.exe";
        env["OS"] = "Windows_NT";
        env["SYSTEMROOT"] = win;
        env["SYSTEMDRIVE"] = win.substr(0, 2);
        env["USERNAME"] = MachineUser();
        env["PATH"] = SystemDir() + ";" + win;
        env["TEMP"] = win + "\\TEMP";
    } else {
        env["COMSPEC"] = win + "\\COMMAND.COM";
        env["PATH"] = win + ";" + win + "\\COMMAND";
        env["TEMP"] = win + "\\TEMP";
        env["PROMPT"] = "$p$g";
    }
    env["TMP"] = env["TEMP"];
    env["WINDIR"] = win;
    if (MachineState* m = Current()) {
        for (const auto& kv : m->ini.Entries("environment")) {
            if (kv.second.empty())
                env.erase(Upper(kv.first));
            else
                env[Upper(kv.first)] = kv.second;
        }
    }
    for (const auto& kv : EnvSet()) {
        if (kv.second.empty())
            env.erase(kv.first);
        else
            env[kv.first] = kv.second;
    }
    return env;
}

} // namespace

void winsim::SetProcessCommandLine(const std::string& commandLine) {
    TheCommandLine().text = commandLine;
}

extern "C" {

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    Require();
    WINSIM_FAILPOINT(0u);
    if (!lpName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto env = Environment();
    auto it = env.find(Upper(lpName));
    if (it == env.end()) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    // Too small a buffer: the size needed, terminating NUL included, and nothing written.
    DWORD length = static_cast<DWORD>(it->second.size());
    if (!lpBuffer || nSize <= length) return length + 1;
    std::memcpy(lpBuffer, it->second.c_str(), length + 1);
    return length;
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
    Require();
    WINSIM_FAILPOINT(FALSE);
    if (!lpName || !*lpName || std::strchr(lpName, '=')) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    EnvSet()[Upper(lpName)] = lpValue ? lpValue : "";
    return TRUE;
}

LPSTR WINAPI GetCommandLineA(void) {
    CommandLine& s = TheCommandLine();
    if (s.text.empty()) {
        char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : "MAIN.EXE";
        s.text = path.substr(path.rfind('/') + 1);
    }
    s.buffer = s.text;
    return &s.buffer[0];
}

} // extern "C"
