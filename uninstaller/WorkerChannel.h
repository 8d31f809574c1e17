#pragma once
// The hand-off between the remover dialog and its worker thread. Both hold the channel, so it
// lives until the later of the two lets go; the worker never holds a pointer into the dialog.
#include <windows.h>

#include <atomic>
#include <string>

#include "File.h"
#include "Removal.h"

namespace uninstaller {

class WorkerChannel final : public RemovalView {
 public:
  // `dialog` gets the final command, `status` the status texts; `ownImage` is the remover's own
  // file as the dialog opened it, for the worker to read the payload from.
  WorkerChannel(HWND dialog, HWND status, BOOL deleteHistory, fw::File ownImage = {})
      : m_hDialog(dialog), m_hStatus(status), m_bDeleteHistory(deleteHistory), m_ownImage(std::move(ownImage)) {}

  // Worker side. Status texts go to the status line synchronously: each update is on screen
  // before the worker goes on. Once the dialog has gone, nothing is sent.
  void DeletingFile(const std::string& path) override;
  void DeletingFolder(const std::string& path) override;
  // The worker's last act: releases its thread handle, then sends the dialog `command`
  // (IDOK or IDCANCEL) and waits until the dialog has handled it.
  void Finish(int command);
  BOOL DeleteHistory() const { return m_bDeleteHistory; }
  fw::File& OwnImage() { return m_ownImage; }

  // Dialog side.
  void DialogClosed() { m_dialogGone = true; }
  bool WorkerRunning() const { return m_hThread.load() != nullptr; }

  // Handle of the worker thread: set before the worker runs, released and cleared by it. A raw
  // atomic rather than an owner: the dialog reads it while the worker may be releasing it, and
  // the worker, not a destructor, decides when it is closed.
  std::atomic<HANDLE> m_hThread{nullptr};

 private:
  void ShowStatus(const wchar_t* format, const std::string& path);

  const HWND m_hDialog;
  const HWND m_hStatus;
  const BOOL m_bDeleteHistory;
  fw::File m_ownImage;
  std::atomic<bool> m_dialogGone{false};
};

}  // namespace uninstaller
