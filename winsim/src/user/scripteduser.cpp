// The scripted user: what a person does on a modal dialog that waits for input, one step at a
// time. A step names what it acts on as a person sees it (a button by its text, a list row by its
// number or its text); one that cannot be taken (no such control, a disabled one, a row that is
// not listed) is an error that names the step, never a silent no-op: it is journalled, the steps
// after it are dropped, and the user presses Escape from then on.
#include "user.h"

#include <algorithm>
#include <cctype>

namespace winsim::user {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A control's text as the user reads it: without the "&" of its mnemonic, the blanks around it
// and the arrows and dots of "Next >" or "Browse...".
std::string Label(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '&') out += c;
    auto strip = [](char c) { return c == ' ' || c == '<' || c == '>' || c == '.'; };
    while (!out.empty() && strip(out.back()))
        out.pop_back();
    size_t start = 0;
    while (start < out.size() && strip(out[start]))
        ++start;
    return Lower(out.substr(start));
}

// Words, a double-quoted text as one ("" inside it is one quote). False for an open quote.
bool Words(const std::string& text, std::vector<std::string>* words, std::vector<bool>* quoted) {
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        std::string word;
        if (text[i] == '"') {
            bool closed = false;
            for (++i; i < text.size(); ++i) {
                if (text[i] != '"') {
                    word += text[i];
                } else if (i + 1 < text.size() && text[i + 1] == '"') {
                    word += '"';
                    ++i;
                } else {
                    ++i;
                    closed = true;
                    break;
                }
            }
            if (!closed) return false;
            words->push_back(word);
            quoted->push_back(true);
            continue;
        }
        while (i < text.size() && text[i] != ' ' && text[i] != '\t')
            word += text[i++];
        words->push_back(word);
        quoted->push_back(false);
    }
    return true;
}

bool Number(const std::string& word, int* n) {
    if (word.empty() || word.size() > 9 ||
        !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    *n = std::stoi(word);
    return true;
}

struct KeyName {
    const char* name;
    WPARAM vk;
};
const KeyName kKeys[] = {{"space", VK_SPACE},   {"up", VK_UP},         {"down", VK_DOWN},
                         {"pageup", VK_PRIOR},  {"pagedown", VK_NEXT}, {"home", VK_HOME},
                         {"end", VK_END},       {"escape", VK_ESCAPE}, {"enter", VK_RETURN},
                         {"tab", VK_TAB}};

bool ParseStep(const std::string& text, UserStep* step, std::string* error) {
    std::vector<std::string> words;
    std::vector<bool> quoted;
    if (!Words(text, &words, &quoted)) {
        *error = "a quote is not closed";
        return false;
    }
    if (words.empty()) {
        *error = "the step is empty";
        return false;
    }
    *step = UserStep{};
    step->text = text;
    const std::string verb = quoted[0] ? "" : Lower(words[0]);
    // The rest of the step, as one argument.
    auto argument = [&](size_t from) {
        std::string arg;
        for (size_t i = from; i < words.size(); ++i)
            arg += (i > from ? " " : "") + words[i];
        return arg;
    };
    auto target = [&](UserStep::Kind kind) {
        step->kind = kind;
        if (words.size() < 2) {
            *error = "\"" + words[0] + "\" needs what it acts on";
            return false;
        }
        step->byNumber = words.size() == 2 && !quoted[1] && Number(words[1], &step->number);
        step->target = argument(1);
        return true;
    };
    if (verb == "click") return target(UserStep::Kind::Click);
    if (verb == "check") return target(UserStep::Kind::Check);
    if (verb == "select") return target(UserStep::Kind::Select);
    if (verb == "close" && words.size() == 1) {
        step->kind = UserStep::Kind::Close;
        return true;
    }
    const std::string keyName = verb == "key" && words.size() == 2 ? Lower(words[1]) : verb;
    for (const KeyName& k : kKeys) {
        if (keyName == k.name && (words.size() == 1 || verb == "key")) {
            step->kind = UserStep::Kind::Key;
            step->key = k.vk;
            return true;
        }
    }
    if (verb == "key") {
        *error = "no key \"" + argument(1) + "\"";
        return false;
    }
    // Anything else names a button: "OK", "Next", "\"E&xit\"".
    step->kind = UserStep::Kind::Click;
    step->target = argument(0);
    return true;
}

// Journalled as the step is taken, so that what the step makes the program show comes after it.
void Announce(const UserStep& step) {
    Journal("user " + JournalText(step.text));
    NoteScreenEvent("after " + step.text, true);
}

std::vector<uint32_t> Children(uint32_t dlg) {
    std::vector<uint32_t> out;
    for (uint32_t c : U().order) {
        Window* w = Live(c);
        if (w && w->child && w->parent == dlg) out.push_back(c);
    }
    return out;
}

// The control a click step names, or an error.
uint32_t FindControl(uint32_t dlg, const UserStep& step, std::string* error) {
    for (uint32_t c : Children(dlg)) {
        Window* w = Live(c);
        if (step.byNumber ? w->id == step.number : Label(w->text) == Label(step.target) ||
                                                       Lower(Label(w->text))
                                                               .rfind(Label(step.target) + " ", 0) ==
                                                           0)
            return c;
    }
    *error = step.byNumber ? "no control " + std::to_string(step.number) + " on the window"
                           : "no control \"" + step.target + "\" on the window";
    return 0;
}

bool Click(uint32_t dlg, const UserStep& step, std::string* error) {
    uint32_t c = FindControl(dlg, step, error);
    Window* w = Live(c);
    if (!w) return false;
    if ((w->style & WS_DISABLED) || !Visible(*w)) {
        std::string shown;
        for (char ch : w->text)
            if (ch != '&') shown += ch;
        *error = "\"" + shown + "\" is " +
                 ((w->style & WS_DISABLED) ? "disabled" : "not visible");
        return false;
    }
    Announce(step);
    if (w->ctl == Ctl::Button) {
        ClickButton(c);
    } else {
        SendMessageA(AsHwnd(c), WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageA(AsHwnd(c), WM_LBUTTONUP, 0, 0);
    }
    return true;
}

// A click on a list row: on its mark (the first item-height of the row) or on its text. The list
// is scrolled first when the row is out of sight, as a person drags the scroll bar.
bool ClickRow(uint32_t dlg, const UserStep& step, std::string* error) {
    uint32_t list = 0;
    for (uint32_t c : Children(dlg))
        if (Live(c)->ctl == Ctl::ListBox && Visible(*Live(c))) list = c;
    Window* w = Live(list);
    if (!w) {
        *error = "no list on the window";
        return false;
    }
    if (w->style & WS_DISABLED) {
        *error = "the list is disabled";
        return false;
    }
    const int count = static_cast<int>(w->items.size());
    int row = -1;
    if (step.byNumber) {
        if (step.number >= 1 && step.number <= count) row = step.number - 1;
    } else {
        for (int i = 0; i < count && row < 0; ++i)
            if (Lower(w->items[static_cast<size_t>(i)].text) == Lower(step.target)) row = i;
    }
    if (row < 0) {
        *error = (step.byNumber ? "no row " + std::to_string(step.number)
                                : "no row \"" + step.target + "\"") +
                 " in the list (" + std::to_string(count) + " rows)";
        return false;
    }
    Announce(step);
    HWND hwnd = AsHwnd(list);
    const int h = std::max(1, w->itemHeight);
    const int page = std::max(1, ClientOf(*w).bottom / h);
    if (row < w->top || row >= w->top + page) {
        SendMessageA(hwnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, row), 0);
        SendMessageA(hwnd, WM_VSCROLL, SB_ENDSCROLL, 0);
    }
    if (!(w = Live(list))) return true;
    const int x = step.kind == UserStep::Kind::Check ? h / 2 : h + 4;
    const int y = (row - w->top) * h + h / 2;
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    return true;
}

// A key goes where the focus is (the dialog when no control of it has the focus), through the
// dialog's own loop.
void Press(uint32_t dlg, WPARAM vk) {
    uint32_t target = U().focus;
    if (!Live(target) || (target != dlg && !IsDescendant(dlg, target))) target = dlg;
    PostMessageA(AsHwnd(target), WM_KEYDOWN, vk, 1);
    PostMessageA(AsHwnd(target), WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
}

bool Take(uint32_t dlg, const UserStep& step, std::string* error) {
    switch (step.kind) {
    case UserStep::Kind::Click:
        return Click(dlg, step, error);
    case UserStep::Kind::Check:
    case UserStep::Kind::Select:
        return ClickRow(dlg, step, error);
    case UserStep::Kind::Key:
        Announce(step);
        Press(dlg, step.key);
        return true;
    case UserStep::Kind::Close:
        Announce(step);
        SendMessageA(AsHwnd(dlg), WM_CLOSE, 0, 0);
        return true;
    }
    return false;
}

} // namespace

void UserActs(uint32_t dlg) {
    Records& r = R();
    if (r.steps.empty()) { // the user has nothing more to do: Escape
        HWND cancel = GetDlgItem(AsHwnd(dlg), IDCANCEL);
        if (Window* c = Live(cancel); c && c->ctl == Ctl::Button)
            ClickButton(c->handle);
        else
            CallProc(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return;
    }
    UserStep step = r.steps.front();
    r.steps.pop_front();
    if (step.legacyId) { // QueueDialogClick: a control by its ID, a command when there is none
        HWND control = GetDlgItem(AsHwnd(dlg), step.number);
        Window* c = Live(control);
        if (c && c->ctl == Ctl::Button) {
            ClickButton(c->handle);
        } else if (c) {
            SendMessageA(control, WM_LBUTTONDOWN, 0, 0);
            SendMessageA(control, WM_LBUTTONUP, 0, 0);
        } else {
            CallProc(dlg, WM_COMMAND, MAKEWPARAM(step.number, BN_CLICKED), 0);
        }
        return;
    }
    std::string error;
    if (Take(dlg, step, &error)) return;
    r.stepErrors.push_back("cannot " + step.text + ": " + error);
    Journal("user-error " + JournalText(step.text) + "\t" + JournalText(error));
    Debug("the user cannot " + step.text + ": " + error + "; the steps after it are dropped");
    r.steps.clear();
}

} // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

namespace winsim {

bool CheckUserStep(const std::string& step, std::string* error) {
    UserStep parsed;
    return ParseStep(step, &parsed, error);
}

bool QueueUserStep(const std::string& step, std::string* error) {
    UserStep parsed;
    if (!ParseStep(step, &parsed, error)) return false;
    R().steps.push_back(parsed);
    return true;
}

void QueueDialogClick(int controlId) {
    UserStep step;
    step.legacyId = true;
    step.number = controlId;
    step.text = "click " + std::to_string(controlId);
    R().steps.push_back(step);
}

std::vector<std::string> UserStepErrors() {
    return R().stepErrors;
}

void ClearUserSteps() {
    R().steps.clear();
}

} // namespace winsim
