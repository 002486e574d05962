// The program group: subfolders of the group's shortcuts, and the link finder of the link library.
#ifndef PWSETUP_SHELL_PROGROUP_H
#define PWSETUP_SHELL_PROGROUP_H

#include "frame/pwsetup.h"

enum {
    PW_GROUP_TEXT_SIZE = 256, // the group's INI values and every path built from them
};

#define PW_LINK_LIBRARY "pwlink32.dll"

// Finds the Programs folder: the all-users folder where there is one, else the user's. False
// when no look-up delivers a folder; `folder` holds PW_GROUP_TEXT_SIZE bytes.
bool zrFindProgramsFolder(char* folder);

PW_EXPORT DLL_MakeSubfolders(LPCSTR iniPath, LPCSTR prefix, LONG unused);
PW_EXPORT DLL_FindLinks(LONG first, LONG second, LPCSTR libraryDir, LPCSTR workDir);

#endif
