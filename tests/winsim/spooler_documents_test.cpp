// A document's settings and what a printer's driver can do: DocumentPropertiesA,
// DeviceCapabilitiesA, and the printer and server data GetPrinterDataA reads.
#include "spooler_fixture.h"

#include <winuser.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace spooler_tests;

class DocumentTest : public SpoolerTest {
  protected:
    void SetUp() override {
        SpoolerTest::SetUp();
        ASSERT_TRUE(AddDriver()) << GetLastError();
        AddClosedPrinter("KV Pellora 4720 on a long port name");
        ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>(kPrinter), &m_printer, nullptr));
    }
    void TearDown() override {
        ClosePrinter(m_printer);
        SpoolerTest::TearDown();
    }
    static constexpr char kPrinter[] = "KV Pellora 4720 on a long port name";
    HANDLE m_printer = nullptr;
};

TEST_P(DocumentTest, DocumentPropertiesHandsOutTheDriversSettingsAndTakesChanges) {
    LONG size = DocumentPropertiesA(nullptr, m_printer, nullptr, nullptr, nullptr, 0);
    ASSERT_EQ(size, static_cast<LONG>(sizeof(DEVMODEA)));
    DEVMODEA dm{};
    // The handle decides; the name given with it is not looked at.
    ASSERT_EQ(DocumentPropertiesA(nullptr, m_printer, const_cast<LPSTR>(""), &dm, nullptr,
                                  DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dm.dmDeviceName)),
              std::string(kPrinter).substr(0, CCHDEVICENAME - 1));
    EXPECT_EQ(dm.dmSize + dm.dmDriverExtra, size);
    EXPECT_EQ(dm.dmPaperSize, DMPAPER_LETTER);

    // What the driver can do is taken over; what it cannot keeps its setting.
    DEVMODEA in = dm;
    in.dmPaperSize = DMPAPER_A4;
    in.dmOrientation = DMORIENT_LANDSCAPE;
    in.dmCopies = 500;
    DEVMODEA out{};
    ASSERT_EQ(DocumentPropertiesA(nullptr, nullptr, const_cast<LPSTR>(kPrinter), &out, &in,
                                  DM_IN_BUFFER | DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(out.dmPaperSize, DMPAPER_A4);
    EXPECT_EQ(out.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(out.dmCopies, 1);

    // The driver's dialog has no user: cancelled, the output untouched.
    DEVMODEA untouched{};
    EXPECT_EQ(DocumentPropertiesA(nullptr, m_printer, nullptr, &untouched, nullptr,
                                  DM_IN_PROMPT | DM_OUT_BUFFER),
              IDCANCEL);
    EXPECT_EQ(untouched.dmSize, 0);

    EXPECT_EQ(DocumentPropertiesA(nullptr, nullptr, const_cast<LPSTR>("KV None"), nullptr,
                                  nullptr, 0),
              -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

TEST_P(DocumentTest, DeviceCapabilitiesListsOnePaperPerNameAndSize) {
    const int papers = DeviceCapabilitiesA(kPrinter, "LPT1:", DC_PAPERS, nullptr, nullptr);
    ASSERT_GT(papers, 0);
    std::vector<WORD> ids(papers);
    std::vector<POINT> sizes(papers);
    std::vector<char> names(64 * papers);
    EXPECT_EQ(DeviceCapabilitiesA(kPrinter, nullptr, DC_PAPERS, reinterpret_cast<LPSTR>(ids.data()),
                                  nullptr),
              papers);
    EXPECT_EQ(DeviceCapabilitiesA(kPrinter, nullptr, DC_PAPERSIZE,
                                  reinterpret_cast<LPSTR>(sizes.data()), nullptr),
              papers);
    EXPECT_EQ(DeviceCapabilitiesA(kPrinter, nullptr, DC_PAPERNAMES, names.data(), nullptr), papers);
    for (int i = 0; i < papers; ++i) {
        if (ids[i] != DMPAPER_A4) continue;
        EXPECT_STREQ(&names[64 * i], "A4");
        EXPECT_EQ(sizes[i].x, 2100) << "tenths of a millimetre";
        EXPECT_EQ(sizes[i].y, 2970);
    }
    EXPECT_NE(std::find(ids.begin(), ids.end(), DMPAPER_LETTER), ids.end());

    DEVMODEA dm{};
    DocumentPropertiesA(nullptr, m_printer, nullptr, &dm, nullptr, DM_OUT_BUFFER);
    const DWORD fields = DeviceCapabilitiesA(kPrinter, nullptr, DC_FIELDS, nullptr, &dm);
    EXPECT_EQ(fields, dm.dmFields | (Nt() ? DM_FORMNAME : 0));
    EXPECT_GT(DeviceCapabilitiesA(kPrinter, nullptr, DC_COPIES, nullptr, &dm), 0);
    EXPECT_EQ(DeviceCapabilitiesA(kPrinter, nullptr, DC_SIZE, nullptr, nullptr), dm.dmSize);
    EXPECT_EQ(DeviceCapabilitiesA(kPrinter, nullptr, 999, nullptr, nullptr), -1);
    EXPECT_EQ(DeviceCapabilitiesA("KV None", nullptr, DC_PAPERS, nullptr, nullptr), -1);
}

// NT's W forms: a DEVMODEW with the same settings, paper names in UTF-16 fields of 64
// characters; changes come in as a DEVMODEW too. 95/98 export stubs.
TEST_P(DocumentTest, WideFormsSpeakUtf16) {
    std::vector<WCHAR> name(kPrinter, kPrinter + sizeof kPrinter);
    if (!Nt()) {
        EXPECT_EQ(DocumentPropertiesW(nullptr, m_printer, nullptr, nullptr, nullptr, 0), -1);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        EXPECT_EQ(DeviceCapabilitiesW(name.data(), nullptr, DC_PAPERS, nullptr, nullptr), -1);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        return;
    }
    EXPECT_EQ(DocumentPropertiesW(nullptr, m_printer, nullptr, nullptr, nullptr, 0),
              static_cast<LONG>(sizeof(DEVMODEW)));
    DEVMODEW dm{};
    ASSERT_EQ(DocumentPropertiesW(nullptr, m_printer, nullptr, &dm, nullptr, DM_OUT_BUFFER), IDOK);
    EXPECT_EQ(dm.dmSize, sizeof(DEVMODEW));
    EXPECT_EQ(std::memcmp(dm.dmDeviceName, name.data(), (CCHDEVICENAME - 1) * sizeof(WCHAR)), 0);
    EXPECT_EQ(dm.dmDeviceName[CCHDEVICENAME - 1], 0);
    EXPECT_EQ(dm.dmPaperSize, DMPAPER_LETTER);
    EXPECT_EQ(dm.dmCopies, 1);

    DEVMODEW in = dm, out{};
    in.dmPaperSize = DMPAPER_A4;
    in.dmOrientation = DMORIENT_LANDSCAPE;
    ASSERT_EQ(DocumentPropertiesW(nullptr, nullptr, name.data(), &out, &in,
                                  DM_IN_BUFFER | DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(out.dmPaperSize, DMPAPER_A4);
    EXPECT_EQ(out.dmOrientation, DMORIENT_LANDSCAPE);

    const int papers = DeviceCapabilitiesA(kPrinter, nullptr, DC_PAPERS, nullptr, nullptr);
    std::vector<char> ansi(64 * papers);
    std::vector<WCHAR> wide(64 * papers, 0xFFFF);
    ASSERT_EQ(DeviceCapabilitiesA(kPrinter, nullptr, DC_PAPERNAMES, ansi.data(), nullptr), papers);
    ASSERT_EQ(DeviceCapabilitiesW(name.data(), nullptr, DC_PAPERNAMES, wide.data(), nullptr),
              papers);
    for (size_t i = 0; i < ansi.size(); ++i)
        ASSERT_EQ(wide[i], static_cast<WCHAR>(static_cast<unsigned char>(ansi[i]))) << i;
    EXPECT_EQ(DeviceCapabilitiesW(name.data(), nullptr, DC_SIZE, nullptr, nullptr),
              static_cast<int>(sizeof(DEVMODEW)));
}

TEST_P(DocumentTest, PrinterDataComesFromThePrintersDriverDataKey) {
    DWORD type = 0, needed = 0;
    char buf[64];
    EXPECT_EQ(GetPrinterDataA(m_printer, const_cast<LPSTR>("Resolution"), &type,
                              reinterpret_cast<LPBYTE>(buf), sizeof buf, &needed),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const std::string key = std::string(Nt() ? "SYSTEM" : "System") +
                            "\\CurrentControlSet\\Control\\Print\\Printers\\" + kPrinter +
                            "\\PrinterDriverData";
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, key.c_str(), &k), ERROR_SUCCESS);
    RegSetValueExA(k, "Resolution", 0, REG_SZ, reinterpret_cast<const BYTE*>("600"), 4);
    RegCloseKey(k);

    // NT's ANSI call counts the text as the Unicode one stores it.
    const DWORD size = Nt() ? 8 : 4;
    EXPECT_EQ(GetPrinterDataA(m_printer, const_cast<LPSTR>("resolution"), nullptr, nullptr, 0,
                              &needed),
              static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(needed, size);
    EXPECT_EQ(GetPrinterDataA(m_printer, const_cast<LPSTR>("Resolution"), &type,
                              reinterpret_cast<LPBYTE>(buf), size, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(buf, "600");
    EXPECT_EQ(GetPrinterDataA(nullptr, const_cast<LPSTR>("Resolution"), &type,
                              reinterpret_cast<LPBYTE>(buf), sizeof buf, &needed),
              static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_P(DocumentTest, TheServerTellsItsSpoolFolder) {
    HANDLE server = nullptr;
    ASSERT_TRUE(OpenPrinterA(nullptr, &server, nullptr));
    DWORD type = 0, needed = 0;
    char buf[MAX_PATH + 1];
    ASSERT_EQ(GetPrinterDataA(server, const_cast<LPSTR>("DefaultSpoolDirectory"), &type,
                              reinterpret_cast<LPBYTE>(buf), sizeof buf, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(buf, Nt() ? "C:\\WINDOWS\\SYSTEM32\\spool\\PRINTERS" : "C:\\WINDOWS\\SPOOL\\PRINTERS");
    EXPECT_EQ(needed, (std::strlen(buf) + 1) * (Nt() ? 2 : 1));
    DWORD version = 7;
    EXPECT_EQ(GetPrinterDataA(server, const_cast<LPSTR>("MajorVersion"), &type,
                              reinterpret_cast<LPBYTE>(&version), sizeof version, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(version, Nt() ? 2u : 0u);
    EXPECT_EQ(GetPrinterDataA(server, const_cast<LPSTR>("NoSuchValue"), &type,
                              reinterpret_cast<LPBYTE>(buf), sizeof buf, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ClosePrinter(server);
}

INSTANTIATE_EVERY_OS(DocumentTest);

} // namespace
