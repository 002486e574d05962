// Line-preserving ini text, shared by machine.ini and the profile functions.
#include "internal.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace winsim {

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool IEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool IniFile::ParseLine(const std::string& raw, Line* line) {
    std::string t = Trim(raw);
    if (t.empty() || t[0] == ';') return true;
    if (t[0] == '[') {
        size_t close = t.find(']');
        line->isHeader = true;
        line->section = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return true;
    }
    size_t eq = t.find('=');
    if (eq == std::string::npos) return true;
    line->isEntry = true;
    line->key = Trim(t.substr(0, eq));
    line->value = Trim(t.substr(eq + 1));
    return true;
}

void IniFile::Parse(const std::string& text) {
    m_lines.clear();
    m_eol = text.find("\r\n") != std::string::npos || text.find('\n') == std::string::npos ? "\r\n" : "\n";
    m_finalEol = text.empty() || text.back() == '\n';
    std::string current;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string raw = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        pos = nl == std::string::npos ? text.size() : nl + 1;
        Line line;
        line.raw = raw;
        ParseLine(raw, &line);
        if (line.isHeader)
            current = line.section;
        else
            line.section = current;
        m_lines.push_back(std::move(line));
    }
}

std::string IniFile::Text() const {
    std::string out;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        out += m_lines[i].raw;
        if (i + 1 < m_lines.size() || m_finalEol) out += m_eol;
    }
    return out;
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> out;
    for (const Line& l : m_lines) {
        if (!l.isHeader) continue;
        bool seen = false;
        for (const std::string& s : out) seen = seen || IEquals(s, l.section);
        if (!seen) out.push_back(l.section);
    }
    return out;
}

bool IniFile::HasSection(const std::string& section) const {
    for (const Line& l : m_lines)
        if (l.isHeader && IEquals(l.section, section)) return true;
    return false;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
    std::vector<std::string> out;
    for (const auto& e : Entries(section)) out.push_back(e.first);
    return out;
}

bool IniFile::Get(const std::string& section, const std::string& key, std::string* value) const {
    for (const Line& l : m_lines) {
        if (l.isEntry && IEquals(l.section, section) && IEquals(l.key, key)) {
            if (value) *value = l.value;
            return true;
        }
    }
    return false;
}

std::vector<std::pair<std::string, std::string>> IniFile::Entries(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Line& l : m_lines) {
        if (!l.isEntry || !IEquals(l.section, section)) continue;
        bool seen = false;
        for (const auto& e : out) seen = seen || IEquals(e.first, l.key);
        if (!seen) out.emplace_back(l.key, l.value);
    }
    return out;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    for (Line& l : m_lines) {
        if (l.isEntry && IEquals(l.section, section) && IEquals(l.key, key)) {
            l.raw = l.key + "=" + value;
            l.value = Trim(value);
            return;
        }
    }
    Line entry;
    entry.raw = key + "=" + value;
    entry.section = section;
    entry.isEntry = true;
    entry.key = key;
    entry.value = Trim(value);
    // After the last entry of the section, so blank lines and comments below it stay in place.
    size_t insertAt = m_lines.size();
    bool found = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& l = m_lines[i];
        if (l.isHeader && IEquals(l.section, section)) {
            found = true;
            entry.section = l.section;
            insertAt = i + 1;
        } else if (found && !l.isHeader && IEquals(l.section, section) && l.isEntry) {
            insertAt = i + 1;
        } else if (found && l.isHeader) {
            break;
        }
    }
    if (!found) {
        if (!m_lines.empty() && !Trim(m_lines.back().raw).empty()) {
            Line blank;
            blank.section = m_lines.back().section;
            m_lines.push_back(blank);
        }
        Line header;
        header.raw = "[" + section + "]";
        header.section = section;
        header.isHeader = true;
        m_lines.push_back(header);
        m_lines.push_back(entry);
        m_finalEol = true;
        return;
    }
    m_lines.insert(m_lines.begin() + static_cast<long>(insertAt), entry);
    if (insertAt == m_lines.size() - 1) m_finalEol = true;
}

bool IniFile::DeleteKey(const std::string& section, const std::string& key) {
    bool any = false;
    for (size_t i = 0; i < m_lines.size();) {
        const Line& l = m_lines[i];
        if (l.isEntry && IEquals(l.section, section) && IEquals(l.key, key)) {
            m_lines.erase(m_lines.begin() + static_cast<long>(i));
            any = true;
        } else {
            ++i;
        }
    }
    return any;
}

bool IniFile::DeleteSection(const std::string& section) {
    if (!HasSection(section)) return false;
    for (size_t i = 0; i < m_lines.size();) {
        if (IEquals(m_lines[i].section, section))
            m_lines.erase(m_lines.begin() + static_cast<long>(i));
        else
            ++i;
    }
    return true;
}

bool ReadWholeFile(const std::string& hostPath, std::string* text) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *text = ss.str();
    return true;
}

bool WriteFileAtomic(const std::string& hostPath, const std::string& text) {
    std::string tmp = hostPath + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out.flush()) {
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), hostPath.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace winsim
