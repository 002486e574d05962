// Security descriptors in their binary layouts: the self-relative form that RegGetKeySecurity
// hands out, the absolute form that callers build, the ACLs in both, and the calls that build
// and read descriptors.
#include "descriptor.h"

#include <cstddef>

using namespace winsim;

namespace {

constexpr DWORD kErrorUnknownRevision = 1305;

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

} // namespace

namespace winsim {

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

} // namespace winsim

extern "C" {

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                         DWORD dwRevision) {
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
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
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
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
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
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
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
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
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
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
    WINSIM_FAILPOINT(FALSE);
    if (SecurityUnsupported()) return FALSE;
    DescriptorParts parts;
    LONG err = ReadDescriptor(pSecurityDescriptor, &parts);
    if (err != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(err));
        return FALSE;
    }
    return TRUE;
}

} // extern "C"
