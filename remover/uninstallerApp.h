#pragma once
#include <windows.h>

#include "RemoverEnvironment.h"

// The remover application: shows its dialog modally, then ends.
class CuninstallerApp {
 public:
  explicit CuninstallerApp(const remover::RemoverEnvironment& env) : m_env(env) {}
  BOOL InitInstance();

 private:
  const remover::RemoverEnvironment m_env;
};

// A remover program's whole run, from its entry point: the process set up as the remover runs
// (DLLs from the system folder only, no untrusted junctions), the dialog with `env`, then the
// process ends. The remover passes the system's environment; the benchmark one whose removal is
// timed.
[[noreturn]] void RunRemover(const remover::RemoverEnvironment& env);
