// The spooler's records as its Enum*/Get* calls hand them back: the fixed structures first,
// their texts packed at the end of the caller's buffer, size queries and counts, per object kind.
#include "spooler_fixture.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace spooler_tests;
using namespace std::placeholders;

// A call that fills a caller's buffer: (buffer, size, needed, returned) -> BOOL. Get* calls
// return no count and report 1 here when they succeed.
using FillCall = std::function<BOOL(LPBYTE, DWORD, LPDWORD, LPDWORD)>;

// What a call hands back, asked as programs ask: the size query first, then a buffer one byte
// short, then one of exactly the size named. Both short calls must fail with
// ERROR_INSUFFICIENT_BUFFER, name the same size and return nothing.
std::vector<BYTE> Records(const FillCall& call, DWORD* count) {
    DWORD needed = 0, returned = 7;
    EXPECT_FALSE(call(nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    std::vector<BYTE> buf(needed);
    DWORD again = 0;
    returned = 7;
    EXPECT_FALSE(call(buf.data(), needed - 1, &again, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(again, needed);
    EXPECT_EQ(returned, 0u);
    EXPECT_TRUE(call(buf.data(), needed, &again, &returned)) << GetLastError();
    EXPECT_EQ(again, needed);
    *count = returned;
    return buf;
}

FillCall GetCall(std::function<BOOL(LPBYTE, DWORD, LPDWORD)> get) {
    return [get](LPBYTE buf, DWORD cb, LPDWORD needed, LPDWORD returned) {
        BOOL ok = get(buf, cb, needed);
        *returned = ok ? 1 : 0;
        return ok;
    };
}

// The bytes a text field takes: its terminator included; a list up to its closing one.
size_t TextBytes(const char* p, bool list) {
    size_t n = std::strlen(p) + 1;
    if (!list) return n;
    while (p[n] != '\0')
        n += std::strlen(p + n) + 1;
    return n + 1;
}

// The text fields of each record, in the order the spooler lays them out; a list's texts.
template <class T> const std::vector<LPSTR T::*> kTexts{};
template <class T> LPSTR T::*const kListText = nullptr;
template <>
const std::vector<LPSTR PRINTER_INFO_1A::*> kTexts<PRINTER_INFO_1A>{
    &PRINTER_INFO_1A::pDescription, &PRINTER_INFO_1A::pName, &PRINTER_INFO_1A::pComment};
template <>
const std::vector<LPSTR PRINTER_INFO_2A::*> kTexts<PRINTER_INFO_2A>{
    &PRINTER_INFO_2A::pServerName,     &PRINTER_INFO_2A::pPrinterName,
    &PRINTER_INFO_2A::pShareName,      &PRINTER_INFO_2A::pPortName,
    &PRINTER_INFO_2A::pDriverName,     &PRINTER_INFO_2A::pComment,
    &PRINTER_INFO_2A::pLocation,       &PRINTER_INFO_2A::pSepFile,
    &PRINTER_INFO_2A::pPrintProcessor, &PRINTER_INFO_2A::pDatatype,
    &PRINTER_INFO_2A::pParameters};
template <>
const std::vector<LPSTR PRINTER_INFO_4A::*> kTexts<PRINTER_INFO_4A>{&PRINTER_INFO_4A::pPrinterName,
                                                                    &PRINTER_INFO_4A::pServerName};
template <>
const std::vector<LPSTR PRINTER_INFO_5A::*> kTexts<PRINTER_INFO_5A>{&PRINTER_INFO_5A::pPrinterName,
                                                                    &PRINTER_INFO_5A::pPortName};
template <>
const std::vector<LPSTR DRIVER_INFO_1A::*> kTexts<DRIVER_INFO_1A>{&DRIVER_INFO_1A::pName};
// Levels 2 and 3 of drivers start alike.
template <class T> std::vector<LPSTR T::*> DriverTexts(std::initializer_list<LPSTR T::*> more) {
    std::vector<LPSTR T::*> texts{&T::pName, &T::pEnvironment, &T::pDriverPath, &T::pDataFile,
                                  &T::pConfigFile};
    texts.insert(texts.end(), more);
    return texts;
}
template <>
const std::vector<LPSTR DRIVER_INFO_2A::*> kTexts<DRIVER_INFO_2A> = DriverTexts<DRIVER_INFO_2A>({});
template <>
const std::vector<LPSTR DRIVER_INFO_3A::*> kTexts<DRIVER_INFO_3A> =
    DriverTexts<DRIVER_INFO_3A>({&DRIVER_INFO_3A::pHelpFile, &DRIVER_INFO_3A::pDependentFiles,
                                 &DRIVER_INFO_3A::pMonitorName, &DRIVER_INFO_3A::pDefaultDataType});
template <>
LPSTR DRIVER_INFO_3A::*const kListText<DRIVER_INFO_3A> = &DRIVER_INFO_3A::pDependentFiles;
template <>
const std::vector<LPSTR MONITOR_INFO_1A::*> kTexts<MONITOR_INFO_1A>{&MONITOR_INFO_1A::pName};
template <>
const std::vector<LPSTR MONITOR_INFO_2A::*> kTexts<MONITOR_INFO_2A>{
    &MONITOR_INFO_2A::pName, &MONITOR_INFO_2A::pEnvironment, &MONITOR_INFO_2A::pDLLName};
template <>
const std::vector<LPSTR PRINTPROCESSOR_INFO_1A::*> kTexts<PRINTPROCESSOR_INFO_1A>{
    &PRINTPROCESSOR_INFO_1A::pName};
template <>
const std::vector<LPSTR FORM_INFO_1A::*> kTexts<FORM_INFO_1A>{&FORM_INFO_1A::pName};
template <>
const std::vector<LPSTR PORT_INFO_2A::*> kTexts<PORT_INFO_2A>{
    &PORT_INFO_2A::pPortName, &PORT_INFO_2A::pMonitorName, &PORT_INFO_2A::pDescription};

// The bytes of the structures a record points to, which follow the fixed records, each in
// whole 8-byte units.
template <class T> size_t BlockBytes(const T&) {
    return 0;
}
size_t BlockBytes(const PRINTER_INFO_2A& p) {
    return p.pDevMode ? (p.pDevMode->dmSize + p.pDevMode->dmDriverExtra + 7u) / 8 * 8 : 0;
}

// The layout of `count` records of T filling `buf` exactly: the fixed records from the start,
// then the structures they point to, every text (a null pointer takes nothing) after them and inside the buffer, the texts
// together filling the rest of it; the first record's first text ends the buffer.
template <class T> void ExpectPacked(const std::vector<BYTE>& buf, DWORD count) {
    ASSERT_FALSE(kTexts<T>.empty());
    ASSERT_GE(buf.size(), count * sizeof(T));
    const char* texts = reinterpret_cast<const char*>(buf.data()) + count * sizeof(T);
    const char* end = reinterpret_cast<const char*>(buf.data()) + buf.size();
    const auto* recs = reinterpret_cast<const T*>(buf.data());
    for (DWORD i = 0; i < count; ++i)
        texts += BlockBytes(recs[i]);
    size_t total = 0;
    const char* first = nullptr;
    for (DWORD i = 0; i < count; ++i)
        for (LPSTR T::*f : kTexts<T>) {
            const char* p = recs[i].*f;
            if (!p) continue;
            ASSERT_GE(p, texts) << "record " << i;
            ASSERT_LT(p, end) << "record " << i;
            const size_t n = TextBytes(p, f == kListText<T>);
            EXPECT_LE(p + n, end) << "record " << i;
            if (!first) {
                EXPECT_EQ(p + n, end) << "the first record's first text";
                first = p;
            }
            total += n;
        }
    EXPECT_EQ(total, static_cast<size_t>(end - texts));
}

// The records of T that a call hands back, its size queries and layout checked.
template <class T> struct RecordList {
    std::vector<BYTE> bytes;
    DWORD count = 0;
    const T& operator[](size_t i) const { return reinterpret_cast<const T*>(bytes.data())[i]; }
};
template <class T> RecordList<T> Fetch(const FillCall& call) {
    RecordList<T> r;
    r.bytes = Records(call, &r.count);
    ExpectPacked<T>(r.bytes, r.count);
    return r;
}

TEST_P(SpoolerTest, SizeQueriesNameTheBytesAndStringsFillTheBufferFromItsEnd) {
    DWORD needed = 0, count = 7;
    EXPECT_FALSE(EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(count, 0u);
    // LPT1: to LPT3:, COM1: to COM4:, FILE: and their names.
    EXPECT_EQ(needed, 8 * sizeof(PORT_INFO_1A) + 7 * 6 + 6);

    std::vector<BYTE> buf(needed + 10);
    EXPECT_FALSE(EnumPortsA(nullptr, 1, buf.data(), needed - 1, &needed, &count));
    ASSERT_TRUE(
        EnumPortsA(nullptr, 1, buf.data(), static_cast<DWORD>(buf.size()), &needed, &count));
    ASSERT_EQ(count, 8u);
    auto* ports = reinterpret_cast<PORT_INFO_1A*>(buf.data());
    EXPECT_STREQ(ports[0].pName, "LPT1:");
    EXPECT_STREQ(ports[7].pName, "FILE:");
    // The first record's name is the last string, ending at the end of the buffer.
    EXPECT_EQ(ports[0].pName + 6, reinterpret_cast<char*>(buf.data() + buf.size()));

    char dir[8];
    EXPECT_FALSE(GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir),
                                            sizeof dir, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, DriverDir().size() + 1);
    EXPECT_FALSE(EnumPortsA(nullptr, 3, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST_P(SpoolerTest, PrinterRecordsOfEveryLevelPackTheirTextsAtTheEnd) {
    // No printer at all: a success that clears the last error, naming no bytes.
    DWORD none = 9, found = 9;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &none, &found));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(none, 0u);
    EXPECT_EQ(found, 0u);

    ASSERT_TRUE(AddDriver());
    AddClosedPrinter("First", "LPT1:");
    AddClosedPrinter("Second", "LPT2:");
    winsim::SetSetting("network", "\\\\SERVER\\KV4720", kDriver);
    if (Nt()) {
        ASSERT_TRUE(AddPrinterConnectionA(const_cast<LPSTR>("\\\\SERVER\\KV4720")));
    }
    auto enumAt = [](DWORD level) -> FillCall {
        return std::bind(EnumPrintersA, PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr,
                         level, _1, _2, _3, _4);
    };
    const DWORD all = Nt() ? 3 : 2;

    auto p1 = Fetch<PRINTER_INFO_1A>(enumAt(1));
    ASSERT_EQ(p1.count, all);
    EXPECT_EQ(p1[0].Flags, static_cast<DWORD>(PRINTER_ENUM_ICON8));
    EXPECT_STREQ(p1[0].pName, "First");
    EXPECT_STREQ(p1[1].pDescription, "Second,KV Pellora 4720,");
    EXPECT_STREQ(p1[1].pComment, ""); // an empty text, not a null pointer

    auto p2 = Fetch<PRINTER_INFO_2A>(enumAt(2));
    ASSERT_EQ(p2.count, all);
    EXPECT_EQ(p2[0].pServerName, nullptr);
    // The driver's default settings, within the buffer and named in its size.
    for (DWORD i = 0; i < all; ++i) {
        const DEVMODEA* dm = p2[i].pDevMode;
        ASSERT_NE(dm, nullptr);
        const auto* at = reinterpret_cast<const BYTE*>(dm);
        EXPECT_GE(at, p2.bytes.data() + all * sizeof(PRINTER_INFO_2A));
        EXPECT_LE(at + sizeof(DEVMODEA), p2.bytes.data() + p2.bytes.size());
        EXPECT_STREQ(reinterpret_cast<const char*>(dm->dmDeviceName), p2[i].pPrinterName);
        EXPECT_EQ(dm->dmSize, sizeof(DEVMODEA));
        EXPECT_EQ(dm->dmSpecVersion, Nt() ? 0x0401 : 0x0400);
        EXPECT_EQ(dm->dmDriverVersion, 0x400);
        EXPECT_EQ(dm->dmCopies, 1);
        EXPECT_EQ(dm->dmOrientation, DMORIENT_PORTRAIT);
        EXPECT_TRUE(dm->dmFields & DM_PAPERSIZE);
    }
    EXPECT_STREQ(p2[1].pPrinterName, "Second");
    EXPECT_STREQ(p2[1].pPortName, "LPT2:");
    EXPECT_STREQ(p2[1].pShareName, "");
    EXPECT_EQ(p2[1].Priority, 1u);
    if (Nt()) {
        // A connection names its server and share and prints through the built-in processor.
        EXPECT_STREQ(p2[2].pServerName, "\\\\SERVER");
        EXPECT_STREQ(p2[2].pPrinterName, "\\\\SERVER\\KV4720");
        EXPECT_STREQ(p2[2].pShareName, "KV4720");
        EXPECT_STREQ(p2[2].pPrintProcessor, "WinPrint");
        EXPECT_EQ(p2[2].Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_NETWORK));
    }

    auto p4 = Fetch<PRINTER_INFO_4A>(enumAt(4));
    ASSERT_EQ(p4.count, all);
    EXPECT_EQ(p4[1].pServerName, nullptr);
    EXPECT_EQ(p4[1].Attributes, 0x40u);
    if (Nt()) {
        EXPECT_STREQ(p4[2].pServerName, "\\\\SERVER");
    }

    auto p5 = Fetch<PRINTER_INFO_5A>(enumAt(5));
    ASSERT_EQ(p5.count, all);
    EXPECT_STREQ(p5[0].pPortName, "LPT1:");
    EXPECT_EQ(p5[0].DeviceNotSelectedTimeout, 15000u);
    EXPECT_EQ(p5[0].TransmissionRetryTimeout, 45000u);

    // One printer through its handle, laid out alike.
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("Second"), &h, nullptr));
    auto one = Fetch<PRINTER_INFO_1A>(GetCall(std::bind(GetPrinterA, h, 1, _1, _2, _3)));
    EXPECT_STREQ(one[0].pName, "Second");
    ClosePrinter(h);
    // A name longer than the DEVMODE's field is cut to fit with its terminator.
    const std::string longName(40, 'L');
    AddClosedPrinter(longName.c_str(), "LPT3:");
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>(longName.c_str()), &h, nullptr));
    auto two = Fetch<PRINTER_INFO_2A>(GetCall(std::bind(GetPrinterA, h, 2, _1, _2, _3)));
    EXPECT_EQ(reinterpret_cast<const char*>(two[0].pDevMode->dmDeviceName),
              longName.substr(0, CCHDEVICENAME - 1));

    // Level 3, the printer's security, is NT's alone: a self-relative descriptor in the buffer.
    DWORD needed = 9, count = 9;
    EXPECT_FALSE(GetPrinterA(h, 3, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(),
              static_cast<DWORD>(Nt() ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_LEVEL));
    if (Nt()) {
        std::vector<BYTE> sd(needed);
        ASSERT_TRUE(GetPrinterA(h, 3, sd.data(), needed, &needed));
        const void* desc = reinterpret_cast<PRINTER_INFO_3*>(sd.data())->pSecurityDescriptor;
        EXPECT_EQ(desc, sd.data() + sizeof(PRINTER_INFO_3));
        EXPECT_TRUE(IsValidSecurityDescriptor(const_cast<void*>(desc)));
        PSID owner = nullptr;
        BOOL defaulted = TRUE;
        ASSERT_TRUE(GetSecurityDescriptorOwner(const_cast<void*>(desc), &owner, &defaulted));
        ASSERT_NE(owner, nullptr);
        EXPECT_LE(static_cast<const BYTE*>(owner) + 16, sd.data() + sd.size());
    }
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 3, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(count, 0u);
    ClosePrinter(h);
}

TEST_P(SpoolerTest, DriverRecordsOfEveryLevelPackTheirTextsAtTheEnd) {
    ASSERT_TRUE(AddDriver());
    // A driver added at level 2 has no help file, dependent files, monitor or data type.
    DRIVER_INFO_2A basic{0x400,
                         const_cast<LPSTR>("KV Basic"),
                         nullptr,
                         const_cast<LPSTR>("KVDRV.DLL"),
                         const_cast<LPSTR>("KV.PPD"),
                         const_cast<LPSTR>("KVUI.DLL")};
    ASSERT_TRUE(AddPrinterDriverA(nullptr, 2, reinterpret_cast<LPBYTE>(&basic))) << GetLastError();
    auto enumAt = [](DWORD level) -> FillCall {
        return std::bind(EnumPrinterDriversA, nullptr, nullptr, level, _1, _2, _3, _4);
    };
    const std::string dir = Nt() ? DriverDir() + "\\2\\" : DriverDir() + "\\";

    auto d1 = Fetch<DRIVER_INFO_1A>(enumAt(1));
    ASSERT_EQ(d1.count, 2u);
    EXPECT_STREQ(d1[1].pName, "KV Basic");

    auto d2 = Fetch<DRIVER_INFO_2A>(enumAt(2));
    ASSERT_EQ(d2.count, 2u);
    EXPECT_EQ(d2[1].cVersion, 0x400u);
    EXPECT_STREQ(d2[1].pEnvironment, Nt() ? "Windows NT x86" : "Windows 4.0");
    EXPECT_EQ(std::string(d2[1].pConfigFile), dir + "KVUI.DLL");

    auto d3 = Fetch<DRIVER_INFO_3A>(enumAt(3));
    ASSERT_EQ(d3.count, 2u);
    EXPECT_EQ(std::string(d3[0].pHelpFile), dir + "KV.HLP");
    EXPECT_STREQ(d3[1].pHelpFile, "");
    EXPECT_EQ(d3[1].pDependentFiles, nullptr);
    EXPECT_EQ(d3[1].pMonitorName, nullptr);
    EXPECT_EQ(d3[1].pDefaultDataType, nullptr);

    DWORD needed = 9, count = 9;
    EXPECT_FALSE(EnumPrinterDriversA(nullptr, nullptr, 4, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(count, 0u);

    // A printer's driver, through the printer's handle.
    HANDLE h = AddPrinter("KV", "LPT1:", 0x40, "KV Basic");
    ASSERT_NE(h, nullptr) << GetLastError();
    auto mine =
        Fetch<DRIVER_INFO_2A>(GetCall(std::bind(GetPrinterDriverA, h, nullptr, 2, _1, _2, _3)));
    EXPECT_STREQ(mine[0].pName, "KV Basic");
    // NT clears a buffer too small for the record; 95/98 leave it as it was.
    std::vector<BYTE> shortBuf(sizeof(DRIVER_INFO_2A) + 8, 0xAB);
    EXPECT_FALSE(GetPrinterDriverA(h, nullptr, 2, shortBuf.data(),
                                   static_cast<DWORD>(shortBuf.size()), &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_GT(needed, shortBuf.size());
    EXPECT_EQ(shortBuf.front(), Nt() ? 0 : 0xAB);
    EXPECT_EQ(shortBuf.back(), Nt() ? 0 : 0xAB);
    ClosePrinter(h);
}

TEST_P(SpoolerTest, FormsAreNtsAndListedWithTheirSizes) {
    HANDLE server = nullptr;
    ASSERT_TRUE(OpenPrinterA(nullptr, &server, nullptr));
    DWORD needed = 0, count = 0;
    if (!Nt()) {
        EXPECT_FALSE(EnumFormsA(server, 1, nullptr, 0, &needed, &count));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        ClosePrinter(server);
        return;
    }
    auto forms = Fetch<FORM_INFO_1A>(std::bind(EnumFormsA, server, 1, _1, _2, _3, _4));
    ASSERT_EQ(forms.count, 41u);
    const FORM_INFO_1A& a4 = forms[8];
    EXPECT_STREQ(a4.pName, "A4");
    EXPECT_EQ(a4.Flags, static_cast<DWORD>(FORM_BUILTIN));
    EXPECT_EQ(a4.Size.cx, 210000);
    EXPECT_EQ(a4.ImageableArea.bottom, 297000);

    auto one = Fetch<FORM_INFO_1A>([&](LPBYTE b, DWORD cb, LPDWORD n, LPDWORD r) {
        const BOOL ok = GetFormA(server, const_cast<LPSTR>("a4"), 1, b, cb, n);
        *r = ok ? 1 : 0;
        return ok;
    });
    EXPECT_STREQ(one[0].pName, "A4");

    std::vector<BYTE> buf(8192);
    for (DWORD level : {0u, 2u}) {
        EXPECT_FALSE(EnumFormsA(server, level, buf.data(), 8192, &needed, &count)) << level;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    }
    EXPECT_FALSE(EnumFormsA(server, 1, nullptr, 8192, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_FALSE(EnumFormsA(server, 1, buf.data(), 8192, nullptr, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    EXPECT_FALSE(EnumFormsA(nullptr, 1, buf.data(), 8192, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(GetFormA(server, const_cast<LPSTR>("KV Paper"), 1, buf.data(), 8192, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_NAME));
    ClosePrinter(server);
}

TEST_P(SpoolerTest, MonitorAndProcessorRecordsPackTheirTextsAtTheEnd) {
    MONITOR_INFO_2A mi = LanguageMonitor();
    ASSERT_TRUE(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi))) << GetLastError();
    EXPECT_EQ(Fetch<MONITOR_INFO_1A>(std::bind(EnumMonitorsA, nullptr, 1, _1, _2, _3, _4)).count,
              2u);
    auto m = Fetch<MONITOR_INFO_2A>(std::bind(EnumMonitorsA, nullptr, 2, _1, _2, _3, _4));
    ASSERT_EQ(m.count, 2u);
    EXPECT_STREQ(m[0].pDLLName, "localmon.dll");
    EXPECT_STREQ(m[1].pEnvironment, Nt() ? "Windows NT x86" : "Windows 4.0");

    DWORD needed = 9, count = 9;
    EXPECT_FALSE(EnumMonitorsA(nullptr, 3, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(count, 0u);

    // Print processors have level 1 only; the built-in one is listed on every system.
    auto p = Fetch<PRINTPROCESSOR_INFO_1A>(
        std::bind(EnumPrintProcessorsA, nullptr, nullptr, 1, _1, _2, _3, _4));
    ASSERT_EQ(p.count, 1u);
    EXPECT_STRCASEEQ(p[0].pName, "WinPrint");
    EXPECT_FALSE(EnumPrintProcessorsA(nullptr, nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST_P(SpoolerTest, PortRecordsNameTheirMonitor) {
    ASSERT_TRUE(winsim::ImportRegistry(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Monitors"
        "\\KV Port\\Ports\\KVIP_10.0.0.5]\r\n"));
    auto p = Fetch<PORT_INFO_2A>(std::bind(EnumPortsA, nullptr, 2, _1, _2, _3, _4));
    ASSERT_EQ(p.count, 9u);
    EXPECT_STREQ(p[0].pMonitorName, "Local Port");
    EXPECT_STREQ(p[0].pDescription, "Local Port");
    EXPECT_EQ(p[0].fPortType, static_cast<DWORD>(PORT_TYPE_WRITE));
    EXPECT_STREQ(p[8].pPortName, "KVIP_10.0.0.5");
    EXPECT_STREQ(p[8].pMonitorName, "KV Port");
    EXPECT_STREQ(p[8].pDescription, "KV Port");
}

// ---- the W forms ----------------------------------------------------------------------------

// A wide text (a list up to its closing terminator) in code page 1252, for the characters the
// tests below use: ASCII, Latin-1 letters and the trade mark sign (0x99, U+2122).
std::string Narrowed(const WCHAR* p, bool list) {
    std::string s;
    for (size_t i = 0; p[i] || (list && p[i + 1]); ++i)
        s += p[i] == 0x2122 ? '\x99' : static_cast<char>(p[i]);
    return s;
}

// The W records of a call are its A records with every text in UTF-16: the same fields, the
// same null pointers, each wide text aligned and inside the buffer.
template <class T> void ExpectWideOf(const RecordList<T>& a, const FillCall& wideCall) {
    DWORD count = 0;
    const std::vector<BYTE> w = Records(wideCall, &count);
    ASSERT_EQ(count, a.count);
    const auto* wide = reinterpret_cast<const T*>(w.data());
    for (DWORD i = 0; i < count; ++i)
        for (LPSTR T::*f : kTexts<T>) {
            const char* pa = a[i].*f;
            const auto* pw = reinterpret_cast<const WCHAR*>(wide[i].*f);
            ASSERT_EQ(pa == nullptr, pw == nullptr) << "record " << i;
            if (!pa) continue;
            const auto at = reinterpret_cast<const BYTE*>(pw);
            EXPECT_TRUE(at >= w.data() + count * sizeof(T) && at < w.data() + w.size());
            EXPECT_EQ(reinterpret_cast<uintptr_t>(pw) % sizeof(WCHAR), 0u);
            const bool list = f == kListText<T>;
            EXPECT_EQ(Narrowed(pw, list), std::string(pa, TextBytes(pa, list) - (list ? 2 : 1)))
                << "record " << i;
        }
}

// NT 4.0 hands out the printer and driver records in UTF-16 too; a DEVMODE becomes a DEVMODEW.
// Windows 95 and 98 export the W forms as stubs.
TEST_P(SpoolerTest, WideFormsHandOutTheAnsiRecordsInUtf16) {
    ASSERT_TRUE(AddDriver());
    const char name[] = "Caf\xe9 \x99";
    AddClosedPrinter(name, "LPT2:");
    WCHAR wideName[] = {'C', 'a', 'f', 0xE9, ' ', 0x2122, 0};
    HANDLE h = nullptr;
    if (!Nt()) {
        DWORD needed = 0, returned = 0;
        EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        EXPECT_FALSE(OpenPrinterW(wideName, &h, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        return;
    }
    auto enumAt = [](auto call, DWORD level) -> FillCall {
        return std::bind(call, PRINTER_ENUM_LOCAL, nullptr, level, _1, _2, _3, _4);
    };
    ExpectWideOf(Fetch<PRINTER_INFO_1A>(enumAt(EnumPrintersA, 1)), enumAt(EnumPrintersW, 1));
    ExpectWideOf(Fetch<PRINTER_INFO_2A>(enumAt(EnumPrintersA, 2)), enumAt(EnumPrintersW, 2));
    ExpectWideOf(Fetch<PRINTER_INFO_4A>(enumAt(EnumPrintersA, 4)), enumAt(EnumPrintersW, 4));
    ExpectWideOf(Fetch<PRINTER_INFO_5A>(enumAt(EnumPrintersA, 5)), enumAt(EnumPrintersW, 5));

    ASSERT_TRUE(OpenPrinterW(wideName, &h, nullptr)) << GetLastError();
    auto get2 = Fetch<PRINTER_INFO_2A>(
        GetCall(std::bind(GetPrinterA, h, 2, _1, _2, _3)));
    ExpectWideOf(get2, GetCall(std::bind(GetPrinterW, h, 2, _1, _2, _3)));
    DWORD count = 0;
    const std::vector<BYTE> w = Records(GetCall(std::bind(GetPrinterW, h, 2, _1, _2, _3)), &count);
    const DEVMODEW* dm = reinterpret_cast<const PRINTER_INFO_2W*>(w.data())->pDevMode;
    ASSERT_NE(dm, nullptr);
    EXPECT_EQ(dm->dmSize, sizeof(DEVMODEW));
    EXPECT_EQ(std::memcmp(dm->dmDeviceName, wideName, sizeof wideName), 0);
    EXPECT_EQ(dm->dmPaperSize, get2[0].pDevMode->dmPaperSize);
    EXPECT_EQ(dm->dmCopies, get2[0].pDevMode->dmCopies);

    ExpectWideOf(Fetch<DRIVER_INFO_3A>(GetCall(std::bind(GetPrinterDriverA, h, nullptr, 3, _1,
                                                         _2, _3))),
                 GetCall(std::bind(GetPrinterDriverW, h, nullptr, 3, _1, _2, _3)));
    ClosePrinter(h);
    WCHAR env[] = {'W', 'i', 'n', 'd', 'o', 'w', 's', ' ', 'N', 'T', ' ', 'x', '8', '6', 0};
    ExpectWideOf(Fetch<DRIVER_INFO_2A>(std::bind(EnumPrinterDriversA, nullptr,
                                                 const_cast<LPSTR>("Windows NT x86"), 2, _1, _2,
                                                 _3, _4)),
                 std::bind(EnumPrinterDriversW, nullptr, env, 2, _1, _2, _3, _4));

    // The W forms check what the A forms check.
    WCHAR unknown[] = {'N', 'o', 'n', 'e', 0};
    EXPECT_FALSE(OpenPrinterW(unknown, &h, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    winsim::FailCall("GetPrinterW", ERROR_NOT_ENOUGH_MEMORY);
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

INSTANTIATE_EVERY_OS(SpoolerTest);

} // namespace
