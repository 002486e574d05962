// DLL_AddRegEntries of a full section: as many entries as the 1024-byte key list holds.
#include <benchmark/benchmark.h>
#include <winsim/machine.h>

#include "frame/zrregistry.h"

#include "bench_machine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void BM_AddRegEntriesFullSection(benchmark::State& state) {
    BenchMachine m;
    std::string body = "[Entries]\r\n";
    size_t keyBytes = 0;
    int entries = 0;
    for (;; ++entries) {
        std::string key = "2147483650,SOFTWARE\\Norvex\\KVP,V" + std::to_string(entries) + ",1";
        if (keyBytes + key.size() + 1 > 1000) break;
        keyBytes += key.size() + 1;
        body += key + "=%TARGET%\\file" + std::to_string(entries) + "\r\n";
    }
    body += "[Strings]\r\nTARGET=C:\\Program Files\\Norvex\r\n";
    std::filesystem::create_directories(m.Dir() + "/drive_c/SETUP");
    std::ofstream(m.Dir() + "/drive_c/SETUP/REG.INI", std::ios::binary) << body;
    for (auto _ : state)
        benchmark::DoNotOptimize(DLL_AddRegEntries("C:\\SETUP\\REG.INI", "Entries", 0));
    state.counters["entries"] = entries;
}
BENCHMARK(BM_AddRegEntriesFullSection)->Unit(benchmark::kMicrosecond);

} // namespace
