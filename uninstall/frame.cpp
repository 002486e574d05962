// The uninstaller's frame: the blue background window with the product title, the start-up
// picture, the handling both wizard pages share, and message boxes from the string table.
#include "pwuninst.h"

#include <cstdlib>
#include <cstring>

#include "gdihandles.h"

LOGFONTA BackgroundLogFont = {};
HFONT BackgroundFont = nullptr;

namespace {

const int kDefaultDivisor = 12;
const int kSplashWidth = 322; // bitmap 401
const int kSplashHeight = 142;

// The pictures of the window on screen; each window kind has one at a time.
CZRGdiObject g_splashBitmap; // 401
CZRGdiObject g_sideBitmap;   // 402
CZRGdiObject g_stripBitmap;  // 405
LPARAM g_pageKind = 0;       // 0 welcome, 1 selection

// Runs a window or dialog procedure's body; nothing thrown gets past it.
template <typename Result, typename Body> Result Guarded(Result failure, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

HBITMAP LoadPicture(int id) {
    return LoadBitmapA(Instance, MAKEINTRESOURCEA(id));
}

// The title font: face from string 1010, height a fraction of the screen from string 1008,
// character set from string 1101 (absent, so 0), italic TrueType of the roman family.
void BuildTitleFont() {
    BackgroundLogFont = LOGFONTA();
    std::strcpy(BackgroundLogFont.lfFaceName, "Times");
    char face[LF_FACESIZE];
    if (LoadStringA(Instance, IDS_TITLE_FACE, face, sizeof face) > 0)
        std::memcpy(BackgroundLogFont.lfFaceName, face, sizeof face);

    int divisor = kDefaultDivisor;
    if (LoadStringA(Instance, IDS_TITLE_DIVISOR, CaptionText, sizeof CaptionText) > 0)
        divisor = std::atoi(CaptionText);
    if (divisor == 0) divisor = kDefaultDivisor;
    // Negative: the character height, not the cell height.
    BackgroundLogFont.lfHeight = -(ScreenHeight / divisor);

    char charset[LF_FACESIZE];
    if (LoadStringA(Instance, IDS_TITLE_CHARSET, charset, sizeof charset) > 0)
        BackgroundLogFont.lfCharSet = static_cast<BYTE>(std::atoi(charset));

    BackgroundLogFont.lfWeight = FW_NORMAL;
    BackgroundLogFont.lfItalic = TRUE;
    BackgroundLogFont.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    BackgroundLogFont.lfPitchAndFamily = DEFAULT_PITCH | FF_ROMAN;
    BackgroundFont = CreateFontIndirectA(&BackgroundLogFont);

    CaptionLength = LoadStringA(Instance, IDS_CAPTION, CaptionText, sizeof CaptionText);
}

// 256 bands from pure blue at the top to black at the bottom, then the title twice: a black
// shadow and the white text above it.
void PaintBackground(HWND hWnd) {
    CZRPaint paint(hWnd);
    HDC dc = paint.Get();
    if (!dc) return;
    RECT client;
    GetClientRect(hWnd, &client);
    const double band = client.bottom * 0.00390625;
    for (int i = 0; i < 256; ++i) {
        RECT r;
        r.left = 0;
        r.top = static_cast<LONG>(i * band);
        r.right = client.right + 1;
        r.bottom = static_cast<LONG>((i + 1) * band);
        CZRGdiObject brush(CreateSolidBrush(RGB(0, 0, 255 - i)));
        FillRect(dc, &r, static_cast<HBRUSH>(brush.Get()));
    }
    CZRSelection font(dc, BackgroundFont);
    SetBkMode(dc, TRANSPARENT);
    const int length = CaptionLength > 0 ? CaptionLength : 0;
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, 8, 8, CaptionText, length);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutA(dc, 4, 4, CaptionText, length);
}

// The wizard: the welcome page, and the selection page when the user goes on.
void RunWizard(HWND hWnd) {
    if (DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_WELCOME), hWnd, PageDlgProc, 0) == 0)
        DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_SELECT), hWnd, PageDlgProc, 1);
    DestroyWindow(hWnd);
}

int BitmapHeight(HGDIOBJ bitmap) {
    BITMAP bm = {};
    if (!bitmap || !GetObjectA(bitmap, sizeof bm, &bm)) return 0;
    return bm.bmHeight;
}

INT_PTR PageOwnMessage(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    return g_pageKind == 0 ? WelcomePageMessage(hDlg, msg, wParam, lParam)
                           : SelectPageMessage(hDlg, msg, wParam, lParam);
}

} // namespace

LRESULT CALLBACK BackgroundWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Guarded<LRESULT>(0, [&]() -> LRESULT {
        switch (msg) {
        case WM_CREATE:
            BuildTitleFont();
            break; // on to default processing
        case WM_PAINT:
            PaintBackground(hWnd);
            return 0;
        case WM_DESTROY:
            if (BackgroundFont) DeleteObject(BackgroundFont);
            BackgroundFont = nullptr;
            PostQuitMessage(0);
            BackgroundWindow = nullptr;
            return 0;
        case WM_USER:
            RunWizard(hWnd);
            return 1;
        }
        return DefWindowProcA(hWnd, msg, wParam, lParam);
    });
}

INT_PTR CALLBACK SplashDlgProc(HWND hDlg, UINT msg, WPARAM, LPARAM) {
    return Guarded<INT_PTR>(0, [&]() -> INT_PTR {
        switch (msg) {
        case WM_INITDIALOG:
            g_splashBitmap.Reset(LoadPicture(IDB_SPLASH));
            // No caption and no frame: the picture is the whole window, centred on the screen.
            SetWindowLongA(hDlg, GWL_STYLE, WS_CLIPSIBLINGS);
            MoveWindow(hDlg, (ScreenWidth - kSplashWidth) / 2, (ScreenHeight - kSplashHeight) / 2,
                       kSplashWidth, kSplashHeight, FALSE);
            return 0;
        case WM_PAINT: {
            CZRPaint paint(hDlg);
            if (paint && g_splashBitmap)
                DrawBitmapAt(paint.Get(), static_cast<HBITMAP>(g_splashBitmap.Get()), 0, 0);
            return 1;
        }
        case WM_CLOSE:
            EndDialog(hDlg, 0);
            return 1;
        case WM_DESTROY:
            g_splashBitmap.Reset();
            return 1;
        }
        return 0;
    });
}

INT_PTR CALLBACK PageDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Guarded<INT_PTR>(0, [&]() -> INT_PTR {
        switch (msg) {
        case WM_INITDIALOG: {
            RECT r = {};
            GetWindowRect(hDlg, &r);
            const int width = r.right - r.left;
            const int height = r.bottom - r.top;
            // The halves of the screen size are taken as 15-bit values.
            const int halfX = (GetSystemMetrics(SM_CXSCREEN) / 2) & 0x7FFF;
            const int halfY = (GetSystemMetrics(SM_CYSCREEN) / 2) & 0x7FFF;
            SetWindowPos(hDlg, nullptr, halfX - width / 2, halfY - height / 2, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
            PageWindow = hDlg;
            g_sideBitmap.Reset(LoadPicture(IDB_SIDE));
            g_stripBitmap.Reset(LoadPicture(IDB_STRIP));
            g_pageKind = lParam;
            return PageOwnMessage(hDlg, msg, wParam, lParam);
        }
        case WM_PAINT: {
            CZRPaint paint(hDlg);
            if (!paint) return 0;
            if (g_sideBitmap)
                DrawBitmapAt(paint.Get(), static_cast<HBITMAP>(g_sideBitmap.Get()), 0, 0);
            if (g_stripBitmap) {
                RECT r = {};
                GetWindowRect(hDlg, &r);
                const int y = (r.bottom - r.top) - 2 * BitmapHeight(g_stripBitmap.Get()) - 12;
                DrawBitmapAt(paint.Get(), static_cast<HBITMAP>(g_stripBitmap.Get()), 12, y);
            }
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(hDlg, -1);
                return 1;
            }
            return PageOwnMessage(hDlg, msg, wParam, lParam);
        case WM_CLOSE:
            EndDialog(hDlg, 0);
            return 1;
        case WM_DESTROY: {
            PageWindow = nullptr;
            g_sideBitmap.Reset();
            g_stripBitmap.Reset();
            return PageOwnMessage(hDlg, msg, wParam, lParam);
        }
        }
        return PageOwnMessage(hDlg, msg, wParam, lParam);
    });
}

void DrawBitmapAt(HDC dc, HBITMAP bitmap, int x, int y) {
    CZRMemoryDC memory(dc);
    if (!memory) return;
    CZRSelection selected(memory.Get(), bitmap);
    SetMapMode(memory.Get(), GetMapMode(dc));
    BITMAP bm = {};
    GetObjectA(bitmap, sizeof bm, &bm);
    POINT size = {bm.bmWidth, bm.bmHeight};
    DPtoLP(dc, &size, 1);
    POINT origin = {0, 0};
    DPtoLP(memory.Get(), &origin, 1);
    BitBlt(dc, x, y, size.x, size.y, memory.Get(), origin.x, origin.y, SRCCOPY);
}

int ShowStringMessage(HWND owner, UINT id, UINT type) {
    if (LoadStringA(Instance, id, MessageText, sizeof MessageText) <= 0) return 0;
    return MessageBoxA(owner, MessageText, CaptionText, type);
}
