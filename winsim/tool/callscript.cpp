// The call-script interpreter of `winsim run`.
#include "callscript.h"

#include "../machine.h"

#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

namespace winsim {

namespace {

// The setup engine calls every export with 32-bit arguments; the script must give each its count.
// The counts are those of PWSETUP.def, read at build time.
const std::map<std::string, int>& ExportArgCounts() {
    static const std::map<std::string, int> counts = {
#include "pwsetup_arg_counts.inc"
    };
    return counts;
}

struct Variable {
    bool isBuffer = false;
    std::vector<char> buffer;
    int32_t number = 0;
    std::string Text() const {
        return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
    }
};

struct ParseError {
    std::string message;
};

// A cursor over one line.
class Cursor {
  public:
    explicit Cursor(const std::string& s) : m_s(s) {}
    void SkipBlanks() {
        while (m_pos < m_s.size() && (m_s[m_pos] == ' ' || m_s[m_pos] == '\t'))
            ++m_pos;
    }
    bool AtEnd() {
        SkipBlanks();
        return m_pos >= m_s.size();
    }
    char Peek() {
        SkipBlanks();
        return m_pos < m_s.size() ? m_s[m_pos] : '\0';
    }
    bool Accept(const std::string& token) {
        SkipBlanks();
        if (m_s.compare(m_pos, token.size(), token) != 0) return false;
        m_pos += token.size();
        return true;
    }
    void Expect(const std::string& token) {
        if (!Accept(token)) throw ParseError{"expected '" + token + "' at column " + Column()};
    }
    std::string Identifier() {
        SkipBlanks();
        size_t start = m_pos;
        while (m_pos < m_s.size() &&
               (std::isalnum(static_cast<unsigned char>(m_s[m_pos])) || m_s[m_pos] == '_'))
            ++m_pos;
        if (start == m_pos || std::isdigit(static_cast<unsigned char>(m_s[start])))
            throw ParseError{"expected a name at column " + std::to_string(start + 1)};
        return m_s.substr(start, m_pos - start);
    }
    bool AtIdentifier() {
        char c = Peek();
        return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
    }
    bool AtNumber() {
        char c = Peek();
        return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+';
    }
    std::string String() {
        Expect("\"");
        size_t end = m_s.find('"', m_pos);
        if (end == std::string::npos) throw ParseError{"unterminated string"};
        std::string text = m_s.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        return text;
    }
    int32_t Number() {
        SkipBlanks();
        size_t start = m_pos;
        bool negative = false;
        if (m_pos < m_s.size() && (m_s[m_pos] == '-' || m_s[m_pos] == '+'))
            negative = m_s[m_pos++] == '-';
        uint64_t value = 0;
        size_t digits = m_pos;
        if (m_s.compare(m_pos, 2, "0x") == 0 || m_s.compare(m_pos, 2, "0X") == 0) {
            m_pos += 2;
            digits = m_pos;
            while (m_pos < m_s.size() && std::isxdigit(static_cast<unsigned char>(m_s[m_pos]))) {
                char c = static_cast<char>(std::tolower(static_cast<unsigned char>(m_s[m_pos++])));
                value = (value << 4) | static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
                if (value > 0xFFFFFFFFull)
                    throw ParseError{"number out of range at column " + std::to_string(start + 1)};
            }
        } else {
            while (m_pos < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_pos]))) {
                value = value * 10 + static_cast<uint64_t>(m_s[m_pos++] - '0');
                if (value > 0xFFFFFFFFull)
                    throw ParseError{"number out of range at column " + std::to_string(start + 1)};
            }
        }
        if (digits == m_pos)
            throw ParseError{"expected a number at column " + std::to_string(start + 1)};
        uint32_t bits = static_cast<uint32_t>(value);
        if (negative) bits = 0u - bits;
        return static_cast<int32_t>(bits);
    }
    std::string Rest() {
        SkipBlanks();
        return m_s.substr(m_pos);
    }
    size_t Pos() const { return m_pos; }
    std::string Slice(size_t from, size_t to) const { return m_s.substr(from, to - from); }
    std::string Column() const { return std::to_string(m_pos + 1); }

  private:
    const std::string& m_s;
    size_t m_pos = 0;
};

// One argument, ready to be passed.
struct Argument {
    std::string text;   // as written
    intptr_t value = 0; // what the export receives
    std::string output; // name of an output variable, or ""
};

class Interpreter {
  public:
    Interpreter(const ExportResolver& resolve, const CallScriptOptions& options, std::ostream& out)
        : m_resolve(resolve), m_options(options), m_out(out) {}

    // Parses and runs one call; returns its result.
    int32_t Call(Cursor& c) {
        std::string name = c.Identifier();
        auto count = ExportArgCounts().find(name);
        if (count == ExportArgCounts().end()) throw ParseError{"unknown export " + name};
        void* fn = m_resolve(name);
        if (!fn) throw ParseError{"unknown export " + name + " (the library does not export it)"};
        c.Expect("(");
        std::vector<Argument> args;
        m_temps.clear();
        if (!c.Accept(")")) {
            do {
                size_t start = c.Pos();
                Argument a = ParseArgument(c);
                c.SkipBlanks();
                a.text = c.Slice(start, c.Pos());
                while (!a.text.empty() && a.text.back() == ' ')
                    a.text.pop_back();
                while (!a.text.empty() && a.text.front() == ' ')
                    a.text.erase(0, 1);
                args.push_back(a);
            } while (c.Accept(","));
            c.Expect(")");
        }
        if (static_cast<int>(args.size()) != count->second)
            throw ParseError{name + " takes " + std::to_string(count->second) + " arguments, not " +
                             std::to_string(args.size())};
        m_pendingCall = name;
        m_pendingArgs = args;
        m_pendingFn = fn;
        return 0;
    }

    // Makes the parsed call and prints it with its outputs.
    int32_t Invoke() {
        std::vector<intptr_t> v;
        for (const Argument& a : m_pendingArgs)
            v.push_back(a.value);
        int32_t result = 0;
        void* fn = m_pendingFn;
        switch (v.size()) {
        case 0:
            result = reinterpret_cast<int32_t (*)()>(fn)();
            break;
        case 1:
            result = reinterpret_cast<int32_t (*)(intptr_t)>(fn)(v[0]);
            break;
        case 2:
            result = reinterpret_cast<int32_t (*)(intptr_t, intptr_t)>(fn)(v[0], v[1]);
            break;
        case 3:
            result =
                reinterpret_cast<int32_t (*)(intptr_t, intptr_t, intptr_t)>(fn)(v[0], v[1], v[2]);
            break;
        case 4:
            result = reinterpret_cast<int32_t (*)(intptr_t, intptr_t, intptr_t, intptr_t)>(fn)(
                v[0], v[1], v[2], v[3]);
            break;
        default:
            result =
                reinterpret_cast<int32_t (*)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)>(fn)(
                    v[0], v[1], v[2], v[3], v[4]);
            break;
        }
        std::string joined;
        for (const Argument& a : m_pendingArgs)
            joined += (joined.empty() ? "" : ", ") + a.text;
        m_out << m_pendingCall << "(" << joined << ") = " << result << "\n";
        for (const Argument& a : m_pendingArgs) {
            if (a.output.empty()) continue;
            const Variable& var = m_vars[a.output];
            if (var.isBuffer)
                m_out << "  " << a.output << " = \"" << var.Text() << "\"\n";
            else
                m_out << "  " << a.output << " = " << var.number << "\n";
        }
        if (m_options.trace) {
            for (const std::string& line : DebugOutput())
                m_out << "  trace: " << line << "\n";
            ClearDebugOutput();
        }
        return result;
    }

    bool HasVariable(const std::string& name) const { return m_vars.count(name) != 0; }
    const Variable& Var(const std::string& name) { return m_vars[name]; }

  private:
    Argument ParseArgument(Cursor& c) {
        Argument a;
        char p = c.Peek();
        if (p == '"') {
            m_temps.push_back(std::make_unique<std::vector<char>>());
            std::string s = c.String();
            m_temps.back()->assign(s.begin(), s.end());
            m_temps.back()->push_back('\0');
            a.value = reinterpret_cast<intptr_t>(m_temps.back()->data());
        } else if (p == '&') {
            c.Expect("&");
            if (c.AtNumber()) {
                m_temps.push_back(std::make_unique<std::vector<char>>(sizeof(int32_t)));
                int32_t n = c.Number();
                std::memcpy(m_temps.back()->data(), &n, sizeof n);
                a.value = reinterpret_cast<intptr_t>(m_temps.back()->data());
            } else {
                a.output = c.Identifier();
                Variable& var = m_vars[a.output];
                var = Variable();
                a.value = reinterpret_cast<intptr_t>(&var.number);
            }
        } else if (c.AtNumber()) {
            a.value = static_cast<intptr_t>(c.Number()); // sign-extended, as a 32-bit value is
        } else {
            std::string id = c.Identifier();
            if (id == "null") {
                a.value = 0;
            } else if (id == "multi") {
                c.Expect("(");
                auto list = std::make_unique<std::vector<char>>();
                if (!c.Accept(")")) {
                    do {
                        std::string s = c.String();
                        list->insert(list->end(), s.begin(), s.end());
                        list->push_back('\0');
                    } while (c.Accept(","));
                    c.Expect(")");
                }
                list->push_back('\0');
                if (list->size() == 1) list->push_back('\0'); // an empty list is one empty text
                a.value = reinterpret_cast<intptr_t>(list->data());
                m_temps.push_back(std::move(list));
            } else if (c.Accept("[")) {
                int32_t size = c.Number();
                c.Expect("]");
                if (size <= 0 || size > (1 << 20)) throw ParseError{"buffer size out of range"};
                a.output = id;
                Variable& var = m_vars[id];
                var = Variable();
                var.isBuffer = true;
                var.buffer.assign(static_cast<size_t>(size), '\0');
                a.value = reinterpret_cast<intptr_t>(var.buffer.data());
            } else {
                auto it = m_vars.find(id);
                if (it == m_vars.end()) throw ParseError{"unknown name " + id};
                a.value = it->second.isBuffer ? reinterpret_cast<intptr_t>(it->second.buffer.data())
                                              : static_cast<intptr_t>(it->second.number);
            }
        }
        return a;
    }

    const ExportResolver& m_resolve;
    const CallScriptOptions& m_options;
    std::ostream& m_out;
    std::map<std::string, Variable> m_vars;
    std::vector<std::unique_ptr<std::vector<char>>> m_temps;
    std::string m_pendingCall;
    std::vector<Argument> m_pendingArgs;
    void* m_pendingFn = nullptr;
};

std::string Quote(const std::string& s) {
    return "\"" + s + "\"";
}

} // namespace

int RunCallScript(const std::string& text, const ExportResolver& resolve,
                  const CallScriptOptions& options, std::ostream& out, std::ostream& err) {
    Interpreter interp(resolve, options, out);
    std::istringstream lines(text);
    std::string line;
    int lineNo = 0;
    int failures = 0;
    while (std::getline(lines, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Cursor c(line);
        if (c.AtEnd() || c.Peek() == '#') continue;
        try {
            bool expect = false;
            {
                Cursor probe(line);
                if (probe.AtIdentifier() && probe.Identifier() == "expect") {
                    size_t after = probe.Pos();
                    expect = after >= line.size() || line[after] == ' ' || line[after] == '\t';
                }
            }
            if (!expect) {
                interp.Call(c);
                if (!c.AtEnd()) throw ParseError{"unexpected text after the call: " + c.Rest()};
                interp.Invoke();
                continue;
            }
            c.Identifier(); // "expect"
            // Either a call or a variable on the left.
            Cursor look(line);
            look.Identifier();
            std::string subject = look.Identifier();
            bool isCall = look.Peek() == '(';
            bool haveNumber = false;
            int32_t number = 0;
            std::string found;
            if (isCall) {
                interp.Call(c);
            } else {
                c.Identifier();
                if (!interp.HasVariable(subject)) throw ParseError{"unknown name " + subject};
            }
            bool equal;
            if (c.Accept("=="))
                equal = true;
            else if (c.Accept("!="))
                equal = false;
            else
                throw ParseError{"expect takes == or !="};
            std::string wantText;
            bool wantString = c.Peek() == '"';
            int32_t wantNumber = 0;
            if (wantString)
                wantText = c.String();
            else
                wantNumber = c.Number();
            if (!c.AtEnd()) throw ParseError{"unexpected text after the expectation: " + c.Rest()};

            bool holds;
            if (isCall) {
                if (wantString) throw ParseError{"a call's result is a number"};
                number = interp.Invoke();
                haveNumber = true;
                holds = (number == wantNumber) == equal;
                found = std::to_string(number);
            } else {
                const Variable& var = interp.Var(subject);
                if (var.isBuffer != wantString)
                    throw ParseError{subject + (var.isBuffer ? " is a text" : " is a number")};
                holds = (var.isBuffer ? var.Text() == wantText : var.number == wantNumber) == equal;
                found = var.isBuffer ? Quote(var.Text()) : std::to_string(var.number);
            }
            (void)haveNumber;
            if (!holds) {
                ++failures;
                out << "line " << lineNo << ": expect failed: " << (isCall ? "result" : subject)
                    << " is " << found << ", expected " << (equal ? "== " : "!= ")
                    << (wantString ? Quote(wantText) : std::to_string(wantNumber)) << "\n";
            }
        } catch (const ParseError& e) {
            err << "line " << lineNo << ": " << e.message << "\n";
            return 2;
        }
    }
    if (failures)
        err << failures << (failures == 1 ? " expectation" : " expectations") << " failed\n";
    return failures ? 1 : 0;
}

} // namespace winsim
