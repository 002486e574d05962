// The script checker: each kind of finding from a small script, next to the sound form of the
// same entry, which must pass clean.
#include "checks.h"

#include "support/machine_fixture.h"

#include <filesystem>

using namespace pwcheck;

namespace {

class CheckTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine();
        std::filesystem::create_directories(HostFile("CHK"));
    }
    // The findings of `text` read as `kind`, each as "LINE: error|warning: TEXT".
    std::vector<std::string> Check(Kind kind, const std::string& text) {
        WriteHostFile(HostFile("CHK/T.INI"), text);
        Source source{"T.INI", text, "C:\\CHK\\T.INI", IniLines(text)};
        Findings findings;
        switch (kind) {
        case Kind::UninstallScript: CheckUninstallScript(source, findings); break;
        case Kind::SetupInf: CheckSetupInf(source, findings); break;
        case Kind::RegEntries: CheckRegEntries(source, findings); break;
        case Kind::CallScript: CheckCallScript(source, findings); break;
        case Kind::Unknown: break;
        }
        if (kind != Kind::CallScript) CheckProfileShape(source, findings);
        m_status = findings.ExitStatus();
        std::vector<std::string> lines;
        for (const Finding& f : findings.All())
            lines.push_back(std::to_string(f.line) + ": " +
                            (f.severity == Severity::Error ? "error: " : "warning: ") + f.text);
        return lines;
    }
    int m_status = 0;
};

// A finding at `line` of that severity whose text holds `part`.
::testing::AssertionResult Has(const std::vector<std::string>& findings, int line,
                               const char* severity, const std::string& part) {
    const std::string head = std::to_string(line) + ": " + severity + ": ";
    for (const std::string& f : findings)
        if (f.compare(0, head.size(), head) == 0 && f.find(part) != std::string::npos)
            return ::testing::AssertionSuccess();
    std::string all;
    for (const std::string& f : findings)
        all += "\n  " + f;
    return ::testing::AssertionFailure() << "no " << head << "..." << part << " among:" << all;
}

// A script with one component that names each list section; `lists` holds those sections.
std::string Script(const std::string& lists, const std::string& component = "") {
    return "[Components]\n"             // 1
           "Main=1\n"                   // 2
           "[Main]\n"                   // 3
           "Title=Main part\n"          // 4
           "Files=F\nInidel=I\nRegdel=D\nRegadd=A\nIcon=C\n" // 5-9
           + component + lists +
           "[strings]\nT=C:\\Program Files\\KV\n";
}

} // namespace

TEST_F(CheckTest, SoundUninstallScriptIsClean) {
    const auto found = Check(Kind::UninstallScript,
                             Script("[F]\n%T%\\A.EXE=1\n[I]\nC:\\WINDOWS\\KV.INI,S=\n"
                                    "[D]\n-2147483646,SOFTWARE\\Norvex=\n[A]\n"
                                    "-2147483646,SOFTWARE\\Norvex,Done,1=yes\n"
                                    "[C]\nKV,Readme,=1\n"));
    EXPECT_TRUE(found.empty()) << found.front();
    EXPECT_EQ(m_status, 0);
}

TEST_F(CheckTest, EntriesWithoutEqualsAreNeverRead) {
    const auto found = Check(Kind::UninstallScript,
                             Script("[F]\n%T%\\A.EXE=1\n[I]\n[D]\n-2147483646,SOFTWARE\\Norvex\n"
                                    "[A]\n[C]\n"));
    EXPECT_TRUE(Has(found, 14, "error", "has no \"=\""));
    EXPECT_EQ(m_status, 2);
    EXPECT_TRUE(Has(Check(Kind::RegEntries, "[R]\n2147483650,SOFTWARE\\KV,V,1\n"), 2, "error",
                    "has no \"=\""));
}

TEST_F(CheckTest, EntriesWithTooFewCommasAreSkipped) {
    const auto found = Check(Kind::UninstallScript,
                             Script("[F]\n[I]\nC:\\WINDOWS\\KV.INI=\n[D]\n-2147483646=\n[A]\n"
                                    "-2147483646,SOFTWARE\\KV,V=x\n[C]\nKV,Readme=1\n"));
    EXPECT_TRUE(Has(found, 12, "error", "Inidel entry is FILE,SECTION"));
    EXPECT_TRUE(Has(found, 14, "error", "Regdel entry is ROOT,SUBKEY"));
    EXPECT_TRUE(Has(found, 16, "error", "Regadd entry is ROOT,SUBKEY,VALUE,TYPE"));
    EXPECT_TRUE(Has(found, 18, "error", "Icon entry is FOLDER,SHORTCUT, with a third field"));
    EXPECT_TRUE(Has(Check(Kind::RegEntries, "[R]\n2147483650,SOFTWARE\\KV,1=x\n"), 2, "error",
                    "fewer than three commas"));
}

TEST_F(CheckTest, PlaceholdersStringsLacks) {
    auto found = Check(Kind::UninstallScript, Script("[F]\n%X%\\A.EXE=1\n[I]\n[D]\n[A]\n[C]\n"));
    EXPECT_TRUE(Has(found, 11, "error", "\"%X%\" is not in [strings]"));
    found = Check(Kind::RegEntries, "[R]\n2147483650,SOFTWARE\\KV,V,1=%Y%\n[Strings]\nZ=1\n");
    EXPECT_TRUE(Has(found, 2, "error", "\"%Y%\" is not in [Strings], so the data is empty"));
    found = Check(Kind::SetupInf, "[P]\nDevice=KV\nDriver=KV.DLL\nPortMonitor=%M%, KVPMON.DLL\n"
                                  "[Strings]\nN=x\n");
    EXPECT_TRUE(Has(found, 4, "error", "\"%M%\" is not in [Strings]"));
}

TEST_F(CheckTest, ExpansionsLongerThanTheirBuffers) {
    const std::string longDir(120, 'd');
    auto found = Check(Kind::UninstallScript,
                       "[Components]\nM=1\n[M]\nTitle=t\nFiles=F\n[F]\n%L%\\KVDESK.EXE=1\n"
                       "[strings]\nL=C:\\" + longDir + "\n");
    EXPECT_TRUE(Has(found, 7, "error", "expands past 127 characters"));
    found = Check(Kind::RegEntries, "[R]\n2147483650,SOFTWARE\\KV,V,1=%L%\\KVDESK.EXE\n"
                                    "[Strings]\nL=C:\\" + longDir + "\n");
    EXPECT_TRUE(Has(found, 2, "error", "expands past 127 characters"));
    found = Check(Kind::UninstallScript, "[Components]\nM=1\n[M]\nTitle=t\nFiles=F\n[F]\n"
                                         "%L%\\A=1\n[strings]\nL=C:\\" + std::string(130, 'e') + "\n");
    EXPECT_TRUE(Has(found, 9, "error", "it is read cut"));
    found = Check(Kind::RegEntries, "[R]\n2147483650,SOFTWARE\\KV,V,1=%L%\n[Strings]\nL=C:\\" +
                                        std::string(130, 'e') + "\n");
    EXPECT_TRUE(Has(found, 4, "error", "longer than 127 characters: it is read cut"));
}

TEST_F(CheckTest, RootsAndValueTypes) {
    auto found = Check(Kind::UninstallScript,
                       Script("[F]\n[I]\n[D]\n12,SOFTWARE\\KV=\nHKLM,SOFTWARE\\KV=\n[A]\n"
                              "-2147483646,SOFTWARE\\KV,V,4=1\n-2147483646,SOFTWARE\\KV,W,1=a\n"
                              "[C]\n"));
    EXPECT_TRUE(Has(found, 13, "error", "root \"12\" is no predefined key"));
    EXPECT_TRUE(Has(found, 14, "error", "root \"HKLM\" is no number"));
    EXPECT_TRUE(Has(found, 16, "error", "type 4 is unknown"));
    EXPECT_EQ(found.size(), 3u);
    found = Check(Kind::RegEntries, "[R]\n2147483650,SOFTWARE\\KV,V,3=x\n"
                                    "-2147483646,SOFTWARE\\KV,V,4=12\n7,SOFTWARE\\KV,W,1=x\n");
    EXPECT_TRUE(Has(found, 2, "error", "type \"3\" is unknown"));
    EXPECT_TRUE(Has(found, 4, "error", "root \"7\" is no predefined key"));
    EXPECT_EQ(found.size(), 2u);
}

TEST_F(CheckTest, FilesThatNameFoldersOrProtectedPaths) {
    const auto found = Check(Kind::UninstallScript,
                             Script("[F]\n%T%=1\n%T%\\A.EXE=1\nC:\\WINDOWS\\SYSTEM32=0\nC:\\=1\n"
                                    "C:\\KV\\=1\n[I]\n[D]\n[A]\n[C]\n"));
    EXPECT_TRUE(Has(found, 11, "error", "names a folder (line 12 lies in it)"));
    EXPECT_TRUE(Has(found, 13, "error", "is a drive root or the Windows or system directory"));
    EXPECT_TRUE(Has(found, 14, "error", "is a drive root"));
    EXPECT_TRUE(Has(found, 15, "error", "names a folder: a Files entry deletes a file"));
    EXPECT_EQ(found.size(), 4u);
}

TEST_F(CheckTest, RegdelOfARootOrASystemKey) {
    const auto found = Check(Kind::UninstallScript,
                             Script("[F]\n[I]\n[D]\n-2147483646,=\n-2147483646,SOFTWARE\\Microsoft=\n"
                                    "-2147483647,Software=\n-2147483646,SOFTWARE\\Microsoft,KV=\n"
                                    "[A]\n[C]\n"));
    EXPECT_TRUE(Has(found, 13, "error", "names a root key"));
    EXPECT_TRUE(Has(found, 14, "error", "is a key of Windows itself"));
    EXPECT_TRUE(Has(found, 15, "error", "is a key of Windows itself"));
    EXPECT_EQ(found.size(), 3u); // a value of a system key may go
}

TEST_F(CheckTest, ComponentsWithoutTitleOrSection) {
    const auto found = Check(Kind::UninstallScript,
                             "[Components]\nA=1\nB=1\n[A]\nFiles=F\n[F]\nC:\\KV\\A.EXE=1\n"
                             "[Shared]\nS=1\n[S]\nFiles=F\nRegdel=Missing\n");
    EXPECT_TRUE(Has(found, 4, "warning", "component [A] has no \"Title\""));
    EXPECT_TRUE(Has(found, 3, "error", "\"B\" has no section [B]"));
    EXPECT_TRUE(Has(found, 12, "error", "names section [Missing], which the script lacks"));
    EXPECT_EQ(found.size(), 3u); // a shared part needs no title
}

TEST_F(CheckTest, ListSectionsPastTheirBuffer) {
    std::string files = "[F]\n";
    for (int i = 0; i < 200; ++i)
        files += "C:\\Program Files\\Norvex\\KV4720\\FILE" + std::to_string(i) + ".DAT=1\n";
    const auto found = Check(Kind::UninstallScript, Script(files + "[I]\n[D]\n[A]\n[C]\n"));
    // 41 to 44 bytes an entry: FILE193 (line 204) ends past 8,190 bytes.
    EXPECT_TRUE(Has(found, 204, "error", "key list passes 8192 bytes here"));
    EXPECT_EQ(found.size(), 1u);
}

TEST_F(CheckTest, DuplicateSectionsAndKeys) {
    const auto found = Check(Kind::UninstallScript,
                             Script("[F]\nC:\\KV\\A.EXE=1\n[I]\n[D]\n[A]\n[C]\n[F]\nC:\\KV\\B.EXE=1\n"
                                    "[I]\n",
                                    "Title=again\n"));
    EXPECT_TRUE(Has(found, 10, "warning", "key \"Title\" again in [Main] (first at line 4)"));
    EXPECT_TRUE(Has(found, 17, "error", "section [F] again (first at line 11)"));
    EXPECT_TRUE(Has(found, 19, "warning", "section [I] again"));
    EXPECT_EQ(found.size(), 3u);
    EXPECT_TRUE(Has(Check(Kind::RegEntries, "x=1\n[R]\n"), 1, "error", "before the first section"));
}

TEST_F(CheckTest, InstallSectionValuesTheLibraryCuts) {
    const std::string name40(40, 'N');
    auto found = Check(Kind::SetupInf,
                       "[P]\nDevice=" + name40 + "\nDriver=KV4720.DLL\nEnvironment=Windows 2000\n"
                       "LanguageMonitor=KV Pellora Language Monitor, KVLMON.DLL\n"
                       "PrintProcessor=%Proc%, KVPROC.DLL ; a comment the read cuts off\n"
                       "PortMonitor=KVPMON.DLL\nDrvVersion=0x4G0\n"
                       "[Strings]\nProc=KV Processor\n");
    EXPECT_TRUE(Has(found, 2, "error", "printer's name is cut to 31 characters"));
    EXPECT_TRUE(Has(found, 4, "error", "no environment \"Windows 2000\""));
    EXPECT_TRUE(Has(found, 5, "error", "LanguageMonitor is 39 characters long"));
    EXPECT_TRUE(Has(found, 7, "error", "the name is missing"));
    EXPECT_TRUE(Has(found, 8, "warning", "\"G\" counts as 0"));
    EXPECT_EQ(found.size(), 5u);
    // A driver name the spooler takes whole but the uninstaller does not.
    found = Check(Kind::SetupInf, "[P]\nDevice=%D%\nDriver=KV.DLL\n[Strings]\nD=" +
                                      std::string(55, 'd') + "\n");
    EXPECT_TRUE(Has(found, 2, "warning", "uninstaller keeps drivers whose names have 50"));
    found = Check(Kind::SetupInf, "[P]\nDevice=%D%\nDriver=KV.DLL\n[Strings]\nE=x\n");
    EXPECT_TRUE(Has(found, 2, "error", "the driver gets no name"));
}

TEST_F(CheckTest, CallScriptsAsWinsimRunReadsThem) {
    EXPECT_TRUE(Check(Kind::CallScript, "expect DLL_SetNum(99, 0) == 4096\n").empty());
    const auto found = Check(Kind::CallScript, "# one\nDLL_SetNum(99, 0)\nDLL_NoSuch(1)\n");
    EXPECT_TRUE(Has(found, 3, "error", "DLL_NoSuch"));
}

TEST_F(CheckTest, KindsFromContentAndName) {
    EXPECT_EQ(DetectKind("a.calls", IniLines("")), Kind::CallScript);
    EXPECT_EQ(DetectKind("U.INI", IniLines("[components]\n")), Kind::UninstallScript);
    EXPECT_EQ(DetectKind("P.INF", IniLines("[P]\ndevice=KV\n")), Kind::SetupInf);
    EXPECT_EQ(DetectKind("R.INI", IniLines("[R]\n1,a,b,1=x\n")), Kind::RegEntries);
    EXPECT_EQ(DetectKind("S.INI", IniLines("[Progman Group]\nGroupName=KV\n")), Kind::Unknown);
}
