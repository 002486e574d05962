// winsim's <lm.h>: the network management calls the product makes (netapi32.dll, which winsim
// builds in and answers from the machine's user: machine.ini [machine] user and privilege).
#ifndef WINSIM_LM_H
#define WINSIM_LM_H

#include <windows.h>
#include <lmcons.h>

#define NERR_Success 0
#define NERR_BASE 2100
#define NERR_InvalidComputer (NERR_BASE + 251)
#define NERR_UserNotFound (NERR_BASE + 121)
#define NERR_BufTooSmall (NERR_BASE + 23)

#define USER_PRIV_MASK 0x3
#define USER_PRIV_GUEST 0
#define USER_PRIV_USER 1
#define USER_PRIV_ADMIN 2

#define UF_SCRIPT 0x0001
#define UF_ACCOUNTDISABLE 0x0002
#define UF_NORMAL_ACCOUNT 0x0200
#define UF_DONT_EXPIRE_PASSWD 0x10000

typedef struct _USER_INFO_0 {
    LPWSTR usri0_name;
} USER_INFO_0, *PUSER_INFO_0, *LPUSER_INFO_0;

typedef struct _USER_INFO_1 {
    LPWSTR usri1_name;
    LPWSTR usri1_password;
    DWORD usri1_password_age;
    DWORD usri1_priv;
    LPWSTR usri1_home_dir;
    LPWSTR usri1_comment;
    DWORD usri1_flags;
    LPWSTR usri1_script_path;
} USER_INFO_1, *PUSER_INFO_1, *LPUSER_INFO_1;

extern "C" NET_API_STATUS NET_API_FUNCTION NetUserGetInfo(LPCWSTR servername, LPCWSTR username,
                                                          DWORD level, LPBYTE* bufptr);
extern "C" NET_API_STATUS NET_API_FUNCTION NetApiBufferFree(LPVOID Buffer);

#endif
