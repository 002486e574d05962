// netapi32.dll (lm.h), a system library that winsim builds in (LoadLibraryA finds it by name):
// NetUserGetInfo knows one account, the machine's user (machine.ini [machine] user), with the
// privilege machine.ini [machine] privilege gives it; NetApiBufferFree takes its buffers back.
#include "account.h"
#include "modules.h"

#include <lm.h>

#include <cstdlib>
#include <cstring>
#include <set>

using namespace winsim;

namespace {

std::string Narrow(LPCWSTR text) {
    std::string out;
    for (; text && *text; ++text)
        out += *text < 0x100 ? static_cast<char>(*text) : '?';
    return out;
}

// Buffers NetUserGetInfo handed out and NetApiBufferFree has not yet taken back.
std::set<void*>& Buffers() {
    static auto* buffers = new std::set<void*>;
    return *buffers;
}

// One block holding the record and, behind it, its wide texts, as the system allocates it.
template <typename Info>
LPBYTE NewInfoBlock(const std::vector<std::string>& texts, std::vector<LPWSTR>* placed) {
    size_t size = sizeof(Info);
    for (const std::string& t : texts)
        size += (t.size() + 1) * sizeof(WCHAR);
    auto* block = static_cast<LPBYTE>(std::calloc(1, size));
    if (!block) return nullptr;
    auto* at = reinterpret_cast<WCHAR*>(block + sizeof(Info));
    for (const std::string& t : texts) {
        placed->push_back(at);
        for (char c : t)
            *at++ = static_cast<unsigned char>(c);
        *at++ = 0;
    }
    Buffers().insert(block);
    return block;
}

const bool g_netapi = [] {
    RegisterBuiltinModule("NETAPI32.DLL",
                          {{"NetApiBufferFree", AsProc(&NetApiBufferFree)},
                           {"NetUserGetInfo", AsProc(&NetUserGetInfo)}},
                          false);
    return true;
}();

} // namespace

extern "C" {

NET_API_STATUS NET_API_FUNCTION NetUserGetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                                               LPBYTE* bufptr) {
    Require();
    if (!bufptr) return ERROR_INVALID_PARAMETER;
    *bufptr = nullptr;
    WINSIM_FAILPOINT_RETURNS_ERROR();
    // Only this computer: no server name, or an empty one.
    if (servername && *servername) return NERR_InvalidComputer;
    if (!username) return ERROR_INVALID_PARAMETER;
    std::string name = MachineUser();
    if (!IEquals(Narrow(username), name)) return NERR_UserNotFound;
    int priv = std::atoi(GetSetting("machine", "privilege", "2").c_str());
    std::vector<LPWSTR> texts;
    if (level == 0) {
        LPBYTE block = NewInfoBlock<USER_INFO_0>({name}, &texts);
        if (!block) return ERROR_NOT_ENOUGH_MEMORY;
        reinterpret_cast<USER_INFO_0*>(block)->usri0_name = texts[0];
        *bufptr = block;
        return NERR_Success;
    }
    if (level != 1) return ERROR_INVALID_LEVEL;
    LPBYTE block = NewInfoBlock<USER_INFO_1>({name, "", "", ""}, &texts);
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    auto* info = reinterpret_cast<USER_INFO_1*>(block);
    info->usri1_name = texts[0];
    info->usri1_password = nullptr; // never handed out
    info->usri1_password_age = 0;
    info->usri1_priv = static_cast<DWORD>(priv) & USER_PRIV_MASK;
    info->usri1_home_dir = texts[1];
    info->usri1_comment = texts[2];
    info->usri1_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
    info->usri1_script_path = texts[3];
    *bufptr = block;
    return NERR_Success;
}

NET_API_STATUS NET_API_FUNCTION NetApiBufferFree(LPVOID Buffer) {
    WINSIM_FAILPOINT_RETURNS_ERROR();
    if (!Buffer) return NERR_Success;
    if (!Buffers().erase(Buffer)) return ERROR_INVALID_PARAMETER;
    std::free(Buffer);
    return NERR_Success;
}

} // extern "C"
