// The install section of a setup INF file: placeholders from its "Strings" section, delimited
// name-and-file values, and hexadecimal texts.
#ifndef PWSETUP_PRINTER_INF_H
#define PWSETUP_PRINTER_INF_H

#include <windows.h>

#include <string>

enum {
    PW_INF_STRING_SIZE = 260, // a "Strings" value: at most 259 characters
    PW_INF_VALUE_SIZE = 32,   // a delimited value: at most 31 characters
};

// Replaces a text that is one whole placeholder ("%key%") by its "Strings" entry; nonzero when the
// entry delivered at least one character. A text that is not a placeholder stays as it is.
int zrTranslateStringPlaceholder(std::string* text, const std::string& infPath);

// Reads "name, file ; comment" from the install section into name and file; nonzero when both are
// non-empty, or when the value is empty (then both are emptied).
int GetDelimitedPrinterObject(const std::string* infPath, const std::string* section, LPCSTR key,
                              LPCSTR def, std::string* name, std::string* file);

// Reads a text as hexadecimal (with or without 0x; the last eight digits count), upper-casing it.
LONG htol(LPSTR text);

#endif
