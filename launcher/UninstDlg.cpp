#include "UninstDlg.h"

#include "StageAndLaunch.h"
#include "resource.h"

CUninstDlg::CUninstDlg() : fw::AppDialog(IDD_UNINST_DIALOG, IDR_MAINFRAME) {}

BOOL CUninstDlg::OnInitDialog() {
  fw::AppDialog::OnInitDialog();
  // The dialog, made but not yet shown, is the launcher's main window from here on: a message box
  // on the way belongs to it.
  if (StageAndLaunchRemover(m_hWnd)) EndDialog(IDOK);  // before the dialog is ever shown
  return TRUE;
}
