// A stand-in remover for launcher tests. It adds a record of its start to the file named by
// KORVANE_STUB_LOG (inherited from the test), in one write, so that several starts add several
// records: "started", its own file, its current folder and the current folder of the program that
// started it at that moment ("?" when it cannot be read), one a line. With KORVANE_STUB_STAY set
// it then behaves as the remover does while it waits for the user: it holds its own file (read-only,
// other readers admitted), shows a window of the class kStubWindowClass, and ends when that window
// is closed.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstddef>
#include <string>

#include "StubRemover.h"

namespace {

// The process that started this one, from the system's list of processes.
DWORD ParentId() {
  DWORD parent = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  CloseHandle(snapshot);
  return parent;
}

bool Read(HANDLE process, const void* at, void* into, std::size_t size) {
  SIZE_T got = 0;
  return ReadProcessMemory(process, at, into, size, &got) && got == size;
}

// The current folder of process `id` as its process parameters hold it (CurrentDirectory.DosPath,
// five pointers into the parameters' second reserved block on both architectures), without a
// trailing backslash; "?" when it cannot be read (the process has ended, say).
std::string CurrentFolderOf(DWORD id) {
  using QueryFn = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
  if (!query || !process) return "?";
  std::string folder = "?";
  PROCESS_BASIC_INFORMATION basic{};
  PRTL_USER_PROCESS_PARAMETERS parameters = nullptr;
  UNICODE_STRING path{};
  const std::size_t pathAt = offsetof(RTL_USER_PROCESS_PARAMETERS, Reserved2) + 5 * sizeof(PVOID);
  if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) == 0 &&
      Read(process, reinterpret_cast<const char*>(basic.PebBaseAddress) + offsetof(PEB, ProcessParameters),
           &parameters, sizeof parameters) &&
      Read(process, reinterpret_cast<const char*>(parameters) + pathAt, &path, sizeof path)) {
    std::wstring wide(path.Length / sizeof(wchar_t), L'\0');
    if (Read(process, path.Buffer, wide.data(), path.Length)) {
      while (wide.size() > 3 && wide.back() == L'\\') wide.pop_back();
      char narrow[MAX_PATH * 2] = {};
      const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), narrow,
                                        sizeof narrow, nullptr, nullptr);
      folder.assign(narrow, n);
    }
  }
  CloseHandle(process);
  return folder;
}

LRESULT CALLBACK StubWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  char log[MAX_PATH], module[MAX_PATH], cwd[MAX_PATH];
  if (!GetEnvironmentVariableA("KORVANE_STUB_LOG", log, MAX_PATH)) return 1;
  const std::string launcherFolder = CurrentFolderOf(ParentId());
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, cwd);
  std::string here = cwd;
  while (here.size() > 3 && here.back() == '\\') here.pop_back();
  const std::string text = std::string("started\n") + module + "\n" + here + "\n" + launcherFolder + "\n";
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 500 && h == INVALID_HANDLE_VALUE; ++attempt) {
    h = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) Sleep(10);  // another stand-in writes its record
  }
  if (h == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
  if (!GetEnvironmentVariableA("KORVANE_STUB_STAY", log, MAX_PATH)) return 0;

  HANDLE own = CreateFileA(module, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = StubWindow;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kStubWindowClass;
  RegisterClassW(&windowClass);
  CreateWindowW(kStubWindowClass, L"stub remover", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, instance,
                nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  if (own != INVALID_HANDLE_VALUE) CloseHandle(own);
  return 0;
}
