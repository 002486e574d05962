// winspool.drv and spoolss.dll as libraries: their export tables, so that a program that loads
// one by name (LoadLibraryA("winspool.drv"), its file in the system directory) finds the
// spooler's calls with GetProcAddress. DeviceCapabilitiesA is winspool.drv's too, though
// wingdi.h declares it.
#include "../modules.h"
#include "spooler.h"

namespace winsim::spooler {

namespace {

const bool g_winspool = [] {
    RegisterBuiltinModule(
        "WINSPOOL.DRV",
        {{"AddMonitorA", AsProc(&AddMonitorA)},
         {"AddPortA", AsProc(&AddPortA)},
         {"AddPrintProcessorA", AsProc(&AddPrintProcessorA)},
         {"AddPrinterA", AsProc(&AddPrinterA)},
         {"AddPrinterConnectionA", AsProc(&AddPrinterConnectionA)},
         {"AddPrinterDriverA", AsProc(&AddPrinterDriverA)},
         {"ClosePrinter", AsProc(&ClosePrinter)},
         {"ConfigurePortA", AsProc(&ConfigurePortA)},
         {"DeleteMonitorA", AsProc(&DeleteMonitorA)},
         {"DeletePortA", AsProc(&DeletePortA)},
         {"DeletePrintProcessorA", AsProc(&DeletePrintProcessorA)},
         {"DeletePrinter", AsProc(&DeletePrinter)},
         {"DeletePrinterConnectionA", AsProc(&DeletePrinterConnectionA)},
         {"DeletePrinterDriverA", AsProc(&DeletePrinterDriverA)},
         {"DeviceCapabilitiesA", AsProc(&DeviceCapabilitiesA)},
         {"DeviceCapabilitiesW", AsProc(&DeviceCapabilitiesW)},
         {"DocumentPropertiesA", AsProc(&DocumentPropertiesA)},
         {"DocumentPropertiesW", AsProc(&DocumentPropertiesW)},
         {"EnumFormsA", AsProc(&EnumFormsA)},
         {"EnumMonitorsA", AsProc(&EnumMonitorsA)},
         {"EnumPortsA", AsProc(&EnumPortsA)},
         {"EnumPrintProcessorsA", AsProc(&EnumPrintProcessorsA)},
         {"EnumPrinterDriversA", AsProc(&EnumPrinterDriversA)},
         {"EnumPrinterDriversW", AsProc(&EnumPrinterDriversW)},
         {"EnumPrintersA", AsProc(&EnumPrintersA)},
         {"EnumPrintersW", AsProc(&EnumPrintersW)},
         {"GetFormA", AsProc(&GetFormA)},
         {"GetPrintProcessorDirectoryA", AsProc(&GetPrintProcessorDirectoryA)},
         {"GetPrinterA", AsProc(&GetPrinterA)},
         {"GetPrinterW", AsProc(&GetPrinterW)},
         {"GetPrinterDataA", AsProc(&GetPrinterDataA)},
         {"GetPrinterDriverA", AsProc(&GetPrinterDriverA)},
         {"GetPrinterDriverW", AsProc(&GetPrinterDriverW)},
         {"GetPrinterDriverDirectoryA", AsProc(&GetPrinterDriverDirectoryA)},
         {"OpenPrinterA", AsProc(&OpenPrinterA)},
         {"OpenPrinterW", AsProc(&OpenPrinterW)},
         {"SetPrinterA", AsProc(&SetPrinterA)}},
        false);
    return true;
}();

// spoolss.dll, the spooler's router, which winspool.drv calls on NT 4.0: the W calls of its
// export table that winsim has (the router speaks UTF-16 only).
const bool g_spoolss = [] {
    RegisterBuiltinModule("SPOOLSS.DLL",
                          {{"ClosePrinter", AsProc(&ClosePrinter)},
                           {"EnumPrinterDriversW", AsProc(&EnumPrinterDriversW)},
                           {"EnumPrintersW", AsProc(&EnumPrintersW)},
                           {"GetPrinterDriverW", AsProc(&GetPrinterDriverW)},
                           {"GetPrinterW", AsProc(&GetPrinterW)},
                           {"OpenPrinterW", AsProc(&OpenPrinterW)}},
                          false);
    return true;
}();

} // namespace

} // namespace winsim::spooler
