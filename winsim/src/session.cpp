// The process's session: the virtual clock (GetTickCount, Sleep), the environment, the command
// line, the user name, and the machine's journal of what programs showed and asked for.
#include "ui.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace winsim;

namespace {

// Some minutes after the start of Windows, as a program started by the user would see it.
constexpr uint32_t kClockAtStart = 180000;

struct Session {
    uint32_t clock = kClockAtStart;
    std::map<std::string, std::string> envSet; // SetEnvironmentVariableA, upper-case names
    std::string commandLine;
    std::string commandLineBuffer; // what GetCommandLineA hands out
};
Session& TheSession() {
    static auto* s = new Session;
    return *s;
}

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr,
                                                    [] {
                                                        TheSession().envSet.clear();
                                                        TheSession().clock = kClockAtStart;
                                                    }}),
                      true);

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
        env["USERNAME"] = GetSetting("machine", "user", "Administrator");
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
    for (const auto& kv : TheSession().envSet) {
        if (kv.second.empty())
            env.erase(kv.first);
        else
            env[kv.first] = kv.second;
    }
    return env;
}

std::string JournalPath() {
    return Require().dir + "/events.log";
}

} // namespace

namespace winsim {

uint32_t ClockNow() {
    return TheSession().clock;
}

uint32_t TickCount() {
    return TheSession().clock;
}

void AdvanceClock(uint32_t ms) {
    TheSession().clock += ms;
}

void SetProcessCommandLine(const std::string& commandLine) {
    TheSession().commandLine = commandLine;
}

std::string JournalText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

void Journal(const std::string& line) {
    std::ofstream out(JournalPath(), std::ios::binary | std::ios::app);
    // One line each: a line break inside would start another entry.
    std::string text;
    for (char c : line)
        text += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    out << text << "\n";
}

size_t JournalSize() {
    struct stat st;
    return stat(JournalPath().c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
}

std::vector<std::string> JournalSince(size_t offset) {
    std::vector<std::string> lines;
    std::string text;
    if (!ReadWholeFile(JournalPath(), &text) || offset >= text.size()) return lines;
    size_t at = offset;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    return lines;
}

} // namespace winsim

extern "C" {

DWORD WINAPI GetTickCount(void) {
    // Reading the clock takes a moment, so a loop that only watches it still ends.
    return TheSession().clock++;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    TheSession().clock += dwMilliseconds;
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    Require();
    DWORD err;
    if (ShouldFail("GetEnvironmentVariableA", &err)) {
        SetLastError(err);
        return 0;
    }
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
    if (!lpName || !*lpName || std::strchr(lpName, '=')) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    TheSession().envSet[Upper(lpName)] = lpValue ? lpValue : "";
    return TRUE;
}

LPSTR WINAPI GetCommandLineA(void) {
    Session& s = TheSession();
    if (s.commandLine.empty()) {
        char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : "MAIN.EXE";
        s.commandLine = path.substr(path.rfind('/') + 1);
    }
    s.commandLineBuffer = s.commandLine;
    return &s.commandLineBuffer[0];
}

} // extern "C"
