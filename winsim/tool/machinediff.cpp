#include "machinediff.h"

#include "../machine.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <sys/stat.h>

namespace winsim {

namespace {

std::string UpperOf(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool IsProfileFile(const std::string& path) {
    return path.size() > 4 && UpperOf(path.substr(path.size() - 4)) == ".INI";
}

uint64_t Fnv(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

void Walk(const std::string& host, const std::string& windows, MachineSnapshot* snap) {
    DIR* dir = opendir(host.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) {
        const std::string path = host + "/" + name;
        const std::string win = windows + "\\" + name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
            Walk(path, win, snap);
            continue;
        }
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        MachineSnapshot::File file;
        file.size = bytes.size();
        file.hash = Fnv(bytes);
        if (IsProfileFile(name)) file.bytes = std::move(bytes);
        const std::string key = UpperOf(win);
        snap->files[key] = std::move(file);
        snap->fileNames[key] = win;
    }
}

// REGEDIT4 text -> keys and values; a value's data is kept as regedit writes it.
void ReadExport(const std::string& text, MachineSnapshot* snap) {
    std::istringstream in(text);
    std::string line, key;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line == "REGEDIT4") continue;
        if (line.front() == '[' && line.back() == ']') {
            key = line.substr(1, line.size() - 2);
            snap->registry[key];
            continue;
        }
        // A hex value goes on over lines that end in a backslash.
        while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
            std::string next;
            if (!std::getline(in, next)) break;
            if (!next.empty() && next.back() == '\r') next.pop_back();
            line.pop_back();
            line += next.substr(std::min(next.find_first_not_of(' '), next.size()));
        }
        std::string name;
        size_t at = 0;
        if (line[0] == '@') {
            name = "@";
            at = 1;
        } else if (line[0] == '"') {
            size_t i = 1;
            for (; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) ++i;
                name += line[i];
            }
            at = i + 1;
        } else {
            continue;
        }
        if (at < line.size() && line[at] == '=') snap->registry[key][name] = line.substr(at + 1);
    }
}

std::string ValueLabel(const std::string& key, const std::string& name) {
    return key + "\n" + name;
}

// The keys of a profile file as "SECTION\nKEY" -> value (the ones that count).
std::map<std::string, std::string> ProfileKeys(const std::string& text) {
    std::map<std::string, std::string> keys;
    std::string section;
    std::set<std::string> seenSections;
    bool counts = false;
    for (const ProfileLine& line : ProfileLines(text)) {
        if (line.kind == ProfileLine::Header) {
            section = line.name;
            counts = seenSections.insert(UpperOf(section)).second;
            if (counts) keys.emplace(section + "\n", "");
        } else if (line.kind == ProfileLine::Key && counts) {
            keys.emplace(section + "\n" + line.name, line.value);
        }
    }
    return keys;
}

void CompareProfiles(const std::string& file, const std::string& before, const std::string& after,
                     MachineDiff* diff) {
    const auto a = ProfileKeys(before), b = ProfileKeys(after);
    for (const auto& [k, v] : a) {
        const auto it = b.find(k);
        if (it == b.end())
            diff->profileRemoved.push_back({file + "\n" + k, v, ""});
        else if (it->second != v)
            diff->profileChanged.push_back({file + "\n" + k, v, it->second});
    }
    for (const auto& [k, v] : b)
        if (!a.count(k)) diff->profileAdded.push_back({file + "\n" + k, "", v});
}

std::string Json(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// "FILE\nSECTION\nKEY" -> ("FILE", "[SECTION] KEY") for printing; an empty KEY is the section.
void SplitProfile(const std::string& what, std::string* file, std::string* section,
                  std::string* key) {
    const size_t a = what.find('\n'), b = what.find('\n', a + 1);
    *file = what.substr(0, a);
    *section = what.substr(a + 1, b - a - 1);
    *key = what.substr(b + 1);
}

// Registry data for a person: a list (hex(7)) as multi("a", "b"), an expandable text (hex(2)) as
// expand("text"); anything else as regedit writes it.
std::string Readable(const std::string& data) {
    const bool multi = data.compare(0, 7, "hex(7):") == 0;
    if (!multi && data.compare(0, 7, "hex(2):") != 0) return data;
    std::string bytes;
    for (size_t i = 7; i + 1 < data.size(); i += 3)
        bytes += static_cast<char>(std::strtol(data.substr(i, 2).c_str(), nullptr, 16));
    // Each text ends in a NUL, and a list ends in one more (an empty text inside it stays).
    if (multi && bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, std::string(2, '\0')) == 0)
        bytes.pop_back();
    std::vector<std::string> texts;
    for (size_t at = 0; at < bytes.size();) {
        const size_t end = std::min(bytes.find('\0', at), bytes.size());
        texts.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    std::string out = multi ? "multi(" : "expand(";
    for (size_t i = 0; i < texts.size(); ++i)
        out += (i ? ", \"" : "\"") + texts[i] + "\"";
    return out + ")";
}

} // namespace

MachineSnapshot TakeSnapshot() {
    MachineSnapshot snap;
    Walk(MachineDir() + "/drive_c", "C:", &snap);
    ReadExport(ExportRegistry(), &snap);
    for (const std::string& line : SpoolerLines())
        snap.spooler.insert(line);
    return snap;
}

bool MachineDiff::Empty() const {
    return filesAdded.empty() && filesRemoved.empty() && filesChanged.empty() &&
           keysAdded.empty() && keysRemoved.empty() && valuesAdded.empty() &&
           valuesRemoved.empty() && valuesChanged.empty() && profileAdded.empty() &&
           profileRemoved.empty() && profileChanged.empty() && spoolerAdded.empty() &&
           spoolerRemoved.empty();
}

MachineDiff CompareMachines(const MachineSnapshot& a, const MachineSnapshot& b) {
    MachineDiff diff;
    for (const auto& [key, file] : a.files) {
        const std::string& name = a.fileNames.at(key);
        const auto it = b.files.find(key);
        if (it == b.files.end()) {
            diff.filesRemoved.push_back(name);
            if (IsProfileFile(name)) CompareProfiles(name, file.bytes, "", &diff);
        } else if (it->second.hash != file.hash || it->second.size != file.size) {
            if (IsProfileFile(name))
                CompareProfiles(name, file.bytes, it->second.bytes, &diff);
            else
                diff.filesChanged.push_back(
                    {name, std::to_string(file.size), std::to_string(it->second.size)});
        }
    }
    for (const auto& [key, file] : b.files)
        if (!a.files.count(key)) {
            const std::string& name = b.fileNames.at(key);
            diff.filesAdded.push_back(name);
            if (IsProfileFile(name)) CompareProfiles(name, "", file.bytes, &diff);
        }

    for (const auto& [key, values] : a.registry) {
        const auto it = b.registry.find(key);
        if (it == b.registry.end()) {
            diff.keysRemoved.push_back(key);
            for (const auto& [name, data] : values)
                diff.valuesRemoved.push_back({ValueLabel(key, name), data, ""});
            continue;
        }
        for (const auto& [name, data] : values) {
            const auto v = it->second.find(name);
            if (v == it->second.end())
                diff.valuesRemoved.push_back({ValueLabel(key, name), data, ""});
            else if (v->second != data)
                diff.valuesChanged.push_back({ValueLabel(key, name), data, v->second});
        }
        for (const auto& [name, data] : it->second)
            if (!values.count(name)) diff.valuesAdded.push_back({ValueLabel(key, name), "", data});
    }
    for (const auto& [key, values] : b.registry)
        if (!a.registry.count(key)) {
            diff.keysAdded.push_back(key);
            for (const auto& [name, data] : values)
                diff.valuesAdded.push_back({ValueLabel(key, name), "", data});
        }

    std::set_difference(a.spooler.begin(), a.spooler.end(), b.spooler.begin(), b.spooler.end(),
                        std::back_inserter(diff.spoolerRemoved));
    std::set_difference(b.spooler.begin(), b.spooler.end(), a.spooler.begin(), a.spooler.end(),
                        std::back_inserter(diff.spoolerAdded));
    return diff;
}

void PrintDiff(const MachineDiff& diff, std::ostream& out) {
    if (diff.Empty()) {
        out << "no difference\n";
        return;
    }
    for (const std::string& f : diff.filesAdded)
        out << "+ file " << f << "\n";
    for (const std::string& f : diff.filesRemoved)
        out << "- file " << f << "\n";
    for (const auto& c : diff.filesChanged)
        out << "~ file " << c.what << " (" << c.before << " -> " << c.after << " bytes)\n";
    const auto keyOf = [](const std::string& what) { return what.substr(0, what.find('\n')); };
    const auto nameOf = [](const std::string& what) {
        const std::string name = what.substr(what.find('\n') + 1);
        return name == "@" ? name : "\"" + name + "\"";
    };
    // A key that came or went is printed with its values below it.
    const auto keys = [&](char mark, const std::vector<std::string>& list,
                          const std::vector<MachineDiff::Change>& values, bool after) {
        for (const std::string& k : list) {
            out << mark << " key  " << k << "\n";
            for (const auto& c : values)
                if (keyOf(c.what) == k)
                    out << "         " << nameOf(c.what) << " = " << Readable(after ? c.after : c.before)
                        << "\n";
        }
    };
    keys('+', diff.keysAdded, diff.valuesAdded, true);
    keys('-', diff.keysRemoved, diff.valuesRemoved, false);
    const std::set<std::string> added(diff.keysAdded.begin(), diff.keysAdded.end());
    const std::set<std::string> removed(diff.keysRemoved.begin(), diff.keysRemoved.end());
    for (const auto& c : diff.valuesAdded)
        if (!added.count(keyOf(c.what)))
            out << "+ value " << keyOf(c.what) << " " << nameOf(c.what) << " = " << Readable(c.after)
                << "\n";
    for (const auto& c : diff.valuesRemoved)
        if (!removed.count(keyOf(c.what)))
            out << "- value " << keyOf(c.what) << " " << nameOf(c.what) << " = "
                << Readable(c.before) << "\n";
    for (const auto& c : diff.valuesChanged)
        out << "~ value " << keyOf(c.what) << " " << nameOf(c.what) << ": " << Readable(c.before)
            << " -> " << Readable(c.after) << "\n";
    const auto profile = [&](char mark, const MachineDiff::Change& c) {
        std::string file, section, key;
        SplitProfile(c.what, &file, &section, &key);
        out << mark << " ini  " << file << " [" << section << "]";
        if (key.empty()) {
            out << "\n";
            return;
        }
        out << " " << key;
        if (mark == '+') out << "=" << c.after;
        if (mark == '-') out << "=" << c.before;
        if (mark == '~') out << ": " << c.before << " -> " << c.after;
        out << "\n";
    };
    for (const auto& c : diff.profileAdded)
        profile('+', c);
    for (const auto& c : diff.profileRemoved)
        profile('-', c);
    for (const auto& c : diff.profileChanged)
        profile('~', c);
    for (const std::string& s : diff.spoolerAdded)
        out << "+ spooler " << s << "\n";
    for (const std::string& s : diff.spoolerRemoved)
        out << "- spooler " << s << "\n";
}

void PrintDiffJson(const MachineDiff& diff, std::ostream& out) {
    const auto strings = [&](const std::vector<std::string>& list) {
        out << "[";
        for (size_t i = 0; i < list.size(); ++i)
            out << (i ? ", " : "") << Json(list[i]);
        out << "]";
    };
    const auto values = [&](const std::vector<MachineDiff::Change>& list, bool before,
                            bool after) {
        out << "[";
        for (size_t i = 0; i < list.size(); ++i) {
            const size_t nl = list[i].what.find('\n');
            out << (i ? ", " : "") << "{\"key\": " << Json(list[i].what.substr(0, nl))
                << ", \"name\": " << Json(list[i].what.substr(nl + 1));
            if (before) out << ", \"before\": " << Json(list[i].before);
            if (after) out << ", \"after\": " << Json(list[i].after);
            out << "}";
        }
        out << "]";
    };
    const auto profiles = [&](const std::vector<MachineDiff::Change>& list, bool before,
                              bool after) {
        out << "[";
        for (size_t i = 0; i < list.size(); ++i) {
            std::string file, section, key;
            SplitProfile(list[i].what, &file, &section, &key);
            out << (i ? ", " : "") << "{\"file\": " << Json(file) << ", \"section\": "
                << Json(section) << ", \"key\": " << (key.empty() ? "null" : Json(key));
            if (before) out << ", \"before\": " << Json(list[i].before);
            if (after) out << ", \"after\": " << Json(list[i].after);
            out << "}";
        }
        out << "]";
    };
    out << "{\n  \"files\": {\"added\": ";
    strings(diff.filesAdded);
    out << ", \"removed\": ";
    strings(diff.filesRemoved);
    out << ", \"changed\": [";
    for (size_t i = 0; i < diff.filesChanged.size(); ++i)
        out << (i ? ", " : "") << "{\"file\": " << Json(diff.filesChanged[i].what)
            << ", \"before\": " << diff.filesChanged[i].before
            << ", \"after\": " << diff.filesChanged[i].after << "}";
    out << "]},\n  \"keys\": {\"added\": ";
    strings(diff.keysAdded);
    out << ", \"removed\": ";
    strings(diff.keysRemoved);
    out << "},\n  \"values\": {\"added\": ";
    values(diff.valuesAdded, false, true);
    out << ", \"removed\": ";
    values(diff.valuesRemoved, true, false);
    out << ", \"changed\": ";
    values(diff.valuesChanged, true, true);
    out << "},\n  \"ini\": {\"added\": ";
    profiles(diff.profileAdded, false, true);
    out << ", \"removed\": ";
    profiles(diff.profileRemoved, true, false);
    out << ", \"changed\": ";
    profiles(diff.profileChanged, true, true);
    out << "},\n  \"spooler\": {\"added\": ";
    strings(diff.spoolerAdded);
    out << ", \"removed\": ";
    strings(diff.spoolerRemoved);
    out << "}\n}\n";
}

} // namespace winsim
