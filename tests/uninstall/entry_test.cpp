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

} // namespace
