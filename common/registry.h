// What both programs do with the registry in the same way: the keys of Windows they share, text
// values read whole, and a key created with the missing keys above it.
#ifndef PW_COMMON_REGISTRY_H
#define PW_COMMON_REGISTRY_H

#include "common/handles.h"

#include <cstring>
#include <string>

// Keys of HKEY_LOCAL_MACHINE (SharedDLLs, Run, RunOnce) and of either root (Shell Folders).
#define PW_SHARED_DLLS_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
#define PW_SHELL_FOLDERS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
#define PW_RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define PW_RUNONCE_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"

enum {
    PW_KEY_ACCESS = KEY_READ | KEY_WRITE, // 0x2001F: what keys are opened and created with
};

// Terminates a text value of which `got` bytes were read into a buffer of `size` bytes; false
// when the text filled the buffer without its terminator, so that ending it would cut it.
bool zrEndText(char* buffer, DWORD got, DWORD size);

// A text value (REG_SZ or REG_EXPAND_SZ) into a buffer of `size` bytes, terminated. False, and an
// empty text, when it is missing, no text, or fills the buffer without its terminator: ending it
// there would cut it.
bool zrReadRegText(HKEY key, const char* name, char* buffer, DWORD size);

// Opens a parent key for writing with PW_KEY_ACCESS, as most callers do; the setup library's key
// security has an opener of its own. Open leaves `key` empty when it fails; Done runs after the
// child's creation while the parent is still open.
struct CZRPlainKeyOpener {
    int Open(HKEY root, const char* path, CZRRegKey* key) {
        if (RegOpenKeyExA(root, path, 0, PW_KEY_ACCESS, key->Put()) != ERROR_SUCCESS) key->Close();
        return 0;
    }
    void Done(int, HKEY) {}
};

// Creates the last key of `path` with PW_KEY_ACCESS and returns it open (null on failure); parent
// keys that are missing are created first, from the outermost. The first component must exist
// (a path without a backslash, or that begins with one, is refused), and a parent path of
// `parentSize` characters or more is refused.
template <typename Opener>
HKEY zrCreateKeyPath(HKEY root, const char* path, size_t parentSize, Opener& opener) {
    if (!path) return nullptr;
    const char* slash = std::strrchr(path, '\\');
    if (!slash || slash == path) return nullptr;
    const std::string parentPath(path, static_cast<size_t>(slash - path));
    if (parentPath.size() >= parentSize) return nullptr;

    CZRRegKey parent;
    auto lease = opener.Open(root, parentPath.c_str(), &parent);
    if (!parent) {
        parent = CZRRegKey(zrCreateKeyPath(root, parentPath.c_str(), parentSize, opener));
        if (!parent) return nullptr;
    }
    HKEY created = nullptr;
    const LONG rc = RegCreateKeyExA(parent.Get(), slash + 1, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    PW_KEY_ACCESS, nullptr, &created, nullptr);
    opener.Done(lease, parent.Get());
    return rc == ERROR_SUCCESS ? created : nullptr;
}

#endif
