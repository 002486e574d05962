// What the resource calls (resources.cpp) offer the calls of other DLLs that read a module's
// resources (LoadStringA).
#ifndef WINSIM_RESOURCES_H
#define WINSIM_RESOURCES_H

#include "modules.h"
#include "nls.h"

namespace winsim {

// Finds a resource of the module as FindResourceA does: the neutral language first, then US
// English, then any. False with the last error set as Windows sets it when there is none.
bool FindModuleResource(HMODULE module, LPCSTR name, LPCSTR type, const unsigned char** data,
                        DWORD* size);
// A little-endian 16-bit word of resource data.
inline WORD ReadWord(const unsigned char* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}

} // namespace winsim

#endif
