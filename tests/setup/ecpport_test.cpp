#include "support/machine_fixture.h"

#include "devices/zrdevices.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char kHklm[] = "HKEY_LOCAL_MACHINE\\";

void Import(const std::string& body) {
    std::string error;
    ASSERT_TRUE(winsim::ImportRegistry("REGEDIT4\r\n\r\n" + body, &error)) << error;
}

} // namespace

// ---- ECP detection ------------------------------------------------------------------------------

class EcpDetectionTest : public MachineTest, public ::testing::WithParamInterface<winsim::Os> {
  protected:
    void SetUp() override { NewMachine(GetParam()); }
};
INSTANTIATE_TEST_SUITE_P(Win9x, EcpDetectionTest,
                         ::testing::Values(winsim::Os::Win95, winsim::Os::Win98), OsParamName);

TEST_F(MachineTest, EveryPortIsEcpOnNt) {
    NewMachine(winsim::Os::Nt4);
    EXPECT_EQ(DLL_IsPortECP("LPT1:"), 1);
    EXPECT_EQ(DLL_IsPortECP("COM1:"), 1);
    EXPECT_EQ(DLL_IsPortECP("\\\\SERVER\\KV"), 1);
}

TEST_P(EcpDetectionTest, FindsThePortBelowTheBiosEcpDeviceInAnyCase) {
    EXPECT_EQ(DLL_IsPortECP("LPT1:"), 0) << "a fresh machine's port is no ECP port";
    Import("[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0401\\05]\r\n"
           "\"DeviceDesc\"=\"no port name\"\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0401\\0A]\r\n"
           "\"PORTNAME\"=\"lpt1\"\r\n");
    EXPECT_EQ(DLL_IsPortECP("LPT1"), 1);
    EXPECT_EQ(DLL_IsPortECP("LPT1:"), 1);
    EXPECT_EQ(DLL_IsPortECP("lPt1:"), 1);
    EXPECT_EQ(DLL_IsPortECP("LPT2"), 0);
    EXPECT_EQ(DLL_IsPortECP("LPT"), 0);
    EXPECT_EQ(DLL_IsPortECP(nullptr), 0);
}

TEST_P(EcpDetectionTest, FindsThePortBelowTheRootEcpDevice) {
    Import("[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0401\\0A]\r\n"
           "\"PortName\"=\"LPT1\"\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Enum\\Root\\*PNP0401\\0000]\r\n"
           "\"PortName\"=\"LPT2\"\r\n");
    EXPECT_EQ(DLL_IsPortECP("LPT2:"), 1);
    EXPECT_EQ(DLL_IsPortECP("LPT3:"), 0);
}

TEST_P(EcpDetectionTest, PortsListedAsRootPortsNeedTheEcpHardwareId) {
    Import("[HKEY_LOCAL_MACHINE\\Enum\\Root\\Ports\\0000]\r\n"
           "\"PORTNAME\"=\"LPT1\"\r\n"
           "\"HardwareID\"=\"root\\\\*pnp0401,*pnp0400\"\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Ports\\0001]\r\n"
           "\"PORTNAME\"=\"LPT2\"\r\n"
           "\"HardwareID\"=\"*PNP0400\"\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Enum\\Root\\Ports\\0002]\r\n"
           "\"PORTNAME\"=\"LPT3\"\r\n");
    EXPECT_EQ(DLL_IsPortECP("LPT1:"), 1);
    EXPECT_EQ(DLL_IsPortECP("LPT2:"), 0);
    EXPECT_EQ(DLL_IsPortECP("LPT3:"), 0) << "no hardware ID";
}

// ---- the NT driver's keys -----------------------------------------------------------------------

class EcpDriverTest : public MachineTest {
  protected:
    void SetUp() override { NewMachine(winsim::Os::Nt4); }
    static std::string Bytes(const std::string& key, const std::string& name, uint32_t* type) {
        std::vector<uint8_t> data;
        *type = 0;
        if (!winsim::ReadValue(kHklm + key, name, type, &data)) return "<missing>";
        return std::string(data.begin(), data.end());
    }
    static bool Writable(const std::string& key) {
        HKEY h = nullptr;
        LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &h);
        if (rc == ERROR_SUCCESS) RegCloseKey(h);
        return rc == ERROR_SUCCESS;
    }
};

TEST_F(EcpDriverTest, WritesTheFortyValuesBelowKeysThatRefuseAPlainWrite) {
    const std::string ccs = "System\\CurrentControlSet\\";
    ASSERT_TRUE(winsim::ProtectKey(kHklm + ccs + "Services"));
    ASSERT_FALSE(Writable(ccs + "Services"));
    ASSERT_FALSE(Writable(ccs + "Enum\\Root"));

    EXPECT_TRUE(RegisterEcpDriver());

    const std::string legacy = ccs + "Enum\\Root\\LEGACY_KVPECP00";
    const std::string service = ccs + "Services\\KVPECP00";
    EXPECT_EQ(ValueCount(legacy, 0) + ValueCount(legacy + "\\0000", 0) +
                  ValueCount(legacy + "\\0000\\Control", 0) + ValueCount(service, 0) +
                  ValueCount(service + "\\Enum", 0) + ValueCount(service + "\\Parameters", 0) +
                  ValueCount(service + "\\Parameters\\278", 0) +
                  ValueCount(service + "\\Parameters\\378", 0),
              40u);
    uint32_t type;
    EXPECT_EQ(Bytes(legacy + "\\0000", "Service", &type), std::string("Kvpecp00\0", 9));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
    EXPECT_EQ(Bytes(legacy + "\\0000\\Control", "ActiveService", &type),
              std::string("KVPECP00\0", 9));
    EXPECT_EQ(Bytes(service, "DependOnGroup", &type), std::string("Parallel arbitrator\0\0", 21));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_MULTI_SZ));
    EXPECT_EQ(Bytes(service, "DependOnService", &type), std::string("Parport\0\0", 9));
    EXPECT_EQ(Bytes(service, "Start", &type), std::string("\2\0\0\0", 4));
    EXPECT_EQ(type, static_cast<uint32_t>(REG_DWORD));
    EXPECT_EQ(Bytes(service + "\\Enum", "0", &type),
              std::string("Root\\LEGACY_KVPECP00\\0000\0", 26));
    EXPECT_EQ(Bytes(service + "\\Parameters\\378", "InitOutputMode", &type),
              std::string("\x0b\0\0\0", 4));
    EXPECT_EQ(Bytes(legacy + "\\0000", "ClassGUID", &type),
              std::string("{4D36E97E-E325-11CE-BFC1-08002BE10318}\0", 39));

    // The protected keys refuse a plain write again afterwards.
    EXPECT_FALSE(Writable(ccs + "Services"));
    EXPECT_FALSE(Writable(ccs + "Enum\\Root"));
}

TEST_F(EcpDriverTest, AValueThatCannotBeWrittenFailsAndTheOthersAreWritten) {
    winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(RegisterEcpDriver());
    const std::string instance = "System\\CurrentControlSet\\Enum\\Root\\LEGACY_KVPECP00\\0000";
    uint32_t type;
    EXPECT_EQ(Bytes(instance, "Service", &type), std::string("Kvpecp00\0", 9));
    EXPECT_TRUE(RegisterEcpDriver());
}

// ---- SYSTEM.INI device lines --------------------------------------------------------------------

class SystemIniTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        g_Settings.CachedVxDList[0] = '\0';
    }
    void TearDown() override {
        EXPECT_EQ(DLL_CacheVxD(nullptr), 1);
        EveryOsTest::TearDown();
    }
    void WriteSystemIni(const std::string& text) { WriteHostFile(SystemIniPath(), text); }
    std::string SystemIni() const { return ReadHostFile(SystemIniPath()); }
    std::string SystemIniPath() const { return HostFile("WINDOWS/SYSTEM.INI"); }
    // Calls with a copy of the name; *upper receives the name as the call left it.
    static LONG Cache(const std::string& name, std::string* upper = nullptr) {
        std::vector<char> buffer(name.begin(), name.end());
        buffer.push_back('\0');
        LONG result = DLL_CacheVxD(buffer.data());
        if (upper) *upper = buffer.data();
        return result;
    }
    static std::string TakeList() {
        char list[PW_VXD_LIST_SIZE + 8];
        DLL_GetStr(200, list, sizeof list);
        return list;
    }
};
INSTANTIATE_EVERY_OS(SystemIniTest);

TEST_P(SystemIniTest, KeepsALineThatLoadsTheDriverByName) {
    const std::string ini = "[386Enh]\r\nebios=*ebios\r\nDEVICE=PORTDRV.VXD\r\n";
    WriteSystemIni(ini);
    std::string upper;
    EXPECT_EQ(Cache("portdrv.vxd", &upper), 1);
    EXPECT_EQ(upper, "PORTDRV.VXD") << "the caller's name is turned to capitals";
    EXPECT_EQ(TakeList(), "");
    EXPECT_EQ(SystemIni(), ini);
}

TEST_P(SystemIniTest, CommentsOutDeviceLinesThatNameTheDriverElsewhere) {
    const std::string ini = "device=C:\\VXD\\ECPDRV.386\r\n"
                            "[386Enh]\r\n"
                            "woafont=dosapp.fon\r\n"
                            "device=C:\\DRV\\PORTDRV.VXD\r\n"
                            "\tdevice=C:\\T\\TABDRV.VXD\r\n";
    WriteSystemIni(ini);
    EXPECT_EQ(Cache("portdrv.vxd"), 1);
    EXPECT_EQ(Cache("ecpdrv.386"), 1);
    EXPECT_EQ(Cache("TabDrv.vxd"), 1) << "a tab ends the line before it, as a line end does";
    std::string expected = ini;
    expected[0] = ';'; // the first line, at the file's start
    expected[ini.find("device=C:\\DRV")] = ';';
    expected[ini.find("device=C:\\T")] = ';';
    EXPECT_EQ(SystemIni(), expected);
    EXPECT_EQ(TakeList(), "PORTDRV.VXD;ECPDRV.386;TABDRV.VXD;");
    EXPECT_EQ(TakeList(), "") << "reading the list empties it";
}

TEST_P(SystemIniTest, ANameInsideAnotherDriversNameIsNotThatDriver) {
    const std::string ini = "[386Enh]\r\n"
                            "device=XPORTDRV.VXD\r\n"
                            "device=C:\\OLD\\PORTDRV.VXDX\r\n"
                            "device=C:\\DRV\\PORTDRV.VXD\r\n";
    WriteSystemIni(ini);
    EXPECT_EQ(Cache("portdrv.vxd"), 1);
    std::string expected = ini;
    expected[ini.find("device=C:\\DRV")] = ';';
    EXPECT_EQ(SystemIni(), expected) << "only the line that names this driver is commented out";
    EXPECT_EQ(TakeList(), "PORTDRV.VXD;");
}

TEST_P(SystemIniTest, CollectsNamesFoundOnlyOutsideDeviceLines) {
    const std::string ini = "[boot]\r\n"
                            "; portdrv.vxd was here\r\n"
                            "[386Enh]\r\n"
                            " DEVICE=C:\\X\\LPTDRV.VXD\r\n"
                            "device=*vshare\r\n";
    WriteSystemIni(ini);
    EXPECT_EQ(Cache("portdrv.vxd"), 1);
    EXPECT_EQ(Cache("lptdrv.vxd"), 1) << "a blank before DEVICE makes no device line";
    EXPECT_EQ(Cache("absent.vxd"), 1);
    EXPECT_EQ(Cache(""), 1) << "an empty name is not collected";
    EXPECT_EQ(SystemIni(), ini);
    EXPECT_EQ(TakeList(), "PORTDRV.VXD;LPTDRV.VXD;ABSENT.VXD;");
}

TEST_P(SystemIniTest, AListWithoutRoomRefusesTheNameAndLeavesTheFile) {
    const std::string ini = "[386Enh]\r\ndevice=C:\\DRV\\PORTDRV.VXD\r\n";
    WriteSystemIni(ini);
    std::string expected;
    for (int i = 0; i < 10; ++i) {
        const std::string name(49, static_cast<char>('A' + i));
        ASSERT_EQ(Cache(name), 1);
        expected += name + ";";
    }
    ASSERT_EQ(Cache("KLMNOPQR"), 1);
    expected += "KLMNOPQR;"; // 509 characters
    EXPECT_EQ(Cache("S"), 1) << "511 characters and the terminator fill the list exactly";
    expected += "S;";
    EXPECT_EQ(Cache("T"), 0);
    EXPECT_EQ(Cache("portdrv.vxd"), 0);
    EXPECT_EQ(SystemIni(), ini) << "a refused driver keeps its line";
    EXPECT_EQ(TakeList(), expected);
    EXPECT_EQ(Cache("portdrv.vxd"), 1) << "room again once the script has read the list";
    EXPECT_EQ(TakeList(), "PORTDRV.VXD;");
    EXPECT_EQ(SystemIni()[ini.find("device")], ';');
}

TEST_P(SystemIniTest, ALineThatCannotBeCommentedOutLeavesTheNameUncollected) {
    const std::string ini = "[386Enh]\r\ndevice=C:\\DRV\\PORTDRV.VXD\r\n";
    WriteSystemIni(ini);
    // Collected with its line still loading it, the driver would be loaded twice.
    for (const char* call : {"_llseek", "_lwrite"}) {
        SCOPED_TRACE(call);
        winsim::FailCall(call, ERROR_ACCESS_DENIED, 1);
        EXPECT_EQ(Cache("portdrv.vxd"), 0);
        EXPECT_EQ(SystemIni(), ini);
        EXPECT_EQ(TakeList(), "");
    }
    EXPECT_EQ(Cache("portdrv.vxd"), 1);
    EXPECT_EQ(TakeList(), "PORTDRV.VXD;");
}

TEST_P(SystemIniTest, SeesADeviceLineJustWrittenThroughTheProfileCalls) {
    WriteSystemIni("[386Enh]\r\nwoafont=dosapp.fon\r\n");
    ASSERT_TRUE(
        WritePrivateProfileStringA("386Enh", "device", "C:\\DRV\\PORTDRV.VXD", "system.ini"));
    EXPECT_EQ(Cache("portdrv.vxd"), 1);
    EXPECT_EQ(SystemIni(), "[386Enh]\r\nwoafont=dosapp.fon\r\n;evice=C:\\DRV\\PORTDRV.VXD\r\n");
    EXPECT_EQ(TakeList(), "PORTDRV.VXD;");
}

TEST_P(SystemIniTest, AMissingFileFailsAndIsOpenedOnALaterCall) {
    const std::string ini = SystemIni();
    std::filesystem::remove(SystemIniPath());
    EXPECT_EQ(Cache("portdrv.vxd"), 0);
    EXPECT_EQ(TakeList(), "");
    WriteSystemIni(ini);
    EXPECT_EQ(Cache("portdrv.vxd"), 1);
    EXPECT_EQ(TakeList(), "PORTDRV.VXD;");
    EXPECT_EQ(DLL_CacheVxD(nullptr), 1);
    EXPECT_EQ(DLL_CacheVxD(nullptr), 1) << "closing a closed cache is harmless";
}
