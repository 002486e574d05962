// The spooler's enumerations (EnumPrintersA, EnumPortsA, EnumMonitorsA, EnumPrinterDriversA, ...)
// as one protocol: a call for the size, then a block of that size and a call for the records.
#ifndef PW_COMMON_SPOOLENUM_H
#define PW_COMMON_SPOOLENUM_H

#include <windows.h>

#include <memory>
#include <new>

// A block for a spooler answer of `size` bytes; null when it cannot be had.
inline std::unique_ptr<BYTE[]> zrSpoolBlock(DWORD size) {
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[size ? size : 1]);
}

// What one enumeration found: `returned` records of type T at the start of `block`.
struct CZRSpoolRecords {
    std::unique_ptr<BYTE[]> block; // null when the spooler asked for no room
    DWORD returned = 0;
    BOOL listed = FALSE;   // the spooler answered; otherwise its last error says why not
    bool noMemory = false; // the room it asked for could not be had

    template <typename T> const T* As() const { return reinterpret_cast<const T*>(block.get()); }
    // The records that can be read: none without a block.
    DWORD Count() const { return block ? returned : 0; }
};

// `enumerate(buffer, size, pNeeded, pReturned)` makes the spooler call. A size call that succeeds
// has nothing to list; one that fails without asking for room is the answer.
template <typename Enumerate> CZRSpoolRecords zrEnumerateSpool(Enumerate enumerate) {
    CZRSpoolRecords records;
    DWORD needed = 0;
    records.listed = enumerate(nullptr, 0, &needed, &records.returned);
    if (records.listed || needed == 0) return records;
    records.block = zrSpoolBlock(needed);
    if (!records.block) {
        records.noMemory = true;
        return records;
    }
    records.listed = enumerate(records.block.get(), needed, &needed, &records.returned);
    return records;
}

#endif
