// libFuzzer target: the call-script reader on any text. It reads and checks only, makes no
// call, so whatever it is given must end in a script or an error naming a line, never a crash.
#include "callscript_parse.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const winsim::ParsedScript script =
        winsim::ParseCallScript(std::string(reinterpret_cast<const char*>(data), size));
    // A refused script keeps no lines; a sound one keeps every call with its export's count.
    if (script.errorLine != 0 && !script.lines.empty()) __builtin_trap();
    for (const winsim::ScriptLine& line : script.lines) {
        // Only calls name an export; window lines and expectations of a variable or a row do not.
        if (line.kind != winsim::ScriptLine::Call && line.kind != winsim::ScriptLine::ExpectCall)
            continue;
        if (winsim::ExportSignatures().at(line.call.name).size() != line.call.args.size())
            __builtin_trap();
    }
    return 0;
}
