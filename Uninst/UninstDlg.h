#pragma once
#include "Dialog.h"

// The launcher's only window. It stages and starts the remover while it initialises and ends at
// once when that worked; otherwise it stays with "Korvane 系统卸载失败!" until closed.
class CUninstDlg : public fw::AppDialog {
 public:
  CUninstDlg();

 protected:
  BOOL OnInitDialog() override;
};

// Validates the payload behind the launcher's own file, writes the remover image with a copy of
// the payload to "~uninst.exe" in the temporary folder and starts it there. Non-zero: the
// launcher may quit (started, or nothing to do because another launcher or remover holds the
// files); zero: the failure dialog stays. Never throws.
int StageAndLaunchRemover();
