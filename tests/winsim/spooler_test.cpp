#include "support/machine_fixture.h"

#include <windows.h>
#include <winnetwk.h>
#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using winsim::Os;

const char kDriver[] = "KV Pellora 4720";

class SpoolerTest : public EveryOsTest {
  protected:
    bool Nt() const { return GetParam() == Os::Nt4; }

    // Creates a file on the machine at a Windows path.
    void PutFile(const std::string& windowsPath) {
        size_t bs = windowsPath.rfind('\\');
        std::string dir = winsim::HostPath(windowsPath.substr(0, bs));
        std::filesystem::create_directories(dir);
        WriteHostFile(dir + "/" + windowsPath.substr(bs + 1), "MZ");
    }

    std::string DriverDir(const char* env = nullptr) {
        char buf[MAX_PATH];
        DWORD needed = 0;
        EXPECT_TRUE(GetPrinterDriverDirectoryA(nullptr, const_cast<LPSTR>(env), 1,
                                               reinterpret_cast<LPBYTE>(buf), sizeof buf, &needed));
        return buf;
    }

    // Copies the driver's files where setup would and adds it; the result of AddPrinterDriverA.
    BOOL AddDriver(const char* name = kDriver, const char* env = nullptr, bool copy = true) {
        if (copy)
            for (const char* f : {"KVDRV.DLL", "KVUI.DLL", "KV.PPD", "KV.HLP", "KVRES.DLL"})
                PutFile(DriverDir(env) + "\\" + f);
        char deps[] = "KVRES.DLL\0KV.HLP\0";
        DRIVER_INFO_3A di{};
        di.cVersion = 0x400;
        di.pName = const_cast<LPSTR>(name);
        di.pEnvironment = const_cast<LPSTR>(env);
        di.pDriverPath = const_cast<LPSTR>("KVDRV.DLL");
        di.pDataFile = const_cast<LPSTR>("KV.PPD");
        di.pConfigFile = const_cast<LPSTR>("KVUI.DLL");
        di.pHelpFile = const_cast<LPSTR>("KV.HLP");
        di.pDependentFiles = deps;
        di.pMonitorName = const_cast<LPSTR>("KV Language Monitor");
        di.pDefaultDataType = const_cast<LPSTR>("RAW");
        return AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&di));
    }

    HANDLE AddPrinter(const char* name, const char* port = "LPT1:", DWORD attributes = 0x40,
                      const char* driver = kDriver, const char* processor = "WinPrint") {
        PRINTER_INFO_2A pi{};
        pi.pPrinterName = const_cast<LPSTR>(name);
        pi.pPortName = const_cast<LPSTR>(port);
        pi.pDriverName = const_cast<LPSTR>(driver);
        pi.pPrintProcessor = const_cast<LPSTR>(processor);
        pi.pDatatype = const_cast<LPSTR>("RAW");
        pi.Attributes = attributes;
        return AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
    }

    void AddClosedPrinter(const char* name, const char* port = "LPT1:", DWORD attributes = 0x40) {
        HANDLE h = AddPrinter(name, port, attributes);
        ASSERT_NE(h, nullptr) << GetLastError();
        ClosePrinter(h);
    }

    // The printer's level-2 record, read through a fresh handle.
    std::vector<BYTE> PrinterRecord(const char* name) {
        HANDLE h = nullptr;
        EXPECT_TRUE(OpenPrinterA(const_cast<LPSTR>(name), &h, nullptr));
        DWORD needed = 0;
        EXPECT_FALSE(GetPrinterA(h, 2, nullptr, 0, &needed));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        std::vector<BYTE> buf(needed);
        EXPECT_TRUE(GetPrinterA(h, 2, buf.data(), needed, &needed));
        ClosePrinter(h);
        return buf;
    }

    std::vector<std::string> PortNames(DWORD* types = nullptr, const char* wanted = nullptr) {
        DWORD needed = 0, count = 0;
        EnumPortsA(nullptr, 2, nullptr, 0, &needed, &count);
        std::vector<BYTE> buf(needed);
        EXPECT_TRUE(EnumPortsA(nullptr, 2, buf.data(), needed, &needed, &count));
        std::vector<std::string> names;
        auto* ports = reinterpret_cast<PORT_INFO_2A*>(buf.data());
        for (DWORD i = 0; i < count; ++i) {
            names.push_back(ports[i].pPortName);
            if (types && wanted && names.back() == wanted) *types = ports[i].fPortType;
        }
        return names;
    }

    void Reopen() {
        winsim::CloseMachine();
        ASSERT_TRUE(winsim::OpenMachine(m_dir));
    }
};

bool Has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST_P(SpoolerTest, SizeQueriesNameTheBytesAndStringsFillTheBufferFromItsEnd) {
    DWORD needed = 0, count = 7;
    EXPECT_FALSE(EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(count, 0u);
    // LPT1: to LPT3:, COM1: to COM4:, FILE: and their names.
    EXPECT_EQ(needed, 8 * sizeof(PORT_INFO_1A) + 7 * 6 + 6);

    std::vector<BYTE> buf(needed + 10);
    EXPECT_FALSE(EnumPortsA(nullptr, 1, buf.data(), needed - 1, &needed, &count));
    ASSERT_TRUE(
        EnumPortsA(nullptr, 1, buf.data(), static_cast<DWORD>(buf.size()), &needed, &count));
    ASSERT_EQ(count, 8u);
    auto* ports = reinterpret_cast<PORT_INFO_1A*>(buf.data());
    EXPECT_STREQ(ports[0].pName, "LPT1:");
    EXPECT_STREQ(ports[7].pName, "FILE:");
    // The first record's name is the last string, ending at the end of the buffer.
    EXPECT_EQ(ports[0].pName + 6, reinterpret_cast<char*>(buf.data() + buf.size()));

    char dir[8];
    EXPECT_FALSE(GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir),
                                            sizeof dir, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, DriverDir().size() + 1);
    EXPECT_FALSE(EnumPortsA(nullptr, 3, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST_P(SpoolerTest, DirectoriesLieWhereTheSystemKeepsThem) {
    char buf[MAX_PATH];
    DWORD needed;
    ASSERT_TRUE(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buf),
                                            sizeof buf, &needed));
    if (Nt()) {
        EXPECT_EQ(DriverDir(), "C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86");
        EXPECT_EQ(DriverDir("Windows 4.0"), "C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\win40");
        EXPECT_STREQ(buf, "C:\\WINDOWS\\SYSTEM32\\spool\\prtprocs\\w32x86");
    } else {
        EXPECT_EQ(DriverDir(), "C:\\WINDOWS\\SYSTEM");
        EXPECT_STREQ(buf, "C:\\WINDOWS\\SYSTEM");
        EXPECT_FALSE(GetPrinterDriverDirectoryA(nullptr, const_cast<LPSTR>("Windows NT x86"), 1,
                                                reinterpret_cast<LPBYTE>(buf), sizeof buf,
                                                &needed));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
    }
}

TEST_P(SpoolerTest, DriverPersistsWithItsRecordAndAnswers1795WhenThere) {
    EXPECT_FALSE(AddDriver(kDriver, nullptr, false));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(AddDriver()) << GetLastError();
    EXPECT_FALSE(AddDriver());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_ALREADY_INSTALLED));
    Reopen();

    DWORD needed = 0, count = 0;
    EXPECT_FALSE(EnumPrinterDriversA(nullptr, nullptr, 3, nullptr, 0, &needed, &count));
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(EnumPrinterDriversA(nullptr, nullptr, 3, buf.data(), needed, &needed, &count));
    ASSERT_EQ(count, 1u);
    auto* d = reinterpret_cast<DRIVER_INFO_3A*>(buf.data());
    EXPECT_STREQ(d->pName, kDriver);
    EXPECT_EQ(d->cVersion, 0x400u);
    EXPECT_STREQ(d->pEnvironment, Nt() ? "Windows NT x86" : "Windows 4.0");
    EXPECT_STREQ(d->pMonitorName, "KV Language Monitor");
    EXPECT_STREQ(d->pDefaultDataType, "RAW");
    const std::string dir = Nt() ? DriverDir() + "\\2\\" : DriverDir() + "\\";
    EXPECT_EQ(std::string(d->pDriverPath), dir + "KVDRV.DLL");
    EXPECT_EQ(std::string(d->pDependentFiles), dir + "KVRES.DLL");
    const char* second = d->pDependentFiles + std::strlen(d->pDependentFiles) + 1;
    EXPECT_EQ(std::string(second), dir + "KV.HLP");
    EXPECT_EQ(second[std::strlen(second) + 1], '\0');

    const std::string key = Nt() ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\"
                                   "Environments\\Windows NT x86\\Drivers\\Version-2\\"
                                 : "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print\\"
                                   "Environments\\Windows 4.0\\Drivers\\";
    EXPECT_TRUE(winsim::KeyExists(key + kDriver));
    // NT moves the files into the version folder; installing again finds them there.
    if (Nt()) {
        EXPECT_TRUE(std::filesystem::exists(winsim::HostPath(dir + "KVDRV.DLL")));
        ASSERT_TRUE(DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver)));
        EXPECT_TRUE(AddDriver(kDriver, nullptr, false)) << GetLastError();
    }
}

TEST_P(SpoolerTest, DriverEnvironmentsFollowTheSystem) {
    char bogus[] = "Windows NT R4000";
    DWORD needed, count;
    EXPECT_FALSE(EnumPrinterDriversA(nullptr, bogus, 3, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
    if (!Nt()) {
        EXPECT_FALSE(AddDriver(kDriver, "Windows NT x86", false));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
        return;
    }
    // NT keeps 95 drivers for the clients it serves, apart from its own.
    ASSERT_TRUE(AddDriver(kDriver, "Windows 4.0")) << GetLastError();
    EXPECT_TRUE(EnumPrinterDriversA(nullptr, nullptr, 3, nullptr, 0, &needed, &count));
    EXPECT_EQ(count, 0u);
    ASSERT_TRUE(AddDriver()) << GetLastError();
    HANDLE h = AddPrinter("KV");
    ASSERT_NE(h, nullptr);
    // A printer uses the NT driver only; the 95 one may go.
    EXPECT_FALSE(DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
    EXPECT_TRUE(DeletePrinterDriverA(nullptr, const_cast<LPSTR>("Windows 4.0"),
                                     const_cast<LPSTR>(kDriver)));
    ClosePrinter(h);
}

TEST_P(SpoolerTest, DriverInUseStaysUntilItsLastPrinterGoes) {
    ASSERT_TRUE(AddDriver());
    HANDLE h = AddPrinter("KV");
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
    ASSERT_TRUE(DeletePrinter(h));
    DWORD needed;
    EXPECT_FALSE(GetPrinterA(h, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    ASSERT_TRUE(ClosePrinter(h));
    EXPECT_FALSE(ClosePrinter(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver)));
    EXPECT_FALSE(DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST_P(SpoolerTest, MonitorsLoadFromTheSystemDirectoryAndAnswerWhenThere) {
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, sizeof sys);
    MONITOR_INFO_2A mi{const_cast<LPSTR>("KV Language Monitor"), nullptr,
                       const_cast<LPSTR>("KVLMON.DLL")};
    EXPECT_FALSE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    PutFile(std::string(sys) + "\\KVLMON.DLL");
    ASSERT_TRUE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi))) << GetLastError();
    EXPECT_FALSE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(Nt() ? ERROR_PRINT_MONITOR_ALREADY_INSTALLED
                                                      : ERROR_ALREADY_EXISTS));

    // NT takes only monitors of its own environment; 95/98 do not look.
    PutFile(std::string(sys) + "\\KVPMON.DLL");
    MONITOR_INFO_2A other{const_cast<LPSTR>("KV Port"), const_cast<LPSTR>("Windows 4.0"),
                          const_cast<LPSTR>("KVPMON.DLL")};
    EXPECT_EQ(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&other)), Nt() ? FALSE : TRUE);
    if (Nt()) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
    }

    Reopen();
    DWORD needed = 0, count = 0;
    EnumMonitorsA(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(EnumMonitorsA(nullptr, 2, buf.data(), needed, &needed, &count));
    auto* m = reinterpret_cast<MONITOR_INFO_2A*>(buf.data());
    ASSERT_EQ(count, Nt() ? 2u : 3u);
    EXPECT_STREQ(m[0].pName, "Local Port");
    EXPECT_STREQ(m[1].pName, "KV Language Monitor");
    EXPECT_STREQ(m[1].pDLLName, "KVLMON.DLL");

    EXPECT_TRUE(DeleteMonitorA(nullptr, nullptr, mi.pName));
    EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, mi.pName));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINT_MONITOR));
    EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("Local Port")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_IN_USE));
}

TEST_P(SpoolerTest, PrintProcessorsLoadFromTheirDirectory) {
    char dir[MAX_PATH];
    DWORD needed, count;
    ASSERT_TRUE(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir),
                                            sizeof dir, &needed));
    // The NT environment is asked for on every system; 95/98 take it as their own.
    char env[] = "Windows NT x86", file[] = "KVPROC.DLL", name[] = "KV Processor";
    EXPECT_FALSE(AddPrintProcessorA(nullptr, env, file, name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    PutFile(std::string(dir) + "\\KVPROC.DLL");
    ASSERT_TRUE(AddPrintProcessorA(nullptr, env, file, name)) << GetLastError();
    EXPECT_FALSE(AddPrintProcessorA(nullptr, env, file, name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED));

    EnumPrintProcessorsA(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(EnumPrintProcessorsA(nullptr, nullptr, 1, buf.data(), needed, &needed, &count));
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(reinterpret_cast<PRINTPROCESSOR_INFO_1A*>(buf.data())[1].pName, name);

    // A printer may use it, by any letter case.
    ASSERT_TRUE(AddDriver());
    HANDLE h = AddPrinter("KV", "LPT1:", 0x40, kDriver, "kv processor");
    EXPECT_NE(h, nullptr) << GetLastError();
    ClosePrinter(h);
}

TEST_P(SpoolerTest, AddPrinterRefusesWhatTheSpoolerDoesNotHave) {
    ASSERT_TRUE(AddDriver());
    AddClosedPrinter("KV");
    struct {
        const char* name;
        const char* port;
        const char* driver;
        const char* processor;
        DWORD error;
    } cases[] = {
        {"kv", "LPT1:", kDriver, "WinPrint", ERROR_PRINTER_ALREADY_EXISTS},
        {"", "LPT1:", kDriver, "WinPrint", ERROR_INVALID_PRINTER_NAME},
        {"A\\B", "LPT1:", kDriver, "WinPrint", ERROR_INVALID_PRINTER_NAME},
        {"KV 2", "LPT9:", kDriver, "WinPrint", ERROR_UNKNOWN_PORT},
        {"KV 2", "LPT1:", "Other", "WinPrint", ERROR_UNKNOWN_PRINTER_DRIVER},
        {"KV 2", "LPT1:", kDriver, "KVProc", ERROR_UNKNOWN_PRINTPROCESSOR},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AddPrinter(c.name, c.port, 0, c.driver, c.processor), nullptr) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name << " " << c.port;
    }
    // 95/98 put a printer straight on a share; NT needs the share made a port first.
    HANDLE h = AddPrinter("KV Net", "\\\\SERVER\\KV4720", 0x10);
    EXPECT_EQ(h != nullptr, !Nt());
    if (Nt()) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    }
    ClosePrinter(h);
}

TEST_P(SpoolerTest, PrinterRecordSurvivesTheProcessAndSetPrinterNeedsAdministerAccess) {
    ASSERT_TRUE(AddDriver());
    AddClosedPrinter("KV", "LPT1:", 0x240);
    Reopen();
    std::vector<BYTE> rec = PrinterRecord("KV");
    auto* p = reinterpret_cast<PRINTER_INFO_2A*>(rec.data());
    EXPECT_STREQ(p->pPrinterName, "KV");
    EXPECT_STREQ(p->pPortName, "LPT1:");
    EXPECT_STREQ(p->pDriverName, kDriver);
    EXPECT_STREQ(p->pPrintProcessor, "WinPrint");
    EXPECT_STREQ(p->pDatatype, "RAW");
    EXPECT_EQ(p->Attributes, 0x240u);

    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("KV"), &h, nullptr));
    p->pPortName = const_cast<LPSTR>("FILE:");
    p->pSecurityDescriptor = nullptr;
    EXPECT_EQ(SetPrinterA(h, 2, rec.data(), 0), Nt() ? FALSE : TRUE);
    if (Nt()) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    ClosePrinter(h);

    PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("kv"), &h, &all));
    p->pPortName = const_cast<LPSTR>("\\\\SERVER\\KV4720");
    EXPECT_EQ(SetPrinterA(h, 2, rec.data(), 0), Nt() ? FALSE : TRUE);
    p->pPortName = const_cast<LPSTR>("FILE:");
    EXPECT_TRUE(SetPrinterA(h, 2, rec.data(), 0)) << GetLastError();
    ClosePrinter(h);
    EXPECT_STREQ(reinterpret_cast<PRINTER_INFO_2A*>(PrinterRecord("KV").data())->pPortName,
                 "FILE:");
    EXPECT_FALSE(OpenPrinterA(const_cast<LPSTR>("Nobody"), &h, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

TEST_P(SpoolerTest, DefaultPrinterIsTheProfileLineOnNtAndTheAttributeOn95) {
    ASSERT_TRUE(AddDriver());
    AddClosedPrinter("First", "LPT1:", 0x44);
    AddClosedPrinter("Second", "LPT2:", 0x44);
    auto attrs = [&](const char* n) {
        return reinterpret_cast<PRINTER_INFO_2A*>(PrinterRecord(n).data())->Attributes;
    };
    char line[128];
    GetProfileStringA("windows", "device", "", line, sizeof line);
    if (Nt()) {
        // The attribute alone does not make an NT printer the default.
        EXPECT_EQ(attrs("Second"), 0x40u);
        EXPECT_STREQ(line, "");
        WriteProfileStringA("windows", "device", "Second,KVDRV,LPT2:");
        EXPECT_EQ(attrs("Second"), 0x44u);
    } else {
        EXPECT_EQ(attrs("First"), 0x40u);
        EXPECT_EQ(attrs("Second"), 0x44u);
        EXPECT_STREQ(line, "Second,KVDRV,LPT2:");
    }
    EXPECT_EQ(winsim::ReadSpooler().defaultPrinter, "Second");
    const std::vector<std::string> lines = winsim::SpoolerLines();
    EXPECT_TRUE(Has(lines, "printer \"Second\" port \"LPT2:\" driver \"KV Pellora 4720\" processor "
                           "\"WinPrint\" datatype \"RAW\" attributes 0x00000044 default"));
    EXPECT_TRUE(Has(lines, std::string("driver \"KV Pellora 4720\" environment \"") +
                               (Nt() ? "Windows NT x86" : "Windows 4.0") +
                               "\" version 1024 file \"KVDRV.DLL\" monitor "
                               "\"KV Language Monitor\""));
}

TEST_P(SpoolerTest, ConnectionsReachOnlySharesTheNetworkOffers) {
    winsim::SetSetting("network", "\\\\SERVER\\KV4720", "KV Pellora 4720");
    char share[] = "\\\\SERVER\\KV4720", other[] = "\\\\SERVER\\NONE";
    if (!Nt()) {
        EXPECT_FALSE(AddPrinterConnectionA(share));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
        return;
    }
    EXPECT_FALSE(AddPrinterConnectionA(other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    ASSERT_TRUE(AddPrinterConnectionA(share));
    Reopen();
    DWORD needed = 0, count = 0;
    EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(count, 0u);
    EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed,
                  &count);
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, buf.data(),
                              needed, &needed, &count));
    ASSERT_EQ(count, 1u);
    auto* p = reinterpret_cast<PRINTER_INFO_2A*>(buf.data());
    EXPECT_STREQ(p->pPrinterName, share);
    EXPECT_STREQ(p->pDriverName, "KV Pellora 4720");
    EXPECT_EQ(p->Attributes & PRINTER_ATTRIBUTE_NETWORK,
              static_cast<DWORD>(PRINTER_ATTRIBUTE_NETWORK));
    EXPECT_TRUE(Has(winsim::SpoolerLines(), "connection \"\\\\SERVER\\KV4720\""));
    // A connection keeps its driver from going.
    ASSERT_TRUE(AddDriver());
    EXPECT_FALSE(DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
}

TEST_P(SpoolerTest, PortsComeFromTheProfileTheSpoolerKeyAndMonitors) {
    WriteProfileStringA("Ports", "NE00:", "");
    HKEY k;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE,
                            "System\\CurrentControlSet\\Control\\Print\\Ports\\KVNET_1", &k),
              ERROR_SUCCESS);
    RegCloseKey(k);
    ASSERT_TRUE(winsim::ImportRegistry(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Monitors"
        "\\KV Port\\Ports\\KVIP_10.0.0.5]\r\n"));
    std::vector<std::string> ports = PortNames();
    EXPECT_TRUE(Has(ports, "NE00:"));
    EXPECT_TRUE(Has(ports, "KVNET_1"));
    EXPECT_TRUE(Has(winsim::SpoolerLines(), "port \"KVIP_10.0.0.5\" monitor \"KV Port\""));

    ASSERT_TRUE(AddDriver());
    AddClosedPrinter("KV", "KVNET_1");
    char busy[] = "KVNET_1", builtin[] = "LPT1:", unknown[] = "LPT7:", ne[] = "NE00:";
    EXPECT_FALSE(DeletePortA(nullptr, nullptr, busy));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_FALSE(DeletePortA(nullptr, nullptr, builtin));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(DeletePortA(nullptr, nullptr, unknown));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_TRUE(DeletePortA(nullptr, nullptr, ne));
    EXPECT_FALSE(Has(PortNames(), "NE00:"));
    char value[8] = "x";
    GetProfileStringA("Ports", "NE00:", "gone", value, sizeof value);
    EXPECT_STREQ(value, "gone");
}

TEST_P(SpoolerTest, CancellingARedirectionForgetsItOnce) {
    winsim::SetSetting("net-use", "LPT2:", "\\\\SERVER\\KV4720");
    DWORD type = 0;
    PortNames(&type, "LPT2:");
    EXPECT_EQ(type, static_cast<DWORD>(PORT_TYPE_WRITE | PORT_TYPE_REDIRECTED));
    EXPECT_EQ(WNetCancelConnection2A("LPT1:", CONNECT_UPDATE_PROFILE, FALSE),
              static_cast<DWORD>(ERROR_NOT_CONNECTED));
    EXPECT_EQ(WNetCancelConnection2A("lpt2:", CONNECT_UPDATE_PROFILE, FALSE),
              static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(winsim::GetSetting("net-use", "LPT2:", "none"), "none");
    EXPECT_EQ(WNetCancelConnection2A("LPT2:", CONNECT_UPDATE_PROFILE, FALSE),
              static_cast<DWORD>(ERROR_NOT_CONNECTED));
}

TEST_P(SpoolerTest, BroadcastsAreRecorded) {
    char section[] = "windows";
    EXPECT_EQ(SendMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(section)),
              0);
    std::vector<winsim::BroadcastMessage> sent = winsim::Broadcasts();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].message, static_cast<uint32_t>(WM_WININICHANGE));
    EXPECT_EQ(sent[0].text, "windows");
    winsim::FailCall("SendMessageA", ERROR_ACCESS_DENIED, 1);
    SendMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(section));
    EXPECT_EQ(winsim::Broadcasts().size(), 1u);
}

TEST_P(SpoolerTest, InjectedFailuresAnswerWithTheChosenError) {
    ASSERT_TRUE(AddDriver());
    winsim::FailCall("AddPrinterA", ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(AddPrinter("KV"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    AddClosedPrinter("KV");
    for (const char* call : {"EnumPrintersA", "EnumPortsA", "EnumMonitorsA", "OpenPrinterA"})
        winsim::FailCall(call, 1722);
    DWORD needed = 0, count = 0;
    HANDLE h;
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 1, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), 1722u);
    EXPECT_FALSE(EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), 1722u);
    EXPECT_FALSE(EnumMonitorsA(nullptr, 1, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), 1722u);
    EXPECT_FALSE(OpenPrinterA(const_cast<LPSTR>("KV"), &h, nullptr));
    EXPECT_EQ(GetLastError(), 1722u);
    winsim::ClearFailures();
    EXPECT_TRUE(OpenPrinterA(const_cast<LPSTR>("KV"), &h, nullptr));
    ClosePrinter(h);
}

TEST_P(SpoolerTest, DeletingNeedsDeleteAccessAndForgetsTheDefault) {
    ASSERT_TRUE(AddDriver());
    AddClosedPrinter("KV", "LPT1:", 0x44);
    if (Nt()) WriteProfileStringA("windows", "device", "KV,KVDRV,LPT1:");
    HANDLE h;
    PRINTER_DEFAULTSA use{nullptr, nullptr, PRINTER_ACCESS_USE};
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("KV"), &h, &use));
    EXPECT_EQ(DeletePrinter(h), Nt() ? FALSE : TRUE);
    ClosePrinter(h);
    if (Nt()) {
        PRINTER_DEFAULTSA all{const_cast<LPSTR>("RAW"), nullptr, PRINTER_ALL_ACCESS};
        ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("KV"), &h, &all));
        EXPECT_TRUE(DeletePrinter(h));
        ClosePrinter(h);
    }
    EXPECT_TRUE(winsim::ReadSpooler().printers.empty());
    EXPECT_EQ(winsim::ReadSpooler().defaultPrinter, "");
}

INSTANTIATE_EVERY_OS(SpoolerTest);

} // namespace
