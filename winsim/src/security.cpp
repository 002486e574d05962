// Security: SIDs, security descriptors, the process token and its privileges, SDDL text, and the
// access check that the registry applies to keys with security of their own. Windows 95/98 have
// none of this: every call fails there with ERROR_CALL_NOT_IMPLEMENTED, as it does on them.
#include "keysecurity.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <set>

using namespace winsim;

namespace {

constexpr DWORD kErrorUnknownRevision = 1305;
constexpr DWORD kAllKeyRights = KEY_ALL_ACCESS;
constexpr uint8_t kAceFlagBits[] = {0x01, 0x02, 0x04, 0x08, 0x10};
const char* const kAceFlagNames[] = {"OI", "CI", "NP", "IO", "ID"};

// Privileges by their LUID on NT 4.0; the token holds only the two the product adjusts.
struct Privilege {
    const char* name;
    DWORD luid;
};
const Privilege kPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},
    {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},
    {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},
    {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},
    {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14},
    {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},
    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},
    {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},
    {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},
};
constexpr DWORD kTakeOwnershipLuid = 9;
constexpr DWORD kShutdownLuid = 19;

// The process token: one per process, so its enabled privileges outlive the token handles.
struct Token {
    std::set<DWORD> enabled;
    std::map<uintptr_t, DWORD> handleAccess;
};
Token& TheToken() {
    static Token* token = new Token; // never destroyed: the machine may close at process exit
    return *token;
}

// SIDs handed out by AllocateAndInitializeSid, so FreeSid frees only what it gave.
std::set<void*>& AllocatedSids() {
    static std::set<void*>* sids = new std::set<void*>;
    return *sids;
}

void ResetToken() {
    TheToken() = Token{};
}

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr, ResetToken}), true);

bool Unsupported() {
    if (IsNT()) return false;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return true;
}

bool Failed(const char* function) {
    DWORD err;
    if (!ShouldFail(function, &err)) return false;
    SetLastError(err);
    return true;
}

int PrivilegeLevel() {
    return std::atoi(GetSetting("machine", "privilege", "2").c_str());
}

bool HoldsPrivilege(DWORD luid) {
    if (luid == kShutdownLuid) return true;
    if (luid == kTakeOwnershipLuid) {
        std::string def = (IsNT() && PrivilegeLevel() == 2) ? "1" : "0";
        return GetSetting("machine", "takeownership", def) == "1";
    }
    return false;
}

SidBytes UserSid() {
    std::string user = GetSetting("machine", "user", "Administrator");
    DWORD rid = IEquals(user, "Administrator") ? 500 : (IEquals(user, "Guest") ? 501 : 1000);
    return MakeSid(5, {21, 1004336348, 1177238915, 682003330, rid});
}

struct Alias {
    const char* name;
    SidBytes (*make)();
};
const Alias kAliases[] = {
    {"SY", SidSystem},
    {"BA", SidAdministrators},
    {"WD", SidEveryone},
    {"BU",
     [] {
         return MakeSid(5, {32, 545});
     }},
    {"BG",
     [] {
         return MakeSid(5, {32, 546});
     }},
    {"AU", [] { return MakeSid(5, {11}); }},
    {"IU", [] { return MakeSid(5, {4}); }},
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

DWORD MapGeneric(DWORD mask) {
    if (mask & GENERIC_READ) mask |= KEY_READ;
    if (mask & GENERIC_WRITE) mask |= KEY_WRITE;
    if (mask & GENERIC_EXECUTE) mask |= KEY_EXECUTE;
    if (mask & GENERIC_ALL) mask |= KEY_ALL_ACCESS;
    return mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

void AppendSid(std::vector<uint8_t>* out, const SidBytes& sid) {
    out->insert(out->end(), sid.begin(), sid.end());
}

void Append16(std::vector<uint8_t>* out, uint16_t v) {
    uint8_t b[2];
    std::memcpy(b, &v, 2);
    out->insert(out->end(), b, b + 2);
}

void Append32(std::vector<uint8_t>* out, uint32_t v) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    out->insert(out->end(), b, b + 4);
}

std::vector<uint8_t> BuildAcl(const std::vector<Ace>& aces) {
    size_t size = sizeof(ACL);
    for (const Ace& a : aces)
        size += sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + a.sid.size();
    std::vector<uint8_t> acl;
    acl.push_back(ACL_REVISION);
    acl.push_back(0);
    Append16(&acl, static_cast<uint16_t>(size));
    Append16(&acl, static_cast<uint16_t>(aces.size()));
    Append16(&acl, 0);
    for (const Ace& a : aces) {
        acl.push_back(a.type);
        acl.push_back(a.flags);
        Append16(&acl, static_cast<uint16_t>(8 + a.sid.size()));
        Append32(&acl, a.mask);
        AppendSid(&acl, a.sid);
    }
    return acl;
}

LONG ReadAcl(const uint8_t* p, std::vector<Ace>* aces) {
    if (p[0] < ACL_REVISION || p[0] > 4) return ERROR_INVALID_ACL;
    uint16_t size = Load16(p + 2), count = Load16(p + 4);
    if (size < sizeof(ACL)) return ERROR_INVALID_ACL;
    size_t pos = sizeof(ACL);
    aces->clear();
    for (uint16_t i = 0; i < count; ++i) {
        if (pos + sizeof(ACE_HEADER) > size) return ERROR_INVALID_ACL;
        uint16_t aceSize = Load16(p + pos + 2);
        if (aceSize < 16 || pos + aceSize > size) return ERROR_INVALID_ACL;
        Ace ace;
        ace.type = p[pos];
        ace.flags = p[pos + 1];
        if (ace.type != ACCESS_ALLOWED_ACE_TYPE && ace.type != ACCESS_DENIED_ACE_TYPE)
            return ERROR_INVALID_ACL; // audit and object ACEs have no meaning for keys here
        ace.mask = Load32(p + pos + 4);
        const uint8_t* sid = p + pos + 8;
        if (8u + 4u * sid[1] > aceSize - 8u || !ReadSid(sid, &ace.sid)) return ERROR_INVALID_ACL;
        aces->push_back(ace);
        pos += aceSize;
    }
    return ERROR_SUCCESS;
}

// The absolute descriptor in a caller's buffer, read and written whole because the buffer need
// not be aligned for its pointers.
bool LoadAbsolute(PSECURITY_DESCRIPTOR p, SECURITY_DESCRIPTOR* sd) {
    if (!p) return false;
    std::memcpy(sd, p, sizeof *sd);
    return sd->Revision == SECURITY_DESCRIPTOR_REVISION;
}

// An absolute descriptor that a Set... call may change; sets the last error when it is not one.
bool LoadForChange(PSECURITY_DESCRIPTOR p, SECURITY_DESCRIPTOR* sd) {
    if (!LoadAbsolute(p, sd)) {
        SetLastError(kErrorUnknownRevision);
        return false;
    }
    if (sd->Control & SE_SELF_RELATIVE) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return false;
    }
    return true;
}

// A descriptor, absolute or self-relative, that a Get... call reads; null with the last error
// set when it or one of the call's outputs is missing or its revision is unknown.
uint8_t* LoadForQuery(PSECURITY_DESCRIPTOR p, bool outputsGiven) {
    if (!p || !outputsGiven) {
        SetLastError(ERROR_NOACCESS);
        return nullptr;
    }
    uint8_t* b = static_cast<uint8_t*>(p);
    if (b[0] != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(kErrorUnknownRevision);
        return nullptr;
    }
    return b;
}

void StoreAbsolute(PSECURITY_DESCRIPTOR p, const SECURITY_DESCRIPTOR& sd) {
    std::memcpy(p, &sd, sizeof sd);
}

const Privilege* FindPrivilege(DWORD luid) {
    for (const Privilege& p : kPrivileges)
        if (p.luid == luid) return &p;
    return nullptr;
}

} // namespace

namespace winsim {

SidBytes MakeSid(uint8_t authority, std::initializer_list<DWORD> subAuthorities) {
    SidBytes sid(8, 0);
    sid[0] = SID_REVISION;
    sid[1] = static_cast<uint8_t>(subAuthorities.size());
    sid[7] = authority;
    for (DWORD s : subAuthorities)
        Append32(&sid, s);
    return sid;
}

SidBytes SidSystem() {
    return MakeSid(5, {SECURITY_LOCAL_SYSTEM_RID});
}
SidBytes SidAdministrators() {
    return MakeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
}
SidBytes SidEveryone() {
    return MakeSid(1, {SECURITY_WORLD_RID});
}

bool ReadSid(const void* p, SidBytes* sid) {
    if (!p) return false;
    const uint8_t* b = static_cast<const uint8_t*>(p);
    if (b[0] != SID_REVISION || b[1] > 15) return false;
    sid->assign(b, b + 8 + 4 * b[1]);
    return true;
}

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

bool TokenHoldsSid(const SidBytes& sid) {
    if (sid == UserSid() || sid == SidEveryone() || sid == MakeSid(5, {4}) ||
        sid == MakeSid(5, {11}))
        return true;
    int level = PrivilegeLevel();
    if (sid == SidAdministrators()) return level >= 2;
    if (sid == MakeSid(5, {32, 545})) return level >= 1;
    if (sid == MakeSid(5, {32, 546})) return level <= 0;
    return false;
}

bool TokenCanOwn(const SidBytes& sid) {
    return sid == UserSid() || (sid == SidAdministrators() && PrivilegeLevel() >= 2);
}

SidBytes TokenDefaultOwner() {
    return PrivilegeLevel() >= 2 ? SidAdministrators() : UserSid();
}

// Whether the process token has SeShutdownPrivilege enabled (ExitWindowsEx on NT asks).
bool ShutdownPrivilegeEnabled() {
    return TheToken().enabled.count(kShutdownLuid) && HoldsPrivilege(kShutdownLuid);
}

bool TakeOwnershipEnabled() {
    return TheToken().enabled.count(kTakeOwnershipLuid) && HoldsPrivilege(kTakeOwnershipLuid);
}

DWORD GrantedAccess(const KeySecurity* sec) {
    if (!IsNT() || !sec || sec->dacl != DaclKind::List) return kAllKeyRights;
    DWORD granted = 0, denied = 0;
    // NT 4.0 lets the owner read and rewrite the DACL whatever the DACL says.
    if (!sec->owner.empty() && TokenHoldsSid(sec->owner)) granted |= READ_CONTROL | WRITE_DAC;
    for (const Ace& a : sec->aces) {
        if (!TokenHoldsSid(a.sid)) continue;
        DWORD m = MapGeneric(a.mask);
        if (a.type == ACCESS_ALLOWED_ACE_TYPE)
            granted |= m & ~denied;
        else
            denied |= m & ~granted;
    }
    if (TakeOwnershipEnabled()) granted |= WRITE_OWNER;
    return granted & kAllKeyRights;
}

LONG CheckAccess(const KeySecurity* sec, REGSAM desired, DWORD* handleRights) {
    DWORD granted = GrantedAccess(sec);
    bool maximum = (desired & MAXIMUM_ALLOWED) != 0;
    DWORD want = MapGeneric(desired) & ~(MAXIMUM_ALLOWED | SYNCHRONIZE);
    if (want & ~granted) return ERROR_ACCESS_DENIED;
    if (maximum && granted == 0) return ERROR_ACCESS_DENIED;
    if (handleRights) *handleRights = maximum ? granted : want & kAllKeyRights;
    return ERROR_SUCCESS;
}

std::vector<uint8_t> MakeSelfRelative(const KeySecurity* sec, SECURITY_INFORMATION info) {
    std::vector<uint8_t> sd(sizeof(SECURITY_DESCRIPTOR_RELATIVE), 0);
    WORD control = SE_SELF_RELATIVE;
    DWORD ownerOffset = 0, daclOffset = 0;
    // Parts follow the header in the order NT writes them: DACL, then owner.
    if ((info & DACL_SECURITY_INFORMATION) && sec && sec->dacl != DaclKind::Absent) {
        control |= SE_DACL_PRESENT;
        if (sec->dacl == DaclKind::List) {
            daclOffset = static_cast<DWORD>(sd.size());
            std::vector<uint8_t> acl = BuildAcl(sec->aces);
            sd.insert(sd.end(), acl.begin(), acl.end());
        }
    }
    if (info & OWNER_SECURITY_INFORMATION) {
        ownerOffset = static_cast<DWORD>(sd.size());
        AppendSid(&sd, sec && !sec->owner.empty() ? sec->owner : SidAdministrators());
    }
    SECURITY_DESCRIPTOR_RELATIVE head{};
    head.Revision = SECURITY_DESCRIPTOR_REVISION;
    head.Control = control;
    head.Owner = ownerOffset;
    head.Dacl = daclOffset;
    std::memcpy(sd.data(), &head, sizeof head);
    return sd;
}

LONG ReadDescriptor(const void* descriptor, DescriptorParts* out) {
    if (!descriptor) return ERROR_INVALID_SECURITY_DESCR;
    const uint8_t* b = static_cast<const uint8_t*>(descriptor);
    if (b[0] != SECURITY_DESCRIPTOR_REVISION) return ERROR_INVALID_SECURITY_DESCR;
    WORD control = Load16(b + 2);
    const uint8_t* owner = nullptr;
    const uint8_t* dacl = nullptr;
    if (control & SE_SELF_RELATIVE) {
        DWORD o = Load32(b + offsetof(SECURITY_DESCRIPTOR_RELATIVE, Owner));
        DWORD d = Load32(b + offsetof(SECURITY_DESCRIPTOR_RELATIVE, Dacl));
        if (o) owner = b + o;
        if (d) dacl = b + d;
    } else {
        SECURITY_DESCRIPTOR sd;
        std::memcpy(&sd, b, sizeof sd);
        owner = static_cast<const uint8_t*>(sd.Owner);
        dacl = reinterpret_cast<const uint8_t*>(sd.Dacl);
    }
    DescriptorParts parts;
    if (owner) {
        if (!ReadSid(owner, &parts.owner)) return ERROR_INVALID_SID;
        parts.hasOwner = true;
    }
    parts.daclPresent = (control & SE_DACL_PRESENT) != 0;
    if (parts.daclPresent) {
        parts.daclNull = dacl == nullptr;
        if (dacl) {
            LONG err = ReadAcl(dacl, &parts.aces);
            if (err != ERROR_SUCCESS) return err;
        }
    }
    *out = parts;
    return ERROR_SUCCESS;
}

void SetTakeOwnershipHeld(bool held) {
    SetSetting("machine", "takeownership", held ? "1" : "0");
}

} // namespace winsim

extern "C" {

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                         DWORD dwRevision) {
    if (Failed("InitializeSecurityDescriptor") || Unsupported()) return FALSE;
    if (dwRevision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(kErrorUnknownRevision);
        return FALSE;
    }
    if (!pSecurityDescriptor) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    SECURITY_DESCRIPTOR sd{};
    sd.Revision = SECURITY_DESCRIPTOR_REVISION;
    StoreAbsolute(pSecurityDescriptor, sd);
    return TRUE;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                                      PACL pDacl, BOOL bDaclDefaulted) {
    if (Failed("SetSecurityDescriptorDacl") || Unsupported()) return FALSE;
    SECURITY_DESCRIPTOR sd;
    if (!LoadForChange(pSecurityDescriptor, &sd)) return FALSE;
    sd.Control &= static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    sd.Dacl = nullptr;
    if (bDaclPresent) {
        sd.Control |= SE_DACL_PRESENT;
        sd.Dacl = pDacl; // null: a NULL DACL, which grants everyone everything
        if (bDaclDefaulted) sd.Control |= SE_DACL_DEFAULTED;
    }
    StoreAbsolute(pSecurityDescriptor, sd);
    return TRUE;
}

BOOL WINAPI GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                      LPBOOL lpbDaclPresent, PACL* pDacl, LPBOOL lpbDaclDefaulted) {
    if (Failed("GetSecurityDescriptorDacl") || Unsupported()) return FALSE;
    uint8_t* b = LoadForQuery(pSecurityDescriptor, lpbDaclPresent && pDacl && lpbDaclDefaulted);
    if (!b) return FALSE;
    WORD control = Load16(b + 2);
    *lpbDaclPresent = (control & SE_DACL_PRESENT) != 0;
    *lpbDaclDefaulted = (control & SE_DACL_DEFAULTED) != 0;
    *pDacl = nullptr;
    if (!*lpbDaclPresent) return TRUE;
    if (control & SE_SELF_RELATIVE) {
        DWORD off = Load32(b + offsetof(SECURITY_DESCRIPTOR_RELATIVE, Dacl));
        if (off) *pDacl = reinterpret_cast<PACL>(b + off);
    } else {
        SECURITY_DESCRIPTOR sd;
        LoadAbsolute(pSecurityDescriptor, &sd);
        *pDacl = sd.Dacl;
    }
    return TRUE;
}

BOOL WINAPI SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pOwner,
                                       BOOL bOwnerDefaulted) {
    if (Failed("SetSecurityDescriptorOwner") || Unsupported()) return FALSE;
    SECURITY_DESCRIPTOR sd;
    if (!LoadForChange(pSecurityDescriptor, &sd)) return FALSE;
    sd.Owner = pOwner;
    sd.Control &= static_cast<WORD>(~SE_OWNER_DEFAULTED);
    if (bOwnerDefaulted) sd.Control |= SE_OWNER_DEFAULTED;
    StoreAbsolute(pSecurityDescriptor, sd);
    return TRUE;
}

BOOL WINAPI GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pOwner,
                                       LPBOOL lpbOwnerDefaulted) {
    if (Failed("GetSecurityDescriptorOwner") || Unsupported()) return FALSE;
    uint8_t* b = LoadForQuery(pSecurityDescriptor, pOwner && lpbOwnerDefaulted);
    if (!b) return FALSE;
    WORD control = Load16(b + 2);
    *lpbOwnerDefaulted = (control & SE_OWNER_DEFAULTED) != 0;
    if (control & SE_SELF_RELATIVE) {
        DWORD off = Load32(b + offsetof(SECURITY_DESCRIPTOR_RELATIVE, Owner));
        *pOwner = off ? b + off : nullptr;
    } else {
        SECURITY_DESCRIPTOR sd;
        LoadAbsolute(pSecurityDescriptor, &sd);
        *pOwner = sd.Owner;
    }
    return TRUE;
}

BOOL WINAPI IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    if (Failed("IsValidSecurityDescriptor") || Unsupported()) return FALSE;
    DescriptorParts parts;
    LONG err = ReadDescriptor(pSecurityDescriptor, &parts);
    if (err != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(err));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                                     BYTE nSubAuthorityCount, DWORD nSubAuthority0,
                                     DWORD nSubAuthority1, DWORD nSubAuthority2,
                                     DWORD nSubAuthority3, DWORD nSubAuthority4,
                                     DWORD nSubAuthority5, DWORD nSubAuthority6,
                                     DWORD nSubAuthority7, PSID* pSid) {
    if (Failed("AllocateAndInitializeSid") || Unsupported()) return FALSE;
    if (!pIdentifierAuthority || !pSid || nSubAuthorityCount == 0 || nSubAuthorityCount > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD subs[8] = {nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3,
                           nSubAuthority4, nSubAuthority5, nSubAuthority6, nSubAuthority7};
    size_t size = 8 + 4 * static_cast<size_t>(nSubAuthorityCount);
    uint8_t* sid = static_cast<uint8_t*>(std::malloc(size));
    if (!sid) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    sid[0] = SID_REVISION;
    sid[1] = nSubAuthorityCount;
    std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
    std::memcpy(sid + 8, subs, 4 * static_cast<size_t>(nSubAuthorityCount));
    AllocatedSids().insert(sid);
    *pSid = sid;
    return TRUE;
}

PVOID WINAPI FreeSid(PSID pSid) {
    // Works on every system so that no caller leaks; frees only what AllocateAndInitializeSid gave.
    if (!pSid || AllocatedSids().erase(pSid) == 0) return pSid;
    std::free(pSid);
    return nullptr;
}

BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2) {
    if (Unsupported()) return FALSE;
    SidBytes a, b;
    if (!ReadSid(pSid1, &a) || !ReadSid(pSid2, &b)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return a == b;
}

DWORD WINAPI GetLengthSid(PSID pSid) {
    if (Unsupported() || !pSid) return 0;
    return 8 + 4 * static_cast<DWORD>(static_cast<const uint8_t*>(pSid)[1]);
}

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
    if (Failed("OpenProcessToken") || Unsupported()) return FALSE;
    if (!TokenHandle) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    // GetCurrentProcess() is -1, which may reach us sign- or zero-extended.
    bool self = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ProcessHandle)) == 0xffffffffu;
    if (!self && !IsObjectHandle(ProcessHandle, ObjectKind::Process)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HANDLE token = NewObjectHandle(ObjectKind::Token);
    TheToken().handleAccess[reinterpret_cast<uintptr_t>(token)] = DesiredAccess;
    *TokenHandle = token;
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
    (void)lpSystemName; // every system name is taken as this machine
    if (Failed("LookupPrivilegeValueA") || Unsupported()) return FALSE;
    if (!lpName || !lpLuid) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    for (const Privilege& p : kPrivileges) {
        if (IEquals(p.name, lpName)) {
            lpLuid->LowPart = p.luid;
            lpLuid->HighPart = 0;
            return TRUE;
        }
    }
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                  PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                  PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
    if (Failed("AdjustTokenPrivileges") || Unsupported()) return FALSE;
    Token& token = TheToken();
    auto access = token.handleAccess.find(reinterpret_cast<uintptr_t>(TokenHandle));
    if (!IsObjectHandle(TokenHandle, ObjectKind::Token) || access == token.handleAccess.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(access->second & TOKEN_ADJUST_PRIVILEGES) ||
        (PreviousState && !(access->second & TOKEN_QUERY))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!DisableAllPrivileges && !NewState) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Work out every change first: a too small previous-state buffer changes nothing.
    std::map<DWORD, bool> changes; // luid -> enable
    bool notAll = false;
    if (DisableAllPrivileges) {
        for (DWORD luid : token.enabled)
            changes[luid] = false;
    } else {
        const uint8_t* entries =
            reinterpret_cast<const uint8_t*>(NewState) + offsetof(TOKEN_PRIVILEGES, Privileges);
        for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
            LUID_AND_ATTRIBUTES la;
            std::memcpy(&la, entries + i * sizeof la, sizeof la);
            if (la.Luid.HighPart != 0 || !FindPrivilege(la.Luid.LowPart) ||
                !HoldsPrivilege(la.Luid.LowPart)) {
                notAll = true;
                continue;
            }
            bool enable = (la.Attributes & SE_PRIVILEGE_ENABLED) != 0;
            if (enable != (token.enabled.count(la.Luid.LowPart) != 0))
                changes[la.Luid.LowPart] = enable;
        }
    }
    if (PreviousState) {
        DWORD needed = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) +
                                          changes.size() * sizeof(LUID_AND_ATTRIBUTES));
        if (ReturnLength) *ReturnLength = needed;
        if (BufferLength < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        uint8_t* out = reinterpret_cast<uint8_t*>(PreviousState);
        DWORD count = static_cast<DWORD>(changes.size());
        std::memcpy(out, &count, sizeof count);
        size_t i = 0;
        for (const auto& c : changes) {
            LUID_AND_ATTRIBUTES la{};
            la.Luid.LowPart = c.first;
            la.Attributes = c.second ? 0 : SE_PRIVILEGE_ENABLED; // the state before
            std::memcpy(out + offsetof(TOKEN_PRIVILEGES, Privileges) + i++ * sizeof la, &la,
                        sizeof la);
        }
    }
    for (const auto& c : changes) {
        if (c.second)
            token.enabled.insert(c.first);
        else
            token.enabled.erase(c.first);
    }
    // Success either way; the last error tells whether every privilege was there to adjust.
    SetLastError(notAll ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
    return TRUE;
}

} // extern "C"
