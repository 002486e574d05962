// The uninstaller's entry: the rights check on Windows NT, the background window and the
// start-up picture, the scrub run or the wizard, and the end of the run with its restart.
#include "pwuninst.h"

#include <lm.h>

#include <cstring>

#include "common/fence.h"
#include "common/module.h"
#include "gdihandles.h"

namespace {

const char kWindowClass[] = "KV-Uninstall32";
const DWORD kSplashMinimumMs = 2000;
const COLORREF kPureBlue = 0x00FF0000;

typedef NET_API_STATUS(WINAPI* PFNNETUSERGETINFO)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*);
typedef NET_API_STATUS(WINAPI* PFNNETAPIBUFFERFREE)(LPVOID);

// Windows directory, a backslash when it lacks one, "WININIT.INI".
void BuildWininitPath() {
    WininitPath[0] = '\0';
    char dir[UN_PATH_SIZE];
    UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    if (n == 0 || n >= sizeof dir) return;
    const char* name = "WININIT.INI";
    const bool slash = dir[n - 1] == '\\';
    if (n + (slash ? 0 : 1) + std::strlen(name) + 1 > sizeof WininitPath) return;
    std::strcpy(WininitPath, dir);
    if (!slash) std::strcat(WininitPath, "\\");
    std::strcat(WininitPath, name);
}

void ReadScreenSize() {
    CZRWindowDC screen(nullptr);
    if (!screen) return;
    ScreenHeight = GetDeviceCaps(screen.Get(), VERTRES);
    ScreenWidth = GetDeviceCaps(screen.Get(), HORZRES);
}

void PumpWaitingMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void EnableShutdownPrivilege() {
    CZRHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put()))
        return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) return;
    AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

int Run(HINSTANCE hInstance, LPSTR commandLine) {
    Instance = hInstance;
    IsWindowsNT = GetVersion() < 0x80000000u ? 1 : 0;

    if (IsWindowsNT && IsAdministrator() != USER_PRIV_ADMIN) {
        char caption[UN_TEXT_SIZE] = "";
        LoadStringA(Instance, IDS_CAPTION, caption, sizeof caption);
        if (LoadStringA(Instance, IDS_NOT_ADMINISTRATOR, MessageText, sizeof MessageText) > 0)
            MessageBoxA(nullptr, MessageText, caption, MB_ICONERROR);
        return -1;
    }

    BuildWininitPath();
    ReadScreenSize();

    WNDCLASSA wc = {};
    wc.style = CS_NOCLOSE;
    wc.lpfnWndProc = BackgroundWndProc;
    wc.hInstance = Instance;
    wc.hIcon = LoadIconA(Instance, MAKEINTRESOURCEA(IDI_UNINSTALL));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(kPureBlue); // the class owns it until the process ends
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc);

    BackgroundWindow = CreateWindowExA(0, kWindowClass, nullptr, 0, 0, 0, CW_USEDEFAULT,
                                       CW_USEDEFAULT, nullptr, nullptr, Instance, nullptr);
    if (!BackgroundWindow) return -1;

    HWND splash = CreateDialogParamA(Instance, MAKEINTRESOURCEA(IDD_SPLASH), BackgroundWindow,
                                     SplashDlgProc, 0);

    // The picture stays for the whole scrub run and at least 2 seconds; unsigned differences
    // keep that true when the tick count wraps.
    const DWORD start = GetTickCount();
    const int scrubbed = RemoveAllComponents(commandLine, 0);
    while (GetTickCount() - start < kSplashMinimumMs)
        PumpWaitingMessages();
    if (splash) DestroyWindow(splash);

    if (scrubbed) {
        if (BackgroundWindow) DestroyWindow(BackgroundWindow);
        // The window's quit message would end the restart prompt's own loop before the user
        // saw it; nothing is left to quit.
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        FinishAndRestart();
        return 0;
    }

    SetWindowLongA(BackgroundWindow, GWL_STYLE, WS_CLIPSIBLINGS);
    PostMessageA(BackgroundWindow, WM_USER, 0, 0);
    ShowWindow(BackgroundWindow, SW_SHOWMAXIMIZED);
    UpdateWindow(BackgroundWindow);
    MSG msg = {};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    FinishAndRestart();
    return static_cast<int>(msg.wParam);
}

} // namespace

int IsAdministrator() {
    if (!IsWindowsNT) return USER_PRIV_ADMIN;
    WCHAR user[UNLEN + 1];
    DWORD length = UNLEN + 1;
    if (!GetUserNameW(user, &length)) return USER_PRIV_ADMIN;

    CZRModule netapi(LoadLibraryA("netapi32.dll"));
    if (!netapi) return USER_PRIV_ADMIN;
    auto bufferFree = zrProcAs<PFNNETAPIBUFFERFREE>(netapi.Get(), "NetApiBufferFree");
    auto getInfo = zrProcAs<PFNNETUSERGETINFO>(netapi.Get(), "NetUserGetInfo");

    int privilege = USER_PRIV_ADMIN;
    if (getInfo) {
        LPBYTE buffer = nullptr;
        // The status is not examined: a buffer that comes back is the answer.
        getInfo(nullptr, user, 1, &buffer);
        if (buffer) {
            privilege = static_cast<int>(reinterpret_cast<USER_INFO_1*>(buffer)->usri1_priv);
            if (bufferFree) bufferFree(buffer);
        }
    }
    return privilege;
}

void FinishAndRestart() {
    if (!RestartNeeded) return;
    if (BatchNeeded) RegisterBatch();

    if (!CaptionText[0])
        CaptionLength = LoadStringA(Instance, IDS_CAPTION, CaptionText, sizeof CaptionText);
    // Cancel, or no question at all: what was deferred waits for whichever start comes next.
    if (ShowStringMessage(nullptr, IDS_RESTART_PROMPT, MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    if (IsWindowsNT) EnableShutdownPrivilege();
    ExitWindowsEx(EWX_REBOOT, 0);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
    return zrFenced(-1,
                    [&] { return Run(hInstance, lpCmdLine ? lpCmdLine : const_cast<LPSTR>("")); });
}
