#include "support/machine_fixture.h"

#include <commdlg.h>

#include <cstring>

namespace {

class ComDlgTest : public EveryOsTest {
  protected:
    // The dialog as a program of 95/NT 4.0 fills it.
    OPENFILENAMEA Dialog(char* file, DWORD size) {
        OPENFILENAMEA ofn;
        std::memset(&ofn, 0, sizeof ofn);
        ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
        ofn.lpstrFilter = "Setup Files\0*.INF\0All Files\0*.*\0";
        ofn.lpstrFile = file;
        ofn.nMaxFile = size;
        ofn.lpstrFileTitle = m_title;
        ofn.nMaxFileTitle = sizeof m_title;
        ofn.lpstrTitle = "Locate the driver";
        ofn.Flags = OFN_HIDEREADONLY;
        return ofn;
    }
    char m_title[16] = "unchanged";
};

TEST_P(ComDlgTest, TheUserChoosesAPathOrCancels) {
    char file[260] = "C:\\OLD\\PREVIOUS.INF";
    OPENFILENAMEA ofn = Dialog(file, sizeof file);
    EXPECT_FALSE(GetOpenFileNameA(&ofn)) << "no answer queued: the user cancels";
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_STREQ(file, "C:\\OLD\\PREVIOUS.INF");
    EXPECT_STREQ(m_title, "unchanged");

    winsim::QueueFileDialogAnswer("C:\\DRIVERS\\KV4720.INF");
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_STREQ(file, "C:\\DRIVERS\\KV4720.INF");
    EXPECT_STREQ(m_title, "KV4720.INF");
    EXPECT_EQ(ofn.nFileOffset, 11);
    EXPECT_EQ(ofn.nFileExtension, 18);

    const auto dialogs = winsim::FileDialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].title, "Locate the driver");
    EXPECT_EQ(dialogs[1].filter, "Setup Files|*.INF|All Files|*.*");
    EXPECT_EQ(dialogs[1].initialFile, "C:\\OLD\\PREVIOUS.INF");
    EXPECT_EQ(dialogs[1].answer, "C:\\DRIVERS\\KV4720.INF");
    EXPECT_EQ(dialogs[0].answer, "");
    bool journalled = false;
    for (const std::string& line : winsim::JournalSince(0))
        journalled = journalled || line == "filedialog C:\\DRIVERS\\KV4720.INF Locate the driver\t"
                                           "Setup Files|*.INF|All Files|*.*\tC:\\OLD\\PREVIOUS.INF";
    EXPECT_TRUE(journalled);
}

TEST_P(ComDlgTest, RefusesOtherStructureSizesAndShortBuffers) {
    char file[12] = "";
    OPENFILENAMEA ofn = Dialog(file, sizeof file);
    ofn.lStructSize = 88; // the later form, which these systems do not know
    winsim::QueueFileDialogAnswer("C:\\DRIVERS\\KV4720.INF");
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
    EXPECT_TRUE(winsim::FileDialogs().empty()) << "no dialog was shown, no answer taken";

    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
    WORD needed = 0;
    std::memcpy(&needed, file, sizeof needed);
    EXPECT_EQ(needed, 22) << "the size the path needs";
}

INSTANTIATE_EVERY_OS(ComDlgTest);

} // namespace
