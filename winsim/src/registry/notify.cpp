// RegNotifyChangeKeyValue: a watch on a key (and, when asked, the keys below it) that signals an
// event at the first change of the kinds asked for, then ends. Setting a watch resets its event;
// closing the key handle signals it and ends the watches set through it. Windows 98 and NT 4.0
// have the call, Windows 95 does not.
#include "store.h"

using namespace winsim;
using namespace winsim::registry;

namespace {

bool Covers(const Watch& w, const Key& k) {
    for (const Key* p = &k; p; p = p->parent) {
        if (p == w.key.get()) return true;
        if (!w.subtree) return false;
    }
    return false;
}

} // namespace

namespace winsim::registry {

void NotifyChange(const Key& k, DWORD kinds) {
    std::vector<Watch>& watches = Reg().watches;
    for (size_t i = 0; i < watches.size();) {
        if (!(watches[i].filter & kinds) || !Covers(watches[i], k)) {
            ++i;
            continue;
        }
        const HANDLE event = watches[i].event;
        watches.erase(watches.begin() + static_cast<std::ptrdiff_t>(i));
        SignalEvent(event); // an event closed meanwhile is gone: nothing to signal
    }
}

void EndWatches(uint32_t handle) {
    std::vector<Watch>& watches = Reg().watches;
    for (size_t i = 0; i < watches.size();) {
        if (watches[i].handle != handle) {
            ++i;
            continue;
        }
        const HANDLE event = watches[i].event;
        watches.erase(watches.begin() + static_cast<std::ptrdiff_t>(i));
        SignalEvent(event);
    }
}

} // namespace winsim::registry

extern "C" {

LONG WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter,
                                    HANDLE hEvent, BOOL fAsynchronous) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    if (Require().os == Os::Win95) return ERROR_CALL_NOT_IMPLEMENTED;
    Key* k;
    DWORD rights;
    LONG err = Resolve(hKey, &k, &rights);
    if (err != ERROR_SUCCESS) return err;
    if (dwNotifyFilter & ~static_cast<DWORD>(REG_LEGAL_CHANGE_FILTER))
        return ERROR_INVALID_PARAMETER;
    if ((err = HandleHolds(rights, KEY_NOTIFY)) != ERROR_SUCCESS) return err;
    if (!fAsynchronous) {
        // Only another program could make the change this call would wait for.
        OutputDebugStringA("winsim: a synchronous RegNotifyChangeKeyValue would wait for another "
                           "program: failed with ERROR_POSSIBLE_DEADLOCK\n");
        return ERROR_POSSIBLE_DEADLOCK;
    }
    if (!hEvent) return ERROR_INVALID_PARAMETER;
    if (!UnsignalEvent(hEvent)) return ERROR_INVALID_HANDLE;
    Watch w;
    w.handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hKey));
    w.key = k->shared_from_this();
    w.subtree = bWatchSubtree != FALSE;
    w.filter = dwNotifyFilter;
    w.event = hEvent;
    Reg().watches.push_back(std::move(w));
    return ERROR_SUCCESS;
}

} // extern "C"
