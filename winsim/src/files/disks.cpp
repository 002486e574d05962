// Disks (kernel32, winbase.h): GetDiskFreeSpaceA answers from machine.ini [drives].
#include "common.h"

#include <algorithm>
#include <cstdlib>

using namespace winsim;
using namespace winsim::files;

extern "C" {

BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                              LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                              LPDWORD lpTotalNumberOfClusters) {
    WINSIM_FAILPOINT(FALSE);
    std::string root = lpRootPathName ? lpRootPathName : CurrentDirectory().substr(0, 3);
    for (char& c : root)
        if (c == '/') c = '\\';
    // The root of a drive, with its backslash: "C:\".
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\')
        return Refuse(ERROR_INVALID_NAME, FALSE);
    if (Host(root).empty()) return Refuse(ERROR_PATH_NOT_FOUND, FALSE);
    char letter = static_cast<char>(toupper(static_cast<unsigned char>(root[0])));
    std::string spec = GetSetting("drives", std::string(1, letter), "512,8,200000,500000");
    unsigned long long v[4] = {512, 8, 0, 0};
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        size_t comma = spec.find(',', at);
        std::string part =
            spec.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        v[i] = std::strtoull(part.c_str(), nullptr, 10);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    if (!IsNT()) {
        // Windows 95/98 report no more than 2 GB through this call.
        unsigned long long cluster = (v[0] * v[1]) != 0 ? v[0] * v[1] : 1;
        unsigned long long limit = 0x7FFFFFFFull / cluster;
        v[2] = std::min(v[2], limit);
        v[3] = std::min(v[3], limit);
    }
    if (lpBytesPerSector) *lpBytesPerSector = static_cast<DWORD>(v[0]);
    if (lpSectorsPerCluster) *lpSectorsPerCluster = static_cast<DWORD>(v[1]);
    if (lpNumberOfFreeClusters) *lpNumberOfFreeClusters = static_cast<DWORD>(v[2]);
    if (lpTotalNumberOfClusters) *lpTotalNumberOfClusters = static_cast<DWORD>(v[3]);
    return TRUE;
}

} // extern "C"
