// Registry writing with key security and shared-DLL counts, and the registry-entry sections of
// INI files.
#ifndef PWSETUP_FRAME_ZRREGISTRY_H
#define PWSETUP_FRAME_ZRREGISTRY_H

#include "common/handles.h"
#include "common/placeholder.h"
#include "common/registry.h"
#include "frame/pwsetup.h"

#include <memory>

enum {
    PW_TAKE_ACCESS_MASK =
        WRITE_OWNER | READ_CONTROL | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, // 0xA0006
    PW_EXPAND_SIZE = 1024,   // the expansion buffer of ReadIniExpanded
    PW_ENTRY_KEY_SIZE = 783, // the buffer ParseRegEntryKey splits a key in
    PW_KEY_LIST_SIZE = 2048, // a registry-entry section's key list
};

// The DACL a key had before OpenKeyTakingAccess opened it up; Restore() puts it back.
class CZRFormerDacl {
  public:
    bool Capture(HKEY hKey); // false: no copy could be made
    bool Restore(HKEY hKey) const;
    bool Empty() const { return !m_pDescriptor; }
    void Reset() { m_pDescriptor.reset(); }
    LONG LastError() const { return m_lastError; } // why Capture() made no copy

  private:
    std::unique_ptr<BYTE[]> m_pDescriptor; // self-relative descriptor holding the DACL
    LONG m_lastError = ERROR_SUCCESS;
};

LONG WriteValueCreatingPath(HKEY hRoot, LPCSTR path, LPCSTR valueName, const void* data, DWORD type,
                            BOOL takeAccess);
HKEY CreateKeyPath(HKEY hRoot, LPCSTR path, BOOL takeAccess);
// Opens a key for writing even where its security refuses it, on Windows NT. When pFormer is
// given it receives the key's former DACL, which the caller restores through the delivered key
// (opened with WRITE_DAC for that) once its write is done.
LONG OpenKeyTakingAccess(HKEY hRoot, LPCSTR path, PHKEY phKey, CZRFormerDacl* pFormer = nullptr);
BOOL EnableTakeOwnership(HANDLE hToken);

DWORD ReadIniExpanded(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, DWORD size,
                      LPCSTR iniPath);
// Expands the first placeholder of `text` in place; the outcome says what became of it.
ZrExpansion ExpandIniPlaceholder(LPSTR text, DWORD room, LPCSTR iniPath);
int ParseRegEntryKey(LPCSTR keyText, LPSTR* root, LPSTR* subkey, LPSTR* valueName, LPSTR* type);
// A signed decimal number, accumulated modulo 2^32 ("2147483650" and "-2147483646" are equal).
LONG zrDecimalWrapped(LPCSTR text);

PW_EXPORT DLL_AddRegKey(HKEY hRoot, LPCSTR path);
PW_EXPORT DLL_WriteRegValue(HKEY hRoot, LPCSTR path, LPCSTR valueName, LPVOID data, LONG type);
PW_EXPORT DLL_AddRegEntries(LPCSTR iniPath, LPCSTR section, LONG unused);
PW_EXPORT DLL_IncSharedCount(LPCSTR dllPath);

#endif
