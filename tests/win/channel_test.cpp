// The hand-off between the dialog and the worker thread: the worker's final command and status
// texts arrive through the channel, the thread handle is stored before the worker ends and is
// released by it, and nothing reaches a dialog that has gone.
#include <gtest/gtest.h>

#include <vector>

#include "RemovalWorker.h"
#include "RemoverEnvironment.h"
#include "SystemEnvironment.h"
#include "WinUi.h"

namespace {

using remover::WorkerChannel;

// The channel as the dialog makes it; the test binary carries no payload, and its own file is not
// opened: the worker ends with IDCANCEL.
std::shared_ptr<WorkerChannel> Channel(HWND dialog, BOOL deleteHistory) {
  return std::make_shared<WorkerChannel>(dialog, dialog, deleteHistory, fw::File(), remover::SystemEnvironment());
}

// Whether the worker still holds its thread handle (it releases it before its last send).
bool WorkerHoldsItsHandle(const WorkerChannel& channel) { return static_cast<bool>(channel.m_hThread); }

// A window standing in for the dialog (and its status line): records what it is sent.
struct FakeDialog {
  FakeDialog() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KorvaneFakeDialog";
    RegisterClassW(&wc);
    hwnd = CreateWindowW(L"KorvaneFakeDialog", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~FakeDialog() { DestroyWindow(hwnd); }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<FakeDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == WM_COMMAND) self->commands.push_back(static_cast<int>(wParam));
    if (self && message == WM_SETTEXT) self->texts.push_back(reinterpret_cast<const wchar_t*>(lParam));
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  // Handles messages (the worker's sends among them) until `done` or the timeout.
  void PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    winui::WaitFor([&] {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      return done();
    }, timeoutMs);
  }

  HWND hwnd = nullptr;
  std::vector<int> commands;
  std::vector<std::wstring> texts;
};

TEST(WorkerChannelTest, TheWorkerEndsWithItsCommandAndReleasesItsHandle) {
  FakeDialog dialog;
  auto channel = Channel(dialog.hwnd, TRUE);
  ASSERT_TRUE(remover::StartRemovalWorker(channel));
  dialog.PumpUntil([&] { return !dialog.commands.empty(); }, 10000);
  EXPECT_EQ(dialog.commands, std::vector<int>{IDCANCEL});
  EXPECT_FALSE(WorkerHoldsItsHandle(*channel)) << "the worker released its handle before its last send";
}

TEST(WorkerChannelTest, StatusTextsAreFormattedForTheWindow) {
  FakeDialog dialog;
  auto channel = Channel(dialog.hwnd, FALSE);
  channel->DeletingFile(L"C:\\模板\\a.lvf");
  channel->DeletingFolder(L"C:\\乗");
  EXPECT_EQ(dialog.texts, (std::vector<std::wstring>{L"正在删除文件：C:\\模板\\a.lvf", L"正在删除目录：C:\\乗"}));
}

TEST(WorkerChannelTest, NothingReachesADialogThatHasGone) {
  FakeDialog dialog;
  auto channel = Channel(dialog.hwnd, TRUE);
  channel->DialogClosed();
  channel->DeletingFile(L"C:\\a");
  ASSERT_TRUE(remover::StartRemovalWorker(channel));
  dialog.PumpUntil([&] { return !WorkerHoldsItsHandle(*channel); }, 10000);
  dialog.PumpUntil([] { return false; }, 200);
  EXPECT_FALSE(WorkerHoldsItsHandle(*channel));
  EXPECT_TRUE(dialog.commands.empty());
  EXPECT_TRUE(dialog.texts.empty());
}

}  // namespace
