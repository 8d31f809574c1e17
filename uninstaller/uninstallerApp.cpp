#include "uninstallerApp.h"

#include <commctrl.h>

#include "Dialog.h"
#include "uninstallerDlg.h"

namespace {
CuninstallerApp theApp;
}

BOOL CuninstallerApp::InitInstance() {
  fw::InitCommonControlsFromSystem(ICC_WIN95_CLASSES);
  CuninstallerDlg dlg;
  dlg.DoModal();
  return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  fw::RestrictDllSearchToSystem();
  theApp.InitInstance();
  // A worker cut off by closing the dialog is ended here, before anything is torn down.
  ExitProcess(0);
}
