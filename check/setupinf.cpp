// A setup INF's install sections, read as PWSETUP's printer objects read them: each key with the
// buffer its reader gives it, the delimited name-and-file values and the "Strings" placeholders
// through the library's own routines.
#include "checks.h"

#include "printer/inf.h"

#include <cstring>

namespace pwcheck {

namespace {

// The keys of an install section with the longest value their reader takes; a longer value is
// cut to that length when read.
const struct {
    const char* key;
    size_t longest;
} kInstallKeys[] = {
    {"Attributes", 15},       {"Driver", 31},          {"DataFile", 31},
    {"ConfigFile", 31},       {"HelpFile", 31},        {"Environment", 31},
    {"DependentFiles", 1023}, {"DefaultDataType", 31}, {"DrvVersion", 127},
    {"PrintProcessorParam", 31},
};
const char* const kDelimitedKeys[] = {"LanguageMonitor", "PrintProcessor", "PortMonitor"};

enum {
    PW_PRINTER_NAME_LONGEST = 31, // "device" as the printer's name
    PW_DRIVER_NAME_LONGEST = 63,  // "Device" as the driver's name, once translated
    UN_DRIVER_NAME_LONGEST = 49,  // what the uninstaller's 50-byte driver names hold
};

bool IsInstallSection(const IniLines& lines, const IniSection& section) {
    return section.firstLine == section.line &&
           (lines.FindKey(section.name, "Driver") || lines.FindKey(section.name, "Device"));
}

void CheckHex(const Source& source, const IniKey& key, Findings& findings) {
    std::string digits = key.value;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            findings.Warning(source.name, key.line,
                             Quoted(key.value) + " is read as hexadecimal: " + Quoted(std::string(1, c)) +
                                 " counts as 0");
            return;
        }
    if (digits.size() > 8)
        findings.Warning(source.name, key.line,
                         Quoted(key.value) + " has more than eight digits: only the last eight count");
}

void CheckInstallSection(const Source& source, const IniSection& section, Findings& findings) {
    const std::string path = source.windowsPath;
    for (const auto& k : kInstallKeys) {
        const IniKey* key = source.lines.FindKey(section.name, k.key);
        if (!key) continue;
        if (key->value.size() > k.longest)
            findings.Error(source.name, key->line,
                           std::string(k.key) + " is " + std::to_string(key->value.size()) +
                               " characters long: the setup library reads " +
                               std::to_string(k.longest) + " and cuts the rest");
    }
    for (const char* hex : {"Attributes", "DrvVersion"})
        if (const IniKey* key = source.lines.FindKey(section.name, hex)) CheckHex(source, *key, findings);
    if (const IniKey* env = source.lines.FindKey(section.name, "Environment"))
        if (!env->value.empty() && env->value != "Windows NT x86" && env->value != "Windows 4.0")
            findings.Error(source.name, env->line,
                           "the spooler knows no environment " + Quoted(env->value) +
                               " (\"Windows NT x86\" or \"Windows 4.0\")");

    // "device" and "Device" are one key: the printer's name as written, the driver's translated.
    if (const IniKey* device = source.lines.FindKey(section.name, "Device")) {
        if (device->value.size() > PW_PRINTER_NAME_LONGEST)
            findings.Error(source.name, device->line,
                           "the printer's name is cut to " +
                               std::to_string(PW_PRINTER_NAME_LONGEST) + " characters: " +
                               Quoted(device->value.substr(0, PW_PRINTER_NAME_LONGEST)));
        std::string driver = device->value.substr(0, PW_DRIVER_NAME_LONGEST);
        const bool placeholder = !driver.empty() && driver.front() == '%' && driver.back() == '%';
        if (placeholder) {
            if (!zrTranslateStringPlaceholder(&driver, path))
                findings.Error(source.name, device->line,
                               Quoted(device->value) + " is not in [Strings]: the driver gets no "
                               "name and is not installed");
            findings.Warning(source.name, device->line,
                             "the printer is named " + Quoted(device->value) +
                                 " as written: printer names are not translated");
        }
        if (driver.size() > PW_DRIVER_NAME_LONGEST)
            findings.Error(source.name, device->line,
                           "the driver's name is cut to " + std::to_string(PW_DRIVER_NAME_LONGEST) +
                               " characters");
        else if (driver.size() > UN_DRIVER_NAME_LONGEST)
            findings.Warning(source.name, device->line,
                             "the driver's name has " + std::to_string(driver.size()) +
                                 " characters: the uninstaller keeps drivers whose names have 50 "
                                 "or more");
    }

    const std::string sectionName = section.name;
    for (const char* k : kDelimitedKeys) {
        const IniKey* key = source.lines.FindKey(section.name, k);
        if (!key) continue;
        // Only the comment after ";" may be cut: the name and file stand before it.
        const size_t semicolon = key->value.find(';');
        const size_t needed = semicolon == std::string::npos ? key->value.size() : semicolon;
        if (needed > PW_INF_VALUE_SIZE - 1) {
            findings.Error(source.name, key->line,
                           std::string(k) + " is " + std::to_string(key->value.size()) +
                               " characters long: the setup library reads " +
                               std::to_string(PW_INF_VALUE_SIZE - 1) + " and cuts the rest");
            continue;
        }
        std::string name, file;
        if (GetDelimitedPrinterObject(&path, &sectionName, k, "", &name, &file)) continue;
        const size_t comma = key->value.find(',');
        std::string written = comma == std::string::npos ? "" : key->value.substr(0, comma);
        while (!written.empty() && (written.back() == ' ' || written.back() == '\t'))
            written.pop_back();
        if (!written.empty() && written[0] == '%' && name.empty())
            findings.Error(source.name, key->line,
                           Quoted(written) + " is not in [Strings]: the " + k +
                               " is not installed");
        else
            findings.Error(source.name, key->line,
                           std::string(k) + " is \"NAME, FILE\" (a comment after \";\"): " +
                               (name.empty() ? "the name" : "the file") +
                               " is missing, so it is not installed");
    }
}

} // namespace

void CheckSetupInf(const Source& source, Findings& findings) {
    bool any = false;
    for (const IniSection& section : source.lines.Sections())
        if (IsInstallSection(source.lines, section)) {
            any = true;
            CheckInstallSection(source, section, findings);
        }
    if (!any)
        findings.Error(source.name, 0, "no install section (one with \"Device\" and \"Driver\")");
    CheckStringsValues(source, PW_INF_STRING_SIZE - 1, findings);
}

} // namespace pwcheck
