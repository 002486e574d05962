// The scrub run over a script of 40 components with 8,000 files, next to deleting the same files
// straight from the host with std::filesystem::remove_all; and both again for one folder of 100
// and of 4,000 files (components of 100 files sharing it), to show the cost growing no faster
// than the folder.
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

const char kScript[] = "C:\\KV\\UNINST.INI";

// What is installed: `components` of `files` each, in a folder per component or all in one.
struct Layout {
    int components, files;
    bool oneFolder;

    explicit Layout(const benchmark::State& state)
        : components(static_cast<int>(state.range(0))), files(static_cast<int>(state.range(1))),
          oneFolder(state.range(2) != 0) {}

    std::string Dir(int c) const {
        char name[32];
        std::snprintf(name, sizeof name, "C%02d", oneFolder ? 0 : c);
        return name;
    }
    std::string File(int c, int f) const {
        char name[32];
        std::snprintf(name, sizeof name, "F%05d.DLL", c * files + f);
        return name;
    }
    int64_t Total() const { return int64_t{components} * files; }
};

// The installed files below `hostRoot` (the machine's "C:\Program Files\KV").
void PlaceFiles(const std::string& hostRoot, const Layout& layout) {
    for (int c = 0; c < layout.components; ++c) {
        const std::string dir = hostRoot + "/" + layout.Dir(c);
        std::filesystem::create_directories(dir);
        for (int f = 0; f < layout.files; ++f)
            std::ofstream(dir + "/" + layout.File(c, f), std::ios::binary) << "MZ";
    }
}

// The script an installation of those files leaves, and the value that names it.
void WriteScript(const BenchMachine& m, const Layout& layout) {
    std::string text = "[Components]\r\n";
    for (int c = 0; c < layout.components; ++c)
        text += "comp" + std::to_string(c) + "=1\r\n";
    text += "[Shared]\r\nshared=1\r\n[shared]\r\nRegdel=SharedReg\r\n[SharedReg]\r\n"
            "-2147483646,SOFTWARE\\Norvex\\KVP\\Bench=\r\n[strings]\r\n"
            "kv=C:\\Program Files\\KV\r\n";
    for (int c = 0; c < layout.components; ++c) {
        const std::string n = std::to_string(c);
        text += "[comp" + n + "]\r\nTitle=Component " + n + "\r\nFiles=files" + n + "\r\n[files" +
                n + "]\r\n";
        for (int f = 0; f < layout.files; ++f)
            text += "%kv%\\" + layout.Dir(c) + "\\" + layout.File(c, f) + "=" +
                    (f % 10 == 0 ? "0" : "1") + "\r\n";
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

// Arguments: components, files of each, whether they share one folder.
void Layouts(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Iterations(3);
    b->Args({40, 200, 0})->Args({1, 100, 1})->Args({40, 100, 1});
}

void BM_ScrubRun(benchmark::State& state) {
    const Layout layout(state);
    BenchMachine m;
    const std::string root = m.Dir() + "/drive_c/Program Files/KV";
    for (auto _ : state) {
        state.PauseTiming();
        PlaceFiles(root, layout);
        WriteScript(m, layout);
        ResetUninstallerState();
        state.ResumeTiming();

        benchmark::DoNotOptimize(RemoveAllComponents("scrub", 0));

        state.PauseTiming();
        const bool left = std::filesystem::exists(root + "/C00");
        state.ResumeTiming();
        if (left) {
            state.SkipWithError("files left behind");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * layout.Total());
}
BENCHMARK(BM_ScrubRun)->Apply(Layouts);

void BM_HostRemoveAll(benchmark::State& state) {
    const Layout layout(state);
    BenchMachine m;
    const std::string root = m.Dir() + "/drive_c/Program Files/KV";
    for (auto _ : state) {
        state.PauseTiming();
        PlaceFiles(root, layout);
        state.ResumeTiming();

        benchmark::DoNotOptimize(std::filesystem::remove_all(root));
    }
    state.SetItemsProcessed(state.iterations() * layout.Total());
}
BENCHMARK(BM_HostRemoveAll)->Apply(Layouts);

} // namespace
