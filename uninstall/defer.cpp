// What cannot be deleted while Windows runs goes at its next start: through the delayed list on
// Windows NT, through WININIT.INI (files) and a batch run once at logon (folders) on 95/98.
#include "removal.h"

#include <cstring>
#include <string>

#include "frame/filehandles.h"
#include "frame/handles.h"

namespace {

const char kBatchName[] = "DEL4720.BAT";
const char kPifName[] = "DEL4720.PIF";
const char kBatchHeader[] = "@ECHO OFF\r\n";
const char kRenameHeader[] = "[rename]\r\n";

// DIR\NAME, with no second backslash after a drive root.
bool JoinPath(const char* dir, const char* name, char (&out)[UN_PATH_SIZE]) {
    const size_t n = std::strlen(dir);
    const char* sep = n && dir[n - 1] == '\\' ? "" : "\\";
    return zrCopyWhole(out, sizeof out, (std::string(dir) + sep + name).c_str());
}

// W\NAME, W being the Windows directory.
bool WindowsFile(const char* name, char (&out)[UN_PATH_SIZE]) {
    char dir[UN_PATH_SIZE];
    UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    return n > 0 && n < sizeof dir && JoinPath(dir, name, out);
}

// The 8.3 form of an existing path, or false.
bool ShortForm(const char* path, char (&out)[UN_PATH_SIZE]) {
    DWORD n = GetShortPathNameA(path, out, sizeof out);
    return n > 0 && n < sizeof out;
}

// The command interpreter reads these as syntax or as the end of an argument: a path that holds
// one could run something else, or remove another folder.
bool SafeForBatch(const char* path) {
    for (const char* p = path; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || std::strchr("&|<>^%\" ,;=", c)) return false;
    }
    return path[0] != '\0';
}

// The path of a batch line: its short form, refused when the interpreter would read more in it.
bool BatchArgument(const char* path, char (&out)[UN_PATH_SIZE]) {
    return ShortForm(path, out) && SafeForBatch(out);
}

// Whether the last section that `text` opens is `section` ("[rename]"), case ignored.
bool LastSectionIs(const std::string& text, const std::string& section) {
    std::string last;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        size_t start = text.find_first_not_of(" \t", pos);
        if (start < end && text[start] == '[') {
            size_t close = text.find(']', start);
            if (close < end) last = text.substr(start, close - start + 1);
        }
        pos = end + 1;
    }
    return !last.empty() && lstrcmpiA(last.c_str(), section.c_str()) == 0;
}

void EnableShutdownPrivilege() {
    CZRHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put()))
        return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) return;
    AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// The interpreter that runs the batch when it has no program information file beside it.
std::string CommandInterpreter() {
    char value[UN_PATH_SIZE];
    DWORD n = GetEnvironmentVariableA("COMSPEC", value, sizeof value);
    if (n > 0 && n < sizeof value) return value;
    if (IsWindowsNT) {
        n = GetSystemDirectoryA(value, sizeof value);
        if (n > 0 && n < sizeof value)
            return std::string(value) + (value[n - 1] == '\\' ? "" : "\\") + "CMD.EXE";
    }
    char command[UN_PATH_SIZE];
    return WindowsFile("COMMAND.COM", command) ? command : "COMMAND.COM";
}

// Writes the program information file beside the batch and its "Del" line; true when the file
// was written whole.
bool WriteProgramInformation(const char* batch) {
    char pif[UN_PATH_SIZE];
    if (!WindowsFile(kPifName, pif)) return false;
    HRSRC found = FindResourceA(Instance, MAKEINTRESOURCEA(IDR_PIFTEMPLATE),
                                MAKEINTRESOURCEA(RT_PIFTEMPLATE));
    HGLOBAL loaded = found ? LoadResource(Instance, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    const DWORD size = SizeofResource(Instance, found);

    bool written = false;
    {
        CZRFile file(CreateFileA(pif, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD wrote = 0;
        if (file) written = WriteFile(file.Get(), bytes, size, &wrote, nullptr) && wrote == size;
    }
    // The line is written even when the file could not be: the name is 8.3 already, so the
    // Windows directory's short form makes the argument whether the file exists or not.
    char windows[UN_PATH_SIZE], windowsShort[UN_PATH_SIZE], line[UN_PATH_SIZE];
    const UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n > 0 && n < sizeof windows && ShortForm(windows, windowsShort) &&
        JoinPath(windowsShort, kPifName, line) && SafeForBatch(line))
        AppendLine(batch, kBatchHeader, "Del ", line);
    return written;
}

void RegisterBatch() {
    char batch[UN_PATH_SIZE];
    if (!WindowsFile(kBatchName, batch)) return;
    const bool pifWritten = WriteProgramInformation(batch);

    char batchShort[UN_PATH_SIZE];
    const char* batchPath = ShortForm(batch, batchShort) ? batchShort : batch;
    const std::string command =
        pifWritten ? std::string(batchPath) : CommandInterpreter() + " NUL /C " + batchPath;

    CZRRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UN_RUNONCE_KEY, 0, KEY_WRITE, key.Put()) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key.Get(), kBatchName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
}

} // namespace

int ScheduleDelete(const char* path, int isFolder) {
    if (!path || !path[0]) return 1;
    // Never a drive root, the Windows or system directory, nor (for folders) the shell's own.
    if (isFolder ? IsKeptFolder(path) : IsProtectedPath(path)) return 1;
    RestartNeeded = 1;
    if (MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return 0;

    char shortForm[UN_PATH_SIZE];
    if (!isFolder) {
        // WININIT.INI is carried out before long names are available: the 8.3 form is what it
        // can find.
        return AppendLine(WininitPath, kRenameHeader,
                          "NUL=", ShortForm(path, shortForm) ? shortForm : path);
    }
    char batch[UN_PATH_SIZE];
    if (!WindowsFile(kBatchName, batch) || !BatchArgument(path, shortForm)) return 1;
    const int result = AppendLine(batch, kBatchHeader, "rd ", shortForm);
    if (result == 0) BatchNeeded = 1;
    return result;
}

int AppendLine(const char* file, const char* header, const char* prefix, const char* text) {
    CZRFile handle(CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return 1;
    const DWORD end = SetFilePointer(handle.Get(), 0, nullptr, FILE_END);
    if (end == INVALID_SET_FILE_POINTER) return 1;

    std::string out;
    if (end == 0) {
        out = header;
    } else {
        // Lines other programs left stay as they are; ours go on a line of their own, below a
        // header of the kind this file needs ("[rename]" for WININIT.INI).
        std::string existing(end, '\0');
        DWORD got = 0;
        if (SetFilePointer(handle.Get(), 0, nullptr, FILE_BEGIN) == 0 &&
            ReadFile(handle.Get(), &existing[0], end, &got, nullptr))
            existing.resize(got);
        else
            existing.clear();
        SetFilePointer(handle.Get(), 0, nullptr, FILE_END);
        if (!existing.empty() && existing.back() != '\n') out += "\r\n";
        std::string section(header);
        while (!section.empty() && (section.back() == '\n' || section.back() == '\r'))
            section.pop_back();
        if (!section.empty() && section[0] == '[' && !LastSectionIs(existing, section))
            out += header;
    }
    out += prefix;
    out += text;
    out += "\r\n";
    DWORD wrote = 0;
    if (!WriteFile(handle.Get(), out.data(), static_cast<DWORD>(out.size()), &wrote, nullptr) ||
        wrote != out.size())
        return 1;
    return 0;
}

void FinishAndRestart() {
    if (!RestartNeeded) return;
    if (BatchNeeded) RegisterBatch();

    if (!CaptionText[0])
        CaptionLength = LoadStringA(Instance, IDS_CAPTION, CaptionText, sizeof CaptionText);
    // Cancel, or no question at all: what was deferred waits for whichever start comes next.
    if (ShowStringMessage(nullptr, IDS_RESTART_PROMPT, MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    if (IsWindowsNT) EnableShutdownPrivilege();
    ExitWindowsEx(EWX_REBOOT, 0);
}
