#include "removal_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kInstallKey[] = "HKEY_LOCAL_MACHINE\\" UN_INSTALL_KEY;

class ScrubTest : public RemovalTest {
  protected:
    void RegisterScript(const char* path = "C:\\KV\\UNINST.INI") {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, UN_INSTALL_KEY, &key), ERROR_SUCCESS);
        RegSetValueExA(key, UN_INSTALL_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                       static_cast<DWORD>(std::strlen(path) + 1));
        RegCloseKey(key);
    }
    static int Start(const char* commandLine) {
        return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(commandLine),
                       SW_SHOWNORMAL);
    }
    static std::vector<std::string> Texts() {
        std::vector<std::string> out;
        for (const auto& box : winsim::MessageBoxes())
            out.push_back(box.text);
        return out;
    }
    // Two components and a shared part. The shared part deletes a value that a component
    // writes, so it shows that the shared parts come last.
    void WriteTwoComponentsAndShared(bool withShared = true) {
        Put("C:\\KV\\A.EXE");
        Put("C:\\KV\\B.DLL");
        Put("C:\\KV\\Common\\COMMON.DLL");
        std::string script = "[Components]\r\na=1\r\nb=0\r\n"
                             "[a]\r\nTitle=A\r\nFiles=FilesA\r\nRegadd=AddA\r\n"
                             "[FilesA]\r\n%kv%\\A.EXE=1\r\n"
                             "[AddA]\r\n-2147483646,SOFTWARE\\Norvex\\KVP\\Tools,Left,1=yes\r\n"
                             "[b]\r\nFiles=FilesB\r\n[FilesB]\r\n%kv%\\B.DLL=1\r\n"
                             "[common]\r\nFiles=FilesC\r\nRegdel=DelC\r\n"
                             "[FilesC]\r\n%kv%\\Common\\COMMON.DLL=0\r\n"
                             "[DelC]\r\n-2147483646,SOFTWARE\\Norvex\\KVP\\Tools,Left=\r\n"
                             "[strings]\r\nkv=C:\\KV\r\n";
        if (withShared) script += "[Shared]\r\ncommon=1\r\n";
        WriteScript(script);
    }
};
INSTANTIATE_EVERY_OS(ScrubTest);

TEST_P(ScrubTest, RemovesComponentsThenSharedPartsThenTheScriptAndItsEntry) {
    WriteTwoComponentsAndShared();
    RegisterScript();
    SetCount("C:\\KV\\Common\\COMMON.DLL", 3);

    EXPECT_EQ(RemoveAllComponents("Scrub", 0), 1);
    EXPECT_TRUE(Texts().empty());
    for (const char* gone : {"C:\\KV\\A.EXE", "C:\\KV\\B.DLL", "C:\\KV\\Common", "C:\\KV"})
        EXPECT_FALSE(Exists(gone)) << gone; // the script was the folder's last file
    EXPECT_EQ(ReadCount("C:\\KV\\Common\\COMMON.DLL"), 0xFFFFFFFFu)
        << "counts are dropped, not honoured";
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Tools"))
        << "the shared part ran after the component that wrote the value";
    EXPECT_FALSE(winsim::KeyExists(kInstallKey)) << "left empty, so it went too";
}

TEST_P(ScrubTest, OtherCommandLinesDoNothing) {
    WriteTwoComponentsAndShared();
    RegisterScript();
    for (const char* line : {"scrub ", "/scrub", "", "scrubs"})
        EXPECT_EQ(RemoveAllComponents(line, 0), 0) << line;
    EXPECT_TRUE(Exists("C:\\KV\\A.EXE"));
    EXPECT_TRUE(Exists("C:\\KV\\UNINST.INI"));
    EXPECT_TRUE(Texts().empty());
}

TEST_P(ScrubTest, SaysWhatIsMissingAndKeepsTheScript) {
    EXPECT_EQ(RemoveAllComponents("scrub", 0), 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{StringOf(IDS_NO_SCRIPT_PATH)}));
    EXPECT_EQ(winsim::MessageBoxes()[0].type, static_cast<uint32_t>(MB_ICONERROR));

    winsim::ClearMessageBoxes();
    RegisterScript();
    WriteScript("[strings]\r\nkv=C:\\KV\r\n");
    EXPECT_EQ(RemoveAllComponents("scrub", 0), 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{StringOf(IDS_BAD_SCRIPT)}));

    // Without [Shared] the components go, the script and its entry stay.
    winsim::ClearMessageBoxes();
    WriteTwoComponentsAndShared(false);
    EXPECT_EQ(RemoveAllComponents("scrub", 0), 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{StringOf(IDS_BAD_SCRIPT)}));
    EXPECT_FALSE(Exists("C:\\KV\\A.EXE"));
    EXPECT_FALSE(Exists("C:\\KV\\B.DLL"));
    EXPECT_TRUE(Exists("C:\\KV\\Common\\COMMON.DLL"));
    EXPECT_EQ(GetPrivateProfileIntA("Components", "a", 9, ScriptPath), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("Components", "b", 9, ScriptPath), 0u);
    EXPECT_TRUE(winsim::KeyExists(kInstallKey));
}

TEST_P(ScrubTest, FromTheCommandLineNothingIsLeftAfterTheNextStart) {
    WriteTwoComponentsAndShared();
    RegisterScript();
    SetCount("C:\\KV\\Common\\COMMON.DLL", 2);
    winsim::MarkInUse("C:\\KV\\A.EXE");
    winsim::QueueMessageBoxAnswer(IDOK);
    const uint32_t before = winsim::TickCount();

    EXPECT_EQ(Start("scrub"), 0);
    EXPECT_GE(winsim::TickCount() - before, 2000u);
    const auto boxes = winsim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, StringOf(IDS_RESTART_PROMPT));
    EXPECT_EQ(boxes[0].caption, StringOf(IDS_CAPTION));
    EXPECT_EQ(boxes[0].owner, 0u) << "the background window is gone by then";
    EXPECT_EQ(winsim::RestartRequests(), (std::vector<uint32_t>{EWX_REBOOT}));
    EXPECT_TRUE(Exists("C:\\KV\\A.EXE"));
    EXPECT_FALSE(winsim::KeyExists(kInstallKey));

    const auto report = winsim::Reboot();
    for (const char* gone :
         {"C:\\KV\\A.EXE", "C:\\KV\\B.DLL", "C:\\KV\\Common\\COMMON.DLL", "C:\\KV\\UNINST.INI"})
        EXPECT_FALSE(Exists(gone)) << gone << ::testing::PrintToString(report);
    EXPECT_FALSE(Exists("C:\\KV")) << ::testing::PrintToString(report);
    EXPECT_EQ(ReadCount("C:\\KV\\Common\\COMMON.DLL"), 0xFFFFFFFFu);
}

} // namespace
