#include "support/machine_fixture.h"

#include "printer/zrprinter.h"

#include <winspool.h>

#include <string>
#include <vector>

namespace {

const char kInf[] = "C:\\SETUP\\KVP.INF";
const char kName[] = "KV Pellora 4720";
const char kShare[] = "\\\\PRINTSRV\\KV4720";

class PrinterTest : public MachineTest {
  protected:
    void Start(winsim::Os os) {
        NewMachine(os);
        m_env = os == winsim::Os::Nt4 ? "Windows NT x86" : "Windows 4.0";
    }

    // A section with a driver, both monitors and a print processor; `extra` lines replace or add.
    std::string Section(const std::string& name, const std::string& extra = "",
                        const std::string& env = "") const {
        return "[" + name + "]\r\n" + extra +
               "Device=KV Pellora 4720\r\n"
               "Driver=KV4720.DLL\r\n"
               "DataFile=KV4720.DAT\r\n"
               "HelpFile=KV4720.HLP\r\n"
               "DependentFiles=KVFONTS.DAT KVRES.DLL\r\n"
               "Environment=" +
               (env.empty() ? m_env : env) +
               "\r\n"
               "DefaultDataType=RAW\r\n"
               "LanguageMonitor=%LangMon%, KVLMON.DLL ; PJL status\r\n"
               "PortMonitor=KV Port Monitor, KVPMON.DLL\r\n"
               "PrintProcessor=KV Processor, KVPROC.DLL\r\n"
               "Attributes=0x200\r\n";
    }
    // Key=value lines written before the section's own lines win (the first entry counts).
    void WriteInf(const std::string& sections) {
        WriteHostFile(winsim::HostPath("C:\\SETUP") + "/KVP.INF",
                      sections + "[Strings]\r\nLangMon=KV Language Monitor\r\n");
    }

    std::string Dir(BOOL(WINAPI* query)(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD),
                    const std::string& env) {
        char dir[MAX_PATH] = {};
        DWORD needed = 0;
        EXPECT_TRUE(query(nullptr, const_cast<LPSTR>(env.c_str()), 1, reinterpret_cast<LPBYTE>(dir),
                          sizeof dir, &needed));
        return dir;
    }
    void Place(const std::string& windowsDir, const std::string& file) {
        WriteHostFile(winsim::HostPath(windowsDir) + "/" + file, "stand-in\r\n");
    }
    void PlaceDriver(const std::string& env = "") {
        const std::string dir = Dir(GetPrinterDriverDirectoryA, env.empty() ? m_env : env);
        for (const char* f : {"KV4720.DLL", "KV4720.DAT", "KV4720.HLP", "KVFONTS.DAT", "KVRES.DLL"})
            Place(dir, f);
    }
    void PlaceMonitor(const char* file) {
        char sys[MAX_PATH];
        GetSystemDirectoryA(sys, sizeof sys);
        PlaceModule("kvlmon.dll", std::string(sys) + "\\" + file);
    }
    void PlaceProcessor() {
        PlaceModule("kvproc.dll", Dir(GetPrintProcessorDirectoryA, m_env) + "\\KVPROC.DLL");
    }
    void PlaceAll() {
        PlaceDriver();
        PlaceMonitor("KVLMON.DLL");
        PlaceMonitor("KVPMON.DLL");
        PlaceProcessor();
    }

    static LONG Add(const char* section, const char* port = "LPT1:") {
        return DLL_AddPrinter(kInf, section, port);
    }

    static std::vector<winsim::SpoolerPrinter> Printers() { return winsim::ReadSpooler().printers; }
    static const winsim::SpoolerPrinter* FindPrinter(const std::vector<winsim::SpoolerPrinter>& all,
                                                     const std::string& name) {
        for (const auto& p : all)
            if (p.name == name) return &p;
        return nullptr;
    }
    static std::vector<std::string> PrinterNames() {
        std::vector<std::string> names;
        for (const auto& p : Printers())
            names.push_back(p.name);
        return names;
    }
    static bool HasMonitor(const std::string& name) {
        for (const auto& m : winsim::ReadSpooler().monitors)
            if (m.name == name) return true;
        return false;
    }
    static bool HasProcessor(const std::string& name) {
        for (const auto& p : winsim::ReadSpooler().processors)
            if (p.name == name) return true;
        return false;
    }
    static const winsim::SpoolerDriver* FindDriver(const winsim::SpoolerState& s,
                                                   const std::string& env) {
        for (const auto& d : s.drivers)
            if (d.name == kName && d.environment == env) return &d;
        return nullptr;
    }
    static bool Traced(const std::string& line) {
        for (const std::string& l : winsim::DebugOutput())
            if (l == line) return true;
        return false;
    }

    std::string m_env;
};

class PrinterEveryOsTest : public PrinterTest, public ::testing::WithParamInterface<winsim::Os> {
  protected:
    void SetUp() override { Start(GetParam()); }
};

TEST_P(PrinterEveryOsTest, InstallsComponentsDriverAndDefaultPrinterOnALocalPort) {
    WriteInf(Section("KV"));
    PlaceAll();
    ASSERT_EQ(Add("KV"), 0);

    const winsim::SpoolerState s = winsim::ReadSpooler();
    ASSERT_EQ(s.printers.size(), 1u);
    const winsim::SpoolerPrinter& p = s.printers[0];
    EXPECT_EQ(p.name, kName);
    EXPECT_EQ(p.port, "LPT1:");
    EXPECT_EQ(p.driver, kName);
    EXPECT_EQ(p.processor, "KV Processor");
    EXPECT_EQ(p.datatype, "RAW");
    EXPECT_EQ(p.attributes, 0x244u);
    EXPECT_TRUE(p.isDefault);
    EXPECT_TRUE(HasMonitor("KV Language Monitor"));
    EXPECT_TRUE(HasMonitor("KV Port Monitor"));
    EXPECT_TRUE(HasProcessor("KV Processor"));

    const winsim::SpoolerDriver* d = FindDriver(s, m_env);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->version, 0x400u) << "DrvVersion missing";
    EXPECT_EQ(d->file, "KV4720.DLL");
    EXPECT_EQ(d->monitor, "KV Language Monitor") << "the language monitor comes first";
    EXPECT_EQ(d->dependentFiles, (std::vector<std::string>{"KVFONTS.DAT", "KVRES.DLL"}));

    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_TRUE(
        winsim::ReadValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP\\Drivers\\KV Pellora 4720",
                          "Dependent Files", &type, &data));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_MULTI_SZ));
    const std::string multi("KVFONTS.DAT\0KVRES.DLL\0\0", 23);
    EXPECT_EQ(std::string(data.begin(), data.end()), multi);

    // NT keeps its default printer in WIN.INI, written by the library and announced to every
    // window; 95/98 take the attribute and keep the line themselves.
    char device[256];
    GetProfileStringA("windows", "device", "", device, sizeof device);
    EXPECT_STREQ(device, "KV Pellora 4720,KV4720,LPT1:");
    const auto broadcasts = winsim::Broadcasts();
    if (GetParam() == winsim::Os::Nt4) {
        ASSERT_EQ(broadcasts.size(), 1u);
        EXPECT_EQ(broadcasts[0].message, static_cast<uint32_t>(WM_WININICHANGE));
        EXPECT_EQ(broadcasts[0].text, "windows");
    } else {
        EXPECT_TRUE(broadcasts.empty());
    }
}

TEST_P(PrinterEveryOsTest, MakeDefaultZeroLeavesTheDefaultAlone) {
    WriteInf(Section("KV", "MakeDefault=0\r\n"));
    PlaceAll();
    ASSERT_EQ(Add("KV"), 0);
    const auto printers = Printers();
    ASSERT_EQ(printers.size(), 1u);
    EXPECT_EQ(printers[0].attributes, 0x240u);
    EXPECT_FALSE(printers[0].isDefault);
    EXPECT_TRUE(winsim::Broadcasts().empty());
}

TEST_P(PrinterEveryOsTest, AMissingPrintProcessorKeyTakesThePlatformsOwn) {
    WriteInf(Section("KV", "PrintProcessor=\r\n") +
             "[NoKey]\r\nDevice=KV Pellora 4720\r\nDriver=KV4720.DLL\r\nEnvironment=" + m_env +
             "\r\n");
    PlaceDriver();
    PlaceMonitor("KVLMON.DLL");
    PlaceMonitor("KVPMON.DLL");
    ASSERT_EQ(Add("NoKey"), 0);
    ASSERT_EQ(Add("KV", "FILE:"), 0) << "an empty value means the built-in processor too";
    for (const auto& p : Printers())
        EXPECT_EQ(p.processor, "WinPrint") << p.name;
    EXPECT_FALSE(HasProcessor("KV Processor"));
}

TEST_P(PrinterEveryOsTest, ListsThePortsOfThePrintersOfTheSectionsName) {
    WriteInf(Section("KV") + "[Other]\r\nDevice=Other Printer\r\n" + "[NoName]\r\nDriver=X\r\n");
    PlaceAll();
    char ports[PW_PORT_LIST_SIZE] = "junk";
    EXPECT_EQ(DLL_IsPrinterInstalled(kInf, "KV", ports), 0);
    EXPECT_STREQ(ports, "");

    ASSERT_EQ(Add("KV"), 0);
    ASSERT_EQ(Add("KV", "FILE:"), 0);
    EXPECT_EQ(DLL_IsPrinterInstalled(kInf, "KV", ports), 2);
    EXPECT_STREQ(ports, "LPT1:,FILE:");
    EXPECT_EQ(DLL_IsPrinterInstalled(kInf, "Other", ports), 0);
    EXPECT_STREQ(ports, "");
    EXPECT_EQ(DLL_IsPrinterInstalled(kInf, "NoName", ports), 2) << "no name matches every printer";

    // A printer whose port is empty still gets its place in the list.
    const std::vector<winsim::SpoolerPrinter> printers = Printers();
    ASSERT_EQ(printers.size(), 2u);
    const std::string key = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + printers[0].name;
    HKEY printer = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, key.c_str(), &printer), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(printer, "Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1),
              ERROR_SUCCESS);
    RegCloseKey(printer);
    EXPECT_EQ(DLL_IsPrinterInstalled(kInf, "KV", ports), 2);
    EXPECT_STREQ(ports, (printers[0].port == "LPT1:" ? ",FILE:" : "LPT1:,"));
}

INSTANTIATE_TEST_SUITE_P(AllOs, PrinterEveryOsTest,
                         ::testing::Values(winsim::Os::Win95, winsim::Os::Win98, winsim::Os::Nt4),
                         OsParamName);

class PrinterNtTest : public PrinterTest {
  protected:
    void SetUp() override { Start(winsim::Os::Nt4); }
};

class PrinterWin95Test : public PrinterTest {
  protected:
    void SetUp() override { Start(winsim::Os::Win95); }
};

TEST_F(PrinterNtTest, StopsAtTheFirstFailingComponentAndKeepsWhatCameBefore) {
    WriteInf(Section("KV"));
    PlaceDriver();

    EXPECT_EQ(Add("KV"), PW_ERR_INSTALL) << "no print processor file";
    EXPECT_TRUE(Traced("Failed installing print processor"));
    EXPECT_FALSE(HasMonitor("KV Port Monitor"));

    PlaceProcessor();
    EXPECT_EQ(Add("KV"), PW_ERR_INSTALL) << "no port monitor file";
    EXPECT_TRUE(Traced("Failed installing Port Monitor"));
    EXPECT_TRUE(HasProcessor("KV Processor"));
    EXPECT_FALSE(HasMonitor("KV Port Monitor"));
    EXPECT_FALSE(HasMonitor("KV Language Monitor"));

    PlaceMonitor("KVPMON.DLL");
    EXPECT_EQ(Add("KV"), PW_ERR_INSTALL) << "no language monitor file";
    EXPECT_TRUE(Traced("Failed installing Language Monitor"));
    EXPECT_TRUE(HasMonitor("KV Port Monitor"));
    EXPECT_FALSE(HasMonitor("KV Language Monitor"));

    PlaceMonitor("KVLMON.DLL");
    winsim::FailCall("AddPrinterDriverA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Add("KV"), PW_ERR_INSTALL);
    EXPECT_TRUE(Traced("Failed installing printer driver"));
    EXPECT_TRUE(HasMonitor("KV Language Monitor"));
    const winsim::SpoolerState s = winsim::ReadSpooler();
    EXPECT_EQ(FindDriver(s, m_env), nullptr);
    EXPECT_TRUE(s.printers.empty());

    winsim::ClearFailures();
    EXPECT_EQ(Add("KV"), 0) << "the components already there count as installed";
    EXPECT_EQ(Printers().size(), 1u);
}

TEST_F(PrinterNtTest, AComponentValueWithoutANameFailsTheInstall) {
    WriteInf(Section("KV", "LanguageMonitor=KVLMON.DLL\r\n"));
    PlaceAll();
    EXPECT_EQ(Add("KV"), PW_ERR_INSTALL);
    EXPECT_TRUE(Traced("Failed GetDelimitedPrinterObject()"));
    EXPECT_TRUE(Traced("Failed installing Language Monitor"));
    EXPECT_TRUE(HasMonitor("KV Port Monitor"));

    EXPECT_EQ(DLL_AddPrinter("", "KV", "LPT1:"), PW_ERR_INSTALL);
    EXPECT_TRUE(Traced("No INF file or no INF section string"));
}

TEST_F(PrinterNtTest, ClashingNamesAreNumberedAndTheNumbersEndAt99) {
    WriteInf(Section("KV"));
    PlaceAll();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(Add("KV"), 0);
    EXPECT_EQ(PrinterNames(),
              (std::vector<std::string>{kName, "KV Pellora 4720-1", "KV Pellora 4720-2"}));

    // A copy numbered 98 leaves only 99.
    PRINTER_INFO_2A info = {};
    info.pPrinterName = const_cast<LPSTR>("KV Pellora 4720-98");
    info.pPortName = const_cast<LPSTR>("LPT2:");
    info.pDriverName = const_cast<LPSTR>(kName);
    info.pPrintProcessor = const_cast<LPSTR>("WinPrint");
    HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(h, nullptr);
    ClosePrinter(h);
    ASSERT_EQ(Add("KV"), 0);
    EXPECT_NE(FindPrinter(Printers(), "KV Pellora 4720-99"), nullptr);

    winsim::ClearDebugOutput();
    EXPECT_EQ(Add("KV"), PW_ERR_INSTALL);
    EXPECT_TRUE(Traced("Failed AddPrinter(): ERROR 1802 <0x0000070A>"));
    EXPECT_EQ(Printers().size(), 5u);
}

TEST_F(PrinterNtTest, NumberedNamesKeep29CharactersAndCountCopiesOfNamesWithADash) {
    const std::string longName = "KV Pellora 4720 Network Editio"; // 30 characters
    WriteInf(Section("Long", "Device=" + longName + "X\r\n") +
             Section("Dash", "Device=KV-4720\r\n"));
    PlaceAll();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Add("Long"), 0);
        ASSERT_EQ(Add("Dash"), 0);
    }
    const auto printers = Printers();
    for (const std::string& name :
         {longName + "X", longName.substr(0, 29) + "-1", longName.substr(0, 29) + "-2",
          std::string("KV-4720"), std::string("KV-4720-1"), std::string("KV-4720-2")})
        EXPECT_NE(FindPrinter(printers, name), nullptr) << name;
}

TEST_F(PrinterNtTest, UpgradeGivesTheExistingPrinterTheNewSettings) {
    WriteInf(Section("KV", "Upgrade=1\r\n"));
    PlaceAll();
    ASSERT_EQ(Add("KV"), 0);
    ASSERT_EQ(Add("KV", "FILE:"), 0);
    const auto printers = Printers();
    ASSERT_EQ(printers.size(), 1u);
    EXPECT_EQ(printers[0].port, "FILE:");
}

TEST_F(PrinterNtTest, AddPrinterFailingForAnotherReasonLeavesTheDriver) {
    WriteInf(Section("KV"));
    PlaceAll();
    winsim::FailCall("AddPrinterA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Add("KV"), PW_ERR_INSTALL);
    EXPECT_TRUE(Traced("Failed AddPrinter(): ERROR 5 <0x00000005>"));
    EXPECT_NE(FindDriver(winsim::ReadSpooler(), m_env), nullptr);
    EXPECT_TRUE(Printers().empty());
}

TEST_F(PrinterNtTest, AnExistingDriverIsReplaced) {
    WriteInf(Section("KV"));
    PlaceAll();
    DRIVER_INFO_3A old = {};
    old.cVersion = 2;
    old.pName = const_cast<LPSTR>(kName);
    old.pEnvironment = const_cast<LPSTR>("Windows NT x86");
    old.pDriverPath = const_cast<LPSTR>("KV4720.DLL");
    ASSERT_TRUE(AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&old)));
    ASSERT_EQ(Add("KV"), 0);
    const winsim::SpoolerState s = winsim::ReadSpooler();
    const winsim::SpoolerDriver* d = FindDriver(s, m_env);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->version, 0x400u);
    EXPECT_EQ(d->monitor, "KV Language Monitor");

    // In use by the printer now: the spooler keeps it and answers that it is there.
    EXPECT_EQ(Add("KV", "FILE:"), 0);
    EXPECT_EQ(Printers().size(), 2u);
}

TEST_F(PrinterNtTest, AWindows40SectionAddsOnlyItsDriverAndKeepsNTs) {
    WriteInf(Section("KV") +
             "[W95]\r\nDevice=KV Pellora 4720\r\nDriver=KV4720.DLL\r\nEnvironment=Windows "
             "4.0\r\nLanguageMonitor=%LangMon%, KVLMON.DLL\r\n");
    PlaceAll();
    PlaceDriver("Windows 4.0");
    ASSERT_EQ(Add("KV"), 0);
    ASSERT_EQ(Add("W95"), 0);
    PlaceDriver("Windows 4.0");
    ASSERT_EQ(Add("W95"), 0) << "replaced in its own environment";
    const winsim::SpoolerState s = winsim::ReadSpooler();
    EXPECT_EQ(s.printers.size(), 1u);
    EXPECT_NE(FindDriver(s, "Windows 4.0"), nullptr);
    EXPECT_NE(FindDriver(s, "Windows NT x86"), nullptr);
}

TEST_F(PrinterNtTest, APortOfThePortMonitorShowsItIsInstalled) {
    WriteInf(Section("KV"));
    PlaceAll();
    ASSERT_TRUE(winsim::ImportRegistry(
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KV Port "
        "Monitor]\r\n\"Driver\"=\"KVPMON.DLL\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KV Port "
        "Monitor\\Ports\\KVP1:]\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KV Language "
        "Monitor]\r\n\"Driver\"=\"KVLMON.DLL\"\r\n"));
    winsim::FailCall("AddMonitorA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Add("KV", "KVP1:"), 0);
    EXPECT_EQ(Add("KV", "LPT1:"), PW_ERR_INSTALL) << "LPT1: is not the port monitor's port";
    EXPECT_TRUE(Traced("Failed installing Port Monitor"));
}

TEST_F(PrinterNtTest, ANetworkPortBecomesAConnectionAndNothingElse) {
    winsim::SetSetting("network", kShare, kName);
    WriteInf(Section("KV"));
    EXPECT_EQ(Add("KV", kShare), 0) << "no file of any component is needed";
    const winsim::SpoolerState s = winsim::ReadSpooler();
    ASSERT_EQ(s.connections.size(), 1u);
    EXPECT_EQ(s.connections[0].name, kShare);
    EXPECT_TRUE(s.printers.empty());
    EXPECT_FALSE(HasMonitor("KV Port Monitor"));
    EXPECT_EQ(FindDriver(s, m_env), nullptr);
}

TEST_F(PrinterNtTest, AFailedConnectionPutsThePrinterOnLpt1AndThenOnTheShare) {
    WriteInf(Section("KV") + Section("Two", "Device=KV Second\r\n"));
    PlaceAll();
    // Unknown to the spooler as a port: the printer stays on LPT1:.
    EXPECT_EQ(Add("KV", kShare), 0);
    EXPECT_TRUE(Traced("Failed AddPrinterConnection"));
    EXPECT_TRUE(Traced("SetPrinter failed"));
    auto printers = Printers();
    ASSERT_EQ(printers.size(), 1u);
    EXPECT_EQ(printers[0].port, "LPT1:");
    EXPECT_EQ(printers[0].attributes, 0x244u) << "the local attribute, as on LPT1:";
    EXPECT_FALSE(HasMonitor("KV Port Monitor")) << "components are not made up";

    // Made known as a port, the share takes the printer.
    WriteProfileStringA("Ports", kShare, "");
    EXPECT_EQ(Add("Two", kShare), 0);
    printers = Printers();
    const winsim::SpoolerPrinter* p = FindPrinter(printers, "KV Second");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->port, kShare);
}

TEST_P(PrinterEveryOsTest, ANetworkNameTooLongForItsBufferInstallsNothing) {
    WriteInf(Section("KV"));
    PlaceAll();
    const std::string share = "\\\\SERVER\\" + std::string(260, 's');
    EXPECT_EQ(Add("KV", share.c_str()), PW_ERR_INSTALL);
    const winsim::SpoolerState s = winsim::ReadSpooler();
    EXPECT_TRUE(s.printers.empty());
    EXPECT_TRUE(s.connections.empty());
}

TEST_F(PrinterWin95Test, ANetworkPortGetsAPrinterOnTheShareName) {
    WriteInf(Section("KV"));
    PlaceDriver();
    EXPECT_EQ(Add("KV", kShare), PW_ERR_INSTALL) << "the printer needs its print processor";
    EXPECT_TRUE(Traced("Failed installing print processor"));

    PlaceProcessor();
    EXPECT_EQ(Add("KV", kShare), 0) << "no monitor is needed";
    const winsim::SpoolerState s = winsim::ReadSpooler();
    ASSERT_EQ(s.printers.size(), 1u);
    EXPECT_EQ(s.printers[0].port, kShare);
    EXPECT_EQ(s.printers[0].processor, "KV Processor");
    EXPECT_EQ(s.printers[0].attributes, 0x214u);
    EXPECT_TRUE(s.connections.empty());
    EXPECT_FALSE(HasMonitor("KV Port Monitor"));
    EXPECT_FALSE(HasMonitor("KV Language Monitor"));
}

} // namespace
