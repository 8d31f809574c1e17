#include "ShellServices.h"

#include <shlobj.h>

#include "Win32Handles.h"

namespace remover {
namespace {

class SystemShellServices final : public ShellServices {
 public:
  std::wstring FolderPath(int csidl) override {
    LPITEMIDLIST idList = nullptr;
    const HRESULT found = SHGetSpecialFolderLocation(nullptr, csidl, &idList);
    const fw::CoTaskMemory owned(idList);
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(found) && idList && SHGetPathFromIDListW(idList, path) ? path : L"";
  }

  void ChangeNotify(LONG event, UINT flags, const std::wstring& path) override {
    SHChangeNotify(event, flags, path.c_str(), nullptr);
  }
};

}  // namespace

ShellServices& SystemShell() {
  static SystemShellServices shell;
  return shell;
}

}  // namespace remover
