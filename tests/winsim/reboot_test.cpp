// The next start of Windows: NT's pending operations, WININIT.INI on 95/98, RunOnce and the
// batch files it runs.
#include "support/machine_fixture.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class RebootTest : public MachineTest {
  protected:
    void MakeFile(const std::string& path, const std::string& text = "x") {
        WriteHostFile(HostFile(ToHost(path)), text);
    }
    void MakeFolder(const std::string& path) {
        ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    }
    static bool Exists(const std::string& path) {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    static std::string ToHost(std::string path) { // "C:\KV\A.DLL" -> "KV/A.DLL"
        path = path.substr(3);
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }
    static bool Has(const std::vector<std::string>& report, const std::string& line) {
        return std::find(report.begin(), report.end(), line) != report.end();
    }
    void SetRunOnce(const char* name, const std::string& command) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE,
                                "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", &key),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>(command.size() + 1));
        RegCloseKey(key);
    }

    bool RunOnceHas(const char* name) {
        return winsim::ReadValue(
            "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", name,
            &m_type, &m_data);
    }
    uint32_t m_type = 0;
    std::vector<uint8_t> m_data;
};

TEST_F(RebootTest, NtCarriesOutPendingOperationsInTheirOrder) {
    NewMachine(winsim::Os::Nt4);
    MakeFolder("C:\\KV");
    MakeFile("C:\\KV\\KVDESK.EXE");
    MakeFile("C:\\KV\\OLD.DLL");
    MakeFile("C:\\KV\\NEW.DLL");
    winsim::MarkInUse("C:\\KV\\KVDESK.EXE");
    winsim::MarkInUse("C:\\KV");
    // The folder can go only after the file in it: the order is what makes it work.
    ASSERT_TRUE(MoveFileExA("C:\\KV\\KVDESK.EXE", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("C:\\KV\\NEW.DLL", "C:\\KV\\OLD.DLL",
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(MoveFileExA("C:\\KV\\OLD.DLL", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("C:\\KV", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("C:\\MISSING.TXT", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));

    std::vector<std::string> report = winsim::Reboot();
    std::vector<std::string> want = {"free: C:\\KV\\KVDESK.EXE",
                                     "free: C:\\KV",
                                     "pending: deleted C:\\KV\\KVDESK.EXE",
                                     "pending: renamed C:\\KV\\NEW.DLL to C:\\KV\\OLD.DLL",
                                     "pending: deleted C:\\KV\\OLD.DLL",
                                     "pending: deleted C:\\KV",
                                     "pending: not deleted C:\\MISSING.TXT: file not found"};
    EXPECT_EQ(report, want);
    EXPECT_FALSE(Exists("C:\\KV"));
    uint32_t type;
    std::vector<uint8_t> data;
    EXPECT_FALSE(
        winsim::ReadValue("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                          "PendingFileRenameOperations", &type, &data));
    EXPECT_EQ(winsim::GetSetting("in-use", "C:\\KV", "free"), "free");
    EXPECT_TRUE(winsim::Reboot().empty()); // nothing is left for a second start
}

TEST_F(RebootTest, Windows9xCarriesOutWininitThenKeepsItAsBak) {
    NewMachine(winsim::Os::Win98);
    MakeFolder("C:\\KV");
    MakeFile("C:\\KV\\A.DLL");
    MakeFile("C:\\KV\\B.DLL");
    MakeFile("C:\\KV\\C.NEW", "new");
    MakeFile("C:\\WINDOWS\\WININIT.BAK", "old");
    MakeFile("C:\\WINDOWS\\WININIT.INI", "[rename]\r\nNUL=C:\\KV\\A.DLL\r\nNUL=C:\\KV\\B.DLL\r\n"
                                         "C:\\KV\\C.DLL=C:\\KV\\C.NEW\r\nNUL=C:\\KV\r\n");
    std::vector<std::string> report = winsim::Reboot();
    std::vector<std::string> want = {
        "wininit: deleted C:\\KV\\A.DLL", "wininit: deleted C:\\KV\\B.DLL",
        "wininit: moved C:\\KV\\C.NEW to C:\\KV\\C.DLL", "wininit: not deleted C:\\KV: a folder",
        "wininit: WININIT.INI is now WININIT.BAK"};
    EXPECT_EQ(report, want);
    EXPECT_FALSE(Exists("C:\\KV\\A.DLL"));
    EXPECT_EQ(ReadHostFile(HostFile("KV/C.DLL")), "new");
    EXPECT_FALSE(Exists("C:\\WINDOWS\\WININIT.INI"));
    EXPECT_NE(ReadHostFile(HostFile("WINDOWS/WININIT.BAK")).find("NUL=C:\\KV\\A.DLL"),
              std::string::npos);
}

TEST_F(RebootTest, RunOnceBatchRunsItsLinesAndReportsWhatItDoesNotKnow) {
    NewMachine(winsim::Os::Win95);
    MakeFolder("C:\\KV");
    MakeFolder("C:\\KV\\EMPTY");
    MakeFolder("C:\\FULL");
    MakeFile("C:\\FULL\\KEEP.TXT");
    MakeFile("C:\\WINDOWS\\DEL4720.PIF", "pif");
    MakeFile("C:\\WINDOWS\\DEL4720.BAT", "@ECHO OFF\r\n"
                                         "rd C:\\KV\\EMPTY\r\n"
                                         "rd C:\\KV\r\n"
                                         "rd C:\\FULL\r\n"
                                         "rd C:\\Program Files\\KV\r\n"
                                         "format c:\r\n"
                                         "rd C:\\KV & del C:\\AUTOEXEC.BAT\r\n"
                                         "Del C:\\WINDOWS\\DEL4720.PIF\r\n");
    SetRunOnce("DEL4720.BAT", "C:\\WINDOWS\\DEL4720.BAT");
    std::vector<std::string> report = winsim::Reboot();
    const std::string at = "batch C:\\WINDOWS\\DEL4720.BAT line ";
    std::vector<std::string> want = {
        "runonce DEL4720.BAT: C:\\WINDOWS\\DEL4720.BAT",
        at + "2: removed C:\\KV\\EMPTY",
        at + "3: removed C:\\KV",
        at + "4: not removed C:\\FULL: folder not empty",
        at + "5: too many parameters: rd C:\\Program Files\\KV",
        at + "6: unknown command, not carried out: format c:",
        at + "7: not carried out (command syntax winsim does not run): rd C:\\KV & del "
             "C:\\AUTOEXEC.BAT",
        at + "8: deleted C:\\WINDOWS\\DEL4720.PIF"};
    EXPECT_EQ(report, want);
    EXPECT_FALSE(Exists("C:\\KV"));
    EXPECT_TRUE(Exists("C:\\FULL\\KEEP.TXT"));
    EXPECT_TRUE(Exists("C:\\WINDOWS\\DEL4720.BAT")); // the batch does not delete itself
    EXPECT_FALSE(RunOnceHas("DEL4720.BAT"));
}

TEST_F(RebootTest, RunOnceThroughTheCommandInterpreterAndOtherPrograms) {
    NewMachine(winsim::Os::Nt4);
    MakeFolder("C:\\KV");
    MakeFile("C:\\WINDOWS\\DEL4720.BAT", "@ECHO OFF\r\nrd C:\\KV\r\n");
    SetRunOnce("DEL4720.BAT", "C:\\WINDOWS\\SYSTEM32\\cmd.exe NUL /C C:\\WINDOWS\\DEL4720.BAT");
    SetRunOnce("Other", "C:\\KV\\SETUP.EXE /finish");
    std::vector<std::string> report = winsim::Reboot();
    EXPECT_TRUE(Has(report, "batch C:\\WINDOWS\\DEL4720.BAT line 2: removed C:\\KV"))
        << ::testing::PrintToString(report);
    EXPECT_TRUE(Has(report, "runonce Other: not run (winsim runs batch files only)"));
    EXPECT_FALSE(RunOnceHas("Other"));
}

TEST_F(RebootTest, BatchDeletesByWildcardAndRunsForTheUserToo) {
    NewMachine(winsim::Os::Win98);
    MakeFolder("C:\\KV");
    MakeFile("C:\\KV\\A.TMP");
    MakeFile("C:\\KV\\B.TMP");
    MakeFile("C:\\KV\\KEEP.DLL");
    MakeFile("C:\\WINDOWS\\CLEAN.BAT", "del C:\\KV\\*.TMP\r\nDEL C:\\KV\\NONE.TXT\r\n"
                                       "echo done\r\n");
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", &key),
              ERROR_SUCCESS);
    const char command[] = "CLEAN.BAT"; // relative: the Windows folder
    RegSetValueExA(key, "Clean", 0, REG_SZ, reinterpret_cast<const BYTE*>(command), sizeof command);
    RegCloseKey(key);
    std::vector<std::string> report = winsim::Reboot();
    const std::string at = "batch C:\\WINDOWS\\CLEAN.BAT line ";
    EXPECT_TRUE(Has(report, at + "1: deleted C:\\KV\\A.TMP"));
    EXPECT_TRUE(Has(report, at + "1: deleted C:\\KV\\B.TMP"));
    EXPECT_TRUE(Has(report, at + "2: not deleted C:\\KV\\NONE.TXT: file not found"));
    EXPECT_TRUE(Has(report, at + "3: echo done"));
    EXPECT_TRUE(Exists("C:\\KV\\KEEP.DLL"));
}

} // namespace
