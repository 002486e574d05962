// Printers: their records under the spooler's Printers key, their handles, the default printer
// (WIN.INI [windows] device=), and the calls that add, open, read, change and delete them.
#include "pack.h"
#include "spooler.h"

#include "../nls.h"

#include "../security/descriptor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <tuple>
#include <utility>

namespace winsim::spooler {

namespace {

// ---- records --------------------------------------------------------------------------------

// The printer's values in the order Windows writes them: the texts, "Name" first, then the
// numbers.
constexpr std::string_view kValueNames[] = {"Name",
                                            "Share Name",
                                            "Port",
                                            "Printer Driver",
                                            "Description",
                                            "Location",
                                            "Separator File",
                                            "Print Processor",
                                            "Datatype",
                                            "Parameters",
                                            "Attributes",
                                            "Priority",
                                            "Default Priority",
                                            "StartTime",
                                            "UntilTime",
                                            "Status"};
constexpr size_t kTextValues = 10;
constexpr size_t kValues = std::size(kValueNames);

// The fields of `p` (a PrinterFields) that hold the values, in that order.
template <class P> auto TextFields(P& p) {
    return std::array{&p.name,     &p.share,   &p.port,      &p.driver,   &p.comment,
                      &p.location, &p.sepFile, &p.processor, &p.datatype, &p.parameters};
}
template <class P> auto NumberFields(P& p) {
    return std::array{&p.attributes, &p.priority,  &p.defaultPriority,
                      &p.startTime,  &p.untilTime, &p.status};
}
static_assert(std::tuple_size_v<decltype(TextFields(std::declval<PrinterRec&>()))> == kTextValues &&
                  std::tuple_size_v<decltype(NumberFields(std::declval<PrinterRec&>()))> ==
                      kValues - kTextValues,
              "a field for each value");

// Which of the printer's values `name` is (kValues for none); `expected`, the one after the value
// found last, is tried first.
size_t ValueSlot(std::string_view name, size_t expected) {
    if (expected < kValues && IEquals(name, kValueNames[expected])) return expected;
    for (size_t i = 0; i < kValues; ++i)
        if (IEquals(name, kValueNames[i])) return i;
    return kValues;
}

// A printer's record from its key's values, in one pass over them: copied (PrinterRec) or read
// in place (PrinterFields<std::string_view>). A text missing is empty, a number 0, the name the
// key's.
template <class S>
void ReadPrinter(std::string_view keyName, const std::vector<SysValue>& values,
                 PrinterFields<S>* p) {
    const auto texts = TextFields(*p);
    const auto numbers = NumberFields(*p);
    for (S* t : texts)
        *t = S();
    for (DWORD* n : numbers)
        *n = 0;
    p->name = S(keyName);
    size_t expected = 0;
    for (const SysValue& v : values) {
        const size_t slot = ValueSlot(v.name, expected);
        if (slot == kValues) continue;
        expected = slot + 1;
        if (slot < kTextValues)
            *texts[slot] = S(Values::TextOf(v));
        else
            *numbers[slot - kTextValues] = Values::NumberOf(v);
    }
}

bool LoadPrinter(const std::string& keyName, PrinterRec* p) {
    const std::vector<SysValue>* values = SysValuesOf(PrintersKey() + "\\" + keyName);
    if (!values) return false;
    ReadPrinter(keyName, *values, p);
    return true;
}

void StorePrinter(const PrinterRec& p) {
    const std::string key = PrintersKey() + "\\" + p.name;
    SysCreateKey(key);
    // The names are literals, so each view ends in its terminator.
    const auto texts = TextFields(p);
    for (size_t i = 0; i < kTextValues; ++i)
        PutText(key, kValueNames[i].data(), *texts[i]);
    const auto numbers = NumberFields(p);
    for (size_t i = kTextValues; i < kValues; ++i)
        PutNumber(key, kValueNames[i].data(), *numbers[i - kTextValues]);
}

bool FindPrinter(const std::string& name, PrinterRec* p) {
    if (name.empty() || name.find('\\') != std::string::npos) return false;
    return LoadPrinter(name, p);
}

// ---- the default printer --------------------------------------------------------------------
// NT 4.0 keeps it only as WIN.INI [windows] device= (which NT's profile mapping keeps in the
// user's registry); 95/98 as the printer's default attribute, with the device= line kept in step
// for older programs.

// 95/98: `p` becomes the default; the attribute leaves every other printer.
void MakeDefault95(const PrinterRec& p) {
    for (PrinterRec other : LocalPrinters()) {
        if (IEquals(other.name, p.name) || !(other.attributes & PRINTER_ATTRIBUTE_DEFAULT))
            continue;
        other.attributes &= ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT);
        PutNumber(PrintersKey() + "\\" + other.name, "Attributes", other.attributes);
    }
    DriverRec d;
    std::string drv = FindDriver(OwnEnv(), p.driver, &d) ? FileName(d.file) : p.driver;
    drv = drv.substr(0, drv.find('.'));
    std::vector<std::string> ports = SplitPorts(p.port);
    WinIniSet("windows", "device", p.name + "," + drv + "," + (ports.empty() ? "" : ports[0]));
}

// A renamed default printer stays the default: the device line takes the new name.
void RenameDefault(const std::string& name) {
    std::string v;
    WinIniGet("windows", "device", &v);
    size_t comma = v.find(',');
    WinIniSet("windows", "device", name + (comma == std::string::npos ? "" : v.substr(comma)));
}

// ---- records of every level -----------------------------------------------------------------

PrinterView ViewOf(PrinterRec p, const std::string& profileDefault) {
    PrinterView v;
    static_cast<PrinterRec&>(v) = std::move(p);
    v.attributes = ReportedAttributes(v.name, v.attributes, profileDefault);
    return v;
}

// A view read in place, for packing.
PrinterRef RefOf(const PrinterView& v) {
    PrinterRef r;
    static_cast<PrinterFields<std::string_view>&>(r) = PrinterFields<std::string_view>(v);
    r.server = v.server;
    return r;
}

// The local printers' records read where the registry holds them (their texts point into its
// values), with the attributes they keep. Read again whenever the registry changed since the last
// read: SysRegistryChanges() counts every change of a key, a value or the whole tree (a machine
// opened), and nothing else changes the registry while this process holds the machine.
const std::vector<PrinterRef>& LocalPrinterRefs() {
    struct Read {
        bool valid = false;
        uint64_t changes = 0;
        std::vector<PrinterRef> list;
    };
    static Read& read = *new Read; // never destroyed: the machine may close at exit
    if (read.valid && read.changes == SysRegistryChanges()) return read.list;
    read.list.clear();
    SysEachSubkey(PrintersKey(),
                  [](const std::string& keyName, const std::vector<SysValue>& values) {
                      read.list.emplace_back();
                      ReadPrinter(keyName, values, &read.list.back());
                  });
    read.changes = SysRegistryChanges();
    read.valid = true;
    return read.list;
}

// A printer's security as NT 4.0 gives a new one: Administrators own it and may do anything,
// everyone may print. Self-relative, as the spooler hands it out.
std::string DefaultSecurity() {
    KeySecurity sec;
    sec.owner = SidAdministrators();
    sec.dacl = DaclKind::List;
    sec.aces.push_back(Ace{ACCESS_ALLOWED_ACE_TYPE, 0, PRINTER_ALL_ACCESS, SidAdministrators()});
    sec.aces.push_back(Ace{ACCESS_ALLOWED_ACE_TYPE, 0, PRINTER_ACCESS_USE, SidEveryone()});
    const std::vector<uint8_t> bytes =
        MakeSelfRelative(&sec, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
    return std::string(bytes.begin(), bytes.end());
}

// The W records are built as the A ones (pack.h): the same layout, field for field.
static_assert(sizeof(PRINTER_INFO_1A) == sizeof(PRINTER_INFO_1W) &&
                  sizeof(PRINTER_INFO_2A) == sizeof(PRINTER_INFO_2W) &&
                  offsetof(PRINTER_INFO_2A, pDevMode) == offsetof(PRINTER_INFO_2W, pDevMode) &&
                  sizeof(PRINTER_INFO_4A) == sizeof(PRINTER_INFO_4W) &&
                  sizeof(PRINTER_INFO_5A) == sizeof(PRINTER_INFO_5W),
              "the W printer records are the A ones with wide texts");

// The records of `views` at `level`, the attributes as reported with `profileDefault` (which
// ProfileDefault() gave).
BOOL PackPrinters(const std::vector<const PrinterRef*>& views, const std::string& profileDefault,
                  DWORD level, LPBYTE buf, DWORD cb, LPDWORD needed, LPDWORD returned, Charset cs) {
    auto attributes = [&profileDefault](const PrinterRef& v) {
        return ReportedAttributes(v.name, v.attributes, profileDefault);
    };
    switch (level) {
    case 1:
        return PackEach<PRINTER_INFO_1A>(
            views, buf, cb, needed, returned,
            [&](auto& b, const PrinterRef* r) {
                const PrinterRef& v = *r;
                b.fixed.Flags = PRINTER_ENUM_ICON8;
                std::string description(v.name);
                description.append(",").append(v.driver).append(",").append(v.location);
                b.Text(&PRINTER_INFO_1A::pDescription, description)
                    .Text(&PRINTER_INFO_1A::pName, v.name)
                    .Text(&PRINTER_INFO_1A::pComment, v.comment);
            },
            cs);
    case 2:
        return PackEach<PRINTER_INFO_2A>(
            views, buf, cb, needed, returned,
            [&](auto& b, const PrinterRef* r) {
                const PrinterRef& v = *r;
                PRINTER_INFO_2A& f = b.fixed;
                f.Attributes = attributes(v);
                f.Priority = v.priority;
                f.DefaultPriority = v.defaultPriority;
                f.StartTime = v.startTime;
                f.UntilTime = v.untilTime;
                f.Status = v.status;
                b.TextOrNull(&PRINTER_INFO_2A::pServerName, v.server)
                    .Text(&PRINTER_INFO_2A::pPrinterName, v.name)
                    .Text(&PRINTER_INFO_2A::pShareName, v.share)
                    .Text(&PRINTER_INFO_2A::pPortName, v.port)
                    .Text(&PRINTER_INFO_2A::pDriverName, v.driver)
                    .Text(&PRINTER_INFO_2A::pComment, v.comment)
                    .Text(&PRINTER_INFO_2A::pLocation, v.location)
                    .Text(&PRINTER_INFO_2A::pSepFile, v.sepFile)
                    .Text(&PRINTER_INFO_2A::pPrintProcessor, v.processor)
                    .Text(&PRINTER_INFO_2A::pDatatype, v.datatype)
                    .Text(&PRINTER_INFO_2A::pParameters, v.parameters)
                    .DevMode(&PRINTER_INFO_2A::pDevMode,
                             [&v] { return DefaultDevMode(v.name, v.driver); });
            },
            cs);
    case 3: // NT only; GetPrinterA decides
        return PackEach<PRINTER_INFO_3>(
            views, buf, cb, needed, returned,
            [](auto& b, const PrinterRef*) {
                b.Block(&PRINTER_INFO_3::pSecurityDescriptor, DefaultSecurity());
            },
            cs);
    case 4:
        return PackEach<PRINTER_INFO_4A>(
            views, buf, cb, needed, returned,
            [&](auto& b, const PrinterRef* r) {
                const PrinterRef& v = *r;
                b.fixed.Attributes = attributes(v);
                b.Text(&PRINTER_INFO_4A::pPrinterName, v.name)
                    .TextOrNull(&PRINTER_INFO_4A::pServerName, v.server);
            },
            cs);
    case 5:
        return PackEach<PRINTER_INFO_5A>(
            views, buf, cb, needed, returned,
            [&](auto& b, const PrinterRef* r) {
                const PrinterRef& v = *r;
                b.fixed.Attributes = attributes(v);
                b.fixed.DeviceNotSelectedTimeout = 15000;
                b.fixed.TransmissionRetryTimeout = 45000;
                b.Text(&PRINTER_INFO_5A::pPrinterName, v.name)
                    .Text(&PRINTER_INFO_5A::pPortName, v.port);
            },
            cs);
    default:
        return NoSuchLevel(needed, returned);
    }
}

bool KnownLevel(DWORD level) {
    return level == 1 || level == 2 || level == 4 || level == 5;
}

// ---- handles --------------------------------------------------------------------------------

std::map<uint32_t, PrinterHandle>& Handles() {
    static auto* handles = new std::map<uint32_t, PrinterHandle>;
    return *handles;
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { Handles().clear(); }}), true);

HANDLE NewHandle(const PrinterHandle& h) {
    uint32_t n = NextHandleNumber();
    Handles()[n] = h;
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(n));
}

// The printer that SetPrinterA or DeletePrinter changes: a local printer's handle that holds
// `right`, and the printer as it stands now. False with the error set.
bool ChangingPrinter(HANDLE hPrinter, ACCESS_MASK right, PrinterHandle** ph, PrinterRec* rec) {
    PrinterHandle* h = HandleOf(hPrinter);
    if (!h || h->kind == PrinterHandle::Server) return Fail(ERROR_INVALID_HANDLE);
    if (h->kind == PrinterHandle::Connection || !(h->access & right))
        return Fail(ERROR_ACCESS_DENIED);
    if (h->deleted || !FindPrinter(h->name, rec)) return Fail(ERROR_INVALID_PRINTER_NAME);
    *ph = h;
    return true;
}

// ---- checks ---------------------------------------------------------------------------------

bool ValidPrinterName(const std::string& name) {
    return !name.empty() && name.size() < MAX_PATH &&
           name.find_first_of("\\,!") == std::string::npos;
}

// The ports a printer may be put on: known ports, and on 95/98 also a share name.
DWORD CheckPorts(const std::string& ports) {
    std::vector<std::string> list = SplitPorts(ports);
    if (list.empty()) return ERROR_UNKNOWN_PORT;
    for (const std::string& p : list) {
        std::string server, share;
        if (!IsNT() && SplitShare(p, &server, &share)) continue;
        if (!FindPort(p, nullptr)) return ERROR_UNKNOWN_PORT;
    }
    return ERROR_SUCCESS;
}

// Checks a level-2 record against what the spooler holds; fills `out` from it.
DWORD CheckPrinterRecord(const PRINTER_INFO_2A& in, PrinterRec* out) {
    PrinterRec p;
    p.name = Str(in.pPrinterName);
    if (!ValidPrinterName(p.name)) return ERROR_INVALID_PRINTER_NAME;
    p.port = Str(in.pPortName);
    DWORD err = CheckPorts(p.port);
    if (err != ERROR_SUCCESS) return err;
    p.driver = Str(in.pDriverName);
    DriverRec d;
    if (!FindDriver(OwnEnv(), p.driver, &d)) return ERROR_UNKNOWN_PRINTER_DRIVER;
    p.processor = Str(in.pPrintProcessor);
    if (!FindProcessor(OwnEnv(), p.processor)) return ERROR_UNKNOWN_PRINTPROCESSOR;
    p.datatype = in.pDatatype && *in.pDatatype ? in.pDatatype : "RAW";
    p.share = Str(in.pShareName);
    p.comment = Str(in.pComment);
    p.location = Str(in.pLocation);
    p.sepFile = Str(in.pSepFile);
    p.parameters = Str(in.pParameters);
    p.attributes = in.Attributes;
    if (IsNT()) p.attributes &= ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT);
    p.priority = in.Priority ? in.Priority : 1;
    p.defaultPriority = in.DefaultPriority;
    p.startTime = in.StartTime;
    p.untilTime = in.UntilTime;
    p.status = in.Status;
    *out = p;
    return ERROR_SUCCESS;
}

// AddPrinterA's record, checked; false with the error set.
bool NewPrinter(DWORD level, LPBYTE record, PrinterRec* p) {
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (!record) return Fail(ERROR_INVALID_PARAMETER);
    if (!MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    PRINTER_INFO_2A in;
    std::memcpy(&in, record, sizeof in);
    PrinterRec existing;
    if (FindPrinter(Str(in.pPrinterName), &existing)) return Fail(ERROR_PRINTER_ALREADY_EXISTS);
    DWORD err = CheckPrinterRecord(in, p);
    return err == ERROR_SUCCESS || Fail(err);
}

// SetPrinterA's record for `p` at a level and with a command; false with the error set.
bool ChangedPrinter(const PrinterRec& p, DWORD level, LPBYTE record, DWORD command,
                    PrinterRec* next) {
    if (level != 0 && level != 2 && level != 5) return Fail(ERROR_INVALID_LEVEL);
    if (level != 0 && !record) return Fail(ERROR_INVALID_PARAMETER);
    if (command > PRINTER_CONTROL_SET_STATUS || (level == 0 && command == 0))
        return Fail(ERROR_INVALID_PRINTER_COMMAND);
    if (command == PRINTER_CONTROL_SET_STATUS && !record) return Fail(ERROR_INVALID_PARAMETER);

    *next = p;
    if (level == 2) {
        PRINTER_INFO_2A in;
        std::memcpy(&in, record, sizeof in);
        DWORD err = CheckPrinterRecord(in, next);
        if (err != ERROR_SUCCESS) return Fail(err);
        PrinterRec other;
        if (!IEquals(next->name, p.name) && FindPrinter(next->name, &other))
            return Fail(ERROR_PRINTER_ALREADY_EXISTS);
    } else if (level == 5) {
        PRINTER_INFO_5A in;
        std::memcpy(&in, record, sizeof in);
        DWORD err = CheckPorts(Str(in.pPortName));
        if (err != ERROR_SUCCESS) return Fail(err);
        next->port = Str(in.pPortName);
        next->attributes = in.Attributes;
        if (IsNT()) next->attributes &= ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT);
    }
    switch (command) {
    case PRINTER_CONTROL_PAUSE:
        next->status |= PRINTER_STATUS_PAUSED;
        break;
    case PRINTER_CONTROL_RESUME:
        next->status &= ~static_cast<DWORD>(PRINTER_STATUS_PAUSED);
        break;
    case PRINTER_CONTROL_SET_STATUS:
        std::memcpy(&next->status, record, sizeof next->status);
        break;
    default: // purge: no jobs are kept
        break;
    }
    return true;
}

// OpenPrinterA: the rights a handle holds, from those asked for (null: none asked for).
ACCESS_MASK WantedAccess(const ACCESS_MASK* desired) {
    ACCESS_MASK want = desired ? *desired : 0;
    if (want & (GENERIC_ALL | MAXIMUM_ALLOWED)) want |= PRINTER_ALL_ACCESS;
    if (want & GENERIC_WRITE) want |= PRINTER_ACCESS_ADMINISTER;
    if (want & (GENERIC_READ | GENERIC_EXECUTE)) want |= PRINTER_ACCESS_USE;
    want &= PRINTER_ALL_ACCESS | SERVER_ALL_ACCESS | WRITE_DAC | WRITE_OWNER;
    return want ? want : PRINTER_ACCESS_USE;
}

} // namespace

// ---- shared with the other kinds ------------------------------------------------------------

std::vector<PrinterRec> LocalPrinters() {
    const std::vector<PrinterRef>& refs = LocalPrinterRefs();
    std::vector<PrinterRec> list;
    list.reserve(refs.size());
    for (const PrinterRef& r : refs)
        list.emplace_back(r);
    return list;
}

std::string ProfileDefault() {
    std::string v;
    if (!WinIniGet("windows", "device", &v)) return "";
    return Trim(v.substr(0, v.find(',')));
}

std::string DefaultPrinterName() {
    if (IsNT()) return ProfileDefault();
    for (const PrinterRec& p : LocalPrinters())
        if (p.attributes & PRINTER_ATTRIBUTE_DEFAULT) return p.name;
    return "";
}

DWORD ReportedAttributes(std::string_view name, DWORD attributes,
                         const std::string& profileDefault) {
    if (!IsNT()) return attributes;
    DWORD a = attributes & ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT);
    if (IEquals(profileDefault, name)) a |= PRINTER_ATTRIBUTE_DEFAULT;
    return a;
}

void ForgetDefault(const std::string& name) {
    if (IEquals(ProfileDefault(), name)) WinIniDelete("windows", "device");
}

PrinterHandle* HandleOf(HANDLE h) {
    auto it = Handles().find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)));
    return it == Handles().end() ? nullptr : &it->second;
}

bool HandleView(const PrinterHandle& h, PrinterView* v) {
    if (h.kind == PrinterHandle::Connection) {
        ConnectionRec c;
        if (!FindConnection(h.name, &c) && !FindShare(h.name, &c))
            return Fail(ERROR_INVALID_PRINTER_NAME);
        *v = ViewOf(c, ProfileDefault());
    } else {
        PrinterRec p;
        if (h.deleted || !FindPrinter(h.name, &p)) return Fail(ERROR_INVALID_PRINTER_NAME);
        *v = ViewOf(p, ProfileDefault());
    }
    return true;
}

// ---- the calls ------------------------------------------------------------------------------
// The A and W forms of a call share its work; the W forms hand out wide texts.

namespace {

BOOL EnumPrintersAs(const char* function, Charset cs, DWORD Flags, LPCSTR Name, DWORD Level,
                    LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
    // The level is checked before the server here.
    if (!EnumReady(function, nullptr, pcbNeeded, pcReturned)) return FALSE;
    if (!KnownLevel(Level)) return Fail(ERROR_INVALID_LEVEL);
    if (!LocalServer(Name)) return FALSE;
    const std::string profile = ProfileDefault();
    std::vector<const PrinterRef*> views;
    if (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME)) {
        const std::vector<PrinterRef>& local = LocalPrinterRefs();
        views.reserve(local.size());
        for (const PrinterRef& p : local)
            views.push_back(&p);
    } else if (Flags & PRINTER_ENUM_DEFAULT) {
        const std::string def = DefaultPrinterName();
        for (const PrinterRef& p : LocalPrinterRefs())
            if (IEquals(p.name, def)) views.push_back(&p);
    }
    // Connections' records point into these.
    std::vector<PrinterView> connections;
    std::vector<PrinterRef> connectionRefs;
    if (Flags & PRINTER_ENUM_CONNECTIONS) {
        for (const ConnectionRec& c : Connections())
            connections.push_back(ViewOf(c, profile));
        for (const PrinterView& c : connections)
            connectionRefs.push_back(RefOf(c));
        for (const PrinterRef& c : connectionRefs)
            views.push_back(&c);
    }
    if (!PackPrinters(views, profile, Level, pPrinterEnum, cbBuf, pcbNeeded, pcReturned, cs))
        return FALSE;
    // Finding nothing is reported as a success that clears the last error.
    if (views.empty()) SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL OpenPrinterAs(const char* function, LPCSTR pPrinterName, LPHANDLE phPrinter,
                   const ACCESS_MASK* desiredAccess) {
    if (phPrinter) *phPrinter = nullptr;
    if (!Begin(function)) return FALSE;
    if (!phPrinter) return Fail(ERROR_INVALID_PARAMETER);
    const ACCESS_MASK want = WantedAccess(desiredAccess);
    const ACCESS_MASK adminRights =
        PRINTER_ACCESS_ADMINISTER | SERVER_ACCESS_ADMINISTER | DELETE | WRITE_DAC | WRITE_OWNER;
    PrinterHandle h;
    const std::string name = Str(pPrinterName);
    PrinterRec p;
    ConnectionRec c;
    if (!pPrinterName) {
        h.kind = PrinterHandle::Server;
    } else if (name.empty()) {
        // Only a null name means the server; an empty one is a bad name, and 95/98 call it a
        // bad parameter.
        return Fail(IsNT() ? ERROR_INVALID_PRINTER_NAME : ERROR_INVALID_PARAMETER);
    } else if (FindPrinter(name, &p)) {
        h.kind = PrinterHandle::Local;
        h.name = p.name;
    } else if (IsNT() && (FindConnection(name, &c) || FindShare(name, &c))) {
        h.kind = PrinterHandle::Connection;
        h.name = c.name;
    } else {
        return Fail(ERROR_INVALID_PRINTER_NAME);
    }
    if (IsNT() && (want & adminRights) && !MayAdminister()) return Fail(ERROR_ACCESS_DENIED);
    // No printer's security grants rights outside the spooler's, the standard and the generic
    // ones (the system's audit right among them).
    const ACCESS_MASK grantable = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                                  MAXIMUM_ALLOWED | STANDARD_RIGHTS_ALL | SERVER_ALL_ACCESS |
                                  PRINTER_ALL_ACCESS;
    if (IsNT() && desiredAccess && (*desiredAccess & ~grantable)) return Fail(ERROR_ACCESS_DENIED);
    h.access = IsNT() ? want : PRINTER_ALL_ACCESS | SERVER_ALL_ACCESS;
    *phPrinter = NewHandle(h);
    return TRUE;
}

BOOL GetPrinterAs(const char* function, Charset cs, HANDLE hPrinter, DWORD Level,
                  LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    if (!GetReady(function, pcbNeeded)) return FALSE;
    PrinterHandle* h = HandleOf(hPrinter);
    if (!h || h->kind == PrinterHandle::Server) return Fail(ERROR_INVALID_HANDLE);
    // Only NT keeps a printer's security, and only a single printer's is asked for.
    if (!KnownLevel(Level) && !(Level == 3 && IsNT())) return Fail(ERROR_INVALID_LEVEL);
    PrinterView v;
    if (!HandleView(*h, &v)) return FALSE;
    const PrinterRef r = RefOf(v);
    return PackPrinters({&r}, ProfileDefault(), Level, pPrinter, cbBuf, pcbNeeded, nullptr, cs);
}

} // namespace

extern "C" {

BOOL WINAPI EnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
    return EnumPrintersAs(WINSIM_API_NAME(), Charset::Ansi, Flags, Name, Level, pPrinterEnum,
                          cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
    const char* function = WINSIM_API_NAME();
    if (!WideFormOnNt(function)) return FALSE;
    return EnumPrintersAs(function, Charset::Wide, Flags, NarrowArg(Name).get(), Level,
                          pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
}

HANDLE WINAPI AddPrinterA(LPSTR pName, DWORD Level, LPBYTE pPrinter) {
    PrinterRec p;
    if (!Begin(WINSIM_API_NAME(), pName) || !NewPrinter(Level, pPrinter, &p)) return nullptr;
    StorePrinter(p);
    if (!IsNT() && (p.attributes & PRINTER_ATTRIBUTE_DEFAULT)) MakeDefault95(p);
    return NewHandle(PrinterHandle{PrinterHandle::Local, p.name, PRINTER_ALL_ACCESS, false});
}

BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA pDefault) {
    return OpenPrinterAs(WINSIM_API_NAME(), pPrinterName, phPrinter,
                         pDefault ? &pDefault->DesiredAccess : nullptr);
}

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
    const char* function = WINSIM_API_NAME();
    if (!WideFormOnNt(function)) return FALSE;
    return OpenPrinterAs(function, NarrowArg(pPrinterName).get(), phPrinter,
                         pDefault ? &pDefault->DesiredAccess : nullptr);
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    if (!Begin(WINSIM_API_NAME())) return FALSE;
    auto it = Handles().find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hPrinter)));
    if (it == Handles().end()) return Fail(ERROR_INVALID_HANDLE);
    Handles().erase(it);
    return TRUE;
}

BOOL WINAPI GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
    return GetPrinterAs(WINSIM_API_NAME(), Charset::Ansi, hPrinter, Level, pPrinter, cbBuf,
                        pcbNeeded);
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
    const char* function = WINSIM_API_NAME();
    if (!WideFormOnNt(function)) return FALSE;
    return GetPrinterAs(function, Charset::Wide, hPrinter, Level, pPrinter, cbBuf,
                        pcbNeeded);
}

BOOL WINAPI SetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    if (!Begin(WINSIM_API_NAME())) return FALSE;
    PrinterHandle* h = nullptr;
    PrinterRec p, next;
    if (!ChangingPrinter(hPrinter, PRINTER_ACCESS_ADMINISTER, &h, &p) ||
        !ChangedPrinter(p, Level, pPrinter, Command, &next))
        return FALSE;
    if (next.name != p.name) {
        // A new name is a new key; the default printer follows it.
        const bool wasDefault = IEquals(ProfileDefault(), p.name);
        SysDeleteTree(PrintersKey() + "\\" + p.name);
        h->name = next.name;
        if (wasDefault) RenameDefault(next.name);
    }
    StorePrinter(next);
    if (!IsNT()) {
        if (next.attributes & PRINTER_ATTRIBUTE_DEFAULT)
            MakeDefault95(next);
        else if (p.attributes & PRINTER_ATTRIBUTE_DEFAULT)
            ForgetDefault(next.name);
    }
    return TRUE;
}

BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
    if (!Begin(WINSIM_API_NAME())) return FALSE;
    PrinterHandle* h = nullptr;
    PrinterRec p;
    if (!ChangingPrinter(hPrinter, DELETE, &h, &p)) return FALSE;
    const bool wasDefault = IEquals(DefaultPrinterName(), p.name);
    SysDeleteTree(PrintersKey() + "\\" + p.name);
    h->deleted = true;
    if (wasDefault) ForgetDefault(p.name);
    return TRUE;
}

} // extern "C"

} // namespace winsim::spooler

namespace winsim {

size_t OpenPrinterHandles() {
    return spooler::Handles().size();
}

} // namespace winsim
