#pragma once
// The worker thread: runs the removal for the dialog and reports through their channel.
#include <windows.h>

#include <memory>

#include "WorkerChannel.h"

namespace uninstaller {

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
