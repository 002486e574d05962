#include "support/machine_fixture.h"

#include "devices/zrdevices.h"

#include <string>
#include <vector>

namespace {

const std::string kKvp = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\";

std::string Text(const std::string& key, const std::string& name) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!winsim::ReadValue(kKvp + key, name, &type, &data)) return "<missing>";
    EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
    if (data.empty() || data.back() != 0) return "<unterminated>";
    return std::string(data.begin(), data.end() - 1);
}

bool Has(const std::string& key, const std::string& name) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    return winsim::ReadValue(kKvp + key, name, &type, &data);
}

} // namespace

class ConfigIoTest : public EveryOsTest {};
INSTANTIATE_EVERY_OS(ConfigIoTest);

// The whole tree in its writing order: keys appear in the order they were made, values in the
// order they were written.
TEST_P(ConfigIoTest, WritesTheProductTreeRowByRow) {
    EXPECT_EQ(DLL_ConfigIO("LPT1:", "C:\\KV"), 1);
    EXPECT_EQ(winsim::ExportRegistry("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex"),
              "REGEDIT4\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex]\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP]\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Netscan]\r\n"
              "\"Address Type\"=\"Local\"\r\n"
              "\"Search ID\"=\"Pellora 4720A\"\r\n"
              "\"Community-Set\"=\"\"\r\n"
              "\"TempDir\"=\"C:\\\\WINDOWS\\\\KVSETUP\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Models]\r\n"
              "\"0\"=\"KV Pellora 4720\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\KV Pellora 4720]\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\KV Pellora 4720\\Env]\r\n"
              "\"DataDir\"=\"C:\\\\KV\"\r\n"
              "\"ProgramDir\"=\"C:\\\\KV\"\r\n"
              "\"RootDir\"=\"C:\\\\KV\"\r\n"
              "\"HelpDir\"=\"C:\\\\KV\"\r\n"
              "\"ImageDir\"=\"C:\\\\KV\"\r\n"
              "\"Language\"=\"ENU\"\r\n"
              "\"ProdIniFile\"=\"C:\\\\KV\\\\KVPT4720.INI\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\KV Pellora 4720\\Install]\r\n"
              "\"InstallRun\"=\"0\"\r\n"
              "\"Type\"=\"C\"\r\n"
              "\"Device\"=\"88888888\"\r\n"
              "\"NextNewDevice\"=\"4720,LPT1:,88888888\"\r\n"
              "\"RunSetupWizard\"=\"0\"\r\n"
              "\"InstallState\"=\"1\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Devices]\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Devices\\0]\r\n"
              "\"DefDevID\"=\"88888888\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Devices\\88888888]\r\n"
              "\"PortID\"=\"0\"\r\n"
              "\"Model\"=\"KV Pellora 4720\"\r\n"
              "\"Derivative\"=\"4720\"\r\n"
              "\"DevIniFile\"=\"C:\\\\KV\\\\DEV_1.INI\"\r\n"
              "\"DefDevID\"=\"88888888\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Ports]\r\n"
              "\"DefPortID\"=\"0\"\r\n"
              "\"0\"=\"88888888\"\r\n"
              "\r\n");
}

TEST_P(ConfigIoTest, OnlyNumberedParallelPortsGetTheirOwnIdentifier) {
    DLL_ConfigIO("lpt2", "C:\\KV");
    EXPECT_EQ(Text("Ports", "DefPortID"), "1");
    EXPECT_EQ(Text("Devices\\88888888", "PortID"), "1");
    EXPECT_EQ(Text("Ports", "1"), "88888888");

    // Other ports leave the network search settings as they were.
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\KVP\\Netscan"), ERROR_SUCCESS);
    for (const char* port : {"COM1:", "\\\\SERVER\\KV", "LPT", "LPT:"}) {
        SCOPED_TRACE(port);
        DLL_ConfigIO(port, "C:\\KV");
        EXPECT_EQ(Text("Ports", "DefPortID"), "99");
        EXPECT_EQ(Text("Ports", "99"), "88888888");
        EXPECT_EQ(Text("KV Pellora 4720\\Install", "NextNewDevice"),
                  std::string("4720,") + port + ",88888888");
        EXPECT_FALSE(winsim::KeyExists(kKvp + "Netscan"));
    }
}

TEST_P(ConfigIoTest, LanguageAndTemporaryDirectoryFollowTheSystem) {
    WriteProfileStringA("Intl", "sLanguage", "DEUTSCHXY");
    DLL_ConfigIO("LPT1:", "C:\\KV\\");
    EXPECT_EQ(Text("KV Pellora 4720\\Env", "Language"), "DEUTSCH") << "cut to 7 characters";
    EXPECT_EQ(Text("KV Pellora 4720\\Env", "ProdIniFile"), "C:\\KV\\\\KVPT4720.INI");
    EXPECT_EQ(Text("Devices\\88888888", "DevIniFile"), "C:\\KV\\\\DEV_1.INI");

    winsim::SetSetting("machine", "windir", "C:\\");
    DLL_ConfigIO("LPT1:", "C:\\KV");
    EXPECT_EQ(Text("Netscan", "TempDir"), "C:\\KVSETUP") << "a root directory: one backslash";
}

TEST_P(ConfigIoTest, TextsThatWouldNotFitTheirBuffersAreLeftOut) {
    const std::string longest(229 - 5, 'p'); // "\\\\S\\" and 224 characters: 229 in all
    const std::string port229 = "\\\\S\\" + longest + "X";
    ASSERT_EQ(port229.size(), 229u);
    DLL_ConfigIO(port229.c_str(), "C:\\KV");
    EXPECT_EQ(Text("KV Pellora 4720\\Install", "NextNewDevice").size(), 243u);

    const std::string port230 = port229 + "Y";
    const std::string dir = "C:\\" + std::string(244, 'd'); // 247: one too many for the INI path
    DLL_ConfigIO(port230.c_str(), dir.c_str());
    EXPECT_EQ(Text("KV Pellora 4720\\Install", "NextNewDevice").size(), 243u)
        << "the earlier value stays; a cut port name would name another port";
    EXPECT_EQ(Text("KV Pellora 4720\\Env", "DataDir"), dir);
    EXPECT_EQ(Text("KV Pellora 4720\\Env", "ProdIniFile"), "C:\\KV\\KVPT4720.INI");
    EXPECT_EQ(Text("Devices\\88888888", "DevIniFile").size(), dir.size() + 10)
        << "DEV_1.INI is shorter and still fits";
    EXPECT_EQ(DLL_ConfigIO(nullptr, "C:\\KV"), 1);
    EXPECT_EQ(DLL_ConfigIO("LPT1:", nullptr), 1);
}

TEST_P(ConfigIoTest, ARowThatCannotBeWrittenFailsTheCallAndTheOthersAreWritten) {
    winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(DLL_ConfigIO("LPT1:", "C:\\KV"), 0);
    EXPECT_FALSE(Has("Netscan", "Address Type"));
    EXPECT_EQ(Text("Netscan", "Search ID"), "Pellora 4720A");
    EXPECT_EQ(Text("Ports", "DefPortID"), "0");
    EXPECT_EQ(DLL_ConfigIO("LPT1:", "C:\\KV"), 1) << "the script's second try writes it";
    EXPECT_EQ(Text("Netscan", "Address Type"), "Local");
}

TEST_P(ConfigIoTest, AnEcpDriverThatCannotBeRegisteredFailsTheCallOnNt) {
    ASSERT_TRUE(winsim::ProtectKey("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services"));
    winsim::SetTakeOwnershipHeld(false);
    EXPECT_EQ(DLL_ConfigIO("LPT1:", "C:\\KV"), GetParam() == winsim::Os::Nt4 ? 0 : 1);
    EXPECT_EQ(Text("Ports", "DefPortID"), "0") << "the product tree is written all the same";
}

TEST_P(ConfigIoTest, RegistersTheEcpDriverOnNtOnly) {
    DLL_ConfigIO("LPT1:", "C:\\KV");
    const bool nt = GetParam() == winsim::Os::Nt4;
    const std::string ccs = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\";
    EXPECT_EQ(winsim::KeyExists(ccs + "Services\\KVPECP00\\Parameters\\378"), nt);
    EXPECT_EQ(winsim::KeyExists(ccs + "Enum\\Root\\LEGACY_KVPECP00\\0000\\Control"), nt);
    EXPECT_EQ(Has("Ports", "DefPortID"), true);
}
