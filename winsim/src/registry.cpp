// The registry: keys and values in memory, the predefined roots, key handles, the hive files in
// REGEDIT4 text, import, the key security check, and the keys of a fresh Windows.
//
// On NT a key handle holds the rights it was opened with, fixed at the open: the rights asked for,
// checked against the key's security as it stands then, or with MAXIMUM_ALLOWED (RegOpenKeyA,
// RegCreateKeyA) whatever that security grants then. Each later call checks the handle's rights,
// so a handle opened before a key's DACL was relaxed keeps its old rights, and only a key opened
// anew gets the new ones. Subkey creation also needs the parent's security to allow it when it
// happens, and a deletion checks the security of the key it deletes. The predefined roots hold
// every right; on 95/98, which have no registry security, every handle does.
#include "keysecurity.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unordered_map>

using namespace winsim;

namespace {

constexpr LONG kErrorBadPathname = 161;
constexpr uint32_t kClassesRoot = 0x80000000u;
constexpr uint32_t kCurrentUser = 0x80000001u;
constexpr uint32_t kLocalMachine = 0x80000002u;
constexpr uint32_t kUsers = 0x80000003u;
constexpr uint32_t kCurrentConfig = 0x80000005u;
constexpr uint32_t kDynData = 0x80000006u;
constexpr size_t kHexWrapColumn = 77; // regedit breaks a hex line once it reaches this width
const char kProtectedSddl[] = "O:SYD:(A;;KA;;;SY)(A;;KR;;;BA)(A;;KR;;;WD)";
// NT 4.0's keys that only administrators and the system may change; others read them.
const char kAdminsOnlySddl[] = "O:BAD:(A;;KA;;;BA)(A;;KA;;;SY)(A;;KR;;;WD)";

enum Hive { kSystemHive = 0, kUserHive = 1, kNoHive = 2 };

struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

uint64_t FileTimeNow() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
    return static_cast<uint64_t>(us) * 10 + 116444736000000000ULL;
}

struct Key : std::enable_shared_from_this<Key> {
    std::string name; // as created
    Key* parent = nullptr;
    Hive hive = kNoHive;
    bool deleted = false;
    bool isVolatile = false;
    uint64_t lastWrite = 0;
    // Subkeys and values keep creation order; the indexes map upper-case names to positions.
    std::vector<std::shared_ptr<Key>> children;
    std::unordered_map<std::string, size_t> childIndex;
    std::vector<Value> values;
    std::unordered_map<std::string, size_t> valueIndex;
    std::unique_ptr<KeySecurity> security; // null: none of its own, which grants everything

    Key* Child(const std::string& n) const {
        auto it = childIndex.find(Upper(n));
        return it == childIndex.end() ? nullptr : children[it->second].get();
    }
    const Value* FindValue(const std::string& n) const {
        auto it = valueIndex.find(Upper(n));
        return it == valueIndex.end() ? nullptr : &values[it->second];
    }
    Key* AddChild(const std::string& n);
    void RemoveChild(Key* child);
    void SetValue(const std::string& n, DWORD type, std::vector<uint8_t> data);
    bool DeleteValue(const std::string& n);
    void Touch();
};

// An open key handle: the key and the rights granted when it was opened.
struct OpenKey {
    std::shared_ptr<Key> key;
    DWORD rights = 0;
};

struct Registry {
    std::shared_ptr<Key> machine, user, users, dyn;
    std::unordered_map<uint32_t, OpenKey> handles;
    bool dirty[2] = {false, false};
    bool securityDirty = false;
};

Registry& Reg() {
    static Registry* registry = new Registry; // never destroyed: the machine may close at exit
    return *registry;
}

void Key::Touch() {
    lastWrite = FileTimeNow();
    if (hive != kNoHive) Reg().dirty[hive] = true;
}

Key* Key::AddChild(const std::string& n) {
    auto child = std::make_shared<Key>();
    child->name = n;
    child->parent = this;
    child->hive = hive;
    childIndex[Upper(n)] = children.size();
    children.push_back(child);
    child->Touch();
    return child.get();
}

void MarkDeleted(Key* k) {
    k->deleted = true;
    if (k->security) Reg().securityDirty = true;
    for (auto& c : k->children)
        MarkDeleted(c.get());
}

void Key::RemoveChild(Key* child) {
    auto it = childIndex.find(Upper(child->name));
    if (it == childIndex.end()) return;
    std::shared_ptr<Key> keep = children[it->second]; // open handles may still hold it
    children.erase(children.begin() + static_cast<std::ptrdiff_t>(it->second));
    childIndex.clear();
    for (size_t i = 0; i < children.size(); ++i)
        childIndex[Upper(children[i]->name)] = i;
    MarkDeleted(child);
    child->parent = nullptr;
    Touch();
}

void Key::SetValue(const std::string& n, DWORD type, std::vector<uint8_t> data) {
    std::string upper = Upper(n);
    auto it = valueIndex.find(upper);
    if (it != valueIndex.end()) {
        values[it->second].type = type;
        values[it->second].data = std::move(data);
    } else {
        valueIndex.emplace(std::move(upper), values.size());
        values.push_back(Value{n, type, std::move(data)});
    }
    Touch();
}

bool Key::DeleteValue(const std::string& n) {
    auto it = valueIndex.find(Upper(n));
    if (it == valueIndex.end()) return false;
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(it->second));
    valueIndex.clear();
    for (size_t i = 0; i < values.size(); ++i)
        valueIndex[Upper(values[i].name)] = i;
    Touch();
    return true;
}

std::vector<uint8_t> TextBytes(const std::string& text) {
    std::vector<uint8_t> b(text.begin(), text.end());
    b.push_back(0);
    return b;
}

std::shared_ptr<Key> MakeRoot(const char* name, Hive hive) {
    auto k = std::make_shared<Key>();
    k->name = name;
    k->hive = hive;
    k->lastWrite = FileTimeNow();
    return k;
}

Key* EnsurePath(Key* from, std::initializer_list<const char*> parts) {
    for (const char* p : parts) {
        Key* c = from->Child(p);
        from = c ? c : from->AddChild(p);
    }
    return from;
}

Key* ClassesRootKey() {
    return EnsurePath(Reg().machine.get(), {"SOFTWARE", "Classes"});
}

Key* CurrentConfigKey() {
    if (IsNT())
        return EnsurePath(Reg().machine.get(),
                          {"SYSTEM", "CurrentControlSet", "Hardware Profiles", "Current"});
    return EnsurePath(Reg().machine.get(), {"Config", "0001"});
}

std::string FullPath(const Key* k) {
    std::string path = k->name;
    for (const Key* p = k->parent; p; p = p->parent)
        path = p->name + "\\" + path;
    return path;
}

// ---- handles ------------------------------------------------------------------------------

uint32_t HandleValue(HKEY h) {
    // Handles travel through 32-bit integers and may come back sign- or zero-extended.
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}

// The key a handle stands for; *rights (when given) receives the handle's rights.
LONG Resolve(HKEY h, Key** out, DWORD* rights = nullptr) {
    Require();
    Registry& r = Reg();
    if (rights) *rights = KEY_ALL_ACCESS; // the predefined roots
    switch (HandleValue(h)) {
    case kClassesRoot:
        *out = ClassesRootKey();
        return ERROR_SUCCESS;
    case kCurrentUser:
        *out = r.user.get();
        return ERROR_SUCCESS;
    case kLocalMachine:
        *out = r.machine.get();
        return ERROR_SUCCESS;
    case kUsers:
        *out = r.users.get();
        return ERROR_SUCCESS;
    case kCurrentConfig:
        *out = CurrentConfigKey();
        return ERROR_SUCCESS;
    case kDynData:
        if (IsNT()) return ERROR_INVALID_HANDLE;
        *out = r.dyn.get();
        return ERROR_SUCCESS;
    default:
        break;
    }
    auto it = r.handles.find(HandleValue(h));
    if (it == r.handles.end()) return ERROR_INVALID_HANDLE;
    if (it->second.key->deleted) return ERROR_KEY_DELETED;
    *out = it->second.key.get();
    if (rights) *rights = it->second.rights;
    return ERROR_SUCCESS;
}

// Whether a handle's rights include every right of `need`.
LONG HandleHolds(DWORD rights, DWORD need) {
    return !IsNT() || (rights & need) == need ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HKEY NewHandle(Key* k, DWORD rights) {
    uint32_t n = NextHandleNumber();
    Reg().handles[n] = OpenKey{k->shared_from_this(), rights};
    return reinterpret_cast<HKEY>(static_cast<uintptr_t>(n));
}

bool IsPredefined(HKEY h) {
    return (HandleValue(h) & 0xfffffff8u) == 0x80000000u;
}

// Splits a relative key path. NT refuses a leading backslash; 95/98 skip it. A trailing
// backslash is ignored, an empty component elsewhere is a bad path.
LONG SplitPath(const char* sub, std::vector<std::string>* parts) {
    parts->clear();
    if (!sub || !*sub) return ERROR_SUCCESS;
    std::string s = sub;
    if (s[0] == '\\') {
        if (IsNT()) return kErrorBadPathname;
        s.erase(0, std::min(s.size(), s.find_first_not_of('\\')));
    }
    if (!s.empty() && s.back() == '\\') s.pop_back();
    if (s.empty()) return ERROR_SUCCESS;
    size_t pos = 0;
    for (;;) {
        size_t bs = s.find('\\', pos);
        std::string part = s.substr(pos, bs == std::string::npos ? std::string::npos : bs - pos);
        if (part.empty()) return kErrorBadPathname;
        parts->push_back(part);
        if (bs == std::string::npos) break;
        pos = bs + 1;
    }
    return ERROR_SUCCESS;
}

Key* Walk(Key* from, const std::vector<std::string>& parts) {
    for (const std::string& p : parts) {
        if (!from) return nullptr;
        from = from->Child(p);
    }
    return from;
}

bool Injected(const char* function, LONG* result) {
    DWORD err;
    if (!ShouldFail(function, &err)) return false;
    *result = static_cast<LONG>(err);
    return true;
}

// Security of a new key from the caller's descriptor, when one was given.
void ApplyCreationSecurity(Key* k, const SECURITY_ATTRIBUTES* sa) {
    if (!IsNT() || !sa || !sa->lpSecurityDescriptor) return;
    DescriptorParts parts;
    if (ReadDescriptor(sa->lpSecurityDescriptor, &parts) != ERROR_SUCCESS) return;
    auto sec = std::make_unique<KeySecurity>();
    sec->owner = parts.hasOwner && TokenCanOwn(parts.owner) ? parts.owner : TokenDefaultOwner();
    if (parts.daclPresent) {
        sec->dacl = parts.daclNull ? DaclKind::Null : DaclKind::List;
        sec->aces = parts.aces;
    }
    k->security = std::move(sec);
    Reg().securityDirty = true;
}

// ---- REGEDIT4 text ------------------------------------------------------------------------

void AppendEscaped(std::string* out, const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (s[i] == '\\' || s[i] == '"') *out += '\\';
        *out += s[i];
    }
}

bool IsPlainText(const std::vector<uint8_t>& d) {
    return !d.empty() && d.back() == 0 && std::memchr(d.data(), 0, d.size() - 1) == nullptr;
}

void AppendValueLine(std::string* out, const Value& v) {
    size_t lineStart = out->size();
    if (v.name.empty()) {
        *out += "@=";
    } else {
        *out += '"';
        AppendEscaped(out, v.name.data(), v.name.size());
        *out += "\"=";
    }
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

void AppendTree(std::string* out, const Key& k, const std::string& path, bool forHive) {
    if (forHive && k.isVolatile) return;
    *out += '[';
    *out += path;
    *out += "]\r\n";
    for (const Value& v : k.values)
        AppendValueLine(out, v);
    *out += "\r\n";
    for (const auto& c : k.children)
        AppendTree(out, *c, path + "\\" + c->name, forHive);
}

const char kHeader[] = "REGEDIT4\r\n\r\n";

std::string HiveText(Hive hive) {
    std::string text = kHeader;
    Registry& r = Reg();
    if (hive == kSystemHive) {
        AppendTree(&text, *r.machine, r.machine->name, true);
    } else {
        AppendTree(&text, *r.user, r.user->name, true);
        AppendTree(&text, *r.users, r.users->name, true);
    }
    return text;
}

std::string HivePath(Hive hive) {
    return MachineDir() + (hive == kSystemHive ? "/system.reg" : "/user.reg");
}

bool SaveHive(Hive hive) {
    if (!WriteFileAtomic(HivePath(hive), HiveText(hive))) return false;
    Reg().dirty[hive] = false;
    return true;
}

void CollectSecurity(const Key& k, std::vector<std::pair<std::string, std::string>>* out) {
    if (k.security && !k.isVolatile) out->emplace_back(FullPath(&k), ToSddl(*k.security));
    for (const auto& c : k.children)
        CollectSecurity(*c, out);
}

// Key security lives in machine.ini, section [key-security], one "key path=SDDL" line a key.
bool SaveSecurity() {
    MachineState& m = Require();
    std::vector<std::pair<std::string, std::string>> entries;
    Registry& r = Reg();
    for (const Key* root : {r.machine.get(), r.user.get(), r.users.get()})
        CollectSecurity(*root, &entries);
    m.ini.DeleteSection("key-security");
    for (const auto& e : entries)
        if (e.first.find('=') == std::string::npos) m.ini.Set("key-security", e.first, e.second);
    if (!WriteFileAtomic(m.dir + "/machine.ini", m.ini.Text())) return false;
    r.securityDirty = false;
    return true;
}

// A key path with its root name, resolved to where it lies.
struct RootedPath {
    Key* root = nullptr;             // the root node the path lies in
    std::string rootName;            // the root as it is written back
    std::vector<std::string> prefix; // where a derived root (HKCR, HKCC) lies below `root`
    std::vector<std::string> parts;  // the rest
};

bool ParseRooted(const std::string& path, RootedPath* out) {
    size_t bs = path.find('\\');
    std::string root = path.substr(0, bs);
    std::string rest = bs == std::string::npos ? "" : path.substr(bs + 1);
    Registry& r = Reg();
    RootedPath rp;
    if (IEquals(root, "HKEY_LOCAL_MACHINE") || IEquals(root, "HKLM")) {
        rp.root = r.machine.get();
        rp.rootName = "HKEY_LOCAL_MACHINE";
    } else if (IEquals(root, "HKEY_CURRENT_USER") || IEquals(root, "HKCU")) {
        rp.root = r.user.get();
        rp.rootName = "HKEY_CURRENT_USER";
    } else if (IEquals(root, "HKEY_USERS") || IEquals(root, "HKU")) {
        rp.root = r.users.get();
        rp.rootName = "HKEY_USERS";
    } else if (IEquals(root, "HKEY_CLASSES_ROOT") || IEquals(root, "HKCR")) {
        rp.root = r.machine.get();
        rp.rootName = "HKEY_CLASSES_ROOT";
        rp.prefix = {"SOFTWARE", "Classes"};
    } else if (IEquals(root, "HKEY_CURRENT_CONFIG") || IEquals(root, "HKCC")) {
        rp.root = r.machine.get();
        rp.rootName = "HKEY_CURRENT_CONFIG";
        if (IsNT())
            rp.prefix = {"SYSTEM", "CurrentControlSet", "Hardware Profiles", "Current"};
        else
            rp.prefix = {"Config", "0001"};
    } else if ((IEquals(root, "HKEY_DYN_DATA") || IEquals(root, "HKDD")) && !IsNT()) {
        rp.root = r.dyn.get();
        rp.rootName = "HKEY_DYN_DATA";
    } else {
        return false;
    }
    // Control-API paths are not held to NT's rule about a leading backslash.
    size_t start = rest.find_first_not_of('\\');
    rest = start == std::string::npos ? "" : rest.substr(start);
    if (!rest.empty() && rest.back() == '\\') rest.pop_back();
    size_t pos = 0;
    while (!rest.empty()) {
        size_t next = rest.find('\\', pos);
        std::string part =
            rest.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
        if (part.empty()) return false;
        rp.parts.push_back(part);
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    *out = rp;
    return true;
}

Key* FindRooted(const RootedPath& rp) {
    return Walk(Walk(rp.root, rp.prefix), rp.parts);
}

Key* CreateRooted(const RootedPath& rp) {
    Key* k = rp.root;
    for (const auto* list : {&rp.prefix, &rp.parts}) {
        for (const std::string& p : *list) {
            Key* c = k->Child(p);
            k = c ? c : k->AddChild(p);
        }
    }
    return k;
}

Key* FindKey(const std::string& path) {
    if (!HasMachine()) return nullptr;
    RootedPath rp;
    return ParseRooted(path, &rp) ? FindRooted(rp) : nullptr;
}

void DeleteTree(Key* k) {
    if (k->parent) k->parent->RemoveChild(k);
}

// One step of an imported .reg file.
struct RegOp {
    enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue, kSecurity } kind = kCreateKey;
    std::string path;
    std::string name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    KeySecurity security;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithI(const std::string& s, size_t pos, const char* prefix) {
    size_t n = std::strlen(prefix);
    return s.size() >= pos + n && IEquals(s.substr(pos, n), prefix);
}

// A quoted text at s[*pos] (the opening quote), with \\ and \" unescaped; *pos ends past the
// closing quote.
bool ParseQuoted(const std::string& s, size_t* pos, std::string* text) {
    text->clear();
    for (size_t i = *pos + 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            *text += s[++i];
        } else if (s[i] == '"') {
            *pos = i + 1;
            return true;
        } else {
            *text += s[i];
        }
    }
    return false;
}

// `"name"=data` or `@=data`; *why names what is wrong.
bool ParseValueLine(const std::string& line, RegOp* op, std::string* why) {
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
    std::string data = Trim(line.substr(pos + 1));
    if (data == "-") {
        op->kind = RegOp::kDeleteValue;
        return true;
    }
    op->kind = RegOp::kSetValue;
    if (!data.empty() && data[0] == '"') {
        size_t end = 0;
        std::string text;
        if (!ParseQuoted(data, &end, &text) || end != data.size()) {
            *why = "malformed string data";
            return false;
        }
        op->type = REG_SZ;
        op->data = TextBytes(text);
        return true;
    }
    if (StartsWithI(data, 0, "dword:")) {
        std::string digits = data.substr(6);
        DWORD v = 0;
        if (digits.empty() || digits.size() > 8) {
            *why = "malformed dword data";
            return false;
        }
        for (char c : digits) {
            if (HexDigit(c) < 0) {
                *why = "malformed dword data";
                return false;
            }
            v = (v << 4) | static_cast<DWORD>(HexDigit(c));
        }
        op->type = REG_DWORD;
        op->data.resize(4);
        std::memcpy(op->data.data(), &v, 4);
        return true;
    }
    if (StartsWithI(data, 0, "hex")) {
        size_t p = 3;
        op->type = REG_BINARY;
        if (p < data.size() && data[p] == '(') {
            size_t close = data.find(')', p);
            if (close == std::string::npos || close == p + 1 || close - p > 9) {
                *why = "malformed hex type";
                return false;
            }
            DWORD t = 0;
            for (size_t i = p + 1; i < close; ++i) {
                if (HexDigit(data[i]) < 0) {
                    *why = "malformed hex type";
                    return false;
                }
                t = (t << 4) | static_cast<DWORD>(HexDigit(data[i]));
            }
            op->type = t;
            p = close + 1;
        }
        if (p >= data.size() || data[p] != ':') {
            *why = "expected ':' after hex";
            return false;
        }
        std::string list = data.substr(p + 1);
        op->data.clear();
        size_t q = 0;
        while (q < list.size()) {
            size_t comma = list.find(',', q);
            std::string b =
                Trim(list.substr(q, comma == std::string::npos ? std::string::npos : comma - q));
            bool last = comma == std::string::npos;
            if (b.empty() && last) break; // a trailing comma
            if (b.empty() || b.size() > 2 || HexDigit(b[0]) < 0 ||
                (b.size() == 2 && HexDigit(b[1]) < 0)) {
                *why = "malformed hex byte '" + b + "'";
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

bool ParseRegText(const std::string& text, std::vector<RegOp>* ops, std::string* error) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    auto fail = [&](size_t index, const std::string& why) {
        if (error) *error = "line " + std::to_string(index + 1) + ": " + why;
        return false;
    };
    bool header = false, inDeletedKey = false, afterKeyLine = false;
    std::string currentKey;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string t = Trim(lines[i]);
        if (!header) {
            if (t.rfind("\xEF\xBB\xBF", 0) == 0) t.erase(0, 3);
            if (t.empty()) continue;
            if (t != "REGEDIT4") return fail(i, "expected REGEDIT4");
            header = true;
            continue;
        }
        bool keyLineBefore = afterKeyLine;
        afterKeyLine = false;
        if (t.empty()) continue;
        if (t[0] == ';') {
            if (keyLineBefore && t.rfind(";security=", 0) == 0) {
                RegOp op;
                op.kind = RegOp::kSecurity;
                op.path = currentKey;
                if (!ParseSddl(Trim(t.substr(10)), &op.security))
                    return fail(i, "malformed security '" + t.substr(10) + "'");
                ops->push_back(std::move(op));
            }
            continue;
        }
        if (t[0] == '[') {
            if (t.back() != ']') return fail(i, "key line without ']'");
            std::string inner = t.substr(1, t.size() - 2);
            bool remove = !inner.empty() && inner[0] == '-';
            if (remove) inner.erase(0, 1);
            RootedPath rp;
            if (inner.empty() || !ParseRooted(inner, &rp))
                return fail(i, "unknown key '" + inner + "'");
            RegOp op;
            op.kind = remove ? RegOp::kDeleteKey : RegOp::kCreateKey;
            op.path = inner;
            ops->push_back(std::move(op));
            currentKey = remove ? "" : inner;
            inDeletedKey = remove;
            afterKeyLine = !remove;
            continue;
        }
        if (t[0] == '"' || t[0] == '@') {
            size_t first = i;
            while (!t.empty() && t.back() == '\\' && i + 1 < lines.size()) {
                t.pop_back();
                t += Trim(lines[++i]);
            }
            RegOp op;
            std::string why;
            if (!ParseValueLine(t, &op, &why)) return fail(first, why);
            if (currentKey.empty()) {
                if (inDeletedKey) continue; // regedit ignores values of a deleted key
                return fail(first, "value outside a key");
            }
            op.path = currentKey;
            ops->push_back(std::move(op));
            continue;
        }
        return fail(i, "unrecognised line '" + t + "'");
    }
    if (!header) return fail(0, "expected REGEDIT4");
    return true;
}

void ApplyOps(const std::vector<RegOp>& ops) {
    std::string lastPath;
    Key* last = nullptr;
    for (const RegOp& op : ops) {
        RootedPath rp;
        if (!ParseRooted(op.path, &rp)) continue; // checked while parsing
        if (op.kind == RegOp::kDeleteKey) {
            if (Key* k = FindRooted(rp)) DeleteTree(k);
            last = nullptr;
            lastPath.clear();
            continue;
        }
        Key* k = (last && op.path == lastPath) ? last : CreateRooted(rp);
        last = k;
        lastPath = op.path;
        switch (op.kind) {
        case RegOp::kSetValue:
            k->SetValue(op.name, op.type, op.data);
            break;
        case RegOp::kDeleteValue:
            k->DeleteValue(op.name);
            break;
        case RegOp::kSecurity:
            k->security = std::make_unique<KeySecurity>(op.security);
            Reg().securityDirty = true;
            break;
        default:
            break;
        }
    }
}

// ---- machine hooks ------------------------------------------------------------------------

void LoadRegistry() {
    Registry& r = Reg();
    r = Registry{};
    r.machine = MakeRoot("HKEY_LOCAL_MACHINE", kSystemHive);
    r.user = MakeRoot("HKEY_CURRENT_USER", kUserHive);
    r.users = MakeRoot("HKEY_USERS", kUserHive);
    r.dyn = MakeRoot("HKEY_DYN_DATA", kNoHive);
    for (Hive hive : {kSystemHive, kUserHive}) {
        std::string text, error;
        if (!ReadWholeFile(HivePath(hive), &text)) continue;
        std::vector<RegOp> ops;
        if (!ParseRegText(text, &ops, &error)) {
            std::fprintf(stderr, "winsim: %s: %s\n", HivePath(hive).c_str(), error.c_str());
            continue;
        }
        ApplyOps(ops);
    }
    for (const auto& e : Require().ini.Entries("key-security")) {
        KeySecurity sec;
        Key* k = FindKey(e.first);
        if (k && ParseSddl(e.second, &sec)) k->security = std::make_unique<KeySecurity>(sec);
    }
    r.dirty[kSystemHive] = r.dirty[kUserHive] = false;
    r.securityDirty = false;
}

void SaveRegistry() {
    Registry& r = Reg();
    if (!r.machine) return;
    for (Hive hive : {kSystemHive, kUserHive})
        if (r.dirty[hive]) SaveHive(hive);
    if (r.securityDirty) SaveSecurity();
}

void ResetRegistry() {
    Reg() = Registry{};
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{LoadRegistry, SaveRegistry, ResetRegistry}), true);

// ---- a fresh machine ----------------------------------------------------------------------

Key* SeedKey(const std::string& path) {
    RootedPath rp;
    ParseRooted(path, &rp);
    return CreateRooted(rp);
}

void SeedText(Key* k, const char* name, const std::string& text) {
    k->SetValue(name, REG_SZ, TextBytes(text));
}

void MakeFolders(const std::string& windowsPath) {
    std::error_code ec;
    std::filesystem::create_directories(HostPath(windowsPath), ec);
}

// The Plug-and-Play tree of a PC with one parallel port, as Windows 95/98 enumerate it: the
// BIOS enumerator's printer port instance and the Ports class driver key that it names. Tests
// build other trees (Enum\Root\Ports, ECP ports) with ImportRegistry.
void SeedParallelPortEnum(const std::string& hklm) {
    Key* k = SeedKey(hklm + "Enum\\BIOS\\*PNP0400\\0D");
    SeedText(k, "HardwareID", "*PNP0400");
    SeedText(k, "Class", "Ports");
    SeedText(k, "ClassGUID", "{4D36E978-E325-11CE-BFC1-08002BE10318}");
    SeedText(k, "DeviceDesc", "Printer Port");
    SeedText(k, "Mfg", "(Standard port types)");
    SeedText(k, "Driver", "Ports\\0000");
    SeedText(k, "PortName", "LPT1");
    SeedText(k, "FriendlyName", "Printer Port (LPT1)");
    k->SetValue("ConfigFlags", REG_BINARY, {0, 0, 0, 0});
    k = SeedKey(hklm + "System\\CurrentControlSet\\Services\\Class\\Ports\\0000");
    SeedText(k, "DriverDesc", "Printer Port");
    SeedText(k, "ProviderName", "Microsoft");
    SeedText(k, "InfPath", "MSPORTS.INF");
    SeedText(k, "InfSection", "LptPort");
    SeedText(k, "MatchingDeviceId", "*PNP0400");
    SeedText(k, "DevLoader", "*vcomm");
    SeedText(k, "PortDriver", "lpt.vxd");
    SeedText(k, "Contention", "*vpd");
}

// Opens an existing key below `from` for RegOpenKeyExA and RegOpenKeyA.
LONG OpenBelow(Key* from, LPCSTR subKey, REGSAM access, PHKEY result) {
    std::vector<std::string> parts;
    LONG err = SplitPath(subKey, &parts);
    if (err != ERROR_SUCCESS) return err;
    Key* k = Walk(from, parts);
    if (!k) return ERROR_FILE_NOT_FOUND;
    DWORD rights = 0;
    if ((err = CheckAccess(k->security.get(), access, &rights)) != ERROR_SUCCESS) return err;
    *result = NewHandle(k, rights);
    return ERROR_SUCCESS;
}

// A value's type and data for RegQueryValueExA and RegEnumValueA; a null buffer asks the size.
LONG CopyValue(const Value& v, LPDWORD type, LPBYTE data, LPDWORD cbData) {
    if (type) *type = v.type;
    if (!cbData) return ERROR_SUCCESS;
    DWORD size = static_cast<DWORD>(v.data.size());
    if (data && *cbData < size) {
        *cbData = size;
        return ERROR_MORE_DATA;
    }
    if (data && size) std::memcpy(data, v.data.data(), size);
    *cbData = size;
    return ERROR_SUCCESS;
}

} // namespace

namespace winsim {

void SeedFreshRegistry(Os os) {
    const bool nt = os == Os::Nt4;
    const std::string win = WindowsDir();
    const std::string user = GetSetting("machine", "user", "Administrator");
    const std::string hklm = "HKEY_LOCAL_MACHINE\\";
    const std::string cv = hklm + "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

    SeedKey(hklm + "SOFTWARE\\Classes");
    Key* k = SeedKey(cv);
    SeedText(k, "ProgramFilesDir", "C:\\Program Files");
    SeedText(k, "CommonFilesDir", "C:\\Program Files\\Common Files");
    if (nt) {
        k->SetValue("DevicePath", REG_EXPAND_SZ, TextBytes("%SystemRoot%\\inf"));
    } else {
        SeedText(k, "SystemRoot", win);
        SeedText(k, "DevicePath", win + "\\INF");
        SeedText(k, "Version", os == Os::Win95 ? "Windows 95" : "Windows 98");
        SeedText(k, "VersionNumber", os == Os::Win95 ? "4.00.950" : "4.10.1998");
        SeedText(k, "ProductName",
                 os == Os::Win95 ? "Microsoft Windows 95" : "Microsoft Windows 98");
    }
    for (const char* sub : {"App Paths", "Run", "RunOnce", "SharedDLLs", "Uninstall"})
        SeedKey(cv + "\\" + sub);

    // Shell folders: NT 4.0 keeps them in per-user profiles below the Windows directory,
    // 95/98 (without user profiles) directly in it.
    const std::string profile = win + "\\Profiles\\" + user;
    const std::string userRoot = nt ? profile : win;
    const std::string startup = nt ? "Startup" : "StartUp";
    const std::string userCv = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion";
    k = SeedKey(userCv + "\\Explorer\\Shell Folders");
    SeedText(k, "Desktop", userRoot + "\\Desktop");
    SeedText(k, "Programs", userRoot + "\\Start Menu\\Programs");
    SeedText(k, "Start Menu", userRoot + "\\Start Menu");
    SeedText(k, "Startup", userRoot + "\\Start Menu\\Programs\\" + startup);
    MakeFolders(userRoot + "\\Desktop");
    MakeFolders(userRoot + "\\Start Menu\\Programs\\" + startup);
    SeedKey("HKEY_USERS\\.Default");

    if (nt) {
        const std::string common = win + "\\Profiles\\All Users";
        k = SeedKey(cv + "\\Explorer\\Shell Folders");
        SeedText(k, "Common Desktop", common + "\\Desktop");
        SeedText(k, "Common Programs", common + "\\Start Menu\\Programs");
        SeedText(k, "Common Start Menu", common + "\\Start Menu");
        SeedText(k, "Common Startup", common + "\\Start Menu\\Programs\\Startup");
        MakeFolders(common + "\\Desktop");
        MakeFolders(common + "\\Start Menu\\Programs\\Startup");

        const std::string ntcv = hklm + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
        k = SeedKey(ntcv);
        SeedText(k, "CurrentVersion", "4.0");
        SeedText(k, "CurrentBuildNumber", "1381");
        SeedText(k, "SystemRoot", win);
        k = SeedKey(ntcv + "\\Windows");
        SeedText(k, "AppInit_DLLs", "");
        SeedText(k, "DeviceNotSelectedTimeout", "15");
        SeedText(k, "Spooler", "yes");
        SeedText(k, "TransmissionRetryTimeout", "90");
        for (const char* sub : {"Windows", "Devices", "PrinterPorts"})
            SeedKey(std::string(
                        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\") +
                    sub);

        const std::string ccs = hklm + "SYSTEM\\CurrentControlSet";
        const std::string print = ccs + "\\Control\\Print";
        k = SeedKey(print + "\\Environments\\Windows NT x86");
        SeedText(k, "Directory", "w32x86");
        SeedKey(print + "\\Environments\\Windows NT x86\\Drivers\\Version-2");
        k = SeedKey(print + "\\Environments\\Windows NT x86\\Print Processors\\winprint");
        SeedText(k, "Driver", "winprint.dll");
        k = SeedKey(print + "\\Monitors\\Local Port");
        SeedText(k, "Driver", "localmon.dll");
        k = SeedKey(print + "\\Printers");
        SeedText(k, "DefaultSpoolDirectory", SystemDir() + "\\spool\\PRINTERS");
        // The list of renames for the next start: only administrators may add to it.
        k = SeedKey(ccs + "\\Control\\Session Manager");
        k->security = std::make_unique<KeySecurity>();
        ParseSddl(kAdminsOnlySddl, k->security.get());
        SeedKey(ccs + "\\Hardware Profiles\\Current");
        SeedKey(ccs + "\\Services");
        // NT 4.0 keeps the device tree to the system: administrators may only read it.
        for (const std::string& path : {ccs + "\\Enum", ccs + "\\Enum\\Root"}) {
            k = SeedKey(path);
            k->security = std::make_unique<KeySecurity>();
            ParseSddl(kProtectedSddl, k->security.get());
            Reg().securityDirty = true;
        }
    } else {
        const std::string ccs = hklm + "System\\CurrentControlSet";
        const std::string print = ccs + "\\control\\Print";
        SeedKey(ccs + "\\Services\\Class");
        SeedKey(print + "\\Environments\\Windows 4.0\\Drivers");
        SeedKey(print + "\\Environments\\Windows 4.0\\Print Processors");
        SeedKey(print + "\\Monitors\\Local Port");
        SeedKey(print + "\\Printers");
        SeedKey(hklm + "Enum\\BIOS");
        SeedKey(hklm + "Enum\\Root");
        SeedParallelPortEnum(hklm);
        SeedKey(hklm + "Config\\0001");
        if (GetSetting("machine", "network", "1") == "1") {
            k = SeedKey(hklm + "Network\\Logon");
            SeedText(k, "username", user);
            SeedText(k, "PrimaryProvider", "Microsoft Network");
        }
    }
}

std::string ExportRegistry(const std::string& key) {
    Require();
    Registry& r = Reg();
    std::string text = kHeader;
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
    std::vector<RegOp> ops;
    if (!ParseRegText(regText, &ops, error)) return false;
    ApplyOps(ops);
    return true;
}

bool KeyExists(const std::string& key) {
    return FindKey(key) != nullptr;
}

bool ReadValue(const std::string& key, const std::string& name, uint32_t* type,
               std::vector<uint8_t>* data) {
    Key* k = FindKey(key);
    const Value* v = k ? k->FindValue(name) : nullptr;
    if (!v) return false;
    if (type) *type = v->type;
    if (data) *data = v->data;
    return true;
}

// ---- access for winsim's own services -------------------------------------------------------

bool SysCreateKey(const std::string& path) {
    RootedPath rp;
    if (!HasMachine() || !ParseRooted(path, &rp)) return false;
    return CreateRooted(rp) != nullptr;
}

bool SysDeleteTree(const std::string& path) {
    Key* k = FindKey(path);
    if (!k || !k->parent) return false;
    DeleteTree(k);
    return true;
}

bool SysSubkeys(const std::string& path, std::vector<std::string>* names) {
    names->clear();
    Key* k = FindKey(path);
    if (!k) return false;
    for (const auto& c : k->children)
        names->push_back(c->name);
    return true;
}

bool SysValues(const std::string& path, std::vector<SysValue>* values) {
    values->clear();
    Key* k = FindKey(path);
    if (!k) return false;
    for (const Value& v : k->values)
        values->push_back(SysValue{v.name, v.type, v.data});
    return true;
}

bool SysSetValue(const std::string& path, const std::string& name, DWORD type,
                 const std::vector<uint8_t>& data) {
    RootedPath rp;
    if (!HasMachine() || !ParseRooted(path, &rp)) return false;
    CreateRooted(rp)->SetValue(name, type, data);
    return true;
}

bool SysDeleteValue(const std::string& path, const std::string& name) {
    Key* k = FindKey(path);
    return k && k->DeleteValue(name);
}

bool SetKeySecurity(const std::string& key, const std::string& sddl) {
    Key* k = FindKey(key);
    if (!k) return false;
    if (sddl.empty()) {
        k->security.reset();
    } else {
        KeySecurity sec;
        if (!ParseSddl(sddl, &sec)) return false;
        k->security = std::make_unique<KeySecurity>(sec);
    }
    Reg().securityDirty = true;
    return true;
}

std::string GetKeySecurity(const std::string& key) {
    Key* k = FindKey(key);
    return k && k->security ? ToSddl(*k->security) : "";
}

bool ProtectKey(const std::string& key) {
    return SetKeySecurity(key, kProtectedSddl);
}

} // namespace winsim

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    (void)ulOptions;
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    LONG err;
    if (Injected("RegOpenKeyExA", &err)) return err;
    Key* from;
    if ((err = Resolve(hKey, &from)) != ERROR_SUCCESS) return err;
    return OpenBelow(from, lpSubKey, samDesired, phkResult);
}

LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    LONG err;
    if (Injected("RegOpenKeyA", &err)) {
        *phkResult = nullptr;
        return err;
    }
    Key* from;
    if ((err = Resolve(hKey, &from)) != ERROR_SUCCESS) {
        *phkResult = nullptr;
        return err;
    }
    if (!lpSubKey || !*lpSubKey) { // the same handle comes back, as documented
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    *phkResult = nullptr;
    return OpenBelow(from, lpSubKey, MAXIMUM_ALLOWED, phkResult);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    (void)Reserved;
    (void)lpClass; // classes are not kept
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    LONG err;
    if (Injected("RegCreateKeyExA", &err)) return err;
    Key* k;
    DWORD handleRights;
    std::vector<std::string> parts;
    if ((err = Resolve(hKey, &k, &handleRights)) != ERROR_SUCCESS) return err;
    if ((err = SplitPath(lpSubKey, &parts)) != ERROR_SUCCESS) return err;
    // Every missing key of the path is created, each needing KEY_CREATE_SUB_KEY from its
    // parent's security; one created right below the handle's key needs it in the handle too.
    bool created = false;
    for (size_t i = 0; i < parts.size(); ++i) {
        Key* c = k->Child(parts[i]);
        created = false;
        if (!c) {
            if (i == 0 && (err = HandleHolds(handleRights, KEY_CREATE_SUB_KEY)) != ERROR_SUCCESS)
                return err;
            if ((err = CheckAccess(k->security.get(), KEY_CREATE_SUB_KEY)) != ERROR_SUCCESS)
                return err;
            c = k->AddChild(parts[i]);
            c->isVolatile = k->isVolatile || (IsNT() && (dwOptions & REG_OPTION_VOLATILE));
            created = true;
        }
        k = c;
    }
    // The creator of a key gets the rights it asked for; an existing key grants what its
    // security allows.
    DWORD rights = 0;
    if (created) {
        ApplyCreationSecurity(k, lpSecurityAttributes);
        CheckAccess(nullptr, samDesired, &rights);
    } else if ((err = CheckAccess(k->security.get(), samDesired, &rights)) != ERROR_SUCCESS) {
        return err;
    }
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = NewHandle(k, rights);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    LONG err;
    if (Injected("RegCreateKeyA", &err)) {
        *phkResult = nullptr;
        return err;
    }
    if (!lpSubKey || !*lpSubKey) {
        Key* k;
        if ((err = Resolve(hKey, &k)) != ERROR_SUCCESS) {
            *phkResult = nullptr;
            return err;
        }
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED,
                           nullptr, phkResult, nullptr);
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    LONG err;
    if (Injected("RegCloseKey", &err)) return err;
    Require();
    if (IsPredefined(hKey)) return ERROR_SUCCESS;
    return Reg().handles.erase(HandleValue(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG WINAPI RegFlushKey(HKEY hKey) {
    LONG err;
    if (Injected("RegFlushKey", &err)) return err;
    Key* k;
    if ((err = Resolve(hKey, &k)) != ERROR_SUCCESS) return err;
    if (k->hive == kNoHive) return ERROR_SUCCESS;
    if (!SaveHive(k->hive)) return ERROR_REGISTRY_IO_FAILED;
    if (Reg().securityDirty && !SaveSecurity()) return ERROR_REGISTRY_IO_FAILED;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
    (void)Reserved;
    LONG err;
    if (Injected("RegSetValueExA", &err)) return err;
    Key* k;
    DWORD rights;
    if ((err = Resolve(hKey, &k, &rights)) != ERROR_SUCCESS) return err;
    if (!lpData && cbData) return ERROR_NOACCESS;
    if ((err = HandleHolds(rights, KEY_SET_VALUE)) != ERROR_SUCCESS) return err;
    // Data is kept exactly as given, terminator or not.
    k->SetValue(lpValueName ? lpValueName : "", dwType,
                std::vector<uint8_t>(lpData, lpData + (lpData ? cbData : 0)));
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    LONG err;
    if (Injected("RegQueryValueExA", &err)) return err;
    Key* k;
    DWORD rights;
    if ((err = Resolve(hKey, &k, &rights)) != ERROR_SUCCESS) return err;
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    if ((err = HandleHolds(rights, KEY_QUERY_VALUE)) != ERROR_SUCCESS) return err;
    const Value* v = k->FindValue(lpValueName ? lpValueName : "");
    if (!v) return ERROR_FILE_NOT_FOUND;
    return CopyValue(*v, lpType, lpData, lpcbData);
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
    LONG err;
    if (Injected("RegEnumKeyExA", &err)) return err;
    Key* k;
    DWORD rights;
    if ((err = Resolve(hKey, &k, &rights)) != ERROR_SUCCESS) return err;
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    if ((err = HandleHolds(rights, KEY_ENUMERATE_SUB_KEYS)) != ERROR_SUCCESS) return err;
    if (dwIndex >= k->children.size()) return ERROR_NO_MORE_ITEMS;
    const Key& c = *k->children[dwIndex];
    if (c.name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
    std::memcpy(lpName, c.name.c_str(), c.name.size() + 1);
    *lpcchName = static_cast<DWORD>(c.name.size());
    if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = '\0';
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(c.lastWrite);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(c.lastWrite >> 32);
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    LONG err;
    if (Injected("RegEnumKeyA", &err)) return err;
    DWORD size = cchName;
    return RegEnumKeyExA(hKey, dwIndex, lpName, &size, nullptr, nullptr, nullptr, nullptr);
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    LONG err;
    if (Injected("RegEnumValueA", &err)) return err;
    Key* k;
    DWORD rights;
    if ((err = Resolve(hKey, &k, &rights)) != ERROR_SUCCESS) return err;
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    if ((err = HandleHolds(rights, KEY_QUERY_VALUE)) != ERROR_SUCCESS) return err;
    if (dwIndex >= k->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = k->values[dwIndex];
    if (v.name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
    std::memcpy(lpValueName, v.name.c_str(), v.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(v.name.size());
    return CopyValue(v, lpType, lpData, lpcbData);
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    LONG err;
    if (Injected("RegDeleteKeyA", &err)) return err;
    Key* from;
    if ((err = Resolve(hKey, &from)) != ERROR_SUCCESS) return err;
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    std::vector<std::string> parts;
    if ((err = SplitPath(lpSubKey, &parts)) != ERROR_SUCCESS) return err;
    Key* k = Walk(from, parts);
    if (!k) return ERROR_FILE_NOT_FOUND;
    if (!k->parent) return ERROR_ACCESS_DENIED; // a root key stays
    if ((err = CheckAccess(k->security.get(), DELETE)) != ERROR_SUCCESS) return err;
    // NT deletes only a key without subkeys; 95/98 delete the whole tree.
    if (IsNT() && !k->children.empty()) return ERROR_ACCESS_DENIED;
    DeleteTree(k);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    LONG err;
    if (Injected("RegDeleteValueA", &err)) return err;
    Key* k;
    DWORD rights;
    if ((err = Resolve(hKey, &k, &rights)) != ERROR_SUCCESS) return err;
    if ((err = HandleHolds(rights, KEY_SET_VALUE)) != ERROR_SUCCESS) return err;
    return k->DeleteValue(lpValueName ? lpValueName : "") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
    LONG err;
    if (Injected("RegQueryInfoKeyA", &err)) return err;
    Key* k;
    DWORD rights;
    if ((err = Resolve(hKey, &k, &rights)) != ERROR_SUCCESS) return err;
    if (lpReserved) return ERROR_INVALID_PARAMETER;
    if ((err = HandleHolds(rights, KEY_QUERY_VALUE)) != ERROR_SUCCESS) return err;
    DWORD maxSub = 0, maxName = 0, maxData = 0;
    for (const auto& c : k->children)
        maxSub = std::max(maxSub, static_cast<DWORD>(c->name.size()));
    for (const Value& v : k->values) {
        maxName = std::max(maxName, static_cast<DWORD>(v.name.size()));
        maxData = std::max(maxData, static_cast<DWORD>(v.data.size()));
    }
    if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = '\0';
    if (lpcchClass) *lpcchClass = 0;
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(k->children.size());
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSub;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcValues) *lpcValues = static_cast<DWORD>(k->values.size());
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor =
            IsNT() ? static_cast<DWORD>(
                         MakeSelfRelative(k->security.get(),
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)
                             .size())
                   : 0;
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(k->lastWrite);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(k->lastWrite >> 32);
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegGetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                              PSECURITY_DESCRIPTOR pSecurityDescriptor,
                              LPDWORD lpcbSecurityDescriptor) {
    LONG err;
    if (Injected("RegGetKeySecurity", &err)) return err;
    if (!IsNT()) return ERROR_CALL_NOT_IMPLEMENTED;
    Key* k;
    DWORD rights;
    if ((err = Resolve(hKey, &k, &rights)) != ERROR_SUCCESS) return err;
    if (!lpcbSecurityDescriptor) return ERROR_NOACCESS;
    if (SecurityInformation & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
    if ((err = HandleHolds(rights, READ_CONTROL)) != ERROR_SUCCESS) return err;
    std::vector<uint8_t> sd = MakeSelfRelative(k->security.get(), SecurityInformation);
    DWORD size = static_cast<DWORD>(sd.size());
    if (!pSecurityDescriptor || *lpcbSecurityDescriptor < size) {
        *lpcbSecurityDescriptor = size;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(pSecurityDescriptor, sd.data(), size);
    *lpcbSecurityDescriptor = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                              PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    LONG err;
    if (Injected("RegSetKeySecurity", &err)) return err;
    if (!IsNT()) return ERROR_CALL_NOT_IMPLEMENTED;
    Key* k;
    DWORD rights;
    if ((err = Resolve(hKey, &k, &rights)) != ERROR_SUCCESS) return err;
    if (SecurityInformation & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
    DescriptorParts parts;
    if ((err = ReadDescriptor(pSecurityDescriptor, &parts)) != ERROR_SUCCESS) return err;
    const bool setOwner = (SecurityInformation & OWNER_SECURITY_INFORMATION) != 0;
    const bool setDacl = (SecurityInformation & DACL_SECURITY_INFORMATION) != 0;
    DWORD need = (setOwner ? WRITE_OWNER : 0) | (setDacl ? WRITE_DAC : 0);
    if ((err = HandleHolds(rights, need)) != ERROR_SUCCESS) return err;
    if (setOwner && (!parts.hasOwner || !TokenCanOwn(parts.owner))) return ERROR_INVALID_OWNER;
    if (!k->security) {
        k->security = std::make_unique<KeySecurity>();
        k->security->owner = TokenDefaultOwner();
    }
    if (setOwner) k->security->owner = parts.owner;
    if (setDacl) {
        k->security->dacl = !parts.daclPresent ? DaclKind::Absent
                            : parts.daclNull   ? DaclKind::Null
                                               : DaclKind::List;
        k->security->aces = parts.aces;
    }
    Reg().securityDirty = true;
    return ERROR_SUCCESS;
}

} // extern "C"
