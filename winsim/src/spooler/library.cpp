// winspool.drv as a library: its export table, so that a program that loads it by name
// (LoadLibraryA("winspool.drv"), its file in the system directory) finds the spooler's calls
// with GetProcAddress. DeviceCapabilitiesA is winspool.drv's too, though wingdi.h declares it.
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
         {"DocumentPropertiesA", AsProc(&DocumentPropertiesA)},
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

} // namespace

} // namespace winsim::spooler
