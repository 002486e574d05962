// The owner of a spooler printer handle: closes it with ClosePrinter on every path.
#ifndef PWSETUP_PRINTER_PRINTER_HANDLE_H
#define PWSETUP_PRINTER_PRINTER_HANDLE_H

#include <windows.h>
#include <winspool.h>

#include "frame/handles.h"

struct CZRPrinterHandleTraits : CZRNullHandleTraits<HANDLE> {
    static void Close(HANDLE h) { ClosePrinter(h); }
};
using CZRPrinterHandle = CZROwner<HANDLE, CZRPrinterHandleTraits>;

#endif
