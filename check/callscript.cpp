// A call script, read by winsim's own call-script reader: what `winsim run` would refuse.
#include "checks.h"

#include "callscript_parse.h"

namespace pwcheck {

void CheckCallScript(const Source& source, Findings& findings) {
    const winsim::ParsedScript parsed = winsim::ParseCallScript(source.text);
    if (parsed.errorLine)
        findings.Error(source.name, parsed.errorLine, parsed.error + " (nothing of the script runs)");
}

} // namespace pwcheck
