// What cannot be deleted while Windows runs goes at its next start: through the delayed list on
// Windows NT, through WININIT.INI (files) and a batch run once at logon (folders) on 95/98. The
// batch's lines are written here; startup.cpp registers it.
#include "removal.h"

#include <cstring>
#include <string>

#include "common/filehandles.h"

namespace {

const char kRenameHeader[] = "[rename]\r\n";

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
