// Reading the install section of a setup INF file.
#include "printer/inf.h"

#include "frame/pwsetup.h"

#include <cstring>

namespace {

bool zrIsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void zrTrimEnd(std::string* s) {
    while (!s->empty() && zrIsWhite(s->back()))
        s->pop_back();
}

void zrTrimStart(std::string* s) {
    size_t n = 0;
    while (n < s->size() && zrIsWhite((*s)[n]))
        ++n;
    s->erase(0, n);
}

} // namespace

int zrTranslateStringPlaceholder(std::string* text, const std::string& infPath) {
    Trace("zrTranslateStringPlaceholder(%s, %s)\n", text->c_str(), infPath.c_str());
    if (text->empty() || text->front() != '%' || text->back() != '%') return 0;
    const std::string key = text->size() >= 2 ? text->substr(1, text->size() - 2) : std::string();
    char value[PW_INF_STRING_SIZE];
    DWORD read =
        GetPrivateProfileStringA("Strings", key.c_str(), "", value, sizeof value, infPath.c_str());
    *text = value;
    Trace("%s == %s\n", key.c_str(), text->c_str());
    return read > 0 ? 1 : 0;
}

int GetDelimitedPrinterObject(const std::string* infPath, const std::string* section, LPCSTR key,
                              LPCSTR def, std::string* name, std::string* file) {
    if (!infPath || !section || !key || !def || !name || !file) return 0;
    char value[PW_INF_VALUE_SIZE];
    GetPrivateProfileStringA(section->c_str(), key, def, value, sizeof value, infPath->c_str());
    Trace("%s:[%s]%s=%s\n", infPath->c_str(), section->c_str(), key, value);
    if (value[0] == '\0') {
        name->clear();
        file->clear();
        return 1;
    }
    const char* comma = std::strchr(value, ',');
    *name = comma ? std::string(value, static_cast<size_t>(comma - value)) : std::string();
    zrTrimEnd(name);
    if (!name->empty() && (*name)[0] == '%' && !zrTranslateStringPlaceholder(name, *infPath)) {
        Trace("Invalid string '%s'\n", name->c_str());
        return 0;
    }
    *file = comma ? std::string(comma + 1) : std::string(value);
    zrTrimStart(file);
    size_t semicolon = file->find(';');
    if (semicolon != std::string::npos) file->erase(semicolon);
    zrTrimEnd(file);
    return !name->empty() && !file->empty() ? 1 : 0;
}

LONG htol(LPSTR text) {
    CharUpperA(text);
    uint32_t value = 0;
    int position = 0;
    for (size_t i = std::strlen(text); i-- > 0 && position < 8;) {
        const char c = text[i];
        if (c == 'X') break;
        uint32_t worth = 0;
        if (c >= 'A' && c <= 'F')
            worth = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= '1' && c <= '9')
            worth = static_cast<uint32_t>(c - '0');
        value += worth << (4 * position);
        ++position;
    }
    const LONG result = static_cast<LONG>(value);
    Trace("htol(%s) == %8.8ld\n", text, static_cast<long>(result));
    return result;
}
