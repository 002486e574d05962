// The machine's journal (events.log in the machine folder): what a program did in its own
// process (message boxes and their answers, restart requests, closed windows, its exit code), for
// the tool that started it to read.
#include "ui.h"

#include <fstream>
#include <sys/stat.h>

using namespace winsim;

namespace {

std::string JournalPath() {
    return Require().dir + "/events.log";
}

} // namespace

namespace winsim {

std::string JournalText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

void Journal(const std::string& line) {
    std::ofstream out(JournalPath(), std::ios::binary | std::ios::app);
    // One line each: a line break inside would start another entry.
    std::string text;
    for (char c : line)
        text += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    out << text << "\n";
}

size_t JournalSize() {
    struct stat st;
    return stat(JournalPath().c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
}

std::vector<std::string> JournalSince(size_t offset) {
    std::vector<std::string> lines;
    std::string text;
    if (!ReadWholeFile(JournalPath(), &text) || offset >= text.size()) return lines;
    size_t at = offset;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    return lines;
}

} // namespace winsim
