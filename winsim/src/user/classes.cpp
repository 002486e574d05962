// Window classes: the system's (dialogs and the standard controls) and the program's own.
#include "user.h"

namespace winsim::user {

const WndClass* FindClass(LPCSTR name) {
    for (const auto& c : U().classes) {
        if (IS_INTRESOURCE(name) ? c->atom == LOWORD(reinterpret_cast<uintptr_t>(name))
                                 : IEquals(c->name, name))
            return c.get();
    }
    return nullptr;
}

namespace {

// The system's classes are there before any program runs, and stay when the machine closes.
const bool g_systemClasses = [] {
    struct Sys {
        const char* name;
        WNDPROC proc;
        Ctl ctl;
        UINT style;
    };
    const Sys kSys[] = {{"Button", ButtonProc, Ctl::Button, CS_DBLCLKS | CS_PARENTDC},
                        {"Static", StaticProc, Ctl::Static, CS_DBLCLKS | CS_PARENTDC},
                        {"ListBox", ListBoxProc, Ctl::ListBox, CS_DBLCLKS | CS_PARENTDC},
                        {"Edit", EditProc, Ctl::Edit, CS_DBLCLKS | CS_PARENTDC},
                        {"#32770", DialogWndProc, Ctl::Dialog, CS_SAVEBITS | CS_DBLCLKS}};
    ATOM atom = 0x8000;
    for (const Sys& s : kSys) {
        auto c = std::make_unique<WndClass>();
        c->name = s.name;
        c->proc = s.proc;
        c->ctl = s.ctl;
        c->style = s.style;
        c->system = true;
        c->atom = atom++;
        U().classes.push_back(std::move(c));
    }
    return true;
}();

} // namespace

} // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    Require();
    WINSIM_FAILPOINT(0);
    if (!lpWndClass || !lpWndClass->lpszClassName || IS_INTRESOURCE(lpWndClass->lpszClassName) ||
        !*lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const auto& c : U().classes) {
        if (!c->system && IEquals(c->name, lpWndClass->lpszClassName)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    auto c = std::make_unique<WndClass>();
    c->name = lpWndClass->lpszClassName;
    c->atom = U().nextAtom++;
    c->proc = lpWndClass->lpfnWndProc;
    c->style = lpWndClass->style;
    c->instance = lpWndClass->hInstance;
    c->icon = lpWndClass->hIcon;
    c->cursor = lpWndClass->hCursor;
    c->background = lpWndClass->hbrBackground;
    c->wndExtra = lpWndClass->cbWndExtra;
    ATOM atom = c->atom;
    U().classes.push_back(std::move(c));
    return atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
    (void)hInstance;
    Require();
    WINSIM_FAILPOINT(FALSE);
    auto& classes = U().classes;
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        WndClass& c = **it;
        bool match = IS_INTRESOURCE(lpClassName)
                         ? c.atom == LOWORD(reinterpret_cast<uintptr_t>(lpClassName))
                         : (lpClassName && IEquals(c.name, lpClassName));
        if (!match || c.system) continue;
        for (const auto& kv : U().windows) {
            if (kv.second->alive && IEquals(kv.second->className, c.name)) {
                SetLastError(ERROR_CLASS_HAS_WINDOWS);
                return FALSE;
            }
        }
        // The class owns its background brush.
        if (reinterpret_cast<uintptr_t>(c.background) > 31) DeleteObject(c.background);
        classes.erase(it);
        return TRUE;
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE hInstance, LPCSTR lpClassName, LPWNDCLASSA lpWndClass) {
    (void)hInstance;
    WINSIM_FAILPOINT(FALSE);
    const WndClass* c = FindClass(lpClassName);
    if (!c || !lpWndClass) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    WNDCLASSA wc{};
    wc.style = c->style;
    wc.lpfnWndProc = c->proc;
    wc.cbWndExtra = c->wndExtra;
    wc.hInstance = c->instance;
    wc.hIcon = c->icon;
    wc.hCursor = c->cursor;
    wc.hbrBackground = c->background;
    wc.lpszClassName = lpClassName;
    *lpWndClass = wc;
    return TRUE;
}

} // extern "C"
