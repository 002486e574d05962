// A small GUI program for the `winsim uninstall` tests: WinMain started by winsim_winmain. It
// closes another program's window, asks to restart and restarts when told OK; the command line
// "fail" makes it end with -1.
#include <windows.h>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
    if (!hInstance) return 3;
    if (lstrcmpiA(lpCmdLine, "fail") == 0) {
        MessageBoxA(nullptr, "You must be logged in\nas an administrator.", "Test", MB_ICONERROR);
        return -1;
    }
    if (HWND assistant = FindWindowA("PW_DocumentAssistantClass", nullptr))
        SendMessageA(assistant, WM_CLOSE, 0, 0);
    if (MessageBoxA(nullptr, "Restart now?", "Test", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return 0;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid);
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    ExitWindowsEx(EWX_REBOOT, 0);
    return 0;
}
