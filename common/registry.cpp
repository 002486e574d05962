#include "common/registry.h"

bool zrEndText(char* buffer, DWORD got, DWORD size) {
    if (got > 0 && got <= size && buffer[got - 1] == '\0') return true;
    // Stored without its terminator: it must still fit with one.
    if (got >= size) return false;
    buffer[got] = '\0';
    return true;
}

bool zrReadRegText(HKEY key, const char* name, char* buffer, DWORD size) {
    buffer[0] = '\0';
    DWORD type = 0;
    DWORD got = size;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &got) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || !zrEndText(buffer, got, size)) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}
