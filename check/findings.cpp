#include "findings.h"

#include <algorithm>
#include <ostream>

namespace pwcheck {

void Findings::Add(const std::string& file, int line, Severity severity, const std::string& text) {
    m_all.push_back(Finding{file, line, severity, text});
}

int Findings::ExitStatus() const {
    int status = 0;
    for (const Finding& f : m_all)
        status = std::max(status, f.severity == Severity::Error ? 2 : 1);
    return status;
}

void Findings::Print(std::ostream& out) const {
    std::vector<Finding> sorted = m_all;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Finding& a, const Finding& b) {
        return a.file != b.file ? a.file < b.file : a.line < b.line;
    });
    for (const Finding& f : sorted) {
        out << f.file;
        if (f.line) out << ":" << f.line;
        out << ": " << (f.severity == Severity::Error ? "error" : "warning") << ": " << f.text
            << "\n";
    }
}

} // namespace pwcheck
