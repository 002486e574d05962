// Document settings: the DEVMODE a printer's driver gives a document, DocumentPropertiesA that
// hands it out and merges a program's changes, and DeviceCapabilitiesA that tells what the driver
// can do. Every printer of the machine answers as the same plain monochrome laser driver: the
// paper sizes below, one automatic bin, 300 and 600 dots per inch.
#include "pack.h"
#include "spooler.h"

#include "../nls.h"

#include <winuser.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

namespace winsim::spooler {

namespace {

constexpr short kPapers[] = {DMPAPER_LETTER, DMPAPER_LEGAL,  DMPAPER_EXECUTIVE,
                             DMPAPER_A4,     DMPAPER_A5,     DMPAPER_B5,
                             DMPAPER_ENV_10, DMPAPER_ENV_DL, DMPAPER_ENV_C5,
                             DMPAPER_ENV_MONARCH};
constexpr short kMaxCopies = 99;
constexpr LONG kResolutions[][2] = {{600, 600}, {300, 300}};
constexpr char kBinName[] = "Automatically Select";
constexpr size_t kPaperNameSize = 64, kBinNameSize = 24, kFileNameSize = 64;

bool Supported(short paper) {
    return std::find(std::begin(kPapers), std::end(kPapers), paper) != std::end(kPapers);
}

// The printer a document call names: a handle's, else the local printer or (NT) connection of
// that name. False with the error set.
bool DocumentPrinter(HANDLE hPrinter, LPCSTR name, PrinterView* v) {
    if (hPrinter) {
        const PrinterHandle* h = HandleOf(hPrinter);
        if (!h || h->kind == PrinterHandle::Server) return Fail(ERROR_INVALID_HANDLE);
        return HandleView(*h, v);
    }
    PrinterRec p;
    ConnectionRec c;
    if (FindByName(LocalPrinters(), Str(name), &p)) {
        static_cast<PrinterRec&>(*v) = p;
    } else if (IsNT() && FindConnection(Str(name), &c)) {
        *v = ViewOf(c, ProfileDefault());
    } else {
        return Fail(ERROR_INVALID_PRINTER_NAME);
    }
    return true;
}

// The program's settings taken over where the driver has the field and can do what is asked;
// anything else keeps the driver's value.
void Merge(const DEVMODEA& in, DEVMODEA* dm) {
    const DWORD fields = in.dmFields & dm->dmFields;
    if (fields & DM_ORIENTATION &&
        (in.dmOrientation == DMORIENT_PORTRAIT || in.dmOrientation == DMORIENT_LANDSCAPE))
        dm->dmOrientation = in.dmOrientation;
    if (fields & DM_PAPERSIZE && Supported(in.dmPaperSize)) dm->dmPaperSize = in.dmPaperSize;
    if (fields & DM_COPIES && in.dmCopies >= 1 && in.dmCopies <= kMaxCopies)
        dm->dmCopies = in.dmCopies;
}

// `count` items of `size` bytes each into the caller's buffer when there is one; the count.
template <class Item> int Answer(const std::vector<Item>& items, LPSTR out) {
    if (out && !items.empty()) std::memcpy(out, items.data(), items.size() * sizeof(Item));
    return static_cast<int>(items.size());
}

// Names in fixed fields of `size` characters, cut to fit with their terminator.
int Names(const std::vector<std::string>& names, size_t size, LPSTR out, Charset cs) {
    const size_t bytes = size * (cs == Charset::Wide ? sizeof(WCHAR) : 1);
    for (size_t i = 0; out && i < names.size(); ++i) {
        char* field = out + i * bytes;
        std::memset(field, 0, bytes);
        WriteText(field, names[i].substr(0, size - 1), cs);
    }
    return static_cast<int>(names.size());
}

// The version of a printer's driver, 0 when there is none. Printers mostly share a driver (an
// enumeration asks for each), so the last one read is kept while the registry does not change.
WORD DriverVersion(std::string_view driver) {
    struct Last {
        bool valid = false;
        uint64_t changes = 0;
        std::string driver;
        WORD version = 0;
    };
    static Last& last = *new Last; // never destroyed: the machine may close at exit
    if (last.valid && last.changes == SysRegistryChanges() && last.driver == driver)
        return last.version;
    DriverRec d;
    last.version = FindDriver(OwnEnv(), std::string(driver), &d) ? static_cast<WORD>(d.version) : 0;
    last.driver = driver;
    last.changes = SysRegistryChanges();
    last.valid = true;
    return last.version;
}

// A DEVMODE in the other character set: its two names converted character by character, the
// fields between and after them copied (they are the same in both).
template <class To, class From, class Convert> To OtherDevMode(const From& from, Convert convert) {
    To to{};
    for (size_t i = 0; i < CCHDEVICENAME; ++i)
        to.dmDeviceName[i] = convert(from.dmDeviceName[i]);
    for (size_t i = 0; i < CCHFORMNAME; ++i)
        to.dmFormName[i] = convert(from.dmFormName[i]);
    std::memcpy(&to.dmSpecVersion, &from.dmSpecVersion,
                offsetof(From, dmFormName) - offsetof(From, dmSpecVersion));
    std::memcpy(&to.dmLogPixels, &from.dmLogPixels, sizeof from - offsetof(From, dmLogPixels));
    to.dmSize = sizeof to;
    return to;
}

DEVMODEA AnsiDevMode(const DEVMODEW& w) {
    return OtherDevMode<DEVMODEA>(w, [](WCHAR c) { return static_cast<BYTE>(AnsiChar(c)); });
}

// DocumentPropertiesA's and DocumentPropertiesW's work; `in` already in code page 1252.
LONG DocumentProperties(Charset cs, HANDLE hPrinter, LPCSTR name, void* out,
                        const DEVMODEA* in, DWORD fMode) {
    PrinterView v;
    if (!DocumentPrinter(hPrinter, name, &v)) return -1;
    DEVMODEA dm = DefaultDevMode(v.name, v.driver);
    const LONG size = static_cast<LONG>(cs == Charset::Wide ? sizeof(DEVMODEW) : sizeof dm);
    if (fMode == 0) return size + dm.dmDriverExtra;
    if (fMode & DM_IN_PROMPT) return IDCANCEL;
    if (fMode & DM_IN_BUFFER && in) Merge(*in, &dm);
    if (fMode & DM_OUT_BUFFER) {
        if (!out) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        WriteDevMode(out, dm, cs);
    }
    return IDOK;
}

} // namespace

DEVMODEA DefaultDevMode(std::string_view name, std::string_view driver) {
    DEVMODEA dm{};
    // The name is cut to fit the field with its terminator.
    std::memcpy(dm.dmDeviceName, name.data(), std::min<size_t>(name.size(), CCHDEVICENAME - 1));
    dm.dmSpecVersion = IsNT() ? DM_SPECVERSION : 0x0400; // 95/98 know the 4.00 layout
    dm.dmDriverVersion = DriverVersion(driver);
    dm.dmSize = sizeof dm;
    dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE |
                  DM_PRINTQUALITY | DM_COLOR | DM_TTOPTION;
    dm.dmOrientation = DMORIENT_PORTRAIT;
    dm.dmPaperSize = DMPAPER_LETTER;
    dm.dmScale = 100;
    dm.dmCopies = 1;
    dm.dmDefaultSource = DMBIN_AUTO;
    dm.dmPrintQuality = DMRES_HIGH;
    dm.dmColor = DMCOLOR_MONOCHROME;
    dm.dmTTOption = DMTT_DOWNLOAD;
    return dm;
}

void WriteDevMode(void* at, const DEVMODEA& dm, Charset cs) {
    if (cs == Charset::Ansi) {
        std::memcpy(at, &dm, sizeof dm);
        return;
    }
    const DEVMODEW w = OtherDevMode<DEVMODEW>(dm, [](BYTE c) { return WideChar(c); });
    std::memcpy(at, &w, sizeof w);
}

namespace {

// DeviceCapabilitiesA's and DeviceCapabilitiesW's work: names in the caller's characters.
int DeviceCapabilities(Charset cs, LPCSTR pDevice, WORD fwCapability, LPSTR pOutput) {
    PrinterView v;
    if (!DocumentPrinter(nullptr, pDevice, &v)) return -1;
    const DEVMODEA dm = DefaultDevMode(v.name, v.driver);
    switch (fwCapability) {
    case DC_FIELDS:
        // NT's drivers name their forms too.
        return static_cast<int>(dm.dmFields | (IsNT() ? DM_FORMNAME : 0));
    case DC_PAPERS:
        return Answer(std::vector<WORD>(std::begin(kPapers), std::end(kPapers)), pOutput);
    case DC_PAPERSIZE:
    case DC_MINEXTENT:
    case DC_MAXEXTENT: {
        // Tenths of a millimetre.
        std::vector<POINT> sizes;
        POINT least{INT_MAX, INT_MAX}, most{0, 0};
        for (short paper : kPapers) {
            LONG w = 0, h = 0;
            FormSize(paper, &w, &h);
            sizes.push_back(POINT{w / 100, h / 100});
            least = POINT{std::min(least.x, w / 100), std::min(least.y, h / 100)};
            most = POINT{std::max(most.x, w / 100), std::max(most.y, h / 100)};
        }
        if (fwCapability == DC_PAPERSIZE) return Answer(sizes, pOutput);
        const POINT& p = fwCapability == DC_MINEXTENT ? least : most;
        return static_cast<int>(MAKELONG(p.x, p.y));
    }
    case DC_PAPERNAMES: {
        std::vector<std::string> names;
        for (short paper : kPapers)
            names.push_back(FormName(paper));
        return Names(names, kPaperNameSize, pOutput, cs);
    }
    case DC_BINS:
        return Answer(std::vector<WORD>{DMBIN_AUTO}, pOutput);
    case DC_BINNAMES:
        return Names({kBinName}, kBinNameSize, pOutput, cs);
    case DC_ENUMRESOLUTIONS: {
        std::vector<LONG> pairs;
        for (const auto& r : kResolutions)
            pairs.insert(pairs.end(), {r[0], r[1]});
        Answer(pairs, pOutput);
        return static_cast<int>(pairs.size() / 2);
    }
    case DC_FILEDEPENDENCIES: {
        DriverRec d;
        FindDriver(OwnEnv(), v.driver, &d);
        return Names(d.dependents, kFileNameSize, pOutput, cs);
    }
    case DC_DUPLEX:
    case DC_COLLATE:
    case DC_EXTRA:
        return 0;
    case DC_SIZE:
        return cs == Charset::Wide ? static_cast<int>(sizeof(DEVMODEW)) : dm.dmSize;
    case DC_VERSION:
        return dm.dmSpecVersion;
    case DC_DRIVER:
        return dm.dmDriverVersion;
    case DC_TRUETYPE:
        return DCTT_DOWNLOAD;
    case DC_ORIENTATION:
        return 90; // landscape turns the page counterclockwise
    case DC_COPIES:
        return kMaxCopies;
    default:
        return -1;
    }
}

} // namespace

extern "C" {

// The driver's own dialog (DM_IN_PROMPT) has no user to answer it: it is cancelled, and the
// output is left alone.
LONG WINAPI DocumentPropertiesA(HWND hWnd, HANDLE hPrinter, LPSTR pDeviceName,
                                PDEVMODEA pDevModeOutput, PDEVMODEA pDevModeInput, DWORD fMode) {
    (void)hWnd;
    Require();
    WINSIM_FAILPOINT(-1);
    return DocumentProperties(Charset::Ansi, hPrinter, pDeviceName, pDevModeOutput, pDevModeInput,
                              fMode);
}

// 95/98 export it as a stub.
LONG WINAPI DocumentPropertiesW(HWND hWnd, HANDLE hPrinter, LPWSTR pDeviceName,
                                PDEVMODEW pDevModeOutput, PDEVMODEW pDevModeInput, DWORD fMode) {
    (void)hWnd;
    Require();
    WINSIM_FAILPOINT(-1);
    if (!IsNT()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return -1;
    }
    DEVMODEA in{};
    if (pDevModeInput) in = AnsiDevMode(*pDevModeInput);
    return DocumentProperties(Charset::Wide, hPrinter, NarrowArg(pDeviceName).get(),
                              pDevModeOutput, pDevModeInput ? &in : nullptr, fMode);
}

// The port is not looked at: a printer's driver answers the same on any port. A capability the
// driver does not have answers -1.
int WINAPI DeviceCapabilitiesA(LPCSTR pDevice, LPCSTR pPort, WORD fwCapability, LPSTR pOutput,
                               const DEVMODEA* pDevMode) {
    (void)pPort;
    (void)pDevMode;
    Require();
    WINSIM_FAILPOINT(-1);
    return DeviceCapabilities(Charset::Ansi, pDevice, fwCapability, pOutput);
}

// 95/98 export it as a stub.
int WINAPI DeviceCapabilitiesW(LPCWSTR pDevice, LPCWSTR pPort, WORD fwCapability,
                               LPWSTR pOutput, const DEVMODEW* pDevMode) {
    (void)pPort;
    (void)pDevMode;
    Require();
    WINSIM_FAILPOINT(-1);
    if (!IsNT()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return -1;
    }
    return DeviceCapabilities(Charset::Wide, NarrowArg(pDevice).get(), fwCapability,
                              reinterpret_cast<LPSTR>(pOutput));
}

} // extern "C"

} // namespace winsim::spooler
