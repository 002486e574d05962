#include "support/machine_fixture.h"

#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

class ShortNameTest : public EveryOsTest {};
INSTANTIATE_EVERY_OS(ShortNameTest);

TEST_P(ShortNameTest, EveryCallTakesAPathInItsShortForm) {
    CreateDirectoryA("C:\\Program Files", nullptr); // a fresh machine may have it
    ASSERT_TRUE(CreateDirectoryA("C:\\Program Files\\KV Tools", nullptr));
    ASSERT_TRUE(CreateDirectoryA("C:\\Program Files\\KV Toolbox", nullptr));
    WriteHostFile(HostFile("Program Files/KV Tools/Read Me.txt"), "x");

    char shortForm[MAX_PATH];
    ASSERT_GT(
        GetShortPathNameA("C:\\Program Files\\KV Tools\\Read Me.txt", shortForm, sizeof shortForm),
        0u);
    EXPECT_STREQ(shortForm, "C:\\PROGRA~1\\KVTOOL~2\\README~1.TXT");
    char again[MAX_PATH];
    for (const char* spelling : {"c:\\progra~1\\KV Tools\\read me.txt",
                                 "C:\\Program Files\\KV Toolbox\\..\\KV Tools\\.\\Read Me.txt"}) {
        ASSERT_GT(GetShortPathNameA(spelling, again, sizeof again), 0u) << spelling;
        EXPECT_TRUE(std::strstr(again, "KVTOOL~2\\") && std::strstr(again, "README~1.TXT"))
            << spelling << " gave " << again;
    }
    EXPECT_NE(GetFileAttributesA("c:\\progra~1\\kvtool~2\\readme~1.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("C:\\PROGRA~1\\KVTOOL~3"), INVALID_FILE_ATTRIBUTES);

    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA("C:\\PROGRA~1\\KVTOOL~2\\*.*", &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);

    // A mark on the long name holds the short one too.
    winsim::MarkInUse("C:\\Program Files\\KV Tools\\Read Me.txt");
    EXPECT_FALSE(DeleteFileA(shortForm));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    winsim::MarkInUse("C:\\Program Files\\KV Tools\\Read Me.txt", false);
    EXPECT_TRUE(DeleteFileA(shortForm));
    EXPECT_TRUE(RemoveDirectoryA("C:\\PROGRA~1\\KVTOOL~2"));
    EXPECT_EQ(GetFileAttributesA("C:\\Program Files\\KV Tools"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA("C:\\Program Files\\KV Toolbox"), INVALID_FILE_ATTRIBUTES);
}

} // namespace

namespace {

std::string ShortOf(const std::string& path) {
    char out[MAX_PATH] = "";
    return GetShortPathNameA(path.c_str(), out, sizeof out) ? out : "";
}

// Every entry's 8.3 name, as the folder's listing gives them.
std::vector<std::string> AlternateNames(const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(fd.cAlternateFileName[0] ? fd.cAlternateFileName : fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

} // namespace

TEST_P(ShortNameTest, StayTheSameAndUniqueAsTheFolderChanges) {
    ASSERT_TRUE(CreateDirectoryA("C:\\DOCS", nullptr));
    for (const char* n : {"Long Name One.txt", "Long Name Two.txt", "Long Name Three.txt"})
        WriteHostFile(HostFile(std::string("DOCS/") + n), "x");
    const std::string one = ShortOf("C:\\DOCS\\Long Name One.txt");
    const std::string two = ShortOf("C:\\DOCS\\Long Name Two.txt");
    const std::string three = ShortOf("C:\\DOCS\\Long Name Three.txt");
    EXPECT_EQ(one, "C:\\DOCS\\LONGNA~1.TXT");
    EXPECT_EQ(three, "C:\\DOCS\\LONGNA~2.TXT");
    EXPECT_EQ(two, "C:\\DOCS\\LONGNA~3.TXT");

    // Deleting one leaves the others theirs; a new long name takes the lowest one free.
    ASSERT_TRUE(DeleteFileA("C:\\DOCS\\Long Name One.txt"));
    EXPECT_EQ(ShortOf("C:\\DOCS\\Long Name Two.txt"), two);
    EXPECT_EQ(ShortOf("C:\\DOCS\\Long Name Three.txt"), three);
    EXPECT_NE(GetFileAttributesA(two.c_str()), INVALID_FILE_ATTRIBUTES);
    WriteHostFile(HostFile("DOCS/Long Name Four.txt"), "x");
    EXPECT_EQ(ShortOf("C:\\DOCS\\Long Name Four.txt"), "C:\\DOCS\\LONGNA~1.TXT");
    EXPECT_EQ(ShortOf("C:\\DOCS\\Long Name Two.txt"), two);

    // A file whose own name is an 8.3 name another entry held takes it; the other gets a new one
    // and no two entries share one.
    WriteHostFile(HostFile("DOCS/LONGNA~2.TXT"), "x");
    EXPECT_EQ(ShortOf("C:\\DOCS\\LONGNA~2.TXT"), "C:\\DOCS\\LONGNA~2.TXT");
    EXPECT_NE(ShortOf("C:\\DOCS\\Long Name Three.txt"), three);
    std::vector<std::string> shorts = AlternateNames("C:\\DOCS\\*.txt");
    ASSERT_EQ(shorts.size(), 4u);
    std::set<std::string> unique;
    for (std::string s : shorts) {
        CharUpperA(&s[0]);
        unique.insert(s);
    }
    EXPECT_EQ(unique.size(), shorts.size());
}
