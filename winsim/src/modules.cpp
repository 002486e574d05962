// Modules (kernel32, winbase.h): the process's module table, LoadLibraryA and its search of the
// machine's folders, GetProcAddress, GetModuleHandleA, built-in system libraries, and the resources
// that modules bring along.
//
// A module file on the machine is a native shared object; loading it maps it with dlopen. The
// system libraries that winsim implements itself have files too, in the system directories of a
// fresh machine: a file that names one (kSystemLibraryMark) loads that library. Module
// handles look like Windows' load addresses (the main program at 0x00400000, libraries from
// 0x10000000 in steps of 64 KB), so they fit in 32 bits and leave room below each handle for
// the resource handles of resources.cpp.
#include "modules.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace winsim;

namespace {

constexpr uint32_t kMainHandle = 0x00400000;
constexpr uint32_t kFirstLibraryHandle = 0x10000000;
constexpr uint32_t kFirstBuiltinHandle = 0x77000000;
constexpr uint32_t kHandleStep = 0x10000;
// The first line of a system library's file on the machine; the library's name follows.
constexpr char kSystemLibraryMark[] = "winsim system library ";

// The files of the system libraries a fresh machine of each kind has, as programs load or name
// them: where they lie below the system directory, and on which systems. 95/98 have no
// localmon.dll: their "Local Port" monitor is part of spoolss.dll; NT 4.0 keeps its print
// processor in the processor directory.
struct SystemLibraryFile {
    const char* folder; // below the system directory; "" for the directory itself
    const char* name;
    bool nt, win9x;
};
constexpr SystemLibraryFile kSystemLibraryFiles[] = {
    {"", "KERNEL32.DLL", true, true},
    {"", "NETAPI32.DLL", true, true},
    {"", "WINSPOOL.DRV", true, true},
    {"", "SPOOLSS.DLL", true, true},
    {"", "VERSION.DLL", true, true},
    {"", "LOCALMON.DLL", true, false},
    {"spool\\prtprocs\\w32x86", "WINPRINT.DLL", true, false},
};

struct DlCloser {
    void operator()(void* dl) const { dlclose(dl); }
};
using DlHandle = std::unique_ptr<void, DlCloser>;

struct Builtin {
    std::string name;
    std::vector<BuiltinExport> exports;
    bool mapped = false;
    uint32_t handle = 0;
};

struct Module {
    uint32_t handle = 0;
    std::string name;     // file name, matched by GetModuleHandleA
    std::string hostPath; // canonical host path of a library file
    DlHandle dl;
    const Builtin* builtin = nullptr;
    int refs = 0;
    bool permanent = false; // the main program and mapped built-ins never unload
};

struct ModuleTable {
    std::vector<std::unique_ptr<Module>> modules; // in load order
    std::vector<std::unique_ptr<Builtin>> builtins;
    uint32_t nextHandle = kFirstLibraryHandle;
};

// Never destroyed: loaded modules stay mapped until the process ends, as on Windows, and their
// static destructors may still reach the table at exit.
ModuleTable& Table() {
    static ModuleTable* table = [] {
        auto* t = new ModuleTable;
        auto main = std::make_unique<Module>();
        main->handle = kMainHandle;
        char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : "MAIN.EXE";
        main->name = path.substr(path.rfind('/') + 1);
        main->refs = 1;
        main->permanent = true;
        t->modules.push_back(std::move(main));
        return t;
    }();
    return *table;
}

// The compiled resources that modules registered as they were loaded.
struct ResourceBlock {
    const unsigned char* data;
    size_t size;
};
std::vector<ResourceBlock>& ResourceBlocks() {
    static auto* blocks = new std::vector<ResourceBlock>;
    return *blocks;
}

Module* FindModule(uint32_t handle) {
    for (auto& m : Table().modules)
        if (m->handle == handle) return m.get();
    return nullptr;
}

Module* FindModule(HMODULE h) {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    return FindModule(v == 0 ? kMainHandle : static_cast<uint32_t>(v));
}

HMODULE AsHmodule(uint32_t handle) {
    return reinterpret_cast<HMODULE>(uintptr_t{handle});
}

// The dynamic linker's record of a module, which tells which module an address lies in.
const link_map* LinkMapOf(const Module& m) {
    void* dl = m.dl.get();
    if (m.handle == kMainHandle) {
        static void* self = dlopen(nullptr, RTLD_NOW);
        dl = self;
    }
    link_map* lm = nullptr;
    if (!dl || dlinfo(dl, RTLD_DI_LINKMAP, &lm) != 0) return nullptr;
    return lm;
}

const link_map* LinkMapAt(const void* address) {
    Dl_info info;
    void* extra = nullptr;
    if (!dladdr1(address, &info, &extra, RTLD_DL_LINKMAP)) return nullptr;
    return static_cast<const link_map*>(extra);
}

// "netapi32" -> "netapi32.DLL"; a trailing dot means "no extension" and is dropped.
std::string WithDefaultExtension(std::string name) {
    size_t slash = name.find_last_of("\\/:");
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return name + ".DLL";
    if (dot + 1 == name.size()) name.pop_back();
    return name;
}

std::string BaseName(const std::string& name) {
    size_t slash = name.find_last_of("\\/:");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool IsRegularFile(const std::string& hostPath) {
    struct stat st;
    return !hostPath.empty() && stat(hostPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

Builtin* FindBuiltin(const std::string& fileName) {
    for (auto& b : Table().builtins)
        if (IEquals(b->name, fileName)) return b.get();
    return nullptr;
}

// The first loaded module of that file name, as Windows answers a bare name.
Module* FindLoadedByName(const std::string& fileName) {
    for (auto& m : Table().modules)
        if (IEquals(m->name, fileName)) return m.get();
    return nullptr;
}

HMODULE Reference(Module* m) {
    if (!m->permanent) ++m->refs;
    return AsHmodule(m->handle);
}

uint32_t NewLibraryHandle() {
    ModuleTable& t = Table();
    for (;;) {
        uint32_t h = t.nextHandle;
        t.nextHandle =
            h + kHandleStep >= kFirstBuiltinHandle ? kFirstLibraryHandle : h + kHandleStep;
        if (!FindModule(h)) return h;
    }
}

HMODULE LoadBuiltin(Builtin* b) {
    if (Module* m = FindModule(b->handle)) return Reference(m);
    auto m = std::make_unique<Module>();
    m->handle = b->handle;
    m->name = b->name;
    m->builtin = b;
    m->refs = 1;
    m->permanent = b->mapped;
    Table().modules.push_back(std::move(m));
    return AsHmodule(b->handle);
}

// The system library a file on the machine stands for; null when it is a module file of its own.
// A library that winsim implements none of the calls of has an empty export table.
Builtin* SystemLibraryOf(const std::string& hostPath) {
    std::string text;
    const size_t mark = sizeof kSystemLibraryMark - 1;
    if (!ReadWholeFile(hostPath, &text) || text.compare(0, mark, kSystemLibraryMark) != 0)
        return nullptr;
    const std::string name = Trim(text.substr(mark, text.find_first_of("\r\n", mark) - mark));
    if (name.empty()) return nullptr;
    if (Builtin* b = FindBuiltin(name)) return b;
    winsim::RegisterBuiltinModule(name, {}, false);
    return FindBuiltin(name);
}

// Maps a module file; a file that is loaded already gains a reference. A system library's file
// loads that library.
HMODULE LoadFile(const std::string& hostPath, std::string* error) {
    char* real = realpath(hostPath.c_str(), nullptr);
    std::string canonical = real ? real : hostPath;
    std::free(real);
    for (auto& m : Table().modules)
        if (!m->hostPath.empty() && m->hostPath == canonical) return Reference(m.get());
    if (Builtin* b = SystemLibraryOf(canonical)) return LoadBuiltin(b);

    DlHandle dl(dlopen(canonical.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!dl) {
        const char* why = dlerror();
        if (error) *error = why ? why : "cannot load " + canonical;
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    auto m = std::make_unique<Module>();
    m->handle = NewLibraryHandle();
    m->name = BaseName(canonical);
    m->hostPath = canonical;
    m->dl = std::move(dl);
    m->refs = 1;
    uint32_t handle = m->handle;
    Table().modules.push_back(std::move(m));
    return AsHmodule(handle);
}

// An export defined by the module itself: dlsym also answers from the libraries the module
// depends on, which Windows' export table would not.
void* FindExport(const Module& m, const char* name) {
    if (m.builtin) {
        for (const BuiltinExport& e : m.builtin->exports)
            if (std::string(e.name) == name) return reinterpret_cast<void*>(e.proc);
        return nullptr;
    }
    const link_map* own = LinkMapOf(m);
    void* p = m.handle == kMainHandle ? dlsym(RTLD_DEFAULT, name) : dlsym(m.dl.get(), name);
    if (!p && m.handle != kMainHandle && std::strchr(name, '@')) {
        // An ELF linker reads '@' in a symbol name as a symbol version, so a module file spells
        // a decorated standard-call name ("_FindDevice@8") with '$' instead ("_FindDevice$8").
        std::string spelled = name;
        for (char& c : spelled)
            if (c == '@') c = '$';
        p = dlsym(m.dl.get(), spelled.c_str());
    }
    return p && own && LinkMapAt(p) == own ? p : nullptr;
}

// kernel32.dll is in every process; programs look its functions up by name.
const bool g_kernel32 = [] {
    RegisterBuiltinModule("KERNEL32.DLL",
                          {{"GetVersion", AsProc(&GetVersion)},
                           {"GetLastError", AsProc(&GetLastError)},
                           {"SetLastError", AsProc(&SetLastError)},
                           {"GetModuleHandleA", AsProc(&GetModuleHandleA)},
                           {"LoadLibraryA", AsProc(&LoadLibraryA)},
                           {"GetProcAddress", AsProc(&GetProcAddress)},
                           {"FreeLibrary", AsProc(&FreeLibrary)},
                           {"FindResourceA", AsProc(&FindResourceA)},
                           {"LoadResource", AsProc(&LoadResource)},
                           {"LockResource", AsProc(&LockResource)},
                           {"SizeofResource", AsProc(&SizeofResource)},
                           {"GetWindowsDirectoryA", AsProc(&GetWindowsDirectoryA)},
                           {"GetSystemDirectoryA", AsProc(&GetSystemDirectoryA)},
                           {"MultiByteToWideChar", AsProc(&MultiByteToWideChar)}},
                          true);
    return true;
}();

} // namespace

namespace winsim {

void RegisterBuiltinModule(const std::string& name, std::vector<BuiltinExport> exports,
                           bool mapped) {
    ModuleTable& t = Table();
    auto b = std::make_unique<Builtin>();
    b->name = name;
    b->exports = std::move(exports);
    b->mapped = mapped;
    b->handle = kFirstBuiltinHandle + static_cast<uint32_t>(t.builtins.size()) * kHandleStep;
    Builtin* raw = b.get();
    t.builtins.push_back(std::move(b));
    if (mapped) LoadBuiltin(raw);
}

bool ModuleResources(HMODULE module, const unsigned char** data, size_t* size) {
    Module* m = FindModule(module);
    if (!m) return false;
    *data = nullptr;
    *size = 0;
    if (m->builtin) return true;
    const link_map* own = LinkMapOf(*m);
    for (const ResourceBlock& b : ResourceBlocks()) {
        if (own && LinkMapAt(b.data) == own) {
            *data = b.data;
            *size = b.size;
            break;
        }
    }
    return true;
}

bool WriteSystemLibraryFiles(const std::string& systemHostDir, bool nt) {
    for (const SystemLibraryFile& f : kSystemLibraryFiles) {
        if (!(nt ? f.nt : f.win9x)) continue;
        std::string path = systemHostDir + "/";
        for (const char* c = f.folder; *c; ++c)
            path += *c == '\\' ? '/' : *c;
        if (*f.folder) path += "/";
        if (!WriteFileAtomic(path + f.name, std::string(kSystemLibraryMark) + f.name + "\r\n"))
            return false;
    }
    return true;
}

uint32_t ModuleHandleValue(HMODULE module) {
    Module* m = FindModule(module);
    return m ? m->handle : 0;
}

uintptr_t LoadHostLibrary(const std::string& hostPath, std::string* error) {
    if (!IsRegularFile(hostPath)) {
        if (error) *error = hostPath + ": no such file";
        return 0;
    }
    return reinterpret_cast<uintptr_t>(LoadFile(hostPath, error));
}

HMODULE LoadModule(const std::string& name) {
    if (name.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string file = WithDefaultExtension(BaseName(name));
    bool bare = name.find_first_of("\\/:") == std::string::npos;

    if (bare) {
        if (Module* m = FindLoadedByName(file)) return Reference(m);
        // The program's folder and the current folder (one and the same here), the system
        // folder, on NT also the 16-bit one, then the Windows folder.
        std::vector<std::string> dirs = {".", SystemDir()};
        if (IsNT()) dirs.push_back(WindowsDir() + "\\SYSTEM");
        dirs.push_back(WindowsDir());
        for (const std::string& dir : dirs) {
            std::string host = ResolvePath(dir + "\\" + file, false);
            if (IsRegularFile(host)) return LoadFile(host, nullptr);
        }
    } else {
        std::string path = name.substr(0, name.size() - BaseName(name).size()) + file;
        std::string host = ResolvePath(path, false);
        if (IsRegularFile(host)) return LoadFile(host, nullptr);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

bool ReleaseModule(HMODULE module) {
    ModuleTable& t = Table();
    for (auto it = t.modules.begin(); it != t.modules.end(); ++it) {
        Module& m = **it;
        if (m.handle != reinterpret_cast<uintptr_t>(module)) continue;
        if (!m.permanent && --m.refs == 0) t.modules.erase(it); // unmaps the file
        return true;
    }
    return false;
}

void* HostProcAddress(uintptr_t module, const std::string& name) {
    Module* m = FindModule(reinterpret_cast<HMODULE>(module));
    return m ? FindExport(*m, name.c_str()) : nullptr;
}

} // namespace winsim

// Called from the static constructor and destructor of a module's generated resource source
// (cmake/EmbedResources.cmake).
extern "C" void winsim_RegisterResources(const unsigned char* data, size_t size) {
    ResourceBlocks().push_back(ResourceBlock{data, size});
}

extern "C" void winsim_UnregisterResources(const unsigned char* data) {
    auto& blocks = ResourceBlocks();
    for (auto it = blocks.begin(); it != blocks.end(); ++it) {
        if (it->data == data) {
            blocks.erase(it);
            return;
        }
    }
}

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Require();
    WINSIM_FAILPOINT(nullptr);
    return winsim::LoadModule(lpLibFileName);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    WINSIM_FAILPOINT(FALSE);
    if (ReleaseModule(hLibModule)) return TRUE;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    WINSIM_FAILPOINT(nullptr);
    if (!lpModuleName) return AsHmodule(kMainHandle);
    // Windows compares the file name of each loaded module; a path adds nothing here.
    if (Module* m = FindLoadedByName(WithDefaultExtension(BaseName(lpModuleName))))
        return AsHmodule(m->handle);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    WINSIM_FAILPOINT(nullptr);
    Module* m = FindModule(hModule);
    if (!m) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* p = nullptr;
    if (IS_INTRESOURCE(lpProcName)) {
        // By ordinal: built-in libraries number their exports from 1; module files have none.
        size_t ordinal = LOWORD(reinterpret_cast<uintptr_t>(lpProcName));
        if (m->builtin && ordinal >= 1 && ordinal <= m->builtin->exports.size())
            p = reinterpret_cast<void*>(m->builtin->exports[ordinal - 1].proc);
    } else {
        p = FindExport(*m, lpProcName);
    }
    if (!p) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(p);
}

} // extern "C"
