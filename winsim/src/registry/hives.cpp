// The registry's files: system.reg holds HKEY_LOCAL_MACHINE, user.reg HKEY_CURRENT_USER and
// HKEY_USERS, both in REGEDIT4 text without volatile keys; machine.ini [key-security] holds each
// key's security as "key path=SDDL". HKEY_DYN_DATA is never saved. Beside each hive its log
// (hivelog.h) holds the changes made since the hive was last written.
//
// A save folds a log into its hive: machine.ini's key security first, then the hive through a
// temporary file and a rename, carrying the log's generation in its last line, then the log goes.
// A kill between any two steps loses nothing: the log is replayed until the hive that carries its
// generation is in place, and a log whose generation the hive carries is never replayed again.
#include "hives.h"
#include "hivelog.h"
#include "regedit4.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

using namespace winsim;
using namespace winsim::registry;

namespace {

constexpr char kGenerationLine[] = "\r\n;generation=";

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
    // A comment line after the last key: regedit and REGEDIT4 readers pass over it.
    text += kGenerationLine + 2;
    text += std::to_string(FoldGeneration(hive)) + "\r\n";
    return text;
}

// The generation a hive's text carries; 0 for a hive written before logs were kept.
uint64_t GenerationOf(const std::string& text) {
    size_t at = text.rfind(kGenerationLine);
    return at == std::string::npos
               ? 0
               : std::strtoull(text.c_str() + at + std::strlen(kGenerationLine), nullptr, 10);
}

bool SaveHive(Hive hive) {
    if (!WriteFileAtomic(HivePath(hive), HiveText(hive))) {
        NoteMachineError(HivePath(hive) + ": cannot be written (its changes stay in " +
                         LogPath(hive) + ")");
        return false;
    }
    Reg().dirty[hive] = false;
    if (!LogFolded(hive)) NoteMachineError(LogPath(hive) + ": cannot be removed");
    return true;
}

void CollectSecurity(Key& top, std::vector<std::pair<std::string, std::string>>* out) {
    ForEachKey(top, [out](Key& k) {
        if (k.isVolatile) return false;
        if (k.security) out->emplace_back(FullPath(&k), ToSddl(*k.security));
        return true;
    });
}

bool SaveSecurity() {
    MachineState& m = Require();
    std::vector<std::pair<std::string, std::string>> entries;
    Registry& r = Reg();
    for (Key* root : {r.machine.get(), r.user.get(), r.users.get()})
        CollectSecurity(*root, &entries);
    m.ini.DeleteSection("key-security");
    for (const auto& e : entries)
        if (e.first.find('=') == std::string::npos) m.ini.Set("key-security", e.first, e.second);
    if (!WriteFileAtomic(m.dir + "/machine.ini", m.ini.Text())) {
        NoteMachineError(m.dir + "/machine.ini: cannot be written");
        return false;
    }
    r.securityDirty = false;
    return true;
}

// The temporary files of a save that a kill ended before its rename ("system.reg.tmp1234").
void RemoveLeftoverTemporaries() {
    const std::string dir = MachineDir();
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        for (const char* base : {"system.reg.tmp", "user.reg.tmp", "machine.ini.tmp"}) {
            size_t len = std::strlen(base);
            if (n.size() > len && n.compare(0, len, base) == 0 &&
                n.find_first_not_of("0123456789", len) == std::string::npos)
                names.push_back(n);
        }
    }
    closedir(d);
    for (const std::string& n : names)
        std::remove((dir + "/" + n).c_str());
}

// Reads both hives and replays their logs. A file that does not read whole refuses the open
// (a machine error), for the next save would write the little that was read over it.
void LoadRegistry() {
    bool whole = true;
    auto refuse = [&whole](const std::string& why) {
        NoteMachineError(why);
        whole = false;
    };
    CloseLogs();
    NewTree();
    uint64_t generation[2] = {0, 0};
    for (Hive hive : {kSystemHive, kUserHive}) {
        std::string text, error;
        if (access(HivePath(hive).c_str(), F_OK) != 0) continue; // a machine made by hand
        if (!ReadWholeFile(HivePath(hive), &text))
            refuse(HivePath(hive) + ": cannot be read");
        else if (!ApplyRegText(text, &error))
            refuse(HivePath(hive) + ": " + error);
        generation[hive] = GenerationOf(text);
    }
    for (const auto& e : Require().ini.Entries("key-security")) {
        KeySecurity sec;
        Key* k = FindKey(e.first);
        if (k && ParseSddl(e.second, &sec)) k->security = std::make_unique<KeySecurity>(sec);
    }
    // The logs come last: they hold the latest changes, key security too.
    Registry& r = Reg();
    for (Hive hive : {kSystemHive, kUserHive}) {
        std::string text, error;
        if (!ReadLog(hive, generation[hive], &text))
            refuse(LogPath(hive) + ": cannot be read");
        else if (!text.empty() && !ApplyRegText(text, &error))
            refuse(LogPath(hive) + ": " + error);
        r.dirty[hive] = !text.empty();
    }
    r.securityDirty = r.dirty[kSystemHive] || r.dirty[kUserHive];
    if (!whole) return; // the open is refused: nothing of the machine changes
    RemoveLeftoverTemporaries();
    RemoveFoldedLog(kSystemHive);
    RemoveFoldedLog(kUserHive);
    SetLogging(true);
}

void SaveRegistry() {
    Registry& r = Reg();
    if (!r.machine) return;
    // Security first: a kill before the hives are written leaves their logs to replay it.
    if (r.securityDirty && !SaveSecurity()) return;
    for (Hive hive : {kSystemHive, kUserHive})
        if (r.dirty[hive]) SaveHive(hive);
}

void ResetRegistry() {
    CloseLogs();
    Reg() = Registry{};
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{LoadRegistry, SaveRegistry, ResetRegistry}), true);

} // namespace

namespace winsim::registry {

bool FlushHive(Hive hive) {
    Registry& r = Reg();
    if (r.securityDirty && !SaveSecurity()) return false;
    return SaveHive(hive);
}

} // namespace winsim::registry
