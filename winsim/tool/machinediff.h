// What differs between two machines: files, registry keys and values, the sections and keys of
// profile files (*.INI), and the spooler's objects. A snapshot is taken of the current machine.
#ifndef WINSIM_TOOL_MACHINEDIFF_H
#define WINSIM_TOOL_MACHINEDIFF_H

#include <cstdint>
#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace winsim {

struct MachineSnapshot {
    struct File {
        uint64_t size = 0;
        std::string bytes; // kept for profile files only, to compare their keys
        uint64_t hash = 0;
    };
    std::map<std::string, File> files; // by Windows path, upper-cased for look-up
    std::map<std::string, std::string> fileNames; // upper-cased -> as written
    // Registry: key -> (value name, "@" for the default -> data as regedit writes it).
    std::map<std::string, std::map<std::string, std::string>> registry;
    std::set<std::string> spooler; // SpoolerLines()
};

// The machine that is open now.
MachineSnapshot TakeSnapshot();

struct MachineDiff {
    struct Change {
        std::string what;   // a file, a key, "KEY" + "\n" + value name, "FILE\n[SECTION]\nKEY"
        std::string before; // empty when added
        std::string after;  // empty when removed
    };
    std::vector<std::string> filesAdded, filesRemoved;
    std::vector<Change> filesChanged; // sizes in before/after
    std::vector<std::string> keysAdded, keysRemoved;
    std::vector<Change> valuesAdded, valuesRemoved, valuesChanged; // what = KEY\nNAME
    // Profile files changed or added or removed: what = FILE\nSECTION\nKEY.
    std::vector<Change> profileAdded, profileRemoved, profileChanged;
    std::vector<std::string> spoolerAdded, spoolerRemoved;
    bool Empty() const;
};

MachineDiff CompareMachines(const MachineSnapshot& a, const MachineSnapshot& b);
void PrintDiff(const MachineDiff& diff, std::ostream& out);
void PrintDiffJson(const MachineDiff& diff, std::ostream& out);

} // namespace winsim

#endif
