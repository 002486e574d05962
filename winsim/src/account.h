// The machine's one user account (machine.ini [machine] user), as GetUserNameA, NetUserGetInfo
// and the environment's USERNAME report it.
#ifndef WINSIM_ACCOUNT_H
#define WINSIM_ACCOUNT_H

#include "internal.h"

namespace winsim {

inline std::string MachineUser() {
    return GetSetting("machine", "user", "Administrator");
}

} // namespace winsim

#endif
