// Resource IDs of the user-interface tests' own resources.
#define IDD_PAGE 200
#define IDD_PAGE_EX 201
#define IDD_NOFONT 202
#define IDB_MARK 300
#define IDC_TITLE 710
#define IDC_ALL 2003
#define IDC_LIST 2002
