// One key read from a 1 MiB profile file: the first read (the cache emptied before each) beside
// its anchor, reading the file's bytes and splitting them once into keys and values, and the
// first read of a file a tenth that size; repeated reads from the cache (vouched for by the host's
// change notifications) beside one stat() of the file, what each read cost when it checked the
// file itself, and beside a full path resolution (GetFileAttributesA of the same file); and reads
// of a file whose times changed just before each (the event seen, its content compared).
// Then one key written to a small file: on 95/98 (kept in the cache), on NT (to the file before
// the call returns) and, as the anchor for NT's cost, on 95/98 followed by the all-NULL write; and a key of
// a section that NT keeps in the registry.
#include <benchmark/benchmark.h>
#include <windows.h>
#include <winsim/machine.h>

#include "anchors.h"
#include "bench_machine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const char kFile[] = "C:\\BIG.INI";

// A fresh machine holding BIG.INI: 1 MiB (or `size` bytes) of sections of 20 keys; the key read
// lies in the last section, so no look-up can stop early.
class LargeProfile : public BenchMachine {
  public:
    explicit LargeProfile(bool settled, size_t size = 1u << 20) {
        std::string text;
        int section = 0;
        while (text.size() < size) {
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

void FirstRead(benchmark::State& state, size_t size) {
    LargeProfile machine(true, size);
    for (auto _ : state) {
        state.PauseTiming();
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, kFile); // empties the cache
        state.ResumeTiming();
        ReadTarget(state);
    }
}

void BM_ProfileFirstRead(benchmark::State& state) {
    FirstRead(state, 1u << 20);
}
BENCHMARK(BM_ProfileFirstRead)->Unit(benchmark::kMillisecond);

void BM_ProfileFirstReadOf100KiB(benchmark::State& state) {
    FirstRead(state, 100u << 10);
}
BENCHMARK(BM_ProfileFirstReadOf100KiB)->Unit(benchmark::kMillisecond);

void BM_ProfileRepeatedRead(benchmark::State& state) {
    LargeProfile machine(true);
    ReadTarget(state);
    for (auto _ : state)
        ReadTarget(state);
}
BENCHMARK(BM_ProfileRepeatedRead)->Unit(benchmark::kMicrosecond);

// The anchor of the first read: the file's bytes, each line split once into a section name or a
// key and its value.
void BM_ProfileFirstReadAnchor(benchmark::State& state) {
    LargeProfile machine(true);
    const std::string host = machine.Dir() + "/drive_c/BIG.INI";
    for (auto _ : state) {
        const auto lines = ReadAndSplitLines(host);
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_ProfileFirstReadAnchor)->Unit(benchmark::kMillisecond);

// One stat() of the file's host path, whose identity and times tell a file another writer
// changed: what a repeated read made before the change notifications vouched for the file.
void BM_ProfileRepeatedReadStatAnchor(benchmark::State& state) {
    LargeProfile machine(true);
    const std::string host = machine.Dir() + "/drive_c/BIG.INI";
    struct stat st;
    for (auto _ : state)
        benchmark::DoNotOptimize(stat(host.c_str(), &st));
}
BENCHMARK(BM_ProfileRepeatedReadStatAnchor)->Unit(benchmark::kMicrosecond);

// A call that resolves the file's path in full and reads its times.
void BM_ProfilePathAndStat(benchmark::State& state) {
    LargeProfile machine(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(GetFileAttributesA(kFile));
}
BENCHMARK(BM_ProfilePathAndStat)->Unit(benchmark::kMicrosecond);

// A file whose times changed since the last read (touched, same content), so each read takes the
// file's bytes again and compares them with those cached.
void BM_ProfileReadAfterTouch(benchmark::State& state) {
    LargeProfile machine(true);
    const std::string host = machine.Dir() + "/drive_c/BIG.INI";
    ReadTarget(state);
    for (auto _ : state) {
        state.PauseTiming();
        utimensat(AT_FDCWD, host.c_str(), nullptr, 0); // now
        state.ResumeTiming();
        ReadTarget(state);
    }
}
BENCHMARK(BM_ProfileReadAfterTouch)->Unit(benchmark::kMicrosecond);

// A setup script's size: 40 sections of 5 keys.
std::string SmallProfile() {
    std::string text;
    for (int s = 0; s < 40; ++s) {
        text += "[Section" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 5; ++k)
            text += "Key" + std::to_string(k) + "=value " + std::to_string(k) + "\r\n";
    }
    return text;
}

// Arg 0: Windows 98, 1: NT 4.0, 2: Windows 98 with the all-NULL write after each write.
void BM_ProfileWrite(benchmark::State& state) {
    const winsim::Os os = state.range(0) == 1 ? winsim::Os::Nt4 : winsim::Os::Win98;
    const bool flush = state.range(0) == 2;
    BenchMachine machine(os);
    std::ofstream(machine.Dir() + "/drive_c/SMALL.INI", std::ios::binary) << SmallProfile();
    const char file[] = "C:\\SMALL.INI";
    int i = 0;
    for (auto _ : state) {
        const std::string value = std::to_string(i++ & 1);
        if (!WritePrivateProfileStringA("Section20", "Key2", value.c_str(), file))
            state.SkipWithError("the write failed");
        if (flush) WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
    }
}
BENCHMARK(BM_ProfileWrite)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// One key written to and read back from WIN.INI [windows] on NT, which keeps that section in the
// registry; BM_ProfileWrite/1 (a file written through on NT) is its anchor.
void BM_ProfileMappedWriteAndRead(benchmark::State& state) {
    BenchMachine machine(winsim::Os::Nt4);
    char buf[8];
    int i = 0;
    for (auto _ : state) {
        const std::string value = std::to_string(i++ & 1);
        if (!WriteProfileStringA("windows", "KVTest", value.c_str()) ||
            GetProfileStringA("windows", "KVTest", "", buf, sizeof buf) != 1)
            state.SkipWithError("the mapped entry was not kept");
    }
}
BENCHMARK(BM_ProfileMappedWriteAndRead)->Unit(benchmark::kMicrosecond);

} // namespace
