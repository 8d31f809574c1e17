// The worker probe of the remover's benchmark builds (never the shipped remover): the worker's
// time from its start to its final command, in milliseconds, written to the file that
// KORVANE_TIMING_FILE names; KORVANE_BENCH_STATUS_TEXTS (set by CMake) says whether the per-file
// status texts are shown.
#include <windows.h>

#include <string>

#include "File.h"
#include "WorkerProbe.h"

namespace uninstaller {
namespace {
LARGE_INTEGER g_start;  // one worker per process
}  // namespace

void OnWorkerStart() { QueryPerformanceCounter(&g_start); }

void OnWorkerEnd() {
  LARGE_INTEGER end, frequency;
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  wchar_t path[MAX_PATH];
  if (!GetEnvironmentVariableW(L"KORVANE_TIMING_FILE", path, MAX_PATH)) return;
  const std::string text = "worker_ms=" +
                           std::to_string(1000.0 * static_cast<double>(end.QuadPart - g_start.QuadPart) /
                                          static_cast<double>(frequency.QuadPart)) +
                           "\n";
  try {
    fw::File file;
    if (file.Open(path, fw::File::Mode::CreateWrite)) file.Write(text.data(), text.size());
  } catch (const std::exception&) {
    // No timing file: the benchmark reports the run as failed.
  }
}

bool ShowsStatusTexts() { return KORVANE_BENCH_STATUS_TEXTS != 0; }

}  // namespace uninstaller
