// Registry writing with key security, shared-DLL counts and registry-entry sections.
#include "frame/zrregistry.h"

#include <cstring>
#include <new>

namespace {

char s_szExpand[PW_EXPAND_SIZE];
char s_szEntryKey[PW_ENTRY_KEY_SIZE];

bool zrPathFits(LPCSTR path) {
    return path && std::strlen(path) < PW_PATH_SIZE;
}

HKEY zrRootOf(LONG root) {
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(root));
}

// Opens a key for reading and writing, taking access when asked.
LONG zrOpenForWrite(HKEY hRoot, LPCSTR path, BOOL takeAccess, CZRRegKey* key,
                    CZRFormerDacl* former) {
    if (takeAccess) return OpenKeyTakingAccess(hRoot, path, key->Put(), former);
    return RegOpenKeyExA(hRoot, path, 0, PW_KEY_ACCESS, key->Put());
}

// The byte count of a double-NUL list: everything up to and including the closing empty text.
DWORD zrMultiSzSize(const char* data) {
    DWORD offset = 0;
    while (data[offset] != '\0' || data[offset + 1] != '\0')
        ++offset;
    return offset + 2;
}

// Opens a parent key for a key creation even where its security refuses it; its former DACL goes
// back once the child is created.
struct CZRTakingKeyOpener {
    CZRFormerDacl Open(HKEY root, const char* path, CZRRegKey* key) {
        CZRFormerDacl former;
        if (OpenKeyTakingAccess(root, path, key->Put(), &former) != ERROR_SUCCESS) key->Close();
        return former;
    }
    void Done(const CZRFormerDacl& former, HKEY parent) { former.Restore(parent); }
};

// A descriptor with a present NULL DACL grants everyone everything.
void zrNullDaclDescriptor(SECURITY_DESCRIPTOR* sd) {
    InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(sd, TRUE, nullptr, FALSE);
}

} // namespace

bool CZRFormerDacl::Capture(HKEY hKey) {
    m_pDescriptor.reset();
    DWORD size = 0;
    RegGetKeySecurity(hKey, DACL_SECURITY_INFORMATION, nullptr, &size);
    if (size == 0) return false;
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size]);
    if (!block) return false;
    m_lastError = RegGetKeySecurity(hKey, DACL_SECURITY_INFORMATION, block.get(), &size);
    if (m_lastError != ERROR_SUCCESS) return true; // a block was had, but it holds nothing
    m_pDescriptor = std::move(block);
    return true;
}

bool CZRFormerDacl::Restore(HKEY hKey) const {
    if (!m_pDescriptor) return true;
    LONG rc = RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, m_pDescriptor.get());
    if (rc != ERROR_SUCCESS)
        Trace("OpenKeyTakingAccess: former DACL not restored, err=%ld\n", (long)rc);
    return rc == ERROR_SUCCESS;
}

BOOL EnableTakeOwnership(HANDLE hToken) {
    TOKEN_PRIVILEGES privileges;
    if (!LookupPrivilegeValueA(nullptr, SE_TAKE_OWNERSHIP_NAME, &privileges.Privileges[0].Luid))
        return FALSE;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(hToken, FALSE, &privileges, 16, nullptr, nullptr);
    // A privilege the token does not hold leaves ERROR_NOT_ALL_ASSIGNED behind a TRUE result.
    return GetLastError() == ERROR_SUCCESS;
}

LONG OpenKeyTakingAccess(HKEY hRoot, LPCSTR path, PHKEY phKey, CZRFormerDacl* pFormer) {
    *phKey = nullptr;
    if (pFormer) pFormer->Reset();
    HKEY hOpened = nullptr;
    if (RegOpenKeyExA(hRoot, path, 0, PW_TAKE_ACCESS_MASK, &hOpened) == ERROR_SUCCESS) {
        *phKey = hOpened;
        return ERROR_SUCCESS;
    }
    CZRRegKey key;
    LONG rc = RegOpenKeyA(hRoot, path, key.Put());
    if (rc != ERROR_SUCCESS) return rc;

    CZRFormerDacl former;
    if (!former.Capture(key.Get()))
        return ERROR_SUCCESS; // no copy: the key is closed, callers fail
    if (former.Empty()) {
        rc = former.LastError();
        *phKey = key.Release();
        return rc;
    }

    SECURITY_DESCRIPTOR sd;
    zrNullDaclDescriptor(&sd);
    LONG daclError = RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, &sd);
    if (daclError != ERROR_SUCCESS) {
        // Make the Administrators group the key's owner; the owner may then change the DACL.
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        PSID pAdmins = nullptr;
        if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                      DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &pAdmins)) {
            *phKey = key.Release();
            return daclError;
        }
        if (!SetSecurityDescriptorOwner(&sd, pAdmins, FALSE)) {
            FreeSid(pAdmins);
            *phKey = key.Release();
            return daclError;
        }
        LONG ownerError = RegSetKeySecurity(key.Get(), OWNER_SECURITY_INFORMATION, &sd);
        if (ownerError != ERROR_SUCCESS) {
            CZRHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId()));
            CZRHandle token;
            if (process &&
                OpenProcessToken(process.Get(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                 token.Put()) &&
                EnableTakeOwnership(token.Get())) {
                // The privilege grants WRITE_OWNER only to a key opened while it is enabled.
                CZRRegKey ownerKey;
                ownerError = RegOpenKeyExA(hRoot, path, 0, WRITE_OWNER, ownerKey.Put());
                if (ownerError == ERROR_SUCCESS)
                    ownerError = RegSetKeySecurity(ownerKey.Get(), OWNER_SECURITY_INFORMATION, &sd);
            }
        }
        // As the new owner the process may now set the NULL DACL, through a key opened with
        // WRITE_DAC since it became owner; if the owner change was refused this is one last try.
        LONG lastTry;
        if (ownerError == ERROR_SUCCESS) {
            CZRRegKey daclKey;
            lastTry = RegOpenKeyExA(hRoot, path, 0, WRITE_DAC, daclKey.Put());
            if (lastTry == ERROR_SUCCESS)
                lastTry = RegSetKeySecurity(daclKey.Get(), DACL_SECURITY_INFORMATION, &sd);
        } else {
            lastTry = RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, &sd);
        }
        FreeSid(pAdmins);
        if (ownerError != ERROR_SUCCESS) {
            *phKey = key.Release();
            return ownerError;
        }
        if (lastTry != ERROR_SUCCESS)
            Trace("OpenKeyTakingAccess(%s): NULL DACL refused, err=%ld\n", path, (long)lastTry);
    }
    // The key was opened before its security changed and holds only the rights of then: the
    // caller gets it opened anew for its write or key creation, and for putting the former DACL
    // back.
    CZRRegKey writable;
    rc = RegOpenKeyExA(hRoot, path, 0, PW_KEY_ACCESS | WRITE_DAC, writable.Put());
    if (rc == ERROR_SUCCESS)
        key = std::move(writable);
    else
        Trace("OpenKeyTakingAccess(%s): not reopened for writing, err=%ld\n", path, (long)rc);
    if (pFormer) *pFormer = std::move(former);
    *phKey = key.Release();
    return ERROR_SUCCESS;
}

HKEY CreateKeyPath(HKEY hRoot, LPCSTR path, BOOL takeAccess) {
    if (!zrPathFits(path)) return nullptr;
    if (!takeAccess) {
        CZRPlainKeyOpener plain;
        return zrCreateKeyPath(hRoot, path, PW_PATH_SIZE, plain);
    }
    CZRTakingKeyOpener taking;
    return zrCreateKeyPath(hRoot, path, PW_PATH_SIZE, taking);
}

LONG WriteValueCreatingPath(HKEY hRoot, LPCSTR path, LPCSTR valueName, const void* data, DWORD type,
                            BOOL takeAccess) {
    if (!zrPathFits(path)) return 0;
    CZRRegKey key;
    CZRFormerDacl former;
    if (zrOpenForWrite(hRoot, path, takeAccess, &key, &former) != ERROR_SUCCESS || !key) {
        key = CZRRegKey(CreateKeyPath(hRoot, path, takeAccess));
        if (!key) return 0;
    }
    if (!data) {
        former.Restore(key.Get());
        return 0;
    }
    const BYTE* bytes = static_cast<const BYTE*>(data);
    DWORD size = 0;
    switch (type) {
    case REG_DWORD:
        size = sizeof(DWORD);
        break;
    case REG_MULTI_SZ:
        size = zrMultiSzSize(static_cast<const char*>(data));
        break;
    case REG_SZ:
        size = static_cast<DWORD>(std::strlen(static_cast<const char*>(data)) + 1);
        break;
    default:
        former.Restore(key.Get());
        return 0; // the path stays created
    }
    LONG rc = RegSetValueExA(key.Get(), valueName, 0, type, bytes, size);
    former.Restore(key.Get());
    return rc == ERROR_SUCCESS ? 1 : 0;
}

ZrExpansion ExpandIniPlaceholder(LPSTR text, DWORD room, LPCSTR iniPath) {
    // A name that "Strings" lacks, or holds empty, ends the text where its placeholder began.
    static const ZrPlaceholderRule kRule = {"", true};
    const ZrExpansion done = zrExpandPlaceholder(text, room, iniPath, kRule);
    if (done.outcome == ZrExpansion::TooLong)
        Trace("ExpandIniPlaceholder: %%%s%% makes the text longer than %d characters\n", done.name,
              PW_PLACEHOLDER_SIZE - 1);
    return done;
}

DWORD ReadIniExpanded(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, DWORD size,
                      LPCSTR iniPath) {
    if (!buffer || size == 0) return 0;
    DWORD read = GetPrivateProfileStringA(section, key, def, buffer, size, iniPath);

    // Expand each text into the work buffer; texts that no longer fit are dropped.
    size_t used = 0;
    for (DWORD offset = 0; offset < read || (key && offset == 0);) {
        const char* text = buffer + offset;
        size_t len = strnlen(text, size - offset);
        if (!key && len == 0) break;
        if (used + len + 2 > sizeof s_szExpand) break; // keep room for the list's closing NUL
        std::memcpy(s_szExpand + used, text, len);
        s_szExpand[used + len] = '\0';
        ExpandIniPlaceholder(s_szExpand + used, static_cast<DWORD>(sizeof s_szExpand - used - 1),
                             iniPath);
        const size_t expanded = std::strlen(s_szExpand + used);
        // A list text that expanded to nothing is left out: kept, it would end the list there.
        if (key || expanded != 0) used += expanded + 1;
        offset += static_cast<DWORD>(len + 1);
        if (key) break;
    }

    if (key) {
        zrCopyBounded(buffer, static_cast<LONG>(size), used ? s_szExpand : "");
        return static_cast<DWORD>(std::strlen(buffer) + 1);
    }
    // Whole texts back into the caller's buffer, then the closing empty text.
    size_t delivered = 0;
    for (size_t pos = 0; pos < used;) {
        size_t len = std::strlen(s_szExpand + pos) + 1;
        if (delivered + len + 1 > size) break;
        std::memcpy(buffer + delivered, s_szExpand + pos, len);
        delivered += len;
        pos += len;
    }
    buffer[delivered] = '\0';
    return static_cast<DWORD>(delivered);
}

int ParseRegEntryKey(LPCSTR keyText, LPSTR* root, LPSTR* subkey, LPSTR* valueName, LPSTR* type) {
    if (!keyText || std::strlen(keyText) > sizeof s_szEntryKey - 1) return 0; // a cut key lies
    std::strcpy(s_szEntryKey, keyText);
    char* fields[4] = {s_szEntryKey, nullptr, nullptr, nullptr};
    for (int i = 1; i < 4; ++i) {
        char* comma = std::strchr(fields[i - 1], ',');
        if (!comma) return 0;
        *comma = '\0';
        fields[i] = comma + 1;
    }
    *root = fields[0];
    *subkey = fields[1];
    *valueName = fields[2];
    *type = fields[3];
    return 1;
}

LONG zrDecimalWrapped(LPCSTR text) {
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + static_cast<uint32_t>(*p - '0');
    if (negative) value = 0u - value;
    return static_cast<LONG>(value);
}

PW_EXPORT DLL_AddRegKey(HKEY hRoot, LPCSTR path) {
    return zrGuarded(0, [&] {
        HKEY hKey = CreateKeyPath(hRoot, path, FALSE);
        // The script receives the open key as a 32-bit number; winsim's and Windows' handles fit.
        return static_cast<LONG>(reinterpret_cast<LONG_PTR>(hKey));
    });
}

PW_EXPORT DLL_WriteRegValue(HKEY hRoot, LPCSTR path, LPCSTR valueName, LPVOID data, LONG type) {
    return zrGuarded(0, [&] {
        return WriteValueCreatingPath(hRoot, path, valueName, data, static_cast<DWORD>(type),
                                      FALSE);
    });
}

PW_EXPORT DLL_AddRegEntries(LPCSTR iniPath, LPCSTR section, LONG) {
    return zrGuarded(1, [&] {
        if (!zrPathFits(iniPath) || !zrPathFits(section)) {
            Trace("DLL_AddRegEntries: INI path or section name too long\n");
            return 1;
        }
        char szSection[PW_PATH_SIZE], szIni[PW_PATH_SIZE];
        std::strcpy(szSection, section);
        std::strcpy(szIni, iniPath);

        // Each key is expanded on its own, so one that expands to nothing (a placeholder that
        // "Strings" lacks, an expansion too long) is skipped without ending the section there.
        // Its data is looked up under the key as written: a key with a placeholder is found.
        char rawKeys[PW_KEY_LIST_SIZE];
        GetPrivateProfileStringA(szSection, nullptr, "", rawKeys, sizeof rawKeys, szIni);
        for (const char* rawKey = rawKeys; *rawKey; rawKey += std::strlen(rawKey) + 1) {
            char key[PW_ENTRY_KEY_SIZE];
            if (std::strlen(rawKey) > sizeof key - 1) continue; // a cut key lies
            std::strcpy(key, rawKey);
            ExpandIniPlaceholder(key, sizeof key, szIni);
            LPSTR root, subkey, valueName, typeText;
            if (!ParseRegEntryKey(key, &root, &subkey, &valueName, &typeText)) continue;
            const LONG rootValue = zrDecimalWrapped(root);
            const DWORD type = static_cast<DWORD>(zrDecimalWrapped(typeText));

            char data[PW_PATH_SIZE + 2];
            ReadIniExpanded(szSection, rawKey, "", data, PW_PATH_SIZE, szIni);
            if (data[0] == '\0') continue;
            DWORD number = 0;
            const void* payload = data;
            if (type == REG_DWORD) {
                number = static_cast<DWORD>(zrDecimalWrapped(data));
                payload = &number;
            } else if (type == REG_MULTI_SZ) {
                data[std::strlen(data) + 1] = '\0'; // one text, then the closing empty text
            }
            WriteValueCreatingPath(zrRootOf(rootValue), subkey, valueName, payload, type, FALSE);
        }
        return 1;
    });
}

PW_EXPORT DLL_IncSharedCount(LPCSTR dllPath) {
    return zrGuarded(0, [&] {
        if (!dllPath) return 0;
        // Setups raise counts only in a key that exists; a key that is there and cannot be
        // opened is a failure.
        CZRRegKey key;
        const LONG opened = RegOpenKeyA(HKEY_LOCAL_MACHINE, PW_SHARED_DLLS_KEY, key.Put());
        if (opened != ERROR_SUCCESS) return opened == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(opened);
        // Any 4-byte value counts, whatever its type (some setups keep counts as binary data),
        // as the uninstaller reads it; a missing or longer value counts as 0.
        DWORD count = 0, size = sizeof count;
        const LONG read = RegQueryValueExA(key.Get(), dllPath, nullptr, nullptr,
                                           reinterpret_cast<LPBYTE>(&count), &size);
        // A count that could not be read is left alone: started again at 1, it would let the
        // uninstaller delete a file that other programs still count on.
        if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND && read != ERROR_MORE_DATA)
            return static_cast<int>(read);
        if (read != ERROR_SUCCESS || size != sizeof count) count = 0;
        ++count;
        return static_cast<int>(RegSetValueExA(key.Get(), dllPath, 0, REG_DWORD,
                                               reinterpret_cast<const BYTE*>(&count),
                                               sizeof count));
    });
}
