// Dialogs: built from the module's RT_DIALOG template (DLGTEMPLATE or DLGTEMPLATEEX) with their
// controls as child windows, placed in dialog units of the template's font; the dialog manager
// (default button, Escape, WM_CLOSE); modal dialogs, on which the scripted user acts when they wait
// (scripteduser.cpp).
#include "user.h"

#include <algorithm>
#include <map>

namespace winsim::user {

namespace {

// ---- templates ----------------------------------------------------------------------------------

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
    for (TemplateItem item : t.items) {
        // A dialog of Windows 4.0 shows a bordered list box or edit control with a sunken edge.
        if ((item.style & WS_BORDER) &&
            (IEquals(item.className, "ListBox") || IEquals(item.className, "Edit"))) {
            item.style &= ~WS_BORDER;
            item.exStyle |= WS_EX_CLIENTEDGE;
        }
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

// A dialog on a picture of the screen: its caption, else its template's name.
std::string ScreenName(const Window& w, LPCSTR name) {
    if (!w.text.empty()) return w.text;
    if (IS_INTRESOURCE(name))
        return "dialog " + std::to_string(LOWORD(reinterpret_cast<uintptr_t>(name)));
    return std::string("dialog ") + name;
}

} // namespace

// ---- the dialog manager -------------------------------------------------------------------------

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

} // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

extern "C" {

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Require();
    WINSIM_FAILPOINT(nullptr);
    if (hWndParent && !LiveOrFail(hWndParent)) return nullptr;
    HWND dlg = CreateDialogFrom(hInstance, lpTemplateName, hWndParent, lpDialogFunc,
                                dwInitParam, false);
    if (Window* w = Live(dlg)) NoteScreenEvent(ScreenName(*w, lpTemplateName), false);
    return dlg;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Require();
    WINSIM_FAILPOINT(-1);
    if (hWndParent && !LiveOrFail(hWndParent)) return 0; // a bad owner is told apart by 0
    // The owner takes no input while the dialog is up.
    bool ownerWasEnabled = hWndParent && IsWindowEnabled(hWndParent);
    HWND dlg =
        CreateDialogFrom(hInstance, lpTemplateName, hWndParent, lpDialogFunc, dwInitParam, true);
    if (!dlg) return -1;
    uint32_t d = HandleValue(dlg);
    if (Window* shown = Live(d); shown && !shown->ended) {
        Journal("dialog " + JournalText(shown->text));
        NoteScreenEvent(ScreenName(*shown, lpTemplateName), false);
    }
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
    WINSIM_FAILPOINT(FALSE);
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
    WINSIM_FAILPOINT(nullptr);
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
    WINSIM_FAILPOINT(0);
    Window* w = LiveOrFail(hWnd);
    return w && w->child ? w->id : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    WINSIM_FAILPOINT(FALSE);
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    return c ? SetWindowTextA(c, lpString) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    if (lpString && cchMax > 0) lpString[0] = '\0';
    WINSIM_FAILPOINT(0);
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    return c ? static_cast<UINT>(GetWindowTextA(c, lpString, cchMax)) : 0;
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM lParam) {
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    return c ? SendMessageA(c, Msg, wParam, lParam) : 0;
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    WINSIM_FAILPOINT(FALSE);
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
    WINSIM_FAILPOINT(FALSE);
    Window* w = LiveOrFail(hDlg);
    if (!w || w->ctl != Ctl::Dialog || !lpRect) return FALSE;
    lpRect->left = lpRect->left * w->baseX / 4;
    lpRect->right = lpRect->right * w->baseX / 4;
    lpRect->top = lpRect->top * w->baseY / 8;
    lpRect->bottom = lpRect->bottom * w->baseY / 8;
    return TRUE;
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
    TranslateMessage(lpMsg); // a key's character follows it, as the dialog's own loop makes it
    DispatchMessageA(lpMsg);
    return TRUE;
}

} // extern "C"
