#include "support/machine_fixture.h"

#include "printer/inf.h"

#include <string>

namespace {

class InfTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine(winsim::Os::Nt4);
        WriteHostFile(HostFile("SETUP/KVP.INF"),
                      "[KV4720.NT]\r\n"
                      "LanguageMonitor = Pellora Monitor , kvlmon.dll ; the language monitor\r\n"
                      "PortMonitor=kvpmon.dll\r\n"
                      "PrintProcessor=a,b,c\r\n"
                      "Odd=a;b,c\r\n"
                      "Empty=\r\n"
                      "Named=%MonName%, kvlmon.dll\r\n"
                      "Unknown=%NoSuch%, kvlmon.dll\r\n"
                      "NameOnly=KV Monitor,\r\n"
                      "\r\n"
                      "[Strings]\r\n"
                      "MonName=KV Pellora Language Monitor\r\n"
                      "Whole=%inner% text\r\n"
                      "Long=" +
                          std::string(300, 'L') + "\r\n");
        m_inf = "C:\\SETUP\\KVP.INF";
    }
    int Delimited(const char* key, const char* def = "") {
        m_name = "untouched";
        m_file = "untouched";
        return GetDelimitedPrinterObject(&m_inf, &m_section, key, def, &m_name, &m_file);
    }
    std::string m_inf, m_section = "KV4720.NT", m_name, m_file;
};

TEST_F(InfTest, SplitsDelimitedValuesAtTheFirstComma) {
    EXPECT_EQ(Delimited("LanguageMonitor"), 1);
    EXPECT_EQ(m_name, "Pellora Monitor");
    EXPECT_EQ(m_file, "kvlmon.dll");
    EXPECT_EQ(Delimited("PrintProcessor"), 1);
    EXPECT_EQ(m_name, "a");
    EXPECT_EQ(m_file, "b,c");
    EXPECT_EQ(Delimited("Odd"), 1) << "a semicolon before the comma stays in the name";
    EXPECT_EQ(m_name, "a;b");
    EXPECT_EQ(m_file, "c");
}

TEST_F(InfTest, IncompleteValuesFailButEmptyOnesSucceed) {
    EXPECT_EQ(Delimited("PortMonitor"), 0) << "no comma: no name";
    EXPECT_EQ(m_name, "");
    EXPECT_EQ(m_file, "kvpmon.dll");
    EXPECT_EQ(Delimited("NameOnly"), 0);
    EXPECT_EQ(m_name, "KV Monitor");
    EXPECT_EQ(m_file, "");
    EXPECT_EQ(Delimited("Empty"), 1);
    EXPECT_EQ(m_name, "");
    EXPECT_EQ(m_file, "");
    EXPECT_EQ(Delimited("Missing"), 1);
    EXPECT_EQ(Delimited("Missing", "WinPrint, winprint.dll"), 1) << "the default applies";
    EXPECT_EQ(m_name, "WinPrint");
    EXPECT_EQ(m_file, "winprint.dll");
}

TEST_F(InfTest, MissingArgumentsLeaveTheOutputsAlone) {
    m_name = m_file = "untouched";
    EXPECT_EQ(
        GetDelimitedPrinterObject(nullptr, &m_section, "LanguageMonitor", "", &m_name, &m_file), 0);
    EXPECT_EQ(GetDelimitedPrinterObject(&m_inf, &m_section, nullptr, "", &m_name, &m_file), 0);
    EXPECT_EQ(
        GetDelimitedPrinterObject(&m_inf, &m_section, "LanguageMonitor", nullptr, &m_name, &m_file),
        0);
    EXPECT_EQ(
        GetDelimitedPrinterObject(&m_inf, &m_section, "LanguageMonitor", "", nullptr, &m_file), 0);
    EXPECT_EQ(m_name, "untouched");
    EXPECT_EQ(m_file, "untouched");
}

TEST_F(InfTest, PlaceholderNamesResolveFromStrings) {
    winsim::ClearDebugOutput();
    EXPECT_EQ(Delimited("Named"), 1);
    EXPECT_EQ(m_name, "KV Pellora Language Monitor");
    EXPECT_EQ(Delimited("Unknown"), 0);
    EXPECT_EQ(m_name, "");
    EXPECT_EQ(m_file, "untouched") << "the file is not read after a bad placeholder";
    bool traced = false;
    for (const std::string& line : winsim::DebugOutput())
        traced = traced || line == "Invalid string ''";
    EXPECT_TRUE(traced);
}

TEST_F(InfTest, OnlyAWholeTextIsAPlaceholder) {
    std::string text = "%MonName%";
    EXPECT_NE(zrTranslateStringPlaceholder(&text, m_inf), 0);
    EXPECT_EQ(text, "KV Pellora Language Monitor");
    text = "%MonName";
    EXPECT_EQ(zrTranslateStringPlaceholder(&text, m_inf), 0);
    EXPECT_EQ(text, "%MonName");
    text = "%NoSuch%";
    EXPECT_EQ(zrTranslateStringPlaceholder(&text, m_inf), 0);
    EXPECT_EQ(text, "") << "a missing entry empties the text";
    text = "%Mon%Name%";
    EXPECT_EQ(zrTranslateStringPlaceholder(&text, m_inf), 0) << "looked up as one key: Mon%Name";
    text = "%Long%";
    EXPECT_NE(zrTranslateStringPlaceholder(&text, m_inf), 0);
    EXPECT_EQ(text, std::string(259, 'L')) << "at most 259 characters";
    text = "";
    EXPECT_EQ(zrTranslateStringPlaceholder(&text, m_inf), 0);
}

TEST(Htol, ReadsTheLastEightCharactersAsHexadecimal) {
    struct Case {
        const char* text;
        LONG value;
    } cases[] = {
        {"0xff", 255},    {"0x400", 1024}, {"0X400", 1024},
        {"400", 1024},    {"10", 16},      {"", 0},
        {"1 2", 0x102},   {"AX12", 0x12},  {"123456789", 0x23456789},
        {"ffffffff", -1}, {"-5", 5},       {"0x8000", 0x8000},
    };
    for (const Case& c : cases) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s", c.text);
        EXPECT_EQ(htol(buf), c.value) << c.text;
    }
    char text[] = "0xab";
    htol(text);
    EXPECT_STREQ(text, "0XAB") << "upper-cased in place";
}

} // namespace
