#include "WorkerChannel.h"

namespace remover {
namespace {

class SystemRemovalThreadImpl final : public RemovalThread {
 public:
  HANDLE Create(LPTHREAD_START_ROUTINE routine, LPVOID param, DWORD flags) const override {
    return CreateThread(nullptr, 0, routine, param, flags, nullptr);
  }
  int Remove(fw::File& own, BOOL deleteHistory, RemovalView& view) const override {
    return RunRemoval(own, deleteHistory, view);
  }
};

}  // namespace

const RemovalThread& SystemRemovalThread() {
  static const SystemRemovalThreadImpl thread;
  return thread;
}

void WorkerChannel::ShowStatus(const wchar_t* prefix, const std::wstring& path) {
  if (m_dialogGone) return;
  const std::wstring text = prefix + path;
  SendMessageW(m_hStatus, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WorkerChannel::DeletingFile(const std::wstring& path) { ShowStatus(L"正在删除文件：", path); }

void WorkerChannel::DeletingFolder(const std::wstring& path) { ShowStatus(L"正在删除目录：", path); }

void WorkerChannel::Finish(int command) {
  if (HANDLE thread = m_hThread.exchange(nullptr)) CloseHandle(thread);
  if (!m_dialogGone) SendMessageW(m_hDialog, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

}  // namespace remover
