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

using remover::CleanRegistry;
using remover::CRegistryKey;
using remover::RegistryApi;

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

  CleanRegistry(remover::SystemRegistry());

  EXPECT_FALSE(KeyExists(HKEY_CURRENT_CONFIG, "Lettrova"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".lvf"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Lettrova.Document"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_CONFIG, "LettrovaX\\Kept"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".lvg\\Kept"));

  CleanRegistry(remover::SystemRegistry());  // a second run finds nothing to do, and changes nothing
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_CONFIG, "LettrovaX\\Kept"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".lvg\\Kept"));
}

TEST_F(RealRegistryTest, EachRowStandsAlone) {
  CreateKeyWithValue(HKEY_CLASSES_ROOT, "Lettrova.Document\\DefaultIcon");
  CleanRegistry(remover::SystemRegistry());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Lettrova.Document"));

  CreateKeyWithValue(HKEY_CLASSES_ROOT, ".lvf");
  CleanRegistry(remover::SystemRegistry());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".lvf"));

  CleanRegistry(remover::SystemRegistry());  // none present: nothing fails
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_CONFIG, "Lettrova"));
}

// A symbolic link key (REG_LINK "SymbolicLinkValue") at `root`\`path`, leading to `target`, a
// native key path such as \Registry\Machine\Software\X.
void CreateLink(HKEY root, const wchar_t* path, const std::wstring& target) {
  HKEY link = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, nullptr,
                            &link, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                           static_cast<DWORD>(target.size() * sizeof(wchar_t))),
            ERROR_SUCCESS);
  RegCloseKey(link);
}

bool LinkExists(HKEY root, const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Links put where the product's keys were (any program of the user can do that in its own
// classes): the cleanup deletes the links, and the trees they point to stay whole. The targets
// are under HKLM\System, which both registry views share (an x86 program's HKLM\Software is
// the 32-bit view).
TEST_F(RealRegistryTest, LinksInThePlaceOfTheProductsKeysGoAsLinks) {
  CreateKeyWithValue(HKEY_LOCAL_MACHINE, "System\\KorvaneLinkTargetX\\Sub\\Deep");
  CreateKeyWithValue(HKEY_LOCAL_MACHINE, "System\\KorvaneLinkTargetY\\Sub");
  CreateLink(HKEY_CURRENT_CONFIG, L"Lettrova", L"\\Registry\\Machine\\System\\KorvaneLinkTargetX");
  CreateLink(HKEY_CLASSES_ROOT, L".lvf", L"\\Registry\\Machine\\System\\KorvaneLinkTargetY");
  ASSERT_TRUE(KeyExists(HKEY_CURRENT_CONFIG, "Lettrova\\Sub\\Deep")) << "the link leads to the target";
  ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".lvf\\Sub"));

  CleanRegistry(remover::SystemRegistry());
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "System\\KorvaneLinkTargetX\\Sub\\Deep"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "System\\KorvaneLinkTargetY\\Sub"));
  EXPECT_FALSE(LinkExists(HKEY_CURRENT_CONFIG, L"Lettrova")) << "the link itself is deleted";
  EXPECT_FALSE(LinkExists(HKEY_CLASSES_ROOT, L".lvf"));
  for (const char* k : {"System\\KorvaneLinkTargetX", "System\\KorvaneLinkTargetY"}) DeleteIfThere(HKEY_LOCAL_MACHINE, k);
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
    Key* linkTarget = nullptr;   // a symbolic link to this key
  };

  FakeRegistry() {
    roots_[HKEY_CURRENT_CONFIG] = std::make_unique<Key>();
    roots_[HKEY_CLASSES_ROOT] = std::make_unique<Key>();
  }

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

  LONG OpenKeyEx(HKEY parent, LPCWSTR subkey, DWORD options, REGSAM access, HKEY* result) override {
    accessSeen.push_back(access);
    optionsSeen.push_back(options);
    Key* base = Resolve(parent);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    Key* key = subkey ? Find(*base, Narrow(subkey)) : base;
    if (key == nullptr) return ERROR_FILE_NOT_FOUND;
    if (key->linkTarget && !(options & REG_OPTION_OPEN_LINK)) key = key->linkTarget;  // followed
    if (key->refusesOpen) return ERROR_ACCESS_DENIED;
    const HKEY handle = reinterpret_cast<HKEY>(nextHandle_++);
    open_[handle] = key;
    *result = handle;
    return ERROR_SUCCESS;
  }
  LONG EnumKeyEx(HKEY handle, DWORD index, LPWSTR name, DWORD* nameSize) override {
    Key* key = Resolve(handle);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (key->linkTarget) return ERROR_NO_MORE_ITEMS;  // a link key itself has no subkeys
    if (index >= key->children.size()) return ERROR_NO_MORE_ITEMS;
    const std::wstring child = fw::GbkToWide(key->children[index]->name).value();
    if (child.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    memcpy(name, child.c_str(), (child.size() + 1) * sizeof(wchar_t));
    *nameSize = static_cast<DWORD>(child.size());
    return ERROR_SUCCESS;
  }
  bool IsLink(HKEY handle) override {
    Key* key = Resolve(handle);
    return key != nullptr && key->linkTarget != nullptr;
  }
  LONG DeleteKey(HKEY handle) override {
    Key* key = Resolve(handle);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    for (auto& [root, top] : roots_) {
      if (Key* parent = ParentOf(*top, key)) {
        if (key->refusesDelete || !key->children.empty()) return ERROR_ACCESS_DENIED;
        deleted.push_back(key->name);
        if (!key->neverGoes) {
          std::erase_if(parent->children, [key](const std::unique_ptr<Key>& child) { return child.get() == key; });
          for (auto it = open_.begin(); it != open_.end(); ++it)
            if (it->second == key) it->second = &gone_;
        }
        return ERROR_SUCCESS;
      }
    }
    return ERROR_FILE_NOT_FOUND;
  }
  LONG CloseKey(HKEY key) override { return open_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; }

  std::size_t OpenHandles() const { return open_.size(); }

  std::vector<std::string> deleted;  // names, in deletion order
  std::vector<REGSAM> accessSeen;
  std::vector<DWORD> optionsSeen;

 private:
  static Key* ParentOf(Key& from, const Key* key) {
    for (auto& child : from.children) {
      if (child.get() == key) return &from;
      if (Key* found = ParentOf(*child, key)) return found;
    }
    return nullptr;
  }
  static std::string Narrow(LPCWSTR name) { return fw::Utf16ToGbk(fw::AsUtf16(name)).value(); }
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

  Key gone_;  // what the handles of a deleted key hold
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
  FakeRegistry reg;
  AddInstallation(reg);
  CleanRegistry(reg);
  EXPECT_EQ(reg.deleted, kFullOrder);
  EXPECT_TRUE(reg.Has(HKEY_CURRENT_CONFIG, "LettrovaX"));
  EXPECT_TRUE(reg.Has(HKEY_CLASSES_ROOT, ".lvg"));
  EXPECT_EQ(reg.OpenHandles(), 0u);
  for (REGSAM access : reg.accessSeen) EXPECT_EQ(access & ~static_cast<REGSAM>(DELETE), static_cast<REGSAM>(KEY_READ | KEY_WRITE)) << "the default registry view";
  for (DWORD options : reg.optionsSeen) EXPECT_EQ(options, static_cast<DWORD>(REG_OPTION_OPEN_LINK)) << "no link is followed";
}

// A link planted where a product key was: the link goes, what it points to stays whole.
TEST(RegistryDouble, ALinkIsDeletedAsTheLinkAndNeverWalked) {
  FakeRegistry reg;
  AddInstallation(reg);
  FakeRegistry::Key& target = reg.Add(HKEY_CURRENT_CONFIG, "Elsewhere\\Target");
  reg.Add(HKEY_CURRENT_CONFIG, "Elsewhere\\Target\\Deep");
  FakeRegistry::Key& lvf = reg.Add(HKEY_CLASSES_ROOT, ".lvf");
  lvf.children.clear();
  lvf.linkTarget = &target;
  CleanRegistry(reg);
  EXPECT_FALSE(reg.Has(HKEY_CLASSES_ROOT, ".lvf"));
  EXPECT_TRUE(reg.Has(HKEY_CURRENT_CONFIG, "Elsewhere\\Target\\Deep"));
  EXPECT_EQ(reg.deleted, (std::vector<std::string>{"A11", "A1", "A2", "A", "B", "Lettrova", ".lvf", "command", "open",
                                                   "shell", "Lettrova.Document"}));
  EXPECT_EQ(reg.OpenHandles(), 0u);
}

TEST(RegistryDouble, AProtectedSubkeyStopsOnlyItsOwnTree) {
  FakeRegistry reg;
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
  FakeRegistry reg;
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
  FakeRegistry reg;
  AddInstallation(reg);
  reg.Add(HKEY_CURRENT_CONFIG, "Lettrova\\" + std::string(256, 'n'));  // 256 + zero > 256 bytes
  reg.Add(HKEY_CURRENT_CONFIG, "Lettrova\\A").children.clear();
  CleanRegistry(reg);
  EXPECT_TRUE(reg.Has(HKEY_CURRENT_CONFIG, "Lettrova"));
  EXPECT_FALSE(reg.Has(HKEY_CLASSES_ROOT, ".lvf"));
  EXPECT_FALSE(reg.Has(HKEY_CLASSES_ROOT, "Lettrova.Document"));

  FakeRegistry fits;
  fits.Add(HKEY_CURRENT_CONFIG, "Lettrova\\" + std::string(255, 'n'));
  CleanRegistry(fits);
  EXPECT_FALSE(fits.Has(HKEY_CURRENT_CONFIG, "Lettrova")) << "255 bytes and the zero fit";
}

TEST(RegistryDouble, AKeyThatNeverGoesDoesNotLoopForever) {
  FakeRegistry reg;
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
  FakeRegistry reg;
  reg.Add(HKEY_CLASSES_ROOT, ".lvf");
  CRegistryKey key(reg);
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, L".lvf", KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
  const HKEY held = key.m_hKey.get();
  EXPECT_EQ(key.m_viewFlags, static_cast<REGSAM>(KEY_WOW64_64KEY));
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, L"missing", KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.m_hKey.get(), held);
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, nullptr, KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(reg.OpenHandles(), 1u) << "the key held before was closed";
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
  EXPECT_EQ(key.m_viewFlags, 0u);
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
}

}  // namespace
