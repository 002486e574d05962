#include "removal_fixture.h"

#include <shlobj.h>
#include <winspool.h>

#include <algorithm>

namespace {

using Strings = std::vector<std::string>;

class RemoveTest : public RemovalTest {
  protected:
    // A script with one component "core" whose Files section lists `files` (key=value lines).
    void WriteFilesScript(const std::string& files) {
        WriteScript("[Components]\r\ncore=1\r\n[core]\r\nTitle=Core\r\nFiles=CoreFiles\r\n"
                    "[CoreFiles]\r\n" +
                    files + "[strings]\r\nsys=" + SystemDir() + "\r\n");
    }
    int ComponentValue(const char* name) {
        return static_cast<int>(GetPrivateProfileIntA("Components", name, -1, ScriptPath));
    }
    // The number of subkeys of a key below a root; 0 when it cannot be opened.
    static unsigned long SubkeyCount(HKEY root, const char* subkey) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
        DWORD count = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return count;
    }
    static bool KeyExists(const std::string& key) {
        return winsim::KeyExists("HKEY_LOCAL_MACHINE\\" + key);
    }
};
INSTANTIATE_EVERY_OS(RemoveTest);

TEST_P(RemoveTest, SharedFilesGoOnlyWhenTheirCountReachesZero) {
    const std::string sys = SystemDir();
    for (const char* f : {"SHARED3.DLL", "SHARED1.DLL", "NOCOUNT.DLL", "ZERO.DLL"})
        Put(sys + "\\" + f);
    Put("C:\\KV\\OWN.DLL");
    SetCount(sys + "\\SHARED3.DLL", 3);
    SetCount(sys + "\\SHARED1.DLL", 1);
    SetCount(sys + "\\ZERO.DLL", 0);
    SetCount("C:\\KV\\OWN.DLL", 1);
    WriteFilesScript("C:\\KV\\OWN.DLL=1\r\n%sys%\\SHARED3.DLL=0\r\n%sys%\\SHARED1.DLL=0\r\n"
                     "%sys%\\NOCOUNT.DLL=0\r\n%sys%\\ZERO.DLL=0\r\n");

    RemoveComponent("Components", "core", 1);

    EXPECT_FALSE(Exists("C:\\KV\\OWN.DLL")) << "the component's own file goes in any case";
    EXPECT_EQ(ReadCount("C:\\KV\\OWN.DLL"), 1u) << "and its count is not consulted";
    EXPECT_TRUE(Exists(sys + "\\SHARED3.DLL"));
    EXPECT_EQ(ReadCount(sys + "\\SHARED3.DLL"), 2u);
    EXPECT_FALSE(Exists(sys + "\\SHARED1.DLL"));
    EXPECT_EQ(ReadCount(sys + "\\SHARED1.DLL"), 0xFFFFFFFFu);
    EXPECT_TRUE(Exists(sys + "\\NOCOUNT.DLL")) << "no count: another program may need it";
    EXPECT_TRUE(Exists(sys + "\\ZERO.DLL")) << "a count already at 0 ends at -1, not 0";
    EXPECT_EQ(ReadCount(sys + "\\ZERO.DLL"), 0xFFFFFFFFu);
    EXPECT_EQ(ComponentValue("core"), 0);
    EXPECT_TRUE(Exists("C:\\KV")) << "the folder still holds the script";
}

TEST_P(RemoveTest, DroppedCountsTakeSharedFilesWhateverTheirCounts) {
    const std::string sys = SystemDir();
    for (const char* f : {"SHARED3.DLL", "NOCOUNT.DLL"})
        Put(sys + "\\" + f);
    SetCount(sys + "\\SHARED3.DLL", 3);
    WriteFilesScript("%sys%\\SHARED3.DLL=0\r\n%sys%\\NOCOUNT.DLL=0\r\n");

    RemoveComponent("Components", "core", 0);

    EXPECT_FALSE(Exists(sys + "\\SHARED3.DLL"));
    EXPECT_FALSE(Exists(sys + "\\NOCOUNT.DLL"));
    EXPECT_EQ(ReadCount(sys + "\\SHARED3.DLL"), 0xFFFFFFFFu);
    EXPECT_TRUE(Exists(sys)) << "the system directory is never pruned";
}

TEST_P(RemoveTest, TheLastCountGoesButTheSharedDllsKeyStays) {
    const std::string sys = SystemDir();
    Put(sys + "\\ONLY.DLL");
    SetCount(sys + "\\ONLY.DLL", 1);
    WriteFilesScript("%sys%\\ONLY.DLL=0\r\n");

    RemoveComponent("Components", "core", 1);

    EXPECT_FALSE(Exists(sys + "\\ONLY.DLL"));
    // A later setup raises counts only in a key that exists.
    EXPECT_TRUE(winsim::KeyExists(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"));
}

TEST_P(RemoveTest, DeskComponentClosesTheUtilityWindowsInOrder) {
    winsim::OpenForeignWindow("PWCopyUtilAppClass", "Copy Utility");
    winsim::OpenForeignWindow("pwzriFrameOrView", "Viewer");
    winsim::OpenForeignWindow("PW_DocumentAssistantClass", "Document Assistant");
    winsim::OpenForeignWindow("NotepadClass", "Untitled");
    WriteScript("[Components]\r\ncore=1\r\nDesk=1\r\n[core]\r\nTitle=Core\r\n[Desk]\r\n"
                "Title=Desktop\r\n");

    RemoveComponent("Components", "core", 1);
    EXPECT_TRUE(winsim::ClosedWindows().empty()) << "only the desktop component closes them";

    RemoveComponent("Components", "Desk", 1);
    EXPECT_EQ(winsim::ClosedWindows(),
              (Strings{"PW_DocumentAssistantClass", "pwzriFrameOrView", "PWCopyUtilAppClass"}));
    EXPECT_EQ(winsim::ForeignWindows(), Strings{"NotepadClass"});
    EXPECT_EQ(ComponentValue("Desk"), 0);
}

TEST_P(RemoveTest, PruningStopsAtTheDesktopAndAtTheFirstFolderThatStillHoldsSomething) {
    const std::string desktop = Desktop();
    ASSERT_FALSE(desktop.empty());
    Put(desktop + "\\KV Tools\\Read Me.txt");
    Put("C:\\Program Files\\KV\\Bin\\Deep\\A.DLL");
    Put("C:\\Program Files\\KV\\KEEP.TXT");
    WriteFilesScript(desktop +
                     "\\KV Tools\\Read Me.txt=1\r\nC:\\Program Files\\KV\\Bin\\Deep\\A.DLL=1\r\n");

    RemoveComponent("Components", "core", 1);

    EXPECT_FALSE(Exists(desktop + "\\KV Tools"));
    EXPECT_TRUE(Exists(desktop)) << "an empty desktop folder stays";
    EXPECT_FALSE(Exists("C:\\Program Files\\KV\\Bin"));
    EXPECT_TRUE(Exists("C:\\Program Files\\KV\\KEEP.TXT"));
    EXPECT_EQ(RestartNeeded, 0);
}

TEST_P(RemoveTest, AFolderStillInUseStopsPruningAndGoesAtTheNextStartWithThoseAbove) {
    Put("C:\\KVAPP\\BIN\\DEEP\\A.DLL");
    winsim::MarkInUse("C:\\KVAPP\\BIN");
    WriteFilesScript("C:\\KVAPP\\BIN\\DEEP\\A.DLL=1\r\n");
    const uint32_t before = winsim::TickCount();

    RemoveComponent("Components", "core", 1);

    EXPECT_FALSE(Exists("C:\\KVAPP\\BIN\\DEEP"));
    EXPECT_TRUE(Exists("C:\\KVAPP\\BIN"));
    EXPECT_GE(winsim::TickCount() - before, 5000u) << "five tries a second apart";
    EXPECT_EQ(RestartNeeded, 1);
    if (Nt()) {
        EXPECT_EQ(PendingDeletions(), (Strings{"C:\\KVAPP\\BIN", "C:\\KVAPP"}));
    } else {
        EXPECT_EQ(Lines(WindowsDir() + "\\DEL4720.BAT"),
                  (Strings{"@ECHO OFF", "rd C:\\KVAPP\\BIN", "rd C:\\KVAPP"}));
    }
}

TEST_P(RemoveTest, NeverRemovesADriveRootOrTheWindowsOrSystemDirectory) {
    const std::string sys = SystemDir();
    Put(sys + "\\KVLMON.DLL");
    winsim::MarkInUse(sys + "\\KVLMON.DLL");
    WriteFilesScript("C:\\=1\r\nC:\\WINDOWS=1\r\n%sys%=1\r\n%sys%\\=1\r\n%sys%\\KVLMON.DLL=1\r\n");

    RemoveComponent("Components", "core", 0);

    EXPECT_TRUE(Exists(sys + "\\KVLMON.DLL")) << "in use";
    // Only the file itself is deferred: its folder, the system directory, is not.
    if (Nt()) {
        EXPECT_EQ(PendingDeletions(), Strings{sys + "\\KVLMON.DLL"});
    } else {
        EXPECT_EQ(Lines(WindowsDir() + "\\WININIT.INI"),
                  (Strings{"[rename]", "NUL=" + sys + "\\KVLMON.DLL"}));
        EXPECT_FALSE(Exists(WindowsDir() + "\\DEL4720.BAT"));
    }
    for (const char* kept : {"C:\\", "C:\\WINDOWS"}) {
        RestartNeeded = 0;
        EXPECT_EQ(ScheduleDelete(kept, 1), 1) << kept;
        EXPECT_EQ(RestartNeeded, 0);
        EXPECT_EQ(RemoveEmptyDirectory(kept), 0);
    }

    // The shell's own folders stay even when the last group in them goes.
    const std::string programs = Programs();
    for (const std::string& sub : {std::string("\\StartUp"), std::string("\\Startup")})
        RemoveDirectoryA((programs + sub).c_str());
    Put(programs + "\\KV\\KV.lnk");
    char shortcut[UN_PATH_SIZE];
    std::strcpy(shortcut, (programs + "\\KV\\KV.lnk").c_str());
    RemoveFile(shortcut);
    EXPECT_FALSE(Exists(programs + "\\KV"));
    EXPECT_TRUE(Exists(programs));
}

TEST_P(RemoveTest, KeepsTheSpoolersFoldersWhenTheProductsDriverWasAllTheyHeld) {
    // A fresh NT keeps its version-2 drivers in an empty folder below the driver directory; on
    // 95/98 the driver directory is the system directory itself.
    char drivers[MAX_PATH];
    DWORD needed = 0;
    ASSERT_TRUE(GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(drivers),
                                           sizeof drivers, &needed));
    const std::string version = std::string(drivers) + (Nt() ? "\\2" : "");
    Put(version + "\\KV4720.DLL");
    WriteFilesScript(version + "\\KV4720.DLL=1\r\n");

    RemoveComponent("Components", "core", 1);

    EXPECT_FALSE(Exists(version + "\\KV4720.DLL"));
    EXPECT_TRUE(Exists(version));
    EXPECT_TRUE(Exists(drivers));
}

TEST_P(RemoveTest, HelpFilesTakeTheirIndexAndProgramsTheirStartupEntries) {
    Put("C:\\KV\\KV.HLP");
    Put("C:\\KV\\KV.GID");
    Put("C:\\KV\\KVDESK.EXE");
    HKEY key = nullptr;
    if (Nt()) {
        ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER,
                              "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", &key),
                  ERROR_SUCCESS);
        const char load[] = "C:\\MY\\MYKVDESK.EXE C:\\KV\\KVDESK.EXE,OTHER.EXE";
        RegSetValueExA(key, "load", 0, REG_SZ, reinterpret_cast<const BYTE*>(load), sizeof load);
    } else {
        ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\Run", &key),
                  ERROR_SUCCESS);
        for (const auto& v :
             {std::pair<const char*, const char*>{"KV Desk", "C:\\KV\\KVDESK.EXE /min"},
              {"Other", "C:\\MY\\MYKVDESK.EXE"},
              {"Again", "kvdesk.exe"}})
            RegSetValueExA(key, v.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.second),
                           static_cast<DWORD>(std::strlen(v.second) + 1));
    }
    RegCloseKey(key);
    WriteFilesScript("C:\\KV\\KV.HLP=1\r\nC:\\KV\\KVDESK.EXE=1\r\n");

    RemoveComponent("Components", "core", 1);

    EXPECT_FALSE(Exists("C:\\KV\\KV.HLP"));
    EXPECT_FALSE(Exists("C:\\KV\\KV.GID"));
    EXPECT_FALSE(Exists("C:\\KV\\KVDESK.EXE"));
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (Nt()) {
        ASSERT_TRUE(winsim::ReadValue(
            "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "load",
            &type, &data));
        EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), "C:\\MY\\MYKVDESK.EXE OTHER.EXE")
            << "the whole word goes, a longer name that ends alike stays";
    } else {
        const std::string run =
            "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
        EXPECT_FALSE(winsim::ReadValue(run, "KV Desk", &type, &data));
        EXPECT_FALSE(winsim::ReadValue(run, "Again", &type, &data));
        EXPECT_TRUE(winsim::ReadValue(run, "Other", &type, &data));
    }
}

TEST_P(RemoveTest, StartupEntriesTakeQuotedPathsAndCommandsThatFillTheirBuffer) {
    HKEY key = nullptr;
    const auto set = [&](const char* name, const std::string& text, bool terminated = true) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + (terminated ? 1 : 0)));
    };
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (Nt()) {
        const std::string windows =
            "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
        ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, windows.c_str(), &key), ERROR_SUCCESS);
        set("load", "\"C:\\Program Files\\KV\\KVDESK.EXE\" OTHER.EXE");
        RemoveStartupEntries("C:\\Program Files\\KV\\KVDESK.EXE");
        ASSERT_TRUE(winsim::ReadValue("HKEY_CURRENT_USER\\" + windows, "load", &type, &data));
        EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), "OTHER.EXE")
            << "the quoted path goes whole, the next program stays";

        // 256 bytes written with no terminator: NT stores them ended, so they no longer fit
        // the buffer and are left as they are.
        const std::string full = "KVDESK.EXE " + std::string(245, 'x');
        set("load", full, false);
        RemoveStartupEntries("C:\\KV\\KVDESK.EXE");
        ASSERT_TRUE(winsim::ReadValue("HKEY_CURRENT_USER\\" + windows, "load", &type, &data));
        EXPECT_EQ(std::string(data.begin(), data.end()), full + '\0');
    } else {
        const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
        ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, run.c_str(), &key), ERROR_SUCCESS);
        const std::string longest = "C:\\KV\\KVDESK.EXE " + std::string(238, 'x');
        ASSERT_EQ(longest.size(), 255u);
        set("Longest", longest);
        set("TooLong", longest + "y");
        RemoveStartupEntries("C:\\KV\\KVDESK.EXE");
        EXPECT_FALSE(winsim::ReadValue("HKEY_LOCAL_MACHINE\\" + run, "Longest", &type, &data))
            << "255 characters and the terminator fit the 256-byte buffer";
        EXPECT_TRUE(winsim::ReadValue("HKEY_LOCAL_MACHINE\\" + run, "TooLong", &type, &data));
    }
    RegCloseKey(key);
}

TEST_P(RemoveTest, ShortcutsPruneTheirGroupOnlyWhenAsked) {
    const std::string programs = Programs();
    const std::string desktop = Desktop();
    Put(programs + "\\KV Pellora\\Uninstall.lnk");
    Put(programs + "\\KV Tools\\Copy Utility.lnk");
    Put(programs + "\\KV Tools\\Broken.lnk");
    Put(desktop + "\\KV Desk.lnk");
    WriteScript("[Components]\r\ncore=1\r\n[core]\r\nIcon=Icons\r\n[Icons]\r\n"
                "KV Pellora,Uninstall,=0\r\nKV Tools,Copy Utility,=1\r\nDesktop,KV Desk,=1\r\n"
                "KV Tools,Broken=1\r\n");

    RemoveComponent("Components", "core", 1);

    EXPECT_FALSE(Exists(programs + "\\KV Pellora\\Uninstall.lnk"));
    EXPECT_TRUE(Exists(programs + "\\KV Pellora")) << "prune 0 leaves the emptied group";
    EXPECT_FALSE(Exists(programs + "\\KV Tools\\Copy Utility.lnk"));
    EXPECT_TRUE(Exists(programs + "\\KV Tools\\Broken.lnk")) << "an entry needs its third field";
    EXPECT_FALSE(Exists(desktop + "\\KV Desk.lnk"));
    EXPECT_TRUE(Exists(desktop));

    Strings told;
    for (const winsim::ShellNotification& n : winsim::ShellNotifications())
        if (n.event == SHCNE_UPDATEDIR && n.flags == SHCNF_PATHA) told.push_back(n.item1);
    EXPECT_EQ(told,
              (Strings{programs + "\\KV Pellora\\Uninstall.lnk",
                       programs + "\\KV Tools\\Copy Utility.lnk", desktop + "\\KV Desk.lnk"}));
}

TEST_P(RemoveTest, RegistryAndProfileEntriesGoAndComeInTheirOrder) {
    const char kv[] = "SOFTWARE\\Norvex\\KVP";
    HKEY key = nullptr;
    for (const char* sub : {"Two", "One", "Tree\\Sub\\Deeper"}) {
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, (std::string(kv) + "\\" + sub).c_str(), &key),
                  ERROR_SUCCESS);
        for (const char* name : {"A", "B"})
            if (std::strcmp(sub, "One") != 0 || std::strcmp(name, "A") == 0)
                RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
        RegCloseKey(key);
    }
    Put("C:\\KV\\TEST.INI", "[Last]\r\nKey=1\r\n[Keep]\r\nA=1\r\nB=2\r\n[Whole]\r\nX=1\r\n");
    WriteScript(
        "[Components]\r\nreg=1\r\n[reg]\r\nRegdel=RegDel\r\nRegadd=RegAdd\r\n"
        "Inidel=IniDel\r\n"
        "[RegDel]\r\n"
        "-2147483646,SOFTWARE\\Norvex\\KVP\\Two,A=\r\n"
        "-2147483646,SOFTWARE\\Norvex\\KVP\\One,A=\r\n"
        "-2147483646,SOFTWARE\\Norvex\\KVP\\Tree=\r\n"
        "-2147483646,=\r\n"
        "[RegAdd]\r\n"
        "-2147483646,SOFTWARE\\Norvex\\New\\Deep\\Key,Name,1=hello\r\n"
        "-2147483646,SOFTWARE\\Norvex\\KVP\\Tree\\Fresh,Name,1=again\r\n"
        "-2147483646,Single,Name,1=x\r\n"
        "[IniDel]\r\n"
        "C:\\KV\\TEST.INI,Last,Key=\r\nC:\\KV\\TEST.INI,Keep,A=\r\nC:\\KV\\TEST.INI,Whole=\r\n");

    RemoveComponent("Components", "reg", 1);

    uint32_t type = 0;
    std::vector<uint8_t> data;
    const std::string two = "HKEY_LOCAL_MACHINE\\" + std::string(kv) + "\\Two";
    EXPECT_FALSE(winsim::ReadValue(two, "A", &type, &data));
    EXPECT_TRUE(winsim::ReadValue(two, "B", &type, &data)) << "B is left, and so is its key";
    EXPECT_FALSE(KeyExists(std::string(kv) + "\\One")) << "it held only that value";
    EXPECT_TRUE(KeyExists(kv)) << "the keys above are not touched";
    EXPECT_FALSE(KeyExists(std::string(kv) + "\\Tree\\Sub"));
    EXPECT_TRUE(KeyExists("SOFTWARE\\Microsoft")) << "an empty path never names the root";
    ASSERT_TRUE(winsim::ReadValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\New\\Deep\\Key", "Name",
                                  &type, &data));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
    EXPECT_EQ(std::string(data.begin(), data.end()),
              GetParam() == winsim::Os::Nt4 ? std::string("hello", 6) : "hello")
        << "written without its NUL, which NT adds";
    EXPECT_TRUE(winsim::ReadValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Tree\\Fresh", "Name",
                                  &type, &data))
        << "added after the deletions";
    EXPECT_FALSE(KeyExists("Single")) << "a single level below the root is not created";
    EXPECT_EQ(Read("C:\\KV\\TEST.INI").find("[Last]"), std::string::npos);
    EXPECT_EQ(Read("C:\\KV\\TEST.INI").find("[Whole]"), std::string::npos);
    char b[8];
    GetPrivateProfileStringA("Keep", "B", "", b, sizeof b, "C:\\KV\\TEST.INI");
    EXPECT_STREQ(b, "2");
    GetPrivateProfileStringA("Keep", "A", "gone", b, sizeof b, "C:\\KV\\TEST.INI");
    EXPECT_STREQ(b, "gone");
}

TEST_P(RemoveTest, NoSpellingOfARootOrASystemKeyIsEverDeleted) {
    HKEY key = nullptr;
    for (const char* sub : {"SOFTWARE\\Norvex\\KVP\\Gone", "SOFTWARE\\Norvex\\KVP\\Kept"}) {
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, sub, &key), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                            &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "KVDesk", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Norvex", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    const unsigned long machineKeys = SubkeyCount(HKEY_LOCAL_MACHINE, "");
    const unsigned long userKeys = SubkeyCount(HKEY_CURRENT_USER, "");

    // A placeholder that expands to nothing leaves "\", which Windows 95/98 read as the root.
    WriteScript("[strings]\r\nK=\r\n[Components]\r\nreg=1\r\n[reg]\r\nRegdel=RegDel\r\n"
                "[RegDel]\r\n"
                "-2147483646,%K%\\=\r\n"
                "-2147483647,%K%\\=\r\n"
                "-2147483646,\\=\r\n"
                "-2147483646, \\\\ =\r\n"
                "-2147483646,software=\r\n"
                "-2147483646,\\SYSTEM\\=\r\n"
                "-2147483647,Software =\r\n"
                "-2147483646,SOFTWARE\\\\MICROSOFT\\=\r\n"
                "-2147483646,System\\CurrentControlSet\\Services\\Class=\r\n"
                "-2147483646,SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run,KVDesk=\r\n"
                "-2147483646,SOFTWARE\\Norvex\\KVP\\Gone=\r\n");

    RemoveComponent("Components", "reg", 1);

    EXPECT_EQ(SubkeyCount(HKEY_LOCAL_MACHINE, ""), machineKeys);
    EXPECT_EQ(SubkeyCount(HKEY_CURRENT_USER, ""), userKeys);
    for (const char* kept : {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "SYSTEM",
                             "SOFTWARE\\Norvex\\KVP\\Kept"})
        EXPECT_TRUE(KeyExists(kept)) << kept;
    EXPECT_TRUE(winsim::KeyExists("HKEY_CURRENT_USER\\Software\\Norvex"));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Norvex\\KVP\\Gone")) << "a product's own key still goes";
    uint32_t type = 0;
    std::vector<uint8_t> data;
    EXPECT_FALSE(winsim::ReadValue(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "KVDesk", &type,
        &data));
    EXPECT_TRUE(KeyExists("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"))
        << "the value goes; the system's key it leaves empty stays";

    EXPECT_EQ(DeleteRegTree(HKEY_CLASSES_ROOT, "CLSID"), 0);
    EXPECT_EQ(CreateRegPath(HKEY_LOCAL_MACHINE, " \\ "), nullptr) << "never the root itself";
}

TEST_P(RemoveTest, CreatesEveryMissingLevelBelowTheFirst) {
    HKEY key = CreateRegPath(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV\\A\\B");
    ASSERT_NE(key, nullptr);
    RegCloseKey(key);
    EXPECT_TRUE(KeyExists("SOFTWARE\\KV\\A\\B"));
    EXPECT_EQ(CreateRegPath(HKEY_LOCAL_MACHINE, "NewRoot\\A"), nullptr)
        << "the first level is never created";
    EXPECT_EQ(CreateRegPath(HKEY_LOCAL_MACHINE, "\\Lead"), nullptr);
    EXPECT_FALSE(KeyExists("NewRoot"));
    EXPECT_EQ(DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV"), 1);
    EXPECT_EQ(DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV"), 0);
}

} // namespace
