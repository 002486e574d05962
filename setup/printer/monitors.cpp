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

// ---- what the three share ---------------------------------------------------------------------

LPCSTR CZRSpoolComponent::GetName() {
    return zrTextOrNull(m_csName);
}
LPCSTR CZRSpoolComponent::GetFile() {
    return zrTextOrNull(m_csFile);
}
int CZRSpoolComponent::IsValid() {
    return m_bValid;
}

bool CZRSpoolComponent::ReadNameAndFile(CZRPrinter* pPrinter, LPCSTR traceName, LPCSTR key,
                                        LPCSTR def, std::string* pInf, std::string* pSection) {
    Trace("%s() for %s\n", traceName, pPrinter->GetName() ? pPrinter->GetName() : "");
    *pInf = zrOwnerText(pPrinter->GetINFFile());
    *pSection = zrOwnerText(pPrinter->GetINFSection());
    if (pInf->empty() || pSection->empty()) {
        Trace("No INF file or no INF section string\n");
        return false;
    }
    return GetDelimitedPrinterObject(pInf, pSection, key, def, &m_csName, &m_csFile) != 0;
}

// ---- language monitor -------------------------------------------------------------------------

CZRLangMonitor::CZRLangMonitor(CZRPrinter* pPrinter) {
    if (!pPrinter) return;
    std::string inf;
    std::string section;
    if (!ReadNameAndFile(pPrinter, "CZRLangMonitor", "LanguageMonitor", "", &inf, &section)) {
        // Only a value the section holds but that is refused is traced as such.
        if (!inf.empty() && !section.empty()) Trace("Failed GetDelimitedPrinterObject()\n");
        return;
    }
    Trace("CZRLangMonitor.name=%s, CZRLangMonitor.file=%s\n", m_csName.c_str(), m_csFile.c_str());
    m_bValid = m_csName.empty() == m_csFile.empty() ? 1 : 0;
}

CZRLangMonitor::~CZRLangMonitor() {
    Trace("~CZRLangMonitor()\n");
}

int CZRLangMonitor::Install() {
    if (!m_bValid) return 0;
    if (m_csName.empty() && m_csFile.empty()) return 1;
    if (IsInstalled(nullptr)) return 1;
    return zrAddMonitor(m_csName, zrPlatformEnvironment(), m_csFile);
}

int CZRLangMonitor::IsInstalled(LPSTR server) {
    const CZRSpoolRecords records =
        zrEnumerateSpool([server](LPBYTE p, DWORD size, LPDWORD pNeeded, LPDWORD pReturned) {
            return EnumMonitorsA(server, 1, p, size, pNeeded, pReturned);
        });
    if (records.noMemory) {
        Trace("CZRLangMonitor::IsInstalled() Memory failure!\n");
        return 0;
    }
    if (!records.listed) {
        Trace("FAILED EnumMonitors()!");
        return 0;
    }
    const MONITOR_INFO_1A* entries = records.As<MONITOR_INFO_1A>();
    int found = 0;
    for (DWORD i = 0; i < records.Count() && !found; ++i)
        found = entries[i].pName && m_csName == entries[i].pName ? 1 : 0;
    Trace("%s Installed == %d\n", m_csName.c_str(), found);
    return found;
}

// ---- print processor --------------------------------------------------------------------------

CZRPrintProcessor::CZRPrintProcessor(CZRPrinter* pPrinter) : m_pszEnvironment(kEnvironmentNT) {
    if (!pPrinter) return;
    std::string inf;
    std::string section;
    if (!ReadNameAndFile(pPrinter, "CZRPrintDriver", "PrintProcessor", kProcessorDefault, &inf,
                         &section))
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
    std::string inf;
    std::string section;
    if (!ReadNameAndFile(pPrinter, "CZRPrintDriver", "PortMonitor", "", &inf, &section)) return;
    m_csPortName = zrOwnerText(pPrinter->GetPort());
    Trace("CZRPortMonitor.name=%s, CZRPortMonitor.file=%s\n", m_csName.c_str(), m_csFile.c_str());
    m_bValid = m_csName.empty() == m_csFile.empty() ? 1 : 0;
}

CZRPortMonitor::~CZRPortMonitor() {
    Trace("~CZRPortMonitor()\n");
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
    const CZRSpoolRecords records =
        zrEnumerateSpool([server](LPBYTE p, DWORD size, LPDWORD pNeeded, LPDWORD pReturned) {
            return EnumPortsA(server, 2, p, size, pNeeded, pReturned);
        });
    if (records.noMemory) {
        Trace("CZRPortMonitor::IsInstalled() Memory failure!\n");
        return 0;
    }
    int found = 0;
    if (!records.listed) {
        Trace("EnumPorts() FAILED: %lu\n", static_cast<unsigned long>(GetLastError()));
    } else {
        const PORT_INFO_2A* ports = records.As<PORT_INFO_2A>();
        for (DWORD i = 0; i < records.Count() && !found; ++i)
            found = ports[i].pPortName && ports[i].pMonitorName &&
                            m_csPortName == ports[i].pPortName && m_csName == ports[i].pMonitorName
                        ? 1
                        : 0;
    }
    Trace("%s ON %s Installed == %d\n", m_csName.c_str(), m_csPortName.c_str(), found);
    return found;
}
