#pragma once
// What the remover takes from the system, in one value. The remover's entry point builds the
// system's (SystemEnvironment.h) and passes it down; the benchmark's entry point builds one with a
// timed removal, the tests their own with doubles.
#include <windows.h>

#include "File.h"

namespace removal {
class FolderGuard;
}

namespace remover {

class RegistryApi;
class RemovalView;
class ShellServices;
class WalkSystem;
struct RemoverEnvironment;

// Makes the worker's thread: CreateThread in the remover.
class ThreadFactory {
 public:
  virtual ~ThreadFactory() = default;
  // A thread running `routine(param)` with creation flags `flags`; null when none was made.
  virtual HANDLE Create(LPTHREAD_START_ROUTINE routine, LPVOID param, DWORD flags) const = 0;
};

// What the worker runs: RunRemoval in the remover; the benchmark times it.
class RemovalRunner {
 public:
  virtual ~RemovalRunner() = default;
  virtual int Run(fw::File& own, BOOL deleteHistory, RemovalView& view, const RemoverEnvironment& env) const = 0;
};

struct RemoverEnvironment {
  ShellServices& shell;       // special folders and change notifications
  RegistryApi& registry;      // the registry cleanup's calls
  const WalkSystem& walk;     // what a folder walk asks beyond its handles
  const removal::FolderGuard& guard;   // which folders may be walked
  const ThreadFactory& threads;
  const RemovalRunner& removal;
};

}  // namespace remover
