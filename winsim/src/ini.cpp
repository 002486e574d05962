// Line-preserving ini text, shared by machine.ini and the profile functions.
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace winsim {

std::string Upper(std::string s) {
    for (char& c : s)
        c = UpperAscii(c);
    return s;
}

std::string_view TrimView(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

std::string Trim(const std::string& s) {
    return std::string(TrimView(s));
}

namespace {

// What Windows skips around names and values: blanks, tabs, the DOS end-of-file mark that old
// files carry and the NUL that some programs leave at a file's end.
bool IsIniSpace(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a' || c == '\0';
}

// The span [b, e) of `s` without what Windows skips at its ends: its start and length.
std::pair<uint32_t, uint32_t> TrimIni(std::string_view s, size_t b, size_t e) {
    while (b < e && IsIniSpace(s[b]))
        ++b;
    while (e > b && IsIniSpace(s[e - 1]))
        --e;
    return {static_cast<uint32_t>(b), static_cast<uint32_t>(e - b)};
}

constexpr std::string_view kLineEnds[] = {"", "\r\n", "\n", "\r"};

} // namespace

void IniFile::ParseLine(Line* line) const {
    const std::string_view raw = Raw(*line);
    line->kind = Kind::Other;
    line->nameAt = line->nameSize = line->valueAt = line->valueSize = 0;
    size_t b = 0;
    while (b < raw.size() && IsIniSpace(raw[b]))
        ++b;
    if (b == raw.size() || raw[b] == ';') return;
    if (raw[b] == '[') {
        size_t close = raw.find(']', b);
        if (close != std::string::npos) {
            line->kind = Kind::Header;
            std::tie(line->nameAt, line->nameSize) = TrimIni(raw, b + 1, close);
            return;
        }
    }
    size_t eq = raw.find('=', b);
    if (eq == std::string::npos) {
        line->kind = Kind::Bare;
        std::tie(line->nameAt, line->nameSize) = TrimIni(raw, b, raw.size());
        return;
    }
    line->kind = Kind::Entry;
    std::tie(line->nameAt, line->nameSize) = TrimIni(raw, b, eq);
    std::tie(line->valueAt, line->valueSize) = TrimIni(raw, eq + 1, raw.size());
}

void IniFile::Parse(const std::string& text) {
    m_text = text;
    m_lines.clear();
    m_indexed = false;
    m_eol = 1;
    const char* data = m_text.data();
    const size_t size = m_text.size();
    size_t pos = 0;
    while (pos < size) {
        // CR LF, LF and a lone CR each end a line, as Windows reads them.
        size_t end = pos;
        while (end < size && data[end] != '\r' && data[end] != '\n')
            ++end;
        Line line;
        line.at = pos;
        line.size = static_cast<uint32_t>(end - pos);
        if (end == size) {
            pos = size;
        } else if (data[end] == '\r' && end + 1 < size && data[end + 1] == '\n') {
            line.eol = 1;
            pos = end + 2;
        } else {
            line.eol = data[end] == '\n' ? 2 : 3;
            pos = end + 1;
        }
        ParseLine(&line);
        m_lines.push_back(std::move(line));
    }
    if (!m_lines.empty() && m_lines.front().eol != 0) m_eol = m_lines.front().eol;
}

std::string IniFile::Text() const {
    size_t size = 0;
    for (const Line& l : m_lines)
        size += l.size + kLineEnds[l.eol].size();
    std::string out;
    out.reserve(size);
    // Lines that still lie in m_text, one after the other with their own line ends, go as one
    // copy. A file is written whole at each change, so this runs over every line of it: the
    // line end is checked a character at a time rather than compared as a string.
    const std::string_view text = m_text;
    auto inText = [&](const Line& l) {
        if (l.own) return false;
        const size_t end = l.at + l.size;
        switch (l.eol) {
        case 0:
            return true;
        case 1:
            return end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
        case 2:
            return end < text.size() && text[end] == '\n';
        default:
            return end < text.size() && text[end] == '\r';
        }
    };
    size_t runAt = 0, runEnd = 0;
    for (const Line& l : m_lines) {
        const std::string_view eol = kLineEnds[l.eol];
        if (l.at == runEnd && inText(l)) {
            runEnd = l.at + l.size + eol.size();
            continue;
        }
        out.append(text.substr(runAt, runEnd - runAt));
        runAt = runEnd = 0;
        if (inText(l)) {
            runAt = l.at;
            runEnd = l.at + l.size + eol.size();
            continue;
        }
        out += Raw(l);
        out += eol;
    }
    out.append(text.substr(runAt, runEnd - runAt));
    return out;
}

size_t IniFile::NameHash::operator()(const NameRef& r) const {
    size_t h = r.section * 0x9E3779B97F4A7C15ull;
    for (char c : r.name)
        h = (h ^ static_cast<unsigned char>(UpperAscii(c))) * 0x100000001B3ull;
    return h;
}

bool IniFile::NameEquals::operator()(const NameRef& a, const NameRef& b) const {
    return a.section == b.section && IEquals(a.name, b.name);
}

void IniFile::EnsureIndex() const {
    if (m_indexed) return;
    m_sectionAt.clear();
    m_keyAt.clear();
    m_keysIndexed.assign(m_lines.size(), false);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& l = m_lines[i];
        if (l.kind == Kind::Header) m_sectionAt.emplace(NameRef{std::string::npos, Name(l)}, i);
    }
    m_indexed = true;
}

size_t IniFile::FindSection(std::string_view section) const {
    EnsureIndex();
    auto it = m_sectionAt.find(NameRef{std::string::npos, section});
    return it == m_sectionAt.end() ? std::string::npos : it->second;
}

size_t IniFile::FindKey(std::string_view section, std::string_view key) const {
    const size_t header = FindSection(section);
    if (header == std::string::npos) return std::string::npos;
    if (!m_keysIndexed[header]) {
        // The first section of its name: only its own keys count, each by its first line.
        for (size_t i = header + 1, end = SectionEnd(header); i < end; ++i)
            if (m_lines[i].kind == Kind::Entry)
                m_keyAt.emplace(NameRef{header, Name(m_lines[i])}, i);
        m_keysIndexed[header] = true;
    }
    auto it = m_keyAt.find(NameRef{header, key});
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
        if (l.kind == Kind::Header && FindSection(Name(l)) == i) out.emplace_back(Name(l));
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
        line.name = Name(l);
        line.value = Value(l);
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
        if (l.kind == Kind::Header) out.emplace_back(Name(l));
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
        if (m_lines[i].kind == Kind::Entry && m_lines[i].nameSize != 0)
            out.emplace_back(Name(m_lines[i]));
    return out;
}

std::vector<std::string> IniFile::SectionBody(const std::string& section) const {
    std::vector<std::string> out;
    size_t h = FindSection(section);
    if (h == std::string::npos) return out;
    for (size_t i = h + 1, end = SectionEnd(h); i < end; ++i) {
        const Line& l = m_lines[i];
        if (l.kind == Kind::Entry) {
            std::string text(Name(l));
            text += '=';
            text += Value(l);
            out.push_back(std::move(text));
        } else if (l.kind == Kind::Bare) {
            out.emplace_back(Name(l));
        }
    }
    return out;
}

bool IniFile::Get(const std::string& section, const std::string& key, std::string* value) const {
    size_t at = FindKey(section, key);
    if (at == std::string::npos) return false;
    if (value) value->assign(Value(m_lines[at]));
    return true;
}

std::vector<std::pair<std::string, std::string>>
IniFile::Entries(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> out;
    size_t h = FindSection(section);
    if (h == std::string::npos) return out;
    for (size_t i = h + 1, end = SectionEnd(h); i < end; ++i) {
        const Line& l = m_lines[i];
        if (l.kind == Kind::Entry && FindKey(section, Name(l)) == i)
            out.emplace_back(Name(l), Value(l));
    }
    return out;
}

bool IniFile::IsBlank(const Line& line) const {
    return line.kind == Kind::Other && TrimIni(Raw(line), 0, line.size).second == 0;
}

void IniFile::SetOwnText(Line* line, std::string raw) {
    line->size = static_cast<uint32_t>(raw.size());
    line->at = 0;
    line->own = std::make_shared<const std::string>(std::move(raw));
    ParseLine(line);
}

// Gives a last line that lacks a line end one, before a line is added after it.
void IniFile::EndLastLine() {
    if (!m_lines.empty() && m_lines.back().eol == 0) m_lines.back().eol = m_eol;
}

void IniFile::Insert(size_t at, const std::string& raw) {
    if (at == m_lines.size()) EndLastLine();
    Line line;
    line.eol = m_eol;
    SetOwnText(&line, raw);
    m_lines.insert(m_lines.begin() + static_cast<long>(at), std::move(line));
    m_indexed = false;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    size_t at = FindKey(section, key);
    if (at != std::string::npos) {
        // Only the value changes: the key's spelling and the spacing before the value stay.
        Line& l = m_lines[at];
        std::string raw(Raw(l).substr(0, l.valueAt));
        raw += value;
        // No line comes or goes: the index stays, once its view of the key's name, which lies
        // in the line's text, follows the new text.
        const NameRef indexed{FindSection(section), Name(l)};
        m_keyAt.erase(indexed);
        SetOwnText(&l, std::move(raw));
        m_keyAt.emplace(NameRef{indexed.section, Name(l)}, at);
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
    const int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    text->clear();
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) text->reserve(static_cast<size_t>(st.st_size));
    // What can be read: a folder, or a read that fails part way, gives what came before.
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text->append(chunk, static_cast<size_t>(n));
    }
    close(fd);
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

bool WriteFileChange(const std::string& hostPath, const std::string& before,
                     const std::string& after) {
    // A sector is the unit a disk writes whole; the page cache hands a reader a sector's bytes
    // from one side of a write or the other.
    constexpr size_t kSector = 512;
    if (before.size() != after.size()) return WriteFileAtomic(hostPath, after);
    // The sectors that differ, found a sector at a time (memcmp), as most of the text is the same.
    const size_t size = before.size();
    const auto sectorDiffers = [&](size_t sector) {
        const size_t at = sector * kSector;
        return std::memcmp(before.data() + at, after.data() + at, std::min(kSector, size - at)) != 0;
    };
    const size_t sectors = (size + kSector - 1) / kSector;
    size_t sector = 0;
    while (sector < sectors && !sectorDiffers(sector))
        ++sector;
    if (sector == sectors) return WriteFileAtomic(hostPath, after); // the same: renews its times
    for (size_t later = sector + 1; later < sectors; ++later)
        if (sectorDiffers(later)) return WriteFileAtomic(hostPath, after);

    // Only a plain file with no other name and still the length known: a rename would give the
    // name a file of its own where a write through a link or another name would not.
    const int fd = open(hostPath.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return WriteFileAtomic(hostPath, after);
    struct stat st;
    const size_t at = sector * kSector, n = std::min(kSector, size - at);
    const bool plain = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
                       static_cast<size_t>(st.st_size) == before.size();
    const bool written = plain && pwrite(fd, after.data() + at, n, static_cast<off_t>(at)) ==
                                      static_cast<ssize_t>(n);
    close(fd);
    return written || WriteFileAtomic(hostPath, after);
}

bool WriteFileInPlace(const std::string& hostPath, const std::string& text) {
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

} // namespace winsim
