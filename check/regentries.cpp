// A registry-entry section file, read as DLL_AddRegEntries reads it: each key expanded, split
// and converted by the setup library's own routines.
#include "checks.h"

#include "frame/zrregistry.h"

#include <cstring>

namespace pwcheck {

namespace {

void CheckEntry(const Source& source, const IniSection& section, const IniKey& key,
                Findings& findings) {
    const char* ini = source.windowsPath.c_str();
    if (key.name.size() > PW_ENTRY_KEY_SIZE - 1) {
        findings.Error(source.name, key.line,
                       "the key is longer than " + std::to_string(PW_ENTRY_KEY_SIZE - 1) +
                           " characters: the entry is skipped");
        return;
    }
    char text[PW_ENTRY_KEY_SIZE];
    std::strcpy(text, key.name.c_str());
    const ZrExpansion done = ExpandIniPlaceholder(text, sizeof text, ini);
    if (done.outcome == ZrExpansion::NameAbsent)
        findings.Error(source.name, key.line,
                       Quoted("%" + std::string(done.name) + "%") +
                           " is not in [Strings]: the key ends where it stood");
    else if (done.outcome == ZrExpansion::TooLong) {
        findings.Error(source.name, key.line,
                       Quoted("%" + std::string(done.name) + "%") + " expands past " +
                           std::to_string(PW_PLACEHOLDER_SIZE - 1) +
                           " characters: the entry is skipped");
        return;
    }
    LPSTR root, subkey, valueName, typeText;
    if (!ParseRegEntryKey(text, &root, &subkey, &valueName, &typeText)) {
        findings.Error(source.name, key.line,
                       "a registry entry is ROOT,SUBKEY,VALUE NAME,TYPE=DATA: with fewer than "
                       "three commas it is skipped");
        return;
    }
    const LONG rootValue = zrDecimalWrapped(root);
    if (!IsPredefinedRoot(rootValue))
        findings.Error(source.name, key.line,
                       "root " + Quoted(root) + " is no predefined key (2147483650 or "
                       "-2147483646 HKEY_LOCAL_MACHINE, -2147483647 HKEY_CURRENT_USER)");
    const DWORD type = static_cast<DWORD>(zrDecimalWrapped(typeText));
    if (type != REG_SZ && type != REG_DWORD && type != REG_MULTI_SZ)
        findings.Error(source.name, key.line,
                       "type " + Quoted(typeText) + " is unknown: only 1 (text), 4 (number) and 7 "
                       "(list) are written, so nothing is");
    if (std::strlen(subkey) > PW_PATH_SIZE - 1)
        findings.Error(source.name, key.line,
                       "the subkey is longer than " + std::to_string(PW_PATH_SIZE - 1) +
                           " characters: its path is not created");

    // The data as the library reads it: 260 bytes, its placeholder expanded.
    if (key.value.size() > PW_PATH_SIZE - 1)
        findings.Error(source.name, key.line,
                       "the data is longer than " + std::to_string(PW_PATH_SIZE - 1) +
                           " characters: it is read cut");
    char data[PW_PATH_SIZE + 2];
    ReadIniExpanded(section.name.c_str(), key.name.c_str(), "", data, PW_PATH_SIZE, ini);
    if (data[0] == '\0') {
        char raw[PW_EXPAND_SIZE];
        std::snprintf(raw, sizeof raw, "%s", key.value.c_str());
        const ZrExpansion dataDone = ExpandIniPlaceholder(raw, sizeof raw, ini);
        std::string why = "the data is empty";
        if (dataDone.outcome == ZrExpansion::NameAbsent)
            why = Quoted("%" + std::string(dataDone.name) + "%") + " is not in [Strings], so the "
                  "data is empty";
        else if (dataDone.outcome == ZrExpansion::TooLong)
            why = Quoted("%" + std::string(dataDone.name) + "%") + " expands past " +
                  std::to_string(PW_PLACEHOLDER_SIZE - 1) + " characters, so the data is empty";
        findings.Error(source.name, key.line, why + ": the entry is skipped");
        return;
    }
    if (type == REG_DWORD) {
        const char* p = data;
        if (*p == '+' || *p == '-') ++p;
        bool digits = *p != '\0';
        for (; *p; ++p)
            digits = digits && *p >= '0' && *p <= '9';
        if (!digits)
            findings.Error(source.name, key.line,
                           Quoted(data) + " is no decimal number: the value is written as " +
                               std::to_string(static_cast<DWORD>(zrDecimalWrapped(data))));
    }
}

} // namespace

void CheckRegEntries(const Source& source, Findings& findings) {
    // "Strings" values are read into the placeholder's 128 bytes.
    CheckStringsValues(source, PW_PLACEHOLDER_SIZE - 1, findings);
    for (const IniSection& section : source.lines.Sections()) {
        if (section.firstLine != section.line || SameName(section.name, "Strings")) continue;
        size_t used = 0;
        for (const IniKey& key : section.keys) {
            if (key.firstLine != key.line) continue;
            used += key.name.size() + 1;
            if (used >= PW_KEY_LIST_SIZE - 2) {
                findings.Error(source.name, key.line,
                               "[" + section.name + "]'s key list passes " +
                                   std::to_string(PW_KEY_LIST_SIZE) +
                                   " bytes here: this entry and those after it are never read");
                break;
            }
            CheckEntry(source, section, key, findings);
        }
    }
}

} // namespace pwcheck
