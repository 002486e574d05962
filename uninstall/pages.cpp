// The wizard: the handling both pages share (placement, pictures, Cancel), the welcome page and
// the selection page, whose owner-drawn list shows a check mark before each installed component.
#include "pwuninst.h"

#include <cstring>
#include <vector>

#include "common/fence.h"
#include "gdihandles.h"

namespace {

// The pictures of the page on screen.
CZRGdiObject g_sideBitmap;  // 402
CZRGdiObject g_stripBitmap; // 405
LPARAM g_pageKind = 0;      // 0 welcome, 1 selection

int BitmapHeight(HGDIOBJ bitmap) {
    BITMAP bm = {};
    if (!bitmap || !GetObjectA(bitmap, sizeof bm, &bm)) return 0;
    return bm.bmHeight;
}

INT_PTR PageOwnMessage(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    return g_pageKind == 0 ? WelcomePageMessage(hDlg, msg, wParam, lParam)
                           : SelectPageMessage(hDlg, msg, wParam, lParam);
}

} // namespace

void RunWizard(HWND owner) {
    if (DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_WELCOME), owner, PageDlgProc, 0) == 0)
        DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_SELECT), owner, PageDlgProc, 1);
    DestroyWindow(owner);
}

INT_PTR CALLBACK PageDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    return zrFenced<INT_PTR>(0, [&]() -> INT_PTR {
        switch (msg) {
        case WM_INITDIALOG: {
            RECT r = {};
            GetWindowRect(hDlg, &r);
            const int width = r.right - r.left;
            const int height = r.bottom - r.top;
            // The halves of the screen size are taken as 15-bit values.
            const int halfX = (GetSystemMetrics(SM_CXSCREEN) / 2) & 0x7FFF;
            const int halfY = (GetSystemMetrics(SM_CYSCREEN) / 2) & 0x7FFF;
            SetWindowPos(hDlg, nullptr, halfX - width / 2, halfY - height / 2, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
            PageWindow = hDlg;
            g_sideBitmap.Reset(LoadPicture(IDB_SIDE));
            g_stripBitmap.Reset(LoadPicture(IDB_STRIP));
            g_pageKind = lParam;
            return PageOwnMessage(hDlg, msg, wParam, lParam);
        }
        case WM_PAINT: {
            CZRPaint paint(hDlg);
            if (!paint) return 0;
            if (g_sideBitmap)
                DrawBitmapAt(paint.Get(), static_cast<HBITMAP>(g_sideBitmap.Get()), 0, 0);
            if (g_stripBitmap) {
                RECT r = {};
                GetWindowRect(hDlg, &r);
                const int y = (r.bottom - r.top) - 2 * BitmapHeight(g_stripBitmap.Get()) - 12;
                DrawBitmapAt(paint.Get(), static_cast<HBITMAP>(g_stripBitmap.Get()), 12, y);
            }
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(hDlg, -1);
                return 1;
            }
            return PageOwnMessage(hDlg, msg, wParam, lParam);
        case WM_CLOSE:
            EndDialog(hDlg, 0);
            return 1;
        case WM_DESTROY: {
            PageWindow = nullptr;
            g_sideBitmap.Reset();
            g_stripBitmap.Reset();
            return PageOwnMessage(hDlg, msg, wParam, lParam);
        }
        }
        return PageOwnMessage(hDlg, msg, wParam, lParam);
    });
}

INT_PTR WelcomePageMessage(HWND page, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        ReadScriptPath();
        if (ScriptPath[0]) {
            GetPrivateProfileStringA(UN_COMPONENTS_SECTION, nullptr, NotThereSentinel,
                                     ComponentKeyList, sizeof ComponentKeyList, ScriptPath);
            if (std::strcmp(ComponentKeyList, NotThereSentinel) != 0) return 1;
        }
        ShowStringMessage(page, IDS_SCRIPT_UNUSABLE, MB_ICONERROR);
        EndDialog(page, -1);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(page, 0);
            return 1;
        }
        return 0;
    }
    return 0;
}

// ---- the selection page ---------------------------------------------------------------------

namespace {

// What the list box subclass sends the page (in the high word of WM_COMMAND's first parameter)
// when the user toggles a row with the space key or a click in the mark column.
const WORD TOGGLE_NOTIFY = 6;

// One entry per listed row, 0 or 1. Sized to the list, so that every row shown can be checked
// and is removed when checked, however many components the script lists.
std::vector<int> CheckState;
int ListedCount = 0;
// Set while OK removes components: a second OK (a double click, a queued key) starts nothing.
bool g_removing = false;

// The list box's own procedure while CheckListProc stands in front of it; null when not replaced.
WNDPROC g_listProc = nullptr;
HWND g_list = nullptr;
// The marks and the memory DC they are copied from.
CZRGdiObject g_checkedMark;   // 403
CZRGdiObject g_uncheckedMark; // 404
CZROwner<HDC, CZRMemoryDCTraits> g_markDC;
HGDIOBJ g_markDCFirst = nullptr; // what the memory DC held before the marks
int g_markWidth = 0;
int g_markHeight = 0;

int ListItemHeight(HWND list) {
    return LOWORD(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
}

// The mark square of the row at `visibleRow` rows below the top of the list's client area.
void InvalidateMark(HWND list, int visibleRow, int h) {
    RECT square = {0, visibleRow * h, h, (visibleRow + 1) * h};
    InvalidateRect(list, &square, FALSE);
}

void Toggle(HWND list, int row) {
    SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), TOGGLE_NOTIFY),
                 static_cast<LPARAM>(row));
}

bool EveryRowChecked() {
    if (ListedCount < 1) return false;
    for (int i = 0; i < ListedCount; ++i)
        if (!CheckState[static_cast<size_t>(i)]) return false;
    return true;
}

// The first selection page of the run replaces the list's procedure and loads the marks.
void SubclassList(HWND list) {
    SetWindowLongPtrA(list, GWL_STYLE, GetWindowLongPtrA(list, GWL_STYLE) | WS_TABSTOP);
    g_listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CheckListProc)));
    g_list = list;
    g_checkedMark.Reset(LoadPicture(IDB_CHECKED));
    g_uncheckedMark.Reset(LoadPicture(IDB_UNCHECKED));
    *g_markDC.Put() = CreateCompatibleDC(nullptr);
    g_markDCFirst = g_markDC ? SelectObject(g_markDC.Get(), g_uncheckedMark.Get()) : nullptr;
    BITMAP bm = {};
    if (g_checkedMark && GetObjectA(g_checkedMark.Get(), sizeof bm, &bm)) {
        g_markWidth = bm.bmWidth;
        g_markHeight = bm.bmHeight;
    }
}

void ReleaseList() {
    if (g_listProc && IsWindow(g_list))
        SetWindowLongPtrA(g_list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_listProc));
    g_listProc = nullptr;
    g_list = nullptr;
    // The marks can be deleted only once the DC no longer holds one of them.
    if (g_markDC && g_markDCFirst) SelectObject(g_markDC.Get(), g_markDCFirst);
    g_markDCFirst = nullptr;
    g_checkedMark.Reset();
    g_uncheckedMark.Reset();
    g_markDC.Close();
}

// Lists every installed component that has a title; the row's item data is its key name.
INT_PTR InitSelectPage(HWND page) {
    CheckState.clear();
    HWND list = GetDlgItem(page, IDC_COMPONENT_LIST);
    if (list && !g_listProc) SubclassList(list);
    ListedCount = 0;
    for (const char* key = ComponentKeyList; *key; key += std::strlen(key) + 1) {
        if (!GetPrivateProfileIntA(UN_COMPONENTS_SECTION, key, 0, ScriptPath)) continue;
        char title[UN_FIELD_SIZE];
        GetPrivateProfileStringA(key, "Title", NotThereSentinel, title, sizeof title, ScriptPath);
        if (std::strcmp(title, NotThereSentinel) == 0) continue;
        const LRESULT row = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(title));
        if (row == LB_ERR || row == LB_ERRSPACE) continue;
        // The key names stay in ComponentKeyList, unchanged while the page is up.
        SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(key));
        ++ListedCount;
    }
    CheckState.assign(static_cast<size_t>(ListedCount), 0);
    if (ListedCount > 0) return 1;
    ShowStringMessage(page, IDS_NOTHING_INSTALLED, MB_ICONERROR);
    EndDialog(page, -1);
    return 0;
}

INT_PTR DrawListItem(HWND page, const DRAWITEMSTRUCT& item) {
    if (item.itemAction & ODA_DRAWENTIRE) {
        const int height = item.rcItem.bottom - item.rcItem.top;
        const int offset = (height - g_markWidth) / 2;
        FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
        const size_t row = item.itemID;
        const bool checked = row < CheckState.size() && CheckState[row];
        CheckDlgButton(page, IDC_SELECT_ALL, EveryRowChecked() ? BST_CHECKED : BST_UNCHECKED);
        if (g_markDC) {
            SelectObject(g_markDC.Get(), checked ? g_checkedMark.Get() : g_uncheckedMark.Get());
            BitBlt(item.hDC, offset, item.rcItem.top + offset, g_markWidth, g_markHeight,
                   g_markDC.Get(), 0, 0, SRCCOPY);
        }
        char text[UN_FIELD_SIZE];
        const LRESULT length = SendMessageA(item.hwndItem, LB_GETTEXTLEN, item.itemID, 0);
        if (length >= 0 && length < static_cast<LRESULT>(sizeof text) &&
            SendMessageA(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text)) !=
                LB_ERR) {
            const int oldMode = SetBkMode(item.hDC, TRANSPARENT);
            const COLORREF oldColor = SetTextColor(item.hDC, GetSysColor(COLOR_WINDOWTEXT));
            TextOutA(item.hDC, item.rcItem.left + height, item.rcItem.top, text,
                     static_cast<int>(length));
            SetTextColor(item.hDC, oldColor);
            SetBkMode(item.hDC, oldMode);
        }
    }
    if (item.itemAction & ODA_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
    return 1;
}

// "All" chosen (the box, or every row by hand): the scrub run with shared counts honoured, and
// the page ends. Otherwise each checked row that is still installed is removed.
void RemoveChosen(HWND page) {
    HWND list = GetDlgItem(page, IDC_COMPONENT_LIST);
    if (IsDlgButtonChecked(page, IDC_SELECT_ALL) == BST_CHECKED || EveryRowChecked()) {
        RemoveAllComponents("scrub", 1);
        EndDialog(page, 1);
        if (!RestartNeeded) ShowStringMessage(page, IDS_REMOVED, MB_OK);
        return;
    }
    int chosen = 0;
    int removed = 0;
    for (int i = 0; i < ListedCount; ++i) {
        if (CheckState[static_cast<size_t>(i)] <= 0) continue;
        ++chosen;
        const LRESULT data = SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0);
        const char* key = reinterpret_cast<const char*>(data);
        // Removed meanwhile (its value reads 0): chosen but not removed, so no success message.
        if (data == LB_ERR || !key || !GetPrivateProfileIntA(UN_COMPONENTS_SECTION, key, 0,
                                                             ScriptPath))
            continue;
        RemoveComponent(UN_COMPONENTS_SECTION, key, 1);
        ++removed;
    }
    if (chosen == 0) {
        ShowStringMessage(page, IDS_SELECT_SOMETHING, MB_OK);
        EnableWindow(GetDlgItem(page, IDOK), TRUE);
        EnableWindow(GetDlgItem(page, IDCANCEL), TRUE);
        return;
    }
    if (chosen == removed) ShowStringMessage(page, IDS_REMOVED, MB_OK);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    EnableWindow(GetDlgItem(page, IDOK), TRUE);
    EnableWindow(GetDlgItem(page, IDCANCEL), TRUE);
    // What is still installed, or message 1003 and the end of the page.
    SendMessageA(page, WM_INITDIALOG, 0, 1);
}

INT_PTR SelectPageCommand(HWND page, WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    if (id == IDC_COMPONENT_LIST) {
        const auto row = static_cast<int>(lParam);
        if (HIWORD(wParam) == TOGGLE_NOTIFY && row >= 0 && row < ListedCount)
            CheckState[static_cast<size_t>(row)] ^= 1;
        return 0;
    }
    if (id == IDC_SELECT_ALL) {
        if (ListedCount < 1) return 0;
        // The automatic box has changed its own state already.
        const int all = IsDlgButtonChecked(page, IDC_SELECT_ALL) == BST_CHECKED ? 1 : 0;
        HWND list = GetDlgItem(page, IDC_COMPONENT_LIST);
        const int h = ListItemHeight(list);
        for (int i = 0; i < ListedCount; ++i) {
            CheckState[static_cast<size_t>(i)] = all;
            InvalidateMark(list, i, h);
        }
        return 0;
    }
    if (id == IDOK) {
        if (g_removing) return 1;
        g_removing = true;
        EnableWindow(GetDlgItem(page, IDOK), FALSE);
        EnableWindow(GetDlgItem(page, IDCANCEL), FALSE);
        // Cleared on every way out, a thrown one too.
        struct Done {
            ~Done() { g_removing = false; }
        } done;
        RemoveChosen(page);
        return 1;
    }
    return 0;
}

} // namespace

INT_PTR SelectPageMessage(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return InitSelectPage(page);
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (wParam != IDC_COMPONENT_LIST || !item || item->CtlType != ODT_LISTBOX) return 0;
        return DrawListItem(page, *item);
    }
    case WM_COMMAND:
        return SelectPageCommand(page, wParam, lParam);
    case WM_DESTROY:
        ReleaseList();
        CheckState.clear();
        ListedCount = 0;
        return 0;
    }
    return 0;
}

LRESULT CALLBACK CheckListProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return zrFenced<LRESULT>(0, [&]() -> LRESULT {
        // Asked only for the two messages: every other one, this question too, passes through.
        const int h = msg == WM_CHAR || msg == WM_LBUTTONDOWN ? ListItemHeight(hWnd) : 0;
        if (msg == WM_CHAR && wParam == ' ') {
            const auto row = static_cast<int>(SendMessageA(hWnd, LB_GETCARETINDEX, 0, 0));
            if (row >= 0) {
                Toggle(hWnd, row);
                const auto top = static_cast<int>(SendMessageA(hWnd, LB_GETTOPINDEX, 0, 0));
                InvalidateMark(hWnd, row - top, h);
            }
        } else if (msg == WM_LBUTTONDOWN && h > 0 && static_cast<SHORT>(LOWORD(lParam)) <= h) {
            const int visibleRow = static_cast<SHORT>(HIWORD(lParam)) / h;
            const auto top = static_cast<int>(SendMessageA(hWnd, LB_GETTOPINDEX, 0, 0));
            Toggle(hWnd, top + visibleRow);
            InvalidateMark(hWnd, visibleRow, h);
        }
        return g_listProc ? CallWindowProcA(g_listProc, hWnd, msg, wParam, lParam)
                          : DefWindowProcA(hWnd, msg, wParam, lParam);
    });
}
