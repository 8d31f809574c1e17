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
// (DLLs from the system folder only, no untrusted junctions), then the environment `build` makes,
// the dialog with it, and the process ends. The environment is built only after that set-up: the
// system's folder guard loads the shell and COM. The remover passes SystemEnvironment; the
// benchmark one whose removal is timed.
[[noreturn]] void RunRemover(remover::RemoverEnvironment (*build)());
