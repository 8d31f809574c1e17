#include "ShellServices.h"

#include <shlobj.h>

namespace remover {
namespace {

class SystemShellServices final : public ShellServices {
 public:
  std::wstring FolderPath(int csidl) override {
    LPITEMIDLIST idList = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &idList)) || idList == nullptr) return L"";
    wchar_t path[MAX_PATH] = {};
    const BOOL ok = SHGetPathFromIDListW(idList, path);
    CoTaskMemFree(idList);
    return ok ? path : L"";
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
