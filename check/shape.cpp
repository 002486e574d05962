// What every profile file shares, and what tells the kinds of file apart.
#include "checks.h"

#include <cstring>

namespace pwcheck {

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::UninstallScript: return "uninstall";
    case Kind::SetupInf: return "inf";
    case Kind::RegEntries: return "regentries";
    case Kind::CallScript: return "calls";
    case Kind::Unknown: break;
    }
    return "unknown";
}

bool ParseKind(const std::string& text, Kind* kind) {
    for (Kind k : {Kind::UninstallScript, Kind::SetupInf, Kind::RegEntries, Kind::CallScript})
        if (text == KindName(k)) {
            *kind = k;
            return true;
        }
    return false;
}

Kind DetectKind(const std::string& name, const IniLines& lines) {
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && SameName(name.substr(dot), ".calls")) return Kind::CallScript;
    if (lines.Find("Components")) return Kind::UninstallScript;
    for (const IniSection& section : lines.Sections())
        if (lines.FindKey(section.name, "Driver") || lines.FindKey(section.name, "Device"))
            return Kind::SetupInf;
    for (const IniSection& section : lines.Sections()) {
        if (SameName(section.name, "Strings")) continue;
        for (const IniKey& key : section.keys) {
            const char* p = key.name.c_str();
            int commas = 0;
            for (; *p; ++p)
                commas += *p == ',';
            if (commas >= 3) return Kind::RegEntries;
        }
    }
    return Kind::Unknown;
}

bool IsPredefinedRoot(long root) {
    // HKEY_CLASSES_ROOT (0x80000000) to HKEY_DYN_DATA (0x80000006), as signed 32-bit numbers
    // or as their unsigned spelling.
    const long value = static_cast<long>(static_cast<int32_t>(static_cast<uint32_t>(root)));
    return value >= -2147483647L - 1 && value <= -2147483642L;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void CheckProfileShape(const Source& source, Findings& findings) {
    for (int line : source.lines.Stray())
        findings.Error(source.name, line, "a line before the first section: no section holds it, "
                                          "so nothing reads it");
    for (const IniSection& section : source.lines.Sections()) {
        for (size_t i = 0; i < section.bareLines.size(); ++i)
            findings.Error(source.name, section.bareLines[i],
                           Quoted(section.bare[i]) + " has no \"=\": Windows lists only lines "
                           "with \"=\" as keys, so it is never read");
        if (section.firstLine != section.line) {
            const std::string text = "section [" + section.name + "] again (first at line " +
                                     std::to_string(section.firstLine) + "): only the first counts";
            if (section.keys.empty())
                findings.Warning(source.name, section.line, text);
            else
                findings.Error(source.name, section.line,
                               text + ", so " + std::to_string(section.keys.size()) +
                                   (section.keys.size() == 1 ? " key below it is"
                                                             : " keys below it are") +
                                   " never read");
            continue;
        }
        for (const IniKey& key : section.keys)
            if (key.firstLine != key.line)
                findings.Warning(source.name, key.line,
                                 "key " + Quoted(key.name) + " again in [" + section.name +
                                     "] (first at line " + std::to_string(key.firstLine) +
                                     "): only the first counts");
    }
}

void CheckStringsValues(const Source& source, size_t longest, Findings& findings) {
    const IniSection* strings = source.lines.Find("Strings");
    if (!strings) return;
    for (const IniKey& key : strings->keys)
        if (key.firstLine == key.line && key.value.size() > longest)
            findings.Error(source.name, key.line,
                           "the value of " + Quoted(key.name) + " is longer than " +
                               std::to_string(longest) + " characters: it is read cut");
}

} // namespace pwcheck
