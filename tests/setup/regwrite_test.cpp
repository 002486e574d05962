#include "support/machine_fixture.h"

#include "frame/zrregistry.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kHklm[] = "HKEY_LOCAL_MACHINE\\";

class RegWriteTest : public EveryOsTest {
  protected:
    std::vector<uint8_t> Value(const std::string& key, const std::string& name, uint32_t* type) {
        std::vector<uint8_t> data;
        if (!winsim::ReadValue(kHklm + key, name, type, &data))
            ADD_FAILURE() << "no value " << key << " " << name;
        return data;
    }
    std::string Text(const std::string& key, const std::string& name) {
        uint32_t type = 0;
        auto data = Value(key, name, &type);
        EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
        return data.empty() ? "" : std::string(data.begin(), data.end() - 1);
    }
    DWORD Number(const std::string& key, const std::string& name) {
        uint32_t type = 0;
        auto data = Value(key, name, &type);
        EXPECT_EQ(type, static_cast<uint32_t>(REG_DWORD));
        DWORD n = 0;
        if (data.size() == 4) std::memcpy(&n, data.data(), 4);
        return n;
    }
};
INSTANTIATE_EVERY_OS(RegWriteTest);

TEST_P(RegWriteTest, AddRegKeyCreatesEachMissingComponent) {
    ASSERT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex"));
    LONG h = DLL_AddRegKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\KVP\\Models");
    EXPECT_NE(h, 0);
    EXPECT_TRUE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Models"));
    // The script gets the open key as a number it can pass back.
    HKEY key = reinterpret_cast<HKEY>(static_cast<LONG_PTR>(h));
    EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(DLL_AddRegKey(HKEY_LOCAL_MACHINE, "Nowhere"), 0) << "a first component must exist";
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\Nowhere"));
    EXPECT_EQ(DLL_AddRegKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE"), 0);
}

TEST_P(RegWriteTest, WritesEachTypeWithItsSize) {
    const char* key = "SOFTWARE\\Norvex\\KVP";
    EXPECT_EQ(DLL_WriteRegValue(HKEY_LOCAL_MACHINE, key, "Files", const_cast<char*>("a\0b\0"), 7),
              1);
    uint32_t type = 0;
    auto multi = Value(key, "Files", &type);
    EXPECT_EQ(type, static_cast<uint32_t>(REG_MULTI_SZ));
    EXPECT_EQ(multi, (std::vector<uint8_t>{'a', 0, 'b', 0, 0}));
    EXPECT_EQ(DLL_WriteRegValue(HKEY_LOCAL_MACHINE, key, "None", const_cast<char*>("\0"), 7), 1);
    EXPECT_EQ(Value(key, "None", &type).size(), 2u);
    EXPECT_EQ(DLL_WriteRegValue(HKEY_LOCAL_MACHINE, key, "Version", const_cast<char*>("1.00"), 1),
              1);
    EXPECT_EQ(Text(key, "Version"), "1.00");
    DWORD five = 5;
    EXPECT_EQ(DLL_WriteRegValue(HKEY_LOCAL_MACHINE, key, "Count", &five, 4), 1);
    EXPECT_EQ(Number(key, "Count"), 5u);
    EXPECT_EQ(DLL_WriteRegValue(HKEY_LOCAL_MACHINE, key, "", const_cast<char*>("default"), 1), 1);
    EXPECT_EQ(Text(key, ""), "default");
}

TEST_P(RegWriteTest, RefusedTypesStillCreateThePath) {
    EXPECT_EQ(DLL_WriteRegValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Bin", "b",
                                const_cast<char*>("x"), 3),
              0);
    EXPECT_TRUE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Bin"));
    uint32_t type;
    std::vector<uint8_t> data;
    EXPECT_FALSE(winsim::ReadValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Bin", "b", &type, &data));
    // A one-component path is written only when it exists already.
    EXPECT_EQ(DLL_WriteRegValue(HKEY_LOCAL_MACHINE, "SOFTWARE", "v", const_cast<char*>("1"), 1), 1);
    EXPECT_EQ(DLL_WriteRegValue(HKEY_LOCAL_MACHINE, "Absent", "v", const_cast<char*>("1"), 1), 0);
}

TEST_P(RegWriteTest, RefusesPathsLongerThanTheWorkBuffer) {
    std::string longPath = "SOFTWARE\\" + std::string(251, 'p');
    ASSERT_EQ(longPath.size(), 260u);
    EXPECT_EQ(
        DLL_WriteRegValue(HKEY_LOCAL_MACHINE, longPath.c_str(), "v", const_cast<char*>("1"), 1), 0);
    EXPECT_EQ(DLL_AddRegKey(HKEY_LOCAL_MACHINE, longPath.c_str()), 0);
    EXPECT_FALSE(winsim::KeyExists(kHklm + longPath));
    EXPECT_FALSE(winsim::KeyExists(kHklm + longPath.substr(0, 259)));
    longPath.pop_back();
    EXPECT_EQ(
        DLL_WriteRegValue(HKEY_LOCAL_MACHINE, longPath.c_str(), "v", const_cast<char*>("1"), 1), 1);
}

TEST_P(RegWriteTest, SharedCountsStartAtOneAndRise) {
    const char* dll = "C:\\WINDOWS\\SYSTEM\\KVLMON.DLL";
    const std::string shared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    EXPECT_EQ(DLL_IncSharedCount(dll), 0);
    EXPECT_EQ(Number(shared, dll), 1u);
    DWORD three = 3;
    ASSERT_EQ(DLL_WriteRegValue(HKEY_LOCAL_MACHINE, shared.c_str(), dll, &three, 4), 1);
    EXPECT_EQ(DLL_IncSharedCount(dll), 0);
    EXPECT_EQ(Number(shared, dll), 4u);
    EXPECT_EQ(DLL_IncSharedCount(nullptr), 0);

    // A count kept as 4 bytes of binary data by another setup is raised, not started again.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, shared.c_str(), &key), ERROR_SUCCESS);
    const BYTE two[4] = {2, 0, 0, 0};
    ASSERT_EQ(RegSetValueExA(key, "C:\\OLD.DLL", 0, REG_BINARY, two, sizeof two), ERROR_SUCCESS);
    const BYTE text[] = "7";
    ASSERT_EQ(RegSetValueExA(key, "C:\\TEXT.DLL", 0, REG_SZ, text, sizeof text), ERROR_SUCCESS);
    RegCloseKey(key);
    DLL_IncSharedCount("C:\\OLD.DLL");
    DLL_IncSharedCount("C:\\TEXT.DLL");
    EXPECT_EQ(Number(shared, "C:\\OLD.DLL"), 3u);
    EXPECT_EQ(Number(shared, "C:\\TEXT.DLL"), 1u) << "an unreadable count starts at 0";
}

TEST_P(RegWriteTest, ASharedCountThatCannotBeReadOrWrittenStaysAndTheErrorComesBack) {
    const char* dll = "C:\\WINDOWS\\SYSTEM\\KVLMON.DLL";
    const std::string shared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    EXPECT_EQ(DLL_IncSharedCount(dll), 0);
    EXPECT_EQ(DLL_IncSharedCount(dll), 0);

    winsim::FailCall("RegOpenKeyA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(DLL_IncSharedCount(dll), ERROR_ACCESS_DENIED);
    // Read as 0, the count would start again at 1 and another program's file would go with ours.
    winsim::FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(DLL_IncSharedCount(dll), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Number(shared, dll), 2u);
    winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(DLL_IncSharedCount(dll), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Number(shared, dll), 2u);
    EXPECT_EQ(DLL_IncSharedCount(dll), 0);
    EXPECT_EQ(Number(shared, dll), 3u);
}

class RegEntriesTest : public RegWriteTest {
  protected:
    void WriteIni(const std::string& body) { WriteHostFile(HostFile("SETUP/REG.INI"), body); }
    const char* m_ini = "C:\\SETUP\\REG.INI";
};
INSTANTIATE_EVERY_OS(RegEntriesTest);

TEST_P(RegEntriesTest, WritesEveryWellFormedEntryOfTheSection) {
    WriteIni("[Entries]\r\n"
             "2147483650,SOFTWARE\\Norvex\\KVP,Version,1=1.00\r\n"
             "-2147483646,SOFTWARE\\Norvex\\KVP,Count,4=42\r\n"
             "2147483650,SOFTWARE\\Norvex\\KVP,List,7=only\r\n"
             "2147483650,SOFTWARE\\Norvex\\KVP,Path,1=%TARGET%\\bin\r\n"
             "2147483650,SOFTWARE\\Norvex\\KVP,Both,1=%TARGET%;%TARGET%\r\n"
             "2147483650,SOFTWARE\\Norvex\\KVP,Lost,1=%MISSING%\\bin\r\n"
             "2147483650,SOFTWARE\\Norvex\\KVP,Empty,1=\r\n"
             "2147483650,SOFTWARE\\Norvex\\KVP,Two=commas only\r\n"
             "2147483650,SOFTWARE\\Norvex\\KVP,Odd,1,x=the type reads up to its first non-digit\r\n"
             "2147483650,SOFTWARE\\Norvex\\%PRODUCT%,Name,1=placeholder in the key\r\n"
             "2147483649,Software\\Norvex,User,1=user\r\n"
             "\r\n[Strings]\r\nTARGET=C:\\KV\r\nPRODUCT=KVP\r\n");
    EXPECT_EQ(DLL_AddRegEntries(m_ini, "Entries", 0), 1);
    const std::string k = "SOFTWARE\\Norvex\\KVP";
    EXPECT_EQ(Text(k, "Version"), "1.00");
    EXPECT_EQ(Number(k, "Count"), 42u);
    uint32_t type = 0;
    EXPECT_EQ(Value(k, "List", &type), (std::vector<uint8_t>{'o', 'n', 'l', 'y', 0, 0}));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_MULTI_SZ));
    EXPECT_EQ(Text(k, "Path"), "C:\\KV\\bin");
    EXPECT_EQ(Text(k, "Both"), "C:\\KV;%TARGET%") << "only the first placeholder is expanded";
    EXPECT_EQ(Text(k, "Name"), "placeholder in the key");
    EXPECT_EQ(Text(k, "Odd"), "the type reads up to its first non-digit");
    std::vector<uint8_t> data;
    for (const char* skipped : {"Lost", "Empty", "Two"})
        EXPECT_FALSE(winsim::ReadValue(kHklm + k, skipped, &type, &data)) << skipped;
    EXPECT_TRUE(winsim::ReadValue("HKEY_CURRENT_USER\\Software\\Norvex", "User", &type, &data));
}

TEST_P(RegEntriesTest, MissingFilesAndSectionsWriteNothing) {
    EXPECT_EQ(DLL_AddRegEntries("C:\\NOWHERE\\X.INI", "Entries", 0), 1);
    WriteIni("[Other]\r\n2147483650,SOFTWARE\\Norvex,V,1=1\r\n");
    EXPECT_EQ(DLL_AddRegEntries(m_ini, "Entries", 0), 1);
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex"));
    std::string longName(300, 's');
    EXPECT_EQ(DLL_AddRegEntries(m_ini, longName.c_str(), 0), 1);
}

TEST_P(RegEntriesTest, ExpansionsThatDoNotFitAreRefusedWhole) {
    WriteIni("[Entries]\r\n"
             "2147483650,SOFTWARE\\Norvex,Long,1=%BIG%\\more\r\n"
             "2147483650,SOFTWARE\\Norvex,Fits,1=%SMALL%\\more\r\n"
             "[Strings]\r\nBIG=" +
             std::string(125, 'b') + "\r\nSMALL=" + std::string(100, 's') + "\r\n");
    DLL_AddRegEntries(m_ini, "Entries", 0);
    uint32_t type;
    std::vector<uint8_t> data;
    EXPECT_FALSE(winsim::ReadValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex", "Long", &type, &data))
        << "a cut path would be wrong";
    EXPECT_EQ(Text("SOFTWARE\\Norvex", "Fits"), std::string(100, 's') + "\\more");
}

TEST_P(RegEntriesTest, AKeyThatExpandsToNothingSkipsOnlyItsEntry) {
    WriteIni("[Entries]\r\n"
             "2147483650,SOFTWARE\\Norvex\\%LONG%,Second,1=two\r\n"
             "%MISSING%2147483650,SOFTWARE\\Norvex,Third,1=three\r\n"
             "2147483650,SOFTWARE\\Norvex,Fourth,1=four\r\n"
             "[Strings]\r\nLONG=" +
             std::string(126, 'l') + "\r\n");
    EXPECT_EQ(DLL_AddRegEntries(m_ini, "Entries", 0), 1);
    EXPECT_EQ(Text("SOFTWARE\\Norvex", "Fourth"), "four") << "the entries after them are written";
    uint32_t type;
    std::vector<uint8_t> data;
    EXPECT_FALSE(winsim::ReadValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex", "Third", &type, &data));

    // The key list itself keeps going past an emptied text.
    char keys[512];
    const DWORD n = ReadIniExpanded("Entries", nullptr, "", keys, sizeof keys, m_ini);
    ASSERT_GT(n, 0u);
    EXPECT_STREQ(keys, "2147483650,SOFTWARE\\Norvex,Fourth,1");
    EXPECT_EQ(keys[n], '\0');
}

TEST(ParseRegEntryKey, SplitsAtTheFirstThreeCommas) {
    LPSTR root, subkey, name, type;
    ASSERT_EQ(ParseRegEntryKey("2147483650,SOFTWARE\\A,Name,1", &root, &subkey, &name, &type), 1);
    EXPECT_STREQ(root, "2147483650");
    EXPECT_STREQ(subkey, "SOFTWARE\\A");
    EXPECT_STREQ(name, "Name");
    EXPECT_STREQ(type, "1");
    ASSERT_EQ(ParseRegEntryKey("1,,,", &root, &subkey, &name, &type), 1);
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(type, "");
    EXPECT_EQ(ParseRegEntryKey("1,a,b", &root, &subkey, &name, &type), 0);
    std::string longKey = "1,a,b,1" + std::string(800, ' ');
    EXPECT_EQ(ParseRegEntryKey(longKey.c_str(), &root, &subkey, &name, &type), 0);
}

TEST(DecimalWrapped, WrapsModulo2To32) {
    EXPECT_EQ(zrDecimalWrapped("2147483650"), static_cast<LONG>(0x80000002));
    EXPECT_EQ(zrDecimalWrapped("-2147483646"), static_cast<LONG>(0x80000002));
    EXPECT_EQ(zrDecimalWrapped("+7x"), 7);
    EXPECT_EQ(zrDecimalWrapped("4294967297"), 1);
    EXPECT_EQ(zrDecimalWrapped("abc"), 0);
}

// On Windows NT the device keys refuse plain writes; the take-access path opens them up for the
// write and then puts their protection back.
class TakeAccessTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine(winsim::Os::Nt4);
        ASSERT_NE(
            DLL_AddRegKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KVPECP00"), 0);
        ASSERT_TRUE(winsim::ProtectKey(kKey));
        m_before = winsim::GetKeySecurity(kKey);
    }
    static constexpr const char* kKey =
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KVPECP00";
    static constexpr const char* kPath = "SYSTEM\\CurrentControlSet\\Services\\KVPECP00";
    std::string m_before;
};

std::string DaclPart(const std::string& sddl) {
    size_t d = sddl.find("D:");
    return d == std::string::npos ? "" : sddl.substr(d);
}

TEST_F(TakeAccessTest, PlainWritesAreRefused) {
    DWORD one = 1;
    EXPECT_EQ(WriteValueCreatingPath(HKEY_LOCAL_MACHINE, kPath, "Start", &one, REG_DWORD, FALSE),
              0);
    EXPECT_EQ(winsim::GetKeySecurity(kKey), m_before);
}

TEST_F(TakeAccessTest, WritesAndCreatesThenRestoresTheFormerDacl) {
    DWORD three = 3;
    EXPECT_EQ(WriteValueCreatingPath(HKEY_LOCAL_MACHINE, kPath, "Start", &three, REG_DWORD, TRUE),
              1);
    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_TRUE(winsim::ReadValue(kKey, "Start", &type, &data));
    EXPECT_EQ(data, (std::vector<uint8_t>{3, 0, 0, 0}));
    EXPECT_EQ(DaclPart(winsim::GetKeySecurity(kKey)), DaclPart(m_before)) << "protection is back";
    EXPECT_EQ(WriteValueCreatingPath(HKEY_LOCAL_MACHINE, kPath, "Start", &three, REG_DWORD, FALSE),
              0);

    EXPECT_EQ(WriteValueCreatingPath(HKEY_LOCAL_MACHINE,
                                     (std::string(kPath) + "\\Parameters").c_str(), "Mode",
                                     const_cast<char*>("ecp"), REG_SZ, TRUE),
              1);
    EXPECT_TRUE(winsim::KeyExists(std::string(kKey) + "\\Parameters"));
    EXPECT_EQ(DaclPart(winsim::GetKeySecurity(kKey)), DaclPart(m_before));
}

TEST_F(TakeAccessTest, NoDataWritesNothingAndStillRestoresTheDacl) {
    EXPECT_EQ(WriteValueCreatingPath(HKEY_LOCAL_MACHINE, kPath, "Start", nullptr, REG_DWORD, TRUE),
              0);
    EXPECT_EQ(DaclPart(winsim::GetKeySecurity(kKey)), DaclPart(m_before));
}

TEST_F(TakeAccessTest, WithoutTheTakeOwnershipPrivilegeNothingChanges) {
    winsim::SetTakeOwnershipHeld(false);
    DWORD three = 3;
    EXPECT_EQ(WriteValueCreatingPath(HKEY_LOCAL_MACHINE, kPath, "Start", &three, REG_DWORD, TRUE),
              0);
    EXPECT_EQ(winsim::GetKeySecurity(kKey), m_before);
    HKEY key = nullptr;
    EXPECT_NE(OpenKeyTakingAccess(HKEY_LOCAL_MACHINE, kPath, &key), ERROR_SUCCESS);
    EXPECT_NE(key, nullptr) << "the key is delivered with the owner error";
    RegCloseKey(key);
}

// A key the Administrators already own takes the NULL DACL at once (no owner change, no
// privilege); the write goes through a key opened after that change.
TEST_F(TakeAccessTest, AnOwnedKeyTakesTheNullDaclAtOnce) {
    ASSERT_TRUE(winsim::SetKeySecurity(kKey, "O:BAD:(A;;KA;;;SY)(A;;KR;;;BA)(A;;KR;;;WD)"));
    winsim::SetTakeOwnershipHeld(false);
    DWORD four = 4;
    EXPECT_EQ(WriteValueCreatingPath(HKEY_LOCAL_MACHINE, kPath, "Start", &four, REG_DWORD, TRUE),
              1);
    std::vector<uint8_t> data;
    ASSERT_TRUE(winsim::ReadValue(kKey, "Start", nullptr, &data));
    EXPECT_EQ(data, (std::vector<uint8_t>{4, 0, 0, 0}));
    EXPECT_EQ(winsim::GetKeySecurity(kKey), "O:BAD:(A;;KA;;;SY)(A;;KR;;;BA)(A;;KR;;;WD)");
}

TEST_F(TakeAccessTest, EnableTakeOwnershipReportsWhetherTheTokenHoldsIt) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
    ASSERT_NE(process, nullptr);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    EXPECT_TRUE(EnableTakeOwnership(token));
    winsim::SetTakeOwnershipHeld(false);
    EXPECT_FALSE(EnableTakeOwnership(token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
    CloseHandle(token);
    CloseHandle(process);
}

TEST_F(TakeAccessTest, AnOpenKeyNeedsNoSecurityChange) {
    HKEY key = nullptr;
    CZRFormerDacl former;
    EXPECT_EQ(OpenKeyTakingAccess(HKEY_LOCAL_MACHINE, "SOFTWARE", &key, &former), ERROR_SUCCESS);
    EXPECT_NE(key, nullptr);
    EXPECT_TRUE(former.Empty());
    RegCloseKey(key);
    EXPECT_EQ(OpenKeyTakingAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\Absent", &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
}

} // namespace
