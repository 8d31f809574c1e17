#include "WorkerChannel.h"

#include "RemovalRules.h"

namespace remover {
void WorkerChannel::ShowStatus(const wchar_t* prefix, const std::wstring& path) {
  if (m_dialogGone) return;
  const std::wstring text = prefix + path;
  SendMessageW(m_hStatus, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WorkerChannel::DeletingFile(const std::wstring& path) { ShowStatus(L"正在删除文件：", path); }

void WorkerChannel::DeletingFolder(const std::wstring& path) { ShowStatus(L"正在删除目录：", path); }

RemovalView::InUseAnswer WorkerChannel::FilesInUse(const std::vector<std::wstring>& names) {
  if (m_dialogGone) return InUseAnswer::Abort;
  std::vector<std::u16string> shown;
  for (const std::wstring& name : names) shown.emplace_back(name.begin(), name.end());
  const std::u16string text = removal::InUseQuestion(shown);
  MessageRequest request{std::wstring(text.begin(), text.end()), MB_ABORTRETRYIGNORE | MB_ICONWARNING};
  SendMessageW(m_hDialog, kShowMessage, 0, reinterpret_cast<LPARAM>(&request));
  if (request.answer == IDRETRY) return InUseAnswer::Retry;
  return request.answer == IDIGNORE ? InUseAnswer::Ignore : InUseAnswer::Abort;
}

void WorkerChannel::LeftBehind(const std::vector<std::wstring>& atRestart, const std::vector<std::wstring>& staying) {
  if (m_dialogGone) return;
  const auto utf16 = [](const std::vector<std::wstring>& names) {
    std::vector<std::u16string> out;
    for (const std::wstring& name : names) out.emplace_back(name.begin(), name.end());
    return out;
  };
  const std::u16string text = removal::LeftBehindMessage(utf16(atRestart), utf16(staying));
  MessageRequest request{std::wstring(text.begin(), text.end()), MB_OK | MB_ICONINFORMATION};
  SendMessageW(m_hDialog, kShowMessage, 0, reinterpret_cast<LPARAM>(&request));
}

void WorkerChannel::Finish(int command) {
  m_hThread.reset();
  if (!m_dialogGone) SendMessageW(m_hDialog, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

}  // namespace remover
