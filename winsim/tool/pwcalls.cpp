// PWCALLS: the call-script interpreter of `winsim run` as a Windows console program. It loads a
// PWSETUP.DLL with LoadLibraryA and makes each call of a script through GetProcAddress, so that
// the same script runs the real library on Windows (or Wine) and the native one on winsim.
//   PWCALLS SCRIPT [LIBRARY]    LIBRARY defaults to PWSETUP.DLL (found as Windows finds it)
// Exit codes as `winsim run`: 0 every expect held, 1 one failed, 2 the script or the library
// could not be used.
#include "callscript.h"

#include <windows.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: PWCALLS SCRIPT [LIBRARY]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "PWCALLS: cannot read " << argv[1] << "\n";
        return 2;
    }
    const std::string script{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const char* library = argc == 3 ? argv[2] : "PWSETUP.DLL";
    // One run is one process: the library stays loaded from the first call to the last.
    HMODULE module = LoadLibraryA(library);
    if (!module) {
        std::cerr << "PWCALLS: cannot load " << library << ": error " << GetLastError() << "\n";
        return 2;
    }
    try {
        return winsim::RunCallScript(
            script,
            [module](const std::string& name) {
                return reinterpret_cast<void*>(GetProcAddress(module, name.c_str()));
            },
            winsim::CallScriptOptions{}, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "PWCALLS: " << e.what() << "\n";
        return 2;
    }
}
