// The registry calls answering as each target Windows does, grouped by function.
#include "support/machine_fixture.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

class RegFidelityEveryOs : public EveryOsTest {};
INSTANTIATE_EVERY_OS(RegFidelityEveryOs);

// ---- RegCreateKeyExA ----------------------------------------------------------------------------

// The parent handle's rights are not asked on any system; only the parent's security decides.
TEST_P(RegFidelityEveryOs, CreateIgnoresTheParentHandlesRights) {
    HKEY parent = nullptr, child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex", 0, nullptr, 0, KEY_NOTIFY,
                              nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(parent, "KVP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_TRUE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP"));
    RegCloseKey(child);
    RegCloseKey(parent);
}

} // namespace
