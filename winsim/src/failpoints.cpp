// Failures armed by tests and tools, and the names that can carry them.
#include "internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <unistd.h>

namespace winsim {

namespace {

struct Failure {
    DWORD error;
    int remaining; // < 0: always
};

// Never destroyed: a machine still open at process exit is closed by a static destructor.
std::map<std::string, Failure, std::less<>>& Failures() {
    static auto* failures = new std::map<std::string, Failure, std::less<>>;
    return *failures;
}

// Every failure point reached in this process counts; the sweep fails one by its number, the
// crash test ends the process at one.
struct Counter {
    uint64_t reached = 0;
    uint64_t failAt = 0; // 0: none
    DWORD failAtError = 0;
    uint64_t crashAt = 0; // 0: none
    std::string report;   // WINSIM_FAILPOINT_COUNT: the file the sweep reads back
};
Counter& Count() {
    static Counter counter;
    return counter;
}

// One line at the end of the sweep's report file. Appended whole at once, so a crash right after
// still leaves the failing call named.
void AppendReport(const std::string& line) {
    const std::string& path = Count().report;
    if (path.empty()) return;
    if (FILE* f = std::fopen(path.c_str(), "a")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

} // namespace

void ArmFailureFromEnvironment() {
    // Closing the machine disarms (ClearFailures), so each open arms again; the count goes on.
    if (const char* report = std::getenv("WINSIM_FAILPOINT_COUNT")) Count().report = report;
    const char* at = std::getenv("WINSIM_FAIL_AT");
    if (!at || !*at) return;
    char* rest = nullptr;
    uint64_t n = std::strtoull(at, &rest, 10);
    DWORD error =
        *rest == ':' ? static_cast<DWORD>(std::strtoul(rest + 1, nullptr, 0)) : ERROR_ACCESS_DENIED;
    FailAtCall(n, error);
}

void ReportFailureRun() {
    if (Count().report.empty()) return;
    const LiveHandleCounts live = LiveHandles();
    AppendReport(
        "close " + std::to_string(getpid()) + " reached=" + std::to_string(Count().reached) +
        " keys=" + std::to_string(live.keys) + " files=" + std::to_string(live.files) +
        " finds=" + std::to_string(live.finds) + " printers=" + std::to_string(live.printers) +
        " kernel=" + std::to_string(live.kernelObjects) +
        " memory=" + std::to_string(live.globalMemory) + " gdi=" + std::to_string(live.gdiObjects) +
        " shell=" + std::to_string(live.shellMemory));
}

uint64_t FailurePointsReached() {
    return Count().reached;
}

void FailAtCall(uint64_t n, uint32_t error) {
    Count().failAt = n;
    Count().failAtError = error;
}

void CrashAtCall(uint64_t n) {
    Count().crashAt = n;
}

// The linker gathers the names that WINSIM_API_NAME leaves in this section.
extern "C" const char* const __start_winsim_failpoints[];
extern "C" const char* const __stop_winsim_failpoints[];

std::vector<std::string> FailableCalls() {
    std::vector<std::string> names(__start_winsim_failpoints, __stop_winsim_failpoints);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void FailCall(const std::string& function, uint32_t error, int count) {
    // A failure armed under a name that no call carries would never fire, and a test built on it
    // would check nothing.
    const std::vector<std::string> names = FailableCalls();
    if (!std::binary_search(names.begin(), names.end(), function))
        throw std::invalid_argument("winsim: no call can be made to fail under the name \"" +
                                    function + "\"");
    Failures()[function] = Failure{error, count};
}

void ClearFailures() {
    Failures().clear();
    Count().failAt = 0;
    Count().crashAt = 0;
}

namespace {

// The two ways a call is made to fail (the sweep's numbered point, a failure armed by name), kept
// out of ShouldFail's own body: every API call passes through it, and nearly always neither is
// armed.
[[gnu::noinline, gnu::cold]] bool FailAtThisPoint(const char* function, DWORD* error) {
    const Counter& counter = Count();
    *error = counter.failAtError;
    AppendReport("fail " + std::to_string(counter.reached) + " " + function + " " +
                 std::to_string(counter.failAtError));
    return true;
}

[[gnu::noinline]] bool ArmedByName(const char* function, DWORD* error) {
    auto& failures = Failures();
    auto it = failures.find(std::string_view(function));
    if (it == failures.end()) return false;
    *error = it->second.error;
    if (it->second.remaining > 0 && --it->second.remaining == 0) failures.erase(it);
    return true;
}

} // namespace

bool ShouldFail(const char* function, DWORD* error) {
    Counter& counter = Count();
    ++counter.reached;
    // As if the process were killed: no destructor runs, nothing is flushed or saved.
    if (counter.reached == counter.crashAt) _exit(kCrashedExitCode);
    if (counter.reached == counter.failAt) return FailAtThisPoint(function, error);
    return !Failures().empty() && ArmedByName(function, error);
}

} // namespace winsim
