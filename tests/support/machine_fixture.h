// A fresh simulated machine in a temporary folder for each test.
#ifndef TESTS_MACHINE_FIXTURE_H
#define TESTS_MACHINE_FIXTURE_H

#include <gtest/gtest.h>
#include <winsim/machine.h>

#include <string>

class MachineTest : public ::testing::Test {
protected:
    // Creates and opens a machine of the given OS; the folder is removed after the test.
    void NewMachine(winsim::Os os = winsim::Os::Nt4);
    void TearDown() override;

    // Host path of a file below the machine's drive C ("WINDOWS/WIN.INI").
    std::string HostFile(const std::string& relative) const;
    static std::string ReadHostFile(const std::string& hostPath);
    static void WriteHostFile(const std::string& hostPath, const std::string& text);
    // Copies a built stand-in module ("kvlmon.dll", the language monitor; "kvpmon.dll", the port
    // monitor; "kvproc.dll", the print processor) to a Windows path on the open machine, as setup
    // copies the product's component before the spooler loads it.
    static void PlaceModule(const std::string& built, const std::string& windowsPath);
    // The number of values of an HKEY_LOCAL_MACHINE key; whenMissing when it cannot be opened.
    static unsigned long ValueCount(const std::string& hklmKey, unsigned long whenMissing);

    std::string m_dir;
};

// Parameterised over the three systems.
class EveryOsTest : public MachineTest, public ::testing::WithParamInterface<winsim::Os> {
protected:
    void SetUp() override { NewMachine(GetParam()); }
};
std::string OsParamName(const ::testing::TestParamInfo<winsim::Os>& info);
#define INSTANTIATE_EVERY_OS(suite)                                                                \
    INSTANTIATE_TEST_SUITE_P(AllOs, suite,                                                         \
                             ::testing::Values(winsim::Os::Win95, winsim::Os::Win98,               \
                                               winsim::Os::Nt4),                                   \
                             OsParamName)
// For cases that belong to one family of systems.
#define INSTANTIATE_WIN9X(suite)                                                                   \
    INSTANTIATE_TEST_SUITE_P(Win9x, suite,                                                         \
                             ::testing::Values(winsim::Os::Win95, winsim::Os::Win98), OsParamName)
#define INSTANTIATE_NT(suite)                                                                      \
    INSTANTIATE_TEST_SUITE_P(Nt, suite, ::testing::Values(winsim::Os::Nt4), OsParamName)

#endif
