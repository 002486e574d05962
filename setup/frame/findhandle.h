// Owner of a file search handle from FindFirstFileA.
#ifndef PWSETUP_FRAME_FINDHANDLE_H
#define PWSETUP_FRAME_FINDHANDLE_H

#include "frame/filehandles.h"

struct CZRFindFileTraits : CZRInvalidHandleTraits {
    static void Close(HANDLE h) { FindClose(h); }
};
using CZRFindFile = CZROwner<HANDLE, CZRFindFileTraits>;

#endif
