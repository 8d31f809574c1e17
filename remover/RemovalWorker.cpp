#include "RemovalWorker.h"

namespace remover {

DWORD WINAPI RemovalWorker(LPVOID param) {
  const std::unique_ptr<std::shared_ptr<WorkerChannel>> owned(static_cast<std::shared_ptr<WorkerChannel>*>(param));
  const std::shared_ptr<WorkerChannel> channel = *owned;
  const RemoverEnvironment& env = channel->Environment();
  int command = IDCANCEL;
  try {
    command = env.removal.Run(channel->OwnImage(), channel->DeleteHistory(), *channel, env);
  } catch (...) {
    // Nothing may leave a thread's procedure. A removal that failed part way (out of memory, say)
    // leaves the registry to a later run, as a damaged payload does.
  }
  channel->Finish(command);
  return 0;
}

bool StartRemovalWorker(const std::shared_ptr<WorkerChannel>& channel) {
  auto* param = new std::shared_ptr<WorkerChannel>(channel);
  HANDLE thread = channel->Environment().threads.Create(RemovalWorker, param, CREATE_SUSPENDED);
  if (thread == nullptr) {
    delete param;
    return false;
  }
  channel->m_hThread = fw::KernelHandle(thread);
  ResumeThread(thread);  // from here on the worker owns the channel's handle
  return true;
}

}  // namespace remover
