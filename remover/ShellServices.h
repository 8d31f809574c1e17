#pragma once
// The shell services the remover uses: special folders and change notifications. The remover
// uses the system's (SystemShell); tests put a double here to record notifications and to make
// folders unresolvable.
#include <windows.h>

#include <string>

namespace remover {

// Paths are UTF-16, as the shell gives and takes them (a profile's name need not have a GBK form).
class ShellServices {
 public:
  virtual ~ShellServices() = default;
  // Path of a special folder (CSIDL_*), or "" when it cannot be resolved.
  virtual std::wstring FolderPath(int csidl) = 0;
  // SHChangeNotify(event, flags, path, null).
  virtual void ChangeNotify(LONG event, UINT flags, const std::wstring& path) = 0;
};

// The system's shell functions.
ShellServices& SystemShell();

}  // namespace remover
