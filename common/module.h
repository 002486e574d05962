// A library loaded at run time and the entry points looked up in it.
#ifndef PW_COMMON_MODULE_H
#define PW_COMMON_MODULE_H

#include "common/handles.h"

// A library loaded with LoadLibraryA; released with FreeLibrary.
struct CZRModuleTraits : CZRNullHandleTraits<HMODULE> {
    static void Close(HMODULE h) { FreeLibrary(h); }
};
using CZRModule = CZROwner<HMODULE, CZRModuleTraits>;

// An export of `module` as the function type the caller declares; null when there is none. The
// cast goes through a plain function pointer, which any function pointer converts to and from.
template <typename Fn> Fn zrProcAs(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

#endif
