// The work the anchors time: a file's bytes, and each line split once into a pair of strings
// (what lies before and after its first '='), as the plainest reader of a text file would.
#ifndef BENCH_ANCHORS_H
#define BENCH_ANCHORS_H

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

inline std::vector<std::pair<std::string, std::string>> ReadAndSplitLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::pair<std::string, std::string>> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const size_t eq = text.find('=', pos);
        const size_t cut = eq < end ? eq : end;
        lines.emplace_back(text.substr(pos, cut - pos),
                           cut < end ? text.substr(cut + 1, end - cut - 1) : std::string());
        pos = end + 1;
    }
    return lines;
}

#endif
