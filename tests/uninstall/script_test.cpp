#include "support/machine_fixture.h"

#include "pwuninst.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kScript[] = "C:\\KV\\UNINST.INI";

class ScriptTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        std::strcpy(ScriptPath, kScript);
    }
    void WriteScript(const std::string& text) { WriteHostFile(HostFile("KV/UNINST.INI"), text); }

    // The entries of a double-NUL list.
    static std::vector<std::string> Entries(const char* list) {
        std::vector<std::string> out;
        for (const char* p = list; *p; p += std::strlen(p) + 1)
            out.emplace_back(p);
        return out;
    }
    void SetScriptValue(DWORD type, const std::string& data) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, UN_INSTALL_KEY, &key), ERROR_SUCCESS);
        RegSetValueExA(key, UN_INSTALL_VALUE, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
        RegCloseKey(key);
    }
};
INSTANTIATE_EVERY_OS(ScriptTest);

TEST_P(ScriptTest, FindsTheScriptThroughTheInstallKey) {
    std::strcpy(ScriptPath, "stale");
    ReadScriptPath();
    EXPECT_STREQ(ScriptPath, "") << "no Install key";

    SetScriptValue(REG_SZ, "C:\\Program Files\\KV\\uninst.ini");
    ReadScriptPath();
    EXPECT_STREQ(ScriptPath, "C:\\Program Files\\KV\\uninst.ini");

    // A value that does not fit, or is no text, names no script.
    SetScriptValue(REG_SZ, "C:\\" + std::string(257, 'x'));
    ReadScriptPath();
    EXPECT_STREQ(ScriptPath, "");
    SetScriptValue(REG_SZ, "C:\\" + std::string(256, 'x'));
    ReadScriptPath();
    EXPECT_EQ(std::strlen(ScriptPath), 259u);
    SetScriptValue(REG_BINARY, "C:\\KV\\UNINST.INI");
    ReadScriptPath();
    EXPECT_STREQ(ScriptPath, "");
}

TEST_P(ScriptTest, ReplacesOnlyTheFirstPlaceholder) {
    WriteScript("[strings]\r\nkvdir=C:\\Program Files\\KV\r\nsys=C:\\WINDOWS\\SYSTEM\r\n");
    char text[128] = "%kvdir%\\KVDESK.EXE";
    ExpandPlaceholder(text, sizeof text);
    EXPECT_STREQ(text, "C:\\Program Files\\KV\\KVDESK.EXE");

    std::strcpy(text, "%sys%\\a;%kvdir%\\b");
    ExpandPlaceholder(text, sizeof text);
    EXPECT_STREQ(text, "C:\\WINDOWS\\SYSTEM\\a;%kvdir%\\b");

    // Names are looked up as the profile functions do: without regard to case.
    std::strcpy(text, "x%KVDIR%y");
    ExpandPlaceholder(text, sizeof text);
    EXPECT_STREQ(text, "xC:\\Program Files\\KVy");

    for (const char* same : {"no placeholder", "one % sign", "%unknown%\\a.dll", "100%%"}) {
        std::strcpy(text, same);
        ExpandPlaceholder(text, sizeof text);
        EXPECT_STREQ(text, same);
    }
}

TEST_P(ScriptTest, DropsAnExpansionThatDoesNotFitRatherThanCuttingIt) {
    WriteScript("[strings]\r\ndir=C:\\" + std::string(100, 'd') + "\r\n");
    char text[256];
    std::string tail(23, 't'); // 3 + 100 + 1 + 23 = 127 characters: fits
    std::strcpy(text, ("%dir%\\" + tail).c_str());
    ExpandPlaceholder(text, sizeof text);
    EXPECT_EQ(std::strlen(text), 127u);

    std::strcpy(text, ("%dir%\\" + tail + "x").c_str());
    ExpandPlaceholder(text, sizeof text);
    EXPECT_STREQ(text, "") << "a cut path would name another file";

    std::strcpy(text, "%dir%");
    ExpandPlaceholder(text, 50);
    EXPECT_STREQ(text, "") << "bounded by the capacity";
}

TEST_P(ScriptTest, ReadsEntryListsExpandedInOrder) {
    WriteScript("[strings]\r\nkv=C:\\KV\r\nlong=C:\\" + std::string(120, 'l') +
                "\r\n"
                "[Files]\r\n%kv%\\B.DLL=1\r\nC:\\KV\\A.EXE=0\r\n%long%\\too long.dll=1\r\n"
                "%kv%\\C.HLP=1\r\n");
    std::vector<char> list(UN_KEY_LIST_SIZE);
    ReadEntryList("Files", list.data(), UN_KEY_LIST_SIZE);
    EXPECT_EQ(Entries(list.data()),
              (std::vector<std::string>{"C:\\KV\\B.DLL", "C:\\KV\\A.EXE", "C:\\KV\\C.HLP"}));

    ReadEntryList("Nowhere", list.data(), UN_KEY_LIST_SIZE);
    EXPECT_EQ(Entries(list.data()), (std::vector<std::string>{NotThereSentinel}));
}

TEST_P(ScriptTest, EndsTheListOfAMissingSectionWithinTheBuffer) {
    WriteScript("[Files]\r\nC:\\KV\\A.DLL=1\r\n");
    // Room for the sentinel and its NUL, none for the NUL that ends the list.
    std::vector<char> list(sizeof NotThereSentinel, 'x');
    ReadEntryList("Nowhere", list.data(), static_cast<int>(list.size()));
    EXPECT_EQ(std::string(list.data(), 2), std::string("\0\0", 2)) << "an empty list";
}

TEST_P(ScriptTest, LeavesOutANameThatTheListCut) {
    WriteScript("[Files]\r\nC:\\KV\\AAAA.DLL=1\r\nC:\\KV\\BBBB.DLL=1\r\n");
    char list[24]; // holds the first name whole, the second only in part
    ReadEntryList("Files", list, sizeof list);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"C:\\KV\\AAAA.DLL"}));
}

TEST_P(ScriptTest, SplitsEntriesIntoTheirFields) {
    EntryFields fields;
    char *a, *b, *c, *d;
    // The last field keeps the rest of the text; blanks stay.
    ASSERT_TRUE(SplitEntry("WIN.INI,Ports, LPT9:", fields, &a, &b));
    EXPECT_STREQ(a, "WIN.INI");
    EXPECT_STREQ(b, "Ports, LPT9:");
    ASSERT_TRUE(SplitEntry("WIN.INI,Ports, LPT9:", fields, &a, &b, &c));
    EXPECT_STREQ(c, " LPT9:");
    ASSERT_TRUE(SplitEntry("-2147483646,SOFTWARE\\KV,Name,1", fields, &a, &b, &c, &d));
    EXPECT_STREQ(a, "-2147483646");
    EXPECT_STREQ(d, "1");

    // Too few commas for the form.
    EXPECT_FALSE(SplitEntry("WIN.INI", fields, &a, &b));
    EXPECT_EQ(a, nullptr);
    EXPECT_FALSE(SplitEntry("KV Tools,KV Desk.lnk", fields, &a, &b, &c));
    EXPECT_FALSE(SplitEntry("a,b,c", fields, &a, &b, &c, &d));

    // An Icon entry with a trailing comma has an empty third field.
    ASSERT_TRUE(SplitEntry("KV Tools,KV Desk,", fields, &a, &b, &c));
    EXPECT_STREQ(b, "KV Desk");
    EXPECT_STREQ(c, "");

    // An entry longer than the work buffer would be cut: it is refused.
    std::string longest = "a," + std::string(780, 'b');
    EXPECT_TRUE(SplitEntry(longest.c_str(), fields, &a, &b));
    EXPECT_FALSE(SplitEntry((longest + "b").c_str(), fields, &a, &b));
}

TEST_P(ScriptTest, NeverDeletesRootsOrTheWindowsAndSystemDirectories) {
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, sizeof sys);
    for (std::string path : {"C:\\", "C:", "c:\\", "C:\\WINDOWS", "c:\\windows\\",
                             "\\\\SERVER\\SHARE", "\\\\SERVER\\SHARE\\"})
        EXPECT_TRUE(IsProtectedPath(path.c_str())) << path;
    EXPECT_TRUE(IsProtectedPath(sys));
    EXPECT_TRUE(IsProtectedPath((std::string(sys) + "\\").c_str()));

    for (std::string path :
         {"C:\\WINDOWS\\KVDESK.EXE", "C:\\KV", "C:\\WINDOWS\\SYSTEMX", "\\\\SERVER\\SHARE\\KV", ""})
        EXPECT_FALSE(IsProtectedPath(path.c_str())) << path;
}

TEST_P(ScriptTest, KnowsTheWindowsDirectoryByItsShortForm) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Windows Folder", nullptr));
    winsim::SetSetting("machine", "windir", "C:\\Windows Folder");
    EXPECT_TRUE(IsProtectedPath("C:\\WINDOW~1"));
    EXPECT_TRUE(IsProtectedPath("c:\\windows folder\\"));
    EXPECT_FALSE(IsProtectedPath("C:\\WINDOWS"));
}

} // namespace
