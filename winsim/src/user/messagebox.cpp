// Message boxes, answered by the scripted user (the next queued answer, else the default button),
// and the program's request to restart Windows; both are journalled for the tool.
#include "user.h"

#include <algorithm>
#include <cstdio>

namespace {

std::vector<int> Buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDOK};
    }
}

std::string TypeText(UINT type) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", type);
    return buf;
}

} // namespace

using namespace winsim;
using namespace winsim::user;

namespace winsim {

void QueueMessageBoxAnswer(int answer) {
    R().answers.push_back(answer);
}

std::vector<MessageBoxRecord> MessageBoxes() {
    return R().boxes;
}

void ClearMessageBoxes() {
    R().boxes.clear();
}

namespace {
const struct {
    const char* name;
    int id;
} kAnswers[] = {{"ok", IDOK},         {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
                {"ignore", IDIGNORE}, {"yes", IDYES},       {"no", IDNO}};
} // namespace

bool ParseAnswer(const std::string& text, int* answer) {
    for (const auto& a : kAnswers) {
        if (IEquals(text, a.name)) {
            *answer = a.id;
            return true;
        }
    }
    return false;
}

const char* AnswerName(int answer) {
    static const char* const kUpper[] = {"OK", "CANCEL", "ABORT", "RETRY", "IGNORE", "YES", "NO"};
    for (size_t i = 0; i < sizeof kAnswers / sizeof kAnswers[0]; ++i)
        if (kAnswers[i].id == answer) return kUpper[i];
    return "?";
}

std::vector<uint32_t> RestartRequests() {
    return R().restarts;
}

} // namespace winsim

namespace {

// While the box is up its own loop runs: the owner takes no input, and what the program posted
// before (a second click's command, a queued key) is dispatched then, as Windows does.
void DispatchWhileShown(HWND owner) {
    const bool wasEnabled = owner && IsWindowEnabled(owner);
    if (wasEnabled) EnableWindow(owner, FALSE);
    for (size_t n = U().posted.size(); n > 0 && !U().posted.empty(); --n) {
        MSG m = U().posted.front();
        U().posted.pop_front();
        DispatchMessageA(&m);
    }
    if (wasEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
}

} // namespace

extern "C" {

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    Require();
    WINSIM_FAILPOINT(0);
    if (hWnd && !LiveOrFail(hWnd)) return 0;
    std::vector<int> buttons = Buttons(uType);
    size_t def = (uType & MB_DEFMASK) >> 8;
    int answer = buttons[def < buttons.size() ? def : 0];
    Records& r = R();
    if (!r.answers.empty()) {
        // An answer the box does not offer is kept for a later box that does ("cancel" meant
        // for the restart prompt is not used up by an OK-only message before it).
        const int queued = r.answers.front();
        if (std::find(buttons.begin(), buttons.end(), queued) != buttons.end()) {
            answer = queued;
            r.answers.pop_front();
        } else {
            Debug(std::string("the message box offers no ") + AnswerName(queued) +
                  "; the user presses " + AnswerName(answer) + " and the answer waits");
        }
    }
    DispatchWhileShown(hWnd);
    MessageBoxRecord rec;
    rec.owner = HandleValue(hWnd);
    rec.caption = lpCaption ? lpCaption : "Error";
    rec.text = lpText ? lpText : "";
    rec.type = uType;
    rec.answer = answer;
    r.boxes.push_back(rec);
    Journal("messagebox " + TypeText(uType) + " " + AnswerName(answer) + " " +
            JournalText(rec.caption) + "\t" + JournalText(rec.text));
    return answer;
}

BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD dwReason) {
    (void)dwReason;
    Require();
    WINSIM_FAILPOINT(FALSE);
    // On NT a restart or shutdown needs the shutdown privilege enabled in the token.
    if (IsNT() && (uFlags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) &&
        !ShutdownPrivilegeEnabled()) {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    R().restarts.push_back(uFlags);
    Journal("restart " + TypeText(uFlags));
    return TRUE;
}

} // extern "C"
