// The scrub run over a script of 40 components with 8,000 files, next to deleting the same files
// straight from the host with std::filesystem::remove_all.
#include <benchmark/benchmark.h>
#include <winsim/machine.h>

#include "pwuninst.h"

#include "bench_machine.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kComponents = 40;
constexpr int kFilesPerComponent = 200;
const char kScript[] = "C:\\KV\\UNINST.INI";

std::string ComponentDir(int c) {
    char name[32];
    std::snprintf(name, sizeof name, "C%02d", c);
    return name;
}

// The installed files below `hostRoot` (the machine's "C:\Program Files\KV"), 200 a component.
void PlaceFiles(const std::string& hostRoot) {
    for (int c = 0; c < kComponents; ++c) {
        const std::string dir = hostRoot + "/" + ComponentDir(c);
        std::filesystem::create_directories(dir);
        for (int f = 0; f < kFilesPerComponent; ++f) {
            char name[32];
            std::snprintf(name, sizeof name, "/F%04d.DLL", f);
            std::ofstream(dir + name, std::ios::binary) << "MZ";
        }
    }
}

// The script an installation of those files leaves, and the value that names it.
void WriteScript(const BenchMachine& m) {
    std::string text = "[Components]\r\n";
    for (int c = 0; c < kComponents; ++c)
        text += "comp" + std::to_string(c) + "=1\r\n";
    text += "[Shared]\r\nshared=1\r\n[shared]\r\nRegdel=SharedReg\r\n[SharedReg]\r\n"
            "-2147483646,SOFTWARE\\Norvex\\KVP\\Bench=\r\n[strings]\r\n"
            "kv=C:\\Program Files\\KV\r\n";
    for (int c = 0; c < kComponents; ++c) {
        const std::string n = std::to_string(c);
        text += "[comp" + n + "]\r\nTitle=Component " + n + "\r\nFiles=files" + n + "\r\n[files" +
                n + "]\r\n";
        for (int f = 0; f < kFilesPerComponent; ++f) {
            char line[64];
            std::snprintf(line, sizeof line, "%%kv%%\\%s\\F%04d.DLL=%d\r\n",
                          ComponentDir(c).c_str(), f, f % 10 == 0 ? 0 : 1);
            text += line;
        }
    }
    std::filesystem::create_directories(m.Dir() + "/drive_c/KV");
    std::ofstream(m.Dir() + "/drive_c/KV/UNINST.INI", std::ios::binary) << text;

    HKEY key = nullptr;
    RegCreateKeyA(HKEY_LOCAL_MACHINE, UN_INSTALL_KEY, &key);
    RegSetValueExA(key, UN_INSTALL_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(kScript),
                   sizeof kScript);
    RegCloseKey(key);
}

void ResetUninstallerState() {
    Instance = GetModuleHandleA(nullptr);
    IsWindowsNT = 1;
    std::strcpy(WininitPath, "C:\\WINDOWS\\WININIT.INI");
    RestartNeeded = 0;
    BatchNeeded = 0;
}

void BM_ScrubRun(benchmark::State& state) {
    BenchMachine m;
    const std::string root = m.Dir() + "/drive_c/Program Files/KV";
    for (auto _ : state) {
        state.PauseTiming();
        PlaceFiles(root);
        WriteScript(m);
        ResetUninstallerState();
        state.ResumeTiming();

        benchmark::DoNotOptimize(RemoveAllComponents("scrub", 0));

        state.PauseTiming();
        if (std::filesystem::exists(root + "/C00")) state.SkipWithError("files left behind");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kComponents * kFilesPerComponent);
}
BENCHMARK(BM_ScrubRun)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_HostRemoveAll(benchmark::State& state) {
    BenchMachine m;
    const std::string root = m.Dir() + "/drive_c/Program Files/KV";
    for (auto _ : state) {
        state.PauseTiming();
        PlaceFiles(root);
        state.ResumeTiming();

        benchmark::DoNotOptimize(std::filesystem::remove_all(root));
    }
    state.SetItemsProcessed(state.iterations() * kComponents * kFilesPerComponent);
}
BENCHMARK(BM_HostRemoveAll)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
