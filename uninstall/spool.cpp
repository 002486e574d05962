// Removal of a printer with its driver and language monitor when nothing else needs them, and of
// a printer port, through the spooler of the local machine.
#include "removal.h"

#include <winspool.h>

#include <cstring>
#include <vector>

#include "common/printerhandle.h"

namespace {

// A spooler name into a 50-byte buffer; a name that does not fit names no object of ours, and
// the object it would be cut to must not be deleted in its place.
void CopyName(char (&dest)[UN_NAME_SIZE], const char* src) {
    dest[0] = '\0';
    if (src && std::strlen(src) < sizeof dest) std::strcpy(dest, src);
}

// The printer's record at level 2, or an empty buffer.
std::vector<BYTE> PrinterRecord(const char* name) {
    std::vector<BYTE> record;
    CZRPrinterHandle printer;
    if (!OpenPrinterA(const_cast<LPSTR>(name), printer.Put(), nullptr)) return record;
    DWORD needed = 0;
    if (GetPrinterA(printer.Get(), 2, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return record;
    record.assign(needed, 0);
    if (!GetPrinterA(printer.Get(), 2, record.data(), needed, &needed)) record.clear();
    return record;
}

// The driver record (level 3) of the printer's driver in the current environment.
std::vector<BYTE> DriverRecord(const char* name) {
    std::vector<BYTE> record;
    CZRPrinterHandle printer;
    if (!OpenPrinterA(const_cast<LPSTR>(name), printer.Put(), nullptr)) return record;
    DWORD needed = 0;
    if (GetPrinterDriverA(printer.Get(), nullptr, 3, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return record;
    record.assign(needed, 0);
    if (!GetPrinterDriverA(printer.Get(), nullptr, 3, record.data(), needed, &needed))
        record.clear();
    return record;
}

// Enumeration in two calls, size first; false when the spooler does not complete it.
template <typename Enumerate>
bool EnumerateAll(Enumerate enumerate, std::vector<BYTE>& buffer, DWORD* count) {
    DWORD needed = 0;
    *count = 0;
    if (enumerate(nullptr, 0, &needed, count)) {
        buffer.clear();
        return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    buffer.assign(needed, 0);
    return enumerate(buffer.data(), needed, &needed, count) != FALSE;
}

// True when no record of the enumeration is `usedBy`; a failed enumeration counts as a use, so
// that what it asks about is kept.
template <typename Record, typename Enumerate, typename UsedBy>
bool NoRecordUses(Enumerate enumerate, UsedBy usedBy) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    if (!EnumerateAll(enumerate, buffer, &count)) return false;
    const auto* records = reinterpret_cast<const Record*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
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
        std::vector<BYTE> record = PrinterRecord(printerName);
        if (!record.empty())
            CopyName(driver, reinterpret_cast<const PRINTER_INFO_2A*>(record.data())->pDriverName);
    }
    if (driver[0]) {
        driverMayGo = DriverUnused(printerName, driver);
        if (driverMayGo) {
            std::vector<BYTE> record = DriverRecord(printerName);
            if (!record.empty())
                CopyName(monitor,
                         reinterpret_cast<const DRIVER_INFO_3A*>(record.data())->pMonitorName);
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
