// The spooler tests' fixture: a fresh machine of each system, with the steps a setup program
// takes to put a driver and a printer on it.
#ifndef TESTS_WINSIM_SPOOLER_FIXTURE_H
#define TESTS_WINSIM_SPOOLER_FIXTURE_H

#include "support/machine_fixture.h"

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace spooler_tests {

inline constexpr char kDriver[] = "KV Pellora 4720";

class SpoolerTest : public EveryOsTest {
  protected:
    bool Nt() const { return GetParam() == winsim::Os::Nt4; }

    // Creates a file on the machine at a Windows path.
    void PutFile(const std::string& windowsPath) {
        size_t bs = windowsPath.rfind('\\');
        std::string dir = winsim::HostPath(windowsPath.substr(0, bs));
        std::filesystem::create_directories(dir);
        WriteHostFile(dir + "/" + windowsPath.substr(bs + 1), "MZ");
    }

    // The environment a monitor names: NT takes a null one as its own, 95/98 need theirs.
    LPSTR MonitorEnv() const { return Nt() ? nullptr : const_cast<LPSTR>("Windows 4.0"); }

    // The language monitor's file put in the system directory, and the record that adds it.
    MONITOR_INFO_2A LanguageMonitor() {
        char sys[MAX_PATH];
        GetSystemDirectoryA(sys, sizeof sys);
        PlaceModule("kvlmon.dll", std::string(sys) + "\\KVLMON.DLL");
        return MONITOR_INFO_2A{const_cast<LPSTR>("KV Language Monitor"), MonitorEnv(),
                               const_cast<LPSTR>("KVLMON.DLL")};
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

inline bool Has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace spooler_tests

#endif
