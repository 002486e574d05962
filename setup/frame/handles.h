// One owner per handle kind: each closes what it holds on every path.
#ifndef PWSETUP_FRAME_HANDLES_H
#define PWSETUP_FRAME_HANDLES_H

#include <windows.h>

class CZRRegKey {
  public:
    CZRRegKey() = default;
    explicit CZRRegKey(HKEY hKey) : m_hKey(hKey) {}
    ~CZRRegKey() { Close(); }
    CZRRegKey(const CZRRegKey&) = delete;
    CZRRegKey& operator=(const CZRRegKey&) = delete;
    CZRRegKey(CZRRegKey&& other) noexcept : m_hKey(other.Release()) {}
    CZRRegKey& operator=(CZRRegKey&& other) noexcept {
        if (this != &other) {
            Close();
            m_hKey = other.Release();
        }
        return *this;
    }

    HKEY Get() const { return m_hKey; }
    PHKEY Put() {
        Close();
        return &m_hKey;
    }
    HKEY Release() {
        HKEY h = m_hKey;
        m_hKey = nullptr;
        return h;
    }
    explicit operator bool() const { return m_hKey != nullptr; }
    void Close() {
        if (m_hKey) RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }

  private:
    HKEY m_hKey = nullptr;
};

// Kernel objects closed with CloseHandle (processes, tokens).
class CZRHandle {
  public:
    CZRHandle() = default;
    explicit CZRHandle(HANDLE h) : m_h(h) {}
    ~CZRHandle() {
        if (m_h) CloseHandle(m_h);
    }
    CZRHandle(const CZRHandle&) = delete;
    CZRHandle& operator=(const CZRHandle&) = delete;

    HANDLE Get() const { return m_h; }
    PHANDLE Put() {
        if (m_h) CloseHandle(m_h);
        m_h = nullptr;
        return &m_h;
    }
    explicit operator bool() const { return m_h != nullptr; }

  private:
    HANDLE m_h = nullptr;
};

#endif
