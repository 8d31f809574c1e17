#include "Registry.h"

#include <set>
#include <string>

namespace uninstaller {
namespace {

constexpr REGSAM kViewFlags = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
constexpr DWORD kNameBufferSize = 256;  // characters, the terminating zero included

class SystemRegistryApi final : public RegistryApi {
 public:
  LONG OpenKeyEx(HKEY parent, LPCWSTR subkey, REGSAM access, HKEY* result) override {
    return RegOpenKeyExW(parent, subkey, 0, access, result);
  }
  LONG EnumKeyEx(HKEY key, DWORD index, LPWSTR name, DWORD* nameSize) override {
    return RegEnumKeyExW(key, index, name, nameSize, nullptr, nullptr, nullptr, nullptr);
  }
  LONG DeleteKey(HKEY parent, LPCWSTR subkey) override { return RegDeleteKeyW(parent, subkey); }
  LONG CloseKey(HKEY key) override { return RegCloseKey(key); }
  HMODULE ModuleHandle(LPCWSTR name) override { return GetModuleHandleW(name); }
  FARPROC ProcAddress(HMODULE module, LPCSTR name) override { return GetProcAddress(module, name); }
};

}  // namespace

RegistryApi::DeleteKeyExFn RegistryApi::ExtendedDelete() {
  if (!lookedUp_) {
    if (HMODULE advapi = ModuleHandle(L"Advapi32.dll"))
      deleteKeyEx_ = reinterpret_cast<DeleteKeyExFn>(reinterpret_cast<void*>(ProcAddress(advapi, "RegDeleteKeyExW")));
    lookedUp_ = true;
  }
  return deleteKeyEx_;
}

RegistryApi& SystemRegistry() {
  static SystemRegistryApi api;
  return api;
}

LONG CRegistryKey::Open(HKEY parent, LPCWSTR subkey, REGSAM access) {
  HKEY opened = nullptr;
  const LONG status = m_api.OpenKeyEx(parent, subkey, access, &opened);
  if (status == ERROR_SUCCESS) {
    Close();
    m_hKey = opened;
    m_viewFlags = access & kViewFlags;
  }
  return status;
}

LONG CRegistryKey::Close() {
  LONG status = ERROR_SUCCESS;
  if (m_hKey != nullptr) {
    status = m_api.CloseKey(m_hKey);
    m_hKey = nullptr;
  }
  m_viewFlags = 0;
  return status;
}

LONG CRegistryKey::RemoveSubkey(LPCWSTR subkey) {
  if (const auto deleteKeyEx = m_api.ExtendedDelete()) return deleteKeyEx(m_hKey, subkey, m_viewFlags, 0);
  return m_api.DeleteKey(m_hKey, subkey);
}

LONG CRegistryKey::RemoveTree(LPCWSTR subkey) {
  CRegistryKey child(m_api);
  const LONG opened = child.Open(m_hKey, subkey, KEY_READ | KEY_WRITE | m_viewFlags);
  if (opened != ERROR_SUCCESS) return opened;

  // Index 0 every time: the subkey just taken is gone, so the next one moves up. A key that
  // reports success but stays would come back at index 0 forever; the names already deleted
  // here catch that.
  std::set<std::wstring> deleted;
  wchar_t name[kNameBufferSize];
  DWORD size = kNameBufferSize;
  while (m_api.EnumKeyEx(child.m_hKey, 0, name, &size) == ERROR_SUCCESS) {
    if (!deleted.insert(std::wstring(name, size)).second) return ERROR_CANTWRITE;
    const LONG status = child.RemoveTree(name);
    if (status != ERROR_SUCCESS) return status;
    size = kNameBufferSize;
  }
  child.Close();
  return RemoveSubkey(subkey);
}

void CleanRegistry(RegistryApi& api) {
  struct Row {
    HKEY root;
    LPCWSTR subkey;
  };
  static const Row kKeys[] = {
      {HKEY_CURRENT_CONFIG, L"Lettrova"},
      {HKEY_CLASSES_ROOT, L".lvf"},
      {HKEY_CLASSES_ROOT, L"Lettrova.Document"},
  };
  CRegistryKey holder(api);
  for (const Row& row : kKeys) {
    holder.Open(row.root, nullptr, KEY_READ | KEY_WRITE);
    holder.RemoveTree(row.subkey);
    holder.Close();
  }
}

}  // namespace uninstaller
