#pragma once
// The remover's environment as the running system gives it.
#include "RemoverEnvironment.h"

namespace remover {

// The running system's: its shell, registry, walk and folder guard, CreateThread and RunRemoval.
// The guard is built here (the first time): the shell and COM are loaded, so a program calls this
// only once it limited where DLLs come from.
RemoverEnvironment SystemEnvironment();
// The same with another thread factory or removal: what the benchmark and the tests vary.
RemoverEnvironment SystemEnvironment(const ThreadFactory& threads, const RemovalRunner& removal);
const ThreadFactory& SystemThreads();
const RemovalRunner& SystemRemoval();

}  // namespace remover
