// NT's profile mapping: the sections of profile files that
// HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\IniFileMapping sends to the registry.
//
// Under the mapping key, a key named as a file (its name only; the folder does not count) maps
// sections of that file. In it, a value named as a section names the registry key that holds the
// section's entries as REG_SZ values; a subkey named as a section maps entry by entry (a value
// per entry name, its unnamed value for every other entry, else those stay in the file); failing
// both, the file key's unnamed value names a key below which each section has a key of its
// name. A location is "USR:path" (below HKEY_CURRENT_USER) or "SYS:path" (below
// HKEY_LOCAL_MACHINE\SOFTWARE), after any of the flags '!' (writes go to the file as well), '#'
// (a new user's first logon copies the file's values; nothing to do once a machine runs) and '@'
// (what the registry lacks is not looked for in the file).
#ifndef WINSIM_INIMAPPING_H
#define WINSIM_INIMAPPING_H

#include "internal.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace winsim {

struct IniLocation {
    std::string key; // rooted registry path
    bool writeFileToo = false;
    bool registryOnly = false;
};

class IniSectionMap {
  public:
    // The mapping of `section` of the profile file `fileName` (null: WIN.INI) on this machine;
    // false when the file holds the section (always on 95/98).
    static bool Find(LPCSTR fileName, const std::string& section, IniSectionMap* out);

    // Where the entry `name` is kept; null when the file keeps it.
    const IniLocation* For(const std::string& name) const;
    // The section's entries that the registry holds (text values only), mapped names first.
    std::vector<std::pair<std::string, std::string>> Entries() const;
    // The file takes part in reading the section: some entries stay there, or the registry has
    // none of them and no '@' forbids looking.
    bool FileHoldsSome() const { return m_byName && !m_others; }
    bool MayReadFile() const;
    bool WritesFileToo() const;

    static bool Get(const IniLocation& at, const std::string& name, std::string* value);
    static void Set(const IniLocation& at, const std::string& name, const std::string& value);
    static bool Delete(const IniLocation& at, const std::string& name);
    // Takes every entry of the section out of the registry (its keys stay).
    void Clear() const;

  private:
    bool m_byName = false;
    std::optional<IniLocation> m_others; // the section's key, or (by name) the key of names not listed
    std::vector<std::pair<std::string, IniLocation>> m_names;
};

// Whether NT's mapping has a key for the file (false on 95/98).
bool IniFileIsMapped(LPCSTR fileName);
// The sections that the mapping names for a file, in the mapping key's order.
std::vector<std::string> MappedSectionNames(LPCSTR fileName);

// A fresh NT 4.0 machine: NT's mapping keys, and what the fresh WIN.INI and SYSTEM.INI hold in
// mapped sections moved to where the mapping keeps it, as NT's setup leaves them.
void SeedIniFileMapping();

} // namespace winsim

#endif
