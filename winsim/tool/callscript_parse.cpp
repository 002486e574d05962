// The call-script reader: the whole script is read and checked before its first call, so that a
// malformed line late in it leaves the machine untouched.
#include "callscript_parse.h"

#include <cctype>
#include <set>
#include <sstream>

namespace winsim {

const std::map<std::string, std::vector<ParamSpec>>& ExportSignatures() {
    static const std::map<std::string, std::vector<ParamSpec>> signatures = {
#include "pwsetup_signatures.inc"
    };
    return signatures;
}

namespace {

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
        while (m_pos < m_s.size() && IsNameChar(m_s[m_pos]))
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
    // "text", where "" stands for one quote; nothing else is an escape.
    std::string String() {
        Expect("\"");
        std::string text;
        for (;;) {
            size_t end = m_s.find('"', m_pos);
            if (end == std::string::npos) throw ParseError{"unterminated string"};
            text.append(m_s, m_pos, end - m_pos);
            m_pos = end + 1;
            if (m_pos >= m_s.size() || m_s[m_pos] != '"') return text;
            text += '"';
            ++m_pos;
        }
    }
    // A 32-bit number: signed decimal from -2147483648, unsigned up to 4294967295 (0xFFFFFFFF),
    // so that both a negative result and a key handle such as 0x80000002 can be written.
    int32_t Number() {
        SkipBlanks();
        const size_t start = m_pos;
        const std::string where = " at column " + std::to_string(start + 1);
        bool negative = false;
        if (m_pos < m_s.size() && (m_s[m_pos] == '-' || m_s[m_pos] == '+'))
            negative = m_s[m_pos++] == '-';
        const bool hex = m_s.compare(m_pos, 2, "0x") == 0 || m_s.compare(m_pos, 2, "0X") == 0;
        if (hex) m_pos += 2;
        const uint64_t limit = negative ? 0x80000000ull : 0xFFFFFFFFull;
        uint64_t value = 0;
        const size_t digits = m_pos;
        while (m_pos < m_s.size()) {
            const int c = std::tolower(static_cast<unsigned char>(m_s[m_pos]));
            int digit;
            if (std::isdigit(c))
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else
                break;
            value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
            if (value > limit) throw ParseError{"number out of 32-bit range" + where};
            ++m_pos;
        }
        if (digits == m_pos) throw ParseError{"expected a number" + where};
        if (m_pos < m_s.size() && IsNameChar(m_s[m_pos]))
            throw ParseError{"expected a number" + where};
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
    static bool IsNameChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    }
    const std::string& m_s;
    size_t m_pos = 0;
};

// What the lines before the current one have made of a name.
struct VariableInfo {
    bool isBuffer = false;
    int32_t size = 0;
    bool isWindow = false;
};

const char* Describe(const ScriptArg& a) {
    switch (a.kind) {
    case ScriptArg::Number:
        return "a number";
    case ScriptArg::Null:
        return "null";
    case ScriptArg::Text:
        return "a string";
    case ScriptArg::List:
        return "a list";
    case ScriptArg::NumberRef:
    case ScriptArg::OutNumber:
        return "a pointer to an integer";
    case ScriptArg::OutBuffer:
        return "a buffer";
    case ScriptArg::Variable:
        break;
    }
    return "a name";
}

class Parser {
  public:
    ScriptLine Line(const std::string& line) {
        Cursor c(line);
        ScriptLine result;
        bool expect = false, window = false;
        {
            Cursor probe(line);
            if (probe.AtIdentifier()) {
                const std::string word = probe.Identifier();
                size_t after = probe.Pos();
                const bool alone =
                    after >= line.size() || line[after] == ' ' || line[after] == '\t';
                expect = alone && word == "expect";
                window = alone && word == "window";
            }
        }
        if (window) {
            c.Identifier(); // "window"
            result.kind = ScriptLine::Window;
            result.subject = c.Identifier();
            if (!c.AtEnd()) throw ParseError{"unexpected text after the window: " + c.Rest()};
            m_vars[result.subject] = VariableInfo{false, 4, true};
            return result;
        }
        if (!expect) {
            result.kind = ScriptLine::Call;
            result.call = Call(c);
            if (!c.AtEnd()) throw ParseError{"unexpected text after the call: " + c.Rest()};
            return result;
        }
        c.Identifier(); // "expect"
        Cursor look = c;
        std::string subject = look.Identifier();
        if (look.Peek() == '(') {
            result.kind = ScriptLine::ExpectCall;
            result.call = Call(c);
        } else {
            c.Identifier();
            auto var = m_vars.find(subject);
            if (var == m_vars.end()) throw ParseError{"unknown name " + subject};
            result.kind = ScriptLine::ExpectVariable;
            result.subject = subject;
            if (c.Accept("[")) {
                if (!var->second.isWindow) throw ParseError{subject + " is not a window"};
                result.kind = ScriptLine::ExpectRow;
                result.row = c.Number();
                if (result.row < 0) throw ParseError{"a row is numbered from 0"};
                c.Expect("]");
            }
        }
        if (c.Accept("=="))
            result.equal = true;
        else if (c.Accept("!="))
            result.equal = false;
        else
            throw ParseError{"expect takes == or !="};
        result.wantText = c.Peek() == '"';
        if (result.wantText)
            result.wantString = c.String();
        else
            result.wantNumber = c.Number();
        if (!c.AtEnd()) throw ParseError{"unexpected text after the expectation: " + c.Rest()};
        if (result.kind == ScriptLine::ExpectCall && result.wantText)
            throw ParseError{"a call's result is a number"};
        if (result.kind == ScriptLine::ExpectRow && !result.wantText)
            throw ParseError{"a row is a text"};
        if (result.kind == ScriptLine::ExpectVariable &&
            m_vars[subject].isBuffer != result.wantText)
            throw ParseError{subject + (m_vars[subject].isBuffer ? " is a text" : " is a number")};
        return result;
    }

  private:
    ScriptCall Call(Cursor& c) {
        ScriptCall call;
        call.name = c.Identifier();
        auto signature = ExportSignatures().find(call.name);
        if (signature == ExportSignatures().end()) throw ParseError{"unknown export " + call.name};
        const std::vector<ParamSpec>& params = signature->second;
        c.Expect("(");
        if (!c.Accept(")")) {
            do {
                size_t start = c.Pos();
                ScriptArg a = Argument(c);
                c.SkipBlanks();
                a.written = c.Slice(start, c.Pos());
                while (!a.written.empty() && a.written.back() == ' ')
                    a.written.pop_back();
                while (!a.written.empty() && a.written.front() == ' ')
                    a.written.erase(0, 1);
                call.args.push_back(a);
            } while (c.Accept(","));
            c.Expect(")");
        }
        if (call.args.size() != params.size())
            throw ParseError{call.name + " takes " + std::to_string(params.size()) +
                             " arguments, not " + std::to_string(call.args.size())};
        CheckNamesOnce(call);
        for (size_t i = 0; i < params.size(); ++i)
            CheckArgument(call, params, i);
        // The call's outputs are what later lines find under their names.
        for (const ScriptArg& a : call.args) {
            if (a.kind == ScriptArg::OutBuffer) m_vars[a.name] = VariableInfo{true, a.number};
            if (a.kind == ScriptArg::OutNumber) m_vars[a.name] = VariableInfo{false, 4};
        }
        return call;
    }

    // A name made afresh while another argument of the same call points into it would leave
    // the library a pointer to freed memory; a name once per call rules that out.
    static void CheckNamesOnce(const ScriptCall& call) {
        std::set<std::string> seen;
        for (const ScriptArg& a : call.args) {
            if (a.name.empty()) continue;
            if (!seen.insert(a.name).second)
                throw ParseError{a.name + " is named twice in one call"};
        }
    }

    bool IsNumber(const ScriptArg& a) const {
        return a.kind == ScriptArg::Number ||
               (a.kind == ScriptArg::Variable && !m_vars.at(a.name).isBuffer);
    }

    // How many bytes the memory behind a pointer argument holds; -1 for null, which the
    // library takes as no memory at all.
    int64_t Extent(const ScriptArg& a) const {
        switch (a.kind) {
        case ScriptArg::Text:
        case ScriptArg::List:
            return static_cast<int64_t>(a.bytes.size());
        case ScriptArg::NumberRef:
        case ScriptArg::OutNumber:
            return 4;
        case ScriptArg::OutBuffer:
            return a.number;
        case ScriptArg::Variable:
            return m_vars.at(a.name).size;
        default:
            return -1;
        }
    }

    void CheckArgument(const ScriptCall& call, const std::vector<ParamSpec>& params,
                       size_t i) const {
        const ScriptArg& a = call.args[i];
        const ParamSpec& p = params[i];
        const std::string which =
            call.name + "'s " + p.name + " (argument " + std::to_string(i + 1) + ")";
        if (p.kind == ParamKind::Number) {
            if (!IsNumber(a))
                throw ParseError{which + " is a number, not " +
                                 (a.kind == ScriptArg::Variable ? a.name + ", a buffer"
                                                                : std::string(Describe(a)))};
            return;
        }
        if (IsNumber(a))
            throw ParseError{which + " is a pointer: give a string, null, a buffer or &name, not " +
                             (a.kind == ScriptArg::Variable ? a.name + ", an integer"
                                                            : std::string("a number"))};
        const int64_t extent = Extent(a);
        if (extent < 0) return;
        if (extent < p.minBytes)
            throw ParseError{which + " takes " + std::to_string(p.minBytes) + " bytes; " +
                             a.written + " holds " + std::to_string(extent)};
        if (p.sizeArg < 0) return;
        const ScriptArg& size = call.args[static_cast<size_t>(p.sizeArg)];
        // Written out, so that it is checked before the run rather than when the call comes.
        if (size.kind != ScriptArg::Number)
            throw ParseError{call.name + "'s " + params[static_cast<size_t>(p.sizeArg)].name +
                             " is written as a number"};
        if (size.number > extent)
            throw ParseError{which + " holds " + std::to_string(extent) + " bytes, less than the " +
                             std::to_string(size.number) + " that " +
                             params[static_cast<size_t>(p.sizeArg)].name + " gives"};
    }

    ScriptArg Argument(Cursor& c) {
        ScriptArg a;
        char p = c.Peek();
        if (p == '"') {
            a.kind = ScriptArg::Text;
            a.bytes = c.String();
            a.bytes += '\0';
        } else if (p == '&') {
            c.Expect("&");
            if (c.AtNumber()) {
                a.kind = ScriptArg::NumberRef;
                a.number = c.Number();
            } else {
                a.kind = ScriptArg::OutNumber;
                a.name = c.Identifier();
            }
        } else if (c.AtNumber()) {
            a.kind = ScriptArg::Number;
            a.number = c.Number();
        } else {
            std::string id = c.Identifier();
            if (id == "null") {
                a.kind = ScriptArg::Null;
            } else if (id == "multi") {
                a.kind = ScriptArg::List;
                c.Expect("(");
                if (!c.Accept(")")) {
                    do {
                        a.bytes += c.String();
                        a.bytes += '\0';
                    } while (c.Accept(","));
                    c.Expect(")");
                }
                a.bytes += '\0';
                if (a.bytes.size() == 1) a.bytes += '\0'; // an empty list is one empty text
            } else if (c.Accept("[")) {
                a.kind = ScriptArg::OutBuffer;
                a.name = id;
                a.number = c.Number();
                c.Expect("]");
                if (a.number <= 0 || a.number > (1 << 20))
                    throw ParseError{"buffer size out of range"};
            } else {
                if (!m_vars.count(id)) throw ParseError{"unknown name " + id};
                a.kind = ScriptArg::Variable;
                a.name = id;
            }
        }
        return a;
    }

    std::map<std::string, VariableInfo> m_vars;
};

} // namespace

ParsedScript ParseCallScript(const std::string& text) {
    ParsedScript script;
    // A UTF-8 byte order mark, as Windows editors write one, is no part of the first line.
    const std::string bom = "\xEF\xBB\xBF";
    std::istringstream lines(text.compare(0, bom.size(), bom) == 0 ? text.substr(bom.size())
                                                                   : text);
    Parser parser;
    std::string line;
    int lineNo = 0;
    while (std::getline(lines, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Cursor c(line);
        if (c.AtEnd() || c.Peek() == '#') continue;
        try {
            script.lines.push_back(parser.Line(line));
            script.lines.back().lineNo = lineNo;
        } catch (const ParseError& e) {
            script.lines.clear();
            script.errorLine = lineNo;
            script.error = e.message;
            return script;
        }
    }
    return script;
}

} // namespace winsim
