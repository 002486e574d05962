#include "spooler_fixture.h"

#include <windows.h>
#include <winnetwk.h>
#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace spooler_tests;

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
    MONITOR_INFO_2A mi{const_cast<LPSTR>("KV Language Monitor"), MonitorEnv(),
                       const_cast<LPSTR>("KVLMON.DLL")};
    EXPECT_FALSE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(Nt() ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER));
    PlaceModule("kvlmon.dll", std::string(sys) + "\\KVLMON.DLL");
    ASSERT_TRUE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi))) << GetLastError();
    EXPECT_FALSE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(Nt() ? ERROR_PRINT_MONITOR_ALREADY_INSTALLED
                                                      : ERROR_ALREADY_EXISTS));

    // Each system takes only monitors of its own environment.
    PlaceModule("kvpmon.dll", std::string(sys) + "\\KVPMON.DLL");
    MONITOR_INFO_2A other{const_cast<LPSTR>("KV Port"), const_cast<LPSTR>("Windows 4.0"),
                          const_cast<LPSTR>("KVPMON.DLL")};
    EXPECT_EQ(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&other)), Nt() ? FALSE : TRUE);
    if (Nt()) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
    }
    other.pEnvironment = const_cast<LPSTR>("Windows NT x86");
    if (!Nt()) {
        EXPECT_FALSE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&other)));
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
    EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("Local Port")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_IN_USE));
}

TEST_P(SpoolerTest, AddMonitorChecksItsRecordInEachSystemsOrder) {
    MONITOR_INFO_2A good = LanguageMonitor();
    EXPECT_FALSE(AddMonitorA(nullptr, 1, reinterpret_cast<LPBYTE>(&good)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_FALSE(AddMonitorA(nullptr, 3, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(AddMonitorA(nullptr, 2, nullptr));
    EXPECT_EQ(GetLastError(), Nt() ? 0xdeadbeefu : static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));

    char empty[] = "", other[] = "Windows NT x86";
    const DWORD noName = Nt() ? ERROR_INVALID_PARAMETER : ERROR_PRIVILEGE_NOT_HELD;
    const DWORD bad = ERROR_INVALID_PARAMETER, badEnv = ERROR_INVALID_ENVIRONMENT;
    const struct {
        const char* what;
        MONITOR_INFO_2A record;
        DWORD error;
    } cases[] = {
        // NT looks at the names first, 95/98 at the environment.
        {"all null", {nullptr, nullptr, nullptr},
         static_cast<DWORD>(Nt() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_ENVIRONMENT)},
        {"empty name", {empty, good.pEnvironment, good.pDLLName}, noName},
        {"no file", {good.pName, good.pEnvironment, nullptr}, noName},
        {"empty file", {good.pName, good.pEnvironment, empty}, bad},
        {"wrong environment", {good.pName, Nt() ? const_cast<LPSTR>("Windows 4.0") : other,
                               good.pDLLName},
         badEnv},
    };
    for (const auto& c : cases) {
        MONITOR_INFO_2A record = c.record;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&record))) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_EQ(winsim::ReadSpooler().monitors.size(), 1u) << "nothing added";
    // An empty server name is this machine.
    EXPECT_TRUE(AddMonitorA(empty, 2, reinterpret_cast<LPBYTE>(&good))) << GetLastError();
}

TEST_P(SpoolerTest, ConfigurePortFindsThePortAndItsMonitorsDialogIsCancelled) {
    char empty[] = "", unknown[] = "KV7:", lpt1[] = "LPT1:", bare[] = "lpt1", file[] = "FILE:";
    EXPECT_FALSE(ConfigurePortA(nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(),
              static_cast<DWORD>(Nt() ? RPC_X_NULL_REF_POINTER : ERROR_INVALID_PARAMETER));
    const DWORD noPort = Nt() ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER;
    for (LPSTR name : {empty, unknown}) {
        EXPECT_FALSE(ConfigurePortA(nullptr, nullptr, name)) << name;
        EXPECT_EQ(GetLastError(), noPort) << name;
    }
    EXPECT_FALSE(ConfigurePortA(nullptr, nullptr, lpt1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
    // 95/98 take a name without its colon; FILE: has nothing to ask there.
    EXPECT_FALSE(ConfigurePortA(nullptr, nullptr, bare));
    EXPECT_EQ(GetLastError(), Nt() ? noPort : static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(ConfigurePortA(nullptr, nullptr, file), Nt() ? FALSE : TRUE);
    winsim::SetSetting("machine", "privilege", "1");
    EXPECT_EQ(ConfigurePortA(nullptr, nullptr, lpt1), FALSE);
    EXPECT_EQ(GetLastError(),
              static_cast<DWORD>(Nt() ? ERROR_ACCESS_DENIED : ERROR_CANCELLED));
}

TEST_P(SpoolerTest, NullCountsAreRefusedOnNtAndLeftOutOn9x) {
    std::vector<BYTE> buf(4096);
    DWORD needed = 0, count = 0;
    const DWORD size = static_cast<DWORD>(buf.size());
    const std::function<BOOL(LPDWORD, LPDWORD)> calls[] = {
        [&](LPDWORD n, LPDWORD r) { return EnumPortsA(nullptr, 1, buf.data(), size, n, r); },
        [&](LPDWORD n, LPDWORD r) { return EnumMonitorsA(nullptr, 1, buf.data(), size, n, r); },
        [&](LPDWORD n, LPDWORD r) {
            return EnumPrintProcessorsA(nullptr, nullptr, 1, buf.data(), size, n, r);
        },
        [&](LPDWORD n, LPDWORD r) {
            return EnumPrinterDriversA(nullptr, nullptr, 1, buf.data(), size, n, r);
        },
        [&](LPDWORD n, LPDWORD r) {
            return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 1, buf.data(), size, n, r);
        },
        [&](LPDWORD n, LPDWORD) {
            return GetPrintProcessorDirectoryA(nullptr, nullptr, 1, buf.data(), size, n);
        },
    };
    int i = 0;
    for (const auto& call : calls) {
        for (int which = 0; which < 2; ++which) {
            SetLastError(0xdeadbeef);
            const BOOL ok = which == 0 ? call(nullptr, &count) : call(&needed, nullptr);
            if (i == 5 && which == 1) continue; // one count only
            EXPECT_EQ(ok, Nt() ? FALSE : TRUE) << "call " << i << " count " << which;
            if (Nt()) {
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER)) << i;
            }
        }
        ++i;
    }
    // 95/98 clear the last error when they list the ports.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(EnumPortsA(nullptr, 1, buf.data(), size, nullptr, &count), Nt() ? FALSE : TRUE);
    EXPECT_EQ(GetLastError(), Nt() ? static_cast<DWORD>(RPC_X_NULL_REF_POINTER) : 0u);
}

TEST_P(SpoolerTest, OtherMachinesAreOutOfReachAndUnknownRightsAreRefused) {
    char buf[MAX_PATH] = {};
    DWORD needed = 0;
    auto* out = reinterpret_cast<LPBYTE>(buf);
    EXPECT_FALSE(GetPrintProcessorDirectoryA(const_cast<LPSTR>("\\\\KVSERVER"), nullptr, 1, out,
                                             sizeof buf, &needed));
    EXPECT_EQ(GetLastError(),
              static_cast<DWORD>(Nt() ? RPC_S_SERVER_UNAVAILABLE : ERROR_INVALID_PARAMETER));
    // 95/98 with nowhere to put the size still answer.
    EXPECT_EQ(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, out, sizeof buf, nullptr),
              Nt() ? FALSE : TRUE);
    EXPECT_STREQ(buf, Nt() ? "" : "C:\\WINDOWS\\SYSTEM");

    PRINTER_DEFAULTSA everything{nullptr, nullptr, 0xFFFFFFFF};
    HANDLE h = nullptr;
    EXPECT_EQ(OpenPrinterA(nullptr, &h, &everything), Nt() ? FALSE : TRUE);
    if (Nt()) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    if (h) ClosePrinter(h);
}

TEST_P(SpoolerTest, MonitorAndPortCallsAnswerBadNamesAsTheSystemDoes) {
    MONITOR_INFO_2A mi = LanguageMonitor();
    // A monitor added leaves the last error as it was.
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    // Any environment deletes it, even one the system does not have.
    EXPECT_TRUE(DeleteMonitorA(nullptr, const_cast<LPSTR>("invalid_env"), mi.pName));

    char empty[] = "", unknown[] = "KV Nothing";
    const DWORD badName = Nt() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME;
    const DWORD noMonitor = Nt() ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER;
    const std::tuple<const char*, std::function<BOOL()>, DWORD> calls[] = {
        {"DeleteMonitorA null", [&] { return DeleteMonitorA(nullptr, nullptr, nullptr); },
         badName},
        {"DeleteMonitorA empty", [&] { return DeleteMonitorA(nullptr, nullptr, empty); }, badName},
        {"DeleteMonitorA unknown", [&] { return DeleteMonitorA(nullptr, nullptr, mi.pName); },
         Nt() ? ERROR_UNKNOWN_PRINT_MONITOR : ERROR_INVALID_PARAMETER},
        {"AddPortA null", [&] { return AddPortA(nullptr, nullptr, nullptr); },
         Nt() ? RPC_X_NULL_REF_POINTER : ERROR_INVALID_PARAMETER},
        {"AddPortA empty", [&] { return AddPortA(nullptr, nullptr, empty); }, noMonitor},
        {"AddPortA unknown", [&] { return AddPortA(nullptr, nullptr, unknown); }, noMonitor},
        {"DeletePortA null", [&] { return DeletePortA(nullptr, nullptr, nullptr); }, noMonitor},
        {"DeletePortA empty", [&] { return DeletePortA(nullptr, nullptr, empty); }, noMonitor},
        {"DeletePortA unknown", [&] { return DeletePortA(nullptr, nullptr, unknown); },
         noMonitor},
    };
    for (const auto& call : calls) {
        EXPECT_FALSE(std::get<1>(call)()) << std::get<0>(call);
        EXPECT_EQ(GetLastError(), std::get<2>(call)) << std::get<0>(call);
    }
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
    PlaceModule("kvproc.dll", std::string(dir) + "\\KVPROC.DLL");
    ASSERT_TRUE(AddPrintProcessorA(nullptr, env, file, name)) << GetLastError();
    EXPECT_FALSE(AddPrintProcessorA(nullptr, env, file, name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED));

    EnumPrintProcessorsA(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(EnumPrintProcessorsA(nullptr, nullptr, 1, buf.data(), needed, &needed, &count));
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(reinterpret_cast<PRINTPROCESSOR_INFO_1A*>(buf.data())[1].pName, name);
    // NT 4.0 lists its own for an environment it does not know; 95/98 refuse it.
    char invalid[] = "invalid_env";
    EXPECT_EQ(EnumPrintProcessorsA(nullptr, invalid, 1, buf.data(), needed, &needed, &count),
              Nt() ? TRUE : FALSE);
    if (!Nt()) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_FALSE(EnumPrintProcessorsA(nullptr, nullptr, 1, nullptr, needed, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(Nt() ? ERROR_INVALID_USER_BUFFER
                                                      : ERROR_INSUFFICIENT_BUFFER));

    // A printer may use it, by any letter case.
    ASSERT_TRUE(AddDriver());
    HANDLE h = AddPrinter("KV", "LPT1:", 0x40, kDriver, "kv processor");
    EXPECT_NE(h, nullptr) << GetLastError();
    ClosePrinter(h);
}

TEST_P(SpoolerTest, DeletingAProcessorSparesTheSpoolersOwn) {
    char dir[MAX_PATH], file[] = "KVPROC.DLL", name[] = "KV Processor", builtin[] = "WinPrint";
    DWORD needed;
    ASSERT_TRUE(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir),
                                            sizeof dir, &needed));
    PlaceModule("kvproc.dll", std::string(dir) + "\\KVPROC.DLL");
    ASSERT_TRUE(AddPrintProcessorA(nullptr, nullptr, file, name)) << GetLastError();
    EXPECT_FALSE(DeletePrintProcessorA(nullptr, nullptr, builtin));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(DeletePrintProcessorA(nullptr, nullptr, name));
    EXPECT_FALSE(DeletePrintProcessorA(nullptr, nullptr, name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTPROCESSOR));
    EXPECT_EQ(winsim::ReadSpooler().processors.size(), 1u); // the spooler's own
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
    // Only a null name opens the server, never an empty one.
    EXPECT_FALSE(OpenPrinterA(const_cast<LPSTR>(""), &h, nullptr));
    EXPECT_EQ(GetLastError(),
              static_cast<DWORD>(Nt() ? ERROR_INVALID_PRINTER_NAME : ERROR_INVALID_PARAMETER));
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

TEST_P(SpoolerTest, SetPrinterPausesMovesAndRenamesAndTheDefaultFollows) {
    ASSERT_TRUE(AddDriver());
    AddClosedPrinter("KV", "LPT1:", 0x44);
    if (Nt()) WriteProfileStringA("windows", "device", "KV,KVDRV,LPT1:");
    auto status = [this] {
        return reinterpret_cast<PRINTER_INFO_2A*>(PrinterRecord("KV").data())->Status;
    };
    HANDLE h = nullptr;
    PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("KV"), &h, &all));

    // Level 0 carries a command alone.
    EXPECT_FALSE(SetPrinterA(h, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_COMMAND));
    ASSERT_TRUE(SetPrinterA(h, 0, nullptr, PRINTER_CONTROL_PAUSE));
    EXPECT_EQ(status(), static_cast<DWORD>(PRINTER_STATUS_PAUSED));
    ASSERT_TRUE(SetPrinterA(h, 0, nullptr, PRINTER_CONTROL_RESUME));
    EXPECT_EQ(status(), 0u);

    // Level 5 moves the printer to another port, and only to a port the spooler knows.
    PRINTER_INFO_5A five{const_cast<LPSTR>("KV"), const_cast<LPSTR>("LPT9:"), 0x44, 0, 0};
    EXPECT_FALSE(SetPrinterA(h, 5, reinterpret_cast<LPBYTE>(&five), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    five.pPortName = const_cast<LPSTR>("FILE:");
    ASSERT_TRUE(SetPrinterA(h, 5, reinterpret_cast<LPBYTE>(&five), 0)) << GetLastError();
    EXPECT_EQ(winsim::ReadSpooler().printers.at(0).port, "FILE:");

    // A new name is a new key; the handle and the default printer follow it.
    std::vector<BYTE> rec = PrinterRecord("KV");
    auto* p = reinterpret_cast<PRINTER_INFO_2A*>(rec.data());
    p->pPrinterName = const_cast<LPSTR>("KV Renamed");
    ASSERT_TRUE(SetPrinterA(h, 2, rec.data(), 0)) << GetLastError();
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterA(h, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ClosePrinter(h);
    EXPECT_FALSE(OpenPrinterA(const_cast<LPSTR>("KV"), &h, nullptr));
    EXPECT_EQ(winsim::ReadSpooler().defaultPrinter, "KV Renamed");
    char line[128];
    GetProfileStringA("windows", "device", "", line, sizeof line);
    EXPECT_EQ(std::string(line).substr(0, 11), "KV Renamed,");
}

TEST_P(SpoolerTest, OnlyAdministratorsChangeTheSpoolerOnNt) {
    ASSERT_TRUE(AddDriver());
    winsim::SetSetting("machine", "privilege", "1");
    char none[] = "KV None", file[] = "KVNONE.DLL", local[] = "Local Port", lpt7[] = "LPT7:";
    PRINTER_INFO_2A printer{};
    DRIVER_INFO_3A driver{};
    MONITOR_INFO_2A monitor{none, MonitorEnv(), file};
    HANDLE server = nullptr;
    PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    // What 95/98, which check nothing, answer instead.
    const std::tuple<const char*, std::function<BOOL()>, DWORD> calls[] = {
        {"AddPrinterA",
         [&] { return AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&printer)) != nullptr; },
         ERROR_INVALID_PRINTER_NAME},
        {"AddPrinterDriverA",
         [&] { return AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver)); },
         ERROR_INVALID_PARAMETER},
        {"DeletePrinterDriverA", [&] { return DeletePrinterDriverA(nullptr, nullptr, none); },
         ERROR_UNKNOWN_PRINTER_DRIVER},
        {"AddPrintProcessorA", [&] { return AddPrintProcessorA(nullptr, nullptr, file, none); },
         ERROR_MOD_NOT_FOUND},
        {"DeletePrintProcessorA", [&] { return DeletePrintProcessorA(nullptr, nullptr, none); },
         ERROR_UNKNOWN_PRINTPROCESSOR},
        {"AddMonitorA", [&] { return AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&monitor)); },
         ERROR_INVALID_PARAMETER},
        {"DeleteMonitorA", [&] { return DeleteMonitorA(nullptr, nullptr, none); },
         ERROR_INVALID_PARAMETER},
        {"AddPortA", [&] { return AddPortA(nullptr, nullptr, local); }, ERROR_CANCELLED},
        {"DeletePortA", [&] { return DeletePortA(nullptr, nullptr, lpt7); },
         ERROR_INVALID_PARAMETER},
    };
    for (const auto& call : calls) {
        EXPECT_FALSE(std::get<1>(call)()) << std::get<0>(call);
        EXPECT_EQ(GetLastError(),
                  Nt() ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : std::get<2>(call))
            << std::get<0>(call);
    }
    // A handle that may administer the spooler is refused too; one to use it is not.
    EXPECT_EQ(OpenPrinterA(nullptr, &server, &all), Nt() ? FALSE : TRUE);
    ClosePrinter(server);
    EXPECT_TRUE(OpenPrinterA(nullptr, &server, nullptr));
    ClosePrinter(server);
}

TEST_P(SpoolerTest, DeletingAConnectionForgetsItsDefaultAndFreesItsDriver) {
    if (!Nt()) {
        EXPECT_FALSE(DeletePrinterConnectionA(const_cast<LPSTR>("\\\\SERVER\\KV4720")));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
        return;
    }
    winsim::SetSetting("network", "\\\\SERVER\\KV4720", kDriver);
    char share[] = "\\\\server\\kv4720";
    ASSERT_TRUE(AddDriver());
    ASSERT_TRUE(AddPrinterConnectionA(share));
    WriteProfileStringA("windows", "device", "\\\\SERVER\\KV4720,winspool,Ne00:");
    EXPECT_EQ(winsim::ReadSpooler().defaultPrinter, "\\\\SERVER\\KV4720");
    ASSERT_TRUE(DeletePrinterConnectionA(share));
    EXPECT_EQ(winsim::ReadSpooler().defaultPrinter, "");
    EXPECT_TRUE(winsim::ReadSpooler().connections.empty());
    EXPECT_FALSE(DeletePrinterConnectionA(share));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    EXPECT_TRUE(DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver)));
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
    EXPECT_EQ(GetLastError(),
              static_cast<DWORD>(Nt() ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(DeletePortA(nullptr, nullptr, ne));
    EXPECT_FALSE(Has(PortNames(), "NE00:"));
    char value[8] = "x";
    GetProfileStringA("Ports", "NE00:", "gone", value, sizeof value);
    EXPECT_STREQ(value, "gone");
}

// A UNC port name is stored as a key path (the registry has no backslash in a key name): the
// server's key is no port of its own, and deleting the port takes the emptied server key too.
TEST_P(SpoolerTest, AUncPortKeyIsOnePort) {
    const std::string ports =
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Ports";
    ASSERT_TRUE(winsim::ImportRegistry("REGEDIT4\r\n\r\n[" + ports + "\\SRV\\KV4720]\r\n[" +
                                       ports + "\\SRV\\LASER]\r\n[" + ports + "\\KVNET_2]\r\n"));
    std::vector<std::string> names = PortNames();
    EXPECT_TRUE(Has(names, "\\\\SRV\\KV4720"));
    EXPECT_TRUE(Has(names, "\\\\SRV\\LASER"));
    EXPECT_TRUE(Has(names, "KVNET_2"));
    EXPECT_FALSE(Has(names, "SRV")) << "the server is no port";

    char share[] = "\\\\SRV\\KV4720", other[] = "\\\\SRV\\LASER";
    EXPECT_TRUE(DeletePortA(nullptr, nullptr, share));
    EXPECT_TRUE(winsim::KeyExists(ports + "\\SRV")) << "its other share keeps the server";
    EXPECT_FALSE(Has(PortNames(), "SRV"));
    EXPECT_TRUE(DeletePortA(nullptr, nullptr, other));
    EXPECT_FALSE(winsim::KeyExists(ports + "\\SRV"));
    names = PortNames();
    EXPECT_FALSE(Has(names, "SRV"));
    EXPECT_FALSE(Has(names, "\\\\SRV\\LASER"));
    EXPECT_TRUE(Has(names, "KVNET_2"));
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

// Each call fails under its own name before it looks at anything, and changes nothing then.
TEST_P(SpoolerTest, EveryCallFailsUnderItsOwnName) {
    ASSERT_TRUE(AddDriver());
    HANDLE h = AddPrinter("KV");
    ASSERT_NE(h, nullptr);
    char none[] = "", dir[MAX_PATH], port[] = "FILE:", monitor[] = "Local Port";
    BYTE buf[4096];
    DWORD needed = 0, count = 0;
    PRINTER_INFO_2A printer{};
    DRIVER_INFO_3A driver{};
    MONITOR_INFO_2A mon{};
    HANDLE opened = nullptr;
    const std::pair<const char*, std::function<BOOL()>> calls[] = {
        {"EnumPrintersA",
         [&] {
             return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buf, sizeof buf, &needed, &count);
         }},
        {"AddPrinterA",
         [&] { return AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&printer)) != nullptr; }},
        {"OpenPrinterA", [&] { return OpenPrinterA(const_cast<LPSTR>("KV"), &opened, nullptr); }},
        {"GetPrinterA", [&] { return GetPrinterA(h, 2, buf, sizeof buf, &needed); }},
        {"SetPrinterA", [&] { return SetPrinterA(h, 0, nullptr, PRINTER_CONTROL_PAUSE); }},
        {"DeletePrinter", [&] { return DeletePrinter(h); }},
        {"ClosePrinter", [&] { return ClosePrinter(h); }},
        {"AddPrinterConnectionA", [&] { return AddPrinterConnectionA(none); }},
        {"DeletePrinterConnectionA", [&] { return DeletePrinterConnectionA(none); }},
        {"AddPrinterDriverA",
         [&] { return AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver)); }},
        {"EnumPrinterDriversA",
         [&] {
             return EnumPrinterDriversA(nullptr, nullptr, 1, buf, sizeof buf, &needed, &count);
         }},
        {"GetPrinterDriverA",
         [&] { return GetPrinterDriverA(h, nullptr, 1, buf, sizeof buf, &needed); }},
        {"GetPrinterDriverDirectoryA",
         [&] {
             return GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir),
                                               sizeof dir, &needed);
         }},
        {"DeletePrinterDriverA",
         [&] { return DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver)); }},
        {"AddPrintProcessorA", [&] { return AddPrintProcessorA(nullptr, none, none, none); }},
        {"EnumPrintProcessorsA",
         [&] {
             return EnumPrintProcessorsA(nullptr, nullptr, 1, buf, sizeof buf, &needed, &count);
         }},
        {"GetPrintProcessorDirectoryA",
         [&] {
             return GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir),
                                                sizeof dir, &needed);
         }},
        {"DeletePrintProcessorA", [&] { return DeletePrintProcessorA(nullptr, nullptr, none); }},
        {"AddMonitorA", [&] { return AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mon)); }},
        {"EnumMonitorsA",
         [&] { return EnumMonitorsA(nullptr, 1, buf, sizeof buf, &needed, &count); }},
        {"DeleteMonitorA", [&] { return DeleteMonitorA(nullptr, nullptr, none); }},
        {"EnumPortsA", [&] { return EnumPortsA(nullptr, 1, buf, sizeof buf, &needed, &count); }},
        {"AddPortA", [&] { return AddPortA(nullptr, nullptr, monitor); }},
        {"DeletePortA", [&] { return DeletePortA(nullptr, nullptr, port); }},
    };
    for (const auto& call : calls) {
        winsim::FailCall(call.first, 1722, 1);
        SetLastError(0);
        EXPECT_FALSE(call.second()) << call.first;
        EXPECT_EQ(GetLastError(), 1722u) << call.first;
    }
    // The printer, its handle and its driver are all still there.
    EXPECT_EQ(winsim::ReadSpooler().printers.size(), 1u);
    EXPECT_EQ(winsim::ReadSpooler().drivers.size(), 1u);
    EXPECT_TRUE(ClosePrinter(h));
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

// The ports of the local printers as EnumPrintersA lists them at level 2, by printer.
std::vector<std::string> ListedPorts() {
    DWORD needed = 0, count = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buf(needed);
    EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buf.data(), needed, &needed, &count));
    std::vector<std::string> ports;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(buf.data());
    for (DWORD i = 0; i < count; ++i)
        ports.push_back(std::string(printers[i].pPrinterName) + "=" + printers[i].pPortName);
    return ports;
}

// The spooler reads its printers where the registry keeps them: a change made there by a
// program, or by a person in the hive while the machine was closed, is what the next
// enumeration lists; setting a value to the data it holds changes nothing listed.
TEST_P(SpoolerTest, EnumerationSeesPrinterKeysChangedBehindTheSpooler) {
    ASSERT_TRUE(AddDriver()) << GetLastError();
    AddClosedPrinter("KV A", "LPT1:");
    AddClosedPrinter("KV B", "LPT1:");
    using List = std::vector<std::string>;
    ASSERT_EQ(ListedPorts(), (List{"KV A=LPT1:", "KV B=LPT1:"}));

    const char key[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KV A";
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    const char file[] = "FILE:";
    ASSERT_EQ(
        RegSetValueExA(h, "Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(file), sizeof file),
        ERROR_SUCCESS);
    EXPECT_EQ(ListedPorts(), (List{"KV A=FILE:", "KV B=LPT1:"}));
    ASSERT_EQ(
        RegSetValueExA(h, "Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(file), sizeof file),
        ERROR_SUCCESS);
    EXPECT_EQ(ListedPorts(), (List{"KV A=FILE:", "KV B=LPT1:"}));
    RegCloseKey(h);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KV B"),
              ERROR_SUCCESS);
    EXPECT_EQ(ListedPorts(), (List{"KV A=FILE:"}));

    // A person edits the saved hive while no program holds the machine.
    winsim::CloseMachine();
    std::string hive = ReadHostFile(m_dir + "/system.reg");
    const size_t at = hive.find("\"Port\"=\"FILE:\"");
    ASSERT_NE(at, std::string::npos);
    hive.replace(at, 14, "\"Port\"=\"COM1:\"");
    WriteHostFile(m_dir + "/system.reg", hive);
    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    EXPECT_EQ(ListedPorts(), (List{"KV A=COM1:"}));
}

INSTANTIATE_EVERY_OS(SpoolerTest);

} // namespace

// The spooler loads a monitor and initialises it, and loads a processor and finds its entry
// points, before it adds either: a file that is no module, or a module without the entry points
// its system calls, is refused and nothing is added.
TEST_P(SpoolerTest, MonitorsAndProcessorsMustLoadWithTheirEntryPoints) {
    char sys[MAX_PATH], procs[MAX_PATH];
    DWORD needed = 0;
    GetSystemDirectoryA(sys, sizeof sys);
    ASSERT_TRUE(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(procs),
                                            sizeof procs, &needed));
    PutFile(std::string(sys) + "\\TEXT.DLL");
    PlaceModule("kvproc.dll", std::string(sys) + "\\NOINIT.DLL");
    PlaceModule("kvlmon.dll", std::string(procs) + "\\NOENTRY.DLL");
    PutFile(std::string(procs) + "\\TEXT.DLL");
    for (const auto& [file, error] : {std::pair<const char*, DWORD>{"TEXT.DLL", ERROR_BAD_EXE_FORMAT},
                                      {"NOINIT.DLL", ERROR_PROC_NOT_FOUND}}) {
        MONITOR_INFO_2A mi{const_cast<LPSTR>("KV Monitor"), MonitorEnv(), const_cast<LPSTR>(file)};
        EXPECT_FALSE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi))) << file;
        EXPECT_EQ(GetLastError(), error) << file;
        char env[] = "", processor[] = "KV Processor";
        std::string other = std::string(file) == "TEXT.DLL" ? "TEXT.DLL" : "NOENTRY.DLL";
        EXPECT_FALSE(AddPrintProcessorA(nullptr, env, other.data(), processor)) << other;
        EXPECT_EQ(GetLastError(), error) << other;
    }
    EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("KV Monitor"))) << "none added";
    EXPECT_EQ(GetModuleHandleA("NOINIT.DLL"), nullptr) << "the spooler's load is released";
}
