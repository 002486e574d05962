// Owner of a file search handle from FindFirstFileA.
#ifndef PWSETUP_FRAME_FINDHANDLE_H
#define PWSETUP_FRAME_FINDHANDLE_H

#include <windows.h>

class CZRFindFile {
  public:
    CZRFindFile() = default;
    explicit CZRFindFile(HANDLE h) : m_h(h) {}
    ~CZRFindFile() { Close(); }
    CZRFindFile(const CZRFindFile&) = delete;
    CZRFindFile& operator=(const CZRFindFile&) = delete;

    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    void Close() {
        if (*this) FindClose(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};

#endif
