// Printer data: the values a printer's driver keeps under the printer's "PrinterDriverData" key,
// and the print server's own values, as GetPrinterDataA reads them.
#include "spooler.h"

#include <cstring>

namespace winsim::spooler {

namespace {

// A print server value: NT 4.0's spooler is version 2.0 (its drivers are "Version-2"), 95/98's
// is 0.0. Spooled jobs wait in the spooler's PRINTERS folder.
bool ServerValue(const std::string& name, DWORD* type, std::vector<uint8_t>* data) {
    DWORD number = 0;
    if (IEquals(name, SPLREG_DEFAULT_SPOOL_DIRECTORY)) {
        const std::string dir =
            IsNT() ? SystemDir() + "\\spool\\PRINTERS" : WindowsDir() + "\\SPOOL\\PRINTERS";
        *type = REG_SZ;
        data->assign(dir.begin(), dir.end());
        data->push_back(0);
        return true;
    }
    if (IEquals(name, SPLREG_MAJOR_VERSION))
        number = IsNT() ? 2 : 0;
    else if (!IEquals(name, SPLREG_MINOR_VERSION))
        return false;
    *type = REG_DWORD;
    data->resize(sizeof number);
    std::memcpy(data->data(), &number, sizeof number);
    return true;
}

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

} // namespace

extern "C" {

// Returns its error. NT's ANSI call reads the value through the Unicode one, so its size counts
// text in UTF-16 and the buffer must hold that much.
DWORD WINAPI GetPrinterDataA(HANDLE hPrinter, LPSTR pValueName, LPDWORD pType, LPBYTE pData,
                             DWORD nSize, LPDWORD pcbNeeded) {
    Require();
    WINSIM_FAILPOINT_RETURNS_ERROR();
    const PrinterHandle* h = HandleOf(hPrinter);
    if (!h) return ERROR_INVALID_HANDLE;
    if (!pcbNeeded) return IsNT() ? RPC_X_NULL_REF_POINTER : ERROR_INVALID_PARAMETER;
    if (!pValueName) return ERROR_INVALID_PARAMETER;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    if (h->kind == PrinterHandle::Server) {
        if (!ServerValue(pValueName, &type, &data)) return ERROR_INVALID_PARAMETER;
    } else {
        // A connection's data lives on its server, which keeps none for it here.
        PrinterView v;
        if (!HandleView(*h, &v)) return GetLastError();
        std::vector<SysValue> values;
        if (h->kind == PrinterHandle::Connection ||
            !SysValues(PrintersKey() + "\\" + v.name + "\\PrinterDriverData", &values))
            return ERROR_FILE_NOT_FOUND;
        const SysValue* found = nullptr;
        for (const SysValue& val : values)
            if (IEquals(val.name, pValueName)) found = &val;
        if (!found) return ERROR_FILE_NOT_FOUND;
        type = found->type;
        data = found->data;
    }
    const DWORD needed = static_cast<DWORD>(data.size() * (IsNT() && IsText(type) ? 2 : 1));
    *pcbNeeded = needed;
    if (pType) *pType = type;
    if (!pData || nSize < needed) return ERROR_MORE_DATA;
    if (!data.empty()) std::memcpy(pData, data.data(), data.size());
    return ERROR_SUCCESS;
}

} // extern "C"

} // namespace winsim::spooler
