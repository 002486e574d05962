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

// Rights outside KEY_ALL_ACCESS: NT grants them to no one, so an open asking one is refused, while
// the creator of a new key holds the rights it asked for that keys have; ACCESS_SYSTEM_SECURITY
// needs a privilege the process does not hold.
TEST_P(RegFidelityNt, RightsNoKeyHasAreRefusedOnOpenAndDroppedOnCreate) {
    const REGSAM odd = KEY_SET_VALUE | 0x40;
    HKEY h = reinterpret_cast<HKEY>(1);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Odd", 0, nullptr, 0, odd,
                              nullptr, &h, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(h, "V", 0, REG_BINARY, reinterpret_cast<const BYTE*>("1"), 1),
              ERROR_SUCCESS)
        << "the creator holds KEY_SET_VALUE";
    RegCloseKey(h);
    h = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Odd", 0, KEY_READ | 0x40, &h),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Odd", 0, nullptr, 0, odd,
                              nullptr, &h, nullptr),
              ERROR_ACCESS_DENIED)
        << "an existing key is opened, and asked";
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ | ACCESS_SYSTEM_SECURITY,
                            &h),
              ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Audit", 0, nullptr, 0,
                              ACCESS_SYSTEM_SECURITY, nullptr, &h, nullptr),
              ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Audit"));
}

// 95/98 have no registry security and ignore the rights asked for, whatever their bits.
TEST_P(RegFidelity9x, RightsAskedForAreIgnored) {
    for (REGSAM odd : {REGSAM{0x40}, REGSAM{KEY_READ | 0x8000}, REGSAM{ACCESS_SYSTEM_SECURITY}}) {
        SCOPED_TRACE(odd);
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Odd", 0, nullptr, 0, odd,
                                  nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(h, "V", 0, REG_BINARY, reinterpret_cast<const BYTE*>("1"), 1),
                  ERROR_SUCCESS);
        RegCloseKey(h);
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Odd", 0, odd, &h),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteValueA(h, "V"), ERROR_SUCCESS);
        RegCloseKey(h);
    }
}

// ---- RegOpenKeyExA / RegOpenKeyA ------------------------------------------------------------

// A failed open leaves the caller's handle as it was when the handle given is bad, and null for
// any other failure; RegCreateKeyExA does the same.
TEST_P(RegFidelityEveryOs, FailedOpensLeaveTheResultAsWindowsDoes) {
    const HKEY kept = reinterpret_cast<HKEY>(0x1234);
    const HKEY bad = reinterpret_cast<HKEY>(0x7777);
    HKEY h = kept;
    EXPECT_EQ(RegOpenKeyA(bad, "SOFTWARE", &h), ERROR_INVALID_HANDLE);
    EXPECT_EQ(h, kept);
    EXPECT_EQ(RegOpenKeyExA(nullptr, "", 0, KEY_READ, &h), ERROR_INVALID_HANDLE);
    EXPECT_EQ(h, kept);
    EXPECT_EQ(RegCreateKeyExA(bad, "Kid", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(h, kept);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Absent", &h), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
    h = kept;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Absent", 0, KEY_READ, &h),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", nullptr), ERROR_INVALID_PARAMETER);
}

// A run of backslashes inside a path is one separator on every system: the empty names between
// them name no key (a UNC port name below the spooler's Ports key makes such a path).
TEST_P(RegFidelityEveryOs, EmptyNamesInsideAPathAreSkipped) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Ports\\\\\\SRV\\KV4720", &h),
              ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_TRUE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Ports\\SRV\\KV4720"));
    char name[16];
    HKEY ports = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\Norvex\\Ports", 0, KEY_READ, &ports),
              ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyA(ports, 0, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "SRV") << "no key with an empty name";
    EXPECT_EQ(RegEnumKeyA(ports, 1, name, sizeof name), ERROR_NO_MORE_ITEMS);
    RegCloseKey(ports);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Ports\\\\SRV\\KV4720"),
              ERROR_SUCCESS);
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Ports\\SRV\\KV4720"));
}

// A path that starts at a backslash: NT refuses it before it looks for any key of it; 95/98 read
// past the backslash.
TEST_P(RegFidelityEveryOs, ALeadingBackslashIsRefusedOnNtAndSkippedOn9x) {
    const bool nt = GetParam() == winsim::Os::Nt4;
    { TestKey k; }
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Norvex\\Fidelity", 0, KEY_READ, &h),
              nt ? ERROR_BAD_PATHNAME : ERROR_SUCCESS);
    if (h) RegCloseKey(h);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Absent", &h),
              nt ? ERROR_BAD_PATHNAME : ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Norvex\\Fidelity"),
              nt ? ERROR_BAD_PATHNAME : ERROR_SUCCESS);
    EXPECT_EQ(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Fidelity"), nt);
}


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

// ---- key classes --------------------------------------------------------------------------------

// NT keeps the class a key was created with; RegQueryInfoKeyA hands it back with the length of
// the longest subkey class, RegEnumKeyExA with each subkey, and the hive keeps it over a restart.
TEST_P(RegFidelityNt, KeyClassesAreKeptAndHandedBack) {
    HKEY sub = nullptr, subsub = nullptr;
    char cls[] = "subkey class", subCls[] = "subsubkey class";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Sub", 0, cls, 0,
                              KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExA(sub, "SubSub", 0, subCls, 0, KEY_ALL_ACCESS, nullptr, &subsub,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(subsub);
    RegCloseKey(sub);
    winsim::CloseMachine();
    std::string error;
    ASSERT_TRUE(winsim::OpenMachine(m_dir, &error)) << error;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Sub", &sub), ERROR_SUCCESS);

    DWORD len = 0, maxClass = 0;
    ASSERT_EQ(RegQueryInfoKeyA(sub, nullptr, &len, nullptr, nullptr, nullptr, &maxClass, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(len, std::strlen(cls));
    EXPECT_EQ(maxClass, std::strlen(subCls));
    char buf[32];
    len = sizeof buf;
    EXPECT_EQ(RegQueryInfoKeyA(sub, buf, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(buf, cls);
    EXPECT_EQ(len, std::strlen(cls));
    // A buffer one short takes what fits, ended; a buffer of no size is left alone.
    std::memset(buf, 'x', sizeof buf);
    len = sizeof cls - 1;
    EXPECT_EQ(RegQueryInfoKeyA(sub, buf, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_STREQ(buf, "subkey clas");
    EXPECT_EQ(len, sizeof cls - 2);
    std::memset(buf, 'x', sizeof buf);
    len = 0;
    EXPECT_EQ(RegQueryInfoKeyA(sub, buf, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(RegQueryInfoKeyA(sub, buf, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER)
        << "a class buffer needs its length";

    char name[16];
    DWORD cchName = sizeof name, cchClass = 4;
    EXPECT_EQ(RegEnumKeyExA(sub, 0, name, &cchName, nullptr, buf, &cchClass, nullptr),
              ERROR_MORE_DATA);
    cchClass = sizeof buf;
    EXPECT_EQ(RegEnumKeyExA(sub, 0, name, &cchName, nullptr, buf, &cchClass, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(buf, subCls);
    EXPECT_EQ(cchClass, std::strlen(subCls));
    RegCloseKey(sub);
}

// 95/98 keep no classes: every key's class is empty.
TEST_P(RegFidelity9x, KeyClassesAreNotKept) {
    HKEY sub = nullptr;
    char cls[] = "subkey class";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Sub", 0, cls, 0,
                              KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    char buf[32] = "x";
    DWORD len = sizeof buf;
    EXPECT_EQ(RegQueryInfoKeyA(sub, buf, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(len, 0u);
    EXPECT_STREQ(buf, "");
    RegCloseKey(sub);
}

// ---- RegSetValueA / RegQueryValueA ----------------------------------------------------------

// The default value of a key (a subkey, created when missing): text only, its own length counts,
// and a key without one reads as the empty text.
TEST_P(RegFidelityEveryOs, SetValueAndQueryValueWorkOnTheDefaultValue) {
    TestKey k;
    EXPECT_EQ(RegSetValueA(k, "Sub", REG_SZ, "data", 2), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueA(k, nullptr, REG_BINARY, "data", 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueA(k, nullptr, REG_EXPAND_SZ, "data", 4), ERROR_INVALID_PARAMETER);
    char val[16];
    LONG size = sizeof val;
    EXPECT_EQ(RegQueryValueA(k, "Sub", val, &size), ERROR_SUCCESS);
    EXPECT_STREQ(val, "data");
    EXPECT_EQ(size, 5);
    size = 0;
    EXPECT_EQ(RegQueryValueA(k, "Sub", nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5);
    val[0] = '\0';
    size = 1;
    EXPECT_EQ(RegQueryValueA(k, "Sub", val, &size), ERROR_MORE_DATA);
    EXPECT_EQ(val[0], '\0') << "a short buffer is left alone";
    EXPECT_EQ(size, 5);
    EXPECT_EQ(RegQueryValueA(k, "Sub", val, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueA(k, "Sub", nullptr, nullptr), ERROR_SUCCESS);
    size = sizeof val;
    std::strcpy(val, "stale");
    EXPECT_EQ(RegQueryValueA(k, nullptr, val, &size), ERROR_SUCCESS) << "no default value";
    EXPECT_STREQ(val, "");
    EXPECT_EQ(size, 1);
    EXPECT_EQ(RegQueryValueA(k, "Absent", val, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueA(reinterpret_cast<HKEY>(0x7777), "Sub", val, &size),
              ERROR_INVALID_HANDLE);
}

// ---- the wide forms -----------------------------------------------------------------------------

// NT's wide forms see the same keys and values as the A forms: names and text converted, text
// data sized in UTF-16 bytes and ended when the buffer has room.
TEST_P(RegFidelityNt, WideFormsSeeWhatTheAnsiFormsSee) {
    const WCHAR path[] = {'S', 'O', 'F', 'T', 'W', 'A', 'R', 'E', '\\', 'N', 'o', 'r', 'v', 'e',
                          'x', 0};
    const WCHAR name[] = {'T', 'e', 's', 't', 0};
    const WCHAR foobar[] = {'f', 'o', 'o', 'b', 'a', 'r', 0};
    HKEY h = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &h, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(foobar),
                             6 * sizeof(WCHAR)),
              ERROR_SUCCESS)
        << "written without its end";
    char text[16];
    DWORD size = sizeof text;
    ASSERT_EQ(RegQueryValueExA(h, "test", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "foobar");
    EXPECT_EQ(size, 7u);

    WCHAR data[16], valueName[16];
    DWORD type = 0;
    size = 0;
    EXPECT_EQ(RegQueryValueExW(h, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 7 * sizeof(WCHAR));
    size = 4;
    EXPECT_EQ(RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 7 * sizeof(WCHAR));
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(data, foobar, sizeof foobar), 0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    // A short data buffer still gets the name; a short name buffer gets nothing.
    DWORD cch = 16;
    size = 2;
    EXPECT_EQ(RegEnumValueW(h, 0, valueName, &cch, nullptr, &type, reinterpret_cast<BYTE*>(data),
                            &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(cch, 4u);
    EXPECT_EQ(std::memcmp(valueName, name, sizeof name), 0);
    EXPECT_EQ(size, 7 * sizeof(WCHAR));
    cch = 3;
    EXPECT_EQ(RegEnumValueW(h, 0, valueName, &cch, nullptr, &type, nullptr, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(cch, 3u);

    DWORD values = 0, maxValue = 0;
    EXPECT_EQ(RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, &maxValue, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(maxValue, 7 * sizeof(WCHAR));
    EXPECT_EQ(RegDeleteValueW(h, name), ERROR_SUCCESS);
    RegCloseKey(h);

    const WCHAR norvex[] = {'N', 'o', 'r', 'v', 'e', 'x', 0};
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &h), ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &software), ERROR_SUCCESS);
    WCHAR keyName[32];
    bool found = false;
    for (DWORD i = 0;; ++i) {
        cch = 32;
        if (RegEnumKeyExW(software, i, keyName, &cch, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        found = found || std::memcmp(keyName, norvex, sizeof norvex) == 0;
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(RegDeleteKeyW(software, norvex), ERROR_SUCCESS);
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex"));
    RegCloseKey(software);
}

// RegSetValueW and RegQueryValueW: the default value as text, sized in UTF-16 bytes.
TEST_P(RegFidelityNt, WideDefaultValueCalls) {
    TestKey k;
    const WCHAR sub[] = {'S', 'u', 'b', 0};
    const WCHAR data[] = {'d', 'a', 't', 'a', 0};
    ASSERT_EQ(RegSetValueW(k, sub, REG_SZ, data, 4 * sizeof(WCHAR)), ERROR_SUCCESS);
    char text[8];
    LONG size = sizeof text;
    ASSERT_EQ(RegQueryValueA(k, "Sub", text, &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "data");
    WCHAR wide[8] = {'x', 0};
    size = 5;
    EXPECT_EQ(RegQueryValueW(k, sub, wide, &size), ERROR_MORE_DATA) << "5 bytes, not characters";
    EXPECT_EQ(size, static_cast<LONG>(sizeof data));
    EXPECT_EQ(wide[0], 'x');
    size = sizeof wide;
    EXPECT_EQ(RegQueryValueW(k, sub, wide, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, static_cast<LONG>(sizeof data));
    EXPECT_EQ(std::memcmp(wide, data, sizeof data), 0);
}

// 95/98 export the wide forms as stubs only.
TEST_P(RegFidelity9x, WideFormsAreNotImplemented) {
    const WCHAR path[] = {'S', 'O', 'F', 'T', 'W', 'A', 'R', 'E', 0};
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &h), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                              nullptr),
              ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(RegSetValueExW(HKEY_LOCAL_MACHINE, path, 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>("1"), 1),
              ERROR_CALL_NOT_IMPLEMENTED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, path, nullptr, nullptr, nullptr, &size),
              ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, path), ERROR_CALL_NOT_IMPLEMENTED);
    const WCHAR text[] = {'x', 0};
    EXPECT_EQ(RegSetValueW(HKEY_LOCAL_MACHINE, path, REG_SZ, text, sizeof text),
              ERROR_CALL_NOT_IMPLEMENTED);
    LONG cb = 0;
    EXPECT_EQ(RegQueryValueW(HKEY_LOCAL_MACHINE, path, nullptr, &cb), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_TRUE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE"));
}

// ---- RegNotifyChangeKeyValue ------------------------------------------------------------------

// An event that RegNotifyChangeKeyValue signals, closed when the test ends.
class NotifyEvent {
  public:
    NotifyEvent() : m_h(CreateEventA(nullptr, FALSE, TRUE, nullptr)) { EXPECT_NE(m_h, nullptr); }
    ~NotifyEvent() { CloseHandle(m_h); }
    NotifyEvent(const NotifyEvent&) = delete;
    NotifyEvent& operator=(const NotifyEvent&) = delete;
    operator HANDLE() const { return m_h; }
    bool Signaled() const { return WaitForSingleObject(m_h, 0) == WAIT_OBJECT_0; }

  private:
    HANDLE m_h;
};

LONG Watch(HKEY key, BOOL subtree, DWORD filter, HANDLE event) {
    return RegNotifyChangeKeyValue(key, subtree, filter, event, TRUE);
}

// Windows 95 lacks the call; 98 and NT report the first change of the kinds asked for, once.
// Setting the watch resets the event.
TEST_P(RegFidelityEveryOs, NotifySignalsTheFirstChangeOfTheKindsAsked) {
    TestKey k;
    NotifyEvent e;
    if (GetParam() == winsim::Os::Win95) {
        EXPECT_EQ(Watch(k, TRUE, REG_NOTIFY_CHANGE_NAME, e), ERROR_CALL_NOT_IMPLEMENTED);
        return;
    }
    ASSERT_EQ(Watch(k, TRUE, REG_NOTIFY_CHANGE_NAME, e), ERROR_SUCCESS);
    EXPECT_FALSE(e.Signaled()) << "the watch resets its event";
    ASSERT_EQ(k.Set("v", REG_SZ, std::string("x", 2)), ERROR_SUCCESS);
    EXPECT_FALSE(e.Signaled()) << "a value is no name change";
    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKeyA(k, "Sub\\Deeper", &sub), ERROR_SUCCESS);
    EXPECT_TRUE(e.Signaled());
    HKEY other = nullptr;
    ASSERT_EQ(RegCreateKeyA(k, "Other", &other), ERROR_SUCCESS);
    EXPECT_FALSE(e.Signaled()) << "a watch reports one change";
    RegCloseKey(other);

    // Values: the key's own, and with its subtree those below it.
    ASSERT_EQ(Watch(k, FALSE, REG_NOTIFY_CHANGE_LAST_SET, e), ERROR_SUCCESS);
    const BYTE one[] = {1, 0, 0, 0};
    ASSERT_EQ(RegSetValueExA(sub, "deep", 0, REG_DWORD, one, sizeof one), ERROR_SUCCESS);
    EXPECT_FALSE(e.Signaled()) << "a subkey's value, and the subtree not watched";
    ASSERT_EQ(RegDeleteValueA(k, "v"), ERROR_SUCCESS);
    EXPECT_TRUE(e.Signaled());
    ASSERT_EQ(Watch(k, TRUE, REG_NOTIFY_CHANGE_LAST_SET, e), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(sub, "deep"), ERROR_SUCCESS);
    EXPECT_TRUE(e.Signaled());

    // A deleted subkey is a name change of its parent.
    RegCloseKey(sub);
    ASSERT_EQ(Watch(k, FALSE, REG_NOTIFY_CHANGE_NAME, e), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(k, "Sub\\Deeper"), ERROR_SUCCESS);
    EXPECT_FALSE(e.Signaled()) << "below the key, and the subtree not watched";
    ASSERT_EQ(RegDeleteKeyA(k, "Sub"), ERROR_SUCCESS);
    EXPECT_TRUE(e.Signaled());
}

// A value set again to the data it holds is still a write: a watch of the key's values hears of
// it, and the value reads as before.
TEST_P(RegFidelityEveryOs, NotifyHearsAValueSetToItsOwnData) {
    if (GetParam() == winsim::Os::Win95) return; // no such call
    TestKey k;
    NotifyEvent e;
    ASSERT_EQ(k.Set("v", REG_SZ, std::string("same", 5)), ERROR_SUCCESS);
    ASSERT_EQ(Watch(k, FALSE, REG_NOTIFY_CHANGE_LAST_SET, e), ERROR_SUCCESS);
    ASSERT_EQ(k.Set("v", REG_SZ, std::string("same", 5)), ERROR_SUCCESS);
    EXPECT_TRUE(e.Signaled());
    char text[16] = {};
    DWORD type = 0, size = sizeof text;
    ASSERT_EQ(RegQueryValueExA(k, "v", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(text, "same");
}

// Closing the watched handle signals the event; a watch whose event was closed signals nothing.
TEST_P(RegFidelityEveryOs, NotifyEndsWithItsHandle) {
    if (GetParam() == winsim::Os::Win95) return; // no such call
    NotifyEvent e;
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Watched", &h), ERROR_SUCCESS);
    ASSERT_EQ(Watch(h, TRUE, REG_LEGAL_CHANGE_FILTER, e), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(h), ERROR_SUCCESS);
    EXPECT_TRUE(e.Signaled());

    HANDLE gone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Watched", &h), ERROR_SUCCESS);
    ASSERT_EQ(Watch(h, FALSE, REG_NOTIFY_CHANGE_LAST_SET, gone), ERROR_SUCCESS);
    CloseHandle(gone);
    EXPECT_EQ(RegSetValueExA(h, "v", 0, REG_BINARY, reinterpret_cast<const BYTE*>("1"), 1),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

// The handle first, then the filter, the handle's KEY_NOTIFY right (NT) and the event; a
// synchronous call, which only another program could end, fails at once.
TEST_P(RegFidelityEveryOs, NotifyRefusesWhatWindowsRefuses) {
    if (GetParam() == winsim::Os::Win95) return; // no such call
    NotifyEvent e;
    const HKEY bad = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7ff0));
    EXPECT_EQ(Watch(bad, FALSE, REG_NOTIFY_CHANGE_NAME, e), ERROR_INVALID_HANDLE);
    TestKey k;
    EXPECT_EQ(Watch(k, FALSE, 0x10, e), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Watch(k, FALSE, REG_NOTIFY_CHANGE_NAME, nullptr), ERROR_INVALID_PARAMETER);
    const HANDLE notEvent = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7ff4));
    EXPECT_EQ(Watch(k, FALSE, REG_NOTIFY_CHANGE_NAME, notEvent), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegNotifyChangeKeyValue(k, FALSE, REG_NOTIFY_CHANGE_NAME, nullptr, FALSE),
              ERROR_POSSIBLE_DEADLOCK);

    HKEY query = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Fidelity", 0, KEY_QUERY_VALUE,
                            &query),
              ERROR_SUCCESS);
    EXPECT_EQ(Watch(query, FALSE, REG_NOTIFY_CHANGE_NAME, e),
              GetParam() == winsim::Os::Nt4 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS)
        << "95/98 keep no rights";
    RegCloseKey(query);
}

// NT: a change of a key's security is a change of its attributes and of its security.
TEST_P(RegFidelityNt, NotifyReportsSecurityChanges) {
    TestKey k;
    NotifyEvent security, attributes, names;
    ASSERT_EQ(Watch(k, FALSE, REG_NOTIFY_CHANGE_SECURITY, security), ERROR_SUCCESS);
    ASSERT_EQ(Watch(k, FALSE, REG_NOTIFY_CHANGE_ATTRIBUTES, attributes), ERROR_SUCCESS);
    ASSERT_EQ(Watch(k, FALSE, REG_NOTIFY_CHANGE_NAME, names), ERROR_SUCCESS);
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    ASSERT_EQ(RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    EXPECT_TRUE(security.Signaled());
    EXPECT_TRUE(attributes.Signaled());
    EXPECT_FALSE(names.Signaled());
}

// ---- GetComputerNameA ------------------------------------------------------------------------

// The name is the ComputerName key's value; a fresh machine has one. 95/98 want room for the
// longest name whatever the name is; NT for this name, and say how much that is.
TEST_P(RegFidelityEveryOs, ComputerNameComesFromTheRegistry) {
    const std::string key =
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
    ASSERT_TRUE(winsim::ImportRegistry("REGEDIT4\r\n\r\n[" + key + "]\r\n\"ComputerName\"=\"PRINTHOST\"\r\n"));
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_STREQ(name, "PRINTHOST");
    EXPECT_EQ(size, 9u);
    size = 12;
    const bool nt = GetParam() == winsim::Os::Nt4;
    EXPECT_EQ(GetComputerNameA(name, &size), nt ? TRUE : FALSE);
    if (!nt) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    }
    size = 5;
    EXPECT_FALSE(GetComputerNameA(name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    if (nt) {
        EXPECT_EQ(size, 10u) << "NT says how much room the name needs";
    }
}

TEST_P(RegFidelityEveryOs, AFreshMachineHasAComputerName) {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_GT(size, 0u);
    EXPECT_EQ(size, std::strlen(name));
}

} // namespace
