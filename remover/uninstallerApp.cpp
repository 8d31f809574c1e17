#include "uninstallerApp.h"

#include <commctrl.h>

#include "Dialog.h"
#include "SystemLibraries.h"
#include "uninstallerDlg.h"

namespace {

// The remover runs elevated and deletes in folders other accounts may write: where the system
// offers it (Windows 10 2004 and later), junctions made by non-administrators are not followed in
// this process. Looked up at run time; without it the remover starts as before.
void RefuseUntrustedJunctions() {
  using SetPolicyFn = BOOL(WINAPI*)(int policy, PVOID buffer, SIZE_T length);
  constexpr int kProcessRedirectionTrustPolicy = 16;
  constexpr DWORD kEnforceRedirectionTrust = 1;  // PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  const auto set = reinterpret_cast<SetPolicyFn>(
      reinterpret_cast<void*>(kernel32 ? GetProcAddress(kernel32, "SetProcessMitigationPolicy") : nullptr));
  if (!set) return;
  DWORD flags = kEnforceRedirectionTrust;
  set(kProcessRedirectionTrustPolicy, &flags, sizeof flags);
}
}  // namespace

BOOL CuninstallerApp::InitInstance() {
  fw::InitCommonControlsFromSystem(ICC_WIN95_CLASSES);
  CuninstallerDlg dlg(m_env);
  dlg.DoModal();
  return FALSE;
}

void RunRemover(remover::RemoverEnvironment (*build)()) {
  fw::RestrictDllSearchToSystem();
  RefuseUntrustedJunctions();
  CuninstallerApp app(build());
  app.InitInstance();
  // A worker cut off by closing the dialog is ended here, before anything is torn down.
  ExitProcess(0);
}
