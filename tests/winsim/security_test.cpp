#include "support/machine_fixture.h"

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const char kPath[] = "SOFTWARE\\Norvex\\Locked";
const std::string kKey = std::string("HKEY_LOCAL_MACHINE\\") + kPath;
const char kProtected[] = "O:SYD:(A;;KA;;;SY)(A;;KR;;;BA)(A;;KR;;;WD)";
constexpr REGSAM kTakeAccessMask = 0xA0006;

// An owner of the SIDs this test allocates.
struct Sid {
    PSID p = nullptr;
    Sid(BYTE authority, std::initializer_list<DWORD> subs) {
        SID_IDENTIFIER_AUTHORITY a = {{0, 0, 0, 0, 0, authority}};
        DWORD s[8] = {};
        size_t n = 0;
        for (DWORD v : subs)
            s[n++] = v;
        EXPECT_TRUE(AllocateAndInitializeSid(&a, static_cast<BYTE>(n), s[0], s[1], s[2], s[3], s[4],
                                             s[5], s[6], s[7], &p));
    }
    ~Sid() { EXPECT_EQ(FreeSid(p), nullptr); }
    Sid(const Sid&) = delete;
    Sid& operator=(const Sid&) = delete;
};

LONG SetValue(HKEY h) {
    DWORD one = 1;
    return RegSetValueExA(h, "Start", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4);
}

class SecurityTest : public MachineTest {
  protected:
    void SetUp() override {
        NewMachine(winsim::Os::Nt4);
        HKEY h;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS);
        RegCloseKey(h);
        ASSERT_TRUE(winsim::ProtectKey(kKey));
    }
    void TearDown() override {
        if (m_token) CloseHandle(m_token);
        MachineTest::TearDown();
    }

    // Enables (or disables) SeTakeOwnershipPrivilege; returns the last error it left.
    DWORD AdjustTakeOwnership(bool enable) {
        if (!m_token) {
            EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                         &m_token));
        }
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        EXPECT_TRUE(LookupPrivilegeValueA(nullptr, SE_TAKE_OWNERSHIP_NAME, &tp.Privileges[0].Luid));
        tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
        SetLastError(12345);
        EXPECT_TRUE(AdjustTokenPrivileges(m_token, FALSE, &tp, sizeof tp, nullptr, nullptr));
        return GetLastError();
    }

    HANDLE m_token = nullptr;
};

// The road a setup takes to write below a key that only SYSTEM may change. Each handle keeps
// the rights it was opened with, so every change of security needs a key opened anew.
TEST_F(SecurityTest, TakesAccessToAProtectedKeyStepByStep) {
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, kTakeAccessMask, &h),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_READ | KEY_WRITE, &h),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS) << "read is granted";
    DWORD values = 9;
    EXPECT_EQ(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(SetValue(h), ERROR_ACCESS_DENIED);
    HKEY sub;
    EXPECT_EQ(RegCreateKeyA(h, "Parameters", &sub), ERROR_ACCESS_DENIED);

    // Save the DACL, sized first.
    DWORD size = 0;
    ASSERT_EQ(RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, nullptr, &size),
              ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> saved(size);
    ASSERT_EQ(RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, saved.data(), &size), ERROR_SUCCESS);

    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    EXPECT_EQ(RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd), ERROR_ACCESS_DENIED);

    Sid admins(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
    ASSERT_TRUE(SetSecurityDescriptorOwner(&sd, admins.p, FALSE));
    EXPECT_EQ(RegSetKeySecurity(h, OWNER_SECURITY_INFORMATION, &sd), ERROR_ACCESS_DENIED)
        << "the privilege is held but not yet enabled";
    EXPECT_EQ(AdjustTakeOwnership(true), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(RegSetKeySecurity(h, OWNER_SECURITY_INFORMATION, &sd), ERROR_ACCESS_DENIED)
        << "the key was opened before the privilege was enabled";
    HKEY owner;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, WRITE_OWNER, &owner), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeySecurity(owner, OWNER_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    EXPECT_EQ(winsim::GetKeySecurity(kKey), "O:BAD:(A;;KA;;;SY)(A;;KR;;;BA)(A;;KR;;;WD)");
    EXPECT_EQ(RegSetKeySecurity(owner, DACL_SECURITY_INFORMATION, &sd), ERROR_ACCESS_DENIED)
        << "opened for WRITE_OWNER only";
    RegCloseKey(owner);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_SET_VALUE, &owner),
              ERROR_ACCESS_DENIED)
        << "owning grants no write by itself";

    // As owner the process may rewrite the DACL through a key opened since; the handles it
    // already has keep their rights, a key opened anew gets the new ones.
    HKEY dacl;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, WRITE_DAC, &dacl), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeySecurity(dacl, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    EXPECT_EQ(winsim::GetKeySecurity(kKey), "O:BAD:NO_ACCESS_CONTROL");
    EXPECT_EQ(SetValue(dacl), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetValue(h), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegCreateKeyA(h, "Parameters", &sub), ERROR_SUCCESS)
        << "a create asks the key's security as it stands now, not the handle";
    RegCloseKey(sub);
    RegCloseKey(dacl);
    RegCloseKey(h);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS);
    EXPECT_EQ(SetValue(h), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyA(h, "Parameters", &sub), ERROR_SUCCESS);
    RegCloseKey(sub);

    ASSERT_EQ(RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, saved.data()), ERROR_SUCCESS);
    EXPECT_EQ(winsim::GetKeySecurity(kKey), "O:BAD:(A;;KA;;;SY)(A;;KR;;;BA)(A;;KR;;;WD)");
    EXPECT_EQ(SetValue(h), ERROR_SUCCESS) << "an open handle keeps its rights";
    EXPECT_EQ(RegCreateKeyA(h, "Options", &sub), ERROR_ACCESS_DENIED)
        << "but a creation asks the parent's security too";
    RegCloseKey(h);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_SET_VALUE, &h), ERROR_ACCESS_DENIED)
        << "the saved DACL protects the key again";
}

// A handle holds exactly the rights it was opened with, whatever more the key would grant.
TEST_F(SecurityTest, EachCallNeedsItsRightInTheHandle) {
    const char kOpen[] = "SOFTWARE\\Norvex\\Open"; // no security of its own: grants everything
    HKEY setup, h, sub;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOpen, 0, nullptr, 0, KEY_READ, nullptr, &setup,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(SetValue(setup), ERROR_ACCESS_DENIED) << "the creator gets what it asked for";
    RegCloseKey(setup);
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kOpen, &setup), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(setup), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyA(setup, "Sub", &sub), ERROR_SUCCESS);
    RegCloseKey(sub);

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOpen, 0, KEY_READ, &h), ERROR_SUCCESS);
    char name[16];
    DWORD type = 0, data = 0, size = sizeof data, cch = sizeof name;
    EXPECT_EQ(RegQueryValueExA(h, "Start", nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(RegEnumValueA(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyA(h, 0, name, sizeof name), ERROR_SUCCESS);
    size = 0;
    EXPECT_EQ(RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, nullptr, &size),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(SetValue(h), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(h, "Start"), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegCreateKeyA(h, "New", &sub), ERROR_SUCCESS)
        << "a create asks the key's security, not the handle";
    RegCloseKey(sub);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
    EXPECT_EQ(RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd), ERROR_ACCESS_DENIED);
    RegCloseKey(h);

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOpen, 0, KEY_SET_VALUE, &h), ERROR_SUCCESS);
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(h, "Start", nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
              ERROR_ACCESS_DENIED);
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegEnumKeyA(h, 0, name, sizeof name), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    size = 0;
    EXPECT_EQ(RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, nullptr, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(h, "Sub"), ERROR_SUCCESS) << "deletion asks the subkey, not the handle";
    EXPECT_EQ(RegDeleteValueA(h, "Start"), ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_EQ(SetValue(HKEY_LOCAL_MACHINE), ERROR_SUCCESS) << "a root handle holds every right";
    EXPECT_EQ(RegDeleteValueA(HKEY_LOCAL_MACHINE, "Start"), ERROR_SUCCESS);
    RegCloseKey(setup);
}

TEST_F(SecurityTest, AdjustingAPrivilegeTheTokenLacksLeavesNotAllAssigned) {
    winsim::SetTakeOwnershipHeld(false);
    EXPECT_EQ(AdjustTakeOwnership(true), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
    HKEY h;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, WRITE_OWNER, &h), ERROR_ACCESS_DENIED);

    winsim::SetTakeOwnershipHeld(true);
    EXPECT_EQ(AdjustTakeOwnership(true), static_cast<DWORD>(ERROR_SUCCESS));
    HKEY owner;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, WRITE_OWNER, &owner), ERROR_SUCCESS);
    RegCloseKey(owner);
    EXPECT_EQ(AdjustTakeOwnership(false), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, WRITE_OWNER, &owner),
              ERROR_ACCESS_DENIED);

    // The previous state is reported, and a buffer too small for it changes nothing.
    TOKEN_PRIVILEGES tp{}, previous{};
    tp.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "seshutdownprivilege", &tp.Privileges[0].Luid));
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD needed = 0;
    EXPECT_FALSE(AdjustTokenPrivileges(m_token, FALSE, &tp, 4, &previous, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, static_cast<DWORD>(sizeof(TOKEN_PRIVILEGES)));
    ASSERT_TRUE(AdjustTokenPrivileges(m_token, FALSE, &tp, sizeof previous, &previous, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(previous.PrivilegeCount, 1u) << "it was disabled before, so it changed";
    EXPECT_EQ(previous.Privileges[0].Attributes, 0u);

    LUID luid;
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeMadeUpPrivilege", &luid));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));
    HANDLE readOnly;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &readOnly));
    EXPECT_FALSE(AdjustTokenPrivileges(readOnly, FALSE, &tp, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(readOnly);
    EXPECT_FALSE(AdjustTokenPrivileges(readOnly, FALSE, &tp, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(SecurityTest, OnlyTheTokensOwnSidsMayOwnAKey) {
    AdjustTakeOwnership(true);
    HKEY h;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    Sid everyone(1, {0});
    Sid system(5, {SECURITY_LOCAL_SYSTEM_RID});
    for (PSID sid : {everyone.p, system.p}) {
        SetSecurityDescriptorOwner(&sd, sid, FALSE);
        EXPECT_EQ(RegSetKeySecurity(h, OWNER_SECURITY_INFORMATION, &sd), ERROR_INVALID_OWNER);
    }
    EXPECT_EQ(winsim::GetKeySecurity(kKey), kProtected);
    RegCloseKey(h);

    // Without Administrators in the token the group cannot be made owner either.
    winsim::SetSetting("machine", "privilege", "1");
    winsim::SetTakeOwnershipHeld(true);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS) << "Everyone may read";
    Sid admins(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
    SetSecurityDescriptorOwner(&sd, admins.p, FALSE);
    EXPECT_EQ(RegSetKeySecurity(h, OWNER_SECURITY_INFORMATION, &sd), ERROR_INVALID_OWNER);
    RegCloseKey(h);
}

TEST_F(SecurityTest, DenyEntriesOwnerRightsAndNullDaclsDecideAccess) {
    HKEY h;
    ASSERT_TRUE(winsim::SetKeySecurity(kKey, "O:BAD:(D;;KW;;;WD)(A;;KA;;;BA)"));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_WRITE, &h), ERROR_ACCESS_DENIED)
        << "a deny entry before an allow wins";
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_READ | DELETE, &h), ERROR_SUCCESS);
    RegCloseKey(h);

    ASSERT_TRUE(winsim::SetKeySecurity(kKey, "O:BAD:"));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_QUERY_VALUE, &h), ERROR_ACCESS_DENIED)
        << "an empty DACL grants nothing";
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, READ_CONTROL | WRITE_DAC, &h),
              ERROR_SUCCESS)
        << "but the owner may still read and rewrite it";
    RegCloseKey(h);
    ASSERT_TRUE(winsim::SetKeySecurity(kKey, "O:SYD:"));
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPath), ERROR_ACCESS_DENIED);

    for (const char* open : {"O:SYD:NO_ACCESS_CONTROL", ""}) {
        ASSERT_TRUE(winsim::SetKeySecurity(kKey, open));
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS)
            << open;
        RegCloseKey(h);
    }
    EXPECT_EQ(winsim::GetKeySecurity(kKey), "");
    EXPECT_FALSE(winsim::SetKeySecurity(kKey, "O:XXD:"));
    EXPECT_FALSE(winsim::SetKeySecurity(kKey, "D:(A;;KQ;;;WD)"));
    EXPECT_FALSE(winsim::SetKeySecurity(kKey + "\\Absent", kProtected));
}

TEST_F(SecurityTest, DescriptorsHaveTheSystemsBinaryLayout) {
    HKEY h;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS);
    DWORD size = 4;
    std::vector<BYTE> sd(200);
    ASSERT_EQ(RegGetKeySecurity(h, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                sd.data(), &size),
              ERROR_INSUFFICIENT_BUFFER);
    // Header 20, ACL 8 + ACEs (8 + SID) for SYSTEM (12), Administrators (16), Everyone (12),
    // then the owner SYSTEM (12).
    EXPECT_EQ(size, 20u + 8u + 20u + 24u + 20u + 12u);
    ASSERT_EQ(RegGetKeySecurity(h, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                sd.data(), &size),
              ERROR_SUCCESS);
    EXPECT_TRUE(IsValidSecurityDescriptor(sd.data()));
    SECURITY_DESCRIPTOR_RELATIVE head;
    std::memcpy(&head, sd.data(), sizeof head);
    EXPECT_EQ(head.Revision, 1);
    EXPECT_EQ(head.Control, SE_SELF_RELATIVE | SE_DACL_PRESENT);
    EXPECT_EQ(head.Group, 0u);
    EXPECT_EQ(head.Sacl, 0u);
    EXPECT_EQ(head.Dacl, 20u);
    EXPECT_EQ(head.Owner, 92u);
    const BYTE systemSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    EXPECT_EQ(std::memcmp(sd.data() + head.Owner, systemSid, sizeof systemSid), 0);
    const BYTE aclStart[] = {2,    0, 72, 0, 3,    0, 0,    0, // ACL: revision, size, count
                             0,    0, 20, 0, 0x3f, 0, 0x0f, 0, // allow, 20 bytes, KEY_ALL_ACCESS
                             1,    1, 0,  0, 0,    0, 0,    5, 18, 0, 0, 0, // S-1-5-18
                             0,    0, 24, 0, 0x19, 0, 0x02, 0, // allow, 24 bytes, KEY_READ
                             1,    2, 0,  0, 0,    0, 0,    5, 32, 0, 0, 0,
                             0x20, 2, 0,  0}; // S-1-5-32-544
    EXPECT_EQ(std::memcmp(sd.data() + head.Dacl, aclStart, sizeof aclStart), 0);

    BOOL present = FALSE, defaulted = TRUE;
    PACL acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &acl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    EXPECT_EQ(reinterpret_cast<BYTE*>(acl), sd.data() + 20);
    PSID owner = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorOwner(sd.data(), &owner, &defaulted));
    Sid system(5, {SECURITY_LOCAL_SYSTEM_RID});
    EXPECT_TRUE(EqualSid(owner, system.p));
    EXPECT_EQ(GetLengthSid(owner), 12u);

    // An absolute descriptor pointing at a hand-built ACL is taken as well.
    AdjustTakeOwnership(true);
    Sid admins(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
    EXPECT_FALSE(EqualSid(admins.p, system.p));
    EXPECT_EQ(GetLengthSid(admins.p), 16u);
    BYTE aclBytes[8 + 8 + 16] = {2, 0, sizeof aclBytes, 0, 1, 0, 0, 0, 0, 0x02, 24, 0, 0x06, 0,
                                 0, 0}; // allow, CI, KEY_WRITE w/o RC
    std::memcpy(aclBytes + 16, admins.p, 16);
    SECURITY_DESCRIPTOR abs;
    InitializeSecurityDescriptor(&abs, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&abs, admins.p, FALSE);
    SetSecurityDescriptorDacl(&abs, TRUE, reinterpret_cast<PACL>(aclBytes), FALSE);
    EXPECT_TRUE(IsValidSecurityDescriptor(&abs));
    RegCloseKey(h);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, WRITE_OWNER | WRITE_DAC, &h),
              ERROR_ACCESS_DENIED)
        << "WRITE_DAC comes with ownership, which the key does not have yet";
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, WRITE_OWNER, &h), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeySecurity(h, OWNER_SECURITY_INFORMATION, &abs), ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeySecurity(h, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &abs),
              ERROR_SUCCESS);
    EXPECT_EQ(winsim::GetKeySecurity(kKey), "O:BAD:(A;CI;0x6;;;BA)");
    RegCloseKey(h);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS);
    EXPECT_EQ(SetValue(h), ERROR_SUCCESS);
    size = static_cast<DWORD>(sd.size());
    ASSERT_EQ(RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, sd.data(), &size), ERROR_SUCCESS)
        << "the owner reads the DACL without READ_CONTROL in it";
    EXPECT_EQ(std::memcmp(sd.data() + 20, aclBytes, sizeof aclBytes), 0);

    aclBytes[0] = 9; // no such ACL revision
    EXPECT_FALSE(IsValidSecurityDescriptor(&abs));
    EXPECT_EQ(RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &abs), ERROR_INVALID_ACL);
    EXPECT_EQ(RegGetKeySecurity(h, SACL_SECURITY_INFORMATION, sd.data(), &size),
              ERROR_PRIVILEGE_NOT_HELD);
    RegCloseKey(h);
}

TEST_F(SecurityTest, SecurityOutlivesTheProcessInMachineIni) {
    ASSERT_TRUE(winsim::SetKeySecurity(kKey, "O:BAD:(A;CI;0x20019;;;S-1-5-21-7-8-9-1001)"));
    std::string error;
    ASSERT_TRUE(winsim::ImportRegistry("REGEDIT4\r\n\r\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Imported]\r\n"
                                       ";security=O:SYD:(A;;KA;;;SY)(A;;KR;;;WD)\r\n"
                                       "\"v\"=\"1\"\r\n",
                                       &error))
        << error;
    winsim::CloseMachine();
    std::string ini = ReadHostFile(m_dir + "/machine.ini");
    EXPECT_NE(ini.find("[key-security]"), std::string::npos);
    EXPECT_NE(ini.find(kKey + "=O:BAD:(A;CI;KR;;;S-1-5-21-7-8-9-1001)"), std::string::npos);
    ASSERT_TRUE(winsim::OpenMachine(m_dir, &error)) << error;
    EXPECT_EQ(winsim::GetKeySecurity(kKey), "O:BAD:(A;CI;KR;;;S-1-5-21-7-8-9-1001)");
    EXPECT_EQ(winsim::GetKeySecurity("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\Imported"),
              "O:SYD:(A;;KA;;;SY)(A;;KR;;;WD)");
    HKEY h;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvex\\Imported", 0, KEY_WRITE, &h),
              ERROR_ACCESS_DENIED);

    // A deleted key takes its security with it.
    ASSERT_TRUE(winsim::SetKeySecurity(kKey, ""));
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPath), ERROR_SUCCESS);
    winsim::FlushRegistry();
    EXPECT_EQ(ReadHostFile(m_dir + "/machine.ini").find("Locked"), std::string::npos);
}

// A creator's descriptor becomes the new key's security (an owner the token may not give is
// replaced by its default), yet the creator's handle holds what it asked for. An existing key
// keeps its own.
TEST_F(SecurityTest, ANewKeyTakesItsCreatorsDescriptor) {
    Sid everyone(1, {0});
    // An ACL of one entry that allows KEY_READ to Everyone.
    const BYTE aclHeader[] = {ACL_REVISION, 0, 28, 0, 1, 0, 0, 0};
    const BYTE aceHeader[] = {ACCESS_ALLOWED_ACE_TYPE, 0, 20, 0, 0x19, 0, 0x02, 0};
    BYTE aclBytes[28];
    std::memcpy(aclBytes, aclHeader, 8);
    std::memcpy(aclBytes + 8, aceHeader, 8);
    std::memcpy(aclBytes + 16, everyone.p, 12);
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&sd, everyone.p, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(aclBytes), FALSE));
    SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};
    const char kNew[] = "SOFTWARE\\Norvex\\Created";
    const std::string key = "HKEY_LOCAL_MACHINE\\" + std::string(kNew);
    HKEY h;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kNew, 0, nullptr, 0, KEY_ALL_ACCESS, &sa, &h, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(SetValue(h), ERROR_SUCCESS) << "the creator holds what it asked for";
    RegCloseKey(h);
    EXPECT_EQ(winsim::GetKeySecurity(key), "O:BAD:(A;;KR;;;WD)");

    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    EXPECT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kNew, 0, nullptr, 0, KEY_ALL_ACCESS, &sa, &h, nullptr),
        ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kNew, 0, nullptr, 0, KEY_READ, &sa, &h, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_EQ(winsim::GetKeySecurity(key), "O:BAD:(A;;KR;;;WD)");
}

// Which groups the token holds follows machine.ini [machine] privilege: 0 guest, 1 user,
// 2 administrator; everyone holds Everyone, Interactive and Authenticated Users.
TEST_F(SecurityTest, TheTokenHoldsTheGroupsOfItsPrivilegeLevel) {
    const std::vector<std::pair<const char*, std::vector<bool>>> groups = {
        {"BG", {true, false, false}}, {"BU", {false, true, true}},
        {"BA", {false, false, true}}, {"S-1-5-32-545", {false, true, true}},
        {"WD", {true, true, true}},   {"IU", {true, true, true}},
        {"AU", {true, true, true}},
    };
    for (int level = 0; level <= 2; ++level) {
        winsim::SetSetting("machine", "privilege", std::to_string(level));
        for (const auto& g : groups) {
            ASSERT_TRUE(
                winsim::SetKeySecurity(kKey, std::string("O:SYD:(A;;KR;;;") + g.first + ")"));
            HKEY h;
            LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_READ, &h);
            EXPECT_EQ(rc == ERROR_SUCCESS, g.second[level]) << g.first << " at " << level;
            if (rc == ERROR_SUCCESS) RegCloseKey(h);
        }
    }
}

TEST_F(SecurityTest, SddlTakesEveryFormAndWritesTheShortest) {
    ASSERT_TRUE(winsim::SetKeySecurity(
        kKey, "O:S-1-5-32-544G:SYD:PAI(A;OICI;0x20019;;;S-1-1-0)(D;;GA;;;BG)(A;NPIO;KX;;;AU)"));
    EXPECT_EQ(winsim::GetKeySecurity(kKey),
              "O:BAD:(A;OICI;KR;;;WD)(D;;0x10000000;;;BG)(A;NPIO;KR;;;AU)")
        << "KEY_EXECUTE is KEY_READ; the group and the protection flags are not kept";
    for (const char* bad : {"O:S-2-5-18", "D:(A;;KA;;;WD", "D:(X;;KA;;;WD)", "D:(A;ZZ;KA;;;WD)",
                            "D:(A;;KA;x;;WD)", "O:SYO:BA"})
        EXPECT_FALSE(winsim::SetKeySecurity(kKey, bad)) << bad;
}

TEST_F(SecurityTest, DescriptorCallsRefuseWhatWindowsRefuses) {
    SECURITY_DESCRIPTOR sd;
    EXPECT_FALSE(InitializeSecurityDescriptor(&sd, 2));
    EXPECT_EQ(GetLastError(), 1305u) << "ERROR_UNKNOWN_REVISION";
    HKEY h;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS);
    std::vector<BYTE> relative(200);
    DWORD size = static_cast<DWORD>(relative.size());
    ASSERT_EQ(RegGetKeySecurity(h, OWNER_SECURITY_INFORMATION, relative.data(), &size),
              ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_FALSE(SetSecurityDescriptorDacl(relative.data(), TRUE, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR))
        << "a self-relative descriptor is read only";
    BOOL defaulted;
    EXPECT_FALSE(GetSecurityDescriptorOwner(relative.data(), nullptr, &defaulted));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
    BYTE notASid[12] = {7};
    EXPECT_FALSE(EqualSid(notASid, notASid));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));
    EXPECT_EQ(FreeSid(notASid), static_cast<PVOID>(notASid)) << "only what it allocated";
}

TEST_F(SecurityTest, EveryCallThatCanFailCanBeMadeToFail) {
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    Sid system(5, {SECURITY_LOCAL_SYSTEM_RID});
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr, owner = nullptr;
    PACL acl = nullptr;
    BOOL present, defaulted;
    HANDLE token = nullptr;
    TOKEN_PRIVILEGES tp{};
    LUID luid;
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"InitializeSecurityDescriptor",
         [&] { return InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION); }},
        {"SetSecurityDescriptorDacl",
         [&] { return SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE); }},
        {"GetSecurityDescriptorDacl",
         [&] { return GetSecurityDescriptorDacl(&sd, &present, &acl, &defaulted); }},
        {"SetSecurityDescriptorOwner",
         [&] { return SetSecurityDescriptorOwner(&sd, system.p, FALSE); }},
        {"GetSecurityDescriptorOwner",
         [&] { return GetSecurityDescriptorOwner(&sd, &owner, &defaulted); }},
        {"IsValidSecurityDescriptor", [&] { return IsValidSecurityDescriptor(&sd); }},
        {"AllocateAndInitializeSid",
         [&] { return AllocateAndInitializeSid(&nt, 1, 18, 0, 0, 0, 0, 0, 0, 0, &sid); }},
        {"FreeSid", [&] { return FreeSid(system.p) == nullptr; }},
        {"EqualSid", [&] { return EqualSid(system.p, system.p); }},
        {"OpenProcessToken",
         [&] { return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token); }},
        {"LookupPrivilegeValueA",
         [&] { return LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &luid); }},
        {"AdjustTokenPrivileges",
         [&] { return AdjustTokenPrivileges(m_token, FALSE, &tp, 0, nullptr, nullptr); }},
    };
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &m_token));
    for (const auto& call : calls) {
        winsim::FailCall(call.first, 1234, 1);
        SetLastError(0);
        EXPECT_FALSE(call.second()) << call.first;
        EXPECT_EQ(GetLastError(), 1234u) << call.first;
    }
    EXPECT_EQ(sid, nullptr);
    EXPECT_EQ(token, nullptr);
}

class SecurityOn9xTest : public MachineTest, public ::testing::WithParamInterface<winsim::Os> {
  protected:
    void SetUp() override { NewMachine(GetParam()); }
};
INSTANTIATE_TEST_SUITE_P(Win9x, SecurityOn9xTest,
                         ::testing::Values(winsim::Os::Win95, winsim::Os::Win98), OsParamName);

TEST_P(SecurityOn9xTest, SecurityCallsAreNotImplemented) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kPath, &h), ERROR_SUCCESS);
    ASSERT_TRUE(winsim::ProtectKey(kKey));
    EXPECT_EQ(SetValue(h), ERROR_SUCCESS) << "95/98 keys have no security";
    HKEY readOnly;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    EXPECT_EQ(SetValue(readOnly), ERROR_SUCCESS) << "nor do their handles hold rights";
    RegCloseKey(readOnly);
    DWORD size = 0;
    EXPECT_EQ(RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, nullptr, &size),
              ERROR_CALL_NOT_IMPLEMENTED);
    SECURITY_DESCRIPTOR sd{};
    EXPECT_EQ(RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd), ERROR_CALL_NOT_IMPLEMENTED);
    RegCloseKey(h);

    auto expectNotImplemented = [](BOOL result, const char* what) {
        EXPECT_FALSE(result) << what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED)) << what;
    };
    expectNotImplemented(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION),
                         "InitializeSecurityDescriptor");
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    expectNotImplemented(AllocateAndInitializeSid(&nt, 1, 18, 0, 0, 0, 0, 0, 0, 0, &sid),
                         "AllocateAndInitializeSid");
    HANDLE token = nullptr;
    expectNotImplemented(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token),
                         "OpenProcessToken");
    LUID luid;
    expectNotImplemented(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &luid),
                         "LookupPrivilegeValueA");
    expectNotImplemented(AdjustTokenPrivileges(token, TRUE, nullptr, 0, nullptr, nullptr),
                         "AdjustTokenPrivileges");
}

} // namespace
