// Internals shared by the files of the user interface: window classes and windows, the
// process's message queue and timers, what the control API reads back, and the procedures of the
// system's window classes (dialogs and the standard controls).
#ifndef WINSIM_USER_USER_H
#define WINSIM_USER_USER_H

#include "../ui.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace winsim::user {

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
    std::vector<int> tabStops; // dialog units; empty: every 32 (LBS_USETABSTOPS)
    bool wantsVScroll = false; // a list box's scroll bar, shown when the rows pass its height
    Surface pixels;            // the client area's, made when first drawn on (screen.cpp)
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
UserState& U();

// One step of the scripted user (scripteduser.cpp).
struct UserStep {
    enum class Kind { Click, Check, Select, Key, Close };
    Kind kind = Kind::Click;
    std::string text;      // as written: the journal and errors name it
    std::string target;    // a control's text, a row's text
    int number = 0;        // a control ID (click), a row counted from 1 (check, select)
    bool byNumber = false; // `number` names the target
    bool legacyId = false; // QueueDialogClick: a control ID, a bare command when there is none
    WPARAM key = 0;
};

// What the control API reads back; gone when the machine closes.
struct Records {
    std::vector<BroadcastMessage> broadcasts; // queue.cpp
    std::vector<MessageBoxRecord> boxes;      // messagebox.cpp, with the answers queued for them
    std::deque<int> answers;
    std::deque<UserStep> steps;           // scripteduser.cpp: what the user does next
    std::vector<std::string> stepErrors;  // the steps that could not be taken
    std::vector<uint32_t> restarts;  // messagebox.cpp: ExitWindowsEx
    std::vector<std::string> closed; // foreign.cpp
};
Records& R();

// A line of winsim's own on the debug output.
void Debug(const std::string& line);

// ---- windows (windows.cpp) ----------------------------------------------------------------------

uint32_t HandleValue(HWND h);
HWND AsHwnd(uint32_t v);
// The window of a handle while it lives; null for none.
Window* Live(uint32_t h);
Window* Live(HWND h);
// The same, with ERROR_INVALID_WINDOW_HANDLE for none.
Window* LiveOrFail(HWND h);
// Dead windows leave the table only when no window procedure runs, so no caller up the stack
// holds a window that is gone.
void Purge();
bool IsDescendant(uint32_t ancestor, uint32_t h);
// The width of a vertical scroll bar (SM_CXVSCROLL) and height of a horizontal one.
constexpr int kScrollBar = 16;
// The frame around the client area, as the style draws it.
void FrameInsets(DWORD style, DWORD exStyle, int* border, int* caption);
RECT ClientOf(const Window& w);
// Screen position of a window's client area.
POINT ClientOrigin(const Window& w);
bool Visible(const Window& w);
// Calls the window's procedure, counted as running (see Purge).
LRESULT CallProc(uint32_t h, UINT msg, WPARAM wParam, LPARAM lParam);

// What a dialog window carries beyond a window (dialogs.cpp makes it).
struct DialogSetup {
    DLGPROC proc = nullptr;
    int baseX = 8, baseY = 16;
};
// CreateWindowExA's work, for it and for dialogs with their controls.
HWND CreateWin(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
               int cx, int cy, HWND parentHwnd, HMENU menu, HINSTANCE instance, LPVOID param,
               const DialogSetup* dialog);
// WM_DESTROY, the children, WM_NCDESTROY; the window's messages and timers go with it.
void DestroyTree(uint32_t h);
// A control tells its parent (WM_COMMAND).
void Notify(const Window& w, WORD code);

// ---- painting (paint.cpp) -----------------------------------------------------------------------

// Adds `r` (null: the client area) to the window's update rectangle.
void Invalidate(Window& w, const RECT* r, bool erase);

// ---- classes (classes.cpp) ----------------------------------------------------------------------

// A class by name (without case) or atom; null for none.
const WndClass* FindClass(LPCSTR name);

// ---- the screen (screen.cpp) and the look of windows and controls (look.cpp) --------------------

// The client area's pixels, sized to it.
cairo_surface_t* ClientPixels(Window& w);
// The window's place on the screen, frame included.
RECT ScreenRect(const Window& w);
// The queue is empty: the screen has settled, and a picture is taken when it changed since the
// last (winsim::TakeScreenshots).
void ScreenSettled();
// What the next picture is named after: a window that appeared, or (taking precedence) a step of
// the user.
void NoteScreenEvent(const std::string& what, bool byUser);
// The frame, caption and scroll bars of `w` on `s`, a surface the size of the whole window.
void PaintNonClient(cairo_surface_t* s, const Window& w, bool active);
// A system control's client area as Windows 95 and NT 4.0 draw it (button, static, edit; a list
// box's background).
void PaintControl(Window& w);
// A push button at `r` on `s`: raised, the default one in a dark frame, the focused one with the
// dotted rectangle, a disabled one's text greyed.
void PaintPushButtonFace(cairo_surface_t* s, const RECT& r, const std::string& text,
                         const TextFont& font, bool isDefault, bool focused, bool disabled);
// A window of the system's that is none of the program's (a message box), drawn whole as
// `picture` at `at` on the screen: composed above the program's windows, which show inactive
// while it is up. Such windows stack; HideSystemWindow takes the last one away.
void ShowSystemWindow(Surface picture, const RECT& at);
void HideSystemWindow();
// With screenshots on, a picture of the screen now, named after `what`.
void PictureNow(const std::string& what);
// A system control's WM_PAINT: the control painted between BeginPaint and EndPaint; 0.
LRESULT PaintControlNow(HWND hwnd);

// ---- the message queue (queue.cpp) --------------------------------------------------------------

MSG MakeMsg(uint32_t h, UINT message, WPARAM wParam, LPARAM lParam);
// Takes (or only looks at) the next message for the filter, in Windows' order of kinds.
bool Fetch(MSG* out, HWND filter, UINT lo, UINT hi, bool remove);
// The clock moves to the next timer; false when none is set.
bool WaitForTimer();

// ---- other programs' windows (foreign.cpp) ------------------------------------------------------

// Brings the table of other programs' windows in line with machine.ini.
void SyncForeign();

// ---- the system's window classes ----------------------------------------------------------------

// The default window procedure of dialogs: the dialog procedure first, then Windows' defaults.
LRESULT WINAPI DialogWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// A click on a button as the user gives it: auto buttons change their check, BN_CLICKED follows.
void ClickButton(uint32_t h);
// The scripted user takes its next step on a modal dialog that waits (Escape when none is left).
void UserActs(uint32_t dlg);

} // namespace winsim::user

#endif
