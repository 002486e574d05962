// The registry's files in the machine folder: system.reg and user.reg (REGEDIT4 text), and key
// security in machine.ini. Read when the machine opens, written on RegFlushKey and on close.
#ifndef WINSIM_REGISTRY_HIVES_H
#define WINSIM_REGISTRY_HIVES_H

#include "store.h"

namespace winsim::registry {

// Writes the hive's file, and machine.ini when key security changed; false when a write failed.
bool FlushHive(Hive hive);

} // namespace winsim::registry

#endif
