// PWUNINST's resource IDs, shared by the resource script and the program. Only #defines, so
// that the resource compiler reads it as well as C++.
#ifndef PWUNINST_RESOURCES_RESOURCE_H
#define PWUNINST_RESOURCES_RESOURCE_H

// ---- dialogs --------------------------------------------------------------------------------
#define IDD_SELECT 101  // selection page "Select Components"
#define IDD_WELCOME 102 // welcome page
#define IDD_SPLASH 103  // start-up picture window

// ---- icon and bitmaps -----------------------------------------------------------------------
#define IDI_UNINSTALL 400 // class icon
#define IDB_SPLASH 401    // 322 x 142, start-up picture
#define IDB_SIDE 402      // 143 x 277, side picture of both pages
#define IDB_CHECKED 403   // 11 x 11, checked mark of a list row
#define IDB_UNCHECKED 404 // 11 x 11, unchecked mark of a list row
#define IDB_STRIP 405     // 229 x 22, strip at the lower left of both pages

// ---- the program information file of the next-start batch ------------------------------------
#define RT_PIFTEMPLATE 3000
#define IDR_PIFTEMPLATE 3000
#define PIF_TEMPLATE_SIZE 967

// ---- strings --------------------------------------------------------------------------------
#define IDS_CAPTION 1000
#define IDS_NO_SCRIPT_PATH 1001
#define IDS_BAD_SCRIPT 1002
#define IDS_NOTHING_INSTALLED 1003
#define IDS_SELECT_SOMETHING 1004
#define IDS_RESTART_PROMPT 1005
#define IDS_RESTART_WARNING 1006
#define IDS_CAPTION_SHORT 1007
#define IDS_TITLE_DIVISOR 1008
#define IDS_RESTART_FAILED 1009
#define IDS_TITLE_FACE 1010
#define IDS_REMOVED 1011
#define IDS_SCRIPT_UNUSABLE 1012
#define IDS_NOT_ADMINISTRATOR 1013
#define IDS_TITLE_CHARSET 1101 // looked up, never present: the title keeps character set 0
#define IDS_PUSH_MONITOR 2000

// ---- controls -------------------------------------------------------------------------------
#define IDC_WELCOME_TITLE 710
#define IDC_WELCOME_TEXT 715
#define IDC_WELCOME_ADVICE 720
#define IDC_WELCOME_NEXT_HINT 721
#define IDC_WELCOME_NOTICE 723
#define IDC_SEPARATOR 1300
#define IDC_COMPONENT_LIST 2002
#define IDC_SELECT_ALL 2003

#endif
