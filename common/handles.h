// One owner per handle kind: each closes what it holds on every path.
#ifndef PW_COMMON_HANDLES_H
#define PW_COMMON_HANDLES_H

#include <windows.h>

// The shape every owner shares. Traits names the kind: Invalid() is the value that holds nothing,
// Valid(h) whether h needs closing, Close(h) gives it back to the system.
template <typename Handle, typename Traits> class CZROwner {
  public:
    CZROwner() = default;
    explicit CZROwner(Handle h) : m_h(h) {}
    ~CZROwner() { Close(); }
    CZROwner(const CZROwner&) = delete;
    CZROwner& operator=(const CZROwner&) = delete;
    CZROwner(CZROwner&& other) noexcept : m_h(other.Release()) {}
    CZROwner& operator=(CZROwner&& other) noexcept {
        if (this != &other) {
            Close();
            m_h = other.Release();
        }
        return *this;
    }

    Handle Get() const { return m_h; }
    Handle* Put() {
        Close();
        return &m_h;
    }
    Handle Release() {
        Handle h = m_h;
        m_h = Traits::Invalid();
        return h;
    }
    explicit operator bool() const { return Traits::Valid(m_h); }
    void Close() {
        if (Traits::Valid(m_h)) Traits::Close(m_h);
        m_h = Traits::Invalid();
    }

  private:
    Handle m_h = Traits::Invalid();
};

// Traits for kinds whose empty value is null.
template <typename Handle> struct CZRNullHandleTraits {
    static constexpr Handle Invalid() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
};

struct CZRRegKeyTraits : CZRNullHandleTraits<HKEY> {
    static void Close(HKEY h) { RegCloseKey(h); }
};
using CZRRegKey = CZROwner<HKEY, CZRRegKeyTraits>;

// Kernel objects closed with CloseHandle (processes, tokens, events).
struct CZRHandleTraits : CZRNullHandleTraits<HANDLE> {
    static void Close(HANDLE h) { CloseHandle(h); }
};
using CZRHandle = CZROwner<HANDLE, CZRHandleTraits>;

#endif
