// The remover's benchmark builds (never the shipped remover): the removal's time on the worker
// thread, and the time the folder guard takes to build from the system at start (the known
// folders asked), in milliseconds, written to the file that KORVANE_TIMING_FILE names;
// KORVANE_BENCH_STATUS_TEXTS (set by CMake) says whether the per-file status texts are shown.
#include <windows.h>

#include <string>

#include "File.h"
#include "Removal.h"
#include "RemoverEnvironment.h"
#include "SystemEnvironment.h"
#include "SystemGuard.h"
#include "uninstallerApp.h"

namespace {

using remover::RemovalView;

// Passes the progress on and drops the status texts, to show what they cost.
class ProgressOnly final : public RemovalView {
 public:
  explicit ProgressOnly(RemovalView& view) : view_(view) {}
  void DeletingFile(const std::wstring&) override {}
  void DeletingFolder(const std::wstring&) override {}
  void Progressed(std::int32_t value) override { view_.Progressed(value); }
  InUseAnswer FilesInUse(const std::vector<std::wstring>& names) override { return view_.FilesInUse(names); }
  void LeftBehind(const std::vector<std::wstring>& atRestart, const std::vector<std::wstring>& staying) override {
    view_.LeftBehind(atRestart, staying);
  }

 private:
  RemovalView& view_;
};

double g_guardMs = 0;  // the folder guard's build, timed once at start

double MillisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER end, frequency;
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void WriteTiming(double ms) {
  wchar_t path[MAX_PATH];
  if (!GetEnvironmentVariableW(L"KORVANE_TIMING_FILE", path, MAX_PATH)) return;
  const std::string text = "worker_ms=" + std::to_string(ms) + "\nguard_ms=" + std::to_string(g_guardMs) + "\n";
  try {
    fw::File file;
    if (file.Open(path, fw::File::Mode::CreateWrite)) file.Write(text.data(), text.size());
  } catch (const std::exception&) {
    // No timing file: the benchmark reports the run as failed.
  }
}

class TimedRemoval final : public remover::RemovalRunner {
 public:
  int Run(fw::File& own, BOOL deleteHistory, RemovalView& view, const remover::RemoverEnvironment& env) const override {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    ProgressOnly quiet(view);
    const int command = remover::SystemRemoval().Run(own, deleteHistory, KORVANE_BENCH_STATUS_TEXTS ? view : quiet, env);
    WriteTiming(MillisecondsSince(start));
    return command;
  }
};

remover::RemoverEnvironment TimedEnvironment() {
  static const TimedRemoval timed;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  remover::SystemFolderGuard();  // built here once, as SystemEnvironment would
  g_guardMs = MillisecondsSince(start);
  return remover::SystemEnvironment(remover::SystemThreads(), timed);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { RunRemover(TimedEnvironment); }
