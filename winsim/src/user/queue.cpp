// The message queue of the process, in Windows' order: sent messages at once; posted ones first-in
// first-out, then WM_QUIT, then WM_PAINT for invalid visible windows, then due timers. Also what
// the program sends to every top-level window (HWND_BROADCAST), recorded for tests.
#include "user.h"

#include <algorithm>
#include <cstdio>

namespace winsim::user {

namespace {

void RecordBroadcast(UINT msg, WPARAM wParam, LPARAM lParam, bool withText) {
    BroadcastMessage m;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = static_cast<uintptr_t>(lParam);
    if (withText && msg == WM_WININICHANGE && lParam != 0)
        m.text = reinterpret_cast<const char*>(lParam);
    R().broadcasts.push_back(m);
}

// A sent message is handled at once: recorded when it goes to every top-level window, else by the
// window's procedure. False for a window that is none (ERROR_INVALID_WINDOW_HANDLE).
bool Deliver(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = 0;
    if (hWnd == HWND_BROADCAST) {
        RecordBroadcast(Msg, wParam, lParam, true);
        return true;
    }
    Window* w = LiveOrFail(hWnd);
    if (!w) return false;
    *result = CallProc(w->handle, Msg, wParam, lParam);
    return true;
}

bool InRange(UINT msg, UINT lo, UINT hi) {
    return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi);
}

bool ForFilter(uint32_t target, HWND filter) {
    if (!filter) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return target == 0; // thread messages only
    uint32_t f = HandleValue(filter);
    return target == f || IsDescendant(f, target);
}

} // namespace

MSG MakeMsg(uint32_t h, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = AsHwnd(h);
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = ClockNow();
    return m;
}

bool Fetch(MSG* out, HWND filter, UINT lo, UINT hi, bool remove) {
    UserState& u = U();
    for (auto it = u.posted.begin(); it != u.posted.end(); ++it) {
        if (!ForFilter(HandleValue(it->hwnd), filter) || !InRange(it->message, lo, hi)) continue;
        *out = *it;
        if (remove) u.posted.erase(it);
        return true;
    }
    if (u.quit) { // retrieved whatever the filter
        *out = MakeMsg(0, WM_QUIT, static_cast<WPARAM>(u.quitCode), 0);
        if (remove) u.quit = false;
        return true;
    }
    if (InRange(WM_PAINT, lo, hi)) {
        for (uint32_t h : u.order) {
            Window* w = Live(h);
            if (w && w->invalid && w->ctl != Ctl::Foreign && Visible(*w) && ForFilter(h, filter)) {
                *out = MakeMsg(h, WM_PAINT, 0, 0);
                return true;
            }
        }
    }
    if (InRange(WM_TIMER, lo, hi)) {
        for (Timer& t : u.timers) {
            if (t.due > ClockNow() || !ForFilter(t.window, filter)) continue;
            *out = MakeMsg(t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc));
            if (remove) t.due = ClockNow() + t.elapse;
            return true;
        }
    }
    if (!filter && lo == 0 && hi == 0) ScreenSettled(); // nothing at all is waiting
    return false;
}

bool WaitForTimer() {
    UserState& u = U();
    if (u.timers.empty()) return false;
    uint32_t next = u.timers.front().due;
    for (const Timer& t : u.timers)
        next = std::min(next, t.due);
    if (next > ClockNow()) AdvanceClock(next - ClockNow());
    return true;
}

} // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

namespace winsim {

std::vector<BroadcastMessage> Broadcasts() {
    return R().broadcasts;
}

void ClearBroadcasts() {
    R().broadcasts.clear();
}

} // namespace winsim

extern "C" {

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Require();
    WINSIM_FAILPOINT(0);
    LRESULT result;
    Deliver(hWnd, Msg, wParam, lParam, &result);
    return result;
}

LRESULT WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, PDWORD_PTR lpdwResult) {
    (void)fuFlags;
    (void)uTimeout;
    Require();
    if (lpdwResult) *lpdwResult = 0;
    WINSIM_FAILPOINT(0);
    LRESULT result;
    if (!Deliver(hWnd, Msg, wParam, lParam, &result)) return 0;
    if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(result);
    return 1;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Require();
    WINSIM_FAILPOINT(FALSE);
    if (hWnd == HWND_BROADCAST) {
        // A posted WM_WININICHANGE would carry a pointer the receiver cannot read; keep the
        // number.
        RecordBroadcast(Msg, wParam, lParam, false);
        return TRUE;
    }
    if (!hWnd) { // a message to the thread
        U().posted.push_back(MakeMsg(0, Msg, wParam, lParam));
        return TRUE;
    }
    Window* w = LiveOrFail(hWnd);
    if (!w) return FALSE;
    if (w->ctl == Ctl::Foreign) { // the other program takes it from its own queue
        CallProc(w->handle, Msg, wParam, lParam);
        return TRUE;
    }
    U().posted.push_back(MakeMsg(w->handle, Msg, wParam, lParam));
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    U().quit = true;
    U().quitCode = nExitCode;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    Require();
    Purge();
    if (!lpMsg) return FALSE;
    if (Fetch(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0))
        return TRUE;
    AdvanceClock(10); // nothing there: the program gives up the rest of its time slice
    return FALSE;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    Require();
    Purge();
    WINSIM_FAILPOINT(-1);
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hWnd && !LiveOrFail(hWnd)) return -1;
    for (;;) {
        if (Fetch(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
            return lpMsg->message != WM_QUIT;
        if (WaitForTimer()) continue;
        // Nothing can ever arrive: no message, no invalid window, no timer. Windows would wait
        // for ever; the scripted user ends the program instead, and says so.
        Debug("GetMessageA waits for a message that nothing can send; the program is ended");
        std::fprintf(stderr, "winsim: GetMessageA would wait for ever; the program is ended\n");
        *lpMsg = MakeMsg(0, WM_QUIT, static_cast<WPARAM>(-1), 0);
        return FALSE;
    }
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg || lpMsg->message != WM_KEYDOWN) return FALSE;
    WPARAM vk = lpMsg->wParam;
    char c = 0;
    if (vk == VK_SPACE || (vk >= '0' && vk <= '9'))
        c = static_cast<char>(vk);
    else if (vk >= 'A' && vk <= 'Z')
        c = static_cast<char>(vk - 'A' + 'a');
    else if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB)
        c = static_cast<char>(vk);
    if (!c) return FALSE;
    U().posted.push_front(
        MakeMsg(HandleValue(lpMsg->hwnd), WM_CHAR, static_cast<WPARAM>(c), lpMsg->lParam));
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        ++U().depth;
        proc(lpMsg->hwnd, WM_TIMER, static_cast<UINT_PTR>(lpMsg->wParam), ClockNow());
        --U().depth;
        return 0;
    }
    Window* w = Live(lpMsg->hwnd);
    if (!w) return 0;
    return CallProc(w->handle, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI WaitMessage(void) {
    WINSIM_FAILPOINT(FALSE);
    MSG m;
    if (Fetch(&m, nullptr, 0, 0, false)) return TRUE;
    return WaitForTimer() ? TRUE : FALSE;
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    Require();
    WINSIM_FAILPOINT(0);
    if (hWnd && !LiveOrFail(hWnd)) return 0;
    uint32_t h = HandleValue(hWnd);
    if (!hWnd) nIDEvent = U().nextTimerId++;
    for (Timer& t : U().timers) {
        if (t.window == h && t.id == nIDEvent) {
            t.elapse = uElapse;
            t.due = ClockNow() + uElapse;
            t.proc = lpTimerFunc;
            return nIDEvent;
        }
    }
    U().timers.push_back(Timer{h, nIDEvent, uElapse, ClockNow() + uElapse, lpTimerFunc});
    return hWnd ? 1 : nIDEvent;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    WINSIM_FAILPOINT(FALSE);
    auto& timers = U().timers;
    uint32_t h = HandleValue(hWnd);
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->window == h && it->id == uIDEvent) {
            timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

} // extern "C"
