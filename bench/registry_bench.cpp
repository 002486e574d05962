// 10,000 values under one registry key: writing them through RegSetValueExA, saving the hive that
// holds them (RegFlushKey writes system.reg whole), and opening the machine that holds them (and
// one of 1,000 values, for the growth). The open also reads machine.ini and the user hive: opening
// a fresh machine prices that part, and a line splitter copying system.reg into string pairs is
// the anchor for the hive's own share.
// Each write also reaches the hive's log before it returns; the same writes to a volatile key,
// which is never logged, are the anchor that prices the log within one run.
#include <benchmark/benchmark.h>
#include <windows.h>
#include <winsim/machine.h>

#include "anchors.h"
#include "bench_machine.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kValues = 10000;
const char kKey[] = "SOFTWARE\\Norvex\\Bench";

// The machine with the names and data of the values, made before any timing starts.
class ValueMachine : public BenchMachine {
  public:
    explicit ValueMachine(int count = kValues) {
        for (int i = 0; i < count; ++i) {
            char name[32], data[64];
            std::snprintf(name, sizeof name, "C:\\KV\\FILE%05d.DLL", i);
            std::snprintf(data, sizeof data, "C:\\Program Files\\Norvex\\KVP\\FILE%05d.DLL", i);
            m_names.push_back(name);
            m_data.push_back(data);
        }
    }

    HKEY FreshKey(DWORD options = REG_OPTION_NON_VOLATILE) const {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
        HKEY h = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &h,
                        nullptr);
        return h;
    }
    bool WriteAll(HKEY h) const {
        for (size_t i = 0; i < m_names.size(); ++i) {
            const std::string& d = m_data[i];
            if (RegSetValueExA(h, m_names[i].c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(d.c_str()),
                               static_cast<DWORD>(d.size() + 1)) != ERROR_SUCCESS)
                return false;
        }
        return true;
    }

  private:
    std::vector<std::string> m_names, m_data;
};

// Opens the machine in `dir` (open now) again and again, its close untimed; open again at the end.
void OpenRepeatedly(benchmark::State& state, const std::string& dir) {
    winsim::CloseMachine();
    for (auto _ : state) {
        if (!winsim::OpenMachine(dir)) state.SkipWithError("OpenMachine failed");
        state.PauseTiming();
        winsim::CloseMachine();
        state.ResumeTiming();
    }
    winsim::OpenMachine(dir);
}

void SetValues(benchmark::State& state, DWORD options) {
    ValueMachine machine;
    for (auto _ : state) {
        state.PauseTiming();
        HKEY h = machine.FreshKey(options);
        state.ResumeTiming();
        if (!machine.WriteAll(h)) state.SkipWithError("RegSetValueExA failed");
        state.PauseTiming();
        RegCloseKey(h);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void BM_RegistrySet10000Values(benchmark::State& state) {
    SetValues(state, REG_OPTION_NON_VOLATILE);
}
BENCHMARK(BM_RegistrySet10000Values)->Unit(benchmark::kMillisecond);

// The anchor: the same work in memory alone.
void BM_RegistrySet10000VolatileValues(benchmark::State& state) {
    SetValues(state, REG_OPTION_VOLATILE);
}
BENCHMARK(BM_RegistrySet10000VolatileValues)->Unit(benchmark::kMillisecond);

void BM_RegistrySaveHiveOf10000Values(benchmark::State& state) {
    ValueMachine machine;
    HKEY h = machine.FreshKey();
    if (!machine.WriteAll(h)) state.SkipWithError("RegSetValueExA failed");
    for (auto _ : state)
        if (RegFlushKey(h) != ERROR_SUCCESS) state.SkipWithError("RegFlushKey failed");
    RegCloseKey(h);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(
                                                     machine.Dir() + "/system.reg")));
}
BENCHMARK(BM_RegistrySaveHiveOf10000Values)->Unit(benchmark::kMillisecond);

void LoadHive(benchmark::State& state, int values) {
    ValueMachine machine(values);
    HKEY h = machine.FreshKey();
    if (!machine.WriteAll(h)) state.SkipWithError("RegSetValueExA failed");
    RegCloseKey(h);
    OpenRepeatedly(state, machine.Dir());
}

void BM_RegistryLoadHiveOf10000Values(benchmark::State& state) {
    LoadHive(state, kValues);
}
BENCHMARK(BM_RegistryLoadHiveOf10000Values)->Unit(benchmark::kMillisecond);

void BM_RegistryLoadHiveOf1000Values(benchmark::State& state) {
    LoadHive(state, kValues / 10);
}
BENCHMARK(BM_RegistryLoadHiveOf1000Values)->Unit(benchmark::kMillisecond);

// The part of an open that is not the 10,000 values: a fresh machine's files.
void BM_MachineOpenFresh(benchmark::State& state) {
    BenchMachine machine;
    OpenRepeatedly(state, machine.Dir());
}
BENCHMARK(BM_MachineOpenFresh)->Unit(benchmark::kMillisecond);

// The anchor: the hive of 10,000 values read and split into name and data strings, line by line.
void BM_HiveLinesAnchor(benchmark::State& state) {
    ValueMachine machine;
    HKEY h = machine.FreshKey();
    if (!machine.WriteAll(h) || RegFlushKey(h) != ERROR_SUCCESS)
        state.SkipWithError("cannot write the hive");
    RegCloseKey(h);
    const std::string hive = machine.Dir() + "/system.reg";
    for (auto _ : state) {
        const auto lines = ReadAndSplitLines(hive);
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_HiveLinesAnchor)->Unit(benchmark::kMillisecond);

} // namespace
