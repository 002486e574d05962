// `winsim diff` of two machines with 10,000 registry values and 8,000 files each (one in twenty
// changed), next to reading both machines whole: their registry exports and every file's bytes.
#include <benchmark/benchmark.h>
#include <winsim/machine.h>

#include <windows.h>

#include "machinediff.h"

#include "bench_machine.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int kKeys = 100, kValuesPerKey = 100; // 10,000 values
constexpr int kFolders = 40, kFilesPerFolder = 200; // 8,000 files

// Fills the open machine; `variant` changes one value and one file in twenty.
void Fill(const std::string& dir, int variant) {
    for (int k = 0; k < kKeys; ++k) {
        HKEY key = nullptr;
        RegCreateKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Bench\\K" + std::to_string(k)).c_str(), &key);
        for (int v = 0; v < kValuesPerKey; ++v) {
            const std::string data =
                "value " + std::to_string(v) + ((variant && v % 20 == 0) ? " changed" : "");
            RegSetValueExA(key, ("V" + std::to_string(v)).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1));
        }
        RegCloseKey(key);
    }
    for (int d = 0; d < kFolders; ++d) {
        const std::string folder = dir + "/drive_c/BENCH/D" + std::to_string(d);
        std::filesystem::create_directories(folder);
        for (int f = 0; f < kFilesPerFolder; ++f)
            std::ofstream(folder + "/F" + std::to_string(f) + ".DAT", std::ios::binary)
                << "file " << f << ((variant && f % 20 == 0) ? " changed" : "");
    }
}

struct TwoMachines {
    BenchMachine a, b;
    TwoMachines() {
        winsim::OpenMachine(a.Dir());
        Fill(a.Dir(), 0);
        winsim::CloseMachine();
        winsim::OpenMachine(b.Dir());
        Fill(b.Dir(), 1);
        winsim::CloseMachine();
    }
};

void BM_DiffMachines(benchmark::State& state) {
    TwoMachines m;
    size_t changes = 0;
    for (auto _ : state) {
        winsim::OpenMachine(m.a.Dir());
        const winsim::MachineSnapshot a = winsim::TakeSnapshot();
        winsim::OpenMachine(m.b.Dir());
        const winsim::MachineSnapshot b = winsim::TakeSnapshot();
        const winsim::MachineDiff diff = winsim::CompareMachines(a, b);
        changes = diff.valuesChanged.size() + diff.filesChanged.size();
    }
    if (changes != 500 + 400) state.SkipWithError("the diff missed changes");
    state.SetItemsProcessed(state.iterations() * 2 * (kKeys * kValuesPerKey + kFolders * kFilesPerFolder));
}
BENCHMARK(BM_DiffMachines)->Unit(benchmark::kMillisecond);

// The anchor: both machines opened, their registries exported and every file read.
void BM_ReadBothMachines(benchmark::State& state) {
    TwoMachines m;
    size_t bytes = 0;
    for (auto _ : state) {
        for (const BenchMachine* machine : {&m.a, &m.b}) {
            winsim::OpenMachine(machine->Dir());
            bytes += winsim::ExportRegistry().size();
            for (const auto& entry :
                 std::filesystem::recursive_directory_iterator(machine->Dir() + "/drive_c")) {
                if (!entry.is_regular_file()) continue;
                std::ifstream in(entry.path(), std::ios::binary);
                bytes += std::string(std::istreambuf_iterator<char>(in), {}).size();
            }
        }
    }
    benchmark::DoNotOptimize(bytes);
    state.SetItemsProcessed(state.iterations() * 2 * (kKeys * kValuesPerKey + kFolders * kFilesPerFolder));
}
BENCHMARK(BM_ReadBothMachines)->Unit(benchmark::kMillisecond);

} // namespace
