#include "removal_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The selection page, opened modeless so that a test can act on it between messages as a user
// would: clicks in the list, the "All" box, OK.
class SelectPageTest : public RemovalTest {
  protected:
    void TearDown() override {
        if (page_ && IsWindow(page_)) DestroyWindow(page_);
        RemovalTest::TearDown();
    }

    // Components c1..cN titled "Component i", each with a file of its own; `extra` goes into
    // [Components] after them.
    void WriteComponents(int n, const std::string& extra = "", const std::string& more = "") {
        std::string list = "[Components]\r\n", sections;
        for (int i = 1; i <= n; ++i) {
            const std::string k = "c" + std::to_string(i);
            list += k + "=1\r\n";
            sections += "[" + k + "]\r\nTitle=Component " + std::to_string(i) + "\r\nFiles=F" + k +
                        "\r\n[F" + k + "]\r\nC:\\KV\\" + k + ".DLL=1\r\n";
            Put("C:\\KV\\" + k + ".DLL");
        }
        WriteScript(list + extra + sections + more + "[Shared]\r\nnone=0\r\n");
    }
    // What the welcome page reads before the selection page comes.
    void ReadKeys() {
        GetPrivateProfileStringA(UN_COMPONENTS_SECTION, nullptr, NotThereSentinel,
                                 ComponentKeyList, sizeof ComponentKeyList, ScriptPath);
    }
    HWND Open() {
        ReadKeys();
        page_ = CreateDialogParamA(Instance, MAKEINTRESOURCEA(IDD_SELECT), nullptr, PageDlgProc, 1);
        // Shown as DialogBoxParamA shows it, unless it ended in WM_INITDIALOG.
        if (page_ && IsWindowVisible(page_) == FALSE && SendMessageA(List(), LB_GETCOUNT, 0, 0))
            ShowWindow(page_, SW_SHOWNORMAL);
        return page_;
    }
    HWND List() const { return GetDlgItem(page_, IDC_COMPONENT_LIST); }
    int ItemHeight() const {
        return static_cast<int>(SendMessageA(List(), LB_GETITEMHEIGHT, 0, 0));
    }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        const auto n = SendMessageA(List(), LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            char text[256];
            SendMessageA(List(), LB_GETTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(text));
            rows.push_back(text);
        }
        return rows;
    }
    // A click in the mark column of a visible row.
    void ClickMark(int visibleRow) {
        const int h = ItemHeight();
        SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(h / 2, visibleRow * h + 1));
        SendMessageA(List(), WM_LBUTTONUP, 0, MAKELPARAM(h / 2, visibleRow * h + 1));
    }
    void PressOk() { SendMessageA(GetDlgItem(page_, IDOK), BM_CLICK, 0, 0); }
    bool AllBoxChecked() const { return IsDlgButtonChecked(page_, IDC_SELECT_ALL) == BST_CHECKED; }
    // The marks the list drew last time over each row (403 checked, 404 unchecked).
    std::vector<int> MarksDrawn() {
        winsim::ClearDrawing();
        InvalidateRect(List(), nullptr, TRUE);
        UpdateWindow(List());
        std::vector<int> marks;
        for (const auto& call : winsim::Drawing())
            if (call.op == "BitBlt") marks.push_back(call.resource);
        return marks;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& box : winsim::MessageBoxes())
            out.push_back(box.text);
        return out;
    }

    static void RegisterScript() {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, UN_INSTALL_KEY, &key), ERROR_SUCCESS);
        RegSetValueExA(key, UN_INSTALL_VALUE, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>("C:\\KV\\UNINST.INI"), 17);
        RegCloseKey(key);
    }

    // Every waiting message dispatched: the page painted as the user sees it.
    static winsim::ScreenPicture Screen() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
        return winsim::CaptureScreen();
    }
    // The pixels of a control's window on the screen, row by row.
    static std::vector<uint32_t> PixelsOf(const winsim::ScreenPicture& screen, const RECT& r) {
        std::vector<uint32_t> out;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                out.push_back(screen.At(x, y));
        return out;
    }
    // The mark square of a visible row on the screen (inside the list's 2-pixel sunken edge).
    RECT MarkOnScreen(int row) const {
        RECT list;
        GetWindowRect(List(), &list);
        const int h = ItemHeight(), at = (h - 11) / 2;
        const int x = list.left + 2 + at, y = list.top + 2 + row * h + at;
        return RECT{x, y, x + 11, y + 11};
    }
    static size_t Count(const std::vector<uint32_t>& pixels, uint32_t color) {
        return static_cast<size_t>(std::count(pixels.begin(), pixels.end(), color));
    }

    HWND page_ = nullptr;
};
INSTANTIATE_EVERY_OS(SelectPageTest);

TEST_P(SelectPageTest, OnTheScreenACheckedMarkDiffersFromAnUncheckedOne) {
    WriteComponents(2);
    ASSERT_TRUE(Open());
    ClickMark(0);
    winsim::ScreenPicture screen = Screen();
    const std::vector<uint32_t> checked = PixelsOf(screen, MarkOnScreen(0));
    EXPECT_NE(checked, PixelsOf(screen, MarkOnScreen(1)));
    EXPECT_GT(Count(checked, 0xFFFFFFu), 0u) << "the mark's white box is drawn";
    // Unchecked again, the row shows what the other row shows.
    ClickMark(0);
    screen = Screen();
    EXPECT_EQ(PixelsOf(screen, MarkOnScreen(0)), PixelsOf(screen, MarkOnScreen(1)));
}

TEST_P(SelectPageTest, OnTheScreenOkHasTheDarkFrameAndGreysItsTextWhenDisabled) {
    WriteComponents(1);
    ASSERT_TRUE(Open());
    RECT ok, exit;
    GetWindowRect(GetDlgItem(page_, IDOK), &ok);
    GetWindowRect(GetDlgItem(page_, IDCANCEL), &exit);
    winsim::ScreenPicture screen = Screen();
    // The default button's frame is black all round; the other button's top left is white.
    EXPECT_EQ(screen.At(ok.left, ok.top), 0u);
    EXPECT_EQ(screen.At(ok.right - 1, (ok.top + ok.bottom) / 2), 0u);
    EXPECT_EQ(screen.At((ok.left + ok.right) / 2, ok.top), 0u);
    EXPECT_EQ(screen.At(exit.left, exit.top), 0xFFFFFFu);
    // Inside the edges: black text while enabled, grey text (and no black) while disabled.
    const RECT face{ok.left + 4, ok.top + 4, ok.right - 4, ok.bottom - 4};
    EXPECT_GT(Count(PixelsOf(screen, face), 0u), 0u);
    EnableWindow(GetDlgItem(page_, IDOK), FALSE);
    screen = Screen();
    const std::vector<uint32_t> disabled = PixelsOf(screen, face);
    EXPECT_EQ(Count(disabled, 0u), 0u);
    EXPECT_GT(Count(disabled, 0x808080u), 0u);
}

TEST_P(SelectPageTest, ListsInstalledComponentsWithATitleInTheScriptsOrder) {
    WriteComponents(2, "gone=0\r\nuntitled=1\r\n",
                    "[gone]\r\nTitle=Gone\r\n[untitled]\r\nFiles=FU\r\n");
    ASSERT_TRUE(Open());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Component 1", "Component 2"}));
    const auto data = SendMessageA(List(), LB_GETITEMDATA, 1, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(data), "c2");
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(List(), GWLP_WNDPROC)), CheckListProc);
    EXPECT_EQ(MarksDrawn(), (std::vector<int>{IDB_UNCHECKED, IDB_UNCHECKED}));
    EXPECT_TRUE(Texts().empty());
}

TEST_P(SelectPageTest, NothingListableSaysSoAndEnds) {
    WriteComponents(0, "gone=0\r\nuntitled=1\r\n", "[gone]\r\nTitle=Gone\r\n");
    Open();
    EXPECT_EQ(Texts(), (std::vector<std::string>{StringOf(IDS_NOTHING_INSTALLED)}));
    EXPECT_EQ(winsim::MessageBoxes()[0].type, static_cast<uint32_t>(MB_ICONERROR));
    EXPECT_FALSE(page_ && IsWindowVisible(page_));
}

TEST_P(SelectPageTest, MarksAndTheAllBoxFollowTheRowsBothWays) {
    WriteComponents(2);
    ASSERT_TRUE(Open());
    ClickMark(0);
    ClickMark(1);
    EXPECT_EQ(MarksDrawn(), (std::vector<int>{IDB_CHECKED, IDB_CHECKED}));
    EXPECT_TRUE(AllBoxChecked()) << "every row checked checks the box";
    ClickMark(1);
    EXPECT_EQ(MarksDrawn(), (std::vector<int>{IDB_CHECKED, IDB_UNCHECKED}));
    EXPECT_FALSE(AllBoxChecked());

    // The box sets every row, and clears every row.
    SendMessageA(GetDlgItem(page_, IDC_SELECT_ALL), BM_CLICK, 0, 0);
    EXPECT_EQ(MarksDrawn(), (std::vector<int>{IDB_CHECKED, IDB_CHECKED}));
    SendMessageA(GetDlgItem(page_, IDC_SELECT_ALL), BM_CLICK, 0, 0);
    EXPECT_EQ(MarksDrawn(), (std::vector<int>{IDB_UNCHECKED, IDB_UNCHECKED}));

    // A click on the text selects without checking; space checks the caret row.
    const int h = ItemHeight();
    SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(h + 20, h + 1));
    EXPECT_EQ(SendMessageA(List(), LB_GETCARETINDEX, 0, 0), 1);
    EXPECT_EQ(MarksDrawn(), (std::vector<int>{IDB_UNCHECKED, IDB_UNCHECKED}));
    SendMessageA(List(), WM_CHAR, ' ', 0);
    EXPECT_EQ(MarksDrawn(), (std::vector<int>{IDB_UNCHECKED, IDB_CHECKED}));
}

TEST_P(SelectPageTest, RowsAreDrawnAsTheirMarkThenTheirTitle) {
    WriteComponents(1);
    ASSERT_TRUE(Open());
    winsim::ClearDrawing();
    InvalidateRect(List(), nullptr, TRUE);
    UpdateWindow(List());
    const int h = ItemHeight();
    std::vector<winsim::DrawCall> calls;
    for (const auto& call : winsim::Drawing())
        if (call.op != "FillRect" || call.cy == h) calls.push_back(call);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].op, "FillRect");
    EXPECT_EQ(calls[0].color, static_cast<uint32_t>(GetSysColor(COLOR_WINDOW)));
    EXPECT_EQ(calls[1].op, "BitBlt");
    EXPECT_EQ(calls[1].x, (h - 11) / 2);
    EXPECT_EQ(calls[1].y, (h - 11) / 2);
    EXPECT_EQ(calls[1].cx, 11);
    EXPECT_EQ(calls[2].op, "TextOut");
    EXPECT_EQ(calls[2].text, "Component 1");
    EXPECT_EQ(calls[2].x, h) << "the text starts one row height in";
    EXPECT_EQ(calls[2].cx, TRANSPARENT);
    EXPECT_EQ(calls[2].color, static_cast<uint32_t>(GetSysColor(COLOR_WINDOWTEXT)));
}

TEST_P(SelectPageTest, OkWithNothingCheckedAsksForAChoiceAndStays) {
    WriteComponents(2);
    ASSERT_TRUE(Open());
    PressOk();
    EXPECT_EQ(Texts(), (std::vector<std::string>{StringOf(IDS_SELECT_SOMETHING)}));
    EXPECT_TRUE(IsWindowVisible(page_));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page_, IDOK)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page_, IDCANCEL)));
}

TEST_P(SelectPageTest, SomeRowsAreRemovedAndTheListIsBuiltAgain) {
    WriteComponents(3);
    ASSERT_TRUE(Open());
    ClickMark(1);
    PressOk();
    EXPECT_EQ(Texts(), (std::vector<std::string>{StringOf(IDS_REMOVED)}));
    EXPECT_FALSE(Exists("C:\\KV\\c2.DLL"));
    EXPECT_TRUE(Exists("C:\\KV\\c1.DLL"));
    EXPECT_EQ(GetPrivateProfileIntA("Components", "c2", 9, ScriptPath), 0u);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Component 1", "Component 3"}));
    EXPECT_EQ(MarksDrawn(), (std::vector<int>{IDB_UNCHECKED, IDB_UNCHECKED}));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page_, IDOK)));
    EXPECT_TRUE(Exists("C:\\KV\\UNINST.INI")) << "only the scrub run deletes the script";

    // One of the two left, while the other was removed meanwhile: nothing is left to list.
    winsim::ClearMessageBoxes();
    WritePrivateProfileStringA("Components", "c3", "0", ScriptPath);
    ClickMark(0);
    PressOk();
    EXPECT_EQ(Texts(), (std::vector<std::string>{StringOf(IDS_REMOVED),
                                                 StringOf(IDS_NOTHING_INSTALLED)}));
    EXPECT_FALSE(IsWindowVisible(page_));
}

TEST_P(SelectPageTest, AComponentRemovedMeanwhileCountsAsChosenButNotRemoved) {
    WriteComponents(2);
    ASSERT_TRUE(Open());
    ClickMark(0);
    WritePrivateProfileStringA("Components", "c1", "0", ScriptPath);
    PressOk();
    EXPECT_TRUE(Texts().empty()) << "no success message";
    EXPECT_TRUE(Exists("C:\\KV\\c1.DLL"));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Component 2"}));
}

TEST_P(SelectPageTest, EveryRowByHandTakesTheScrubPathWithCountsHonoured) {
    WriteComponents(2);
    WritePrivateProfileStringA("Fc1", "C:\\KV\\Common\\SHARED.DLL", "0", ScriptPath);
    Put("C:\\KV\\Common\\SHARED.DLL");
    SetCount("C:\\KV\\Common\\SHARED.DLL", 2);
    RegisterScript();
    ASSERT_TRUE(Open());
    ClickMark(0);
    ClickMark(1);
    PressOk();
    EXPECT_EQ(Texts(), (std::vector<std::string>{StringOf(IDS_REMOVED)}));
    EXPECT_FALSE(IsWindowVisible(page_)) << "the page ends";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page_, IDOK))) << "OK and Exit stay disabled";
    EXPECT_FALSE(Exists("C:\\KV\\UNINST.INI")) << "the scrub run deletes the script";
    EXPECT_TRUE(Exists("C:\\KV\\Common\\SHARED.DLL")) << "a count above 1 survives";
    EXPECT_EQ(ReadCount("C:\\KV\\Common\\SHARED.DLL"), 1u);
}

TEST_P(SelectPageTest, MoreThanTwentyRowsAreAllListedAndCheckable) {
    WriteComponents(23);
    ASSERT_TRUE(Open());
    ASSERT_EQ(Rows().size(), 23u);
    // The last row: scrolled into view by the keyboard, checked with space.
    for (int i = 0; i < 22; ++i)
        SendMessageA(List(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(SendMessageA(List(), LB_GETCARETINDEX, 0, 0), 22);
    EXPECT_GT(SendMessageA(List(), LB_GETTOPINDEX, 0, 0), 0) << "the list scrolled";
    SendMessageA(List(), WM_CHAR, ' ', 0);
    PressOk();
    EXPECT_FALSE(Exists("C:\\KV\\c23.DLL"));
    EXPECT_TRUE(Exists("C:\\KV\\c22.DLL"));
    EXPECT_EQ(Rows().size(), 22u);
}

TEST_P(SelectPageTest, OkDuringARemovalStartsNoSecondOne) {
    WriteComponents(2);
    ASSERT_TRUE(Open());
    ClickMark(0);
    // A second OK waits in the queue (a double click); the removal's message box dispatches it
    // while the first removal is still under way.
    PostMessageA(page_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PressOk();
    EXPECT_EQ(Texts(), (std::vector<std::string>{StringOf(IDS_REMOVED)}))
        << "the second OK neither removed again nor asked for a choice";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page_, IDOK)));
}

TEST_P(SelectPageTest, DestroyGivesBackTheListsProcedureAndEveryPicture) {
    WriteComponents(1);
    const int before = winsim::LiveGdiObjects();
    ASSERT_TRUE(Open());
    HWND list = List();
    WNDPROC during = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(list, GWLP_WNDPROC));
    EXPECT_EQ(during, CheckListProc);
    DestroyWindow(page_);
    page_ = nullptr;
    EXPECT_EQ(winsim::LiveGdiObjects(), before);
}

// The whole interactive run, as the user clicks through it.
class WizardTest : public SelectPageTest {
  protected:
    static int Start() {
        return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
    }
    static std::vector<std::string> Captions() {
        std::vector<std::string> out;
        for (const auto& w : winsim::Windows())
            if (w.dialog) out.push_back(w.text);
        return out;
    }
};
INSTANTIATE_EVERY_OS(WizardTest);

TEST_P(WizardTest, NextThenAMarkThenOkRemovesThatComponent) {
    WriteComponents(2);
    RegisterScript();
    winsim::MarkInUse("C:\\KV\\c1.DLL");
    for (int click : {IDOK, IDC_COMPONENT_LIST, IDOK}) // Next, the first row's mark, OK
        winsim::QueueDialogClick(click);
    winsim::QueueMessageBoxAnswer(IDOK);     // the component is removed
    winsim::QueueMessageBoxAnswer(IDCANCEL); // no restart now
    EXPECT_EQ(Start(), 0);
    // A file in use: the removal says it is done, and the restart is offered at the end.
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{StringOf(IDS_REMOVED), StringOf(IDS_RESTART_PROMPT)}));
    EXPECT_EQ(GetPrivateProfileIntA("Components", "c1", 9, ScriptPath), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("Components", "c2", 9, ScriptPath), 1u);
    EXPECT_TRUE(Exists("C:\\KV\\c2.DLL"));
    EXPECT_TRUE(winsim::Windows().empty()) << "the page ended with Exit, then the program";
    EXPECT_EQ(winsim::LiveGdiObjects(), 1) << "only the class's background brush stays";
}

TEST_P(WizardTest, CancelOnTheWelcomePageShowsNoSelectionPage) {
    WriteComponents(1);
    RegisterScript();
    winsim::QueueDialogClick(IDCANCEL);
    EXPECT_EQ(Start(), 0);
    EXPECT_TRUE(Texts().empty()) << "nothing deferred: FinishAndRestart asks nothing";
    for (const auto& call : winsim::Drawing())
        EXPECT_NE(call.resource, IDB_UNCHECKED) << "no list was drawn";
    EXPECT_TRUE(Exists("C:\\KV\\c1.DLL"));
}

} // namespace
