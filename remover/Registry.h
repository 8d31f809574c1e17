#pragma once
// The product's registry cleanup: whole key trees deleted depth-first through the wide registry
// functions (a subkey's name need not have a form in the machine's ANSI code page), every failure
// ignored by the caller.
#include <windows.h>

#include "Win32Handles.h"

namespace remover {

// The registry operations the cleanup uses, with the platform's statuses. The product uses the
// system's (SystemRegistry); tests put a double here to produce failures the real registry
// cannot.
class RegistryApi {
 public:
  virtual ~RegistryApi() = default;
  // RegOpenKeyExW with `options` (REG_OPTION_OPEN_LINK: a symbolic link key is opened itself).
  virtual LONG OpenKeyEx(HKEY parent, LPCWSTR subkey, DWORD options, REGSAM access, HKEY* result) = 0;
  virtual LONG EnumKeyEx(HKEY key, DWORD index, LPWSTR name, DWORD* nameSize) = 0;
  // True when the open key is a symbolic link (its "SymbolicLinkValue" is a REG_LINK).
  virtual bool IsLink(HKEY key) = 0;
  // Deletes the open key itself (NtDeleteKey): the key that handle holds, whatever its name now
  // is; the platform refuses one that has subkeys.
  virtual LONG DeleteKey(HKEY key) = 0;
  virtual LONG CloseKey(HKEY key) = 0;
};

// The system's registry functions.
RegistryApi& SystemRegistry();

// A key closed through the registry functions it was opened with.
struct KeyClosedThrough {
  using pointer = HKEY;
  static pointer invalid() { return nullptr; }
  void close(pointer key) const {
    fw::LastErrorKeeper keep;
    api->CloseKey(key);
  }
  RegistryApi* api = nullptr;
};

// The one holder of an open registry key.
class CRegistryKey {
 public:
  explicit CRegistryKey(RegistryApi& api) : m_api(api) {}
  ~CRegistryKey() { Close(); }
  CRegistryKey(const CRegistryKey&) = delete;
  CRegistryKey& operator=(const CRegistryKey&) = delete;

  // Opens `subkey` of `parent` (null: the parent itself); a key that is a symbolic link is opened
  // itself, never followed. On success the key held before is closed and the view flags become
  // access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY); on failure the holder keeps what it held.
  LONG Open(HKEY parent, LPCWSTR subkey, REGSAM access);
  // Closes the held key (its status is returned; ERROR_SUCCESS when empty); view flags become 0.
  LONG Close();
  // Deletes a subkey of the held key with everything below it, children before parents, each key
  // through the handle it was walked with. A key that is a symbolic link is deleted as the link:
  // nothing below it is listed or deleted, so a link planted in the product's place never leads
  // into someone else's keys. The first failure stops the tree and is returned; what was deleted
  // before it stays deleted. A level whose enumeration keeps naming a key it has already deleted
  // stops with ERROR_CANTWRITE instead of looping.
  LONG RemoveTree(LPCWSTR subkey);

  fw::UniqueHandle<KeyClosedThrough> m_hKey;
  REGSAM m_viewFlags = 0;

 private:
  RegistryApi& m_api;
};

// Deletes the product's registry trees (removal::kRegistryTrees: HKEY_CURRENT_CONFIG "Lettrova",
// HKEY_CLASSES_ROOT ".lvf" and HKEY_CLASSES_ROOT "Lettrova.Document"), each with its whole
// subtree and in this order. Every status is discarded:
// a row that fails does not keep the next from running.
void CleanRegistry(RegistryApi& api);

}  // namespace remover
