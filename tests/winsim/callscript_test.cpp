// The call-script reader: what it makes of a script's lines and which scripts it refuses, with
// the line it names, before anything runs.
#include "callscript_parse.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace winsim {
namespace {

TEST(CallScriptParse, ReadsArgumentsAsTheLibraryWillReceiveThem) {
    const ParsedScript s = ParseCallScript(
        "\xEF\xBB\xBF# comment\r\n"
        "\r\n"
        "DLL_WriteRegValue(0x80000002, \"a \"\"b\"\" C:\\\", \"\", multi(\"x\", \"y\"), -1)\r\n"
        "DLL_WriteRegValue(0xFFFFFFFF, \"\", null, multi(), -2147483648)\n"
        "expect DLL_WriteRegValue(1, \"p\", \"v\", &7, 4) != 0\n");
    ASSERT_EQ(s.errorLine, 0) << s.error;
    ASSERT_EQ(s.lines.size(), 3u);
    const std::vector<ScriptArg>& a = s.lines[0].call.args;
    EXPECT_EQ(s.lines[0].lineNo, 3);
    EXPECT_EQ(a[0].number, static_cast<int32_t>(0x80000002u));
    EXPECT_EQ(a[1].bytes, std::string("a \"b\" C:\\\0", 10));
    EXPECT_EQ(a[1].written, "\"a \"\"b\"\" C:\\\"");
    EXPECT_EQ(a[2].bytes, std::string("\0", 1));
    EXPECT_EQ(a[3].bytes, std::string("x\0y\0\0", 5));
    EXPECT_EQ(a[4].number, -1);
    const std::vector<ScriptArg>& b = s.lines[1].call.args;
    EXPECT_EQ(b[0].number, -1);
    EXPECT_EQ(b[2].kind, ScriptArg::Null);
    EXPECT_EQ(b[3].bytes, std::string("\0\0", 2)); // an empty list is one empty text
    EXPECT_EQ(b[4].number, INT32_MIN);
    EXPECT_EQ(s.lines[2].kind, ScriptLine::ExpectCall);
    EXPECT_FALSE(s.lines[2].equal);
    EXPECT_EQ(s.lines[2].call.args[3].kind, ScriptArg::NumberRef);
}

TEST(CallScriptParse, NamesKeepTheKindTheirLastCallGaveThem) {
    // A buffer made again in a later call takes its new size; an integer's name passes its value.
    const ParsedScript s = ParseCallScript("DLL_GetStr(1070, v[4], 4)\n"
                                           "DLL_GetStr(1070, v[64], 64)\n"
                                           "DLL_GetStr(1080, v, 64)\n"
                                           "expect v == \"x\"\n"
                                           "DLL_WriteRegValue(1, \"p\", \"n\", &n, 4)\n"
                                           "DLL_SetNum(n, 1)\n"
                                           "expect n != 0\n");
    EXPECT_EQ(s.errorLine, 0) << s.error;
}

TEST(CallScriptParse, RefusesAndNamesTheLine) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"DLL_GetStr(1070, v[4], 4)\nDLL_GetStr(1080, v, 5)", "holds 4 bytes, less than the 5"},
        {"DLL_GetNum(1)\nDLL_GetStr(1070, &n, n)", "unknown name n"}, // made by this very call
        {"DLL_WriteRegValue(1, \"p\", \"n\", &n, 4)\nDLL_SetNum(n, n)", "n is named twice"},
        {"DLL_WriteRegValue(1, \"p\", \"n\", &n, 4)\nDLL_GetStr(1070, b[9], n)",
         "size is written as a number"},
        {"DLL_WriteRegValue(1, \"p\", \"n\", &n, 4)\nDLL_SetStr(1, n)", "not n, an integer"},
        {"DLL_GetStr(1070, v[4], 4)\nexpect v == 4", "v is a text"},
        {"DLL_WriteRegValue(1, \"p\", \"n\", &n, 4)\nexpect n == \"4\"", "n is a number"},
        {"DLL_GetNum(1)\nexpect DLL_GetNum(1) == \"1\"", "a call's result is a number"},
        {"DLL_GetNum(1)\nDLL_GetNum(0x100000000)", "out of 32-bit range"},
        {"DLL_GetNum(1)\nDLL_GetNum(-0x80000001)", "out of 32-bit range"},
        {"DLL_GetNum(1)\nDLL_GetNum(12ab)", "expected a number"},
        {"DLL_GetNum(1)\nDLL_SetStr(1, \"a\"\"\")x", "unexpected text after the call"},
        {"DLL_GetNum(1)\nDLL_SetStr(1, \"a\"\")", "unterminated string"},
        {"DLL_GetNum(1)\nDLL_GetStr(1, b[0], 0)", "buffer size out of range"},
        // A name twice in one call would free its first buffer while it is passed.
        {"DLL_GetNum(1)\nDLL_IsPrinterInstalled(a[300], b[8], a[1024])", "a is named twice"},
        {"DLL_GetNum(1)\nDLL_SetStr(1000, 5)", "text (argument 2) is a pointer"},
        {"DLL_GetNum(1)\nDLL_SetNum(&n, 0)", "id (argument 1) is a number, not a pointer"},
        {"DLL_GetNum(1)\nDLL_GetStr(1080, o[4], 64)", "holds 4 bytes, less than the 64"},
        {"DLL_GetNum(1)\nDLL_GetStr(1080, \"abc\", 64)", "holds 4 bytes, less than the 64"},
        {"DLL_GetNum(1)\nDLL_IsPrinterInstalled(\"C:\\A.INF\", \"S\", p[8])",
         "takes 1024 bytes; p[8] holds 8"},
        {"DLL_GetNum(1)\nDLL_SetNum(-2147483649, 0)", "out of 32-bit range"},
        {"DLL_GetStr(1070, v[8], 8)\nDLL_GetNum(v)", "is a number, not v, a buffer"},
        {"DLL_GetNum(1)\nDLL_NoSuchExport(1)", "unknown export DLL_NoSuchExport"},
    };
    for (const auto& c : cases) {
        const ParsedScript s = ParseCallScript(c.text);
        EXPECT_EQ(s.errorLine, 2) << c.text;
        EXPECT_NE(s.error.find(c.message), std::string::npos) << c.text << ": " << s.error;
        EXPECT_TRUE(s.lines.empty()) << c.text;
    }
}

TEST(CallScriptParse, AWindowPassesAsANumberAndItsRowsAreExpectedAsTexts) {
    const ParsedScript s = ParseCallScript("window dialog\n"
                                           "DLL_UpdateDriveList(dialog)\n"
                                           "expect dialog[1] != \"C:\tx\"\n");
    ASSERT_EQ(s.errorLine, 0) << s.error;
    ASSERT_EQ(s.lines.size(), 3u);
    EXPECT_EQ(s.lines[0].kind, ScriptLine::Window);
    EXPECT_EQ(s.lines[0].subject, "dialog");
    EXPECT_EQ(s.lines[1].call.args[0].kind, ScriptArg::Variable);
    EXPECT_EQ(s.lines[2].kind, ScriptLine::ExpectRow);
    EXPECT_EQ(s.lines[2].row, 1);
    EXPECT_EQ(s.lines[2].wantString, "C:\tx");
    EXPECT_FALSE(s.lines[2].equal);

    const struct {
        const char* text;
        const char* error;
    } refused[] = {
        {"window dialog\nDLL_GetStr(1070, dialog, 4)", "is a pointer"},
        {"DLL_GetStr(1070, v[4], 4)\nexpect v[0] == \"x\"", "v is not a window"},
        {"window dialog\nexpect dialog[0] == 5", "a row is a text"},
        {"window dialog\nexpect dialog[-1] == \"\"", "numbered from 0"},
        {"window dialog extra", "unexpected text after the window"},
    };
    for (const auto& c : refused) {
        const ParsedScript r = ParseCallScript(c.text);
        EXPECT_NE(r.errorLine, 0) << c.text;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.text << ": " << r.error;
    }
}

// The reader knows every export of PWSETUP.def with the argument count its .def gives it
// ("@8": two 32-bit arguments) and refuses a call with any other count, naming the line.
TEST(CallScriptParse, EveryExportTakesTheCountItsDefGivesAndNoOther) {
    std::ifstream def(PW_SOURCE_DIR "/setup/PWSETUP.def");
    ASSERT_TRUE(def) << "cannot read PWSETUP.def";
    const std::regex entry(R"(^\s*([A-Za-z_][A-Za-z_0-9]*)=[A-Za-z_0-9]*@([0-9]+))");
    // A call of `name` with `count` zero arguments, as a line of a call script.
    auto call = [](const std::string& name, size_t count) {
        std::string line = name + "(";
        for (size_t i = 0; i < count; ++i)
            line += i ? ",0" : "0";
        return line + ")";
    };
    size_t exports = 0;
    std::string line;
    std::smatch m;
    while (std::getline(def, line)) {
        if (!std::regex_search(line, m, entry)) continue;
        ++exports;
        const std::string name = m[1];
        const size_t count = std::stoul(m[2]) / 4;
        const auto signature = ExportSignatures().find(name);
        ASSERT_NE(signature, ExportSignatures().end()) << name;
        EXPECT_EQ(signature->second.size(), count) << name;
        std::vector<size_t> wrongs{count + 1};
        if (count > 0) wrongs.push_back(count - 1);
        for (size_t wrong : wrongs) {
            const ParsedScript s = ParseCallScript("# a comment\n" + call(name, wrong) + "\n");
            EXPECT_EQ(s.errorLine, 2) << name;
            EXPECT_EQ(s.error, name + " takes " + std::to_string(count) + " arguments, not " +
                                   std::to_string(wrong));
            EXPECT_TRUE(s.lines.empty()) << name;
        }
    }
    EXPECT_GE(exports, 20u) << "the .def lists the exports";
    EXPECT_EQ(exports, ExportSignatures().size());
}

} // namespace
} // namespace winsim
