// The interactive run from its start to the end of a removal of 20 components chosen one by one
// on the selection page (the start-up picture, the welcome page, twenty clicks, OK), without and
// with a PNG of the screen each time it settles (argument 1), next to the scrub run that the same
// choice leads to, called straight.
#include <benchmark/benchmark.h>
#include <winsim/machine.h>

#include "pwuninst.h"

#include "bench_machine.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kComponents = 20;
constexpr int kFilesPerComponent = 10;
const char kScript[] = "C:\\KV\\UNINST.INI";

void Install(const BenchMachine& m) {
    std::string text = "[Components]\r\n", sections;
    for (int c = 0; c < kComponents; ++c) {
        const std::string n = std::to_string(c);
        text += "comp" + n + "=1\r\n";
        sections += "[comp" + n + "]\r\nTitle=Component " + n + "\r\nFiles=files" + n +
                    "\r\n[files" + n + "]\r\n";
        const std::string dir = m.Dir() + "/drive_c/KV/C" + n;
        std::filesystem::create_directories(dir);
        for (int f = 0; f < kFilesPerComponent; ++f) {
            const std::string name = "F" + std::to_string(f) + ".DLL";
            std::ofstream(dir + "/" + name, std::ios::binary) << "MZ";
            sections += "C:\\KV\\C" + n + "\\" + name + "=1\r\n";
        }
    }
    std::ofstream(m.Dir() + "/drive_c/KV/UNINST.INI", std::ios::binary)
        << text << sections << "[Shared]\r\nnone=0\r\n";
    HKEY key = nullptr;
    RegCreateKeyA(HKEY_LOCAL_MACHINE, UN_INSTALL_KEY, &key);
    RegSetValueExA(key, UN_INSTALL_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(kScript),
                   sizeof kScript);
    RegCloseKey(key);
    Instance = GetModuleHandleA(nullptr);
    RestartNeeded = 0;
    BatchNeeded = 0;
}

bool Removed(const BenchMachine& m) {
    return !std::filesystem::exists(m.Dir() + "/drive_c/KV/C19");
}

void BM_WizardRemovesTwentyComponents(benchmark::State& state) {
    BenchMachine m;
    const std::string shots = m.Dir() + "/shots";
    size_t pictures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Install(m);
        std::filesystem::remove_all(shots);
        if (state.range(0)) {
            std::filesystem::create_directories(shots);
            winsim::TakeScreenshots(shots);
        }
        std::string error;
        winsim::QueueUserStep("Next", &error);
        for (int row = 1; row <= kComponents; ++row)
            winsim::QueueUserStep("check " + std::to_string(row), &error);
        winsim::QueueUserStep("OK", &error);
        state.ResumeTiming();

        benchmark::DoNotOptimize(WinMain(GetModuleHandleA(nullptr), nullptr,
                                         const_cast<LPSTR>(""), SW_SHOWNORMAL));

        state.PauseTiming();
        if (!Removed(m) || !winsim::UserStepErrors().empty()) state.SkipWithError("not removed");
        pictures = winsim::Screenshots().size();
        winsim::TakeScreenshots("");
        winsim::ClearMessageBoxes();
        winsim::ClearDrawing();
        state.ResumeTiming();
    }
    state.counters["pictures"] = static_cast<double>(pictures);
}
BENCHMARK(BM_WizardRemovesTwentyComponents)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_ScrubOfTwentyComponents(benchmark::State& state) {
    BenchMachine m;
    for (auto _ : state) {
        state.PauseTiming();
        Install(m);
        state.ResumeTiming();

        benchmark::DoNotOptimize(RemoveAllComponents("scrub", 1));

        state.PauseTiming();
        if (!Removed(m)) state.SkipWithError("not removed");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ScrubOfTwentyComponents)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
