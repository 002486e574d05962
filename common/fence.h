// The exception fence: no exception crosses an export or a window procedure, since the caller on
// the other side (a setup engine, the window system) is not C++ and cannot take one.
#ifndef PW_COMMON_FENCE_H
#define PW_COMMON_FENCE_H

// Runs body and returns its result; an exception that escapes it becomes `failure`, after
// `caught()` has had its say (a trace line, say).
template <typename Result, typename Body, typename Caught>
Result zrFenced(Result failure, Body body, Caught caught) noexcept {
    try {
        return body();
    } catch (...) {
        caught();
        return failure;
    }
}

template <typename Result, typename Body> Result zrFenced(Result failure, Body body) noexcept {
    return zrFenced(failure, body, [] {});
}

#endif
