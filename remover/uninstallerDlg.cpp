#include "uninstallerDlg.h"

#include <commctrl.h>

#include "Registry.h"
#include "RemovalWorker.h"
#include "WorkerChannel.h"
#include "SystemPaths.h"
#include "resource.h"

namespace {
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressTimerMs = 10;
}  // namespace

CuninstallerDlg::CuninstallerDlg(const remover::RemoverEnvironment& env)
    : fw::AppDialog(IDD_UNINSTALLER_DIALOG, IDR_MAINFRAME), m_env(env) {
  // Held from before the dialog shows until the worker has read the payload: nobody can rename
  // the running file away and put another payload under its name while the user reads the
  // dialog. Not the image's own file (replaced before this open): the worker finds nothing to
  // read and deletes nothing.
  m_ownImage.Open(fw::OwnPath(), fw::File::Mode::OwnImage);
}

CuninstallerDlg::~CuninstallerDlg() {
  if (m_channel) m_channel->DialogClosed();
}

BOOL CuninstallerDlg::OnInitDialog() {
  fw::AppDialog::OnInitDialog();
  m_progress = GetDlgItem(m_hWnd, IDC_PROGRESS);
  m_status = GetDlgItem(m_hWnd, IDC_STATUS);
  SendMessageW(m_progress, PBM_SETRANGE, 0, MAKELPARAM(0, 200));
  SendMessageW(m_progress, PBM_SETPOS, 0, 0);
  return TRUE;  // the focus goes to the first tab stop, "取消"
}

void CuninstallerDlg::Close(INT_PTR result) {
  // From here on the worker touches no window.
  m_bClosing = TRUE;
  if (m_channel) m_channel->DialogClosed();
  EndDialog(result);
}

void CuninstallerDlg::OnOK() {
  // The worker's IDOK may already be on its way when the user closes the dialog: once closing,
  // the registry stays as it is.
  if (m_bClosing) return;
  OnTimer(kProgressTimer);  // the bar shows where the worker ended, not one tick behind
  remover::CleanRegistry(m_env.registry);
  Close(IDOK);
}

void CuninstallerDlg::OnCancel() {
  if (!m_bClosing) Close(IDCANCEL);
}

bool CuninstallerDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDC_UNINSTALL && HIWORD(wParam) == BN_CLICKED) {
    OnBnClickedUninstall();
    return true;
  }
  if (message == remover::kShowMessage) {
    // The worker's question or word, in a box the dialog owns; the worker waits for the answer.
    auto* request = reinterpret_cast<remover::MessageRequest*>(lParam);
    request->answer = fw::AppMessageBox(m_hWnd, request->text.c_str(), request->type);
    return true;
  }
  if (message == WM_TIMER) {
    OnTimer(wParam);
    return false;  // and the default processing
  }
  return fw::AppDialog::OnMessage(message, wParam, lParam, result);
}

void CuninstallerDlg::OnBnClickedUninstall() {
  if (m_channel) return;  // only one worker
  const int answer = fw::AppMessageBox(m_hWnd, L"是否删除所有历史记录（Y/N）？", MB_YESNO);
  m_bDeleteHistory = answer == IDYES ? TRUE : FALSE;
  SetTimer(m_hWnd, kProgressTimer, kProgressTimerMs, nullptr);
  auto channel = std::make_shared<remover::WorkerChannel>(m_hWnd, m_status, m_bDeleteHistory,
                                                              std::move(m_ownImage), m_env);
  if (!remover::StartRemovalWorker(channel)) {
    // Nothing started: the dialog stays as it was, its own file with it, and a second press asks
    // again.
    m_ownImage = std::move(channel->OwnImage());
    return;
  }
  m_channel = std::move(channel);
  // The question box hands the focus back to "卸载"; disabled with the focus, it would leave no
  // control with it, and Escape would no longer reach the dialog. "取消" takes it first.
  SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(m_hWnd, IDCANCEL)), TRUE);
  EnableWindow(GetDlgItem(m_hWnd, IDC_UNINSTALL), FALSE);
}

void CuninstallerDlg::OnTimer(UINT_PTR id) {
  if (id != kProgressTimer) return;
  const std::int32_t progress = m_channel ? m_channel->Progress() : 0;
  SendMessageW(m_progress, PBM_SETPOS, static_cast<WPARAM>(progress), 0);
}
