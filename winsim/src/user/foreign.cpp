// Other programs' top-level windows: machine.ini [windows] CLASS=TITLE says which are open.
// FindWindowA finds them after this process's own; WM_CLOSE (sent or posted) ends the program, and
// its line goes from machine.ini; DestroyWindow on one is refused (windows.cpp).
#include "user.h"

namespace winsim::user {

namespace {

// The other program ends when its window is closed.
LRESULT WINAPI ForeignProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Live(hwnd);
    if (!w) return 0;
    switch (msg) {
    case WM_CLOSE: {
        // The program closes its window and ends: it lets go of the window's line.
        std::string cls = w->className;
        w->alive = false;
        w->style &= ~WS_VISIBLE;
        MachineState& m = Require();
        m.ini.DeleteKey("windows", cls);
        WriteFileAtomic(m.dir + "/machine.ini", m.ini.Text());
        R().closed.push_back(cls);
        Journal("closed " + cls);
        return 0;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    default:
        return 0;
    }
}

} // namespace

void SyncForeign() {
    MachineState* m = Current();
    if (!m) return;
    auto entries = m->ini.Entries("windows");
    UserState& u = U();
    for (auto& kv : u.windows) {
        Window& w = *kv.second;
        if (w.ctl != Ctl::Foreign || !w.alive) continue;
        bool listed = false;
        for (const auto& e : entries)
            listed = listed || IEquals(e.first, w.className);
        if (!listed) w.alive = false;
    }
    for (const auto& e : entries) {
        bool have = false;
        for (auto& kv : u.windows) {
            const Window& w = *kv.second;
            have = have || (w.alive && w.ctl == Ctl::Foreign && IEquals(w.className, e.first));
        }
        if (have) continue;
        auto w = std::make_unique<Window>();
        w->handle = NextHandleNumber();
        w->className = e.first;
        w->text = e.second;
        w->ctl = Ctl::Foreign;
        w->proc = ForeignProc;
        w->style = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS;
        w->rect = RECT{0, 0, ScreenWidth(), ScreenHeight()};
        uint32_t h = w->handle;
        u.windows[h] = std::move(w);
        u.order.push_back(h);
    }
}

} // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

namespace winsim {

void OpenForeignWindow(const std::string& className, const std::string& title) {
    SetSetting("windows", className, title);
}

std::vector<std::string> ForeignWindows() {
    std::vector<std::string> out;
    for (const auto& kv : Require().ini.Entries("windows"))
        out.push_back(kv.first);
    return out;
}

std::vector<std::string> ClosedWindows() {
    return R().closed;
}

} // namespace winsim

extern "C" {

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    Require();
    WINSIM_FAILPOINT(nullptr);
    SyncForeign();
    const WndClass* byAtom =
        lpClassName && IS_INTRESOURCE(lpClassName) ? FindClass(lpClassName) : nullptr;
    if (lpClassName && IS_INTRESOURCE(lpClassName) && !byAtom) return nullptr;
    // Top-level windows from the top of the Z order: the newest first.
    const auto& order = U().order;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        Window* w = Live(*it);
        if (!w || w->child) continue;
        if (lpClassName && !IEquals(w->className, byAtom ? byAtom->name : std::string(lpClassName)))
            continue;
        if (lpWindowName && !IEquals(w->text, lpWindowName)) continue;
        return AsHwnd(*it);
    }
    return nullptr;
}

} // extern "C"
