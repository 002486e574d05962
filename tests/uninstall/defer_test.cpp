#include "removal_fixture.h"

namespace {

using Strings = std::vector<std::string>;

const char kRunOnce[] = "HKEY_LOCAL_MACHINE\\" PW_RUNONCE_KEY;

class DeferTest : public RemovalTest {
  protected:
    std::string Batch() const { return WindowsDir() + "\\DEL4720.BAT"; }
    std::string Pif() const { return WindowsDir() + "\\DEL4720.PIF"; }
    static std::string RunOnceCommand() {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (!winsim::ReadValue(kRunOnce, "DEL4720.BAT", &type, &data) || type != REG_SZ ||
            data.empty() || data.back() != 0)
            return "";
        return reinterpret_cast<const char*>(data.data());
    }
    static std::string Template() {
        HRSRC found = FindResourceA(Instance, MAKEINTRESOURCEA(IDR_PIFTEMPLATE),
                                    MAKEINTRESOURCEA(RT_PIFTEMPLATE));
        if (!found) return "";
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(Instance, found)));
        return std::string(bytes, SizeofResource(Instance, found));
    }
};
INSTANTIATE_EVERY_OS(DeferTest);

// Windows 95/98: WININIT.INI for files, the batch run once for folders.
class Defer9xTest : public DeferTest {};
INSTANTIATE_WIN9X(Defer9xTest);

TEST_P(DeferTest, ARunWithNothingDeferredAsksNothingAndLeavesNothing) {
    Put("C:\\KV\\A.DLL");
    char path[UN_PATH_SIZE] = "C:\\KV\\A.DLL";
    RemoveFile(path);
    FinishAndRestart();
    EXPECT_TRUE(winsim::MessageBoxes().empty());
    EXPECT_TRUE(winsim::RestartRequests().empty());
    EXPECT_FALSE(Exists(WindowsDir() + "\\WININIT.INI"));
    EXPECT_FALSE(Exists(Batch()));
    EXPECT_TRUE(PendingDeletions().empty());
    EXPECT_EQ(RunOnceCommand(), "");
}

TEST_P(DeferTest, AFileInUseGoesAtTheNextStartWithItsFolderAndTheUserIsAsked) {
    Put("C:\\KV Tools\\KVDESK.DLL");
    winsim::MarkInUse("C:\\KV Tools\\KVDESK.DLL");
    char path[UN_PATH_SIZE] = "C:\\KV Tools\\KVDESK.DLL";
    RemoveFile(path);
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(RestartNeeded, 1);
    if (Nt()) {
        EXPECT_EQ(PendingDeletions(), (Strings{"C:\\KV Tools\\KVDESK.DLL", "C:\\KVTOOL~1"}));
        EXPECT_FALSE(Exists(WindowsDir() + "\\WININIT.INI"));
    } else {
        // WININIT.INI runs before long names exist: every path is written in its 8.3 form.
        EXPECT_EQ(Lines(WindowsDir() + "\\WININIT.INI"),
                  (Strings{"[rename]", "NUL=C:\\KVTOOL~1\\KVDESK.DLL"}));
        EXPECT_EQ(BatchNeeded, 1);
    }

    FinishAndRestart();
    const auto boxes = winsim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, 0u);
    EXPECT_EQ(boxes[0].caption, StringOf(IDS_CAPTION));
    EXPECT_EQ(boxes[0].text, StringOf(IDS_RESTART_PROMPT));
    EXPECT_EQ(boxes[0].type, static_cast<uint32_t>(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(winsim::RestartRequests(), std::vector<uint32_t>{EWX_REBOOT});
}

TEST_P(Defer9xTest, OnWindows9xFilesGoToWininitAndFoldersToTheBatch) {
    Put("C:\\KV\\ONE.DLL");
    Put("C:\\KV\\TWO.DLL");
    Put("C:\\Program Files\\KV Tools\\X.TXT");
    EXPECT_EQ(ScheduleDelete("C:\\KV\\ONE.DLL", 0), 0);
    EXPECT_EQ(ScheduleDelete("C:\\KV\\TWO.DLL", 0), 0);
    EXPECT_EQ(ScheduleDelete("C:\\Program Files\\KV Tools", 1), 0);
    winsim::QueueMessageBoxAnswer(IDCANCEL);

    FinishAndRestart();

    EXPECT_EQ(Lines(WindowsDir() + "\\WININIT.INI"),
              (Strings{"[rename]", "NUL=C:\\KV\\ONE.DLL", "NUL=C:\\KV\\TWO.DLL"}));
    EXPECT_EQ(Lines(Batch()), (Strings{"@ECHO OFF", "rd C:\\PROGRA~1\\KVTOOL~1",
                                       "Del " + WindowsDir() + "\\DEL4720.PIF"}));
    const std::string pif = Read(Pif());
    EXPECT_EQ(pif.size(), static_cast<size_t>(PIF_TEMPLATE_SIZE));
    EXPECT_EQ(pif, Template());
    EXPECT_EQ(RunOnceCommand(), Batch());
    EXPECT_EQ(winsim::MessageBoxes().size(), 1u);
    EXPECT_TRUE(winsim::RestartRequests().empty()) << "Cancel: no restart";
}

TEST_P(DeferTest, OnlyDeferredFilesWriteNoBatch) {
    Put("C:\\KV\\ONE.DLL");
    EXPECT_EQ(ScheduleDelete("C:\\KV\\ONE.DLL", 0), 0);
    FinishAndRestart();
    EXPECT_FALSE(Exists(Batch()));
    EXPECT_FALSE(Exists(Pif()));
    EXPECT_EQ(RunOnceCommand(), "");
    EXPECT_EQ(winsim::RestartRequests().size(), 1u);
}

TEST_P(Defer9xTest, ABatchLineNeverCarriesCommandSyntax) {
    for (const char* folder : {"C:\\A&B", "C:\\50%", "C:\\X^Y"}) {
        ASSERT_TRUE(CreateDirectoryA(folder, nullptr)) << folder;
        EXPECT_EQ(ScheduleDelete(folder, 1), 1) << folder;
    }
    EXPECT_EQ(ScheduleDelete("C:\\Missing Folder", 1), 1) << "no short form to write";
    EXPECT_EQ(BatchNeeded, 0);
    EXPECT_FALSE(Exists(Batch()));

    // A long name is written in its 8.3 form, which has no blank to split it.
    ASSERT_TRUE(CreateDirectoryA("C:\\KV Tools & More", nullptr));
    EXPECT_EQ(ScheduleDelete("C:\\KV Tools & More", 1), 0);
    EXPECT_EQ(Lines(Batch()), (Strings{"@ECHO OFF", "rd C:\\KVTOOL~1"}));
}

TEST_P(Defer9xTest, OtherProgramsLinesInWininitStayAndOursFollowARenameLine) {
    Put(WindowsDir() + "\\WININIT.INI", "[rename]\r\nNUL=C:\\OLD.TMP\r\n[CombineVxDs]\r\nx=1");
    Put("C:\\KV\\ONE.DLL");
    Put("C:\\KV\\TWO.DLL");
    ScheduleDelete("C:\\KV\\ONE.DLL", 0);
    ScheduleDelete("C:\\KV\\TWO.DLL", 0);
    EXPECT_EQ(Lines(WindowsDir() + "\\WININIT.INI"),
              (Strings{"[rename]", "NUL=C:\\OLD.TMP", "[CombineVxDs]", "x=1", "[rename]",
                       "NUL=C:\\KV\\ONE.DLL", "NUL=C:\\KV\\TWO.DLL"}));
}

TEST_P(Defer9xTest, WithoutTheTemplateTheInterpreterRunsTheBatch) {
    ASSERT_TRUE(CreateDirectoryA("C:\\KV", nullptr));
    ScheduleDelete("C:\\KV", 1);
    winsim::FailCall("FindResourceA", ERROR_RESOURCE_TYPE_NOT_FOUND);
    FinishAndRestart();
    winsim::ClearFailures();

    char comspec[UN_PATH_SIZE];
    ASSERT_GT(GetEnvironmentVariableA("COMSPEC", comspec, sizeof comspec), 0u);
    EXPECT_EQ(RunOnceCommand(), std::string(comspec) + " NUL /C " + Batch());
    EXPECT_FALSE(Exists(Pif()));
    EXPECT_EQ(Lines(Batch()), (Strings{"@ECHO OFF", "rd C:\\KV"})) << "no Del line without a PIF";
}

TEST_P(Defer9xTest, APifThatCannotBeWrittenStillGetsItsDelLine) {
    ASSERT_TRUE(CreateDirectoryA("C:\\KV", nullptr));
    ScheduleDelete("C:\\KV", 1);
    winsim::FailCall("CreateFileA", ERROR_ACCESS_DENIED, 1); // the PIF's, the first of the finish
    FinishAndRestart();
    EXPECT_FALSE(Exists(Pif()));
    char comspec[UN_PATH_SIZE];
    ASSERT_GT(GetEnvironmentVariableA("COMSPEC", comspec, sizeof comspec), 0u);
    EXPECT_EQ(RunOnceCommand(), std::string(comspec) + " NUL /C " + Batch());
    EXPECT_EQ(Lines(Batch()), (Strings{"@ECHO OFF", "rd C:\\KV", "Del " + Pif()}));
}

TEST_P(Defer9xTest, AWindowsDirectoryAtADriveRootGetsNoSecondBackslash) {
    winsim::SetSetting("machine", "windir", "C:\\");
    ResetState();
    ASSERT_STREQ(WininitPath, "C:\\WININIT.INI");
    ASSERT_TRUE(CreateDirectoryA("C:\\KV", nullptr));
    ScheduleDelete("C:\\KV", 1);
    FinishAndRestart();
    EXPECT_EQ(Lines("C:\\DEL4720.BAT"), (Strings{"@ECHO OFF", "rd C:\\KV", "Del C:\\DEL4720.PIF"}));
    EXPECT_EQ(RunOnceCommand(), "C:\\DEL4720.BAT");
}

TEST_P(DeferTest, AfterTheNextStartNothingTheScriptListsIsLeft) {
    const std::string kv = "C:\\Program Files\\KV Tools";
    const std::string programs = Programs();
    Put("C:\\Program Files\\Other\\KEEP.TXT");
    for (const char* f : {"\\KVDESK.EXE", "\\KVDESK.HLP", "\\KVDESK.GID", "\\Bin\\KVLIB.DLL"})
        Put(kv + f);
    Put(programs + "\\KV Tools\\KV Desk.lnk");
    winsim::MarkInUse(kv + "\\KVDESK.EXE");
    winsim::MarkInUse(kv + "\\Bin");
    WriteScript("[Components]\r\ncore=1\r\n[core]\r\nFiles=Files\r\nIcon=Icons\r\n[Files]\r\n"
                "%kv%\\KVDESK.EXE=1\r\n%kv%\\KVDESK.HLP=1\r\n%kv%\\Bin\\KVLIB.DLL=1\r\n"
                "[Icons]\r\nKV Tools,KV Desk,=1\r\n[strings]\r\nkv=" +
                kv + "\r\n");

    RemoveComponent("Components", "core", 0);
    EXPECT_TRUE(Exists(kv + "\\KVDESK.EXE"));
    EXPECT_TRUE(Exists(kv + "\\Bin"));
    EXPECT_FALSE(Exists(kv + "\\KVDESK.GID"));
    EXPECT_FALSE(Exists(programs + "\\KV Tools"));
    FinishAndRestart();
    ASSERT_EQ(winsim::RestartRequests().size(), 1u);

    const Strings report = winsim::Reboot();
    for (const std::string& line : report)
        EXPECT_EQ(line.find("not carried out"), std::string::npos) << line;
    EXPECT_FALSE(Exists(kv)) << ::testing::PrintToString(report);
    EXPECT_TRUE(Exists("C:\\Program Files\\Other\\KEEP.TXT"));
    EXPECT_EQ(RunOnceCommand(), "");
}

} // namespace
