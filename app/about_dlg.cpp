#include "about_dlg.h"

#include "res/resource.h"

int CAboutDlg::DoModal()
{
    owner_.RunModalDialog(IDD_ABOUTBOX, *this);
    // However it was closed, an About box has nothing to report.
    return IDOK;
}
