#include "support/machine_fixture.h"

#include "shell/progroup.h"

#include <cstring>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kIni[] = "C:\\SETUP\\SETUP.INI";

// The group's shortcuts live in C:\MENU\Programs, the user's Programs folder on every system.
class ProgramGroupTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        HKEY hKey = nullptr;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kShellFolders, &hKey) == ERROR_SUCCESS) {
            RegDeleteValueA(hKey, "Common Programs");
            RegCloseKey(hKey);
        }
        SetFolder(HKEY_CURRENT_USER, kShellFolders, "Programs", "C:\\MENU\\Programs");
    }
    static void SetFolder(HKEY root, const char* key, const char* value, const char* folder) {
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyA(root, key, &hKey), ERROR_SUCCESS);
        RegSetValueExA(hKey, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                       static_cast<DWORD>(std::strlen(folder) + 1));
        RegCloseKey(hKey);
    }
    void WriteIni(const std::string& body) {
        WriteHostFile(HostFile("SETUP/SETUP.INI"), "[Progman Group]\r\n" + body);
    }
    // A shortcut below the Programs folder, holding its own name so that a move can be traced.
    void Shortcut(const std::string& relative, const std::string& text) {
        WriteHostFile(HostFile("MENU/Programs/" + relative), text);
    }
    std::string Read(const std::string& relative) {
        const std::string path = HostFile("MENU/Programs/" + relative);
        return fs::exists(path) ? ReadHostFile(path) : "<none>";
    }
};
INSTANTIATE_EVERY_OS(ProgramGroupTest);

TEST_P(ProgramGroupTest, MovesTheListedShortcutsIntoTheSubfolder) {
    Shortcut("Tools/Readme.lnk", "readme");
    Shortcut("Tools/Setup Log.lnk", "log");
    Shortcut("Tools/ Blank.lnk", "blank");
    Shortcut("Tools/Extras/Readme.lnk", "older readme");
    Shortcut("Tools/Manual.lnk", "manual");
    WriteIni("GroupName=Tools\r\nSubFolderItems=Extras,Readme,Setup Log, Blank,Missing\r\n"
             "KVSubFolderItems=Docs,Manual\r\n");
    EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 1);
    EXPECT_EQ(Read("Tools/Extras/Readme.lnk"), "readme") << "replaces one of the same name";
    EXPECT_EQ(Read("Tools/Extras/Setup Log.lnk"), "log");
    EXPECT_EQ(Read("Tools/Extras/ Blank.lnk"), "blank") << "blanks are kept";
    EXPECT_EQ(Read("Tools/Readme.lnk"), "<none>");
    EXPECT_EQ(Read("Tools/Manual.lnk"), "manual");

    EXPECT_EQ(DLL_MakeSubfolders(kIni, "KV", 0), 1);
    EXPECT_EQ(Read("Tools/Docs/Manual.lnk"), "manual");

    // A list with only its subfolder creates the folder and moves nothing.
    WriteIni("GroupName=Tools\r\nSubFolderItems=Empty\r\n");
    EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 1);
    EXPECT_TRUE(fs::is_directory(HostFile("MENU/Programs/Tools/Empty")));
    EXPECT_EQ(DLL_MakeSubfolders(kIni, "None", 0), 1) << "no list";
}

TEST_P(ProgramGroupTest, AShortcutThatCannotBeMovedFailsTheCallAndTheOthersMove) {
    Shortcut("Tools/Readme.lnk", "readme");
    Shortcut("Tools/Manual.lnk", "manual");
    WriteIni("GroupName=Tools\r\nSubFolderItems=Extras,Readme,Manual\r\n");
    winsim::FailCall("MoveFileA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 0);
    EXPECT_EQ(Read("Tools/Readme.lnk"), "readme");
    EXPECT_EQ(Read("Tools/Extras/Manual.lnk"), "manual");
    EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 1) << "the script's second try moves it";
    EXPECT_EQ(Read("Tools/Extras/Readme.lnk"), "readme");
}

TEST_P(ProgramGroupTest, NeverDeletesAShortcutThatWouldBeItsOwnDestination) {
    Shortcut("Tools/Readme.lnk", "readme");
    for (const char* list :
         {",Readme", ".,Readme", " . ,Readme", "..\\Tools,Readme", "Extras,..\\Tools\\Readme"}) {
        WriteIni(std::string("GroupName=Tools\r\nSubFolderItems=") + list + "\r\n");
        EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 1) << list;
        EXPECT_EQ(Read("Tools/Readme.lnk"), "readme") << list;
    }
}

TEST_P(ProgramGroupTest, OverlongNamesAreRefusedAndACutItemIsNotMoved) {
    // C:\MENU\Programs\ and a name of 235 characters fit 255; with \Extras they do not, and
    // with 240 characters the group folder itself does not.
    for (size_t length : {235, 240}) {
        const std::string group(length, 'G');
        Shortcut(group + "/Readme.lnk", "readme");
        WriteIni("GroupName=" + group + "\r\nSubFolderItems=Extras,Readme\r\n");
        EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 1);
        EXPECT_EQ(Read(group + "/Readme.lnk"), "readme") << length;
        EXPECT_FALSE(fs::exists(HostFile("MENU/Programs/" + group + "/Extras"))) << length;
    }

    // The list fills its 256-byte buffer: its last item reads as "Cutting" and is left alone.
    Shortcut("Tools/Cutting.lnk", "cut");
    Shortcut("Tools/Readme.lnk", "readme");
    const std::string list = "Extras,Readme," + std::string(233, 'P') + ",CuttingEdge";
    WriteIni("GroupName=Tools\r\nSubFolderItems=" + list + "\r\n");
    EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 1);
    EXPECT_EQ(Read("Tools/Extras/Readme.lnk"), "readme");
    EXPECT_EQ(Read("Tools/Cutting.lnk"), "cut");
}

TEST_P(ProgramGroupTest, AllUsersProgramsComeFirstThenTheUsersInTwoPlaces) {
    Shortcut("Tools/Readme.lnk", "user");
    WriteHostFile(HostFile("ALL/Programs/Tools/Readme.lnk"), "all");
    WriteIni("GroupName=Tools\r\nSubFolderItems=Extras,Readme\r\n");
    SetFolder(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs", "C:\\ALL\\Programs");
    EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 1);
    EXPECT_EQ(ReadHostFile(HostFile("ALL/Programs/Tools/Extras/Readme.lnk")), "all");
    EXPECT_EQ(Read("Tools/Readme.lnk"), "user") << "the user's folder is not consulted";

    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kShellFolders, &hKey), ERROR_SUCCESS);
    RegDeleteValueA(hKey, "Common Programs");
    RegCloseKey(hKey);
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kShellFolders, &hKey), ERROR_SUCCESS);
    RegDeleteValueA(hKey, "Programs");
    RegCloseKey(hKey);
    EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 0) << "no Programs folder";
    EXPECT_EQ(Read("Tools/Readme.lnk"), "user");

    SetFolder(HKEY_CURRENT_USER,
              "Software\\Microsoft\\Windows\\Current Version\\Explorer\\Shell Folders", "Programs",
              "C:\\MENU\\Programs");
    EXPECT_EQ(DLL_MakeSubfolders(kIni, "", 0), 1);
    EXPECT_EQ(Read("Tools/Extras/Readme.lnk"), "user");
}

// ---- the link finder -------------------------------------------------------------------------

class LinkFinderTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        for (const char* dir : {"KV/BIN", "OTHER", "WORK/SUB"})
            fs::create_directories(HostFile(dir));
        for (const char* link :
             {"WORK/a.lnk", "WORK/B.LNK", "WORK/notes.txt", "WORK/SUB/c.lnk", "KV/BIN/d.lnk"})
            WriteHostFile(HostFile(link), "link");
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\OTHER"));
    }
    void Place(const std::string& built, const std::string& relative) {
        fs::copy_file(std::string(PW_COMPANION_DIR) + "/" + built, HostFile(relative),
                      fs::copy_options::overwrite_existing);
    }
    static std::string CurrentDirectory() {
        char dir[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof dir, dir);
        return dir;
    }
};
INSTANTIATE_EVERY_OS(LinkFinderTest);

TEST_P(LinkFinderTest, RunsTheFinderInTheWorkFolderWithBothValuesInOrder) {
    Place("pwlink32.dll", "KV/BIN/pwlink32.dll");
    // The stand-in counts the shortcuts there (below too when the first value is set), at most
    // the second value of them.
    EXPECT_EQ(DLL_FindLinks(0, 0, "C:\\KV\\BIN", "C:\\WORK"), 2);
    EXPECT_EQ(DLL_FindLinks(1, 0, "C:\\KV\\BIN\\", "C:\\WORK\\"), 3);
    EXPECT_EQ(DLL_FindLinks(0, 1, "C:\\KV\\BIN", "C:\\WORK"), 1);
    EXPECT_EQ(CurrentDirectory(), "C:\\OTHER");
    EXPECT_EQ(GetModuleHandleA("pwlink32.dll"), nullptr) << "released after the call";

    // A work folder that does not fit or cannot be entered leaves the library folder current.
    const std::string longWork = "C:\\" + std::string(257, 'W');
    EXPECT_EQ(DLL_FindLinks(0, 0, "C:\\KV\\BIN", longWork.c_str()), 1);
    EXPECT_EQ(DLL_FindLinks(0, 0, "C:\\KV\\BIN", "C:\\NOWHERE"), 1);
    EXPECT_EQ(DLL_FindLinks(0, 0, "C:\\KV\\BIN", nullptr), 1);
    EXPECT_EQ(CurrentDirectory(), "C:\\OTHER");

    // A drive's root keeps its backslash: "C:" alone would be C's current directory.
    Place("pwlink32.dll", "pwlink32.dll");
    EXPECT_EQ(DLL_FindLinks(0, 0, "C:\\", "C:\\WORK"), 2);
}

TEST_P(LinkFinderTest, NoLibraryOrNoEntryGivesZeroAndTheDirectoryComesBack) {
    Place("pwlink32.dll", "OTHER/pwlink32.dll");
    EXPECT_EQ(DLL_FindLinks(0, 0, "C:\\KV\\BIN", "C:\\WORK"), 0) << "not in the library folder";
    EXPECT_EQ(DLL_FindLinks(0, 0, "C:\\NOWHERE", "C:\\WORK"), 0);
    const std::string longLibrary = "C:\\" + std::string(257, 'L'); // 260 characters
    EXPECT_EQ(DLL_FindLinks(0, 0, longLibrary.c_str(), "C:\\WORK"), 0);
    EXPECT_EQ(DLL_FindLinks(0, 0, nullptr, "C:\\WORK"), 0);
    Place("kvpdscvr.dll", "KV/BIN/pwlink32.dll");
    EXPECT_EQ(DLL_FindLinks(0, 0, "C:\\KV\\BIN", "C:\\WORK"), 0) << "no _ZRI_FindLinks@8";
    Place("plain/pwlink32.dll", "KV/BIN/pwlink32.dll");
    EXPECT_EQ(DLL_FindLinks(0, 0, "C:\\KV\\BIN", "C:\\WORK"), 0) << "the plain name is not sought";
    EXPECT_EQ(GetModuleHandleA("pwlink32.dll"), nullptr);
    EXPECT_EQ(CurrentDirectory(), "C:\\OTHER");
}

} // namespace
