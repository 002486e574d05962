// Removal of one component of the uninstall script: its files with the folders they leave empty,
// shared-DLL counts, profile entries, registry values and keys, shortcuts and the startup entries
// of deleted programs. What is in use goes to the next start of Windows.
#include "removal.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "frame/findhandle.h"
#include "frame/handles.h"

namespace {

// The product's utility windows; each must let go of its files before the desktop component
// goes.
const char* const kDeskWindowClasses[] = {"PW_DocumentAssistantClass", "pwzriFrameOrView",
                                          "PWCopyUtilAppClass"};

const char kLoadKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Terminates a text value of which `got` bytes were read into `size`; false when the text filled
// the buffer without its terminator, so that ending it would cut it.
bool EndText(char* buffer, DWORD got, DWORD size) {
    if (got > 0 && got <= size && buffer[got - 1] == '\0') return true;
    if (got >= size) return false;
    buffer[got] = '\0';
    return true;
}

// A text value into a buffer of `size` bytes; empty and false when it cannot be read whole.
bool ReadText(HKEY key, const char* name, char* buffer, DWORD size) {
    buffer[0] = '\0';
    DWORD type = 0;
    DWORD got = size;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &got) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        buffer[0] = '\0';
        return false;
    }
    if (!EndText(buffer, got, size)) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool EndsWithNoCase(const char* text, const char* tail) {
    const size_t n = std::strlen(text);
    const size_t t = std::strlen(tail);
    return n >= t && lstrcmpiA(text + n - t, tail) == 0;
}

// Short form of an existing path, else the path as written; full, without trailing backslash.
void ComparableForm(const char* path, char* out, DWORD size) {
    char full[UN_PATH_SIZE];
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(path, sizeof full, full, &filePart);
    if (n == 0 || n >= sizeof full) zrCopyWhole(full, sizeof full, path);
    n = GetShortPathNameA(full, out, size);
    if (n == 0 || n >= size) {
        out[0] = '\0';
        zrCopyWhole(out, size, full);
    }
    size_t len = std::strlen(out);
    while (len > 3 && out[len - 1] == '\\')
        out[--len] = '\0';
}

// A key list of a profile section into `list`: empty when the section is missing. A list that
// overflowed ends in a cut name, which is dropped rather than taken for another.
void ReadKeyNames(const char* section, std::vector<char>& list) {
    const DWORD size = static_cast<DWORD>(list.size());
    DWORD got =
        GetPrivateProfileStringA(section, nullptr, NotThereSentinel, list.data(), size, ScriptPath);
    if (std::strcmp(list.data(), NotThereSentinel) == 0) got = 0;
    if (got >= size - 2) {
        // Cut: forget the last (partial) name.
        size_t last = 0;
        for (size_t p = 0; p < got && list[p];) {
            last = p;
            p += std::strlen(list.data() + p) + 1;
        }
        got = static_cast<DWORD>(last);
    }
    list[got] = '\0';
    if (got + 1 < size) list[got + 1] = '\0';
}

// An entry list (already expanded) with the sentinel turned into an empty list.
void ReadEntries(const char* section, std::vector<char>& list) {
    ReadEntryList(section, list.data(), static_cast<int>(list.size()));
    if (std::strcmp(list.data(), NotThereSentinel) == 0) {
        list[0] = '\0';
        list[1] = '\0';
    }
}

template <typename Visit> void ForEachEntry(const std::vector<char>& list, Visit visit) {
    for (const char* p = list.data(); *p; p += std::strlen(p) + 1)
        visit(p);
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
    ReadKeyNames(section, keys);
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
    std::vector<char> list(UN_KEY_LIST_SIZE);
    ReadEntries(section, list);
    ForEachEntry(list, [](const char* entry) {
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
    std::vector<char> list(UN_KEY_LIST_SIZE);
    ReadEntries(section, list);
    ForEachEntry(list, [](const char* entry) {
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
    std::vector<char> list(UN_KEY_LIST_SIZE);
    ReadEntries(section, list);
    std::vector<char> data(UN_KEY_LIST_SIZE);
    ForEachEntry(list, [&](const char* entry) {
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
        if (RegOpenKeyExA(hRoot, subkey, 0, UN_KEY_ACCESS, key.Put()) != ERROR_SUCCESS)
            key = CZRRegKey(CreateRegPath(hRoot, subkey));
        if (!key) return;
        RegSetValueExA(key.Get(), value, 0, valueType, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(std::strlen(data.data())));
    });
}

void RemoveShortcuts(const char* section) {
    std::vector<char> list(UN_KEY_LIST_SIZE);
    ReadEntries(section, list);
    ForEachEntry(list, [&](const char* entry) {
        const int prune = static_cast<int>(GetPrivateProfileIntA(section, entry, 1, ScriptPath));
        EntryFields fields;
        char *folder, *name, *unused;
        if (SplitEntry(entry, fields, &folder, &name, &unused)) RemoveShortcut(folder, name, prune);
    });
}

// The short (8.3) form of the folder that holds `path` ("C:" for a file at a drive's root);
// false when the path names no folder.
bool ShortFolderOf(const char* path, char (&out)[UN_PATH_SIZE]) {
    const char* slash = std::strrchr(path, '\\');
    if (!slash || slash == path) return false;
    char folder[UN_PATH_SIZE];
    const size_t length = static_cast<size_t>(slash - path);
    if (length >= sizeof folder) return false;
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    const bool driveOnly = length == 2 && folder[1] == ':';
    const DWORD n = driveOnly ? 0 : GetShortPathNameA(folder, out, sizeof out);
    if (n == 0 || n >= sizeof out) std::memcpy(out, folder, length + 1);
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

} // namespace

bool zrCopyWhole(char* dest, size_t size, const char* src) {
    const size_t length = std::strlen(src);
    if (length + 1 > size) return false;
    std::memcpy(dest, src, length + 1);
    return true;
}

int ReadShellFolderSet(ShellFolderSet& out) {
    out.startup[0] = out.desktop[0] = out.programs[0] = '\0';
    {
        CZRRegKey machine;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, UN_SHELL_FOLDERS_KEY, machine.Put()) == ERROR_SUCCESS) {
            ReadText(machine.Get(), "Common Startup", out.startup, sizeof out.startup);
            ReadText(machine.Get(), "Common Desktop", out.desktop, sizeof out.desktop);
            if (ReadText(machine.Get(), "Common Programs", out.programs, sizeof out.programs))
                return 1;
        }
    }
    CZRRegKey user;
    out.startup[0] = out.desktop[0] = out.programs[0] = '\0';
    if (RegOpenKeyA(HKEY_CURRENT_USER, UN_SHELL_FOLDERS_KEY, user.Put()) != ERROR_SUCCESS) return 0;
    ReadText(user.Get(), "Startup", out.startup, sizeof out.startup);
    ReadText(user.Get(), "Desktop", out.desktop, sizeof out.desktop);
    return ReadText(user.Get(), "Programs", out.programs, sizeof out.programs) ? 1 : 0;
}

int IsKeptFolder(const char* folder) {
    if (!folder || !folder[0]) return 1;
    if (folder[1] == ':' && (folder[2] == '\0' || (folder[2] == '\\' && folder[3] == '\0')))
        return 1;
    if (IsProtectedPath(folder)) return 1;
    char candidate[UN_PATH_SIZE];
    ComparableForm(folder, candidate, sizeof candidate);

    static const char* const kMachine[] = {"Common Desktop", "Common Start Menu", "Common Programs",
                                           "Common Startup"};
    static const char* const kUser[] = {"Desktop", "Start Menu", "Programs", "Startup"};
    const struct {
        HKEY root;
        const char* const* names;
    } sets[] = {{HKEY_LOCAL_MACHINE, kMachine}, {HKEY_CURRENT_USER, kUser}};
    for (const auto& set : sets) {
        CZRRegKey key;
        if (RegOpenKeyA(set.root, UN_SHELL_FOLDERS_KEY, key.Put()) != ERROR_SUCCESS) continue;
        for (int i = 0; i < 4; ++i) {
            char value[UN_PATH_SIZE];
            if (!ReadText(key.Get(), set.names[i], value, sizeof value) || !value[0]) continue;
            char shell[UN_PATH_SIZE];
            ComparableForm(value, shell, sizeof shell);
            if (lstrcmpiA(candidate, shell) == 0) return 1;
        }
    }
    return 0;
}

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
    // A folder named as a file is never removed this way, a drive root or the Windows or system
    // directory least of all; neither WININIT.INI nor the delayed list would remove it either.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;

    if (DeleteFileA(path)) {
        char folder[UN_PATH_SIZE];
        if (ShortFolderOf(path, folder)) PruneFrom(folder);
    } else if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        if (ScheduleDelete(path, 0) != 0) return;
        // The folder goes at the next start too, if it is empty by then.
        char folder[UN_PATH_SIZE];
        if (ShortFolderOf(path, folder)) ScheduleDelete(folder, 1);
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
    char pattern[UN_PATH_SIZE];
    if (std::snprintf(pattern, sizeof pattern, "%s\\*.*", folder) >=
        static_cast<int>(sizeof pattern))
        return 0;
    {
        WIN32_FIND_DATAA found;
        CZRFindFile find(FindFirstFileA(pattern, &found));
        if (!find) return 0;
        do {
            const char* name = found.cFileName;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            char inside[UN_PATH_SIZE];
            if (std::snprintf(inside, sizeof inside, "%s\\%s", folder, name) >=
                    static_cast<int>(sizeof inside) ||
                GetFileAttributesA(inside) != INVALID_FILE_ATTRIBUTES)
                return 0;
        } while (FindNextFileA(find.Get(), &found));
    }
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

void RemoveStartupEntries(const char* programPath) {
    if (!programPath) return;
    const char* slash = std::strrchr(programPath, '\\');
    const char* name = slash ? slash + 1 : programPath;
    if (!name[0]) return;
    const size_t nameLength = std::strlen(name);

    if (IsWindowsNT) {
        CZRRegKey key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kLoadKey, 0, UN_KEY_ACCESS, key.Put()) !=
            ERROR_SUCCESS)
            return;
        char load[UN_FIELD_SIZE];
        if (!ReadText(key.Get(), "load", load, sizeof load)) return;
        const char* match = FindProgramName(load, name);
        if (!match) return;
        CutProgram(load, match, nameLength);
        RegSetValueExA(key.Get(), "load", 0, REG_SZ, reinterpret_cast<const BYTE*>(load),
                       static_cast<DWORD>(std::strlen(load) + 1));
        return;
    }

    CZRRegKey run;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, UN_KEY_ACCESS, run.Put()) != ERROR_SUCCESS)
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
            !EndText(data, dataSize, sizeof data)) {
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

LONG ReleaseSharedCount(const char* path) {
    CZRRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UN_SHARED_DLLS_KEY, 0, UN_KEY_ACCESS, key.Put()) !=
        ERROR_SUCCESS)
        return 1;
    DWORD count = 0;
    DWORD size = sizeof count;
    DWORD type = 0;
    if (RegQueryValueExA(key.Get(), path, nullptr, &type, reinterpret_cast<LPBYTE>(&count),
                         &size) != ERROR_SUCCESS ||
        size != sizeof count)
        return 1;
    const LONG left = static_cast<LONG>(count) - 1;
    if (left > 0) {
        const DWORD stored = static_cast<DWORD>(left);
        RegSetValueExA(key.Get(), path, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                       sizeof stored);
    } else {
        key.Close();
        DropSharedCount(path);
    }
    return left;
}

// Deletes a count but never the SharedDLLs key itself: setups raise counts only in a key that
// exists, so an emptied key must stay for the next installation.
void DropSharedCount(const char* path) {
    CZRRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UN_SHARED_DLLS_KEY, 0, UN_KEY_ACCESS, key.Put()) ==
        ERROR_SUCCESS)
        RegDeleteValueA(key.Get(), path);
}

void RemoveRegValue(HKEY root, const char* subkey, const char* valueName) {
    if (!subkey) return;
    CZRRegKey key;
    if (RegOpenKeyExA(root, subkey, 0, UN_KEY_ACCESS, key.Put()) != ERROR_SUCCESS) return;
    RegDeleteValueA(key.Get(), valueName ? valueName : "");
    key.Close();
    // A root itself is never deleted.
    if (!subkey[0]) return;

    if (RegOpenKeyExA(root, subkey, 0, UN_KEY_ACCESS, key.Put()) != ERROR_SUCCESS) return;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    key.Close();
    if (subkeys == 0 && values == 0) RegDeleteKeyA(root, subkey);
}

namespace {

void DeleteSubkeys(HKEY key) {
    for (DWORD index = 0;;) {
        char name[UN_PATH_SIZE];
        LONG rc = RegEnumKeyA(key, index, name, sizeof name);
        if (rc == ERROR_NO_MORE_ITEMS) return;
        if (rc != ERROR_SUCCESS) {
            // A name longer than the buffer stays; anything else ends the walk.
            if (rc != ERROR_MORE_DATA) return;
            ++index;
            continue;
        }
        {
            CZRRegKey child;
            if (RegOpenKeyExA(key, name, 0, UN_KEY_ACCESS, child.Put()) == ERROR_SUCCESS)
                DeleteSubkeys(child.Get());
        }
        if (RegDeleteKeyA(key, name) != ERROR_SUCCESS) ++index;
    }
}

} // namespace

int DeleteRegTree(HKEY root, const char* subkey) {
    // An empty path would name the root and take a whole hive with it.
    if (!subkey || !subkey[0]) return 0;
    {
        CZRRegKey key;
        if (RegOpenKeyExA(root, subkey, 0, UN_KEY_ACCESS, key.Put()) != ERROR_SUCCESS) return 0;
        DeleteSubkeys(key.Get());
    }
    return RegDeleteKeyA(root, subkey) == ERROR_SUCCESS ? 1 : 0;
}

HKEY CreateRegPath(HKEY root, const char* path) {
    if (!path) return nullptr;
    const char* slash = std::strrchr(path, '\\');
    if (!slash || slash == path) return nullptr;
    char parentPath[UN_ENTRY_WORK_SIZE];
    const size_t parentLength = static_cast<size_t>(slash - path);
    if (parentLength >= sizeof parentPath) return nullptr;
    std::memcpy(parentPath, path, parentLength);
    parentPath[parentLength] = '\0';

    CZRRegKey parent;
    if (RegOpenKeyExA(root, parentPath, 0, UN_KEY_ACCESS, parent.Put()) != ERROR_SUCCESS) {
        parent = CZRRegKey(CreateRegPath(root, parentPath));
        if (!parent) return nullptr;
    }
    HKEY created = nullptr;
    if (RegCreateKeyExA(parent.Get(), slash + 1, 0, nullptr, 0, UN_KEY_ACCESS, nullptr, &created,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return created;
}
