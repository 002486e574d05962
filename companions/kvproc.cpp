// Stand-in for the product's print processor (KVPROC.DLL). Windows NT looks up the five entry
// points below when it adds a processor; Windows 95/98 look up InitializePrintProcessor, which
// fills the spooler's table of them. The stand-in lists one data type, RAW, and prints nothing:
// opening it for a job fails with ERROR_NOT_SUPPORTED.
#include <windows.h>

#include <cstring>

extern "C" {

// DATATYPES_INFO_1W records for the data types this processor takes: one, "RAW".
BOOL WINAPI EnumPrintProcessorDatatypesW(LPWSTR server, LPWSTR processor, DWORD level,
                                         LPBYTE buffer, DWORD size, LPDWORD needed,
                                         LPDWORD returned) {
    (void)server;
    (void)processor;
    static const WCHAR kRaw[] = {'R', 'A', 'W', 0};
    const DWORD bytes = sizeof(WCHAR*) + sizeof kRaw;
    if (returned) *returned = 0;
    if (level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (needed) *needed = bytes;
    if (!buffer || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // The record first, its text at the end of the buffer, as the spooler packs them.
    WCHAR* text = reinterpret_cast<WCHAR*>(buffer + size - sizeof kRaw);
    std::memcpy(text, kRaw, sizeof kRaw);
    std::memcpy(buffer, &text, sizeof text);
    if (returned) *returned = 1;
    return TRUE;
}

HANDLE WINAPI OpenPrintProcessor(LPWSTR printer, void* openData) {
    (void)printer;
    (void)openData;
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
}

BOOL WINAPI PrintDocumentOnPrintProcessor(HANDLE processor, LPWSTR document) {
    (void)processor;
    (void)document;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL WINAPI ControlPrintProcessor(HANDLE processor, DWORD command) {
    (void)processor;
    (void)command;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL WINAPI ClosePrintProcessor(HANDLE processor) {
    (void)processor;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

// Windows 95/98: the spooler's table of the entry points, of a size the processor knows, left
// empty (no job is ever opened).
BOOL WINAPI InitializePrintProcessor(void* table, DWORD size) {
    (void)size;
    return table != nullptr;
}

} // extern "C"
