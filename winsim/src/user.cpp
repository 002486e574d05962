// User interface: window classes, windows and their procedures, the process's message queue,
// dialogs built from their RT_DIALOG templates with their controls as child windows, the
// standard controls the product uses (button, static, list box, edit), message boxes answered by
// a scripted user, FindWindowA over this process's windows and the other programs' windows the
// machine declares open, ExitWindowsEx, and what the product sends to every top-level window
// (HWND_BROADCAST), recorded for tests.
//
// Nothing is on a screen, but everything a window system does for a program happens: messages
// arrive in Windows' order (sent at once; posted first-in first-out, then WM_QUIT, then WM_PAINT
// for invalid visible windows, then due timers), and window procedures are really called.
#include "ui.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>

using namespace winsim;

namespace {

// ---- records ------------------------------------------------------------------------------------

struct Records {
    std::vector<BroadcastMessage> broadcasts;
    std::vector<MessageBoxRecord> boxes;
    std::deque<int> answers;
    std::deque<int> clicks;
    std::vector<uint32_t> restarts;
    std::vector<std::string> closed;
};
Records& R() {
    static auto* r = new Records;
    return *r;
}

void RecordBroadcast(UINT msg, WPARAM wParam, LPARAM lParam, bool withText) {
    BroadcastMessage m;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = static_cast<uintptr_t>(lParam);
    if (withText && msg == WM_WININICHANGE && lParam != 0)
        m.text = reinterpret_cast<const char*>(lParam);
    R().broadcasts.push_back(m);
}

void Debug(const std::string& line) {
    OutputDebugStringA(("winsim: " + line + "\n").c_str());
}

// ---- classes and windows ------------------------------------------------------------------------

enum class Ctl { None, Button, Static, ListBox, Edit, Dialog, Foreign };

struct WndClass {
    std::string name;
    ATOM atom = 0;
    WNDPROC proc = nullptr;
    UINT style = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    int wndExtra = 0;
    Ctl ctl = Ctl::None;
    bool system = false;
};

struct ListItem {
    std::string text;
    LONG_PTR data = 0;
    bool selected = false;
};

struct Window {
    uint32_t handle = 0;
    std::string className;
    UINT classStyle = 0;
    HBRUSH background = nullptr;
    Ctl ctl = Ctl::None;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    std::string text;
    DWORD style = 0, exStyle = 0;
    RECT rect{};         // screen for a top-level window, the parent's client area for a child
    uint32_t parent = 0; // child: its parent; top-level: its owner
    bool child = false;
    int id = 0;
    LONG_PTR userData = 0;
    std::vector<unsigned char> extra;
    bool alive = true, destroying = false;
    bool invalid = false, erase = false;
    RECT update{};
    HFONT font = nullptr;
    // dialogs
    DLGPROC dlgProc = nullptr;
    LONG_PTR msgResult = 0, dlgUser = 0;
    bool ended = false;
    INT_PTR result = 0;
    HFONT ownFont = nullptr; // the template's font, deleted with the dialog
    int baseX = 8, baseY = 16;
    int defId = IDOK;
    // controls
    int check = BST_UNCHECKED;
    std::vector<ListItem> items;
    int caret = -1, top = 0, itemHeight = 13, cursel = -1;
};

struct Timer {
    uint32_t window = 0;
    UINT_PTR id = 0;
    UINT elapse = 0;
    uint32_t due = 0;
    TIMERPROC proc = nullptr;
};

struct UserState {
    std::vector<std::unique_ptr<WndClass>> classes;
    ATOM nextAtom = 0xC000;
    std::map<uint32_t, std::unique_ptr<Window>> windows;
    std::vector<uint32_t> order; // creation order
    std::deque<MSG> posted;
    bool quit = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    UINT_PTR nextTimerId = 1;
    uint32_t focus = 0;
    int depth = 0; // window procedures running
};
UserState& U() {
    static auto* u = new UserState;
    return *u;
}

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

// Dead windows leave the table only when no window procedure runs, so no caller up the stack
// holds a window that is gone.
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

// The frame around the client area, as the style draws it.
void FrameInsets(DWORD style, DWORD exStyle, int* border, int* caption) {
    *border = 0;
    if (style & WS_THICKFRAME)
        *border = 4;
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        *border = 3;
    else if (style & WS_BORDER)
        *border = 1;
    *caption = (style & WS_CAPTION) == WS_CAPTION ? 18 : 0;
}

RECT ClientOf(const Window& w) {
    int border, caption;
    FrameInsets(w.style, w.exStyle, &border, &caption);
    RECT r{0, 0, w.rect.right - w.rect.left - 2 * border,
           w.rect.bottom - w.rect.top - 2 * border - caption};
    if (r.right < 0) r.right = 0;
    if (r.bottom < 0) r.bottom = 0;
    return r;
}

// Screen position of a window's client area.
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

const WndClass* FindClass(LPCSTR name) {
    for (const auto& c : U().classes) {
        if (IS_INTRESOURCE(name) ? c->atom == LOWORD(reinterpret_cast<uintptr_t>(name))
                                 : IEquals(c->name, name))
            return c.get();
    }
    return nullptr;
}

// ---- foreign windows: other programs' top-level windows (machine.ini [windows]) -----------------

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

// Brings the table of other programs' windows in line with machine.ini.
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

// ---- creation and destruction -----------------------------------------------------------------

struct DialogSetup {
    DLGPROC proc = nullptr;
    int baseX = 8, baseY = 16;
};

HWND CreateWin(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
               int cx, int cy, HWND parentHwnd, HMENU menu, HINSTANCE instance, LPVOID param,
               const DialogSetup* dialog) {
    Require();
    Purge();
    DWORD err;
    if (ShouldFail("CreateWindowExA", &err)) {
        SetLastError(err);
        return nullptr;
    }
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

// ---- the message queue
// ---------------------------------------------------------------------------

bool InRange(UINT msg, UINT lo, UINT hi) {
    return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi);
}

bool ForFilter(uint32_t target, HWND filter) {
    if (!filter) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return target == 0; // thread messages only
    uint32_t f = HandleValue(filter);
    return target == f || IsDescendant(f, target);
}

MSG MakeMsg(uint32_t h, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = AsHwnd(h);
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = ClockNow();
    return m;
}

// Takes (or only looks at) the next message for the filter, in Windows' order of kinds.
bool Fetch(MSG* out, HWND filter, UINT lo, UINT hi, bool remove) {
    UserState& u = U();
    for (auto it = u.posted.begin(); it != u.posted.end(); ++it) {
        if (!ForFilter(HandleValue(it->hwnd), filter) || !InRange(it->message, lo, hi)) continue;
        *out = *it;
        if (remove) u.posted.erase(it);
        return true;
    }
    if (u.quit) { // retrieved whatever the filter
        *out = MakeMsg(0, WM_QUIT, static_cast<WPARAM>(u.quitCode), 0);
        if (remove) u.quit = false;
        return true;
    }
    if (InRange(WM_PAINT, lo, hi)) {
        for (uint32_t h : u.order) {
            Window* w = Live(h);
            if (w && w->invalid && w->ctl != Ctl::Foreign && Visible(*w) && ForFilter(h, filter)) {
                *out = MakeMsg(h, WM_PAINT, 0, 0);
                return true;
            }
        }
    }
    if (InRange(WM_TIMER, lo, hi)) {
        for (Timer& t : u.timers) {
            if (t.due > ClockNow() || !ForFilter(t.window, filter)) continue;
            *out = MakeMsg(t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc));
            if (remove) t.due = ClockNow() + t.elapse;
            return true;
        }
    }
    return false;
}

// The clock moves to the next timer; false when none is set.
bool WaitForTimer() {
    UserState& u = U();
    if (u.timers.empty()) return false;
    uint32_t next = u.timers.front().due;
    for (const Timer& t : u.timers)
        next = std::min(next, t.due);
    if (next > ClockNow()) AdvanceClock(next - ClockNow());
    return true;
}

// ---- dialog templates ------------------------------------------------------------------------

struct TemplateItem {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::string className; // "#atom" kept as the class's name
    std::string title;
};

struct Template {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string title;
    WORD pointSize = 0;
    std::string face;
    std::vector<TemplateItem> items;
};

class TemplateReader {
  public:
    TemplateReader(const unsigned char* p, size_t size) : m_p(p), m_size(size) {}
    bool Ok() const { return m_ok; }
    WORD Word() {
        if (m_at + 2 > m_size) return Fail<WORD>();
        WORD v = static_cast<WORD>(m_p[m_at] | m_p[m_at + 1] << 8);
        m_at += 2;
        return v;
    }
    DWORD Dword() {
        DWORD lo = Word();
        return lo | static_cast<DWORD>(Word()) << 16;
    }
    BYTE Byte() {
        if (m_at + 1 > m_size) return Fail<BYTE>();
        return m_p[m_at++];
    }
    std::string Text() {
        std::string s;
        for (WORD c = Word(); m_ok && c; c = Word())
            s += c < 0x100 ? static_cast<char>(c) : '?';
        return s;
    }
    // A name or a number: "" for none, "#n" for a number.
    std::string NameOrOrdinal() {
        WORD first = Word();
        if (first == 0) return "";
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        m_at -= 2;
        return Text();
    }
    void AlignDword() { m_at = (m_at + 3) & ~size_t{3}; }
    void Skip(size_t n) {
        if (m_at + n > m_size)
            Fail<int>();
        else
            m_at += n;
    }

  private:
    template <typename T> T Fail() {
        m_ok = false;
        m_at = m_size;
        return T{};
    }
    const unsigned char* m_p;
    size_t m_size;
    size_t m_at = 0;
    bool m_ok = true;
};

// DLGTEMPLATE or DLGTEMPLATEEX with their items.
bool ParseTemplate(const unsigned char* data, size_t size, Template* t) {
    TemplateReader r(data, size);
    bool ex = size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
    WORD count = 0;
    if (ex) {
        r.Skip(4);
        r.Dword(); // help ID
        t->exStyle = r.Dword();
        t->style = r.Dword();
    } else {
        t->style = r.Dword();
        t->exStyle = r.Dword();
    }
    count = r.Word();
    t->x = static_cast<short>(r.Word());
    t->y = static_cast<short>(r.Word());
    t->cx = static_cast<short>(r.Word());
    t->cy = static_cast<short>(r.Word());
    r.NameOrOrdinal(); // menu
    r.NameOrOrdinal(); // class
    t->title = r.Text();
    if (t->style & DS_SETFONT) {
        t->pointSize = r.Word();
        if (ex) {
            r.Word(); // weight
            r.Byte(); // italic
            r.Byte(); // character set
        }
        t->face = r.Text();
    }
    for (WORD i = 0; i < count && r.Ok(); ++i) {
        r.AlignDword();
        TemplateItem item;
        if (ex) {
            r.Dword(); // help ID
            item.exStyle = r.Dword();
            item.style = r.Dword();
        } else {
            item.style = r.Dword();
            item.exStyle = r.Dword();
        }
        item.x = static_cast<short>(r.Word());
        item.y = static_cast<short>(r.Word());
        item.cx = static_cast<short>(r.Word());
        item.cy = static_cast<short>(r.Word());
        item.id = ex ? r.Dword() : r.Word();
        std::string cls = r.NameOrOrdinal();
        static const std::map<std::string, std::string> kAtoms = {
            {"#128", "Button"},  {"#129", "Edit"},      {"#130", "Static"},
            {"#131", "ListBox"}, {"#132", "ScrollBar"}, {"#133", "ComboBox"}};
        auto atom = kAtoms.find(cls);
        item.className = atom != kAtoms.end() ? atom->second : cls;
        item.title = r.NameOrOrdinal();
        WORD extra = r.Word();
        if (extra) r.Skip(ex ? extra : extra - 2u);
        t->items.push_back(item);
    }
    return r.Ok();
}

// Dialog base units of the template's font: MS Sans Serif 8 gives 6 x 13 pixels at 96 dpi.
void BaseUnits(const Template& t, int* bx, int* by) {
    if (!(t.style & DS_SETFONT) || t.pointSize == 0) {
        *bx = 8; // the system font
        *by = 16;
        return;
    }
    int pixels = (t.pointSize * 96 + 36) / 72;
    *by = pixels + 2;
    *bx = std::max(1, (*by * 6 + 6) / 13);
}

HWND CreateDialogFrom(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param,
                      bool modal) {
    HRSRC res = FindResourceA(instance, name, RT_DIALOG);
    if (!res) return nullptr;
    const auto* data = static_cast<const unsigned char*>(LoadResource(instance, res));
    Template t;
    if (!data || !ParseTemplate(data, SizeofResource(instance, res), &t)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    DialogSetup setup;
    setup.proc = proc;
    BaseUnits(t, &setup.baseX, &setup.baseY);
    auto px = [&](int v) { return v * setup.baseX / 4; };
    auto py = [&](int v) { return v * setup.baseY / 8; };

    DWORD exStyle = t.exStyle | ((t.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0);
    DWORD style = t.style & ~WS_VISIBLE;
    int border, caption;
    FrameInsets(style, exStyle, &border, &caption);
    int cx = px(t.cx) + 2 * border, cy = py(t.cy) + 2 * border + caption;
    int x = px(t.x), y = py(t.y);
    if (t.style & DS_CENTER) {
        x = (ScreenWidth() - cx) / 2;
        y = (ScreenHeight() - cy) / 2;
    } else if (Window* o = Live(owner); o && !(t.style & DS_ABSALIGN) && !(t.style & WS_CHILD)) {
        POINT origin = ClientOrigin(*o); // placed against the owner's client area
        x += origin.x;
        y += origin.y;
    }
    HWND dlg = CreateWin(exStyle, "#32770", t.title.c_str(), style, x, y, cx, cy, owner, nullptr,
                         instance, nullptr, &setup);
    if (!dlg) return nullptr;
    uint32_t h = HandleValue(dlg);
    HFONT font = nullptr;
    if (t.style & DS_SETFONT) {
        font = CreateFontA(-((t.pointSize * 96 + 36) / 72), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                           DEFAULT_CHARSET, 0, 0, 0, 0, t.face.c_str());
        if (Window* w = Live(h)) w->ownFont = font;
    }
    for (const TemplateItem& item : t.items) {
        const char* title = item.title.empty() || item.title[0] == '#' ? "" : item.title.c_str();
        HWND c =
            CreateWin(item.exStyle | WS_EX_NOPARENTNOTIFY, item.className.c_str(), title,
                      item.style | WS_CHILD, px(item.x), py(item.y), px(item.cx), py(item.cy), dlg,
                      reinterpret_cast<HMENU>(uintptr_t{item.id}), instance, nullptr, nullptr);
        if (!c && !(t.style & DS_NOFAILCREATE)) {
            DestroyWindow(dlg);
            return nullptr;
        }
        if (c && font) SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
        if (c && (item.style & 0xF) == BS_DEFPUSHBUTTON && item.className == "Button")
            if (Window* w = Live(h)) w->defId = static_cast<int>(item.id);
    }
    if (!Live(h)) return nullptr;
    if (font) CallProc(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    HWND first = nullptr;
    for (uint32_t c : U().order) {
        Window* cw = Live(c);
        if (cw && cw->child && cw->parent == h && (cw->style & WS_TABSTOP) &&
            !(cw->style & WS_DISABLED)) {
            first = AsHwnd(c);
            break;
        }
    }
    LRESULT focus = CallProc(h, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    Window* w = Live(h);
    if (!w) return nullptr;
    if (focus && first) SetFocus(first);
    w = Live(h);
    if (w && !w->ended && ((t.style & WS_VISIBLE) || modal)) ShowWindow(dlg, SW_SHOWNORMAL);
    return Live(h) ? dlg : nullptr;
}

// The default window procedure of dialogs: the dialog procedure first, then Windows' defaults.
LRESULT WINAPI DialogWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Live(hwnd);
    DLGPROC proc = w ? w->dlgProc : nullptr;
    INT_PTR r = proc ? proc(hwnd, msg, wParam, lParam) : 0;
    w = Live(hwnd);
    if (r) {
        switch (msg) {
        case WM_INITDIALOG:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return r;
        default:
            return w ? w->msgResult : r;
        }
    }
    if (!w) return 0;
    switch (msg) {
    case WM_CLOSE:
        PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
        return 0;
    case WM_ERASEBKGND: {
        RECT rc = ClientOf(*w);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case DM_GETDEFID:
        return MAKELRESULT(w->defId, 0x534B); // DC_HASDEFID
    case DM_SETDEFID:
        w->defId = static_cast<int>(wParam);
        return TRUE;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

// ---- standard controls -------------------------------------------------------------------------

void Notify(const Window& w, WORD code) {
    if (!w.child) return;
    CallProc(w.parent, WM_COMMAND, MAKEWPARAM(w.id, code),
             reinterpret_cast<LPARAM>(AsHwnd(w.handle)));
}

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
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

LRESULT WINAPI StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool OwnerDrawn(const Window& w) {
    return (w.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
}

bool HoldsStrings(const Window& w) {
    return !OwnerDrawn(w) || (w.style & LBS_HASSTRINGS);
}

bool MultiSelect(const Window& w) {
    return (w.style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
}

void ListDraw(uint32_t h, HDC dc, int index, UINT action) {
    Window* w = Live(h);
    if (!w || index < 0 || index >= static_cast<int>(w->items.size())) return;
    RECT client = ClientOf(*w);
    RECT item{0, (index - w->top) * w->itemHeight, client.right,
              (index - w->top + 1) * w->itemHeight};
    if (!OwnerDrawn(*w)) {
        TextOutA(dc, 2, item.top, w->items[static_cast<size_t>(index)].text.c_str(),
                 static_cast<int>(w->items[static_cast<size_t>(index)].text.size()));
        return;
    }
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_LISTBOX;
    dis.CtlID = static_cast<UINT>(w->id);
    dis.itemID = static_cast<UINT>(index);
    dis.itemAction = action;
    const ListItem& li = w->items[static_cast<size_t>(index)];
    dis.itemState = (li.selected || w->cursel == index ? ODS_SELECTED : 0) |
                    (U().focus == h && w->caret == index ? ODS_FOCUS : 0);
    dis.hwndItem = AsHwnd(h);
    dis.hDC = dc;
    dis.rcItem = item;
    dis.itemData = static_cast<ULONG_PTR>(li.data);
    CallProc(w->parent, WM_DRAWITEM, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&dis));
}

LRESULT WINAPI ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Live(hwnd);
    if (!w) return 0;
    uint32_t h = w->handle;
    auto count = static_cast<int>(w->items.size());
    auto valid = [&](WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count; };
    auto changed = [&] { Invalidate(*w, nullptr, true); };
    switch (msg) {
    case WM_CREATE:
        if (w->style & LBS_OWNERDRAWFIXED) {
            MEASUREITEMSTRUCT mis{};
            mis.CtlType = ODT_LISTBOX;
            mis.CtlID = static_cast<UINT>(w->id);
            mis.itemHeight = 13;
            CallProc(w->parent, WM_MEASUREITEM, static_cast<WPARAM>(w->id),
                     reinterpret_cast<LPARAM>(&mis));
            if (Window* again = Live(h)) again->itemHeight = static_cast<int>(mis.itemHeight);
        }
        return 0;
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
        ListItem item;
        if (HoldsStrings(*w))
            item.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        else
            item.data = lParam;
        size_t at = w->items.size();
        if (msg == LB_INSERTSTRING && static_cast<int>(wParam) >= 0) {
            if (static_cast<int>(wParam) > count) return LB_ERR;
            at = wParam;
        } else if (msg == LB_ADDSTRING && (w->style & LBS_SORT) && HoldsStrings(*w)) {
            at = 0;
            while (at < w->items.size() &&
                   lstrcmpiA(w->items[at].text.c_str(), item.text.c_str()) <= 0)
                ++at;
        }
        w->items.insert(w->items.begin() + static_cast<long>(at), item);
        changed();
        return static_cast<LRESULT>(at);
    }
    case LB_DELETESTRING:
        if (!valid(wParam)) return LB_ERR;
        w->items.erase(w->items.begin() + static_cast<long>(wParam));
        if (w->caret >= static_cast<int>(w->items.size()))
            w->caret = static_cast<int>(w->items.size()) - 1;
        changed();
        return static_cast<LRESULT>(w->items.size());
    case LB_RESETCONTENT:
        w->items.clear();
        w->caret = -1;
        w->cursel = -1;
        w->top = 0;
        changed();
        return 0;
    case LB_GETCOUNT:
        return count;
    case LB_GETTEXT:
        if (!valid(wParam) || !lParam) return LB_ERR;
        if (!HoldsStrings(*w)) {
            std::memcpy(reinterpret_cast<void*>(lParam), &w->items[wParam].data, sizeof(LONG_PTR));
            return sizeof(LONG_PTR);
        }
        std::memcpy(reinterpret_cast<char*>(lParam), w->items[wParam].text.c_str(),
                    w->items[wParam].text.size() + 1);
        return static_cast<LRESULT>(w->items[wParam].text.size());
    case LB_GETTEXTLEN:
        if (!valid(wParam)) return LB_ERR;
        return HoldsStrings(*w) ? static_cast<LRESULT>(w->items[wParam].text.size())
                                : static_cast<LRESULT>(sizeof(LONG_PTR));
    case LB_GETITEMDATA:
        return valid(wParam) ? w->items[wParam].data : LB_ERR;
    case LB_SETITEMDATA:
        if (!valid(wParam)) return LB_ERR;
        w->items[wParam].data = lParam;
        return TRUE;
    case LB_GETCARETINDEX:
        return w->caret < 0 ? 0 : w->caret;
    case LB_SETCARETINDEX:
        if (!valid(wParam)) return LB_ERR;
        w->caret = static_cast<int>(wParam);
        changed();
        return 0;
    case LB_GETTOPINDEX:
        return w->top;
    case LB_SETTOPINDEX:
        if (!valid(wParam) && !(count == 0 && wParam == 0)) return LB_ERR;
        w->top = static_cast<int>(wParam);
        changed();
        return 0;
    case LB_GETITEMHEIGHT:
        return w->itemHeight;
    case LB_SETITEMHEIGHT:
        if (LOWORD(lParam) == 0 || LOWORD(lParam) > 255) return LB_ERR;
        w->itemHeight = LOWORD(lParam);
        changed();
        return 0;
    case LB_GETITEMRECT: {
        if (!valid(wParam) || !lParam) return LB_ERR;
        RECT client = ClientOf(*w);
        int i = static_cast<int>(wParam) - w->top;
        *reinterpret_cast<RECT*>(lParam) =
            RECT{0, i * w->itemHeight, client.right, (i + 1) * w->itemHeight};
        return 1;
    }
    case LB_GETCURSEL:
        return MultiSelect(*w) ? w->caret : w->cursel;
    case LB_SETCURSEL:
        if (MultiSelect(*w)) return LB_ERR;
        w->cursel = valid(wParam) ? static_cast<int>(wParam) : -1;
        if (w->cursel >= 0) w->caret = w->cursel;
        changed();
        return w->cursel < 0 ? LB_ERR : w->cursel;
    case LB_GETSEL:
        if (!valid(wParam)) return LB_ERR;
        return MultiSelect(*w) ? w->items[wParam].selected : w->cursel == static_cast<int>(wParam);
    case LB_SETSEL:
        if (!MultiSelect(*w)) return LB_ERR;
        if (static_cast<int>(lParam) == -1) {
            for (ListItem& li : w->items)
                li.selected = wParam != 0;
        } else if (static_cast<int>(lParam) >= 0 && static_cast<int>(lParam) < count) {
            w->items[static_cast<size_t>(lParam)].selected = wParam != 0;
        } else {
            return LB_ERR;
        }
        changed();
        return 0;
    case LB_GETSELCOUNT: {
        if (!MultiSelect(*w)) return LB_ERR;
        int n = 0;
        for (const ListItem& li : w->items)
            n += li.selected;
        return n;
    }
    case WM_LBUTTONDOWN: {
        int row = w->top + static_cast<SHORT>(HIWORD(lParam)) / std::max(1, w->itemHeight);
        SetFocus(hwnd);
        w = Live(h);
        if (!w || row < 0 || row >= static_cast<int>(w->items.size())) return 0;
        w->caret = row;
        if (MultiSelect(*w)) {
            if (w->style & LBS_EXTENDEDSEL)
                for (ListItem& li : w->items)
                    li.selected = false;
            w->items[static_cast<size_t>(row)].selected =
                (w->style & LBS_EXTENDEDSEL) ? true : !w->items[static_cast<size_t>(row)].selected;
        } else {
            w->cursel = row;
        }
        changed();
        if (w->style & LBS_NOTIFY) Notify(*w, LBN_SELCHANGE);
        return 0;
    }
    case WM_KEYDOWN: {
        int row = w->caret;
        if (wParam == VK_DOWN && row + 1 < count) ++row;
        if (wParam == VK_UP && row > 0) --row;
        if (wParam == VK_SPACE && MultiSelect(*w) && row >= 0 && row < count)
            w->items[static_cast<size_t>(row)].selected =
                !w->items[static_cast<size_t>(row)].selected;
        if (row != w->caret) {
            w->caret = row;
            if (!MultiSelect(*w)) w->cursel = row;
            if (w->style & LBS_NOTIFY) Notify(*w, LBN_SELCHANGE);
        }
        if (Window* again = Live(h)) Invalidate(*again, nullptr, true);
        return 0;
    }
    case WM_CHAR:
        return 0;
    case WM_GETDLGCODE:
        return 0x0001 | 0x0004; // DLGC_WANTARROWS | DLGC_WANTCHARS
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        if (w->caret >= 0) {
            HDC dc = GetDC(hwnd);
            ListDraw(h, dc, w->caret, ODA_FOCUS);
            ReleaseDC(hwnd, dc);
        }
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client = ClientOf(*w);
        for (int i = w->top;
             i < static_cast<int>(w->items.size()) && (i - w->top) * w->itemHeight < client.bottom;
             ++i) {
            ListDraw(h, dc, i, ODA_DRAWENTIRE);
            w = Live(h);
            if (!w) break;
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

LRESULT WINAPI EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_GETDLGCODE) return 0x0001 | 0x0080; // DLGC_WANTARROWS | DLGC_HASSETSEL
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

const bool g_systemClasses = [] {
    struct Sys {
        const char* name;
        WNDPROC proc;
        Ctl ctl;
        UINT style;
    };
    const Sys kSys[] = {{"Button", ButtonProc, Ctl::Button, CS_DBLCLKS | CS_PARENTDC},
                        {"Static", StaticProc, Ctl::Static, CS_DBLCLKS | CS_PARENTDC},
                        {"ListBox", ListBoxProc, Ctl::ListBox, CS_DBLCLKS | CS_PARENTDC},
                        {"Edit", EditProc, Ctl::Edit, CS_DBLCLKS | CS_PARENTDC},
                        {"#32770", DialogWndProc, Ctl::Dialog, CS_SAVEBITS | CS_DBLCLKS}};
    ATOM atom = 0x8000;
    for (const Sys& s : kSys) {
        auto c = std::make_unique<WndClass>();
        c->name = s.name;
        c->proc = s.proc;
        c->ctl = s.ctl;
        c->style = s.style;
        c->system = true;
        c->atom = atom++;
        U().classes.push_back(std::move(c));
    }
    return true;
}();

// ---- message boxes ----------------------------------------------------------------------------

std::vector<int> Buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDOK};
    }
}

// The scripted user acts on a modal dialog that waits: the next queued click, else Escape.
void UserActs(uint32_t dlg) {
    Records& r = R();
    int id = IDCANCEL;
    if (!r.clicks.empty()) {
        id = r.clicks.front();
        r.clicks.pop_front();
    }
    HWND control = GetDlgItem(AsHwnd(dlg), id);
    Window* c = Live(control);
    if (c && c->ctl == Ctl::Button) {
        ClickButton(c->handle);
        return;
    }
    if (c) { // another control: it gets the click where it lies
        SendMessageA(control, WM_LBUTTONDOWN, 0, 0);
        SendMessageA(control, WM_LBUTTONUP, 0, 0);
        return;
    }
    CallProc(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

std::string TypeText(UINT type) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", type);
    return buf;
}

} // namespace

namespace winsim {

bool IsLiveWindow(uintptr_t window) {
    return window <= 0xFFFFFFFFu && Live(static_cast<uint32_t>(window)) != nullptr;
}

std::vector<BroadcastMessage> Broadcasts() {
    return R().broadcasts;
}

void ClearBroadcasts() {
    R().broadcasts.clear();
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
        out.push_back(i);
    }
    return out;
}

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

void QueueMessageBoxAnswer(int answer) {
    R().answers.push_back(answer);
}

std::vector<MessageBoxRecord> MessageBoxes() {
    return R().boxes;
}

void ClearMessageBoxes() {
    R().boxes.clear();
}

void QueueDialogClick(int controlId) {
    R().clicks.push_back(controlId);
}

namespace {
const struct {
    const char* name;
    int id;
} kAnswers[] = {{"ok", IDOK},         {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
                {"ignore", IDIGNORE}, {"yes", IDYES},       {"no", IDNO}};
} // namespace

bool ParseAnswer(const std::string& text, int* answer) {
    for (const auto& a : kAnswers) {
        if (IEquals(text, a.name)) {
            *answer = a.id;
            return true;
        }
    }
    return false;
}

const char* AnswerName(int answer) {
    static const char* const kUpper[] = {"OK", "CANCEL", "ABORT", "RETRY", "IGNORE", "YES", "NO"};
    for (size_t i = 0; i < sizeof kAnswers / sizeof kAnswers[0]; ++i)
        if (kAnswers[i].id == answer) return kUpper[i];
    return "?";
}

std::vector<uint32_t> RestartRequests() {
    return R().restarts;
}

} // namespace winsim

extern "C" {

// ---- classes ----------------------------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    Require();
    DWORD err;
    if (ShouldFail("RegisterClassA", &err)) {
        SetLastError(err);
        return 0;
    }
    if (!lpWndClass || !lpWndClass->lpszClassName || IS_INTRESOURCE(lpWndClass->lpszClassName) ||
        !*lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const auto& c : U().classes) {
        if (!c->system && IEquals(c->name, lpWndClass->lpszClassName)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    auto c = std::make_unique<WndClass>();
    c->name = lpWndClass->lpszClassName;
    c->atom = U().nextAtom++;
    c->proc = lpWndClass->lpfnWndProc;
    c->style = lpWndClass->style;
    c->instance = lpWndClass->hInstance;
    c->icon = lpWndClass->hIcon;
    c->cursor = lpWndClass->hCursor;
    c->background = lpWndClass->hbrBackground;
    c->wndExtra = lpWndClass->cbWndExtra;
    ATOM atom = c->atom;
    U().classes.push_back(std::move(c));
    return atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
    (void)hInstance;
    Require();
    auto& classes = U().classes;
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        WndClass& c = **it;
        bool match = IS_INTRESOURCE(lpClassName)
                         ? c.atom == LOWORD(reinterpret_cast<uintptr_t>(lpClassName))
                         : (lpClassName && IEquals(c.name, lpClassName));
        if (!match || c.system) continue;
        for (const auto& kv : U().windows) {
            if (kv.second->alive && IEquals(kv.second->className, c.name)) {
                SetLastError(ERROR_CLASS_HAS_WINDOWS);
                return FALSE;
            }
        }
        // The class owns its background brush.
        if (reinterpret_cast<uintptr_t>(c.background) > 31) DeleteObject(c.background);
        classes.erase(it);
        return TRUE;
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE hInstance, LPCSTR lpClassName, LPWNDCLASSA lpWndClass) {
    (void)hInstance;
    const WndClass* c = FindClass(lpClassName);
    if (!c || !lpWndClass) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    WNDCLASSA wc{};
    wc.style = c->style;
    wc.lpfnWndProc = c->proc;
    wc.cbWndExtra = c->wndExtra;
    wc.hInstance = c->instance;
    wc.hIcon = c->icon;
    wc.hCursor = c->cursor;
    wc.hbrBackground = c->background;
    wc.lpszClassName = lpClassName;
    *lpWndClass = wc;
    return TRUE;
}

// ---- windows ---------------------------------------------------------------------------------

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
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

BOOL WINAPI UpdateWindow(HWND hWnd) {
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    if (w->invalid && Visible(*w)) CallProc(w->handle, WM_PAINT, 0, 0);
    return TRUE;
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
    Window* w = LiveOrFail(hWnd);
    if (!w) return nullptr;
    // A popup's owner counts as its parent; an overlapped window has none.
    if (w->child || (w->style & WS_POPUP)) return AsHwnd(w->parent);
    return nullptr;
}

HWND WINAPI SetFocus(HWND hWnd) {
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
    return Live(hWnd) != nullptr;
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    Require();
    DWORD err;
    if (ShouldFail("FindWindowA", &err)) {
        SetLastError(err);
        return nullptr;
    }
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

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
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
    Window* w = LiveOrFail(hWnd);
    if (!w || !lpRect) return FALSE;
    *lpRect = ClientOf(*w);
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
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

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
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
    LONG_PTR v = GetWindowLongPtrA(hWnd, nIndex);
    if (static_cast<LONG_PTR>(static_cast<LONG>(v)) != v &&
        static_cast<LONG_PTR>(static_cast<DWORD>(v)) != v) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(v);
}

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    if (nIndex == GWLP_WNDPROC || nIndex == static_cast<int>(DWLP_DLGPROC)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value = dwNewLong;
    if (nIndex == GWL_STYLE || nIndex == GWL_EXSTYLE) value = static_cast<DWORD>(dwNewLong);
    return static_cast<LONG>(SetWindowLongPtrA(hWnd, nIndex, value));
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    if (!LiveOrFail(hWnd)) return FALSE;
    return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (!lpString || nMaxCount <= 0) return 0;
    lpString[0] = '\0';
    if (!LiveOrFail(hWnd)) return 0;
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
    if (!LiveOrFail(hWnd)) return 0;
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

int WINAPI GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXSCREEN:
        return ScreenWidth();
    case SM_CYSCREEN:
        return ScreenHeight();
    default:
        return 0;
    }
}

// ---- messages ----------------------------------------------------------------------------------

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Require();
    DWORD err;
    if (ShouldFail("SendMessageA", &err)) {
        SetLastError(err);
        return 0;
    }
    if (hWnd == HWND_BROADCAST) {
        RecordBroadcast(Msg, wParam, lParam, true);
        return 0;
    }
    Window* w = LiveOrFail(hWnd);
    if (!w) return 0;
    return CallProc(w->handle, Msg, wParam, lParam);
}

LRESULT WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, PDWORD_PTR lpdwResult) {
    (void)fuFlags;
    (void)uTimeout;
    Require();
    if (lpdwResult) *lpdwResult = 0;
    DWORD err;
    if (ShouldFail("SendMessageTimeoutA", &err)) {
        SetLastError(err);
        return 0;
    }
    if (hWnd == HWND_BROADCAST) {
        RecordBroadcast(Msg, wParam, lParam, true);
        return 1;
    }
    Window* w = LiveOrFail(hWnd);
    if (!w) return 0;
    LRESULT r = CallProc(w->handle, Msg, wParam, lParam);
    if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(r);
    return 1;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Require();
    DWORD err;
    if (ShouldFail("PostMessageA", &err)) {
        SetLastError(err);
        return FALSE;
    }
    if (hWnd == HWND_BROADCAST) {
        // A posted WM_WININICHANGE would carry a pointer the receiver cannot read; keep the
        // number.
        RecordBroadcast(Msg, wParam, lParam, false);
        return TRUE;
    }
    if (!hWnd) { // a message to the thread
        U().posted.push_back(MakeMsg(0, Msg, wParam, lParam));
        return TRUE;
    }
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    if (w->ctl == Ctl::Foreign) { // the other program takes it from its own queue
        CallProc(w->handle, Msg, wParam, lParam);
        return TRUE;
    }
    U().posted.push_back(MakeMsg(w->handle, Msg, wParam, lParam));
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    U().quit = true;
    U().quitCode = nExitCode;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    Require();
    Purge();
    if (!lpMsg) return FALSE;
    if (Fetch(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0))
        return TRUE;
    AdvanceClock(10); // nothing there: the program gives up the rest of its time slice
    return FALSE;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    Require();
    Purge();
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hWnd && !LiveOrFail(hWnd)) return -1;
    for (;;) {
        if (Fetch(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
            return lpMsg->message != WM_QUIT;
        if (WaitForTimer()) continue;
        // Nothing can ever arrive: no message, no invalid window, no timer. Windows would wait
        // for ever; the scripted user ends the program instead, and says so.
        Debug("GetMessageA waits for a message that nothing can send; the program is ended");
        std::fprintf(stderr, "winsim: GetMessageA would wait for ever; the program is ended\n");
        *lpMsg = MakeMsg(0, WM_QUIT, static_cast<WPARAM>(-1), 0);
        return FALSE;
    }
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg || lpMsg->message != WM_KEYDOWN) return FALSE;
    WPARAM vk = lpMsg->wParam;
    char c = 0;
    if (vk == VK_SPACE || (vk >= '0' && vk <= '9'))
        c = static_cast<char>(vk);
    else if (vk >= 'A' && vk <= 'Z')
        c = static_cast<char>(vk - 'A' + 'a');
    else if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB)
        c = static_cast<char>(vk);
    if (!c) return FALSE;
    U().posted.push_front(
        MakeMsg(HandleValue(lpMsg->hwnd), WM_CHAR, static_cast<WPARAM>(c), lpMsg->lParam));
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        ++U().depth;
        proc(lpMsg->hwnd, WM_TIMER, static_cast<UINT_PTR>(lpMsg->wParam), ClockNow());
        --U().depth;
        return 0;
    }
    Window* w = Live(lpMsg->hwnd);
    if (!w) return 0;
    return CallProc(w->handle, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    Window* dlg = Live(hDlg);
    if (!dlg || !lpMsg) return FALSE;
    uint32_t d = dlg->handle, target = HandleValue(lpMsg->hwnd);
    if (target != d && !IsDescendant(d, target)) return FALSE;
    if (lpMsg->message == WM_KEYDOWN) {
        if (lpMsg->wParam == VK_ESCAPE) {
            CallProc(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
            return TRUE;
        }
        if (lpMsg->wParam == VK_RETURN) {
            LRESULT def = CallProc(d, DM_GETDEFID, 0, 0);
            int id = HIWORD(def) == 0x534B ? LOWORD(def) : IDOK;
            HWND button = GetDlgItem(hDlg, id);
            if (button && !IsWindowEnabled(button)) return TRUE;
            CallProc(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
            return TRUE;
        }
    }
    if (lpMsg->message == WM_CHAR && (lpMsg->wParam == VK_ESCAPE || lpMsg->wParam == VK_RETURN))
        return TRUE;
    DispatchMessageA(lpMsg);
    return TRUE;
}

BOOL WINAPI WaitMessage(void) {
    MSG m;
    if (Fetch(&m, nullptr, 0, 0, false)) return TRUE;
    return WaitForTimer() ? TRUE : FALSE;
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    Require();
    if (hWnd && !LiveOrFail(hWnd)) return 0;
    uint32_t h = HandleValue(hWnd);
    if (!hWnd) nIDEvent = U().nextTimerId++;
    for (Timer& t : U().timers) {
        if (t.window == h && t.id == nIDEvent) {
            t.elapse = uElapse;
            t.due = ClockNow() + uElapse;
            t.proc = lpTimerFunc;
            return nIDEvent;
        }
    }
    U().timers.push_back(Timer{h, nIDEvent, uElapse, ClockNow() + uElapse, lpTimerFunc});
    return hWnd ? 1 : nIDEvent;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    auto& timers = U().timers;
    uint32_t h = HandleValue(hWnd);
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->window == h && it->id == uIDEvent) {
            timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

// ---- dialogs -----------------------------------------------------------------------------------

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Require();
    DWORD err;
    if (ShouldFail("CreateDialogParamA", &err)) {
        SetLastError(err);
        return nullptr;
    }
    if (hWndParent && !LiveOrFail(hWndParent)) return nullptr;
    return CreateDialogFrom(hInstance, lpTemplateName, hWndParent, lpDialogFunc, dwInitParam,
                            false);
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Require();
    DWORD err;
    if (ShouldFail("DialogBoxParamA", &err)) {
        SetLastError(err);
        return -1;
    }
    if (hWndParent && !LiveOrFail(hWndParent)) return 0; // a bad owner is told apart by 0
    // The owner takes no input while the dialog is up.
    bool ownerWasEnabled = hWndParent && IsWindowEnabled(hWndParent);
    HWND dlg =
        CreateDialogFrom(hInstance, lpTemplateName, hWndParent, lpDialogFunc, dwInitParam, true);
    if (!dlg) return -1;
    uint32_t d = HandleValue(dlg);
    if (ownerWasEnabled) EnableWindow(hWndParent, FALSE);
    int idle = 0;
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        Window* w = Live(d);
        if (!w || w->ended) break;
        MSG m;
        if (Fetch(&m, nullptr, 0, 0, true)) {
            if (m.message == WM_QUIT) { // goes back to the program's own loop
                quit = true;
                quitCode = static_cast<int>(m.wParam);
                break;
            }
            if (!IsDialogMessageA(dlg, &m)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            continue;
        }
        if (WaitForTimer()) continue;
        if (++idle > 100) {
            Debug("the scripted user gives up on a dialog that does not end");
            w->ended = true;
            w->result = -1;
            break;
        }
        UserActs(d);
    }
    INT_PTR result = -1;
    if (Window* w = Live(d)) result = w->ended ? w->result : 0;
    if (ownerWasEnabled && Live(hWndParent)) EnableWindow(hWndParent, TRUE);
    if (Live(d)) DestroyWindow(dlg);
    if (quit) PostQuitMessage(quitCode);
    return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    Window* w = LiveOrFail(hDlg);
    if (!w || w->ctl != Ctl::Dialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->ended = true;
    w->result = nResult;
    ShowWindow(hDlg, SW_HIDE);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    Window* dlg = LiveOrFail(hDlg);
    if (!dlg) return nullptr;
    for (uint32_t c : U().order) {
        Window* w = Live(c);
        if (w && w->child && w->parent == dlg->handle && w->id == nIDDlgItem) return AsHwnd(c);
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
    Window* w = LiveOrFail(hWnd);
    return w && w->child ? w->id : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    return c ? SetWindowTextA(c, lpString) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    if (lpString && cchMax > 0) lpString[0] = '\0';
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    return c ? static_cast<UINT>(GetWindowTextA(c, lpString, cchMax)) : 0;
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM lParam) {
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    return c ? SendMessageA(c, Msg, wParam, lParam) : 0;
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    HWND c = GetDlgItem(hDlg, nIDButton);
    if (!c) return FALSE;
    SendMessageA(c, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    HWND c = GetDlgItem(hDlg, nIDButton);
    return c ? static_cast<UINT>(SendMessageA(c, BM_GETCHECK, 0, 0)) : 0;
}

BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    Window* w = LiveOrFail(hDlg);
    if (!w || w->ctl != Ctl::Dialog || !lpRect) return FALSE;
    lpRect->left = lpRect->left * w->baseX / 4;
    lpRect->right = lpRect->right * w->baseX / 4;
    lpRect->top = lpRect->top * w->baseY / 8;
    lpRect->bottom = lpRect->bottom * w->baseY / 8;
    return TRUE;
}

// ---- painting ---------------------------------------------------------------------------------

HDC WINAPI GetDC(HWND hWnd) {
    Require();
    if (hWnd && !LiveOrFail(hWnd)) return nullptr;
    return OpenWindowDC(HandleValue(hWnd));
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    (void)hWnd;
    return CloseWindowDC(hDC) ? 1 : 0;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
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

int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    // wsprintf writes at most 1024 bytes.
    va_list args;
    va_start(args, lpFmt);
    int n = std::vsnprintf(lpOut, 1024, lpFmt, args);
    va_end(args);
    return n < 0 ? 0 : std::min(n, 1023);
}

// ---- message boxes, restart ---------------------------------------------------------------------

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    Require();
    DWORD err;
    if (ShouldFail("MessageBoxA", &err)) {
        SetLastError(err);
        return 0;
    }
    if (hWnd && !LiveOrFail(hWnd)) return 0;
    std::vector<int> buttons = Buttons(uType);
    size_t def = (uType & MB_DEFMASK) >> 8;
    int answer = buttons[def < buttons.size() ? def : 0];
    Records& r = R();
    if (!r.answers.empty()) {
        int queued = r.answers.front();
        r.answers.pop_front();
        if (std::find(buttons.begin(), buttons.end(), queued) != buttons.end())
            answer = queued;
        else
            Debug(std::string("the message box offers no ") + AnswerName(queued) +
                  "; the user presses " + AnswerName(answer));
    }
    MessageBoxRecord rec;
    rec.owner = HandleValue(hWnd);
    rec.caption = lpCaption ? lpCaption : "Error";
    rec.text = lpText ? lpText : "";
    rec.type = uType;
    rec.answer = answer;
    r.boxes.push_back(rec);
    Journal("messagebox " + TypeText(uType) + " " + AnswerName(answer) + " " +
            JournalText(rec.caption) + "\t" + JournalText(rec.text));
    return answer;
}

BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD dwReason) {
    (void)dwReason;
    Require();
    DWORD err;
    if (ShouldFail("ExitWindowsEx", &err)) {
        SetLastError(err);
        return FALSE;
    }
    // On NT a restart or shutdown needs the shutdown privilege enabled in the token.
    if (IsNT() && (uFlags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) &&
        !ShutdownPrivilegeEnabled()) {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    R().restarts.push_back(uFlags);
    Journal("restart " + TypeText(uFlags));
    return TRUE;
}

} // extern "C"
