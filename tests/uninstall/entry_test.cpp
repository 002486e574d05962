#include "support/machine_fixture.h"

#include "pwuninst.h"

#include <lm.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class EntryTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        Instance = GetModuleHandleA(nullptr);
        IsWindowsNT = GetParam() == winsim::Os::Nt4 ? 1 : 0;
        ScriptPath[0] = '\0';
        RestartNeeded = BatchNeeded = 0;
        BackgroundWindow = PageWindow = nullptr;
    }
    bool Nt() const { return GetParam() == winsim::Os::Nt4; }
    // A text of the program's string table; its wording is checked once, in resources_test.
    static std::string StringOf(UINT id) {
        char text[UN_TEXT_SIZE];
        const int n = LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
        return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
    }
    static int Start(const char* commandLine) {
        return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(commandLine),
                       SW_SHOWNORMAL);
    }
};
INSTANTIATE_EVERY_OS(EntryTest);

TEST_P(EntryTest, RightsCheckAnswersTheUsersPrivilegeOnNtOnly) {
    for (int privilege : {USER_PRIV_GUEST, USER_PRIV_USER, USER_PRIV_ADMIN}) {
        winsim::SetSetting("machine", "privilege", std::to_string(privilege));
        EXPECT_EQ(IsAdministrator(), Nt() ? privilege : USER_PRIV_ADMIN) << privilege;
    }
}

// Windows NT only: 95/98 make no check.
class NtEntryTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine(winsim::Os::Nt4);
        Instance = GetModuleHandleA(nullptr);
        IsWindowsNT = 1;
    }
};

TEST_F(NtEntryTest, RightsCheckWithoutAnAnswerCountsAsAdministrator) {
    winsim::SetSetting("machine", "privilege", "1");
    for (const char* call : {"GetUserNameW", "LoadLibraryA", "NetUserGetInfo"}) {
        winsim::FailCall(call, call[0] == 'N' ? NERR_UserNotFound : ERROR_MOD_NOT_FOUND);
        EXPECT_EQ(IsAdministrator(), USER_PRIV_ADMIN) << call;
        winsim::ClearFailures();
    }
    EXPECT_EQ(IsAdministrator(), USER_PRIV_USER);
}

TEST_P(EntryTest, AUserWhoIsNoAdministratorIsTurnedAwayBeforeAnyWindow) {
    winsim::SetSetting("machine", "privilege", "1");
    const int code = Start("scrub");
    auto boxes = winsim::MessageBoxes();
    if (!Nt()) {
        EXPECT_EQ(code, 0) << "Windows 95/98 check no rights";
        return;
    }
    EXPECT_EQ(code, -1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, 0u);
    EXPECT_EQ(boxes[0].caption, StringOf(IDS_CAPTION));
    EXPECT_EQ(boxes[0].text, StringOf(IDS_NOT_ADMINISTRATOR));
    EXPECT_EQ(boxes[0].type, static_cast<uint32_t>(MB_ICONERROR));
    EXPECT_TRUE(winsim::Windows().empty());
    EXPECT_TRUE(winsim::Drawing().empty());
}

TEST_P(EntryTest, ScrubWithoutAScriptSaysSoAndEnds) {
    const uint32_t before = winsim::TickCount();
    EXPECT_EQ(Start("SCRUB"), 0);
    auto boxes = winsim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, StringOf(IDS_NO_SCRIPT_PATH));
    EXPECT_EQ(boxes[0].caption, StringOf(IDS_CAPTION));
    EXPECT_EQ(boxes[0].type, static_cast<uint32_t>(MB_ICONERROR));
    EXPECT_NE(boxes[0].owner, 0u) << "owned by the background window";
    // The start-up picture stayed its 2 seconds, painted after the run, centred on the screen.
    EXPECT_GE(winsim::TickCount() - before, 2000u);
    bool painted = false;
    for (const auto& call : winsim::Drawing())
        if (call.op == "BitBlt" && call.resource == IDB_SPLASH) {
            painted = true;
            EXPECT_EQ(call.cx, 322);
            EXPECT_EQ(call.cy, 142);
        }
    EXPECT_TRUE(painted);
    EXPECT_TRUE(winsim::Windows().empty()) << "every window is destroyed";
    EXPECT_TRUE(winsim::RestartRequests().empty());
    EXPECT_EQ(winsim::LiveGdiObjects(), 1) << "only the class's background brush stays";
}

TEST_P(EntryTest, OnlyTheWholeWordScrubStartsTheScrubRun) {
    for (const char* line : {"scrub ", "/scrub", ""}) {
        winsim::ClearMessageBoxes();
        winsim::ClearDrawing();
        EXPECT_EQ(Start(line), 0) << line;
        // The wizard: the welcome page finds no script and says so.
        auto boxes = winsim::MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << line;
        EXPECT_EQ(boxes[0].text, "The Uninstaller cannot continue due to a missing or corrupt "
                                 "uninstallation file.");
    }
}

TEST_P(EntryTest, BackgroundRunsFromBlueToBlackWithTheTitleTwice) {
    EXPECT_EQ(Start(""), 0);
    // The background's own painting: the bands its WM_PAINT fills before it draws the title
    // (the class brush's erase comes first).
    std::vector<winsim::DrawCall> calls = winsim::Drawing(), bands, titles;
    for (const auto& call : calls)
        if (call.op == "TextOut") titles.push_back(call);
    ASSERT_FALSE(titles.empty());
    for (const auto& call : calls) {
        if (call.op == "TextOut") break;
        if (call.op == "FillRect" && call.window == titles[0].window) bands.push_back(call);
    }
    ASSERT_GE(bands.size(), 256u);
    bands.erase(bands.begin(), bands.end() - 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(bands[i].color, static_cast<uint32_t>(RGB(0, 0, 255 - i))) << i;
    EXPECT_EQ(bands[0].y, 0);
    EXPECT_EQ(bands[255].y + bands[255].cy, 600) << "the last band ends at the bottom";
    EXPECT_EQ(bands[128].cx, 801) << "one pixel past the right edge";
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[0].text, StringOf(IDS_CAPTION));
    EXPECT_EQ(titles[0].x, 8);
    EXPECT_EQ(titles[0].color, static_cast<uint32_t>(RGB(0, 0, 0)));
    EXPECT_EQ(titles[1].x, 4);
    EXPECT_EQ(titles[1].color, static_cast<uint32_t>(RGB(255, 255, 255)));
    // A tenth of the 600-pixel screen, as character height.
    EXPECT_EQ(titles[1].face, "Times");
    EXPECT_EQ(titles[1].height, -60);
}

// The background as it shows on the screen, at two screen heights: 256 bands from pure blue to
// black, and the title's white copy over its black one.
TEST_P(EntryTest, BackgroundOnTheScreenRunsFromBlueToBlackWhateverItsHeight) {
    for (int height : {600, 1000}) {
        winsim::SetSetting("display", "height", std::to_string(height));
        ScreenWidth = 800;
        ScreenHeight = height;
        WNDCLASSA wc{};
        wc.lpfnWndProc = BackgroundWndProc;
        wc.hInstance = Instance;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = "BandsTest";
        RegisterClassA(&wc);
        HWND w = CreateWindowExA(0, "BandsTest", nullptr, 0, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                 nullptr, nullptr, Instance, nullptr);
        ASSERT_TRUE(w);
        SetWindowLongA(w, GWL_STYLE, WS_CLIPSIBLINGS);
        ShowWindow(w, SW_SHOWMAXIMIZED);
        UpdateWindow(w);
        const winsim::ScreenPicture screen = winsim::CaptureScreen();
        ASSERT_EQ(screen.height, height);
        // Each band's middle, right of the title: blue falls by one a band.
        const double band = height / 256.0;
        for (int i = 0; i < 256; ++i) {
            const int y = static_cast<int>((i + 0.5) * band);
            if (y < height / 5) continue; // the title's rows
            EXPECT_EQ(screen.At(799, y), static_cast<uint32_t>(255 - i)) << height << " band " << i;
        }
        EXPECT_EQ(screen.At(0, height - 1), 0u) << "black at the bottom";
        // The first glyph ("K"): white strokes from (4, 4), black ones showing below them.
        const int em = height / 10;
        bool white = false, black = false;
        for (int y = 4; y < 4 + em; ++y)
            for (int x = 4; x < 4 + em / 2; ++x) {
                white = white || screen.At(x, y) == 0xFFFFFFu;
                black = black || screen.At(x + 4, y + 4) == 0u;
            }
        EXPECT_TRUE(white) << height;
        EXPECT_TRUE(black) << height;
        DestroyWindow(w);
        UnregisterClassA("BandsTest", Instance);
    }
}

} // namespace
