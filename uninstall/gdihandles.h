// Owners of the uninstaller's window-system handles: GDI objects, device contexts, a painting
// pass and an object selected into a device context. Each releases what it holds on every path.
#ifndef PWUNINST_GDIHANDLES_H
#define PWUNINST_GDIHANDLES_H

#include <windows.h>

#include "common/handles.h"

// A pen, brush, font or bitmap; deleted with DeleteObject.
struct CZRGdiObjectTraits : CZRNullHandleTraits<HGDIOBJ> {
    static void Close(HGDIOBJ h) { DeleteObject(h); }
};
class CZRGdiObject : public CZROwner<HGDIOBJ, CZRGdiObjectTraits> {
  public:
    using CZROwner::CZROwner;
    // Takes h in place of what it held.
    void Reset(HGDIOBJ h = nullptr) { *Put() = h; }
};

// A memory device context from CreateCompatibleDC; deleted with DeleteDC.
struct CZRMemoryDCTraits : CZRNullHandleTraits<HDC> {
    static void Close(HDC h) { DeleteDC(h); }
};
class CZRMemoryDC : public CZROwner<HDC, CZRMemoryDCTraits> {
  public:
    explicit CZRMemoryDC(HDC compatibleWith) : CZROwner(CreateCompatibleDC(compatibleWith)) {}
};

// A window's device context from GetDC (null window: the screen); released with ReleaseDC.
class CZRWindowDC {
  public:
    explicit CZRWindowDC(HWND hWnd) : m_hWnd(hWnd), m_h(GetDC(hWnd)) {}
    ~CZRWindowDC() {
        if (m_h) ReleaseDC(m_hWnd, m_h);
    }
    CZRWindowDC(const CZRWindowDC&) = delete;
    CZRWindowDC& operator=(const CZRWindowDC&) = delete;

    HDC Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

  private:
    HWND m_hWnd;
    HDC m_h;
};

// One painting pass: BeginPaint, then EndPaint on the same window.
class CZRPaint {
  public:
    explicit CZRPaint(HWND hWnd) : m_hWnd(hWnd), m_ps(), m_h(BeginPaint(hWnd, &m_ps)) {}
    ~CZRPaint() { EndPaint(m_hWnd, &m_ps); }
    CZRPaint(const CZRPaint&) = delete;
    CZRPaint& operator=(const CZRPaint&) = delete;

    HDC Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

  private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps;
    HDC m_h;
};

// An object selected into a device context; the one it replaced goes back in.
class CZRSelection {
  public:
    CZRSelection(HDC dc, HGDIOBJ object)
        : m_dc(dc), m_old(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~CZRSelection() {
        if (m_old) SelectObject(m_dc, m_old);
    }
    CZRSelection(const CZRSelection&) = delete;
    CZRSelection& operator=(const CZRSelection&) = delete;

  private:
    HDC m_dc;
    HGDIOBJ m_old;
};

#endif
