// The keys a fresh machine has: those of each Windows that the product and the spooler read or
// write, with the values they read, the shell folders (made on disk as well), and on NT the
// security that NT 4.0 gives its device tree and Session Manager key.
#include "store.h"

#include <filesystem>
#include <initializer_list>
#include <utility>

using namespace winsim;
using namespace winsim::registry;

namespace {

// The name a fresh machine is given; a test names another by changing the value.
const char kFreshComputerName[] = "KVTEST";

// NT 4.0's keys that only administrators and the system may change; others read them.
const char kAdminsOnlySddl[] = "O:BAD:(A;;KA;;;BA)(A;;KA;;;SY)(A;;KR;;;WD)";

using Texts = std::initializer_list<std::pair<const char*, std::string>>;

// Gives a key REG_SZ values, in order.
void SetTexts(Key* k, Texts texts) {
    for (const auto& t : texts)
        k->SetValue(t.first, REG_SZ, TextBytes(t.second));
}

// Creates a key (a path with its root name) and every key above it, with REG_SZ values.
Key* Seed(const std::string& path, Texts texts = {}) {
    RootedPath rp;
    ParseRooted(path, &rp);
    Key* k = CreateRooted(rp);
    SetTexts(k, texts);
    return k;
}

void Protect(Key* k, const char* sddl) {
    auto sec = std::make_unique<KeySecurity>();
    ParseSddl(sddl, sec.get());
    k->SetSecurity(std::move(sec));
}

void MakeFolders(const std::string& windowsPath) {
    std::error_code ec;
    std::filesystem::create_directories(HostPath(windowsPath), ec);
}

// The Plug-and-Play tree of a PC with one parallel port, as Windows 95/98 enumerate it: the
// BIOS enumerator's printer port instance and the Ports class driver key that it names. Tests
// build other trees (Enum\Root\Ports, ECP ports) with ImportRegistry.
void SeedParallelPortEnum(const std::string& hklm) {
    Key* k = Seed(hklm + "Enum\\BIOS\\*PNP0400\\0D",
                  {{"HardwareID", "*PNP0400"},
                   {"Class", "Ports"},
                   {"ClassGUID", "{4D36E978-E325-11CE-BFC1-08002BE10318}"},
                   {"DeviceDesc", "Printer Port"},
                   {"Mfg", "(Standard port types)"},
                   {"Driver", "Ports\\0000"},
                   {"PortName", "LPT1"},
                   {"FriendlyName", "Printer Port (LPT1)"}});
    k->SetValue("ConfigFlags", REG_BINARY, {0, 0, 0, 0});
    Seed(hklm + "System\\CurrentControlSet\\Services\\Class\\Ports\\0000",
         {{"DriverDesc", "Printer Port"},
          {"ProviderName", "Microsoft"},
          {"InfPath", "MSPORTS.INF"},
          {"InfSection", "LptPort"},
          {"MatchingDeviceId", "*PNP0400"},
          {"DevLoader", "*vcomm"},
          {"PortDriver", "lpt.vxd"},
          {"Contention", "*vpd"}});
}

void SeedNt(const std::string& hklm, const std::string& cv) {
    const std::string win = WindowsDir();
    const std::string common = win + "\\Profiles\\All Users";
    Seed(cv + "\\Explorer\\Shell Folders",
         {{"Common Desktop", common + "\\Desktop"},
          {"Common Programs", common + "\\Start Menu\\Programs"},
          {"Common Start Menu", common + "\\Start Menu"},
          {"Common Startup", common + "\\Start Menu\\Programs\\Startup"}});
    MakeFolders(common + "\\Desktop");
    MakeFolders(common + "\\Start Menu\\Programs\\Startup");

    const std::string ntcv = hklm + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    Seed(ntcv, {{"CurrentVersion", "4.0"}, {"CurrentBuildNumber", "1381"}, {"SystemRoot", win}});
    Seed(ntcv + "\\Windows", {{"AppInit_DLLs", ""},
                              {"DeviceNotSelectedTimeout", "15"},
                              {"Spooler", "yes"},
                              {"TransmissionRetryTimeout", "90"}});
    for (const char* sub : {"Windows", "Devices", "PrinterPorts"})
        Seed(std::string("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\") +
             sub);

    const std::string ccs = hklm + "SYSTEM\\CurrentControlSet";
    const std::string print = ccs + "\\Control\\Print";
    const std::string x86 = print + "\\Environments\\Windows NT x86";
    Seed(x86, {{"Directory", "w32x86"}});
    Seed(x86 + "\\Drivers\\Version-2");
    Seed(x86 + "\\Print Processors\\winprint", {{"Driver", "winprint.dll"}});
    Seed(print + "\\Monitors\\Local Port", {{"Driver", "localmon.dll"}});
    Seed(print + "\\Printers", {{"DefaultSpoolDirectory", SystemDir() + "\\spool\\PRINTERS"}});
    // The list of renames for the next start: only administrators may add to it.
    Protect(Seed(ccs + "\\Control\\Session Manager"), kAdminsOnlySddl);
    // The current hardware profile (HKEY_CURRENT_CONFIG) with the two keys NT 4.0 gives it.
    Seed(ccs + "\\Hardware Profiles\\Current\\Software");
    Seed(ccs + "\\Hardware Profiles\\Current\\System");
    Seed(ccs + "\\Services");
    // NT 4.0 keeps the device tree to the system: administrators may only read it.
    for (const std::string& path : {ccs + "\\Enum", ccs + "\\Enum\\Root"})
        Protect(Seed(path), kProtectedSddl);
}

void Seed9x(const std::string& hklm, const std::string& user) {
    const std::string ccs = hklm + "System\\CurrentControlSet";
    const std::string print = ccs + "\\control\\Print";
    Seed(ccs + "\\Services\\Class");
    Seed(print + "\\Environments\\Windows 4.0\\Drivers");
    Seed(print + "\\Environments\\Windows 4.0\\Print Processors");
    Seed(print + "\\Monitors\\Local Port");
    Seed(print + "\\Printers");
    Seed(hklm + "Enum\\BIOS");
    Seed(hklm + "Enum\\Root");
    SeedParallelPortEnum(hklm);
    Seed(hklm + "Config\\0001");
    if (GetSetting("machine", "network", "1") == "1")
        Seed(hklm + "Network\\Logon",
             {{"username", user}, {"PrimaryProvider", "Microsoft Network"}});
}

} // namespace

namespace winsim {

void SeedFreshRegistry(Os os) {
    const bool nt = os == Os::Nt4;
    const bool win95 = os == Os::Win95;
    const std::string win = WindowsDir();
    const std::string user = GetSetting("machine", "user", "Administrator");
    const std::string hklm = "HKEY_LOCAL_MACHINE\\";
    const std::string cv = hklm + "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

    Seed(hklm + "SOFTWARE\\Classes\\CLSID");
    Key* k = Seed(cv, {{"ProgramFilesDir", "C:\\Program Files"},
                       {"CommonFilesDir", "C:\\Program Files\\Common Files"}});
    if (nt) {
        k->SetValue("DevicePath", REG_EXPAND_SZ, TextBytes("%SystemRoot%\\inf"));
    } else {
        SetTexts(k, {{"SystemRoot", win},
                     {"DevicePath", win + "\\INF"},
                     {"Version", win95 ? "Windows 95" : "Windows 98"},
                     {"VersionNumber", win95 ? "4.00.950" : "4.10.1998"},
                     {"ProductName", win95 ? "Microsoft Windows 95" : "Microsoft Windows 98"}});
    }
    for (const char* sub : {"App Paths", "Run", "RunOnce", "SharedDLLs", "Uninstall"})
        Seed(cv + "\\" + sub);

    // Shell folders: NT 4.0 keeps them in per-user profiles below the Windows directory,
    // 95/98 (without user profiles) directly in it.
    const std::string userRoot = nt ? win + "\\Profiles\\" + user : win;
    const std::string startup = nt ? "Startup" : "StartUp";
    Seed("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
         {{"Desktop", userRoot + "\\Desktop"},
          {"Programs", userRoot + "\\Start Menu\\Programs"},
          {"Start Menu", userRoot + "\\Start Menu"},
          {"Startup", userRoot + "\\Start Menu\\Programs\\" + startup}});
    MakeFolders(userRoot + "\\Desktop");
    MakeFolders(userRoot + "\\Start Menu\\Programs\\" + startup);
    Seed("HKEY_USERS\\.Default");

    if (nt)
        SeedNt(hklm, cv);
    else
        Seed9x(hklm, user);
    // After the system's own keys, so that the keys above it keep that system's spelling.
    Seed(kComputerNameKey, {{"ComputerName", kFreshComputerName}});
}

} // namespace winsim
