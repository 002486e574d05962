#include "support/machine_fixture.h"

#include <windows.h>
#include <winspool.h>
#include <winsim/machine.h>

#include <cstring>
#include <string>

namespace {

const char kMapping[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping";
const char kUserWindows[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

// A REG_SZ value as text; "<missing>" when the key or value is not there.
std::string RegText(HKEY root, const std::string& path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
    char buf[256] = {};
    DWORD size = sizeof buf - 1, type = 0;
    const LONG rc =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf) : "<missing>";
}

void SetText(HKEY root, const std::string& path, const char* name, const char* text) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(std::strlen(text) + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::string Profile(const char* section, const char* key, const char* file) {
    char buf[256];
    GetPrivateProfileStringA(section, key, "dflt", buf, sizeof buf, file);
    return buf;
}

// A list as the profile calls return it: texts each ended by a NUL, the list by one more.
std::string ListOf(const char* buf, DWORD n) {
    return std::string(buf, n + 1);
}

} // namespace

class IniMappingTest : public EveryOsTest {
  protected:
    bool Nt() const { return GetParam() == winsim::Os::Nt4; }
    std::string WinIni() { return ReadHostFile(HostFile("WINDOWS/WIN.INI")); }
};
INSTANTIATE_EVERY_OS(IniMappingTest);

class IniMappingNtTest : public IniMappingTest {
  protected:
    // KV.INI's sections as a program maps them.
    void Map(const char* section, const char* location) {
        SetText(HKEY_LOCAL_MACHINE, std::string(kMapping) + "\\kv.ini", section, location);
    }
    bool KvIniExists() {
        return GetFileAttributesA("C:\\WINDOWS\\KV.INI") != INVALID_FILE_ATTRIBUTES;
    }
};
INSTANTIATE_NT(IniMappingNtTest);

TEST_P(IniMappingTest, AFreshNtKeepsWinIniAndSystemIniSectionsInTheRegistry) {
    if (!Nt()) {
        EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, std::string(kMapping) + "\\win.ini", "Ports"),
                  "<missing>");
        EXPECT_NE(WinIni().find("[Ports]\r\nLPT1:=\r\n"), std::string::npos);
        return;
    }
    const std::string winIni = std::string(kMapping) + "\\win.ini";
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, winIni, "Ports"),
              "SYS:Microsoft\\Windows NT\\CurrentVersion\\Ports");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, winIni, "PrinterPorts"),
              "USR:Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, winIni, "Devices"),
              "USR:Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, winIni + "\\Windows", nullptr),
              "USR:Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, std::string(kMapping) + "\\system.ini", "boot"),
              "SYS:Microsoft\\Windows NT\\CurrentVersion\\WOW\\boot");

    // What the fresh files held in those sections is where NT keeps it, and only there.
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
                      "COM1:"),
              "9600,n,8,1,x");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kUserWindows, "NullPort"), "None");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WOW\\boot", "shell"),
              "Explorer.exe");
    EXPECT_EQ(WinIni().find("[Ports]"), std::string::npos);
    EXPECT_EQ(WinIni().find("[windows]"), std::string::npos);
    const std::string systemIni = ReadHostFile(HostFile("WINDOWS/SYSTEM.INI"));
    EXPECT_EQ(systemIni.find("[boot]"), std::string::npos);
    EXPECT_NE(systemIni.find("[386Enh]"), std::string::npos) << "NT leaves [386Enh] in the file";
    char buf[32];
    EXPECT_EQ(GetProfileStringA("Ports", "COM1:", "", buf, sizeof buf), 12u);
    EXPECT_EQ(GetPrivateProfileStringA("boot", "shell", "", buf, sizeof buf, "system.ini"), 12u);
}

TEST_P(IniMappingTest, TheDeviceLineAndPortsLandWhereEachSystemKeepsThem) {
    const std::string before = WinIni();
    ASSERT_TRUE(WriteProfileStringA("windows", "device", "KV 4720,winspool,LPT1:"));
    ASSERT_TRUE(WriteProfileStringA("Ports", "KVNET_1", ""));
    ASSERT_TRUE(WriteProfileStringA("windows", "MouseSpeed", "2"));
    char buf[64];
    EXPECT_EQ(GetProfileStringA("Windows", "DEVICE", "", buf, sizeof buf), 22u);
    EXPECT_EQ(GetProfileIntA("windows", "MouseSpeed", 0), 2u);
    EXPECT_EQ(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "WIN.INI"), Nt())
        << "NT has nothing to flush for a mapped file and says so";
    if (Nt()) {
        EXPECT_EQ(WinIni(), before) << "NT writes mapped sections to the registry only";
        EXPECT_EQ(RegText(HKEY_CURRENT_USER, kUserWindows, "device"), "KV 4720,winspool,LPT1:");
        EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Control Panel\\Mouse", "MouseSpeed"), "2")
            << "an entry the mapping names goes to its own key";
        EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "KVNET_1"),
                  "");
    } else {
        EXPECT_NE(WinIni().find("device=KV 4720,winspool,LPT1:"), std::string::npos);
        EXPECT_NE(WinIni().find("KVNET_1="), std::string::npos);
    }
    ASSERT_TRUE(WriteProfileStringA("windows", "device", nullptr));
    EXPECT_EQ(GetProfileStringA("windows", "device", "none", buf, sizeof buf), 4u);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kUserWindows, "device"), "<missing>");
}

TEST_P(IniMappingNtTest, AProgramsMappingSendsItsSectionToTheRegistry) {
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "KV.INI"));
    Map("Setup", "USR:Software\\KV\\Setup");
    EXPECT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "KV.INI"));
    ASSERT_TRUE(WritePrivateProfileStringA("Setup", "Model", "4720", "KV.INI"));
    EXPECT_FALSE(KvIniExists()) << "a mapped section makes no file";
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\KV\\Setup", "Model"), "4720");
    EXPECT_EQ(Profile("setup", "MODEL", "C:\\ELSEWHERE\\kv.ini"), "4720")
        << "the mapping goes by the file's name alone";

    // Text values only: other types read as missing.
    const DWORD number = 7;
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KV\\Setup", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    RegSetValueExA(key, "Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%x%"), 4);
    RegCloseKey(key);
    EXPECT_EQ(Profile("Setup", "Count", "KV.INI"), "dflt");
    EXPECT_EQ(Profile("Setup", "Path", "KV.INI"), "dflt");

    // A section written whole changes the entries it names and keeps the others.
    ASSERT_TRUE(WritePrivateProfileSectionA("Setup", "Port=LPT1:\0Model=4721\0", "KV.INI"));
    char buf[64];
    DWORD n = GetPrivateProfileSectionA("Setup", buf, sizeof buf, "KV.INI");
    EXPECT_EQ(ListOf(buf, n), std::string("Model=4721\0Port=LPT1:\0\0", 23));
    n = GetPrivateProfileStringA("Setup", nullptr, "", buf, sizeof buf, "KV.INI");
    EXPECT_EQ(ListOf(buf, n), std::string("Model\0Port\0\0", 12));

    // The section names: the mapped ones, then the file's.
    ASSERT_TRUE(WritePrivateProfileStringA("Local", "k", "v", "KV.INI"));
    EXPECT_TRUE(KvIniExists());
    n = GetPrivateProfileSectionNamesA(buf, sizeof buf, "KV.INI");
    EXPECT_EQ(ListOf(buf, n), std::string("Setup\0Local\0\0", 13));

    // Deleting the section takes its entries; its key stays.
    ASSERT_TRUE(WritePrivateProfileStringA("Setup", nullptr, nullptr, "KV.INI"));
    EXPECT_EQ(Profile("Setup", "Model", "KV.INI"), "dflt");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\KV\\Setup", "Port"), "<missing>");
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KV\\Setup", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// Reads of a file the mapping leaves alone are answered without looking the mapping up again
// until the registry changes: a mapping made between two reads counts at the second.
TEST_P(IniMappingNtTest, AMappingMadeAfterAReadCountsAtTheNextRead) {
    ASSERT_TRUE(WritePrivateProfileStringA("Setup", "Model", "file", "KV.INI"));
    EXPECT_EQ(Profile("Setup", "Model", "KV.INI"), "file");
    EXPECT_EQ(Profile("Setup", "Model", "KV.INI"), "file");
    Map("Setup", "USR:Software\\KV\\Setup");
    SetText(HKEY_CURRENT_USER, "Software\\KV\\Setup", "Model", "registry");
    EXPECT_EQ(Profile("Setup", "Model", "KV.INI"), "registry");
}

TEST_P(IniMappingNtTest, SysPrefixAndTheFilesDefaultLocation) {
    Map("Machine", "SYS:KV\\Machine");
    Map(nullptr, "SYS:KV\\Sections");
    ASSERT_TRUE(WritePrivateProfileStringA("Machine", "Id", "1", "KV.INI"));
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV\\Machine", "Id"), "1");
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Id", "2", "KV.INI"));
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV\\Sections\\Other", "Id"), "2")
        << "a section without its own mapping gets a key of its name below the default";
    SetText(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV\\Sections\\Third", "Id", "3");
    EXPECT_EQ(Profile("Third", "Id", "KV.INI"), "3");
    EXPECT_FALSE(KvIniExists());
}

TEST_P(IniMappingNtTest, ASectionMappedEntryByEntry) {
    const std::string sub = std::string(kMapping) + "\\kv.ini\\Names";
    SetText(HKEY_LOCAL_MACHINE, sub, "First", "USR:Software\\KV\\First");
    SetText(HKEY_LOCAL_MACHINE, sub, "Second", "SYS:KV\\Second");
    ASSERT_TRUE(WritePrivateProfileStringA("Names", "First", "1", "KV.INI"));
    ASSERT_TRUE(WritePrivateProfileStringA("Names", "Second", "2", "KV.INI"));
    ASSERT_TRUE(WritePrivateProfileStringA("Names", "Third", "3", "KV.INI"));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\KV\\First", "First"), "1");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV\\Second", "Second"), "2");
    EXPECT_EQ(ReadHostFile(HostFile("WINDOWS/KV.INI")), "[Names]\r\nThird=3\r\n")
        << "a name the mapping does not list stays in the file";
    char buf[64];
    DWORD n = GetPrivateProfileSectionA("Names", buf, sizeof buf, "KV.INI");
    EXPECT_EQ(ListOf(buf, n), std::string("First=1\0Second=2\0Third=3\0\0", 26));
    ASSERT_TRUE(WritePrivateProfileSectionA("Names", "First=one\0Third=three\0", "KV.INI"));
    EXPECT_EQ(Profile("Names", "First", "KV.INI"), "one");
    EXPECT_EQ(Profile("Names", "Third", "KV.INI"), "3")
        << "a section written whole reaches only the registry's entries";

    // With an unnamed value, the names not listed go to its key.
    SetText(HKEY_LOCAL_MACHINE, sub, "", "USR:Software\\KV\\Rest");
    ASSERT_TRUE(WritePrivateProfileStringA("Names", "Fourth", "4", "KV.INI"));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\KV\\Rest", "Fourth"), "4");
    ASSERT_TRUE(WritePrivateProfileStringA("Names", nullptr, nullptr, "KV.INI"));
    EXPECT_EQ(Profile("Names", "First", "KV.INI"), "dflt");
    EXPECT_EQ(Profile("Names", "Fourth", "KV.INI"), "dflt");
}

TEST_P(IniMappingNtTest, TheFlagsDecideWhereTheFileTakesPart) {
    ASSERT_TRUE(WritePrivateProfileStringA("Both", "Old", "file", "KV.INI"));
    ASSERT_TRUE(WritePrivateProfileStringA("Strict", "Old", "file", "KV.INI"));
    ASSERT_TRUE(WritePrivateProfileStringA("Loose", "Old", "file", "KV.INI"));
    Map("Both", "!USR:Software\\KV\\Both");
    Map("Strict", "@USR:Software\\KV\\Strict");
    Map("Loose", "USR:Software\\KV\\Loose");

    ASSERT_TRUE(WritePrivateProfileStringA("Both", "New", "x", "KV.INI"));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\KV\\Both", "New"), "x");
    EXPECT_NE(ReadHostFile(HostFile("WINDOWS/KV.INI")).find("New=x"), std::string::npos)
        << "'!' writes the file as well";

    EXPECT_EQ(Profile("Strict", "Old", "KV.INI"), "dflt") << "'@' never reads the file";
    EXPECT_EQ(Profile("Loose", "Old", "KV.INI"), "file")
        << "without '@' what the registry lacks is read from the file";
    char buf[32];
    DWORD n = GetPrivateProfileStringA("Loose", nullptr, "", buf, sizeof buf, "KV.INI");
    EXPECT_EQ(ListOf(buf, n), std::string("Old\0\0", 5)) << "a section the registry lacks";
    EXPECT_EQ(GetPrivateProfileSectionA("Strict", buf, sizeof buf, "KV.INI"), 0u);
    ASSERT_TRUE(WritePrivateProfileStringA("Loose", "Old", "registry", "KV.INI"));
    EXPECT_EQ(Profile("Loose", "Old", "KV.INI"), "registry");
}

TEST_P(IniMappingTest, TheSpoolerSeesAndDeletesPortsWhereverTheSystemKeepsThem) {
    auto listed = [] {
        for (const winsim::SpoolerPort& p : winsim::ReadSpooler().ports)
            if (p.name == "KVNET_9") return true;
        return false;
    };
    ASSERT_TRUE(WriteProfileStringA("Ports", "KVNET_9", ""));
    EXPECT_TRUE(listed());
    char server[] = "", port[] = "KVNET_9";
    ASSERT_TRUE(DeletePortA(server, nullptr, port));
    EXPECT_FALSE(listed());
    char buf[8];
    EXPECT_EQ(GetProfileStringA("Ports", "KVNET_9", "gone", buf, sizeof buf), 4u);
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
                      "KVNET_9"),
              "<missing>");
}
