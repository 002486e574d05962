// The hives' logs: system.reg.log and user.reg.log beside their hives. Every change of a hive's
// keys (key security too) is appended to its log before the call that makes it returns, so it
// outlives a killed process; the next open replays the log, and a save folds it into the hive.
#ifndef WINSIM_REGISTRY_HIVELOG_H
#define WINSIM_REGISTRY_HIVELOG_H

#include "store.h"

#include <string>

namespace winsim::registry {

// Whether a change of `k` goes to a log: keys of a hive, not volatile, not while a hive loads.
bool IsLogged(const Key& k);
// Appends one record, "[path]" (or "[-path]" when `deleteKey`) and `lines`, in one write; false
// (the log as it was, a machine error noted) when it could not.
bool LogChange(const Key& k, const std::string& lines, bool deleteKey = false);

// The log's file, and its generation: the hive that folds it carries the same number, so a log
// left behind by a save killed after the hive was written is known as folded.
std::string LogPath(Hive hive);
// Changes made from here on are not logged (a hive loading), or are again.
void SetLogging(bool on);
// Reads the log of a hive whose file carries `hiveGeneration`: its text (the records whole,
// a torn last record left out), or "" when there is none or it was folded already.
// False when it exists but cannot be read.
bool ReadLog(Hive hive, uint64_t hiveGeneration, std::string* text);
// Removes a log that ReadLog found folded already, or holding no record.
void RemoveFoldedLog(Hive hive);
// The generation the hive's next fold writes.
uint64_t FoldGeneration(Hive hive);
// After the hive was written with FoldGeneration: the log goes, the next one starts anew.
// False when the log could not be removed.
bool LogFolded(Hive hive);
// Closes the logs (the machine closes).
void CloseLogs();

} // namespace winsim::registry

#endif
