// What the resource calls (resources.cpp) offer the calls of other DLLs that read a module's
// resources (LoadStringA).
#ifndef WINSIM_RESOURCES_H
#define WINSIM_RESOURCES_H

#include "modules.h"

namespace winsim {

// Finds a resource of the module as FindResourceA does: the neutral language first, then US
// English, then any. False with the last error set as Windows sets it when there is none.
bool FindModuleResource(HMODULE module, LPCSTR name, LPCSTR type, const unsigned char** data,
                        DWORD* size);
// A UTF-16 character in code page 1252, the system code page of our machines; what it cannot
// show becomes '?', as WideCharToMultiByte's default character.
char AnsiChar(WORD c);
// A code page 1252 character in UTF-16, as MultiByteToWideChar gives it.
WORD WideChar(char c);
// A little-endian 16-bit word of resource data.
inline WORD ReadWord(const unsigned char* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}

} // namespace winsim

#endif
