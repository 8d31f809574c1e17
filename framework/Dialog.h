#pragma once
// A modal dialog from a resource template, in the style both programs are written in: a class per
// window, OnInitDialog / OnOK / OnCancel, and a message map (OnMessage) for the rest. Window text
// is UTF-16, through the W functions.
#include <windows.h>

namespace fw {

class Dialog {
 public:
  explicit Dialog(UINT templateId) : m_nIDTemplate(templateId) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; returns what EndDialog was given, or -1 when it could not be made.
  INT_PTR DoModal();
  void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

  HWND m_hWnd = nullptr;  // null before creation and after destruction

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The dialog's own messages. Return true when handled; `result` is the dialog procedure's.
  // WM_COMMAND with IDOK / IDCANCEL that is not handled here goes to OnOK / OnCancel.
  virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, INT_PTR& /*result*/) {
    return false;
  }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  UINT m_nIDTemplate;
};

// A dialog that shows the application icon (icon group `iconId`) in its frame, and draws it in
// the middle of its client area when minimised.
class AppDialog : public Dialog {
 public:
  AppDialog(UINT templateId, UINT iconId);

 protected:
  BOOL OnInitDialog() override;  // sets the big and the small icon
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;  // paint, drag icon

  HICON m_hIcon;
};

// The application's name, as message boxes show it: the executable's file name without its
// extension ("~uninst" for the staged remover).
const wchar_t* ApplicationName();

// MessageBoxW with the application name as caption and the icon of MessageBoxType.
int AppMessageBox(HWND owner, const wchar_t* text, UINT type);

// `type` with the icon a box without one gets: an OK (or OK/Cancel) box the exclamation mark,
// a Yes/No (or Yes/No/Cancel) box the question mark.
UINT MessageBoxType(UINT type);

}  // namespace fw
