// DLL_AddPrinter end to end on an NT 4.0 machine, and DLL_IsPrinterInstalled among 1,000 printers
// (and among 100, for its growth) beside its anchor: 1,000 level-2 records, with their texts and
// device modes, packed once into a caller's buffer as the spooler lays them out.
#include <benchmark/benchmark.h>
#include <winsim/machine.h>

#include "printer/zrprinter.h"

#include "bench_machine.h"

#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

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

// The name and port of the i-th printer of the benchmarks: every tenth of the section's name.
std::string PrinterName(int i) {
    return (i % 10 ? "Office printer " : "KV Pellora 4720 #") + std::to_string(i);
}
const char* PrinterPort(int i) {
    return i % 2 ? "LPT1:" : "FILE:";
}

// `count` printers on the driver.
void IsPrinterInstalledAmong(benchmark::State& state, int count) {
    BenchMachine m;
    PrepareMachine(m, 0);
    if (DLL_AddPrinter(kInf, "KV", "LPT1:") != 0) state.SkipWithError("install failed");
    for (int i = 1; i < count; ++i) {
        const std::string name = PrinterName(i);
        PRINTER_INFO_2A info = {};
        info.pPrinterName = const_cast<LPSTR>(name.c_str());
        info.pPortName = const_cast<LPSTR>(PrinterPort(i));
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

void BM_IsPrinterInstalledAmong1000(benchmark::State& state) {
    IsPrinterInstalledAmong(state, 1000);
}
BENCHMARK(BM_IsPrinterInstalledAmong1000)->Unit(benchmark::kMillisecond);

void BM_IsPrinterInstalledAmong100(benchmark::State& state) {
    IsPrinterInstalledAmong(state, 100);
}
BENCHMARK(BM_IsPrinterInstalledAmong100)->Unit(benchmark::kMillisecond);

// The anchor: 1,000 level-2 records packed once, the plainest way. The texts of each record are
// at hand; the fixed parts go from the buffer's start, each followed by nothing but its device
// mode, the texts run back from the end.
void BM_PackPrinterRecordsAnchor(benchmark::State& state) {
    constexpr int kPrinters = 1000;
    struct Record {
        std::string texts[10]; // printer, share, port, driver, comment, location, separator file,
                               // processor, data type, parameters
    };
    std::vector<Record> records(kPrinters);
    for (int i = 0; i < kPrinters; ++i) {
        Record& r = records[static_cast<size_t>(i)];
        r.texts[0] = i ? PrinterName(i) : kName;
        r.texts[2] = PrinterPort(i);
        r.texts[3] = kName;
        r.texts[7] = "WinPrint";
        r.texts[8] = "RAW";
    }
    LPSTR PRINTER_INFO_2A::*const fields[10] = {
        &PRINTER_INFO_2A::pPrinterName,  &PRINTER_INFO_2A::pShareName,
        &PRINTER_INFO_2A::pPortName,     &PRINTER_INFO_2A::pDriverName,
        &PRINTER_INFO_2A::pComment,      &PRINTER_INFO_2A::pLocation,
        &PRINTER_INFO_2A::pSepFile,      &PRINTER_INFO_2A::pPrintProcessor,
        &PRINTER_INFO_2A::pDatatype,     &PRINTER_INFO_2A::pParameters};
    std::vector<BYTE> buffer;
    for (auto _ : state) {
        size_t need = kPrinters * (sizeof(PRINTER_INFO_2A) + sizeof(DEVMODEA));
        for (const Record& r : records)
            for (const std::string& t : r.texts)
                need += t.size() + 1;
        buffer.assign(need, 0);
        BYTE* fixed = buffer.data();
        BYTE* block = fixed + kPrinters * sizeof(PRINTER_INFO_2A);
        char* end = reinterpret_cast<char*>(buffer.data() + need);
        for (const Record& r : records) {
            PRINTER_INFO_2A info = {};
            DEVMODEA dm = {};
            std::memcpy(dm.dmDeviceName, r.texts[0].data(),
                        std::min<size_t>(r.texts[0].size(), CCHDEVICENAME - 1));
            dm.dmSize = sizeof dm;
            std::memcpy(block, &dm, sizeof dm);
            info.pDevMode = reinterpret_cast<LPDEVMODEA>(block);
            block += sizeof dm;
            for (int f = 0; f < 10; ++f) {
                const std::string& t = r.texts[f];
                end -= t.size() + 1;
                std::memcpy(end, t.c_str(), t.size() + 1);
                info.*fields[f] = end;
            }
            std::memcpy(fixed, &info, sizeof info);
            fixed += sizeof info;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_PackPrinterRecordsAnchor)->Unit(benchmark::kMillisecond);

} // namespace
