// What the removal files share among themselves: path helpers and the shell's folders
// (paths.cpp), shared-DLL counts (registry.cpp), the entry lists of the script (script.cpp) and
// the next-start batch (defer.cpp writes its lines, startup.cpp registers it).
#ifndef PWUNINST_REMOVAL_H
#define PWUNINST_REMOVAL_H

#include "pwuninst.h"

#include <vector>

#include "common/handles.h"

// The batch that removes folders at the next start on 95/98, in the Windows directory.
inline constexpr char kBatchName[] = "DEL4720.BAT";
inline constexpr char kBatchHeader[] = "@ECHO OFF\r\n";

// ---- paths.cpp ----------------------------------------------------------------------------------
// The three folders a shortcut may lie below: the all-users set when the machine has one
// ("Common Programs" readable), else the user's. Empty texts when a value cannot be read.
struct ShellFolderSet {
    char startup[UN_PATH_SIZE];
    char desktop[UN_PATH_SIZE];
    char programs[UN_PATH_SIZE];
};
// 0 when neither set names a Programs folder.
int ReadShellFolderSet(ShellFolderSet& out);

// 1 for a folder that is never removed, now or at the next start: the paths IsProtectedPath
// names, and the shell's own folders (desktop, Start Menu, Programs, Startup; the user's and
// the machine's), compared in their short forms without regard to case.
int IsKeptFolder(const char* folder);

// DIR\NAME, with no second backslash after a drive root; false when it does not fit.
bool JoinPath(const char* dir, const char* name, char (&out)[UN_PATH_SIZE]);
// W\NAME, W being the Windows directory.
bool WindowsFile(const char* name, char (&out)[UN_PATH_SIZE]);
// The 8.3 form of an existing path, or false.
bool ShortForm(const char* path, char (&out)[UN_PATH_SIZE]);
// False for a path that holds what the command interpreter reads as syntax or as the end of an
// argument: in a batch line it could run something else, or remove another folder.
bool SafeForBatch(const char* path);

// ---- registry.cpp -------------------------------------------------------------------------------
// Deletes a shared-DLL count, leaving the SharedDLLs key in place.
void DropSharedCount(const char* path);

// ---- script.cpp ---------------------------------------------------------------------------------
// An entry list (already expanded) in `list`, the sentinel turned into an empty list.
void ReadEntries(const char* section, std::vector<char>& list);

#endif
