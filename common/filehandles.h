// Owners of file handles: CreateFileA's, OpenFile's and FindFirstFileA's. Each closes what it
// holds on every path.
#ifndef PW_COMMON_FILEHANDLES_H
#define PW_COMMON_FILEHANDLES_H

#include "common/handles.h"

// Handles whose empty value is INVALID_HANDLE_VALUE; a null one holds nothing either.
struct CZRInvalidHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
};

// A file or device opened with CreateFileA.
struct CZRFileTraits : CZRInvalidHandleTraits {
    static void Close(HANDLE h) { CloseHandle(h); }
};
using CZRFile = CZROwner<HANDLE, CZRFileTraits>;

// A file opened with OpenFile and used through the _l calls; HFILE_ERROR means none.
struct CZRHFileTraits {
    static constexpr HFILE Invalid() { return HFILE_ERROR; }
    static bool Valid(HFILE h) { return h != HFILE_ERROR; }
    static void Close(HFILE h) { _lclose(h); }
};
using CZRHFile = CZROwner<HFILE, CZRHFileTraits>;

// A file search from FindFirstFileA; only FindClose ends it.
struct CZRFindFileTraits : CZRInvalidHandleTraits {
    static void Close(HANDLE h) { FindClose(h); }
};
using CZRFindFile = CZROwner<HANDLE, CZRFindFileTraits>;

#endif
