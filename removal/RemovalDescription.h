#pragma once
// What a removal does, written once for the remover, which carries it out, and uninst-pack, which
// plans it: its steps in their order, the names fixed in the remover, and the limit on a path.
// Portable; the paths are UTF-16, as the system takes them.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace removal {

// The steps, in the order the remover takes them.
enum class Step {
  ResourceFolders,  // the folders the install folder's "Resource.ini" names, then that file
  ListedFiles,      // every file the groups list, group after group
  FinalFile,        // the records' final file
  ListedFolders,    // the groups' folders, from the last group to the first
  Shortcuts,        // the desktop's shortcut, then the Start-menu folder's and the folder
  Registry,         // the registry trees (the dialog's, once the worker has ended)
};
inline constexpr Step kSteps[] = {Step::ResourceFolders, Step::ListedFiles, Step::FinalFile,
                                  Step::ListedFolders,   Step::Shortcuts,   Step::Registry};

// The file in the install folder that names the resource folders.
inline constexpr char16_t kResourceList[] = u"Resource.ini";
// The shortcut on the current user's desktop, and those in the product's Start-menu folder.
inline constexpr char16_t kDesktopShortcut[] = u"Zintera.lnk";
inline constexpr const char16_t* kStartMenuShortcuts[] = {u"Zintera.lnk", u"卸载Zintera.lnk", u"帮助文档.lnk"};

// The registry trees removed, each with everything below it, in this order.
enum class RegistryRoot { CurrentConfig, ClassesRoot };
struct RegistryTree {
  RegistryRoot root;
  const char16_t* subkey;
};
inline constexpr RegistryTree kRegistryTrees[] = {{RegistryRoot::CurrentConfig, u"Lettrova"},
                                                  {RegistryRoot::ClassesRoot, u".lvf"},
                                                  {RegistryRoot::ClassesRoot, u"Lettrova.Document"}};
// "HKEY_CURRENT_CONFIG", "HKEY_CLASSES_ROOT".
const char* RootName(RegistryRoot root);

// The remover's paths are limited to 260 bytes of GBK, the terminating zero included.
inline constexpr std::size_t kPathLimit = 260;
// A path of the records as the system is given it; nullopt for one the remover never acts on:
// kPathLimit bytes or more, or text that is not GBK.
std::optional<std::u16string> PathForSystem(std::string_view gbk);

}  // namespace removal
