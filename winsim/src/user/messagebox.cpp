// Message boxes, answered by the scripted user (the next queued answer, else the default button),
// and the program's request to restart Windows; both are journalled for the tool. While a box is
// up the screen shows it as Windows 95 and NT 4.0 draw one: centred on its owner, a dialog frame
// with the caption, the icon, the text wrapped and the buttons in a row, the default one framed.
// The box is a system window none of the program's: it takes no handle, so the program's window
// list, focus and GDI objects are as they were.
#include "user.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using namespace winsim;
using namespace winsim::user;

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

const char* ButtonText(int id) {
    switch (id) {
    case IDCANCEL:
        return "Cancel";
    case IDABORT:
        return "&Abort";
    case IDRETRY:
        return "&Retry";
    case IDIGNORE:
        return "&Ignore";
    case IDYES:
        return "&Yes";
    case IDNO:
        return "&No";
    default:
        return "OK";
    }
}

// ---- the box on the screen ----------------------------------------------------------------------

// In pixels of MS Sans Serif 8 (dialog base units 6 x 13): buttons of 50 x 14 dialog units.
constexpr int kButtonWidth = 75, kButtonHeight = 23, kButtonGap = 6;
constexpr int kMargin = 11, kIcon = 32, kIconGap = 15, kTextToButtons = 14;
constexpr DWORD kBoxStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kBoxExStyle = WS_EX_DLGMODALFRAME;

TextFont DialogFont(bool bold) {
    LOGFONTA f{};
    f.lfHeight = -11;
    f.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lstrcpynA(f.lfFaceName, "MS Sans Serif", LF_FACESIZE);
    return FontFor(f);
}

// Where the parts of a box go: the box on the screen, the rest in its client area.
struct BoxLayout {
    RECT at{};
    RECT icon{}; // empty without an icon
    RECT text{};
    std::vector<RECT> buttons;
};

BoxLayout Layout(HWND owner, const std::string& text, const std::string& caption, UINT type,
                 size_t buttonCount) {
    BoxLayout b;
    const bool icon = (type & MB_ICONMASK) != 0;
    const int textLeft = kMargin + (icon ? kIcon + kIconGap : 0);
    // The text wraps at five eighths of the screen's width, as a box never grows wider.
    RECT t{textLeft, kMargin, textLeft + std::max(100, ScreenWidth() * 5 / 8 - textLeft - kMargin),
           kMargin};
    LayoutText(nullptr, text, &t, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_CALCRECT,
               DialogFont(false), 0);
    if (icon && t.bottom - t.top < kIcon) { // a short text stands beside the icon's middle
        const int h = t.bottom - t.top;
        t.top = kMargin + (kIcon - h) / 2;
        t.bottom = t.top + h;
    }
    if (icon) b.icon = RECT{kMargin, kMargin, kMargin + kIcon, kMargin + kIcon};
    b.text = t;
    const int row = static_cast<int>(buttonCount) * (kButtonWidth + kButtonGap) - kButtonGap;
    int border, captionHeight;
    FrameInsets(kBoxStyle, kBoxExStyle, &border, &captionHeight);
    // The caption fits beside the close button.
    const int captionWidth = TextWidth(DialogFont(true), caption) + 3 + 20 + 4;
    const int width =
        std::max({static_cast<int>(t.right) + kMargin, row + 2 * kMargin, captionWidth});
    const int buttonTop = std::max<int>(t.bottom, icon ? kMargin + kIcon : 0) + kTextToButtons;
    const int height = buttonTop + kButtonHeight + kMargin;
    int x = (width - row) / 2;
    for (size_t i = 0; i < buttonCount; ++i, x += kButtonWidth + kButtonGap)
        b.buttons.push_back(RECT{x, buttonTop, x + kButtonWidth, buttonTop + kButtonHeight});
    // Centred on the owner's top-level window, else on the screen, and kept on the screen.
    const int outerW = width + 2 * border, outerH = height + 2 * border + captionHeight;
    RECT around{0, 0, ScreenWidth(), ScreenHeight()};
    Window* w = Live(owner);
    while (w && w->child)
        w = Live(w->parent);
    if (w && Visible(*w)) around = ScreenRect(*w);
    int left = (around.left + around.right - outerW) / 2;
    int top = (around.top + around.bottom - outerH) / 2;
    left = std::max(0, std::min(left, ScreenWidth() - outerW));
    top = std::max(0, std::min(top, ScreenHeight() - outerH));
    b.at = RECT{left, top, left + outerW, top + outerH};
    return b;
}

void Fill(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
    cairo_fill_preserve(cr);
}

void Outline(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// A glyph centred in the icon: "!", "?" or "i" in a bold serif face.
void IconGlyph(cairo_surface_t* s, const RECT& r, const char* glyph, COLORREF color, int dy) {
    LOGFONTA f{};
    f.lfHeight = -22;
    f.lfWeight = FW_BOLD;
    lstrcpynA(f.lfFaceName, "Times New Roman", LF_FACESIZE);
    const TextFont font = FontFor(f);
    const int x = r.left + (kIcon - TextWidth(font, glyph)) / 2;
    const int y = r.top + (kIcon - MetricsOf(font).height) / 2 + dy;
    PaintText(s, x, y, glyph, font, color);
}

// The system's icons for MB_ICONHAND, MB_ICONEXCLAMATION, MB_ICONQUESTION and
// MB_ICONASTERISK: a red disc with a white cross, a yellow triangle with "!", a white balloon
// with a blue "?" or "i".
void PaintIcon(cairo_surface_t* s, const RECT& r, UINT kind) {
    cairo_t* cr = cairo_create(s);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    const double cx = r.left + kIcon / 2.0, cy = r.top + kIcon / 2.0;
    const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255), blue = RGB(0, 0, 255);
    switch (kind) {
    case MB_ICONHAND:
        cairo_arc(cr, cx, cy, 14.5, 0, 2 * M_PI);
        Fill(cr, RGB(255, 0, 0));
        Outline(cr, RGB(128, 0, 0));
        cairo_set_line_width(cr, 4);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_move_to(cr, cx - 7, cy - 7);
        cairo_line_to(cr, cx + 7, cy + 7);
        cairo_move_to(cr, cx + 7, cy - 7);
        cairo_line_to(cr, cx - 7, cy + 7);
        cairo_stroke(cr);
        break;
    case MB_ICONEXCLAMATION:
        cairo_move_to(cr, cx, r.top + 1.5);
        cairo_line_to(cr, r.right - 1.5, r.bottom - 2.5);
        cairo_line_to(cr, r.left + 1.5, r.bottom - 2.5);
        cairo_close_path(cr);
        Fill(cr, RGB(255, 255, 0));
        Outline(cr, black);
        IconGlyph(s, r, "!", black, 3);
        break;
    case MB_ICONQUESTION:
    case MB_ICONASTERISK:
        cairo_arc(cr, cx, cy - 2, 13.5, 0, 2 * M_PI);
        Fill(cr, white);
        Outline(cr, black);
        cairo_move_to(cr, cx - 8, cy + 9); // the balloon's tail
        cairo_line_to(cr, cx - 10, r.bottom - 1.5);
        cairo_line_to(cr, cx - 2, cy + 11);
        Fill(cr, white);
        Outline(cr, black);
        IconGlyph(s, r, kind == MB_ICONQUESTION ? "?" : "i", blue, -2);
        break;
    default: // not a system icon: none
        break;
    }
    cairo_destroy(cr);
}

// The whole box, frame included, as it shows active.
Surface PaintBox(const BoxLayout& b, const std::string& text, const std::string& caption,
                 UINT type, const std::vector<int>& buttons, size_t def) {
    Window frame; // only to draw the frame: never a window of the program's
    frame.rect = b.at;
    frame.style = kBoxStyle;
    frame.exStyle = kBoxExStyle;
    frame.text = caption;
    const int width = b.at.right - b.at.left, height = b.at.bottom - b.at.top;
    Surface whole = NewSurface(width, height, SystemColor(COLOR_BTNFACE));
    PaintNonClient(whole.get(), frame, true);
    const POINT origin = ClientOrigin(frame);
    const RECT client = ClientOf(frame);
    Surface inside = NewSurface(client.right, client.bottom, SystemColor(COLOR_BTNFACE));
    if (b.icon.right > b.icon.left) PaintIcon(inside.get(), b.icon, type & MB_ICONMASK);
    RECT t = b.text;
    LayoutText(inside.get(), text, &t, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX,
               DialogFont(false), SystemColor(COLOR_WINDOWTEXT));
    for (size_t i = 0; i < buttons.size(); ++i) // the default button has the focus
        PaintPushButtonFace(inside.get(), b.buttons[i], ButtonText(buttons[i]), DialogFont(false),
                            i == def, i == def, false);
    PaintSurface(whole.get(), origin.x - b.at.left, origin.y - b.at.top, client.right,
                 client.bottom, inside.get(), 0, 0, client.right, client.bottom);
    return whole;
}

std::string TypeText(UINT type) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", type);
    return buf;
}

} // namespace

namespace winsim {

void QueueMessageBoxAnswer(int answer) {
    R().answers.push_back(answer);
}

std::vector<MessageBoxRecord> MessageBoxes() {
    return R().boxes;
}

void ClearMessageBoxes() {
    R().boxes.clear();
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

namespace {

// While the box is up its own loop runs: the owner takes no input, and what the program posted
// before (a second click's command, a queued key) is dispatched then, as Windows does.
void DispatchWhileShown(HWND owner) {
    const bool wasEnabled = owner && IsWindowEnabled(owner);
    if (wasEnabled) EnableWindow(owner, FALSE);
    for (size_t n = U().posted.size(); n > 0 && !U().posted.empty(); --n) {
        MSG m = U().posted.front();
        U().posted.pop_front();
        DispatchMessageA(&m);
    }
    if (wasEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
}

} // namespace

extern "C" {

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    Require();
    WINSIM_FAILPOINT(0);
    if (hWnd && !LiveOrFail(hWnd)) return 0;
    std::vector<int> buttons = Buttons(uType);
    size_t def = (uType & MB_DEFMASK) >> 8;
    if (def >= buttons.size()) def = 0;
    int answer = buttons[def];
    const std::string caption = lpCaption ? lpCaption : "Error";
    const std::string text = lpText ? lpText : "";
    const BoxLayout layout = Layout(hWnd, text, caption, uType, buttons.size());
    ShowSystemWindow(PaintBox(layout, text, caption, uType, buttons, def), layout.at);
    PictureNow("box " + caption);
    Records& r = R();
    if (!r.answers.empty()) {
        // An answer the box does not offer is kept for a later box that does ("cancel" meant
        // for the restart prompt is not used up by an OK-only message before it).
        const int queued = r.answers.front();
        if (std::find(buttons.begin(), buttons.end(), queued) != buttons.end()) {
            answer = queued;
            r.answers.pop_front();
        } else {
            Debug(std::string("the message box offers no ") + AnswerName(queued) +
                  "; the user presses " + AnswerName(answer) + " and the answer waits");
        }
    }
    DispatchWhileShown(hWnd);
    HideSystemWindow();
    NoteScreenEvent(std::string("after ") + AnswerName(answer), true);
    MessageBoxRecord rec;
    rec.owner = HandleValue(hWnd);
    rec.caption = caption;
    rec.text = text;
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
    WINSIM_FAILPOINT(FALSE);
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
