// The registry calls of advapi32 (Reg*A). On NT a key handle holds the rights it was opened
// with, fixed at the open: the rights asked for, checked against the key's security as it stands
// then, or with MAXIMUM_ALLOWED (RegOpenKeyA, RegCreateKeyA) whatever that security grants then.
// Each later call checks the handle's rights, so a handle opened before a key's DACL was relaxed
// keeps its old rights, and only a key opened anew gets the new ones. Subkey creation is the
// exception: Windows ignores the parent handle's rights and asks only the parent's security as
// it stands then. A deletion checks the security of the key it deletes. The predefined roots hold every right; on 95/98, which have no registry
// security, every handle does.
#include "hives.h"

#include <algorithm>
#include <cstring>

using namespace winsim;
using namespace winsim::registry;

namespace {

// Security of a new key from the caller's descriptor, when one was given.
LONG ApplyCreationSecurity(Key* k, const SECURITY_ATTRIBUTES* sa) {
    if (!IsNT() || !sa || !sa->lpSecurityDescriptor) return ERROR_SUCCESS;
    DescriptorParts parts;
    if (ReadDescriptor(sa->lpSecurityDescriptor, &parts) != ERROR_SUCCESS) return ERROR_SUCCESS;
    auto sec = std::make_unique<KeySecurity>();
    sec->owner = parts.hasOwner && TokenCanOwn(parts.owner) ? parts.owner : TokenDefaultOwner();
    sec->dacl = DaclKindOf(parts);
    sec->aces = parts.aces;
    return k->SetSecurity(std::move(sec));
}

// The key behind a handle for a call that needs `need` in the handle's rights. Errors come in
// the order Windows checks them: the handle, then the call's arguments (`argumentError`,
// ERROR_SUCCESS when they are good), then the handle's rights.
LONG KeyFor(HKEY h, DWORD need, LONG argumentError, Key** out) {
    DWORD rights;
    LONG err = Resolve(h, out, &rights);
    if (err != ERROR_SUCCESS) return err;
    if (argumentError != ERROR_SUCCESS) return argumentError;
    return HandleHolds(rights, need);
}

// A key's class for RegQueryInfoKeyA: a buffer that cannot hold it whole takes what fits,
// ended, with ERROR_MORE_DATA; a buffer of no size is left alone. *cchClass counts the
// characters copied (or, without a buffer, the class's length).
LONG CopyClass(const std::string& cls, LPSTR out, LPDWORD cchClass) {
    if (!cchClass) return ERROR_SUCCESS;
    const auto len = static_cast<DWORD>(cls.size());
    if (!out) {
        *cchClass = len;
        return ERROR_SUCCESS;
    }
    if (*cchClass == 0) return ERROR_SUCCESS;
    const DWORD copied = std::min(len, *cchClass - 1);
    std::memcpy(out, cls.data(), copied);
    out[copied] = '\0';
    *cchClass = copied;
    return copied < len ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

void StoreFileTime(uint64_t time, PFILETIME out) {
    if (!out) return;
    out->dwLowDateTime = static_cast<DWORD>(time);
    out->dwHighDateTime = static_cast<DWORD>(time >> 32);
}

// Opens an existing key below `from` for RegOpenKeyExA and RegOpenKeyA.
LONG OpenBelow(Key* from, LPCSTR subKey, REGSAM access, PHKEY result) {
    Key* k;
    LONG err = FindBelow(from, subKey, &k);
    if (err != ERROR_SUCCESS) return err;
    if (!k) return ERROR_FILE_NOT_FOUND;
    DWORD rights = 0;
    if ((err = CheckAccess(k->security.get(), access, &rights)) != ERROR_SUCCESS) return err;
    *result = NewHandle(k, rights);
    return ERROR_SUCCESS;
}

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// A value's type and data for RegQueryValueExA and RegEnumValueA; a null buffer asks the size.
// The size is read before the type is written and written last, as Windows does, so that both
// pointers may name one DWORD. NT ends text that lacks a terminator when the buffer has room.
LONG CopyValue(const Value& v, LPDWORD type, LPBYTE data, LPDWORD cbData) {
    const DWORD room = cbData ? *cbData : 0;
    const DWORD size = static_cast<DWORD>(v.data.size());
    if (type) *type = v.type;
    if (!cbData) return ERROR_SUCCESS;
    LONG err = ERROR_SUCCESS;
    if (data && room < size) {
        err = ERROR_MORE_DATA;
    } else if (data) {
        if (size) std::memcpy(data, v.data.data(), size);
        if (IsText(v.type) && room > size && (!size || v.data.back() != 0) && IsNT())
            data[size] = 0;
    }
    *cbData = size;
    return err;
}

} // namespace

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    (void)ulOptions;
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    const HKEY given = *phkResult; // a bad handle leaves it as it was; any other failure, null
    *phkResult = nullptr;
    WINSIM_FAILPOINT_RETURNS_ERROR();
    Key* from;
    LONG err = Resolve(hKey, &from);
    if (err != ERROR_SUCCESS) {
        *phkResult = given;
        return err;
    }
    if (IsPredefined(hKey) && (!lpSubKey || !*lpSubKey)) { // a root opens as itself
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return OpenBelow(from, lpSubKey, samDesired, phkResult);
}

LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    const HKEY given = *phkResult; // a bad handle leaves it as it was; any other failure, null
    *phkResult = nullptr;
    WINSIM_FAILPOINT_RETURNS_ERROR();
    const bool noPath = !lpSubKey || !*lpSubKey;
    Key* from;
    LONG err = hKey || !noPath ? Resolve(hKey, &from) : ERROR_SUCCESS; // a null handle comes back
    if (err != ERROR_SUCCESS) {
        *phkResult = given;
        return err;
    }
    if (noPath) { // the same handle comes back, as documented
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return OpenBelow(from, lpSubKey, MAXIMUM_ALLOWED, phkResult);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    (void)Reserved;
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    const HKEY given = *phkResult; // a bad handle leaves it as it was; any other failure, null
    *phkResult = nullptr;
    WINSIM_FAILPOINT_RETURNS_ERROR();
    LONG err;
    Key* k;
    std::vector<std::string> parts;
    if ((err = Resolve(hKey, &k)) != ERROR_SUCCESS) {
        *phkResult = given;
        return err;
    }
    if ((err = SplitPath(lpSubKey, &parts)) != ERROR_SUCCESS) return err;
    // 95/98 keep no classes; NT gives the class to the key the call names, when it makes it.
    const std::string cls = IsNT() && lpClass ? lpClass : "";
    DWORD creatorRights = 0;
    if ((err = CreatorAccess(samDesired, &creatorRights)) != ERROR_SUCCESS) return err;
    // Windows' limits refuse the whole path before any key of it is made.
    const size_t depth = k->Depth();
    for (size_t i = 0; i < parts.size(); ++i)
        if ((err = CheckNewKey(parts[i], depth + i + 1)) != ERROR_SUCCESS) return err;
    // Every missing key of the path is created, each needing KEY_CREATE_SUB_KEY from its
    // parent's security; the handle's own rights are not asked, as on every Windows.
    bool created = false;
    for (size_t i = 0; i < parts.size(); ++i) {
        Key* c = k->Child(parts[i]);
        created = false;
        if (!c) {
            if (k->isVolatile && !(dwOptions & REG_OPTION_VOLATILE))
                return ERROR_CHILD_MUST_BE_VOLATILE;
            if ((err = CheckAccess(k->security.get(), KEY_CREATE_SUB_KEY)) != ERROR_SUCCESS)
                return err;
            c = k->AddChild(parts[i], IsNT() && (dwOptions & REG_OPTION_VOLATILE),
                            i + 1 == parts.size() ? cls : std::string());
            if (!c) return ERROR_REGISTRY_IO_FAILED;
            created = true;
        }
        k = c;
    }
    // The creator of a key gets the rights it asked for (those keys have); an existing key
    // grants what its security allows.
    DWORD rights = creatorRights;
    if (created) {
        if ((err = ApplyCreationSecurity(k, lpSecurityAttributes)) != ERROR_SUCCESS) return err;
    } else if ((err = CheckAccess(k->security.get(), samDesired, &rights)) != ERROR_SUCCESS) {
        return err;
    }
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = NewHandle(k, rights);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    const HKEY given = *phkResult; // a bad handle leaves it as it was; any other failure, null
    *phkResult = nullptr;
    WINSIM_FAILPOINT_RETURNS_ERROR();
    if (!lpSubKey || !*lpSubKey) { // the same handle comes back, as documented
        Key* k;
        LONG err = Resolve(hKey, &k);
        *phkResult = err == ERROR_SUCCESS ? hKey : given;
        return err;
    }
    *phkResult = given; // RegCreateKeyExA answers for the handle
    return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED,
                           nullptr, phkResult, nullptr);
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    Require();
    if (IsPredefined(hKey)) return ERROR_SUCCESS;
    return CloseHandleOf(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG WINAPI RegFlushKey(HKEY hKey) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    LONG err;
    Key* k;
    if ((err = Resolve(hKey, &k)) != ERROR_SUCCESS) return err;
    if (k->hive == kNoHive) return ERROR_SUCCESS;
    return FlushHive(k->hive) ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
    (void)Reserved;
    WINSIM_FAILPOINT_RETURNS_ERROR();
    Key* k;
    LONG bad = ERROR_SUCCESS;
    if (!lpData && cbData)
        bad = ERROR_NOACCESS;
    else if (!IsNT() && dwType == REG_SZ && !lpData)
        bad = ERROR_INVALID_PARAMETER; // 95/98 want text to store
    LONG err = KeyFor(hKey, KEY_SET_VALUE, bad, &k);
    if (err != ERROR_SUCCESS) return err;
    std::vector<uint8_t> data(lpData, lpData + (lpData ? cbData : 0));
    // NT keeps text as UTF-16 and stores it ended; 95/98 keep the bytes exactly as given. (NT
    // ends it only when the byte after the caller's data is a zero, reading past the data;
    // winsim reads nothing it was not given.)
    if (IsNT() && IsText(dwType) && !data.empty() && data.back() != 0) data.push_back(0);
    return k->SetValue(lpValueName ? lpValueName : "", dwType, std::move(data));
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    Key* k;
    const bool bad = lpReserved || (lpData && !lpcbData);
    LONG err = KeyFor(hKey, KEY_QUERY_VALUE, bad ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS, &k);
    if (err != ERROR_SUCCESS) return err;
    const Value* v = k->FindValue(lpValueName ? lpValueName : "");
    if (!v) {
        if (!lpData && lpcbData) *lpcbData = 0; // a size query learns there is nothing
        return ERROR_FILE_NOT_FOUND;
    }
    return CopyValue(*v, lpType, lpData, lpcbData);
}

LONG WINAPI RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD cbData) {
    (void)cbData; // the text's own length counts, as on Windows
    WINSIM_FAILPOINT_RETURNS_ERROR();
    if (dwType != REG_SZ || !lpData) return ERROR_INVALID_PARAMETER;
    HKEY key = hKey;
    LONG err;
    if (lpSubKey && *lpSubKey) {
        if ((err = RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_SET_VALUE, nullptr, &key, nullptr)) != ERROR_SUCCESS)
            return err;
    }
    err = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(lpData),
                         static_cast<DWORD>(std::strlen(lpData) + 1));
    if (key != hKey) RegCloseKey(key);
    return err;
}

LONG WINAPI RegQueryValueA(HKEY hKey, LPCSTR lpSubKey, LPSTR lpData, PLONG lpcbData) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    HKEY key = hKey;
    LONG err;
    if (lpSubKey && *lpSubKey) {
        if ((err = RegOpenKeyExA(hKey, lpSubKey, 0, KEY_QUERY_VALUE, &key)) != ERROR_SUCCESS)
            return err;
    }
    auto size = reinterpret_cast<LPDWORD>(lpcbData);
    err = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(lpData), size);
    if (err == ERROR_FILE_NOT_FOUND) { // a key without a default value holds the empty text
        err = ERROR_SUCCESS;
        if (lpData && lpcbData && *lpcbData < 1)
            err = ERROR_MORE_DATA;
        else if (lpData)
            lpData[0] = '\0';
        if (lpcbData) *lpcbData = 1;
    }
    if (key != hKey) RegCloseKey(key);
    return err;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    Key* k;
    const bool bad = !lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass);
    LONG err =
        KeyFor(hKey, KEY_ENUMERATE_SUB_KEYS, bad ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS, &k);
    if (err != ERROR_SUCCESS) return err;
    if (dwIndex >= k->children.size()) return ERROR_NO_MORE_ITEMS;
    const Key& c = *k->children[dwIndex];
    if (c.name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
    if (lpClass && c.className.size() + 1 > *lpcchClass) return ERROR_MORE_DATA;
    std::memcpy(lpName, c.name.c_str(), c.name.size() + 1);
    *lpcchName = static_cast<DWORD>(c.name.size());
    if (lpClass) std::memcpy(lpClass, c.className.c_str(), c.className.size() + 1);
    if (lpcchClass) *lpcchClass = static_cast<DWORD>(c.className.size());
    StoreFileTime(c.lastWrite, lpftLastWriteTime);
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    DWORD size = cchName;
    return RegEnumKeyExA(hKey, dwIndex, lpName, &size, nullptr, nullptr, nullptr, nullptr);
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    Key* k;
    const bool bad = !lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData);
    LONG err = KeyFor(hKey, KEY_QUERY_VALUE, bad ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS, &k);
    if (err != ERROR_SUCCESS) return err;
    if (dwIndex >= k->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = k->values[dwIndex];
    // A short name buffer still tells the data's type and size; a short data buffer leaves the
    // name untouched.
    if (v.name.size() + 1 > *lpcchValueName) {
        CopyValue(v, lpType, nullptr, lpcbData);
        return ERROR_MORE_DATA;
    }
    if ((err = CopyValue(v, lpType, lpData, lpcbData)) != ERROR_SUCCESS) return err;
    std::memcpy(lpValueName, v.name.c_str(), v.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(v.name.size());
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    LONG err;
    Key* from;
    if ((err = Resolve(hKey, &from)) != ERROR_SUCCESS) return err;
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    Key* k;
    if ((err = FindBelow(from, lpSubKey, &k)) != ERROR_SUCCESS) return err;
    if (!k) return ERROR_FILE_NOT_FOUND;
    if (!k->parent) return ERROR_ACCESS_DENIED; // a root key stays
    if ((err = CheckAccess(k->security.get(), DELETE)) != ERROR_SUCCESS) return err;
    // NT deletes only a key without subkeys; 95/98 delete the whole tree.
    if (IsNT() && !k->children.empty()) return ERROR_ACCESS_DENIED;
    return DeleteTree(k);
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    Key* k;
    LONG err = KeyFor(hKey, KEY_SET_VALUE, ERROR_SUCCESS, &k);
    if (err != ERROR_SUCCESS) return err;
    return k->DeleteValue(lpValueName ? lpValueName : "");
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    Key* k;
    const bool bad = lpReserved || (lpClass && !lpcchClass);
    LONG err = KeyFor(hKey, KEY_QUERY_VALUE, bad ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS, &k);
    if (err != ERROR_SUCCESS) return err;
    DWORD maxSub = 0, maxClass = 0, maxName = 0, maxData = 0;
    for (const auto& c : k->children) {
        maxSub = std::max(maxSub, static_cast<DWORD>(c->name.size()));
        maxClass = std::max(maxClass, static_cast<DWORD>(c->className.size()));
    }
    for (const Value& v : k->values) {
        maxName = std::max(maxName, static_cast<DWORD>(v.name.size()));
        // NT keeps text as UTF-16 and counts its stored bytes; 95/98 count the ANSI bytes.
        const bool wide = IsNT() && (IsText(v.type) || v.type == REG_MULTI_SZ);
        maxData = std::max(maxData, static_cast<DWORD>(v.data.size() * (wide ? 2 : 1)));
    }
    const LONG classResult = CopyClass(k->className, lpClass, lpcchClass);
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(k->children.size());
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSub;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = maxClass;
    if (lpcValues) *lpcValues = static_cast<DWORD>(k->values.size());
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor =
            IsNT() ? static_cast<DWORD>(
                         MakeSelfRelative(k->security.get(),
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)
                             .size())
                   : 0;
    StoreFileTime(k->lastWrite, lpftLastWriteTime);
    return classResult;
}

LONG WINAPI RegGetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                              PSECURITY_DESCRIPTOR pSecurityDescriptor,
                              LPDWORD lpcbSecurityDescriptor) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    if (!IsNT()) return ERROR_CALL_NOT_IMPLEMENTED;
    LONG bad = ERROR_SUCCESS;
    if (!lpcbSecurityDescriptor)
        bad = ERROR_NOACCESS;
    else if (SecurityInformation & SACL_SECURITY_INFORMATION)
        bad = ERROR_PRIVILEGE_NOT_HELD;
    Key* k;
    LONG err = KeyFor(hKey, READ_CONTROL, bad, &k);
    if (err != ERROR_SUCCESS) return err;
    std::vector<uint8_t> sd = MakeSelfRelative(k->security.get(), SecurityInformation);
    DWORD size = static_cast<DWORD>(sd.size());
    if (!pSecurityDescriptor || *lpcbSecurityDescriptor < size) {
        *lpcbSecurityDescriptor = size;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(pSecurityDescriptor, sd.data(), size);
    *lpcbSecurityDescriptor = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                              PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    LONG err;
    if (!IsNT()) return ERROR_CALL_NOT_IMPLEMENTED;
    Key* k;
    DWORD rights;
    if ((err = Resolve(hKey, &k, &rights)) != ERROR_SUCCESS) return err;
    if (SecurityInformation & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
    DescriptorParts parts;
    if ((err = ReadDescriptor(pSecurityDescriptor, &parts)) != ERROR_SUCCESS) return err;
    const bool setOwner = (SecurityInformation & OWNER_SECURITY_INFORMATION) != 0;
    const bool setDacl = (SecurityInformation & DACL_SECURITY_INFORMATION) != 0;
    DWORD need = (setOwner ? WRITE_OWNER : 0) | (setDacl ? WRITE_DAC : 0);
    if ((err = HandleHolds(rights, need)) != ERROR_SUCCESS) return err;
    if (setOwner && (!parts.hasOwner || !TokenCanOwn(parts.owner))) return ERROR_INVALID_OWNER;
    auto sec =
        k->security ? std::make_unique<KeySecurity>(*k->security) : std::make_unique<KeySecurity>();
    if (!k->security) sec->owner = TokenDefaultOwner();
    if (setOwner) sec->owner = parts.owner;
    if (setDacl) {
        sec->dacl = DaclKindOf(parts);
        sec->aces = parts.aces;
    }
    return k->SetSecurity(std::move(sec));
}

} // extern "C"
