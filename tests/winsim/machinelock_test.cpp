// One program at a time per machine: a process holds its machine folder while the machine is
// open, another waits for it and says so, and a killed holder leaves it free.
#include "support/machine_fixture.h"

#include <windows.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Whether another open file could lock the folder now. flock conflicts between two open files of
// one process too, so this sees this process's own hold.
bool FreeNow(const std::string& dir) {
    int fd = open((dir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

bool SetText(const char* name, const char* text) {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", &key) != ERROR_SUCCESS) return false;
    LONG rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(lstrlenA(text) + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool HasValue(const char* name) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    return winsim::ReadValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared", name, &type, &data);
}

std::string PortsLine(const char* key) {
    char out[64] = {};
    GetProfileStringA("Ports", key, "", out, sizeof out);
    return out;
}

} // namespace

class MachineLockTest : public MachineTest {
protected:
    void SetUp() override { NewMachine(); }
};

TEST_F(MachineLockTest, HeldWhileOpenKeptOnReopeningAndFreedByClosingOrOpeningAnother) {
    EXPECT_FALSE(FreeNow(m_dir));
    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    EXPECT_FALSE(FreeNow(m_dir)) << "opening the same machine again keeps it";

    const std::string other = m_dir + "/other";
    ASSERT_TRUE(winsim::CreateMachine(other, winsim::Os::Win98));
    EXPECT_FALSE(FreeNow(m_dir)) << "creating another machine gives the open one back";
    ASSERT_TRUE(winsim::OpenMachine(other));
    EXPECT_TRUE(FreeNow(m_dir));
    EXPECT_FALSE(FreeNow(other));
    EXPECT_EQ(winsim::MachineOs(), winsim::Os::Win98);

    // A folder that holds no machine is refused, closes the open one, and gets no lock file.
    const std::string empty = m_dir + "/empty";
    std::filesystem::create_directory(empty);
    EXPECT_FALSE(winsim::OpenMachine(empty));
    EXPECT_TRUE(FreeNow(other));
    EXPECT_FALSE(std::filesystem::exists(empty + "/.lock"));

    ASSERT_TRUE(winsim::OpenMachine(other));
    winsim::CloseMachine();
    EXPECT_TRUE(FreeNow(other));
}

// The second process waits, names the first, and then finds everything the first wrote: the
// registry and the profile writes its close saved. The first finds the second's in turn.
TEST_F(MachineLockTest, ASecondProcessWaitsForTheFirstAndReadsItsWrites) {
    winsim::CloseMachine();
    int go[2], said[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(said), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(go[1]);
        close(said[0]);
        char c;
        if (read(go[0], &c, 1) != 1) _exit(10);
        dup2(said[1], STDERR_FILENO);
        close(said[1]);
        if (!winsim::OpenMachine(m_dir)) _exit(11);
        if (!HasValue("First") || PortsLine("NET1:") != "first") _exit(12);
        SetText("Second", "two");
        WriteProfileStringA("Ports", "NET2:", "second");
        winsim::CloseMachine();
        _exit(0);
    }
    close(go[0]);
    close(said[1]);
    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    ASSERT_TRUE(SetText("First", "one"));
    ASSERT_TRUE(WriteProfileStringA("Ports", "NET1:", "first"));
    ASSERT_EQ(write(go[1], "g", 1), 1);
    close(go[1]);

    // Printed before it waits, so this read returns while this process still holds the machine.
    EXPECT_EQ(ReadLine(said[0]), "winsim: " + m_dir + " is in use by another program (process " +
                                     std::to_string(getpid()) + "); waiting");
    winsim::CloseMachine();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadLine(said[0]), "") << "said once";
    close(said[0]);

    ASSERT_TRUE(winsim::OpenMachine(m_dir));
    EXPECT_TRUE(HasValue("First"));
    EXPECT_TRUE(HasValue("Second"));
    EXPECT_EQ(PortsLine("NET1:"), "first");
    EXPECT_EQ(PortsLine("NET2:"), "second");
}

TEST_F(MachineLockTest, AKilledHolderLeavesTheMachineFree) {
    winsim::CloseMachine();
    int held[2];
    ASSERT_EQ(pipe(held), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(held[0]);
        if (!winsim::OpenMachine(m_dir)) _exit(11);
        if (write(held[1], "h", 1) != 1) _exit(12);
        for (;;)
            pause();
    }
    close(held[1]);
    char c;
    ASSERT_EQ(read(held[0], &c, 1), 1);
    close(held[0]);
    EXPECT_FALSE(FreeNow(m_dir));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));

    EXPECT_TRUE(FreeNow(m_dir));
    EXPECT_TRUE(winsim::OpenMachine(m_dir));
}

// A death test's child is a fork of the holder: opening the machine again there must not wait
// for the parent, which waits for it.
TEST_F(MachineLockTest, AForkedChildOpensItsParentsMachineAgain) {
    EXPECT_EXIT(
        {
            alarm(120); // a wait would never end: fail instead
            bool opened = winsim::OpenMachine(m_dir);
            std::_Exit(opened && winsim::HasMachine() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
