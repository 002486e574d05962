// Bounded copies of narrow text. Two rules, one each for what the copy is for: a display text may
// be cut to fit; a path or a name may not, since a cut one names another file or key.
#ifndef PW_COMMON_TEXT_H
#define PW_COMMON_TEXT_H

#include <windows.h>

#include <cstddef>

// Copies at most size - 1 characters of src and terminates; writes nothing when size <= 0.
void zrCopyBounded(char* dest, LONG size, const char* src);

// Copies src (its first `length` characters) into dest when it fits whole with its terminator;
// false, and dest unchanged, otherwise.
bool zrCopyWhole(char* dest, size_t size, const char* src, size_t length);
bool zrCopyWhole(char* dest, size_t size, const char* src);

#endif
