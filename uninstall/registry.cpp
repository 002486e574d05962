// Registry operations of the removal: values and keys deleted (the keys they leave empty too, a
// whole tree at most below a root), keys created with their path, and shared-DLL counts.
#include "removal.h"

#include "common/registry.h"

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
    // A root itself is never deleted.
    if (!subkey[0]) return;

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
    // An empty path would name the root and take a whole hive with it.
    if (!subkey || !subkey[0]) return 0;
    {
        CZRRegKey key;
        if (RegOpenKeyExA(root, subkey, 0, PW_KEY_ACCESS, key.Put()) != ERROR_SUCCESS) return 0;
        DeleteSubkeys(key.Get());
    }
    return RegDeleteKeyA(root, subkey) == ERROR_SUCCESS ? 1 : 0;
}

HKEY CreateRegPath(HKEY root, const char* path) {
    // The parent path is split off in the entry's work buffer.
    CZRPlainKeyOpener opener;
    return zrCreateKeyPath(root, path, UN_ENTRY_WORK_SIZE, opener);
}
