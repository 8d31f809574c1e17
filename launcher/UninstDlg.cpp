#include "UninstDlg.h"

#include "StageAndLaunch.h"
#include "resource.h"

CUninstDlg::CUninstDlg() : fw::AppDialog(IDD_UNINST_DIALOG, IDR_MAINFRAME) {}

BOOL CUninstDlg::OnInitDialog() {
  fw::AppDialog::OnInitDialog();
  if (StageAndLaunchRemover()) EndDialog(IDOK);  // before the dialog is ever shown
  return TRUE;
}
