#include "support/fuzz_machine.h"

#include "winsim/machine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace fuzz {

namespace {

std::string g_dir;
// The top-level files of the fresh machine, by host path, with their contents.
std::vector<std::pair<std::string, std::string>> g_fresh;

void RemoveMachine() {
    // Closed first, so the hives are not written into a folder already gone.
    winsim::CloseMachine();
    std::error_code ignored;
    std::filesystem::remove_all(g_dir, ignored);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    std::abort();
}

} // namespace

void EnsureMachine() {
    if (!g_dir.empty()) return;
    std::string pattern = (std::filesystem::temp_directory_path() / "pwfuzz.XXXXXX").string();
    if (!mkdtemp(pattern.data())) Fail("no temporary folder");
    g_dir = pattern;
    std::string error;
    if (!winsim::CreateMachine(g_dir, winsim::Os::Nt4, &error)) Fail("no machine: " + error);
    for (const auto& entry : std::filesystem::directory_iterator(g_dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        g_fresh.emplace_back(entry.path().string(), text.str());
    }
    if (!winsim::OpenMachine(g_dir, &error)) Fail("cannot open the machine: " + error);
    std::atexit(RemoveMachine);
}

bool ReopenMachine(std::string* error) {
    winsim::CloseMachine();
    return winsim::OpenMachine(g_dir, error);
}

void RestoreMachine() {
    winsim::CloseMachine();
    for (const auto& [path, text] : g_fresh) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) Fail("cannot restore " + path);
    }
    std::string error;
    if (!winsim::OpenMachine(g_dir, &error)) Fail("cannot open the machine: " + error);
}

void PutFile(const char* windowsPath, const uint8_t* data, size_t size) {
    const std::string host = winsim::HostPath(windowsPath);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush()) Fail("cannot write " + host);
}

uint32_t Choice(const uint8_t* data, size_t size) {
    uint32_t h = 2166136261u; // FNV-1a
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

std::vector<std::string> ListNames(const char* list, size_t size) {
    std::vector<std::string> names;
    for (size_t pos = 0; pos < size && list[pos];) {
        const size_t n = strnlen(list + pos, size - pos);
        names.emplace_back(list + pos, n);
        pos += n + 1;
    }
    return names;
}

void Require(bool holds, const std::string& what) {
    if (!holds) Fail(what);
}

bool IsWholeList(const char* buffer, size_t size) {
    size_t pos = 0;
    while (pos < size && buffer[pos])
        pos += strnlen(buffer + pos, size - pos) + 1;
    return pos < size;
}

bool IsWholeText(const char* buffer, size_t size) {
    return strnlen(buffer, size) < size;
}

std::string Text(const uint8_t* data, size_t size) {
    const void* nul = std::memchr(data, 0, size);
    const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) : size;
    return std::string(reinterpret_cast<const char*>(data), n);
}

} // namespace fuzz
