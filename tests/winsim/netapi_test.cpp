// The user account and the process's environment: GetUserNameA/W, netapi32.dll's NetUserGetInfo
// and NetApiBufferFree, the environment variables and the command line.
#include "support/machine_fixture.h"

#include <lm.h>
#include <windows.h>

#include <string>

namespace {

typedef NET_API_STATUS(WINAPI* NetUserGetInfoFn)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*);
typedef NET_API_STATUS(WINAPI* NetApiBufferFreeFn)(LPVOID);

std::basic_string<WCHAR> Wide(const char* text) {
    std::basic_string<WCHAR> out;
    for (; *text; ++text)
        out += static_cast<WCHAR>(*text);
    return out;
}

class NetApiTest : public MachineTest {
  protected:
    void SetUp() override { NewMachine(); }
    // The privilege NetUserGetInfo reports for `user`, as the uninstaller asks: -1 for no buffer.
    long PrivilegeOf(const char* user) {
        HMODULE lib = LoadLibraryA("netapi32.dll");
        EXPECT_NE(lib, nullptr);
        auto get = reinterpret_cast<NetUserGetInfoFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(lib, "NetUserGetInfo")));
        auto release = reinterpret_cast<NetApiBufferFreeFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(lib, "NetApiBufferFree")));
        EXPECT_TRUE(get && release);
        LPBYTE buffer = nullptr;
        m_status = get(nullptr, Wide(user).c_str(), 1, &buffer);
        long priv = -1;
        if (buffer) {
            auto* info = reinterpret_cast<USER_INFO_1*>(buffer);
            // The account's own spelling, whatever the case asked for.
            EXPECT_TRUE(std::basic_string<WCHAR>(info->usri1_name) ==
                        Wide(winsim::GetSetting("machine", "user").c_str()));
            priv = static_cast<long>(info->usri1_priv);
            EXPECT_EQ(release(buffer), static_cast<NET_API_STATUS>(NERR_Success));
        }
        FreeLibrary(lib);
        return priv;
    }
    NET_API_STATUS m_status = 0;
};

TEST_F(NetApiTest, NetUserGetInfoReportsTheMachineUsersPrivilege) {
    EXPECT_EQ(PrivilegeOf("administrator"), USER_PRIV_ADMIN);
    EXPECT_EQ(m_status, static_cast<NET_API_STATUS>(NERR_Success));
    winsim::SetSetting("machine", "privilege", "1");
    EXPECT_EQ(PrivilegeOf("Administrator"), USER_PRIV_USER);
    // Someone the machine does not know: no buffer comes back.
    EXPECT_EQ(PrivilegeOf("Guest"), -1);
    EXPECT_EQ(m_status, static_cast<NET_API_STATUS>(NERR_UserNotFound));
    winsim::FailCall("NetUserGetInfo", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(PrivilegeOf("Administrator"), -1);
    EXPECT_EQ(NetApiBufferFree(reinterpret_cast<LPVOID>(&m_status)),
              static_cast<NET_API_STATUS>(ERROR_INVALID_PARAMETER)); // not one of its buffers
}

TEST_F(NetApiTest, GetUserNameWCountsCharactersWithTheTerminator) {
    winsim::SetSetting("machine", "user", "Operator");
    WCHAR name[257];
    DWORD size = 3;
    EXPECT_FALSE(GetUserNameW(name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 9u);
    size = 257;
    ASSERT_TRUE(GetUserNameW(name, &size));
    EXPECT_EQ(size, 9u);
    EXPECT_TRUE(std::basic_string<WCHAR>(name) == Wide("Operator"));
}

TEST_F(NetApiTest, GetUserNameFailsUnderItsOwnNameOnly) {
    WCHAR name[64];
    DWORD size = 64;
    winsim::FailCall("NetUserGetInfo", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(GetUserNameW(name, &size)) << "a failure of netapi32 is not one of advapi32";
    winsim::ClearFailures();

    winsim::FailCall("GetUserNameW", ERROR_NOT_ENOUGH_MEMORY, 1);
    char narrow[64];
    DWORD narrowSize = 64;
    EXPECT_TRUE(GetUserNameA(narrow, &narrowSize)) << "nor is the wide form's the ANSI form's";
    size = 64;
    EXPECT_FALSE(GetUserNameW(name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(NetApiTest, EnvironmentFollowsTheSystemAndMachineIni) {
    char buf[260];
    EXPECT_EQ(GetEnvironmentVariableA("comspec", buf, sizeof buf), 27u);
    EXPECT_STREQ(buf, "C:\\WINDOWS\\SYSTEM32\\cmd.exe");
    EXPECT_EQ(GetEnvironmentVariableA("COMSPEC", buf, 5), 28u); // too small: the size needed
    winsim::SetSetting("environment", "COMSPEC", "");           // removed
    EXPECT_EQ(GetEnvironmentVariableA("COMSPEC", buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
    ASSERT_TRUE(SetEnvironmentVariableA("Comspec", "C:\\DOS\\COMMAND.COM"));
    EXPECT_EQ(GetEnvironmentVariableA("COMSPEC", buf, sizeof buf), 18u);

    NewMachine(winsim::Os::Win95);
    EXPECT_GT(GetEnvironmentVariableA("COMSPEC", buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "C:\\WINDOWS\\COMMAND.COM");
    EXPECT_EQ(GetEnvironmentVariableA("OS", buf, sizeof buf), 0u);
}

TEST_F(NetApiTest, TheProcessEnvironmentEndsWithTheProcess) {
    char buf[16];
    ASSERT_TRUE(SetEnvironmentVariableA("PWTRACE", "1"));
    EXPECT_EQ(GetEnvironmentVariableA("pwtrace", buf, sizeof buf), 1u);
    ASSERT_TRUE(SetEnvironmentVariableA("PWTRACE", nullptr));
    EXPECT_EQ(GetEnvironmentVariableA("PWTRACE", buf, sizeof buf), 0u) << "a null value removes";
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "1"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    ASSERT_TRUE(SetEnvironmentVariableA("PWTRACE", "1"));
    winsim::SetProcessCommandLine("PWUNINST.EXE /S");
    EXPECT_STREQ(GetCommandLineA(), "PWUNINST.EXE /S");
    winsim::CloseMachine();
    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    EXPECT_EQ(GetEnvironmentVariableA("PWTRACE", buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

} // namespace
