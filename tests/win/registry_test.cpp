// Registry cleanup: against the real registry of the Wine prefix, and against a double for the
// failures the real registry cannot produce.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Registry.h"
#include "WideText.h"

namespace {

using uninstaller::CleanRegistry;
using uninstaller::CRegistryKey;
using uninstaller::RegistryApi;

// ---- the real registry ----

void CreateKeyWithValue(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS)
      << path;
  const char value[] = "Korvane";
  RegSetValueExA(key, "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  RegCloseKey(key);
}

bool KeyExists(HKEY root, const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void DeleteIfThere(HKEY root, const char* path) {
  // Test clean-up only: RegDeleteTreeA removes what a failing test may have left.
  RegDeleteTreeA(root, path);
  RegDeleteKeyA(root, path);
}

class RealRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* k : {"Lettrova", "LettrovaX"}) DeleteIfThere(HKEY_CURRENT_CONFIG, k);
    for (const char* k : {".lvf", "Lettrova.Document", ".lvg"}) DeleteIfThere(HKEY_CLASSES_ROOT, k);
  }
};

TEST_F(RealRegistryTest, RemovesTheThreeTreesAndNothingBesideThem) {
  CreateKeyWithValue(HKEY_CURRENT_CONFIG, "Lettrova\\Settings\\Recent\\Files\\Deep");
  CreateKeyWithValue(HKEY_CURRENT_CONFIG, "Lettrova\\Settings\\Window");
  CreateKeyWithValue(HKEY_CURRENT_CONFIG, "Lettrova\\License");
  CreateKeyWithValue(HKEY_CLASSES_ROOT, ".lvf\\ShellNew");
  CreateKeyWithValue(HKEY_CLASSES_ROOT, "Lettrova.Document\\shell\\open\\command");
  CreateKeyWithValue(HKEY_CLASSES_ROOT, "Lettrova.Document\\DefaultIcon");
  CreateKeyWithValue(HKEY_CURRENT_CONFIG, "LettrovaX\\Kept");
  CreateKeyWithValue(HKEY_CLASSES_ROOT, ".lvg\\Kept");

  CleanRegistry();

  EXPECT_FALSE(KeyExists(HKEY_CURRENT_CONFIG, "Lettrova"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".lvf"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Lettrova.Document"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_CONFIG, "LettrovaX\\Kept"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".lvg\\Kept"));

  CleanRegistry();  // a second run finds nothing to do, and changes nothing
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_CONFIG, "LettrovaX\\Kept"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".lvg\\Kept"));
}

TEST_F(RealRegistryTest, EachRowStandsAlone) {
  CreateKeyWithValue(HKEY_CLASSES_ROOT, "Lettrova.Document\\DefaultIcon");
  CleanRegistry();
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Lettrova.Document"));

  CreateKeyWithValue(HKEY_CLASSES_ROOT, ".lvf");
  CleanRegistry();
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".lvf"));

  CleanRegistry();  // none present: nothing fails
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_CONFIG, "Lettrova"));
}

// ---- a registry double ----

class FakeRegistry : public RegistryApi {
 public:
  struct Key {
    std::string name;
    std::vector<std::unique_ptr<Key>> children;  // enumeration order
    bool refusesDelete = false;  // delete returns ERROR_ACCESS_DENIED
    bool refusesOpen = false;    // open returns ERROR_ACCESS_DENIED
    bool neverGoes = false;      // delete reports success, the key stays
  };

  explicit FakeRegistry(bool hasExtendedDelete) : hasExtendedDelete_(hasExtendedDelete) {
    roots_[HKEY_CURRENT_CONFIG] = std::make_unique<Key>();
    roots_[HKEY_CLASSES_ROOT] = std::make_unique<Key>();
    current_ = this;
  }
  ~FakeRegistry() override { current_ = nullptr; }

  // Creates every key on a backslash-separated path; returns the last.
  Key& Add(HKEY root, const std::string& path) {
    Key* key = roots_[root].get();
    std::size_t start = 0;
    while (start <= path.size()) {
      const std::size_t end = std::min(path.find('\\', start), path.size());
      key = &Child(*key, path.substr(start, end - start), true);
      start = end + 1;
    }
    return *key;
  }
  bool Has(HKEY root, const std::string& path) {
    Key* key = roots_[root].get();
    std::size_t start = 0;
    while (start <= path.size()) {
      const std::size_t end = std::min(path.find('\\', start), path.size());
      Key* next = Find(*key, path.substr(start, end - start));
      if (next == nullptr) return false;
      key = next;
      start = end + 1;
    }
    return true;
  }
  Key& Root(HKEY root) { return *roots_[root]; }

  LONG OpenKeyEx(HKEY parent, LPCWSTR subkey, REGSAM access, HKEY* result) override {
    accessSeen.push_back(access);
    Key* base = Resolve(parent);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    Key* key = subkey ? Find(*base, Narrow(subkey)) : base;
    if (key == nullptr) return ERROR_FILE_NOT_FOUND;
    if (key->refusesOpen) return ERROR_ACCESS_DENIED;
    const HKEY handle = reinterpret_cast<HKEY>(nextHandle_++);
    open_[handle] = key;
    *result = handle;
    return ERROR_SUCCESS;
  }
  LONG EnumKeyEx(HKEY handle, DWORD index, LPWSTR name, DWORD* nameSize) override {
    Key* key = Resolve(handle);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (index >= key->children.size()) return ERROR_NO_MORE_ITEMS;
    const std::wstring child = fw::GbkToWide(key->children[index]->name).value();
    if (child.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    memcpy(name, child.c_str(), (child.size() + 1) * sizeof(wchar_t));
    *nameSize = static_cast<DWORD>(child.size());
    return ERROR_SUCCESS;
  }
  LONG DeleteKey(HKEY parent, LPCWSTR subkey) override {
    Key* base = Resolve(parent);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    for (auto it = base->children.begin(); it != base->children.end(); ++it) {
      if ((*it)->name != Narrow(subkey)) continue;
      if ((*it)->refusesDelete || !(*it)->children.empty()) return ERROR_ACCESS_DENIED;
      deleted.push_back(Narrow(subkey));
      if (!(*it)->neverGoes) base->children.erase(it);
      return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
  }
  LONG CloseKey(HKEY key) override { return open_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; }
  HMODULE ModuleHandle(LPCWSTR name) override {
    ++moduleLookups;
    EXPECT_STREQ(name, L"Advapi32.dll");
    return reinterpret_cast<HMODULE>(0x1000);
  }
  FARPROC ProcAddress(HMODULE, LPCSTR name) override {
    EXPECT_STREQ(name, "RegDeleteKeyExW");
    return hasExtendedDelete_ ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&DeleteKeyExThunk)) : nullptr;
  }

  std::size_t OpenHandles() const { return open_.size(); }

  std::vector<std::string> deleted;  // names, in deletion order
  std::vector<REGSAM> accessSeen;
  int moduleLookups = 0;
  int extendedDeletes = 0;
  std::vector<REGSAM> extendedViews;

 private:
  static LONG WINAPI DeleteKeyExThunk(HKEY parent, LPCWSTR subkey, REGSAM view, DWORD) {
    ++current_->extendedDeletes;
    current_->extendedViews.push_back(view);
    return current_->DeleteKey(parent, subkey);
  }
  static std::string Narrow(LPCWSTR name) { return fw::WideToGbk(name).value(); }
  static Key* Find(Key& parent, const std::string& name) {
    for (auto& child : parent.children)
      if (child->name == name) return child.get();
    return nullptr;
  }
  static Key& Child(Key& parent, const std::string& name, bool create) {
    if (Key* found = Find(parent, name)) return *found;
    EXPECT_TRUE(create);
    parent.children.push_back(std::make_unique<Key>());
    parent.children.back()->name = name;
    return *parent.children.back();
  }
  Key* Resolve(HKEY handle) {
    if (auto it = roots_.find(handle); it != roots_.end()) return it->second.get();
    if (auto it = open_.find(handle); it != open_.end()) return it->second;
    return nullptr;
  }

  static inline FakeRegistry* current_ = nullptr;
  bool hasExtendedDelete_;
  std::map<HKEY, std::unique_ptr<Key>> roots_;
  std::map<HKEY, Key*> open_;
  std::uintptr_t nextHandle_ = 0x5000;
};

// The product's three trees, a few levels deep, and a neighbour of each.
void AddInstallation(FakeRegistry& reg) {
  reg.Add(HKEY_CURRENT_CONFIG, "Lettrova\\A\\A1\\A11");
  reg.Add(HKEY_CURRENT_CONFIG, "Lettrova\\A\\A2");
  reg.Add(HKEY_CURRENT_CONFIG, "Lettrova\\B");
  reg.Add(HKEY_CLASSES_ROOT, ".lvf\\ShellNew");
  reg.Add(HKEY_CLASSES_ROOT, "Lettrova.Document\\shell\\open\\command");
  reg.Add(HKEY_CURRENT_CONFIG, "LettrovaX");
  reg.Add(HKEY_CLASSES_ROOT, ".lvg");
}

const std::vector<std::string> kFullOrder = {"A11", "A1", "A2", "A", "B", "Lettrova", "ShellNew", ".lvf",
                                             "command", "open", "shell", "Lettrova.Document"};

TEST(RegistryDouble, DeletesDepthFirstInTableOrderAndClosesEveryKey) {
  for (const bool extended : {true, false}) {
    SCOPED_TRACE(extended ? "RegDeleteKeyExW" : "RegDeleteKeyW only");
    FakeRegistry reg(extended);
    AddInstallation(reg);
    CleanRegistry(reg);
    EXPECT_EQ(reg.deleted, kFullOrder);
    EXPECT_TRUE(reg.Has(HKEY_CURRENT_CONFIG, "LettrovaX"));
    EXPECT_TRUE(reg.Has(HKEY_CLASSES_ROOT, ".lvg"));
    EXPECT_EQ(reg.OpenHandles(), 0u);
    EXPECT_EQ(reg.extendedDeletes, extended ? 12 : 0);
    for (REGSAM view : reg.extendedViews) EXPECT_EQ(view, 0u) << "the default registry view";
    for (REGSAM access : reg.accessSeen) EXPECT_EQ(access, static_cast<REGSAM>(KEY_READ | KEY_WRITE));
  }
}

TEST(RegistryDouble, TheExtendedDeleteIsLookedUpOnce) {
  FakeRegistry reg(false);
  AddInstallation(reg);
  CleanRegistry(reg);
  AddInstallation(reg);
  CleanRegistry(reg);
  EXPECT_EQ(reg.moduleLookups, 1) << "also when the lookup found nothing";
}

TEST(RegistryDouble, AProtectedSubkeyStopsOnlyItsOwnTree) {
  FakeRegistry reg(true);
  AddInstallation(reg);
  reg.Add(HKEY_CURRENT_CONFIG, "Lettrova\\A\\A2").refusesDelete = true;
  CleanRegistry(reg);
  EXPECT_EQ(reg.deleted, (std::vector<std::string>{"A11", "A1", "ShellNew", ".lvf", "command", "open", "shell",
                                                   "Lettrova.Document"}));
  EXPECT_TRUE(reg.Has(HKEY_CURRENT_CONFIG, "Lettrova\\A\\A2"));
  EXPECT_TRUE(reg.Has(HKEY_CURRENT_CONFIG, "Lettrova\\B")) << "not reached";
  EXPECT_FALSE(reg.Has(HKEY_CURRENT_CONFIG, "Lettrova\\A\\A1"));
  EXPECT_EQ(reg.OpenHandles(), 0u);
}

TEST(RegistryDouble, KeysThatCannotBeOpenedStopTheirRow) {
  FakeRegistry reg(true);
  AddInstallation(reg);
  reg.Root(HKEY_CURRENT_CONFIG).refusesOpen = true;
  reg.Add(HKEY_CLASSES_ROOT, "Lettrova.Document\\shell").refusesOpen = true;
  CleanRegistry(reg);
  EXPECT_EQ(reg.deleted, (std::vector<std::string>{"ShellNew", ".lvf"}));
  EXPECT_TRUE(reg.Has(HKEY_CURRENT_CONFIG, "Lettrova\\A\\A1\\A11"));
  EXPECT_TRUE(reg.Has(HKEY_CLASSES_ROOT, "Lettrova.Document\\shell\\open\\command"));
  EXPECT_EQ(reg.OpenHandles(), 0u);
}

TEST(RegistryDouble, ANameTooLongForTheBufferEndsThatTree) {
  FakeRegistry reg(true);
  AddInstallation(reg);
  reg.Add(HKEY_CURRENT_CONFIG, "Lettrova\\" + std::string(256, 'n'));  // 256 + zero > 256 bytes
  reg.Add(HKEY_CURRENT_CONFIG, "Lettrova\\A").children.clear();
  CleanRegistry(reg);
  EXPECT_TRUE(reg.Has(HKEY_CURRENT_CONFIG, "Lettrova"));
  EXPECT_FALSE(reg.Has(HKEY_CLASSES_ROOT, ".lvf"));
  EXPECT_FALSE(reg.Has(HKEY_CLASSES_ROOT, "Lettrova.Document"));

  FakeRegistry fits(true);
  fits.Add(HKEY_CURRENT_CONFIG, "Lettrova\\" + std::string(255, 'n'));
  CleanRegistry(fits);
  EXPECT_FALSE(fits.Has(HKEY_CURRENT_CONFIG, "Lettrova")) << "255 bytes and the zero fit";
}

TEST(RegistryDouble, AKeyThatNeverGoesDoesNotLoopForever) {
  FakeRegistry reg(true);
  AddInstallation(reg);
  reg.Add(HKEY_CURRENT_CONFIG, "Lettrova\\A\\A2").neverGoes = true;
  CRegistryKey root(reg);
  ASSERT_EQ(root.Open(HKEY_CURRENT_CONFIG, nullptr, KEY_READ | KEY_WRITE), ERROR_SUCCESS);
  EXPECT_EQ(root.RemoveTree(L"Lettrova"), ERROR_CANTWRITE);
  root.Close();
  CleanRegistry(reg);  // ends, and the other rows still run
  EXPECT_FALSE(reg.Has(HKEY_CLASSES_ROOT, ".lvf"));
  EXPECT_EQ(reg.OpenHandles(), 0u);
}

TEST(RegistryDouble, HolderKeepsItsKeyWhenAnOpenFails) {
  FakeRegistry reg(true);
  reg.Add(HKEY_CLASSES_ROOT, ".lvf");
  CRegistryKey key(reg);
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, L".lvf", KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
  const HKEY held = key.m_hKey;
  EXPECT_EQ(key.m_viewFlags, static_cast<REGSAM>(KEY_WOW64_64KEY));
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, L"missing", KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.m_hKey, held);
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, nullptr, KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(reg.OpenHandles(), 1u) << "the key held before was closed";
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
  EXPECT_EQ(key.m_viewFlags, 0u);
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
}

}  // namespace
