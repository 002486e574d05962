// Messages: what the product sends to every top-level window (HWND_BROADCAST) is recorded for
// tests to read back; the machine has no windows of its own to receive messages yet.
#include "internal.h"

using namespace winsim;

namespace {

std::vector<BroadcastMessage>& Recorded() {
    static auto* recorded = new std::vector<BroadcastMessage>;
    return *recorded;
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { Recorded().clear(); }}), true);

bool IsBroadcast(HWND hWnd) {
    return hWnd == HWND_BROADCAST;
}

void Record(UINT msg, WPARAM wParam, LPARAM lParam) {
    BroadcastMessage m;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = static_cast<uintptr_t>(lParam);
    if (msg == WM_WININICHANGE && lParam != 0) m.text = reinterpret_cast<const char*>(lParam);
    Recorded().push_back(m);
}

} // namespace

namespace winsim {

std::vector<BroadcastMessage> Broadcasts() {
    return Recorded();
}

void ClearBroadcasts() {
    Recorded().clear();
}

} // namespace winsim

extern "C" {

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Require();
    DWORD err;
    if (ShouldFail("SendMessageA", &err)) {
        SetLastError(err);
        return 0;
    }
    if (!IsBroadcast(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Record(Msg, wParam, lParam);
    return 0;
}

LRESULT WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, PDWORD_PTR lpdwResult) {
    (void)fuFlags;
    (void)uTimeout;
    Require();
    if (lpdwResult) *lpdwResult = 0;
    DWORD err;
    if (ShouldFail("SendMessageTimeoutA", &err)) {
        SetLastError(err);
        return 0;
    }
    if (!IsBroadcast(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Record(Msg, wParam, lParam);
    return 1;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Require();
    DWORD err;
    if (ShouldFail("PostMessageA", &err)) {
        SetLastError(err);
        return FALSE;
    }
    if (!IsBroadcast(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // A posted WM_WININICHANGE would carry a pointer the receiver cannot read; keep the number.
    BroadcastMessage m;
    m.message = Msg;
    m.wParam = wParam;
    m.lParam = static_cast<uintptr_t>(lParam);
    Recorded().push_back(m);
    return TRUE;
}

} // extern "C"
