// The setup engine's side of a dialog that a loaded library fills: a window of the engine's
// process holding a list box, and the rows the library left in it.
#include "user.h"

namespace winsim {

namespace {
const char kEngineDialogClass[] = "WinsimEngineDialog";
}

uintptr_t CreateEngineDialog(const std::string& title, int listBoxId) {
    Require();
    // The engine draws its dialogs itself: a window class of its own, not a dialog template.
    if (!user::FindClass(kEngineDialogClass)) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kEngineDialogClass;
        if (!RegisterClassA(&wc)) return 0;
    }
    HWND dialog = CreateWindowExA(0, kEngineDialogClass, title.c_str(),
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 320, 240, nullptr,
                                  nullptr, nullptr, nullptr);
    if (!dialog) return 0;
    HWND list = CreateWindowExA(0, "ListBox", "",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_USETABSTOPS |
                                    LBS_NOINTEGRALHEIGHT,
                                10, 10, 300, 180, dialog,
                                reinterpret_cast<HMENU>(static_cast<intptr_t>(listBoxId)), nullptr,
                                nullptr);
    if (!list) {
        DestroyWindow(dialog);
        return 0;
    }
    return user::HandleValue(dialog);
}

std::vector<std::string> ListBoxRows(uintptr_t window, int listBoxId) {
    std::vector<std::string> rows;
    const user::Window* list = user::Live(GetDlgItem(user::AsHwnd(static_cast<uint32_t>(window)),
                                                     listBoxId));
    if (!list) return rows;
    for (const user::ListItem& item : list->items)
        rows.push_back(item.text);
    return rows;
}

} // namespace winsim
