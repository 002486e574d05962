// PWUNINST, the uninstaller: the state every part of the program shares and the routines they
// call on one another. One thread; all text is narrow, in the system code page.
#ifndef PWUNINST_PWUNINST_H
#define PWUNINST_PWUNINST_H

#include <windows.h>

#include "common/placeholder.h"
#include "resources/resource.h"

// ---- sizes the behaviour names ------------------------------------------------------------------
enum {
    UN_PATH_SIZE = 260,       // paths: ScriptPath, WininitPath, shell folders, short forms
    UN_KEY_LIST_SIZE = 8192,  // key lists of a section; a Regadd value
    UN_FIELD_SIZE = 256,      // one key of a component section ("Files", "Driver", ...)
    UN_FILE_ENTRY_SIZE = 128, // a Files entry once expanded; a [strings] value; an expansion
    UN_ENTRY_WORK_SIZE = 783, // the work buffer an entry is copied into before it is split
    UN_NAME_SIZE = 50,        // driver and monitor names of the spooler step
    UN_TEXT_SIZE = 260,       // caption and message texts
};

// The default of every text read from the script: a result equal to it (exactly, with case)
// means that the item is absent.
inline constexpr char NotThereSentinel[] = "It's not there!";

// Where the installation names its uninstall script (HKEY_LOCAL_MACHINE, value "Uninstall").
#define UN_INSTALL_KEY "SOFTWARE\\Norvex\\KVP\\KV Pellora 4720\\Install"
#define UN_INSTALL_VALUE "Uninstall"

// Sections of the script the run walks.
#define UN_COMPONENTS_SECTION "Components"
#define UN_SHARED_SECTION "Shared"

// ---- the uninstaller's state --------------------------------------------------------------------
extern HINSTANCE Instance;             // the program's module, for its resources
extern int IsWindowsNT;                // 1 on Windows NT, 0 on Windows 95/98
extern int ScreenWidth;                // HORZRES of the screen, read once at start
extern int ScreenHeight;               // VERTRES of the screen
extern char WininitPath[UN_PATH_SIZE]; // Windows directory, "\" when missing, "WININIT.INI"
extern char ScriptPath[UN_PATH_SIZE];  // the uninstall script; empty when unknown
extern char ComponentKeyList[UN_KEY_LIST_SIZE]; // key names of [Components], double-NUL list
extern char CaptionText[UN_TEXT_SIZE];          // string 1000: caption of every message box
extern int CaptionLength;                       // what LoadString returned for the caption
extern char MessageText[UN_TEXT_SIZE];          // the text of the message box being shown
extern HWND BackgroundWindow;      // null once destroyed (later message boxes have no owner)
extern HWND PageWindow;            // the wizard page on screen, null when none
extern int RestartNeeded;          // a deletion was deferred to the next start
extern int BatchNeeded;            // a folder line was written to the next-start batch
extern LOGFONTA BackgroundLogFont; // the title font of the background window
extern HFONT BackgroundFont;

// ---- winmain.cpp: the entry and the end of the run ----------------------------------------------
// USER_PRIV_ADMIN (2) lets the program go on.
int IsAdministrator();
// Once, when the program ends: registers the batch and offers the restart.
void FinishAndRestart();

// ---- frame.cpp: the background window and the start-up picture ----------------------------------
LRESULT CALLBACK BackgroundWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SplashDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

// ---- pages.cpp: the wizard ----------------------------------------------------------------------
// The welcome page, and the selection page when the user goes on; then `owner` goes.
void RunWizard(HWND owner);
// Serves the welcome page (creation parameter 0) and the selection page (parameter 1).
INT_PTR CALLBACK PageDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
// The list box subclass of the selection page.
LRESULT CALLBACK CheckListProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The pages' own handling, after PageDlgProc's common part: the welcome page (kind 0) and the
// selection page (kind 1). Each answers as a dialog procedure does.
INT_PTR WelcomePageMessage(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR SelectPageMessage(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

// ---- ui.cpp: what the windows share
// --------------------------------------------------------------
HBITMAP LoadPicture(int id);
// Draws `bitmap` at its natural size with its top left at (x, y).
void DrawBitmapAt(HDC dc, HBITMAP bitmap, int x, int y);
// Loads string `id` into MessageText and shows it with CaptionText as caption; returns the
// message box's answer, or 0 when the string does not load (nothing is shown).
int ShowStringMessage(HWND owner, UINT id, UINT type);

// ---- script.cpp: the uninstall script -----------------------------------------------------------
// Fills ScriptPath from the registry; empty when the key or the value cannot be read.
void ReadScriptPath();
// Replaces the first %name% pair of `text` by the name's value in [strings], in place. A name
// that [strings] lacks leaves the text as it is; an expansion that does not fit in 127
// characters (or in capacity - 1) empties the text, since a cut path names another file. The
// outcome says which of these happened (the script checker reports it).
ZrExpansion ExpandPlaceholder(char* text, int capacity);
// The key names of `section` as a double-NUL list, as written. 0, and an empty list, when the
// section is missing. A name that the list cut is left out: it would name another key.
int ReadKeyNames(const char* section, char* list, int size);
// The key names of `section` as a double-NUL list, each expanded in place; entries whose
// expansion does not fit are left out. A missing section leaves the sentinel as the only entry
// (an empty list when the buffer has no room for the NUL after it).
void ReadEntryList(const char* section, char* list, int size);
// An entry's fields, split at its commas in a copy of the entry; the last field takes the rest
// of the text. Each form returns 1 when the entry has enough commas, else 0.
struct EntryFields {
    char work[UN_ENTRY_WORK_SIZE];
    char* field[4];
};
int SplitEntry(const char* entry, EntryFields& out, char** f1, char** f2);
int SplitEntry(const char* entry, EntryFields& out, char** f1, char** f2, char** f3);
int SplitEntry(const char* entry, EntryFields& out, char** f1, char** f2, char** f3, char** f4);

// ---- paths.cpp: what is never deleted -----------------------------------------------------------
// 1 for a path that is never deleted, whatever a script lists: a drive root (C:\ or C: or
// \\SERVER\SHARE), the Windows directory or the system directory (long or short form, case
// ignored, with or without a trailing backslash). RemoveFile and the folder pruning ask it.
int IsProtectedPath(const char* path);

// ---- remove.cpp: removal of one component
// -------------------------------------------------------- `list` is "Components" or "Shared";
// `honour` 1 respects shared-DLL counts, 0 drops them.
void RemoveComponent(const char* list, const char* component, int honour);
// `path` is a writable buffer of UN_PATH_SIZE bytes (a help file's ".gid" is built in place).
void RemoveFile(char* path);
int RemoveEmptyDirectory(const char* folder); // 1 when the folder was removed
void RemoveShortcut(const char* folder, const char* name, int prune);

// ---- registry.cpp: registry operations ----------------------------------------------------------
// The count after the decrement, or 1 when there is no count.
LONG ReleaseSharedCount(const char* path);
// An empty value name means the key's default value.
void RemoveRegValue(HKEY root, const char* subkey, const char* valueName);
int DeleteRegTree(HKEY root, const char* subkey); // 1 when the key was deleted
HKEY CreateRegPath(HKEY root, const char* path);  // an open key, or null

// ---- startup.cpp: startup entries
// ---------------------------------------------------------------- Takes a deleted program out of
// the load= line (NT) or the Run key (95/98).
void RemoveStartupEntries(const char* programPath);
// Registers the next-start batch under RunOnce, with its program information file beside it.
void RegisterBatch();

// ---- spool.cpp: printers and ports
// ---------------------------------------------------------------
void RemovePrinter(const char* printerName);
// Deletes the port through the spooler (PageWindow as parent) and its WIN.INI "ports" entry.
void RemovePort(const char* portName);

// ---- defer.cpp: deferred deletion ---------------------------------------------------------------
// 0 when the deletion is arranged, 1 when its line cannot be written.
int ScheduleDelete(const char* path, int isFolder);
// 1 when the file cannot be opened for writing, else 0.
int AppendLine(const char* file, const char* header, const char* prefix, const char* text);

// ---- scrub.cpp: the scrub run -------------------------------------------------------------------
// 0 when `commandLine` is not "scrub", 1 when it ran (also after a message).
int RemoveAllComponents(const char* commandLine, int honour);

#endif
