// The registry's files: system.reg holds HKEY_LOCAL_MACHINE, user.reg HKEY_CURRENT_USER and
// HKEY_USERS, both in REGEDIT4 text without volatile keys; machine.ini [key-security] holds each
// key's security as "key path=SDDL". HKEY_DYN_DATA is never saved.
#include "hives.h"
#include "regedit4.h"

#include <cstdio>

using namespace winsim;
using namespace winsim::registry;

namespace {

std::string HivePath(Hive hive) {
    return MachineDir() + (hive == kSystemHive ? "/system.reg" : "/user.reg");
}

std::string HiveText(Hive hive) {
    std::string text = kRegedit4Header;
    Registry& r = Reg();
    if (hive == kSystemHive) {
        AppendTree(&text, *r.machine, r.machine->name, true);
    } else {
        AppendTree(&text, *r.user, r.user->name, true);
        AppendTree(&text, *r.users, r.users->name, true);
    }
    return text;
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

void LoadRegistry() {
    NewTree();
    for (Hive hive : {kSystemHive, kUserHive}) {
        std::string text, error;
        if (!ReadWholeFile(HivePath(hive), &text)) continue;
        if (!ApplyRegText(text, &error))
            std::fprintf(stderr, "winsim: %s: %s\n", HivePath(hive).c_str(), error.c_str());
    }
    for (const auto& e : Require().ini.Entries("key-security")) {
        KeySecurity sec;
        Key* k = FindKey(e.first);
        if (k && ParseSddl(e.second, &sec)) k->security = std::make_unique<KeySecurity>(sec);
    }
    Registry& r = Reg();
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

} // namespace

namespace winsim::registry {

bool FlushHive(Hive hive) {
    if (!SaveHive(hive)) return false;
    return !Reg().securityDirty || SaveSecurity();
}

} // namespace winsim::registry
