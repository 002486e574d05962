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
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

namespace {

// What Windows skips around names and values: blanks, tabs, the DOS end-of-file mark that old
// files carry and the NUL that some programs leave at a file's end.
bool IsIniSpace(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a' || c == '\0';
}

std::string TrimIni(const std::string& s, size_t b, size_t e) {
    while (b < e && IsIniSpace(s[b]))
        ++b;
    while (e > b && IsIniSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

} // namespace

void IniFile::ParseLine(Line* line) {
    const std::string& raw = line->raw;
    line->kind = Kind::Other;
    line->name.clear();
    line->value.clear();
    line->valueAt = 0;
    size_t b = 0;
    while (b < raw.size() && IsIniSpace(raw[b]))
        ++b;
    if (b == raw.size() || raw[b] == ';') return;
    if (raw[b] == '[') {
        size_t close = raw.find(']', b);
        if (close != std::string::npos) {
            line->kind = Kind::Header;
            line->name = TrimIni(raw, b + 1, close);
            return;
        }
    }
    size_t eq = raw.find('=', b);
    if (eq == std::string::npos) {
        line->kind = Kind::Bare;
        line->name = TrimIni(raw, b, raw.size());
        return;
    }
    line->kind = Kind::Entry;
    line->name = TrimIni(raw, b, eq);
    size_t v = eq + 1;
    while (v < raw.size() && IsIniSpace(raw[v]))
        ++v;
    line->valueAt = v;
    line->value = TrimIni(raw, v, raw.size());
}

void IniFile::Parse(const std::string& text) {
    m_lines.clear();
    m_indexed = false;
    m_eol = "\r\n";
    size_t pos = 0;
    while (pos < text.size()) {
        // CR LF, LF and a lone CR each end a line, as Windows reads them.
        const size_t end = text.find_first_of("\r\n", pos);
        Line line;
        if (end == std::string::npos) {
            line.raw = text.substr(pos);
            pos = text.size();
        } else {
            const size_t next = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n'
                                    ? end + 2
                                    : end + 1;
            line.raw = text.substr(pos, end - pos);
            line.eol = text.substr(end, next - end);
            pos = next;
        }
        ParseLine(&line);
        m_lines.push_back(std::move(line));
    }
    if (!m_lines.empty() && !m_lines.front().eol.empty()) m_eol = m_lines.front().eol;
}

std::string IniFile::Text() const {
    size_t size = 0;
    for (const Line& l : m_lines)
        size += l.raw.size() + l.eol.size();
    std::string out;
    out.reserve(size);
    for (const Line& l : m_lines) {
        out += l.raw;
        out += l.eol;
    }
    return out;
}

size_t IniFile::NameHash::operator()(const NameRef& r) const {
    size_t h = r.section * 0x9E3779B97F4A7C15ull;
    for (char c : *r.name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    }
    return h;
}

bool IniFile::NameEquals::operator()(const NameRef& a, const NameRef& b) const {
    return a.section == b.section && IEquals(*a.name, *b.name);
}

void IniFile::EnsureIndex() const {
    if (m_indexed) return;
    m_sectionAt.clear();
    m_keyAt.clear();
    bool counts = false; // inside the first section of its name
    size_t header = std::string::npos;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& l = m_lines[i];
        if (l.kind == Kind::Header) {
            header = i;
            counts = m_sectionAt.emplace(NameRef{std::string::npos, &l.name}, i).second;
        } else if (l.kind == Kind::Entry && counts) {
            m_keyAt.emplace(NameRef{header, &l.name}, i);
        }
    }
    m_indexed = true;
}

size_t IniFile::FindSection(const std::string& section) const {
    EnsureIndex();
    auto it = m_sectionAt.find(NameRef{std::string::npos, &section});
    return it == m_sectionAt.end() ? std::string::npos : it->second;
}

size_t IniFile::FindKey(const std::string& section, const std::string& key) const {
    const size_t header = FindSection(section);
    if (header == std::string::npos) return std::string::npos;
    auto it = m_keyAt.find(NameRef{header, &key});
    return it == m_keyAt.end() ? std::string::npos : it->second;
}

size_t IniFile::SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < m_lines.size() && m_lines[i].kind != Kind::Header)
        ++i;
    return i;
}

std::vector<std::string> IniFile::Sections() const {
    EnsureIndex();
    std::vector<std::string> out;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& l = m_lines[i];
        if (l.kind == Kind::Header &&
            m_sectionAt.find(NameRef{std::string::npos, &l.name})->second == i)
            out.push_back(l.name);
    }
    return out;
}

std::vector<ProfileLine> IniFile::Lines() const {
    std::vector<ProfileLine> out;
    out.reserve(m_lines.size());
    for (const Line& l : m_lines) {
        ProfileLine line;
        line.kind = l.kind == Kind::Header  ? ProfileLine::Header
                    : l.kind == Kind::Entry ? ProfileLine::Key
                    : l.kind == Kind::Bare  ? ProfileLine::Bare
                                            : ProfileLine::Other;
        line.name = l.name;
        line.value = l.value;
        out.push_back(std::move(line));
    }
    return out;
}

bool SameProfileName(const std::string& a, const std::string& b) {
    return IEquals(a, b);
}

std::vector<ProfileLine> ProfileLines(const std::string& text) {
    IniFile ini;
    ini.Parse(text);
    return ini.Lines();
}

std::vector<std::string> IniFile::SectionHeaders() const {
    std::vector<std::string> out;
    for (const Line& l : m_lines)
        if (l.kind == Kind::Header) out.push_back(l.name);
    return out;
}

bool IniFile::HasSection(const std::string& section) const {
    return FindSection(section) != std::string::npos;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
    std::vector<std::string> out;
    for (const auto& e : Entries(section))
        out.push_back(e.first);
    return out;
}

std::vector<std::string> IniFile::KeyLines(const std::string& section) const {
    std::vector<std::string> out;
    size_t h = FindSection(section);
    if (h == std::string::npos) return out;
    for (size_t i = h + 1, end = SectionEnd(h); i < end; ++i)
        if (m_lines[i].kind == Kind::Entry && !m_lines[i].name.empty())
            out.push_back(m_lines[i].name);
    return out;
}

std::vector<std::string> IniFile::SectionBody(const std::string& section) const {
    std::vector<std::string> out;
    size_t h = FindSection(section);
    if (h == std::string::npos) return out;
    for (size_t i = h + 1, end = SectionEnd(h); i < end; ++i) {
        const Line& l = m_lines[i];
        if (l.kind == Kind::Entry)
            out.push_back(l.name + "=" + l.value);
        else if (l.kind == Kind::Bare)
            out.push_back(l.name);
    }
    return out;
}

bool IniFile::Get(const std::string& section, const std::string& key, std::string* value) const {
    size_t at = FindKey(section, key);
    if (at == std::string::npos) return false;
    if (value) *value = m_lines[at].value;
    return true;
}

std::vector<std::pair<std::string, std::string>>
IniFile::Entries(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> out;
    size_t h = FindSection(section);
    if (h == std::string::npos) return out;
    for (size_t i = h + 1, end = SectionEnd(h); i < end; ++i) {
        const Line& l = m_lines[i];
        if (l.kind == Kind::Entry && FindKey(section, l.name) == i)
            out.emplace_back(l.name, l.value);
    }
    return out;
}

bool IniFile::IsBlank(const Line& line) {
    return line.kind == Kind::Other && TrimIni(line.raw, 0, line.raw.size()).empty();
}

// Gives a last line that lacks a line end one, before a line is added after it.
void IniFile::EndLastLine() {
    if (!m_lines.empty() && m_lines.back().eol.empty()) m_lines.back().eol = m_eol;
}

void IniFile::Insert(size_t at, const std::string& raw) {
    if (at == m_lines.size()) EndLastLine();
    Line line;
    line.raw = raw;
    line.eol = m_eol;
    ParseLine(&line);
    m_lines.insert(m_lines.begin() + static_cast<long>(at), std::move(line));
    m_indexed = false;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    size_t at = FindKey(section, key);
    if (at != std::string::npos) {
        // Only the value changes: the key's spelling and the spacing before the value stay.
        Line& l = m_lines[at];
        l.raw = l.raw.substr(0, l.valueAt) + value;
        ParseLine(&l);
        m_indexed = false;
        return;
    }
    size_t h = FindSection(section);
    if (h != std::string::npos) {
        // After the section's last key, so blank lines and comments below it stay in place.
        size_t insertAt = h + 1;
        for (size_t i = h + 1, end = SectionEnd(h); i < end; ++i)
            if (m_lines[i].kind == Kind::Entry || m_lines[i].kind == Kind::Bare) insertAt = i + 1;
        Insert(insertAt, key + "=" + value);
        return;
    }
    if (m_gapBeforeNewSection && !m_lines.empty() && !IsBlank(m_lines.back()))
        Insert(m_lines.size(), "");
    Insert(m_lines.size(), "[" + section + "]");
    Insert(m_lines.size(), key + "=" + value);
}

bool IniFile::DeleteKey(const std::string& section, const std::string& key) {
    size_t at = FindKey(section, key);
    if (at == std::string::npos) return false;
    m_lines.erase(m_lines.begin() + static_cast<long>(at));
    m_indexed = false;
    return true;
}

bool IniFile::DeleteSection(const std::string& section) {
    size_t h = FindSection(section);
    if (h == std::string::npos) return false;
    m_lines.erase(m_lines.begin() + static_cast<long>(h),
                  m_lines.begin() + static_cast<long>(SectionEnd(h)));
    m_indexed = false;
    return true;
}

void IniFile::ReplaceSection(const std::string& section, const std::vector<std::string>& lines) {
    size_t h = FindSection(section);
    if (h == std::string::npos) {
        if (m_gapBeforeNewSection && !m_lines.empty() && !IsBlank(m_lines.back()))
            Insert(m_lines.size(), "");
        h = m_lines.size();
        Insert(h, "[" + section + "]");
    } else {
        // Blank lines stay, so the gap before the next section is kept.
        size_t end = SectionEnd(h);
        for (size_t i = end; i-- > h + 1;)
            if (!IsBlank(m_lines[i])) m_lines.erase(m_lines.begin() + static_cast<long>(i));
    }
    for (size_t i = 0; i < lines.size(); ++i)
        Insert(h + 1 + i, lines[i]);
    m_indexed = false;
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

bool WriteFileInPlace(const std::string& hostPath, const std::string& text) {
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

} // namespace winsim
