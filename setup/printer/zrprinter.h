// The printer and its four spooler components, each built from one install section of a setup
// INF file for the length of one export call.
#ifndef PWSETUP_PRINTER_ZRPRINTER_H
#define PWSETUP_PRINTER_ZRPRINTER_H

#include "frame/pwsetup.h"
#include "printer/inf.h"
#include "common/printerhandle.h"
#include "common/spoolenum.h"

#include <windows.h>
#include <winspool.h>

#include <memory>
#include <string>

// Results of DLL_AddPrinter besides 0.
enum {
    PW_ERR_DRIVER_OBJECT = 1040,
    PW_ERR_PORT_MONITOR_OBJECT = 1041,
    PW_ERR_LANG_MONITOR_OBJECT = 1042,
    PW_ERR_PROCESSOR_OBJECT = 1043,
    PW_ERR_PRINTER_INFO = 1044,
    PW_ERR_INSTALL = 1045, // a component, the driver or the printer itself did not go in
};

enum {
    PW_PRINTER_NAME_SIZE = 32,      // "device": at most 31 characters
    PW_DRIVER_NAME_SIZE = 64,       // "Device" as the driver name: at most 63
    PW_DEPENDENT_FILES_SIZE = 1024, // "DependentFiles": at most 1023 characters
    PW_DRV_VERSION_SIZE = 128,
    PW_ATTRIBUTES_SIZE = 16,
    PW_NUMBERED_NAME_BASE = 29, // a numbered name keeps this much of the name before "-N"
    PW_MAX_NAME_NUMBER = 99,
    PW_NETWORK_NAME_SIZE = 260,
    PW_PROFILE_LINE_SIZE = 256, // the WIN.INI "device" line: at most 255 characters
    PW_PORT_LIST_SIZE = 1024,   // what DLL_IsPrinterInstalled writes into the script's buffer
};

extern const char kEnvironmentNT[];    // "Windows NT x86"
extern const char kEnvironment4[];     // "Windows 4.0"
extern const char kBuiltinProcessor[]; // "WinPrint"
// The key below HKEY_LOCAL_MACHINE whose subkey, named by the driver, holds "Dependent Files".
extern const char kDependentFilesBase[];

// A text of the install section, read through a buffer of `size` bytes (cut as the read cuts).
std::string zrReadInfText(const std::string& infPath, const std::string& section, LPCSTR key,
                          LPCSTR def, DWORD size);
// The environment of this platform's own drivers and monitors.
LPCSTR zrPlatformEnvironment();
// A string member handed to a spooler call that takes LPSTR but only reads it.
inline LPSTR zrSpoolText(const std::string& text) {
    return const_cast<LPSTR>(text.c_str());
}
// A string member as the component's getters hand it out: null when it was never given.
inline LPCSTR zrTextOrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

class CZRPrinter;

// A spooler component that the install section names by one name-and-file value: its name, its
// file and whether the pair can be installed.
class CZRSpoolComponent {
  public:
    virtual ~CZRSpoolComponent() = default;
    virtual LPCSTR GetName();
    virtual LPCSTR GetFile();
    virtual int IsValid();
    virtual int Install() = 0;

  protected:
    // Reads the printer's install section value `key` (default `def`) into the name and file,
    // tracing as `traceName`; false when there is no section to read or the value is refused.
    bool ReadNameAndFile(CZRPrinter* pPrinter, LPCSTR traceName, LPCSTR key, LPCSTR def,
                         std::string* pInf, std::string* pSection);

    std::string m_csName;
    std::string m_csFile;
    int m_bValid = 0;
};

class CZRLangMonitor : public CZRSpoolComponent {
  public:
    explicit CZRLangMonitor(CZRPrinter* pPrinter);
    ~CZRLangMonitor() override;
    int Install() override;

    int IsInstalled(LPSTR server);
};

class CZRPrintProcessor : public CZRSpoolComponent {
  public:
    explicit CZRPrintProcessor(CZRPrinter* pPrinter);
    ~CZRPrintProcessor() override;
    int Install() override;
    virtual LPCSTR GetDefaultParams();

    LPSTR GetServerName();

  private:
    std::string m_csDefaultParams;
    LPCSTR m_pszEnvironment;
};

class CZRPortMonitor : public CZRSpoolComponent {
  public:
    explicit CZRPortMonitor(CZRPrinter* pPrinter);
    ~CZRPortMonitor() override;
    int Install() override;

    int IsInstalled(LPSTR server);

  private:
    std::string m_csPortName; // the printer's port: a port of ours on it proves the monitor is in
    CZRPrinter* m_pOwner;
};

class CZRPrintDriver {
  public:
    explicit CZRPrintDriver(CZRPrinter* pPrinter);
    virtual ~CZRPrintDriver();
    virtual LPCSTR GetName();
    virtual LPCSTR GetFile();
    virtual int IsEnvironment(LPCSTR environment);
    virtual int IsValid();
    virtual LPCSTR GetDefaultDataType();
    virtual int Install(int replace);

    void ReadFromINF(const std::string& section, const std::string& infPath);
    int GetInfoFromINF(CZRPrinter* pPrinter);
    int GetServer();
    int IsInstalled(LPSTR server);

  private:
    std::string m_csName;
    std::string m_csDriverFile;
    std::string m_csDataFile;
    std::string m_csConfigFile;
    std::string m_csHelpFile;
    std::string m_csEnvironment;
    // The list as a multi-string; one byte more than the read so that a list of the full 1023
    // characters still ends with its two terminators.
    char m_szDependentFiles[PW_DEPENDENT_FILES_SIZE + 1];
    int m_bValid = 0;
    std::unique_ptr<DRIVER_INFO_3A> m_pInfo;
    DWORD m_dwLevel = 3;
    char m_szDefaultDataType[PW_INF_VALUE_SIZE];
    LPSTR m_pszServer = nullptr;
    std::string m_csMonitorName; // the record's monitor, copied from the printer's components
};

class CZRPrinter {
  public:
    CZRPrinter(LPCSTR infPath, LPCSTR section, LPCSTR port);
    virtual ~CZRPrinter();
    virtual int ListInstalledPorts(LPSTR buffer);
    virtual DWORD GetError();
    virtual LPCSTR GetName();
    virtual LPCSTR GetPort();
    virtual LPCSTR GetINFFile();
    virtual LPCSTR GetINFSection();
    virtual LPCSTR GetDriverName();
    virtual LPCSTR GetDriverFile();
    virtual LPCSTR GetPortMonitorName();
    virtual LPCSTR GetPortMonitorFile();
    virtual LPCSTR GetLangMonitorName();
    virtual LPCSTR GetLangMonitorFile();
    virtual LPCSTR GetPrintProcessorName();
    virtual LPCSTR GetPrintProcessorFile();

    // Whether all four components could be created (the install sequence needs them).
    bool HasComponents() const;
    // The install sequence of DLL_AddPrinter: nonzero when the printer (or, for a network port on
    // NT, the connection, or for a "Windows 4.0" section on NT, the driver) is in place.
    int Install();

  private:
    DWORD CreateComponents();
    int InstallPrintProcessor();
    int FillPrinterInfo();
    DWORD ComputeAttributes();
    int CreatePrinter();
    int MakeNumberedName();
    void MakeDefaultThroughProfile();
    void MoveToNetworkName();

    std::string m_csName;
    std::string m_csPort;
    std::string m_csINFFile;
    std::string m_csINFSection;
    int m_nUpgrade = 0;
    std::unique_ptr<CZRPrintDriver> m_pDriver;
    std::unique_ptr<CZRPortMonitor> m_pPortMonitor;
    std::unique_ptr<CZRLangMonitor> m_pLangMonitor;
    std::unique_ptr<CZRPrintProcessor> m_pPrintProcessor;
    PRINTER_INFO_2A m_PrinterInfo;
    CZRPrinterHandle m_hPrinter;
    int m_bResult = 0;
    DWORD m_dwError = 0;
    char m_szNetworkName[PW_NETWORK_NAME_SIZE];
};

PW_EXPORT DLL_AddPrinter(LPCSTR infPath, LPCSTR section, LPCSTR port);
// The script's buffer receives the ports of the matching printers, "," between them, at most
// PW_PORT_LIST_SIZE bytes with the terminator; the result counts every matching printer. The
// array says so to the call-script interpreter too, which refuses a smaller buffer.
PW_EXPORT DLL_IsPrinterInstalled(LPCSTR infPath, LPCSTR section, char buffer[PW_PORT_LIST_SIZE]);

#endif
