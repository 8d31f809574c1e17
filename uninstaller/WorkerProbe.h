#pragma once
// What a build of the remover does around its worker besides the removal. The remover links
// WorkerProbe.cpp (nothing; every status text shown); the benchmark builds link
// bench/WorkerProbe_timed.cpp in its place, so no benchmark code is in the shipped remover.

namespace uninstaller {

void OnWorkerStart();     // first thing on the worker thread
void OnWorkerEnd();       // after the removal, before the worker's final command
bool ShowsStatusTexts();  // whether the per-file status texts go to the window

}  // namespace uninstaller
