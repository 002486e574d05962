// The clock of kernel32 (winbase.h): GetTickCount and Sleep. It is virtual, so that a program's
// waits take no time: it moves 1 ms per reading, by what Sleep asks, and as the message loop
// (user/queue.cpp) lets time pass.
#include "ui.h"

using namespace winsim;

namespace {

// Some minutes after the start of Windows, as a program started by the user would see it.
constexpr uint32_t kClockAtStart = 180000;

uint32_t g_clock = kClockAtStart;

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { g_clock = kClockAtStart; }}), true);

} // namespace

namespace winsim {

uint32_t ClockNow() {
    return g_clock;
}

uint32_t TickCount() {
    return g_clock;
}

void AdvanceClock(uint32_t ms) {
    g_clock += ms;
}

} // namespace winsim

extern "C" {

DWORD WINAPI GetTickCount(void) {
    // Reading the clock takes a moment, so a loop that only watches it still ends.
    return g_clock++;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    g_clock += dwMilliseconds;
}

} // extern "C"
