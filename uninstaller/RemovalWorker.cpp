#include "RemovalWorker.h"

#include "WorkerProbe.h"

namespace uninstaller {

DWORD WINAPI RemovalWorker(LPVOID param) {
  OnWorkerStart();
  const std::unique_ptr<std::shared_ptr<WorkerChannel>> owned(static_cast<std::shared_ptr<WorkerChannel>*>(param));
  const std::shared_ptr<WorkerChannel> channel = *owned;
  const int command = RunRemoval(channel->OwnImage(), channel->DeleteHistory(), *channel);
  OnWorkerEnd();
  channel->Finish(command);
  return 0;
}

namespace {
ThreadStart g_threadStartForTest = nullptr;
}  // namespace

void SetThreadStartForTest(ThreadStart start) { g_threadStartForTest = start; }

bool StartRemovalWorker(const std::shared_ptr<WorkerChannel>& channel) {
  auto* param = new std::shared_ptr<WorkerChannel>(channel);
  HANDLE thread = g_threadStartForTest ? g_threadStartForTest(RemovalWorker, param, CREATE_SUSPENDED)
                                       : CreateThread(nullptr, 0, RemovalWorker, param, CREATE_SUSPENDED, nullptr);
  if (thread == nullptr) {
    delete param;
    return false;
  }
  channel->m_hThread = thread;
  ResumeThread(thread);
  return true;
}

}  // namespace uninstaller
