// pwcheck: reads setup INFs, registry-entry section files, uninstall scripts and call scripts as
// PWSETUP, PWUNINST and `winsim run` read them, and reports with file and line what they would
// skip, cut or misread. Exit status 0 clean, 1 warnings only, 2 errors (or a file not read).
#include "checks.h"

#include "machine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sys/stat.h>

namespace {

const char kUsage[] =
    "usage: pwcheck [--os nt4|win95|win98] [--kind uninstall|inf|regentries|calls] FILE...\n"
    "  Checks each FILE as the product reads it and prints FILE:LINE: error|warning: TEXT.\n"
    "  A file's kind comes from its content (a [Components] section: an uninstall script; a\n"
    "  section with \"Driver\" or \"Device\": a setup INF; keys ROOT,SUBKEY,VALUE,TYPE: registry\n"
    "  entries) or its name (*.calls: a call script); --kind sets it for the files after it.\n"
    "  --os: the system whose Windows and system directories count as protected (nt4).\n"
    "  Exit status: 0 clean, 1 warnings only, 2 errors.\n";

bool ReadWhole(const std::string& path, std::string* text) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// A scratch machine the product's routines read the files on; gone when the check ends.
class ScratchMachine {
  public:
    bool Create(winsim::Os os, std::string* error) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pwcheck.XXXXXX";
        if (!mkdtemp(&pattern[0])) {
            *error = "cannot make a scratch folder in " + pattern;
            return false;
        }
        m_dir = pattern;
        return winsim::CreateMachine(m_dir + "/machine", os, error) &&
               winsim::OpenMachine(m_dir + "/machine", error) &&
               std::filesystem::create_directories(m_dir + "/machine/drive_c/PWCHECK");
    }
    // Places a file's text on the machine and returns its Windows path.
    std::string Place(const std::string& text, size_t index) {
        const std::string name = "F" + std::to_string(index) + ".INI";
        std::ofstream(m_dir + "/machine/drive_c/PWCHECK/" + name, std::ios::binary) << text;
        return "C:\\PWCHECK\\" + name;
    }
    ~ScratchMachine() {
        if (m_dir.empty()) return;
        winsim::CloseMachine();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

  private:
    std::string m_dir;
};

} // namespace

int main(int argc, char** argv) {
    using namespace pwcheck;
    winsim::Os os = winsim::Os::Nt4;
    Kind kind = Kind::Unknown;
    std::vector<std::pair<std::string, Kind>> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--os" && i + 1 < argc) {
            if (!winsim::ParseOs(argv[++i], &os)) {
                std::cerr << "pwcheck: unknown os " << argv[i] << " (nt4, win95 or win98)\n";
                return 2;
            }
        } else if (arg == "--kind" && i + 1 < argc) {
            if (!ParseKind(argv[++i], &kind)) {
                std::cerr << "pwcheck: unknown kind " << argv[i]
                          << " (uninstall, inf, regentries or calls)\n";
                return 2;
            }
        } else if (arg.compare(0, 2, "--") == 0) {
            std::cerr << "pwcheck: unknown option " << arg << "\n" << kUsage;
            return 2;
        } else {
            files.emplace_back(arg, kind);
        }
    }
    if (files.empty()) {
        std::cerr << kUsage;
        return 2;
    }

    ScratchMachine machine;
    std::string error;
    if (!machine.Create(os, &error)) {
        std::cerr << "pwcheck: " << error << "\n";
        return 2;
    }
    Findings findings;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& name = files[i].first;
        std::string text;
        if (!ReadWhole(name, &text)) {
            findings.Error(name, 0, "cannot read the file");
            continue;
        }
        Source source{name, text, machine.Place(text, i), IniLines(text)};
        Kind k = files[i].second;
        if (k == Kind::Unknown) k = DetectKind(name, source.lines);
        switch (k) {
        case Kind::UninstallScript:
            CheckProfileShape(source, findings);
            CheckUninstallScript(source, findings);
            break;
        case Kind::SetupInf:
            CheckProfileShape(source, findings);
            CheckSetupInf(source, findings);
            break;
        case Kind::RegEntries:
            CheckProfileShape(source, findings);
            CheckRegEntries(source, findings);
            break;
        case Kind::CallScript:
            CheckCallScript(source, findings);
            break;
        case Kind::Unknown:
            findings.Error(name, 0, "cannot tell what kind of file this is: give --kind "
                                    "uninstall, inf, regentries or calls before it");
            break;
        }
    }
    findings.Print(std::cout);
    size_t errors = 0, warnings = 0;
    for (const Finding& f : findings.All())
        ++(f.severity == Severity::Error ? errors : warnings);
    std::cout << "pwcheck: " << files.size() << (files.size() == 1 ? " file, " : " files, ")
              << errors << (errors == 1 ? " error, " : " errors, ") << warnings
              << (warnings == 1 ? " warning\n" : " warnings\n");
    return findings.ExitStatus();
}
