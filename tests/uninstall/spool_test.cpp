#include "removal_fixture.h"

#include <winspool.h>

namespace {

const char kDriver[] = "KV Pellora 4720";
const char kLangMon[] = "KV Language Monitor";

class SpoolRemovalTest : public RemovalTest {
  protected:
    std::string DriverDir() {
        char buf[MAX_PATH];
        DWORD needed = 0;
        EXPECT_TRUE(GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buf),
                                               sizeof buf, &needed));
        return buf;
    }
    void AddMonitor(const char* name, const char* file) {
        PlaceModule("kvlmon.dll", SystemDir() + "\\" + file);
        // 95/98 need their environment named; NT takes a null one as its own.
        LPSTR env = GetVersion() & 0x80000000 ? const_cast<LPSTR>("Windows 4.0") : nullptr;
        MONITOR_INFO_2A mi{const_cast<LPSTR>(name), env, const_cast<LPSTR>(file)};
        ASSERT_TRUE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi))) << GetLastError();
    }
    void AddDriver(const char* name, const char* monitor) {
        for (const char* f : {"KVDRV.DLL", "KVUI.DLL", "KV.PPD"})
            Put(DriverDir() + "\\" + f);
        DRIVER_INFO_3A di{};
        di.cVersion = Nt() ? 2 : 0;
        di.pName = const_cast<LPSTR>(name);
        di.pDriverPath = const_cast<LPSTR>("KVDRV.DLL");
        di.pDataFile = const_cast<LPSTR>("KV.PPD");
        di.pConfigFile = const_cast<LPSTR>("KVUI.DLL");
        di.pMonitorName = const_cast<LPSTR>(monitor);
        di.pDefaultDataType = const_cast<LPSTR>("RAW");
        ASSERT_TRUE(AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&di))) << GetLastError();
    }
    void AddPrinter(const char* name, const char* driver = kDriver) {
        PRINTER_INFO_2A pi{};
        pi.pPrinterName = const_cast<LPSTR>(name);
        pi.pPortName = const_cast<LPSTR>("LPT1:");
        pi.pDriverName = const_cast<LPSTR>(driver);
        pi.pPrintProcessor = const_cast<LPSTR>("WinPrint");
        pi.pDatatype = const_cast<LPSTR>("RAW");
        pi.Attributes = PRINTER_ATTRIBUTE_LOCAL;
        HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
        ASSERT_NE(h, nullptr) << GetLastError();
        ClosePrinter(h);
    }

    static bool HasPrinter(const std::string& name) {
        for (const auto& p : winsim::ReadSpooler().printers)
            if (p.name == name) return true;
        return false;
    }
    static bool HasDriver(const std::string& name) {
        for (const auto& d : winsim::ReadSpooler().drivers)
            if (d.name == name) return true;
        return false;
    }
    static bool HasMonitor(const std::string& name) {
        for (const auto& m : winsim::ReadSpooler().monitors)
            if (m.name == name) return true;
        return false;
    }
};
INSTANTIATE_EVERY_OS(SpoolRemovalTest);

TEST_P(SpoolRemovalTest, TheDriverGoesWithTheLastPrinterThatUsesIt) {
    AddMonitor(kLangMon, "KVLMON.DLL");
    AddDriver(kDriver, kLangMon);
    AddPrinter("KV Pellora 4720");
    AddPrinter("KV Pellora 4720 (Copy 2)");

    RemovePrinter("kv pellora 4720");
    EXPECT_FALSE(HasPrinter("KV Pellora 4720"));
    EXPECT_TRUE(HasDriver(kDriver));
    EXPECT_TRUE(HasMonitor(kLangMon));

    RemovePrinter("KV Pellora 4720 (Copy 2)");
    EXPECT_FALSE(HasPrinter("KV Pellora 4720 (Copy 2)"));
    EXPECT_FALSE(HasDriver(kDriver));
    EXPECT_FALSE(HasMonitor(kLangMon));
}

TEST_P(SpoolRemovalTest, AMonitorThatAnotherDriverUsesStays) {
    AddMonitor(kLangMon, "KVLMON.DLL");
    AddDriver(kDriver, kLangMon);
    AddDriver("KV Pellora 4700", kLangMon);
    AddPrinter("KV Pellora 4720");

    RemovePrinter("KV Pellora 4720");
    EXPECT_FALSE(HasPrinter("KV Pellora 4720"));
    EXPECT_FALSE(HasDriver(kDriver));
    EXPECT_TRUE(HasMonitor(kLangMon));
}

TEST_P(SpoolRemovalTest, ANetvaneMonitorIsNeverDeleted) {
    AddMonitor("Netvane Port Monitor", "NVMON.DLL");
    AddDriver(kDriver, "Netvane Port Monitor");
    AddPrinter("KV Pellora 4720");

    RemovePrinter("KV Pellora 4720");
    EXPECT_FALSE(HasDriver(kDriver));
    EXPECT_TRUE(HasMonitor("Netvane Port Monitor"));
}

TEST_P(SpoolRemovalTest, AFailedSearchKeepsTheDriver) {
    AddMonitor(kLangMon, "KVLMON.DLL");
    AddDriver(kDriver, kLangMon);
    AddPrinter("KV Pellora 4720");
    winsim::FailCall("EnumPrintersA", ERROR_NOT_ENOUGH_MEMORY);

    RemovePrinter("KV Pellora 4720");
    EXPECT_FALSE(HasPrinter("KV Pellora 4720")) << "the printer goes all the same";
    EXPECT_TRUE(HasDriver(kDriver));
    EXPECT_TRUE(HasMonitor(kLangMon));

    // A printer that is not there touches nothing.
    winsim::ClearFailures();
    RemovePrinter("Nothing Here");
    EXPECT_TRUE(HasDriver(kDriver));
}

// Only NT makes printer connections.
class SpoolRemovalNtTest : public SpoolRemovalTest {};
INSTANTIATE_NT(SpoolRemovalNtTest);

TEST_P(SpoolRemovalNtTest, AConnectionOnTheDriverKeepsItOnNt) {
    AddMonitor(kLangMon, "KVLMON.DLL");
    AddDriver(kDriver, kLangMon);
    AddPrinter("KV Pellora 4720");
    winsim::SetSetting("network", "\\\\SERVER\\KV4720", kDriver);
    ASSERT_TRUE(AddPrinterConnectionA(const_cast<LPSTR>("\\\\SERVER\\KV4720")));

    RemovePrinter("KV Pellora 4720");
    EXPECT_FALSE(HasPrinter("KV Pellora 4720"));
    EXPECT_TRUE(HasDriver(kDriver));
    EXPECT_TRUE(HasMonitor(kLangMon));
}

TEST_P(SpoolRemovalTest, ThePortStepDeletesThePortAndItsProfileEntry) {
    const auto listed = [](const std::string& name) {
        for (const auto& p : winsim::ReadSpooler().ports)
            if (p.name == name) return true;
        return false;
    };
    // A port the spooler keeps in its own key: only the spooler's deletion removes it.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\Print\\Ports\\KVOUT:", &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_TRUE(listed("KVOUT:"));
    RemovePort("KVOUT:");
    EXPECT_FALSE(listed("KVOUT:"));

    WriteProfileStringA("Ports", "C:\\KV\\OUT.PRN", "");
    ASSERT_TRUE(listed("C:\\KV\\OUT.PRN"));
    RemovePort("C:\\KV\\OUT.PRN");
    EXPECT_FALSE(listed("C:\\KV\\OUT.PRN"));
    char value[16];
    GetProfileStringA("ports", "C:\\KV\\OUT.PRN", "gone", value, sizeof value);
    EXPECT_STREQ(value, "gone");

    // The entry goes even when the spooler refuses the port.
    WriteProfileStringA("Ports", "KVNET:", "");
    winsim::FailCall("DeletePortA", ERROR_ACCESS_DENIED);
    RemovePort("KVNET:");
    GetProfileStringA("ports", "KVNET:", "gone", value, sizeof value);
    EXPECT_STREQ(value, "gone");
}

} // namespace
