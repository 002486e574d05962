// REGEDIT4 text: writing keys and values as regedit exports them, and reading .reg text back
// (hive files and imports alike).
#include "regedit4.h"

#include <cstdio>
#include <cstring>
#include <string_view>

using namespace winsim;
using namespace winsim::registry;

namespace {

constexpr size_t kHexWrapColumn = 77; // regedit breaks a hex line once it reaches this width

// ---- writing ----------------------------------------------------------------------------------

void AppendEscaped(std::string* out, const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (s[i] == '\\' || s[i] == '"') *out += '\\';
        *out += s[i];
    }
}

// A text that a quoted string carries as it is: one terminator, and no line end, which would end
// the value's line of the file and make the whole hive unreadable.
bool IsPlainText(const std::vector<uint8_t>& d) {
    if (d.empty() || d.back() != 0) return false;
    for (size_t i = 0; i + 1 < d.size(); ++i)
        if (d[i] == 0 || d[i] == '\r' || d[i] == '\n') return false;
    return true;
}

} // namespace

namespace winsim::registry {

void AppendValueName(std::string* out, const std::string& name) {
    if (name.empty()) {
        *out += '@';
    } else {
        *out += '"';
        AppendEscaped(out, name.data(), name.size());
        *out += '"';
    }
}

void AppendValue(std::string* out, const Value& v) {
    size_t lineStart = out->size();
    AppendValueName(out, v.name);
    *out += '=';
    char buf[32];
    if (v.type == REG_SZ && IsPlainText(v.data)) {
        *out += '"';
        AppendEscaped(out, reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1);
        *out += "\"\r\n";
        return;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        std::snprintf(buf, sizeof buf, "dword:%08x\r\n", Load32(v.data.data()));
        *out += buf;
        return;
    }
    // Everything else is hex: REG_SZ without its single terminator, so that it reads back
    // byte for byte, and any type regedit has no text form for.
    if (v.type == REG_BINARY)
        *out += "hex:";
    else {
        std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        *out += buf;
    }
    static const char kDigits[] = "0123456789abcdef";
    size_t column = out->size() - lineStart;
    for (size_t i = 0; i < v.data.size(); ++i) {
        *out += kDigits[v.data[i] >> 4];
        *out += kDigits[v.data[i] & 15];
        if (i + 1 == v.data.size()) break;
        *out += ',';
        column += 3;
        if (column >= kHexWrapColumn) {
            *out += "\\\r\n  ";
            column = 2;
        }
    }
    *out += "\r\n";
}

void AppendClassLine(std::string* out, const std::string& cls) {
    if (cls.empty()) return;
    *out += ";class=";
    if (cls.find_first_of("\r\n") == std::string::npos) {
        *out += '"';
        AppendEscaped(out, cls.data(), cls.size());
        *out += "\"\r\n";
        return;
    }
    // One line whatever its length: a comment line has no continuation.
    static const char kDigits[] = "0123456789abcdef";
    *out += "hex:";
    for (size_t i = 0; i < cls.size(); ++i) {
        const auto b = static_cast<uint8_t>(cls[i]);
        if (i) *out += ',';
        *out += kDigits[b >> 4];
        *out += kDigits[b & 15];
    }
    *out += "\r\n";
}

} // namespace winsim::registry

namespace {

// ---- reading ----------------------------------------------------------------------------------

// One step of an imported .reg file. A value, security or class step changes the key of the key
// step before it.
struct RegOp {
    enum Kind {
        kCreateKey,
        kDeleteKey,
        kSetValue,
        kDeleteValue,
        kSecurity,
        kClass
    } kind = kCreateKey;
    size_t key = 0; // kCreateKey, kDeleteKey: the path's place in the parsed paths
    std::string name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    std::unique_ptr<KeySecurity> security; // kSecurity: null takes the key's own away
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithI(std::string_view s, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return s.size() >= n && IEquals(s.substr(0, n), prefix);
}

// All of `digits`, one to `maxDigits` hex digits.
bool ParseHex(std::string_view digits, size_t maxDigits, DWORD* value) {
    if (digits.empty() || digits.size() > maxDigits) return false;
    DWORD v = 0;
    for (char c : digits) {
        if (HexDigit(c) < 0) return false;
        v = (v << 4) | static_cast<DWORD>(HexDigit(c));
    }
    *value = v;
    return true;
}

// A quoted text at s[*pos] (the opening quote), with \\ and \" unescaped, into a string or a
// value's bytes; *pos ends past the closing quote. The runs between escapes are copied whole.
template <class Text> bool ParseQuoted(std::string_view s, size_t* pos, Text* text) {
    text->clear();
    size_t run = *pos + 1;
    for (size_t i = run; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            text->insert(text->end(), s.data() + run, s.data() + i);
            run = ++i; // the escaped character starts the next run
        } else if (s[i] == '"') {
            text->insert(text->end(), s.data() + run, s.data() + i);
            *pos = i + 1;
            return true;
        }
    }
    return false;
}

// `"name"=data` or `@=data`; *why names what is wrong.
bool ParseValueLine(std::string_view line, RegOp* op, std::string* why) {
    size_t pos = 0;
    if (line[0] == '@') {
        op->name.clear();
        pos = 1;
    } else if (!ParseQuoted(line, &pos, &op->name)) {
        *why = "unterminated value name";
        return false;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
        ++pos;
    if (pos >= line.size() || line[pos] != '=') {
        *why = "expected '=' after the value name";
        return false;
    }
    const std::string_view data = TrimView(line.substr(pos + 1));
    if (data == "-") {
        op->kind = RegOp::kDeleteValue;
        return true;
    }
    op->kind = RegOp::kSetValue;
    if (!data.empty() && data[0] == '"') {
        size_t end = 0;
        op->data.reserve(data.size() - 1); // the text, its terminator in place of a quote
        if (!ParseQuoted(data, &end, &op->data) || end != data.size()) {
            *why = "malformed string data";
            return false;
        }
        op->type = REG_SZ;
        op->data.push_back(0);
        return true;
    }
    if (StartsWithI(data, "dword:")) {
        DWORD v = 0;
        if (!ParseHex(data.substr(6), 8, &v)) {
            *why = "malformed dword data";
            return false;
        }
        op->type = REG_DWORD;
        op->data.resize(4);
        std::memcpy(op->data.data(), &v, 4);
        return true;
    }
    if (StartsWithI(data, "hex")) {
        size_t p = 3;
        op->type = REG_BINARY;
        if (p < data.size() && data[p] == '(') {
            size_t close = data.find(')', p);
            if (close == std::string::npos ||
                !ParseHex(data.substr(p + 1, close - p - 1), 8, &op->type)) {
                *why = "malformed hex type";
                return false;
            }
            p = close + 1;
        }
        if (p >= data.size() || data[p] != ':') {
            *why = "expected ':' after hex";
            return false;
        }
        const std::string_view list = data.substr(p + 1);
        op->data.clear();
        size_t q = 0;
        while (q < list.size()) {
            size_t comma = list.find(',', q);
            const std::string_view b = TrimView(
                list.substr(q, comma == std::string::npos ? std::string::npos : comma - q));
            bool last = comma == std::string::npos;
            if (b.empty() && last) break; // a trailing comma
            if (b.empty() || b.size() > 2 || HexDigit(b[0]) < 0 ||
                (b.size() == 2 && HexDigit(b[1]) < 0)) {
                *why = "malformed hex byte '" + std::string(b) + "'";
                return false;
            }
            op->data.push_back(static_cast<uint8_t>(
                b.size() == 1 ? HexDigit(b[0]) : HexDigit(b[0]) * 16 + HexDigit(b[1])));
            if (last) break;
            q = comma + 1;
        }
        return true;
    }
    *why = "unrecognised value data";
    return false;
}

bool ParseRegText(const std::string& text, std::vector<RegOp>* ops, std::vector<RootedPath>* keys,
                  std::string* error) {
    // Each line as a view of the text, without its line end.
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view line(text.data() + pos,
                              (nl == std::string::npos ? text.size() : nl) - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    ops->reserve(lines.size());
    auto fail = [&](size_t index, const std::string& why) {
        if (error) *error = "line " + std::to_string(index + 1) + ": " + why;
        return false;
    };
    bool header = false, inDeletedKey = false, afterKeyLine = false, inKey = false;
    std::string joined; // a value's line with its continuation lines
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view t = TrimView(lines[i]);
        if (!header) {
            if (t.substr(0, 3) == "\xEF\xBB\xBF") t.remove_prefix(3);
            if (t.empty()) continue;
            if (t != "REGEDIT4") return fail(i, "expected REGEDIT4");
            header = true;
            continue;
        }
        bool keyLineBefore = afterKeyLine;
        afterKeyLine = false;
        if (t.empty()) continue;
        if (t[0] == ';') {
            if (keyLineBefore && t.substr(0, 7) == ";class=") {
                // The class is data of the value form: a quoted text or hex bytes.
                RegOp op, data;
                std::string why;
                if (!ParseValueLine("@=" + std::string(t.substr(7)), &data, &why) ||
                    data.kind != RegOp::kSetValue ||
                    (data.type != REG_SZ && data.type != REG_BINARY))
                    return fail(i, "malformed class '" + std::string(t.substr(7)) + "'");
                if (data.type == REG_SZ) data.data.pop_back();
                op.kind = RegOp::kClass;
                op.name.assign(data.data.begin(), data.data.end());
                ops->push_back(std::move(op));
                afterKeyLine = true;
                continue;
            }
            if (keyLineBefore && t.substr(0, 10) == ";security=") {
                RegOp op;
                op.kind = RegOp::kSecurity;
                const std::string sddl(TrimView(t.substr(10)));
                if (!sddl.empty()) op.security = std::make_unique<KeySecurity>();
                if (!sddl.empty() && !ParseSddl(sddl, op.security.get()))
                    return fail(i, "malformed security '" + sddl + "'");
                ops->push_back(std::move(op));
                afterKeyLine = true;
            }
            continue;
        }
        if (t[0] == '[') {
            if (t.back() != ']') return fail(i, "key line without ']'");
            std::string inner(t.substr(1, t.size() - 2));
            bool remove = !inner.empty() && inner[0] == '-';
            if (remove) inner.erase(0, 1);
            RootedPath rp;
            if (inner.empty() || !ParseRooted(inner, &rp))
                return fail(i, "unknown key '" + inner + "'");
            for (const std::string& part : rp.parts)
                if (part.size() > kMaxKeyNameLength)
                    return fail(i, "key name longer than " + std::to_string(kMaxKeyNameLength) +
                                       " characters");
            if (rp.prefix.size() + rp.parts.size() > kMaxKeyDepth)
                return fail(i, "key deeper than " + std::to_string(kMaxKeyDepth) + " levels");
            RegOp op;
            op.kind = remove ? RegOp::kDeleteKey : RegOp::kCreateKey;
            op.key = keys->size();
            keys->push_back(std::move(rp));
            ops->push_back(std::move(op));
            inKey = !remove;
            inDeletedKey = remove;
            afterKeyLine = !remove;
            continue;
        }
        if (t[0] == '"' || t[0] == '@') {
            size_t first = i;
            if (!t.empty() && t.back() == '\\' && i + 1 < lines.size()) {
                joined.assign(t.data(), t.size());
                while (!joined.empty() && joined.back() == '\\' && i + 1 < lines.size()) {
                    joined.pop_back();
                    joined += TrimView(lines[++i]);
                }
                t = joined;
            }
            RegOp op;
            std::string why;
            if (!ParseValueLine(t, &op, &why)) return fail(first, why);
            if (!inKey) {
                if (inDeletedKey) continue; // regedit ignores values of a deleted key
                return fail(first, "value outside a key");
            }
            ops->push_back(std::move(op));
            continue;
        }
        return fail(i, "unrecognised line '" + std::string(t) + "'");
    }
    if (!header) return fail(0, "expected REGEDIT4");
    return true;
}

// False when a change could not be made durable (the hive's log refused it).
bool ApplyOps(std::vector<RegOp>& ops, const std::vector<RootedPath>& keys) {
    Key* k = nullptr; // the key of the last key step
    for (size_t i = 0; i < ops.size(); ++i) {
        RegOp& op = ops[i];
        if (op.kind == RegOp::kDeleteKey) {
            Key* gone = FindRooted(keys[op.key]);
            if (gone && DeleteTree(gone) != ERROR_SUCCESS) return false;
            k = nullptr;
            continue;
        }
        if (op.kind == RegOp::kCreateKey) {
            k = CreateRooted(keys[op.key]);
            if (!k) return false;
            // Room for the values that follow (a hive holds keys of thousands), made once.
            size_t added = 0;
            while (i + 1 + added < ops.size() && ops[i + 1 + added].kind == RegOp::kSetValue)
                ++added;
            k->values.reserve(k->values.size() + added);
            continue;
        }
        if (!k) continue; // parsing puts no other step outside a key
        LONG err = ERROR_SUCCESS;
        switch (op.kind) {
        case RegOp::kSetValue:
            err = k->SetValue(std::move(op.name), op.type, std::move(op.data));
            break;
        case RegOp::kDeleteValue:
            if (k->DeleteValue(op.name) == ERROR_REGISTRY_IO_FAILED) err = ERROR_REGISTRY_IO_FAILED;
            break;
        case RegOp::kSecurity:
            err = k->SetSecurity(std::move(op.security));
            break;
        case RegOp::kClass:
            if (k->className != op.name) err = k->SetClass(op.name);
            break;
        default:
            break;
        }
        if (err != ERROR_SUCCESS) return false;
    }
    return true;
}

} // namespace

namespace winsim::registry {

void AppendTree(std::string* out, const Key& top, const std::string& path, bool forHive) {
    // Without recursion: each key's path is its parent's, so only the keys still to be written
    // are kept, with the length of their parent's path in `paths`.
    std::string paths = path;
    std::vector<std::pair<const Key*, size_t>> pending{{&top, std::string::npos}};
    while (!pending.empty()) {
        auto [k, parentLength] = pending.back();
        pending.pop_back();
        if (forHive && k->isVolatile) continue;
        if (parentLength != std::string::npos) {
            paths.resize(parentLength);
            paths += '\\';
            paths += k->name;
        }
        *out += '[';
        *out += paths;
        *out += "]\r\n";
        if (forHive) AppendClassLine(out, k->className); // regedit exports no classes
        for (const Value& v : k->values)
            AppendValue(out, v);
        *out += "\r\n";
        for (size_t i = k->children.size(); i-- > 0;)
            pending.emplace_back(k->children[i].get(), paths.size());
    }
}

bool ApplyRegText(const std::string& text, std::string* error) {
    std::vector<RegOp> ops;
    std::vector<RootedPath> keys;
    if (!ParseRegText(text, &ops, &keys, error)) return false;
    if (ApplyOps(ops, keys)) return true;
    if (error) *error = "the registry's log could not be written";
    return false;
}

} // namespace winsim::registry

namespace winsim {

std::string ExportRegistry(const std::string& key) {
    Require();
    Registry& r = Reg();
    std::string text = kRegedit4Header;
    if (key.empty()) {
        for (const Key* root : {r.machine.get(), r.user.get(), r.users.get()})
            AppendTree(&text, *root, root->name, false);
        return text;
    }
    RootedPath rp;
    if (!ParseRooted(key, &rp)) return "";
    Key* k = Walk(rp.root, rp.prefix);
    std::string path = rp.rootName;
    for (const std::string& p : rp.parts) {
        k = k ? k->Child(p) : nullptr;
        if (!k) return "";
        path += "\\" + k->name; // regedit writes the names as they were created
    }
    if (!k) return "";
    AppendTree(&text, *k, path, false);
    return text;
}

bool ImportRegistry(const std::string& regText, std::string* error) {
    Require();
    return ApplyRegText(regText, error);
}

} // namespace winsim
