// Dialogs built from their templates, the dialog manager, the scripted user of modal dialogs,
// and the list box control.
#include "support/machine_fixture.h"
#include "data/usertest_ids.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct DialogLog {
    std::vector<UINT> messages;
    LPARAM initParam = 0;
    UINT itemHeightAsked = 0;
    std::vector<int> commands;
    std::vector<UINT> drawn;
    std::vector<DRAWITEMSTRUCT> draws;
    INT_PTR endWith = 0;
    bool endInInit = false;
    std::vector<const char*> rows; // added to the list when the dialog initialises
    bool disableOk = false;
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
        for (const char* row : g_dlg.rows)
            SendDlgItemMessageA(hwnd, IDC_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
        if (g_dlg.disableOk) EnableWindow(GetDlgItem(hwnd, IDOK), FALSE);
        if (g_dlg.endInInit) {
            EndDialog(hwnd, -1);
            return FALSE;
        }
        return TRUE;
    case WM_DRAWITEM:
        g_dlg.drawn.push_back(reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->itemID);
        g_dlg.draws.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
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

class DialogTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine();
        g_dlg = DialogLog{};
        RegisterTestClass("TestOwner", DefWindowProcA);
    }
    static void RegisterTestClass(const char* name, WNDPROC proc) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = name;
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    // An overlapped window to own dialogs.
    HWND NewFrame(DWORD style = 0) {
        return CreateWindowExA(0, "TestOwner", "Owner", style, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    HWND NewDialog(int id) {
        return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr,
                                  PageProc, 0);
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

// Where a window lies in its parent's client area, as the control API reports it.
RECT PlaceOf(HWND hwnd) {
    for (const winsim::WindowInfo& w : winsim::Windows())
        if (w.handle == reinterpret_cast<uintptr_t>(hwnd))
            return RECT{w.x, w.y, w.x + w.cx, w.y + w.cy};
    return RECT{-1, -1, -1, -1};
}

std::string ClassOf(HWND hwnd) {
    for (const winsim::WindowInfo& w : winsim::Windows())
        if (w.handle == reinterpret_cast<uintptr_t>(hwnd)) return w.className;
    return "";
}

TEST_F(DialogTest, TemplateControlsAreChildWindowsPlacedInDialogUnits) {
    HWND dlg = NewDialog(IDD_PAGE);
    ASSERT_NE(dlg, nullptr);
    // MS Sans Serif 8: 6 x 13 pixels per 4 x 8 dialog units, rounded down.
    const struct {
        int id;
        const char* className;
        RECT place;
    } kControls[] = {{IDC_TITLE, "Static", {15, 13, 165, 29}},
                     {IDC_ALL, "Button", {15, 32, 165, 48}},
                     {IDC_LIST, "ListBox", {15, 55, 195, 120}},
                     {IDOK, "Button", {135, 130, 210, 152}},
                     {IDCANCEL, "Button", {217, 130, 292, 152}}};
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    for (const auto& want : kControls) {
        SCOPED_TRACE(want.id);
        HWND c = GetDlgItem(dlg, want.id);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(GetParent(c), dlg);
        EXPECT_TRUE(GetWindowLongA(c, GWL_STYLE) & WS_CHILD);
        EXPECT_EQ(ClassOf(c), want.className);
        RECT got = PlaceOf(c);
        EXPECT_EQ(got.left, want.place.left);
        EXPECT_EQ(got.top, want.place.top);
        EXPECT_EQ(got.right, want.place.right);
        EXPECT_EQ(got.bottom, want.place.bottom);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)), font);
    }
    RECT units{10, 20, 110, 30}; // IDC_ALL's
    ASSERT_TRUE(MapDialogRect(dlg, &units));
    EXPECT_EQ(units.left, 15);
    EXPECT_EQ(units.bottom, 48);
    EXPECT_FALSE(MapDialogRect(NewFrame(), &units)); // not a dialog

    // The extended form: help IDs, the styles in the other order, DWORD control IDs, and
    // controls named by class atom.
    HWND ex = NewDialog(IDD_PAGE_EX);
    ASSERT_NE(ex, nullptr);
    RECT client;
    GetClientRect(ex, &client);
    EXPECT_EQ(client.right, 150);
    EXPECT_EQ(client.bottom, 81);
    EXPECT_EQ(ClassOf(GetDlgItem(ex, IDOK)), "Button");
    EXPECT_EQ(ClassOf(GetDlgItem(ex, 1300)), "Static");
    EXPECT_EQ(GetWindowLongA(GetDlgItem(ex, 1300), GWL_STYLE) & 0x1F, SS_BLACKFRAME);
    EXPECT_EQ(PlaceOf(GetDlgItem(ex, 1300)).top, 39);
    char title[16];
    GetWindowTextA(ex, title, sizeof title);
    EXPECT_STREQ(title, "Extended");
}

TEST_F(DialogTest, ADialogFailsUnderItsOwnNameNotUnderCreateWindowExA) {
    winsim::FailCall("CreateWindowExA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(NewFrame(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    HWND dlg = NewDialog(IDD_PAGE);
    ASSERT_NE(dlg, nullptr) << "the dialog manager makes its windows itself";
    EXPECT_NE(GetDlgItem(dlg, IDC_LIST), nullptr);
    winsim::ClearFailures();
    winsim::FailCall("CreateDialogParamA", ERROR_RESOURCE_DATA_NOT_FOUND, 1);
    EXPECT_EQ(NewDialog(IDD_PAGE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_NE(NewDialog(IDD_PAGE), nullptr);
}

TEST_F(DialogTest, ListBoxesAddInsertDeleteAndKeepItemDataWithTheirItems) {
    HWND dlg = NewDialog(IDD_PAGE_EX);
    HWND list = CreateWindowExA(0, "ListBox", "", WS_CHILD, 0, 0, 100, 100, dlg,
                                reinterpret_cast<HMENU>(3), nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    auto add = [&](UINT msg, int at, const char* text) {
        return SendMessageA(list, msg, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text));
    };
    EXPECT_EQ(add(LB_ADDSTRING, 0, "b"), 0);
    EXPECT_EQ(add(LB_ADDSTRING, 0, "d"), 1); // unsorted: at the end
    EXPECT_EQ(add(LB_INSERTSTRING, 1, "c"), 1);
    EXPECT_EQ(add(LB_INSERTSTRING, 0, "a"), 0);
    EXPECT_EQ(add(LB_INSERTSTRING, -1, "e"), 4); // -1: at the end
    EXPECT_EQ(add(LB_INSERTSTRING, 6, "x"), LB_ERR);
    ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 5);
    std::string order;
    for (int i = 0; i < 5; ++i) {
        char text[8] = "";
        EXPECT_EQ(SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text)), 1);
        order += text;
    }
    EXPECT_EQ(order, "abcde");

    // Item data travels with its item when others come and go before it.
    EXPECT_EQ(SendMessageA(list, LB_SETITEMDATA, 2, 42), TRUE);
    add(LB_INSERTSTRING, 0, "0");
    EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 3, 0), 42);
    EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, 0, 0), 5); // the count left
    EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 2, 0), 42);
    EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, 9, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_SETITEMDATA, 9, 1), LB_ERR);
}

TEST_F(DialogTest, ListBoxesSelectOneItemOrManyAsTheirStyleSays) {
    HWND dlg = NewDialog(IDD_PAGE_EX);
    auto make = [&](DWORD style, int id) {
        HWND list =
            CreateWindowExA(0, "ListBox", "", WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 100, dlg,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
        for (const char* t : {"a", "b", "c"})
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
        return list;
    };
    HWND one = make(LBS_NOTIFY, 4);
    EXPECT_EQ(SendMessageA(one, LB_GETCURSEL, 0, 0), LB_ERR); // nothing selected yet
    EXPECT_EQ(SendMessageA(one, LB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(SendMessageA(one, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageA(one, LB_GETSEL, 1, 0), 1);
    EXPECT_EQ(SendMessageA(one, LB_GETSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageA(one, LB_SETSEL, TRUE, 2), LB_ERR); // only for many
    EXPECT_EQ(SendMessageA(one, LB_GETSELCOUNT, 0, 0), LB_ERR);
    // The arrow key moves the selection and tells the parent; a click on a row selects it.
    g_dlg.commands.clear();
    SendMessageA(one, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(SendMessageA(one, LB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(g_dlg.commands, std::vector<int>{4});
    SendMessageA(one, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 2)); // row 0 (13 pixels a row)
    EXPECT_EQ(SendMessageA(one, LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageA(one, LB_SETCURSEL, static_cast<WPARAM>(-1), 0), LB_ERR); // clears
    EXPECT_EQ(SendMessageA(one, LB_GETCURSEL, 0, 0), LB_ERR);

    HWND many = make(LBS_MULTIPLESEL, 5);
    EXPECT_EQ(SendMessageA(many, LB_SETCURSEL, 1, 0), LB_ERR);
    SendMessageA(many, LB_SETSEL, TRUE, 0);
    SendMessageA(many, LB_SETSEL, TRUE, 2);
    EXPECT_EQ(SendMessageA(many, LB_GETSELCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(many, LB_GETSEL, 1, 0), 0);
    EXPECT_EQ(SendMessageA(many, LB_SETSEL, TRUE, 7), LB_ERR);
    SendMessageA(many, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 15)); // row 1 toggles on, 2 stays
    EXPECT_EQ(SendMessageA(many, LB_GETSELCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageA(many, LB_GETCARETINDEX, 0, 0), 1);
    SendMessageA(many, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 15)); // and off again
    EXPECT_EQ(SendMessageA(many, LB_GETSEL, 1, 0), 0);
    SendMessageA(many, LB_SETSEL, FALSE, static_cast<LPARAM>(-1)); // -1: every item
    EXPECT_EQ(SendMessageA(many, LB_GETSELCOUNT, 0, 0), 0);
}

TEST_F(DialogTest, OwnerDrawnListsMeasureOnceAndDrawEachVisibleRow) {
    HWND dlg = NewDialog(IDD_PAGE);
    HWND list = GetDlgItem(dlg, IDC_LIST);
    for (const char* t : {"Printer", "Scanner", "Fax", "Modem"})
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    SendMessageA(list, LB_SETITEMDATA, 1, 77);
    // Three rows fit: the top row goes no lower than where the last page is full.
    EXPECT_EQ(SendMessageA(list, LB_SETTOPINDEX, 3, 0), 0);
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 1);
    MSG m;
    auto pump = [&] {
        g_dlg.draws.clear();
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            if (!IsDialogMessageA(dlg, &m)) DispatchMessageA(&m);
    };
    pump();
    EXPECT_EQ(
        std::count(g_dlg.messages.begin(), g_dlg.messages.end(), static_cast<UINT>(WM_MEASUREITEM)),
        1)
        << "asked once, when the list was made, not per item";
    // From the top index on, each row in the list's height, with its data and rectangle.
    ASSERT_EQ(g_dlg.draws.size(), 3u);
    const DRAWITEMSTRUCT& first = g_dlg.draws[0];
    EXPECT_EQ(first.CtlType, static_cast<UINT>(ODT_LISTBOX));
    EXPECT_EQ(first.CtlID, static_cast<UINT>(IDC_LIST));
    EXPECT_EQ(first.hwndItem, list);
    EXPECT_EQ(first.itemID, 1u);
    EXPECT_EQ(first.itemData, 77u);
    EXPECT_EQ(first.itemAction, static_cast<UINT>(ODA_DRAWENTIRE));
    EXPECT_EQ(first.itemState, 0u);
    EXPECT_EQ(first.rcItem.top, 0);
    EXPECT_EQ(first.rcItem.bottom, 16);
    EXPECT_EQ(g_dlg.draws[1].itemID, 2u);
    EXPECT_EQ(g_dlg.draws[1].rcItem.top, 16);
    RECT item;
    ASSERT_EQ(SendMessageA(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item)), 1);
    EXPECT_EQ(item.top, 16);
    EXPECT_EQ(item.bottom, 32);

    // A click selects the row under it (extended selection) and takes the focus: the row is
    // drawn selected, with the focus, and the page hears of the change.
    g_dlg.commands.clear();
    SendMessageA(list, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 20)); // row 2
    EXPECT_EQ(GetFocus(), list);
    EXPECT_EQ(g_dlg.commands, std::vector<int>{IDC_LIST});
    pump();
    ASSERT_EQ(g_dlg.draws.size(), 3u);
    EXPECT_EQ(g_dlg.draws[0].itemState, 0u);
    EXPECT_EQ(g_dlg.draws[1].itemState, static_cast<UINT>(ODS_SELECTED | ODS_FOCUS));
    EXPECT_EQ(g_dlg.draws[2].itemState, 0u);
}

TEST_F(DialogTest, ListShowsItsScrollBarOnlyWhileItsRowsPassItsHeight) {
    HWND dlg = NewDialog(IDD_PAGE);
    HWND list = GetDlgItem(dlg, IDC_LIST);
    auto scrollBar = [&] { return (GetWindowLongPtrA(list, GWL_STYLE) & WS_VSCROLL) != 0; };
    auto width = [&] {
        RECT r;
        GetClientRect(list, &r);
        return r.right;
    };
    EXPECT_FALSE(scrollBar()) << "an empty list hides it";
    const LONG full = width();
    EXPECT_EQ(full, 176) << "180 less its sunken edge, 2 pixels a side";
    for (const char* t : {"Printer", "Scanner", "Fax"}) // three rows of 16 fit its 61 pixels
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    EXPECT_FALSE(scrollBar());
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Modem"));
    EXPECT_TRUE(scrollBar());
    EXPECT_EQ(width(), full - GetSystemMetrics(SM_CXVSCROLL));
    SendMessageA(list, LB_DELETESTRING, 3, 0);
    EXPECT_FALSE(scrollBar());
}

TEST_F(DialogTest, ListScrollsToKeepTheCaretInSightAndAsItsScrollBarAsks) {
    HWND dlg = NewDialog(IDD_PAGE);
    HWND list = GetDlgItem(dlg, IDC_LIST);
    for (const char* t : {"a", "b", "c", "d", "e", "f"})
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    auto top = [&] { return SendMessageA(list, LB_GETTOPINDEX, 0, 0); };
    SetFocus(list);
    EXPECT_EQ(SendMessageA(list, LB_GETCARETINDEX, 0, 0), 0);
    for (int i = 0; i < 4; ++i)
        SendMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(SendMessageA(list, LB_GETCARETINDEX, 0, 0), 4);
    EXPECT_EQ(top(), 2) << "the caret row is the last one in sight";
    EXPECT_EQ(SendMessageA(list, LB_GETSEL, 4, 0), 1) << "extended: the caret row is selected";
    EXPECT_EQ(SendMessageA(list, LB_GETSELCOUNT, 0, 0), 1);
    SendMessageA(list, WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(top(), 1);
    SendMessageA(list, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(top(), 3) << "no lower than where the last page is full";
    SendMessageA(list, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), 0);
    EXPECT_EQ(top(), 0);
    SendMessageA(list, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(top(), 3);
    // A click lands on the row under it, counted from the top row.
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 17));
    EXPECT_EQ(SendMessageA(list, LB_GETCARETINDEX, 0, 0), 4);
}

TEST_F(DialogTest, CaretMovesTellBothRowsOfTheFocus) {
    HWND dlg = NewDialog(IDD_PAGE);
    HWND list = GetDlgItem(dlg, IDC_LIST);
    for (const char* t : {"a", "b", "c"})
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)); // row 0, and the focus
    g_dlg.draws.clear();
    SendMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_EQ(g_dlg.draws.size(), 2u);
    EXPECT_EQ(g_dlg.draws[0].itemID, 0u);
    EXPECT_EQ(g_dlg.draws[0].itemAction, static_cast<UINT>(ODA_FOCUS));
    EXPECT_EQ(g_dlg.draws[0].itemState & ODS_FOCUS, 0u) << "losing it";
    EXPECT_EQ(g_dlg.draws[1].itemID, 1u);
    EXPECT_EQ(g_dlg.draws[1].itemAction, static_cast<UINT>(ODA_FOCUS));
    EXPECT_EQ(g_dlg.draws[1].itemState & ODS_FOCUS, static_cast<UINT>(ODS_FOCUS));
}

LRESULT CALLBACK CountingListProc(HWND, UINT, WPARAM, LPARAM);
WNDPROC g_listOwn = nullptr;
int g_countsAsked = 0;
LRESULT CALLBACK CountingListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == LB_GETCOUNT) ++g_countsAsked;
    return CallWindowProcA(g_listOwn, hwnd, msg, wParam, lParam);
}

TEST_F(DialogTest, ASubclassSeesTheControlsMessagesFirstAndHandsThemOn) {
    HWND dlg = NewDialog(IDD_PAGE);
    HWND list = GetDlgItem(dlg, IDC_LIST);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("a"));
    g_countsAsked = 0;
    g_listOwn = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingListProc)));
    ASSERT_NE(g_listOwn, nullptr);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 1) << "the list's own answer";
    EXPECT_EQ(g_countsAsked, 1);
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_listOwn));
    SendMessageA(list, LB_GETCOUNT, 0, 0);
    EXPECT_EQ(g_countsAsked, 1) << "restored";
}

TEST_F(DialogTest, ADisabledButtonTakesNoClickAndAMessageBoxRunsWhatWasPosted) {
    HWND dlg = NewDialog(IDD_PAGE);
    HWND ok = GetDlgItem(dlg, IDOK);
    EXPECT_FALSE(EnableWindow(ok, FALSE)) << "it was enabled";
    g_dlg.commands.clear();
    SendMessageA(ok, BM_CLICK, 0, 0);
    EXPECT_TRUE(g_dlg.commands.empty());
    EnableWindow(ok, TRUE);

    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_TITLE, BN_CLICKED), 0);
    MessageBoxA(dlg, "text", "caption", MB_OK);
    EXPECT_EQ(g_dlg.commands, std::vector<int>{IDC_TITLE});
    EXPECT_TRUE(IsWindowEnabled(dlg)) << "the owner is enabled again";
}

TEST_F(DialogTest, ScriptedUserStepsActAsAPersonDoes) {
    g_dlg.rows = {"Printer", "Scanner", "Fax", "Modem", "Copier"};
    std::string error;
    for (const char* step : {"select \"Copier\"", "up", "space", "check 1", "click \"&All\"",
                             "OK"})
        ASSERT_TRUE(winsim::QueueUserStep(step, &error)) << step << ": " << error;
    g_dlg.endWith = 7;
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE), nullptr,
                              PageProc, 0),
              7);
    EXPECT_TRUE(winsim::UserStepErrors().empty());
    // The row out of sight was scrolled to; its text took the click, then the keys the caret.
    std::vector<UINT> rows;
    for (const auto& d : g_dlg.draws)
        if (d.itemAction == ODA_FOCUS && (d.itemState & ODS_FOCUS)) rows.push_back(d.itemID);
    // Copier (scrolled into sight), up to Modem, then row 1 (scrolled back) for its mark.
    EXPECT_EQ(rows, (std::vector<UINT>{4, 3, 0}));
    EXPECT_EQ(std::count(g_dlg.commands.begin(), g_dlg.commands.end(), IDC_ALL), 1);
    EXPECT_EQ(g_dlg.commands.back(), IDOK);
}

TEST_F(DialogTest, AStepThatCannotBeTakenIsAnErrorAndEndsTheScript) {
    g_dlg.rows = {"Printer"};
    g_dlg.disableOk = true;
    std::string error;
    for (const char* step : {"check 2", "check \"Fax\"", "OK", "Next", "click 999"}) {
        winsim::ClearUserSteps();
        ASSERT_TRUE(winsim::QueueUserStep(step, &error));
        winsim::QueueUserStep("Exit", &error); // dropped after the error
        g_dlg.commands.clear();
        EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE), nullptr,
                                  PageProc, 0),
                  -1)
            << step;
        EXPECT_EQ(g_dlg.commands, std::vector<int>{IDCANCEL}) << "Escape, nothing else";
    }
    EXPECT_EQ(winsim::UserStepErrors(),
              (std::vector<std::string>{
                  "cannot check 2: no row 2 in the list (1 rows)",
                  "cannot check \"Fax\": no row \"Fax\" in the list (1 rows)",
                  "cannot OK: \"OK\" is disabled",
                  "cannot Next: no control \"Next\" on the window",
                  "cannot click 999: no control 999 on the window"}));

    for (const char* bad : {"check", "key f13", "check \"open", ""})
        EXPECT_FALSE(winsim::CheckUserStep(bad, &error)) << bad;
}

TEST_F(DialogTest, ScreenshotsAreTakenWhenTheScreenSettlesNamedAfterWhatLedThere) {
    const std::string folder = HostFile("shots");
    std::filesystem::create_directories(folder);
    winsim::TakeScreenshots(folder);
    HWND owner = NewFrame(WS_VISIBLE);
    std::string error;
    ASSERT_TRUE(winsim::QueueUserStep("All", &error)) << error;
    ASSERT_TRUE(winsim::QueueUserStep("OK", &error)) << error;
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PAGE), owner, PageProc, 0);
    // The page as it appeared, then as the click on "All" left it; OK ended it.
    const std::vector<std::string> files = winsim::Screenshots();
    ASSERT_EQ(files, (std::vector<std::string>{folder + "/01-select-components.png",
                                               folder + "/02-after-all.png"}));
    for (const std::string& file : files)
        EXPECT_EQ(ReadHostFile(file).substr(0, 4), "\x89PNG") << file;
    // Nothing changed since: no picture.
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(winsim::Screenshots().size(), 2u);
}

TEST_F(DialogTest, TheScreenShowsTheDialogsFrameCaptionAndCheckBox) {
    HWND dlg = NewDialog(IDD_PAGE);
    ASSERT_TRUE(dlg);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
    RECT frame, box;
    GetWindowRect(dlg, &frame);
    GetWindowRect(GetDlgItem(dlg, IDC_ALL), &box);
    winsim::ScreenPicture screen = winsim::CaptureScreen();
    EXPECT_EQ(screen.At(frame.right - 10, frame.top + 10), 0x000080u) << "the active caption";
    EXPECT_EQ(screen.At(frame.left + 1, frame.top + 30), 0xFFFFFFu) << "the frame's light edge";
    EXPECT_EQ(screen.At(frame.right - 1, frame.top + 30), 0u) << "the frame's dark edge";
    // The check box: a white square in a sunken edge; checked, a black mark in it.
    const int top = (box.top + box.bottom - 13) / 2;
    EXPECT_EQ(screen.At(box.left, top), 0x808080u);
    EXPECT_EQ(screen.At(box.left + 6, top + 6), 0xFFFFFFu);
    CheckDlgButton(dlg, IDC_ALL, BST_CHECKED);
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
    screen = winsim::CaptureScreen();
    int black = 0;
    for (int y = top + 3; y < top + 10; ++y)
        for (int x = box.left + 3; x < box.left + 10; ++x)
            black += screen.At(x, y) == 0u;
    EXPECT_EQ(black, 21) << "the seven-pixel check mark";
    DestroyWindow(dlg);
}

// ---- message boxes on the screen ----------------------------------------------------------------

// What the screen showed while a message box was up: a message posted before the box is
// dispatched by the box's own loop, and this window's procedure looks then.
struct BoxSight {
    winsim::ScreenPicture screen;
    HWND found = nullptr; // a window of the box's caption, as the program looks for one
};
BoxSight g_sight;

LRESULT CALLBACK LookingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 1) {
        g_sight.screen = winsim::CaptureScreen();
        g_sight.found = FindWindowA(nullptr, "KV Pellora 4720");
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// The box's place on the screen, found by its active caption (its owner's shows inactive).
RECT FindBox(const winsim::ScreenPicture& screen) {
    for (int y = 0; y < screen.height; ++y) {
        int first = -1, last = -1;
        for (int x = 0; x < screen.width; ++x)
            if (screen.At(x, y) == 0x000080u) {
                if (first < 0) first = x;
                last = x;
            }
        if (first < 0) continue;
        // The caption bar lies inside the three-pixel frame; the frame's right edge is black.
        RECT box{first - 3, y - 3, last + 4, y - 3};
        while (box.bottom < screen.height && screen.At(box.right - 1, box.bottom) == 0u)
            ++box.bottom;
        return box;
    }
    return RECT{};
}

class MessageBoxScreenTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        g_sight = BoxSight{};
        RegisterTestClass("TestLooking", LookingProc);
    }
    HWND NewLooking(DWORD style) {
        return CreateWindowExA(0, "TestLooking", "Looking", style, 40, 30, 500, 360, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    // The screen while a box of `type` is up, before its answer.
    BoxSight SightOf(HWND looking, HWND owner, UINT type, const char* text = "Remove it?") {
        PostMessageA(looking, WM_USER + 1, 0, 0);
        MessageBoxA(owner, text, "KV Pellora 4720", type);
        return g_sight;
    }
};

TEST_F(MessageBoxScreenTest, TheBoxShowsCentredOnItsOwnerWithButtonsInWindowsOrderAndSize) {
    HWND owner = NewLooking(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    const BoxSight sight = SightOf(owner, owner, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(sight.found, nullptr) << "the box is no window of the program's";
    const winsim::ScreenPicture& screen = sight.screen;
    const RECT box = FindBox(screen);
    ASSERT_GT(box.right, box.left) << "no active caption on the screen";
    RECT frame;
    GetWindowRect(owner, &frame);
    EXPECT_LE(std::abs((box.left + box.right) - (frame.left + frame.right)), 1);
    EXPECT_LE(std::abs((box.top + box.bottom) - (frame.top + frame.bottom)), 1);
    EXPECT_EQ(screen.At(frame.left + 10, frame.top + 10), 0x808080u) << "the owner is inactive";

    // Yes, No, Cancel: 75 x 23 pixels, 6 apart, centred, 11 above the client area's bottom; No is
    // the default button, with the dark frame around its raised edge.
    const int bottom = box.bottom - 3 - 11, middle = bottom - 12;
    const int noLeft = (box.left + box.right) / 2 - 37;
    const int yesLeft = noLeft - 6 - 75, cancelLeft = noLeft + 75 + 6;
    EXPECT_EQ(screen.At(noLeft, middle), 0u) << "the default button's frame";
    EXPECT_EQ(screen.At(noLeft + 1, middle), 0xFFFFFFu);
    EXPECT_EQ(screen.At(noLeft + 74, middle), 0u);
    EXPECT_EQ(screen.At(noLeft + 37, bottom - 23), 0u) << "23 high";
    for (int left : {yesLeft, cancelLeft}) {
        EXPECT_EQ(screen.At(left - 1, middle), 0xC0C0C0u);
        EXPECT_EQ(screen.At(left, middle), 0xFFFFFFu) << "a raised edge, no dark frame";
        EXPECT_EQ(screen.At(left + 73, middle), 0x808080u);
        EXPECT_EQ(screen.At(left + 74, middle), 0u);
        EXPECT_EQ(screen.At(left + 37, bottom - 23), 0xFFFFFFu) << "23 high";
    }
    EXPECT_EQ(screen.At(yesLeft - 7, middle), 0xC0C0C0u) << "no fourth button";

    // Answered, the box is gone and the owner active again.
    const winsim::ScreenPicture after = winsim::CaptureScreen();
    EXPECT_NE(after.At(box.left + 10, box.top + 10), 0x000080u);
    EXPECT_EQ(after.At(frame.left + 10, frame.top + 10), 0x000080u);
}

TEST_F(MessageBoxScreenTest, TheSystemIconsShowInTheirColours) {
    HWND looking = NewLooking(0); // hidden: the box is centred on the screen
    struct Case {
        UINT icon;
        int x, y; // inside the icon
        uint32_t color;
    };
    for (const Case& c : {Case{MB_ICONSTOP, 16, 3, 0xFF0000u}, Case{MB_ICONSTOP, 16, 16, 0xFFFFFFu},
                          Case{MB_ICONEXCLAMATION, 8, 27, 0xFFFF00u},
                          Case{MB_ICONINFORMATION, 16, 4, 0xFFFFFFu},
                          Case{MB_ICONQUESTION, 16, 4, 0xFFFFFFu}}) {
        const BoxSight sight = SightOf(looking, nullptr, MB_OK | c.icon);
        const RECT box = FindBox(sight.screen);
        ASSERT_GT(box.right, box.left);
        const int iconLeft = box.left + 3 + 11, iconTop = box.top + 3 + 18 + 11;
        EXPECT_EQ(sight.screen.At(iconLeft + c.x, iconTop + c.y), c.color) << std::hex << c.icon;
        EXPECT_LE(std::abs(box.left + box.right - sight.screen.width), 1) << "centred";
    }
    // Without an icon nothing is drawn where one would be.
    const BoxSight plain = SightOf(looking, nullptr, MB_OK, "");
    const RECT box = FindBox(plain.screen);
    EXPECT_EQ(plain.screen.At(box.left + 3 + 11 + 16, box.top + 3 + 18 + 11 + 3), 0xC0C0C0u);
}

TEST_F(MessageBoxScreenTest, LongTextWrapsAndTheBoxStaysOnTheScreen) {
    HWND looking = NewLooking(WS_VISIBLE);
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "word ";
    const RECT small = FindBox(SightOf(looking, nullptr, MB_OK, "word").screen);
    const BoxSight many = SightOf(looking, nullptr, MB_OK, text.c_str());
    const RECT big = FindBox(many.screen);
    EXPECT_LE(big.right - big.left, many.screen.width * 5 / 8 + 6) << "wrapped, not one line";
    EXPECT_GT(big.bottom - big.top, small.bottom - small.top + 26) << "more than two lines";
    EXPECT_GE(big.left, 0);
}

TEST_F(MessageBoxScreenTest, APictureIsTakenWhenTheBoxAppearsNamedAfterIt) {
    const std::string folder = HostFile("shots");
    std::filesystem::create_directories(folder);
    NewLooking(WS_VISIBLE);
    winsim::TakeScreenshots(folder);
    MessageBoxA(nullptr, "Restart now?", nullptr, MB_OKCANCEL);
    EXPECT_EQ(winsim::Screenshots(), std::vector<std::string>{folder + "/01-box-error.png"});
    // When the screen settles, the window as the box left it.
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
    EXPECT_EQ(winsim::Screenshots(), (std::vector<std::string>{folder + "/01-box-error.png",
                                                               folder + "/02-after-ok.png"}));
}

} // namespace
