#pragma once
// The launcher's one piece of work.
#include <windows.h>

// Validates the payload behind the launcher's own file (proven to be its running image), writes
// the remover image with a copy of the payload to "~uninst.exe" in a folder made new for this
// start in the system's Windows folder, and starts it there. `owner`, the launcher's main window,
// owns any message box shown. Non-zero: the launcher may quit (started, or nothing to do because
// a remover from an earlier start still runs); zero: the failure dialog stays. Never throws.
int StageAndLaunchRemover(HWND owner);
