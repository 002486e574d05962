// The uninstall script, read as PWUNINST reads it: its component lists, each component's keys and
// the list sections they name, through the uninstaller's own script routines on ScriptPath.
#include "checks.h"

#include "pwuninst.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

namespace pwcheck {

namespace {

// Keys of Windows itself that a "Regdel" tree deletion must never name (below any root).
const char* const kSystemKeys[] = {
    "SOFTWARE",
    "SOFTWARE\\Classes",
    "SOFTWARE\\Microsoft",
    "SOFTWARE\\Microsoft\\Windows",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "SOFTWARE\\Microsoft\\Windows NT",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
    "SYSTEM",
    "SYSTEM\\CurrentControlSet",
    "SYSTEM\\CurrentControlSet\\Control",
    "SYSTEM\\CurrentControlSet\\Control\\Print",
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments",
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors",
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers",
    "SYSTEM\\CurrentControlSet\\Services",
    "SYSTEM\\CurrentControlSet\\Enum",
    "Enum",
    "Control Panel",
    "Environment",
    "Printers",
    "Network",
    "Config",
};

bool IsSystemKey(std::string subkey) {
    while (!subkey.empty() && subkey.back() == '\\')
        subkey.pop_back();
    if (subkey.find('\\') == std::string::npos) return true; // a key right below a root
    for (const char* key : kSystemKeys)
        if (SameName(subkey, key)) return true;
    return false;
}

// The keys of a list section in the order the profile functions list them, cut where the
// section's key list passes the uninstaller's 8,192 bytes (the cut names are reported once).
std::vector<const IniKey*> ListedKeys(const Source& source, const IniSection& section,
                                      Findings& findings) {
    std::vector<const IniKey*> keys;
    size_t used = 0;
    for (const IniKey& key : section.keys) {
        if (key.firstLine != key.line) continue;
        used += key.name.size() + 1;
        // GetPrivateProfileString fills all but the list's closing NUL; a list that reaches
        // size - 2 was cut, and its last name is left out.
        if (used >= UN_KEY_LIST_SIZE - 2) {
            const size_t lost = section.keys.size() - keys.size();
            findings.Error(source.name, key.line,
                           "[" + section.name + "]'s key list passes " +
                               std::to_string(UN_KEY_LIST_SIZE) + " bytes here: this entry and " +
                               std::to_string(lost - 1) + " after it are never read");
            break;
        }
        keys.push_back(&key);
    }
    return keys;
}

// Expands an entry as ReadEntryList does (room as the uninstaller's list gives it) and reports
// what the placeholder did; false when the entry is left out.
bool Expand(const Source& source, const IniKey& key, std::vector<char>& text, Findings& findings,
            bool* changed = nullptr) {
    text.assign(UN_KEY_LIST_SIZE, '\0');
    std::memcpy(text.data(), key.name.c_str(), std::min(key.name.size(), text.size() - 1));
    const ZrExpansion done = ExpandPlaceholder(text.data(), static_cast<int>(text.size()));
    if (changed) *changed = done.outcome == ZrExpansion::Expanded;
    if (done.outcome == ZrExpansion::NameAbsent) {
        findings.Error(source.name, key.line,
                       Quoted("%" + std::string(done.name) + "%") +
                           " is not in [strings]: the entry stays as written");
        return true;
    }
    if (done.outcome == ZrExpansion::TooLong) {
        findings.Error(source.name, key.line,
                       Quoted("%" + std::string(done.name) + "%") + " expands past " +
                           std::to_string(UN_FILE_ENTRY_SIZE - 1) +
                           " characters: the entry is left out");
        return false;
    }
    return text[0] != '\0';
}

bool ParsesRoot(const char* text, long* root) { return std::sscanf(text, "%ld", root) == 1; }

void CheckRoot(const Source& source, const IniKey& key, const char* text, Findings& findings) {
    long root = 0;
    if (!ParsesRoot(text, &root))
        findings.Error(source.name, key.line, "root " + Quoted(text) +
                                                  " is no number: the entry is skipped");
    else if (!IsPredefinedRoot(root))
        findings.Error(source.name, key.line,
                       "root " + Quoted(text) + " is no predefined key (-2147483648 "
                       "HKEY_CLASSES_ROOT, -2147483647 HKEY_CURRENT_USER, -2147483646 "
                       "HKEY_LOCAL_MACHINE, -2147483645 HKEY_USERS)");
}

bool FitsWork(const Source& source, const IniKey& key, const std::vector<char>& text,
              Findings& findings) {
    if (std::strlen(text.data()) < UN_ENTRY_WORK_SIZE) return true;
    findings.Error(source.name, key.line,
                   "the entry is longer than " + std::to_string(UN_ENTRY_WORK_SIZE - 1) +
                       " characters: it is not split, and skipped");
    return false;
}

struct ScriptCheck {
    const Source& source;
    Findings& findings;
    std::set<std::string> checked;          // "KIND\nSECTION" already walked
    std::vector<std::pair<std::string, int>> files; // expanded Files entries, with their lines

    void Files(const IniSection& section) {
        for (const IniKey* key : ListedKeys(source, section, findings)) {
            // RemoveFiles copies each key into a buffer of 128 bytes before it expands it.
            if (key->name.size() > UN_FILE_ENTRY_SIZE - 1) {
                findings.Error(source.name, key->line,
                               "the file entry is longer than " +
                                   std::to_string(UN_FILE_ENTRY_SIZE - 1) +
                                   " characters: it is skipped");
                continue;
            }
            char path[UN_FILE_ENTRY_SIZE];
            std::strcpy(path, key->name.c_str());
            const ZrExpansion done = ExpandPlaceholder(path, sizeof path);
            if (done.outcome == ZrExpansion::NameAbsent)
                findings.Error(source.name, key->line,
                               Quoted("%" + std::string(done.name) + "%") +
                                   " is not in [strings]: the entry stays as written and names "
                                   "no file");
            else if (done.outcome == ZrExpansion::TooLong)
                findings.Error(source.name, key->line,
                               Quoted("%" + std::string(done.name) + "%") + " expands past " +
                                   std::to_string(UN_FILE_ENTRY_SIZE - 1) +
                                   " characters: the entry is skipped");
            if (!path[0]) continue;
            const size_t length = std::strlen(path);
            if (IsProtectedPath(path))
                findings.Error(source.name, key->line,
                               Quoted(path) + " is a drive root or the Windows or system "
                               "directory: it is never deleted");
            else if (path[length - 1] == '\\' || path[length - 1] == '/')
                findings.Error(source.name, key->line,
                               Quoted(path) + " names a folder: a Files entry deletes a file, so "
                               "the entry is left alone");
            else
                files.emplace_back(path, key->line);
        }
    }

    void Inidel(const IniSection& section) {
        for (const IniKey* key : ListedKeys(source, section, findings)) {
            std::vector<char> text;
            if (!Expand(source, *key, text, findings) || !FitsWork(source, *key, text, findings))
                continue;
            EntryFields fields;
            char *file, *sect, *name;
            if (!SplitEntry(text.data(), fields, &file, &sect, &name) &&
                !SplitEntry(text.data(), fields, &file, &sect))
                findings.Error(source.name, key->line,
                               "an Inidel entry is FILE,SECTION or FILE,SECTION,KEY: without a "
                               "comma it is skipped");
        }
    }

    void Regdel(const IniSection& section) {
        for (const IniKey* key : ListedKeys(source, section, findings)) {
            std::vector<char> text;
            if (!Expand(source, *key, text, findings) || !FitsWork(source, *key, text, findings))
                continue;
            EntryFields fields;
            char *root, *subkey, *value;
            const bool valueForm = SplitEntry(text.data(), fields, &root, &subkey, &value);
            if (!valueForm && !SplitEntry(text.data(), fields, &root, &subkey)) {
                findings.Error(source.name, key->line,
                               "a Regdel entry is ROOT,SUBKEY or ROOT,SUBKEY,VALUE: without a "
                               "comma it is skipped");
                continue;
            }
            CheckRoot(source, *key, root, findings);
            if (!subkey[0])
                findings.Error(source.name, key->line,
                               "the entry names a root key: the uninstaller never deletes one");
            else if (!valueForm && IsSystemKey(subkey))
                findings.Error(source.name, key->line,
                               Quoted(subkey) + " is a key of Windows itself: deleting its tree "
                               "would take other programs' keys");
        }
    }

    void Regadd(const IniSection& section) {
        for (const IniKey* key : ListedKeys(source, section, findings)) {
            std::vector<char> text;
            bool changed = false;
            if (!Expand(source, *key, text, findings, &changed) ||
                !FitsWork(source, *key, text, findings))
                continue;
            EntryFields fields;
            char *root, *subkey, *value, *type;
            if (!SplitEntry(text.data(), fields, &root, &subkey, &value, &type)) {
                findings.Error(source.name, key->line,
                               "a Regadd entry is ROOT,SUBKEY,VALUE,TYPE: with fewer than three "
                               "commas it is skipped");
                continue;
            }
            CheckRoot(source, *key, root, findings);
            unsigned valueType = 0;
            if (std::sscanf(type, "%u", &valueType) != 1)
                findings.Error(source.name, key->line,
                               "type " + Quoted(type) + " is no number: the entry is skipped");
            else if (valueType != REG_SZ && valueType != REG_EXPAND_SZ)
                findings.Error(source.name, key->line,
                               "type " + std::to_string(valueType) +
                                   " is unknown to a Regadd entry: its data is written as text, "
                                   "which only types 1 and 2 hold");
            if (changed)
                findings.Error(source.name, key->line,
                               "the value is looked up under the entry once expanded, which is "
                               "no key of the section: nothing is written");
        }
    }

    void Icon(const IniSection& section) {
        for (const IniKey* key : ListedKeys(source, section, findings)) {
            std::vector<char> text;
            if (!Expand(source, *key, text, findings) || !FitsWork(source, *key, text, findings))
                continue;
            EntryFields fields;
            char *folder, *name, *unused;
            if (!SplitEntry(text.data(), fields, &folder, &name, &unused))
                findings.Error(source.name, key->line,
                               "an Icon entry is FOLDER,SHORTCUT, with a third field (which may "
                               "be empty, \"FOLDER,SHORTCUT,=1\"): without it the entry is "
                               "skipped");
            else if (!name[0])
                findings.Error(source.name, key->line, "the entry names no shortcut");
        }
    }

    // One component or shared part: its keys, and each list section once per kind.
    void Part(const char* list, const IniKey& entry) {
        const IniSection* section = source.lines.Find(entry.name);
        if (!section) {
            findings.Error(source.name, entry.line,
                           Quoted(entry.name) + " has no section [" + entry.name +
                               "]: nothing of it is removed");
            return;
        }
        char value[UN_FIELD_SIZE];
        const auto read = [&](const char* name) {
            GetPrivateProfileStringA(entry.name.c_str(), name, NotThereSentinel, value,
                                     sizeof value, ScriptPath);
            return std::strcmp(value, NotThereSentinel) != 0 && value[0] != '\0';
        };
        if (std::strcmp(list, UN_COMPONENTS_SECTION) == 0 && !read("Title"))
            findings.Warning(source.name, section->line,
                             "component [" + entry.name + "] has no \"Title\": it is never "
                             "listed on the selection page (only a scrub run removes it)");
        using Walk = void (ScriptCheck::*)(const IniSection&);
        const struct {
            const char* key;
            Walk walk;
        } kLists[] = {{"Files", &ScriptCheck::Files},   {"Inidel", &ScriptCheck::Inidel},
                      {"Regdel", &ScriptCheck::Regdel}, {"Regadd", &ScriptCheck::Regadd},
                      {"Icon", &ScriptCheck::Icon}};
        for (const auto& kind : kLists) {
            if (!read(kind.key)) continue;
            const IniKey* named = source.lines.FindKey(entry.name, kind.key);
            const IniSection* target = source.lines.Find(value);
            if (!target) {
                findings.Error(source.name, named ? named->line : section->line,
                               std::string(kind.key) + " names section [" + value +
                                   "], which the script lacks: that step does nothing");
                continue;
            }
            if (checked.insert(std::string(kind.key) + "\n" + target->name).second)
                (this->*kind.walk)(*target);
        }
    }

    void Lists() {
        for (const char* list : {UN_COMPONENTS_SECTION, UN_SHARED_SECTION}) {
            const IniSection* section = source.lines.Find(list);
            if (!section) continue;
            for (const IniKey* entry : ListedKeys(source, *section, findings))
                Part(list, *entry);
        }
    }

    // A Files entry that another one lies below is a folder.
    void Folders() {
        for (const auto& folder : files)
            for (const auto& file : files) {
                const std::string& f = folder.first;
                if (file.first.size() > f.size() + 1 && file.first[f.size()] == '\\' &&
                    SameName(file.first.substr(0, f.size()), f)) {
                    findings.Error(source.name, folder.second,
                                   Quoted(f) + " names a folder (line " +
                                       std::to_string(file.second) +
                                       " lies in it): a Files entry deletes a file, so the "
                                       "entry is left alone");
                    break;
                }
            }
    }

};

} // namespace

void CheckUninstallScript(const Source& source, Findings& findings) {
    if (source.windowsPath.size() >= sizeof ScriptPath) return;
    std::strcpy(ScriptPath, source.windowsPath.c_str());
    if (!source.lines.Find(UN_COMPONENTS_SECTION))
        findings.Error(source.name, 0, "the script has no [Components] section: nothing is listed "
                                       "or removed");
    ScriptCheck check{source, findings, {}, {}};
    check.Lists();
    check.Folders();
    // [strings] values are read into 128 bytes.
    CheckStringsValues(source, UN_FILE_ENTRY_SIZE - 1, findings);
}

} // namespace pwcheck
