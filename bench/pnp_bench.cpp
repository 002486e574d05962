// The enumeration search over a tree of 10,000 keys: 100 device keys of 99 instances each, every
// instance with a "PortName". The port sought is the last instance of the last device, so the
// search reads every key; a second run seeks a port that no instance names.
#include <benchmark/benchmark.h>
#include <windows.h>
#include <winsim/machine.h>

#include "bench_machine.h"
#include "devices/pnpkeys.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kDevices = 100;
constexpr int kInstances = 99; // 100 device keys + 9,900 instance keys

class EnumMachine : public BenchMachine {
  public:
    EnumMachine() {
        std::string reg = "REGEDIT4\r\n\r\n";
        for (int d = 0; d < kDevices; ++d) {
            for (int i = 0; i < kInstances; ++i) {
                const bool last = d == kDevices - 1 && i == kInstances - 1;
                char line[160];
                std::snprintf(
                    line, sizeof line,
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Enum\\BIOS\\*PNP%04X\\%02X]\r\n"
                    "\"PortName\"=\"%s\"\r\n",
                    d, i, last ? "LPT1" : "COM9");
                reg += line;
            }
        }
        std::string error;
        if (!winsim::ImportRegistry(reg, &error) ||
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Bench\\Enum", 0, KEY_READ, &m_hEnum) !=
                ERROR_SUCCESS) {
            std::fprintf(stderr, "cannot build the enumeration tree: %s\n", error.c_str());
            std::abort();
        }
    }
    ~EnumMachine() { RegCloseKey(m_hEnum); }
    HKEY Enum() const { return m_hEnum; }

  private:
    HKEY m_hEnum = nullptr;
};

void SearchTree(benchmark::State& state, const char* port, const std::string& expected) {
    EnumMachine machine;
    for (auto _ : state) {
        SkipCount = 0;
        std::string found = FindStrValueSubkeyPath(machine.Enum(), "BIOS", "PortName", port, '&');
        if (found != expected) {
            state.SkipWithError("unexpected search result");
            break;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kDevices * (kInstances + 1));
}

void BM_FindStrValueSubkeyPath_LastOf10000Keys(benchmark::State& state) {
    SearchTree(state, "LPT1", "*PNP0063&62");
}
BENCHMARK(BM_FindStrValueSubkeyPath_LastOf10000Keys)->Unit(benchmark::kMillisecond);

void BM_FindStrValueSubkeyPath_NoMatchIn10000Keys(benchmark::State& state) {
    SearchTree(state, "LPT2", "");
}
BENCHMARK(BM_FindStrValueSubkeyPath_NoMatchIn10000Keys)->Unit(benchmark::kMillisecond);

} // namespace
