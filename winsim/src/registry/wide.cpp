// The wide forms of the registry calls (Reg*W). NT 4.0 has them; 95/98 export stubs that answer
// ERROR_CALL_NOT_IMPLEMENTED. winsim keeps names and text in code page 1252, as the A forms see
// them, so each W form converts what it is given, asks its A form, and converts the answer: text
// data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) travels as UTF-16, sizes of it in bytes, names and
// classes in characters.
#include "../resources.h"
#include "store.h"

#include <algorithm>
#include <cstring>

using namespace winsim;

namespace {

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Stored data as a W caller sees it: text widened character by character (its zeros too).
std::vector<uint8_t> WideData(DWORD type, std::vector<uint8_t> data) {
    if (!IsTextType(type)) return data;
    std::vector<uint8_t> wide;
    wide.reserve(data.size() * 2);
    for (uint8_t b : data) {
        const WORD w = WideChar(static_cast<char>(b));
        wide.push_back(static_cast<uint8_t>(w & 0xFF));
        wide.push_back(static_cast<uint8_t>(w >> 8));
    }
    return wide;
}

// A W caller's data as the A forms store it: text narrowed (a last odd byte is no character).
std::vector<uint8_t> StoredData(DWORD type, const BYTE* data, DWORD size) {
    if (!IsTextType(type)) return std::vector<uint8_t>(data, data + size);
    std::vector<uint8_t> narrow;
    narrow.reserve(size / 2);
    for (DWORD i = 0; i + 1 < size; i += 2)
        narrow.push_back(
            static_cast<uint8_t>(AnsiChar(static_cast<WORD>(data[i] | data[i + 1] << 8))));
    return narrow;
}

// Hands wide data to the caller as RegQueryValueExW does: a null buffer asks the size, a short
// one gets nothing and ERROR_MORE_DATA; text without its end is ended when the buffer has room.
LONG PutData(const std::vector<uint8_t>& wide, DWORD type, LPBYTE data, LPDWORD cbData) {
    if (!cbData) return ERROR_SUCCESS;
    const DWORD room = *cbData;
    const auto size = static_cast<DWORD>(wide.size());
    *cbData = size;
    if (!data) return ERROR_SUCCESS;
    if (room < size) return ERROR_MORE_DATA;
    if (size) std::memcpy(data, wide.data(), size);
    const bool ended = size >= 2 && wide[size - 1] == 0 && wide[size - 2] == 0;
    if (IsTextType(type) && type != REG_MULTI_SZ && !ended && room >= size + 2)
        data[size] = data[size + 1] = 0;
    return ERROR_SUCCESS;
}

// Copies a name in characters, ended; false (nothing written) when `cch` cannot hold it whole.
bool PutName(const std::string& name, LPWSTR out, LPDWORD cch) {
    if (name.size() + 1 > *cch) return false;
    for (size_t i = 0; i < name.size(); ++i)
        out[i] = WideChar(name[i]);
    out[name.size()] = 0;
    *cch = static_cast<DWORD>(name.size());
    return true;
}

// A value's type and stored data through the A form (the name as the A forms see it).
LONG ReadValueA(HKEY key, LPCSTR name, DWORD* type, std::vector<uint8_t>* data) {
    DWORD size = 0;
    LONG err = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (err != ERROR_SUCCESS) return err;
    data->assign(size + 1, 0);
    if ((err = RegQueryValueExA(key, name, nullptr, type, data->data(), &size)) != ERROR_SUCCESS)
        return err;
    data->resize(size);
    return ERROR_SUCCESS;
}

// The class of a key (its own, through RegQueryInfoKeyA).
LONG ClassOf(HKEY key, std::string* cls) {
    DWORD len = 0;
    LONG err = RegQueryInfoKeyA(key, nullptr, &len, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr);
    if (err != ERROR_SUCCESS) return err;
    std::string buf(len + 1, '\0');
    len += 1;
    err = RegQueryInfoKeyA(key, &buf[0], &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr);
    cls->assign(buf.c_str());
    return err;
}

} // namespace

// Each W form: its own failure point, then 95/98's stub answer.
#define WINSIM_WIDE_FORM()                                                                         \
    WINSIM_FAILPOINT_RETURNS_ERROR();                                                              \
    if (!IsNT()) return ERROR_CALL_NOT_IMPLEMENTED

extern "C" {

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    WINSIM_WIDE_FORM();
    return RegOpenKeyExA(hKey, NarrowArg(lpSubKey).get(), ulOptions, samDesired, phkResult);
}

LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    WINSIM_WIDE_FORM();
    NarrowArg cls(lpClass);
    return RegCreateKeyExA(hKey, NarrowArg(lpSubKey).get(), Reserved, cls.mutable_get(), dwOptions,
                           samDesired, lpSecurityAttributes, phkResult, lpdwDisposition);
}

LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    WINSIM_WIDE_FORM();
    return RegDeleteKeyA(hKey, NarrowArg(lpSubKey).get());
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    WINSIM_WIDE_FORM();
    return RegDeleteValueA(hKey, NarrowArg(lpValueName).get());
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
    WINSIM_WIDE_FORM();
    if (!lpData) // the A form answers for missing data
        return RegSetValueExA(hKey, NarrowArg(lpValueName).get(), Reserved, dwType, nullptr,
                              cbData);
    const std::vector<uint8_t> stored = StoredData(dwType, lpData, cbData);
    return RegSetValueExA(hKey, NarrowArg(lpValueName).get(), Reserved, dwType,
                          stored.empty() ? lpData : stored.data(),
                          static_cast<DWORD>(stored.size()));
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    WINSIM_WIDE_FORM();
    if (lpReserved || (lpData && !lpcbData)) // the A form orders these errors
        return RegQueryValueExA(hKey, nullptr, lpReserved, nullptr, lpData, lpcbData);
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    LONG err = ReadValueA(hKey, NarrowArg(lpValueName).get(), &type, &data);
    if (err == ERROR_FILE_NOT_FOUND && !lpData && lpcbData) *lpcbData = 0;
    if (err != ERROR_SUCCESS) return err;
    if (lpType) *lpType = type;
    return PutData(WideData(type, std::move(data)), type, lpData, lpcbData);
}

LONG WINAPI RegSetValueW(HKEY hKey, LPCWSTR lpSubKey, DWORD dwType, LPCWSTR lpData, DWORD cbData) {
    (void)cbData; // the text's own length counts, as in the A form
    WINSIM_WIDE_FORM();
    return RegSetValueA(hKey, NarrowArg(lpSubKey).get(), dwType, NarrowArg(lpData).get(), 0);
}

LONG WINAPI RegQueryValueW(HKEY hKey, LPCWSTR lpSubKey, LPWSTR lpData, PLONG lpcbData) {
    WINSIM_WIDE_FORM();
    LONG size = 0;
    LONG err = RegQueryValueA(hKey, NarrowArg(lpSubKey).get(), nullptr, &size);
    if (err != ERROR_SUCCESS) return err;
    std::string text(static_cast<size_t>(size) + 1, '\0');
    if ((err = RegQueryValueA(hKey, NarrowArg(lpSubKey).get(), &text[0], &size)) != ERROR_SUCCESS)
        return err;
    text.resize(std::strlen(text.c_str()));
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    if (!lpcbData) return ERROR_SUCCESS;
    // The text in UTF-16 bytes, ended; a short buffer is left alone.
    const auto need = static_cast<LONG>((text.size() + 1) * sizeof(WCHAR));
    const LONG room = *lpcbData;
    *lpcbData = need;
    if (!lpData) return ERROR_SUCCESS;
    if (room < need) return ERROR_MORE_DATA;
    DWORD cch = static_cast<DWORD>(text.size() + 1);
    PutName(text, lpData, &cch);
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
    WINSIM_WIDE_FORM();
    char name[registry::kMaxKeyNameLength + 1];
    DWORD cchName = sizeof name;
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) // the handle first
        return RegEnumKeyExA(hKey, dwIndex, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    // The class has no limit: a buffer that grows until it holds it.
    std::string cls(256, '\0');
    LONG err;
    for (;;) {
        DWORD cchClass = static_cast<DWORD>(cls.size());
        err = RegEnumKeyExA(hKey, dwIndex, name, &cchName, nullptr, &cls[0], &cchClass,
                            lpftLastWriteTime);
        if (err != ERROR_MORE_DATA) {
            cls.resize(err == ERROR_SUCCESS ? cchClass : 0);
            break;
        }
        cls.assign(cls.size() * 2, '\0');
    }
    if (err != ERROR_SUCCESS) return err;
    if (cchName + 1 > *lpcchName) return ERROR_MORE_DATA;
    if (lpClass && cls.size() + 1 > *lpcchClass) return ERROR_MORE_DATA;
    PutName(name, lpName, lpcchName);
    if (lpClass)
        PutName(cls, lpClass, lpcchClass);
    else if (lpcchClass)
        *lpcchClass = static_cast<DWORD>(cls.size());
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    WINSIM_WIDE_FORM();
    const bool bad = !lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData);
    DWORD maxName = 0;
    LONG err = RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                &maxName, nullptr, nullptr, nullptr);
    if (err == ERROR_SUCCESS && bad) err = ERROR_INVALID_PARAMETER;
    if (err != ERROR_SUCCESS) return err;
    std::string name(maxName + 1, '\0');
    DWORD cch = maxName + 1, type = REG_NONE, size = 0;
    if ((err = RegEnumValueA(hKey, dwIndex, &name[0], &cch, nullptr, &type, nullptr, &size)) !=
        ERROR_SUCCESS)
        return err;
    name.resize(cch);
    std::vector<uint8_t> data;
    if ((err = ReadValueA(hKey, name.c_str(), &type, &data)) != ERROR_SUCCESS) return err;
    const std::vector<uint8_t> wide = WideData(type, std::move(data));
    // A short name buffer still tells the data's type and size; a short data buffer gets the
    // name but no data.
    if (lpType) *lpType = type;
    if (name.size() + 1 > *lpcchValueName) {
        if (lpcbData) *lpcbData = static_cast<DWORD>(wide.size());
        return ERROR_MORE_DATA;
    }
    PutName(name, lpValueName, lpcchValueName);
    return PutData(wide, type, lpData, lpcbData);
}

LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
    WINSIM_WIDE_FORM();
    LONG err = RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr); // the handle first
    if (err != ERROR_SUCCESS) return err;
    if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    err = RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, lpcSubKeys, lpcbMaxSubKeyLen,
                           lpcbMaxClassLen, lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen,
                           lpcbSecurityDescriptor, lpftLastWriteTime);
    if (err != ERROR_SUCCESS || !lpcchClass) return err;
    std::string cls;
    if ((err = ClassOf(hKey, &cls)) != ERROR_SUCCESS) return err;
    // A class buffer that cannot hold the class whole is left alone.
    if (lpClass && *lpcchClass && !PutName(cls, lpClass, lpcchClass)) {
        *lpcchClass = static_cast<DWORD>(cls.size());
        return ERROR_INSUFFICIENT_BUFFER;
    }
    *lpcchClass = static_cast<DWORD>(cls.size());
    return ERROR_SUCCESS;
}

} // extern "C"
