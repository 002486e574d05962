// NT's profile mapping (inimapping.h): finding a section's registry home, reading and writing
// entries there, and the mapping a fresh NT 4.0 machine has.
#include "inimapping.h"

#include <cstring>

namespace winsim {

namespace {

const char kMappingKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping";

bool StartsWithI(const std::string& s, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return s.size() >= n && IEquals(s.substr(0, n), prefix);
}

// The mapping's key for a file, which it looks up by the file's name alone; false on 95/98 and
// for a path without a name.
bool FileKeyOf(LPCSTR fileName, std::string* key) {
    std::string name = fileName ? fileName : "WIN.INI";
    const size_t cut = name.find_last_of("\\/:");
    if (cut != std::string::npos) name = name.substr(cut + 1);
    if (!IsNT() || name.empty()) return false;
    *key = std::string(kMappingKey) + "\\" + name;
    return true;
}

// REG_SZ data as text, up to its first NUL; false for any other type.
bool TextOf(const SysValue& v, std::string* text) {
    if (v.type != REG_SZ) return false;
    const char* data = reinterpret_cast<const char*>(v.data.data());
    text->assign(data, strnlen(data, v.data.size()));
    return true;
}

const SysValue* Named(const std::vector<SysValue>& values, const std::string& name) {
    for (const SysValue& v : values)
        if (IEquals(v.name, name)) return &v;
    return nullptr;
}

// "[!#@]*USR:path" or "[!#@]*SYS:path"; false for any other text, which maps nothing.
bool ParseLocation(const std::string& text, IniLocation* out) {
    size_t i = 0;
    IniLocation at;
    for (; i < text.size(); ++i) {
        if (text[i] == '!')
            at.writeFileToo = true;
        else if (text[i] == '@')
            at.registryOnly = true;
        else if (text[i] != '#')
            break;
    }
    const std::string rest = text.substr(i);
    if (StartsWithI(rest, "USR:"))
        at.key = "HKEY_CURRENT_USER\\" + rest.substr(4);
    else if (StartsWithI(rest, "SYS:"))
        at.key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + rest.substr(4);
    else
        return false;
    while (!at.key.empty() && at.key.back() == '\\')
        at.key.pop_back();
    *out = at;
    return true;
}

bool LocationValue(const std::vector<SysValue>& values, const std::string& name,
                   IniLocation* out) {
    std::string text;
    const SysValue* v = Named(values, name);
    return v && TextOf(*v, &text) && ParseLocation(text, out);
}

} // namespace

bool IniSectionMap::Find(LPCSTR fileName, const std::string& section, IniSectionMap* out) {
    // Every profile call on NT asks: a file the mapping has no key for is remembered (the last
    // one asked), while the registry does not change.
    // Never destroyed: the machine's close hook may read a profile at exit.
    struct Unmapped {
        uint64_t changes = 0;
        std::string name; // empty: none remembered
    };
    static Unmapped& unmapped = *new Unmapped;
    const char* name = fileName ? fileName : "WIN.INI";
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    if (!unmapped.name.empty() && unmapped.changes == SysRegistryChanges() &&
        IEquals(unmapped.name, name))
        return false;
    std::string fileKey;
    std::vector<SysValue> fileValues;
    if (section.empty() || !FileKeyOf(fileName, &fileKey)) return false;
    if (!SysValues(fileKey, &fileValues)) {
        unmapped.changes = SysRegistryChanges();
        unmapped.name = name;
        return false;
    }
    IniSectionMap map;
    IniLocation at;
    std::vector<SysValue> byName;
    if (LocationValue(fileValues, section, &at)) {
        map.m_others = at;
    } else if (SysValues(fileKey + "\\" + section, &byName)) {
        map.m_byName = true;
        for (const SysValue& v : byName) {
            if (v.name.empty()) continue;
            if (LocationValue(byName, v.name, &at)) map.m_names.emplace_back(v.name, at);
        }
        if (LocationValue(byName, "", &at)) map.m_others = at;
    } else if (LocationValue(fileValues, "", &at)) {
        at.key += "\\" + section;
        map.m_others = at;
    } else {
        return false;
    }
    *out = std::move(map);
    return true;
}

const IniLocation* IniSectionMap::For(const std::string& name) const {
    for (const auto& n : m_names)
        if (IEquals(n.first, name)) return &n.second;
    return m_others ? &*m_others : nullptr;
}

std::vector<std::pair<std::string, std::string>> IniSectionMap::Entries() const {
    std::vector<std::pair<std::string, std::string>> out;
    auto seen = [&](const std::string& name) {
        for (const auto& e : out)
            if (IEquals(e.first, name)) return true;
        return false;
    };
    std::string text;
    for (const auto& n : m_names)
        if (Get(n.second, n.first, &text)) out.emplace_back(n.first, text);
    std::vector<SysValue> values;
    if (m_others && SysValues(m_others->key, &values)) {
        for (const SysValue& v : values)
            if (!v.name.empty() && TextOf(v, &text) && !seen(v.name) &&
                (!m_byName || For(v.name) == &*m_others))
                out.emplace_back(v.name, text);
    }
    return out;
}

bool IniSectionMap::MayReadFile() const {
    if (FileHoldsSome()) return true;
    if (m_others && m_others->registryOnly) return false;
    return Entries().empty();
}

bool IniSectionMap::WritesFileToo() const {
    if (FileHoldsSome() || (m_others && m_others->writeFileToo)) return true;
    for (const auto& n : m_names)
        if (n.second.writeFileToo) return true;
    return false;
}

bool IniSectionMap::Get(const IniLocation& at, const std::string& name, std::string* value) {
    std::vector<SysValue> values;
    if (!SysValues(at.key, &values)) return false;
    const SysValue* v = Named(values, name);
    return v && TextOf(*v, value);
}

void IniSectionMap::Set(const IniLocation& at, const std::string& name, const std::string& value) {
    std::vector<uint8_t> data(value.begin(), value.end());
    data.push_back(0);
    // A value of another spelling keeps its name, as the registry does.
    std::vector<SysValue> values;
    const SysValue* v = SysValues(at.key, &values) ? Named(values, name) : nullptr;
    SysSetValue(at.key, v ? v->name : name, REG_SZ, data);
}

bool IniSectionMap::Delete(const IniLocation& at, const std::string& name) {
    std::vector<SysValue> values;
    const SysValue* v = SysValues(at.key, &values) ? Named(values, name) : nullptr;
    return v && SysDeleteValue(at.key, v->name);
}

void IniSectionMap::Clear() const {
    for (const auto& e : Entries()) {
        const IniLocation* at = For(e.first);
        if (at) Delete(*at, e.first);
    }
}

bool IniFileIsMapped(LPCSTR fileName) {
    std::string fileKey;
    std::vector<SysValue> values;
    return FileKeyOf(fileName, &fileKey) && SysValues(fileKey, &values);
}

std::vector<std::string> MappedSectionNames(LPCSTR fileName) {
    std::vector<std::string> names;
    std::string fileKey;
    std::vector<SysValue> values;
    if (!FileKeyOf(fileName, &fileKey) || !SysValues(fileKey, &values)) return names;
    IniLocation at;
    for (const SysValue& v : values)
        if (!v.name.empty() && LocationValue(values, v.name, &at)) names.push_back(v.name);
    std::vector<std::string> subkeys;
    SysSubkeys(fileKey, &subkeys);
    for (const std::string& s : subkeys) {
        bool listed = false;
        for (const std::string& n : names)
            listed = listed || IEquals(n, s);
        if (!listed) names.push_back(s);
    }
    return names;
}

// ---- a fresh NT 4.0 machine -------------------------------------------------------------------

namespace {

struct MappingEntry {
    const char* file;
    const char* section; // a subkey's name when `name` is set
    const char* name;    // null: the section's own value; "": the subkey's unnamed value
    const char* location;
};

#define NTCV_SYS "SYS:Microsoft\\Windows NT\\CurrentVersion\\"
#define NTCV_USR "USR:Software\\Microsoft\\Windows NT\\CurrentVersion\\"

// NT 4.0's mapping of WIN.INI and SYSTEM.INI: WIN.INI's per-user sections below the user's
// Control Panel and CurrentVersion keys, the machine's below SOFTWARE; [windows] entry by entry
// (the Control Panel's settings apart); SYSTEM.INI's sections of the 16-bit subsystem below WOW.
const MappingEntry kFreshMapping[] = {
    {"win.ini", "Colors", nullptr, "USR:Control Panel\\Colors"},
    {"win.ini", "Compatibility", nullptr, NTCV_SYS "Compatibility"},
    {"win.ini", "Desktop", nullptr, "USR:Control Panel\\Desktop"},
    {"win.ini", "Devices", nullptr, NTCV_USR "Devices"},
    {"win.ini", "Embedding", nullptr, NTCV_SYS "Embedding"},
    {"win.ini", "Extensions", nullptr, NTCV_USR "Extensions"},
    {"win.ini", "FontSubstitutes", nullptr, NTCV_SYS "FontSubstitutes"},
    {"win.ini", "Fonts", nullptr, NTCV_SYS "Fonts"},
    {"win.ini", "Intl", nullptr, "USR:Control Panel\\International"},
    {"win.ini", "MCI Extensions", nullptr, NTCV_SYS "MCI Extensions"},
    {"win.ini", "Network", nullptr, "USR:Network\\Persistent Connections"},
    {"win.ini", "Ports", nullptr, NTCV_SYS "Ports"},
    {"win.ini", "PrinterPorts", nullptr, NTCV_USR "PrinterPorts"},
    {"win.ini", "Sounds", nullptr, "USR:Control Panel\\Sounds"},
    {"win.ini", "TrueType", nullptr, NTCV_USR "TrueType"},
    {"win.ini", "Windows", "", NTCV_USR "Windows"},
    {"win.ini", "Windows", "BorderWidth", "USR:Control Panel\\Desktop"},
    {"win.ini", "Windows", "CursorBlinkRate", "USR:Control Panel\\Desktop"},
    {"win.ini", "Windows", "DoubleClickSpeed", "USR:Control Panel\\Mouse"},
    {"win.ini", "Windows", "KeyboardDelay", "USR:Control Panel\\Keyboard"},
    {"win.ini", "Windows", "KeyboardSpeed", "USR:Control Panel\\Keyboard"},
    {"win.ini", "Windows", "MouseSpeed", "USR:Control Panel\\Mouse"},
    {"win.ini", "Windows", "MouseThreshold1", "USR:Control Panel\\Mouse"},
    {"win.ini", "Windows", "MouseThreshold2", "USR:Control Panel\\Mouse"},
    {"win.ini", "Windows", "ScreenSaveActive", "USR:Control Panel\\Desktop"},
    {"win.ini", "Windows", "ScreenSaveTimeOut", "USR:Control Panel\\Desktop"},
    {"win.ini", "Windows", "SwapMouseButtons", "USR:Control Panel\\Mouse"},
    {"system.ini", "boot", nullptr, NTCV_SYS "WOW\\boot"},
    {"system.ini", "boot.description", nullptr, NTCV_SYS "WOW\\boot.description"},
    {"system.ini", "drivers32", nullptr, NTCV_SYS "Drivers32"},
    {"system.ini", "keyboard", nullptr, NTCV_SYS "WOW\\keyboard"},
    {"system.ini", "mci", nullptr, NTCV_SYS "MCI"},
    {"system.ini", "mci32", nullptr, NTCV_SYS "MCI32"},
    {"system.ini", "NonWindowsApp", nullptr, NTCV_SYS "WOW\\NonWindowsApp"},
    {"system.ini", "standard", nullptr, NTCV_SYS "WOW\\standard"},
};

#undef NTCV_SYS
#undef NTCV_USR

std::vector<uint8_t> Text(const char* s) {
    return std::vector<uint8_t>(s, s + std::strlen(s) + 1);
}

// Moves the mapped sections of a fresh profile file to the registry; what the registry already
// holds stays. Entries that the mapping leaves in the file stay there.
void MoveMappedSections(const char* fileName) {
    const std::string host = ResolvePath(fileName, true);
    std::string text;
    if (host.empty() || !ReadWholeFile(host, &text)) return;
    IniFile ini;
    ini.Parse(text);
    for (const std::string& section : ini.Sections()) {
        IniSectionMap map;
        if (!IniSectionMap::Find(fileName, section, &map)) continue;
        std::string ignored;
        for (const auto& e : ini.Entries(section)) {
            const IniLocation* at = map.For(e.first);
            if (!at) continue;
            if (!IniSectionMap::Get(*at, e.first, &ignored)) IniSectionMap::Set(*at, e.first, e.second);
            ini.DeleteKey(section, e.first);
        }
        if (ini.Entries(section).empty()) ini.DeleteSection(section);
    }
    WriteFileAtomic(host, ini.Text());
}

} // namespace

void SeedIniFileMapping() {
    for (const MappingEntry& m : kFreshMapping) {
        std::string key = std::string(kMappingKey) + "\\" + m.file;
        if (m.name) key += std::string("\\") + m.section;
        SysSetValue(key, m.name ? m.name : m.section, REG_SZ, Text(m.location));
    }
    MoveMappedSections("WIN.INI");
    MoveMappedSections("SYSTEM.INI");
}

} // namespace winsim
