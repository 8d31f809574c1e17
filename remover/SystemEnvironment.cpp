#include "SystemEnvironment.h"

#include "FolderTree.h"
#include "Registry.h"
#include "Removal.h"
#include "ShellServices.h"
#include "SystemGuard.h"

namespace remover {
namespace {

class SystemThreadFactory final : public ThreadFactory {
 public:
  HANDLE Create(LPTHREAD_START_ROUTINE routine, LPVOID param, DWORD flags) const override {
    return CreateThread(nullptr, 0, routine, param, flags, nullptr);
  }
};

class SystemRemovalRunner final : public RemovalRunner {
 public:
  int Run(fw::File& own, BOOL deleteHistory, RemovalView& view, const RemoverEnvironment& env) const override {
    return RunRemoval(own, deleteHistory, view, env);
  }
};

}  // namespace

const ThreadFactory& SystemThreads() {
  static const SystemThreadFactory threads;
  return threads;
}

const RemovalRunner& SystemRemoval() {
  static const SystemRemovalRunner removal;
  return removal;
}

RemoverEnvironment SystemEnvironment(const ThreadFactory& threads, const RemovalRunner& removal) {
  return {SystemShell(), SystemRegistry(), SystemWalk(), SystemFolderGuard(), threads, removal};
}

RemoverEnvironment SystemEnvironment() { return SystemEnvironment(SystemThreads(), SystemRemoval()); }

}  // namespace remover
