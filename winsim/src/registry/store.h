// The registry store: the key tree in memory, the predefined roots, key handles and key paths.
// The Reg* calls (api.cpp), the REGEDIT4 text (regedit4.cpp), the hive files (hives.cpp) and a
// fresh machine's keys (freshkeys.cpp) all work on this one tree.
#ifndef WINSIM_REGISTRY_STORE_H
#define WINSIM_REGISTRY_STORE_H

#include "../internal.h"
#include "../keysecurity.h"
#include "nameindex.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace winsim::registry {

// The hive file a key is saved in; HKEY_DYN_DATA and its keys are in none.
enum Hive { kSystemHive = 0, kUserHive = 1, kNoHive = 2 };

// Windows' limits: a key name (one component) of at most 255 characters, a key at most 512
// levels below its root. Deeper or longer keys are refused wherever keys are made.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxKeyDepth = 512;

using Value = SysValue;

// Every change of a key is first appended to its hive's log (hivelog.h), so it outlives a killed
// process; a change whose log append fails is not made (ERROR_REGISTRY_IO_FAILED).
struct Key : std::enable_shared_from_this<Key> {
    ~Key();           // frees the keys below without recursion
    std::string name; // as created
    Key* parent = nullptr;
    Hive hive = kNoHive;
    bool deleted = false;
    bool isVolatile = false;
    std::string className;  // given when the key was created (NT keeps it; 95/98 have none)
    uint64_t lastWrite = 0; // a FILETIME
    // Subkeys and values keep creation order; the indexes find them by name.
    std::vector<std::shared_ptr<Key>> children;
    NameIndex childIndex;
    std::vector<Value> values;
    NameIndex valueIndex;
    std::unique_ptr<KeySecurity> security; // null: none of its own, which grants everything

    Key* Child(std::string_view n) const;
    const Value* FindValue(std::string_view n) const;
    // Null when the log could not take the new key (with its class, when it has one).
    Key* AddChild(const std::string& n, bool makeVolatile = false,
                  const std::string& className = "");
    void RemoveChild(Key* child); // DeleteTree's, after the log took the deletion
    LONG SetValue(std::string n, DWORD type, std::vector<uint8_t> data);
    LONG DeleteValue(const std::string& n); // ERROR_FILE_NOT_FOUND when missing
    // Replaces the key's security (null: none of its own).
    LONG SetSecurity(std::unique_ptr<KeySecurity> sec);
    // Replaces the key's class (an import's or a hive's ";class=" line).
    LONG SetClass(const std::string& cls);
    void Touch();         // a change: new last-write time, the hive needs saving
    // A write that leaves what was read as it was (a value set to the data it holds): new
    // last-write time and the hive saved, but SysRegistryChanges() stays.
    void TouchUnchanged();
    size_t Depth() const; // levels below its root
};

// An open key handle: the key and the rights granted when it was opened.
struct OpenKey {
    std::shared_ptr<Key> key;
    DWORD rights = 0;
};

// A change that RegNotifyChangeKeyValue waits for (notify.cpp): the key watched through a handle,
// with the keys below it or not, the kinds of change (REG_NOTIFY_CHANGE_*), and the event that
// the first such change signals, which ends the watch.
struct Watch {
    uint32_t handle = 0;
    std::shared_ptr<Key> key;
    bool subtree = false;
    DWORD filter = 0;
    HANDLE event = nullptr;
};

// The open key handles by number. Numbers come from the process's one handle counter, four apart,
// so a number's bits above the lowest two pick its slot without hashing. The entries lie in one
// open-addressed array: an open allocates nothing once the table has room for the handles a
// program holds at once, and a lookup reads one slot.
class HandleTable {
  public:
    OpenKey* Find(uint32_t number) {
        if (m_slots.empty() || number == 0) return nullptr;
        for (size_t s = Home(number);; s = (s + 1) & (m_slots.size() - 1)) {
            if (m_slots[s].number == number) return &m_slots[s].open;
            if (m_slots[s].number == 0) return nullptr;
        }
    }
    void Add(uint32_t number, OpenKey open);
    bool Remove(uint32_t number); // false when no handle has the number
    size_t Size() const { return m_count; }

  private:
    struct Slot {
        uint32_t number = 0; // 0: a free slot (no handle is 0)
        OpenKey open;
    };
    size_t Home(uint32_t number) const { return (number >> 2) & (m_slots.size() - 1); }
    void Grow();

    std::vector<Slot> m_slots; // a power of two in size, at most half full
    size_t m_count = 0;
};

struct Registry {
    std::shared_ptr<Key> machine, user, users, dyn;
    HandleTable handles;
    std::vector<Watch> watches;
    bool dirty[2] = {false, false}; // per hive: changed since it was last written
    bool securityDirty = false;     // key security changed since machine.ini was last written
};

Registry& Reg();
// Replaces the tree with four empty root nodes and no handles.
void NewTree();

// A text value's data: the text and its terminating zero.
std::vector<uint8_t> TextBytes(const std::string& text);
// The key's path from its root node ("HKEY_LOCAL_MACHINE\SOFTWARE\Norvex").
std::string FullPath(const Key* k);
// Removes a key and everything below it; open handles to them answer ERROR_KEY_DELETED.
LONG DeleteTree(Key* k);
// Visits a key and every key below it, parents before children, without recursion; `visit`
// returns false to skip a key's subtree.
template <typename Visit> void ForEachKey(Key& top, Visit visit) {
    std::vector<Key*> pending{&top};
    while (!pending.empty()) {
        Key* k = pending.back();
        pending.pop_back();
        if (!visit(*k)) continue;
        for (size_t i = k->children.size(); i-- > 0;)
            pending.push_back(k->children[i].get());
    }
}
// ERROR_INVALID_PARAMETER when making a key named `name` at `depth` levels below its root would
// pass Windows' limits.
LONG CheckNewKey(const std::string& name, size_t depth);

// The security of a key that the system keeps to itself (NT 4.0's Enum; what ProtectKey gives):
// owner SYSTEM, SYSTEM full control, Administrators and Everyone read.
inline constexpr char kProtectedSddl[] = "O:SYD:(A;;KA;;;SY)(A;;KR;;;BA)(A;;KR;;;WD)";

// A change of `kinds` (REG_NOTIFY_CHANGE_*) made to `k`: signals and ends the watches it concerns.
void NotifyChange(const Key& k, DWORD kinds);
// The watches set through a handle that is being closed: each signals its event and ends.
void EndWatches(uint32_t handle);

// ---- handles --------------------------------------------------------------------------------
// The key a handle stands for; *rights (when given) receives the handle's rights, every right
// for a predefined root.
LONG Resolve(HKEY h, Key** out, DWORD* rights = nullptr);
// ERROR_SUCCESS when a handle's rights include every right of `need` (always on 95/98).
LONG HandleHolds(DWORD rights, DWORD need);
HKEY NewHandle(Key* k, DWORD rights);
bool IsPredefined(HKEY h);
// Forgets a handle; false when it is none.
bool CloseHandleOf(HKEY h);

// ---- paths ----------------------------------------------------------------------------------
// Hands each name of a caller's relative key path to `visit` (a view into the path), in order,
// until `visit` returns false.
template <typename Visit> LONG ForEachName(const char* sub, Visit visit) {
    if (!sub || !*sub) return ERROR_SUCCESS;
    // NT refuses a relative name that starts at a separator; 95/98 skip it.
    if (sub[0] == '\\' && IsNT()) return ERROR_BAD_PATHNAME;
    // Past that, a run of separators parts two names as one does: an empty name between them
    // (a UNC port name below a key: "Ports\\\SRV\KV4720") and trailing ones name no key.
    for (const char* p = sub; *p;) {
        const char* end = p;
        while (*end && *end != '\\')
            ++end;
        if (end > p && !visit(std::string_view(p, static_cast<size_t>(end - p)))) break;
        p = *end ? end + 1 : end;
    }
    return ERROR_SUCCESS;
}
// The names of a caller's relative key path (ForEachName's).
LONG SplitPath(const char* sub, std::vector<std::string>* parts);
// The key below `from` along a caller's relative key path (ForEachName's names), with no copy of
// them; *out is null when one is missing.
LONG FindBelow(Key* from, const char* sub, Key** out);
// The key below `from` along `parts`; null when one is missing.
Key* Walk(Key* from, const std::vector<std::string>& parts);

// A key path with its root name ("HKLM\SOFTWARE\Norvex"), resolved to where it lies.
struct RootedPath {
    Key* root = nullptr;             // the root node the path lies in
    std::string rootName;            // the root as it is written back
    std::vector<std::string> prefix; // where a derived root (HKCR, HKCC) lies below `root`
    std::vector<std::string> parts;  // the rest
};
bool ParseRooted(const std::string& path, RootedPath* out);
Key* FindRooted(const RootedPath& rp);
// Creates every missing key of the path; null when a key of it passes the limits or the log
// could not take it.
Key* CreateRooted(const RootedPath& rp);
Key* FindKey(const std::string& path); // null without a machine or when missing

} // namespace winsim::registry

#endif
