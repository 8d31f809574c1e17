#pragma once
#include <windows.h>

// The launcher application: runs its dialog modally, then ends.
class CUninstApp {
 public:
  // Common controls, then the dialog (which stages and starts the remover, or shows the
  // failure text). Returns FALSE: the application ends without a message loop.
  BOOL InitInstance();
};
