#pragma once
// The product's registry cleanup: whole key trees deleted depth-first through the wide registry
// functions (a subkey's name need not have a form in the machine's ANSI code page), every failure
// ignored by the caller.
#include <windows.h>

namespace uninstaller {

// The registry operations the cleanup uses, with the platform's statuses. The product uses the
// system's (SystemRegistry); tests put a double here to produce failures the real registry
// cannot. Also holds the once-only lookup of the extended delete.
class RegistryApi {
 public:
  using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

  virtual ~RegistryApi() = default;
  virtual LONG OpenKeyEx(HKEY parent, LPCWSTR subkey, REGSAM access, HKEY* result) = 0;
  virtual LONG EnumKeyEx(HKEY key, DWORD index, LPWSTR name, DWORD* nameSize) = 0;
  virtual LONG DeleteKey(HKEY parent, LPCWSTR subkey) = 0;  // RegDeleteKeyW
  virtual LONG CloseKey(HKEY key) = 0;
  virtual HMODULE ModuleHandle(LPCWSTR name) = 0;           // GetModuleHandleW: never loads
  virtual FARPROC ProcAddress(HMODULE module, LPCSTR name) = 0;

  // RegDeleteKeyExW from the already loaded "Advapi32.dll", or null where the platform lacks
  // it. Looked up on the first call only; the answer (null included) is kept from then on.
  DeleteKeyExFn ExtendedDelete();

 private:
  bool lookedUp_ = false;
  DeleteKeyExFn deleteKeyEx_ = nullptr;
};

// The system's registry functions; process-wide, so the lookup above happens once per process.
RegistryApi& SystemRegistry();

// The one holder of an open registry key.
class CRegistryKey {
 public:
  explicit CRegistryKey(RegistryApi& api = SystemRegistry()) : m_api(api) {}
  ~CRegistryKey() { Close(); }
  CRegistryKey(const CRegistryKey&) = delete;
  CRegistryKey& operator=(const CRegistryKey&) = delete;

  // Opens `subkey` of `parent` (null: the parent itself). On success the key held before is
  // closed and the view flags become access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY); on failure
  // the holder keeps what it held.
  LONG Open(HKEY parent, LPCWSTR subkey, REGSAM access);
  // Closes the held key (its status is returned; ERROR_SUCCESS when empty); view flags become 0.
  LONG Close();
  // Deletes a direct subkey of the held key; the platform refuses one that has subkeys.
  LONG RemoveSubkey(LPCWSTR subkey);
  // Deletes a subkey of the held key with everything below it, children before parents. The
  // first failure stops the tree and is returned; what was deleted before it stays deleted. A
  // level whose enumeration keeps naming a key it has already deleted stops with
  // ERROR_CANTWRITE instead of looping.
  LONG RemoveTree(LPCWSTR subkey);

  HKEY m_hKey = nullptr;
  REGSAM m_viewFlags = 0;

 private:
  RegistryApi& m_api;
};

// Deletes, each with its whole subtree and in this order, HKEY_CURRENT_CONFIG "Lettrova",
// HKEY_CLASSES_ROOT ".lvf" and HKEY_CLASSES_ROOT "Lettrova.Document". Every status is discarded:
// a row that fails does not keep the next from running.
void CleanRegistry(RegistryApi& api = SystemRegistry());

}  // namespace uninstaller
