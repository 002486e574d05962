// Call scripts: what a setup script does with the library, one call a line.
#ifndef WINSIM_TOOL_CALLSCRIPT_H
#define WINSIM_TOOL_CALLSCRIPT_H

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace winsim {

// Finds an export of the loaded library by its plain name; null when it has none. The exports
// are standard calls, as a setup script makes them.
using ExportResolver = std::function<void*(const std::string& name)>;

struct CallScriptOptions {
    // The library's debug output since the last call, printed after each call when set.
    std::function<std::vector<std::string>()> takeTrace;
};

// Runs the script text; writes each call and its outputs to `out`, problems to `err`.
// Returns 0 when every line ran and every expect held, 1 when an expect failed, 2 when a line
// was malformed or named an unknown export (the whole script is checked first: nothing runs).
int RunCallScript(const std::string& text, const ExportResolver& resolve,
                  const CallScriptOptions& options, std::ostream& out, std::ostream& err);

} // namespace winsim

#endif
