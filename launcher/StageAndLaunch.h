#pragma once
// The launcher's one piece of work.

// Validates the payload behind the launcher's own file, writes the remover image with a copy of
// the payload to "~uninst.exe" in the temporary folder and starts it there. Non-zero: the
// launcher may quit (started, or nothing to do because another launcher or remover holds the
// files); zero: the failure dialog stays. Never throws.
int StageAndLaunchRemover();
