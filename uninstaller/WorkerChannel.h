#pragma once
// The hand-off between the remover dialog and its worker thread. Both hold the channel, so it
// lives until the later of the two lets go; the worker never holds a pointer into the dialog.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "RemovalWorker.h"

namespace uninstaller {

class WorkerChannel final : public RemovalView {
 public:
  // `dialog` gets the final command, `status` the status texts.
  WorkerChannel(HWND dialog, HWND status, BOOL deleteHistory)
      : m_hDialog(dialog), m_hStatus(status), m_bDeleteHistory(deleteHistory) {}

  // Worker side. Status texts go to the status line synchronously: each update is on screen
  // before the worker goes on. Once the dialog has gone, nothing is sent.
  void DeletingFile(const std::string& path) override;
  void DeletingFolder(const std::string& path) override;
  // The worker's last act: releases its thread handle, then sends the dialog `command`
  // (IDOK or IDCANCEL) and waits until the dialog has handled it.
  void Finish(int command);
  BOOL DeleteHistory() const { return m_bDeleteHistory; }

  // Dialog side.
  void DialogClosed() { m_dialogGone = true; }
  bool WorkerRunning() const { return m_hThread.load() != nullptr; }

  // Handle of the worker thread: set before the worker runs, released and cleared by it.
  std::atomic<HANDLE> m_hThread{nullptr};

 private:
  void ShowStatus(const wchar_t* format, const std::string& path);

  const HWND m_hDialog;
  const HWND m_hStatus;
  const BOOL m_bDeleteHistory;
  std::atomic<bool> m_dialogGone{false};
};

// The worker thread's procedure. `param` is a heap-allocated std::shared_ptr<WorkerChannel> that
// the worker takes over. It reads the remover's own file and returns 0 on every path.
DWORD WINAPI RemovalWorker(LPVOID param);

// Creates the worker thread suspended, stores its handle in the channel, then lets it run, so
// the handle is in place before the worker can reach its end. False when no thread was made.
bool StartRemovalWorker(const std::shared_ptr<WorkerChannel>& channel);

// Test seam: makes the worker thread in place of CreateThread (null: CreateThread), so tests can
// have thread creation fail or hold the worker. Gets the start routine, its parameter and the
// creation flags; returns the thread handle or null.
using ThreadStart = HANDLE (*)(LPTHREAD_START_ROUTINE routine, LPVOID param, DWORD flags);
void SetThreadStartForTest(ThreadStart start);

}  // namespace uninstaller
