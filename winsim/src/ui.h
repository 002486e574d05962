// Internals shared by the user-interface families (user/, gdi.cpp, clock.cpp, journal.cpp): the
// screen, the virtual clock, device contexts of windows, the GDI objects user32 hands out, and the
// drawing record.
#ifndef WINSIM_UI_H
#define WINSIM_UI_H

#include "canvas.h"
#include "internal.h"

#include <string>

namespace winsim {

// ---- the screen (machine.ini [display]) -------------------------------------------------------
int ScreenWidth();
int ScreenHeight();
int ScreenBits();

// ---- the virtual clock (clock.cpp) ------------------------------------------------------------
uint32_t ClockNow();

// ---- device contexts and drawing (gdi.cpp) ----------------------------------------------------
// A DC that draws into `window` (0: the screen), as GetDC and BeginPaint hand out.
HDC OpenWindowDC(uintptr_t window);
// Releases such a DC; false when `dc` is none.
bool CloseWindowDC(HDC dc);
// The colour of a brush (solid, stock or system colour); false for a handle that is no brush.
bool BrushColor(HBRUSH brush, COLORREF* color);
COLORREF SystemColor(int index);
void RecordDraw(const DrawCall& call);
// Records a filled or framed rectangle drawn on `dc`.
void RecordFill(const char* op, HDC dc, const RECT* r, COLORREF color);
// What a DC draws with, for user32's drawing calls over it.
struct DcState {
    uintptr_t window = 0; // 0: the screen or a memory DC
    COLORREF textColor = 0, bkColor = 0;
    int bkMode = 0;
    LOGFONTA font{}; // the selected font
    std::string face;
    LONG fontHeight = 0;
    cairo_surface_t* pixels = nullptr; // where the DC draws
};
// False when `dc` is no DC.
bool GetDcState(HDC dc, DcState* state);
// The GDI objects that user32 makes: a brush of the system's (DeleteObject leaves it), an icon or
// cursor (not counted among the program's objects), a bitmap loaded from resource `resource`.
HBRUSH NewSystemBrush(COLORREF color);
HICON NewIcon(int resource);
HBITMAP NewBitmap(int width, int height, int bits, int resource, Surface pixels);
// Selects `font` into `dc` for a control that draws with it (as user32 does, without fail).
void UseFont(HDC dc, HFONT font);
// The LOGFONT of a font; false for a handle that is no font.
bool FontOf(HFONT font, LOGFONTA* out);
// Forgets every GDI object of the process (the machine closes).
void ResetGdi();

// ---- windows for the other families (user/windows.cpp) -----------------------------------------
bool IsLiveWindow(uintptr_t window);
// The pixels of a window's client area, sized to it (user/screen.cpp); the desktop's for 0, none
// for a window that is gone. Drawing on them changes the screen.
cairo_surface_t* WindowPixels(uintptr_t window);

// ---- the journal (journal.cpp) ----------------------------------------------------------------
// A text made fit for one journal line: line breaks and tabs written as \n, \r and \t.
std::string JournalText(const std::string& text);

} // namespace winsim

#endif
