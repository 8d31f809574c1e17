#pragma once
// The hand-off between the remover dialog and its worker thread. Both hold the channel, so it
// lives until the later of the two lets go; the worker never holds a pointer into the dialog.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "File.h"
#include "Removal.h"

namespace remover {

// What the remover's worker is made of: a thread, and the removal it runs on it. The remover's is
// SystemRemovalThread(): CreateThread and RunRemoval. Tests make thread creation fail or hold the
// worker; the benchmark builds time the removal.
class RemovalThread {
 public:
  virtual ~RemovalThread() = default;
  // Makes a thread running `routine(param)` with creation flags `flags`; null when none was made.
  virtual HANDLE Create(LPTHREAD_START_ROUTINE routine, LPVOID param, DWORD flags) const = 0;
  // The removal, on the worker thread: RunRemoval's contract.
  virtual int Remove(fw::File& own, BOOL deleteHistory, RemovalView& view) const = 0;
};
const RemovalThread& SystemRemovalThread();

class WorkerChannel final : public RemovalView {
 public:
  // `dialog` gets the final command, `status` the status texts; `ownImage` is the remover's own
  // file as the dialog opened it, for the worker to read the payload from; `thread` makes the
  // worker and runs the removal (it outlives the channel).
  WorkerChannel(HWND dialog, HWND status, BOOL deleteHistory, fw::File ownImage = {},
                const RemovalThread& thread = SystemRemovalThread())
      : m_hDialog(dialog),
        m_hStatus(status),
        m_bDeleteHistory(deleteHistory),
        m_ownImage(std::move(ownImage)),
        m_thread(thread) {}

  // Worker side. Status texts go to the status line synchronously: each update is on screen
  // before the worker goes on. Once the dialog has gone, nothing is sent. The progress is kept
  // for the dialog's timer to read.
  void DeletingFile(const std::wstring& path) override;
  void DeletingFolder(const std::wstring& path) override;
  void Progressed(std::int32_t value) override { m_progress.store(value); }
  // The worker's last act: releases its thread handle, then sends the dialog `command`
  // (IDOK or IDCANCEL) and waits until the dialog has handled it.
  void Finish(int command);
  BOOL DeleteHistory() const { return m_bDeleteHistory; }
  fw::File& OwnImage() { return m_ownImage; }
  const RemovalThread& Thread() const { return m_thread; }

  // Dialog side.
  void DialogClosed() { m_dialogGone = true; }
  bool WorkerRunning() const { return m_hThread.load() != nullptr; }
  std::int32_t Progress() const { return m_progress.load(); }  // 0 until the first file

  // Handle of the worker thread: set before the worker runs, released and cleared by it. A raw
  // atomic rather than an owner: the dialog reads it while the worker may be releasing it, and
  // the worker, not a destructor, decides when it is closed.
  std::atomic<HANDLE> m_hThread{nullptr};

 private:
  void ShowStatus(const wchar_t* prefix, const std::wstring& path);

  const HWND m_hDialog;
  const HWND m_hStatus;
  const BOOL m_bDeleteHistory;
  fw::File m_ownImage;
  const RemovalThread& m_thread;
  std::atomic<std::int32_t> m_progress{0};
  std::atomic<bool> m_dialogGone{false};
};

}  // namespace remover
