#include "support/machine_fixture.h"

#include "shell/browse.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <string>

namespace {

class BrowseTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        std::memset(&g_Settings, 0, sizeof g_Settings);
        winsim::SetSetting("network", "\\\\PRINTSRV\\KV4720", "KV Pellora 4720");
    }
    char m_result[PW_PATH_SIZE + 8];
};

TEST_P(BrowseTest, FileDialogStartsFromThePreviousChoice) {
    std::memset(m_result, 'x', sizeof m_result);
    m_result[sizeof m_result - 1] = '\0';
    const std::string before = m_result;
    EXPECT_EQ(DLL_BrowseForFile(nullptr, "Locate Setup", 0, m_result), 0) << "cancelled";
    EXPECT_EQ(m_result, before) << "a cancel leaves the buffer alone";

    winsim::QueueFileDialogAnswer("C:\\DRIVERS\\SETUP.INF");
    EXPECT_EQ(DLL_BrowseForFile(nullptr, "Locate Setup", 0, m_result), 1);
    EXPECT_STREQ(m_result, "C:\\DRIVERS\\SETUP.INF");
    winsim::QueueFileDialogAnswer("C:\\OTHER.INF");
    EXPECT_EQ(DLL_BrowseForFile(nullptr, "Again", 0, m_result), 1);

    const auto dialogs = winsim::FileDialogs();
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_EQ(dialogs[1].initialFile, dialogs[0].initialFile) << "a cancel keeps the path";
    EXPECT_EQ(dialogs[2].initialFile, "C:\\DRIVERS\\SETUP.INF");
    EXPECT_EQ(dialogs[2].title, "Again");
    EXPECT_EQ(dialogs[2].filter, "All Files|*.*");
    EXPECT_EQ(dialogs[2].flags & OFN_HIDEREADONLY, static_cast<DWORD>(OFN_HIDEREADONLY));
}

TEST_P(BrowseTest, PrinterBrowserGivesTheNetworkNameAndFreesItsItems) {
    std::strcpy(m_result, "unchanged");
    EXPECT_EQ(DLL_BrowseForPrinter(nullptr, "Select a printer", 0, m_result), 0);
    EXPECT_STREQ(m_result, "unchanged");

    winsim::QueueBrowseAnswer("\\\\PRINTSRV\\KV4720");
    EXPECT_EQ(DLL_BrowseForPrinter(nullptr, "Select a printer", 0, m_result), 1);
    EXPECT_STREQ(m_result, "\\\\PRINTSRV\\KV4720") << "a printer has no path: its network name";
    EXPECT_EQ(winsim::LiveHandles().shellMemory, 0) << "both item lists freed";
    const auto browses = winsim::FolderBrowses();
    ASSERT_EQ(browses.size(), 2u);
    EXPECT_EQ(browses[1].flags, static_cast<uint32_t>(BIF_BROWSEFORPRINTER));
    EXPECT_EQ(browses[1].title, "Select a printer");

    // A name the result buffer cannot hold whole is not cut: the script gets an empty text.
    const std::string share(PW_PATH_SIZE - 10, 'S');
    winsim::SetSetting("network", "\\\\PRINTSRV\\" + share, "KV Pellora 4720");
    std::memset(m_result, 'x', sizeof m_result);
    winsim::QueueBrowseAnswer("\\\\PRINTSRV\\" + share);
    EXPECT_EQ(DLL_BrowseForPrinter(nullptr, "Select a printer", 0, m_result), 1);
    EXPECT_STREQ(m_result, "");
    EXPECT_EQ(m_result[PW_PATH_SIZE], 'x') << "nothing written past 260 bytes";
}

TEST_P(BrowseTest, NetworkCheckAnswersOneOrThree) {
    EXPECT_EQ(DLL_HasTCPIP(), 3) << "before the check";
    g_Settings.NetworkPresent = 4;
    EXPECT_EQ(DLL_HasTCPIP(), 1);
}

INSTANTIATE_EVERY_OS(BrowseTest);

} // namespace
