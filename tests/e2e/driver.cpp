// Drives the real launcher and remover through their windows, as a user would, and prints what it
// saw, one "key: value" line at a time (UTF-8):
//
//   e2e_driver PROGRAM --action uninstall|cancel|escape|close|cancel-during|by-hand|launcher-failure
//              [--answer yes|no] [--shots DIR] [--no-follow]
//
// PROGRAM is the launcher (Uninst.exe with a payload) or a remover started directly. The driver
// waits for the remover dialog, checks its first state, acts, answers the history question, and
// while the removal runs reads the status line and the progress bar until the remover has ended.
// Exit code 0 when the flow could be driven; the caller checks files, registry and the report.
//
// With "by-hand" and "launcher-failure" the driver posts nothing: a person (xdotool, for the
// scenarios) uses the real mouse and keyboard. The driver says where the controls are on the
// screen and when each step is on screen, one line the caller waits for ("press-uninstall",
// "question-shown", "running", "launcher-failure-shown"), and reports what followed.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "WinUi.h"
#include "resource.h"  // the remover's control ids

namespace {

const std::wstring kRemoverTitle = L"Korvane 卸载系统";
const std::wstring kLauncherTitle = L"Korvane 卸载软件";

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void Report(const char* key, const std::string& value) {
  std::printf("%s: %s\n", key, value.c_str());
  std::fflush(stdout);
}
void Report(const char* key, long long value) { Report(key, std::to_string(value)); }

[[noreturn]] void Fail(const char* what) {
  Report("driver-error", what);
  std::exit(2);
}

std::string Argument(int argc, char** argv, const char* name, const char* fallback) {
  for (int i = 2; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return fallback;
}

// The message box a process shows over `dialog`: a dialog-class window of that process.
HWND FindMessageBox(DWORD pid, HWND dialog) {
  return winui::FindTopWindowIf([&](HWND hwnd, DWORD owner) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    return owner == pid && hwnd != dialog && std::wcscmp(cls, L"#32770") == 0;
  });
}

// A screenshot once the windows had a moment to paint.
void Shot(const std::string& dir, const char* name, DWORD settleMs = 250) {
  if (dir.empty()) return;
  Sleep(settleMs);
  winui::SaveScreenshot(dir + "\\" + name + ".bmp");
}

// The active window and the focus of `thread`'s windows (all null when it cannot be read).
GUITHREADINFO GuiState(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(thread, &info)) return {};
  return info;
}

// The id of the control that has the keyboard focus in `thread`'s windows, 0 when none has it.
int FocusedControl(DWORD thread) {
  const HWND focus = GuiState(thread).hwndFocus;
  return focus ? GetDlgCtrlID(focus) : 0;
}

// The middle of a window on the screen, where a person clicks it (screen and X coordinates are
// the same under Wine).
std::string ScreenCenter(HWND hwnd) {
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  return std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2);
}

// How many launcher or remover processes are running in the prefix.
int ProgramsLeft() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    for (const wchar_t* name : {L"Uninst.exe", L"~uninst.exe", L"uninstaller.exe"})
      if (_wcsicmp(entry.szExeFile, name) == 0) ++count;
  CloseHandle(snapshot);
  return count;
}

// The launcher without a payload: its failure dialog, closed by a person.
int LauncherFailure(winui::Process& launcher, const std::string& shots) {
  HWND dialog = winui::WaitForWindow(kLauncherTitle, launcher.id, 60000);
  if (!dialog) Fail("no launcher failure dialog");
  const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  GUITHREADINFO info{};
  winui::WaitFor([&] { return (info = GuiState(thread)).hwndActive == dialog; }, 5000);
  Report("launcher-failure-text", Utf8(winui::ChildTexts(dialog)));
  Report("launcher-active", info.hwndActive == dialog ? 1 : 0);
  Report("launcher-focus-in-dialog", info.hwndFocus && (info.hwndFocus == dialog || IsChild(dialog, info.hwndFocus)) ? 1 : 0);
  Shot(shots, "launcher-failure");
  Report("launcher-failure-shown", 1);
  const bool exited = launcher.Exited(30000);
  Report("launcher-exit", exited ? static_cast<long long>(launcher.ExitCode()) : -1);
  Report("launcher-window-left", winui::FindTopWindow(kLauncherTitle) ? 1 : 0);
  Report("programs-left", ProgramsLeft());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) Fail("usage: e2e_driver PROGRAM --action ... [--answer yes|no] [--shots DIR]");
  const std::string program = argv[1];
  const std::string action = Argument(argc, argv, "--action", "uninstall");
  const std::string answer = Argument(argc, argv, "--answer", "yes");
  const std::string shots = Argument(argc, argv, "--shots", "");
  if (!shots.empty()) CreateDirectoryA(shots.c_str(), nullptr);

  winui::Process started;
  std::string folder = program.substr(0, program.find_last_of('\\'));
  if (!winui::Start(program, started, folder)) Fail("cannot start the program");
  if (action == "launcher-failure") return LauncherFailure(started, shots);
  const bool byHand = action == "by-hand";

  HWND dialog = winui::WaitForWindow(kRemoverTitle, 0, 30000);
  if (!dialog) {
    Shot(shots, "no-remover");
    Fail("no remover window");
  }
  // "quick": 卸载 and 是 the moment the dialog shows, the launcher held running meanwhile (as a
  // slow launcher would still be), and let go a moment later.
  using ProcessCall = LONG(NTAPI*)(HANDLE);
  const auto ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto suspend = reinterpret_cast<ProcessCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSuspendProcess")));
  const auto resume = reinterpret_cast<ProcessCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtResumeProcess")));
  const bool quick = action == "quick";
  if (quick && !(suspend && resume && suspend(started.handle) == 0)) Fail("cannot hold the launcher");
  DWORD pid = 0;
  const DWORD uiThread = GetWindowThreadProcessId(dialog, &pid);
  HANDLE remover = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!remover) Fail("cannot open the remover process");
  if (quick) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UNINSTALL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_UNINSTALL)));
    HWND box = nullptr;
    if (!winui::WaitFor([&] { return (box = FindMessageBox(pid, dialog)) != nullptr; }, 15000)) Fail("no question box");
    PostMessageW(box, WM_COMMAND, IDYES, 0);
    Report("launcher-running-at-yes", started.Exited(0) ? 0 : 1);
    Sleep(static_cast<DWORD>(winui::Scaled(1500)));
    resume(started.handle);
    Report("launcher-exited", started.Exited(20000) ? 1 : 0);
    if (WaitForSingleObject(remover, static_cast<DWORD>(winui::Scaled(60000))) != WAIT_OBJECT_0)
      Fail("the remover did not end");
    DWORD code = 0;
    GetExitCodeProcess(remover, &code);
    Report("remover-exit", code);
    return 0;
  }
  if (started.id != pid) {
    Report("launcher-exited", started.Exited(20000) ? 1 : 0);
    Report("launcher-window", winui::FindTopWindow(kLauncherTitle) ? 1 : 0);
  }

  HWND status = GetDlgItem(dialog, IDC_STATUS);
  HWND progress = GetDlgItem(dialog, IDC_PROGRESS);
  HWND uninstall = GetDlgItem(dialog, IDC_UNINSTALL);
  HWND cancel = GetDlgItem(dialog, IDCANCEL);
  winui::WaitFor([&] { return FocusedControl(uiThread) != 0; }, 5000);
  Report("initial-status", Utf8(winui::Text(status)));
  Report("initial-progress", SendMessageW(progress, PBM_GETPOS, 0, 0));
  Report("progress-range", std::to_string(SendMessageW(progress, PBM_GETRANGE, TRUE, 0)) + ".." +
                               std::to_string(SendMessageW(progress, PBM_GETRANGE, FALSE, 0)));
  Report("initial-focus", FocusedControl(uiThread));
  Shot(shots, "remover-before");

  if (action == "cancel") {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
  } else if (action == "escape") {
    const HWND focus = GuiState(uiThread).hwndFocus;
    PostMessageW(focus ? focus : cancel, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  } else if (action == "close") {
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    if (byHand)
      Report("press-uninstall", ScreenCenter(uninstall));
    else
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UNINSTALL, BN_CLICKED), reinterpret_cast<LPARAM>(uninstall));
    HWND box = nullptr;
    if (!winui::WaitFor([&] { return (box = FindMessageBox(pid, dialog)) != nullptr; }, byHand ? 60000 : 15000))
      Fail("no question box");
    Report("question-caption", Utf8(winui::Text(box)));
    Report("question-text", Utf8(winui::ChildTexts(box)));
    Shot(shots, "remover-question");
    if (byHand)
      Report("question-shown", 1);
    else
      PostMessageW(box, WM_COMMAND, answer == "yes" ? IDYES : IDNO, 0);

    if (std::string(argv[argc - 1]) == "--no-follow") {
      // Benchmarks: leave the remover's window alone while it works.
      WaitForSingleObject(remover, INFINITE);
    }
    // Follow the removal: every status text in order, the bar's values.
    std::vector<std::wstring> statuses;
    LRESULT last = 0, highest = 0;
    bool decreased = false, shotDuring = false, cancelled = false;
    int enabledAfterStart = -1;
    DWORD runningSince = 0;
    while (WaitForSingleObject(remover, 1) == WAIT_TIMEOUT) {
      if (!IsWindow(dialog)) continue;
      const std::wstring text = winui::Text(status);
      const LRESULT pos = SendMessageW(progress, PBM_GETPOS, 0, 0);
      if (!IsWindow(dialog) || !IsWindow(progress) || !IsWindow(status)) continue;  // read while closing
      if (pos < last) decreased = true;
      last = pos;
      if (pos > highest) highest = pos;
      if (!text.empty() && (statuses.empty() || statuses.back() != text)) statuses.push_back(text);
      if (!text.empty() && enabledAfterStart < 0) enabledAfterStart = IsWindowEnabled(uninstall) ? 1 : 0;
      if (!text.empty() && !shotDuring) {
        Shot(shots, "remover-during", 0);
        shotDuring = true;
      }
      if (action == "cancel-during" && !cancelled && statuses.size() >= 3) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        cancelled = true;
      }
      if (byHand && runningSince == 0 && statuses.size() >= 3) {
        // Where a key pressed now goes: the control with the focus.
        Report("focus-while-running", FocusedControl(uiThread));
        Shot(shots, "remover-running", 0);
        Report("running", 1);
        runningSince = GetTickCount();
      }
    }
    if (runningSince != 0) Report("running-to-end-ms", static_cast<long long>(GetTickCount() - runningSince));
    Report("statuses", static_cast<long long>(statuses.size()));
    for (const auto& s : statuses) Report("status", Utf8(s));
    Report("progress-max", highest);
    Report("progress-decreased", decreased ? 1 : 0);
    Report("uninstall-enabled-while-running", enabledAfterStart);
  }

  if (WaitForSingleObject(remover, static_cast<DWORD>(winui::Scaled(60000))) != WAIT_OBJECT_0)
    Fail("the remover did not end");
  DWORD code = 0;
  GetExitCodeProcess(remover, &code);
  Report("remover-exit", code);
  Report("remover-window-left", winui::FindTopWindow(kRemoverTitle) ? 1 : 0);
  Report("programs-left", ProgramsLeft());
  CloseHandle(remover);
  return 0;
}
