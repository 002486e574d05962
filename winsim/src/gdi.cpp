// Graphics (gdi32): device contexts, brushes, pens, fonts and bitmaps, the screen's device
// capabilities, map modes and the drawing calls. Every drawing call paints (canvas.h: into the
// window's pixels, a memory DC's bitmap, or the desktop) and is recorded (winsim::Drawing) with
// what it drew, where, and in which colour, font or bitmap. Map modes move points through DPtoLP
// and LPtoDP only: drawing takes coordinates as pixels. The objects that user32 loads or hands out
// (icons, cursors, resource bitmaps, system colour brushes) are made here for it (ui.h).
#include "ui.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

using namespace winsim;

namespace {

enum class Kind { Brush, Font, Bitmap, Pen, DC, Icon };

struct Object {
    Kind kind = Kind::Brush;
    bool stock = false;
    COLORREF color = 0;        // brush, pen
    LOGFONTA font{};           // font
    int width = 0, height = 0; // bitmap
    int bits = 0;              // bitmap
    int resource = 0;          // bitmap, icon: the resource ID it was loaded from
    Surface pixels;            // bitmap: made when first drawn on or from
    uint32_t selectedIn = 0;   // bitmap: the memory DC holding it
    // DC
    uintptr_t window = 0;
    bool memory = false;
    uint32_t brush = 0, font2 = 0, bitmap = 0, pen = 0;
    int bkMode = OPAQUE;
    COLORREF textColor = RGB(0, 0, 0), bkColor = RGB(255, 255, 255);
    int mapMode = MM_TEXT;
};

constexpr size_t kMaxDrawCalls = 200000;
constexpr COLORREF kNoColor = 0xFFFFFFFF; // the null brush's and pen's

struct Gdi {
    std::map<uint32_t, Object> objects;
    std::map<int, uint32_t> stock; // GetStockObject index -> handle
    uint32_t defaultBitmap = 0;    // the 1 x 1 bitmap a memory DC starts with
    std::vector<DrawCall> drawn;
};
Gdi& G() {
    static auto* g = new Gdi;
    return *g;
}

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { ResetGdi(); }}), true);

uint32_t HandleValue(const void* h) {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    return v > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(v);
}

template <typename H> H AsHandle(uint32_t v) {
    return reinterpret_cast<H>(uintptr_t{v});
}

Object* Find(const void* h, Kind kind) {
    auto it = G().objects.find(HandleValue(h));
    return it != G().objects.end() && it->second.kind == kind ? &it->second : nullptr;
}

Object* FindAny(const void* h) {
    auto it = G().objects.find(HandleValue(h));
    return it != G().objects.end() ? &it->second : nullptr;
}

uint32_t NewObject(const Object& o) {
    uint32_t h = NextHandleNumber();
    G().objects[h] = o;
    return h;
}

LOGFONTA MakeFont(LONG height, const char* face, LONG weight = FW_NORMAL) {
    LOGFONTA f{};
    f.lfHeight = height;
    f.lfWeight = weight;
    std::strncpy(f.lfFaceName, face, LF_FACESIZE - 1);
    return f;
}

uint32_t Stock(int index) {
    auto it = G().stock.find(index);
    if (it != G().stock.end()) return it->second;
    struct StockObject {
        int index;
        Kind kind;
        COLORREF color;
        LONG height = 0; // a font's
        const char* face = nullptr;
        LONG weight = FW_NORMAL;
    };
    static const StockObject kStock[] = {
        {WHITE_BRUSH, Kind::Brush, RGB(255, 255, 255)},
        {LTGRAY_BRUSH, Kind::Brush, RGB(192, 192, 192)},
        {GRAY_BRUSH, Kind::Brush, RGB(128, 128, 128)},
        {DKGRAY_BRUSH, Kind::Brush, RGB(64, 64, 64)},
        {BLACK_BRUSH, Kind::Brush, RGB(0, 0, 0)},
        {NULL_BRUSH, Kind::Brush, kNoColor},
        {WHITE_PEN, Kind::Pen, RGB(255, 255, 255)},
        {BLACK_PEN, Kind::Pen, RGB(0, 0, 0)},
        {NULL_PEN, Kind::Pen, kNoColor},
        {OEM_FIXED_FONT, Kind::Font, 0, 12, "Terminal"},
        {ANSI_FIXED_FONT, Kind::Font, 0, 13, "Courier"},
        {ANSI_VAR_FONT, Kind::Font, 0, 13, "MS Sans Serif"},
        {SYSTEM_FONT, Kind::Font, 0, 16, "System", FW_BOLD},
        {DEFAULT_GUI_FONT, Kind::Font, 0, -11, "MS Sans Serif"},
    };
    for (const StockObject& stock : kStock) {
        if (stock.index != index) continue;
        Object o;
        o.stock = true;
        o.kind = stock.kind;
        o.color = stock.color;
        if (stock.face) o.font = MakeFont(stock.height, stock.face, stock.weight);
        uint32_t h = NewObject(o);
        G().stock[index] = h;
        return h;
    }
    return 0;
}

uint32_t DefaultBitmap() {
    if (!G().defaultBitmap) {
        Object o;
        o.kind = Kind::Bitmap;
        o.stock = true;
        o.width = o.height = o.bits = 1;
        G().defaultBitmap = NewObject(o);
    }
    return G().defaultBitmap;
}

uint32_t NewDC(uintptr_t window, bool memory) {
    Object dc;
    dc.kind = Kind::DC;
    dc.window = window;
    dc.memory = memory;
    dc.brush = Stock(WHITE_BRUSH);
    dc.pen = Stock(BLACK_PEN);
    dc.font2 = Stock(SYSTEM_FONT);
    if (memory) {
        dc.bitmap = DefaultBitmap();
    }
    return NewObject(dc);
}

// An object leaves a DC.
void Deselect(uint32_t h) {
    auto it = G().objects.find(h);
    if (it != G().objects.end() && it->second.kind == Kind::Bitmap) it->second.selectedIn = 0;
}

void DestroyDC(uint32_t h) {
    Object dc = G().objects[h];
    G().objects.erase(h);
    for (uint32_t sel : {dc.brush, dc.font2, dc.bitmap, dc.pen})
        Deselect(sel);
}

bool SelectedAnywhere(uint32_t h) {
    for (const auto& kv : G().objects) {
        const Object& d = kv.second;
        if (d.kind == Kind::DC && (d.brush == h || d.font2 == h || d.bitmap == h || d.pen == h))
            return true;
    }
    return false;
}

// The colours of a fresh machine's "Windows Standard" scheme (95, 98 and NT 4.0 alike).
COLORREF SysColorOf(int index) {
    static const COLORREF kColors[] = {
        RGB(192, 192, 192), // COLOR_SCROLLBAR
        RGB(0, 128, 128),   // COLOR_BACKGROUND
        RGB(0, 0, 128),     // COLOR_ACTIVECAPTION
        RGB(128, 128, 128), // COLOR_INACTIVECAPTION
        RGB(192, 192, 192), // COLOR_MENU
        RGB(255, 255, 255), // COLOR_WINDOW
        RGB(0, 0, 0),       // COLOR_WINDOWFRAME
        RGB(0, 0, 0),       // COLOR_MENUTEXT
        RGB(0, 0, 0),       // COLOR_WINDOWTEXT
        RGB(255, 255, 255), // COLOR_CAPTIONTEXT
        RGB(192, 192, 192), // COLOR_ACTIVEBORDER
        RGB(192, 192, 192), // COLOR_INACTIVEBORDER
        RGB(128, 128, 128), // COLOR_APPWORKSPACE
        RGB(0, 0, 128),     // COLOR_HIGHLIGHT
        RGB(255, 255, 255), // COLOR_HIGHLIGHTTEXT
        RGB(192, 192, 192), // COLOR_BTNFACE
        RGB(128, 128, 128), // COLOR_BTNSHADOW
        RGB(128, 128, 128), // COLOR_GRAYTEXT
        RGB(0, 0, 0),       // COLOR_BTNTEXT
        RGB(192, 192, 192), // COLOR_INACTIVECAPTIONTEXT
        RGB(255, 255, 255), // COLOR_BTNHIGHLIGHT
        RGB(0, 0, 0),       // COLOR_3DDKSHADOW
        RGB(192, 192, 192), // COLOR_3DLIGHT
        RGB(0, 0, 0),       // COLOR_INFOTEXT
        RGB(255, 255, 225), // COLOR_INFOBK
    };
    if (index >= 0 && index < static_cast<int>(sizeof kColors / sizeof kColors[0]))
        return kColors[index];
    return RGB(192, 192, 192); // any other element: the face grey
}

// Logical -> device units of a map mode at 96 pixels per inch (y grows upwards except MM_TEXT).
void Scale(int mode, bool toDevice, LONG* x, LONG* y) {
    // Logical units per pixel.
    static const std::pair<int, double> kPerPixel[] = {
        {MM_LOMETRIC, 254.0 / 96},   {MM_HIMETRIC, 2540.0 / 96}, {MM_LOENGLISH, 100.0 / 96},
        {MM_HIENGLISH, 1000.0 / 96}, {MM_TWIPS, 1440.0 / 96},
    };
    double perPixel = 0;
    for (const auto& m : kPerPixel)
        if (m.first == mode) perPixel = m.second;
    if (perPixel == 0) return; // MM_TEXT; isotropic and anisotropic keep their default 1:1 extents
    if (toDevice) {
        *x = static_cast<LONG>(*x / perPixel);
        *y = static_cast<LONG>(-*y / perPixel);
    } else {
        *x = static_cast<LONG>(*x * perPixel);
        *y = static_cast<LONG>(-*y * perPixel);
    }
}

// Where a DC's drawing lands: its bitmap's pixels, its window's, or the desktop's.
cairo_surface_t* TargetOf(Object& dc) {
    if (!dc.memory) return WindowPixels(dc.window);
    auto it = G().objects.find(dc.bitmap);
    if (it == G().objects.end()) return nullptr;
    Object& bitmap = it->second;
    if (!bitmap.pixels) bitmap.pixels = NewSurface(bitmap.width, bitmap.height);
    return bitmap.pixels.get();
}

const LOGFONTA& FontIn(const Object& dc) {
    auto it = G().objects.find(dc.font2);
    static const LOGFONTA kNone{};
    return it != G().objects.end() ? it->second.font : kNone;
}

// A drawing call at (x, y) on the window of a DC (none without one).
DrawCall DrawnAt(const char* op, const Object* dc, int x, int y) {
    DrawCall call;
    call.op = op;
    call.window = dc ? dc->window : 0;
    call.x = x;
    call.y = y;
    return call;
}

// SetBkColor, SetTextColor: a DC's colour changes, and the old one comes back.
COLORREF SwapColor(HDC hdc, COLORREF Object::*which, COLORREF color) {
    Object* dc = Find(hdc, Kind::DC);
    if (!dc) return 0xFFFFFFFF; // CLR_INVALID
    COLORREF old = dc->*which;
    dc->*which = color;
    return old;
}

// DPtoLP, LPtoDP: the points go through the DC's map mode.
BOOL ScalePoints(HDC hdc, bool toDevice, LPPOINT points, int count) {
    Object* dc = Find(hdc, Kind::DC);
    if (!dc || !points || count < 0) return FALSE;
    for (int i = 0; i < count; ++i)
        Scale(dc->mapMode, toDevice, &points[i].x, &points[i].y);
    return TRUE;
}

} // namespace

namespace winsim {

int ScreenWidth() {
    return std::max(1, std::atoi(GetSetting("display", "width", "800").c_str()));
}
int ScreenHeight() {
    return std::max(1, std::atoi(GetSetting("display", "height", "600").c_str()));
}
int ScreenBits() {
    int bits = std::atoi(GetSetting("display", "bits", "16").c_str());
    return bits > 0 ? bits : 16;
}

HDC OpenWindowDC(uintptr_t window) {
    return AsHandle<HDC>(NewDC(window, false));
}

bool CloseWindowDC(HDC dc) {
    Object* o = Find(dc, Kind::DC);
    if (!o || o->memory) return false;
    DestroyDC(HandleValue(dc));
    return true;
}

bool BrushColor(HBRUSH brush, COLORREF* color) {
    uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v >= 1 && v <= 31) { // (HBRUSH)(COLOR_xxx + 1), as window classes give it
        *color = SysColorOf(static_cast<int>(v - 1));
        return true;
    }
    Object* o = Find(brush, Kind::Brush);
    if (!o) return false;
    *color = o->color;
    return true;
}

COLORREF SystemColor(int index) {
    return SysColorOf(index);
}

void RecordDraw(const DrawCall& call) {
    if (G().drawn.size() < kMaxDrawCalls) G().drawn.push_back(call);
}

void RecordFill(const char* op, HDC hDC, const RECT* r, COLORREF color) {
    Object* dc = Find(hDC, Kind::DC);
    DrawCall c = DrawnAt(op, dc, r->left, r->top);
    c.cx = r->right - r->left;
    c.cy = r->bottom - r->top;
    c.color = color;
    RecordDraw(c);
}

bool GetDcState(HDC hdc, DcState* state) {
    Object* dc = Find(hdc, Kind::DC);
    if (!dc) return false;
    state->window = dc->window;
    state->textColor = dc->textColor;
    state->bkColor = dc->bkColor;
    state->bkMode = dc->bkMode;
    state->font = FontIn(*dc);
    state->face = state->font.lfFaceName;
    state->fontHeight = state->font.lfHeight;
    state->pixels = TargetOf(*dc);
    return true;
}

HBRUSH NewSystemBrush(COLORREF color) {
    Object o;
    o.kind = Kind::Brush;
    o.stock = true; // owned by the system; DeleteObject leaves it
    o.color = color;
    return AsHandle<HBRUSH>(NewObject(o));
}

HICON NewIcon(int resource) {
    Object o;
    o.kind = Kind::Icon;
    o.resource = resource;
    return AsHandle<HICON>(NewObject(o));
}

void UseFont(HDC hdc, HFONT font) {
    Object* dc = Find(hdc, Kind::DC);
    if (dc && Find(font, Kind::Font)) dc->font2 = HandleValue(font);
}

bool FontOf(HFONT font, LOGFONTA* out) {
    Object* o = Find(font, Kind::Font);
    if (!o) return false;
    *out = o->font;
    return true;
}

HBITMAP NewBitmap(int width, int height, int bits, int resource, Surface pixels) {
    Object o;
    o.pixels = std::move(pixels);
    o.kind = Kind::Bitmap;
    o.width = width;
    o.height = height;
    o.bits = bits;
    o.resource = resource;
    return AsHandle<HBITMAP>(NewObject(o));
}

void ResetGdi() {
    Gdi& g = G();
    g.objects.clear();
    g.stock.clear();
    g.defaultBitmap = 0;
    g.drawn.clear();
}

std::vector<DrawCall> Drawing() {
    return G().drawn;
}

void ClearDrawing() {
    G().drawn.clear();
}

int LiveGdiObjects() {
    int n = 0;
    for (const auto& kv : G().objects)
        if (!kv.second.stock && kv.second.kind != Kind::Icon) ++n;
    return n;
}

} // namespace winsim

extern "C" {

int WINAPI GetDeviceCaps(HDC hdc, int index) {
    if (!Find(hdc, Kind::DC)) return 0;
    int bits = ScreenBits();
    switch (index) {
    case HORZRES:
        return ScreenWidth();
    case VERTRES:
        return ScreenHeight();
    case HORZSIZE:
        return ScreenWidth() * 254 / 960; // millimetres at 96 pixels per inch
    case VERTSIZE:
        return ScreenHeight() * 254 / 960;
    case BITSPIXEL:
        return bits;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return bits <= 8 ? 20 : -1;
    case RASTERCAPS:
        return 0x7E99; // bitblt, palette where 8 bits, stretch, DIBs, ...
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case SIZEPALETTE:
        return bits <= 8 ? 256 : 0;
    default:
        return 0;
    }
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    WINSIM_FAILPOINT(nullptr);
    if (hdc && !Find(hdc, Kind::DC)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return AsHandle<HDC>(NewDC(0, true));
}

BOOL WINAPI DeleteDC(HDC hdc) {
    WINSIM_FAILPOINT(FALSE);
    Object* o = Find(hdc, Kind::DC);
    // A window's DC goes back with ReleaseDC or EndPaint, not here.
    if (!o || !o->memory) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DestroyDC(HandleValue(hdc));
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    WINSIM_FAILPOINT(nullptr);
    Object* dc = Find(hdc, Kind::DC);
    Object* o = FindAny(h);
    if (!dc || !o || o->kind == Kind::DC || o->kind == Kind::Icon) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    uint32_t hv = HandleValue(h);
    uint32_t* slot = nullptr;
    switch (o->kind) {
    case Kind::Brush:
        slot = &dc->brush;
        break;
    case Kind::Font:
        slot = &dc->font2;
        break;
    case Kind::Pen:
        slot = &dc->pen;
        break;
    case Kind::Bitmap:
        // Only a memory DC holds a bitmap, and a bitmap lies in one DC at a time.
        if (!dc->memory || (o->selectedIn && o->selectedIn != HandleValue(hdc) && !o->stock))
            return nullptr;
        slot = &dc->bitmap;
        if (!o->stock) o->selectedIn = HandleValue(hdc);
        break;
    default:
        return nullptr;
    }
    uint32_t old = *slot;
    *slot = hv;
    if (old != hv) Deselect(old);
    return AsHandle<HGDIOBJ>(old);
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    WINSIM_FAILPOINT(FALSE);
    uint32_t h = HandleValue(ho);
    auto it = G().objects.find(h);
    if (it == G().objects.end() || it->second.kind == Kind::DC || it->second.kind == Kind::Icon) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (it->second.stock) return TRUE;     // deleting a stock object does nothing
    if (SelectedAnywhere(h)) return FALSE; // an object selected into a DC is not deleted
    G().objects.erase(it);
    return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int i) {
    return AsHandle<HGDIOBJ>(Stock(i));
}

int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
    WINSIM_FAILPOINT(0);
    Object* o = FindAny(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (o->kind == Kind::Bitmap) {
        if (!pv) return sizeof(BITMAP);
        if (c < static_cast<int>(sizeof(BITMAP))) return 0;
        BITMAP bm{};
        bm.bmType = 0;
        bm.bmWidth = o->width;
        bm.bmHeight = o->height;
        bm.bmPlanes = 1;
        bm.bmBitsPixel = static_cast<WORD>(o->bits);
        bm.bmWidthBytes = ((o->width * o->bits + 15) / 16) * 2;
        std::memcpy(pv, &bm, sizeof bm);
        return sizeof(BITMAP);
    }
    if (o->kind == Kind::Font) {
        if (!pv) return sizeof(LOGFONTA);
        int n = std::min(c, static_cast<int>(sizeof(LOGFONTA)));
        if (n <= 0) return 0;
        std::memcpy(pv, &o->font, static_cast<size_t>(n));
        return n;
    }
    return 0;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    WINSIM_FAILPOINT(nullptr);
    Object o;
    o.kind = Kind::Brush;
    o.color = color & 0x00FFFFFF;
    return AsHandle<HBRUSH>(NewObject(o));
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* lplf) {
    WINSIM_FAILPOINT(nullptr);
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Object o;
    o.kind = Kind::Font;
    o.font = *lplf;
    o.font.lfFaceName[LF_FACESIZE - 1] = '\0';
    return AsHandle<HFONT>(NewObject(o));
}

HFONT WINAPI CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                         DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                         DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality,
                         DWORD iPitchAndFamily, LPCSTR pszFaceName) {
    WINSIM_FAILPOINT(nullptr);
    LOGFONTA f{};
    f.lfHeight = cHeight;
    f.lfWidth = cWidth;
    f.lfEscapement = cEscapement;
    f.lfOrientation = cOrientation;
    f.lfWeight = cWeight;
    f.lfItalic = static_cast<BYTE>(bItalic);
    f.lfUnderline = static_cast<BYTE>(bUnderline);
    f.lfStrikeOut = static_cast<BYTE>(bStrikeOut);
    f.lfCharSet = static_cast<BYTE>(iCharSet);
    f.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
    f.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
    f.lfQuality = static_cast<BYTE>(iQuality);
    f.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
    if (pszFaceName) std::strncpy(f.lfFaceName, pszFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectA(&f);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    WINSIM_FAILPOINT(nullptr);
    Object* dc = Find(hdc, Kind::DC);
    if (!dc || cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Object o;
    o.kind = Kind::Bitmap;
    o.width = cx;
    o.height = cy;
    o.bits = dc->memory ? G().objects[dc->bitmap].bits : ScreenBits();
    o.pixels = NewSurface(cx, cy);
    return AsHandle<HBITMAP>(NewObject(o));
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    WINSIM_FAILPOINT(0);
    Object* dc = Find(hdc, Kind::DC);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    WINSIM_FAILPOINT(0xFFFFFFFF);
    return SwapColor(hdc, &Object::bkColor, color);
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    WINSIM_FAILPOINT(0xFFFFFFFF);
    return SwapColor(hdc, &Object::textColor, color);
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
    WINSIM_FAILPOINT(FALSE);
    Object* dc = Find(hdc, Kind::DC);
    if (!dc || c < 0 || (c > 0 && !lpString)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DrawCall call = DrawnAt("TextOut", dc, x, y);
    call.text.assign(lpString ? lpString : "", static_cast<size_t>(c));
    call.color = dc->textColor;
    const Object& font = G().objects[dc->font2];
    call.face = font.font.lfFaceName;
    call.height = font.font.lfHeight;
    call.cx = dc->bkMode; // TRANSPARENT or OPAQUE
    RecordDraw(call);
    PaintText(TargetOf(*dc), x, y, call.text, FontFor(font.font), dc->textColor, -1,
              dc->bkMode == OPAQUE ? &dc->bkColor : nullptr);
    return TRUE;
}

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
    WINSIM_FAILPOINT(FALSE);
    Object* dc = Find(hdc, Kind::DC);
    if (!dc || !psizl || c < 0 || (c > 0 && !lpString)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const TextFont font = FontFor(FontIn(*dc));
    psizl->cx = TextWidth(font, std::string(lpString ? lpString : "", static_cast<size_t>(c)));
    psizl->cy = MetricsOf(font).height;
    return TRUE;
}

BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                       int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop) {
    WINSIM_FAILPOINT(FALSE);
    Object* dst = Find(hdcDest, Kind::DC);
    Object* src = hdcSrc ? Find(hdcSrc, Kind::DC) : nullptr;
    bool needsSource = ((rop >> 2) ^ rop) & 0x330000; // the operation reads the source
    if (!dst || (needsSource && !src)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DrawCall call = DrawnAt("BitBlt", dst, xDest, yDest);
    call.cx = wDest;
    call.cy = hDest;
    call.color = rop;
    if (src && src->memory) call.resource = G().objects[src->bitmap].resource;
    RecordDraw(call);
    // The copies a program makes: the source as it is, or filled with the brush, black or white.
    cairo_surface_t* target = TargetOf(*dst);
    const RECT area{std::min(xDest, xDest + wDest), std::min(yDest, yDest + hDest),
                    std::max(xDest, xDest + wDest), std::max(yDest, yDest + hDest)};
    if (rop == BLACKNESS)
        PaintRect(target, area, RGB(0, 0, 0));
    else if (rop == WHITENESS)
        PaintRect(target, area, RGB(255, 255, 255));
    else if (rop == PATCOPY)
        PaintRect(target, area, G().objects[dst->brush].color);
    else if (src)
        PaintSurface(target, xDest, yDest, wDest, hDest, TargetOf(*src), xSrc, ySrc, wSrc, hSrc);
    return TRUE;
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    WINSIM_FAILPOINT(FALSE);
    return StretchBlt(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop);
}

int WINAPI GetMapMode(HDC hdc) {
    WINSIM_FAILPOINT(0);
    Object* dc = Find(hdc, Kind::DC);
    return dc ? dc->mapMode : 0;
}

int WINAPI SetMapMode(HDC hdc, int iMode) {
    WINSIM_FAILPOINT(0);
    Object* dc = Find(hdc, Kind::DC);
    if (!dc || iMode < MM_TEXT || iMode > MM_ANISOTROPIC) return 0;
    int old = dc->mapMode;
    dc->mapMode = iMode;
    return old;
}

BOOL WINAPI DPtoLP(HDC hdc, LPPOINT lppt, int c) {
    WINSIM_FAILPOINT(FALSE);
    return ScalePoints(hdc, false, lppt, c);
}

BOOL WINAPI LPtoDP(HDC hdc, LPPOINT lppt, int c) {
    WINSIM_FAILPOINT(FALSE);
    return ScalePoints(hdc, true, lppt, c);
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    WINSIM_FAILPOINT(FALSE);
    Object* dc = Find(hdc, Kind::DC);
    if (!dc) return FALSE;
    RECT r{left, top, right, bottom};
    const COLORREF brush = G().objects[dc->brush].color, pen = G().objects[dc->pen].color;
    RecordFill("Rectangle", hdc, &r, brush);
    cairo_surface_t* target = TargetOf(*dc);
    if (brush != kNoColor) PaintRect(target, r, brush);
    if (pen != kNoColor) PaintFrame(target, r, pen);
    return TRUE;
}

} // extern "C"
