#include "support/machine_fixture.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

DWORD Err() {
    return GetLastError();
}

HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::vector<std::string> FindAll(const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    return names;
}

// The find data of the first entry a pattern matches ("." for "C:\\DIR\\*.*").
WIN32_FIND_DATAA FirstFound(const char* pattern) {
    WIN32_FIND_DATAA fd{};
    HANDLE h = FindFirstFileA(pattern, &fd);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << pattern;
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    return fd;
}

// Whether the host's file system records when a file was made (statx's birth time); where it
// does not, a folder's time is its last change as the machine first saw it.
bool HostKeepsBirthTimes(const std::string& hostPath) {
    struct statx stx;
    return statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BTIME, &stx) == 0 &&
           (stx.stx_mask & STATX_BTIME) != 0;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

} // namespace

class FilesTest : public EveryOsTest {};
INSTANTIATE_EVERY_OS(FilesTest);

TEST_P(FilesTest, TellsAMissingFileFromAMissingFolder) {
    EXPECT_EQ(Open("C:\\WINDOWS\\NOPE.TXT", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Open("C:\\NODIR\\NOPE.TXT", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Open("C:\\NODIR\\NEW.TXT", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Open("Q:\\X.TXT", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("c:\\windows\\nope.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA("C:\\NODIR\\X"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_P(FilesTest, CreatesWritesSeeksAndReadsBack) {
    HANDLE h = Open("c:\\windows\\Data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(NO_ERROR));
    EXPECT_LT(reinterpret_cast<uintptr_t>(h), 0x80000000u) << "handles fit in 32 bits";
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
    EXPECT_EQ(n, 11u);
    EXPECT_EQ(GetFileSize(h, nullptr), 11u);
    EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
    char buf[16] = {};
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(n, 5u);
    EXPECT_STREQ(buf, "world");
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(n, 0u) << "reading at the end succeeds with nothing";
    EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    SetFilePointer(h, 5, nullptr, FILE_BEGIN);
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(ReadHostFile(HostFile("WINDOWS/Data.bin")), "hello") << "name kept as written";

    EXPECT_EQ(Open("C:\\WINDOWS\\DATA.BIN", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    h = Open("C:\\WINDOWS\\DATA.BIN", GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "success that reports the file";
    EXPECT_FALSE(ReadFile(h, buf, 1, &n, nullptr)) << "no read access asked";
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(h);
    h = Open("C:\\WINDOWS\\DATA.BIN", GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(h, nullptr), 0u) << "CREATE_ALWAYS truncates";
    CloseHandle(h);
}

TEST_P(FilesTest, InUseFilesReadButRefuseChange) {
    WriteHostFile(HostFile("KV/KVDESK.EXE"), "MZ");
    winsim::MarkInUse("C:\\KV\\KVDESK.EXE");
    HANDLE h = Open("c:\\kv\\kvdesk.exe", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(Open("C:\\KV\\KVDESK.EXE", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileA("C:\\KV\\KVDESK.EXE"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(MoveFileA("C:\\KV\\KVDESK.EXE", "C:\\KV\\OLD.EXE"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    winsim::MarkInUse("C:\\KV");
    EXPECT_FALSE(RemoveDirectoryA("C:\\KV"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    winsim::MarkInUse("C:\\KV\\KVDESK.EXE", false);
    EXPECT_TRUE(DeleteFileA("C:\\KV\\KVDESK.EXE"));
}

TEST_P(FilesTest, OpenHandlesShareAsTheirModesAllow) {
    WriteHostFile(HostFile("LOG.TXT"), "x");
    HANDLE a = Open("C:\\LOG.TXT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    HANDLE b = Open("C:\\LOG.TXT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("C:\\LOG.TXT", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileA("C:\\LOG.TXT"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(a);
    CloseHandle(b);
    HANDLE excl = Open("C:\\LOG.TXT", GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(excl, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("C:\\LOG.TXT", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(excl);
    EXPECT_TRUE(DeleteFileA("C:\\LOG.TXT"));
}

TEST_P(FilesTest, FindsByWildcardWithoutRegardToCase) {
    for (const char* f : {"Tools/Readme.lnk", "Tools/Setup Log.lnk", "Tools/notes", "Tools/a.txt",
                          "Tools/ab.txt", "Tools/Index.html"})
        WriteHostFile(HostFile(f), "");
    std::filesystem::create_directories(HostFile("Tools/Extras"));

    std::vector<std::string> all = FindAll("C:\\TOOLS\\*.*");
    EXPECT_EQ(all, (std::vector<std::string>{".", "..", "a.txt", "ab.txt", "Extras", "Index.html",
                                             "notes", "Readme.lnk", "Setup Log.lnk"}))
        << "*.* takes names without a dot too; '.' and '..' come first below the root";
    EXPECT_EQ(FindAll("C:\\TOOLS\\*").size(), all.size());
    EXPECT_EQ(FindAll("c:\\tools\\*.LNK"),
              (std::vector<std::string>{"Readme.lnk", "Setup Log.lnk"}));
    EXPECT_EQ(FindAll("C:\\Tools\\?.txt"), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(FindAll("C:\\Tools\\a?.txt"), (std::vector<std::string>{"a.txt", "ab.txt"}))
        << "'?' also matches nothing before the dot";
    EXPECT_EQ(FindAll("C:\\Tools\\*."), (std::vector<std::string>{".", "..", "Extras", "notes"}));
    EXPECT_EQ(FindAll("C:\\Tools\\*.htm"), (std::vector<std::string>{"Index.html"}))
        << "the 8.3 name INDEX~1.HTM matches too";
    EXPECT_EQ(FindAll("C:\\Tools\\readme.lnk"), (std::vector<std::string>{"Readme.lnk"}));
    std::vector<std::string> root = FindAll("C:\\*.*");
    EXPECT_TRUE(std::find(root.begin(), root.end(), ".") == root.end()) << "no dots at a root";

    WIN32_FIND_DATAA fd;
    EXPECT_EQ(FindFirstFileA("C:\\Tools\\*.doc", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFileA("C:\\Nowhere\\*.*", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    HANDLE h = FindFirstFileA("C:\\Tools\\Setup Log.lnk", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(fd.cAlternateFileName, "SETUPL~1.LNK");
    EXPECT_EQ(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    FindClose(h);
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_P(FilesTest, CurrentDirectoryResolvesRelativePathsForThisProcess) {
    char buf[MAX_PATH];
    EXPECT_EQ(GetCurrentDirectoryA(sizeof(buf), buf), 3u);
    EXPECT_STREQ(buf, "C:\\");
    ASSERT_TRUE(SetCurrentDirectoryA("windows"));
    EXPECT_EQ(GetCurrentDirectoryA(sizeof(buf), buf), 10u);
    EXPECT_STREQ(buf, "C:\\windows") << "kept as written";
    EXPECT_EQ(GetCurrentDirectoryA(5, buf), 11u) << "too small: the size needed";
    EXPECT_NE(GetFileAttributesA("WIN.INI"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA("..\\WINDOWS\\.\\SYSTEM.INI"), INVALID_FILE_ATTRIBUTES);

    EXPECT_FALSE(SetCurrentDirectoryA("C:\\MISSING"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\WINDOWS\\WIN.INI"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_DIRECTORY));
    GetCurrentDirectoryA(sizeof(buf), buf);
    EXPECT_STREQ(buf, "C:\\windows") << "a failed change keeps the directory";
    EXPECT_FALSE(RemoveDirectoryA("C:\\WINDOWS"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    // The next process starts afresh.
    winsim::CloseMachine();
    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    GetCurrentDirectoryA(sizeof(buf), buf);
    EXPECT_STREQ(buf, "C:\\");
}

TEST_P(FilesTest, FullPathsResolveAgainstTheCurrentDirectory) {
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\WINDOWS"));
    char buf[MAX_PATH];
    LPSTR part = nullptr;
    EXPECT_EQ(GetFullPathNameA("system\\..\\win.ini", sizeof buf, buf, &part), 18u);
    EXPECT_STREQ(buf, "C:\\WINDOWS\\win.ini");
    EXPECT_EQ(part, buf + 11);
    // A folder named with its backslash keeps it and has no file part.
    EXPECT_EQ(GetFullPathNameA("..\\KV\\", sizeof buf, buf, &part), 6u);
    EXPECT_STREQ(buf, "C:\\KV\\");
    EXPECT_EQ(part, nullptr);
    // Another drive's relative name starts at its root; nothing need exist.
    EXPECT_EQ(GetFullPathNameA("D:setup.log", sizeof buf, buf, nullptr), 12u);
    EXPECT_STREQ(buf, "D:\\setup.log");
    EXPECT_EQ(GetFullPathNameA("\\TEMP\\A.TMP", 5, buf, &part), 14u)
        << "too small: the size needed";
    EXPECT_EQ(GetFullPathNameA("", sizeof buf, buf, &part), 0u);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_P(FilesTest, DotDotStopsAtTheDriveRootAndNeverLeavesTheDrive) {
    char buf[MAX_PATH];
    EXPECT_EQ(GetFullPathNameA("C:\\..\\..\\WINDOWS\\.\\WIN.INI", sizeof buf, buf, nullptr), 18u);
    EXPECT_STREQ(buf, "C:\\WINDOWS\\WIN.INI");
    EXPECT_EQ(GetFullPathNameA("C:\\A\\..\\..", sizeof buf, buf, nullptr), 3u);
    EXPECT_STREQ(buf, "C:\\");
    EXPECT_NE(GetFileAttributesA("C:\\..\\WINDOWS\\SYSTEM.INI"), INVALID_FILE_ATTRIBUTES);
    // The machine's own files lie beside drive_c, out of every path's reach.
    EXPECT_EQ(GetFileAttributesA("C:\\..\\machine.ini"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\..\\..\\..\\machine.ini"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(winsim::HostPath("C:\\KV\\..\\..\\machine.ini"), m_dir + "/drive_c/machine.ini");
}

TEST_P(FilesTest, DirectoriesAndMovesReportWindowsErrors) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Group", nullptr));
    EXPECT_FALSE(CreateDirectoryA("c:\\GROUP", nullptr));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA("C:\\No\\Sub", nullptr));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(CreateDirectoryA("C:\\Group\\Sub", nullptr));
    WriteHostFile(HostFile("Group/a.lnk"), "A");
    WriteHostFile(HostFile("Group/Sub/a.lnk"), "old");

    EXPECT_FALSE(MoveFileA("C:\\Group\\a.lnk", "C:\\Group\\Sub\\a.lnk"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(MoveFileA("C:\\Group\\b.lnk", "C:\\Group\\Sub\\b.lnk"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(DeleteFileA("C:\\GROUP\\SUB\\A.LNK"));
    ASSERT_TRUE(MoveFileA("C:\\Group\\a.lnk", "C:\\Group\\Sub\\a.lnk"));
    EXPECT_EQ(ReadHostFile(HostFile("Group/Sub/a.lnk")), "A");

    EXPECT_FALSE(RemoveDirectoryA("C:\\Group"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_FALSE(DeleteFileA("C:\\Group\\Sub"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(RemoveDirectoryA("C:\\Group\\Sub\\a.lnk"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_DIRECTORY));

    ASSERT_TRUE(CopyFileA("C:\\Group\\Sub\\a.lnk", "C:\\Group\\copy.lnk", TRUE));
    EXPECT_FALSE(CopyFileA("C:\\Group\\Sub\\a.lnk", "C:\\Group\\copy.lnk", TRUE));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    ASSERT_TRUE(SetFileAttributesA("C:\\Group\\copy.lnk", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA("C:\\Group\\copy.lnk") & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFileA("C:\\Group\\copy.lnk"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetFileAttributesA("C:\\Group") & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_P(FilesTest, OpenFileFindsSystemIniAndEditsItInPlace) {
    // How a device line is commented out: read the whole file, seek to the line, write one byte.
    const std::string before = "[386Enh]\r\ndevice=C:\\DRV\\PORTDRV.VXD\r\nDEVICE=*vcomm\r\n";
    WriteHostFile(HostFile("WINDOWS/SYSTEM.INI"), before);
    OFSTRUCT ofs;
    HFILE f = OpenFile("SYSTEM.INI", &ofs, OF_READWRITE);
    ASSERT_NE(f, HFILE_ERROR) << "a bare name is found in the Windows directory";
    EXPECT_STREQ(ofs.szPathName, "C:\\WINDOWS\\SYSTEM.INI");
    EXPECT_EQ(ofs.cBytes, sizeof(OFSTRUCT));

    LONG size = _llseek(f, 0, FILE_END);
    ASSERT_EQ(size, static_cast<LONG>(before.size()));
    EXPECT_EQ(_llseek(f, 0, FILE_BEGIN), 0);
    std::vector<char> copy(static_cast<size_t>(size) + 1, 0);
    EXPECT_EQ(_lread(f, copy.data(), static_cast<UINT>(size)), static_cast<UINT>(size));
    EXPECT_EQ(std::string(copy.data()), before);
    EXPECT_EQ(_llseek(f, 10, FILE_BEGIN), 10);
    EXPECT_EQ(_lwrite(f, ";", 1), 1u);
    // The HFILE is a file handle as well.
    HANDLE h = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(f));
    EXPECT_EQ(GetFileSize(h, nullptr), before.size());
    EXPECT_EQ(_lclose(f), 0);
    EXPECT_EQ(_lclose(f), HFILE_ERROR);

    std::string after = before;
    after[10] = ';';
    EXPECT_EQ(ReadHostFile(HostFile("WINDOWS/SYSTEM.INI")), after) << "every other byte kept";
    char line[64];
    GetPrivateProfileStringA("386Enh", "DEVICE", "", line, sizeof(line), "SYSTEM.INI");
    EXPECT_STREQ(line, "*vcomm") << "the profile cache follows the in-place write";
}

TEST_P(FilesTest, OpenFileStylesAndTheLCalls) {
    OFSTRUCT ofs;
    EXPECT_EQ(OpenFile("NOFILE.INI", &ofs, OF_READ), HFILE_ERROR);
    EXPECT_EQ(ofs.nErrCode, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenFile("C:\\WINDOWS\\WIN.INI", &ofs, OF_EXIST), 1) << "opened and closed";
    EXPECT_EQ(OpenFile("new.txt", &ofs, OF_PARSE), 0);
    EXPECT_STREQ(ofs.szPathName, "C:\\new.txt");
    HFILE c = OpenFile("C:\\made.txt", &ofs, OF_CREATE | OF_WRITE | OF_SHARE_EXCLUSIVE);
    ASSERT_NE(c, HFILE_ERROR);
    EXPECT_EQ(OpenFile("C:\\made.txt", &ofs, OF_READ), HFILE_ERROR);
    EXPECT_EQ(ofs.nErrCode, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(_lwrite(c, "abcdef", 6), 6u);
    _llseek(c, 2, FILE_BEGIN);
    EXPECT_EQ(_lwrite(c, "", 0), 0u) << "writing nothing ends the file there";
    _lclose(c);
    EXPECT_EQ(ReadHostFile(HostFile("made.txt")), "ab");
    EXPECT_EQ(OpenFile("C:\\made.txt", &ofs, OF_DELETE), 1);
    EXPECT_EQ(GetFileAttributesA("C:\\made.txt"), INVALID_FILE_ATTRIBUTES);

    HFILE l = _lcreat("C:\\l.txt", 0);
    ASSERT_NE(l, HFILE_ERROR);
    _lclose(l);
    l = _lopen("C:\\l.txt", OF_READ);
    char b[4];
    EXPECT_EQ(_lwrite(l, "x", 1), static_cast<UINT>(HFILE_ERROR)) << "opened for reading";
    EXPECT_EQ(_lread(l, b, sizeof(b)), 0u);
    _lclose(l);
}

TEST_P(FilesTest, ShortNamesFollowTheEightDotThreeRules) {
    std::filesystem::create_directories(HostFile("Program Files/Norvex Tools"));
    std::filesystem::create_directories(HostFile("Program Files/Norvex Utilities"));
    WriteHostFile(HostFile("Program Files/readme.txt"), "");
    char buf[MAX_PATH];
    ASSERT_EQ(GetShortPathNameA("c:\\program files\\norvex utilities", buf, sizeof(buf)), 20u);
    EXPECT_STREQ(buf, "c:\\PROGRA~1\\NORVEX~2");
    GetShortPathNameA("C:\\Program Files\\readme.txt", buf, sizeof(buf));
    EXPECT_STREQ(buf, GetParam() == winsim::Os::Nt4 ? "C:\\PROGRA~1\\readme.txt"
                                                    : "C:\\PROGRA~1\\README.TXT");
    EXPECT_EQ(GetShortPathNameA("C:\\Program Files", buf, 4), 12u) << "the size needed";
    EXPECT_EQ(GetShortPathNameA("C:\\Program Files\\none", buf, sizeof(buf)), 0u);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_P(FilesTest, DiskSpaceComesFromTheMachinesDrives) {
    winsim::SetSetting("drives", "C", "512,64,100000,200000");
    DWORD spc = 0, bps = 0, freeC = 0, total = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &spc, &bps, &freeC, &total));
    EXPECT_EQ(bps, 512u);
    EXPECT_EQ(spc, 64u);
    if (GetParam() == winsim::Os::Nt4) {
        EXPECT_EQ(freeC, 100000u);
        EXPECT_EQ(total, 200000u);
    } else {
        EXPECT_EQ(freeC, 65535u) << "95/98 report at most 2 GB";
        EXPECT_EQ(total, 65535u);
    }
    EXPECT_FALSE(GetDiskFreeSpaceA("C:", &spc, &bps, &freeC, &total));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_FALSE(GetDiskFreeSpaceA("R:\\", &spc, &bps, &freeC, &total));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_P(FilesTest, DelayedDeletionIsAnNtService) {
    WriteHostFile(HostFile("KV/KVDESK.EXE"), "MZ");
    if (GetParam() != winsim::Os::Nt4) {
        EXPECT_FALSE(MoveFileExA("C:\\KV\\KVDESK.EXE", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
        EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        return;
    }
    ASSERT_TRUE(MoveFileExA("C:\\KV\\KVDESK.EXE", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("C:\\KV\\A.DLL", "C:\\KV\\B.DLL",
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_TRUE(
        winsim::ReadValue("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                          "PendingFileRenameOperations", &type, &data));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_MULTI_SZ));
    const char expected[] =
        "\\??\\C:\\KV\\KVDESK.EXE\0\0\\??\\C:\\KV\\A.DLL\0!\\??\\C:\\KV\\B.DLL\0";
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string(expected, sizeof(expected)));
    EXPECT_NE(GetFileAttributesA("C:\\KV\\KVDESK.EXE"), INVALID_FILE_ATTRIBUTES)
        << "nothing happens before the restart";

    // Only administrators may add to the list.
    winsim::SetSetting("machine", "privilege", "1");
    EXPECT_FALSE(MoveFileExA("C:\\KV\\KVDESK.EXE", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_P(FilesTest, InjectedFailuresReachTheCaller) {
    winsim::FailCall("CreateFileA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(Open("C:\\WINDOWS\\WIN.INI", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE h = Open("C:\\WINDOWS\\WIN.INI", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << "only the next call failed";
    winsim::FailCall("ReadFile", ERROR_GEN_FAILURE);
    char b[4];
    DWORD n = 7;
    EXPECT_FALSE(ReadFile(h, b, sizeof(b), &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    CloseHandle(h);
    winsim::FailCall("FindFirstFileA", ERROR_NOT_READY);
    EXPECT_TRUE(FindAll("C:\\*.*").empty());
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_NOT_READY));
    winsim::ClearFailures();
}

class CompareStringTest : public MachineTest {
  protected:
    void SetUp() override { NewMachine(); }
};

TEST_F(CompareStringTest, ComparesPrefixesAsTheReservedNameCheckDoes) {
    const DWORD flags = NORM_IGNORECASE | NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH;
    char name[16] = {};
    lstrcpynA(name, "lpt2", sizeof(name));
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, flags, name, 3, "LPT", 3), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, name, 3, "LPT", 3), CSTR_LESS_THAN)
        << "lower case sorts first when case counts";
    lstrcpynA(name, "FIL", sizeof(name));
    EXPECT_NE(CompareStringA(LOCALE_USER_DEFAULT, flags, name, 5, "FILE:", 5), CSTR_EQUAL)
        << "a shorter name's terminating zero takes part";
    EXPECT_EQ(CompareStringA(LOCALE_SYSTEM_DEFAULT, flags, "File:", -1, "FILE:", -1), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, flags, "apple", -1, "Banana", -1),
              CSTR_LESS_THAN);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, flags, "b", -1, "A", -1), CSTR_GREATER_THAN);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, flags, "\xE9t\xE9", -1, "ETE", -1),
              CSTR_GREATER_THAN)
        << "accents still count";
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, flags | NORM_IGNORENONSPACE, "\xE9t\xE9", -1,
                             "ETE", -1),
              CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "coop", -1, "co-op", -1), CSTR_LESS_THAN);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, SORT_STRINGSORT, "co-op", -1, "coop", -1),
              CSTR_LESS_THAN);

    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0x40000000, "a", -1, "a", -1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, nullptr, -1, "a", -1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_NE(lstrcmpA("LPT1", "lpt1"), 0) << "lstrcmpA counts case";
    EXPECT_EQ(lstrcmpA("LPT1", "LPT1"), 0);
    // lstrcmpiA sorts as CompareStringA does with case ignored, accented capitals included.
    EXPECT_EQ(lstrcmpiA("caf\xe9", "CAF\xc9"), 0);
    EXPECT_EQ(lstrcmpiA("co-op", "COOP"), 1);
    EXPECT_EQ(lstrcmpiA("a_b", "ABC"), -1);
}

TEST_P(FilesTest, AFlushedProfileWriteReachesTheFileAHandleHoldsOpen) {
    HANDLE h = CreateFileA("C:\\WINDOWS\\SYSTEM.INI", GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(WritePrivateProfileStringA("386Enh", "device", "C:\\KV\\KVPAR.VXD", "SYSTEM.INI"));
    char buf[4096] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf - 1, &read, nullptr));
    // 95/98 keep the write in the cache; NT writes it through at once.
    EXPECT_EQ(std::string(buf, read).find("KVPAR") != std::string::npos,
              GetParam() == winsim::Os::Nt4);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "SYSTEM.INI");
    ASSERT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf - 1, &read, nullptr));
    EXPECT_NE(std::string(buf, read).find("device=C:\\KV\\KVPAR.VXD"), std::string::npos)
        << "the write reached the file the handle has open";
    CloseHandle(h);
}

// A folder moved away behind the machine's back takes what the machine knew of the folders below
// it along; a neighbour whose name merely begins the same keeps its own.
TEST_P(FilesTest, AFolderMovedAwayTakesItsSubfoldersListingsAlong) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Top", nullptr));
    ASSERT_TRUE(CreateDirectoryA("C:\\Top\\Sub", nullptr));
    ASSERT_TRUE(CreateDirectoryA("C:\\Top!", nullptr));
    ASSERT_TRUE(CreateDirectoryA("C:\\Top2", nullptr));
    WriteHostFile(HostFile("Top/Sub/old.txt"), "x");
    WriteHostFile(HostFile("Top!/keep.txt"), "x");
    WriteHostFile(HostFile("Top2/keep.txt"), "x");
    FindAll("C:\\*.*");
    for (const char* folder :
         {"C:\\Top\\*.*", "C:\\Top\\Sub\\*.*", "C:\\Top!\\*.*", "C:\\Top2\\*.*"})
        FindAll(folder);

    std::filesystem::rename(HostFile("Top"), HostFile("Gone"));
    std::filesystem::create_directories(HostFile("Top/Sub"));
    WriteHostFile(HostFile("Top/Sub/new.txt"), "x");
    EXPECT_EQ(FindAll("C:\\Top\\Sub\\*.*"), (std::vector<std::string>{".", "..", "new.txt"}));
    EXPECT_EQ(FindAll("C:\\Gone\\Sub\\*.*"), (std::vector<std::string>{".", "..", "old.txt"}));

    WriteHostFile(HostFile("Top!/more.txt"), "x");
    WriteHostFile(HostFile("Top2/more.txt"), "x");
    EXPECT_EQ(FindAll("C:\\Top!\\*.*"),
              (std::vector<std::string>{".", "..", "keep.txt", "more.txt"}));
    EXPECT_EQ(FindAll("C:\\Top2\\*.*"),
              (std::vector<std::string>{".", "..", "keep.txt", "more.txt"}));
}

// The same when what moves is a folder further up, which the machine itself never listed.
TEST_P(FilesTest, AFolderMovedFurtherUpIsSeenBelowIt) {
    WriteHostFile(HostFile("Deep/Mid/Sub/old.txt"), "x");
    EXPECT_EQ(FindAll("C:\\Deep\\Mid\\Sub\\*.*"), (std::vector<std::string>{".", "..", "old.txt"}));

    std::filesystem::rename(HostFile("Deep/Mid"), HostFile("Deep/Gone"));
    WriteHostFile(HostFile("Deep/Mid/Sub/new.txt"), "x");
    EXPECT_EQ(FindAll("C:\\Deep\\Mid\\Sub\\*.*"), (std::vector<std::string>{".", "..", "new.txt"}));
    EXPECT_NE(GetFileAttributesA("C:\\Deep\\Mid\\Sub\\new.txt"), INVALID_FILE_ATTRIBUTES);
}

// Entries of a listed folder are looked at through the folder itself: whatever the host puts in
// its place must be what the next call sees, the entry and its size, and what a deletion takes.
TEST_P(FilesTest, AFolderReplacedBehindTheMachinesBackIsTheOneItsEntriesComeFrom) {
    // The file's size as a search finds it, once its attributes say it is there; -1 if not.
    const auto sizeOf = [](const char* path) {
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return -1;
        return static_cast<int>(FirstFound(path).nFileSizeLow);
    };
    WriteHostFile(HostFile("Held/Box/a.txt"), "1");
    EXPECT_EQ(FindAll("C:\\Held\\Box\\*.*"), (std::vector<std::string>{".", "..", "a.txt"}));
    EXPECT_EQ(sizeOf("C:\\Held\\Box\\a.txt"), 1);

    // Moved in over it: the folder it replaces is gone, though nothing reports that of itself.
    std::filesystem::remove(HostFile("Held/Box/a.txt"));
    EXPECT_EQ(GetFileAttributesA("C:\\Held\\Box\\a.txt"), INVALID_FILE_ATTRIBUTES);
    WriteHostFile(HostFile("Held/Other/a.txt"), "22");
    std::filesystem::rename(HostFile("Held/Other"), HostFile("Held/Box"));
    EXPECT_EQ(sizeOf("C:\\Held\\Box\\a.txt"), 2);

    // Moved away, and another made in its place.
    std::filesystem::rename(HostFile("Held/Box"), HostFile("Held/Moved"));
    WriteHostFile(HostFile("Held/Box/a.txt"), "333");
    EXPECT_EQ(sizeOf("C:\\Held\\Box\\a.txt"), 3);

    // Removed, and made again.
    std::filesystem::remove_all(HostFile("Held/Box"));
    WriteHostFile(HostFile("Held/Box/a.txt"), "4444");
    EXPECT_EQ(sizeOf("C:\\Held\\Box\\a.txt"), 4);
    EXPECT_EQ(FindAll("C:\\Held\\Box\\*.*"), (std::vector<std::string>{".", "..", "a.txt"}));
    ASSERT_TRUE(DeleteFileA("C:\\Held\\Box\\a.txt"));
    EXPECT_FALSE(std::filesystem::exists(HostFile("Held/Box/a.txt")));
    EXPECT_TRUE(std::filesystem::exists(HostFile("Held/Moved/a.txt"))) << "the one moved away";

    // The machine moves a folder itself and looks into it under its new name.
    WriteHostFile(HostFile("Held/Box/b.txt"), "55555");
    EXPECT_EQ(sizeOf("C:\\Held\\Box\\b.txt"), 5);
    ASSERT_TRUE(MoveFileA("C:\\Held\\Box", "C:\\Held\\Crate"));
    EXPECT_EQ(sizeOf("C:\\Held\\Box\\b.txt"), -1);
    EXPECT_EQ(sizeOf("C:\\Held\\Crate\\b.txt"), 5);
}

// A folder's find data gives the time of its making, whatever comes and goes in it since, and
// its attributes as they are now, also where the host changed them.
TEST_P(FilesTest, AFolderShowsWhenItWasMadeAndItsAttributesAsTheyAre) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Made", nullptr));
    ASSERT_TRUE(CreateDirectoryA("C:\\Made\\Inner", nullptr));
    const WIN32_FIND_DATAA made = FirstFound("C:\\Made\\*.*");
    EXPECT_STREQ(made.cFileName, ".");
    EXPECT_EQ(made.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    const WIN32_FIND_DATAA inner = FirstFound("C:\\Made\\Inner\\*.*");
    const WIN32_FIND_DATAA innerAsEntry = FirstFound("C:\\Made\\Inner");
    const bool birthTimes = HostKeepsBirthTimes(HostFile("Made/Inner"));
    if (birthTimes) {
        EXPECT_TRUE(SameTime(inner.ftLastWriteTime, innerAsEntry.ftLastWriteTime))
            << "the folder's own entry and its entry in its parent tell the same time";
    }
    EXPECT_TRUE(SameTime(innerAsEntry.ftCreationTime, innerAsEntry.ftLastWriteTime));

    Sleep(20); // past the host's clock tick, so a changed time would show
    WriteHostFile(HostFile("Made/added.txt"), "x");
    HANDLE h = Open("C:\\Made\\Inner\\new.txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    ASSERT_TRUE(DeleteFileA("C:\\Made\\added.txt"));
    EXPECT_TRUE(SameTime(FirstFound("C:\\Made\\*.*").ftLastWriteTime, made.ftLastWriteTime));
    if (birthTimes) {
        EXPECT_TRUE(SameTime(FirstFound("C:\\Made\\Inner").ftLastWriteTime, inner.ftLastWriteTime));
    }

    std::filesystem::permissions(HostFile("Made"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(FirstFound("C:\\Made\\*.*").dwFileAttributes,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
        << "made read-only by the host";
    ASSERT_TRUE(SetFileAttributesA("C:\\Made", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(FirstFound("C:\\Made\\*.*").dwFileAttributes,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    std::filesystem::remove_all(HostFile("Made"));
    WIN32_FIND_DATAA fd;
    EXPECT_EQ(FindFirstFileA("C:\\Made\\*.*", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << "removed by the host";
}

// The machine folder is shared with the host: what a person or another program does there shows
// at the very next call, however soon after the machine last looked.
TEST_P(FilesTest, SeesWhatTheHostChangesAtTheNextCall) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Tools", nullptr));
    EXPECT_EQ(FindAll("C:\\Tools\\*.*"), (std::vector<std::string>{".", ".."}));

    WriteHostFile(HostFile("Tools/Added.txt"), "x");
    EXPECT_NE(GetFileAttributesA("C:\\TOOLS\\ADDED.TXT"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(FindAll("C:\\Tools\\*.*"), (std::vector<std::string>{".", "..", "Added.txt"}));

    std::filesystem::rename(HostFile("Tools/Added.txt"), HostFile("Tools/Moved.txt"));
    EXPECT_EQ(GetFileAttributesA("C:\\TOOLS\\ADDED.TXT"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(GetFileAttributesA("C:\\tools\\moved.txt"), INVALID_FILE_ATTRIBUTES);

    std::filesystem::rename(HostFile("Tools"), HostFile("Kit"));
    EXPECT_EQ(GetFileAttributesA("C:\\tools\\moved.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_NE(GetFileAttributesA("C:\\KIT\\MOVED.TXT"), INVALID_FILE_ATTRIBUTES);

    std::filesystem::remove(HostFile("Kit/Moved.txt"));
    EXPECT_EQ(GetFileAttributesA("C:\\KIT\\MOVED.TXT"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(FindAll("C:\\Kit\\*.*"), (std::vector<std::string>{".", ".."}));
    std::filesystem::remove(HostFile("Kit"));
    std::filesystem::create_directories(HostFile("KIT/Sub"));
    EXPECT_NE(GetFileAttributesA("C:\\Kit\\Sub"), INVALID_FILE_ATTRIBUTES)
        << "a folder made again in another case is found by its new name";
}

// Calls that find a path as written need no listing and leave the host's reports queued; the
// next call that needs a listing applies them all, in the order they happened.
TEST_P(FilesTest, ChangesQueuedMeanwhileReachTheNextListing) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Queue", nullptr));
    WriteHostFile(HostFile("Queue/Long Name One.txt"), "x");
    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA("C:\\Queue\\Long Name One.txt", shortPath, MAX_PATH), 0u);
    EXPECT_STREQ(std::strrchr(shortPath, '\\'), "\\LONGNA~1.TXT");

    // Deleted by its exact name, then a namesake made by the host: the short name was free again
    // before the new file came.
    EXPECT_TRUE(DeleteFileA("C:\\Queue\\Long Name One.txt"));
    WriteHostFile(HostFile("Queue/Long Name Two.txt"), "x");
    EXPECT_NE(GetFileAttributesA("C:\\Queue\\Long Name Two.txt"), INVALID_FILE_ATTRIBUTES);
    ASSERT_GT(GetShortPathNameA("C:\\Queue\\Long Name Two.txt", shortPath, MAX_PATH), 0u);
    EXPECT_STREQ(std::strrchr(shortPath, '\\'), "\\LONGNA~1.TXT");

    // More reports than one read of them takes: a read takes 16 KiB, and each file below makes at
    // least one report of 64 bytes (16 and its 40-character name padded to 48), 25 KiB in all.
    std::vector<std::string> expected{".", "..", "Long Name Two.txt"};
    for (int i = 0; i < 400; ++i) {
        const std::string name = "A rather long host file name number " + std::to_string(1000 + i);
        WriteHostFile(HostFile("Queue/" + name), "x");
        expected.push_back(name);
    }
    std::sort(expected.begin() + 2, expected.end());
    EXPECT_EQ(FindAll("C:\\Queue\\*.*"), expected);
}

TEST_P(FilesTest, AFolderEmptiedByDeletionsReadsAsEmpty) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Many", nullptr));
    for (int i = 0; i < 30; ++i)
        WriteHostFile(HostFile("Many/File " + std::to_string(i) + ".dat"), "x");
    EXPECT_FALSE(RemoveDirectoryA("C:\\Many"));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));

    // Deleting each entry as the search hands it out still reaches every entry; one the host
    // takes away meanwhile is passed over.
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("C:\\Many\\*.dat", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    int found = 0;
    do {
        ++found;
        EXPECT_TRUE(DeleteFileA(("C:\\Many\\" + std::string(fd.cFileName)).c_str()))
            << fd.cFileName;
        if (found == 1) std::filesystem::remove(HostFile("Many/File 9.dat"));
    } while (FindNextFileA(h, &fd));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    FindClose(h);
    EXPECT_EQ(found, 29);

    EXPECT_EQ(FindAll("C:\\Many\\*.*"), (std::vector<std::string>{".", ".."}));
    EXPECT_TRUE(RemoveDirectoryA("C:\\Many"));
    EXPECT_EQ(GetFileAttributesA("C:\\Many"), INVALID_FILE_ATTRIBUTES);
}

namespace {

class CodePageTest : public EveryOsTest {};
INSTANTIATE_EVERY_OS(CodePageTest);

TEST_P(CodePageTest, MultiByteToWideCharReadsTheWesternCodePage) {
    // The euro sign, a curly quote and e acute; -1 counts the terminator.
    const char text[] = "\x80\x93\xE9";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 4);
    WCHAR wide[4] = {1, 1, 1, 1};
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide, 4), 4);
    EXPECT_EQ(wide[0], 0x20AC);
    EXPECT_EQ(wide[1], 0x201C);
    EXPECT_EQ(wide[2], 0x00E9);
    EXPECT_EQ(wide[3], 0);
    // A count leaves the terminator out; an undefined byte is its control character.
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "\x81x", 2, wide, 4), 2);
    EXPECT_EQ(wide[0], 0x0081);

    WCHAR small[2] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small[1], 0x201C) << "what fits is written";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, 0, wide, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(932, 0, text, -1, wide, 4), 0) << "a code page not installed";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED | MB_COMPOSITE, text, -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

} // namespace
