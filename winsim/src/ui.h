// Internals shared by the user-interface families (user.cpp, gdi.cpp, session.cpp): the screen,
// the virtual clock, device contexts of windows and the drawing record.
#ifndef WINSIM_UI_H
#define WINSIM_UI_H

#include "internal.h"

#include <string>

namespace winsim {

// ---- the screen (machine.ini [display]) -------------------------------------------------------
int ScreenWidth();
int ScreenHeight();
int ScreenBits();

// ---- the virtual clock (session.cpp) ----------------------------------------------------------
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
// Forgets every GDI object of the process (the machine closes).
void ResetGdi();

// ---- windows for the other families (user.cpp) ------------------------------------------------
bool IsLiveWindow(uintptr_t window);

// ---- the journal ------------------------------------------------------------------------------
// A text made fit for one journal line: line breaks and tabs written as \n, \r and \t.
std::string JournalText(const std::string& text);

} // namespace winsim

#endif
