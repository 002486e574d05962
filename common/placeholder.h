// The %name% placeholders of the product's INI files: a name stands for its value in the file's
// [Strings] section. Both programs expand the first placeholder of a text only, into at most 127
// characters; they differ in what a name that the section lacks does, which is a rule each
// passes in.
#ifndef PW_COMMON_PLACEHOLDER_H
#define PW_COMMON_PLACEHOLDER_H

#include <cstddef>

enum {
    PW_PLACEHOLDER_SIZE = 128, // placeholder names and their expansions
};

struct ZrPlaceholderRule {
    // The default of the look-up: a value equal to it means that the section lacks the name.
    const char* absent;
    // True: the text ends where an absent name's placeholder began (the setup library). False:
    // the text stays as written (the uninstaller).
    bool absentEndsText;
};

struct ZrExpansion {
    enum Outcome { NoPlaceholder, Expanded, NameAbsent, TooLong } outcome;
    char name[PW_PLACEHOLDER_SIZE]; // the placeholder's name, cut to 127 characters
};

// Replaces the first %name% pair of `text` (a buffer of `room` bytes) by the name's value in
// [Strings] of `iniPath`, in place. An expansion longer than 127 characters or than room - 1
// empties the text: a cut path names another file.
ZrExpansion zrExpandPlaceholder(char* text, size_t room, const char* iniPath,
                                const ZrPlaceholderRule& rule);

#endif
