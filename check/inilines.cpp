#include "inilines.h"

#include "machine.h"

namespace pwcheck {

bool SameName(const std::string& a, const std::string& b) {
    return winsim::SameProfileName(a, b);
}

IniLines::IniLines(const std::string& text) {
    IniSection* current = nullptr;
    int lineNo = 0;
    for (const winsim::ProfileLine& line : winsim::ProfileLines(text)) {
        ++lineNo;
        switch (line.kind) {
        case winsim::ProfileLine::Other:
            break;
        case winsim::ProfileLine::Header: {
            IniSection section;
            section.name = line.name;
            section.line = lineNo;
            const IniSection* first = Find(section.name);
            section.firstLine = first ? first->line : lineNo;
            m_sections.push_back(section);
            current = &m_sections.back();
            break;
        }
        case winsim::ProfileLine::Bare:
        case winsim::ProfileLine::Key:
            if (!current) {
                m_stray.push_back(lineNo);
            } else if (line.kind == winsim::ProfileLine::Bare) {
                current->bareLines.push_back(lineNo);
                current->bare.push_back(line.name);
            } else {
                IniKey key{line.name, line.value, lineNo, lineNo};
                for (const IniKey& before : current->keys)
                    if (SameName(before.name, key.name)) {
                        key.firstLine = before.firstLine;
                        break;
                    }
                current->keys.push_back(key);
            }
            break;
        }
    }
}

const IniSection* IniLines::Find(const std::string& name) const {
    for (const IniSection& s : m_sections)
        if (SameName(s.name, name)) return &s;
    return nullptr;
}

const IniKey* IniLines::FindKey(const std::string& section, const std::string& name) const {
    const IniSection* s = Find(section);
    if (!s) return nullptr;
    for (const IniKey& k : s->keys)
        if (SameName(k.name, name)) return &k;
    return nullptr;
}

} // namespace pwcheck
