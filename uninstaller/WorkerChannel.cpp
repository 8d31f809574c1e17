#include "WorkerChannel.h"

#include "FileObject.h"

namespace uninstaller {
namespace {

// GBK text for the window: code page 936 whatever the system's, and never refused (a byte that
// is not GBK shows as a replacement character rather than hiding the whole path).
std::wstring GbkForDisplay(const std::string& gbk) {
  if (gbk.empty()) return {};
  const int size = static_cast<int>(gbk.size());
  const int needed = MultiByteToWideChar(936, 0, gbk.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
  if (needed > 0) MultiByteToWideChar(936, 0, gbk.data(), size, wide.data(), needed);
  return wide;
}

}  // namespace

void WorkerChannel::ShowStatus(const wchar_t* prefix, const std::string& path) {
  if (m_dialogGone) return;
#ifdef KORVANE_BENCH_NO_STATUS
  return;  // benchmark build only: measures what the per-file status update costs
#endif
  const std::wstring text = prefix + GbkForDisplay(path);
  SendMessageW(m_hStatus, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WorkerChannel::DeletingFile(const std::string& path) { ShowStatus(L"正在删除文件：", path); }

void WorkerChannel::DeletingFolder(const std::string& path) { ShowStatus(L"正在删除目录：", path); }

void WorkerChannel::Finish(int command) {
  if (HANDLE thread = m_hThread.exchange(nullptr)) CloseHandle(thread);
  if (!m_dialogGone) SendMessageW(m_hDialog, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

#ifdef KORVANE_WORKER_TIMING
// Benchmark builds only (never the shipped remover): the worker's time from its start to its
// final command, in milliseconds, written to the file that KORVANE_TIMING_FILE names.
class WorkerTiming {
 public:
  WorkerTiming() { QueryPerformanceCounter(&start_); }
  void Report() const {
    LARGE_INTEGER end, frequency;
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"KORVANE_TIMING_FILE", path, MAX_PATH)) return;
    const std::string text =
        "worker_ms=" + std::to_string(1000.0 * static_cast<double>(end.QuadPart - start_.QuadPart) /
                                      static_cast<double>(frequency.QuadPart)) + "\n";
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
  }

 private:
  LARGE_INTEGER start_;
};
#endif

DWORD WINAPI RemovalWorker(LPVOID param) {
#ifdef KORVANE_WORKER_TIMING
  const WorkerTiming timing;
#endif
  const std::unique_ptr<std::shared_ptr<WorkerChannel>> owned(static_cast<std::shared_ptr<WorkerChannel>*>(param));
  const std::shared_ptr<WorkerChannel> channel = *owned;
  const int command = RunRemoval(fw::OwnPath(), channel->DeleteHistory(), *channel);
#ifdef KORVANE_WORKER_TIMING
  timing.Report();
#endif
  channel->Finish(command);
  return 0;
}

namespace {
ThreadStart g_threadStartForTest = nullptr;
}  // namespace

void SetThreadStartForTest(ThreadStart start) { g_threadStartForTest = start; }

bool StartRemovalWorker(const std::shared_ptr<WorkerChannel>& channel) {
  auto* param = new std::shared_ptr<WorkerChannel>(channel);
  HANDLE thread = g_threadStartForTest ? g_threadStartForTest(RemovalWorker, param, CREATE_SUSPENDED)
                                       : CreateThread(nullptr, 0, RemovalWorker, param, CREATE_SUSPENDED, nullptr);
  if (thread == nullptr) {
    delete param;
    return false;
  }
  channel->m_hThread = thread;
  ResumeThread(thread);
  return true;
}

}  // namespace uninstaller
