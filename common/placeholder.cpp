#include "common/placeholder.h"

#include <windows.h>

#include <cstring>

ZrExpansion zrExpandPlaceholder(char* text, size_t room, const char* iniPath,
                                const ZrPlaceholderRule& rule) {
    ZrExpansion result = {ZrExpansion::NoPlaceholder, ""};
    if (!text || room == 0) return result;
    char* open = std::strchr(text, '%');
    if (!open) return result;
    char* close = std::strchr(open + 1, '%');
    if (!close) return result;

    size_t nameLength = static_cast<size_t>(close - open - 1);
    if (nameLength > sizeof result.name - 1) nameLength = sizeof result.name - 1;
    std::memcpy(result.name, open + 1, nameLength);
    result.name[nameLength] = '\0';

    char value[PW_PLACEHOLDER_SIZE];
    GetPrivateProfileStringA("Strings", result.name, rule.absent, value, sizeof value, iniPath);
    if (std::strcmp(value, rule.absent) == 0) {
        if (rule.absentEndsText) *open = '\0';
        result.outcome = ZrExpansion::NameAbsent;
        return result;
    }

    const size_t before = static_cast<size_t>(open - text);
    const size_t valueLength = std::strlen(value);
    const size_t afterLength = std::strlen(close + 1);
    const size_t total = before + valueLength + afterLength;
    // The new text is built in a 128-byte buffer; one that does not fit is not cut but dropped.
    if (total + 1 > PW_PLACEHOLDER_SIZE || total + 1 > room) {
        text[0] = '\0';
        result.outcome = ZrExpansion::TooLong;
        return result;
    }
    char built[PW_PLACEHOLDER_SIZE];
    std::memcpy(built, text, before);
    std::memcpy(built + before, value, valueLength);
    std::memcpy(built + before + valueLength, close + 1, afterLength);
    built[total] = '\0';
    std::memcpy(text, built, total + 1);
    result.outcome = ZrExpansion::Expanded;
    return result;
}
