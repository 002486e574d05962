// The profile files: winsim's line-keeping ini text, and the profile calls that read and write a
// file of any content.
#include "support/fuzz_machine.h"

#include "winsim/src/internal.h"

#include <windows.h>

#include <memory>

namespace {

constexpr char kPath[] = "C:\\FUZZ.INI";
constexpr size_t kMaxNames = 24; // enough to reach every kind of line, few enough to stay fast

// The ini text itself: it gives back what it read, and a key it was given reads back.
void FuzzIniFile(const std::string& text) {
    winsim::IniFile ini;
    ini.Parse(text);
    fuzz::Require(ini.Text() == text, "the text does not come back as it was read");
    size_t n = 0;
    for (const std::string& section : ini.Sections()) {
        if (++n > kMaxNames) break;
        ini.Entries(section);
        ini.KeyLines(section);
        ini.SectionBody(section);
    }
    if (!ini.Sections().empty()) {
        const std::string first = ini.Sections().front();
        ini.Set(first, "Fuzz Key", "first");
        ini.ReplaceSection(first, {"a=1", "b=2"});
        ini.DeleteKey(first, "a");
    }
    ini.Set("Fuzz Section", "Fuzz Key", "fuzz value");
    winsim::IniFile again;
    again.Parse(ini.Text());
    std::string value;
    fuzz::Require(again.Get("Fuzz Section", "Fuzz Key", &value) && value == "fuzz value",
          "a key written does not read back");
}

// Reads into a buffer of exactly `size` bytes, so a write past its end is seen.
template <typename Read> void IntoBuffer(DWORD size, Read read) {
    std::unique_ptr<char[]> buffer(new char[size]);
    read(buffer.get(), size);
}

void FuzzProfileCalls(const uint8_t* data, size_t size) {
    fuzz::PutFile(kPath, data, size);
    const uint32_t choice = fuzz::Choice(data, size);
    const DWORD small = 1 + choice % 40;

    std::vector<char> names(0x10000);
    GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), kPath);
    IntoBuffer(small, [](char* b, DWORD n) {
        GetPrivateProfileSectionNamesA(b, n, kPath);
        fuzz::Require(fuzz::IsWholeList(b, n), "section names not ended within the buffer");
    });

    size_t sections = 0;
    for (const std::string& section : fuzz::ListNames(names.data(), names.size())) {
        if (++sections > kMaxNames) break;
        const char* s = section.c_str();
        std::vector<char> keys(0x10000);
        GetPrivateProfileStringA(s, nullptr, "", keys.data(), static_cast<DWORD>(keys.size()),
                                 kPath);
        IntoBuffer(small, [s](char* b, DWORD n) {
            GetPrivateProfileStringA(s, nullptr, "", b, n, kPath);
            fuzz::Require(fuzz::IsWholeList(b, n), "key names not ended within the buffer");
        });
        IntoBuffer(small, [s](char* b, DWORD n) {
            GetPrivateProfileSectionA(s, b, n, kPath);
            fuzz::Require(fuzz::IsWholeList(b, n), "section not ended within the buffer");
        });
        size_t count = 0;
        for (const std::string& key : fuzz::ListNames(keys.data(), keys.size())) {
            if (++count > kMaxNames) break;
            const char* k = key.c_str();
            for (DWORD n : {DWORD{1}, small, DWORD{260}})
                IntoBuffer(n, [s, k](char* b, DWORD m) {
                    // A NUL in the file's value is copied and counted, so only the end is checked.
                    const DWORD got = GetPrivateProfileStringA(s, k, "", b, m, kPath);
                    fuzz::Require(fuzz::IsWholeText(b + got, m - got),
                                  "value not ended within the buffer");
                });
            GetPrivateProfileIntA(s, k, -1, kPath);
        }
        if (sections == 1) {
            WritePrivateProfileStringA(s, "Fuzz Key", "fuzz value", kPath);
            if (count > 0) WritePrivateProfileStringA(s, keys.data(), nullptr, kPath);
        } else if (sections == 2) {
            WritePrivateProfileStringA(s, nullptr, nullptr, kPath);
        }
    }
    // Writes the changes out and empties the cache, so the next input is read afresh.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, kPath);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::EnsureMachine();
    FuzzIniFile(std::string(reinterpret_cast<const char*>(data), size));
    FuzzProfileCalls(data, size);
    winsim::ClearDebugOutput();
    return 0;
}
