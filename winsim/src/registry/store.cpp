// The registry store: keys and values in memory, the predefined roots, key handles and paths,
// and the access that winsim's own services and the control API have to it.
#include "store.h"
#include "hivelog.h"
#include "regedit4.h"

#include <algorithm>
#include <chrono>

using namespace winsim;
using namespace winsim::registry;

namespace {

constexpr uint32_t kClassesRoot = 0x80000000u;
constexpr uint32_t kCurrentUser = 0x80000001u;
constexpr uint32_t kLocalMachine = 0x80000002u;
constexpr uint32_t kUsers = 0x80000003u;
constexpr uint32_t kCurrentConfig = 0x80000005u;
constexpr uint32_t kDynData = 0x80000006u;

uint64_t FileTimeNow() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
    return static_cast<uint64_t>(us) * 10 + 116444736000000000ULL;
}

// The names a key's indexes find its subkeys and values by.
auto ChildNames(const Key& k) {
    return [&k](size_t i) -> std::string_view { return k.children[i]->name; };
}
auto ValueNames(const Key& k) {
    return [&k](size_t i) -> std::string_view { return k.values[i].name; };
}

// Every change of the tree, counted for SysRegistryChanges.
uint64_t g_changes = 0;

void MarkDeleted(Key* top) {
    ++g_changes;
    ForEachKey(*top, [](Key& k) {
        k.deleted = true;
        if (k.security) Reg().securityDirty = true;
        return true;
    });
}

std::shared_ptr<Key> MakeRoot(const char* name, Hive hive) {
    auto k = std::make_shared<Key>();
    k->name = name;
    k->hive = hive;
    k->lastWrite = FileTimeNow();
    return k;
}

Key* EnsurePath(Key* from, const std::vector<std::string>& parts) {
    size_t depth = from ? from->Depth() : 0;
    for (const std::string& p : parts) {
        if (!from) return nullptr;
        Key* c = from->Child(p);
        if (!c && CheckNewKey(p, depth + 1) != ERROR_SUCCESS) return nullptr;
        from = c ? c : from->AddChild(p);
        ++depth;
    }
    return from;
}

// Where the derived roots lie in HKEY_LOCAL_MACHINE on this system.
std::vector<std::string> ClassesRootPath() {
    return {"SOFTWARE", "Classes"};
}
std::vector<std::string> CurrentConfigPath() {
    if (IsNT()) return {"SYSTEM", "CurrentControlSet", "Hardware Profiles", "Current"};
    return {"Config", "0001"};
}

uint32_t HandleValue(HKEY h) {
    // Handles travel through 32-bit integers and may come back sign- or zero-extended.
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}

// The predefined roots: HKEY_CLASSES_ROOT (0x80000000) to 0x80000007.
bool IsPredefinedNumber(uint32_t h) {
    return (h & 0xfffffff8u) == 0x80000000u;
}

// The root node a predefined handle stands for; null for any other handle.
Key* PredefinedKey(uint32_t h) {
    Registry& r = Reg();
    switch (h) {
    case kClassesRoot:
        return EnsurePath(r.machine.get(), ClassesRootPath());
    case kCurrentUser:
        return r.user.get();
    case kLocalMachine:
        return r.machine.get();
    case kUsers:
        return r.users.get();
    case kCurrentConfig:
        return EnsurePath(r.machine.get(), CurrentConfigPath());
    case kDynData:
        return IsNT() ? nullptr : r.dyn.get();
    default:
        return nullptr;
    }
}

} // namespace

namespace winsim::registry {

Registry& Reg() {
    static Registry* registry = new Registry; // never destroyed: the machine may close at exit
    return *registry;
}

void NewTree() {
    ++g_changes;
    Registry& r = Reg();
    r = Registry{};
    r.machine = MakeRoot("HKEY_LOCAL_MACHINE", kSystemHive);
    r.user = MakeRoot("HKEY_CURRENT_USER", kUserHive);
    r.users = MakeRoot("HKEY_USERS", kUserHive);
    r.dyn = MakeRoot("HKEY_DYN_DATA", kNoHive);
}

// ---- the key tree -----------------------------------------------------------------------------

Key::~Key() {
    // A deep tree freed key by key from its top would nest one destructor per level.
    std::vector<std::shared_ptr<Key>> pending = std::move(children);
    while (!pending.empty()) {
        std::shared_ptr<Key> k = std::move(pending.back());
        pending.pop_back();
        if (k.use_count() > 1) continue; // an open handle keeps it, and what lies below it
        for (auto& c : k->children)
            pending.push_back(std::move(c));
        k->children.clear();
    }
}

size_t Key::Depth() const {
    size_t depth = 0;
    for (const Key* p = parent; p; p = p->parent)
        ++depth;
    return depth;
}

LONG CheckNewKey(const std::string& name, size_t depth) {
    return name.size() > kMaxKeyNameLength || depth > kMaxKeyDepth ? ERROR_INVALID_PARAMETER
                                                                   : ERROR_SUCCESS;
}

Key* Key::Child(std::string_view n) const {
    const size_t i = childIndex.Find(n, children.size(), ChildNames(*this));
    return i == NameIndex::kNone ? nullptr : children[i].get();
}

const Value* Key::FindValue(std::string_view n) const {
    const size_t i = valueIndex.Find(n, values.size(), ValueNames(*this));
    return i == NameIndex::kNone ? nullptr : &values[i];
}

void Key::Touch() {
    ++g_changes;
    TouchUnchanged();
}

void Key::TouchUnchanged() {
    lastWrite = FileTimeNow();
    if (hive != kNoHive) Reg().dirty[hive] = true;
}

Key* Key::AddChild(const std::string& n, bool makeVolatile, const std::string& cls) {
    auto child = std::make_shared<Key>();
    child->name = n;
    child->parent = this;
    child->hive = hive;
    child->isVolatile = isVolatile || makeVolatile;
    child->className = cls;
    if (IsLogged(*child)) {
        std::string line;
        AppendClassLine(&line, cls);
        if (!LogChange(*child, line)) return nullptr;
    }
    children.push_back(child);
    childIndex.Added(children.size(), ChildNames(*this));
    child->Touch();
    NotifyChange(*this, REG_NOTIFY_CHANGE_NAME);
    return child.get();
}

void Key::RemoveChild(Key* child) {
    const size_t at = childIndex.Find(child->name, children.size(), ChildNames(*this));
    if (at == NameIndex::kNone) return;
    std::shared_ptr<Key> keep = children[at]; // open handles may still hold it
    children.erase(children.begin() + static_cast<std::ptrdiff_t>(at));
    childIndex.Rebuild(children.size(), ChildNames(*this));
    MarkDeleted(child);
    child->parent = nullptr;
    Touch();
    NotifyChange(*this, REG_NOTIFY_CHANGE_NAME);
}

LONG Key::SetValue(std::string n, DWORD type, std::vector<uint8_t> data) {
    if (IsLogged(*this)) {
        std::string line;
        AppendValue(&line, Value{n, type, data});
        if (!LogChange(*this, line)) return ERROR_REGISTRY_IO_FAILED;
    }
    const size_t at = valueIndex.Find(n, values.size(), ValueNames(*this));
    if (at != NameIndex::kNone) {
        Value& v = values[at];
        if (v.type == type && v.data == data) {
            // The same data again: the write is made (logged, stamped, notified), and what was
            // read from the value, which may point into it, stays valid.
            TouchUnchanged();
            NotifyChange(*this, REG_NOTIFY_CHANGE_LAST_SET);
            return ERROR_SUCCESS;
        }
        v.type = type;
        v.data = std::move(data);
    } else {
        values.push_back(Value{std::move(n), type, std::move(data)});
        valueIndex.Added(values.size(), ValueNames(*this));
    }
    Touch();
    NotifyChange(*this, REG_NOTIFY_CHANGE_LAST_SET);
    return ERROR_SUCCESS;
}

LONG Key::DeleteValue(const std::string& n) {
    const size_t at = valueIndex.Find(n, values.size(), ValueNames(*this));
    if (at == NameIndex::kNone) return ERROR_FILE_NOT_FOUND;
    if (IsLogged(*this)) {
        std::string line;
        AppendValueName(&line, n);
        line += "=-\r\n";
        if (!LogChange(*this, line)) return ERROR_REGISTRY_IO_FAILED;
    }
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(at));
    valueIndex.Rebuild(values.size(), ValueNames(*this));
    Touch();
    NotifyChange(*this, REG_NOTIFY_CHANGE_LAST_SET);
    return ERROR_SUCCESS;
}

LONG Key::SetSecurity(std::unique_ptr<KeySecurity> sec) {
    if (IsLogged(*this) && !LogChange(*this, ";security=" + (sec ? ToSddl(*sec) : "") + "\r\n"))
        return ERROR_REGISTRY_IO_FAILED;
    security = std::move(sec);
    ++g_changes;
    Reg().securityDirty = true;
    // The security descriptor is one of the key's attributes.
    NotifyChange(*this, REG_NOTIFY_CHANGE_SECURITY | REG_NOTIFY_CHANGE_ATTRIBUTES);
    return ERROR_SUCCESS;
}

LONG Key::SetClass(const std::string& cls) {
    if (IsLogged(*this)) {
        std::string line;
        AppendClassLine(&line, cls);
        if (!LogChange(*this, line.empty() ? ";class=\r\n" : line)) return ERROR_REGISTRY_IO_FAILED;
    }
    className = cls;
    Touch();
    return ERROR_SUCCESS;
}

std::vector<uint8_t> TextBytes(const std::string& text) {
    std::vector<uint8_t> b(text.begin(), text.end());
    b.push_back(0);
    return b;
}

std::string FullPath(const Key* k) {
    std::string path = k->name;
    for (const Key* p = k->parent; p; p = p->parent)
        path = p->name + "\\" + path;
    return path;
}

LONG DeleteTree(Key* k) {
    if (!k->parent) return ERROR_SUCCESS;
    if (IsLogged(*k) && !LogChange(*k, "", true)) return ERROR_REGISTRY_IO_FAILED;
    k->parent->RemoveChild(k);
    return ERROR_SUCCESS;
}

// ---- handles ----------------------------------------------------------------------------------

void HandleTable::Add(uint32_t number, OpenKey open) {
    if (2 * (m_count + 1) > m_slots.size()) Grow();
    size_t s = Home(number);
    while (m_slots[s].number != 0)
        s = (s + 1) & (m_slots.size() - 1);
    m_slots[s] = Slot{number, std::move(open)};
    ++m_count;
}

bool HandleTable::Remove(uint32_t number) {
    if (m_slots.empty() || number == 0) return false;
    const size_t mask = m_slots.size() - 1;
    size_t hole = Home(number);
    while (m_slots[hole].number != number) {
        if (m_slots[hole].number == 0) return false;
        hole = (hole + 1) & mask;
    }
    m_slots[hole].number = 0;
    m_slots[hole].open.key.reset();
    --m_count;
    // The entries after the hole that probed past it move back into it, so that every entry
    // stays reachable from its home slot without markers of removed ones.
    for (size_t s = (hole + 1) & mask; m_slots[s].number != 0; s = (s + 1) & mask) {
        const size_t home = Home(m_slots[s].number);
        // Whether `home` lies cyclically in (hole, s]: then the entry stays where it is.
        const bool stays = hole < s ? hole < home && home <= s : hole < home || home <= s;
        if (stays) continue;
        m_slots[hole] = std::move(m_slots[s]);
        m_slots[s].number = 0;
        hole = s;
    }
    return true;
}

void HandleTable::Grow() {
    std::vector<Slot> old = std::move(m_slots);
    m_slots.clear();
    m_slots.resize(old.empty() ? 16 : 2 * old.size());
    m_count = 0;
    for (Slot& slot : old)
        if (slot.number != 0) Add(slot.number, std::move(slot.open));
}

LONG Resolve(HKEY h, Key** out, DWORD* rights) {
    Require();
    const uint32_t n = HandleValue(h);
    if (IsPredefinedNumber(n)) {
        Key* root = PredefinedKey(n);
        if (!root) return ERROR_INVALID_HANDLE;
        *out = root;
        if (rights) *rights = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    const OpenKey* open = Reg().handles.Find(n);
    if (!open) return ERROR_INVALID_HANDLE;
    if (open->key->deleted) return ERROR_KEY_DELETED;
    *out = open->key.get();
    if (rights) *rights = open->rights;
    return ERROR_SUCCESS;
}

LONG HandleHolds(DWORD rights, DWORD need) {
    return (rights & need) == need || !IsNT() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HKEY NewHandle(Key* k, DWORD rights) {
    uint32_t n = NextHandleNumber();
    Reg().handles.Add(n, OpenKey{k->shared_from_this(), rights});
    return reinterpret_cast<HKEY>(static_cast<uintptr_t>(n));
}

bool IsPredefined(HKEY h) {
    return IsPredefinedNumber(HandleValue(h));
}

bool CloseHandleOf(HKEY h) {
    if (!Reg().handles.Remove(HandleValue(h))) return false;
    EndWatches(HandleValue(h));
    return true;
}

// ---- paths ------------------------------------------------------------------------------------

LONG SplitPath(const char* sub, std::vector<std::string>* parts) {
    parts->clear();
    if (sub && *sub) parts->reserve(8);
    return ForEachName(sub, [parts](std::string_view name) {
        parts->emplace_back(name);
        return true;
    });
}

LONG FindBelow(Key* from, const char* sub, Key** out) {
    LONG err = ForEachName(sub, [&from](std::string_view name) {
        from = from->Child(name);
        return from != nullptr;
    });
    *out = from;
    return err;
}

Key* Walk(Key* from, const std::vector<std::string>& parts) {
    for (const std::string& p : parts) {
        if (!from) return nullptr;
        from = from->Child(p);
    }
    return from;
}

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
        rp.prefix = ClassesRootPath();
    } else if (IEquals(root, "HKEY_CURRENT_CONFIG") || IEquals(root, "HKCC")) {
        rp.root = r.machine.get();
        rp.rootName = "HKEY_CURRENT_CONFIG";
        rp.prefix = CurrentConfigPath();
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
    return EnsurePath(EnsurePath(rp.root, rp.prefix), rp.parts);
}

Key* FindKey(const std::string& path) {
    if (!HasMachine()) return nullptr;
    RootedPath rp;
    return ParseRooted(path, &rp) ? FindRooted(rp) : nullptr;
}

} // namespace winsim::registry

namespace winsim {

size_t OpenKeyHandles() {
    return registry::Reg().handles.Size();
}

// ---- the control API --------------------------------------------------------------------------

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

bool SetKeySecurity(const std::string& key, const std::string& sddl) {
    Key* k = FindKey(key);
    if (!k) return false;
    std::unique_ptr<KeySecurity> sec;
    if (!sddl.empty()) {
        sec = std::make_unique<KeySecurity>();
        if (!ParseSddl(sddl, sec.get())) return false;
    }
    return k->SetSecurity(std::move(sec)) == ERROR_SUCCESS;
}

std::string GetKeySecurity(const std::string& key) {
    Key* k = FindKey(key);
    return k && k->security ? ToSddl(*k->security) : "";
}

bool ProtectKey(const std::string& key) {
    return SetKeySecurity(key, kProtectedSddl);
}

// ---- access for winsim's own services ---------------------------------------------------------

uint64_t SysRegistryChanges() {
    return g_changes;
}

bool SysCreateKey(const std::string& path) {
    RootedPath rp;
    if (!HasMachine() || !ParseRooted(path, &rp)) return false;
    return CreateRooted(rp) != nullptr;
}

bool SysDeleteTree(const std::string& path) {
    Key* k = FindKey(path);
    return k && k->parent && DeleteTree(k) == ERROR_SUCCESS;
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
    const std::vector<SysValue>* held = SysValuesOf(path);
    if (!held) {
        values->clear();
        return false;
    }
    *values = *held;
    return true;
}

const std::vector<SysValue>* SysValuesOf(const std::string& path) {
    const Key* k = FindKey(path);
    return k ? &k->values : nullptr;
}

bool SysEachSubkey(const std::string& path,
                   const std::function<void(const std::string&, const std::vector<SysValue>&)>& visit) {
    const Key* k = FindKey(path);
    if (!k) return false;
    for (const auto& c : k->children)
        visit(c->name, c->values);
    return true;
}

bool SysSetValue(const std::string& path, const std::string& name, DWORD type,
                 const std::vector<uint8_t>& data) {
    RootedPath rp;
    if (!HasMachine() || !ParseRooted(path, &rp)) return false;
    Key* k = CreateRooted(rp);
    return k && k->SetValue(name, type, data) == ERROR_SUCCESS;
}

bool SysDeleteValue(const std::string& path, const std::string& name) {
    Key* k = FindKey(path);
    return k && k->DeleteValue(name) == ERROR_SUCCESS;
}

} // namespace winsim
