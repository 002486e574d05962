// Shared internals of winsim's implementation files. Not seen by the product.
#ifndef WINSIM_INTERNAL_H
#define WINSIM_INTERNAL_H

#include <windows.h>

#include "../machine.h"
#include "failpoints.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace winsim {

// ---- text helpers -------------------------------------------------------------------------
// Names of keys, values, sections and files compare with ASCII letters folded to upper case and
// every other byte as it is.
inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string Upper(std::string s);
// Inline: the registry compares a name at every step of a key path.
inline bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) // most names come back as they were written
        if (a[i] != b[i] && UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}
std::string Trim(const std::string& s); // blanks and tabs at both ends
std::string_view TrimView(std::string_view s); // the same, as a view of `s`

// ---- ini text (machine.ini and the profile files) -----------------------------------------
// A parsed ini file that keeps every line as it stood (its own line end included), so that a
// change rewrites only the lines it must. Section and key names compare without regard to case.
// As on Windows, only the first section of a name counts, a key's first line counts, lines before
// the first header belong to no section, and ';' lines and lines without '=' are not keys.
class IniFile {
public:
    void Parse(const std::string& text);
    std::string Text() const;

    std::vector<std::string> Sections() const; // unique names, in file order
    bool HasSection(const std::string& section) const;
    std::vector<std::string> Keys(const std::string& section) const;
    // The raw value after '=' with surrounding blanks removed; false when missing.
    bool Get(const std::string& section, const std::string& key, std::string* value) const;
    // All key=value pairs of a section, in file order (first occurrence of each key).
    std::vector<std::pair<std::string, std::string>> Entries(const std::string& section) const;

    void Set(const std::string& section, const std::string& key, const std::string& value);
    bool DeleteKey(const std::string& section, const std::string& key);
    bool DeleteSection(const std::string& section);

    // Every line as the profile functions read it (winsim::ProfileLines).
    std::vector<ProfileLine> Lines() const;
    // Every section header in file order, a repeated name as often as it appears.
    std::vector<std::string> SectionHeaders() const;
    // Every key line of the section in file order, duplicates included (empty names left out).
    std::vector<std::string> KeyLines(const std::string& section) const;
    // The section's lines as "key=value" (lines without '=' as written), comments and blank
    // lines left out.
    std::vector<std::string> SectionBody(const std::string& section) const;
    // Replaces the section's keys and other non-blank lines with `lines` (each "key=value"),
    // creating the section when missing.
    void ReplaceSection(const std::string& section, const std::vector<std::string>& lines);
    // Whether a section added at the end follows a blank line (machine.ini's way; the profile
    // calls add none). Kept across Parse.
    void SetGapBeforeNewSection(bool gap) { m_gapBeforeNewSection = gap; }

private:
    enum class Kind : uint8_t { Other, Header, Entry, Bare };
    // A line lies in the parsed text (m_text) until it is added or changed; then in a text of its
    // own, which copies of the file share, as it never changes. Its name and value are spans of it.
    struct Line {
        std::shared_ptr<const std::string> own; // null: the line lies in m_text
        size_t at = 0;                          // where the line starts in its text
        uint32_t size = 0;                      // its length, without its line end
        uint32_t nameAt = 0, nameSize = 0;      // header: section name; entry: key; bare: the
                                                // trimmed text (all within the line)
        uint32_t valueAt = 0, valueSize = 0;    // entry: the value, blanks trimmed
        Kind kind = Kind::Other;
        uint8_t eol = 0; // kLineEnds: "", "\r\n", "\n" or "\r"
    };
    std::string m_text; // the text last parsed
    std::vector<Line> m_lines;
    uint8_t m_eol = 1; // line end of lines this object adds
    bool m_gapBeforeNewSection = true;

    std::string_view Raw(const Line& l) const {
        return std::string_view(l.own ? l.own->data() : m_text.data() + l.at, l.size);
    }
    std::string_view Name(const Line& l) const { return Raw(l).substr(l.nameAt, l.nameSize); }
    std::string_view Value(const Line& l) const { return Raw(l).substr(l.valueAt, l.valueSize); }

    // Look-up index: first header of each name, built on first use; the keys of a section (the
    // first line of each) are indexed when the section is first asked for, so a read of one
    // section of a large file indexes only that section. Names are views of the lines (or of the
    // caller's name, to look up) compared without regard to case, so building and asking copy no
    // name.
    struct NameRef {
        size_t section;        // the section's header line (npos in the section index)
        std::string_view name; // the section's or the key's name
    };
    struct NameHash {
        size_t operator()(const NameRef& r) const;
    };
    struct NameEquals {
        bool operator()(const NameRef& a, const NameRef& b) const;
    };
    // False in a copy (and after a move): an index names the lines of the file it was built for.
    class IndexBuilt {
    public:
        IndexBuilt() = default;
        IndexBuilt(const IndexBuilt&) {}
        IndexBuilt& operator=(const IndexBuilt&) { return *this = false; }
        IndexBuilt& operator=(bool built) {
            m_built = built;
            return *this;
        }
        operator bool() const { return m_built; }

    private:
        bool m_built = false;
    };
    mutable IndexBuilt m_indexed;
    mutable std::unordered_map<NameRef, size_t, NameHash, NameEquals> m_sectionAt;
    mutable std::unordered_map<NameRef, size_t, NameHash, NameEquals> m_keyAt;
    mutable std::vector<bool> m_keysIndexed; // by header line: its keys are in m_keyAt

    void ParseLine(Line* line) const;
    bool IsBlank(const Line& line) const;
    void EnsureIndex() const;
    size_t FindSection(std::string_view section) const; // header line, or npos
    size_t FindKey(std::string_view section, std::string_view key) const;
    size_t SectionEnd(size_t header) const; // the next header, or the line count
    void EndLastLine();
    void Insert(size_t at, const std::string& raw);
    void SetOwnText(Line* line, std::string raw);
};

bool ReadWholeFile(const std::string& hostPath, std::string* text);
// Writes through a temporary file and a rename, so a reader never sees half a file.
bool WriteFileAtomic(const std::string& hostPath, const std::string& text);
// Rewrites a file in place, so that handles open on it see the new text (as on Windows).
bool WriteFileInPlace(const std::string& hostPath, const std::string& text);
// Rewrites a file known to hold `before` so that it holds `after`. A change that keeps the length
// and lies within one disk sector (a flag's "1" turned "0") is written over the old bytes, which
// a reader or a crash sees whole; anything else goes through WriteFileAtomic.
bool WriteFileChange(const std::string& hostPath, const std::string& before,
                     const std::string& after);

// ---- the machine --------------------------------------------------------------------------
struct MachineState {
    std::string dir;
    Os os = Os::Nt4;
    IniFile ini; // machine.ini
    std::vector<std::string> debugLines;
    std::string pendingDebug; // OutputDebugStringA text not yet ended by a line feed
};

MachineState* Current();    // null without a machine
MachineState& Require();    // aborts with a message without a machine
std::string WindowsDir();   // "C:\WINDOWS"
std::string SystemDir();    // "C:\WINDOWS\SYSTEM32" (NT) or "C:\WINDOWS\SYSTEM"
bool IsNT();
// Whether the process token has SeShutdownPrivilege enabled (security/token.cpp).
bool ShutdownPrivilegeEnabled();

// Resolves a Windows path (absolute "C:\...", or relative to the Windows directory when
// `bareInWindowsDir` and the name has no directory part) to a host path.
std::string ResolvePath(const std::string& windowsPath, bool bareInWindowsDir);
// The folders and name of a path after its drive, each appended to *out after `separator`:
// "\A\.\B\..\C" appends A and C; ".." takes back only what this call appended (it stops at the
// root).
void AppendComponents(std::string_view rest, char separator, std::string* out);


// Hooks the other API families register to load and save their state with the machine.
struct StateHooks {
    void (*load)() = nullptr;  // after the machine was opened
    void (*save)() = nullptr;  // on flush and close
    void (*reset)() = nullptr; // when the machine is closed
};
void RegisterStateHooks(const StateHooks& hooks);
// A file of the machine that did not read whole (a load hook: the open is refused) or could not
// be written (CloseMachine and FlushRegistry report it), with the file's path and why.
void NoteMachineError(const std::string& message);

// Kernel object handles (processes, tokens, ...): small numbers that fit in 32 bits.
enum class ObjectKind { Process, Token, Event };
HANDLE NewObjectHandle(ObjectKind kind);
bool IsObjectHandle(HANDLE h, ObjectKind kind);
// Event objects (events.cpp): SetEvent and ResetEvent without their failure points, for the
// calls that signal an event themselves (RegNotifyChangeKeyValue); false for no event.
bool SignalEvent(HANDLE h);
bool UnsignalEvent(HANDLE h);
void ForgetEvent(HANDLE h); // CloseHandle's
uint32_t NextHandleNumber(); // unique, multiple of 4, below 0x80000000

// Handles the process holds open, each family counting its own (LiveHandles in machine.h).
size_t OpenObjectHandles();  // kernel.cpp: processes, tokens
size_t OpenMemoryBlocks();   // memory.cpp
size_t OpenFileHandles();    // files/handles.cpp
size_t OpenFindHandles();    // files/find.cpp
size_t OpenKeyHandles();     // registry/store.cpp
size_t OpenPrinterHandles(); // spooler/printers.cpp

// The sweep's hooks (failpoints.cpp): a failure armed from the environment when the machine
// opens, and what the process reached and left open reported when it closes.
void ArmFailureFromEnvironment();
void ReportFailureRun();

// ---- registry access for winsim's own services -----------------------------------------------
// The spooler and other system services run as SYSTEM: these neither check key security nor
// honour injected failures. Paths are rooted ("HKEY_LOCAL_MACHINE\SYSTEM\Print").
// A value as the registry keeps it (registry::Value is this type).
struct SysValue {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};
// Grows with every change of a key, a value or the whole tree: what was read from the registry
// holds while it stays the same.
uint64_t SysRegistryChanges();
bool SysCreateKey(const std::string& path);   // creates every missing key of the path
bool SysDeleteTree(const std::string& path);  // false when the key is missing
bool SysSubkeys(const std::string& path, std::vector<std::string>* names); // creation order
bool SysValues(const std::string& path, std::vector<SysValue>* values);
// The values of a key as the registry holds them, in creation order, copying none; null when the
// key is missing. Valid until the registry next changes.
const std::vector<SysValue>* SysValuesOf(const std::string& path);
// Calls `visit(name, values)` for each subkey of `path` in creation order, its values as
// SysValuesOf gives them; false when the key is missing. `visit` must not change the registry.
bool SysEachSubkey(const std::string& path,
                   const std::function<void(const std::string&, const std::vector<SysValue>&)>& visit);
bool SysSetValue(const std::string& path, const std::string& name, DWORD type,
                 const std::vector<uint8_t>& data); // creates the path
bool SysDeleteValue(const std::string& path, const std::string& name);

// Where Windows keeps the computer's name (its "ComputerName" value), on NT and 95/98 alike.
inline constexpr char kComputerNameKey[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

// ---- profile files (profile.cpp) -------------------------------------------------------------
// Writes what the profile cache holds and the file lacks to that file (any file for an empty
// path). winsim's own services call it before they read or write a profile file themselves.
void WritePendingProfile(const std::string& hostPath = "");
// WIN.INI as the profile calls read and write it (on NT through the registry mapping), for
// winsim's own services: failures armed for the product's calls do not reach them, the last error
// stays, and a change is kept (in the file or the registry) before the call returns.
bool WinIniGet(const std::string& section, const std::string& key, std::string* value);
std::vector<std::string> WinIniKeys(const std::string& section);
bool WinIniSet(const std::string& section, const std::string& key, const std::string& value);
bool WinIniDelete(const std::string& section, const std::string& key);

} // namespace winsim

#endif
