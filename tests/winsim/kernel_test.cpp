#include "support/machine_fixture.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include <thread>

class KernelTest : public EveryOsTest {};
INSTANTIATE_EVERY_OS(KernelTest);

TEST_P(KernelTest, ReportsTheVersionWindowsReports) {
    DWORD v = GetVersion();
    EXPECT_EQ(LOBYTE(LOWORD(v)), 4);
    if (GetParam() == winsim::Os::Nt4) {
        EXPECT_EQ(v & 0x80000000u, 0u);
        EXPECT_EQ(HIWORD(v), 1381);
        EXPECT_EQ(HIBYTE(LOWORD(v)), 0);
    } else {
        EXPECT_NE(v & 0x80000000u, 0u);
        EXPECT_EQ(HIBYTE(LOWORD(v)), GetParam() == winsim::Os::Win98 ? 10 : 0);
    }
}

TEST_P(KernelTest, MovableBlocksKeepTheirContentAcrossLocks) {
    HGLOBAL h = GlobalAlloc(GHND, 64);
    ASSERT_NE(h, nullptr);
    char* p = static_cast<char*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0) << "GHND zero-initialises";
    std::strcpy(p, "kept");
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    EXPECT_STREQ(static_cast<char*>(GlobalLock(h)), "kept");
    GlobalUnlock(h);
    EXPECT_FALSE(GlobalUnlock(h)) << "unlocking an unlocked block fails";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);

    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 8);
    EXPECT_EQ(GlobalLock(fixed), fixed) << "fixed memory is its own address";
    EXPECT_TRUE(GlobalUnlock(fixed)) << "and is never locked";
    EXPECT_EQ(GlobalFree(fixed), nullptr);
}

TEST_P(KernelTest, CollectsDebugOutputByLine) {
    winsim::ClearDebugOutput();
    OutputDebugStringA("first ");
    OutputDebugStringA("line\nsecond\n");
    OutputDebugStringA("open");
    auto lines = winsim::DebugOutput();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "first line");
    EXPECT_EQ(lines[1], "second");
    EXPECT_EQ(lines[2], "open");
}

TEST_P(KernelTest, UppercasesTextAndSingleCharacters) {
    char text[] = "abc\\x1-z";
    EXPECT_EQ(CharUpperA(text), text);
    EXPECT_STREQ(text, "ABC\\X1-Z");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<LPSTR>(uintptr_t('q')))),
              uintptr_t('Q'));
}

TEST_P(KernelTest, KeepsTheLastErrorPerThread) {
    SetLastError(5);
    EXPECT_EQ(GetLastError(), 5u);
    DWORD other = 1;
    std::thread([&] { other = GetLastError(); }).join();
    EXPECT_EQ(other, 0u);
}

TEST_P(KernelTest, WindowsAndSystemDirectoriesFollowTheOs) {
    char buf[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 10u);
    EXPECT_STREQ(buf, "C:\\WINDOWS");
    UINT n = GetSystemDirectoryA(buf, sizeof buf);
    EXPECT_STREQ(buf,
                 GetParam() == winsim::Os::Nt4 ? "C:\\WINDOWS\\SYSTEM32" : "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(n, std::strlen(buf));
    EXPECT_EQ(GetWindowsDirectoryA(buf, 5), 11u) << "too small: the size needed";
}

TEST_P(KernelTest, ArmedFailuresMakeTheDirectoryCallsFail) {
    char buf[MAX_PATH] = "unchanged";
    winsim::FailCall("GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_NE(GetSystemDirectoryA(buf, sizeof buf), 0u) << "each fails on its own";
    std::strcpy(buf, "unchanged");
    EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_STREQ(buf, "unchanged");
    EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 10u) << "only the next call failed";

    winsim::FailCall("GetSystemDirectoryA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(GetSystemDirectoryA(buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_P(KernelTest, TheClockMovesByReadingsAndSleepsAndStartsAgainWithTheProcess) {
    const DWORD start = GetTickCount();
    EXPECT_EQ(GetTickCount(), start + 1) << "a reading takes a millisecond";
    Sleep(2000);
    EXPECT_EQ(winsim::TickCount(), start + 2002) << "the tool reads without moving it";
    EXPECT_EQ(GetTickCount(), start + 2002);

    winsim::CloseMachine();
    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    EXPECT_EQ(GetTickCount(), start);
}

TEST_P(KernelTest, CopiesJoinsAndMeasuresStrings) {
    char buf[8];
    EXPECT_EQ(lstrcpynA(buf, "PELLORA4720", sizeof buf), buf);
    EXPECT_STREQ(buf, "PELLORA") << "at most n - 1 characters, always terminated";
    EXPECT_EQ(lstrlenA(buf), 7);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    lstrcpynA(buf, "X", 1);
    EXPECT_STREQ(buf, "");

    char joined[16];
    EXPECT_EQ(lstrcpyA(joined, "KV "), joined);
    EXPECT_EQ(lstrcatA(joined, "4720"), joined);
    EXPECT_STREQ(joined, "KV 4720");
    EXPECT_EQ(lstrcatA(nullptr, "x"), nullptr) << "a bad pointer fails instead of faulting";
}

// ---- events and waits ---------------------------------------------------------------------------

// An automatic event lets one wait through and resets; a manual one stays signaled until reset.
// A wait on an unsignaled event ends at its time-out, which passes on the clock.
TEST_P(KernelTest, EventsSignalAsTheirKindSays) {
    HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(SetEvent(automatic));
    EXPECT_EQ(WaitForSingleObject(automatic, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));

    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, "KvManual");
    ASSERT_NE(manual, nullptr);
    const DWORD before = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(manual, 250), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(GetTickCount() - before, 250u);
    EXPECT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    EXPECT_TRUE(CloseHandle(automatic));
    EXPECT_TRUE(CloseHandle(manual));
}

// A wait that only another program could end fails at once instead of hanging; a closed event
// is no handle any more.
TEST_P(KernelTest, AnEndlessWaitAndAClosedEventFail) {
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, INFINITE), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_POSSIBLE_DEADLOCK));
    const std::vector<std::string> lines = winsim::DebugOutput();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind("winsim: WaitForSingleObject", 0) == 0;
    }));

    ASSERT_TRUE(CloseHandle(e));
    EXPECT_FALSE(SetEvent(e));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ResetEvent(e));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(e));

    // The program's own process never ends while it waits for it.
    HANDLE self = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(WaitForSingleObject(self, 10), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(self);
}
