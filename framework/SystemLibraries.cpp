#include "SystemLibraries.h"

#include <commctrl.h>

namespace fw {

void RestrictDllSearchToSystem() {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");  // and never the current directory
}

void InitCommonControlsFromSystem(DWORD classes) {
  HMODULE comctl = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (comctl == nullptr) return;
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  if (init == nullptr) return;
  INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), classes};
  init(&icc);  // comctl32 stays loaded: the dialogs use its classes
}

}  // namespace fw
