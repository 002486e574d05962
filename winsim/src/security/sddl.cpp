// SDDL text of a key's security, as machine.ini [key-security], the control API and ";security="
// lines of .reg text carry it: owner and DACL, SIDs by their two-letter aliases or S-1-... form,
// rights by their aliases or in hex.
#include "descriptor.h"

#include <cstdio>
#include <cstdlib>

using namespace winsim;

namespace {

constexpr uint8_t kAceFlagBits[] = {0x01, 0x02, 0x04, 0x08, 0x10};
const char* const kAceFlagNames[] = {"OI", "CI", "NP", "IO", "ID"};

struct Alias {
    const char* name;
    SidBytes (*make)();
};
const Alias kAliases[] = {
    {"SY", SidSystem}, {"BA", SidAdministrators},     {"WD", SidEveryone},    {"BU", SidUsers},
    {"BG", SidGuests}, {"AU", SidAuthenticatedUsers}, {"IU", SidInteractive},
};

struct RightsAlias {
    const char* name;
    DWORD mask;
};
// The first three are written back; the rest are read only.
const RightsAlias kRights[] = {
    {"KA", KEY_ALL_ACCESS}, {"KR", KEY_READ},     {"KW", KEY_WRITE},     {"KX", KEY_EXECUTE},
    {"GA", GENERIC_ALL},    {"GR", GENERIC_READ}, {"GW", GENERIC_WRITE}, {"GX", GENERIC_EXECUTE},
    {"RC", READ_CONTROL},   {"WD", WRITE_DAC},    {"WO", WRITE_OWNER},   {"SD", DELETE},
};

std::string SidToText(const SidBytes& sid) {
    for (const Alias& a : kAliases)
        if (a.make() == sid) return a.name;
    if (sid.size() < 8) return "";
    uint64_t authority = 0;
    for (int i = 2; i < 8; ++i)
        authority = (authority << 8) | sid[i];
    char buf[32];
    std::snprintf(buf, sizeof buf, "S-%u-%llu", sid[0], static_cast<unsigned long long>(authority));
    std::string text = buf;
    for (size_t i = 0; i < sid[1]; ++i) {
        std::snprintf(buf, sizeof buf, "-%u", Load32(&sid[8 + 4 * i]));
        text += buf;
    }
    return text;
}

// Reads a SID (alias or S-1-...) at `pos`, advancing it.
bool ParseSidText(const std::string& text, size_t* pos, SidBytes* sid) {
    if (text.compare(*pos, 2, "S-") == 0) {
        size_t end = *pos;
        while (end < text.size() &&
               (text[end] == 'S' || text[end] == '-' || (text[end] >= '0' && text[end] <= '9')))
            ++end;
        std::string s = text.substr(*pos, end - *pos);
        std::vector<uint64_t> parts;
        size_t p = 2;
        while (p < s.size()) {
            size_t dash = s.find('-', p);
            std::string n = s.substr(p, dash == std::string::npos ? std::string::npos : dash - p);
            if (n.empty() || n.size() > 12) return false;
            parts.push_back(std::strtoull(n.c_str(), nullptr, 10));
            if (dash == std::string::npos) break;
            p = dash + 1;
        }
        if (parts.size() < 2 || parts[0] != 1 || parts.size() - 2 > 15 ||
            parts[1] > 0xffffffffffffULL)
            return false;
        SidBytes out(8 + 4 * (parts.size() - 2));
        out[0] = 1;
        out[1] = static_cast<uint8_t>(parts.size() - 2);
        for (int i = 0; i < 6; ++i)
            out[2 + i] = static_cast<uint8_t>(parts[1] >> (8 * (5 - i)));
        for (size_t i = 2; i < parts.size(); ++i) {
            if (parts[i] > 0xffffffffULL) return false;
            DWORD v = static_cast<DWORD>(parts[i]);
            std::memcpy(&out[8 + 4 * (i - 2)], &v, 4);
        }
        *sid = out;
        *pos = end;
        return true;
    }
    for (const Alias& a : kAliases) {
        if (text.compare(*pos, 2, a.name) == 0) {
            *sid = a.make();
            *pos += 2;
            return true;
        }
    }
    return false;
}

bool ParseRights(const std::string& text, DWORD* mask) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        char* end = nullptr;
        unsigned long v = std::strtoul(text.c_str() + 2, &end, 16);
        if (*end || v > 0xffffffffUL) return false;
        *mask = static_cast<DWORD>(v);
        return true;
    }
    if (text.empty() || text.size() % 2) return false;
    DWORD m = 0;
    for (size_t i = 0; i < text.size(); i += 2) {
        bool known = false;
        for (const RightsAlias& r : kRights) {
            if (text.compare(i, 2, r.name) == 0) {
                m |= r.mask;
                known = true;
                break;
            }
        }
        if (!known) return false;
    }
    *mask = m;
    return true;
}

// "(A;flags;rights;;;sid)" at `pos`, advancing past the closing parenthesis.
bool ParseAce(const std::string& text, size_t* pos, Ace* ace) {
    size_t close = text.find(')', *pos);
    if (close == std::string::npos) return false;
    std::string body = text.substr(*pos + 1, close - *pos - 1);
    std::vector<std::string> f;
    size_t p = 0;
    for (;;) {
        size_t semi = body.find(';', p);
        f.push_back(body.substr(p, semi == std::string::npos ? std::string::npos : semi - p));
        if (semi == std::string::npos) break;
        p = semi + 1;
    }
    if (f.size() != 6 || !f[3].empty() || !f[4].empty()) return false;
    if (f[0] == "A")
        ace->type = ACCESS_ALLOWED_ACE_TYPE;
    else if (f[0] == "D")
        ace->type = ACCESS_DENIED_ACE_TYPE;
    else
        return false;
    ace->flags = 0;
    if (f[1].size() % 2) return false;
    for (size_t i = 0; i < f[1].size(); i += 2) {
        size_t k = 0;
        while (k < 5 && f[1].compare(i, 2, kAceFlagNames[k]) != 0)
            ++k;
        if (k == 5) return false;
        ace->flags |= kAceFlagBits[k];
    }
    if (!ParseRights(f[2], &ace->mask)) return false;
    size_t sp = 0;
    if (!ParseSidText(f[5], &sp, &ace->sid) || sp != f[5].size()) return false;
    *pos = close + 1;
    return true;
}

} // namespace

namespace winsim {

bool ParseSddl(const std::string& text, KeySecurity* out) {
    KeySecurity sec;
    size_t pos = 0;
    bool sawOwner = false, sawDacl = false;
    while (pos < text.size()) {
        if (text[pos] == ' ' || text[pos] == '\t') {
            ++pos;
            continue;
        }
        if (pos + 1 >= text.size() || text[pos + 1] != ':') return false;
        char part = text[pos];
        pos += 2;
        if (part == 'O' && !sawOwner) {
            if (!ParseSidText(text, &pos, &sec.owner)) return false;
            sawOwner = true;
        } else if (part == 'G') {
            SidBytes ignored; // keys here keep no primary group
            if (!ParseSidText(text, &pos, &ignored)) return false;
        } else if (part == 'D' && !sawDacl) {
            sawDacl = true;
            static const char kNull[] = "NO_ACCESS_CONTROL";
            while (pos < text.size() &&
                   (text[pos] == 'P' || text[pos] == 'A' || text[pos] == 'I' || text[pos] == 'R'))
                ++pos; // protection flags have no effect on a key's own check
            if (text.compare(pos, sizeof kNull - 1, kNull) == 0) {
                sec.dacl = DaclKind::Null;
                pos += sizeof kNull - 1;
                continue;
            }
            sec.dacl = DaclKind::List;
            while (pos < text.size() && text[pos] == '(') {
                Ace ace;
                if (!ParseAce(text, &pos, &ace)) return false;
                sec.aces.push_back(ace);
            }
        } else {
            return false;
        }
    }
    *out = sec;
    return true;
}

std::string ToSddl(const KeySecurity& sec) {
    std::string text;
    if (!sec.owner.empty()) text += "O:" + SidToText(sec.owner);
    if (sec.dacl == DaclKind::Null) text += "D:NO_ACCESS_CONTROL";
    if (sec.dacl == DaclKind::List) {
        text += "D:";
        for (const Ace& a : sec.aces) {
            text += a.type == ACCESS_DENIED_ACE_TYPE ? "(D;" : "(A;";
            for (size_t k = 0; k < 5; ++k)
                if (a.flags & kAceFlagBits[k]) text += kAceFlagNames[k];
            text += ';';
            const char* name = nullptr;
            for (size_t r = 0; r < 3; ++r)
                if (kRights[r].mask == a.mask) name = kRights[r].name;
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%x", a.mask);
            text += name ? name : hex;
            text += ";;;" + SidToText(a.sid) + ")";
        }
    }
    return text;
}

} // namespace winsim
