// The common layer where the two programs' rules differ and it takes the rule as a parameter.
#include "support/machine_fixture.h"

#include "common/fence.h"
#include "common/placeholder.h"
#include "common/registry.h"
#include "common/text.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char kIni[] = "C:\\KV\\SETUP.INI";
const char kSentinel[] = "It's not there!";
const ZrPlaceholderRule kSetupRule = {"", true};
const ZrPlaceholderRule kUninstallRule = {kSentinel, false};

class CommonTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine();
        CreateDirectoryA("C:\\KV", nullptr);
        WritePrivateProfileStringA("Strings", "dir", "C:\\KV", kIni);
        WritePrivateProfileStringA("Strings", "empty", "", kIni);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, kIni);
    }
    static std::string Expand(const char* text, const ZrPlaceholderRule& rule,
                              ZrExpansion::Outcome* outcome = nullptr, size_t room = 128) {
        char buffer[256];
        std::strcpy(buffer, text);
        const ZrExpansion done = zrExpandPlaceholder(buffer, room, kIni, rule);
        if (outcome) *outcome = done.outcome;
        return buffer;
    }
};

// What an absent name and an empty value do under each program's rule.
struct RuleCase {
    const char* program;
    const ZrPlaceholderRule* rule;
    const char* absentGives;
    const char* emptyGives;
    ZrExpansion::Outcome emptyIs;
};
const RuleCase kRuleCases[] = {
    // The setup library's look-up default is empty, so an empty value is absent too.
    {"Setup", &kSetupRule, "x", "", ZrExpansion::NameAbsent},
    {"Uninstaller", &kUninstallRule, "x%missing%\\a.dll", "\\a.dll", ZrExpansion::Expanded},
};

class PlaceholderRuleTest : public CommonTest, public ::testing::WithParamInterface<RuleCase> {};
INSTANTIATE_TEST_SUITE_P(EachProgram, PlaceholderRuleTest, ::testing::ValuesIn(kRuleCases),
                         [](const auto& info) { return std::string(info.param.program); });

TEST_P(PlaceholderRuleTest, AnAbsentNameOrAnEmptyValueDoesWhatTheProgramsRuleSays) {
    const RuleCase& c = GetParam();
    ZrExpansion::Outcome outcome{};
    EXPECT_EQ(Expand("x%missing%\\a.dll", *c.rule, &outcome), c.absentGives);
    EXPECT_EQ(outcome, ZrExpansion::NameAbsent);
    EXPECT_EQ(Expand("%empty%\\a.dll", *c.rule, &outcome), c.emptyGives);
    EXPECT_EQ(outcome, c.emptyIs);
}

TEST_F(CommonTest, BothRulesExpandTheFirstPlaceholderOnlyAndNeverCut) {
    ZrExpansion::Outcome outcome{};
    for (const ZrPlaceholderRule* rule : {&kSetupRule, &kUninstallRule}) {
        EXPECT_EQ(Expand("%DIR%\\a;%dir%", *rule, &outcome), "C:\\KV\\a;%dir%");
        EXPECT_EQ(outcome, ZrExpansion::Expanded);
        EXPECT_EQ(Expand("%dir%\\abc", *rule, &outcome, 9), "") << "C:\\KV\\abc needs 10 bytes";
        EXPECT_EQ(outcome, ZrExpansion::TooLong);
        EXPECT_EQ(Expand("no placeholder %", *rule, &outcome), "no placeholder %");
        EXPECT_EQ(outcome, ZrExpansion::NoPlaceholder);
    }
}

// Opens parents as the plain opener does and counts what it is asked, so that the lease reaches
// Done with the parent it belongs to.
struct CountingOpener : CZRPlainKeyOpener {
    int Open(HKEY root, const char* path, CZRRegKey* key) {
        opened.push_back(path);
        CZRPlainKeyOpener::Open(root, path, key);
        return static_cast<int>(opened.size());
    }
    void Done(int lease, HKEY parent) {
        EXPECT_NE(parent, nullptr);
        done.push_back(lease);
    }
    std::vector<std::string> opened;
    std::vector<int> done;
};

TEST_F(CommonTest, KeyPathCreationTakesTheParentLimitAndTheOpenerOfItsCaller) {
    CountingOpener opener;
    CZRRegKey key(zrCreateKeyPath(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\KVP", 260, opener));
    ASSERT_TRUE(key);
    EXPECT_TRUE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP"));
    EXPECT_EQ(opener.opened, (std::vector<std::string>{"SOFTWARE\\Norvex", "SOFTWARE"}));
    EXPECT_EQ(opener.done, (std::vector<int>{2, 1})) << "innermost first, each its own lease";

    // The uninstaller splits a parent in 783 bytes, the setup library a whole path in 260.
    const std::string parent = "SOFTWARE\\" + std::string(100, 'a') + "\\" + std::string(100, 'b') +
                               "\\" + std::string(100, 'c');
    CZRPlainKeyOpener plain;
    EXPECT_EQ(zrCreateKeyPath(HKEY_LOCAL_MACHINE, (parent + "\\x").c_str(), 260, plain), nullptr);
    CZRRegKey longer(zrCreateKeyPath(HKEY_LOCAL_MACHINE, (parent + "\\x").c_str(), 783, plain));
    EXPECT_TRUE(longer);
    EXPECT_EQ(zrCreateKeyPath(HKEY_LOCAL_MACHINE, "NoParent", 783, plain), nullptr);
    EXPECT_EQ(zrCreateKeyPath(HKEY_LOCAL_MACHINE, "\\Lead", 783, plain), nullptr);
}

TEST_F(CommonTest, TextValuesAreReadWholeOrNotAtAll) {
    CZRRegKey key;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV", key.Put()), ERROR_SUCCESS);
    const char bare[] = {'a', 'b', 'c', 'd'}; // stored without its terminator
    RegSetValueExA(key.Get(), "bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(bare), 4);
    RegSetValueExA(key.Get(), "binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>(bare), 4);
    char text[5];
    EXPECT_TRUE(zrReadRegText(key.Get(), "bare", text, 5));
    EXPECT_STREQ(text, "abcd");
    EXPECT_FALSE(zrReadRegText(key.Get(), "bare", text, 4)) << "no room for the terminator";
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(zrReadRegText(key.Get(), "binary", text, 5));
    EXPECT_FALSE(zrReadRegText(key.Get(), "missing", text, 5));
}

TEST_F(CommonTest, CopiesCutADisplayTextButRefuseACutName) {
    char small[4] = "old";
    zrCopyBounded(small, sizeof small, "abcdef");
    EXPECT_STREQ(small, "abc");
    std::strcpy(small, "old");
    EXPECT_FALSE(zrCopyWhole(small, sizeof small, "abcd"));
    EXPECT_STREQ(small, "old");
    EXPECT_TRUE(zrCopyWhole(small, sizeof small, "abc"));
    EXPECT_STREQ(small, "abc");
}

TEST_F(CommonTest, TheFenceTurnsAnExceptionIntoTheFailureResult) {
    int told = 0;
    EXPECT_EQ(zrFenced(
                  -1, [] { return 7; }, [&] { ++told; }),
              7);
    EXPECT_EQ(zrFenced(
                  -1, []() -> int { throw std::runtime_error("x"); }, [&] { ++told; }),
              -1);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(zrFenced(0L, []() -> long { throw 1; }), 0L);
}

} // namespace
