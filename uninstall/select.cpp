// The selection page's own handling. The page that lists the components to choose from comes
// later; until then it ends at once, as Exit does, and the program quits.
#include "pwuninst.h"

INT_PTR SelectPageMessage(HWND page, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_INITDIALOG) {
        EndDialog(page, -1);
        return 0;
    }
    return 0;
}
