// The call-script interpreter of `winsim run`: runs a script that ParseCallScript has checked.
#include "callscript.h"

#include "callscript_parse.h"

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <ostream>
#include <vector>

namespace winsim {

namespace {

// Every block the interpreter hands the library ends in this many zero bytes it does not show:
// a text read as a list, or four bytes read from a short text, stay inside the block.
constexpr size_t kGuardBytes = 4;

// The exports' calling convention: the callee takes its arguments off the stack on 32-bit
// Windows; elsewhere there is one convention.
#if defined(_WIN32) && !defined(_WIN64)
#define PW_STDCALL __stdcall
#else
#define PW_STDCALL
#endif

std::vector<char> Block(size_t visible) {
    return std::vector<char>(visible + kGuardBytes, '\0');
}

struct Variable {
    bool isBuffer = false;
    size_t size = 0;
    std::vector<char> block;
    std::string Text() const { return std::string(block.data(), strnlen(block.data(), size)); }
    int32_t Number() const {
        int32_t n;
        std::memcpy(&n, block.data(), sizeof n);
        return n;
    }
};

// A text as a call script writes it: a " inside it doubled.
std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string(2, '"') : std::string(1, c);
    return out + "\"";
}

// The setup engine's component dialog shows the drive list in this list box.
constexpr int kDriveListId = 20062;

// A list box row as a script writes it: each tab as \t.
std::string RowText(const std::string& row) {
    std::string out;
    for (char ch : row)
        out += ch == '\t' ? std::string("\\t") : std::string(1, ch);
    return out;
}

class Interpreter {
  public:
    Interpreter(const CallScriptOptions& options, std::ostream& out)
        : m_options(options), m_out(out) {}

    // Makes the call and prints it with its outputs; returns its result.
    int32_t Invoke(const ScriptCall& call, void* fn) {
        std::vector<std::vector<char>> temps;
        std::vector<intptr_t> v;
        // The outputs are made first: each name occurs once in a call, so no argument can point
        // into a variable that a later one makes afresh.
        for (const ScriptArg& a : call.args) {
            if (a.kind == ScriptArg::OutBuffer || a.kind == ScriptArg::OutNumber) {
                Variable& var = m_vars[a.name];
                var.isBuffer = a.kind == ScriptArg::OutBuffer;
                var.size = var.isBuffer ? static_cast<size_t>(a.number) : sizeof(int32_t);
                var.block = Block(var.size);
            }
        }
        for (const ScriptArg& a : call.args) {
            switch (a.kind) {
            case ScriptArg::Number:
                v.push_back(static_cast<intptr_t>(a.number)); // sign-extended, as a 32-bit value is
                break;
            case ScriptArg::Null:
                v.push_back(0);
                break;
            case ScriptArg::Text:
            case ScriptArg::List:
                temps.push_back(Block(a.bytes.size()));
                std::memcpy(temps.back().data(), a.bytes.data(), a.bytes.size());
                v.push_back(reinterpret_cast<intptr_t>(temps.back().data()));
                break;
            case ScriptArg::NumberRef:
                temps.push_back(Block(sizeof a.number));
                std::memcpy(temps.back().data(), &a.number, sizeof a.number);
                v.push_back(reinterpret_cast<intptr_t>(temps.back().data()));
                break;
            case ScriptArg::OutNumber:
            case ScriptArg::OutBuffer:
                v.push_back(reinterpret_cast<intptr_t>(m_vars[a.name].block.data()));
                break;
            case ScriptArg::Variable: {
                const Variable& var = m_vars[a.name];
                v.push_back(var.isBuffer ? reinterpret_cast<intptr_t>(var.block.data())
                                         : static_cast<intptr_t>(var.Number()));
                break;
            }
            }
        }
        int32_t result = 0;
        switch (v.size()) {
        case 0:
            result = reinterpret_cast<int32_t(PW_STDCALL*)()>(fn)();
            break;
        case 1:
            result = reinterpret_cast<int32_t(PW_STDCALL*)(intptr_t)>(fn)(v[0]);
            break;
        case 2:
            result = reinterpret_cast<int32_t(PW_STDCALL*)(intptr_t, intptr_t)>(fn)(v[0], v[1]);
            break;
        case 3:
            result =
                reinterpret_cast<int32_t(PW_STDCALL*)(intptr_t, intptr_t, intptr_t)>(fn)(v[0], v[1], v[2]);
            break;
        case 4:
            result = reinterpret_cast<int32_t(PW_STDCALL*)(intptr_t, intptr_t, intptr_t, intptr_t)>(fn)(
                v[0], v[1], v[2], v[3]);
            break;
        default:
            result =
                reinterpret_cast<int32_t(PW_STDCALL*)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)>(fn)(
                    v[0], v[1], v[2], v[3], v[4]);
            break;
        }
        std::string joined;
        for (const ScriptArg& a : call.args)
            joined += (joined.empty() ? "" : ", ") + a.written;
        m_out << call.name << "(" << joined << ") = " << result << "\n";
        for (const ScriptArg& a : call.args) {
            if (a.kind != ScriptArg::OutBuffer && a.kind != ScriptArg::OutNumber) continue;
            const Variable& var = m_vars[a.name];
            if (var.isBuffer)
                m_out << "  " << a.name << " = " << Quote(var.Text()) << "\n";
            else
                m_out << "  " << a.name << " = " << var.Number() << "\n";
        }
        if (m_options.takeDialogs)
            for (const std::string& line : m_options.takeDialogs()) m_out << "  " << line << "\n";
        for (const ScriptArg& a : call.args) {
            if (a.kind != ScriptArg::Variable || !m_windows.count(a.name)) continue;
            const std::vector<std::string> rows = Rows(a.name);
            for (size_t i = 0; i < rows.size(); ++i)
                m_out << "  " << a.name << "[" << i << "] = " << Quote(RowText(rows[i])) << "\n";
        }
        if (m_options.takeTrace)
            for (const std::string& line : m_options.takeTrace()) {
                m_out << "  trace: " << line << "\n";
                ++m_traced;
            }
        return result;
    }

    const Variable& Var(const std::string& name) { return m_vars[name]; }
    size_t Traced() const { return m_traced; }

    // Makes the engine's component dialog and names it; false when it cannot be made.
    bool MakeWindow(const std::string& name) {
        const uintptr_t window =
            m_options.makeEngineWindow ? m_options.makeEngineWindow(kDriveListId) : 0;
        if (!window) return false;
        Variable& var = m_vars[name];
        var.isBuffer = false;
        var.size = sizeof(int32_t);
        var.block = Block(var.size);
        const auto handle = static_cast<int32_t>(window); // window handles fit 32 bits
        std::memcpy(var.block.data(), &handle, sizeof handle);
        m_windows.insert(name);
        m_out << "window " << name << ": component dialog, list box " << kDriveListId << "\n";
        return true;
    }

    std::vector<std::string> Rows(const std::string& window) {
        if (!m_options.listRows) return {};
        return m_options.listRows(
            static_cast<uintptr_t>(static_cast<uint32_t>(m_vars[window].Number())), kDriveListId);
    }

  private:
    const CallScriptOptions& m_options;
    std::ostream& m_out;
    std::map<std::string, Variable> m_vars;
    std::set<std::string> m_windows;
    size_t m_traced = 0; // trace lines printed
};

} // namespace

int RunCallScript(const std::string& text, const ExportResolver& resolve,
                  const CallScriptOptions& options, std::ostream& out, std::ostream& err) {
    const ParsedScript script = ParseCallScript(text);
    if (script.errorLine) {
        err << "line " << script.errorLine << ": " << script.error << "\n";
        return 2;
    }
    // Every export is looked up before the first call, so that a missing one stops nothing half
    // way.
    std::vector<void*> functions;
    for (const ScriptLine& line : script.lines) {
        void* fn = nullptr;
        if (line.kind == ScriptLine::Call || line.kind == ScriptLine::ExpectCall) {
            fn = resolve(line.call.name);
            if (!fn) {
                err << "line " << line.lineNo << ": unknown export " << line.call.name
                    << " (the library does not export it)\n";
                return 2;
            }
        }
        functions.push_back(fn);
    }
    Interpreter interp(options, out);
    int failures = 0;
    for (size_t i = 0; i < script.lines.size(); ++i) {
        const ScriptLine& line = script.lines[i];
        if (line.kind == ScriptLine::Call) {
            interp.Invoke(line.call, functions[i]);
            continue;
        }
        if (line.kind == ScriptLine::Window) {
            if (interp.MakeWindow(line.subject)) continue;
            err << "line " << line.lineNo << ": the window " << line.subject
                << " cannot be made\n";
            return 2;
        }
        bool holds;
        std::string found;
        if (line.kind == ScriptLine::ExpectRow) {
            const std::vector<std::string> rows = interp.Rows(line.subject);
            const size_t row = static_cast<size_t>(line.row);
            // A tab of the expected text counts as the \t a row is shown with.
            const std::string have = row < rows.size() ? RowText(rows[row]) : std::string();
            holds = (have == RowText(line.wantString)) == line.equal;
            found = row < rows.size() ? Quote(have) : "no row";
        } else if (line.kind == ScriptLine::ExpectCall) {
            const int32_t number = interp.Invoke(line.call, functions[i]);
            holds = (number == line.wantNumber) == line.equal;
            found = std::to_string(number);
        } else {
            const Variable& var = interp.Var(line.subject);
            holds = (var.isBuffer ? var.Text() == line.wantString
                                  : var.Number() == line.wantNumber) == line.equal;
            found = var.isBuffer ? Quote(var.Text()) : std::to_string(var.Number());
        }
        if (!holds) {
            ++failures;
            out << "line " << line.lineNo << ": expect failed: "
                << (line.kind == ScriptLine::ExpectCall
                        ? "result"
                        : line.kind == ScriptLine::ExpectRow
                              ? line.subject + "[" + std::to_string(line.row) + "]"
                              : line.subject)
                << " is "
                << found << ", expected " << (line.equal ? "== " : "!= ")
                << (line.wantText ? Quote(line.wantString) : std::to_string(line.wantNumber))
                << "\n";
        }
    }
    // A library built without its trace (the release build) sends nothing: say so rather than
    // print nothing.
    if (options.takeTrace && interp.Traced() == 0)
        err << "winsim: --trace: the library sent no trace; it was built without it (the release "
               "build of ./run winsim is; build/test/bin/winsim traces)\n";
    if (failures)
        err << failures << (failures == 1 ? " expectation" : " expectations") << " failed\n";
    return failures ? 1 : 0;
}

} // namespace winsim
