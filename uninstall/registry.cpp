// Registry operations of the removal: values and keys deleted (the keys they leave empty too, a
// whole tree at most below a root), keys created with their path, and shared-DLL counts.
#include "removal.h"

#include "common/registry.h"

#include <string>
#include <vector>

namespace {

// Keys of the system's own that no removal deletes, whatever a script names. Besides these,
// nothing directly below HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CURRENT_CONFIG
// or HKEY_DYN_DATA is ever deleted: those levels are the system's (SOFTWARE, SYSTEM, Enum,
// Software, Control Panel, a user's profile), and a product's keys lie below them.
struct SystemKey {
    HKEY root;
    const char* path;
};
const SystemKey kSystemKeys[] = {
    // Where every program keeps its settings, its start-up commands, its uninstall entry and its
    // shared-DLL counts.
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"},
    // The control set: drivers, services, the spooler's and Plug-and-Play's own keys.
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet"},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control"},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print"},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager"},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services"},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Class"},
    {HKEY_LOCAL_MACHINE, "Enum\\Root"},
    // The user's settings of Windows and its shell folders.
    {HKEY_CURRENT_USER, "Software\\Microsoft"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion"},
    // File classes every program relies on; a product's own file types may go.
    {HKEY_CLASSES_ROOT, "CLSID"},
    {HKEY_CLASSES_ROOT, "Interface"},
    {HKEY_CLASSES_ROOT, "TypeLib"},
    {HKEY_CLASSES_ROOT, "AppID"},
    {HKEY_CLASSES_ROOT, "*"},
    {HKEY_CLASSES_ROOT, "Folder"},
    {HKEY_CLASSES_ROOT, "Directory"},
    {HKEY_CLASSES_ROOT, "Drive"},
};

// The roots whose first level belongs to the system as a whole.
const HKEY kSystemLevelRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS,
                                  HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};

// A key path as the system reads it: Windows 95/98 skip leading and trailing backslashes, so
// "\" names the root itself; blanks around a name and repeated backslashes are compared away
// too, so that no spelling of a system key slips past. The names, in order.
std::vector<std::string> KeyNames(const char* subkey) {
    std::vector<std::string> names;
    std::string name;
    for (const char* p = subkey;; ++p) {
        if (*p == '\\' || *p == '\0') {
            const size_t first = name.find_first_not_of(" \t");
            if (first != std::string::npos)
                names.push_back(name.substr(first, name.find_last_not_of(" \t") - first + 1));
            name.clear();
            if (!*p) return names;
        } else {
            name += *p;
        }
    }
}

// Whether deleting `subkey` under `root` would take the root itself or a key of the system's.
bool IsSystemKey(HKEY root, const char* subkey) {
    const std::vector<std::string> names = KeyNames(subkey);
    if (names.empty()) return true;
    if (names.size() == 1)
        for (HKEY systemRoot : kSystemLevelRoots)
            if (root == systemRoot) return true;
    std::string path = names[0];
    for (size_t i = 1; i < names.size(); ++i)
        path += "\\" + names[i];
    for (const SystemKey& key : kSystemKeys)
        if (key.root == root && lstrcmpiA(key.path, path.c_str()) == 0) return true;
    return false;
}

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
            if (RegOpenKeyExA(key, name, 0, PW_KEY_ACCESS, child.Put()) == ERROR_SUCCESS)
                DeleteSubkeys(child.Get());
        }
        if (RegDeleteKeyA(key, name) != ERROR_SUCCESS) ++index;
    }
}

} // namespace

LONG ReleaseSharedCount(const char* path) {
    CZRRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PW_SHARED_DLLS_KEY, 0, PW_KEY_ACCESS, key.Put()) !=
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
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PW_SHARED_DLLS_KEY, 0, PW_KEY_ACCESS, key.Put()) ==
        ERROR_SUCCESS)
        RegDeleteValueA(key.Get(), path);
}

void RemoveRegValue(HKEY root, const char* subkey, const char* valueName) {
    if (!subkey) return;
    CZRRegKey key;
    if (RegOpenKeyExA(root, subkey, 0, PW_KEY_ACCESS, key.Put()) != ERROR_SUCCESS) return;
    RegDeleteValueA(key.Get(), valueName ? valueName : "");
    key.Close();
    // The key the value leaves empty goes, unless it is a root or one of the system's.
    if (IsSystemKey(root, subkey)) return;

    if (RegOpenKeyExA(root, subkey, 0, PW_KEY_ACCESS, key.Put()) != ERROR_SUCCESS) return;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    key.Close();
    if (subkeys == 0 && values == 0) RegDeleteKeyA(root, subkey);
}

int DeleteRegTree(HKEY root, const char* subkey) {
    // A path that names a root ("", "\\", a placeholder that expanded to nothing) would take a
    // whole hive with it, and a system key most of one.
    if (!subkey || IsSystemKey(root, subkey)) return 0;
    {
        CZRRegKey key;
        if (RegOpenKeyExA(root, subkey, 0, PW_KEY_ACCESS, key.Put()) != ERROR_SUCCESS) return 0;
        DeleteSubkeys(key.Get());
    }
    return RegDeleteKeyA(root, subkey) == ERROR_SUCCESS ? 1 : 0;
}

HKEY CreateRegPath(HKEY root, const char* path) {
    // A path that names the root would hand out the root itself for the entry's writes.
    if (!path || KeyNames(path).empty()) return nullptr;
    // The parent path is split off in the entry's work buffer.
    CZRPlainKeyOpener opener;
    return zrCreateKeyPath(root, path, UN_ENTRY_WORK_SIZE, opener);
}
