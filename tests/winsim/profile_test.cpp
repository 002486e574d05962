#include "support/machine_fixture.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char kInf[] = "C:\\KV\\SETUP.INF";
const DWORD kDiskFull = 112; // ERROR_DISK_FULL

const char kInfText[] = "; setup file\r\n"
                        "orphan=before any section\r\n"
                        "[Install]\r\n"
                        "Device = KV Pellora 4720  \r\n"
                        "Quoted=\"  spaced  \"\r\n"
                        "Single='x'\r\n"
                        "Half=\"open\r\n"
                        "; Comment=not a key\r\n"
                        "no equals sign here\r\n"
                        "Dup=first\r\n"
                        "dup=second\r\n"
                        "Empty=\r\n"
                        "[Strings]\r\n"
                        "Name=KV\r\n"
                        "[install]\r\n"
                        "Late=in a repeated section\r\n";

// The file as a program reads it through a handle; "<missing>" when it cannot be opened.
std::string RawRead(const char* file) {
    HANDLE h = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string text;
    char buf[512];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        text.append(buf, n);
    CloseHandle(h);
    return text;
}

// The program writes the whole file itself.
void RawWrite(const char* file, const std::string& text) {
    HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr));
    CloseHandle(h);
}

std::string WithName(const std::string& name) {
    std::string text = kInfText;
    text.replace(text.find("Name=KV"), 7, "Name=" + name);
    return text;
}

// Bytes of a list up to and including its closing NUL, NULs shown as '|'.
std::string Shown(const char* buf, size_t n) {
    std::string s(buf, n);
    for (char& c : s)
        if (c == '\0') c = '|';
    return s;
}

} // namespace

class ProfileTest : public MachineTest {
  protected:
    void SetUp() override { Start(winsim::Os::Nt4); }
    void Start(winsim::Os os) {
        NewMachine(os);
        WriteHostFile(HostFile("KV/SETUP.INF"), kInfText);
    }
    std::string Read(const char* section, const char* key, const char* def = "dflt",
                     const char* file = kInf) {
        char buf[256];
        DWORD n = GetPrivateProfileStringA(section, key, def, buf, sizeof buf, file);
        EXPECT_EQ(n, std::strlen(buf));
        return buf;
    }
    // The file on disk once the all-NULL write has written the cached writes out.
    std::string Flushed(const std::string& relative, const char* file = kInf) {
        EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, file));
        return ReadHostFile(HostFile(relative));
    }
};

// For the facts of one family of systems.
class ProfileOsTest : public ProfileTest, public ::testing::WithParamInterface<winsim::Os> {
  protected:
    void SetUp() override { Start(GetParam()); }
};
class Profile9xTest : public ProfileOsTest {};
INSTANTIATE_WIN9X(Profile9xTest);
class ProfileEveryOsTest : public ProfileOsTest {};
INSTANTIATE_EVERY_OS(ProfileEveryOsTest);

TEST_F(ProfileTest, ValuesArriveTrimmedUnquotedAndMatchedWithoutCase) {
    EXPECT_EQ(Read("INSTALL", "device"), "KV Pellora 4720");
    EXPECT_EQ(Read("  Install ", " DEVICE "), "KV Pellora 4720");
    EXPECT_EQ(Read("Install", "Quoted"), "  spaced  ");
    EXPECT_EQ(Read("Install", "Single"), "x");
    EXPECT_EQ(Read("Install", "Half"), "\"open") << "unmatched quotes stay";
    EXPECT_EQ(Read("Install", "Empty"), "") << "an empty value is not the default";
    EXPECT_EQ(Read("Install", "Dup"), "first");
}

TEST_F(ProfileTest, OnlyRealKeysOfTheFirstSectionCount) {
    EXPECT_EQ(Read("Install", "; Comment"), "dflt");
    EXPECT_EQ(Read("Install", "no equals sign here"), "dflt");
    EXPECT_EQ(Read("Install", "Late"), "dflt") << "a repeated section is not read";
    EXPECT_EQ(Read("", "orphan"), "dflt") << "lines before the first header are in no section";
}

TEST_F(ProfileTest, MissingEntriesGiveTheDefaultWithoutTrailingBlanks) {
    EXPECT_EQ(Read("Install", "Nothing", "  two words  "), "  two words");
    EXPECT_EQ(Read("Nowhere", "Device", "x"), "x");
    EXPECT_EQ(Read("Install", "Nothing", nullptr), "");
    SetLastError(0);
    EXPECT_EQ(Read("Install", "Device", "none", "C:\\KV\\MISSING.INF"), "none");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ProfileTest, CutsLongValuesToTheBuffer) {
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(GetPrivateProfileStringA("Install", "Device", "", buf, 0, kInf), 0u);
    EXPECT_EQ(buf[0], '#') << "nSize 0 writes nothing";
    EXPECT_EQ(GetPrivateProfileStringA("Install", "Device", "", buf, 1, kInf), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GetPrivateProfileStringA("Install", "Device", "", buf, 8, kInf), 7u);
    EXPECT_STREQ(buf, "KV Pell");
    EXPECT_EQ(GetPrivateProfileStringA("Install", "Quoted", "", buf, 5, kInf), 4u);
    EXPECT_STREQ(buf, "  sp");
    EXPECT_EQ(GetPrivateProfileStringA("Install", "Nothing", "defaultvalue", buf, 4, kInf), 3u);
    EXPECT_STREQ(buf, "def");
}

TEST_F(ProfileTest, ListsKeysAndSectionsAsDoubleNulLists) {
    char buf[64];
    DWORD n = GetPrivateProfileStringA("install", nullptr, "", buf, sizeof buf, kInf);
    EXPECT_EQ(Shown(buf, n + 1), "Device|Quoted|Single|Half|Dup|dup|Empty||");
    n = GetPrivateProfileStringA(nullptr, "ignored", "", buf, sizeof buf, kInf);
    EXPECT_EQ(Shown(buf, n + 1), "Install|Strings|install||");
    n = GetPrivateProfileSectionNamesA(buf, sizeof buf, kInf);
    EXPECT_EQ(Shown(buf, n + 1), "Install|Strings|install||");
    n = GetPrivateProfileStringA("Nowhere", nullptr, "none", buf, sizeof buf, kInf);
    EXPECT_EQ(n, 4u) << "a missing section lists the default";
    EXPECT_STREQ(buf, "none");
}

TEST_F(ProfileTest, CutsListsThatDoNotFitWithTwoNuls) {
    // "Install|Strings|install|" is 24 characters; the list needs one more to spare.
    char buf[32];
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 26, kInf), 24u);
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 25, kInf), 23u);
    EXPECT_EQ(Shown(buf, 25), "Install|Strings|install||") << "an exact fit counts as cut";
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 10, kInf), 8u);
    EXPECT_EQ(Shown(buf, 10), "Install|||");
    EXPECT_EQ(GetPrivateProfileStringA("Strings", nullptr, "", buf, 4, kInf), 2u);
    EXPECT_EQ(Shown(buf, 4), "Na||");
    EXPECT_EQ(GetPrivateProfileStringA("Strings", nullptr, "", buf, 2, kInf), 0u);
    EXPECT_EQ(Shown(buf, 2), "||");
}

TEST_F(ProfileTest, NeverWritesBeyondTheBuffer) {
    struct Call {
        const char* what;
        const char* section;
        const char* key;
        const char* def;
    };
    const Call calls[] = {
        {"value", "Install", "Device", ""},  {"keys", "Install", nullptr, ""},
        {"sections", nullptr, nullptr, ""},  {"default list", "Nowhere", nullptr, "default"},
        {"quoted", "Install", "Quoted", ""}, {"default", "Install", "Missing", "a default"}};
    for (const Call& c : calls) {
        for (DWORD size = 0; size < 48; ++size) {
            std::vector<char> buf(size + 8, '#');
            DWORD n = GetPrivateProfileStringA(c.section, c.key, c.def, buf.data(), size, kInf);
            EXPECT_LE(n + (size ? 1 : 0), size) << c.what << ", size " << size;
            for (size_t i = size; i < buf.size(); ++i)
                ASSERT_EQ(buf[i], '#') << c.what << ", size " << size;
        }
    }
    std::vector<char> buf(8, '#');
    EXPECT_EQ(GetPrivateProfileSectionA("Install", buf.data(), 1, kInf), 0u);
    EXPECT_EQ(buf[1], '#');
}

TEST_F(ProfileTest, ReadsIntegersAsWindowsNtDoes) {
    WriteHostFile(HostFile("KV/NUM.INI"), "[n]\r\na=42\r\nb=-1\r\nc=+7\r\nd=0x1F\r\ne=12abc\r\n"
                                          "f=abc\r\ng=\r\nh=4294967297\r\ni=\" 5\"\r\n");
    const char* f = "C:\\KV\\NUM.INI";
    EXPECT_EQ(GetPrivateProfileIntA("N", "A", 9, f), 42u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "b", 9, f), 0xFFFFFFFFu);
    EXPECT_EQ(GetPrivateProfileIntA("n", "c", 9, f), 7u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "d", 9, f), 31u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "e", 9, f), 12u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "f", 9, f), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "g", 9, f), 9u) << "an empty value gives the default";
    EXPECT_EQ(GetPrivateProfileIntA("n", "h", 9, f), 1u) << "modulo 2^32";
    EXPECT_EQ(GetPrivateProfileIntA("n", "i", 9, f), 5u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "missing", -3, f), static_cast<UINT>(-3));
    EXPECT_EQ(GetPrivateProfileIntA("n", "a", 9, "C:\\KV\\NONE.INI"), 9u);
}

TEST_F(ProfileTest, Windows9xReadsOnlyMinusAndDecimals) {
    NewMachine(winsim::Os::Win95);
    WriteHostFile(HostFile("NUM.INI"), "[n]\r\nb=-12\r\nc=+7\r\nd=0x1F\r\n");
    EXPECT_EQ(GetPrivateProfileIntA("n", "b", 9, "C:\\NUM.INI"), static_cast<UINT>(-12));
    EXPECT_EQ(GetPrivateProfileIntA("n", "c", 9, "C:\\NUM.INI"), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "d", 9, "C:\\NUM.INI"), 0u);
}

// ---- writing ----------------------------------------------------------------------------

TEST_F(ProfileTest, ChangesOnlyTheLinesItMustInACrlfFile) {
    const std::string inf = "KV/SETUP.INF";
    ASSERT_TRUE(WritePrivateProfileStringA("INSTALL", "device", "KV 4720", kInf));
    std::string expected = kInfText;
    expected.replace(expected.find("Device = KV Pellora 4720  "), 26, "Device = KV 4720");
    EXPECT_EQ(Flushed(inf), expected);

    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Model", "4720", kInf));
    expected.insert(expected.find("[install]"), "Model=4720\r\n");
    EXPECT_EQ(Flushed(inf), expected);

    ASSERT_TRUE(WritePrivateProfileStringA("Install", "Dup", nullptr, kInf));
    expected.erase(expected.find("Dup=first\r\n"), 11);
    EXPECT_EQ(Flushed(inf), expected);
    EXPECT_EQ(Read("Install", "Dup"), "second") << "only the first line of a key goes";

    ASSERT_TRUE(WritePrivateProfileStringA("Strings", nullptr, nullptr, kInf));
    expected.erase(expected.find("[Strings]"),
                   expected.find("[install]") - expected.find("[Strings]"));
    EXPECT_EQ(Flushed(inf), expected);
    EXPECT_EQ(Read("Strings", "Name"), "dflt");
}

TEST_F(ProfileTest, KeepsLfLineEndsMissingFinalNewlineAndCommentsBelowKeys) {
    const std::string host = HostFile("KV/LF.INI");
    WriteHostFile(host, "[a]\n  k1 =  old\n\n; about b\n[b]\nx=1");
    const char* f = "C:\\KV\\LF.INI";
    ASSERT_TRUE(WritePrivateProfileStringA("a", "K1", "new", f));
    ASSERT_TRUE(WritePrivateProfileStringA("a", "k2", "two", f));
    EXPECT_EQ(Flushed("KV/LF.INI", f), "[a]\n  k1 =  new\nk2=two\n\n; about b\n[b]\nx=1");
    ASSERT_TRUE(WritePrivateProfileStringA("b", "y", "2", f));
    EXPECT_EQ(Flushed("KV/LF.INI", f), "[a]\n  k1 =  new\nk2=two\n\n; about b\n[b]\nx=1\ny=2\n");
    ASSERT_TRUE(WritePrivateProfileStringA("c", "z", "3", f));
    EXPECT_EQ(Flushed("KV/LF.INI", f),
              "[a]\n  k1 =  new\nk2=two\n\n; about b\n[b]\nx=1\ny=2\n[c]\nz=3\n");
}

TEST_P(ProfileEveryOsTest, ALoneCrEndsALineAndATrailingNulIsNoEntry) {
    const std::string host = HostFile("KV/CR.INI");
    WriteHostFile(host, std::string("[a]\rk1=one\rk2=two\r\n[b]\nx=1\r") + '\0');
    const char* f = "C:\\KV\\CR.INI";
    EXPECT_EQ(Read("a", "k1", "dflt", f), "one");
    EXPECT_EQ(Read("a", "k2", "dflt", f), "two");
    char buf[64];
    DWORD n = GetPrivateProfileSectionNamesA(buf, sizeof buf, f);
    EXPECT_EQ(Shown(buf, n + 1), "a|b||");
    n = GetPrivateProfileSectionA("b", buf, sizeof buf, f);
    EXPECT_EQ(Shown(buf, n + 1), "x=1||") << "the NUL after the last line is no entry";
    n = GetPrivateProfileStringA("b", nullptr, "", buf, sizeof buf, f);
    EXPECT_EQ(Shown(buf, n + 1), "x||");

    // A write keeps each line's own end, the lone CRs too.
    ASSERT_TRUE(WritePrivateProfileStringA("a", "k1", "new", f));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, f);
    EXPECT_EQ(ReadHostFile(host), std::string("[a]\rk1=new\rk2=two\r\n[b]\nx=1\r") + '\0');
}

TEST_P(ProfileEveryOsTest, SectionReadsAndTheSectionNamesOfAMissingFile) {
    char buf[64];
    SetLastError(12345);
    const DWORD n = GetPrivateProfileSectionA("Strings", buf, sizeof buf, kInf);
    EXPECT_EQ(Shown(buf, n + 1), "Name=KV||");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "a read section clears it";
    ASSERT_TRUE(WritePrivateProfileSectionA("Empty", "\0", kInf));
    SetLastError(12345);
    EXPECT_EQ(GetPrivateProfileSectionA("Empty", buf, sizeof buf, kInf), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "an empty section is read";
    EXPECT_EQ(GetPrivateProfileSectionA("Missing", buf, sizeof buf, kInf), 0u);
    EXPECT_EQ(Shown(buf, 2), "||");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "a missing section";

    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetPrivateProfileSectionNamesA(buf, 10, "C:\\KV\\NOTHERE.INI"), 0u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], 'x') << "one NUL, not the empty list's two";
}

// A handle of the process that shares less than a profile call opens with: reads need
// FILE_SHARE_READ, writes FILE_SHARE_READ and FILE_SHARE_WRITE.
TEST_P(ProfileEveryOsTest, AFileHeldOpenWithoutSharingRefusesTheCall) {
    struct Case {
        DWORD access, share;
        bool writes, reads;
    };
    const DWORD rw = GENERIC_READ | GENERIC_WRITE, both = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const Case cases[] = {
        {GENERIC_READ, FILE_SHARE_READ, false, true},
        {GENERIC_READ, FILE_SHARE_WRITE, false, false},
        {GENERIC_WRITE, FILE_SHARE_READ, false, true},
        {rw, FILE_SHARE_WRITE, false, false},
        {GENERIC_READ, 0, false, false},
        {rw, both, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.access) + "/" + std::to_string(c.share));
        HANDLE h = CreateFileA(kInf, c.access, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        SetLastError(0);
        EXPECT_EQ(Read("Strings", "Name"), c.reads ? "KV" : "dflt");
        if (!c.reads) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
        SetLastError(0);
        EXPECT_EQ(WritePrivateProfileStringA("Strings", "Name", "held", kInf), c.writes);
        if (!c.writes) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_EQ(WritePrivateProfileStringA("Strings", nullptr, nullptr, kInf), FALSE);
            EXPECT_EQ(WritePrivateProfileSectionA("New", "a=1\0", kInf), FALSE);
        }
        CloseHandle(h);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, kInf);
        EXPECT_EQ(ReadHostFile(HostFile("KV/SETUP.INF")), c.writes ? WithName("held") : kInfText)
            << "a refused write changes nothing";
        WriteHostFile(HostFile("KV/SETUP.INF"), kInfText);
    }
}

TEST_F(ProfileTest, CreatesAMissingFileButNotForADeletion) {
    ASSERT_TRUE(WritePrivateProfileStringA("App", "key", nullptr, "C:\\KV\\NEW.INI"));
    ASSERT_TRUE(WritePrivateProfileStringA("App", nullptr, nullptr, "C:\\KV\\NEW.INI"));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "C:\\KV\\NEW.INI");
    EXPECT_FALSE(std::filesystem::exists(HostFile("KV/NEW.INI")));
    ASSERT_TRUE(WritePrivateProfileStringA("App", "key", "value", "C:\\KV\\NEW.INI"));
    EXPECT_EQ(Flushed("KV/NEW.INI", "C:\\KV\\NEW.INI"), "[App]\r\nkey=value\r\n");
}

TEST_F(ProfileTest, RefusesWritesItCannotMake) {
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "v", "C:\\NO\\SUCH\\DIR\\X.INI"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "key", "v", kInf));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "v", ""));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadHostFile(HostFile("KV/SETUP.INF")), kInfText);
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, kInf))
        << "a flush reports zero";
    EXPECT_EQ(Read("Install", "Single"), "x");
}

TEST_F(ProfileTest, BareNamesAndWinIniLieInTheWindowsDirectory) {
    ASSERT_TRUE(WritePrivateProfileStringA("Pw", "k", "v", "PWSETUP.INI"));
    EXPECT_EQ(Flushed("WINDOWS/PWSETUP.INI", "PWSETUP.INI"), "[Pw]\r\nk=v\r\n");
    EXPECT_EQ(Read("pw", "K", "", "pwsetup.ini"), "v");

    char buf[32];
    EXPECT_EQ(GetProfileStringA("Ports", "COM1:", "", buf, sizeof buf), 12u);
    EXPECT_STREQ(buf, "9600,n,8,1,x");
    EXPECT_EQ(GetProfileIntA("intl", "iCountry", 0), 1u);
    ASSERT_TRUE(WriteProfileStringA("KV Pellora", "Model", "4720"));
    const std::string winIni = ReadHostFile(HostFile("WINDOWS/WIN.INI"));
    EXPECT_NE(winIni.find("[KV Pellora]\r\nModel=4720\r\n"), std::string::npos);
    EXPECT_EQ(Read("kv pellora", "MODEL", "", "win.ini"), "4720");
}

TEST_F(ProfileTest, ReplacesAndReadsWholeSections) {
    char buf[64];
    DWORD n = GetPrivateProfileSectionA("Install", buf, sizeof buf, kInf);
    EXPECT_EQ(n, 62u);
    EXPECT_EQ(Shown(buf, 64),
              "Device=KV Pellora 4720|Quoted=\"  spaced  \"|Single='x'|Half=\"op||");
    ASSERT_TRUE(WritePrivateProfileSectionA("Strings", "A=1\0B=2\0", kInf));
    n = GetPrivateProfileSectionA("strings", buf, sizeof buf, kInf);
    EXPECT_EQ(Shown(buf, n + 1), "A=1|B=2||");
}

// ---- the cache --------------------------------------------------------------------------

TEST_F(ProfileTest, FollowsChangesMadeBehindItsBack) {
    const std::string host = HostFile("KV/SETUP.INF");
    EXPECT_EQ(Read("Strings", "Name"), "KV");
    std::string changed = kInfText;
    changed.replace(changed.find("Name=KV"), 7, "Name=XY");
    WriteHostFile(host, changed); // same size, same inode
    EXPECT_EQ(Read("Strings", "Name"), "XY");
    struct stat before;
    ASSERT_EQ(stat(host.c_str(), &before), 0);
    changed.replace(changed.find("Name=XY"), 7, "Name=ZZ");
    WriteHostFile(host, changed);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), times, 0), 0); // as if in the same clock tick
    EXPECT_EQ(Read("Strings", "Name"), "ZZ");
    std::filesystem::remove(host);
    EXPECT_EQ(Read("Strings", "Name"), "dflt");
    WriteHostFile(host, "[Strings]\r\nName=back\r\n");
    EXPECT_EQ(Read("Strings", "Name"), "back");
}

TEST_F(ProfileTest, AChangeThroughAnotherNameOfTheFileCountsAtTheNextRead) {
    // All within one clock tick where the host allows: the file's times then show nothing.
    const std::string host = HostFile("KV/SETUP.INF");
    const std::string other = m_dir + "/SETUP-LINK.INF"; // outside every folder winsim lists
    ASSERT_EQ(link(host.c_str(), other.c_str()), 0);
    EXPECT_EQ(Read("Strings", "Name"), "KV");
    EXPECT_EQ(Read("Strings", "Name"), "KV");
    struct stat before;
    ASSERT_EQ(stat(host.c_str(), &before), 0);
    std::string changed = kInfText;
    changed.replace(changed.find("Name=KV"), 7, "Name=QQ");
    {
        std::fstream f(other, std::ios::in | std::ios::out | std::ios::binary); // same inode
        f.write(changed.data(), static_cast<std::streamsize>(changed.size()));
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
    EXPECT_EQ(Read("Strings", "Name"), "QQ");
    EXPECT_EQ(Read("Strings", "Name"), "QQ");
}

// A file whose change time lies far enough back is vouched for by its identity and times alone,
// and a name the program gave before skips the path's resolution: what the host changes in the
// folders on that path must still count at the next call.
class SettledProfileTest : public ProfileOsTest {
  protected:
    // Waits until every change made so far lies outside the window in which times cannot be
    // trusted: the host stamps changes with its coarse clock, so once that clock has moved on by
    // a few of its ticks (20 ms), the next read's view of the clock lies past all of them.
    static void Settle() {
        const auto coarseNs = [] {
            timespec now{};
            clock_gettime(CLOCK_REALTIME_COARSE, &now);
            return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
        };
        const int64_t start = coarseNs();
        while (coarseNs() - start < 20000000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::string Kv(const std::string& name) { return HostFile("KV/" + name); }
};
INSTANTIATE_EVERY_OS(SettledProfileTest);

TEST_P(SettledProfileTest, AFolderOrFileMovedOrReplacedBehindItsBackCountsAtTheNextRead) {
    Settle();
    EXPECT_EQ(Read("Strings", "Name"), "KV");
    EXPECT_EQ(Read("Strings", "Name"), "KV");

    // The folder on the path renamed, then back: the file itself is untouched throughout.
    std::filesystem::rename(HostFile("KV"), HostFile("KV2"));
    EXPECT_EQ(Read("Strings", "Name"), "dflt");
    EXPECT_EQ(Read("Strings", "Name", "dflt", "C:\\KV2\\SETUP.INF"), "KV");
    std::filesystem::rename(HostFile("KV2"), HostFile("KV"));
    EXPECT_EQ(Read("Strings", "Name"), "KV");

    // The file renamed in another case: the name still finds it, without regard to case.
    std::filesystem::rename(Kv("SETUP.INF"), Kv("setup.inf"));
    EXPECT_EQ(Read("Strings", "Name"), "KV");
    std::filesystem::rename(Kv("setup.inf"), Kv("SETUP.INF"));

    // Another file of the same size renamed over it, its times set to the old ones.
    struct stat before;
    ASSERT_EQ(stat(Kv("SETUP.INF").c_str(), &before), 0);
    WriteHostFile(Kv("NEW.INF"), WithName("XY"));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, Kv("NEW.INF").c_str(), times, 0), 0);
    Settle();
    std::filesystem::rename(Kv("NEW.INF"), Kv("SETUP.INF"));
    EXPECT_EQ(Read("Strings", "Name"), "XY");
    Settle();
    EXPECT_EQ(Read("Strings", "Name"), "XY");

    // Deleted, then made again by the host.
    std::filesystem::remove(Kv("SETUP.INF"));
    EXPECT_EQ(Read("Strings", "Name"), "dflt");
    WriteHostFile(Kv("SETUP.INF"), WithName("ZZ"));
    EXPECT_EQ(Read("Strings", "Name"), "ZZ");
}

TEST_P(SettledProfileTest, WritesAndAnotherWindowsDirectoryCountForAKnownName) {
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "written", kInf));
    Settle();
    EXPECT_EQ(Read("Strings", "Name"), "written");
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "again", kInf));
    EXPECT_EQ(Read("Strings", "Name"), "again");

    // A bare name lies in the Windows directory that the machine names now.
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "windows", "KV.INI"));
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "KV.INI"));
    WriteHostFile(HostFile("WINNT/KV.INI"), "[s]\r\nk=winnt\r\n");
    Settle();
    EXPECT_EQ(Read("s", "k", "dflt", "KV.INI"), "windows");
    winsim::SetSetting("machine", "windir", "C:\\WINNT");
    EXPECT_EQ(Read("s", "k", "dflt", "KV.INI"), "winnt");
}

// A file read again and again is vouched for by the host's change notifications, without a stat:
// each change below leaves the file's size and times as they were, so only a notification can
// tell it, and each must count at the very next read.
class WatchedProfileTest : public SettledProfileTest {
  protected:
    // Reads until the cache holds the file, checked, and trusts it from then on.
    void ReadUntilTrusted(const char* expected, const char* file = kInf) {
        Settle();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Read("Strings", "Name", "dflt", file), expected);
    }
    // Puts the file's times back as they were before a change made behind the cache's back.
    static void KeepTimes(const std::string& host, const struct stat& before) {
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
    }
    static struct stat StatOf(const std::string& host) {
        struct stat st {};
        EXPECT_EQ(stat(host.c_str(), &st), 0);
        return st;
    }
};
INSTANTIATE_EVERY_OS(WatchedProfileTest);

TEST_P(WatchedProfileTest, ChangesOfTheFileItselfCountAtTheNextRead) {
    const std::string host = Kv("SETUP.INF");
    ReadUntilTrusted("KV");

    // Rewritten in place within the same second, same size, times put back.
    struct stat before = StatOf(host);
    WriteHostFile(host, WithName("XY"));
    KeepTimes(host, before);
    EXPECT_EQ(Read("Strings", "Name"), "XY");

    // Written through a name of the file in another folder.
    const std::string link = HostFile("OTHER/LINKED.INF");
    std::filesystem::create_directories(HostFile("OTHER"));
    std::filesystem::create_hard_link(host, link);
    ReadUntilTrusted("XY");
    before = StatOf(host);
    WriteHostFile(link, WithName("HL"));
    KeepTimes(link, before);
    EXPECT_EQ(Read("Strings", "Name"), "HL");

    // Changed through a mapping that another program keeps open, which reports no write: the
    // touch that puts its times back is what tells.
    ReadUntilTrusted("HL");
    before = StatOf(host);
    const int fd = open(host.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const size_t size = static_cast<size_t>(before.st_size);
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ASSERT_NE(map, MAP_FAILED);
    char* text = static_cast<char*>(map);
    std::memcpy(std::search(text, text + size, "Name=HL", "Name=HL" + 7), "Name=MM", 7);
    KeepTimes(host, before);
    EXPECT_EQ(Read("Strings", "Name"), "MM");
    munmap(map, size);
    close(fd);

    // The program's own write replaces the file, at once (NT) or when another file is read
    // (95/98): the file then watched is the new one.
    ReadUntilTrusted("MM");
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "PW", kInf));
    EXPECT_EQ(GetProfileIntA("intl", "iCountry", 0), 1u);
    ReadUntilTrusted("PW");
    before = StatOf(host);
    WriteHostFile(host, WithName("AB"));
    KeepTimes(host, before);
    EXPECT_EQ(Read("Strings", "Name"), "AB");
}

TEST_P(WatchedProfileTest, ChangesOnThePathCountAtTheNextRead) {
    const char* deep = "C:\\KV\\SUB\\DEEP.INI";
    const std::string host = HostFile("KV/SUB/DEEP.INI");
    WriteHostFile(host, "[Strings]\r\nName=one\r\n");
    ReadUntilTrusted("one", deep);

    // A folder two levels up moved away and another put in its place, holding a file of the
    // same size and times: neither the file nor its own folder saw anything.
    const struct stat before = StatOf(host);
    std::filesystem::rename(HostFile("KV"), HostFile("OLDKV"));
    WriteHostFile(host, "[Strings]\r\nName=two\r\n");
    KeepTimes(host, before);
    EXPECT_EQ(Read("Strings", "Name", "dflt", deep), "two");

    // Another file of the same size and times renamed over it.
    ReadUntilTrusted("two", deep);
    WriteHostFile(HostFile("KV/SUB/NEW.INI"), "[Strings]\r\nName=new\r\n");
    KeepTimes(HostFile("KV/SUB/NEW.INI"), StatOf(host));
    std::filesystem::rename(HostFile("KV/SUB/NEW.INI"), host);
    EXPECT_EQ(Read("Strings", "Name", "dflt", deep), "new");

    // Deleted.
    ReadUntilTrusted("new", deep);
    std::filesystem::remove(host);
    EXPECT_EQ(Read("Strings", "Name", "dflt", deep), "dflt");
}

// Past the kernel's queue, events are lost: the next read checks the file as without a watch.
// The queue is the host's and the same under every system, so one system shows it.
class OverflowedProfileTest : public WatchedProfileTest {};
INSTANTIATE_NT(OverflowedProfileTest);

TEST_P(OverflowedProfileTest, LostNotificationsTrustNothing) {
    const std::string host = Kv("SETUP.INF");
    ReadUntilTrusted("KV");
    long queued = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
    // Renamed to and fro, two events each time: the host makes no new file for them, which
    // after many deletions can cost it a millisecond each.
    const std::string churn = Kv("CHURN.TMP"), churned = Kv("CHURN2.TMP");
    WriteHostFile(churn, "");
    for (long i = 0; i <= queued / 2; ++i)
        std::filesystem::rename(i % 2 ? churned : churn, i % 2 ? churn : churned);
    const struct stat before = StatOf(host);
    WriteHostFile(host, WithName("XY")); // its notification is lost
    KeepTimes(host, before);
    EXPECT_EQ(Read("Strings", "Name"), "XY");
}

// A forked child shares its parent's notification queue until it sets up its own: reading the
// shared one would take the parent's events.
TEST_P(WatchedProfileTest, AForkedChildLeavesItsParentTheNotifications) {
    const std::string host = Kv("SETUP.INF");
    ReadUntilTrusted("KV");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const struct stat before = StatOf(host);
        WriteHostFile(host, WithName("CH"));
        KeepTimes(host, before);
        char buf[8];
        GetPrivateProfileStringA("Strings", "Name", "", buf, sizeof buf, kInf);
        _exit(std::strcmp(buf, "CH") == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read("Strings", "Name"), "CH");
}

TEST_P(Profile9xTest, AWriteStaysInTheCacheUntilTheAllNullWrite) {
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "new", kInf));
    EXPECT_EQ(RawRead(kInf), kInfText) << "the file is as it was";
    EXPECT_EQ(Read("Strings", "Name"), "new") << "the profile calls see the write at once";
    char buf[32];
    const DWORD n = GetPrivateProfileSectionA("Strings", buf, sizeof buf, kInf);
    EXPECT_EQ(Shown(buf, n + 1), "Name=new||");
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, kInf));
    EXPECT_EQ(RawRead(kInf), WithName("new"));

    const char* created = "C:\\KV\\NEW.INI";
    ASSERT_TRUE(WritePrivateProfileStringA("App", "k", "v", created));
    EXPECT_EQ(RawRead(created), "<missing>") << "a new file is made when the writes go out";
    EXPECT_FALSE(WritePrivateProfileSectionA(nullptr, nullptr, created));
    EXPECT_EQ(RawRead(created), "[App]\r\nk=v\r\n");
}

TEST_P(Profile9xTest, AccessingAnotherFileWritesOutThePreviousOne) {
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "new", kInf));
    EXPECT_EQ(GetProfileIntA("intl", "iCountry", 0), 1u);
    EXPECT_EQ(RawRead(kInf), WithName("new")) << "reading WIN.INI wrote SETUP.INF";

    ASSERT_TRUE(WriteProfileStringA("windows", "device", "KV,winspool,LPT1:"));
    EXPECT_EQ(RawRead("C:\\WINDOWS\\WIN.INI").find("device=KV"), std::string::npos);
    EXPECT_EQ(Read("Strings", "Name"), "new");
    EXPECT_NE(RawRead("C:\\WINDOWS\\WIN.INI").find("device=KV"), std::string::npos);

    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "third", kInf));
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "WIN.INI"));
    EXPECT_EQ(RawRead(kInf), WithName("third")) << "an all-NULL write naming another file";
}

TEST_P(Profile9xTest, ClosingTheMachineAndTheNextStartWriteOutTheCache) {
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "closed", kInf));
    winsim::CloseMachine();
    EXPECT_EQ(ReadHostFile(HostFile("KV/SETUP.INF")), WithName("closed"));

    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "restarted", kInf));
    winsim::Reboot();
    EXPECT_EQ(RawRead(kInf), WithName("restarted"));
}

TEST_P(Profile9xTest, PendingWritesOutliveAndReplaceWhatTheProgramWroteItself) {
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "cached", kInf));
    RawWrite(kInf, "[Strings]\r\nName=raw\r\nOther=raw\r\n");
    EXPECT_EQ(Read("Strings", "Name"), "cached") << "the cache still holds its write";
    EXPECT_EQ(Read("Strings", "Other"), "dflt");
    winsim::ClearDebugOutput();
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, kInf));
    EXPECT_EQ(RawRead(kInf), WithName("cached")) << "as on Windows, the cached file wins";
    EXPECT_EQ(winsim::DebugOutput(),
              std::vector<std::string>{"winsim: profile writes overwrite what was changed in "
                                       "C:\\KV\\SETUP.INF since it was read"});

    // Without pending writes the program's own change stays and is read.
    RawWrite(kInf, "[Strings]\r\nName=raw\r\n");
    EXPECT_EQ(Read("Strings", "Name"), "raw");
    EXPECT_EQ(GetProfileIntA("intl", "iCountry", 0), 1u);
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, kInf));
    EXPECT_EQ(RawRead(kInf), "[Strings]\r\nName=raw\r\n");
}

TEST_F(ProfileTest, NtWritesEveryChangeToTheFileBeforeTheCallReturns) {
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "new", kInf));
    EXPECT_EQ(RawRead(kInf), WithName("new"));
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", nullptr, kInf));
    EXPECT_EQ(RawRead(kInf).find("Name="), std::string::npos);
    ASSERT_TRUE(WritePrivateProfileSectionA("Strings", "Name=KV\0", kInf));
    EXPECT_EQ(RawRead(kInf), kInfText);
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", nullptr, nullptr, kInf));
    EXPECT_EQ(RawRead(kInf).find("[Strings]"), std::string::npos);

    const char* created = "C:\\KV\\NEW.INI";
    ASSERT_TRUE(WritePrivateProfileStringA("App", "k", "v", created));
    EXPECT_EQ(RawRead(created), "[App]\r\nk=v\r\n") << "a new file is there at once";
    ASSERT_TRUE(WriteProfileStringA("KV Pellora", "Model", "4720"));
    EXPECT_NE(RawRead("C:\\WINDOWS\\WIN.INI").find("Model=4720"), std::string::npos);
}

TEST_F(ProfileTest, NtWritesGoOnTopOfWhatTheProgramWroteItself) {
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "first", kInf));
    RawWrite(kInf, "[Strings]\r\nName=raw\r\nOther=raw\r\n");
    winsim::ClearDebugOutput();
    ASSERT_TRUE(WritePrivateProfileStringA("Strings", "Name", "second", kInf));
    EXPECT_EQ(RawRead(kInf), "[Strings]\r\nName=second\r\nOther=raw\r\n");
    EXPECT_TRUE(winsim::DebugOutput().empty()) << "nothing was overwritten";
    RawWrite(kInf, "[Strings]\r\nName=later\r\n");
    winsim::CloseMachine();
    EXPECT_EQ(ReadHostFile(HostFile("KV/SETUP.INF")), "[Strings]\r\nName=later\r\n")
        << "the close writes nothing a second time";
}

// ---- injected failures ------------------------------------------------------------------

TEST_F(ProfileTest, InjectedFailuresBehaveLikeAnUnreadableFile) {
    winsim::FailCall("GetPrivateProfileStringA", ERROR_SHARING_VIOLATION, 1);
    SetLastError(0);
    EXPECT_EQ(Read("Install", "Device", "fallback"), "fallback");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Read("Install", "Device"), "KV Pellora 4720") << "only one call failed";

    winsim::FailCall("GetPrivateProfileIntA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(GetPrivateProfileIntA("Install", "Device", 77, kInf), 77u);
    winsim::FailCall("GetProfileStringA", ERROR_ACCESS_DENIED, 1);
    char buf[8];
    EXPECT_EQ(GetProfileStringA("intl", "iCountry", "d", buf, sizeof buf), 1u);
    EXPECT_STREQ(buf, "d");

    winsim::FailCall("WritePrivateProfileStringA", kDiskFull, 1);
    EXPECT_FALSE(WritePrivateProfileStringA("Install", "Device", "x", kInf));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(kDiskFull));
    EXPECT_EQ(ReadHostFile(HostFile("KV/SETUP.INF")), kInfText);
    winsim::FailCall("WriteProfileStringA", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(WriteProfileStringA("windows", "device", "x"));
}

// ---- structures -------------------------------------------------------------------------

TEST_P(ProfileEveryOsTest, StructuresTravelAsHexadecimalWithAChecksum) {
    ASSERT_TRUE(WritePrivateProfileStructA("Data", "key", (void*)"abacus", 7, kInf));
    EXPECT_EQ(Read("Data", "key"), "616261637573006F") << "the bytes, then their sum modulo 256";
    char buf[20];
    std::memset(buf, 0x55, sizeof buf);
    ASSERT_TRUE(GetPrivateProfileStructA("data", "KEY", buf, 7, kInf));
    EXPECT_STREQ(buf, "abacus");
    EXPECT_EQ(buf[7], 0x55) << "nothing past the structure";

    auto fails = [&](UINT size, DWORD error) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(GetPrivateProfileStructA("Data", "key", buf, size, kInf));
        EXPECT_EQ(GetLastError(), error);
    };
    fails(6, ERROR_BAD_LENGTH);
    fails(8, ERROR_BAD_LENGTH);
    ASSERT_TRUE(WritePrivateProfileStringA("Data", "key", "636163747573006F", kInf));
    fails(7, ERROR_INVALID_DATA); // the checksum of "abacus" under "cactus"
    ASSERT_TRUE(WritePrivateProfileStringA("Data", "key", "636163747573008Q", kInf));
    fails(7, ERROR_INVALID_DATA);
    ASSERT_TRUE(WritePrivateProfileStringA("Data", "key", "16361637475730083", kInf));
    fails(7, ERROR_BAD_LENGTH);
    ASSERT_TRUE(WritePrivateProfileStringA("Data", "key", "6361637475730083", kInf));
    ASSERT_TRUE(GetPrivateProfileStructA("Data", "key", buf, 7, kInf));
    EXPECT_STREQ(buf, "cactus");
    ASSERT_TRUE(WritePrivateProfileStringA("Data", "key", "6361637475730083", kInf));

    ASSERT_TRUE(WritePrivateProfileStructA("Data", "key", nullptr, 7, kInf));
    EXPECT_EQ(Read("Data", "key"), "dflt") << "no structure deletes the key";
    fails(7, ERROR_BAD_LENGTH);
}

// ---- the W forms ----------------------------------------------------------------------------

namespace {

LPCWSTR W(const char16_t* text) {
    return reinterpret_cast<LPCWSTR>(text);
}

std::u16string U(const WCHAR* text, size_t n) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), n);
}

} // namespace

TEST_P(Profile9xTest, TheWideFormsAreStubsThatFail) {
    const std::string before = ReadHostFile(HostFile("KV/SETUP.INF"));
    WCHAR buf[16] = {};
    auto stub = [](bool failed) {
        EXPECT_TRUE(failed);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        SetLastError(0);
    };
    const LPCWSTR file = W(u"C:\\KV\\SETUP.INF");
    stub(GetPrivateProfileStringW(W(u"Install"), W(u"Device"), W(u""), buf, 16, file) == 0);
    stub(GetProfileStringW(W(u"intl"), W(u"iCountry"), W(u""), buf, 16) == 0);
    stub(GetPrivateProfileIntW(W(u"Install"), W(u"Device"), 5, file) == 0);
    stub(GetProfileIntW(W(u"intl"), W(u"iCountry"), 5) == 0);
    stub(GetPrivateProfileSectionW(W(u"Install"), buf, 16, file) == 0);
    stub(GetPrivateProfileSectionNamesW(buf, 16, file) == 0);
    stub(!WritePrivateProfileStringW(W(u"Install"), W(u"Device"), W(u"x"), file));
    stub(!WriteProfileStringW(W(u"intl"), W(u"iCountry"), W(u"2")));
    stub(!WritePrivateProfileSectionW(W(u"Install"), W(u"a=b\0"), file));
    stub(!WritePrivateProfileStructW(W(u"Install"), W(u"S"), buf, 2, file));
    stub(!GetPrivateProfileStructW(W(u"Install"), W(u"S"), buf, 2, file));
    EXPECT_EQ(buf[0], 0);
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, kInf));
    EXPECT_EQ(ReadHostFile(HostFile("KV/SETUP.INF")), before);
}

TEST_F(ProfileTest, NtAnswersTheWideFormsInUtf16) {
    const LPCWSTR file = W(u"C:\\KV\\SETUP.INF");
    WCHAR buf[64];
    EXPECT_EQ(GetPrivateProfileStringW(W(u"install"), W(u"DEVICE"), W(u""), buf, 64, file), 15u);
    EXPECT_EQ(U(buf, 16), std::u16string(u"KV Pellora 4720\0", 16));

    // Text beyond ASCII goes through the ANSI code page both ways.
    ASSERT_TRUE(WritePrivateProfileStringW(W(u"Strings"), W(u"Price"), W(u"5 \u20AC"), file));
    EXPECT_EQ(Read("Strings", "Price"), "5 \x80");
    EXPECT_EQ(GetPrivateProfileStringW(W(u"Strings"), W(u"Price"), W(u""), buf, 64, file), 3u);
    EXPECT_EQ(U(buf, 3), u"5 \u20AC");
    EXPECT_EQ(GetPrivateProfileIntW(W(u"Strings"), W(u"Price"), 0, file), 5u);

    // What the call does not write stays as the caller had it.
    for (WCHAR& c : buf)
        c = 0xCCCC;
    DWORD n = GetPrivateProfileSectionNamesW(buf, 64, file);
    EXPECT_EQ(U(buf, n + 2), std::u16string(u"Install\0Strings\0install\0\0", 25).substr(0, n + 1) +
                                 std::u16string(1, char16_t(0xCCCC)));

    ASSERT_TRUE(WritePrivateProfileSectionW(W(u"New"), W(u"a=1\0b=\u00E9\0"), file));
    n = GetPrivateProfileSectionW(W(u"New"), buf, 64, file);
    EXPECT_EQ(U(buf, n + 1), std::u16string(u"a=1\0b=\u00E9\0\0", 9));
    EXPECT_TRUE(WriteProfileStringW(W(u"KV Pellora"), W(u"Model"), W(u"4720")));
    EXPECT_EQ(GetProfileIntW(W(u"kv pellora"), W(u"model"), 0), 4720u);
    EXPECT_EQ(GetProfileStringW(W(u"kv pellora"), W(u"model"), W(u""), buf, 64), 4u);

    const char data[] = "abacus";
    ASSERT_TRUE(WritePrivateProfileStructW(W(u"Data"), W(u"k"), (void*)data, 7, file));
    char back[7] = {};
    ASSERT_TRUE(GetPrivateProfileStructW(W(u"Data"), W(u"k"), back, 7, file));
    EXPECT_STREQ(back, "abacus");
}

// ---- the file a series of writes leaves --------------------------------------------------------

TEST_P(ProfileEveryOsTest, WritesLeaveTheFileAsWindowsLaysItOut) {
    const char file[] = "C:\\KV\\LAYOUT.INI";
    const std::string host = HostFile("KV/LAYOUT.INI");
    auto after = [&](BOOL written, const std::string& text) {
        EXPECT_TRUE(written);
        EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, file));
        EXPECT_EQ(ReadHostFile(host), text);
    };
    WritePrivateProfileStringA("App1", "key1", "string1", file);
    WritePrivateProfileStringA("App1", "key2", "string2", file);
    // A new section follows the last line directly.
    after(WritePrivateProfileStringA("App2", "key3", "string3", file),
          "[App1]\r\nkey1=string1\r\nkey2=string2\r\n[App2]\r\nkey3=string3\r\n");
    after(WritePrivateProfileStringA("App1", "key2", nullptr, file),
          "[App1]\r\nkey1=string1\r\n[App2]\r\nkey3=string3\r\n");
    after(WritePrivateProfileStringA("App1", nullptr, "ignored", file), "[App2]\r\nkey3=string3\r\n");
    after(WritePrivateProfileStringA("App2", "key3", nullptr, file), "[App2]\r\n"); // no keys left

    // Bytes before the first section, NULs included, stay as they were.
    const std::string lead("Data \0 before \0 first \0 section", 31);
    WriteHostFile(host, lead);
    after(WritePrivateProfileStringA("section1", "key1", "string1", file),
          lead + "\r\n[section1]\r\nkey1=string1\r\n");
}

// The uninstall script turns one component's "1" into "0" after another: such a change is
// written over the old bytes, and must leave the same file a rewrite would.
TEST_P(ProfileEveryOsTest, AChangeOfTheSameLengthLeavesTheFileARewriteWould) {
    const char file[] = "C:\\KV\\FLAGS.INI";
    const std::string host = HostFile("KV/FLAGS.INI");
    std::string text = "[Components]\r\n";
    for (int i = 0; i < 200; ++i) // about 2,600 bytes: several sectors
        text += "comp" + std::to_string(i) + "=1\r\n";
    WriteHostFile(host, text);
    auto expect = [&](const char* why) {
        EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, file));
        EXPECT_EQ(ReadHostFile(host), text) << why;
    };
    auto set = [&](int i, const char* from, const char* to) {
        const std::string key = "comp" + std::to_string(i);
        ASSERT_TRUE(WritePrivateProfileStringA("Components", key.c_str(), to, file));
        text.replace(text.find(key + "=" + from + "\r"), key.size() + 1 + std::strlen(from),
                     key + "=" + to);
    };

    struct stat first;
    ASSERT_EQ(stat(host.c_str(), &first), 0);
    set(0, "1", "0");
    expect("the first flag");
    set(199, "1", "0");
    expect("the last flag");
    struct stat now;
    ASSERT_EQ(stat(host.c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, first.st_ino) << "written in place";
    char value[8];
    GetPrivateProfileStringA("Components", "comp199", "", value, sizeof value, file);
    EXPECT_STREQ(value, "0");

    set(37, "1", "22");
    expect("a longer value");
    set(37, "22", "3");
    expect("a shorter one");
    // Two keys sectors apart in one write: the replaced section's lines.
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += "comp" + std::to_string(i) + "=" + (i % 50 == 1 ? "5" : "1") + '\0';
    lines += '\0';
    ASSERT_TRUE(WritePrivateProfileSectionA("Components", lines.c_str(), file));
    text = "[Components]\r\n";
    for (int i = 0; i < 200; ++i)
        text += "comp" + std::to_string(i) + "=" + (i % 50 == 1 ? "5" : "1") + "\r\n";
    expect("changes in several sectors");

    // A second name of the file keeps what it held, as it would if the file were replaced.
    const std::string other = m_dir + "/FLAGS-LINK.INI"; // outside every folder winsim lists
    ASSERT_EQ(link(host.c_str(), other.c_str()), 0);
    const std::string linked = text;
    set(2, "1", "0");
    expect("through the name written");
    EXPECT_EQ(ReadHostFile(other), linked);
}

// A value written over keeps every key of the file findable, in any case, the first of two
// spellings of one key taking the writes.
TEST_F(ProfileTest, WritingAKeyAgainAndAgainKeepsEveryKeyFindable) {
    for (const char* spelling : {"Dup", "DUP", "dup", "dUp"}) {
        const std::string value = std::string("v-") + spelling;
        ASSERT_TRUE(WritePrivateProfileStringA("Install", spelling, value.c_str(), kInf));
        EXPECT_EQ(Read("install", "dup"), value);
        EXPECT_EQ(Read("Install", "Device"), "KV Pellora 4720");
        EXPECT_EQ(Read("Strings", "Name"), "KV");
    }
    const std::string text = RawRead(kInf);
    EXPECT_NE(text.find("Dup=v-dUp\r\ndup=second\r\n"), std::string::npos) << text;
    ASSERT_TRUE(WritePrivateProfileStringA("Install", "Dup", nullptr, kInf));
    EXPECT_EQ(Read("Install", "Dup"), "second") << "the other spelling, now the first";
}
