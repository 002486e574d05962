// The checks of each kind of file the product reads. Each reads the file the way PWSETUP or
// PWUNINST does, through their own routines on the checker's machine, and reports with the line
// what they would skip, cut or misread.
#ifndef PWCHECK_CHECKS_H
#define PWCHECK_CHECKS_H

#include "findings.h"
#include "inilines.h"

#include <string>

namespace pwcheck {

enum class Kind { Unknown, UninstallScript, SetupInf, RegEntries, CallScript };

const char* KindName(Kind kind); // "uninstall", "inf", "regentries", "calls"
bool ParseKind(const std::string& text, Kind* kind);
// What a file is, from its name and sections: Unknown when nothing tells.
Kind DetectKind(const std::string& name, const IniLines& lines);

struct Source {
    std::string name;        // as the user named it, for the findings
    std::string text;        // the file's bytes
    std::string windowsPath; // where it lies on the checker's machine
    IniLines lines;
};

// What every profile file shares: lines no section holds, lines without "=", sections and keys
// that come again.
void CheckProfileShape(const Source& source, Findings& findings);
// The values of the "Strings" section (any case) that the reader cuts at `longest` characters:
// a cut value names another path.
void CheckStringsValues(const Source& source, size_t longest, Findings& findings);
void CheckUninstallScript(const Source& source, Findings& findings);
void CheckSetupInf(const Source& source, Findings& findings);
void CheckRegEntries(const Source& source, Findings& findings);
void CheckCallScript(const Source& source, Findings& findings);

// A registry root written as a number names one of the predefined keys.
bool IsPredefinedRoot(long root);
// "%NAME%", for messages.
std::string Quoted(const std::string& text);

} // namespace pwcheck

#endif
