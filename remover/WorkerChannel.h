#pragma once
// The hand-off between the remover dialog and its worker thread. Both hold the channel, so it
// lives until the later of the two lets go; the worker never holds a pointer into the dialog.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "File.h"
#include "Win32Handles.h"
#include "Removal.h"
#include "RemoverEnvironment.h"

namespace remover {

// What the worker asks the dialog to show, sent synchronously as kShowMessage with a pointer to
// it: the box's text and buttons, and the button pressed.
struct MessageRequest {
  std::wstring text;
  UINT type;
  int answer = 0;
};
inline constexpr UINT kShowMessage = WM_APP + 10;

class WorkerChannel final : public RemovalView {
 public:
  // `dialog` gets the final command, `status` the status texts; `ownImage` is the remover's own
  // file as the dialog opened it, for the worker to read the payload from; `env` makes the
  // worker's thread and gives the removal it runs what it asks of the system (what it refers to
  // outlives the channel).
  WorkerChannel(HWND dialog, HWND status, BOOL deleteHistory, fw::File ownImage, const RemoverEnvironment& env)
      : m_hDialog(dialog),
        m_hStatus(status),
        m_bDeleteHistory(deleteHistory),
        m_ownImage(std::move(ownImage)),
        m_env(env) {}

  // Worker side. Status texts go to the status line synchronously: each update is on screen
  // before the worker goes on. Once the dialog has gone, nothing is sent. The progress is kept
  // for the dialog's timer to read.
  void DeletingFile(const std::wstring& path) override;
  void DeletingFolder(const std::wstring& path) override;
  void Progressed(std::int32_t value) override { m_progress.store(value); }
  // Asked of the dialog, which shows the box and answers (Abort once the dialog has gone).
  InUseAnswer FilesInUse(const std::vector<std::wstring>& names) override;
  void LeftBehind(const std::vector<std::wstring>& atRestart, const std::vector<std::wstring>& staying) override;
  // The worker's last act: releases its thread handle, then sends the dialog `command`
  // (IDOK or IDCANCEL) and waits until the dialog has handled it.
  void Finish(int command);
  BOOL DeleteHistory() const { return m_bDeleteHistory; }
  fw::File& OwnImage() { return m_ownImage; }
  const RemoverEnvironment& Environment() const { return m_env; }

  // Dialog side.
  void DialogClosed() { m_dialogGone = true; }
  std::int32_t Progress() const { return m_progress.load(); }  // 0 until the first file

  // The worker's thread handle, owned from its creation: given to the channel before the worker
  // is resumed, and let go by the worker in Finish (or by the channel, should the worker never
  // run). Only the worker touches it once it runs.
  fw::KernelHandle m_hThread;

 private:
  void ShowStatus(const wchar_t* prefix, const std::wstring& path);

  const HWND m_hDialog;
  const HWND m_hStatus;
  const BOOL m_bDeleteHistory;
  fw::File m_ownImage;
  const RemoverEnvironment m_env;
  std::atomic<std::int32_t> m_progress{0};
  std::atomic<bool> m_dialogGone{false};
};

}  // namespace remover
