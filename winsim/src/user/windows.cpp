// Windows: the table of this process's windows, their creation and destruction, their place,
// size, styles, text and window data, focus and enabling, and the default window procedure.
//
// Nothing is on a screen, but everything a window system does for a program happens: window
// procedures are really called, in Windows' order of messages.
#include "user.h"

#include <algorithm>
#include <cstring>

namespace winsim::user {

UserState& U() {
    static auto* u = new UserState;
    return *u;
}

Records& R() {
    static auto* r = new Records;
    return *r;
}

void Debug(const std::string& line) {
    OutputDebugStringA(("winsim: " + line + "\n").c_str());
}

namespace {

void ResetUser() {
    UserState& u = U();
    u.windows.clear();
    u.order.clear();
    u.posted.clear();
    u.quit = false;
    u.timers.clear();
    u.focus = 0;
    u.depth = 0;
    u.classes.erase(std::remove_if(u.classes.begin(), u.classes.end(),
                                   [](const std::unique_ptr<WndClass>& c) { return !c->system; }),
                    u.classes.end());
    Records& r = R();
    r = Records{};
}

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr, ResetUser}), true);

} // namespace

uint32_t HandleValue(HWND h) {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    return v > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(v);
}

HWND AsHwnd(uint32_t v) {
    return reinterpret_cast<HWND>(uintptr_t{v});
}

Window* Live(uint32_t h) {
    auto it = U().windows.find(h);
    return it != U().windows.end() && it->second->alive ? it->second.get() : nullptr;
}

Window* Live(HWND h) {
    return Live(HandleValue(h));
}

Window* LiveOrFail(HWND h) {
    Window* w = Live(h);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

void Purge() {
    UserState& u = U();
    if (u.depth > 0) return;
    for (auto it = u.windows.begin(); it != u.windows.end();) {
        if (!it->second->alive)
            it = u.windows.erase(it);
        else
            ++it;
    }
    u.order.erase(std::remove_if(u.order.begin(), u.order.end(),
                                 [&](uint32_t h) { return !u.windows.count(h); }),
                  u.order.end());
}

bool IsDescendant(uint32_t ancestor, uint32_t h) {
    for (Window* w = Live(h); w && w->child; w = Live(w->parent))
        if (w->parent == ancestor) return true;
    return false;
}

void FrameInsets(DWORD style, DWORD exStyle, int* border, int* caption) {
    *border = 0;
    if (style & WS_THICKFRAME)
        *border = 4;
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        *border = 3;
    else if (style & WS_BORDER)
        *border = 1;
    if (exStyle & WS_EX_CLIENTEDGE) *border += 2; // the sunken edge around the client area
    *caption = (style & WS_CAPTION) == WS_CAPTION ? 18 : 0;
}

RECT ClientOf(const Window& w) {
    int border, caption;
    FrameInsets(w.style, w.exStyle, &border, &caption);
    // A scroll bar takes its width (height) from the client area.
    RECT r{0, 0, w.rect.right - w.rect.left - 2 * border - (w.style & WS_VSCROLL ? kScrollBar : 0),
           w.rect.bottom - w.rect.top - 2 * border - caption -
               (w.style & WS_HSCROLL ? kScrollBar : 0)};
    if (r.right < 0) r.right = 0;
    if (r.bottom < 0) r.bottom = 0;
    return r;
}

POINT ClientOrigin(const Window& w) {
    int border, caption;
    FrameInsets(w.style, w.exStyle, &border, &caption);
    POINT p{w.rect.left + border, w.rect.top + border + caption};
    if (w.child) {
        if (Window* parent = Live(w.parent)) {
            POINT o = ClientOrigin(*parent);
            p.x += o.x;
            p.y += o.y;
        }
    }
    return p;
}

bool Visible(const Window& w) {
    if (!(w.style & WS_VISIBLE)) return false;
    if (w.child) {
        Window* parent = Live(w.parent);
        return parent && Visible(*parent);
    }
    return true;
}

LRESULT CallProc(uint32_t h, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Live(h);
    if (!w || !w->proc) return 0;
    WNDPROC proc = w->proc;
    UserState& u = U();
    ++u.depth;
    LRESULT r = proc(AsHwnd(h), msg, wParam, lParam);
    --u.depth;
    return r;
}

HWND CreateWin(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
               int cx, int cy, HWND parentHwnd, HMENU menu, HINSTANCE instance, LPVOID param,
               const DialogSetup* dialog) {
    Require();
    Purge();
    if (!className) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const WndClass* cls = FindClass(className);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    bool child = (style & WS_CHILD) != 0;
    Window* parent = nullptr;
    if (parentHwnd) {
        parent = Live(parentHwnd);
        if (!parent) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        // A top-level window's owner is a top-level window.
        while (!child && parent->child)
            parent = Live(parent->parent);
    } else if (child) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    if (!child) {
        style |= WS_CLIPSIBLINGS;
        if (!(style & WS_POPUP)) style |= WS_CAPTION; // an overlapped window always has one
    }
    // CW_USEDEFAULT: overlapped windows get a place and a size of the system's choosing.
    bool overlapped = !child && !(style & WS_POPUP);
    if (x == CW_USEDEFAULT) {
        x = overlapped ? 22 : 0;
        y = overlapped ? 22 : 0;
    }
    if (cx == CW_USEDEFAULT) {
        cx = overlapped ? ScreenWidth() * 3 / 4 : 0;
        cy = overlapped ? ScreenHeight() * 3 / 4 : 0;
    }

    auto w = std::make_unique<Window>();
    w->handle = NextHandleNumber();
    w->className = cls->name;
    w->classStyle = cls->style;
    w->background = cls->background;
    w->ctl = dialog ? Ctl::Dialog : cls->ctl;
    w->proc = cls->proc;
    w->instance = instance;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->rect = RECT{x, y, x + cx, y + cy};
    w->child = child;
    w->parent = parent ? parent->handle : 0;
    w->id = child ? static_cast<int>(reinterpret_cast<intptr_t>(menu)) : 0;
    w->extra.assign(static_cast<size_t>(std::max(0, cls->wndExtra)), 0);
    if (dialog) {
        w->dlgProc = dialog->proc;
        w->baseX = dialog->baseX;
        w->baseY = dialog->baseY;
    }
    uint32_t h = w->handle;
    U().windows[h] = std::move(w);
    U().order.push_back(h);

    CREATESTRUCTA cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent ? AsHwnd(parent->handle) : nullptr;
    cs.cx = cx;
    cs.cy = cy;
    cs.x = x;
    cs.y = y;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (!CallProc(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        if (Window* dead = Live(h)) dead->alive = false;
        Purge();
        SetLastError(ERROR_CANCELLED);
        return nullptr;
    }
    if (CallProc(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(AsHwnd(h));
        SetLastError(ERROR_CANCELLED);
        return nullptr;
    }
    Window* made = Live(h);
    if (!made) return nullptr;
    if (style & WS_VISIBLE) {
        made->style |= WS_VISIBLE;
        Invalidate(*made, nullptr, true);
    }
    return AsHwnd(h);
}

void DestroyTree(uint32_t h) {
    Window* w = Live(h);
    if (!w || w->destroying) return;
    w->destroying = true;
    w->style &= ~WS_VISIBLE;
    CallProc(h, WM_DESTROY, 0, 0);
    std::vector<uint32_t> children;
    for (uint32_t c : U().order) {
        Window* cw = Live(c);
        if (cw && cw->child && cw->parent == h) children.push_back(c);
    }
    for (uint32_t c : children)
        DestroyTree(c);
    CallProc(h, WM_NCDESTROY, 0, 0);
    w = Live(h);
    if (!w) return;
    if (w->ownFont) DeleteObject(w->ownFont);
    w->alive = false;
    UserState& u = U();
    if (u.focus == h) u.focus = 0;
    u.posted.erase(std::remove_if(u.posted.begin(), u.posted.end(),
                                  [&](const MSG& m) { return HandleValue(m.hwnd) == h; }),
                   u.posted.end());
    u.timers.erase(std::remove_if(u.timers.begin(), u.timers.end(),
                                  [&](const Timer& t) { return t.window == h; }),
                   u.timers.end());
}

void Notify(const Window& w, WORD code) {
    if (!w.child) return;
    CallProc(w.parent, WM_COMMAND, MAKEWPARAM(w.id, code),
             reinterpret_cast<LPARAM>(AsHwnd(w.handle)));
}

} // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

namespace winsim {

bool IsLiveWindow(uintptr_t window) {
    return window <= 0xFFFFFFFFu && Live(static_cast<uint32_t>(window)) != nullptr;
}

std::vector<WindowInfo> Windows() {
    std::vector<WindowInfo> out;
    for (uint32_t h : U().order) {
        Window* w = Live(h);
        if (!w || w->ctl == Ctl::Foreign) continue;
        WindowInfo i;
        i.handle = h;
        i.className = w->className;
        i.text = w->text;
        i.style = w->style;
        i.exStyle = w->exStyle;
        i.x = w->rect.left;
        i.y = w->rect.top;
        i.cx = w->rect.right - w->rect.left;
        i.cy = w->rect.bottom - w->rect.top;
        i.parent = w->parent;
        i.id = w->id;
        i.visible = Visible(*w);
        i.enabled = !(w->style & WS_DISABLED);
        i.dialog = w->ctl == Ctl::Dialog;
        i.tabStops = w->tabStops;
        out.push_back(i);
    }
    return out;
}

} // namespace winsim

extern "C" {

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    WINSIM_FAILPOINT(nullptr);
    const WndClass* cls = lpClassName ? FindClass(lpClassName) : nullptr;
    if (cls && cls->ctl == Ctl::Dialog) { // a dialog needs its template
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateWin(dwExStyle, lpClassName, lpWindowName, dwStyle, X, Y, nWidth, nHeight,
                     hWndParent, hMenu, hInstance, lpParam, nullptr);
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Live(hWnd);
    if (!w) return 0;
    switch (Msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) w->text = cs->lpszName;
        return TRUE;
    }
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        COLORREF color;
        if (!w->background || !BrushColor(w->background, &color)) return 0;
        RECT rc = ClientOf(*w);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, w->background);
        return 1;
    }
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        Invalidate(*w, nullptr, true);
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam) return 0;
        auto* out = reinterpret_cast<char*>(lParam);
        size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
        std::memcpy(out, w->text.data(), n);
        out[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_SETFONT:
        w->font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam)) Invalidate(*w, nullptr, true);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(w->font);
    default:
        return 0;
    }
}

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                               LPARAM lParam) {
    if (!lpPrevWndFunc) return 0;
    ++U().depth;
    LRESULT r = lpPrevWndFunc(hWnd, Msg, wParam, lParam);
    --U().depth;
    return r;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    Require();
    Purge();
    WINSIM_FAILPOINT(FALSE);
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    if (w->ctl == Ctl::Foreign) { // another program's window
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (w->destroying) return TRUE;
    uint32_t h = w->handle;
    // Owned windows go first, then the window with its children.
    std::vector<uint32_t> owned;
    for (uint32_t o : U().order) {
        Window* ow = Live(o);
        if (ow && !ow->child && ow->parent == h) owned.push_back(o);
    }
    for (uint32_t o : owned)
        DestroyWindow(AsHwnd(o));
    DestroyTree(h);
    Purge();
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    uint32_t h = w->handle;
    BOOL was = (w->style & WS_VISIBLE) != 0;
    if (nCmdShow == SW_HIDE) {
        if (was) {
            w->style &= ~WS_VISIBLE;
            CallProc(h, WM_SHOWWINDOW, FALSE, 0);
        }
        return was;
    }
    if (nCmdShow == SW_SHOWMAXIMIZED) {
        int border, caption;
        FrameInsets(w->style, w->exStyle, &border, &caption);
        w->rect = RECT{-border, -border, ScreenWidth() + border, ScreenHeight() + border};
        w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
    } else if (nCmdShow == SW_MINIMIZE || nCmdShow == SW_SHOWMINIMIZED ||
               nCmdShow == SW_SHOWMINNOACTIVE) {
        w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
    } else if (nCmdShow == SW_RESTORE || nCmdShow == SW_SHOWNORMAL) {
        w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
    }
    if (!was) {
        w->style |= WS_VISIBLE;
        CallProc(h, WM_SHOWWINDOW, TRUE, 0);
    }
    if (Window* again = Live(h)) {
        Invalidate(*again, nullptr, true);
        RECT client = ClientOf(*again);
        if (nCmdShow == SW_SHOWMAXIMIZED)
            CallProc(h, WM_SIZE, 2, MAKELPARAM(client.right, client.bottom)); // SIZE_MAXIMIZED
    }
    return was;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    return Live(hWnd) != nullptr;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
    Window* w = Live(hWnd);
    return w && Visible(*w);
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !bEnable) return wasDisabled;
    if (bEnable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    uint32_t h = w->handle;
    if (!bEnable && U().focus == h) SetFocus(nullptr);
    CallProc(h, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    if (Window* again = Live(h)) Invalidate(*again, nullptr, true);
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    Window* w = Live(hWnd);
    return w && !(w->style & WS_DISABLED);
}

HWND WINAPI GetParent(HWND hWnd) {
    WINSIM_FAILPOINT(nullptr);
    Window* w = LiveOrFail(hWnd);
    if (!w) return nullptr;
    // A popup's owner counts as its parent; an overlapped window has none.
    if (w->child || (w->style & WS_POPUP)) return AsHwnd(w->parent);
    return nullptr;
}

HWND WINAPI SetFocus(HWND hWnd) {
    WINSIM_FAILPOINT(nullptr);
    UserState& u = U();
    uint32_t old = u.focus;
    uint32_t h = HandleValue(hWnd);
    if (hWnd && !LiveOrFail(hWnd)) return nullptr;
    if (h == old) return AsHwnd(old);
    u.focus = h;
    if (old && Live(old)) CallProc(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (h && Live(h)) CallProc(h, WM_SETFOCUS, reinterpret_cast<WPARAM>(AsHwnd(old)), 0);
    return AsHwnd(old);
}

HWND WINAPI GetFocus(void) {
    return Live(U().focus) ? AsHwnd(U().focus) : nullptr;
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    WINSIM_FAILPOINT(FALSE);
    return Live(hWnd) != nullptr;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    WINSIM_FAILPOINT(FALSE);
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    w->rect = RECT{X, Y, X + nWidth, Y + nHeight};
    uint32_t h = w->handle;
    RECT client = ClientOf(*w);
    CallProc(h, WM_MOVE, 0, MAKELPARAM(X, Y));
    CallProc(h, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    if (bRepaint)
        if (Window* again = Live(h)) Invalidate(*again, nullptr, true);
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                         UINT uFlags) {
    (void)hWndInsertAfter;
    WINSIM_FAILPOINT(FALSE);
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    RECT r = w->rect;
    if (!(uFlags & SWP_NOMOVE)) {
        r.right += X - r.left;
        r.bottom += Y - r.top;
        r.left = X;
        r.top = Y;
    }
    if (!(uFlags & SWP_NOSIZE)) {
        r.right = r.left + cx;
        r.bottom = r.top + cy;
    }
    w->rect = r;
    uint32_t h = w->handle;
    if (uFlags & SWP_SHOWWINDOW) ShowWindow(hWnd, SW_SHOWNA);
    if (uFlags & SWP_HIDEWINDOW) ShowWindow(hWnd, SW_HIDE);
    if (!(uFlags & SWP_NOREDRAW))
        if (Window* again = Live(h)) Invalidate(*again, nullptr, true);
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    WINSIM_FAILPOINT(FALSE);
    Window* w = LiveOrFail(hWnd);
    if (!w || !lpRect) return FALSE;
    RECT r = w->rect;
    if (w->child) {
        if (Window* parent = Live(w->parent)) {
            POINT o = ClientOrigin(*parent);
            r.left += o.x;
            r.right += o.x;
            r.top += o.y;
            r.bottom += o.y;
        }
    }
    *lpRect = r;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    WINSIM_FAILPOINT(FALSE);
    Window* w = LiveOrFail(hWnd);
    if (!w || !lpRect) return FALSE;
    *lpRect = ClientOf(*w);
    return TRUE;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    WINSIM_FAILPOINT(0);
    Window* w = LiveOrFail(hWnd);
    if (!w) return 0;
    switch (nIndex) {
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return static_cast<LONG_PTR>(w->parent);
    case GWLP_ID:
        return w->id;
    case GWLP_USERDATA:
        return w->userData;
    default:
        break;
    }
    if (w->ctl == Ctl::Dialog && nIndex >= 0) {
        if (nIndex == DWLP_MSGRESULT) return w->msgResult;
        if (nIndex == static_cast<int>(DWLP_DLGPROC)) return reinterpret_cast<LONG_PTR>(w->dlgProc);
        if (nIndex == static_cast<int>(DWLP_USER)) return w->dlgUser;
    }
    if (nIndex >= 0 && static_cast<size_t>(nIndex) + sizeof(LONG_PTR) <= w->extra.size()) {
        LONG_PTR v;
        std::memcpy(&v, &w->extra[static_cast<size_t>(nIndex)], sizeof v);
        return v;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    WINSIM_FAILPOINT(0);
    Window* w = LiveOrFail(hWnd);
    if (!w) return 0;
    LONG_PTR old = GetWindowLongPtrA(hWnd, nIndex);
    switch (nIndex) {
    case GWL_STYLE: {
        auto style = static_cast<DWORD>(dwNewLong);
        if (!w->child) style |= WS_CLIPSIBLINGS; // a top-level window keeps it
        w->style = style;
        return old;
    }
    case GWL_EXSTYLE:
        w->exStyle = static_cast<DWORD>(dwNewLong);
        return old;
    case GWLP_WNDPROC:
        w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        return old;
    case GWLP_HINSTANCE:
        w->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
        return old;
    case GWLP_ID:
        w->id = static_cast<int>(dwNewLong);
        return old;
    case GWLP_USERDATA:
        w->userData = dwNewLong;
        return old;
    case GWLP_HWNDPARENT:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    default:
        break;
    }
    if (w->ctl == Ctl::Dialog && nIndex >= 0) {
        if (nIndex == DWLP_MSGRESULT) {
            w->msgResult = dwNewLong;
            return old;
        }
        if (nIndex == static_cast<int>(DWLP_DLGPROC)) {
            w->dlgProc = reinterpret_cast<DLGPROC>(dwNewLong);
            return old;
        }
        if (nIndex == static_cast<int>(DWLP_USER)) {
            w->dlgUser = dwNewLong;
            return old;
        }
    }
    if (nIndex >= 0 && static_cast<size_t>(nIndex) + sizeof(LONG_PTR) <= w->extra.size()) {
        std::memcpy(&w->extra[static_cast<size_t>(nIndex)], &dwNewLong, sizeof dwNewLong);
        return old;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

// The 32-bit forms cannot carry a pointer of this machine's width: they refuse what does not
// fit, as 64-bit Windows refuses GWL_WNDPROC.
LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    WINSIM_FAILPOINT(0);
    LONG_PTR v = GetWindowLongPtrA(hWnd, nIndex);
    if (static_cast<LONG_PTR>(static_cast<LONG>(v)) != v &&
        static_cast<LONG_PTR>(static_cast<DWORD>(v)) != v) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(v);
}

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    WINSIM_FAILPOINT(0);
    if (nIndex == GWLP_WNDPROC || nIndex == static_cast<int>(DWLP_DLGPROC)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value = dwNewLong;
    if (nIndex == GWL_STYLE || nIndex == GWL_EXSTYLE) value = static_cast<DWORD>(dwNewLong);
    return static_cast<LONG>(SetWindowLongPtrA(hWnd, nIndex, value));
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    WINSIM_FAILPOINT(FALSE);
    if (!LiveOrFail(hWnd)) return FALSE;
    return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (!lpString || nMaxCount <= 0) return 0;
    lpString[0] = '\0';
    WINSIM_FAILPOINT(0);
    if (!LiveOrFail(hWnd)) return 0;
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
    WINSIM_FAILPOINT(0);
    if (!LiveOrFail(hWnd)) return 0;
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

int WINAPI GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXVSCROLL:
        return kScrollBar;
    case SM_CXSCREEN:
        return ScreenWidth();
    case SM_CYSCREEN:
        return ScreenHeight();
    default:
        return 0;
    }
}

} // extern "C"
