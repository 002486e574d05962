// What the module table (modules.cpp) offers the other families: built-in system libraries and
// the resources a loaded module carries.
#ifndef WINSIM_MODULES_H
#define WINSIM_MODULES_H

#include "internal.h"

namespace winsim {

// An export of a system library that winsim implements itself.
struct BuiltinExport {
    const char* name;
    FARPROC proc;
};
// An API function as an export table holds it.
template <typename F> FARPROC AsProc(F* f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}
// Makes a built-in system library ("netapi32.dll") known: LoadLibraryA finds it by its name
// without a file on the machine, GetProcAddress by export name or by ordinal (position + 1).
// `mapped` ones (kernel32.dll) are in every process from the start.
void RegisterBuiltinModule(const std::string& name, std::vector<BuiltinExport> exports,
                           bool mapped);
// Writes the files of the system libraries a fresh machine of that kind has into its system
// directory (a host path), whose folders exist; false when one cannot be written.
bool WriteSystemLibraryFiles(const std::string& systemHostDir, bool nt);
// The compiled resources (.res bytes) of a loaded module; *size is 0 when it has none. False for
// a handle that names no loaded module; a null handle names the main program.
bool ModuleResources(HMODULE module, const unsigned char** data, size_t* size);
// The handle value of a loaded module (the main program's for a null handle); 0 when the
// handle names no loaded module.
uint32_t ModuleHandleValue(HMODULE module);
// Loads a module as LoadLibraryA does, by the same search and with the same errors
// (ERROR_MOD_NOT_FOUND: no such file; ERROR_BAD_EXE_FORMAT: a file that is no module), but with
// no failure point, for the calls of other DLLs that read a module file (the version calls).
HMODULE LoadModule(const std::string& name);
// Drops a reference to a loaded module, as FreeLibrary does but with no failure point, for a
// system component that loads a module for a moment (the spooler checking a monitor). False for
// a handle that names no loaded module.
bool ReleaseModule(HMODULE module);

} // namespace winsim

#endif
