// PWSETUP's version, for its version resource and for DLL_GetStr(1070). Only #defines, so that
// the resource compiler reads it as well as C++. The two spellings below are one version.
#ifndef PWSETUP_RESOURCES_VERSION_H
#define PWSETUP_RESOURCES_VERSION_H

#define PW_VERSION_NUMBERS 1, 0, 5, 20 // FILEVERSION and PRODUCTVERSION
#define PW_VERSION_TEXT "1.00.5.020"   // the version as the setup script reads it

#endif
