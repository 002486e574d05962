#include "support/machine_fixture.h"

#include "frame/pwsetup.h"

#include <cstring>
#include <string>

namespace {

// The library's state is process-wide; each test starts from the state of a fresh load.
class SettingsTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine(winsim::Os::Nt4);
        Reset();
    }
    void TearDown() override {
        for (LONG slot = 0; slot < PW_DEVICE_SLOTS; ++slot)
            DLL_FreePrinter(slot);
        MachineTest::TearDown();
    }
    static void Reset() {
        std::memset(&g_Settings, 0, sizeof g_Settings);
        std::memset(DeviceSlots, 0, sizeof DeviceSlots);
    }
    // Places a record into a slot, as the script's side of the device table would.
    static DeviceRecord* Place(LONG slot, const char* model, const char* section, LONG detected,
                               LONG selected) {
        HGLOBAL h = GlobalAlloc(GHND, sizeof(DeviceRecord));
        auto* record = static_cast<DeviceRecord*>(GlobalLock(h));
        std::strcpy(record->ModelName, model);
        std::strcpy(record->SectionName, section);
        record->Detected = detected;
        record->Selected = selected;
        DeviceSlots[slot] = DeviceSlot{h, record};
        return record;
    }
};

std::string Repeat(char c, size_t n) {
    return std::string(n, c);
}

TEST_F(SettingsTest, StoresDirectoriesWithTheirDrive) {
    EXPECT_EQ(DLL_SetStr(1000, "C:\\WINDOWS"), 0);
    EXPECT_STREQ(g_Settings.WinDirPath, "C:\\WINDOWS\\");
    EXPECT_EQ(g_Settings.WinDirDrive, 2);
    EXPECT_EQ(DLL_SetStr(1010, "d:\\win\\"), 0);
    EXPECT_STREQ(g_Settings.WinSysDirPath, "d:\\win\\");
    EXPECT_EQ(g_Settings.WinSysDirDrive, 3);
    EXPECT_EQ(DLL_SetStr(1015, "\\\\server\\setup"), 0);
    EXPECT_STREQ(g_Settings.SetupDirPath, "\\\\server\\setup\\");
    EXPECT_EQ(g_Settings.SetupDirDrive, -1);
    EXPECT_EQ(DLL_SetStr(1020, "C:\\SETUP\\SETUP.INI"), 0);
    EXPECT_STREQ(g_Settings.SetupIniPath, "C:\\SETUP\\SETUP.INI") << "no backslash appended";
    EXPECT_EQ(DLL_SetStr(1000, ""), 0);
    EXPECT_STREQ(g_Settings.WinDirPath, "\\");
    EXPECT_EQ(g_Settings.WinDirDrive, -1);
}

TEST_F(SettingsTest, RefusesNullAndOverlongTextsForEveryId) {
    EXPECT_EQ(DLL_SetStr(1000, nullptr), 0x2000);
    EXPECT_EQ(DLL_SetStr(4711, nullptr), 0x2000);
    const std::string longest = "C:" + Repeat('x', 256);
    ASSERT_EQ(longest.size(), 258u);
    EXPECT_EQ(DLL_SetStr(1000, longest.c_str()), 0);
    EXPECT_EQ(std::strlen(g_Settings.WinDirPath), 259u) << "the backslash still fits";
    const std::string tooLong = longest + "y";
    EXPECT_EQ(DLL_SetStr(1010, tooLong.c_str()), 0x3000);
    EXPECT_EQ(DLL_SetStr(4711, tooLong.c_str()), 0x3000);
    EXPECT_STREQ(g_Settings.WinSysDirPath, "") << "a refused text stores nothing";
    EXPECT_EQ(DLL_SetStr(4711, "anything"), 0);
}

TEST_F(SettingsTest, UnlistedIdsAnswerTheirFixedResults) {
    EXPECT_EQ(DLL_SetNum(99, 0), 0x1000);
    for (LONG id : {50, 130, 140})
        EXPECT_EQ(DLL_SetNum(id, 7), 0);
    char buf[8] = "keep";
    EXPECT_EQ(DLL_GetStr(4711, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(DLL_GetNum(4711), 0);
    EXPECT_EQ(DLL_GetNum(190), 0) << "no VCOMM entry point for a 32-bit library";
    EXPECT_EQ(DLL_SetNum(110, 0x12345), 0);
    EXPECT_EQ(g_Settings.PnPMode, 0x2345) << "low 16 bits only";
}

TEST_F(SettingsTest, AnEmptyDeviceTableHasNoDevice) {
    for (LONG slot : {-1, 0, 5, 9, 10, 11, 0x7fffffff})
        EXPECT_EQ(DLL_IsDetected(slot), 0);
    char buf[16] = "keep";
    EXPECT_EQ(DLL_GetStr(30, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(DLL_GetNum(20), 1);
    for (LONG id : {160, 170, 180})
        EXPECT_EQ(DLL_SetNum(id, 3), 0);
    EXPECT_EQ(DLL_FreePrinter(4), 0);
}

TEST_F(SettingsTest, SelectsTheLowestSelectedSlotFromOne) {
    Place(0, "Slot0", "SEC0", 1, 1); // slot 0 never takes part
    Place(4, "KV 4720", "KV4720_SECTION", 1, 0);
    Place(7, "KV Other", "OTHER", 0, 1);
    EXPECT_EQ(DLL_GetNum(20), 7);
    EXPECT_EQ(DLL_SetNum(160, 0x10004), 0) << "the slot is the value's low 16 bits";
    EXPECT_EQ(DLL_GetNum(20), 4);
    char buf[8];
    EXPECT_EQ(DLL_GetStr(30, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "KV4720_") << "cut to size - 1";
    char model[64];
    EXPECT_EQ(DLL_GetStr(1080, model, sizeof model), 0);
    EXPECT_STREQ(model, "KV 4720");
    EXPECT_EQ(DLL_IsDetected(4), 1);
    EXPECT_EQ(DLL_SetNum(180, 4), 0);
    EXPECT_EQ(DLL_IsDetected(4), 0);
    EXPECT_EQ(DLL_SetNum(170, 4), 0);
    EXPECT_EQ(DLL_GetNum(20), 7);
    EXPECT_EQ(DLL_FreePrinter(7), 0);
    EXPECT_EQ(DeviceSlots[7].hRecord, nullptr);
    EXPECT_EQ(DLL_GetNum(20), 1) << "nothing selected any more";
    EXPECT_EQ(DLL_GetStr(30, buf, sizeof buf), 0);
}

TEST_F(SettingsTest, AFieldFilledToItsLastByteIsReadNoFurther) {
    DeviceRecord* record = Place(2, "", "", 1, 1);
    std::memset(record->ModelName, 'M', sizeof record->ModelName);
    std::memset(record->SectionName, 'S', sizeof record->SectionName);
    char text[512];
    EXPECT_EQ(DLL_GetStr(30, text, sizeof text), 1);
    EXPECT_EQ(std::string(text), Repeat('S', sizeof record->SectionName));
    EXPECT_EQ(DLL_GetStr(1080, text, sizeof text), 0);
    EXPECT_EQ(std::string(text), Repeat('M', sizeof record->ModelName))
        << "the section name that follows is not glued on";
}

TEST_F(SettingsTest, OutOfRangeSlotsAreRefusedWithoutTouchingMemory) {
    DeviceRecord* record = Place(9, "M", "S", 1, 0);
    for (LONG id : {160, 170, 180})
        EXPECT_EQ(DLL_SetNum(id, 10), 0);
    EXPECT_EQ(DLL_SetNum(160, 0xFFFF), 0);
    EXPECT_EQ(DLL_FreePrinter(10), 0);
    EXPECT_EQ(DLL_FreePrinter(-1), 0);
    EXPECT_EQ(record->Selected, 0);
    EXPECT_EQ(DLL_IsDetected(9), 1);
}

TEST_F(SettingsTest, SmallOrMissingBuffersGetNothing) {
    std::strcpy(g_Settings.CachedVxDList, "kvpar.vxd,");
    char buf[4] = "abc";
    EXPECT_EQ(DLL_GetStr(200, buf, 0), 0);
    EXPECT_EQ(DLL_GetStr(200, buf, -5), 0);
    EXPECT_EQ(DLL_GetStr(200, nullptr, 64), 0);
    EXPECT_EQ(DLL_GetStr(1070, buf, 0), 0);
    EXPECT_EQ(DLL_GetStr(1080, buf, -1), 0);
    EXPECT_STREQ(buf, "abc");
    EXPECT_STREQ(g_Settings.CachedVxDList, "kvpar.vxd,") << "an undelivered list is kept";
    EXPECT_EQ(DLL_GetStr(1070, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "1.0");
    char one[1] = {'x'};
    EXPECT_EQ(DLL_GetStr(1080, one, 1), 0);
    EXPECT_EQ(one[0], '\0');
}

TEST_F(SettingsTest, TheVxDListIsDeliveredOnce) {
    std::strcpy(g_Settings.CachedVxDList, "kvpar.vxd,kvecp.vxd,");
    char buf[64];
    EXPECT_EQ(DLL_GetStr(200, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "kvpar.vxd,kvecp.vxd,");
    EXPECT_EQ(DLL_GetStr(200, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
}

TEST_F(SettingsTest, ModelComesFromTheSetupIniOrTheDefault) {
    char model[64];
    EXPECT_EQ(DLL_GetStr(1080, model, sizeof model), 0);
    EXPECT_STREQ(model, "KV 4720") << "no setup INI set";
    WriteHostFile(HostFile("SETUP/SETUP.INI"), "[default]\r\nmodel=KV Pellora 4720\r\n");
    ASSERT_EQ(DLL_SetStr(1020, "C:\\SETUP\\SETUP.INI"), 0);
    EXPECT_EQ(DLL_GetStr(1080, model, sizeof model), 0);
    EXPECT_STREQ(model, "KV Pellora 4720");
    char small[6];
    EXPECT_EQ(DLL_GetStr(1080, small, sizeof small), 0);
    EXPECT_STREQ(small, "KV P") << "read with a limit of size - 1";
}

TEST_F(SettingsTest, TraceReachesTheDebugOutput) {
    winsim::ClearDebugOutput();
    Trace("~CZRPrinter() complete\n");
    Trace("value %d\n", 42);
    auto lines = winsim::DebugOutput();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "~CZRPrinter() complete");
    EXPECT_EQ(lines[1], "value 42");
}

TEST(DriveIndexOf, MapsBasicLatinLettersOnly) {
    EXPECT_EQ(DriveIndexOf('A'), 0);
    EXPECT_EQ(DriveIndexOf('c'), 2);
    EXPECT_EQ(DriveIndexOf('Z'), 25);
    EXPECT_EQ(DriveIndexOf('z'), 25);
    for (int ch : {int('\\'), int('1'), int('@'), int('['), int('`'), int('{'), 0, 0xC4})
        EXPECT_EQ(DriveIndexOf(ch), -1);
}

class NetworkCheckTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        std::memset(&g_Settings, 0, sizeof g_Settings);
    }
};
INSTANTIATE_EVERY_OS(NetworkCheckTest);

TEST_P(NetworkCheckTest, ClassifiesTheSystem) {
    EXPECT_EQ(GetOSFamily(), GetParam() == winsim::Os::Nt4 ? OSF_WINNT : OSF_WIN9X);
}

TEST_P(NetworkCheckTest, PlugAndPlayModeLooksForTheNetworkKey) {
    DLL_SetNum(110, 1);
    EXPECT_EQ(DLL_SetNum(10, 0), 0);
    // Windows 95/98 with networking has HKLM\Network; NT 4.0 does not, and the flag keeps its
    // value.
    EXPECT_EQ(g_Settings.NetworkPresent, GetParam() == winsim::Os::Nt4 ? 0 : 1);
    g_Settings.NetworkPresent = 5;
    DLL_SetNum(10, 0);
    EXPECT_EQ(g_Settings.NetworkPresent, GetParam() == winsim::Os::Nt4 ? 5 : 1);
}

TEST_P(NetworkCheckTest, OtherwiseCountsTheNetworkDriverOfSystemIni) {
    EXPECT_TRUE(WritePrivateProfileStringA("boot", "network.drv", "netware.drv", "SYSTEM.INI"));
    EXPECT_EQ(DLL_SetNum(10, 0), 0);
    EXPECT_EQ(g_Settings.NetworkPresent, 11);
    EXPECT_TRUE(
        WritePrivateProfileStringA("boot", "network.drv", "averyverylongdriver.drv", "SYSTEM.INI"));
    DLL_SetNum(10, 0);
    EXPECT_EQ(g_Settings.NetworkPresent, 15) << "read into 16 bytes";
    EXPECT_TRUE(WritePrivateProfileStringA("boot", "network.drv", nullptr, "SYSTEM.INI"));
    DLL_SetNum(10, 0);
    EXPECT_EQ(g_Settings.NetworkPresent, 0);
}

} // namespace
