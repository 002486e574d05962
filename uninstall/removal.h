// What the removal routines share among themselves: the shell's folders and the folders that
// pruning and the next-start deletions leave alone.
#ifndef PWUNINST_REMOVAL_H
#define PWUNINST_REMOVAL_H

#include "pwuninst.h"

enum {
    UN_KEY_ACCESS = KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, // 0x2001F
};

#define UN_SHELL_FOLDERS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"

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

// Deletes a shared-DLL count, leaving the SharedDLLs key in place.
void DropSharedCount(const char* path);

// Copies src into dest when it fits whole (dest unchanged otherwise).
bool zrCopyWhole(char* dest, size_t size, const char* src);

#endif
