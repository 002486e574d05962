// Owners of file handles: one for CreateFileA's handles, one for OpenFile's. Each closes what it
// holds on every path.
#ifndef PWSETUP_FRAME_FILEHANDLES_H
#define PWSETUP_FRAME_FILEHANDLES_H

#include <windows.h>

// A file or device opened with CreateFileA; INVALID_HANDLE_VALUE means none.
class CZRFile {
  public:
    CZRFile() = default;
    explicit CZRFile(HANDLE h) : m_h(h) {}
    ~CZRFile() { Close(); }
    CZRFile(const CZRFile&) = delete;
    CZRFile& operator=(const CZRFile&) = delete;
    CZRFile(CZRFile&& other) noexcept : m_h(other.Release()) {}
    CZRFile& operator=(CZRFile&& other) noexcept {
        if (this != &other) {
            Close();
            m_h = other.Release();
        }
        return *this;
    }

    HANDLE Get() const { return m_h; }
    HANDLE Release() {
        HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }
    explicit operator bool() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    void Close() {
        if (*this) CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};

// A file opened with OpenFile and used through the _l calls; HFILE_ERROR means none.
class CZRHFile {
  public:
    CZRHFile() = default;
    explicit CZRHFile(HFILE h) : m_h(h) {}
    ~CZRHFile() { Close(); }
    CZRHFile(const CZRHFile&) = delete;
    CZRHFile& operator=(const CZRHFile&) = delete;
    CZRHFile(CZRHFile&& other) noexcept : m_h(other.Release()) {}
    CZRHFile& operator=(CZRHFile&& other) noexcept {
        if (this != &other) {
            Close();
            m_h = other.Release();
        }
        return *this;
    }

    HFILE Get() const { return m_h; }
    HFILE Release() {
        HFILE h = m_h;
        m_h = HFILE_ERROR;
        return h;
    }
    explicit operator bool() const { return m_h != HFILE_ERROR; }
    void Close() {
        if (*this) _lclose(m_h);
        m_h = HFILE_ERROR;
    }

  private:
    HFILE m_h = HFILE_ERROR;
};

#endif
