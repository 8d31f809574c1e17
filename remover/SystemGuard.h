#pragma once
// The folder guard of the running system, decided once per process.
#include "FolderGuard.h"

namespace remover {

// Every folder the system names (its known folders, the shell's CSIDL folders, the Windows,
// system and temporary folders), each as named, in its long form and by its final path, and by
// identity; the running account's profile for the guard in every profile; the Windows folder as
// a whole tree. Built on first use.
const removal::FolderGuard& SystemFolderGuard();

}  // namespace remover
