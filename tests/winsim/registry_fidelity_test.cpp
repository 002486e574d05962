// The registry calls answering as each target Windows does, grouped by function.
#include "support/machine_fixture.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

class RegFidelityEveryOs : public EveryOsTest {};
INSTANTIATE_EVERY_OS(RegFidelityEveryOs);
class RegFidelityNt : public EveryOsTest {};
INSTANTIATE_NT(RegFidelityNt);
class RegFidelity9x : public EveryOsTest {};
INSTANTIATE_WIN9X(RegFidelity9x);

// A fresh key below HKLM\SOFTWARE, closed when the test ends.
class TestKey {
  public:
    explicit TestKey(const char* path = "SOFTWARE\\Norvex\\Fidelity") {
        EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &m_h), ERROR_SUCCESS);
    }
    ~TestKey() { RegCloseKey(m_h); }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;
    operator HKEY() const { return m_h; }
    LONG Set(const char* name, DWORD type, const std::string& bytes) const {
        return RegSetValueExA(m_h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size()));
    }

  private:
    HKEY m_h = nullptr;
};

// ---- RegCreateKeyExA ----------------------------------------------------------------------------

// The parent handle's rights are not asked on any system; only the parent's security decides.
TEST_P(RegFidelityEveryOs, CreateIgnoresTheParentHandlesRights) {
    HKEY parent = nullptr, child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex", 0, nullptr, 0, KEY_NOTIFY,
                              nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(parent, "KVP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_TRUE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP"));
    RegCloseKey(child);
    RegCloseKey(parent);
}

// A child of a volatile key must be volatile too.
TEST_P(RegFidelityNt, ChildOfAVolatileKeyMustBeVolatile) {
    HKEY vol = nullptr, child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Vol", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &vol, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(vol, "Kept\\Deep", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Vol\\Kept"));
    EXPECT_EQ(RegCreateKeyExA(vol, "Kept", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(vol);
}

// ---- RegOpenKeyExA / RegOpenKeyA ------------------------------------------------------------

// Any number of trailing backslashes is ignored; an empty path on a root gives the root itself;
// RegOpenKeyA hands back what it was given when there is no path, a null handle too.
TEST_P(RegFidelityEveryOs, OpenTakesTrailingBackslashesAndEmptyPaths) {
    TestKey k;
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Fidelity\\\\", 0, KEY_READ,
                            &h),
              ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Fidelity\\\\", &h),
              ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &h), ERROR_SUCCESS);
    EXPECT_EQ(h, HKEY_CLASSES_ROOT);
    h = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyA(nullptr, nullptr, &h), ERROR_SUCCESS);
    EXPECT_EQ(h, nullptr);
}

// ---- RegSetValueExA / RegQueryValueExA: text and its terminator ---------------------------------

// NT stores text written without its terminator with one: a buffer of the bare size is short,
// and the size reported counts the terminator.
TEST_P(RegFidelityNt, TextWrittenWithoutItsEndIsStoredEnded) {
    TestKey k;
    ASSERT_EQ(k.Set("Bare", REG_SZ, "abc"), ERROR_SUCCESS);
    ASSERT_EQ(k.Set("Path", REG_EXPAND_SZ, "%W%"), ERROR_SUCCESS);
    char buf[8];
    DWORD size = 3, type = 0;
    EXPECT_EQ(RegQueryValueExA(k, "Bare", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    size = sizeof buf;
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(RegQueryValueExA(k, "Path", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(buf, "%W%");
    EXPECT_EQ(k.Set("Binary", REG_BINARY, "abc"), ERROR_SUCCESS);
    size = 0;
    EXPECT_EQ(RegQueryValueExA(k, "Binary", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u) << "only text gains an end";
}

// Text that a hive holds without its end (written on 95/98 or by hand) is ended in the caller's
// buffer on NT when there is room; the size stays the stored one.
TEST_P(RegFidelityNt, QueriesEndStoredTextWhenTheBufferHasRoom) {
    ASSERT_TRUE(winsim::ImportRegistry("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex]\r\n"
                                       "\"Raw\"=hex(1):61,62\r\n"));
    TestKey k("SOFTWARE\\Norvex");
    char buf[8], name[8];
    std::memset(buf, 'x', sizeof buf);
    DWORD size = sizeof buf, cch = sizeof name;
    EXPECT_EQ(RegQueryValueExA(k, "Raw", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_STREQ(buf, "ab");
    std::memset(buf, 'x', sizeof buf);
    size = sizeof buf;
    EXPECT_EQ(RegEnumValueA(k, 0, name, &cch, nullptr, nullptr, reinterpret_cast<BYTE*>(buf),
                            &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buf, "ab");
    std::memset(buf, 'x', sizeof buf);
    size = 2;
    EXPECT_EQ(RegQueryValueExA(k, "Raw", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(buf[2], 'x') << "no room, no terminator";
}

// 95/98 keep the bytes as given, and refuse text with no data at all.
TEST_P(RegFidelity9x, TextIsKeptAsGivenAndNeedsData) {
    TestKey k;
    ASSERT_EQ(k.Set("Bare", REG_SZ, "abc"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(k, "Bare", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(RegSetValueExA(k, "None", 0, REG_SZ, nullptr, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(k, "None", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
}

// A size query of a missing value learns 0; the type and size may share one DWORD, the size
// written last.
TEST_P(RegFidelityEveryOs, QueryValueSizesAsWindowsDoes) {
    TestKey k;
    DWORD size = 77;
    EXPECT_EQ(RegQueryValueExA(k, "Missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, 0u);
    ASSERT_EQ(k.Set("Seven", REG_BINARY, "1234567"), ERROR_SUCCESS);
    DWORD both = 7;
    char buf[8];
    EXPECT_EQ(RegQueryValueExA(k, "Seven", nullptr, &both, reinterpret_cast<BYTE*>(buf), &both),
              ERROR_SUCCESS);
    EXPECT_EQ(both, 7u);
    both = 2;
    EXPECT_EQ(RegQueryValueExA(k, "Seven", nullptr, &both, reinterpret_cast<BYTE*>(buf), &both),
              ERROR_MORE_DATA);
    EXPECT_EQ(both, 7u);
}

// ---- RegEnumValueA ------------------------------------------------------------------------------

// A short name buffer still tells the data's type and size; a short data buffer leaves the name
// and its length as they were.
TEST_P(RegFidelityEveryOs, EnumValueTellsWhatItCanWhenABufferIsShort) {
    TestKey k;
    ASSERT_EQ(k.Set("LongName", REG_SZ, std::string("data\0", 5)), ERROR_SUCCESS);
    char name[4] = "--", data[2];
    DWORD cch = sizeof name, type = 0, size = sizeof data;
    EXPECT_EQ(RegEnumValueA(k, 0, name, &cch, nullptr, &type, reinterpret_cast<BYTE*>(data),
                            &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 5u);
    char longName[16] = "untouched";
    cch = sizeof longName;
    size = sizeof data;
    type = 0;
    EXPECT_EQ(RegEnumValueA(k, 0, longName, &cch, nullptr, &type, reinterpret_cast<BYTE*>(data),
                            &size),
              ERROR_MORE_DATA);
    EXPECT_STREQ(longName, "untouched");
    EXPECT_EQ(cch, sizeof longName);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

// ---- RegQueryInfoKeyA ---------------------------------------------------------------------------

// The longest data is counted as each system stores it: NT keeps text as UTF-16.
TEST_P(RegFidelityEveryOs, InfoKeyCountsLongestDataInStoredBytes) {
    TestKey k;
    ASSERT_EQ(k.Set("Text", REG_SZ, std::string("abcde\0", 6)), ERROR_SUCCESS);
    ASSERT_EQ(k.Set("Bin", REG_BINARY, std::string(8, 'b')), ERROR_SUCCESS);
    DWORD maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(maxData, GetParam() == winsim::Os::Nt4 ? 12u : 8u);
}

} // namespace
