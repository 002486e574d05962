// pwcheck on an uninstall script of 40 components and 8,000 entries, next to the uninstaller's
// own reading of the same lists (each component's keys and its Files list, every entry expanded).
#include <benchmark/benchmark.h>
#include <winsim/machine.h>

#include "checks.h"
#include "pwuninst.h"
#include "removal.h"

#include "bench_machine.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kComponents = 40;
constexpr int kEntriesPerComponent = 200;
const char kScript[] = "C:\\KV\\UNINST.INI";

// 40 components, each with a Files list of 150 entries, a Regdel list of 30 and an Icon list of
// 20: 8,000 entries.
std::string ScriptText() {
    std::string text = "[Components]\r\n";
    for (int c = 0; c < kComponents; ++c)
        text += "comp" + std::to_string(c) + "=1\r\n";
    text += "[strings]\r\nkv=C:\\Program Files\\KV\r\n";
    for (int c = 0; c < kComponents; ++c) {
        const std::string n = std::to_string(c);
        text += "[comp" + n + "]\r\nTitle=Component " + n + "\r\nFiles=files" + n +
                "\r\nRegdel=keys" + n + "\r\nIcon=icons" + n + "\r\n[files" + n + "]\r\n";
        char line[96];
        for (int f = 0; f < 150; ++f) {
            std::snprintf(line, sizeof line, "%%kv%%\\C%02d\\F%04d.DLL=1\r\n", c, f);
            text += line;
        }
        text += "[keys" + n + "]\r\n";
        for (int k = 0; k < 30; ++k) {
            std::snprintf(line, sizeof line, "-2147483646,SOFTWARE\\KV\\C%02d\\K%02d=\r\n", c, k);
            text += line;
        }
        text += "[icons" + n + "]\r\n";
        for (int i = 0; i < 20; ++i) {
            std::snprintf(line, sizeof line, "KV\\C%02d,Shortcut %02d,=1\r\n", c, i);
            text += line;
        }
    }
    return text;
}

std::string Place(const BenchMachine& m) {
    const std::string text = ScriptText();
    std::filesystem::create_directories(m.Dir() + "/drive_c/KV");
    std::ofstream(m.Dir() + "/drive_c/KV/UNINST.INI", std::ios::binary) << text;
    std::strcpy(ScriptPath, kScript);
    return text;
}

void BM_CheckUninstallScript(benchmark::State& state) {
    BenchMachine m;
    const std::string text = Place(m);
    size_t findings = 0;
    for (auto _ : state) {
        pwcheck::Source source{"UNINST.INI", text, kScript, pwcheck::IniLines(text)};
        pwcheck::Findings found;
        pwcheck::CheckProfileShape(source, found);
        pwcheck::CheckUninstallScript(source, found);
        findings += found.All().size();
    }
    if (findings) state.SkipWithError("the script should be clean");
    state.SetItemsProcessed(state.iterations() * kComponents * kEntriesPerComponent);
}
BENCHMARK(BM_CheckUninstallScript)->Unit(benchmark::kMillisecond);

// The anchor: what the uninstaller reads of the script to remove it, with nothing removed.
void BM_UninstallerReadsScript(benchmark::State& state) {
    BenchMachine m;
    Place(m);
    std::vector<char> components(UN_KEY_LIST_SIZE), list(UN_KEY_LIST_SIZE);
    int64_t entries = 0;
    for (auto _ : state) {
        ReadKeyNames(UN_COMPONENTS_SECTION, components.data(), UN_KEY_LIST_SIZE);
        for (const char* c = components.data(); *c; c += std::strlen(c) + 1) {
            char value[UN_FIELD_SIZE];
            for (const char* key : {"Title", "Files", "Regdel", "Icon"}) {
                GetPrivateProfileStringA(c, key, NotThereSentinel, value, sizeof value, ScriptPath);
                if (std::strcmp(key, "Title") == 0) continue;
                ReadEntries(value, list);
                for (const char* e = list.data(); *e; e += std::strlen(e) + 1) {
                    EntryFields fields;
                    char *f1, *f2, *f3;
                    SplitEntry(e, fields, &f1, &f2, &f3);
                    ++entries;
                }
            }
        }
    }
    if (entries != state.iterations() * kComponents * kEntriesPerComponent)
        state.SkipWithError("not every entry was read");
    state.SetItemsProcessed(state.iterations() * kComponents * kEntriesPerComponent);
}
BENCHMARK(BM_UninstallerReadsScript)->Unit(benchmark::kMillisecond);

} // namespace
