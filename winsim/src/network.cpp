// Network connections (mpr, winnetwk.h): the machine's redirected local names (machine.ini
// [net-use], for example LPT2:=\\SERVER\KV4720) and their cancellation.
#include "internal.h"

#include <winnetwk.h>

using namespace winsim;

extern "C" {

// A connection is named by its local name or, for one without, by its remote name. Cancelling
// forgets it for good: the [net-use] line stands for the persistent connection as well.
DWORD WINAPI WNetCancelConnection2A(LPCSTR lpName, DWORD dwFlags, BOOL fForce) {
    (void)dwFlags;
    (void)fForce;
    MachineState& m = Require();
    DWORD err;
    if (WINSIM_ARMED(&err)) {
        SetLastError(err);
        return err;
    }
    if (GetSetting("machine", "network", "1") == "0") {
        SetLastError(ERROR_NO_NETWORK);
        return ERROR_NO_NETWORK;
    }
    const std::string name = lpName ? Trim(lpName) : "";
    for (const auto& e : m.ini.Entries("net-use")) {
        if (name.empty() || (!IEquals(Trim(e.first), name) && !IEquals(Trim(e.second), name)))
            continue;
        m.ini.DeleteKey("net-use", e.first);
        WriteFileAtomic(m.dir + "/machine.ini", m.ini.Text());
        SetLastError(NO_ERROR);
        return NO_ERROR;
    }
    SetLastError(ERROR_NOT_CONNECTED);
    return ERROR_NOT_CONNECTED;
}

} // extern "C"
