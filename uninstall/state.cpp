// The uninstaller's process-wide state: zero at start, one instance each.
#include "pwuninst.h"

HINSTANCE Instance = nullptr;
int IsWindowsNT = 0;
int ScreenWidth = 0;
int ScreenHeight = 0;
char WininitPath[UN_PATH_SIZE] = "";
char ScriptPath[UN_PATH_SIZE] = "";
char ComponentKeyList[UN_KEY_LIST_SIZE] = "";
char CaptionText[UN_TEXT_SIZE] = "";
int CaptionLength = 0;
char MessageText[UN_TEXT_SIZE] = "";
HWND BackgroundWindow = nullptr;
HWND PageWindow = nullptr;
int RestartNeeded = 0;
int BatchNeeded = 0;
