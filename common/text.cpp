#include "common/text.h"

#include <cstring>

void zrCopyBounded(char* dest, LONG size, const char* src) {
    if (!dest || size <= 0) return;
    size_t n = src ? std::strlen(src) : 0;
    if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
    if (n) std::memcpy(dest, src, n);
    dest[n] = '\0';
}

bool zrCopyWhole(char* dest, size_t size, const char* src, size_t length) {
    if (length + 1 > size) return false;
    std::memcpy(dest, src, length);
    dest[length] = '\0';
    return true;
}

bool zrCopyWhole(char* dest, size_t size, const char* src) {
    return zrCopyWhole(dest, size, src, std::strlen(src));
}
