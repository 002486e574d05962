// The pixels of the machine: Cairo image surfaces for the screen, windows and bitmaps, and the
// drawing that gdi32, user32 and the look of the system's controls put on them (canvas.cpp).
// Nothing here is recorded or can fail: the callers record and fail as Windows' calls do.
#ifndef WINSIM_CANVAS_H
#define WINSIM_CANVAS_H

#include <windows.h>

#include <cairo.h>

#include <memory>
#include <string>

namespace winsim {

// One owner of a surface's pixels; shared, as a bitmap's pixels are between its handle and the
// memory DC that holds it.
using Surface = std::shared_ptr<cairo_surface_t>;
// A surface of `width` x `height` pixels, filled with `fill`.
Surface NewSurface(int width, int height, COLORREF fill = RGB(0, 0, 0));
// A copy of `from` on a surface of the new size (the rest filled with `fill`).
Surface ResizedSurface(const Surface& from, int width, int height, COLORREF fill);
int SurfaceWidth(cairo_surface_t* s);
int SurfaceHeight(cairo_surface_t* s);
// The colour of one pixel; black outside the surface.
COLORREF PixelAt(cairo_surface_t* s, int x, int y);

// A DIB as a bitmap resource holds it (BITMAPINFOHEADER or BITMAPCOREHEADER, colour table,
// bottom-up or top-down rows of 1, 4, 8, 24 or 32 bits); null for data it cannot read.
Surface DecodeDib(const unsigned char* data, size_t size);

// ---- drawing ------------------------------------------------------------------------------------
void PaintRect(cairo_surface_t* s, const RECT& r, COLORREF color);
// A frame `width` pixels wide just inside `r`.
void PaintFrame(cairo_surface_t* s, const RECT& r, COLORREF color, int width = 1);
// A line as GDI draws one: from (x0, y0) up to, not including, (x1, y1); one pixel wide.
void PaintLine(cairo_surface_t* s, int x0, int y0, int x1, int y1, COLORREF color);
// A 3D edge just inside `r`: top-left lines in `light`, bottom-right in `dark`.
void PaintEdge(cairo_surface_t* s, const RECT& r, COLORREF light, COLORREF dark);
// The dotted focus rectangle: every other pixel of the frame inverted.
void PaintFocus(cairo_surface_t* s, const RECT& r);
// A checkerboard of two colours (the scroll bar's track).
void PaintDither(cairo_surface_t* s, const RECT& r, COLORREF a, COLORREF b);
// `src` (sx, sy, sw, sh) onto `dst` (x, y, w, h), scaled to fit with the nearest pixel.
void PaintSurface(cairo_surface_t* dst, int x, int y, int w, int h, cairo_surface_t* src, int sx,
                  int sy, int sw, int sh);

// ---- text ---------------------------------------------------------------------------------------
// A font as LOGFONT asks for it: the free face that stands in for the Windows face (MS Sans Serif
// and System: Liberation Sans; Times and Times New Roman: Liberation Serif; Courier: Liberation
// Mono; others by family), its pixel size and style.
struct TextFont {
    std::string family;
    double size = 11; // em in pixels
    bool bold = false, italic = false, underline = false;
};
TextFont FontFor(const LOGFONTA& f);
struct TextMetrics {
    int ascent = 0, height = 0; // a line's ascent and its cell height
};
TextMetrics MetricsOf(const TextFont& font);
// Width in pixels of a code page 1252 text.
int TextWidth(const TextFont& font, const std::string& text);
// A text with its cell's top left at (x, y); `underlined` (an index or -1) gets a line under that
// character, as the '&' prefix asks. With `background` the cell is filled first.
void PaintText(cairo_surface_t* s, int x, int y, const std::string& text, const TextFont& font,
               COLORREF color, int underlined = -1, const COLORREF* background = nullptr);
// DrawText's layout: DT_LEFT/CENTER/RIGHT, DT_TOP/VCENTER/BOTTOM with DT_SINGLELINE,
// DT_WORDBREAK, DT_NOPREFIX ('&' marks the next character, "&&" is one '&'), DT_EXPANDTABS,
// DT_CALCRECT (nothing drawn, `r` takes the text's size). Draws when `s` is not null; returns
// the height of the text.
int LayoutText(cairo_surface_t* s, const std::string& text, RECT* r, UINT format,
               const TextFont& font, COLORREF color, const COLORREF* background = nullptr);

// ---- pictures -----------------------------------------------------------------------------------
bool WritePng(cairo_surface_t* s, const std::string& path);

} // namespace winsim

#endif
