// Forms: the paper sizes NT 4.0's spooler knows from the start, and the calls that list them and
// read one. 95/98 have no forms database: the calls are not implemented there.
#include "pack.h"
#include "spooler.h"

namespace winsim::spooler {

namespace {

struct Form {
    const char* name;
    LONG width, height; // thousandths of a millimetre
};

// NT 4.0's built-in forms, in the order of the DMPAPER_ numbers they stand for (1 to 41).
constexpr Form kBuiltinForms[] = {
    {"Letter", 215900, 279400},
    {"Letter Small", 215900, 279400},
    {"Tabloid", 279400, 431800},
    {"Ledger", 431800, 279400},
    {"Legal", 215900, 355600},
    {"Statement", 139700, 215900},
    {"Executive", 184150, 266700},
    {"A3", 297000, 420000},
    {"A4", 210000, 297000},
    {"A4 Small", 210000, 297000},
    {"A5", 148000, 210000},
    {"B4 (JIS)", 257000, 364000},
    {"B5 (JIS)", 182000, 257000},
    {"Folio", 215900, 330200},
    {"Quarto", 215000, 275000},
    {"10x14", 254000, 355600},
    {"11x17", 279400, 431800},
    {"Note", 215900, 279400},
    {"Envelope #9", 98425, 225425},
    {"Envelope #10", 104775, 241300},
    {"Envelope #11", 114300, 263525},
    {"Envelope #12", 120650, 279400},
    {"Envelope #14", 127000, 292100},
    {"C size sheet", 431800, 558800},
    {"D size sheet", 558800, 863600},
    {"E size sheet", 863600, 1117600},
    {"Envelope DL", 110000, 220000},
    {"Envelope C5", 162000, 229000},
    {"Envelope C3", 324000, 458000},
    {"Envelope C4", 229000, 324000},
    {"Envelope C6", 114000, 162000},
    {"Envelope C65", 114000, 229000},
    {"Envelope B4", 250000, 353000},
    {"Envelope B5", 176000, 250000},
    {"Envelope B6", 176000, 125000},
    {"Envelope", 110000, 230000},
    {"Envelope Monarch", 98425, 190500},
    {"6 3/4 Envelope", 92075, 165100},
    {"US Std Fanfold", 377825, 279400},
    {"German Std Fanfold", 215900, 304800},
    {"German Legal Fanfold", 215900, 330200},
};

struct FormRec {
    std::string name;
    LONG width, height;
};

std::vector<FormRec> Forms(const std::string& only = std::string()) {
    std::vector<FormRec> list;
    for (const Form& f : kBuiltinForms)
        if (only.empty() || IEquals(only, f.name)) list.push_back(FormRec{f.name, f.width, f.height});
    return list;
}

// A form's record: the whole sheet can be printed on, as the spooler reports its own forms.
BOOL PackForms(const std::vector<FormRec>& forms, LPBYTE buf, DWORD cb, LPDWORD needed,
               LPDWORD returned) {
    return PackEach<FORM_INFO_1A>(forms, buf, cb, needed, returned, [](auto& b, auto& f) {
        b.fixed.Flags = FORM_BUILTIN;
        b.fixed.Size = SIZEL{f.width, f.height};
        b.fixed.ImageableArea = RECTL{0, 0, f.width, f.height};
        b.Text(&FORM_INFO_1A::pName, f.name);
    });
}

// What both calls check: the system has forms, the handle is open, level 1 (NT 4.0 has no
// other). False with the error set.
bool FormCall(HANDLE hPrinter, DWORD level) {
    if (!IsNT()) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
    if (!HandleOf(hPrinter)) return Fail(ERROR_INVALID_HANDLE);
    return level == 1 || Fail(ERROR_INVALID_LEVEL);
}

} // namespace

std::string FormName(short paper) {
    const size_t i = static_cast<size_t>(paper) - 1;
    return paper >= 1 && i < sizeof kBuiltinForms / sizeof kBuiltinForms[0] ? kBuiltinForms[i].name
                                                                            : std::string();
}

bool FormSize(short paper, LONG* width, LONG* height) {
    const std::string name = FormName(paper);
    if (name.empty()) return false;
    *width = kBuiltinForms[paper - 1].width;
    *height = kBuiltinForms[paper - 1].height;
    return true;
}

extern "C" {

BOOL WINAPI EnumFormsA(HANDLE hPrinter, DWORD Level, LPBYTE pForm, DWORD cbBuf, LPDWORD pcbNeeded,
                       LPDWORD pcReturned) {
    if (pcReturned) *pcReturned = 0;
    if (!Begin(WINSIM_API_NAME())) return FALSE;
    if (!FormCall(hPrinter, Level) || !CountsGiven(pcbNeeded, pcReturned)) return FALSE;
    // The spooler is told the buffer's size; it has to be there.
    if (!pForm && cbBuf > 0) return Fail(ERROR_INVALID_USER_BUFFER);
    return PackForms(Forms(), pForm, cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI GetFormA(HANDLE hPrinter, LPSTR pFormName, DWORD Level, LPBYTE pForm, DWORD cbBuf,
                     LPDWORD pcbNeeded) {
    if (!Begin(WINSIM_API_NAME())) return FALSE;
    if (!FormCall(hPrinter, Level)) return FALSE;
    DWORD unused = 0;
    if (!pFormName || !CountsGiven(pcbNeeded, &unused)) return Fail(RPC_X_NULL_REF_POINTER);
    if (!pForm && cbBuf > 0) return Fail(ERROR_INVALID_USER_BUFFER);
    const std::vector<FormRec> form = Forms(pFormName);
    if (form.empty()) return Fail(ERROR_INVALID_FORM_NAME);
    return PackForms(form, pForm, cbBuf, pcbNeeded, nullptr);
}

} // extern "C"

} // namespace winsim::spooler
