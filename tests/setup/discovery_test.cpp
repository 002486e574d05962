#include "support/machine_fixture.h"

#include "devices/pnpkeys.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

const char kNetscan[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Netscan";
const char kModel4720A[] = "MFG:Norvex;MDL:KV Pellora 4720A;CMD:PCL,PJL;";

class DiscoveryTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        for (const char* dir : {"KV", "OTHER", "TEMP"})
            std::filesystem::create_directories(HostFile(dir));
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\OTHER"));
    }
    // Places a built companion library on the machine's drive C under the given name.
    void Place(const std::string& built, const std::string& relative) {
        std::filesystem::copy_file(std::string(PW_COMPANION_DIR) + "/" + built, HostFile(relative),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    static std::string CurrentDirectory() {
        char dir[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof dir, dir);
        return dir;
    }
    static std::string Text(const std::string& name) {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (!winsim::ReadValue(kNetscan, name, &type, &data) || type != REG_SZ || data.empty())
            return "<missing " + name + ">";
        return std::string(data.begin(), data.end() - 1);
    }
};
INSTANTIATE_EVERY_OS(DiscoveryTest);

TEST_P(DiscoveryTest, MissingLibraryGivesZeroAfterTheSettingsAreWritten) {
    EXPECT_EQ(DLL_FindDevice(5, "C:\\TEMP\\KV", "C:\\KV"), 0);
    EXPECT_EQ(CurrentDirectory(), "C:\\OTHER");
    EXPECT_EQ(Text("TempDir"), "C:\\TEMP\\KV");
    EXPECT_EQ(Text("Search ID"), "Pellora 4720A");
    EXPECT_EQ(Text("Community-Set"), "");
    uint32_t type = 0;
    std::vector<uint8_t> data;
    EXPECT_FALSE(winsim::ReadValue(kNetscan, "Address Type", &type, &data));

    // A folder that cannot be entered does not fall back on a library in the current one.
    Place("kvpdscvr.dll", "OTHER/kvpdscvr.dll");
    EXPECT_EQ(DLL_FindDevice(5, "C:\\TEMP", "C:\\NOWHERE"), 0);
    EXPECT_EQ(DLL_FindDevice(5, nullptr, nullptr), 0);
    EXPECT_EQ(Text("TempDir"), "");
    EXPECT_EQ(CurrentDirectory(), "C:\\OTHER");
}

TEST_P(DiscoveryTest, DecoratedEntryGetsTheValueAndZeroAndItsResultComesBack) {
    Place("kvpdscvr.dll", "KV/kvpdscvr.dll");
    // Without its settings the stand-in answers -1, which reaches the script unchanged.
    winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 3);
    EXPECT_EQ(DLL_FindDevice(0, "C:\\TEMP", "C:\\KV"), -1);

    winsim::SetSetting("devices", "LPT1:", kModel4720A);
    winsim::SetSetting("devices", "LPT2:", "MFG:Other;MDL:Printer;");
    winsim::SetSetting("devices", "LPT3:", kModel4720A);
    // The stand-in probes as many ports as the value says (3 for 0) and counts the matches.
    EXPECT_EQ(DLL_FindDevice(0, "C:\\TEMP", "C:\\KV"), 2);
    EXPECT_EQ(DLL_FindDevice(2, "C:\\TEMP", "C:\\KV\\"), 1);
    EXPECT_EQ(CurrentDirectory(), "C:\\OTHER");
    EXPECT_EQ(GetModuleHandleA("kvpdscvr.dll"), nullptr) << "unloaded after the call";
}

TEST_P(DiscoveryTest, PlainEntryNameServesWhenTheDecoratedOneIsMissing) {
    Place("plain/kvpdscvr.dll", "KV/kvpdscvr.dll");
    winsim::SetSetting("devices", "LPT1:", kModel4720A);
    EXPECT_EQ(DLL_FindDevice(1, "C:\\TEMP", "C:\\KV"), 1);
    EXPECT_EQ(CurrentDirectory(), "C:\\OTHER");
}

TEST_P(DiscoveryTest, LibraryWithoutEitherEntryGivesZeroAndIsReleased) {
    Place("pwlink32.dll", "KV/kvpdscvr.dll");
    EXPECT_EQ(DLL_FindDevice(1, "C:\\TEMP", "C:\\KV"), 0);
    EXPECT_EQ(GetModuleHandleA("kvpdscvr.dll"), nullptr);
    EXPECT_EQ(CurrentDirectory(), "C:\\OTHER");
}

} // namespace
