// Windows, the message queue and timers, painting and GDI objects, message boxes and the scripted
// user, other programs' windows, restart requests. Dialogs and list boxes: dialog_test.cpp.
#include "support/machine_fixture.h"
#include "data/usertest_ids.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;
LPVOID g_createParam = nullptr;
LRESULT g_createResult = 0;

bool Saw(UINT msg) {
    for (const Seen& s : g_seen)
        if (s.msg == msg) return true;
    return false;
}

std::vector<UINT> Messages(HWND hwnd) {
    std::vector<UINT> out;
    for (const Seen& s : g_seen)
        if (s.hwnd == hwnd) out.push_back(s.msg);
    return out;
}

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back(Seen{hwnd, msg, wParam, lParam});
    if (msg == WM_CREATE) {
        g_createParam = reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams;
        return g_createResult;
    }
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        RECT band{0, 0, 10, 5};
        FillRect(dc, &band, blue);
        DeleteObject(blue);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        TextOutA(dc, 4, 4, "Title", 5);
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (msg == WM_DESTROY && GetParent(hwnd) == nullptr &&
        !(GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD))
        PostQuitMessage(7);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class UserTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine();
        g_seen.clear();
        g_createResult = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = CreateSolidBrush(RGB(0, 0, 255));
        wc.lpszClassName = "TestFrame";
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    HWND NewFrame(DWORD style = 0, HWND owner = nullptr) {
        return CreateWindowExA(0, "TestFrame", "Frame", style, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                               owner, nullptr, GetModuleHandleA(nullptr), &g_seen);
    }
};

TEST_F(UserTest, ClassesRegisterOnceAndWindowsGetCreationMessages) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "testframe"; // class names ignore case
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    HWND w = NewFrame();
    ASSERT_NE(w, nullptr);
    EXPECT_LT(reinterpret_cast<uintptr_t>(w), 0x80000000u); // fits a 32-bit handle
    EXPECT_EQ(g_createParam, &g_seen);
    std::vector<UINT> got = Messages(w);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[0], static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(got[1], static_cast<UINT>(WM_CREATE));
    char title[16];
    EXPECT_EQ(GetWindowTextA(w, title, sizeof title), 5);
    EXPECT_STREQ(title, "Frame");
    // Not visible until shown; an overlapped window gets a size of the system's choosing.
    EXPECT_FALSE(IsWindowVisible(w));
    RECT r;
    ASSERT_TRUE(GetWindowRect(w, &r));
    EXPECT_EQ(r.right - r.left, 600);

    EXPECT_FALSE(UnregisterClassA("TestFrame", nullptr)); // a window still uses it
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    g_createResult = -1; // WM_CREATE refuses: no window
    EXPECT_EQ(NewFrame(), nullptr);
}

TEST_F(UserTest, QueueHandsOutPostedThenQuitThenPaint) {
    HWND w = NewFrame();
    ShowWindow(w, SW_SHOWNORMAL); // invalid now: a paint is due
    PostMessageA(w, WM_USER, 1, 0);
    PostMessageA(w, WM_USER + 1, 2, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    // A filter that excludes the paint leaves it waiting.
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_USER, WM_USER + 5, PM_REMOVE));
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
    DispatchMessageA(&m); // BeginPaint validates: no second WM_PAINT
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));

    PostMessageA(w, WM_USER + 2, 0, 0);
    PostQuitMessage(3); // the quit comes after what was posted before
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);

    // A quit due while the window still needs painting comes before the paint.
    InvalidateRect(w, nullptr, TRUE);
    PostQuitMessage(4);
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
}

TEST_F(UserTest, SentMessagesRunAtOnceWhilePostedOnesWait) {
    HWND w = NewFrame();
    PostMessageA(w, WM_USER, 0, 0);
    g_seen.clear();
    EXPECT_EQ(SendMessageA(w, WM_USER + 1, 0, 0), 0);
    EXPECT_EQ(Messages(w), std::vector<UINT>{WM_USER + 1});
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(m.hwnd, w);
    EXPECT_EQ(g_seen.size(), 1u) << "taking a message does not dispatch it";
    DispatchMessageA(&m);
    EXPECT_EQ(Messages(w), (std::vector<UINT>{WM_USER + 1, WM_USER}));
}

TEST_F(UserTest, DueTimersComeAfterPaintingAndAgainEachPeriod) {
    HWND w = NewFrame();
    ShowWindow(w, SW_SHOWNORMAL); // a paint is due
    ASSERT_NE(SetTimer(w, 9, 50, nullptr), 0u);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) << "not due yet";
    winsim::AdvanceClock(50);
    PostMessageA(w, WM_USER, 0, 0);
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
    DispatchMessageA(&m);
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(m.hwnd, w);
    EXPECT_EQ(m.wParam, 9u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "due again a period later";
    DWORD before = winsim::TickCount();
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_LE(winsim::TickCount(), before + 50);
    EXPECT_TRUE(KillTimer(w, 9));
    EXPECT_FALSE(KillTimer(w, 9));
}

std::vector<UINT_PTR> g_ticks;
void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
    g_ticks.push_back(id);
}

TEST_F(UserTest, ThreadTimersGetTheirOwnIdAndRunTheirProcedure) {
    g_ticks.clear();
    UINT_PTR first = SetTimer(nullptr, 77, 20, Tick); // the ID asked for is not used
    UINT_PTR second = SetTimer(nullptr, 77, 30, Tick);
    ASSERT_NE(first, 0u);
    EXPECT_NE(first, second);
    MSG m;
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_EQ(m.wParam, first);
    DispatchMessageA(&m);
    EXPECT_EQ(g_ticks, std::vector<UINT_PTR>{first});
    EXPECT_TRUE(KillTimer(nullptr, first));
    EXPECT_TRUE(KillTimer(nullptr, second));
}

TEST_F(UserTest, FiltersTakeAWindowsFamilyOrThreadMessagesButQuitAlways) {
    HWND top = NewFrame();
    HWND child = CreateWindowExA(0, "TestFrame", "", WS_CHILD, 0, 0, 10, 10, top,
                                 reinterpret_cast<HMENU>(5), nullptr, nullptr);
    HWND other = NewFrame();
    PostMessageA(other, WM_USER, 0, 0);
    PostMessageA(child, WM_USER + 1, 0, 0);
    PostMessageA(nullptr, WM_USER + 2, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, top, 0, 0, PM_REMOVE)); // its child's
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(m.hwnd, child);
    EXPECT_FALSE(PeekMessageA(&m, top, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_EQ(m.hwnd, nullptr);
    PostQuitMessage(0);
    ASSERT_TRUE(PeekMessageA(&m, top, WM_PAINT, WM_PAINT, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.hwnd, other);
}

TEST_F(UserTest, PaintingIsRecordedWithColoursAndText) {
    HWND w = NewFrame(WS_VISIBLE);
    winsim::ClearDrawing();
    ASSERT_TRUE(UpdateWindow(w)); // paints at once, background first
    std::vector<winsim::DrawCall> drawn = winsim::Drawing();
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].op, "FillRect"); // WM_ERASEBKGND with the class brush
    EXPECT_EQ(drawn[0].color, RGB(0, 0, 255));
    EXPECT_EQ(drawn[1].cx, 10);
    EXPECT_EQ(drawn[2].op, "TextOut");
    EXPECT_EQ(drawn[2].text, "Title");
    EXPECT_EQ(drawn[2].color, RGB(255, 255, 255));
    EXPECT_EQ(drawn[2].window, reinterpret_cast<uintptr_t>(w));
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    // Brushes made and deleted while painting, DCs given back: nothing left but the class brush.
    EXPECT_EQ(winsim::LiveGdiObjects(), 1);
}

TEST_F(UserTest, DeleteObjectRefusesAnObjectStillSelected) {
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 800);
    winsim::SetSetting("display", "height", "768");
    EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 768);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_MARK));
    ASSERT_NE(bmp, nullptr);
    BITMAP info;
    ASSERT_EQ(GetObjectA(bmp, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 5);
    EXPECT_EQ(info.bmHeight, 3);
    HGDIOBJ old = SelectObject(mem, bmp);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(SelectObject(CreateCompatibleDC(screen), bmp), nullptr); // one DC at a time
    winsim::ClearDrawing();
    EXPECT_TRUE(BitBlt(screen, 3, 4, 5, 3, mem, 0, 0, SRCCOPY));
    ASSERT_EQ(winsim::Drawing().size(), 1u);
    EXPECT_EQ(winsim::Drawing()[0].resource, IDB_MARK);

    int before = winsim::LiveGdiObjects();
    EXPECT_FALSE(DeleteObject(bmp)) << "still selected: refused, and it stays";
    EXPECT_EQ(winsim::LiveGdiObjects(), before);
    SelectObject(mem, old);
    EXPECT_EQ(winsim::LiveGdiObjects(), before) << "leaving the DC deletes nothing";
    EXPECT_TRUE(DeleteObject(bmp));
    EXPECT_EQ(winsim::LiveGdiObjects(), before - 1);
    EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH))); // stock objects stay
    EXPECT_TRUE(DeleteDC(mem));
    EXPECT_FALSE(DeleteDC(screen)); // a window's DC goes back with ReleaseDC
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
}

TEST_F(UserTest, DestroyingAWindowTakesOwnedWindowsFirstThenItsChildren) {
    HWND top = NewFrame();
    HWND child = CreateWindowExA(0, "TestFrame", "", WS_CHILD, 0, 0, 10, 10, top,
                                 reinterpret_cast<HMENU>(5), nullptr, nullptr);
    HWND owned = NewFrame(WS_POPUP, top);
    ASSERT_TRUE(child && owned);
    EXPECT_EQ(GetDlgItem(top, 5), child);
    PostMessageA(top, WM_USER, 0, 0);
    g_seen.clear();
    ASSERT_TRUE(DestroyWindow(top));
    std::vector<std::pair<HWND, UINT>> order;
    for (const Seen& s : g_seen)
        if (s.msg == WM_DESTROY || s.msg == WM_NCDESTROY) order.push_back({s.hwnd, s.msg});
    std::vector<std::pair<HWND, UINT>> want = {{owned, WM_DESTROY},   {owned, WM_NCDESTROY},
                                               {top, WM_DESTROY},     {child, WM_DESTROY},
                                               {child, WM_NCDESTROY}, {top, WM_NCDESTROY}};
    EXPECT_EQ(order, want);
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(DestroyWindow(top));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    MSG m; // the WM_USER posted to it went with it; its WM_DESTROY posted the quit
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
}

LRESULT CALLBACK CountingSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto prev = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == WM_USER + 9) return 99;
    return CallWindowProcA(prev, hwnd, msg, wParam, lParam);
}

TEST_F(UserTest, SubclassedWindowsChainToTheirOldProcedure) {
    HWND w = NewFrame();
    LONG_PTR prev =
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingSubclass));
    EXPECT_EQ(prev, reinterpret_cast<LONG_PTR>(RecordingProc));
    SetWindowLongPtrA(w, GWLP_USERDATA, prev);
    EXPECT_EQ(SendMessageA(w, WM_USER + 9, 0, 0), 99);
    g_seen.clear();
    SendMessageA(w, WM_USER + 1, 0, 0);
    EXPECT_TRUE(Saw(WM_USER + 1));
    // A pointer does not fit the 32-bit call on this machine: refused, not cut.
    EXPECT_EQ(SetWindowLongA(w, GWL_WNDPROC, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
}

TEST_F(UserTest, ClockMovesWithoutWaiting) {
    DWORD start = GetTickCount();
    int peeks = 0;
    MSG m;
    while (GetTickCount() < start + 2000) { // the start-up picture's wait
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
        ++peeks;
    }
    EXPECT_LT(peeks, 400);
    DWORD before = winsim::TickCount();
    Sleep(5000);
    EXPECT_EQ(winsim::TickCount(), before + 5000);

    HWND w = NewFrame();
    ASSERT_NE(SetTimer(w, 4, 1000, nullptr), 0u);
    before = winsim::TickCount();
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0)); // jumps to the timer
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(m.wParam, 4u);
    EXPECT_GE(winsim::TickCount(), before + 1000);
    EXPECT_TRUE(KillTimer(w, 4));
}

TEST_F(UserTest, WaitingForWhatNeverComesEndsTheProgram) {
    MSG m;
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(static_cast<int>(m.wParam), -1);
    bool said = false;
    for (const std::string& line : winsim::DebugOutput())
        said = said || line.find("GetMessageA") != std::string::npos;
    EXPECT_TRUE(said);
}

TEST_F(UserTest, MapModesConvertDeviceUnits) {
    HDC dc = GetDC(nullptr);
    POINT p{96, 96};
    EXPECT_EQ(SetMapMode(dc, MM_LOMETRIC), MM_TEXT);
    ASSERT_TRUE(DPtoLP(dc, &p, 1));
    EXPECT_EQ(p.x, 254); // an inch is 254 tenths of a millimetre, upwards
    EXPECT_EQ(p.y, -254);
    ASSERT_TRUE(LPtoDP(dc, &p, 1));
    EXPECT_EQ(p.x, 96);
    EXPECT_EQ(GetMapMode(dc), MM_LOMETRIC);
    ReleaseDC(nullptr, dc);
}

// ---- message boxes, other programs, restart -------------------------------------------------

TEST_F(UserTest, MessageBoxesTakeQueuedAnswersElseTheDefaultButton) {
    HWND owner = NewFrame();
    winsim::QueueMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(MessageBoxA(owner, "Reboot?", "KV", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "Reboot?", "KV", MB_OKCANCEL), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Keep?", "KV", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
    winsim::QueueMessageBoxAnswer(IDYES); // not offered by an OK box: it waits for one that is
    EXPECT_EQ(MessageBoxA(nullptr, "Done", nullptr, MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "KV", MB_YESNO | MB_DEFBUTTON2), IDYES);

    std::vector<winsim::MessageBoxRecord> boxes = winsim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].owner, reinterpret_cast<uintptr_t>(owner));
    EXPECT_EQ(boxes[0].caption, "KV");
    EXPECT_EQ(boxes[0].text, "Reboot?");
    EXPECT_EQ(boxes[0].type, static_cast<uint32_t>(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(boxes[3].caption, "Error"); // no caption given
    // Another process reads them from the machine's journal.
    std::vector<std::string> lines = winsim::JournalSince(0);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "messagebox 0x21 CANCEL KV\tReboot?");
}

TEST_F(UserTest, OtherProgramsWindowsCloseOnWmClose) {
    winsim::OpenForeignWindow("PW_DocumentAssistantClass", "Document Assistant");
    winsim::OpenForeignWindow("PWCopyUtilAppClass", "Copy Utility");
    HWND own = NewFrame();
    EXPECT_EQ(FindWindowA("TestFrame", nullptr), own);
    EXPECT_EQ(FindWindowA(nullptr, "frame"), own); // titles compare without case too
    HWND assistant = FindWindowA("pw_documentassistantclass", nullptr);
    ASSERT_NE(assistant, nullptr);
    EXPECT_EQ(FindWindowA("pwzriFrameOrView", nullptr), nullptr);
    EXPECT_FALSE(DestroyWindow(assistant)); // not this program's to destroy
    EXPECT_EQ(SendMessageA(assistant, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(assistant));
    EXPECT_EQ(FindWindowA("PW_DocumentAssistantClass", nullptr), nullptr);
    EXPECT_EQ(winsim::ForeignWindows(), std::vector<std::string>{"PWCopyUtilAppClass"});
    EXPECT_EQ(winsim::ClosedWindows(), std::vector<std::string>{"PW_DocumentAssistantClass"});
    EXPECT_EQ(winsim::GetSetting("windows", "PW_DocumentAssistantClass", "gone"), "gone");
}

TEST_F(UserTest, RestartOnNtNeedsTheShutdownPrivilegeEnabled) {
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
    HANDLE token = nullptr;
    ASSERT_TRUE(
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid));
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
    CloseHandle(token);
    EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(winsim::RestartRequests(), std::vector<uint32_t>{EWX_REBOOT});

    NewMachine(winsim::Os::Win98); // 95/98 have no privileges to ask for
    EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(winsim::JournalSince(0), std::vector<std::string>{"restart 0x2"});
}

} // namespace
