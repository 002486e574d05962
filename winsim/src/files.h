// What the files family (files/) offers the other families: the current directory, full paths,
// 8.3 names and the process's file handles.
#ifndef WINSIM_FILES_H
#define WINSIM_FILES_H

#include "devices.h"
#include "internal.h"

namespace winsim {

// The process's current directory ("C:\", "C:\KV"): machine.ini [machine] cwd when the
// process starts, C:\ without it; SetCurrentDirectoryA changes it for this process only.
std::string CurrentDirectory();
// A Windows path made absolute against the current directory, "." and ".." resolved, no
// trailing backslash except on a drive's root ("C:\"). Empty for a path without a drive.
std::string FullWindowsPath(const std::string& path);
// The entry of a host folder that a path component names: the entry so named (exactly, else
// without regard to case), or the one whose 8.3 name it is ("PROGRA~1"), as every Windows call
// accepts a path in its short form; `name` itself when there is none.
std::string EntryNamed(const std::string& hostDir, const std::string& name);

// The port behind a file handle; null for a disk file or a handle that is no file handle.
PortDevice* PortOfHandle(HANDLE h);
// Whether `h` is a handle that CreateFileA, OpenFile or _lopen gave, still open.
bool IsFileHandle(HANDLE h);
// Closes such a handle; false when `h` is none of them.
bool CloseFileHandle(HANDLE h);
// Whether a file handle of the process has this host file open.
bool IsHostFileOpen(const std::string& hostPath);
// Whether the process's open handles let another opener read (and, with `write`, write) this host
// file, as the profile calls open their files.
bool HostFileShareable(const std::string& hostPath, bool write);

} // namespace winsim

#endif
