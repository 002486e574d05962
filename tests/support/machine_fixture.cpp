#include "machine_fixture.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

void MachineTest::NewMachine(winsim::Os os) {
    if (!m_dir.empty()) {
        winsim::CloseMachine();
        std::filesystem::remove_all(m_dir);
    }
    // In TMPDIR when the run sets one, as on a memory file system.
    std::string tmpl = (std::filesystem::temp_directory_path() / "winsim-test-XXXXXX").string();
    char* made = mkdtemp(tmpl.data());
    ASSERT_NE(made, nullptr);
    m_dir = made;
    std::string error;
    ASSERT_TRUE(winsim::CreateMachine(m_dir, os, &error)) << error;
    ASSERT_TRUE(winsim::OpenMachine(m_dir, &error)) << error;
}

void MachineTest::TearDown() {
    winsim::CloseMachine();
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
}

std::string MachineTest::HostFile(const std::string& relative) const {
    return m_dir + "/drive_c/" + relative;
}

std::string MachineTest::ReadHostFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void MachineTest::WriteHostFile(const std::string& hostPath, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out << text;
}

void MachineTest::PlaceModule(const std::string& built, const std::string& windowsPath) {
    const std::string host = winsim::HostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::filesystem::copy_file(std::string(PW_MODULE_DIR) + "/" + built, host,
                               std::filesystem::copy_options::overwrite_existing);
}

std::string OsParamName(const ::testing::TestParamInfo<winsim::Os>& info) {
    return winsim::OsName(info.param);
}

unsigned long MachineTest::ValueCount(const std::string& hklmKey, unsigned long whenMissing) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, hklmKey.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return whenMissing;
    DWORD values = static_cast<DWORD>(whenMissing);
    RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(h);
    return values;
}
