// What the program's windows share: pictures from its resources drawn at their natural size, and
// message boxes with texts from its string table.
#include "pwuninst.h"

#include "gdihandles.h"

HBITMAP LoadPicture(int id) {
    return LoadBitmapA(Instance, MAKEINTRESOURCEA(id));
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
