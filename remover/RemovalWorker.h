#pragma once
// The worker thread: runs the removal for the dialog and reports through their channel.
#include <windows.h>

#include <memory>

#include "WorkerChannel.h"

namespace remover {

// The worker thread's procedure. `param` is a heap-allocated std::shared_ptr<WorkerChannel> that
// the worker takes over. It runs the channel's removal, sends its final command, and returns 0 on
// every path.
DWORD WINAPI RemovalWorker(LPVOID param);

// Creates the worker thread with the channel's thread factory, suspended, stores its handle in
// the channel, then lets it run, so the handle is in place before the worker can reach its end.
// False when no thread was made.
bool StartRemovalWorker(const std::shared_ptr<WorkerChannel>& channel);

}  // namespace remover
