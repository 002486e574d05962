// The uninstaller's frame: the blue background window with the product title, which starts the
// wizard, and the start-up picture.
#include "pwuninst.h"

#include <cstdlib>
#include <cstring>

#include "common/fence.h"
#include "gdihandles.h"

LOGFONTA BackgroundLogFont = {};
HFONT BackgroundFont = nullptr;

namespace {

const int kDefaultDivisor = 12;
const int kSplashWidth = 322; // bitmap 401
const int kSplashHeight = 142;

// The start-up picture while it is on screen.
CZRGdiObject g_splashBitmap; // 401

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

} // namespace

LRESULT CALLBACK BackgroundWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return zrFenced<LRESULT>(0, [&]() -> LRESULT {
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
    return zrFenced<INT_PTR>(0, [&]() -> INT_PTR {
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
