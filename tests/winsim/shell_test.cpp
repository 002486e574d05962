#include "support/machine_fixture.h"

#include <shlobj.h>

#include <cstring>
#include <string>

namespace {

class ShellTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        winsim::SetSetting("network", "\\\\PRINTSRV\\KV4720", "KV Pellora 4720");
        winsim::SetSetting("network", "\\\\PRINTSRV\\LASER", "Generic");
        ASSERT_EQ(SHGetMalloc(&m_malloc), S_OK);
        ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_NETWORK, &m_network), S_OK);
    }
    void TearDown() override {
        m_malloc->Free(m_network);
        m_malloc->Release();
        EveryOsTest::TearDown();
    }
    LPITEMIDLIST Browse(UINT flags, char* displayName) {
        BROWSEINFOA bi;
        std::memset(&bi, 0, sizeof bi);
        bi.pidlRoot = m_network;
        bi.pszDisplayName = displayName;
        bi.lpszTitle = "Choose a printer";
        bi.ulFlags = flags;
        return SHBrowseForFolderA(&bi);
    }
    std::string ParsingName(LPCITEMIDLIST pidl) {
        IShellFolder* desktop = nullptr;
        if (SHGetDesktopFolder(&desktop) != S_OK) return "?";
        STRRET str;
        HRESULT hr = desktop->GetDisplayNameOf(pidl, SHGDN_FORPARSING, &str);
        desktop->Release();
        return SUCCEEDED(hr) && str.uType == STRRET_CSTR ? str.cStr : "?";
    }

    LPMALLOC m_malloc = nullptr;
    LPITEMIDLIST m_network = nullptr;
};

TEST_P(ShellTest, TheBrowserOffersTheNetworksPrinters) {
    char name[MAX_PATH] = "unchanged";
    EXPECT_EQ(Browse(BIF_BROWSEFORPRINTER, name), nullptr) << "no answer: the user cancels";
    winsim::QueueBrowseAnswer("\\\\PRINTSRV");
    EXPECT_EQ(Browse(BIF_BROWSEFORPRINTER, name), nullptr) << "a computer is no printer";
    winsim::QueueBrowseAnswer("\\\\OTHER\\KV4720");
    EXPECT_EQ(Browse(BIF_BROWSEFORPRINTER, name), nullptr) << "not on the network";
    EXPECT_STREQ(name, "unchanged");

    winsim::QueueBrowseAnswer("\\\\printsrv\\kv4720");
    LPITEMIDLIST chosen = Browse(BIF_BROWSEFORPRINTER, name);
    ASSERT_NE(chosen, nullptr);
    EXPECT_STREQ(name, "KV4720");
    EXPECT_EQ(ParsingName(chosen), "\\\\PRINTSRV\\KV4720");
    char path[MAX_PATH] = "unchanged";
    EXPECT_FALSE(SHGetPathFromIDListA(chosen, path)) << "a printer has no file-system path";
    EXPECT_STREQ(path, "");
    EXPECT_EQ(m_malloc->DidAlloc(chosen), 1);
    EXPECT_EQ(winsim::LiveHandles().shellMemory, 2);
    m_malloc->Free(chosen);
    EXPECT_EQ(winsim::LiveHandles().shellMemory, 1) << "the network's list is still held";

    winsim::QueueBrowseAnswer("\\\\PRINTSRV");
    LPITEMIDLIST server = Browse(0, name);
    ASSERT_NE(server, nullptr) << "without BIF_BROWSEFORPRINTER a computer may be chosen";
    EXPECT_EQ(ParsingName(server), "\\\\PRINTSRV");
    m_malloc->Free(server);

    const auto browses = winsim::FolderBrowses();
    ASSERT_EQ(browses.size(), 5u);
    EXPECT_EQ(browses[3].title, "Choose a printer");
    EXPECT_EQ(browses[3].answer, "\\\\printsrv\\kv4720");
    EXPECT_EQ(browses[1].answer, "") << "refused answers are cancels";
}

TEST_P(ShellTest, OnlyTheDesktopHasAPathAmongTheShellsItems) {
    char path[MAX_PATH] = "unchanged";
    EXPECT_FALSE(SHGetPathFromIDListA(m_network, path));
    EXPECT_STREQ(path, "");
    LPITEMIDLIST desktop = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop), S_OK);
    EXPECT_TRUE(SHGetPathFromIDListA(desktop, path));
    EXPECT_STREQ(path, "C:\\WINDOWS\\Desktop");
    m_malloc->Free(desktop);
    EXPECT_EQ(ParsingName(m_network), "Network Neighborhood");
}

INSTANTIATE_EVERY_OS(ShellTest);

} // namespace
