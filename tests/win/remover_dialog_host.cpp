// The remover's dialog in a program of its own, for the dialog tests. It runs as the remover runs
// (a payload behind its image, started as a program) and ends with the dialog's result as its
// exit code. KORVANE_DIALOG_HOST chooses how the worker starts:
//   (unset)             as in the remover
//   thread-start-fails  thread creation fails
//   first-start-fails   thread creation fails the first time only
//   worker-held         a thread is made but never runs the removal
// The exit code is the dialog's result, plus 16 for each of the product's three registry keys
// still there when the dialog's modal loop has returned.
// Message WM_APP + 1 closes the dialog as "取消" does and then delivers the worker's IDOK, as a
// worker that ends while the user closes the dialog delivers it.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "RemovalDescription.h"
#include "RemovalWorker.h"
#include "RemoverEnvironment.h"
#include "SystemEnvironment.h"
#include "SystemLibraries.h"
#include "uninstallerDlg.h"

namespace {

constexpr UINT kCloseThenLateWorkerOk = WM_APP + 1;

class FailingThreads final : public remover::ThreadFactory {
 public:
  HANDLE Create(LPTHREAD_START_ROUTINE, LPVOID, DWORD) const override {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
};

// Fails once, then makes threads as the remover does.
class FailingOnce final : public remover::ThreadFactory {
 public:
  HANDLE Create(LPTHREAD_START_ROUTINE routine, LPVOID param, DWORD flags) const override {
    if (failed_) return remover::SystemThreads().Create(routine, param, flags);
    failed_ = true;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }

 private:
  mutable bool failed_ = false;
};

DWORD WINAPI NeverEnding(LPVOID) {
  Sleep(INFINITE);
  return 0;
}

// The worker's parameter is never taken over: the process ends with the dialog.
class HeldThreads final : public remover::ThreadFactory {
 public:
  HANDLE Create(LPTHREAD_START_ROUTINE, LPVOID, DWORD flags) const override {
    return CreateThread(nullptr, 0, NeverEnding, nullptr, flags, nullptr);
  }
};

// The system's environment, with thread creation as the test chose.
remover::RemoverEnvironment ChosenEnvironment() {
  static const FailingThreads failing;
  static const FailingOnce failingOnce;
  static const HeldThreads held;
  wchar_t mode[64] = {};
  GetEnvironmentVariableW(L"KORVANE_DIALOG_HOST", mode, 64);
  if (std::wstring(mode) == L"thread-start-fails") return remover::SystemEnvironment(failing, remover::SystemRemoval());
  if (std::wstring(mode) == L"first-start-fails") return remover::SystemEnvironment(failingOnce, remover::SystemRemoval());
  if (std::wstring(mode) == L"worker-held") return remover::SystemEnvironment(held, remover::SystemRemoval());
  return remover::SystemEnvironment();
}

class HostDialog : public CuninstallerDlg {
 public:
  HostDialog() : CuninstallerDlg(ChosenEnvironment()) {}

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override {
    if (message != kCloseThenLateWorkerOk) return CuninstallerDlg::OnMessage(message, wParam, lParam, result);
    SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(m_hWnd, IDCANCEL)));
    SendMessageW(m_hWnd, WM_COMMAND, IDOK, 0);  // what WorkerChannel::Finish sends
    return true;
  }
};

}  // namespace

// The product's registry trees (removal::kRegistryTrees) present now.
UINT ProductKeysPresent() {
  UINT present = 0;
  for (const removal::RegistryTree& tree : removal::kRegistryTrees) {
    const HKEY root = tree.root == removal::RegistryRoot::CurrentConfig ? HKEY_CURRENT_CONFIG : HKEY_CLASSES_ROOT;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, reinterpret_cast<const wchar_t*>(tree.subkey), 0, KEY_READ, &opened) != ERROR_SUCCESS)
      continue;
    RegCloseKey(opened);
    ++present;
  }
  return present;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  fw::InitCommonControlsFromSystem(ICC_WIN95_CLASSES);
  HostDialog dialog;
  const INT_PTR result = dialog.DoModal();
  ExitProcess(static_cast<UINT>(result) + 16 * ProductKeysPresent());
}
