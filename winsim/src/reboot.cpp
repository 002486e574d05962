// The next start of Windows (winsim::Reboot): the programs of the last session are gone, so their
// files are free and their windows closed; then what the system does at start-up (on NT the
// Session Manager's pending renames and deletions, on 95/98 WININIT.INI), then at logon the
// RunOnce commands. Batch files are carried out by a small command interpreter of our own that
// knows the commands uninstallers write; any other line is reported, never skipped in silence.
#include "internal.h"

#include <cstring>

using namespace winsim;

namespace {

const char kSessionManager[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
const char* const kRunOnce[] = {
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"};

std::string ErrorText(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return "file not found";
    case ERROR_PATH_NOT_FOUND:
        return "path not found";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_SHARING_VIOLATION:
        return "in use";
    case ERROR_DIR_NOT_EMPTY:
        return "folder not empty";
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return "target exists";
    default:
        return "error " + std::to_string(error);
    }
}

bool IsFolder(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Moves a file over another; Windows 95/98 have no MoveFileExA, so the target goes first there.
BOOL MoveReplacing(const std::string& from, const std::string& to) {
    if (IsNT()) return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(to.c_str()))
        return FALSE;
    return MoveFileA(from.c_str(), to.c_str());
}

std::string StripNtPrefix(const std::string& path) {
    return path.compare(0, 4, "\\??\\") == 0 ? path.substr(4) : path;
}

// ---- start-up ---------------------------------------------------------------------------------

void EndLastSession(std::vector<std::string>* report) {
    MachineState& m = Require();
    for (const auto& kv : m.ini.Entries("in-use"))
        report->push_back("free: " + kv.first);
    for (const auto& kv : m.ini.Entries("windows"))
        report->push_back("ended: " + kv.first);
    m.ini.ReplaceSection("in-use", {});
    if (m.ini.HasSection("windows")) m.ini.ReplaceSection("windows", {});
    WriteFileAtomic(m.dir + "/machine.ini", m.ini.Text());
}

// NT's Session Manager: each pair of the list in order; an empty target deletes, a target
// starting with '!' may replace an existing file.
void PendingOperations(std::vector<std::string>* report) {
    std::vector<SysValue> values;
    if (!SysValues(kSessionManager, &values)) return;
    std::vector<uint8_t> data;
    bool found = false;
    for (const SysValue& v : values) {
        if (IEquals(v.name, kPending)) {
            data = v.data;
            found = true;
        }
    }
    if (!found) return;
    std::vector<std::string> strings;
    std::string cur;
    for (uint8_t b : data) {
        if (b == 0) {
            strings.push_back(cur);
            cur.clear();
        } else {
            cur += static_cast<char>(b);
        }
    }
    for (size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2) {
        std::string from = StripNtPrefix(strings[i]);
        std::string to = strings[i + 1];
        if (to.empty()) {
            bool folder = IsFolder(from);
            BOOL ok = folder ? RemoveDirectoryA(from.c_str()) : DeleteFileA(from.c_str());
            report->push_back(ok ? "pending: deleted " + from
                                 : "pending: not deleted " + from + ": " +
                                       ErrorText(GetLastError()));
        } else {
            bool replace = to[0] == '!';
            to = StripNtPrefix(replace ? to.substr(1) : to);
            BOOL ok =
                MoveFileExA(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0);
            report->push_back(ok ? "pending: renamed " + from + " to " + to
                                 : "pending: not renamed " + from + ": " +
                                       ErrorText(GetLastError()));
        }
    }
    SysDeleteValue(kSessionManager, kPending);
}

// Windows 95/98 carries out WININIT.INI's [rename] section in order, then keeps the file as
// WININIT.BAK. "NUL=path" deletes a file; "target=source" moves source over target.
void Wininit(std::vector<std::string>* report) {
    std::string windir = WindowsDir();
    std::string ini = windir + "\\WININIT.INI";
    std::string text;
    if (!ReadWholeFile(HostPath(ini), &text)) return;
    IniFile file;
    file.Parse(text);
    for (const std::string& line : file.SectionBody("rename")) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            report->push_back("wininit: not understood: " + line);
            continue;
        }
        std::string target = Trim(line.substr(0, eq)), source = Trim(line.substr(eq + 1));
        if (IEquals(target, "NUL")) {
            if (IsFolder(source)) { // WININIT deletes files only
                report->push_back("wininit: not deleted " + source + ": a folder");
                continue;
            }
            BOOL ok = DeleteFileA(source.c_str());
            report->push_back(ok ? "wininit: deleted " + source
                                 : "wininit: not deleted " + source + ": " +
                                       ErrorText(GetLastError()));
        } else {
            BOOL ok = MoveReplacing(source, target);
            report->push_back(ok ? "wininit: moved " + source + " to " + target
                                 : "wininit: not moved " + source + ": " +
                                       ErrorText(GetLastError()));
        }
    }
    std::string bak = windir + "\\WININIT.BAK";
    if (MoveReplacing(ini, bak))
        report->push_back("wininit: WININIT.INI is now WININIT.BAK");
    else
        report->push_back("wininit: WININIT.INI not renamed: " + ErrorText(GetLastError()));
}

// ---- the command interpreter --------------------------------------------------------------------

// Words of a command line: blanks separate, double quotes group.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false, any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any) out.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any) out.push_back(cur);
    return out;
}

std::string Absolute(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path;
    std::string windir = WindowsDir();
    if (!path.empty() && path[0] == '\\') return windir.substr(0, 2) + path;
    return windir + "\\" + path;
}

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    return s.size() >= n && IEquals(s.substr(s.size() - n), tail);
}

// The files a DEL argument names: one path, or the matches of a wildcard in its folder.
std::vector<std::string> Matches(const std::string& path) {
    if (path.find_first_of("*?") == std::string::npos) return {path};
    std::vector<std::string> out;
    std::string folder = path.substr(0, path.rfind('\\') + 1);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(folder + fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return out;
}

void RunBatch(const std::string& batch, std::vector<std::string>* report) {
    std::string text;
    std::string host = HostPath(batch);
    if (host.empty() || !ReadWholeFile(host, &text)) {
        report->push_back("batch " + batch + ": not found");
        return;
    }
    size_t eof = text.find('\x1A'); // ^Z ends a DOS text file
    if (eof != std::string::npos) text.resize(eof);
    size_t at = 0;
    int number = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        std::string raw = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? text.size() : nl + 1;
        ++number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string line = Trim(raw);
        std::string where = "batch " + batch + " line " + std::to_string(number) + ": ";
        if (!line.empty() && line[0] == '@') line = Trim(line.substr(1));
        if (line.empty() || line[0] == ':') continue; // blank lines, labels and :: comments
        if (line.find_first_of("&|<>^%") != std::string::npos) {
            report->push_back(where +
                              "not carried out (command syntax winsim does not run): " + raw);
            continue;
        }
        std::vector<std::string> w = Words(line);
        std::string cmd = w[0];
        std::vector<std::string> args(w.begin() + 1, w.end());
        if (IEquals(cmd, "REM")) continue;
        // RD and DEL take exactly one path; the report says what is wrong otherwise.
        auto onePath = [&] {
            if (args.size() == 1) return true;
            report->push_back(
                where + (args.empty() ? "required parameter missing: " : "too many parameters: ") +
                raw);
            return false;
        };
        if (IEquals(cmd, "ECHO")) {
            if (args.size() == 1 && (IEquals(args[0], "OFF") || IEquals(args[0], "ON"))) continue;
            report->push_back(where + "echo " + Trim(line.substr(4)));
            continue;
        }
        if (IEquals(cmd, "RD") || IEquals(cmd, "RMDIR")) {
            if (!onePath()) continue;
            std::string path = Absolute(args[0]);
            BOOL ok = RemoveDirectoryA(path.c_str());
            report->push_back(where +
                              (ok ? "removed " + path
                                  : "not removed " + path + ": " + ErrorText(GetLastError())));
            continue;
        }
        if (IEquals(cmd, "DEL") || IEquals(cmd, "ERASE")) {
            if (!onePath()) continue;
            std::string path = Absolute(args[0]);
            std::vector<std::string> files = Matches(path);
            if (files.empty())
                report->push_back(where + "not deleted " + path + ": file not found");
            for (const std::string& f : files) {
                BOOL ok = DeleteFileA(f.c_str());
                report->push_back(
                    where +
                    (ok ? "deleted " + f : "not deleted " + f + ": " + ErrorText(GetLastError())));
            }
            continue;
        }
        report->push_back(where + "unknown command, not carried out: " + raw);
    }
}

// A RunOnce command: a batch file, or the command interpreter asked to run one ("/C file.BAT").
void RunCommand(const std::string& name, const std::string& command,
                std::vector<std::string>* report) {
    report->push_back("runonce " + name + ": " + command);
    std::vector<std::string> w = Words(command);
    if (w.empty()) return;
    std::string program = w[0];
    std::string base = program.substr(program.find_last_of("\\:") + 1);
    if (EndsWith(program, ".BAT") || EndsWith(program, ".CMD")) {
        RunBatch(Absolute(program), report);
        return;
    }
    if (IEquals(base, "COMMAND.COM") || IEquals(base, "CMD.EXE") || IEquals(base, "COMMAND") ||
        IEquals(base, "CMD")) {
        for (size_t i = 1; i + 1 < w.size(); ++i) {
            if (IEquals(w[i], "/C") && (EndsWith(w[i + 1], ".BAT") || EndsWith(w[i + 1], ".CMD"))) {
                if (i + 2 < w.size()) break; // arguments to the batch: not ours to run
                RunBatch(Absolute(w[i + 1]), report);
                return;
            }
        }
    }
    report->push_back("runonce " + name + ": not run (winsim runs batch files only)");
}

void RunOnce(std::vector<std::string>* report) {
    for (const char* key : kRunOnce) {
        std::vector<SysValue> values;
        if (!SysValues(key, &values)) continue;
        for (const SysValue& v : values) {
            std::string command(v.data.begin(), v.data.end());
            while (!command.empty() && command.back() == '\0')
                command.pop_back();
            // The value goes before its command runs, so a command that fails is not retried.
            SysDeleteValue(key, v.name);
            if (v.type != REG_SZ && v.type != REG_EXPAND_SZ) {
                report->push_back("runonce " + v.name + ": not a text value, not run");
                continue;
            }
            RunCommand(v.name, command, report);
        }
    }
}

} // namespace

namespace winsim {

std::vector<std::string> Reboot() {
    Require();
    WritePendingProfile(); // the session's programs end, so the profile cache goes to its files
    std::vector<std::string> report;
    EndLastSession(&report);
    if (IsNT())
        PendingOperations(&report);
    else
        Wininit(&report);
    RunOnce(&report);
    FlushRegistry();
    return report;
}

} // namespace winsim
