#pragma once
// The known folders Windows documents, each where a default installation puts it. The system
// registers its known folders and says where each one is, but only for those it has made: a
// folder such as AppData\Local\Programs (where per-user programs install), 3D Objects or OneDrive
// often has no path until the program that uses it makes it, and is then a folder of other
// products' all the same. So the guard takes both: every path the system gives, and every
// default location below. Portable: the remover resolves the bases on the running system,
// uninst-pack on a standard layout.
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace removal {

// What a default location is relative to.
enum class KnownBase {
  Profile,      // a user's profile (and so every profile)
  ProgramData,  // the all-users data folder
  Public,       // the Public profile
  SystemDrive,  // the root of the drive Windows is on
};

struct KnownFolderDefault {
  const char* id;                 // the known folder's id, without its FOLDERID_ prefix
  KnownBase base;
  std::u16string_view relative;   // below the base; "" is the base itself
};

// Every documented known folder that lies outside the Windows folder (the whole Windows tree is
// guarded anyway), with its default location.
std::span<const KnownFolderDefault> KnownFolderDefaults();

// The bases on one system: full paths, "" for a base the system does not name.
struct KnownBases {
  std::u16string profile, programData, publicProfile, systemDrive;
  const std::u16string& Of(KnownBase base) const;
};

// The default location of `folder` on a system with `bases`; "" when its base is unnamed.
std::u16string DefaultLocation(const KnownFolderDefault& folder, const KnownBases& bases);

// Where products install, each in a folder of its own directly inside (the names below
// SystemDrive): a folder directly in one of these, or directly in a drive's root, is another
// product's or the system's unless it is the install folder or inside it.
inline constexpr std::u16string_view kProductHomes[] = {u"Program Files", u"Program Files (x86)",
                                                        u"Program Files\\Common Files",
                                                        u"Program Files (x86)\\Common Files"};

}  // namespace removal
