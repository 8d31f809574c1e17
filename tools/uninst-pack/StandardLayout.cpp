#include "StandardLayout.h"

#include <vector>

#include "KnownFolders.h"
#include "Manifest.h"
#include "Text.h"

namespace pack {
namespace {

using removal::FolderGuard;
using removal::FolderVerdict;

enum class Role {
  WholeTree,   // nothing in it is walked
  Folder,      // it and every folder that holds it are refused
  Profile,     // a profile root: its parent is the profiles folder
  InProfile,   // relative to every profile
};

struct LayoutFolder {
  Role role;
  std::u16string path;  // InProfile: relative to the profile root
  std::string why;
};

constexpr std::u16string_view kProfile = u"C:\\Users\\Default";
constexpr std::u16string_view kSystemDrive = u"C:\\";

// One row per folder the remover's guard holds on a standard installation, with why it is there.
// The remover's own list comes from the system (known folders, CSIDLs, the system and temporary
// folders); these are the ones every Windows has, where a default installation puts them.
const std::vector<LayoutFolder>& Layout() {
  static const std::vector<LayoutFolder> rows = {
      {Role::WholeTree, u"C:\\Windows", "the Windows folder: nothing in it is ever walked"},
      {Role::Folder, u"C:\\Program Files", "Program Files, where every product has its folder"},
      {Role::Folder, u"C:\\Program Files (x86)", "Program Files (x86), the 32-bit products' folder"},
      {Role::Folder, u"C:\\Program Files\\Common Files", "Common Files, shared by products"},
      {Role::Folder, u"C:\\Program Files (x86)\\Common Files", "Common Files (x86), shared by products"},
      {Role::Folder, u"C:\\ProgramData", "ProgramData, every product's machine-wide data"},
      {Role::Folder, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu", "the all-users Start menu"},
      {Role::Folder, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "the all-users Programs menu"},
      {Role::Folder, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", "the all-users Startup folder"},
      {Role::Folder, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools",
       "the all-users Administrative Tools"},
      {Role::Folder, u"C:\\ProgramData\\Microsoft\\Windows\\Templates", "the all-users Templates"},
      {Role::Folder, u"C:\\Users\\Public", "the Public profile, shared by all users"},
      {Role::Folder, u"C:\\Users\\Public\\Desktop", "the all-users Desktop"},
      {Role::Folder, u"C:\\Users\\Public\\Documents", "Public Documents"},
      {Role::Folder, u"C:\\Users\\Public\\Downloads", "Public Downloads"},
      {Role::Folder, u"C:\\Users\\Public\\Music", "Public Music"},
      {Role::Folder, u"C:\\Users\\Public\\Pictures", "Public Pictures"},
      {Role::Folder, u"C:\\Users\\Public\\Videos", "Public Videos"},
      {Role::Profile, std::u16string(kProfile), "a user's profile"},
      {Role::InProfile, u"Desktop", "a user's Desktop"},
      {Role::InProfile, u"Documents", "a user's Documents"},
      {Role::InProfile, u"Downloads", "a user's Downloads"},
      {Role::InProfile, u"Music", "a user's Music"},
      {Role::InProfile, u"Pictures", "a user's Pictures"},
      {Role::InProfile, u"Videos", "a user's Videos"},
      {Role::InProfile, u"Saved Games", "a user's Saved Games"},
      {Role::InProfile, u"Favorites", "a user's Favorites"},
      {Role::InProfile, u"Links", "a user's Links"},
      {Role::InProfile, u"Contacts", "a user's Contacts"},
      {Role::InProfile, u"Searches", "a user's Searches"},
      {Role::InProfile, u"AppData\\Roaming", "a user's roaming application data"},
      {Role::InProfile, u"AppData\\Local", "a user's local application data"},
      {Role::InProfile, u"AppData\\LocalLow", "a user's low-integrity application data"},
      {Role::InProfile, u"AppData\\Local\\Temp", "a user's temporary folder"},
      {Role::InProfile, u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu", "a user's Start menu"},
      {Role::InProfile, u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", "a user's Programs menu"},
      {Role::InProfile, u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", "a user's Startup folder"},
      {Role::InProfile, u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools",
       "a user's Administrative Tools"},
      {Role::InProfile, u"AppData\\Roaming\\Microsoft\\Windows\\SendTo", "a user's Send To menu"},
      {Role::InProfile, u"AppData\\Roaming\\Microsoft\\Windows\\Recent", "a user's Recent items"},
      {Role::InProfile, u"AppData\\Roaming\\Microsoft\\Windows\\Templates", "a user's Templates"},
  };
  static const std::vector<LayoutFolder> all = [] {
    // Then every documented known folder at its default location, named by its id.
    std::vector<LayoutFolder> list = rows;
    const removal::KnownBases bases{std::u16string(kProfile), u"C:\\ProgramData", u"C:\\Users\\Public",
                                    std::u16string(kSystemDrive)};
    for (const removal::KnownFolderDefault& known : removal::KnownFolderDefaults()) {
      const std::string why = std::string("the known folder ") + known.id;
      if (known.base == removal::KnownBase::Profile)
        list.push_back({Role::InProfile, std::u16string(known.relative), why});
      else
        list.push_back({Role::Folder, removal::DefaultLocation(known, bases), why});
    }
    return list;
  }();
  return all;
}

// Where products install, each in a folder of its own.
std::vector<std::u16string> ProductHomes() {
  std::vector<std::u16string> homes;
  for (const std::u16string_view home : removal::kProductHomes) homes.push_back(std::u16string(kSystemDrive) + std::u16string(home));
  return homes;
}

std::u16string InTheProfile(std::u16string_view relative) {
  return std::u16string(kProfile) + u"\\" + std::u16string(relative);
}

// The guard of one row alone (with the profile it belongs to), so that a refusal can be traced to
// the row that causes it through the guard's own rules.
FolderGuard GuardOf(const LayoutFolder& row) {
  switch (row.role) {
    case Role::WholeTree: return FolderGuard({}, {}, {row.path});
    case Role::Folder: return FolderGuard({row.path}, {}, {});
    case Role::Profile: return FolderGuard({}, {row.path}, {});
    case Role::InProfile: return FolderGuard({InTheProfile(row.path)}, {std::u16string(kProfile)}, {});
  }
  return FolderGuard();
}

// Places of the system's beside the guarded folders: uninst-pack refuses anything in them.
struct SystemPlace {
  std::u16string_view path;
  const char* what;
};
constexpr SystemPlace kSystemPlaces[] = {
    {u"C:\\Windows.old", "the previous Windows installation"},
    {u"C:\\$Recycle.Bin", "the Recycle Bin"},
    {u"C:\\System Volume Information", "the system's volume data"},
    {u"C:\\Program Files\\WindowsApps", "the Store apps' folder"},
    {u"C:\\Documents and Settings", "the old name of the profiles folder"},
};

// The old names Windows keeps as junctions to today's folders, for programs written before them:
// other names of system folders, which the remover reaches through a link and never acts on.
constexpr std::u16string_view kOldNames[] = {
    u"C:\\Users\\All Users",        u"C:\\Users\\Default User",    u"C:\\ProgramData\\Application Data",
    u"C:\\ProgramData\\Desktop",    u"C:\\ProgramData\\Documents", u"C:\\ProgramData\\Favorites",
    u"C:\\ProgramData\\Start Menu", u"C:\\ProgramData\\Templates",
};
// The same in every profile, relative to it.
constexpr std::u16string_view kOldNamesInProfile[] = {
    u"Application Data", u"Cookies", u"Local Settings", u"My Documents", u"NetHood", u"PrintHood", u"Recent",
    u"SendTo", u"Start Menu", u"Templates", u"AppData\\Local\\Application Data", u"AppData\\Local\\History",
    u"AppData\\Local\\Temporary Internet Files", u"Documents\\My Music", u"Documents\\My Pictures",
    u"Documents\\My Videos",
};

// The places of the system's and the old names at fixed paths, parsed once: every entry of a
// manifest is judged against them.
struct FixedPlace {
  std::u16string comparable;
  std::string why;
};
const std::vector<FixedPlace>& FixedPlaces() {
  static const std::vector<FixedPlace> places = [] {
    std::vector<FixedPlace> list;
    for (const SystemPlace& place : kSystemPlaces)
      list.push_back({fw::FullPath::Parse(place.path)->Comparable(), std::string(place.what) + " " + Utf8(place.path)});
    for (const std::u16string_view old : kOldNames)
      list.push_back({fw::FullPath::Parse(old)->Comparable(), "the old name (a junction) of a system folder, " + Utf8(old)});
    return list;
  }();
  return places;
}

// An administrative share: another name of a whole drive ("C$") or of the Windows folder
// ("ADMIN$") of the machine that shares it.
bool IsAdministrativeShare(const fw::FullPath& path) {
  if (!path.OnShare()) return false;
  const std::u16string root = fw::UpperCase(path.Root());  // "\\SERVER\SHARE\"
  const std::size_t start = root.find(u'\\', 2) + 1;
  const std::u16string share = root.substr(start, root.size() - 1 - start);
  return share == u"ADMIN$" || (share.size() == 2 && share[1] == u'$' && share[0] >= u'A' && share[0] <= u'Z');
}

}  // namespace

std::string WhySystemPlace(const fw::FullPath& path) {
  for (const FixedPlace& place : FixedPlaces())
    if (fw::IsAtOrBelow(path.Comparable(), place.comparable)) return place.why;
  static const std::u16string users = fw::FullPath::Parse(u"C:\\Users")->Comparable();
  if (fw::IsBelow(path.Comparable(), users) && path.Names().size() >= 2) {
    // The comparable form of a place in this profile: its own, then the old name's in the case rule.
    const std::u16string profile = users + u'\\' + fw::UpperCase(path.Names()[1]) + u'\\';
    for (const std::u16string_view old : kOldNamesInProfile)
      if (fw::IsAtOrBelow(path.Comparable(), profile + fw::UpperCase(old)))
        return "the old name (a junction) of a profile's folder, C:\\Users\\" + Utf8(path.Names()[1]) + "\\" + Utf8(old);
  }
  if (IsAdministrativeShare(path))
    return "an administrative share, " + Utf8(path.Root()) + " (another name of a drive or of the Windows folder)";
  return "";
}

const FolderGuard& StandardGuard() {
  static const FolderGuard guard = [] {
    std::vector<std::u16string> folders, profiles, trees;
    for (const LayoutFolder& row : Layout()) {
      switch (row.role) {
        case Role::WholeTree: trees.emplace_back(row.path); break;
        case Role::Folder: folders.emplace_back(row.path); break;
        case Role::Profile: profiles.emplace_back(row.path); break;
        case Role::InProfile: folders.push_back(InTheProfile(row.path)); break;
      }
    }
    return FolderGuard(folders, profiles, trees, ProductHomes());
  }();
  return guard;
}

std::string WhyAnotherProductsPlace(const fw::FullPath& path, std::span<const std::u16string> installFolder) {
  if (!StandardGuard().IsAnotherProductsPlace(path, installFolder)) return "";
  return "another product's folder: it lies directly in " + Utf8(path.Parent().Text()) +
         ", where each product has a folder of its own, and is not the install folder nor inside it";
}

std::string WhyRefused(const fw::FullPath& path) {
  if (!StandardGuard().Refuses(path)) return "";
  if (path.IsRoot()) return "it is a drive or share root";
  const std::u16string& comparable = path.Comparable();
  // The Windows tree and the profiles first: "C:\Users" is the profiles folder before it is the
  // folder that holds C:\Users\Public.
  std::vector<const LayoutFolder*> rows;
  for (const Role first : {Role::WholeTree, Role::Profile, Role::Folder, Role::InProfile})
    for (const LayoutFolder& row : Layout())
      if (row.role == first) rows.push_back(&row);
  for (const LayoutFolder* found : rows) {
    const LayoutFolder& row = *found;
    if (!GuardOf(row).Refuses(path)) continue;
    const std::u16string at = row.role == Role::InProfile ? InTheProfile(row.path) : row.path;
    const auto atPath = fw::FullPath::Parse(at);
    const bool same = atPath && comparable == atPath->Comparable();
    switch (row.role) {
      case Role::WholeTree:
        return same ? std::string("it is ") + row.why : "it lies in " + Utf8(row.path) + ", " + row.why;
      case Role::Folder:
        return same ? std::string("it is ") + row.why : "it holds " + Utf8(row.path) + ", " + row.why;
      case Role::Profile:
        return "it is the profiles folder (C:\\Users), a user's profile, or a folder that holds them";
      case Role::InProfile:
        return "it is or holds " + Utf8(row.path) + " of a profile, " + row.why;
    }
  }
  return "the remover's folder guard refuses it";
}

}  // namespace pack
