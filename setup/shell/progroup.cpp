// The program group: moving some of the group's shortcuts into a subfolder, as the setup INI
// prescribes, and running the link finder of the link library in a folder the script names.
#include "shell/progroup.h"

#include "common/filehandles.h"
#include "common/handles.h"
#include "common/registry.h"
#include "frame/modulehandles.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kGroupSection[] = "Progman Group";

struct ProgramsLookup {
    HKEY hRoot;
    const char* key;
    const char* value;
};
// In order; the first that delivers a folder wins.
const ProgramsLookup kProgramsLookups[] = {
    {HKEY_LOCAL_MACHINE, PW_SHELL_FOLDERS_KEY, "Common Programs"},
    {HKEY_CURRENT_USER, PW_SHELL_FOLDERS_KEY, "Programs"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\Current Version\\Explorer\\Shell Folders",
     "Programs"},
};

typedef LONG(WINAPI* PFNFINDLINKS)(LONG first, LONG second);

bool zrReadFolderValue(const ProgramsLookup& lookup, char* folder) {
    CZRRegKey key;
    if (RegOpenKeyA(lookup.hRoot, lookup.key, key.Put()) != ERROR_SUCCESS) return false;
    return zrReadRegText(key.Get(), lookup.value, folder, PW_GROUP_TEXT_SIZE) && folder[0] != '\0';
}

// A group INI value; false when it filled the whole buffer, where it may have been cut.
bool zrReadGroupValue(LPCSTR key, LPCSTR iniPath, char* value) {
    DWORD n = GetPrivateProfileStringA(kGroupSection, key, "", value, PW_GROUP_TEXT_SIZE, iniPath);
    return n < PW_GROUP_TEXT_SIZE - 1;
}

// A subfolder name must name a folder of its own below the group. An empty name (a list that
// begins with a comma), "." or a name of dots and blanks, which Windows trims away, would make
// the group folder itself the destination, and each shortcut would be deleted before its move.
bool zrIsSubfolderName(const std::string& name) {
    if (name.find_first_of("\\/:") != std::string::npos) return false;
    return name.find_first_not_of(". ") != std::string::npos;
}

bool zrFits(const std::string& path) {
    return path.size() < PW_GROUP_TEXT_SIZE;
}

std::vector<std::string> zrSplitItems(const char* list) {
    std::vector<std::string> items;
    const char* start = list;
    for (;;) {
        const char* comma = std::strchr(start, ',');
        if (!comma) {
            items.emplace_back(start);
            return items;
        }
        items.emplace_back(start, static_cast<size_t>(comma - start));
        start = comma + 1;
    }
}

// Removes one trailing backslash, but keeps a drive's root ("C:\"): "C:" alone would name that
// drive's current directory instead.
void zrRemoveTrailingBackslash(char* path) {
    size_t len = std::strlen(path);
    if (len == 0 || path[len - 1] != '\\') return;
    if (len == 1 || (len == 3 && path[1] == ':')) return;
    path[len - 1] = '\0';
}

// Copies a folder into a 260-byte buffer; false when it does not fit with its terminator.
bool zrCopyFolder(LPCSTR folder, char* buffer) {
    if (!folder || std::strlen(folder) >= PW_PATH_SIZE) return false;
    zrCopyBounded(buffer, PW_PATH_SIZE, folder);
    zrRemoveTrailingBackslash(buffer);
    return true;
}

// False when the shortcut is there and could not be moved.
bool zrMoveShortcut(const std::string& group, const std::string& subfolder,
                    const std::string& item) {
    // A shortcut name cannot hold a path; such an item would reach outside the group.
    if (item.find_first_of("\\/:") != std::string::npos) {
        Trace("DLL_MakeSubfolders(): item '%s' is not a shortcut name\n", item.c_str());
        return true;
    }
    const std::string source = group + "\\" + item + ".lnk";
    const std::string destination = subfolder + "\\" + item + ".lnk";
    if (!zrFits(destination)) { // the destination is the longer of the two
        Trace("DLL_MakeSubfolders(): %s is too long\n", destination.c_str());
        return true;
    }
    WIN32_FIND_DATAA found;
    CZRFindFile search(FindFirstFileA(source.c_str(), &found));
    if (!search) return true;
    search.Close();
    DeleteFileA(destination.c_str());
    if (MoveFileA(source.c_str(), destination.c_str())) return true;
    Trace("DLL_MakeSubfolders(): %s not moved: ERROR %ld\n", source.c_str(), (long)GetLastError());
    return false;
}

} // namespace

bool zrFindProgramsFolder(char* folder) {
    for (const ProgramsLookup& lookup : kProgramsLookups)
        if (zrReadFolderValue(lookup, folder)) return true;
    folder[0] = '\0';
    return false;
}

PW_EXPORT DLL_MakeSubfolders(LPCSTR iniPath, LPCSTR prefix, LONG /*unused*/) {
    return zrGuarded(0, [&]() -> LONG {
        const std::string itemsKey = std::string(prefix ? prefix : "") + "SubFolderItems";
        char programs[PW_GROUP_TEXT_SIZE];
        if (!zrFindProgramsFolder(programs)) {
            Trace("DLL_MakeSubfolders(): no Programs folder\n");
            return 0;
        }
        if (!iniPath) return 1;

        char groupName[PW_GROUP_TEXT_SIZE];
        const bool groupWhole = zrReadGroupValue("GroupName", iniPath, groupName);
        const std::string group = std::string(programs) + "\\" + groupName;
        if (!groupWhole || !zrFits(group)) {
            Trace("DLL_MakeSubfolders(): group folder %s is too long\n", group.c_str());
            return 1;
        }

        char list[PW_GROUP_TEXT_SIZE];
        const bool listWhole = zrReadGroupValue(itemsKey.c_str(), iniPath, list);
        if (list[0] == '\0') return 1;
        std::vector<std::string> items = zrSplitItems(list);
        // The last item of a list that filled the buffer may be cut: it names some other shortcut.
        if (!listWhole) items.pop_back();
        if (items.empty()) return 1;

        if (!zrIsSubfolderName(items[0])) {
            Trace("DLL_MakeSubfolders(): '%s' names no subfolder; nothing moved\n",
                  items[0].c_str());
            return 1;
        }
        const std::string subfolder = group + "\\" + items[0];
        if (!zrFits(subfolder)) {
            Trace("DLL_MakeSubfolders(): subfolder %s is too long\n", subfolder.c_str());
            return 1;
        }
        CreateDirectoryA(subfolder.c_str(), nullptr);
        // A shortcut left behind is a failed call; the others are moved all the same.
        bool moved = true;
        for (size_t i = 1; i < items.size(); ++i)
            moved = zrMoveShortcut(group, subfolder, items[i]) && moved;
        return moved ? 1 : 0;
    });
}

PW_EXPORT DLL_FindLinks(LONG first, LONG second, LPCSTR libraryDir, LPCSTR workDir) {
    return zrGuarded(0, [&]() -> LONG {
        char library[PW_PATH_SIZE];
        if (!zrCopyFolder(libraryDir, library)) return 0;

        CZRCurrentDirectory current; // restored on every path below, after the library goes
        if (!current.Saved() || !current.ChangeTo(library)) {
            Trace("DLL_FindLinks(): cannot enter %s\n", library);
            return 0;
        }
        // By its bare name, so that the search finds it in the current directory first.
        CZRModule linker(LoadLibraryA(PW_LINK_LIBRARY));
        if (!linker) {
            Trace("DLL_FindLinks(): %s not loaded: ERROR %ld\n", PW_LINK_LIBRARY,
                  (long)GetLastError());
            return 0;
        }
        PFNFINDLINKS findLinks = zrProcAs<PFNFINDLINKS>(linker.Get(), "_ZRI_FindLinks@8");
        if (!findLinks) {
            Trace("DLL_FindLinks(): %s has no _ZRI_FindLinks@8\n", PW_LINK_LIBRARY);
            return 0;
        }
        char work[PW_PATH_SIZE];
        // A work folder that does not fit leaves the library folder current.
        if (zrCopyFolder(workDir, work) && !SetCurrentDirectoryA(work))
            Trace("DLL_FindLinks(): cannot enter %s\n", work);
        return findLinks(first, second);
    });
}
