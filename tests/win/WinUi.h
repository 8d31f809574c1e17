#pragma once
// Driving real programs from a test: start them, find their windows, read and click controls,
// take screenshots. Works across processes of one Wine prefix.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

namespace winui {

// A wait of `ms` multiplied by KORVANE_TIME_SCALE (a whole number; default 1), which the QEMU
// guest sets: under software emulation every program starts and draws many times slower.
inline int Scaled(int ms) {
  static const int scale = [] {
    char value[16] = {};
    const DWORD length = GetEnvironmentVariableA("KORVANE_TIME_SCALE", value, sizeof value);
    const int parsed = length > 0 && length < sizeof value ? std::atoi(value) : 1;
    return parsed > 0 ? parsed : 1;
  }();
  return ms * scale;
}

// Polls `ready` every 20 ms for up to `timeoutMs` (scaled); true once it holds.
inline bool WaitFor(const std::function<bool()>& ready, int timeoutMs = 15000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Scaled(timeoutMs));
  while (std::chrono::steady_clock::now() < end) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ready();
}

struct Process {
  HANDLE handle = nullptr;
  DWORD id = 0;
  ~Process() {
    if (handle) CloseHandle(handle);
  }
  bool Exited(int timeoutMs) const {
    return WaitForSingleObject(handle, static_cast<DWORD>(Scaled(timeoutMs))) == WAIT_OBJECT_0;
  }
  DWORD ExitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(handle, &code);
    return code;
  }
};

// A process the test ends when it is done with it, whatever the test's outcome.
struct EndedProcess : Process {
  ~EndedProcess() {
    if (handle) TerminateProcess(handle, 0), WaitForSingleObject(handle, 10000);
  }
};

// True once the file at `path` runs as a program's image: an open for writing meets its mapping.
inline bool RunsAsImage(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

// Copies the stand-in product program (product_program.exe, built beside the tests' bin folder
// as `programs`) to `at`, starts it and waits until it runs as an image there.
bool StartProductProgram(const std::string& programs, const std::string& at, EndedProcess& process);

// Starts `exe` with no arguments in folder `cwd` (empty: the test's own).
inline bool Start(const std::string& exe, Process& process, const std::string& cwd = "") {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string commandLine = "\"" + exe + "\"";
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  process.handle = pi.hProcess;
  process.id = pi.dwProcessId;
  return true;
}

struct TopWindowSearch {
  const std::function<bool(HWND, DWORD)>* match;
  HWND found;
};

// A window procedure's calling convention (stdcall on x86), which a lambda does not have.
inline BOOL CALLBACK VisitTopWindow(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<TopWindowSearch*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (IsWindowVisible(hwnd) && (*s->match)(hwnd, owner)) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The first visible top-level window for which `match(window, owning process id)` holds.
inline HWND FindTopWindowIf(const std::function<bool(HWND, DWORD)>& match) {
  TopWindowSearch search{&match, nullptr};
  EnumWindows(VisitTopWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A visible top-level window with this title (any process when pid is 0).
inline HWND FindTopWindow(const std::wstring& title, DWORD pid = 0) {
  return FindTopWindowIf([&](HWND hwnd, DWORD owner) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return (pid == 0 || owner == pid) && title == text;
  });
}

inline HWND WaitForWindow(const std::wstring& title, DWORD pid = 0, int timeoutMs = 15000) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindTopWindow(title, pid)) != nullptr; }, timeoutMs);
  return found;
}

inline std::wstring Text(HWND hwnd) {
  wchar_t text[1024] = {};
  // WM_GETTEXT works across processes (the system copies the text).
  SendMessageW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

// The texts of all child controls, in z-order, joined by '|'.
inline std::wstring ChildTexts(HWND parent) {
  std::wstring all;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!all.empty()) all += L'|';
    all += Text(child);
  }
  return all;
}

// Saves the whole screen as a 24-bit BMP (ImageMagick turns it into PNG for viewing).
inline bool SaveScreenshot(const std::string& path) {
  HDC screen = GetDC(nullptr);
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const DWORD rowBytes = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
  std::string pixels(rowBytes * static_cast<DWORD>(h), '\0');
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(out, &file, sizeof file, &written, nullptr);
  WriteFile(out, &info, sizeof info, &written, nullptr);
  WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  CloseHandle(out);
  return true;
}

inline bool StartProductProgram(const std::string& programs, const std::string& at, EndedProcess& process) {
  return CopyFileA((programs + "\\product_program.exe").c_str(), at.c_str(), FALSE) && Start(at, process) &&
         WaitFor([&] { return RunsAsImage(at); });
}

}  // namespace winui
