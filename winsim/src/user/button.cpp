// The button control: push buttons, check boxes (two and three states) and radio buttons.
#include "user.h"

namespace winsim::user {

void ClickButton(uint32_t h) {
    Window* w = Live(h);
    if (!w || (w->style & WS_DISABLED)) return;
    switch (w->style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX:
        w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        Invalidate(*w, nullptr, true);
        break;
    case BS_AUTO3STATE:
        w->check = (w->check + 1) % 3;
        Invalidate(*w, nullptr, true);
        break;
    case BS_AUTORADIOBUTTON:
        w->check = BST_CHECKED;
        Invalidate(*w, nullptr, true);
        break;
    default:
        break;
    }
    Notify(*w, BN_CLICKED);
}

LRESULT WINAPI ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Live(hwnd);
    if (!w) return 0;
    switch (msg) {
    case BM_GETCHECK:
        return w->check;
    case BM_SETCHECK:
        if (w->check != static_cast<int>(wParam)) Invalidate(*w, nullptr, true);
        w->check = static_cast<int>(wParam);
        return 0;
    case BM_CLICK:
    case WM_LBUTTONUP:
        ClickButton(w->handle);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE) ClickButton(w->handle);
        return 0;
    case WM_GETDLGCODE:
        return 0;
    case WM_PAINT:
        return PaintControlNow(hwnd);
    case WM_SETFOCUS:
    case WM_KILLFOCUS: // the focus rectangle comes or goes
        Invalidate(*w, nullptr, false);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

} // namespace winsim::user
