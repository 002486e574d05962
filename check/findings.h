// What the checker found in a file: a line each, as a compiler reports, and the exit status they
// make (0 clean, 1 warnings only, 2 an error).
#ifndef PWCHECK_FINDINGS_H
#define PWCHECK_FINDINGS_H

#include <iosfwd>
#include <string>
#include <vector>

namespace pwcheck {

enum class Severity { Warning, Error };

struct Finding {
    std::string file;
    int line = 0; // 0: the file as a whole
    Severity severity = Severity::Error;
    std::string text;
};

class Findings {
  public:
    void Add(const std::string& file, int line, Severity severity, const std::string& text);
    void Error(const std::string& file, int line, const std::string& text) {
        Add(file, line, Severity::Error, text);
    }
    void Warning(const std::string& file, int line, const std::string& text) {
        Add(file, line, Severity::Warning, text);
    }
    const std::vector<Finding>& All() const { return m_all; }
    int ExitStatus() const;
    // "FILE:LINE: error: TEXT", in file and line order.
    void Print(std::ostream& out) const;

  private:
    std::vector<Finding> m_all;
};

} // namespace pwcheck

#endif
