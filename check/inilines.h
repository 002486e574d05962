// Where each section and key of a profile file stands, line by line, from winsim's reading of the
// file (the rules of the profile functions): only the first section of a name and the first key
// of a name within it count (names compare without regard to case); a line without "=" is seen
// by nothing.
#ifndef PWCHECK_INILINES_H
#define PWCHECK_INILINES_H

#include <string>
#include <vector>

namespace pwcheck {

struct IniKey {
    std::string name;
    std::string value;
    int line = 0;
    int firstLine = 0; // the line of the key of that name that counts (== line when this one does)
};

struct IniSection {
    std::string name;
    int line = 0;
    int firstLine = 0;              // the header that counts (== line when this one does)
    std::vector<IniKey> keys;       // in file order, repeated names included
    std::vector<int> bareLines;     // lines with neither "=" nor a header nor a comment
    std::vector<std::string> bare;  // their text
};

class IniLines {
  public:
    explicit IniLines(const std::string& text);
    const std::vector<IniSection>& Sections() const { return m_sections; }
    // The section that counts for `name`, or null.
    const IniSection* Find(const std::string& name) const;
    // The key that counts for `name` in the section that counts, or null.
    const IniKey* FindKey(const std::string& section, const std::string& name) const;
    // Lines before the first section that hold a key or a bare text (no section sees them).
    const std::vector<int>& Stray() const { return m_stray; }

  private:
    std::vector<IniSection> m_sections;
    std::vector<int> m_stray;
};

bool SameName(const std::string& a, const std::string& b);

} // namespace pwcheck

#endif
