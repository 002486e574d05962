#include "support/machine_fixture.h"

#include "devices/zrdevices.h"

#include <winspool.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::string kPortsPath = "System\\CurrentControlSet\\Control\\Print\\Ports";
const std::string kPortsKey = "HKEY_LOCAL_MACHINE\\" + kPortsPath;

typedef LONG(WINAPI* AddPortFn)(LPCSTR);

bool Traced(const std::string& start) {
    const auto lines = winsim::DebugOutput();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(start, 0) == 0; });
}

} // namespace

// The reserved names come from the library's own string table, so the port is added through the
// loaded PWSETUP.DLL, as the setup engine calls it.
class AddPortTest : public EveryOsTest {
  protected:
    void SetUp() override {
        EveryOsTest::SetUp();
        std::string error;
        m_module = winsim::LoadHostLibrary(PWSETUP_PATH, &error);
        ASSERT_NE(m_module, 0u) << error;
        m_addPort = reinterpret_cast<AddPortFn>(winsim::HostProcAddress(m_module, "DLL_AddPort"));
        ASSERT_NE(m_addPort, nullptr);
    }
    void TearDown() override {
        if (m_module) FreeLibrary(reinterpret_cast<HMODULE>(m_module));
        EveryOsTest::TearDown();
    }
    static std::string PortsEntry(const char* port) {
        char value[64];
        GetProfileStringA("Ports", port, "<missing>", value, sizeof value);
        return value;
    }
    std::string Snapshot() const {
        return winsim::ExportRegistry(kPortsKey) + ReadHostFile(HostFile("WINDOWS/WIN.INI"));
    }

    uintptr_t m_module = 0;
    AddPortFn m_addPort = nullptr;
};
INSTANTIATE_EVERY_OS(AddPortTest);

TEST_P(AddPortTest, RefusesReservedPortNamesInAnyCase) {
    const std::string before = Snapshot();
    for (const char* port : {"LPT1:", "lpt2", "LPTX", "lPt", "COM1", "com9:", "Com",
                             "FILE:", "file:", "File:Printer", ""}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(m_addPort(port), 0);
    }
    EXPECT_EQ(m_addPort(nullptr), 0);
    EXPECT_EQ(Snapshot(), before) << "neither the registry nor WIN.INI changed";
    EXPECT_FALSE(Traced("EnumPorts()")) << "a reserved name asks the spooler nothing";
}

TEST_P(AddPortTest, AddsAnEmptyPortKeyAndAWinIniEntry) {
    for (const char* port : {"KVNET_1", "FIL", "IP_10.0.0.5"}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(m_addPort(port), 1);
        const std::string key = kPortsKey + "\\" + port;
        EXPECT_TRUE(winsim::KeyExists(key));
        EXPECT_EQ(ValueCount(kPortsPath + "\\" + port, 99), 0u);
        EXPECT_EQ(PortsEntry(port), "");
    }
    EXPECT_TRUE(Traced("EnumPorts() found "));
}

TEST_P(AddPortTest, AddingAgainKeepsAnExistingEntry) {
    ASSERT_TRUE(WriteProfileStringA("Ports", "KVNET_2", "9600,n,8,1"));
    EXPECT_EQ(m_addPort("KVNET_2"), 1);
    EXPECT_EQ(m_addPort("KVNET_2"), 1);
    EXPECT_EQ(PortsEntry("KVNET_2"), "9600,n,8,1");
    EXPECT_TRUE(winsim::KeyExists(kPortsKey + "\\KVNET_2"));
}

TEST_P(AddPortTest, AWinIniEntryThatCannotBeWrittenFailsTheCall) {
    winsim::FailCall("WriteProfileStringA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(m_addPort("KVNET_4"), 0);
    EXPECT_EQ(PortsEntry("KVNET_4"), "<missing>");
    EXPECT_TRUE(Traced("Failed to list port `KVNET_4' in WIN.INI"));
    EXPECT_EQ(m_addPort("KVNET_4"), 1) << "the script's second try lists it";
    EXPECT_EQ(PortsEntry("KVNET_4"), "");
}

TEST_P(AddPortTest, AKeyThatCannotBeMadeLeavesWinIniAlone) {
    const std::string before = Snapshot();
    winsim::FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(m_addPort("KVNET_3"), 0);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(Traced("Failed to create port `KVNET_3'"));
    EXPECT_TRUE(Traced("EnumPorts() ")) << "the spooler is still asked";

    // A name too long for the key path is refused whole rather than cut into another name.
    const std::string longName = "NET_" + std::string(220, 'q');
    EXPECT_EQ(m_addPort(longName.c_str()), 0);
    EXPECT_EQ(Snapshot(), before);
}

// A UNC name (a printer share) becomes a port: the registry takes "Ports\\\SRV\KV4720" as
// "Ports\SRV\KV4720", as Windows does, WIN.INI lists the name, and the spooler reports it.
TEST_P(AddPortTest, AUncPortNameBecomesAPort) {
    const char port[] = "\\\\SRV\\KV4720";
    EXPECT_EQ(m_addPort(port), 1);
    EXPECT_TRUE(winsim::KeyExists(kPortsKey + "\\SRV\\KV4720"));
    EXPECT_EQ(PortsEntry(port), "");
    DWORD needed = 0, returned = 0;
    EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(EnumPortsA(nullptr, 1, buf.data(), needed, &needed, &returned));
    const auto* ports = reinterpret_cast<const PORT_INFO_1A*>(buf.data());
    EXPECT_TRUE(std::any_of(ports, ports + returned,
                            [&](const PORT_INFO_1A& p) { return std::string(p.pName) == port; }));
    EXPECT_TRUE(std::none_of(ports, ports + returned,
                             [](const PORT_INFO_1A& p) { return std::string(p.pName) == "SRV"; }))
        << "the server's key is no port";
    EXPECT_FALSE(Traced("Failed to create port"));
}
