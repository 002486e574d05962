// The language monitor, print processor and port monitor of an install section.
#include "printer/zrprinter.h"

#include <cstring>

const char kEnvironmentNT[] = "Windows NT x86";
const char kEnvironment4[] = "Windows 4.0";
const char kBuiltinProcessor[] = "WinPrint";

namespace {

// A missing "PrintProcessor" key means the platform's own processor. The default is written as a
// whole name-and-file value, so that the delimited-value rule yields the name rather than refusing
// a value without one; the file is dropped again for the built-in processor.
const char kProcessorDefault[] = "WinPrint,winprint.dll";

LPCSTR zrTextOrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

std::string zrOwnerText(LPCSTR text) {
    return text ? std::string(text) : std::string();
}

// Adds a monitor through the spooler; an answer that it is there already counts as success.
int zrAddMonitor(const std::string& name, LPCSTR environment, const std::string& file) {
    MONITOR_INFO_2A info;
    info.pName = zrSpoolText(name);
    info.pEnvironment = const_cast<LPSTR>(environment);
    info.pDLLName = zrSpoolText(file);
    if (AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) return 1;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) return 1;
    Trace("AddMonitor() Failed! ERROR=%d <0x%8.8lX>\n", static_cast<int>(error),
          static_cast<unsigned long>(error));
    return 0;
}

} // namespace

std::string zrReadInfText(const std::string& infPath, const std::string& section, LPCSTR key,
                          LPCSTR def, DWORD size) {
    std::string value(size, '\0');
    const DWORD read =
        GetPrivateProfileStringA(section.c_str(), key, def, &value[0], size, infPath.c_str());
    value.resize(read < size ? read : 0);
    return value;
}

LPCSTR zrPlatformEnvironment() {
    return GetOSFamily() == OSF_WINNT ? kEnvironmentNT : kEnvironment4;
}

// ---- language monitor -------------------------------------------------------------------------

CZRLangMonitor::CZRLangMonitor(CZRPrinter* pPrinter) {
    if (!pPrinter) return;
    Trace("CZRLangMonitor() for %s\n", pPrinter->GetName() ? pPrinter->GetName() : "");
    const std::string inf = zrOwnerText(pPrinter->GetINFFile());
    const std::string section = zrOwnerText(pPrinter->GetINFSection());
    if (inf.empty() || section.empty()) {
        Trace("No INF file or no INF section string\n");
        return;
    }
    if (!GetDelimitedPrinterObject(&inf, &section, "LanguageMonitor", "", &m_csName, &m_csFile)) {
        Trace("Failed GetDelimitedPrinterObject()\n");
        return;
    }
    Trace("CZRLangMonitor.name=%s, CZRLangMonitor.file=%s\n", m_csName.c_str(), m_csFile.c_str());
    m_bValid = m_csName.empty() == m_csFile.empty() ? 1 : 0;
}

CZRLangMonitor::~CZRLangMonitor() {
    Trace("~CZRLangMonitor()\n");
}

LPCSTR CZRLangMonitor::GetName() {
    return zrTextOrNull(m_csName);
}
LPCSTR CZRLangMonitor::GetFile() {
    return zrTextOrNull(m_csFile);
}
int CZRLangMonitor::IsValid() {
    return m_bValid;
}

int CZRLangMonitor::Install() {
    if (!m_bValid) return 0;
    if (m_csName.empty() && m_csFile.empty()) return 1;
    if (IsInstalled(nullptr)) return 1;
    return zrAddMonitor(m_csName, zrPlatformEnvironment(), m_csFile);
}

int CZRLangMonitor::IsInstalled(LPSTR server) {
    DWORD needed = 0;
    DWORD returned = 0;
    EnumMonitorsA(server, 1, nullptr, 0, &needed, &returned);
    std::unique_ptr<BYTE[]> block = zrSpoolBlock(needed);
    if (!block) {
        Trace("CZRLangMonitor::IsInstalled() Memory failure!\n");
        return 0;
    }
    if (!EnumMonitorsA(server, 1, block.get(), needed, &needed, &returned)) {
        Trace("FAILED EnumMonitors()!");
        return 0;
    }
    const MONITOR_INFO_1A* entries = reinterpret_cast<const MONITOR_INFO_1A*>(block.get());
    int found = 0;
    for (DWORD i = 0; i < returned && !found; ++i)
        found = entries[i].pName && m_csName == entries[i].pName ? 1 : 0;
    Trace("%s Installed == %d\n", m_csName.c_str(), found);
    return found;
}

// ---- print processor --------------------------------------------------------------------------

CZRPrintProcessor::CZRPrintProcessor(CZRPrinter* pPrinter) : m_pszEnvironment(kEnvironmentNT) {
    if (!pPrinter) return;
    Trace("CZRPrintDriver() for %s\n", pPrinter->GetName() ? pPrinter->GetName() : "");
    const std::string inf = zrOwnerText(pPrinter->GetINFFile());
    const std::string section = zrOwnerText(pPrinter->GetINFSection());
    if (inf.empty() || section.empty()) {
        Trace("No INF file or no INF section string\n");
        return;
    }
    if (!GetDelimitedPrinterObject(&inf, &section, "PrintProcessor", kProcessorDefault, &m_csName,
                                   &m_csFile))
        return;
    if (m_csName.empty()) m_csName = kBuiltinProcessor;
    Trace("CZRPrintProcessor.name=%s, CZRPrintProcessor.file=%s\n", m_csName.c_str(),
          m_csFile.c_str());
    if (m_csName == kBuiltinProcessor) {
        m_csFile.clear();
        m_bValid = 1;
        return;
    }
    m_csDefaultParams = zrReadInfText(inf, section, "PrintProcessorParam", "", PW_INF_VALUE_SIZE);
    Trace("CZRPrintProcessor::m_csDefaultParams==\"%s\"\n", m_csDefaultParams.c_str());
    m_bValid = !m_csName.empty() || !m_csFile.empty() ? 1 : 0;
}

CZRPrintProcessor::~CZRPrintProcessor() {
    Trace("~CZRPrintProcessor()\n");
}

LPCSTR CZRPrintProcessor::GetName() {
    return zrTextOrNull(m_csName);
}
LPCSTR CZRPrintProcessor::GetFile() {
    return zrTextOrNull(m_csFile);
}
int CZRPrintProcessor::IsValid() {
    return m_bValid;
}
LPCSTR CZRPrintProcessor::GetDefaultParams() {
    return zrTextOrNull(m_csDefaultParams);
}

LPSTR CZRPrintProcessor::GetServerName() {
    if (GetOSFamily() == OSF_WINNT) Trace("CZRPrintProcessor::GetServerName() NOT implemented\n");
    return nullptr;
}

int CZRPrintProcessor::Install() {
    LPSTR server = GetServerName();
    if (!m_bValid) return 0;
    if (m_csName == kBuiltinProcessor) return 1;
    if (AddPrintProcessorA(server, const_cast<LPSTR>(m_pszEnvironment), zrSpoolText(m_csFile),
                           zrSpoolText(m_csName)))
        return 1;
    const DWORD error = GetLastError();
    if (error == ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED) return 1;
    Trace("AddPrintProcessor() Failed! ERROR=%d <0x%8.8lX>\n", static_cast<int>(error),
          static_cast<unsigned long>(error));
    return 0;
}

// ---- port monitor -----------------------------------------------------------------------------

CZRPortMonitor::CZRPortMonitor(CZRPrinter* pPrinter) : m_pOwner(pPrinter) {
    if (!pPrinter) return;
    Trace("CZRPrintDriver() for %s\n", pPrinter->GetName() ? pPrinter->GetName() : "");
    const std::string inf = zrOwnerText(pPrinter->GetINFFile());
    const std::string section = zrOwnerText(pPrinter->GetINFSection());
    if (inf.empty() || section.empty()) {
        Trace("No INF file or no INF section string\n");
        return;
    }
    if (!GetDelimitedPrinterObject(&inf, &section, "PortMonitor", "", &m_csName, &m_csFile)) return;
    m_csPortName = zrOwnerText(pPrinter->GetPort());
    Trace("CZRPortMonitor.name=%s, CZRPortMonitor.file=%s\n", m_csName.c_str(), m_csFile.c_str());
    m_bValid = m_csName.empty() == m_csFile.empty() ? 1 : 0;
}

CZRPortMonitor::~CZRPortMonitor() {
    Trace("~CZRPortMonitor()\n");
}

LPCSTR CZRPortMonitor::GetName() {
    return zrTextOrNull(m_csName);
}
LPCSTR CZRPortMonitor::GetFile() {
    return zrTextOrNull(m_csFile);
}
int CZRPortMonitor::IsValid() {
    return m_bValid;
}

int CZRPortMonitor::Install() {
    if (!m_bValid) return 0;
    if (m_csName.empty() || m_csFile.empty()) return 1;
    if (IsInstalled(nullptr)) return 1;
    const std::string environment =
        zrReadInfText(zrOwnerText(m_pOwner->GetINFFile()), zrOwnerText(m_pOwner->GetINFSection()),
                      "Environment", zrPlatformEnvironment(), PW_INF_VALUE_SIZE);
    return zrAddMonitor(m_csName, environment.c_str(), m_csFile);
}

// A port of the printer's name that this monitor serves proves the monitor is there. Only the
// level-2 records name a port's monitor, so they are asked for on every platform: the names
// alone would take the platform's own LPT1: for a port of ours.
int CZRPortMonitor::IsInstalled(LPSTR server) {
    const DWORD level = 2;
    DWORD needed = 0;
    DWORD returned = 0;
    EnumPortsA(server, level, nullptr, 0, &needed, &returned);
    std::unique_ptr<BYTE[]> block = zrSpoolBlock(needed);
    if (!block) {
        Trace("CZRPortMonitor::IsInstalled() Memory failure!\n");
        return 0;
    }
    int found = 0;
    if (!EnumPortsA(server, level, block.get(), needed, &needed, &returned)) {
        Trace("EnumPorts() FAILED: %lu\n", static_cast<unsigned long>(GetLastError()));
    } else {
        const PORT_INFO_2A* ports = reinterpret_cast<const PORT_INFO_2A*>(block.get());
        for (DWORD i = 0; i < returned && !found; ++i)
            found = ports[i].pPortName && ports[i].pMonitorName &&
                            m_csPortName == ports[i].pPortName && m_csName == ports[i].pMonitorName
                        ? 1
                        : 0;
    }
    Trace("%s ON %s Installed == %d\n", m_csName.c_str(), m_csPortName.c_str(), found);
    return found;
}
