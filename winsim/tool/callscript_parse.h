// Call scripts read and checked whole, against the exports' signatures, before any call runs.
#ifndef WINSIM_TOOL_CALLSCRIPT_PARSE_H
#define WINSIM_TOOL_CALLSCRIPT_PARSE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace winsim {

// What an export's parameter takes, from its declaration in the library's headers.
enum class ParamKind { Number, Pointer };

struct ParamSpec {
    ParamKind kind;
    const char* name;
    int32_t minBytes; // a pointer's memory holds at least this much (a "char x[N]" parameter)
    int sizeArg;      // index of the number that says how many bytes the pointer holds, or -1
};

// Every export of PWSETUP with its parameters, generated at build time.
const std::map<std::string, std::vector<ParamSpec>>& ExportSignatures();

// One argument as written.
struct ScriptArg {
    enum Kind {
        Number,    // 5, -1, 0x80000002
        Null,      // null
        Text,      // "text": a text of its own for this call
        List,      // multi("a", "b"): a double-NUL list
        NumberRef, // &5: a pointer to the integer 5
        OutNumber, // &name: an output 32-bit integer
        OutBuffer, // name[N]: an output buffer of N bytes
        Variable,  // name: an earlier output, a buffer's address or an integer's value
    };
    Kind kind = Number;
    std::string written; // as the script writes it
    int32_t number = 0;  // Number, NumberRef; the size of an OutBuffer
    std::string bytes;   // Text and List, with their terminators
    std::string name;    // OutNumber, OutBuffer, Variable
};

struct ScriptCall {
    std::string name;
    std::vector<ScriptArg> args;
};

struct ScriptLine {
    // Window: `window NAME` makes the setup engine's component dialog (list box 20062), whose
    // handle NAME passes as a number. ExpectRow: `expect NAME[N] == "text"`, a row of its list.
    enum Kind { Call, ExpectCall, ExpectVariable, Window, ExpectRow };
    Kind kind = Call;
    int lineNo = 0;
    ScriptCall call;     // Call, ExpectCall
    std::string subject; // ExpectVariable, Window, ExpectRow
    int32_t row = 0;     // ExpectRow
    bool equal = true;   // == or !=
    bool wantText = false;
    std::string wantString;
    int32_t wantNumber = 0;
};

struct ParsedScript {
    std::vector<ScriptLine> lines;
    int errorLine = 0; // 0 when the script is sound
    std::string error;
};

// Reads and checks the whole script: syntax, known exports, argument counts and kinds, buffers
// as large as their size arguments, names known before use and used once per call.
ParsedScript ParseCallScript(const std::string& text);

} // namespace winsim

#endif
