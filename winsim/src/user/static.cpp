// The static control: a text or a frame that the default window procedure keeps.
#include "user.h"

namespace winsim::user {

LRESULT WINAPI StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace winsim::user
