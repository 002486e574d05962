// The static control: a text or a frame that the default window procedure keeps, drawn as
// Windows draws it (look.cpp).
#include "user.h"

namespace winsim::user {

LRESULT WINAPI StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT:
        return PaintControlNow(hwnd);
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

} // namespace winsim::user
