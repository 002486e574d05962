// Run-time loading of the product's outside libraries: the loaded module (common/module.h), and
// the process's current directory, which the loads change for their search.
#ifndef PWSETUP_FRAME_MODULEHANDLES_H
#define PWSETUP_FRAME_MODULEHANDLES_H

#include "common/module.h"
#include "frame/pwsetup.h"

// Remembers the current directory and makes it current again when it goes, whatever path the
// caller leaves by. A directory that cannot be remembered is never left.
class CZRCurrentDirectory {
  public:
    CZRCurrentDirectory() {
        DWORD n = GetCurrentDirectoryA(sizeof m_szSaved, m_szSaved);
        m_bSaved = n > 0 && n < sizeof m_szSaved;
        if (!m_bSaved) m_szSaved[0] = '\0';
    }
    ~CZRCurrentDirectory() { Restore(); }
    CZRCurrentDirectory(const CZRCurrentDirectory&) = delete;
    CZRCurrentDirectory& operator=(const CZRCurrentDirectory&) = delete;

    // False when the current directory could not be read into its 260-byte buffer; the caller
    // must then not change it.
    bool Saved() const { return m_bSaved; }
    const char* Path() const { return m_szSaved; }
    void Restore() {
        if (m_bSaved && m_bChanged) {
            if (!SetCurrentDirectoryA(m_szSaved))
                Trace("current directory %s not restored: ERROR %ld\n", m_szSaved,
                      (long)GetLastError());
            m_bChanged = false;
        }
    }
    // Makes dir current; the remembered directory comes back on Restore().
    BOOL ChangeTo(LPCSTR dir) {
        if (!m_bSaved || !dir) return FALSE;
        m_bChanged = true; // a failed change may still have left the process elsewhere
        return SetCurrentDirectoryA(dir);
    }

  private:
    char m_szSaved[PW_PATH_SIZE];
    bool m_bSaved = false;
    bool m_bChanged = false;
};

#endif
