// REGEDIT4 text: the form of the hive files and of the .reg files that regedit exports and
// imports.
#ifndef WINSIM_REGISTRY_REGEDIT4_H
#define WINSIM_REGISTRY_REGEDIT4_H

#include "store.h"

#include <string>

namespace winsim::registry {

// The first line and the blank line after it.
inline constexpr char kRegedit4Header[] = "REGEDIT4\r\n\r\n";

// Appends a value's line (with its continuation lines) as regedit writes it; a text holding a
// line break is written as hex, so that every value stays within its lines.
void AppendValue(std::string* out, const Value& v);
// `"name"` (escaped), or `@` for the default value.
void AppendValueName(std::string* out, const std::string& name);

// A key's class line, `;class="text"` (`;class=hex:..` when it holds a line break), or nothing
// for a key without one.
void AppendClassLine(std::string* out, const std::string& cls);

// Appends a key and everything below it as regedit writes them: CRLF line ends, a blank line
// after each key, hex wrapped at regedit's width. `path` is the name the key is written under;
// `forHive` leaves volatile keys out and writes key classes.
void AppendTree(std::string* out, const Key& k, const std::string& path, bool forHive);

// Checks the whole text, then applies it: keys and values created, set or deleted, ";security="
// lines under a key line (";security=" alone takes the key's own away) and ";class=" lines. Nothing
// is applied when a line is malformed or a key passes Windows' limits; *error (when given) then
// says "line N: why". False also when a change could not be made durable.
bool ApplyRegText(const std::string& text, std::string* error);

} // namespace winsim::registry

#endif
