#include "UninstApp.h"

#include <commctrl.h>

#include "Dialog.h"
#include "SystemLibraries.h"
#include "UninstDlg.h"

namespace {
CUninstApp theApp;
}

BOOL CUninstApp::InitInstance() {
  fw::InitCommonControlsFromSystem(ICC_WIN95_CLASSES);
  CUninstDlg dlg;
  dlg.DoModal();
  return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  fw::RestrictDllSearchToSystem();
  theApp.InitInstance();
  return 0;
}
