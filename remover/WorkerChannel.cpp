#include "WorkerChannel.h"

namespace remover {
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
