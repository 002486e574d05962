// Icons, cursors and bitmaps that user32 loads from a module's resources (gdi.cpp makes the
// objects). Icons and cursors are shared: every load of one hands out the same handle.
#include "../ui.h"

namespace {

using namespace winsim;

std::map<std::string, HICON>& SharedIcons() {
    static auto* icons = new std::map<std::string, HICON>;
    return *icons;
}

const bool g_hooks =
    (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { SharedIcons().clear(); }}), true);

int ResourceId(LPCSTR name) {
    return IS_INTRESOURCE(name) ? LOWORD(reinterpret_cast<uintptr_t>(name)) : 0;
}

HICON LoadShared(HINSTANCE hInstance, LPCSTR name, LPCSTR groupType, WORD firstSystemId) {
    std::string key;
    if (!hInstance) {
        WORD id = static_cast<WORD>(ResourceId(name));
        if (!IS_INTRESOURCE(name) || id < firstSystemId || id > firstSystemId + 100) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        key = "system " + std::to_string(reinterpret_cast<uintptr_t>(groupType)) + " " +
              std::to_string(id);
    } else {
        if (!FindResourceA(hInstance, name, groupType)) return nullptr;
        key = std::to_string(reinterpret_cast<uintptr_t>(hInstance)) + " " +
              std::to_string(reinterpret_cast<uintptr_t>(groupType)) + " " +
              (IS_INTRESOURCE(name) ? std::to_string(ResourceId(name)) : Upper(name));
    }
    auto it = SharedIcons().find(key);
    if (it != SharedIcons().end()) return it->second;
    HICON icon = NewIcon(ResourceId(name));
    SharedIcons()[key] = icon;
    return icon;
}

} // namespace

extern "C" {

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    WINSIM_FAILPOINT(nullptr);
    return LoadShared(hInstance, lpIconName, RT_GROUP_ICON, 32512);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    WINSIM_FAILPOINT(nullptr);
    return LoadShared(hInstance, lpCursorName, MAKEINTRESOURCEA(12), 32512); // RT_GROUP_CURSOR
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
    WINSIM_FAILPOINT(nullptr);
    if (!hInstance) { // the system's own bitmaps (OBM_*) are not on this machine
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    HRSRC res = FindResourceA(hInstance, lpBitmapName, RT_BITMAP);
    if (!res) return nullptr;
    const auto* data = static_cast<const unsigned char*>(LoadResource(hInstance, res));
    DWORD size = SizeofResource(hInstance, res);
    if (!data || size < 16) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    // A bitmap resource is a DIB: BITMAPINFOHEADER (or the old BITMAPCOREHEADER) first.
    auto rd32 = [&](size_t at) {
        return static_cast<int32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                    static_cast<uint32_t>(data[at + 3]) << 24);
    };
    auto rd16 = [&](size_t at) { return static_cast<int>(data[at] | data[at + 1] << 8); };
    uint32_t header = static_cast<uint32_t>(rd32(0));
    int width = 0, height = 0;
    if (header == 12) {
        width = rd16(4);
        height = rd16(6);
    } else if (header >= 40 && size >= 16) {
        width = rd32(4);
        height = rd32(8);
    } else {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    // Negative height: stored top-down. Loaded as a bitmap compatible with the screen; a DIB
    // whose pixels cannot be read (compressed) shows black.
    return NewBitmap(width, height < 0 ? -height : height, ScreenBits(), ResourceId(lpBitmapName),
                     DecodeDib(data, size));
}

} // extern "C"
