#include "Registry.h"

#include <set>
#include <string>

#include "Ntdll.h"
#include "RemovalDescription.h"
#include "WideText.h"

namespace remover {
namespace {

constexpr REGSAM kViewFlags = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
constexpr DWORD kNameBufferSize = 256;  // characters, the terminating zero included

// NtDeleteKey deletes the key a handle holds. RegDeleteKey(Ex) takes a name and opens it again,
// following a link there.
using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);

class SystemRegistryApi final : public RegistryApi {
 public:
  LONG OpenKeyEx(HKEY parent, LPCWSTR subkey, DWORD options, REGSAM access, HKEY* result) override {
    return RegOpenKeyExW(parent, subkey, options, access, result);
  }
  LONG EnumKeyEx(HKEY key, DWORD index, LPWSTR name, DWORD* nameSize) override {
    return RegEnumKeyExW(key, index, name, nameSize, nullptr, nullptr, nullptr, nullptr);
  }
  bool IsLink(HKEY key) override {
    DWORD type = REG_NONE;
    return RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
  }
  LONG DeleteKey(HKEY key) override {
    static const auto deleteKey = fw::NtdllFunction<NtDeleteKeyFn>("NtDeleteKey");
    static const auto toWin32 = fw::NtdllFunction<RtlNtStatusToDosErrorFn>("RtlNtStatusToDosError");
    if (!deleteKey || !toWin32) return ERROR_CALL_NOT_IMPLEMENTED;
    return static_cast<LONG>(toWin32(deleteKey(key)));
  }
  LONG CloseKey(HKEY key) override { return RegCloseKey(key); }
};

}  // namespace

RegistryApi& SystemRegistry() {
  static SystemRegistryApi api;
  return api;
}

LONG CRegistryKey::Open(HKEY parent, LPCWSTR subkey, REGSAM access) {
  HKEY opened = nullptr;
  const LONG status = m_api.OpenKeyEx(parent, subkey, REG_OPTION_OPEN_LINK, access, &opened);
  if (status == ERROR_SUCCESS) {
    Close();
    m_hKey = fw::UniqueHandle<KeyClosedThrough>(opened, KeyClosedThrough{&m_api});
    m_viewFlags = access & kViewFlags;
  }
  return status;
}

LONG CRegistryKey::Close() {
  m_viewFlags = 0;
  // Closed here rather than by the owner, whose close has no status to give.
  const HKEY key = m_hKey.release();
  return key ? m_api.CloseKey(key) : ERROR_SUCCESS;
}

LONG CRegistryKey::RemoveTree(LPCWSTR subkey) {
  CRegistryKey child(m_api);
  const LONG opened = child.Open(m_hKey.get(), subkey, KEY_READ | KEY_WRITE | DELETE | m_viewFlags);
  if (opened != ERROR_SUCCESS) return opened;
  if (m_api.IsLink(child.m_hKey.get())) return m_api.DeleteKey(child.m_hKey.get());

  // Index 0 every time: the subkey just taken is gone, so the next one moves up. A key that
  // reports success but stays would come back at index 0 forever; the names already deleted
  // here catch that.
  std::set<std::wstring> deleted;
  wchar_t name[kNameBufferSize];
  DWORD size = kNameBufferSize;
  while (m_api.EnumKeyEx(child.m_hKey.get(), 0, name, &size) == ERROR_SUCCESS) {
    if (!deleted.insert(std::wstring(name, size)).second) return ERROR_CANTWRITE;
    const LONG status = child.RemoveTree(name);
    if (status != ERROR_SUCCESS) return status;
    size = kNameBufferSize;
  }
  return m_api.DeleteKey(child.m_hKey.get());
}

void CleanRegistry(RegistryApi& api) {
  CRegistryKey holder(api);
  for (const removal::RegistryTree& tree : removal::kRegistryTrees) {
    holder.Open(tree.root == removal::RegistryRoot::CurrentConfig ? HKEY_CURRENT_CONFIG : HKEY_CLASSES_ROOT, nullptr,
                KEY_READ | KEY_WRITE);
    holder.RemoveTree(fw::AsWide(tree.subkey).c_str());
    holder.Close();
  }
}

}  // namespace remover
