// Paths: the forms in which they are compared and joined, the shell's folders, and what is never
// deleted whatever a script lists (drive roots, the Windows and system directories, the shell's
// own folders).
#include "removal.h"

#include <cstring>
#include <string>

#include "common/registry.h"
#include "common/text.h"

namespace {

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Full path, short form where the path exists, no trailing backslash (but "C:\" keeps its own);
// taken as written when it has no full form.
std::string ComparableForm(const char* path) {
    char full[UN_PATH_SIZE];
    char* filePart = nullptr;
    const DWORD n = GetFullPathNameA(path, sizeof full, full, &filePart);
    std::string result = path;
    if (n > 0 && n < sizeof full) {
        char shortForm[UN_PATH_SIZE];
        const DWORD s = GetShortPathNameA(full, shortForm, sizeof shortForm);
        result = (s > 0 && s < sizeof shortForm) ? shortForm : full;
    }
    while (result.size() > 3 && result.back() == '\\')
        result.pop_back();
    return result;
}

// "C:", "C:\" and "\\SERVER\SHARE" with nothing below it.
bool IsDriveRoot(const std::string& path) {
    if (path.size() >= 2 && path.size() <= 3 && path[1] == ':' &&
        (path.size() == 2 || path[2] == '\\'))
        return true;
    if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
        std::string rest = path.substr(2);
        while (!rest.empty() && rest.back() == '\\')
            rest.pop_back();
        size_t slash = rest.find('\\');
        return slash == std::string::npos || rest.find('\\', slash + 1) == std::string::npos;
    }
    return false;
}

} // namespace

int IsProtectedPath(const char* path) {
    if (!path || !path[0]) return 0;
    const std::string candidate = UpperAscii(ComparableForm(path));
    if (IsDriveRoot(candidate)) return 1;

    char dir[UN_PATH_SIZE];
    UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    if (n > 0 && n < sizeof dir && candidate == UpperAscii(ComparableForm(dir))) return 1;
    n = GetSystemDirectoryA(dir, sizeof dir);
    if (n > 0 && n < sizeof dir && candidate == UpperAscii(ComparableForm(dir))) return 1;
    return 0;
}

int IsKeptFolder(const char* folder) {
    if (!folder || !folder[0] || IsDriveRoot(folder)) return 1;
    if (IsProtectedPath(folder)) return 1;
    const std::string candidate = ComparableForm(folder);
    // Every folder below the system directory is Windows's (the spooler's driver directory and
    // its version folders), even when the product's files were all it held; unknown, keep it.
    char sys[UN_PATH_SIZE];
    const UINT n = GetSystemDirectoryA(sys, sizeof sys);
    if (n == 0 || n >= sizeof sys) return 1;
    const std::string below = UpperAscii(ComparableForm(sys)) + "\\";
    if (UpperAscii(candidate).compare(0, below.size(), below) == 0) return 1;

    static const char* const kMachine[] = {"Common Desktop", "Common Start Menu", "Common Programs",
                                           "Common Startup"};
    static const char* const kUser[] = {"Desktop", "Start Menu", "Programs", "Startup"};
    const struct {
        HKEY root;
        const char* const* names;
    } sets[] = {{HKEY_LOCAL_MACHINE, kMachine}, {HKEY_CURRENT_USER, kUser}};
    for (const auto& set : sets) {
        CZRRegKey key;
        if (RegOpenKeyA(set.root, PW_SHELL_FOLDERS_KEY, key.Put()) != ERROR_SUCCESS) continue;
        for (int i = 0; i < 4; ++i) {
            char value[UN_PATH_SIZE];
            if (!zrReadRegText(key.Get(), set.names[i], value, sizeof value) || !value[0]) continue;
            if (lstrcmpiA(candidate.c_str(), ComparableForm(value).c_str()) == 0) return 1;
        }
    }
    return 0;
}

int ReadShellFolderSet(ShellFolderSet& out) {
    out.startup[0] = out.desktop[0] = out.programs[0] = '\0';
    {
        CZRRegKey machine;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, PW_SHELL_FOLDERS_KEY, machine.Put()) == ERROR_SUCCESS) {
            zrReadRegText(machine.Get(), "Common Startup", out.startup, sizeof out.startup);
            zrReadRegText(machine.Get(), "Common Desktop", out.desktop, sizeof out.desktop);
            if (zrReadRegText(machine.Get(), "Common Programs", out.programs, sizeof out.programs))
                return 1;
        }
    }
    CZRRegKey user;
    out.startup[0] = out.desktop[0] = out.programs[0] = '\0';
    if (RegOpenKeyA(HKEY_CURRENT_USER, PW_SHELL_FOLDERS_KEY, user.Put()) != ERROR_SUCCESS) return 0;
    zrReadRegText(user.Get(), "Startup", out.startup, sizeof out.startup);
    zrReadRegText(user.Get(), "Desktop", out.desktop, sizeof out.desktop);
    return zrReadRegText(user.Get(), "Programs", out.programs, sizeof out.programs) ? 1 : 0;
}

bool JoinPath(const char* dir, const char* name, char (&out)[UN_PATH_SIZE]) {
    const size_t n = std::strlen(dir);
    const char* sep = n && dir[n - 1] == '\\' ? "" : "\\";
    return zrCopyWhole(out, sizeof out, (std::string(dir) + sep + name).c_str());
}

bool WindowsFile(const char* name, char (&out)[UN_PATH_SIZE]) {
    char dir[UN_PATH_SIZE];
    UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    return n > 0 && n < sizeof dir && JoinPath(dir, name, out);
}

bool ShortForm(const char* path, char (&out)[UN_PATH_SIZE]) {
    DWORD n = GetShortPathNameA(path, out, sizeof out);
    return n > 0 && n < sizeof out;
}

bool SafeForBatch(const char* path) {
    for (const char* p = path; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || std::strchr("&|<>^%\" ,;=", c)) return false;
    }
    return path[0] != '\0';
}
