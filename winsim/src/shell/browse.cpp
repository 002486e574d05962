// The folder browser (shell32, SHBrowseForFolderA) over the network neighbourhood, answered by
// the scripted user and journalled for the tool.
#include "shell.h"

#include <cstring>
#include <deque>

using namespace winsim;
using namespace winsim::shell;

namespace {

struct BrowseState {
    std::deque<std::string> answers;
    std::vector<FolderBrowseRecord> records;
};

BrowseState& State() {
    static auto* s = new BrowseState;
    return *s;
}

const bool g_hooks = (RegisterStateHooks(StateHooks{nullptr, nullptr, [] { State() = {}; }}), true);

// The items of a network name the network offers: "\\SERVER" or "\\SERVER\SHARE" of machine.ini
// [network]; false for any other.
bool NetworkItems(const std::string& name, std::vector<Item>* items) {
    for (const std::string& share : NetworkShares()) {
        const size_t slash = share.find('\\', 2);
        if (share.compare(0, 2, "\\\\") != 0 || slash == std::string::npos) continue;
        const std::string server = share.substr(2, slash - 2);
        std::vector<Item> found = {Item{ItemKind::Network, "Network Neighborhood"},
                                   Item{ItemKind::Server, server}};
        if (IEquals(name, "\\\\" + server)) {
            *items = found;
            return true;
        }
        if (IEquals(name, share)) {
            found.push_back(Item{ItemKind::Printer, share.substr(slash + 1)});
            *items = found;
            return true;
        }
    }
    return false;
}

} // namespace

namespace winsim {

void QueueBrowseAnswer(const std::string& item) {
    State().answers.push_back(item);
}

std::vector<FolderBrowseRecord> FolderBrowses() {
    return State().records;
}

} // namespace winsim

extern "C" LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA lpbi) {
    Require();
    if (!lpbi) return nullptr;
    FolderBrowseRecord record;
    record.owner = reinterpret_cast<uintptr_t>(lpbi->hwndOwner);
    record.title = lpbi->lpszTitle ? lpbi->lpszTitle : "";
    record.flags = lpbi->ulFlags;
    std::string answer;
    BrowseState& s = State();
    if (!s.answers.empty()) {
        answer = s.answers.front();
        s.answers.pop_front();
    }
    // The user can choose only what the tree shows below its root, and with
    // BIF_BROWSEFORPRINTER only a printer: OK stays grey for anything else, so the user cancels.
    std::vector<Item> items, root;
    if (!answer.empty()) {
        const bool shown = NetworkItems(answer, &items) &&
                           (!lpbi->pidlRoot || (ReadItemList(lpbi->pidlRoot, &root) &&
                                                root.size() < items.size()));
        const bool offered =
            shown && (!(lpbi->ulFlags & BIF_BROWSEFORPRINTER) || items.back().kind == ItemKind::Printer);
        if (!offered) {
            OutputDebugStringA(("the folder browser does not offer " + answer +
                                "; the user cancels\n").c_str());
            answer.clear();
        }
    }
    record.answer = answer;
    s.records.push_back(record);
    Journal("browse " + (answer.empty() ? std::string("CANCEL") : JournalText(answer)) + " " +
            JournalText(record.title));
    if (answer.empty()) return nullptr;
    LPITEMIDLIST chosen = NewItemList(items);
    if (chosen && lpbi->pszDisplayName) {
        const std::string& name = items.back().name;
        const size_t n = std::min(name.size(), static_cast<size_t>(MAX_PATH - 1));
        std::memcpy(lpbi->pszDisplayName, name.c_str(), n);
        lpbi->pszDisplayName[n] = '\0';
    }
    return chosen;
}
