#pragma once
#include <memory>

#include "Dialog.h"
#include "File.h"
#include "WorkerChannel.h"

// The remover's only window: "卸载" asks about history and starts the worker; a 10 ms timer
// copies the worker's progress from their channel into the bar; the worker's IDOK runs the registry cleanup and
// closes, its IDCANCEL closes. "取消", Escape and the close box close at any time.
class CuninstallerDlg : public fw::AppDialog {
 public:
  // `env`: what the worker and the registry cleanup take from the system (the system's in the
  // remover); what it refers to outlives the dialog.
  explicit CuninstallerDlg(const remover::RemoverEnvironment& env);
  ~CuninstallerDlg() override;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void OnBnClickedUninstall();
  void OnTimer(UINT_PTR id);
  void Close(INT_PTR result);

  const remover::RemoverEnvironment m_env;
  fw::File m_ownImage;  // the remover's own file, held until the worker takes it
  std::shared_ptr<remover::WorkerChannel> m_channel;  // set once the worker was started
  BOOL m_bDeleteHistory = FALSE;
  BOOL m_bClosing = FALSE;    // EndDialog was called: later commands change nothing
  HWND m_status = nullptr;    // control 1002
  HWND m_progress = nullptr;  // control 1000
};
