#pragma once
// Where the programs load system DLLs from. Both run elevated, the launcher from the install
// folder, which users may be able to write, so a DLL is only ever loaded from the system folder.
#include <windows.h>

namespace fw {

// First thing both programs do: no DLL is looked for beside the executable or in the current
// folder, only in the system folder.
void RestrictDllSearchToSystem();

// InitCommonControlsEx from comctl32 loaded out of the system folder (it is not a KnownDLL, so it
// is not imported: an import would be resolved beside the executable first).
void InitCommonControlsFromSystem(DWORD classes);

}  // namespace fw
