// The registry outlives the process that changes it: each change is in its hive's log when its
// call returns, so a kill loses none; a log folded into its hive is never replayed; a save that
// fails is reported; a hive that does not read whole is never written over; and keys keep
// Windows' limits wherever they are made.
#include "support/machine_fixture.h"

#include <windows.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kNorvex = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex";

HKEY Create(HKEY root, const std::string& path, DWORD options = 0) {
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &h,
                              nullptr),
              ERROR_SUCCESS)
        << path;
    return h;
}

LONG SetText(HKEY h, const char* name, const std::string& text) {
    return RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

bool HasText(const std::string& key, const std::string& name, const std::string& text) {
    std::vector<uint8_t> data;
    return winsim::ReadValue(key, name, nullptr, &data) &&
           data == std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1);
}

uint64_t GenerationOf(const std::string& hive) {
    std::smatch m;
    return std::regex_search(hive, m, std::regex(";generation=([0-9]+)\r\n$")) ? std::stoull(m[1])
                                                                               : 0;
}

std::string LogText(uint64_t generation, const std::string& records) {
    return "REGEDIT4\r\n;generation=" + std::to_string(generation) + "\r\n\r\n" + records;
}

class DurabilityTest : public MachineTest {
  protected:
    void SetUp() override { NewMachine(winsim::Os::Nt4); }
    void TearDown() override {
        MachineTest::TearDown();
        for (const std::string& c : m_copies)
            fs::remove_all(c);
    }
    // The machine folder as a kill would leave it now: its files as they stand, nothing saved.
    std::string KilledCopy() {
        std::string copy = m_dir + ".copy" + std::to_string(m_copies.size());
        fs::copy(m_dir, copy, fs::copy_options::recursive);
        m_copies.push_back(copy);
        return copy;
    }
    void Open(const std::string& dir) {
        std::string error;
        ASSERT_TRUE(winsim::OpenMachine(dir, &error)) << error;
    }
    std::vector<std::string> m_copies;
};

TEST_F(DurabilityTest, EveryChangeOutlivesAKillOnceItsCallReturned) {
    HKEY kvp = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\KVP");
    ASSERT_EQ(SetText(kvp, "Gone", "soon"), ERROR_SUCCESS);
    ASSERT_EQ(SetText(kvp, "Kept", "C:\\KV\r\nsecond line"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(kvp, "Gone"), ERROR_SUCCESS);
    RegCloseKey(Create(kvp, "Old"));
    ASSERT_EQ(RegDeleteKeyA(kvp, "Old"), ERROR_SUCCESS);
    ASSERT_TRUE(winsim::SetKeySecurity(kNorvex + "\\KVP", "O:BAD:(A;;KA;;;BA)"));
    HKEY session = Create(kvp, "Session", REG_OPTION_VOLATILE);
    ASSERT_EQ(SetText(session, "Pid", "42"), ERROR_SUCCESS);
    HKEY user = Create(HKEY_CURRENT_USER, "Software\\Norvex");
    ASSERT_EQ(SetText(user, "Where", "user.reg.log"), ERROR_SUCCESS);
    for (HKEY h : {kvp, session, user})
        RegCloseKey(h);
    EXPECT_EQ(ReadHostFile(m_dir + "/system.reg.log").find("Session"), std::string::npos)
        << "volatile keys are never logged";

    const std::string killed = KilledCopy();
    Open(killed);
    EXPECT_FALSE(winsim::ReadValue(kNorvex + "\\KVP", "Gone", nullptr, nullptr));
    EXPECT_TRUE(HasText(kNorvex + "\\KVP", "Kept", "C:\\KV\r\nsecond line"));
    EXPECT_FALSE(winsim::KeyExists(kNorvex + "\\KVP\\Old"));
    EXPECT_FALSE(winsim::KeyExists(kNorvex + "\\KVP\\Session"));
    EXPECT_EQ(winsim::GetKeySecurity(kNorvex + "\\KVP"), "O:BAD:(A;;KA;;;BA)");
    EXPECT_TRUE(HasText("HKEY_CURRENT_USER\\Software\\Norvex", "Where", "user.reg.log"));

    // Closing folds each log into its hive.
    ASSERT_TRUE(winsim::CloseMachine());
    EXPECT_FALSE(fs::exists(killed + "/system.reg.log"));
    EXPECT_FALSE(fs::exists(killed + "/user.reg.log"));
    EXPECT_NE(ReadHostFile(killed + "/user.reg").find("\"Where\"=\"user.reg.log\""),
              std::string::npos);
    Open(killed);
    EXPECT_TRUE(HasText(kNorvex + "\\KVP", "Kept", "C:\\KV\r\nsecond line"));
    EXPECT_EQ(winsim::GetKeySecurity(kNorvex + "\\KVP"), "O:BAD:(A;;KA;;;BA)");
}

// A kill after the hive was written but before its log went leaves a log the hive already
// holds; a kill inside a write leaves a torn last record, whose call never returned.
TEST_F(DurabilityTest, AFoldedLogIsNeverReplayedAndATornRecordIsLeftOut) {
    ASSERT_TRUE(winsim::CloseMachine());
    const uint64_t generation = GenerationOf(ReadHostFile(m_dir + "/system.reg"));
    ASSERT_GT(generation, 0u);
    const std::string key = "[" + kNorvex + "]\r\n";
    WriteHostFile(m_dir + "/system.reg.log",
                  LogText(generation, key + "\"Ghost\"=\"folded\"\r\n\r\n"));
    Open(m_dir);
    EXPECT_FALSE(winsim::ReadValue(kNorvex, "Ghost", nullptr, nullptr));
    EXPECT_FALSE(fs::exists(m_dir + "/system.reg.log"));
    ASSERT_TRUE(winsim::CloseMachine());

    WriteHostFile(
        m_dir + "/system.reg.log",
        LogText(generation + 1, key + "\"Whole\"=\"yes\"\r\n\r\n" + key + "\"Torn\"=\"half"));
    Open(m_dir);
    EXPECT_TRUE(HasText(kNorvex, "Whole", "yes"));
    EXPECT_FALSE(winsim::ReadValue(kNorvex, "Torn", nullptr, nullptr));
    HKEY h = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex");
    ASSERT_EQ(SetText(h, "After", "the tear"), ERROR_SUCCESS);
    RegCloseKey(h);
    Open(KilledCopy());
    EXPECT_TRUE(HasText(kNorvex, "Whole", "yes"));
    EXPECT_TRUE(HasText(kNorvex, "After", "the tear"));
}

TEST_F(DurabilityTest, AFileThatDoesNotReadWholeRefusesTheOpenAndNothingChanges) {
    ASSERT_TRUE(winsim::CloseMachine());
    const std::string hive = ReadHostFile(m_dir + "/system.reg");
    const std::string ini = ReadHostFile(m_dir + "/machine.ini");
    const std::string log =
        LogText(GenerationOf(hive) + 1, "[" + kNorvex + "]\r\n\"A\"=\"1\"\r\n\r\n[" + kNorvex +
                                            "]\r\n\"B\"=dword:xyz\r\n\r\n");
    WriteHostFile(m_dir + "/system.reg.log", log);
    WriteHostFile(m_dir + "/system.reg.tmp4242", "half a hive");
    std::string error;
    EXPECT_FALSE(winsim::OpenMachine(m_dir, &error));
    EXPECT_NE(error.find(m_dir + "/system.reg.log: line 8: malformed dword data"),
              std::string::npos)
        << error;
    EXPECT_EQ(ReadHostFile(m_dir + "/system.reg.log"), log);
    EXPECT_EQ(ReadHostFile(m_dir + "/system.reg"), hive);
    EXPECT_EQ(ReadHostFile(m_dir + "/machine.ini"), ini);
    EXPECT_TRUE(fs::exists(m_dir + "/system.reg.tmp4242"));

    // 35 keys must not become 7: one bad line in the hive itself refuses the open too.
    fs::remove(m_dir + "/system.reg.log");
    std::string damaged = hive;
    damaged.insert(damaged.find("\r\n[HKEY_LOCAL_MACHINE\\SYSTEM") + 2, "\"Bad\"=hex:zz\r\n");
    WriteHostFile(m_dir + "/system.reg", damaged);
    EXPECT_FALSE(winsim::OpenMachine(m_dir, &error));
    EXPECT_NE(error.find(m_dir + "/system.reg: line "), std::string::npos) << error;
    EXPECT_EQ(ReadHostFile(m_dir + "/system.reg"), damaged);

    // Once whole again, the machine opens and the leftovers of a killed save go.
    WriteHostFile(m_dir + "/system.reg", hive);
    WriteHostFile(m_dir + "/machine.ini.tmp77", "");
    WriteHostFile(m_dir + "/notes.tmp1", "not ours");
    Open(m_dir);
    EXPECT_FALSE(fs::exists(m_dir + "/system.reg.tmp4242"));
    EXPECT_FALSE(fs::exists(m_dir + "/machine.ini.tmp77"));
    EXPECT_TRUE(fs::exists(m_dir + "/notes.tmp1"));
}

// What the disk cannot take is refused (ERROR_REGISTRY_IO_FAILED, nothing changed in memory) or
// reported when the machine closes, with the file named.
TEST_F(DurabilityTest, AChangeTheLogCannotTakeFailsAndAFailedSaveIsReported) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    HKEY h = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex");
    ASSERT_EQ(SetText(h, "Before", "1"), ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_TRUE(winsim::CloseMachine());
    Open(m_dir);
    fs::create_symlink("/dev/full", m_dir + "/system.reg.log"); // every write: no space left
    h = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex");
    EXPECT_EQ(SetText(h, "New", "x"), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(RegDeleteValueA(h, "Before"), ERROR_REGISTRY_IO_FAILED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyA(h, "Sub", &sub), ERROR_REGISTRY_IO_FAILED);
    RegCloseKey(h);
    EXPECT_FALSE(winsim::ReadValue(kNorvex, "New", nullptr, nullptr));
    EXPECT_TRUE(HasText(kNorvex, "Before", "1"));
    EXPECT_FALSE(winsim::KeyExists(kNorvex + "\\Sub"));
    HKEY user = Create(HKEY_CURRENT_USER, "Software\\Norvex"); // the other hive still takes
    EXPECT_EQ(SetText(user, "Fine", "1"), ERROR_SUCCESS);
    RegCloseKey(user);
    std::string error;
    EXPECT_FALSE(winsim::CloseMachine(&error));
    EXPECT_NE(error.find(m_dir + "/system.reg.log: cannot be written"), std::string::npos) << error;
    EXPECT_FALSE(winsim::OpenMachine(m_dir, &error)) << "a log that is no file does not read";
    fs::remove(m_dir + "/system.reg.log");

    // The hive's temporary file cannot be made: the save fails, the log keeps the change.
    Open(m_dir);
    const std::string blocker = m_dir + "/system.reg.tmp" + std::to_string(getpid());
    fs::create_directories(blocker + "/x");
    h = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex");
    ASSERT_EQ(SetText(h, "Unsaved", "kept in the log"), ERROR_SUCCESS);
    EXPECT_EQ(RegFlushKey(h), ERROR_REGISTRY_IO_FAILED);
    RegCloseKey(h);
    EXPECT_FALSE(winsim::CloseMachine(&error));
    EXPECT_NE(error.find(m_dir + "/system.reg: cannot be written"), std::string::npos) << error;
    fs::remove_all(blocker);
    Open(m_dir);
    EXPECT_TRUE(HasText(kNorvex, "Unsaved", "kept in the log"));
    EXPECT_TRUE(HasText("HKEY_CURRENT_USER\\Software\\Norvex", "Fine", "1"));
}

// A key name of at most 255 characters, at most 512 levels below its root, however it is made.
TEST_F(DurabilityTest, KeysKeepWindowsLimitsWhereverTheyAreMade) {
    const std::string longest(255, 'n');
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + longest + "n\\Below").c_str(), &h),
              ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\" + longest + "n"));
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\" + longest));

    std::string deepest = "SOFTWARE";
    for (int level = 2; level <= 512; ++level)
        deepest += "\\L";
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, deepest));
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (deepest + "\\L").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_INVALID_PARAMETER);

    std::string error;
    const std::string tooLong =
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\" + longest + "n]\r\n";
    EXPECT_FALSE(winsim::ImportRegistry(tooLong, &error));
    EXPECT_EQ(error, "line 3: key name longer than 255 characters");
    const std::string tooDeep = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + deepest + "\\L]\r\n";
    EXPECT_FALSE(winsim::ImportRegistry(tooDeep, &error));
    EXPECT_EQ(error, "line 3: key deeper than 512 levels");
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\A"));

    // The deepest tree goes through export, the hive and deletion whole.
    EXPECT_NE(winsim::ExportRegistry("HKEY_LOCAL_MACHINE\\SOFTWARE\\L").find(deepest + "]"),
              std::string::npos);
    ASSERT_TRUE(winsim::CloseMachine());
    Open(m_dir);
    EXPECT_TRUE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\" + deepest));
    ASSERT_TRUE(winsim::ImportRegistry("REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\L]\r\n"));
    EXPECT_FALSE(winsim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\L"));

    // A hive holding a deeper key refuses the open.
    ASSERT_TRUE(winsim::CloseMachine());
    WriteHostFile(m_dir + "/system.reg", ReadHostFile(m_dir + "/system.reg") + tooDeep.substr(12));
    EXPECT_FALSE(winsim::OpenMachine(m_dir, &error));
    EXPECT_NE(error.find("key deeper than 512 levels"), std::string::npos) << error;
}

// One step of a program: its calls, and whether the machine shows its change.
struct Step {
    std::function<bool()> run;     // false: a call failed
    std::function<bool()> applied; // null: nothing to see
};

// A setup's work: registry changes on both hives, a key deleted, a profile written through, a
// folder made, a file deleted, a flush between.
std::vector<Step> ProgramSteps() {
    const std::string kvp = kNorvex + "\\KVP";
    auto onKvp = [](const std::function<LONG(HKEY)>& call) {
        HKEY h = nullptr;
        if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\KVP", &h) != ERROR_SUCCESS)
            return false;
        LONG err = call(h);
        return RegCloseKey(h) == ERROR_SUCCESS && err == ERROR_SUCCESS;
    };
    std::vector<Step> steps;
    steps.push_back({[onKvp] { return onKvp([](HKEY) { return LONG{ERROR_SUCCESS}; }); },
                     [kvp] { return winsim::KeyExists(kvp); }});
    for (int i = 0; i < 8; ++i) {
        const std::string name = "File" + std::to_string(i);
        steps.push_back({[onKvp, name] {
                             return onKvp(
                                 [&](HKEY h) { return SetText(h, name.c_str(), "C:\\KV"); });
                         },
                         [kvp, name] { return HasText(kvp, name, "C:\\KV"); }});
    }
    steps.push_back({[onKvp] { return onKvp([](HKEY h) { return RegDeleteValueA(h, "Old"); }); },
                     [kvp] { return !winsim::ReadValue(kvp, "Old", nullptr, nullptr); }});
    steps.push_back({[] {
                         // The flush's result says nothing here: NT reports TRUE for WIN.INI,
                         // which its profile mapping names.
                         if (!WritePrivateProfileStringA("KVP", "Installed", "1", "WIN.INI"))
                             return false;
                         WritePrivateProfileStringA(nullptr, nullptr, nullptr, "WIN.INI");
                         return true;
                     },
                     [] {
                         char text[8] = "";
                         GetPrivateProfileStringA("KVP", "Installed", "", text, sizeof text,
                                                  "WIN.INI");
                         return std::string(text) == "1";
                     }});
    steps.push_back({[onKvp] { return onKvp([](HKEY h) { return RegDeleteKeyA(h, "OldKey"); }); },
                     [kvp] { return !winsim::KeyExists(kvp + "\\OldKey"); }});
    steps.push_back({[] { return CreateDirectoryA("C:\\KV\\NEW", nullptr) != FALSE; },
                     [] { return fs::is_directory(winsim::HostPath("C:\\KV\\NEW")); }});
    steps.push_back({[] {
                         HKEY h = nullptr;
                         return RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Norvex", &h) ==
                                    ERROR_SUCCESS &&
                                SetText(h, "User", "yes") == ERROR_SUCCESS &&
                                RegCloseKey(h) == ERROR_SUCCESS;
                     },
                     [] { return HasText("HKEY_CURRENT_USER\\Software\\Norvex", "User", "yes"); }});
    steps.push_back({[onKvp] { return onKvp([](HKEY h) { return RegFlushKey(h); }); }, nullptr});
    steps.push_back(
        {[onKvp] { return onKvp([](HKEY h) { return SetText(h, "AfterFlush", "yes"); }); },
         [kvp] { return HasText(kvp, "AfterFlush", "yes"); }});
    steps.push_back({[] { return DeleteFileA("C:\\KV\\OLD.DLL") != FALSE; },
                     [] {
                         return winsim::HostPath("C:\\KV\\OLD.DLL").empty() ||
                                !fs::exists(winsim::HostPath("C:\\KV\\OLD.DLL"));
                     }});
    steps.push_back({[onKvp] {
                         return onKvp([](HKEY h) {
                             HKEY deep = nullptr;
                             LONG err = RegCreateKeyA(h, "Deep\\Er", &deep);
                             if (deep) RegCloseKey(deep);
                             return err;
                         });
                     },
                     [kvp] { return winsim::KeyExists(kvp + "\\Deep\\Er"); }});
    return steps;
}

// The program runs in a child process ended as a kill would at its n-th failure point, for every
// n until it runs to its end. Reopened, the machine reads whole and holds every change whose
// call had returned, and none that was never made.
TEST_F(DurabilityTest, AProgramKilledAtAnyCallLeavesAWholeMachineWithEveryReturnedChange) {
    HKEY pre = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\KVP");
    ASSERT_EQ(SetText(pre, "Old", "to go"), ERROR_SUCCESS);
    RegCloseKey(Create(pre, "OldKey"));
    RegCloseKey(pre);
    ASSERT_TRUE(CreateDirectoryA("C:\\KV", nullptr));
    WriteHostFile(winsim::HostPath("C:\\KV") + "/OLD.DLL", "MZ");
    ASSERT_TRUE(winsim::CloseMachine());
    const std::vector<Step> steps = ProgramSteps();

    bool ranToTheEnd = false;
    for (uint64_t n = 1; !ranToTheEnd && n < 1000; ++n) {
        const std::string dir = m_dir + ".crash";
        fs::remove_all(dir);
        fs::copy(m_dir, dir, fs::copy_options::recursive);
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(pipeFds[0]);
            if (!winsim::OpenMachine(dir)) _exit(2);
            winsim::CrashAtCall(winsim::FailurePointsReached() + n);
            for (size_t i = 0; i < steps.size(); ++i) {
                if (!steps[i].run()) _exit(3);
                const char done = static_cast<char>(i);
                if (write(pipeFds[1], &done, 1) != 1) _exit(4);
            }
            _exit(winsim::CloseMachine() ? 0 : 5);
        }
        close(pipeFds[1]);
        int returned = 0; // steps whose calls all returned
        char done;
        while (read(pipeFds[0], &done, 1) == 1)
            ++returned;
        close(pipeFds[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        const int code = WEXITSTATUS(status);
        ASSERT_TRUE(code == 0 || code == winsim::kCrashedExitCode) << "n=" << n << " code " << code;
        ranToTheEnd = code == 0;

        std::string error;
        ASSERT_TRUE(winsim::OpenMachine(dir, &error)) << "n=" << n << ": " << error;
        for (int i = 0; i < static_cast<int>(steps.size()); ++i) {
            if (!steps[i].applied) continue;
            if (i < returned) {
                EXPECT_TRUE(steps[i].applied()) << "n=" << n << " step " << i;
            } else if (i > returned) {
                EXPECT_FALSE(steps[i].applied()) << "n=" << n << " step " << i;
            }
        }
        ASSERT_TRUE(winsim::CloseMachine(&error)) << error;
        fs::remove_all(dir);
        if (HasFailure()) break;
    }
    EXPECT_TRUE(ranToTheEnd);
}

} // namespace
