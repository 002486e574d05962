// The enumeration search over a tree of 10,000 keys: 100 device keys of 99 instances each, every
// instance with a "PortName". The port sought is the last instance of the last device, so the
// search reads every key; a second run seeks a port that no instance names. The anchor makes the
// search's registry calls alone (each key enumerated, opened, its value read, closed), 40,000
// of them, in a plain loop; a tenth of the tree shows how the search grows.
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
    explicit EnumMachine(int devices = kDevices) {
        std::string reg = "REGEDIT4\r\n\r\n";
        for (int d = 0; d < devices; ++d) {
            for (int i = 0; i < kInstances; ++i) {
                const bool last = d == devices - 1 && i == kInstances - 1;
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

void SearchTree(benchmark::State& state, const char* port, const std::string& expected,
                int devices = kDevices) {
    EnumMachine machine(devices);
    for (auto _ : state) {
        SkipCount = 0;
        std::string found = FindStrValueSubkeyPath(machine.Enum(), "BIOS", "PortName", port, '&');
        if (found != expected) {
            state.SkipWithError("unexpected search result");
            break;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * devices * (kInstances + 1));
}

void BM_FindStrValueSubkeyPath_LastOf10000Keys(benchmark::State& state) {
    SearchTree(state, "LPT1", "*PNP0063&62");
}
BENCHMARK(BM_FindStrValueSubkeyPath_LastOf10000Keys)->Unit(benchmark::kMillisecond);

void BM_FindStrValueSubkeyPath_NoMatchIn10000Keys(benchmark::State& state) {
    SearchTree(state, "LPT2", "");
}
BENCHMARK(BM_FindStrValueSubkeyPath_NoMatchIn10000Keys)->Unit(benchmark::kMillisecond);

// The same search in a tree a tenth the size (10 device keys, 1,000 keys in all).
void BM_FindStrValueSubkeyPath_LastOf1000Keys(benchmark::State& state) {
    SearchTree(state, "LPT1", "*PNP0009&62", kDevices / 10);
}
BENCHMARK(BM_FindStrValueSubkeyPath_LastOf1000Keys)->Unit(benchmark::kMillisecond);

// The anchor: the calls the search makes for each key, without the search. Each subkey is
// enumerated, opened, its "PortName" read and closed; a key without the value has its own
// subkeys walked the same way.
int VisitKeys(HKEY parent) {
    int calls = 0;
    char name[64];
    char value[8];
    for (DWORD index = 0;; ++index) {
        ++calls;
        if (RegEnumKeyA(parent, index, name, sizeof name) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        ++calls;
        if (RegOpenKeyExA(parent, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        DWORD type = 0, size = sizeof value;
        calls += 2;
        const bool found = RegQueryValueExA(child, "PortName", nullptr, &type,
                                            reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
        RegCloseKey(child);
        if (!found) {
            HKEY below = nullptr;
            ++calls;
            if (RegOpenKeyExA(parent, name, 0, KEY_READ, &below) == ERROR_SUCCESS) {
                calls += VisitKeys(below) + 1;
                RegCloseKey(below);
            }
        }
    }
    return calls;
}

void BM_RegistryCallsOf10000KeySearch(benchmark::State& state) {
    EnumMachine machine;
    HKEY bios = nullptr;
    if (RegOpenKeyExA(machine.Enum(), "BIOS", 0, KEY_READ, &bios) != ERROR_SUCCESS) {
        state.SkipWithError("no BIOS key");
        return;
    }
    int calls = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(calls = VisitKeys(bios));
    RegCloseKey(bios);
    state.counters["calls"] = calls;
    state.SetItemsProcessed(state.iterations() * calls);
}
BENCHMARK(BM_RegistryCallsOf10000KeySearch)->Unit(benchmark::kMillisecond);

} // namespace
