// Painting: update rectangles, WM_PAINT and WM_ERASEBKGND through BeginPaint and EndPaint, the
// DCs of windows, and user32's drawing calls over a DC (painted, and recorded by gdi.cpp).
#include "user.h"

#include <algorithm>
#include <cstring>

namespace winsim::user {

void Invalidate(Window& w, const RECT* r, bool erase) {
    RECT client = ClientOf(w);
    RECT add = r ? *r : client;
    if (!w.invalid) {
        w.update = add;
    } else {
        w.update.left = std::min(w.update.left, add.left);
        w.update.top = std::min(w.update.top, add.top);
        w.update.right = std::max(w.update.right, add.right);
        w.update.bottom = std::max(w.update.bottom, add.bottom);
    }
    w.invalid = true;
    w.erase = w.erase || erase;
}

} // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

namespace {

// GetSysColorBrush hands out one brush per colour index.
std::map<int, HBRUSH>& SysColorBrushes() {
    static auto* brushes = new std::map<int, HBRUSH>;
    return *brushes;
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { SysColorBrushes().clear(); }}), true);

// FillRect and FrameRect: a rectangle in the brush's colour; 0 when the DC or brush is none.
int BrushRect(const char* op, HDC hDC, const RECT* lprc, HBRUSH hbr) {
    COLORREF color = 0;
    DcState dc;
    if (!GetDcState(hDC, &dc) || !lprc || !BrushColor(hbr, &color)) return 0;
    RecordFill(op, hDC, lprc, color);
    if (std::strcmp(op, "FrameRect") == 0)
        PaintFrame(dc.pixels, *lprc, color);
    else
        PaintRect(dc.pixels, *lprc, color);
    return 1;
}

} // namespace

extern "C" {

BOOL WINAPI UpdateWindow(HWND hWnd) {
    WINSIM_FAILPOINT(FALSE);
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    if (w->invalid && Visible(*w)) CallProc(w->handle, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    WINSIM_FAILPOINT(FALSE);
    if (!hWnd) { // every window
        for (uint32_t h : U().order)
            if (Window* w = Live(h); w && w->ctl != Ctl::Foreign) Invalidate(*w, nullptr, bErase);
        return TRUE;
    }
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    Invalidate(*w, lpRect, bErase != FALSE);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
    WINSIM_FAILPOINT(FALSE);
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    // Only a rectangle that covers the whole update region leaves the window valid.
    if (!lpRect || (lpRect->left <= w->update.left && lpRect->top <= w->update.top &&
                    lpRect->right >= w->update.right && lpRect->bottom >= w->update.bottom)) {
        w->invalid = false;
        w->erase = false;
    }
    return TRUE;
}

HDC WINAPI GetDC(HWND hWnd) {
    Require();
    WINSIM_FAILPOINT(nullptr);
    if (hWnd && !LiveOrFail(hWnd)) return nullptr;
    return OpenWindowDC(HandleValue(hWnd));
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    (void)hWnd;
    WINSIM_FAILPOINT(0);
    return CloseWindowDC(hDC) ? 1 : 0;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    WINSIM_FAILPOINT(nullptr);
    Window* w = LiveOrFail(hWnd);
    if (!w || !lpPaint) return nullptr;
    uint32_t h = w->handle;
    *lpPaint = PAINTSTRUCT{};
    lpPaint->rcPaint = w->invalid ? w->update : RECT{0, 0, 0, 0};
    bool erase = w->erase;
    w->invalid = false;
    w->erase = false;
    HDC dc = OpenWindowDC(h);
    lpPaint->hdc = dc;
    lpPaint->fErase = FALSE;
    if (erase) lpPaint->fErase = CallProc(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    return dc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    (void)hWnd;
    if (!lpPaint) return FALSE;
    CloseWindowDC(lpPaint->hdc);
    return TRUE;
}

BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (!lprc) return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

// ---- drawing over a DC
// ----------------------------------------------------------------------------

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    WINSIM_FAILPOINT(0);
    return BrushRect("FillRect", hDC, lprc, hbr);
}

int WINAPI FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    WINSIM_FAILPOINT(0);
    return BrushRect("FrameRect", hDC, lprc, hbr);
}

BOOL WINAPI DrawFocusRect(HDC hDC, const RECT* lprc) {
    WINSIM_FAILPOINT(FALSE);
    DcState dc;
    if (!GetDcState(hDC, &dc) || !lprc) return FALSE;
    RecordFill("DrawFocusRect", hDC, lprc, 0);
    PaintFocus(dc.pixels, *lprc);
    return TRUE;
}

int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    WINSIM_FAILPOINT(0);
    DcState dc;
    if (!GetDcState(hdc, &dc) || !lpchText || !lprc) return 0;
    size_t n = cchText < 0 ? std::strlen(lpchText) : static_cast<size_t>(cchText);
    DrawCall call;
    call.op = "DrawText";
    call.window = dc.window;
    call.x = lprc->left;
    call.y = lprc->top;
    call.cx = lprc->right - lprc->left;
    call.cy = lprc->bottom - lprc->top;
    call.text.assign(lpchText, n);
    call.color = dc.textColor;
    call.face = dc.face;
    call.height = dc.fontHeight;
    RecordDraw(call);
    const int height = LayoutText(dc.pixels, call.text, lprc, format, FontFor(dc.font),
                                  dc.textColor, dc.bkMode == OPAQUE ? &dc.bkColor : nullptr);
    return std::max(height, 1);
}

DWORD WINAPI GetSysColor(int nIndex) {
    return SystemColor(nIndex);
}

HBRUSH WINAPI GetSysColorBrush(int nIndex) {
    if (nIndex < 0 || nIndex > 30) return nullptr;
    HBRUSH& brush = SysColorBrushes()[nIndex];
    if (!brush) brush = NewSystemBrush(SystemColor(nIndex));
    return brush;
}

} // extern "C"
