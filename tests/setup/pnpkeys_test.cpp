#include "support/machine_fixture.h"

#include "devices/pnpkeys.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kLptEnum[] = "HKEY_LOCAL_MACHINE\\Enum\\LPTENUM\\";
const char kInf[] = "C:\\SETUP\\KVP.INF";

// A 95/98 machine whose enumeration tree lists LPT1 three times: twice below BIOS, once below
// Root; LPT2 once, and an "lpt1" that differs in case.
const char kEnumTree[] = "REGEDIT4\r\n\r\n"
                         "[-HKEY_LOCAL_MACHINE\\Enum\\BIOS]\r\n"
                         "[-HKEY_LOCAL_MACHINE\\Enum\\Root]\r\n"
                         "[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0400\\0D]\r\n"
                         "\"PortName\"=\"LPT1\"\r\n"
                         "[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0400\\0E]\r\n"
                         "\"PortName\"=\"LPT2\"\r\n"
                         "[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0401\\07]\r\n"
                         "\"PortName\"=\"LPT1\"\r\n"
                         "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Ports\\0000]\r\n"
                         "\"PortName\"=\"LPT1\"\r\n"
                         "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Ports\\0001]\r\n"
                         "\"PortName\"=\"lpt1\"\r\n";

class PnPTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine(winsim::Os::Win98);
        SkipCount = 0;
    }
    void Import(const std::string& text) {
        std::string error;
        ASSERT_TRUE(winsim::ImportRegistry(text, &error)) << error;
    }
    void WriteInf(const std::string& section) {
        WriteHostFile(HostFile("SETUP/KVP.INF"),
                      "[KV4720]\r\n" + section + "[Strings]\r\nMfgName=Norvex\r\n");
    }
    static std::string Text(const std::string& key, const std::string& name) {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (!winsim::ReadValue(key, name, &type, &data) || type != REG_SZ || data.empty())
            return "<missing " + name + ">";
        return std::string(data.begin(), data.end() - 1);
    }
    static std::vector<std::string> Subkeys(HKEY root, const char* path) {
        std::vector<std::string> names;
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return names;
        char name[256];
        for (DWORD i = 0; RegEnumKeyA(hKey, i, name, sizeof name) == ERROR_SUCCESS; ++i)
            names.push_back(name);
        RegCloseKey(hKey);
        return names;
    }
};

// ---- the enumeration search ------------------------------------------------------------------

TEST_F(PnPTest, SkipCountTakesTheNthMatchOverBiosThenRoot) {
    Import(kEnumTree);
    const char* expected[] = {"BIOS&*PNP0400&0D", "BIOS&*PNP0401&07", "Root&Ports&0000", ""};
    for (LONG n = 0; n < 4; ++n) {
        SkipCount = n;
        EXPECT_EQ(GetPnPEnumKey("LPT1:"), expected[n]) << "SkipCount " << n;
    }
    SkipCount = 0;
    EXPECT_EQ(GetPnPEnumKey("LPT2"), "BIOS&*PNP0400&0E");
    SkipCount = 1;
    EXPECT_EQ(GetPnPEnumKey("LPT2:"), "") << "one listing only";
    SkipCount = 0;
    EXPECT_EQ(GetPnPEnumKey("LPT3:"), "");
    EXPECT_EQ(GetPnPEnumKey(""), "") << "an empty name would match empty PortName values";
    EXPECT_EQ(GetPnPEnumKey(nullptr), "");
}

TEST_F(PnPTest, SearchDescendsOnlyWhereTheValueIsMissingOrDoesNotFit) {
    const std::string base = "HKEY_LOCAL_MACHINE\\Software\\Test\\Top\\";
    const std::string longName(36, 'N');
    Import("REGEDIT4\r\n\r\n"
           // a value that exists and differs hides what lies below it
           "[" +
           base +
           "A]\r\n\"PortName\"=\"LPT2\"\r\n"
           "[" +
           base +
           "A\\Hidden]\r\n\"PortName\"=\"LPT1\"\r\n"
           // names of more than 35 characters are passed over
           "[" +
           base + longName +
           "]\r\n\"PortName\"=\"LPT1\"\r\n"
           // too long for the value buffer: searched below like a missing value
           "[" +
           base +
           "B]\r\n\"PortName\"=\"LPT1 and more\"\r\n"
           "[" +
           base +
           "B\\C\\D]\r\n\"PortName\"=\"LPT1\"\r\n"
           "[" +
           base + "E]\r\n\"PortName\"=\"LPT1\"\r\n");
    HKEY hTest = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Test", 0, KEY_READ, &hTest),
              ERROR_SUCCESS);
    // The separator stands only before the name of the key that holds the value.
    EXPECT_EQ(FindStrValueSubkeyPath(hTest, "Top", "PortName", "LPT1", '&'), "BC&D");
    SkipCount = 1;
    EXPECT_EQ(FindStrValueSubkeyPath(hTest, "Top", "PortName", "LPT1", '#'), "#E");
    EXPECT_EQ(SkipCount, -1) << "each exact match counts down once";
    SkipCount = 0;
    EXPECT_EQ(FindStrValueSubkeyPath(hTest, "Top", "PortName", "LPT", '&'), "")
        << "equality, not a prefix";
    winsim::ClearDebugOutput();
    EXPECT_EQ(FindStrValueSubkeyPath(hTest, "Missing", "PortName", "LPT1", '&'), "");
    RegCloseKey(hTest);
    bool traced = false;
    for (const std::string& line : winsim::DebugOutput())
        traced = traced || line.find("Failed opening Missing: ERROR 2 <0x00000002>") == 0;
    EXPECT_TRUE(traced);
}

TEST_F(PnPTest, PortIsCutAtItsColonAndAtSixCharacters) {
    Import("REGEDIT4\r\n\r\n"
           "[-HKEY_LOCAL_MACHINE\\Enum\\BIOS]\r\n"
           "[-HKEY_LOCAL_MACHINE\\Enum\\Root]\r\n"
           "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Ports\\0001]\r\n"
           "\"PortName\"=\"PORT12\"\r\n"
           "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Ports\\0002]\r\n"
           "\"PortName\"=\":X\"\r\n");
    EXPECT_EQ(GetPnPEnumKey("PORT1234:"), "Root&Ports&0001");
    SkipCount = 0; // the match above counted it down
    EXPECT_EQ(GetPnPEnumKey(":X:Y"), "Root&Ports&0002") << "a leading colon stays";
}

// ---- the device keys ---------------------------------------------------------------------------

TEST_F(PnPTest, WritesADeviceKeyForEveryListingOfThePort) {
    Import(kEnumTree);
    WriteInf("Win95DeviceID=NorvexKV_Pellora4720\r\nDevice=KV Pellora 4720\r\n"
             "Model=KV 4720\r\nMfg=%MfgName%\r\n");
    EXPECT_EQ(DLL_MarkPnPKeyInstalled(kInf, "KV4720", "LPT1:"), 0);

    const std::string device = std::string(kLptEnum) + "NorvexKV_Pellora4720";
    EXPECT_EQ(
        Subkeys(HKEY_LOCAL_MACHINE, "Enum\\LPTENUM\\NorvexKV_Pellora4720"),
        (std::vector<std::string>{"BIOS&*PNP0400&0D", "BIOS&*PNP0401&07", "Root&Ports&0000"}));
    const std::string key = device + "\\BIOS&*PNP0400&0D";
    EXPECT_EQ(Text(key, "Class"), "PRINTER");
    EXPECT_EQ(Text(key, "DeviceDesc"), "KV Pellora 4720") << "Device stands in for Description";
    EXPECT_EQ(Text(key, "Model"), "KV 4720");
    EXPECT_EQ(Text(key, "HardwareID"), "LPTENUM\\NorvexKV_Pellora4720");
    EXPECT_EQ(Text(key, "Manufacturer"), "Norvex");
    uint32_t type = 0;
    std::vector<uint8_t> flags;
    ASSERT_TRUE(winsim::ReadValue(key, "ConfigFlags", &type, &flags));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_BINARY));
    EXPECT_EQ(flags, (std::vector<uint8_t>{0x40, 0, 0, 0}));

    // The enumerator reads the values in the order they were written.
    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "Enum\\LPTENUM\\NorvexKV_Pellora4720\\BIOS&*PNP0400&0D", 0, KEY_READ,
                            &hKey),
              ERROR_SUCCESS);
    std::vector<std::string> names;
    char name[64];
    DWORD size = sizeof name;
    for (DWORD i = 0;
         RegEnumValueA(hKey, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name)
        names.push_back(name);
    RegCloseKey(hKey);
    EXPECT_EQ(names, (std::vector<std::string>{"Class", "DeviceDesc", "Model", "HardwareID",
                                               "ConfigFlags", "Manufacturer"}));
}

TEST_F(PnPTest, FreshMachineGetsOneDeviceKeyForItsParallelPort) {
    WriteInf("Win95DeviceID=KVP\r\n");
    EXPECT_EQ(DLL_MarkPnPKeyInstalled(kInf, "KV4720", "LPT1:"), 0);
    auto keys = Subkeys(HKEY_LOCAL_MACHINE, "Enum\\LPTENUM\\KVP");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].rfind("BIOS&*PNP0400&", 0), 0u) << keys[0];
}

TEST_F(PnPTest, EntriesAreWrittenAsTheSectionGivesThem) {
    Import(kEnumTree);
    WriteInf("Win95DeviceID=KVP\r\nDescription=Laser %Model%\r\nDevice=unused\r\n"
             "Mfg=Norvex Corp\r\n");
    EXPECT_EQ(DLL_MarkPnPKeyInstalled(kInf, "KV4720", "LPT2"), 0);
    const std::string key = std::string(kLptEnum) + "KVP\\BIOS&*PNP0400&0E";
    EXPECT_EQ(Text(key, "DeviceDesc"), "Laser %Model%") << "no placeholder translation";
    EXPECT_EQ(Text(key, "Model"), "");
    EXPECT_EQ(Text(key, "Manufacturer"), "Norvex Corp");
}

TEST_F(PnPTest, NothingToWriteGives1024AndAnUncreatableKey1028) {
    Import(kEnumTree);
    WriteInf("Device=KV Pellora 4720\r\n");
    EXPECT_EQ(DLL_MarkPnPKeyInstalled(kInf, "KV4720", "LPT1:"), 1024) << "no Win95DeviceID";
    WriteInf("Win95DeviceID=KVP\r\n");
    EXPECT_EQ(DLL_MarkPnPKeyInstalled(kInf, "KV4720", "LPT3:"), 1024) << "no instance";
    EXPECT_EQ(DLL_MarkPnPKeyInstalled(nullptr, "KV4720", "LPT1:"), 1024);
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\Enum\\LPTENUM"));

    winsim::FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(DLL_MarkPnPKeyInstalled(kInf, "KV4720", "LPT1:"), 1028);
}

TEST_F(PnPTest, AddPnPKeyReadsTheSelectedDevicesAndChangesNothing) {
    Import(kEnumTree);
    WriteHostFile(HostFile("SETUP/SETUP.INI"),
                  "[KV4720]\r\nDevice=KV Pellora 4720\r\nWin95DeviceID=LPTENUM\\KV4720\r\n");
    ASSERT_EQ(DLL_SetStr(1020, "C:\\SETUP\\SETUP.INI"), 0);
    HGLOBAL h = GlobalAlloc(GHND, sizeof(DeviceRecord));
    auto* record = static_cast<DeviceRecord*>(GlobalLock(h));
    std::memcpy(record->SectionName, "KV4720", 7);
    record->Selected = 1;
    DeviceSlots[2] = DeviceSlot{h, record};

    const std::string before = winsim::ExportRegistry();
    winsim::ClearDebugOutput();
    g_Settings.PnPMode = 1;
    EXPECT_EQ(DLL_AddPnPKey(), 0);
    g_Settings.PnPMode = 0;
    EXPECT_EQ(winsim::ExportRegistry(), before);
    const std::vector<std::string> trace = winsim::DebugOutput();
    EXPECT_NE(std::find(trace.begin(), trace.end(),
                        "DLL_AddPnPKey() slot 2: KV Pellora 4720, LPTENUM\\KV4720"),
              trace.end())
        << ::testing::PrintToString(trace);

    winsim::ClearDebugOutput();
    EXPECT_EQ(DLL_AddPnPKey(), 0) << "without Plug-and-Play mode nothing is read";
    EXPECT_TRUE(winsim::DebugOutput().empty());
    DLL_FreePrinter(2);
}

// ---- the device ID through the port ----------------------------------------------------------

class DeviceIdTest : public EveryOsTest {};
INSTANTIATE_EVERY_OS(DeviceIdTest);

TEST_P(DeviceIdTest, MatchesACaseSensitivePartOfTheDeviceId) {
    winsim::SetSetting("devices", "LPT1:", "MFG:Norvex;MDL:KV Pellora 4720;CMD:PCL,PJL;");
    EXPECT_EQ(DLL_GetDeviceMatch("LPT1:", "KV Pellora 4720", 0), 1);
    EXPECT_EQ(DLL_GetDeviceMatch("LPT1:", "MFG:Norvex", 7), 1) << "the third argument is ignored";
    EXPECT_EQ(DLL_GetDeviceMatch("LPT1:", "kv pellora", 0), 0);
    EXPECT_EQ(DLL_GetDeviceMatch("LPT1:", "Pellora 4721", 0), 0);

    char id[PW_DEVICE_ID_SIZE];
    DWORD count = ReadDeviceId("LPT1:", id, sizeof id);
    EXPECT_GT(count, 0u);
    EXPECT_EQ(std::string(id).find("MFG:Norvex;MDL:KV Pellora 4720;"), 0u) << id;
}

TEST_P(DeviceIdTest, EmptyTextMatchesEveryPortEvenWithoutADevice) {
    EXPECT_EQ(DLL_GetDeviceMatch("LPT2:", "", 0), 1);
    EXPECT_EQ(DLL_GetDeviceMatch("NOSUCHDEVICE", "", 0), 1);
    EXPECT_EQ(DLL_GetDeviceMatch("LPT2:", "MFG", 0), 0);
    EXPECT_EQ(DLL_GetDeviceMatch(nullptr, "MFG", 0), 0);
    char id[8] = "stale";
    EXPECT_EQ(ReadDeviceId("NOSUCHDEVICE", id, sizeof id), 0u);
}

} // namespace
