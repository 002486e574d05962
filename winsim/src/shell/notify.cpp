// Shell: SHChangeNotify, recorded for tests (the machine has no Explorer to tell).
#include "../internal.h"

#include <shlobj.h>

using namespace winsim;

namespace {

std::vector<ShellNotification>& Notifications() {
    static auto* n = new std::vector<ShellNotification>;
    return *n;
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { Notifications().clear(); }}), true);

std::string ItemText(UINT type, LPCVOID item) {
    if (!item) return "";
    if (type == SHCNF_PATHA || type == SHCNF_PRINTERA) return static_cast<const char*>(item);
    if (type == SHCNF_PATHW || type == SHCNF_PRINTERW) {
        std::string out;
        for (auto* w = static_cast<const WCHAR*>(item); *w; ++w)
            out += *w < 0x100 ? static_cast<char>(*w) : '?';
        return out;
    }
    return ""; // item ID lists and numbers carry no path
}

} // namespace

namespace winsim {

std::vector<ShellNotification> ShellNotifications() {
    return Notifications();
}

} // namespace winsim

extern "C" void WINAPI SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1,
                                      LPCVOID dwItem2) {
    Require();
    UINT type = uFlags & SHCNF_TYPE;
    ShellNotification n;
    n.event = wEventId;
    n.flags = uFlags;
    n.item1 = ItemText(type, dwItem1);
    n.item2 = ItemText(type, dwItem2);
    Notifications().push_back(n);
}
