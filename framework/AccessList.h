#pragma once
// Who may change an object, read from its owner and its access list: the trust the remover gives a
// link it would follow. Portable: the remover reads the lists by handle, the tests write their own.
#include <cstdint>
#include <optional>
#include <vector>

namespace fw {

// One entry of an access list, as far as trust goes.
struct AccessEntry {
  bool allows;          // an allow entry; a deny entry grants nothing
  bool administrator;   // its principal is SYSTEM, the Administrators group or TrustedInstaller
  bool inheritOnly;     // it applies only to what is made inside, not to the object itself
  std::uint32_t mask;   // the access rights
};

// The rights that change an object or where it leads: write data or add a file, append or add a
// sub-folder, write extended attributes or attributes (a reparse point is set with these), delete
// a child, delete, change the access list, take ownership, and the generic write and all.
inline constexpr std::uint32_t kChangeRights = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 |
                                               0x10000000 | 0x40000000;
// Deleting a child: who holds it on a folder can take any entry out of it and put another in.
inline constexpr std::uint32_t kDeleteChild = 0x40;

// True when an access list (nullopt: none, which lets everyone do everything) allows someone who
// is no administrator any of `rights` on the object itself.
bool AllowsOthers(const std::optional<std::vector<AccessEntry>>& accessList, std::uint32_t rights);

// True when only administrators can have made or changed a link and its place: the link's owner
// is one, its own access list allows nobody else a change, and the folder that holds it allows
// nobody else to delete a child (and so to swap the link for another). An administrator's
// ownership alone is not enough: a folder an administrator makes directly in a drive's root
// inherits the right of every signed-in user to change it, and keeps its owner when a user turns
// it into a junction.
bool OnlyAdministratorsCanChange(bool linkOwnedByAdministrators, const std::optional<std::vector<AccessEntry>>& linkAccess,
                                 const std::optional<std::vector<AccessEntry>>& parentAccess);

}  // namespace fw
