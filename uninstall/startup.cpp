// Startup entries: a deleted program taken out of the load= line (Windows NT) and the Run key
// (95/98), and the next-start batch registered under RunOnce with its program information file.
#include "removal.h"

#include <cstring>
#include <string>

#include "common/filehandles.h"
#include "common/registry.h"

namespace {

const char kLoadKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const char kPifName[] = "DEL4720.PIF";

// Where the file name of a program stands in a command text as a name of its own (not the tail
// of a longer name); null when it does not.
const char* FindProgramName(const char* text, const char* name) {
    const size_t n = std::strlen(name);
    const size_t len = std::strlen(text);
    for (size_t i = 0; i + n <= len; ++i) {
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, text + i, static_cast<int>(n),
                           name, static_cast<int>(n)) != CSTR_EQUAL)
            continue;
        const char before = i == 0 ? ' ' : text[i - 1];
        const char after = text[i + n];
        const bool startsName = std::strchr(" \t,\"\\/:=", before) != nullptr;
        const bool endsName = after == '\0' || std::strchr(" \t,\"", after) != nullptr;
        if (startsName && endsName) return text + i;
    }
    return nullptr;
}

bool IsLoadSeparator(char c) {
    return c == ' ' || c == ',' || c == '\t';
}

// Cuts the program out of a "load" list: its whole word (path included) and the separators
// after it, or before it when it is the last word.
void CutProgram(char* text, const char* match, size_t nameLength) {
    char* start = const_cast<char*>(match);
    char* end = start + nameLength;
    char* open = nullptr;
    if (*end == '"') {
        // A quoted path may hold blanks: the word begins at its opening quote.
        for (char* p = start; p > text && !open; --p)
            if (p[-1] == '"') open = p - 1;
        ++end;
    }
    if (open) {
        start = open;
    } else {
        while (start > text && !IsLoadSeparator(start[-1]))
            --start;
    }
    if (*end) {
        while (IsLoadSeparator(*end))
            ++end;
    } else {
        while (start > text && IsLoadSeparator(start[-1]))
            --start;
    }
    std::memmove(start, end, std::strlen(end) + 1);
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

} // namespace

void RemoveStartupEntries(const char* programPath) {
    if (!programPath) return;
    const char* slash = std::strrchr(programPath, '\\');
    const char* name = slash ? slash + 1 : programPath;
    if (!name[0]) return;
    const size_t nameLength = std::strlen(name);

    if (IsWindowsNT) {
        CZRRegKey key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kLoadKey, 0, PW_KEY_ACCESS, key.Put()) !=
            ERROR_SUCCESS)
            return;
        char load[UN_FIELD_SIZE];
        if (!zrReadRegText(key.Get(), "load", load, sizeof load)) return;
        const char* match = FindProgramName(load, name);
        if (!match) return;
        CutProgram(load, match, nameLength);
        RegSetValueExA(key.Get(), "load", 0, REG_SZ, reinterpret_cast<const BYTE*>(load),
                       static_cast<DWORD>(std::strlen(load) + 1));
        return;
    }

    CZRRegKey run;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PW_RUN_KEY, 0, PW_KEY_ACCESS, run.Put()) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;;) {
        char valueName[UN_PATH_SIZE];
        DWORD nameSize = sizeof valueName;
        char data[UN_FIELD_SIZE];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        LONG rc = RegEnumValueA(run.Get(), index, valueName, &nameSize, nullptr, &type,
                                reinterpret_cast<LPBYTE>(data), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) ||
            !zrEndText(data, dataSize, sizeof data)) {
            // Too long for its buffers, or no command: not ours to judge.
            if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) break;
            ++index;
            continue;
        }
        if (FindProgramName(data, name) && RegDeleteValueA(run.Get(), valueName) == ERROR_SUCCESS)
            continue; // the next value moved up to this index
        ++index;
    }
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
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PW_RUNONCE_KEY, 0, KEY_WRITE, key.Put()) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key.Get(), kBatchName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
}
