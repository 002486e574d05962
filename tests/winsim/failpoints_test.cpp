#include "support/machine_fixture.h"

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdlib>
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

TEST_F(FailpointsTest, TheNthFailurePointFailsWhateverItsName) {
    char dir[MAX_PATH];
    const uint64_t before = winsim::FailurePointsReached();
    winsim::FailAtCall(before + 2, ERROR_DISK_FULL);
    EXPECT_GT(GetWindowsDirectoryA(dir, sizeof dir), 0u);
    SetLastError(0);
    EXPECT_EQ(GetSystemDirectoryA(dir, sizeof dir), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_GT(GetSystemDirectoryA(dir, sizeof dir), 0u) << "only the one call fails";
    EXPECT_EQ(winsim::FailurePointsReached(), before + 3);
}

TEST_F(FailpointsTest, ACrashPointEndsTheProcessBeforeTheCallActs) {
    EXPECT_EXIT(
        {
            winsim::CrashAtCall(winsim::FailurePointsReached() + 1);
            HKEY key = nullptr;
            RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Crashed", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(winsim::kCrashedExitCode), "");
}
