// Owners of file handles: one for CreateFileA's handles, one for OpenFile's. Each closes what it
// holds on every path.
#ifndef PWSETUP_FRAME_FILEHANDLES_H
#define PWSETUP_FRAME_FILEHANDLES_H

#include "frame/handles.h"

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

#endif
