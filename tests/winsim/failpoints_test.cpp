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
    // A call winsim does not offer, a misspelt one, an internal helper's name.
    for (const char* name : {"RegLoadKeyW", "GetWindowsDirectory", "ReadHive", ""})
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

TEST_F(FailpointsTest, LiveHandlesCountWhatIsOpenPerKind) {
    const winsim::LiveHandleCounts before = winsim::LiveHandles();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &key), ERROR_SUCCESS);
    HANDLE file = CreateFileA("C:\\WINDOWS\\WIN.INI", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA("C:\\WINDOWS\\*.*", &found);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 16);
    HBRUSH brush = CreateSolidBrush(0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);

    const winsim::LiveHandleCounts open = winsim::LiveHandles();
    EXPECT_EQ(open.keys, before.keys + 1) << "a predefined root is no open handle";
    EXPECT_EQ(open.files, before.files + 1);
    EXPECT_EQ(open.finds, before.finds + 1);
    EXPECT_EQ(open.globalMemory, before.globalMemory + 1);
    EXPECT_EQ(open.gdiObjects, before.gdiObjects + 1);

    RegCloseKey(key);
    CloseHandle(file);
    FindClose(find);
    GlobalFree(memory);
    DeleteObject(brush);
    const winsim::LiveHandleCounts closed = winsim::LiveHandles();
    EXPECT_EQ(closed.keys, before.keys);
    EXPECT_EQ(closed.files, before.files);
    EXPECT_EQ(closed.finds, before.finds);
    EXPECT_EQ(closed.globalMemory, before.globalMemory);
    EXPECT_EQ(closed.gdiObjects, before.gdiObjects);
}

// The sweep arms a process it starts through the environment and reads back what it reached.
TEST_F(FailpointsTest, TheEnvironmentArmsTheNthPointAndTheReportNamesIt) {
    const std::string report = m_dir + "/report";
    const uint64_t next = winsim::FailurePointsReached() + 2;
    setenv("WINSIM_FAIL_AT", (std::to_string(next) + ":112").c_str(), 1);
    setenv("WINSIM_FAILPOINT_COUNT", report.c_str(), 1);
    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    unsetenv("WINSIM_FAIL_AT");
    unsetenv("WINSIM_FAILPOINT_COUNT");

    char dir[MAX_PATH];
    EXPECT_GT(GetWindowsDirectoryA(dir, sizeof dir), 0u);
    EXPECT_EQ(GetSystemDirectoryA(dir, sizeof dir), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &key), ERROR_SUCCESS);
    winsim::CloseMachine(); // with the key still open

    const std::string text = ReadHostFile(report);
    EXPECT_EQ(text.rfind("fail " + std::to_string(next) + " GetSystemDirectoryA 112\n", 0), 0u)
        << text;
    EXPECT_NE(text.find(" reached=" + std::to_string(next + 1) + " keys=1 files=0 finds=0"),
              std::string::npos)
        << text;
    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    EXPECT_GT(GetSystemDirectoryA(dir, sizeof dir), 0u) << "disarmed with the machine's close";
}
