// The uninstall script: where it is, its placeholders, its entry lists and the fields of an
// entry. Every read goes through the profile functions on ScriptPath.
#include "pwuninst.h"

#include <cstring>
#include <string>

#include "frame/handles.h"

namespace {

// Copies src into dest when it fits whole; returns false (and writes nothing) otherwise.
bool CopyWhole(char* dest, size_t size, const char* src, size_t length) {
    if (length + 1 > size) return false;
    std::memcpy(dest, src, length);
    dest[length] = '\0';
    return true;
}

// Splits the copy of `entry` in `out` into `count` fields at its first count - 1 commas; the
// last field keeps the rest of the text, commas included.
int SplitInto(const char* entry, EntryFields& out, int count) {
    for (char*& field : out.field)
        field = nullptr;
    out.work[0] = '\0';
    if (!entry) return 0;
    // A longer entry would be cut, and a cut entry names another key or file.
    if (!CopyWhole(out.work, sizeof out.work, entry, std::strlen(entry))) return 0;
    char* p = out.work;
    out.field[0] = p;
    for (int i = 1; i < count; ++i) {
        char* comma = std::strchr(p, ',');
        if (!comma) {
            for (char*& field : out.field)
                field = nullptr;
            return 0;
        }
        *comma = '\0';
        p = comma + 1;
        out.field[i] = p;
    }
    return 1;
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Full path, short form where the path exists, upper case, no trailing backslash (but "C:\"
// keeps its own).
std::string ComparablePath(const char* path) {
    char full[UN_PATH_SIZE];
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(path, sizeof full, full, &filePart);
    if (n == 0 || n >= sizeof full) {
        // Taken as written (network paths among them).
        std::string result = path;
        while (result.size() > 3 && result.back() == '\\')
            result.pop_back();
        return UpperAscii(result);
    }
    char shortForm[UN_PATH_SIZE];
    DWORD s = GetShortPathNameA(full, shortForm, sizeof shortForm);
    std::string result = (s > 0 && s < sizeof shortForm) ? shortForm : full;
    while (result.size() > 3 && result.back() == '\\')
        result.pop_back();
    return UpperAscii(result);
}

bool IsDriveRoot(const std::string& path) {
    // "C:" and "C:\"
    if (path.size() >= 2 && path.size() <= 3 && path[1] == ':' &&
        (path.size() == 2 || path[2] == '\\'))
        return true;
    // "\\SERVER\SHARE" with nothing below it
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

void ReadScriptPath() {
    ScriptPath[0] = '\0';
    CZRRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UN_INSTALL_KEY, 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return;
    DWORD type = 0;
    DWORD size = sizeof ScriptPath;
    if (RegQueryValueExA(key.Get(), UN_INSTALL_VALUE, nullptr, &type,
                         reinterpret_cast<LPBYTE>(ScriptPath), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        ScriptPath[0] = '\0';
        return;
    }
    // A value stored without its terminator still ends inside the buffer.
    if (size >= sizeof ScriptPath) size = sizeof ScriptPath - 1;
    ScriptPath[size] = '\0';
}

void ExpandPlaceholder(char* text, int capacity) {
    if (!text || capacity <= 0) return;
    char* open = std::strchr(text, '%');
    if (!open) return;
    char* close = std::strchr(open + 1, '%');
    if (!close) return;

    char name[UN_FILE_ENTRY_SIZE];
    size_t nameLength = static_cast<size_t>(close - open - 1);
    if (nameLength > sizeof name - 1) nameLength = sizeof name - 1;
    std::memcpy(name, open + 1, nameLength);
    name[nameLength] = '\0';

    char value[UN_FILE_ENTRY_SIZE];
    GetPrivateProfileStringA(UN_STRINGS_SECTION, name, NotThereSentinel, value, sizeof value,
                             ScriptPath);
    if (std::strcmp(value, NotThereSentinel) == 0) return;

    const size_t before = static_cast<size_t>(open - text);
    const size_t valueLength = std::strlen(value);
    const size_t afterLength = std::strlen(close + 1);
    const size_t total = before + valueLength + afterLength;
    // The new text is built in a 128-byte buffer; one that does not fit is not cut but dropped.
    if (total + 1 > UN_FILE_ENTRY_SIZE || total + 1 > static_cast<size_t>(capacity)) {
        text[0] = '\0';
        return;
    }
    char built[UN_FILE_ENTRY_SIZE];
    std::memcpy(built, text, before);
    std::memcpy(built + before, value, valueLength);
    std::memcpy(built + before + valueLength, close + 1, afterLength);
    built[total] = '\0';
    std::memcpy(text, built, total + 1);
}

void ReadEntryList(const char* section, char* list, int size) {
    if (!list || size < 2) return;
    DWORD got = GetPrivateProfileStringA(section, nullptr, NotThereSentinel, list,
                                         static_cast<DWORD>(size), ScriptPath);
    if (std::strcmp(list, NotThereSentinel) == 0) {
        if (size > static_cast<int>(sizeof NotThereSentinel)) list[sizeof NotThereSentinel] = '\0';
        return;
    }
    // A list that did not fit ends in a cut name; it is left out rather than taken for another.
    const bool cut = got >= static_cast<DWORD>(size - 2);

    // Expand each entry where it will end up, with the room that is left behind it.
    std::string original(list, got);
    size_t out = 0;
    size_t pos = 0;
    while (pos < original.size()) {
        size_t end = original.find('\0', pos);
        if (end == std::string::npos) end = original.size();
        const bool last = end >= original.size();
        if (!(cut && last)) {
            const size_t room = static_cast<size_t>(size) - out - 1;
            if (room < 2 || !CopyWhole(list + out, room, original.data() + pos, end - pos)) break;
            ExpandPlaceholder(list + out, static_cast<int>(room));
            const size_t length = std::strlen(list + out);
            if (length > 0) out += length + 1;
        }
        pos = end + 1;
    }
    list[out] = '\0';
    if (out + 1 < static_cast<size_t>(size)) list[out + 1] = '\0';
}

int SplitEntry(const char* entry, EntryFields& out, char** f1, char** f2) {
    int ok = SplitInto(entry, out, 2);
    *f1 = out.field[0];
    *f2 = out.field[1];
    return ok;
}

int SplitEntry(const char* entry, EntryFields& out, char** f1, char** f2, char** f3) {
    int ok = SplitInto(entry, out, 3);
    *f1 = out.field[0];
    *f2 = out.field[1];
    *f3 = out.field[2];
    return ok;
}

int SplitEntry(const char* entry, EntryFields& out, char** f1, char** f2, char** f3, char** f4) {
    int ok = SplitInto(entry, out, 4);
    *f1 = out.field[0];
    *f2 = out.field[1];
    *f3 = out.field[2];
    *f4 = out.field[3];
    return ok;
}

int IsProtectedPath(const char* path) {
    if (!path || !path[0]) return 0;
    const std::string candidate = ComparablePath(path);
    if (IsDriveRoot(candidate)) return 1;

    char dir[UN_PATH_SIZE];
    UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    if (n > 0 && n < sizeof dir && candidate == ComparablePath(dir)) return 1;
    n = GetSystemDirectoryA(dir, sizeof dir);
    if (n > 0 && n < sizeof dir && candidate == ComparablePath(dir)) return 1;
    return 0;
}
