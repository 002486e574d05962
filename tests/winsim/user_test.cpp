// Windows, the message queue, dialogs from templates, painting, the scripted user and other
// programs' windows.
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

// ---- dialogs ----------------------------------------------------------------------------------

struct DialogLog {
    std::vector<UINT> messages;
    LPARAM initParam = 0;
    UINT itemHeightAsked = 0;
    std::vector<int> commands;
    std::vector<UINT> drawn;
    INT_PTR endWith = 0;
    bool endInInit = false;
};
DialogLog g_dlg;

INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_dlg.messages.push_back(msg);
    switch (msg) {
    case WM_MEASUREITEM:
        g_dlg.itemHeightAsked = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight;
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 16;
        return TRUE;
    case WM_INITDIALOG:
        g_dlg.initParam = lParam;
        if (g_dlg.endInInit) {
            EndDialog(hwnd, -1);
            return FALSE;
        }
        return TRUE;
    case WM_DRAWITEM:
        g_dlg.drawn.push_back(reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->itemID);
        return TRUE;
    case WM_COMMAND:
        g_dlg.commands.push_back(LOWORD(wParam));
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hwnd, LOWORD(wParam) == IDOK ? g_dlg.endWith : -1);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

class DialogTest : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        g_dlg = DialogLog{};
    }
};

TEST_F(DialogTest, ModelessDialogIsBuiltFromItsTemplate) {
    HWND owner = NewFrame(WS_VISIBLE);
    HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE), owner,
                                  PageProc, 42);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(g_dlg.initParam, 42);
    // The owner-drawn list asks its item height before the dialog initialises.
    auto at = [](UINT msg) {
        auto it = std::find(g_dlg.messages.begin(), g_dlg.messages.end(), msg);
        return it - g_dlg.messages.begin();
    };
    EXPECT_EQ(g_dlg.itemHeightAsked, 13u);
    EXPECT_LT(at(WM_MEASUREITEM), at(WM_INITDIALOG));
    EXPECT_LT(at(WM_SETFONT), at(WM_INITDIALOG));
    EXPECT_TRUE(IsWindowVisible(dlg)); // WS_VISIBLE in the template: shown after WM_INITDIALOG
    char caption[32];
    GetWindowTextA(dlg, caption, sizeof caption);
    EXPECT_STREQ(caption, "Select Components");

    // Dialog units of MS Sans Serif 8 are 6 x 13 pixels per 4 x 8 units.
    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 162);
    HWND list = GetDlgItem(dlg, IDC_LIST);
    ASSERT_NE(list, nullptr);
    RECT lr;
    GetWindowRect(list, &lr);
    RECT dr;
    GetWindowRect(dlg, &dr);
    EXPECT_EQ(lr.right - lr.left, 180);
    EXPECT_EQ(GetDlgCtrlID(list), IDC_LIST);
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_ALL)); // the first tab stop
    char text[32];
    EXPECT_EQ(GetDlgItemTextA(dlg, IDC_TITLE, text, sizeof text), 13u);
    EXPECT_STREQ(text, "Please select");

    // The list keeps strings with item data; painting asks the dialog to draw each row.
    EXPECT_EQ(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Printer")), 0);
    EXPECT_EQ(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Scanner")), 1);
    SendMessageA(list, LB_SETITEMDATA, 1, 77);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 1, 0), 77);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 2, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), 16);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        if (!IsDialogMessageA(dlg, &m)) DispatchMessageA(&m);
    EXPECT_EQ(g_dlg.drawn, (std::vector<UINT>{0, 1}));

    // A click on the second row moves the caret there; the check box toggles and tells the page.
    SendMessageA(list, WM_LBUTTONDOWN, 0, MAKELPARAM(3, 20));
    EXPECT_EQ(SendMessageA(list, LB_GETCARETINDEX, 0, 0), 1);
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_ALL), 0u);
    SendDlgItemMessageA(dlg, IDC_ALL, BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_ALL), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(g_dlg.commands.back(), IDC_ALL);

    // A modeless dialog's EndDialog only hides it; DestroyWindow ends it.
    EnableWindow(GetDlgItem(dlg, IDOK), FALSE);
    SendMessageA(dlg, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(IsWindowVisible(dlg));
    EXPECT_TRUE(IsWindow(dlg));
    int live = winsim::LiveGdiObjects();
    EXPECT_TRUE(DestroyWindow(dlg));
    EXPECT_EQ(winsim::LiveGdiObjects(), live - 1); // the template's font went with it
}

TEST_F(DialogTest, ModalDialogRunsUntilTheScriptedUserEndsIt) {
    HWND owner = NewFrame(WS_VISIBLE);
    g_dlg.endWith = 5;
    winsim::QueueDialogClick(IDC_ALL); // checks the box, then OK
    winsim::QueueDialogClick(IDOK);
    EXPECT_EQ(
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE), owner, PageProc, 1),
        5);
    EXPECT_EQ(g_dlg.commands, (std::vector<int>{IDC_ALL, IDOK}));
    EXPECT_TRUE(IsWindowEnabled(owner)); // disabled while the dialog ran, enabled again
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE),
                              reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7777)), PageProc, 1),
              0)
        << "a bad owner is told by 0, any other failure by -1";

    // With nothing queued the user presses Escape.
    g_dlg = DialogLog{};
    EXPECT_EQ(
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE), owner, PageProc, 0),
        -1);
    EXPECT_EQ(g_dlg.commands, (std::vector<int>{IDCANCEL}));

    // Ended while it initialises: it never shows and the user is not asked.
    g_dlg = DialogLog{};
    g_dlg.endInInit = true;
    winsim::ClearDrawing();
    EXPECT_EQ(
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE), owner, PageProc, 0),
        -1);
    EXPECT_TRUE(g_dlg.commands.empty());
    EXPECT_EQ(std::count(g_dlg.messages.begin(), g_dlg.messages.end(), static_cast<UINT>(WM_PAINT)),
              0);
}

TEST_F(DialogTest, ExtendedAndFontlessTemplatesAndMissingOnes) {
    HWND ex = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE_EX), nullptr,
                                 PageProc, 0);
    ASSERT_NE(ex, nullptr);
    EXPECT_NE(GetDlgItem(ex, IDOK), nullptr);
    EXPECT_NE(GetDlgItem(ex, 1300), nullptr);
    EXPECT_FALSE(IsWindowVisible(ex)); // no WS_VISIBLE: a modeless dialog stays hidden
    // Without a font the system font's units apply: 8 x 16 pixels per 4 x 8 units.
    HWND plain = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_NOFONT),
                                    nullptr, PageProc, 0);
    ASSERT_NE(plain, nullptr);
    RECT r;
    GetWindowRect(plain, &r);
    EXPECT_EQ(r.left, 110);
    EXPECT_EQ(r.top, 82);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(999), nullptr, PageProc, 0),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(DialogTest, KeysInADialogPressTheDefaultButtonOrCancel) {
    HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE), nullptr,
                                  PageProc, 0);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(LOWORD(SendMessageA(dlg, DM_GETDEFID, 0, 0)), IDOK);
    MSG key{};
    key.hwnd = GetDlgItem(dlg, IDC_LIST);
    key.message = WM_KEYDOWN;
    key.wParam = VK_RETURN;
    EXPECT_TRUE(IsDialogMessageA(dlg, &key));
    key.wParam = VK_ESCAPE;
    EXPECT_TRUE(IsDialogMessageA(dlg, &key));
    EXPECT_EQ(g_dlg.commands, (std::vector<int>{IDOK, IDCANCEL}));
    // A disabled default button is not pressed; a message for another window is not the
    // dialog's.
    EnableWindow(GetDlgItem(dlg, IDOK), FALSE);
    key.wParam = VK_RETURN;
    EXPECT_TRUE(IsDialogMessageA(dlg, &key));
    EXPECT_EQ(g_dlg.commands.size(), 2u);
    key.hwnd = NewFrame();
    EXPECT_FALSE(IsDialogMessageA(dlg, &key));
}

TEST_F(DialogTest, ListBoxesSortAndKeepDataForOwnerDrawnRows) {
    HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE_EX), nullptr,
                                  PageProc, 0);
    HWND sorted = CreateWindowExA(0, "ListBox", "", WS_CHILD | LBS_SORT | LBS_HASSTRINGS, 0, 0, 100,
                                  100, dlg, reinterpret_cast<HMENU>(1), nullptr, nullptr);
    for (const char* t : {"Scanner", "printer", "Desk"})
        SendMessageA(sorted, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    char text[16];
    EXPECT_EQ(SendMessageA(sorted, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text)), 7);
    EXPECT_STREQ(text, "printer"); // sorted without regard to case
    EXPECT_EQ(SendMessageA(sorted, LB_GETTEXTLEN, 3, 0), LB_ERR);

    // Owner-drawn without strings: the "string" is the item's data.
    HWND data = CreateWindowExA(0, "ListBox", "", WS_CHILD | LBS_OWNERDRAWFIXED, 0, 0, 100, 100,
                                dlg, reinterpret_cast<HMENU>(2), nullptr, nullptr);
    SendMessageA(data, LB_ADDSTRING, 0, 1234);
    EXPECT_EQ(SendMessageA(data, LB_GETITEMDATA, 0, 0), 1234);
    SendMessageA(data, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessageA(data, LB_GETCOUNT, 0, 0), 0);
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
    winsim::QueueMessageBoxAnswer(IDYES); // not offered by an OK box
    EXPECT_EQ(MessageBoxA(nullptr, "Done", nullptr, MB_OK), IDOK);

    std::vector<winsim::MessageBoxRecord> boxes = winsim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].owner, reinterpret_cast<uintptr_t>(owner));
    EXPECT_EQ(boxes[0].caption, "KV");
    EXPECT_EQ(boxes[0].text, "Reboot?");
    EXPECT_EQ(boxes[0].type, static_cast<uint32_t>(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(boxes[3].caption, "Error"); // no caption given
    // Another process reads them from the machine's journal.
    std::vector<std::string> lines = winsim::JournalSince(0);
    ASSERT_EQ(lines.size(), 4u);
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
