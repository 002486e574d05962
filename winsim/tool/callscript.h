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
    // The dialogs the scripted user answered since the last call, a line each.
    std::function<std::vector<std::string>()> takeDialogs;
    // Makes the setup engine's component dialog holding the drive list box `listId`; 0 when
    // it cannot be made (no such window where the script runs).
    std::function<uintptr_t(int listId)> makeEngineWindow;
    // The rows of list box `listId` in `window`.
    std::function<std::vector<std::string>(uintptr_t window, int listId)> listRows;
};

// Runs the script text; writes each call and its outputs to `out`, problems to `err`.
// Returns 0 when every line ran and every expect held, 1 when an expect failed, 2 when a line
// was malformed or named an unknown export (the whole script is checked first: nothing runs).
int RunCallScript(const std::string& text, const ExportResolver& resolve,
                  const CallScriptOptions& options, std::ostream& out, std::ostream& err);

} // namespace winsim

#endif
