// The look of Windows 95 and NT 4.0 in the system colours: window frames and captions, scroll
// bars, and the client areas of the system's controls (push buttons with the default button's
// dark frame, check boxes and radio buttons, group boxes, static texts and frames, edit controls,
// a list box's background). The system's drawing is neither recorded nor can it fail.
#include "user.h"

#include <algorithm>

namespace winsim::user {

namespace {

COLORREF Sys(int index) {
    return SystemColor(index);
}

RECT Inset(const RECT& r, int by) {
    return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by};
}

// A raised 3D box: push buttons, scroll bar buttons and thumbs.
void PaintRaised(cairo_surface_t* s, const RECT& r, bool pushButton) {
    PaintRect(s, r, Sys(COLOR_BTNFACE));
    PaintEdge(s, r, Sys(pushButton ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT), Sys(COLOR_3DDKSHADOW));
    PaintEdge(s, Inset(r, 1), Sys(pushButton ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT),
              Sys(COLOR_BTNSHADOW));
}

// The sunken edge of list boxes, edit controls and check boxes, two pixels inside `r`.
void PaintSunken(cairo_surface_t* s, const RECT& r) {
    PaintEdge(s, r, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT));
    PaintEdge(s, Inset(r, 1), Sys(COLOR_3DDKSHADOW), Sys(COLOR_3DLIGHT));
}

// A triangle of `size` rows pointing up or down, centred in `r`.
void PaintArrow(cairo_surface_t* s, const RECT& r, bool up, COLORREF color) {
    const int rows = 4, cx = (r.left + r.right) / 2, top = (r.top + r.bottom - rows) / 2;
    for (int i = 0; i < rows; ++i) {
        const int half = up ? i : rows - 1 - i;
        PaintRect(s, RECT{cx - half - 1, top + i, cx + half, top + i + 1}, color);
    }
}

TextFont ControlFont(const Window& w) {
    LOGFONTA f{};
    if (!w.font || !FontOf(w.font, &f)) { // the system font
        f.lfHeight = 16;
        f.lfWeight = FW_BOLD;
        lstrcpynA(f.lfFaceName, "System", LF_FACESIZE);
    }
    return FontFor(f);
}

bool Disabled(const Window& w) {
    return (w.style & WS_DISABLED) != 0;
}

bool Focused(const Window& w) {
    return U().focus == w.handle;
}

// A control's text in its rectangle, greyed and embossed as Windows 95 shows a disabled one.
int PaintLabelText(cairo_surface_t* s, const std::string& text, const TextFont& font,
                   bool disabled, RECT r, UINT format) {
    if (disabled) {
        RECT shadow{r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
        LayoutText(s, text, &shadow, format, font, Sys(COLOR_BTNHIGHLIGHT));
        return LayoutText(s, text, &r, format, font, Sys(COLOR_GRAYTEXT));
    }
    return LayoutText(s, text, &r, format, font, Sys(COLOR_BTNTEXT));
}

int PaintLabel(cairo_surface_t* s, const Window& w, RECT r, UINT format) {
    return PaintLabelText(s, w.text, ControlFont(w), Disabled(w), r, format);
}

// The rectangle a single-line label takes when laid out in `r` with `format`.
RECT LabelRect(const Window& w, const RECT& r, UINT format) {
    RECT size = r;
    LayoutText(nullptr, w.text, &size, format | DT_CALCRECT, ControlFont(w), 0);
    const int width = size.right - size.left, height = size.bottom - size.top;
    RECT out{r.left, r.top + (r.bottom - r.top - height) / 2, r.left + width,
             r.top + (r.bottom - r.top - height) / 2 + height};
    if (format & DT_CENTER) {
        out.left = r.left + (r.right - r.left - width) / 2;
        out.right = out.left + width;
    }
    return out;
}

bool IsDefaultButton(const Window& w) {
    if ((w.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return true;
    Window* dialog = Live(w.parent);
    return dialog && dialog->ctl == Ctl::Dialog && dialog->defId == w.id &&
           (w.style & BS_TYPEMASK) == BS_PUSHBUTTON;
}

void PaintPushButton(cairo_surface_t* s, const Window& w, const RECT& client) {
    PaintPushButtonFace(s, client, w.text, ControlFont(w), IsDefaultButton(w), Focused(w),
                        Disabled(w));
}

// The check mark of a check box, seven pixels square.
void PaintCheckMark(cairo_surface_t* s, int x, int y, COLORREF color) {
    static const char* const kMark[] = {"......#", ".....##", "#...###", "##.###.",
                                        "#####..", ".###...", "..#...."};
    for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 7; ++col)
            if (kMark[row][col] == '#') PaintRect(s, RECT{x + col, y + row, x + col + 1, y + row + 1}, color);
}

void PaintCheckBox(cairo_surface_t* s, const Window& w, const RECT& client, bool radio) {
    PaintRect(s, client, Sys(COLOR_BTNFACE));
    const int box = 13, top = (client.bottom - box) / 2;
    const RECT mark{0, top, box, top + box};
    const COLORREF inside = Sys(Disabled(w) ? COLOR_BTNFACE : COLOR_WINDOW);
    if (radio) {
        PaintRect(s, Inset(mark, 2), inside);
        PaintSunken(s, mark);
        if (w.check == BST_CHECKED)
            PaintRect(s, RECT{mark.left + 4, mark.top + 4, mark.right - 4, mark.bottom - 4},
                      Sys(COLOR_BTNTEXT));
    } else {
        PaintSunken(s, mark);
        PaintRect(s, Inset(mark, 2), inside);
        if (w.check != BST_UNCHECKED)
            PaintCheckMark(s, mark.left + 3, mark.top + 3,
                           Sys(w.check == BST_CHECKED && !Disabled(w) ? COLOR_BTNTEXT
                                                                      : COLOR_BTNSHADOW));
    }
    const RECT text{box + 4, 0, client.right, client.bottom};
    const UINT format = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
    PaintLabel(s, w, text, format);
    if (Focused(w) && !w.text.empty()) {
        RECT around = LabelRect(w, text, format);
        PaintFocus(s, RECT{around.left - 1, around.top, around.right + 1, around.bottom + 1});
    }
}

void PaintGroupBox(cairo_surface_t* s, const Window& w, const RECT& client) {
    PaintRect(s, client, Sys(COLOR_BTNFACE));
    const int half = MetricsOf(ControlFont(w)).height / 2;
    const RECT frame{client.left, client.top + half, client.right, client.bottom};
    PaintFrame(s, RECT{frame.left + 1, frame.top + 1, frame.right, frame.bottom},
               Sys(COLOR_BTNHIGHLIGHT));
    PaintFrame(s, RECT{frame.left, frame.top, frame.right - 1, frame.bottom - 1},
               Sys(COLOR_BTNSHADOW));
    if (w.text.empty()) return;
    const RECT label = LabelRect(w, RECT{8, 0, client.right - 8, half * 2}, DT_LEFT | DT_SINGLELINE);
    PaintRect(s, RECT{label.left - 2, label.top, label.right + 2, label.bottom},
              Sys(COLOR_BTNFACE));
    PaintLabel(s, w, RECT{8, 0, client.right - 8, half * 2}, DT_LEFT | DT_SINGLELINE);
}

void PaintButton(cairo_surface_t* s, const Window& w, const RECT& client) {
    switch (w.style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
        PaintCheckBox(s, w, client, false);
        break;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        PaintCheckBox(s, w, client, true);
        break;
    case BS_GROUPBOX:
        PaintGroupBox(s, w, client);
        break;
    case BS_OWNERDRAW: // the owner draws it
        break;
    default:
        PaintPushButton(s, w, client);
    }
}

void PaintStatic(cairo_surface_t* s, const Window& w, const RECT& client) {
    const DWORD type = w.style & 0x1F; // SS_TYPEMASK
    switch (type) {
    case SS_BLACKRECT:
        PaintRect(s, client, Sys(COLOR_3DDKSHADOW));
        return;
    case SS_GRAYRECT:
        PaintRect(s, client, Sys(COLOR_BTNSHADOW));
        return;
    case SS_WHITERECT:
        PaintRect(s, client, Sys(COLOR_BTNHIGHLIGHT));
        return;
    default:
        break;
    }
    PaintRect(s, client, Sys(COLOR_BTNFACE));
    switch (type) {
    case SS_BLACKFRAME:
        PaintFrame(s, client, Sys(COLOR_3DDKSHADOW));
        return;
    case SS_GRAYFRAME:
        PaintFrame(s, client, Sys(COLOR_BTNSHADOW));
        return;
    case SS_WHITEFRAME:
        PaintFrame(s, client, Sys(COLOR_BTNHIGHLIGHT));
        return;
    case SS_ETCHEDHORZ:
    case SS_ETCHEDVERT:
    case SS_ETCHEDFRAME:
        PaintEdge(s, client, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT));
        return;
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_SIMPLE:
    case 0xC: { // SS_LEFTNOWORDWRAP
        UINT format = type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
        if (type != SS_SIMPLE && type != 0xC) format |= DT_WORDBREAK | DT_EXPANDTABS;
        if (w.style & SS_NOPREFIX) format |= DT_NOPREFIX;
        PaintLabel(s, w, client, format);
        return;
    }
    default: // icons and bitmaps: the face only
        return;
    }
}

} // namespace

void PaintPushButtonFace(cairo_surface_t* s, const RECT& at, const std::string& text,
                         const TextFont& font, bool isDefault, bool focused, bool disabled) {
    RECT r = at;
    if (isDefault) { // the dark frame of the button Enter presses
        PaintFrame(s, r, Sys(COLOR_WINDOWFRAME));
        r = Inset(r, 1);
    }
    PaintRaised(s, r, true);
    PaintLabelText(s, text, font, disabled, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (focused) PaintFocus(s, Inset(r, 3));
}

void PaintControl(Window& w) {
    cairo_surface_t* s = ClientPixels(w);
    const RECT client = ClientOf(w);
    switch (w.ctl) {
    case Ctl::Button:
        PaintButton(s, w, client);
        break;
    case Ctl::Static:
        PaintStatic(s, w, client);
        break;
    case Ctl::Edit: {
        PaintRect(s, client, Sys(Disabled(w) ? COLOR_BTNFACE : COLOR_WINDOW));
        RECT text{2, 1, client.right - 2, client.bottom};
        LayoutText(s, w.text, &text, DT_NOPREFIX | DT_SINGLELINE, ControlFont(w),
                   Sys(Disabled(w) ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
        break;
    }
    case Ctl::ListBox:
        PaintRect(s, client, Sys(COLOR_WINDOW));
        break;
    default:
        break;
    }
}

LRESULT PaintControlNow(HWND hwnd) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    if (Window* w = Live(hwnd)) PaintControl(*w);
    EndPaint(hwnd, &ps);
    return 0;
}

void PaintNonClient(cairo_surface_t* s, const Window& w, bool active) {
    const RECT whole{0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top};
    int border, caption;
    FrameInsets(w.style, w.exStyle, &border, &caption);
    RECT r = whole;
    const bool edged = (w.exStyle & WS_EX_CLIENTEDGE) != 0;
    const int frame = border - (edged ? 2 : 0);
    if (frame >= 3) { // dialog and sizing frames: a raised edge, then the face
        PaintEdge(s, r, Sys(COLOR_3DLIGHT), Sys(COLOR_3DDKSHADOW));
        PaintEdge(s, Inset(r, 1), Sys(COLOR_BTNHIGHLIGHT), Sys(COLOR_BTNSHADOW));
        for (int i = 2; i < frame; ++i)
            PaintFrame(s, Inset(r, i), Sys(active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER));
    } else if (frame == 1) {
        PaintFrame(s, r, Sys(COLOR_WINDOWFRAME));
    }
    r = Inset(r, frame);
    if (caption) {
        const RECT bar{r.left, r.top, r.right, r.top + caption - 1};
        PaintRect(s, bar, Sys(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
        PaintRect(s, RECT{r.left, bar.bottom, r.right, bar.bottom + 1}, Sys(COLOR_BTNFACE));
        LOGFONTA f{};
        f.lfHeight = -11;
        f.lfWeight = FW_BOLD;
        lstrcpynA(f.lfFaceName, "MS Sans Serif", LF_FACESIZE);
        int right = bar.right - 2;
        if (w.style & WS_SYSMENU) { // the close button
            const RECT close{bar.right - 18, bar.top + 2, bar.right - 2, bar.bottom - 2};
            PaintRaised(s, close, false);
            for (int i = 0; i < 6; ++i) {
                const int x = close.left + 4 + i, y = close.top + 3 + i;
                PaintRect(s, RECT{x, y, x + 2, y + 1}, Sys(COLOR_BTNTEXT));
                PaintRect(s, RECT{close.left + 9 - i, y, close.left + 11 - i, y + 1},
                          Sys(COLOR_BTNTEXT));
            }
            right = close.left - 2;
        }
        RECT text{bar.left + 3, bar.top, right, bar.bottom};
        LayoutText(s, w.text, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
                   FontFor(f), Sys(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
        r.top += caption;
    }
    if (edged) {
        PaintSunken(s, r);
        r = Inset(r, 2);
    }
    if (w.style & WS_VSCROLL) {
        const RECT client = ClientOf(w);
        const RECT bar{r.left + client.right, r.top, r.left + client.right + kScrollBar,
                       r.top + client.bottom};
        const RECT up{bar.left, bar.top, bar.right, bar.top + kScrollBar};
        const RECT down{bar.left, bar.bottom - kScrollBar, bar.right, bar.bottom};
        PaintDither(s, RECT{bar.left, up.bottom, bar.right, down.top}, Sys(COLOR_BTNHIGHLIGHT),
                    Sys(COLOR_SCROLLBAR));
        PaintRaised(s, up, false);
        PaintRaised(s, down, false);
        // A list box's thumb stands for its top row among the rows it can scroll to.
        const int rows = static_cast<int>(w.items.size());
        const int page = std::max(1, client.bottom / std::max(1, w.itemHeight));
        const bool scrolls = w.ctl == Ctl::ListBox && rows > page && !Disabled(w);
        PaintArrow(s, up, true, Sys(scrolls ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        PaintArrow(s, down, false, Sys(scrolls ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        const int track = down.top - up.bottom - kScrollBar;
        if (scrolls && track >= 0) {
            const int y = up.bottom + track * w.top / std::max(1, rows - page);
            PaintRaised(s, RECT{bar.left, y, bar.right, y + kScrollBar}, false);
        }
    }
}

} // namespace winsim::user
