// The edit control: its text is the window's text; in a dialog it keeps the arrow keys.
#include "user.h"

namespace winsim::user {

LRESULT WINAPI EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_GETDLGCODE) return 0x0001 | 0x0080; // DLGC_WANTARROWS | DLGC_HASSETSEL
    if (msg == WM_PAINT) return PaintControlNow(hwnd);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace winsim::user
