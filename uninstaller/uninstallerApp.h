#pragma once
#include <windows.h>

// The remover application: shows its dialog modally, then ends.
class CuninstallerApp {
 public:
  BOOL InitInstance();
};
