// Setup's INI and INF reading: the %name% placeholders of its registry-entry sections (setup's
// rule: a name "Strings" lacks ends the text), whole-value "Strings" placeholders of an INF, the
// "name, file ; comment" values of an install section and the keys of registry entries.
#include "support/fuzz_machine.h"

#include "frame/zrregistry.h"
#include "printer/inf.h"

#include "winsim/machine.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr char kPath[] = "C:\\FUZZ.INF";
constexpr size_t kMaxNames = 24;

// Expands `text` in a buffer of exactly `room` bytes, as far as the text fits in it.
void Expand(const std::string& text, size_t room) {
    if (text.size() + 1 > room) return;
    std::unique_ptr<char[]> buffer(new char[room]);
    std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
    ExpandIniPlaceholder(buffer.get(), static_cast<DWORD>(room), kPath);
    fuzz::Require(fuzz::IsWholeText(buffer.get(), room), "expansion not ended within the buffer");
}

void ReadExpanded(const char* section, const char* key, DWORD size) {
    std::unique_ptr<char[]> buffer(new char[size]);
    ReadIniExpanded(section, key, "", buffer.get(), size, kPath);
    fuzz::Require(key ? fuzz::IsWholeText(buffer.get(), size) : fuzz::IsWholeList(buffer.get(), size),
                  "expanded text or list not ended within the buffer");
}

void Key(const std::string& section, const std::string& key, DWORD small) {
    const char* s = section.c_str();
    const char* k = key.c_str();
    for (DWORD n : {DWORD{1}, small, DWORD{PW_PATH_SIZE}})
        ReadExpanded(s, k, n);
    Expand(key, PW_ENTRY_KEY_SIZE);
    Expand(key, key.size() + 1 + small % 4);

    LPSTR root, subkey, valueName, type;
    ParseRegEntryKey(k, &root, &subkey, &valueName, &type);

    const std::string path = kPath;
    std::string name, file;
    GetDelimitedPrinterObject(&path, &section, k, "", &name, &file);
    std::string placeholder = "%" + key + "%";
    zrTranslateStringPlaceholder(&placeholder, path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::EnsureMachine();
    fuzz::PutFile(kPath, data, size);
    const DWORD small = 2 + fuzz::Choice(data, size) % 64;

    std::vector<char> names(0x10000);
    GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), kPath);
    size_t sections = 0;
    for (const std::string& section : fuzz::ListNames(names.data(), names.size())) {
        if (++sections > kMaxNames) break;
        for (DWORD n : {DWORD{1}, small, DWORD{PW_KEY_LIST_SIZE}})
            ReadExpanded(section.c_str(), nullptr, n);
        std::vector<char> keys(PW_KEY_LIST_SIZE);
        GetPrivateProfileStringA(section.c_str(), nullptr, "", keys.data(),
                                 static_cast<DWORD>(keys.size()), kPath);
        size_t count = 0;
        for (const std::string& key : fuzz::ListNames(keys.data(), keys.size())) {
            if (++count > kMaxNames) break;
            Key(section, key, small);
        }
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, kPath);
    winsim::ClearDebugOutput();
    return 0;
}
