#include "support/machine_fixture.h"

#include <windows.h>
#include <ntddpar.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kPellora[] = "MFG:Norvex;MDL:KV Pellora 4720;CMD:PCL,PJL;";

HANDLE OpenPort(const char* name) {
    // As the setup opens a port to ask for its device ID: no data access, sharing for reading.
    return CreateFileA(name, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD IdCode() {
    return (GetVersion() & 0x80000000u) ? 17u : static_cast<DWORD>(IOCTL_PAR_QUERY_DEVICE_ID);
}

} // namespace

class DevicesTest : public EveryOsTest {};
INSTANTIATE_EVERY_OS(DevicesTest);

TEST_P(DevicesTest, PortAnswersTheDeclaredDeviceIdWithItsSystemsCode) {
    winsim::SetSetting("devices", "LPT1:", kPellora);
    HANDLE h = OpenPort("LPT1:");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    COMMTIMEOUTS t;
    ASSERT_TRUE(GetCommTimeouts(h, &t));
    t.ReadIntervalTimeout = 200;
    t.ReadTotalTimeoutConstant = 200;
    t.WriteTotalTimeoutConstant = 200;
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    COMMTIMEOUTS back{};
    GetCommTimeouts(h, &back);
    EXPECT_EQ(back.ReadIntervalTimeout, 200u);
    EXPECT_EQ(back.WriteTotalTimeoutConstant, 200u);

    char buf[260];
    DWORD n = 0;
    ASSERT_TRUE(DeviceIoControl(h, IdCode(), nullptr, 0, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(n, sizeof(kPellora)) << "the ID with its terminating zero, counted";
    EXPECT_STREQ(buf, kPellora);
    n = 0;
    ASSERT_TRUE(DeviceIoControl(h, IdCode(), nullptr, 0, buf, sizeof(buf), &n, nullptr))
        << "asked again, the port answers again";
    EXPECT_EQ(n, sizeof(kPellora));

    // The other system's code is unknown to this system's parallel port driver.
    DWORD other = IdCode() == 17u ? static_cast<DWORD>(IOCTL_PAR_QUERY_DEVICE_ID) : 17u;
    n = 5;
    EXPECT_FALSE(DeviceIoControl(h, other, nullptr, 0, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    EXPECT_EQ(n, 0u);

    EXPECT_FALSE(DeviceIoControl(h, IdCode(), nullptr, 0, buf, 10, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(DeviceIoControl(h, IdCode(), nullptr, 0, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_P(DevicesTest, PortNamesOpenInEveryWindowsSpelling) {
    winsim::SetSetting("devices", "LPT2", kPellora);
    for (const char* name : {"LPT1", "lpt1:", "\\\\.\\LPT1", "C:\\WINDOWS\\LPT1.TXT", "PRN",
                             "LPT2:", "COM1", "com2:"}) {
        HANDLE h = OpenPort(name);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << name;
        CloseHandle(h);
    }
    EXPECT_EQ(OpenPort("LPT3:"), INVALID_HANDLE_VALUE) << "the machine has no third port";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(OpenPort("COM3"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenPort("LPTX:"), INVALID_HANDLE_VALUE) << "not a port: a missing file";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Through the second port the declared printer answers; the first has none.
    char buf[260];
    DWORD n = 0;
    HANDLE h = OpenPort("\\\\.\\LPT2");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeviceIoControl(h, IdCode(), nullptr, 0, buf, sizeof(buf), &n, nullptr));
    CloseHandle(h);
}

TEST_P(DevicesTest, PortWithoutPrinterOpensButDoesNotAnswer) {
    HANDLE h = OpenPort("LPT1:");
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "the port is there, with nothing attached";
    COMMTIMEOUTS t;
    EXPECT_TRUE(GetCommTimeouts(h, &t));
    char buf[260];
    DWORD n = 9;
    EXPECT_FALSE(DeviceIoControl(h, IdCode(), nullptr, 0, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_DEVICE));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
    CloseHandle(h);

    h = OpenPort("COM1");
    EXPECT_FALSE(DeviceIoControl(h, IdCode(), nullptr, 0, buf, sizeof(buf), &n, nullptr))
        << "a serial port has no parallel device ID";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    CloseHandle(h);
}

TEST_P(DevicesTest, DiskFilesHaveNoCommTimeoutsOrDeviceId) {
    HANDLE f = CreateFileA("C:\\WINDOWS\\WIN.INI", GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS t;
    EXPECT_FALSE(GetCommTimeouts(f, &t));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    char buf[8];
    DWORD n = 0;
    EXPECT_FALSE(DeviceIoControl(f, IdCode(), nullptr, 0, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    CloseHandle(f);
    EXPECT_FALSE(SetCommTimeouts(f, &t));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_P(DevicesTest, InjectedFailuresReachTheCaller) {
    winsim::SetSetting("devices", "LPT1:", kPellora);
    HANDLE h = OpenPort("LPT1:");
    winsim::FailCall("GetCommTimeouts", ERROR_INVALID_HANDLE, 1);
    COMMTIMEOUTS t;
    EXPECT_FALSE(GetCommTimeouts(h, &t));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    winsim::FailCall("DeviceIoControl", ERROR_SEM_TIMEOUT, 1);
    char buf[260];
    DWORD n = 0;
    EXPECT_FALSE(DeviceIoControl(h, IdCode(), nullptr, 0, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SEM_TIMEOUT));
    EXPECT_TRUE(DeviceIoControl(h, IdCode(), nullptr, 0, buf, sizeof(buf), &n, nullptr));
    CloseHandle(h);
}

TEST_P(DevicesTest, FreshMachineEnumeratesOneParallelPortOn9x) {
    const std::string instance = "HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0400\\0D";
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (GetParam() == winsim::Os::Nt4) {
        EXPECT_FALSE(winsim::KeyExists(instance)) << "NT 4.0 has no Plug-and-Play tree";
        return;
    }
    ASSERT_TRUE(winsim::ReadValue(instance, "PortName", &type, &data));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string("LPT1", 5));
    ASSERT_TRUE(winsim::ReadValue(instance, "Driver", &type, &data));
    std::string driver(data.begin(), data.end() - 1);
    EXPECT_TRUE(winsim::KeyExists(
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\" + driver));
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0401"))
        << "a plain port, not ECP";

    // The product reads it with the plain registry calls.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\\BIOS\\*PNP0400", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char name[36];
    EXPECT_EQ(RegEnumKeyA(key, 0, name, sizeof(name)), ERROR_SUCCESS);
    EXPECT_STREQ(name, "0D");
    EXPECT_EQ(RegEnumKeyA(key, 1, name, sizeof(name)), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(MachineTest, NtAnswersTheRawIdWithItsLengthPrefix) {
    NewMachine(winsim::Os::Nt4);
    winsim::SetSetting("devices", "LPT1:", kPellora);
    HANDLE h = OpenPort("LPT1");
    unsigned char buf[260];
    DWORD n = 0;
    ASSERT_TRUE(DeviceIoControl(h, IOCTL_PAR_QUERY_RAW_DEVICE_ID, nullptr, 0, buf, sizeof(buf), &n,
                                nullptr));
    const size_t len = std::strlen(kPellora);
    EXPECT_EQ(n, len + 3);
    EXPECT_EQ(buf[0] * 256 + buf[1], static_cast<int>(len + 2)) << "big-endian, counting itself";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf) + 2), kPellora);
    DWORD size = 0;
    ASSERT_TRUE(DeviceIoControl(h, IOCTL_PAR_QUERY_DEVICE_ID_SIZE, nullptr, 0, &size, sizeof(size),
                                &n, nullptr));
    EXPECT_EQ(size, len + 1);
    CloseHandle(h);
}
