// The system code page of our machines (1252, Western) against Unicode, for the calls of every
// DLL that turn one into the other (nls.cpp).
#ifndef WINSIM_NLS_H
#define WINSIM_NLS_H

#include "internal.h"

namespace winsim {

// A UTF-16 character in code page 1252; what it cannot show becomes '?', as
// WideCharToMultiByte's default character.
char AnsiChar(WORD c);
// A code page 1252 character in UTF-16. The five bytes the code page leaves undefined stand for
// the control characters of the same value, as Windows maps them.
WORD WideChar(unsigned char c);
// A UTF-16 text in code page 1252; "" for a null pointer.
std::string NarrowText(LPCWSTR text);

// A W caller's text as the A forms take it; null stays null.
class NarrowArg {
  public:
    explicit NarrowArg(LPCWSTR text) : m_null(!text), m_text(NarrowText(text)) {}
    LPCSTR get() const { return m_null ? nullptr : m_text.c_str(); }
    LPSTR mutable_get() { return m_null ? nullptr : &m_text[0]; }

  private:
    bool m_null;
    std::string m_text;
};

} // namespace winsim

#endif
