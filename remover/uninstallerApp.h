#pragma once
#include <windows.h>

#include "WorkerChannel.h"

// The remover application: shows its dialog modally, then ends.
class CuninstallerApp {
 public:
  explicit CuninstallerApp(const remover::RemovalThread& thread) : m_thread(thread) {}
  BOOL InitInstance();

 private:
  const remover::RemovalThread& m_thread;
};

// A remover program's whole run, from its entry point: the process set up as the remover runs
// (DLLs from the system folder only, no untrusted junctions), the dialog with `thread` making the
// worker, then the process ends. The remover passes the system's; the benchmark builds a timed one.
[[noreturn]] void RunRemover(const remover::RemovalThread& thread);
