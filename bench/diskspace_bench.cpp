// A component dialog session: 8 components with 50 sub-components in all and 20,000 files, then
// the dialog's work: 100 changes of a component's drive, each with its drive-list refresh. The
// adding of the files is the anchor the dialog's work is measured against.
#include <benchmark/benchmark.h>
#include <windows.h>
#include <winsim/machine.h>

#include "bench_machine.h"
#include "frame/diskspace.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kComponents = 8;
constexpr int kSubComponents = 50; // spread over the components
constexpr int kFiles = 20000;

const char* const kDirCodes[] = {"", "WINDIR", "WINSYSDIR", "", "SETUPDIR", "", "FONTS", ""};

class DialogMachine : public BenchMachine {
  public:
    DialogMachine() {
        mkdir((Dir() + "/drive_d").c_str(), 0755);
        winsim::SetSetting("drives", "D", "512,64,100000,200000");
        mkdir((Dir() + "/drive_c/SETUP").c_str(), 0755);
        std::FILE* ini = std::fopen((Dir() + "/drive_c/SETUP/SETUP.INI").c_str(), "w");
        if (!ini) std::abort();
        std::fputs("[DirCodes]\r\nFONTS=<WINDIR>\\FONTS\r\n", ini);
        std::fclose(ini);
        std::string error;
        m_module = winsim::LoadHostLibrary(PWSETUP_PATH, &error);
        m_dialog = reinterpret_cast<HWND>(winsim::CreateEngineDialog("Select", PW_DRIVE_LIST_ID));
        if (!m_module || !m_dialog) {
            std::fprintf(stderr, "cannot set the dialog up: %s\n", error.c_str());
            std::abort();
        }
        std::memset(&g_Settings, 0, sizeof g_Settings);
        DLL_SetStr(1000, "C:\\WINDOWS");
        DLL_SetStr(1010, "C:\\WINDOWS\\SYSTEM32");
        DLL_SetStr(1015, "D:\\SETUP");
        DLL_SetStr(1020, "C:\\SETUP\\SETUP.INI");
    }
    ~DialogMachine() {
        DLL_CleanupDiskInfo();
        FreeLibrary(reinterpret_cast<HMODULE>(m_module));
    }
    HWND Dialog() const { return m_dialog; }

  private:
    uintptr_t m_module = 0;
    HWND m_dialog = nullptr;
};

// Drives queried, then every component and sub-component with its share of the files.
void AddEverything() {
    std::memset(&g_DiskSpace, 0, sizeof g_DiskSpace);
    DLL_SysDrvInfo('C');
    DLL_SysDrvInfo('D');
    int file = 0;
    for (int comp = 0; comp < kComponents; ++comp) {
        DLL_InitComp(comp, 1, 'C', 1, 'D');
        const int subs = kSubComponents / kComponents + (comp < kSubComponents % kComponents);
        for (int sub = -1; sub < subs; ++sub) {
            if (sub >= 0) DLL_InitComp(sub, sub % 3 != 0, 'C', 0, 'D');
            const int records = kComponents + kSubComponents;
            const int files = kFiles / records;
            for (int i = 0; i < files; ++i, ++file)
                DLL_AddCompFile(1000 + file * 37 % 70000, kDirCodes[file % 8], sub < 0 ? 1 : 2);
        }
    }
}

void BM_AddFiles(benchmark::State& state) {
    DialogMachine machine;
    for (auto _ : state) {
        AddEverything();
        state.PauseTiming();
        DLL_CleanupDiskInfo();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddFiles)->Unit(benchmark::kMillisecond);

void BM_ChangeDrives(benchmark::State& state) {
    DialogMachine machine;
    AddEverything();
    DLL_InitCompDlg(machine.Dialog());
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) {
            DLL_ChgCompDrv(i % kComponents, i % 2 ? 'C' : 'D');
            DLL_UpdateDriveList(machine.Dialog());
        }
    }
    if (winsim::ListBoxRows(reinterpret_cast<uintptr_t>(machine.Dialog()), PW_DRIVE_LIST_ID)
            .size() != 2)
        state.SkipWithError("the drive list does not show both drives");
}
BENCHMARK(BM_ChangeDrives)->Unit(benchmark::kMillisecond);

} // namespace
