// The owner of a spooler printer handle: closes it with ClosePrinter on every path.
#ifndef PW_COMMON_PRINTERHANDLE_H
#define PW_COMMON_PRINTERHANDLE_H

#include <windows.h>
#include <winspool.h>

#include "common/handles.h"

struct CZRPrinterHandleTraits : CZRNullHandleTraits<HANDLE> {
    static void Close(HANDLE h) { ClosePrinter(h); }
};
using CZRPrinterHandle = CZROwner<HANDLE, CZRPrinterHandleTraits>;

#endif
