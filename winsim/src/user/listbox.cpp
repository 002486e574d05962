// The list box control: strings or item data, sorted or in order, single, multiple and extended
// selection, the caret, scrolling (the vertical scroll bar shows only while the rows pass the
// box's height, unless LBS_DISABLENOSCROLL), and owner drawing (WM_MEASUREITEM once when
// created, WM_DRAWITEM for each row: ODA_DRAWENTIRE when painted, ODA_FOCUS when the caret
// moves).
#include "user.h"

#include <algorithm>
#include <cstring>

namespace winsim::user {

namespace {

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
    if (w->font) UseFont(dc, w->font); // a row is drawn in the list's font
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

// Rows that fit the client area whole (at least 1).
int PageRows(const Window& w) {
    return std::max(1, ClientOf(w).bottom / std::max(1, w.itemHeight));
}

// The scroll bar comes and goes with the rows; the top row stays where the last page is full.
void Rescroll(Window& w) {
    if (w.wantsVScroll && !(w.style & LBS_DISABLENOSCROLL)) {
        const bool need =
            static_cast<int>(w.items.size()) * w.itemHeight > ClientOf(w).bottom;
        if (need)
            w.style |= WS_VSCROLL;
        else
            w.style &= ~WS_VSCROLL;
    }
    const int last = std::max(0, static_cast<int>(w.items.size()) - PageRows(w));
    w.top = std::clamp(w.top, 0, last);
}

void ScrollTo(Window& w, int top) {
    const int old = w.top;
    w.top = top;
    Rescroll(w);
    if (w.top != old) Invalidate(w, nullptr, true);
}

// The caret row comes into view.
void ShowRow(Window& w, int row) {
    if (row < 0) return;
    if (row < w.top)
        ScrollTo(w, row);
    else if (row >= w.top + PageRows(w))
        ScrollTo(w, row - PageRows(w) + 1);
}

// The caret moves: the row that had it and the row that has it are told (ODA_FOCUS) while the
// list has the focus.
void MoveCaret(uint32_t h, int row) {
    Window* w = Live(h);
    if (!w || row == w->caret) return;
    const int old = w->caret;
    const bool focused = U().focus == h;
    const int oldTop = w->top;
    if (focused && old >= 0 && OwnerDrawn(*w)) {
        w->caret = -1; // drawn without ODS_FOCUS
        HDC dc = GetDC(AsHwnd(h));
        ListDraw(h, dc, old, ODA_FOCUS);
        ReleaseDC(AsHwnd(h), dc);
        if (!(w = Live(h))) return;
    }
    w->caret = row;
    ShowRow(*w, row);
    if (focused && row >= 0 && w->top == oldTop && OwnerDrawn(*w)) {
        HDC dc = GetDC(AsHwnd(h));
        ListDraw(h, dc, row, ODA_FOCUS);
        ReleaseDC(AsHwnd(h), dc);
    }
}

} // namespace

LRESULT WINAPI ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Live(hwnd);
    if (!w) return 0;
    uint32_t h = w->handle;
    auto count = static_cast<int>(w->items.size());
    auto valid = [&](WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count; };
    auto changed = [&] { Invalidate(*w, nullptr, true); };
    switch (msg) {
    case WM_CREATE:
        w->wantsVScroll = (w->style & WS_VSCROLL) != 0;
        if (w->style & LBS_OWNERDRAWFIXED) {
            MEASUREITEMSTRUCT mis{};
            mis.CtlType = ODT_LISTBOX;
            mis.CtlID = static_cast<UINT>(w->id);
            mis.itemHeight = 13;
            CallProc(w->parent, WM_MEASUREITEM, static_cast<WPARAM>(w->id),
                     reinterpret_cast<LPARAM>(&mis));
            if (Window* again = Live(h)) again->itemHeight = static_cast<int>(mis.itemHeight);
        }
        if (Window* again = Live(h)) Rescroll(*again);
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
        Rescroll(*w);
        changed();
        return static_cast<LRESULT>(at);
    }
    case LB_DELETESTRING:
        if (!valid(wParam)) return LB_ERR;
        w->items.erase(w->items.begin() + static_cast<long>(wParam));
        if (w->caret >= static_cast<int>(w->items.size()))
            w->caret = static_cast<int>(w->items.size()) - 1;
        Rescroll(*w);
        changed();
        return static_cast<LRESULT>(w->items.size());
    case LB_RESETCONTENT:
        w->items.clear();
        w->caret = -1;
        w->cursel = -1;
        w->top = 0;
        Rescroll(*w);
        changed();
        return 0;
    case LB_SETTABSTOPS: {
        // Only a list box made with LBS_USETABSTOPS expands tabs. No stops: every 32 dialog
        // units; one: every that many; more: each where it says.
        if (!(w->style & LBS_USETABSTOPS)) return FALSE;
        if (wParam > 0 && !lParam) return FALSE;
        const auto* stops = reinterpret_cast<const INT*>(lParam);
        w->tabStops.assign(stops, stops + wParam);
        return TRUE;
    }
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
        MoveCaret(h, static_cast<int>(wParam));
        return 0;
    case LB_GETTOPINDEX:
        return w->top;
    case LB_SETTOPINDEX:
        if (!valid(wParam) && !(count == 0 && wParam == 0)) return LB_ERR;
        ScrollTo(*w, static_cast<int>(wParam));
        return 0;
    case LB_GETITEMHEIGHT:
        return w->itemHeight;
    case LB_SETITEMHEIGHT:
        if (LOWORD(lParam) == 0 || LOWORD(lParam) > 255) return LB_ERR;
        w->itemHeight = LOWORD(lParam);
        Rescroll(*w);
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
        MoveCaret(h, row);
        if (!(w = Live(h))) return 0;
        if (MultiSelect(*w)) {
            // Extended: the row alone (no Shift or Ctrl here); multiple: the row flips.
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
        // Without a caret the first row has the focus (LB_GETCARETINDEX answers 0).
        int row = std::max(w->caret, 0);
        const int page = PageRows(*w);
        switch (wParam) {
        case VK_DOWN:
            row = std::min(row + 1, count - 1);
            break;
        case VK_UP:
            row = std::max(row - 1, 0);
            break;
        case VK_NEXT:
            row = std::min(row + page - 1, count - 1);
            break;
        case VK_PRIOR:
            row = std::max(row - page + 1, 0);
            break;
        case VK_HOME:
            row = 0;
            break;
        case VK_END:
            row = count - 1;
            break;
        default:
            break;
        }
        if (count == 0) row = -1;
        if (wParam == VK_SPACE && MultiSelect(*w) && row >= 0) {
            ListItem& li = w->items[static_cast<size_t>(row)];
            li.selected = (w->style & LBS_EXTENDEDSEL) ? true : !li.selected;
            changed();
        }
        if (row != w->caret) {
            MoveCaret(h, row);
            if (!(w = Live(h))) return 0;
            if (!MultiSelect(*w)) w->cursel = row;
            if (w->style & LBS_EXTENDEDSEL) // the caret row alone is selected
                for (size_t i = 0; i < w->items.size(); ++i)
                    w->items[i].selected = static_cast<int>(i) == row;
            changed();
            if (w->style & LBS_NOTIFY) Notify(*w, LBN_SELCHANGE);
        }
        return 0;
    }
    case WM_VSCROLL: {
        const int page = PageRows(*w);
        int top = w->top;
        switch (LOWORD(wParam)) {
        case SB_LINEUP:
            --top;
            break;
        case SB_LINEDOWN:
            ++top;
            break;
        case SB_PAGEUP:
            top -= page;
            break;
        case SB_PAGEDOWN:
            top += page;
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            top = HIWORD(wParam);
            break;
        case SB_TOP:
            top = 0;
            break;
        case SB_BOTTOM:
            top = count;
            break;
        default:
            return 0;
        }
        ScrollTo(*w, top);
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
        if (!(w = Live(h))) return 0;
        PaintControl(*w); // the background in the window colour
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

} // namespace winsim::user
