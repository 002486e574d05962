// winsim's control API: what tests and tools use to create, seed, steer and inspect a simulated
// machine. Product code never includes this header.
#ifndef WINSIM_MACHINE_H
#define WINSIM_MACHINE_H

#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

enum class Os { Win95, Win98, Nt4 };

const char* OsName(Os os);            // "win95", "win98", "nt4"
bool ParseOs(const std::string& text, Os* os);

// Creates a fresh machine in `dir` (which may exist but must not hold a machine): machine.ini,
// drive_c with the Windows and system directories, WIN.INI, SYSTEM.INI and the registry a fresh
// Windows of that version has. Returns false and sets *error when it cannot.
bool CreateMachine(const std::string& dir, Os os, std::string* error = nullptr);

// Makes the machine in `dir` the current one of this process (every API call works on it).
// Any machine that was current is closed first. A machine file that does not read whole (a hive
// or its log with a malformed line) refuses the open, naming the file and line, and nothing of
// the machine is changed. Temporary files of a killed save are removed.
bool OpenMachine(const std::string& dir, std::string* error = nullptr);

// Writes what the machine keeps in memory (the registry hives, the profile writes still cached)
// and forgets it. Also done at process exit for a machine still open. False, with each file that
// could not be written since the machine opened (one a line in *error), when a save failed.
bool CloseMachine(std::string* error = nullptr);

bool HasMachine();
std::string MachineDir();
Os MachineOs();

// Windows path of a file on the machine -> host path below the machine folder (case-insensitive
// look-up of each existing component). Empty when the path names no drive of the machine.
std::string HostPath(const std::string& windowsPath);

// A key of machine.ini ([section] key=value); written through to the file.
std::string GetSetting(const std::string& section, const std::string& key,
                       const std::string& def = "");
void SetSetting(const std::string& section, const std::string& key, const std::string& value);

// ---- failures ---------------------------------------------------------------------------
// The next `count` calls (or every call when count < 0) of the named API function fail with
// `error`, as far as that function can fail. ClearFailures() undoes all. A name that no call
// can fail under (FailableCalls() lists them) is refused with std::invalid_argument.
void FailCall(const std::string& function, uint32_t error, int count = -1);
std::vector<std::string> FailableCalls();
// Every failure point that a call of this process reached, counted from 1: FailAtCall(n, error)
// makes the n-th fail with `error` whatever its name; CrashAtCall(n) ends the process there at
// once with exit code kCrashedExitCode, as a kill would (nothing saved, no destructor run).
// 0 disarms either.
constexpr int kCrashedExitCode = 137;
uint64_t FailurePointsReached();
void FailAtCall(uint64_t n, uint32_t error);
void CrashAtCall(uint64_t n);
void ClearFailures();
// A process that the sweep starts arms its failure from the environment when the machine opens:
// WINSIM_FAIL_AT=N[:ERROR] fails the N-th failure point (ERROR_ACCESS_DENIED unless ERROR says
// otherwise). WINSIM_FAILPOINT_COUNT=FILE gets a line "fail N NAME ERROR" when that point fails
// and, when the machine closes, "close PID reached=N" and the LiveHandles() counts.

// Handles the process holds open, per kind: a program that closes all it opens leaves each at 0.
struct LiveHandleCounts {
    int keys = 0, files = 0, finds = 0, printers = 0, kernelObjects = 0, globalMemory = 0,
        gdiObjects = 0, shellMemory = 0;
};
LiveHandleCounts LiveHandles();

// ---- files --------------------------------------------------------------------------------
// Marks a file or folder as in use by a running program (machine.ini [in-use]): it can be read
// but not written, moved or deleted until the next start. `inUse` false lifts the mark.
void MarkInUse(const std::string& windowsPath, bool inUse = true);

// ---- debug output -----------------------------------------------------------------------
// Lines given to OutputDebugStringA since the machine was opened (or last cleared).
std::vector<std::string> DebugOutput();
void ClearDebugOutput();

// ---- registry -----------------------------------------------------------------------------
// Keys are written with their root name: "HKEY_LOCAL_MACHINE\SOFTWARE\Norvex".
std::string ExportRegistry(const std::string& key = ""); // REGEDIT4 text; "" = both hives
bool ImportRegistry(const std::string& regText, std::string* error = nullptr);
bool KeyExists(const std::string& key);
// A value's type and its data bytes exactly as stored; false when the value is missing.
bool ReadValue(const std::string& key, const std::string& name, uint32_t* type,
               std::vector<uint8_t>* data);
// Writes the hives now; false with the files that could not be written, as CloseMachine.
bool FlushRegistry(std::string* error = nullptr);

// Key security, in SDDL text ("O:SYD:(A;;KA;;;SY)(A;;KR;;;BA)", "D:NO_ACCESS_CONTROL" for a
// NULL DACL). A key without security of its own grants everything.
bool SetKeySecurity(const std::string& key, const std::string& sddl);
std::string GetKeySecurity(const std::string& key);
// Marks a key as refusing write access to the process: owner SYSTEM, SYSTEM full control,
// Administrators and Everyone read only.
bool ProtectKey(const std::string& key);

// Whether the process token holds SeTakeOwnershipPrivilege (machine.ini [machine]
// takeownership=0|1; held by default for an administrator on NT).
void SetTakeOwnershipHeld(bool held);

// ---- print spooler --------------------------------------------------------------------------
// What the spooler holds, as its calls report it. Every spooler call (EnumPrintersA,
// AddPrinterDriverA, DeletePortA, ...) honours FailCall under its own name.
struct SpoolerPrinter {
    std::string name, port, driver, processor, datatype;
    uint32_t attributes = 0; // as GetPrinterA reports them
    bool isDefault = false;
};
struct SpoolerDriver {
    std::string name, environment;
    uint32_t version = 0;
    std::string file, monitor;
    std::vector<std::string> dependentFiles;
};
struct SpoolerMonitor {
    std::string name, file;
};
struct SpoolerProcessor {
    std::string name, environment, file;
};
struct SpoolerPort {
    std::string name, monitor;
};
struct SpoolerConnection {
    std::string name; // "\\SERVER\SHARE"
    std::string driver;
    bool isDefault = false;
};
struct SpoolerState {
    std::vector<SpoolerPrinter> printers;
    std::vector<SpoolerDriver> drivers; // the OS's own environment first
    std::vector<SpoolerMonitor> monitors;
    std::vector<SpoolerProcessor> processors;
    std::vector<SpoolerPort> ports;
    std::vector<SpoolerConnection> connections;
    std::string defaultPrinter; // empty when there is none
};
SpoolerState ReadSpooler();
// The spooler one object a line, as `winsim show` prints it.
std::vector<std::string> SpoolerLines();

// ---- messages -------------------------------------------------------------------------------
// Messages sent or posted to HWND_BROADCAST since the machine was opened (or last cleared).
struct BroadcastMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    uintptr_t lParam = 0;
    std::string text; // WM_WININICHANGE: the section named by lParam, when it names one
};
std::vector<BroadcastMessage> Broadcasts();
void ClearBroadcasts();

// ---- network ------------------------------------------------------------------------------
// Shares the network offers: machine.ini [network] \\SERVER\SHARE=DRIVER, the driver being the
// one the share serves. Redirected local names: machine.ini [net-use] LPT2:=\\SERVER\SHARE;
// WNetCancelConnection2A removes the line.

// ---- modules ------------------------------------------------------------------------------
// Loads a module from a host path, as the setup engine loads PWSETUP.DLL: the same module table
// as LoadLibraryA (a second load of the file counts a reference; FreeLibrary releases it), no
// machine needed. Returns the HMODULE value, or 0 with *error saying why.
uintptr_t LoadHostLibrary(const std::string& hostPath, std::string* error = nullptr);
// An export of a loaded module by name (GetProcAddress without the function-pointer type);
// null when the module does not export it.
void* HostProcAddress(uintptr_t module, const std::string& name);

// ---- user interface -------------------------------------------------------------------------
// The screen: machine.ini [display] width, height and bits (800 x 600, 16 bits per pixel when
// unset). The process's windows are real: classes, window procedures, one message queue, dialogs
// from their templates; nothing is drawn, but every drawing call is recorded.

// The clock behind GetTickCount is virtual. It moves by 1 ms per GetTickCount call, by 10 ms per
// PeekMessageA that finds nothing, by the time asked of Sleep, and GetMessageA jumps it to the
// next timer; so waiting loops end at once.
uint32_t TickCount(); // reads without moving it
void AdvanceClock(uint32_t ms);

struct WindowInfo {
    uintptr_t handle = 0;
    std::string className, text;
    uint32_t style = 0, exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0; // window rectangle: screen, or parent client for a child
    uintptr_t parent = 0;             // parent of a child, owner of a top-level window
    int id = 0;                       // control ID of a child
    bool visible = false, enabled = true, dialog = false;
    std::vector<int> tabStops; // a list box's, as LB_SETTABSTOPS set them (dialog units)
};
// The process's live windows in creation order.
std::vector<WindowInfo> Windows();

// A window of the setup engine's own process that it hands to a loaded library as a dialog: a
// popup titled `title` holding a list box (LBS_USETABSTOPS) of control ID `listBoxId`. 0 when it
// cannot be made. ListBoxRows gives the texts of that list box, in order.
uintptr_t CreateEngineDialog(const std::string& title, int listBoxId);
std::vector<std::string> ListBoxRows(uintptr_t window, int listBoxId);

// Top-level windows of other programs that the machine declares open: machine.ini [windows]
// CLASS=TITLE. FindWindowA finds them; WM_CLOSE sent to one ends it, which removes its line.
void OpenForeignWindow(const std::string& className, const std::string& title);
std::vector<std::string> ForeignWindows(); // class names still open
std::vector<std::string> ClosedWindows();  // class names closed since the machine was opened

// Drawing calls, in order: "FillRect" (x, y, cx, cy, color), "TextOut" (x, y, text, color, font
// face and height), "BitBlt" (x, y, cx, cy; resource = bitmap ID when the source holds a loaded
// bitmap), "DrawFocusRect" (x, y, cx, cy). `window` is the window whose DC drew, 0 for a memory
// or screen DC.
struct DrawCall {
    std::string op;
    uintptr_t window = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    uint32_t color = 0;
    std::string text, face;
    int height = 0;
    int resource = 0;
};
std::vector<DrawCall> Drawing();
void ClearDrawing();
// GDI objects (brushes, fonts, bitmaps, DCs) created and not yet deleted; stock objects excepted.
int LiveGdiObjects();

// ---- the screen ---------------------------------------------------------------------------------
// The screen as it shows now (machine.ini [display] in size): the desktop, then every visible
// top-level window in the order of creation (owned windows above their owners), each with its
// frame and caption, its client area as it was last painted, and its visible child windows.
struct ScreenPicture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels; // 0xRRGGBB, row by row from the top left
    uint32_t At(int x, int y) const; // 0 outside
};
ScreenPicture CaptureScreen();
// The screen as a PNG file; false (with *error) when it cannot be written.
bool SaveScreen(const std::string& path, std::string* error = nullptr);
// From now on, each time the program's queue runs empty with the screen changed since the last
// picture, a PNG of it goes to `folder`: "NN-WHAT.png", numbered from 01, WHAT named after the
// user's step that led to it ("after-check-2") or else the window that appeared (its caption).
// "" stops. Screenshots() lists the files written since.
void TakeScreenshots(const std::string& folder);
std::vector<std::string> Screenshots();

// ---- the scripted user ------------------------------------------------------------------------
// MessageBoxA takes the next queued answer; with none queued the user presses the box's default
// button. An answer the box does not offer is refused (the default button is pressed instead,
// and a debug line says so).
struct MessageBoxRecord {
    uintptr_t owner = 0;
    std::string caption, text;
    uint32_t type = 0;
    int answer = 0; // IDOK, IDCANCEL, ...
};
void QueueMessageBoxAnswer(int answer);
std::vector<MessageBoxRecord> MessageBoxes();
void ClearMessageBoxes();
// "ok", "cancel", "abort", "retry", "ignore", "yes", "no" (any case) <-> IDOK ... IDNO.
bool ParseAnswer(const std::string& text, int* answer);
const char* AnswerName(int answer);
// A modal dialog that waits for the user gets the next queued step; with none queued the user
// presses Escape (WM_COMMAND IDCANCEL). QueueDialogClick queues a click on a control by its ID
// (a bare WM_COMMAND of that ID when the dialog has no such control).
void QueueDialogClick(int controlId);
// A step as a person takes it (winsim uninstall --do):
//   click LABEL|ID    a control by its text (without "&", arrows and dots; "All" takes the
//                     control whose text starts with that word) or its control ID
//   LABEL             the same: "OK", "Next", "Exit", "Cancel"
//   check ROW|TITLE   a click on a list row's mark (the first item-height of the row)
//   select ROW|TITLE  a click on a row's text; rows count from 1, titles are quoted or bare
//   space, up, down, pageup, pagedown, home, end, escape, enter, tab (or key NAME)
//                     a key pressed where the focus is
//   close             WM_CLOSE to the dialog
// Quoted text takes "" for a quote. False with the reason for a step that does not parse. A step
// that cannot be taken when its turn comes (no such control or row, a disabled control) is
// journalled ("user-error STEP<TAB>REASON"), listed by UserStepErrors, and the steps after it
// are dropped; a step taken is journalled as "user STEP".
bool CheckUserStep(const std::string& step, std::string* error);
bool QueueUserStep(const std::string& step, std::string* error);
std::vector<std::string> UserStepErrors();
void ClearUserSteps(); // the queued steps (and clicks) are dropped

// GetOpenFileNameA takes the next queued answer: the path the user chooses, or "" for Cancel;
// with none queued the user cancels. Each dialog is recorded and journalled ("filedialog PATH|
// CANCEL TITLE<TAB>FILTER<TAB>INITIAL FILE", the filter's texts joined by |).
struct FileDialogRecord {
    uintptr_t owner = 0;
    std::string title, filter, initialFile;
    uint32_t flags = 0;
    std::string answer; // "" for Cancel
};
void QueueFileDialogAnswer(const std::string& path);
std::vector<FileDialogRecord> FileDialogs();
// SHBrowseForFolderA takes the next queued answer: an item of the network neighbourhood
// (machine.ini [network]) as "\\SERVER\SHARE" or "\\SERVER", or "" for Cancel; with none
// queued, or an answer the browser does not offer (not below its root; not a printer under
// BIF_BROWSEFORPRINTER), the user cancels. Journalled as "browse ITEM|CANCEL TITLE".
struct FolderBrowseRecord {
    uintptr_t owner = 0;
    std::string title;
    uint32_t flags = 0;
    std::string answer; // "" for Cancel
};
void QueueBrowseAnswer(const std::string& item);
std::vector<FolderBrowseRecord> FolderBrowses();

// ---- restart, shell, journal ----------------------------------------------------------------
// ExitWindowsEx calls that were granted (their flags), SHChangeNotify calls.
std::vector<uint32_t> RestartRequests();
struct ShellNotification {
    int32_t event = 0;
    uint32_t flags = 0;
    std::string item1, item2; // the paths of SHCNF_PATHA items
};
std::vector<ShellNotification> ShellNotifications();

// The machine's journal, events.log in the machine folder: one line per message box, granted
// restart request, closed foreign window and program exit, so that a tool sees what a program
// did in a process of its own. Lines are "messagebox TYPE ANSWER CAPTION<TAB>TEXT" (line
// breaks of the texts written as \n), "dialog CAPTION" (a modal dialog shown), "user STEP" and
// "user-error STEP<TAB>REASON" (the scripted user), "restart FLAGS", "closed CLASS", "exit CODE".
size_t JournalSize(); // bytes, where the next line will start
std::vector<std::string> JournalSince(size_t offset);
void Journal(const std::string& line);

// Each line of a profile file's text as the profile functions read it, in file order (line N is
// element N - 1): a section header (its name), a key (name and value, blanks trimmed), a text
// without "=" that no call sees (trimmed), or a comment or blank line.
struct ProfileLine {
    enum Kind { Other, Header, Key, Bare } kind = Other;
    std::string name;
    std::string value;
};
std::vector<ProfileLine> ProfileLines(const std::string& text);
// Whether two section or key names are one name to the profile functions (case is ignored).
bool SameProfileName(const std::string& a, const std::string& b);

// The command line of the process (GetCommandLineA); the program's file name when unset.
void SetProcessCommandLine(const std::string& commandLine);

// The next start of Windows: files in use and other programs' windows are gone; on NT the
// pending renames and deletions in their order, on 95/98 WININIT.INI's [rename] lines (the file
// then becomes WININIT.BAK); at logon the RunOnce commands, each value removed before its
// command runs; batch files run by winsim's own interpreter. Returns what happened, a line each;
// a line the interpreter does not know is reported, never skipped in silence.
std::vector<std::string> Reboot();

} // namespace winsim

#endif
