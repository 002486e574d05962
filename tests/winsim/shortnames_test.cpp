#include "support/machine_fixture.h"

#include <windows.h>

#include <string>

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
