// Failure injection: the one way an API function of winsim lets a test make it fail.
//
// An API function that can fail starts with WINSIM_FAILPOINT (or asks WINSIM_ARMED itself when
// its failure takes more than one step). The name of the failure is the function's own name
// (__func__), never a typed string, and each failure point leaves that name in the linker
// section "winsim_failpoints", so that FailCall can refuse a name that no call fails under.
#ifndef WINSIM_FAILPOINTS_H
#define WINSIM_FAILPOINTS_H

#include <windows.h>

namespace winsim {

// True when FailCall() armed a failure for this function; *error receives its code.
bool ShouldFail(const char* function, DWORD* error);

} // namespace winsim

// The name of the enclosing API function, recorded as one that can fail. Use it where an API
// function hands its name to a helper that does the failing for several functions.
#define WINSIM_API_NAME()                                                                       \
    ({                                                                                          \
        __attribute__((section("winsim_failpoints"), used)) static const char* const           \
            winsim_failpoint_name = __func__;                                                   \
        winsim_failpoint_name;                                                                  \
    })

// True when a failure is armed for the enclosing API function; *error receives its code.
#define WINSIM_ARMED(error) (::winsim::ShouldFail(WINSIM_API_NAME(), (error)))

// A call that reports failure through the last error: sets it and returns `result`.
#define WINSIM_FAILPOINT(result)                                                                \
    do {                                                                                        \
        DWORD winsim_failpoint_error;                                                           \
        if (WINSIM_ARMED(&winsim_failpoint_error)) {                                            \
            SetLastError(winsim_failpoint_error);                                               \
            return (result);                                                                    \
        }                                                                                       \
    } while (0)

// A call that returns its error code (the registry, the network API) and leaves the last error.
#define WINSIM_FAILPOINT_RETURNS_ERROR()                                                        \
    do {                                                                                        \
        DWORD winsim_failpoint_error;                                                           \
        if (WINSIM_ARMED(&winsim_failpoint_error)) return winsim_failpoint_error;               \
    } while (0)

#endif
