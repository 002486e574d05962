// The scrub run: every component and every shared part of the uninstall script goes, without
// pages, and then the script itself with its registry entry.
#include "pwuninst.h"

#include <cstring>

namespace {

void RemoveEach(const char* listSection, int honour) {
    // RemoveComponent writes "0" into the script as it goes; the names are read already.
    for (const char* key = ComponentKeyList; *key; key += std::strlen(key) + 1)
        RemoveComponent(listSection, key, honour);
}

} // namespace

int RemoveAllComponents(const char* commandLine, int honour) {
    if (!commandLine || lstrcmpiA(commandLine, "scrub") != 0) return 0;

    ReadScriptPath();
    if (!ScriptPath[0]) {
        ShowStringMessage(BackgroundWindow, IDS_NO_SCRIPT_PATH, MB_ICONERROR);
        return 1;
    }

    if (!ReadKeyNames(UN_COMPONENTS_SECTION, ComponentKeyList, sizeof ComponentKeyList)) {
        ShowStringMessage(BackgroundWindow, IDS_BAD_SCRIPT, MB_ICONERROR);
        return 1;
    }
    RemoveEach(UN_COMPONENTS_SECTION, honour);

    // Without [Shared] the components are gone but the script and its entry stay.
    if (!ReadKeyNames(UN_SHARED_SECTION, ComponentKeyList, sizeof ComponentKeyList)) {
        ShowStringMessage(BackgroundWindow, IDS_BAD_SCRIPT, MB_ICONERROR);
        return 1;
    }
    RemoveEach(UN_SHARED_SECTION, honour);

    RemoveRegValue(HKEY_LOCAL_MACHINE, UN_INSTALL_KEY, UN_INSTALL_VALUE);
    // Closes the script in the profile cache before it is deleted.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ScriptPath);
    char script[UN_PATH_SIZE];
    std::memcpy(script, ScriptPath, sizeof script);
    RemoveFile(script);
    return 1;
}
