// One key read from a 1 MiB profile file: the first read (the cache emptied before each), repeated
// reads from the cache, and repeated reads of a file changed moments ago (content compared).
#include <benchmark/benchmark.h>
#include <windows.h>
#include <winsim/machine.h>

#include "bench_machine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

const char kFile[] = "C:\\BIG.INI";

// A fresh machine holding BIG.INI: 1 MiB of sections of 20 keys; the key read lies in the last
// section, so no look-up can stop early.
class LargeProfile : public BenchMachine {
  public:
    explicit LargeProfile(bool settled) {
        std::string text;
        int section = 0;
        while (text.size() < (1u << 20)) {
            text += "[Section" + std::to_string(section++) + "]\r\n";
            for (int k = 0; k < 20; ++k)
                text += "Key" + std::to_string(k) + " = some value of a typical length " +
                        std::to_string(k) + "\r\n";
        }
        text += "[Last]\r\nTarget=found\r\n";
        const std::string host = Dir() + "/drive_c/BIG.INI";
        std::ofstream(host, std::ios::binary) << text;
        // A file changed within the last second has its content compared on every read; one
        // written earlier is vouched for by its size and times.
        if (settled) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    }
};

void ReadTarget(benchmark::State& state) {
    char buf[64];
    DWORD n = GetPrivateProfileStringA("Last", "Target", "", buf, sizeof buf, kFile);
    if (n != 5) state.SkipWithError("the key was not found");
    benchmark::DoNotOptimize(buf);
}

void BM_ProfileFirstRead(benchmark::State& state) {
    LargeProfile machine(true);
    for (auto _ : state) {
        state.PauseTiming();
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, kFile); // empties the cache
        state.ResumeTiming();
        ReadTarget(state);
    }
}
BENCHMARK(BM_ProfileFirstRead)->Unit(benchmark::kMillisecond);

void BM_ProfileRepeatedRead(benchmark::State& state) {
    LargeProfile machine(true);
    ReadTarget(state);
    for (auto _ : state)
        ReadTarget(state);
}
BENCHMARK(BM_ProfileRepeatedRead)->Unit(benchmark::kMicrosecond);

void BM_ProfileRepeatedReadOfFreshFile(benchmark::State& state) {
    LargeProfile machine(false);
    ReadTarget(state);
    for (auto _ : state)
        ReadTarget(state);
}
BENCHMARK(BM_ProfileRepeatedReadOfFreshFile)->Unit(benchmark::kMicrosecond);

} // namespace
