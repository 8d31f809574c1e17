#pragma once
// Where the programs load system DLLs from. Both run elevated from folders anyone may write (the
// launcher from the install folder, the remover from the temporary folder), so a DLL is only ever
// loaded from the system folder.
#include <windows.h>

namespace fw {

// First thing both programs do: they run elevated from the user's temporary folder, where anyone
// can drop a DLL, so DLLs are only ever loaded from the system folder.
void RestrictDllSearchToSystem();

// InitCommonControlsEx from comctl32 loaded out of the system folder (it is not a KnownDLL, so it
// is not imported: an import would be resolved beside the executable first).
void InitCommonControlsFromSystem(DWORD classes);

}  // namespace fw
