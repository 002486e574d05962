#include "support/machine_fixture.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::string kHklm = "HKEY_LOCAL_MACHINE\\";

std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

// A key created (with its path) below HKLM, closed when the test ends.
class Key {
  public:
    explicit Key(const char* path, HKEY root = HKEY_LOCAL_MACHINE) {
        EXPECT_EQ(
            RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_h, nullptr),
            ERROR_SUCCESS)
            << path;
    }
    ~Key() {
        if (m_h) RegCloseKey(m_h);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    operator HKEY() const { return m_h; }

    LONG Set(const char* name, DWORD type, const std::vector<uint8_t>& data) const {
        return RegSetValueExA(m_h, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    }
    LONG SetText(const char* name, const std::string& text) const {
        return Set(name, REG_SZ, Bytes(std::string(text.c_str(), text.size() + 1)));
    }

  private:
    HKEY m_h = nullptr;
};

class RegistryTest : public MachineTest {
  protected:
    void SetUp() override { NewMachine(winsim::Os::Nt4); }
    void Reopen() {
        winsim::CloseMachine();
        std::string error;
        ASSERT_TRUE(winsim::OpenMachine(m_dir, &error)) << error;
    }
};

class RegistryEveryOsTest : public EveryOsTest {};
INSTANTIATE_EVERY_OS(RegistryEveryOsTest);

TEST_F(RegistryTest, CreatesEveryMissingKeyOfAPathAndReportsTheDisposition) {
    HKEY h = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\KVP\\Models", 0,
                              const_cast<char*>("ignored class"), 0, KEY_ALL_ACCESS, nullptr, &h,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_TRUE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex\\KVP"));
    RegCloseKey(h);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\NORVEX\\kvp\\models", 0, nullptr, 0,
                              KEY_READ, nullptr, &h, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(h);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Absent", 0, KEY_READ, &h),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &h), 161)
        << "NT refuses a leading backslash";
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\Norvex", 0, KEY_READ, &h),
              ERROR_SUCCESS)
        << "a run of backslashes is one separator";
    RegCloseKey(h);
}

TEST_F(RegistryTest, NamesIgnoreCaseKeepTheirCaseAndEnumerateInCreationOrder) {
    Key parent("SOFTWARE\\Norvex");
    for (const char* name : {"Zeta", "alpha", "MiD"}) {
        HKEY h;
        ASSERT_EQ(RegCreateKeyA(parent, name, &h), ERROR_SUCCESS);
        RegCloseKey(h);
    }
    HKEY again;
    ASSERT_EQ(RegCreateKeyA(parent, "ALPHA", &again), ERROR_SUCCESS);
    RegCloseKey(again);
    char name[16];
    std::vector<std::string> names;
    for (DWORD i = 0; RegEnumKeyA(parent, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Zeta", "alpha", "MiD"}));
    EXPECT_EQ(RegEnumKeyA(parent, 3, name, sizeof name), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyA(parent, 0, name, 4), ERROR_MORE_DATA) << "Zeta needs 5 bytes";
    DWORD cch = 5;
    EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(cch, 4u);

    ASSERT_EQ(parent.SetText("Second", "2"), ERROR_SUCCESS);
    ASSERT_EQ(parent.SetText("first", "1"), ERROR_SUCCESS);
    ASSERT_EQ(parent.SetText("SECOND", "two"), ERROR_SUCCESS) << "replaces, keeps its place";
    cch = sizeof name;
    ASSERT_EQ(RegEnumValueA(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Second");
}

// A key with a few names and one with many are searched differently; either way a subkey or a
// value is found in any case (ASCII letters only: '[' is not '{'), and after deletions from the
// middle each remaining name still leads to its own key or data.
TEST_F(RegistryTest, NamesAreFoundInAnyCaseAmongFewOrManyAndAfterDeletions) {
    for (int count : {5, 12, 40}) {
        SCOPED_TRACE(count);
        Key parent(("SOFTWARE\\Norvex\\Names" + std::to_string(count)).c_str());
        const auto name = [](const char* stem, int i) { return stem + std::to_string(i) + "x"; };
        for (int i = 0; i < count; ++i) {
            Key child(name("Item", i).c_str(), parent);
            ASSERT_EQ(child.SetText(nullptr, std::to_string(i)), ERROR_SUCCESS);
            ASSERT_EQ(parent.SetText(name("Item", i).c_str(), std::to_string(i)), ERROR_SUCCESS);
        }
        for (int i = 0; i < count; i += 3) {
            ASSERT_EQ(RegDeleteKeyA(parent, name("ITEM", i).c_str()), ERROR_SUCCESS);
            ASSERT_EQ(RegDeleteValueA(parent, name("item", i).c_str()), ERROR_SUCCESS);
        }
        ASSERT_EQ(parent.SetText("Mark[", "square"), ERROR_SUCCESS);
        { Key mark("Sign@", parent); }

        const auto text = [](HKEY k, const char* value) -> std::string {
            char data[16] = "";
            DWORD size = sizeof data;
            const LONG rc = RegQueryValueExA(k, value, nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(data), &size);
            return rc == ERROR_SUCCESS ? data : "error " + std::to_string(rc);
        };
        const std::string notFound = "error " + std::to_string(ERROR_FILE_NOT_FOUND);
        for (int i = 0; i < count; ++i) {
            const std::string upper = name("ITEM", i), lower = name("item", i);
            if (i % 3 == 0) {
                HKEY h = nullptr;
                EXPECT_EQ(RegOpenKeyExA(parent, lower.c_str(), 0, KEY_READ, &h),
                          ERROR_FILE_NOT_FOUND);
                EXPECT_EQ(text(parent, upper.c_str()), notFound);
                continue;
            }
            HKEY h = nullptr;
            ASSERT_EQ(RegOpenKeyExA(parent, lower.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS);
            EXPECT_EQ(text(h, ""), std::to_string(i)) << lower << " opens its own key";
            RegCloseKey(h);
            EXPECT_EQ(text(parent, upper.c_str()), std::to_string(i));
        }
        EXPECT_EQ(text(parent, "mark["), "square");
        EXPECT_EQ(text(parent, "MARK{"), notFound);
        HKEY h = nullptr;
        EXPECT_EQ(RegOpenKeyExA(parent, "SIGN@", 0, KEY_READ, &h), ERROR_SUCCESS);
        RegCloseKey(h);
        EXPECT_EQ(RegOpenKeyExA(parent, "sign`", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
    }
}

// Many handles open at once, closed in no particular order: each open one still stands for the
// key it was opened on, and a closed one for none.
TEST_F(RegistryTest, HandlesKeepTheirKeysThroughOpensAndClosesInAnyOrder) {
    constexpr int kKeys = 5;
    const auto path = [](int key) { return "SOFTWARE\\Norvex\\H" + std::to_string(key); };
    for (int key = 0; key < kKeys; ++key) {
        Key k(path(key).c_str());
        ASSERT_EQ(k.SetText("Id", std::to_string(key)), ERROR_SUCCESS);
    }
    const auto idOf = [](HKEY h) -> std::string {
        char id[8] = "";
        DWORD size = sizeof id;
        const LONG rc =
            RegQueryValueExA(h, "Id", nullptr, nullptr, reinterpret_cast<BYTE*>(id), &size);
        return rc == ERROR_SUCCESS ? id : "error " + std::to_string(rc);
    };
    const int before = winsim::LiveHandles().keys;
    struct Open {
        HKEY h;
        int key;
    };
    std::vector<Open> open;
    std::vector<HKEY> closed;
    uint32_t seed = 12345; // a fixed sequence: a failure repeats
    const auto next = [&seed](size_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<size_t>(seed >> 16) % n;
    };
    for (int step = 0; step < 2000; ++step) {
        if (open.size() < 48 && (open.empty() || next(3) != 0)) {
            const int key = static_cast<int>(next(kKeys));
            HKEY h = nullptr;
            ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path(key).c_str(), 0, KEY_READ, &h),
                      ERROR_SUCCESS);
            open.push_back({h, key});
        } else {
            const size_t at = next(open.size());
            ASSERT_EQ(RegCloseKey(open[at].h), ERROR_SUCCESS);
            closed.push_back(open[at].h);
            open.erase(open.begin() + static_cast<std::ptrdiff_t>(at));
        }
        for (const Open& o : open)
            ASSERT_EQ(idOf(o.h), std::to_string(o.key)) << "step " << step;
    }
    EXPECT_EQ(winsim::LiveHandles().keys - before, static_cast<int>(open.size()));
    ASSERT_GT(closed.size(), 500u);
    for (HKEY h : closed)
        ASSERT_EQ(idOf(h), "error " + std::to_string(ERROR_INVALID_HANDLE)) << "closed";
    for (const Open& o : open)
        EXPECT_EQ(RegCloseKey(o.h), ERROR_SUCCESS);
    EXPECT_EQ(winsim::LiveHandles().keys, before);
}

TEST_F(RegistryTest, QueriesFollowTheSizingRules) {
    Key k("SOFTWARE\\Norvex");
    ASSERT_EQ(k.SetText("Name", "hello"), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(k, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 6u);
    char buf[16] = "untouched";
    size = 3;
    EXPECT_EQ(RegQueryValueExA(k, "Name", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    size = 6;
    EXPECT_EQ(RegQueryValueExA(k, "NAME", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(RegQueryValueExA(k, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(k, "Name", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(k, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(k, "", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND)
        << "no default value until one is set";

    // NT stores text written without its terminator with one.
    ASSERT_EQ(k.Set(nullptr, REG_SZ, Bytes("abc")), ERROR_SUCCESS);
    size = sizeof buf;
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(RegQueryValueExA(k, "", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buf[3], '\0');

    DWORD subkeys = 9, values = 0, maxName = 0, maxData = 0, sdSize = 0;
    ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               &maxName, &maxData, &sdSize, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxName, 4u);
    EXPECT_EQ(maxData, 12u) << "NT counts its UTF-16 bytes";
    EXPECT_GT(sdSize, 20u);
}

TEST_F(RegistryTest, EnumeratesValuesWithTheirSizes) {
    Key k("SOFTWARE\\Norvex");
    DWORD seven = 7;
    ASSERT_EQ(k.Set("Count", REG_DWORD, std::vector<uint8_t>{7, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(k.SetText("LongerName", "value"), ERROR_SUCCESS);
    char name[16];
    BYTE data[16];
    DWORD cch = 5, type = 0, size = sizeof data;
    EXPECT_EQ(RegEnumValueA(k, 0, name, &cch, nullptr, &type, data, &size), ERROR_MORE_DATA)
        << "Count needs 6 bytes";
    cch = sizeof name;
    size = 2;
    EXPECT_EQ(RegEnumValueA(k, 0, name, &cch, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    cch = sizeof name;
    size = sizeof data;
    ASSERT_EQ(RegEnumValueA(k, 0, name, &cch, nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Count");
    EXPECT_EQ(cch, 5u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(std::memcmp(data, &seven, 4), 0);
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(k, 2, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);

    EXPECT_EQ(RegDeleteValueA(k, "count"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(k, "Count"), ERROR_FILE_NOT_FOUND);
    cch = sizeof name;
    ASSERT_EQ(RegEnumValueA(k, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "LongerName");
}

TEST_P(RegistryEveryOsTest, DeletesKeysAsTheSystemDoes) {
    { Key leaf("SOFTWARE\\Norvex\\KVP\\Leaf"); }
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Absent"), ERROR_FILE_NOT_FOUND);
    LONG rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex");
    if (GetParam() == winsim::Os::Nt4) {
        // NT deletes only keys without subkeys.
        EXPECT_EQ(rc, ERROR_ACCESS_DENIED);
        EXPECT_TRUE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex\\KVP\\Leaf"));
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\KVP\\Leaf"), ERROR_SUCCESS);
        EXPECT_FALSE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex\\KVP\\Leaf"));
        EXPECT_TRUE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex\\KVP"));
    } else {
        // 95/98 take the whole tree.
        EXPECT_EQ(rc, ERROR_SUCCESS);
        EXPECT_FALSE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex"));
    }
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED) << "a root stays";
}

TEST_P(RegistryEveryOsTest, HandlesOfDeletedKeysAnswerKeyDeleted) {
    HKEY h, other;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex", &h), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex", &other), ERROR_SUCCESS);
    EXPECT_LT(reinterpret_cast<uintptr_t>(h), 0x80000000u) << "handles fit in 32 bits";
    EXPECT_NE(h, other);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex"), ERROR_SUCCESS);
    BYTE one = 1;
    EXPECT_EQ(RegSetValueExA(h, "v", 0, REG_BINARY, &one, 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExA(other, "v", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    HKEY sub;
    EXPECT_EQ(RegCreateKeyA(h, "Sub", &sub), ERROR_KEY_DELETED);
    // A new key of the same name is another key.
    HKEY fresh;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex", &fresh), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumValueA(h, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(fresh), ERROR_SUCCESS);
}

TEST_P(RegistryEveryOsTest, PredefinedRootsArriveInAnyWidth) {
    HKEY zeroExtended = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));
    HKEY signExtended =
        reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(0x80000002u)));
    for (HKEY root : {zeroExtended, signExtended}) {
        HKEY h;
        ASSERT_EQ(RegOpenKeyExA(root, "SOFTWARE", 0, KEY_READ, &h), ERROR_SUCCESS);
        // A handle handed out comes back through a 32-bit integer too.
        HKEY narrowed = reinterpret_cast<HKEY>(
            static_cast<intptr_t>(static_cast<int32_t>(reinterpret_cast<uintptr_t>(h))));
        EXPECT_EQ(RegCloseKey(narrowed), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(uintptr_t(0x1234)), "x", 0, KEY_READ, &h),
              ERROR_INVALID_HANDLE);
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, nullptr, &h), ERROR_SUCCESS);
    EXPECT_EQ(h, HKEY_CURRENT_USER) << "no subkey: the same handle comes back";

    // HKEY_CLASSES_ROOT is HKLM\SOFTWARE\Classes; HKEY_CURRENT_USER is a hive of its own.
    {
        Key ext(".kvp", HKEY_CLASSES_ROOT);
        Key user("Software\\Norvex", HKEY_CURRENT_USER);
    }
    EXPECT_TRUE(winsim::KeyExists(kHklm + "SOFTWARE\\Classes\\.kvp"));
    EXPECT_TRUE(winsim::KeyExists("HKEY_CLASSES_ROOT\\.KVP"));
    EXPECT_TRUE(winsim::KeyExists("HKEY_CURRENT_USER\\Software\\Norvex"));
    EXPECT_FALSE(winsim::KeyExists(kHklm + "Software\\Norvex"));
    EXPECT_TRUE(winsim::KeyExists("HKEY_USERS\\.DEFAULT"));
}

TEST_P(RegistryEveryOsTest, EveryFunctionCanBeMadeToFail) {
    Key k("SOFTWARE\\Norvex");
    ASSERT_EQ(k.SetText("v", "1"), ERROR_SUCCESS);
    HKEY h = nullptr;
    char name[32];
    DWORD cch = sizeof name;
    BYTE one = 1;
    const std::vector<std::pair<const char*, std::function<LONG()>>> calls = {
        {"RegOpenKeyA", [&] { return RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &h); }},
        {"RegOpenKeyExA",
         [&] { return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &h); }},
        {"RegCreateKeyA", [&] { return RegCreateKeyA(k, "New", &h); }},
        {"RegCreateKeyExA",
         [&] {
             return RegCreateKeyExA(k, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
         }},
        {"RegCloseKey", [&] { return RegCloseKey(k); }},
        {"RegFlushKey", [&] { return RegFlushKey(k); }},
        {"RegSetValueExA", [&] { return RegSetValueExA(k, "w", 0, REG_BINARY, &one, 1); }},
        {"RegQueryValueExA",
         [&] { return RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, nullptr); }},
        {"RegEnumKeyA", [&] { return RegEnumKeyA(HKEY_LOCAL_MACHINE, 0, name, sizeof name); }},
        {"RegEnumKeyExA",
         [&] {
             return RegEnumKeyExA(HKEY_LOCAL_MACHINE, 0, name, &cch, nullptr, nullptr, nullptr,
                                  nullptr);
         }},
        {"RegEnumValueA",
         [&] { return RegEnumValueA(k, 0, name, &cch, nullptr, nullptr, nullptr, nullptr); }},
        {"RegDeleteKeyA", [&] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex"); }},
        {"RegDeleteValueA", [&] { return RegDeleteValueA(k, "v"); }},
        {"RegQueryInfoKeyA",
         [&] {
             return RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
         }},
        {"RegGetKeySecurity",
         [&] { return RegGetKeySecurity(k, DACL_SECURITY_INFORMATION, nullptr, &cch); }},
        {"RegSetKeySecurity",
         [&] { return RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, nullptr); }},
    };
    for (const auto& call : calls) {
        winsim::FailCall(call.first, 1234, 1);
        EXPECT_EQ(call.second(), 1234) << call.first;
    }
    // Each failure was for one call only, and changed nothing.
    EXPECT_EQ(RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex"));
    EXPECT_FALSE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex\\New"));
    winsim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &h),
                  ERROR_ACCESS_DENIED);
    winsim::ClearFailures();
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &h), ERROR_SUCCESS);
    RegCloseKey(h);
}

// Every value type, every odd byte, through the hive files and back.
TEST_F(RegistryTest, ValuesSurviveAReopenByteForByte) {
    std::vector<uint8_t> blob(300);
    for (size_t i = 0; i < blob.size(); ++i)
        blob[i] = static_cast<uint8_t>(i * 7);
    const std::vector<std::tuple<std::string, DWORD, std::vector<uint8_t>>> values = {
        {"Files", REG_MULTI_SZ, Bytes(std::string("a.dll\0b \"x\".dll\0\0", 18))},
        {"Blob", REG_BINARY, blob},
        {"Count", REG_DWORD, {0x2a, 0, 0, 0x80}},
        {"Short dword", REG_DWORD, {1, 2}},
        {"Big", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}},
        {"Path \"quoted\" \\ name", REG_SZ, Bytes(std::string("C:\\KV\\\"x\"\0", 10))},
        {"Unterminated", REG_SZ, Bytes("abc")},
        {"Embedded", REG_SZ, Bytes(std::string("a\0b\0", 4))},
        // A line end inside a text would end its line of the hive and lose the whole hive.
        {"Lines", REG_SZ, Bytes(std::string("one\r\ntwo\nthree\r\0", 16))},
        {"Expand", REG_EXPAND_SZ, Bytes(std::string("%SystemRoot%\\x\0", 15))},
        {"Nothing", REG_NONE, {}},
        {"", REG_SZ, Bytes(std::string("default\0", 8))},
    };
    {
        Key k("SOFTWARE\\Norvex\\Values");
        for (const auto& v : values) {
            // NT ends text that RegSetValueExA is given; a hive written on 95/98 or by hand may
            // still hold text without an end.
            if (std::get<0>(v) == "Unterminated") {
                ASSERT_TRUE(winsim::ImportRegistry(
                    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Values]\r\n"
                    "\"Unterminated\"=hex(1):61,62,63\r\n"));
                continue;
            }
            ASSERT_EQ(k.Set(std::get<0>(v).c_str(), std::get<1>(v), std::get<2>(v)), ERROR_SUCCESS);
        }
        Key user("Software\\Norvex", HKEY_CURRENT_USER);
        ASSERT_EQ(user.SetText("Where", "user.reg"), ERROR_SUCCESS);
    }
    Reopen();
    for (const auto& v : values) {
        uint32_t type = 99;
        std::vector<uint8_t> data;
        ASSERT_TRUE(
            winsim::ReadValue(kHklm + "SOFTWARE\\Norvex\\Values", std::get<0>(v), &type, &data))
            << std::get<0>(v);
        EXPECT_EQ(type, std::get<1>(v)) << std::get<0>(v);
        EXPECT_EQ(data, std::get<2>(v)) << std::get<0>(v);
    }
    HKEY h;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Values", &h), ERROR_SUCCESS);
    char name[64];
    DWORD cch = sizeof name;
    ASSERT_EQ(RegEnumValueA(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Files") << "creation order is kept";
    RegCloseKey(h);
    EXPECT_TRUE(
        winsim::ReadValue("HKEY_CURRENT_USER\\Software\\Norvex", "Where", nullptr, nullptr));
    EXPECT_NE(ReadHostFile(m_dir + "/user.reg").find("\"Where\"=\"user.reg\""), std::string::npos);
}

TEST_F(RegistryTest, FlushWritesTheHiveAndVolatileKeysStayInMemory) {
    Key k("SOFTWARE\\Norvex");
    HKEY vol;
    ASSERT_EQ(RegCreateKeyExA(k, "Session", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &vol, nullptr),
              ERROR_SUCCESS);
    HKEY under;
    ASSERT_EQ(RegCreateKeyExA(vol, "Under", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &under, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(k.SetText("Flushed", "yes"), ERROR_SUCCESS);
    ASSERT_EQ(RegFlushKey(k), ERROR_SUCCESS);
    std::string hive = ReadHostFile(m_dir + "/system.reg");
    EXPECT_NE(hive.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex]\r\n\"Flushed\"=\"yes\"\r\n"),
              std::string::npos);
    EXPECT_EQ(hive.find("Norvex\\Session"), std::string::npos);
    EXPECT_NE(winsim::ExportRegistry("HKEY_LOCAL_MACHINE").find("Norvex\\Session\\Under]"),
              std::string::npos);
    RegCloseKey(under);
    RegCloseKey(vol);
    Reopen();
    EXPECT_TRUE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex"));
    EXPECT_FALSE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex\\Session"));
}

TEST_F(RegistryTest, ExportsTheTextRegeditWrites) {
    {
        Key k("SOFTWARE\\Norvex\\Export");
        k.SetText("", "default");
        k.SetText("Path", "C:\\KV \"q\"");
        k.Set("Na\"me", REG_DWORD, {0x2a, 0, 0, 0});
        std::vector<uint8_t> blob(30);
        for (size_t i = 0; i < blob.size(); ++i)
            blob[i] = static_cast<uint8_t>(i);
        k.Set("Blob", REG_BINARY, blob);
        k.Set("List", REG_MULTI_SZ, Bytes(std::string("a\0bc\0\0", 6)));
        k.Set("Expand", REG_EXPAND_SZ, Bytes(std::string("%W%\0", 4)));
        ASSERT_TRUE(winsim::ImportRegistry( // text without its end, as NT's calls never store
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Export]\r\n"
            "\"Raw\"=hex(1):61,62\r\n"));
        k.Set("Empty", REG_BINARY, {});
        Key sub("SOFTWARE\\Norvex\\Export\\Sub");
        sub.Set("", REG_MULTI_SZ, std::vector<uint8_t>(60, 'x'));
    }
    auto repeat = [](const std::string& s, int n) {
        std::string out;
        while (n--)
            out += s;
        return out;
    };
    const std::string expected =
        "REGEDIT4\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Export]\r\n"
        "@=\"default\"\r\n"
        "\"Path\"=\"C:\\\\KV \\\"q\\\"\"\r\n"
        "\"Na\\\"me\"=dword:0000002a\r\n"
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
        "  16,17,18,19,1a,1b,1c,1d\r\n"
        "\"List\"=hex(7):61,00,62,63,00,00\r\n"
        "\"Expand\"=hex(2):25,57,25,00\r\n"
        "\"Raw\"=hex(1):61,62\r\n"
        "\"Empty\"=hex:\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Export\\Sub]\r\n"
        "@=hex(7):" +
        repeat("78,", 23) +
        "\\\r\n"
        "  " +
        repeat("78,", 25) +
        "\\\r\n"
        "  " +
        repeat("78,", 11) +
        "78\r\n"
        "\r\n";
    EXPECT_EQ(winsim::ExportRegistry("hkey_local_machine\\software\\norvex\\export"), expected);
    EXPECT_EQ(winsim::ExportRegistry("HKEY_LOCAL_MACHINE\\SOFTWARE\\Absent"), "");
    EXPECT_EQ(winsim::ExportRegistry().rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE]\r\n", 0), 0u);
    { Key ext(".kvp", HKEY_CLASSES_ROOT); }
    EXPECT_EQ(winsim::ExportRegistry("HKEY_CLASSES_ROOT\\.kvp"),
              "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.kvp]\r\n\r\n");

    // What export writes, import reads back to the same bytes.
    std::string text = winsim::ExportRegistry(kHklm + "SOFTWARE\\Norvex");
    ASSERT_TRUE(
        winsim::ImportRegistry("REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex]\r\n"));
    EXPECT_FALSE(winsim::KeyExists(kHklm + "SOFTWARE\\Norvex"));
    std::string error;
    ASSERT_TRUE(winsim::ImportRegistry(text, &error)) << error;
    EXPECT_EQ(winsim::ExportRegistry(kHklm + "SOFTWARE\\Norvex"), text);
}

TEST_F(RegistryTest, ImportsHandWrittenRegFiles) {
    std::string error;
    ASSERT_TRUE(winsim::ImportRegistry("REGEDIT4\n"
                                       "\n"
                                       "; a comment\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP]\n"
                                       "\"Gone\"=\"soon\"\n"
                                       "\"Bytes\" = hex:01,0A, \\\n"
                                       "    ff\n"
                                       "\"Number\"=dword:FF\n"
                                       "@=\"d\"\n"
                                       "[HKEY_CURRENT_USER\\Software\\Norvex]\n"
                                       "\"Tail\"=hex(7):61,00,00,\n",
                                       &error))
        << error;
    std::vector<uint8_t> data;
    uint32_t type;
    ASSERT_TRUE(winsim::ReadValue(kHklm + "SOFTWARE\\Norvex\\KVP", "Bytes", &type, &data));
    EXPECT_EQ(data, (std::vector<uint8_t>{1, 10, 255}));
    ASSERT_TRUE(winsim::ReadValue(kHklm + "SOFTWARE\\Norvex\\KVP", "Number", &type, &data));
    EXPECT_EQ(data, (std::vector<uint8_t>{255, 0, 0, 0}));
    ASSERT_TRUE(winsim::ReadValue("HKEY_CURRENT_USER\\Software\\Norvex", "Tail", &type, &data));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_MULTI_SZ));
    EXPECT_EQ(data, (std::vector<uint8_t>{'a', 0, 0}));

    ASSERT_TRUE(winsim::ImportRegistry("REGEDIT4\r\n\r\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP]\r\n"
                                       "\"Gone\"=-\r\n"
                                       "[-HKEY_CURRENT_USER\\Software\\Norvex]\r\n"
                                       "\"Ignored\"=\"value of a deleted key\"\r\n",
                                       &error))
        << error;
    EXPECT_FALSE(winsim::ReadValue(kHklm + "SOFTWARE\\Norvex\\KVP", "Gone", &type, &data));
    EXPECT_TRUE(winsim::ReadValue(kHklm + "SOFTWARE\\Norvex\\KVP", "", &type, &data));
    EXPECT_FALSE(winsim::KeyExists("HKEY_CURRENT_USER\\Software\\Norvex"));
}

TEST_F(RegistryTest, ImportNamesTheLineOfAMalformedEntryAndChangesNothing) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"v\"=\"1\"\r\n\"w\"=hex:1,zz\r\n",
         "line 5"},
        {"REGEDIT4\r\n[HKEY_NOWHERE\\X]\r\n", "line 2"},
        {"REGEDIT4\r\n\"v\"=\"outside\"\r\n", "line 2"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"v\"=dword:123456789\r\n", "line 3"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"v=\"x\"\r\n", "line 3"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\r\n", "line 2"},
        {"Windows Registry Editor Version 5.00\r\n", "line 1"},
    };
    for (const auto& b : bad) {
        std::string error;
        EXPECT_FALSE(winsim::ImportRegistry(b.first, &error)) << b.first;
        EXPECT_EQ(error.rfind(b.second + ":", 0), 0u) << error;
    }
    EXPECT_FALSE(winsim::KeyExists(kHklm + "SOFTWARE\\A"));
}

TEST_P(RegistryEveryOsTest, FreshMachineHasTheKeysOfItsWindows) {
    const bool nt = GetParam() == winsim::Os::Nt4;
    const std::string cv = kHklm + "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    for (const char* sub : {"SharedDLLs", "Run", "RunOnce", "App Paths", "Uninstall"})
        EXPECT_TRUE(winsim::KeyExists(cv + "\\" + sub)) << sub;
    EXPECT_TRUE(winsim::KeyExists(kHklm + "SOFTWARE\\Classes"));

    auto text = [](const std::string& key, const std::string& name) {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (!winsim::ReadValue(key, name, &type, &data) || type != REG_SZ || data.empty())
            return std::string("<missing>");
        return std::string(data.begin(), data.end() - 1);
    };
    const std::string shell =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const std::string profile = nt ? "C:\\WINDOWS\\Profiles\\Administrator" : "C:\\WINDOWS";
    EXPECT_EQ(text(shell, "Programs"), profile + "\\Start Menu\\Programs");
    EXPECT_EQ(text(shell, "Start Menu"), profile + "\\Start Menu");
    EXPECT_EQ(text(shell, "Desktop"), profile + "\\Desktop");
    EXPECT_EQ(text(shell, "Startup"), profile + (nt ? "\\Start Menu\\Programs\\Startup"
                                                    : "\\Start Menu\\Programs\\StartUp"));
    for (const char* folder : {"Startup", "Desktop"})
        EXPECT_TRUE(std::filesystem::is_directory(winsim::HostPath(text(shell, folder)))) << folder;

    const std::string ccs = kHklm + "SYSTEM\\CurrentControlSet";
    if (nt) {
        EXPECT_EQ(text(cv + "\\Explorer\\Shell Folders", "Common Programs"),
                  "C:\\WINDOWS\\Profiles\\All Users\\Start Menu\\Programs");
        EXPECT_TRUE(
            winsim::KeyExists(kHklm + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows"));
        for (const char* sub : {"Environments", "Monitors", "Printers"})
            EXPECT_TRUE(winsim::KeyExists(ccs + "\\Control\\Print\\" + sub)) << sub;
        EXPECT_EQ(text(ccs + "\\Control\\Print\\Monitors\\Local Port", "Driver"), "localmon.dll");
        EXPECT_TRUE(winsim::KeyExists(ccs + "\\Services"));
        EXPECT_EQ(winsim::GetKeySecurity(ccs + "\\Enum"),
                  "O:SYD:(A;;KA;;;SY)(A;;KR;;;BA)(A;;KR;;;WD)");
        EXPECT_FALSE(winsim::KeyExists(kHklm + "Enum"));
        EXPECT_FALSE(winsim::KeyExists(kHklm + "Network"));
    } else {
        EXPECT_TRUE(winsim::KeyExists(ccs + "\\Services\\Class"));
        EXPECT_TRUE(winsim::KeyExists(ccs + "\\control\\Print\\Monitors\\Local Port"));
        EXPECT_TRUE(winsim::KeyExists(kHklm + "Enum\\BIOS"));
        EXPECT_TRUE(winsim::KeyExists(kHklm + "Enum\\Root"));
        EXPECT_TRUE(winsim::KeyExists(kHklm + "Network")) << "network=1 by default";
        EXPECT_FALSE(winsim::KeyExists(kHklm + "SOFTWARE\\Microsoft\\Windows NT"));
        EXPECT_EQ(winsim::GetKeySecurity(kHklm + "Enum"), "");
    }
}

// The first line of a hex value breaks once it passes regedit's width, however long the name;
// values without a text form of their own take hex(type).
TEST_F(RegistryTest, ExportsEveryValueFormAndReadsItBack) {
    const std::string longName(74, 'n');
    {
        Key k("SOFTWARE\\Norvex\\Forms");
        k.Set(longName.c_str(), REG_BINARY, {1, 2, 3});
        k.Set("High", REG_DWORD, {0x2a, 0, 0, 0x80});
        k.Set("Short", REG_DWORD, {1, 2});
        k.Set("Big", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1});
        k.SetText("Slashes", "\\\\server\\\"share\"\\");
    }
    const std::string key = kHklm + "SOFTWARE\\Norvex\\Forms";
    const std::string text = winsim::ExportRegistry(key);
    EXPECT_EQ(text, "REGEDIT4\r\n\r\n[" + key + "]\r\n\"" + longName +
                        "\"=hex:01,\\\r\n"
                        "  02,03\r\n"
                        "\"High\"=dword:8000002a\r\n"
                        "\"Short\"=hex(4):01,02\r\n"
                        "\"Big\"=hex(5):00,00,00,01\r\n"
                        "\"Slashes\"=\"\\\\\\\\server\\\\\\\"share\\\"\\\\\"\r\n"
                        "\r\n");
    ASSERT_TRUE(winsim::ImportRegistry("REGEDIT4\r\n\r\n[-" + key + "]\r\n"));
    std::string error;
    ASSERT_TRUE(winsim::ImportRegistry(text, &error)) << error;
    EXPECT_EQ(winsim::ExportRegistry(key), text);
    std::vector<uint8_t> data;
    ASSERT_TRUE(winsim::ReadValue(key, longName, nullptr, &data));
    EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3})) << "a CRLF continuation joins the bytes";
}

// system.reg holds HKEY_LOCAL_MACHINE, user.reg HKEY_CURRENT_USER and HKEY_USERS, in CRLF text;
// HKEY_DYN_DATA (95/98 only) is never saved. A hive that does not read whole refuses the open and
// stays as it was, for the next save would write what little was read over it.
TEST_P(RegistryEveryOsTest, HivesHoldTheirRootsAndADamagedOneRefusesTheOpen) {
    { Key machine("SOFTWARE\\Norvex"); }
    { Key user("Software\\Norvex", HKEY_CURRENT_USER); }
    { Key users(".Default\\Software\\Norvex", HKEY_USERS); }
    HKEY dyn = nullptr;
    const bool nt = GetParam() == winsim::Os::Nt4;
    ASSERT_EQ(RegCreateKeyA(HKEY_DYN_DATA, "PerfStats", &dyn),
              nt ? ERROR_INVALID_HANDLE : ERROR_SUCCESS);
    if (dyn) RegCloseKey(dyn);
    winsim::CloseMachine();
    const std::string system = ReadHostFile(m_dir + "/system.reg");
    const std::string user = ReadHostFile(m_dir + "/user.reg");
    EXPECT_EQ(system.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE]\r\n", 0), 0u);
    EXPECT_EQ(user.rfind("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n", 0), 0u);
    EXPECT_NE(system.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex]\r\n"), std::string::npos);
    EXPECT_NE(user.find("[HKEY_USERS\\.Default\\Software\\Norvex]\r\n"), std::string::npos);
    for (const std::string* hive : {&system, &user}) {
        EXPECT_EQ(hive->find("HKEY_DYN_DATA"), std::string::npos);
        for (size_t lf = hive->find('\n'); lf != std::string::npos; lf = hive->find('\n', lf + 1))
            ASSERT_EQ((*hive)[lf - 1], '\r') << "at " << lf;
    }
    EXPECT_EQ(user.find("HKEY_LOCAL_MACHINE"), std::string::npos);

    const std::string damaged = user + "[HKEY_NOWHERE]\r\n";
    WriteHostFile(m_dir + "/user.reg", damaged);
    const size_t badLine = static_cast<size_t>(std::count(user.begin(), user.end(), '\n')) + 1;
    std::string error;
    EXPECT_FALSE(winsim::OpenMachine(m_dir, &error));
    EXPECT_FALSE(winsim::HasMachine());
    EXPECT_NE(error.find(m_dir + "/user.reg: line " + std::to_string(badLine) + ": "),
              std::string::npos)
        << error;
    EXPECT_EQ(ReadHostFile(m_dir + "/user.reg"), damaged);
    EXPECT_EQ(ReadHostFile(m_dir + "/system.reg"), system);
}

TEST_P(RegistryEveryOsTest, FreshMachineTellsItsVersionAndPlacesItsDerivedRoots) {
    const winsim::Os os = GetParam();
    const std::string cv = kHklm + "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    auto value = [](const std::string& key, const char* name) {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (!winsim::ReadValue(key, name, &type, &data)) return std::string("<missing>");
        return std::to_string(type) + ":" + std::string(data.begin(), data.end());
    };
    auto sz = [](const std::string& text) { return "1:" + text + std::string(1, '\0'); };
    HKEY config;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_CONFIG, "Norvex", &config), ERROR_SUCCESS);
    RegCloseKey(config);
    HKEY dyn = nullptr;
    if (os == winsim::Os::Nt4) {
        EXPECT_EQ(value(cv, "DevicePath"), "2:%SystemRoot%\\inf" + std::string(1, '\0'));
        EXPECT_EQ(value(cv, "Version"), "<missing>");
        const std::string ntcv = kHklm + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
        EXPECT_EQ(value(ntcv, "CurrentVersion"), sz("4.0"));
        EXPECT_EQ(value(ntcv, "CurrentBuildNumber"), sz("1381"));
        EXPECT_TRUE(winsim::KeyExists(
            kHklm + "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Norvex"));
        EXPECT_EQ(winsim::GetKeySecurity(kHklm + "SYSTEM\\CurrentControlSet\\Enum\\Root"),
                  "O:SYD:(A;;KA;;;SY)(A;;KR;;;BA)(A;;KR;;;WD)");
        EXPECT_EQ(
            winsim::GetKeySecurity(kHklm + "SYSTEM\\CurrentControlSet\\Control\\Session Manager"),
            "O:BAD:(A;;KA;;;BA)(A;;KA;;;SY)(A;;KR;;;WD)");
        EXPECT_EQ(RegOpenKeyA(HKEY_DYN_DATA, nullptr, &dyn), ERROR_INVALID_HANDLE);
    } else {
        const bool win95 = os == winsim::Os::Win95;
        EXPECT_EQ(value(cv, "DevicePath"), sz("C:\\WINDOWS\\INF"));
        EXPECT_EQ(value(cv, "SystemRoot"), sz("C:\\WINDOWS"));
        EXPECT_EQ(value(cv, "Version"), sz(win95 ? "Windows 95" : "Windows 98"));
        EXPECT_EQ(value(cv, "VersionNumber"), sz(win95 ? "4.00.950" : "4.10.1998"));
        EXPECT_EQ(value(kHklm + "Network\\Logon", "username"), sz("Administrator"));
        EXPECT_TRUE(winsim::KeyExists(kHklm + "Config\\0001\\Norvex"));
        EXPECT_EQ(RegOpenKeyA(HKEY_DYN_DATA, nullptr, &dyn), ERROR_SUCCESS);
    }
}

} // namespace
