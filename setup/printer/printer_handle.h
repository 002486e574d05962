// The owner of a spooler printer handle: closes it with ClosePrinter on every path.
#ifndef PWSETUP_PRINTER_PRINTER_HANDLE_H
#define PWSETUP_PRINTER_PRINTER_HANDLE_H

#include <windows.h>
#include <winspool.h>

class CZRPrinterHandle {
  public:
    CZRPrinterHandle() = default;
    explicit CZRPrinterHandle(HANDLE hPrinter) : m_hPrinter(hPrinter) {}
    ~CZRPrinterHandle() { Close(); }
    CZRPrinterHandle(const CZRPrinterHandle&) = delete;
    CZRPrinterHandle& operator=(const CZRPrinterHandle&) = delete;
    CZRPrinterHandle(CZRPrinterHandle&& other) noexcept : m_hPrinter(other.Release()) {}
    CZRPrinterHandle& operator=(CZRPrinterHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_hPrinter = other.Release();
        }
        return *this;
    }

    HANDLE Get() const { return m_hPrinter; }
    LPHANDLE Put() {
        Close();
        return &m_hPrinter;
    }
    HANDLE Release() {
        HANDLE h = m_hPrinter;
        m_hPrinter = nullptr;
        return h;
    }
    explicit operator bool() const { return m_hPrinter != nullptr; }
    void Close() {
        if (m_hPrinter) ClosePrinter(m_hPrinter);
        m_hPrinter = nullptr;
    }

  private:
    HANDLE m_hPrinter = nullptr;
};

#endif
