// The common dialogs (comdlg32, commdlg.h): the file-open dialog, answered by the scripted user
// and journalled, and the extended error that tells why a dialog failed.
#include "ui.h"

#include <commdlg.h>

#include <cstring>
#include <deque>

using namespace winsim;

namespace {

struct DialogState {
    std::deque<std::string> answers;
    std::vector<FileDialogRecord> records;
    DWORD extendedError = 0;
};

DialogState& State() {
    static auto* s = new DialogState;
    return *s;
}

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { State() = {}; }}), true);

// The filter's pairs of texts, joined by |; the list ends at an empty text.
std::string FilterText(LPCSTR filter) {
    std::string out;
    for (const char* at = filter; at && *at; at += std::strlen(at) + 1)
        out += (out.empty() ? "" : "|") + std::string(at);
    return out;
}

BOOL Fail(DWORD error) {
    State().extendedError = error;
    return FALSE;
}

} // namespace

namespace winsim {

void QueueFileDialogAnswer(const std::string& path) {
    State().answers.push_back(path);
}

std::vector<FileDialogRecord> FileDialogs() {
    return State().records;
}

} // namespace winsim

extern "C" {

BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA lpofn) {
    Require();
    DialogState& s = State();
    s.extendedError = 0;
    DWORD error;
    if (WINSIM_ARMED(&error)) return Fail(CDERR_INITIALIZATION);
    // Windows 95 and NT 4.0 know one form of the structure.
    if (!lpofn || lpofn->lStructSize != OPENFILENAME_SIZE_VERSION_400A)
        return Fail(CDERR_STRUCTSIZE);
    if (!lpofn->lpstrFile || lpofn->nMaxFile == 0) return Fail(CDERR_INITIALIZATION);

    FileDialogRecord record;
    record.owner = reinterpret_cast<uintptr_t>(lpofn->hwndOwner);
    record.title = lpofn->lpstrTitle ? lpofn->lpstrTitle : "Open";
    record.filter = FilterText(lpofn->lpstrFilter);
    record.initialFile = std::string(lpofn->lpstrFile, strnlen(lpofn->lpstrFile, lpofn->nMaxFile));
    record.flags = lpofn->Flags;
    if (!s.answers.empty()) {
        record.answer = s.answers.front();
        s.answers.pop_front();
    }
    s.records.push_back(record);
    const std::string& path = record.answer;
    Journal("filedialog " + (path.empty() ? std::string("CANCEL") : JournalText(path)) + " " +
            JournalText(record.title) + "\t" + JournalText(record.filter) + "\t" +
            JournalText(record.initialFile));
    if (path.empty()) return FALSE; // cancelled: no extended error, the buffers as they were

    // A path that does not fit: the buffer's first two bytes tell the size it needs.
    if (path.size() + 1 > lpofn->nMaxFile) {
        if (lpofn->nMaxFile >= sizeof(WORD)) {
            const WORD needed = static_cast<WORD>(path.size() + 1);
            std::memcpy(lpofn->lpstrFile, &needed, sizeof needed);
        }
        return Fail(FNERR_BUFFERTOOSMALL);
    }
    std::memcpy(lpofn->lpstrFile, path.c_str(), path.size() + 1);
    const size_t slash = path.find_last_of("\\:");
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameAt;
    lpofn->nFileOffset = static_cast<WORD>(nameAt);
    lpofn->nFileExtension = static_cast<WORD>(hasExtension ? dot + 1 : path.size());
    if (lpofn->lpstrFileTitle && lpofn->nMaxFileTitle > 0) {
        const std::string title = path.substr(nameAt);
        const size_t n = std::min(title.size(), static_cast<size_t>(lpofn->nMaxFileTitle - 1));
        std::memcpy(lpofn->lpstrFileTitle, title.c_str(), n);
        lpofn->lpstrFileTitle[n] = '\0';
    }
    // With the read-only box hidden the user cannot tick it.
    if (lpofn->Flags & OFN_HIDEREADONLY) lpofn->Flags &= ~static_cast<DWORD>(OFN_READONLY);
    return TRUE;
}

DWORD WINAPI CommDlgExtendedError(void) {
    return State().extendedError;
}

} // extern "C"
