// Removal of one component of the uninstall script: its printer and port, its files with the
// folders they leave empty, profile entries, registry entries and shortcuts. The registry
// operations, startup entries and deferred deletions it asks for have files of their own.
#include "removal.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/filehandles.h"
#include "common/registry.h"
#include "common/text.h"

namespace {

// The product's utility windows; each must let go of its files before the desktop component
// goes.
const char* const kDeskWindowClasses[] = {"PW_DocumentAssistantClass", "pwzriFrameOrView",
                                          "PWCopyUtilAppClass"};

bool EndsWithNoCase(const char* text, const char* tail) {
    const size_t n = std::strlen(text);
    const size_t t = std::strlen(tail);
    return n >= t && lstrcmpiA(text + n - t, tail) == 0;
}

template <typename Visit> void ForEachEntry(const std::vector<char>& list, Visit visit) {
    for (const char* p = list.data(); *p; p += std::strlen(p) + 1)
        visit(p);
}

// Each entry of a section of the script, expanded.
template <typename Visit> void ForEachEntryOf(const char* section, Visit visit) {
    std::vector<char> list(UN_KEY_LIST_SIZE);
    ReadEntries(section, list);
    ForEachEntry(list, visit);
}

// A registry root written as the signed decimal value of its handle.
bool ParseRoot(const char* text, HKEY* root) {
    long value = 0;
    if (std::sscanf(text, "%ld", &value) != 1) return false;
    *root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(value)));
    return true;
}

// One key of the component's section; false when it is absent or empty.
bool ReadComponentKey(const char* component, const char* key, char (&value)[UN_FIELD_SIZE]) {
    GetPrivateProfileStringA(component, key, NotThereSentinel, value, sizeof value, ScriptPath);
    return std::strcmp(value, NotThereSentinel) != 0 && value[0] != '\0';
}

void CloseDeskWindows() {
    for (const char* cls : kDeskWindowClasses) {
        HWND window = FindWindowA(cls, nullptr);
        if (window) SendMessageA(window, WM_CLOSE, 0, 0);
    }
}

void RemoveFiles(const char* section, int honour) {
    std::vector<char> keys(UN_KEY_LIST_SIZE);
    ReadKeyNames(section, keys.data(), static_cast<int>(keys.size()));
    ForEachEntry(keys, [&](const char* key) {
        char expanded[UN_FILE_ENTRY_SIZE];
        // A key that does not fit would be cut into the name of another file.
        if (!zrCopyWhole(expanded, sizeof expanded, key)) return;
        ExpandPlaceholder(expanded, sizeof expanded);
        if (!expanded[0]) return;
        char path[UN_PATH_SIZE];
        zrCopyWhole(path, sizeof path, expanded);
        if (!honour) {
            DropSharedCount(expanded);
            RemoveFile(path);
            return;
        }
        if (GetPrivateProfileIntA(section, key, 0, ScriptPath) != 0 ||
            ReleaseSharedCount(expanded) == 0)
            RemoveFile(path);
    });
}

void RemoveProfileEntries(const char* section) {
    ForEachEntryOf(section, [](const char* entry) {
        EntryFields fields;
        char *file, *sect, *key;
        if (SplitEntry(entry, fields, &file, &sect, &key)) {
            WritePrivateProfileStringA(sect, key, nullptr, file);
            char names[UN_FIELD_SIZE];
            GetPrivateProfileStringA(sect, nullptr, NotThereSentinel, names, sizeof names, file);
            if (std::strcmp(names, NotThereSentinel) == 0)
                WritePrivateProfileStringA(sect, nullptr, nullptr, file);
        } else if (SplitEntry(entry, fields, &file, &sect)) {
            WritePrivateProfileStringA(sect, nullptr, nullptr, file);
        }
    });
}

void RemoveRegistryEntries(const char* section) {
    ForEachEntryOf(section, [](const char* entry) {
        EntryFields fields;
        char *root, *subkey, *value;
        HKEY hRoot = nullptr;
        if (SplitEntry(entry, fields, &root, &subkey, &value)) {
            if (ParseRoot(root, &hRoot)) RemoveRegValue(hRoot, subkey, value);
        } else if (SplitEntry(entry, fields, &root, &subkey)) {
            if (ParseRoot(root, &hRoot)) DeleteRegTree(hRoot, subkey);
        }
    });
}

void AddRegistryEntries(const char* section) {
    std::vector<char> data(UN_KEY_LIST_SIZE);
    ForEachEntryOf(section, [&](const char* entry) {
        EntryFields fields;
        char *root, *subkey, *value, *type;
        if (!SplitEntry(entry, fields, &root, &subkey, &value, &type)) return;
        HKEY hRoot = nullptr;
        unsigned valueType = 0;
        if (!ParseRoot(root, &hRoot) || std::sscanf(type, "%u", &valueType) != 1) return;
        GetPrivateProfileStringA(section, entry, NotThereSentinel, data.data(),
                                 static_cast<DWORD>(data.size()), ScriptPath);
        if (std::strcmp(data.data(), NotThereSentinel) == 0) return;
        CZRRegKey key;
        if (RegOpenKeyExA(hRoot, subkey, 0, PW_KEY_ACCESS, key.Put()) != ERROR_SUCCESS)
            key = CZRRegKey(CreateRegPath(hRoot, subkey));
        if (!key) return;
        RegSetValueExA(key.Get(), value, 0, valueType, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(std::strlen(data.data())));
    });
}

void RemoveShortcuts(const char* section) {
    ForEachEntryOf(section, [&](const char* entry) {
        const int prune = static_cast<int>(GetPrivateProfileIntA(section, entry, 1, ScriptPath));
        EntryFields fields;
        char *folder, *name, *unused;
        if (SplitEntry(entry, fields, &folder, &name, &unused)) RemoveShortcut(folder, name, prune);
    });
}

// The folder that holds `path` as written ("C:" for a file at a drive's root); false when the
// path names no folder.
bool FolderOf(const char* path, char (&out)[UN_PATH_SIZE]) {
    const char* slash = std::strrchr(path, '\\');
    if (!slash || slash == path) return false;
    const size_t length = static_cast<size_t>(slash - path);
    if (length >= sizeof out) return false;
    std::memcpy(out, path, length);
    out[length] = '\0';
    return true;
}

// The short (8.3) form of `folder` ("C:" as it is), which pruning and deferred removals go by;
// the folder as written when it has none that fits.
void ShortFolder(const char* folder, char (&out)[UN_PATH_SIZE]) {
    const bool driveOnly = folder[0] && folder[1] == ':' && folder[2] == '\0';
    const DWORD n = driveOnly ? 0 : GetShortPathNameA(folder, out, sizeof out);
    if (n == 0 || n >= sizeof out) std::memcpy(out, folder, std::strlen(folder) + 1);
}

// Whether `folder` can be listed and lists nothing but "." and "..".
bool HoldsNothing(const char* folder) {
    char pattern[UN_PATH_SIZE];
    if (std::snprintf(pattern, sizeof pattern, "%s\\*.*", folder) >=
        static_cast<int>(sizeof pattern))
        return false;
    WIN32_FIND_DATAA found;
    CZRFindFile find(FindFirstFileA(pattern, &found));
    if (!find) return false;
    do {
        const char* name = found.cFileName;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        char inside[UN_PATH_SIZE];
        if (std::snprintf(inside, sizeof inside, "%s\\%s", folder, name) >=
                static_cast<int>(sizeof inside) ||
            GetFileAttributesA(inside) != INVALID_FILE_ATTRIBUTES)
            return false;
    } while (FindNextFileA(find.Get(), &found));
    return true;
}

// Removes the folder of a deleted file and those above it while they are empty, from the
// innermost outwards.
void PruneFrom(char* folder) {
    while (RemoveEmptyDirectory(folder)) {
        char* cut = std::strrchr(folder, '\\');
        if (!cut) return;
        *cut = '\0';
        if (!folder[0]) return;
    }
}

} // namespace

void RemoveComponent(const char* list, const char* component, int honour) {
    if (lstrcmpiA(component, "desk") == 0) CloseDeskWindows();

    char value[UN_FIELD_SIZE];
    if (ReadComponentKey(component, "Driver", value)) RemovePrinter(value);
    if (ReadComponentKey(component, "Files", value)) RemoveFiles(value, honour);
    if (ReadComponentKey(component, "Port", value)) RemovePort(value);
    if (ReadComponentKey(component, "Inidel", value)) RemoveProfileEntries(value);
    if (ReadComponentKey(component, "Regdel", value)) RemoveRegistryEntries(value);
    if (ReadComponentKey(component, "Regadd", value)) AddRegistryEntries(value);
    if (ReadComponentKey(component, "Icon", value)) RemoveShortcuts(value);

    WritePrivateProfileStringA(list, component, "0", ScriptPath);
}

void RemoveFile(char* path) {
    if (!path || !path[0]) return;
    if (DeleteFileA(path)) {
        // Most files leave others beside them: the folder as written tells, without the short
        // form that pruning and any deferred removal of the folder go by.
        char folder[UN_PATH_SIZE], shortFolder[UN_PATH_SIZE];
        if (FolderOf(path, folder) && HoldsNothing(folder)) {
            ShortFolder(folder, shortFolder);
            PruneFrom(shortFolder);
        }
    } else if (const DWORD attributes = GetFileAttributesA(path);
               attributes != INVALID_FILE_ATTRIBUTES) {
        // A folder named as a file is never removed this way (DeleteFileA refuses it), a drive
        // root or the Windows or system directory least of all; neither WININIT.INI nor the
        // delayed list would remove it either.
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return;
        if (ScheduleDelete(path, 0) != 0) return;
        // The folder goes at the next start too, if it is empty by then.
        char folder[UN_PATH_SIZE], shortFolder[UN_PATH_SIZE];
        if (FolderOf(path, folder)) {
            ShortFolder(folder, shortFolder);
            ScheduleDelete(shortFolder, 1);
        }
    }

    if (EndsWithNoCase(path, ".exe")) RemoveStartupEntries(path);
    if (EndsWithNoCase(path, ".hlp")) {
        // The index Windows Help builds beside a help file.
        std::memcpy(path + std::strlen(path) - 4, ".gid", 4);
        RemoveFile(path);
    }
}

int RemoveEmptyDirectory(const char* folder) {
    if (!folder || !folder[0]) return 0;
    if (!HoldsNothing(folder)) return 0;
    // Asked only of empty folders: the shell's and the system's own stay even then.
    if (IsKeptFolder(folder)) return 0;

    for (int attempt = 0; attempt < 5; ++attempt) {
        if (RemoveDirectoryA(folder)) return 1;
        Sleep(1000);
    }
    // Still locked: the folder and those above it go at the next start, when they are empty.
    char pending[UN_PATH_SIZE];
    if (!zrCopyWhole(pending, sizeof pending, folder)) return 0;
    ScheduleDelete(pending, 1);
    for (char* cut = std::strrchr(pending, '\\'); cut; cut = std::strrchr(pending, '\\')) {
        *cut = '\0';
        if (!pending[0]) break;
        ScheduleDelete(pending, 1);
    }
    return 0;
}

void RemoveShortcut(const char* folder, const char* name, int prune) {
    ShellFolderSet shell;
    if (!ReadShellFolderSet(shell)) return;

    char where[UN_PATH_SIZE];
    if (lstrcmpiA(folder, "Desktop") == 0) {
        if (!shell.desktop[0]) return;
        zrCopyWhole(where, sizeof where, shell.desktop);
    } else if (std::snprintf(where, sizeof where, "%s\\%s", shell.programs, folder) >=
               static_cast<int>(sizeof where)) {
        return;
    }
    char shortcut[UN_PATH_SIZE];
    if (std::snprintf(shortcut, sizeof shortcut, "%s\\%s.lnk", where, name) >=
        static_cast<int>(sizeof shortcut))
        return;

    if (prune && lstrcmpiA(where, shell.startup) != 0 && lstrcmpiA(where, shell.desktop) != 0)
        RemoveFile(shortcut);
    else
        DeleteFileA(shortcut);
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, shortcut, nullptr);
}
