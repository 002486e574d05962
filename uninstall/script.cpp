// The uninstall script: where it is, its placeholders, its entry lists and the fields of an
// entry. Every read goes through the profile functions on ScriptPath.
#include "removal.h"

#include <cstring>
#include <string>

#include "common/handles.h"
#include "common/placeholder.h"
#include "common/text.h"

namespace {

// Splits the copy of `entry` in `out` into `count` fields at its first count - 1 commas; the
// last field keeps the rest of the text, commas included.
int SplitInto(const char* entry, EntryFields& out, int count) {
    for (char*& field : out.field)
        field = nullptr;
    out.work[0] = '\0';
    if (!entry) return 0;
    // A longer entry would be cut, and a cut entry names another key or file.
    if (!zrCopyWhole(out.work, sizeof out.work, entry, std::strlen(entry))) return 0;
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

ZrExpansion ExpandPlaceholder(char* text, int capacity) {
    // A name that [strings] lacks leaves the text as it is.
    static const ZrPlaceholderRule kRule = {NotThereSentinel, false};
    if (capacity <= 0) return ZrExpansion{ZrExpansion::NoPlaceholder, ""};
    return zrExpandPlaceholder(text, static_cast<size_t>(capacity), ScriptPath, kRule);
}

int ReadKeyNames(const char* section, char* list, int size) {
    DWORD got = GetPrivateProfileStringA(section, nullptr, NotThereSentinel, list,
                                         static_cast<DWORD>(size), ScriptPath);
    if (std::strcmp(list, NotThereSentinel) == 0) {
        list[0] = list[1] = '\0';
        return 0;
    }
    if (got >= static_cast<DWORD>(size - 2)) {
        // Cut the last (partial) name off at the NUL before it.
        DWORD end = got;
        while (end > 0 && list[end - 1] != '\0')
            --end;
        list[end] = '\0';
        if (end + 1 < static_cast<DWORD>(size)) list[end + 1] = '\0';
    }
    return 1;
}

void ReadEntryList(const char* section, char* list, int size) {
    if (!list || size < 2) return;
    DWORD got = GetPrivateProfileStringA(section, nullptr, NotThereSentinel, list,
                                         static_cast<DWORD>(size), ScriptPath);
    if (std::strcmp(list, NotThereSentinel) == 0) {
        // The sentinel is a list only with the NUL after it; without room for that, the list
        // is empty, so that a walk of it stays in the buffer.
        if (size > static_cast<int>(sizeof NotThereSentinel))
            list[sizeof NotThereSentinel] = '\0';
        else
            list[0] = list[1] = '\0';
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
            if (room < 2 || !zrCopyWhole(list + out, room, original.data() + pos, end - pos)) break;
            ExpandPlaceholder(list + out, static_cast<int>(room));
            const size_t length = std::strlen(list + out);
            if (length > 0) out += length + 1;
        }
        pos = end + 1;
    }
    list[out] = '\0';
    if (out + 1 < static_cast<size_t>(size)) list[out + 1] = '\0';
}

void ReadEntries(const char* section, std::vector<char>& list) {
    ReadEntryList(section, list.data(), static_cast<int>(list.size()));
    if (std::strcmp(list.data(), NotThereSentinel) == 0) {
        list[0] = '\0';
        list[1] = '\0';
    }
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
