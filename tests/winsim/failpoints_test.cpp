#include "support/machine_fixture.h"

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <stdexcept>

class FailpointsTest : public MachineTest {
protected:
    void SetUp() override { NewMachine(); }
};

TEST_F(FailpointsTest, RefusesANameThatNoCallFailsUnder) {
    // Misspelt, the ANSI form of a call that has none here, and an internal helper's name.
    for (const char* name : {"RegSetValueExW", "GetWindowsDirectory", "ReadHive", ""})
        EXPECT_THROW(winsim::FailCall(name, ERROR_ACCESS_DENIED), std::invalid_argument) << name;

    // Nothing was armed by the refused calls.
    char dir[MAX_PATH];
    EXPECT_GT(GetWindowsDirectoryA(dir, sizeof dir), 0u);
}

TEST_F(FailpointsTest, EveryFamilyCarriesItsCallsUnderTheirOwnNames) {
    const std::vector<std::string> names = winsim::FailableCalls();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (const char* name : {"GetWindowsDirectoryA", "CreateFileA", "RegSetValueExA",
                             "AdjustTokenPrivileges", "GetPrivateProfileStringA", "AddPrinterA",
                             "CreateWindowExA", "CreateSolidBrush", "NetUserGetInfo",
                             "GetUserNameW", "WNetCancelConnection2A", "LoadLibraryA"})
        EXPECT_TRUE(std::binary_search(names.begin(), names.end(), name)) << name;
}

TEST_F(FailpointsTest, AnArmedCountRunsOutAndClearingDisarms) {
    char dir[MAX_PATH];
    winsim::FailCall("GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY, 2);
    for (int i = 0; i < 2; ++i) {
        SetLastError(0);
        EXPECT_EQ(GetWindowsDirectoryA(dir, sizeof dir), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    }
    EXPECT_GT(GetWindowsDirectoryA(dir, sizeof dir), 0u);

    winsim::FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    winsim::ClearFailures();
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}
