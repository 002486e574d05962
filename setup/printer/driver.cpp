// The printer driver of an install section and its installation through the spooler.
#include "printer/zrprinter.h"

#include "frame/zrregistry.h"

#include <cstring>

// The product's own tree, so that the spooler's driver keys only ever hold what the spooler wrote.
const char kDependentFilesBase[] = "SOFTWARE\\Norvex\\KVP\\Drivers\\";

CZRPrintDriver::CZRPrintDriver(CZRPrinter* pPrinter) {
    std::memset(m_szDependentFiles, 0, sizeof m_szDependentFiles);
    std::memset(m_szDefaultDataType, 0, sizeof m_szDefaultDataType);
    if (!pPrinter) return;
    Trace("CZRPrintDriver::CZRPrintDriver() for %s\n",
          pPrinter->GetName() ? pPrinter->GetName() : "");
    if (!pPrinter->GetINFFile() || !pPrinter->GetINFSection()) return;
    ReadFromINF(pPrinter->GetINFSection(), pPrinter->GetINFFile());
    m_dwLevel = 3;
    if (GetInfoFromINF(pPrinter) && GetServer()) {
        Trace("CZRPrintDriver(): name==%s; File==%s\n", m_csName.c_str(), m_csDriverFile.c_str());
        m_bValid = !m_csName.empty() && !m_csDriverFile.empty() ? 1 : 0;
    } else {
        Trace("FAIL: GetInfoFromINF() or GetServer() returned false");
    }
}

CZRPrintDriver::~CZRPrintDriver() {
    Trace("~CZRPrintDriver()\n");
}

LPCSTR CZRPrintDriver::GetName() {
    return zrTextOrNull(m_csName);
}
LPCSTR CZRPrintDriver::GetFile() {
    return zrTextOrNull(m_csDriverFile);
}

int CZRPrintDriver::IsEnvironment(LPCSTR environment) {
    return !m_csEnvironment.empty() && environment && m_csEnvironment == environment ? 1 : 0;
}

int CZRPrintDriver::IsValid() {
    return m_bValid;
}
LPCSTR CZRPrintDriver::GetDefaultDataType() {
    return m_szDefaultDataType;
}

void CZRPrintDriver::ReadFromINF(const std::string& section, const std::string& infPath) {
    m_csName = zrReadInfText(infPath, section, "Device", "", PW_DRIVER_NAME_SIZE);
    zrTranslateStringPlaceholder(&m_csName, infPath);
    m_csConfigFile = zrReadInfText(infPath, section, "ConfigFile", "", PW_INF_VALUE_SIZE);
    m_csDataFile = zrReadInfText(infPath, section, "DataFile", "", PW_INF_VALUE_SIZE);
    m_csHelpFile = zrReadInfText(infPath, section, "HelpFile", "", PW_INF_VALUE_SIZE);
    m_csDriverFile = zrReadInfText(infPath, section, "Driver", "", PW_INF_VALUE_SIZE);
    m_csEnvironment = zrReadInfText(infPath, section, "Environment", "", PW_INF_VALUE_SIZE);

    std::memset(m_szDependentFiles, 0, sizeof m_szDependentFiles);
    const DWORD read =
        GetPrivateProfileStringA(section.c_str(), "DependentFiles", "", m_szDependentFiles,
                                 PW_DEPENDENT_FILES_SIZE, infPath.c_str());
    for (DWORD i = 0; i < read && i < PW_DEPENDENT_FILES_SIZE; ++i)
        if (m_szDependentFiles[i] == ' ') m_szDependentFiles[i] = '\0';

    // Without a name there is no key of this driver to write to.
    if (m_csName.empty()) return;
    const std::string path = kDependentFilesBase + m_csName;
    WriteValueCreatingPath(HKEY_LOCAL_MACHINE, path.c_str(), "Dependent Files", m_szDependentFiles,
                           REG_MULTI_SZ, FALSE);
}

int CZRPrintDriver::GetInfoFromINF(CZRPrinter* pPrinter) {
    m_pInfo.reset(new (std::nothrow) DRIVER_INFO_3A());
    if (!m_pInfo) {
        Trace("CZRPrintDriver::GetInfoFromINF() FAILED memory Allocation!\n");
        return 0;
    }
    const std::string section = pPrinter->GetINFSection();
    const std::string inf = pPrinter->GetINFFile();
    GetPrivateProfileStringA(section.c_str(), "DefaultDataType", "EMF", m_szDefaultDataType,
                             sizeof m_szDefaultDataType, inf.c_str());
    char version[PW_DRV_VERSION_SIZE];
    GetPrivateProfileStringA(section.c_str(), "DrvVersion", "0x400", version, sizeof version,
                             inf.c_str());

    DRIVER_INFO_3A& info = *m_pInfo;
    info.cVersion = static_cast<DWORD>(htol(version));
    info.pName = zrSpoolText(m_csName);
    info.pEnvironment = zrSpoolText(m_csEnvironment);
    info.pDriverPath = zrSpoolText(m_csDriverFile);
    info.pDataFile = zrSpoolText(m_csDataFile);
    info.pConfigFile = zrSpoolText(m_csConfigFile);
    if (m_dwLevel == 3) {
        info.pHelpFile = zrSpoolText(m_csHelpFile);
        info.pDependentFiles = m_szDependentFiles;
        LPCSTR monitor = pPrinter->GetLangMonitorName();
        if (!monitor) monitor = pPrinter->GetPortMonitorName();
        m_csMonitorName = monitor ? monitor : "";
        info.pMonitorName = monitor ? zrSpoolText(m_csMonitorName) : nullptr;
        info.pDefaultDataType = m_szDefaultDataType;
    }
    return 1;
}

int CZRPrintDriver::GetServer() {
    m_pszServer = nullptr;
    if (GetOSFamily() == OSF_WINNT) Trace("CZRPrintProcessor::GetServerName() NOT implemented\n");
    return 1;
}

int CZRPrintDriver::IsInstalled(LPSTR server) {
    if (!m_bValid) return 0;
    const LPSTR environment = m_pInfo->pEnvironment;
    const DWORD level = m_dwLevel;
    const CZRSpoolRecords records =
        zrEnumerateSpool([=](LPBYTE p, DWORD size, LPDWORD pNeeded, LPDWORD pReturned) {
            return EnumPrinterDriversA(server, environment, level, p, size, pNeeded, pReturned);
        });
    if (!records.listed) return 0;
    const DRIVER_INFO_3A* drivers = records.As<DRIVER_INFO_3A>();
    int found = 0;
    for (DWORD i = records.Count(); i-- > 0 && !found;)
        found = drivers[i].pName && m_csName == drivers[i].pName ? 1 : 0;
    return found;
}

int CZRPrintDriver::Install(int replace) {
    if (!m_bValid) return 0;
    if (IsInstalled(m_pszServer)) {
        if (!replace) return 1;
        // The driver was found in the record's environment; only that one is replaced, never the
        // platform's own driver of the same name.
        DeletePrinterDriverA(m_pszServer, m_csEnvironment.empty() ? nullptr : m_pInfo->pEnvironment,
                             m_pInfo->pName);
    }
    if (AddPrinterDriverA(m_pszServer, m_dwLevel, reinterpret_cast<LPBYTE>(m_pInfo.get())))
        return 1;
    const DWORD error = GetLastError();
    Trace("AddPrinterDriver() failed: name=%s; drv=%s; err=%d<0x%8.8lX>\n", m_csName.c_str(),
          m_csDriverFile.c_str(), static_cast<int>(error), static_cast<unsigned long>(error));
    return error == ERROR_PRINTER_DRIVER_ALREADY_INSTALLED ? 1 : 0;
}
