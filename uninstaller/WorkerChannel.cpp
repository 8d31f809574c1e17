#include "WorkerChannel.h"

#include "WorkerProbe.h"

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
  if (m_dialogGone || !ShowsStatusTexts()) return;
  const std::wstring text = prefix + GbkForDisplay(path);
  SendMessageW(m_hStatus, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WorkerChannel::DeletingFile(const std::string& path) { ShowStatus(L"正在删除文件：", path); }

void WorkerChannel::DeletingFolder(const std::string& path) { ShowStatus(L"正在删除目录：", path); }

void WorkerChannel::Finish(int command) {
  if (HANDLE thread = m_hThread.exchange(nullptr)) CloseHandle(thread);
  if (!m_dialogGone) SendMessageW(m_hDialog, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

}  // namespace uninstaller
