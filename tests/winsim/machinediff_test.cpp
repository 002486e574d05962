// Machine snapshots and their differences: each kind of change, seen from a fresh machine.
#include "machinediff.h"

#include "support/machine_fixture.h"

#include <windows.h>

#include <sstream>

namespace {

class MachineDiffTest : public EveryOsTest {
  protected:
    winsim::MachineDiff Since(const winsim::MachineSnapshot& before) {
        return winsim::CompareMachines(before, winsim::TakeSnapshot());
    }
};

std::string Human(const winsim::MachineDiff& diff) {
    std::ostringstream out;
    winsim::PrintDiff(diff, out);
    return out.str();
}

} // namespace

TEST_P(MachineDiffTest, AFreshMachineEqualsItself) {
    const winsim::MachineSnapshot before = winsim::TakeSnapshot();
    const winsim::MachineDiff diff = Since(before);
    EXPECT_TRUE(diff.Empty());
    EXPECT_EQ(Human(diff), "no difference\n");
}

TEST_P(MachineDiffTest, FilesAddedRemovedChanged) {
    WriteHostFile(HostFile("KEEP.TXT"), "one");
    WriteHostFile(HostFile("GONE.TXT"), "x");
    const winsim::MachineSnapshot before = winsim::TakeSnapshot();
    WriteHostFile(HostFile("KEEP.TXT"), "two"); // same size, other bytes
    ASSERT_TRUE(DeleteFileA("C:\\GONE.TXT"));
    WriteHostFile(HostFile("NEW.TXT"), "new!");
    const winsim::MachineDiff diff = Since(before);
    EXPECT_EQ(diff.filesAdded, std::vector<std::string>{"C:\\NEW.TXT"});
    EXPECT_EQ(diff.filesRemoved, std::vector<std::string>{"C:\\GONE.TXT"});
    ASSERT_EQ(diff.filesChanged.size(), 1u);
    EXPECT_EQ(diff.filesChanged[0].what, "C:\\KEEP.TXT");
    EXPECT_NE(Human(diff).find("~ file C:\\KEEP.TXT (3 -> 3 bytes)"), std::string::npos);
}

TEST_P(MachineDiffTest, RegistryKeysAndValues) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Old", &key), ERROR_SUCCESS);
    RegSetValueExA(key, "Gone", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2);
    RegSetValueExA(key, "Moved", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2);
    RegCloseKey(key);
    const winsim::MachineSnapshot before = winsim::TakeSnapshot();
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Old", &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "Gone");
    RegSetValueExA(key, "Moved", 0, REG_SZ, reinterpret_cast<const BYTE*>("b"), 2);
    const char list[] = "x\0y\0";
    RegSetValueExA(key, "List", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list), sizeof list);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\New", &key), ERROR_SUCCESS);
    RegCloseKey(key);

    const winsim::MachineDiff diff = Since(before);
    EXPECT_EQ(diff.keysAdded, std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\New"});
    EXPECT_TRUE(diff.keysRemoved.empty());
    ASSERT_EQ(diff.valuesRemoved.size(), 1u);
    EXPECT_EQ(diff.valuesRemoved[0].what, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\nGone");
    ASSERT_EQ(diff.valuesChanged.size(), 1u);
    EXPECT_EQ(diff.valuesChanged[0].before, "\"a\"");
    EXPECT_EQ(diff.valuesChanged[0].after, "\"b\"");
    ASSERT_EQ(diff.valuesAdded.size(), 1u);
    const std::string human = Human(diff);
    EXPECT_NE(human.find("+ value HKEY_LOCAL_MACHINE\\SOFTWARE\\Old \"List\" = multi(\"x\", \"y\")"),
              std::string::npos)
        << human;

    const winsim::MachineSnapshot withNew = winsim::TakeSnapshot();
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\New"), ERROR_SUCCESS);
    EXPECT_EQ(Since(withNew).keysRemoved, std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\New"});
}

TEST_P(MachineDiffTest, ProfileSectionsAndKeys) {
    ASSERT_TRUE(WritePrivateProfileStringA("Old", "a", "1", "C:\\KV.INI"));
    ASSERT_TRUE(WritePrivateProfileStringA("Old", "b", "1", "C:\\KV.INI"));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "C:\\KV.INI");
    const winsim::MachineSnapshot before = winsim::TakeSnapshot();
    WritePrivateProfileStringA("Old", "a", "2", "C:\\KV.INI");
    WritePrivateProfileStringA("Old", "b", nullptr, "C:\\KV.INI");
    WritePrivateProfileStringA("New", "c", "3", "C:\\KV.INI");
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "C:\\KV.INI");

    const winsim::MachineDiff diff = Since(before);
    EXPECT_TRUE(diff.filesChanged.empty()); // a profile file is compared by its keys
    ASSERT_EQ(diff.profileChanged.size(), 1u);
    EXPECT_EQ(diff.profileChanged[0].what, "C:\\KV.INI\nOld\na");
    ASSERT_EQ(diff.profileRemoved.size(), 1u);
    EXPECT_EQ(diff.profileRemoved[0].what, "C:\\KV.INI\nOld\nb");
    ASSERT_EQ(diff.profileAdded.size(), 2u); // the section, then its key
    const std::string human = Human(diff);
    EXPECT_NE(human.find("+ ini  C:\\KV.INI [New]\n"), std::string::npos) << human;
    EXPECT_NE(human.find("+ ini  C:\\KV.INI [New] c=3\n"), std::string::npos) << human;
    EXPECT_NE(human.find("~ ini  C:\\KV.INI [Old] a: 1 -> 2\n"), std::string::npos) << human;
}

TEST_P(MachineDiffTest, SpoolerObjects) {
    const winsim::MachineSnapshot before = winsim::TakeSnapshot();
    // A port named in WIN.INI [Ports] is a port of the spooler.
    ASSERT_TRUE(WriteProfileStringA("Ports", "KVTEST:", ""));
    WriteProfileStringA(nullptr, nullptr, nullptr);
    const winsim::MachineDiff diff = Since(before);
    ASSERT_EQ(diff.spoolerAdded.size(), 1u);
    EXPECT_NE(diff.spoolerAdded[0].find("\"KVTEST:\""), std::string::npos);
    std::ostringstream json;
    winsim::PrintDiffJson(diff, json);
    EXPECT_NE(json.str().find("\"spooler\": {\"added\": [\"port \\\"KVTEST:\\\""), std::string::npos)
        << json.str();
}

INSTANTIATE_EVERY_OS(MachineDiffTest);
