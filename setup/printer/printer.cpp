// The printer of an install section: its install sequence, name clashes, the default printer,
// network ports, and the two printer exports.
#include "printer/zrprinter.h"

#include "common/module.h"
#include "frame/zrregistry.h"

#include <winnetwk.h>

#include <cstring>

namespace {

typedef BOOL(WINAPI* PFNADDPRINTERCONNECTIONA)(LPSTR name);

// AddPrinterConnectionA, looked up when it is called: Windows 95/98 keep no printer connections,
// and a library that imported the call would not load where WINSPOOL.DRV lacks it. False with
// the last error set when the spooler has no such call or the connection fails.
BOOL zrAddPrinterConnection(LPSTR name) {
    CZRModule spooler(LoadLibraryA("winspool.drv"));
    if (!spooler) return FALSE;
    auto add = zrProcAs<PFNADDPRINTERCONNECTIONA>(spooler.Get(), "AddPrinterConnectionA");
    return add && add(name);
}

// A UNC printer share name: longer than two characters and beginning with two backslashes.
bool zrIsNetworkPort(const std::string& port) {
    return port.size() > 2 && port[0] == '\\' && port[1] == '\\';
}

PRINTER_DEFAULTSA zrAllAccess() {
    PRINTER_DEFAULTSA defaults;
    defaults.pDatatype = nullptr;
    defaults.pDevMode = nullptr;
    defaults.DesiredAccess = PRINTER_ALL_ACCESS;
    return defaults;
}

// The local printers' records of `level`.
CZRSpoolRecords zrEnumerateLocalPrinters(DWORD level) {
    return zrEnumerateSpool([level](LPBYTE p, DWORD size, LPDWORD pNeeded, LPDWORD pReturned) {
        return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, p, size, pNeeded, pReturned);
    });
}

// Each rename follows a clash of the name it made, so the names climb; this only bounds a spooler
// that keeps refusing names it does not list.
const int kMaxRenamings = PW_MAX_NAME_NUMBER;

} // namespace

CZRPrinter::CZRPrinter(LPCSTR infPath, LPCSTR section, LPCSTR port)
    : m_csPort(port ? port : ""), m_csINFFile(infPath ? infPath : ""),
      m_csINFSection(section ? section : "") {
    std::memset(&m_PrinterInfo, 0, sizeof m_PrinterInfo);
    std::memset(m_szNetworkName, 0, sizeof m_szNetworkName);
    m_csName = zrReadInfText(m_csINFFile, m_csINFSection, "device", "", PW_PRINTER_NAME_SIZE);
    m_nUpgrade = static_cast<int>(
        GetPrivateProfileIntA(m_csINFSection.c_str(), "Upgrade", 0, m_csINFFile.c_str()));

    m_dwError = CreateComponents();
    Trace("CZRPrinter() constructor complete\n");
}

// The driver comes last: it asks this printer for the names of both monitors.
DWORD CZRPrinter::CreateComponents() {
    m_pPortMonitor.reset(new (std::nothrow) CZRPortMonitor(this));
    if (!m_pPortMonitor) return PW_ERR_PORT_MONITOR_OBJECT;
    m_pLangMonitor.reset(new (std::nothrow) CZRLangMonitor(this));
    if (!m_pLangMonitor) return PW_ERR_LANG_MONITOR_OBJECT;
    m_pPrintProcessor.reset(new (std::nothrow) CZRPrintProcessor(this));
    if (!m_pPrintProcessor) return PW_ERR_PROCESSOR_OBJECT;
    m_pDriver.reset(new (std::nothrow) CZRPrintDriver(this));
    if (!m_pDriver) return PW_ERR_DRIVER_OBJECT;
    return 0;
}

CZRPrinter::~CZRPrinter() {
    m_hPrinter.Close();
    m_pDriver.reset();
    m_pPortMonitor.reset();
    m_pLangMonitor.reset();
    m_pPrintProcessor.reset();
    Trace("~CZRPrinter() complete\n");
}

DWORD CZRPrinter::GetError() {
    return m_dwError;
}
LPCSTR CZRPrinter::GetName() {
    return zrTextOrNull(m_csName);
}
LPCSTR CZRPrinter::GetPort() {
    return zrTextOrNull(m_csPort);
}
LPCSTR CZRPrinter::GetINFFile() {
    return zrTextOrNull(m_csINFFile);
}
LPCSTR CZRPrinter::GetINFSection() {
    return zrTextOrNull(m_csINFSection);
}
LPCSTR CZRPrinter::GetDriverName() {
    return m_pDriver ? m_pDriver->GetName() : nullptr;
}
LPCSTR CZRPrinter::GetDriverFile() {
    return m_pDriver ? m_pDriver->GetFile() : nullptr;
}
LPCSTR CZRPrinter::GetPortMonitorName() {
    return m_pPortMonitor ? m_pPortMonitor->GetName() : nullptr;
}
LPCSTR CZRPrinter::GetPortMonitorFile() {
    return m_pPortMonitor ? m_pPortMonitor->GetFile() : nullptr;
}
LPCSTR CZRPrinter::GetLangMonitorName() {
    return m_pLangMonitor ? m_pLangMonitor->GetName() : nullptr;
}
LPCSTR CZRPrinter::GetLangMonitorFile() {
    return m_pLangMonitor ? m_pLangMonitor->GetFile() : nullptr;
}
LPCSTR CZRPrinter::GetPrintProcessorName() {
    return m_pPrintProcessor ? m_pPrintProcessor->GetName() : nullptr;
}
LPCSTR CZRPrinter::GetPrintProcessorFile() {
    return m_pPrintProcessor ? m_pPrintProcessor->GetFile() : nullptr;
}

bool CZRPrinter::HasComponents() const {
    return m_pDriver && m_pPortMonitor && m_pLangMonitor && m_pPrintProcessor;
}

int CZRPrinter::Install() {
    const bool network = zrIsNetworkPort(m_csPort);
    const bool nt = GetOSFamily() == OSF_WINNT;
    m_hPrinter.Close();
    if (network && m_csPort.size() > sizeof m_szNetworkName - 1) {
        // Cut, the share name would name another share: nothing is installed.
        Trace("Network port name too long\n");
        m_dwError = PW_ERR_INSTALL;
        return 0;
    }

    if (!network) {
        if (!InstallPrintProcessor()) return 0;
        if (!m_pPortMonitor->Install()) {
            Trace("Failed installing Port Monitor\n");
            m_dwError = PW_ERR_INSTALL;
            return 0;
        }
        if (!m_pLangMonitor->Install()) {
            Trace("Failed installing Language Monitor\n");
            m_dwError = PW_ERR_INSTALL;
            return 0;
        }
    } else if (nt) {
        zrCopyBounded(m_szNetworkName, sizeof m_szNetworkName, m_csPort.c_str());
        if (zrAddPrinterConnection(m_szNetworkName)) return 1;
        Trace("Failed AddPrinterConnection\n");
        m_csPort = "LPT1:";
    }
    // The monitors serve a local port only, but the printer made below names the print processor:
    // without it the spooler refuses the printer.
    if (network && !InstallPrintProcessor()) return 0;

    if (!m_pDriver->Install(1)) {
        Trace("Failed installing printer driver\n");
        m_dwError = PW_ERR_INSTALL;
        return 0;
    }
    // A section for the Windows 95/98 driver only adds that driver to an NT machine, so that NT
    // can hand it to clients of its printers.
    if (nt && m_pDriver->IsEnvironment(kEnvironment4)) return 1;

    if (!CreatePrinter()) return 0;
    if (nt && GetPrivateProfileIntA(m_csINFSection.c_str(), "MakeDefault", 1, m_csINFFile.c_str()))
        MakeDefaultThroughProfile();
    m_bResult = 1;
    m_hPrinter.Close();

    if (!network)
        WNetCancelConnection2A(m_csPort.c_str(), CONNECT_UPDATE_PROFILE, FALSE);
    else if (nt)
        MoveToNetworkName();
    return m_bResult;
}

int CZRPrinter::InstallPrintProcessor() {
    if (m_pPrintProcessor->Install()) return 1;
    Trace("Failed installing print processor\n");
    m_dwError = PW_ERR_INSTALL;
    return 0;
}

DWORD CZRPrinter::ComputeAttributes() {
    const UINT makeDefault =
        GetPrivateProfileIntA(m_csINFSection.c_str(), "MakeDefault", 1, m_csINFFile.c_str());
    char text[PW_ATTRIBUTES_SIZE];
    GetPrivateProfileStringA(m_csINFSection.c_str(), "Attributes", "0", text, sizeof text,
                             m_csINFFile.c_str());
    DWORD attributes = static_cast<DWORD>(htol(text));
    if (makeDefault)
        attributes |= PRINTER_ATTRIBUTE_DEFAULT;
    else
        attributes &= ~static_cast<DWORD>(PRINTER_ATTRIBUTE_DEFAULT);
    attributes |= zrIsNetworkPort(m_csPort) ? PRINTER_ATTRIBUTE_NETWORK : PRINTER_ATTRIBUTE_LOCAL;
    Trace("%s printer dwAttrib == <0x%8.8lX>\n", m_csName.c_str(),
          static_cast<unsigned long>(attributes));
    return attributes;
}

int CZRPrinter::FillPrinterInfo() {
    std::memset(&m_PrinterInfo, 0, sizeof m_PrinterInfo);
    m_PrinterInfo.pPrinterName = zrSpoolText(m_csName);
    m_PrinterInfo.pDriverName = const_cast<LPSTR>(m_pDriver->GetName());
    m_PrinterInfo.pPortName = zrSpoolText(m_csPort);
    m_PrinterInfo.pPrintProcessor = const_cast<LPSTR>(m_pPrintProcessor->GetName());
    m_PrinterInfo.pDatatype = const_cast<LPSTR>(m_pDriver->GetDefaultDataType());
    m_PrinterInfo.Attributes = ComputeAttributes();
    return 1;
}

int CZRPrinter::CreatePrinter() {
    for (int renamings = 0;;) {
        if (!FillPrinterInfo()) {
            Trace("Failed getting printer info\n");
            m_dwError = PW_ERR_PRINTER_INFO;
            return 0;
        }
        HANDLE hPrinter = AddPrinterA(m_pPrintProcessor->GetServerName(), 2,
                                      reinterpret_cast<LPBYTE>(&m_PrinterInfo));
        if (hPrinter) {
            m_hPrinter = CZRPrinterHandle(hPrinter);
            return 1;
        }
        DWORD error = GetLastError();
        if (error == ERROR_PRINTER_ALREADY_EXISTS) {
            if (m_nUpgrade) {
                PRINTER_DEFAULTSA defaults = zrAllAccess();
                if (OpenPrinterA(zrSpoolText(m_csName), m_hPrinter.Put(), &defaults)) {
                    SetPrinterA(m_hPrinter.Get(), 2, reinterpret_cast<LPBYTE>(&m_PrinterInfo), 0);
                    return 1;
                }
                error = GetLastError();
            } else if (renamings++ < kMaxRenamings && MakeNumberedName()) {
                continue;
            }
        }
        Trace("Failed AddPrinter(): ERROR %ld <0x%8.8lX>\n", static_cast<long>(error),
              static_cast<unsigned long>(error));
        m_bResult = 0;
        return 0;
    }
}

int CZRPrinter::MakeNumberedName() {
    const CZRSpoolRecords records = zrEnumerateLocalPrinters(1);
    if (!records.listed || records.Count() == 0) return 0;
    const DWORD returned = records.Count();

    const size_t n =
        m_csName.size() < PW_NUMBERED_NAME_BASE ? m_csName.size() : size_t(PW_NUMBERED_NAME_BASE);
    const PRINTER_INFO_1A* printers = records.As<PRINTER_INFO_1A>();
    DWORD highest = 0;
    for (DWORD i = 0; i < returned; ++i) {
        const char* name = printers[i].pName;
        if (!name || !*name || std::strncmp(name, m_csName.c_str(), n) != 0) continue;
        // The number follows the first "-" after the shared part, so that a name with a "-" of
        // its own still counts its copies.
        const char* dash = std::strchr(name + n, '-');
        const DWORD number = dash ? static_cast<DWORD>(zrDecimalWrapped(dash + 1)) + 1 : 1;
        if (number > highest) highest = number;
    }
    if (highest < 1 || highest > PW_MAX_NAME_NUMBER) return 0;
    m_csName = m_csName.substr(0, n) + "-" + std::to_string(highest);
    return 1;
}

void CZRPrinter::MakeDefaultThroughProfile() {
    LPCSTR file = m_pDriver->GetFile();
    if (!file) return;
    std::string module(file);
    const size_t dot = module.find('.');
    if (dot != std::string::npos) module.erase(dot);
    const std::string line = m_csName + "," + module + "," + m_csPort;
    // A cut line would name another port; leave the default as it is.
    if (line.size() >= PW_PROFILE_LINE_SIZE) {
        Trace("default printer line too long: %s\n", line.c_str());
        return;
    }
    if (WriteProfileStringA("windows", "device", line.c_str()))
        SendMessageA(HWND_BROADCAST, WM_WININICHANGE, 0,
                     reinterpret_cast<LPARAM>(static_cast<LPCSTR>("windows")));
}

void CZRPrinter::MoveToNetworkName() {
    CZRPrinterHandle hPrinter;
    PRINTER_DEFAULTSA defaults = zrAllAccess();
    if (!OpenPrinterA(zrSpoolText(m_csName), hPrinter.Put(), &defaults)) return;
    SetLastError(0);
    DWORD needed = 0;
    if (GetPrinterA(hPrinter.Get(), 2, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return;
    std::unique_ptr<BYTE[]> block = zrSpoolBlock(needed);
    if (!block || !GetPrinterA(hPrinter.Get(), 2, block.get(), needed, &needed)) return;
    PRINTER_INFO_2A* info = reinterpret_cast<PRINTER_INFO_2A*>(block.get());
    info->pSecurityDescriptor = nullptr;
    info->pPortName = m_szNetworkName;
    info->Attributes = 0;
    if (SetPrinterA(hPrinter.Get(), 2, block.get(), 0))
        m_csPort = m_szNetworkName;
    else
        Trace("SetPrinter failed\n");
}

int CZRPrinter::ListInstalledPorts(LPSTR buffer) {
    if (!buffer) return 0;
    buffer[0] = '\0';
    int count = 0;
    const CZRSpoolRecords records = zrEnumerateLocalPrinters(2);
    if (!records.listed) return 0;
    const DWORD returned = records.Count();
    const PRINTER_INFO_2A* printers = records.As<PRINTER_INFO_2A>();
    size_t used = 0;
    bool first = true, full = false;
    for (DWORD i = 0; i < returned; ++i) {
        const char* name = printers[i].pPrinterName;
        const char* port = printers[i].pPortName;
        if (!name || !*name || !port || std::strncmp(name, m_csName.c_str(), m_csName.size()) != 0)
            continue;
        ++count;
        // Whole ports only: a cut one would name another port.
        const size_t length = std::strlen(port);
        if (full || used + (first ? 0 : 1) + length >= PW_PORT_LIST_SIZE) {
            full = true;
            continue;
        }
        if (!first) buffer[used++] = ','; // before every port but the first, an empty one too
        first = false;
        std::memcpy(buffer + used, port, length);
        used += length;
        buffer[used] = '\0';
    }
    return count;
}

// ---- exports ----------------------------------------------------------------------------------

PW_EXPORT DLL_AddPrinter(LPCSTR infPath, LPCSTR section, LPCSTR port) {
    return zrGuarded(PW_ERR_INSTALL, [&]() -> LONG {
        CZRPrinter printer(infPath, section, port);
        const int done = printer.HasComponents() ? printer.Install() : 0;
        if (done) return 0;
        // AddPrinterA refused for another reason than a clash, or the clash could not be settled:
        // the printer itself did not go in.
        const DWORD error = printer.GetError();
        return static_cast<LONG>(error ? error : DWORD(PW_ERR_INSTALL));
    });
}

PW_EXPORT DLL_IsPrinterInstalled(LPCSTR infPath, LPCSTR section, char buffer[PW_PORT_LIST_SIZE]) {
    return zrGuarded(0, [&]() -> LONG {
        CZRPrinter printer(infPath, section, "");
        return printer.ListInstalledPorts(buffer);
    });
}
