// The wizard: the handling both pages share (placement, pictures, Cancel), the welcome page and
// the selection page. The page that lists the components to choose from comes later; until then
// the selection page ends at once, as Exit does, and the program quits.
#include "pwuninst.h"

#include <cstring>

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

INT_PTR SelectPageMessage(HWND page, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_INITDIALOG) {
        EndDialog(page, -1);
        return 0;
    }
    return 0;
}
