// REGEDIT4 text: the form of the hive files and of the .reg files that regedit exports and
// imports.
#ifndef WINSIM_REGISTRY_REGEDIT4_H
#define WINSIM_REGISTRY_REGEDIT4_H

#include "store.h"

#include <string>

namespace winsim::registry {

// The first line and the blank line after it.
inline constexpr char kRegedit4Header[] = "REGEDIT4\r\n\r\n";

// Appends a key and everything below it as regedit writes them: CRLF line ends, a blank line
// after each key, hex wrapped at regedit's width. `path` is the name the key is written under;
// `forHive` leaves volatile keys out.
void AppendTree(std::string* out, const Key& k, const std::string& path, bool forHive);

// Checks the whole text, then applies it: keys and values created, set or deleted, ";security="
// lines under a key line. Nothing is applied when a line is malformed; *error (when given) then
// says "line N: why".
bool ApplyRegText(const std::string& text, std::string* error);

} // namespace winsim::registry

#endif
