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
