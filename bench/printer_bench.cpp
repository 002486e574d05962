// DLL_AddPrinter end to end on an NT 4.0 machine, and DLL_IsPrinterInstalled among 1,000 printers.
#include <benchmark/benchmark.h>
#include <winsim/machine.h>

#include "printer/zrprinter.h"

#include "bench_machine.h"

#include <winspool.h>

#include <filesystem>
#include <fstream>
#include <utility>
#include <string>

namespace {

const char kInf[] = "C:\\SETUP\\KVP.INF";
const char kName[] = "KV Pellora 4720";

void WriteFile(const std::string& hostPath) {
    std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
    std::ofstream(hostPath, std::ios::binary) << "stand-in\r\n";
}

// The INF and every file its section names, where a setup script would have copied them.
void PrepareMachine(const BenchMachine& m, int upgrade) {
    const std::string sys = m.Dir() + "/drive_c/WINDOWS/SYSTEM32";
    for (const char* f : {"KV4720.DLL", "KV4720.DAT", "KV4720.HLP", "KVFONTS.DAT", "KVRES.DLL"}) {
        WriteFile(sys + "/spool/drivers/w32x86/" + f);
        WriteFile(sys + "/spool/drivers/w32x86/2/" + std::string(f));
    }
    // The spooler loads the monitors and the processor: the built stand-ins.
    for (const auto& [built, placed] :
         {std::pair<const char*, const char*>{"kvlmon.dll", "/KVLMON.DLL"},
          {"kvpmon.dll", "/KVPMON.DLL"},
          {"kvproc.dll", "/spool/prtprocs/w32x86/KVPROC.DLL"}}) {
        WriteFile(sys + placed);
        std::filesystem::copy_file(std::string(PW_MODULE_DIR) + "/" + built, sys + placed,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    std::filesystem::create_directories(m.Dir() + "/drive_c/SETUP");
    std::ofstream(m.Dir() + "/drive_c/SETUP/KVP.INF", std::ios::binary)
        << "[KV]\r\nDevice=KV Pellora 4720\r\nUpgrade=" << upgrade
        << "\r\nDriver=KV4720.DLL\r\nDataFile=KV4720.DAT\r\nHelpFile=KV4720.HLP\r\n"
           "DependentFiles=KVFONTS.DAT KVRES.DLL\r\nEnvironment=Windows NT x86\r\n"
           "DefaultDataType=RAW\r\nLanguageMonitor=%LangMon%, KVLMON.DLL\r\n"
           "PortMonitor=KV Port Monitor, KVPMON.DLL\r\nPrintProcessor=KV Processor, KVPROC.DLL\r\n"
           "Attributes=0x200\r\n[Strings]\r\nLangMon=KV Language Monitor\r\n";
}

// Takes everything DLL_AddPrinter put in, so that the next round installs from scratch.
void RemoveEverything() {
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    if (OpenPrinterA(const_cast<LPSTR>(kName), &h, &defaults)) {
        DeletePrinter(h);
        ClosePrinter(h);
    }
    DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kName));
    DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("KV Language Monitor"));
    DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("KV Port Monitor"));
    DeletePrintProcessorA(nullptr, nullptr, const_cast<LPSTR>("KV Processor"));
}

// Every component and the printer new each round.
void BM_AddPrinterFresh(benchmark::State& state) {
    BenchMachine m;
    PrepareMachine(m, 0);
    for (auto _ : state) {
        if (DLL_AddPrinter(kInf, "KV", "LPT1:") != 0) state.SkipWithError("install failed");
        state.PauseTiming();
        RemoveEverything();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddPrinterFresh)->Unit(benchmark::kMicrosecond);

// The same section again: components found, driver answered as present, printer updated.
void BM_AddPrinterAgainWithUpgrade(benchmark::State& state) {
    BenchMachine m;
    PrepareMachine(m, 1);
    if (DLL_AddPrinter(kInf, "KV", "LPT1:") != 0) state.SkipWithError("install failed");
    for (auto _ : state)
        if (DLL_AddPrinter(kInf, "KV", "LPT1:") != 0) state.SkipWithError("update failed");
}
BENCHMARK(BM_AddPrinterAgainWithUpgrade)->Unit(benchmark::kMicrosecond);

// 1,000 printers on the driver, every tenth of the section's name.
void BM_IsPrinterInstalledAmong1000(benchmark::State& state) {
    BenchMachine m;
    PrepareMachine(m, 0);
    if (DLL_AddPrinter(kInf, "KV", "LPT1:") != 0) state.SkipWithError("install failed");
    for (int i = 1; i < 1000; ++i) {
        const std::string name =
            (i % 10 ? "Office printer " : "KV Pellora 4720 #") + std::to_string(i);
        PRINTER_INFO_2A info = {};
        info.pPrinterName = const_cast<LPSTR>(name.c_str());
        info.pPortName = const_cast<LPSTR>(i % 2 ? "LPT1:" : "FILE:");
        info.pDriverName = const_cast<LPSTR>(kName);
        info.pPrintProcessor = const_cast<LPSTR>("WinPrint");
        HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
        if (!h) {
            state.SkipWithError("cannot add a printer");
            return;
        }
        ClosePrinter(h);
    }
    char ports[PW_PORT_LIST_SIZE];
    LONG found = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(found = DLL_IsPrinterInstalled(kInf, "KV", ports));
    state.counters["matching"] = static_cast<double>(found);
}
BENCHMARK(BM_IsPrinterInstalledAmong1000)->Unit(benchmark::kMillisecond);

} // namespace
