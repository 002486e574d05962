// Removal of a printer with its driver and language monitor when nothing else needs them, and of
// a printer port, through the spooler of the local machine.
#include "removal.h"

#include <winspool.h>

#include <cstring>

#include "common/printerhandle.h"
#include "common/spoolenum.h"

namespace {

// A spooler name into a 50-byte buffer; a name that does not fit names no object of ours, and
// the object it would be cut to must not be deleted in its place.
void CopyName(char (&dest)[UN_NAME_SIZE], const char* src) {
    dest[0] = '\0';
    if (src && std::strlen(src) < sizeof dest) std::strcpy(dest, src);
}

// One of the printer's records (GetPrinterA, GetPrinterDriverA) in two calls, size first; no
// records when the printer cannot be opened or the spooler does not complete the call.
template <typename Get> CZRSpoolRecords PrinterRecord(const char* name, Get get) {
    CZRPrinterHandle printer;
    if (!OpenPrinterA(const_cast<LPSTR>(name), printer.Put(), nullptr)) return {};
    CZRSpoolRecords found = zrEnumerateSpool([&](BYTE* data, DWORD size, DWORD* needed,
                                                 DWORD* returned) {
        *returned = 1;
        return get(printer.Get(), data, size, needed);
    });
    if (!found.listed) found.returned = 0;
    return found;
}

// True when no record of the enumeration is `usedBy`; a failed enumeration counts as a use, so
// that what it asks about is kept.
template <typename Record, typename Enumerate, typename UsedBy>
bool NoRecordUses(Enumerate enumerate, UsedBy usedBy) {
    const CZRSpoolRecords found = zrEnumerateSpool(enumerate);
    if (!found.listed) return false;
    const Record* records = found.As<Record>();
    for (DWORD i = 0; i < found.Count(); ++i)
        if (usedBy(records[i])) return false;
    return true;
}

// True when no other printer uses the driver.
bool DriverUnused(const char* printerName, const char* driver) {
    const DWORD flags =
        IsWindowsNT ? PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS : PRINTER_ENUM_LOCAL;
    return NoRecordUses<PRINTER_INFO_2A>(
        [flags](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrintersA(flags, nullptr, 2, data, size, needed, returned);
        },
        [&](const PRINTER_INFO_2A& p) {
            return p.pPrinterName && p.pDriverName && lstrcmpiA(p.pPrinterName, printerName) != 0 &&
                   lstrcmpiA(p.pDriverName, driver) == 0;
        });
}

// True when no other driver of the current environment uses the monitor.
bool MonitorUnused(const char* driver, const char* monitor) {
    return NoRecordUses<DRIVER_INFO_3A>(
        [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrinterDriversA(nullptr, nullptr, 3, data, size, needed, returned);
        },
        [&](const DRIVER_INFO_3A& d) {
            return d.pName && d.pMonitorName && lstrcmpiA(d.pName, driver) != 0 &&
                   lstrcmpiA(d.pMonitorName, monitor) == 0;
        });
}

} // namespace

void RemovePrinter(const char* printerName) {
    if (!printerName) return;
    char driver[UN_NAME_SIZE] = "";
    char monitor[UN_NAME_SIZE] = "";
    bool driverMayGo = false;
    bool monitorMayGo = false;

    {
        const CZRSpoolRecords record =
            PrinterRecord(printerName, [](HANDLE printer, BYTE* data, DWORD size, DWORD* needed) {
                return GetPrinterA(printer, 2, data, size, needed);
            });
        if (record.Count()) CopyName(driver, record.As<PRINTER_INFO_2A>()->pDriverName);
    }
    if (driver[0]) {
        driverMayGo = DriverUnused(printerName, driver);
        if (driverMayGo) {
            const CZRSpoolRecords record = PrinterRecord(
                printerName, [](HANDLE printer, BYTE* data, DWORD size, DWORD* needed) {
                    return GetPrinterDriverA(printer, nullptr, 3, data, size, needed);
                });
            if (record.Count()) CopyName(monitor, record.As<DRIVER_INFO_3A>()->pMonitorName);
            // The network monitor serves other products as well; it is never ours to delete.
            if (std::strstr(monitor, "Netvane")) monitor[0] = '\0';
        }
        if (monitor[0]) monitorMayGo = MonitorUnused(driver, monitor);
    }

    {
        char datatype[] = "RAW";
        PRINTER_DEFAULTSA defaults = {datatype, nullptr, PRINTER_ALL_ACCESS};
        CZRPrinterHandle printer;
        if (OpenPrinterA(const_cast<LPSTR>(printerName), printer.Put(), &defaults))
            DeletePrinter(printer.Get());
    }
    if (driverMayGo) DeletePrinterDriverA(nullptr, nullptr, driver);
    if (monitorMayGo) DeleteMonitorA(nullptr, nullptr, monitor);
}

void RemovePort(const char* portName) {
    if (!portName) return;
    DeletePortA(nullptr, PageWindow, const_cast<LPSTR>(portName));
    WriteProfileStringA("ports", portName, nullptr);
}
