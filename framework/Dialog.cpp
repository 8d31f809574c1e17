#include "Dialog.h"


#include <string>

namespace fw {

INT_PTR Dialog::DoModal() {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), nullptr, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<Dialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->m_hWnd = hwnd;
    return self->OnInitDialog();
  }
  auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    self->m_hWnd = nullptr;
    return FALSE;
  }
  INT_PTR result = FALSE;
  if (self->OnMessage(message, wParam, lParam, result)) return result;
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    self->OnOK();
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    self->OnCancel();
    return TRUE;
  }
  return FALSE;
}

AppDialog::AppDialog(UINT templateId, UINT iconId)
    : Dialog(templateId), m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId))) {}

BOOL AppDialog::OnInitDialog() {
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  return TRUE;
}

bool AppDialog::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR& result) {
  if (message == WM_QUERYDRAGICON) {
    result = reinterpret_cast<INT_PTR>(m_hIcon);
    return true;
  }
  if (message == WM_PAINT && IsIconic(m_hWnd)) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
    result = TRUE;
    return true;
  }
  return false;
}

const wchar_t* ApplicationName() {
  static const std::wstring name = [] {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path, n);
    file = file.substr(file.find_last_of(L"\\/") + 1);
    const auto dot = file.rfind(L'.');
    return dot == std::wstring::npos ? file : file.substr(0, dot);
  }();
  return name.c_str();
}

UINT MessageBoxType(UINT type) {
  if ((type & MB_ICONMASK) == 0) {
    const UINT buttons = type & MB_TYPEMASK;
    if (buttons == MB_OK || buttons == MB_OKCANCEL) type |= MB_ICONEXCLAMATION;
    if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) type |= MB_ICONQUESTION;
  }
  return type;
}

int AppMessageBox(HWND owner, const wchar_t* text, UINT type) {
  return MessageBoxW(owner, text, ApplicationName(), MessageBoxType(type));
}

}  // namespace fw
