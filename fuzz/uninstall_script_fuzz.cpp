// The uninstall script read by the uninstaller: its key and entry lists, the placeholders of its
// entries (the uninstaller's rule: a name [strings] lacks leaves the text as written) and the
// fields an entry is split into.
#include "support/fuzz_machine.h"

#include "removal.h"

#include "winsim/machine.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr size_t kMaxNames = 24;

void Split(const char* entry) {
    EntryFields fields;
    char *f1, *f2, *f3, *f4;
    SplitEntry(entry, fields, &f1, &f2);
    SplitEntry(entry, fields, &f1, &f2, &f3);
    SplitEntry(entry, fields, &f1, &f2, &f3, &f4);
}

// Expands `entry` in a buffer of exactly `capacity` bytes, as far as the entry fits in it.
void Expand(const std::string& entry, size_t capacity) {
    if (entry.size() + 1 > capacity) return;
    std::unique_ptr<char[]> text(new char[capacity]);
    std::memcpy(text.get(), entry.c_str(), entry.size() + 1);
    ExpandPlaceholder(text.get(), static_cast<int>(capacity));
    fuzz::Require(fuzz::IsWholeText(text.get(), capacity), "expansion not ended within the buffer");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::EnsureMachine();
    std::strcpy(ScriptPath, "C:\\UNINST.INI");
    fuzz::PutFile(ScriptPath, data, size);
    const uint32_t choice = fuzz::Choice(data, size);
    const int small = static_cast<int>(2 + choice % 64);

    // Any text of the input as an entry, however long.
    const std::string text = fuzz::Text(data, size);
    Split(text.c_str());
    Expand(text, text.size() + 1 + choice % 8);

    std::vector<char> names(0x10000);
    GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), ScriptPath);
    size_t sections = 0;
    for (const std::string& section : fuzz::ListNames(names.data(), names.size())) {
        if (++sections > kMaxNames) break;
        const char* s = section.c_str();
        for (int n : {small, int{UN_KEY_LIST_SIZE}}) {
            std::unique_ptr<char[]> keys(new char[static_cast<size_t>(n)]);
            ReadKeyNames(s, keys.get(), n);
            fuzz::Require(fuzz::IsWholeList(keys.get(), static_cast<size_t>(n)),
                          "key names not ended within the buffer");
            std::unique_ptr<char[]> list(new char[static_cast<size_t>(n)]);
            ReadEntryList(s, list.get(), n);
            fuzz::Require(fuzz::IsWholeList(list.get(), static_cast<size_t>(n)),
                          "entries not ended within the buffer");
        }
        std::vector<char> entries(UN_KEY_LIST_SIZE);
        ReadEntries(s, entries);
        size_t count = 0;
        for (const std::string& entry : fuzz::ListNames(entries.data(), entries.size())) {
            if (++count > kMaxNames) break;
            Split(entry.c_str());
            Expand(entry, UN_FILE_ENTRY_SIZE);
            Expand(entry, entry.size() + 1 + choice % 4);
        }
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ScriptPath);
    winsim::ClearDebugOutput();
    return 0;
}
