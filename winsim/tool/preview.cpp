#include "preview.h"

#include "machinediff.h"

#include "../machine.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>

namespace winsim {

namespace fs = std::filesystem;

namespace {

constexpr char kSharedDlls[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

bool CopyTree(const std::string& from, const std::string& to, std::string* error) {
    std::error_code ec;
    fs::create_directories(to, ec);
    for (const fs::directory_entry& entry : fs::directory_iterator(from, ec)) {
        if (entry.path().filename() == ".lock") continue; // the copy is nobody's yet
        fs::copy(entry.path(), to / entry.path().filename(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
        if (ec) break;
    }
    if (ec) *error = "cannot copy " + from + ": " + ec.message();
    return !ec;
}

bool Snapshot(const std::string& dir, MachineSnapshot* snap, std::ostream& err) {
    std::string error;
    if (!OpenMachine(dir, &error)) {
        err << "winsim: " << error << "\n";
        return false;
    }
    *snap = TakeSnapshot();
    CloseMachine();
    return true;
}

// "dword:0000000a" -> 10; -1 when the data is no number.
long DwordOf(const std::string& data) {
    if (data.compare(0, 6, "dword:") != 0) return -1;
    return std::strtol(data.c_str() + 6, nullptr, 16);
}

} // namespace

MachineCopy::~MachineCopy() {
    if (m_scratch.empty()) return;
    std::error_code ignored;
    fs::remove_all(m_scratch, ignored);
}

bool MachineCopy::Make(const std::string& dir, std::string* error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/winsim-preview.XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        *error = "cannot make a scratch folder";
        return false;
    }
    m_scratch = pattern;
    m_copy = m_scratch + "/machine";
    // The original is held while it is copied, so no other program changes it half way.
    if (!OpenMachine(dir, error)) return false;
    const bool copied = CopyTree(dir, m_copy, error);
    CloseMachine();
    return copied;
}

bool PrintPreview(const std::string& original, const std::string& after, std::ostream& out,
                  std::ostream& err) {
    MachineSnapshot before, changed, restarted;
    if (!Snapshot(original, &before, err) || !Snapshot(after, &changed, err)) return false;
    const MachineDiff diff = CompareMachines(before, changed);
    out << "\n=== what it would change (" << original << " is unchanged)\n";
    PrintDiff(diff, out);

    // A shared file whose count only went down stays.
    bool heading = false;
    for (const MachineDiff::Change& c : diff.valuesChanged) {
        const size_t nl = c.what.find('\n');
        if (c.what.substr(0, nl) != kSharedDlls) continue;
        const long now = DwordOf(c.after);
        if (now <= 0) continue;
        if (!heading) out << "\n=== what would stay because of a shared count\n";
        heading = true;
        out << c.what.substr(nl + 1) << " (shared count " << DwordOf(c.before) << " -> " << now
            << ")\n";
    }

    // The next start on a further copy: the deletions and commands left for it.
    MachineCopy next;
    std::string error;
    if (!next.Make(after, &error)) {
        err << "winsim: " << error << "\n";
        return false;
    }
    if (!OpenMachine(next.Dir(), &error)) {
        err << "winsim: " << error << "\n";
        return false;
    }
    Reboot();
    CloseMachine();
    if (!Snapshot(next.Dir(), &restarted, err)) return false;
    const MachineDiff later = CompareMachines(changed, restarted);
    out << "\n=== what would wait for the next start of Windows\n";
    if (later.Empty())
        out << "nothing\n";
    else
        PrintDiff(later, out);
    return true;
}

} // namespace winsim
