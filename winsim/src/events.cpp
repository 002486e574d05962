// Event objects and waits of kernel32 (winbase.h): CreateEventA, SetEvent, ResetEvent and
// WaitForSingleObject. An event is a kernel object handle (CloseHandle closes it) with two bits
// of state: manual or automatic reset, signaled or not.
//
// winsim runs one program at a time on one thread, so nothing but this program's own calls
// signals an event while it waits: a wait ends at once when the object is signaled, else at its
// time-out (which passes on winsim's clock), and a wait without one would never end. That wait
// fails at once with ERROR_POSSIBLE_DEADLOCK, and a "winsim:" debug line says why, so a program
// that would hang on Windows fails visibly here instead of hanging the test.
#include "internal.h"

#include <map>

using namespace winsim;

namespace {

struct Event {
    bool manualReset = false;
    bool signaled = false;
};

std::map<uintptr_t, Event>& Events() {
    static std::map<uintptr_t, Event> events;
    return events;
}

Event* Find(HANDLE h) {
    if (!IsObjectHandle(h, ObjectKind::Event)) return nullptr;
    auto it = Events().find(reinterpret_cast<uintptr_t>(h));
    return it == Events().end() ? nullptr : &it->second;
}

// SetEvent's and ResetEvent's answer: TRUE, or FALSE with ERROR_INVALID_HANDLE for no event.
BOOL Answer(bool wasEvent) {
    if (!wasEvent) SetLastError(ERROR_INVALID_HANDLE);
    return wasEvent ? TRUE : FALSE;
}

} // namespace

namespace winsim {

bool SignalEvent(HANDLE h) {
    Event* e = Find(h);
    if (e) e->signaled = true;
    return e != nullptr;
}

bool UnsignalEvent(HANDLE h) {
    Event* e = Find(h);
    if (e) e->signaled = false;
    return e != nullptr;
}

void ForgetEvent(HANDLE h) {
    Events().erase(reinterpret_cast<uintptr_t>(h));
}

} // namespace winsim

extern "C" {

// A named event would be shared with other programs; winsim runs none beside this one, so a
// name makes a new event each time, as the first creator of that name gets on Windows.
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName) {
    (void)lpEventAttributes;
    (void)lpName;
    WINSIM_FAILPOINT(nullptr);
    HANDLE h = NewObjectHandle(ObjectKind::Event);
    Events()[reinterpret_cast<uintptr_t>(h)] = Event{bManualReset != FALSE, bInitialState != FALSE};
    SetLastError(ERROR_SUCCESS);
    return h;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    WINSIM_FAILPOINT(FALSE);
    return Answer(SignalEvent(hEvent));
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    WINSIM_FAILPOINT(FALSE);
    return Answer(UnsignalEvent(hEvent));
}

// Events and the process handles of OpenProcess can be waited on; the program's own process
// never ends while it waits.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    WINSIM_FAILPOINT(WAIT_FAILED);
    Event* e = Find(hHandle);
    if (!e && !IsObjectHandle(hHandle, ObjectKind::Process)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (e && e->signaled) {
        if (!e->manualReset) e->signaled = false; // an automatic event lets one waiter through
        return WAIT_OBJECT_0;
    }
    if (dwMilliseconds == INFINITE) {
        OutputDebugStringA("winsim: WaitForSingleObject without a time-out on an object that no "
                           "other program can signal: failed with ERROR_POSSIBLE_DEADLOCK\n");
        SetLastError(ERROR_POSSIBLE_DEADLOCK);
        return WAIT_FAILED;
    }
    Sleep(dwMilliseconds); // the time-out passes on the clock
    return WAIT_TIMEOUT;
}

} // extern "C"
