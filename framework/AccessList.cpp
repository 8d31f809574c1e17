#include "AccessList.h"

namespace fw {

bool AllowsOthers(const std::optional<std::vector<AccessEntry>>& accessList, std::uint32_t rights) {
  if (!accessList) return true;
  for (const AccessEntry& entry : *accessList)
    if (entry.allows && !entry.administrator && !entry.inheritOnly && (entry.mask & rights) != 0) return true;
  return false;
}

bool OnlyAdministratorsCanChange(bool linkOwnedByAdministrators, const std::optional<std::vector<AccessEntry>>& linkAccess,
                                 const std::optional<std::vector<AccessEntry>>& parentAccess) {
  return linkOwnedByAdministrators && !AllowsOthers(linkAccess, kChangeRights) && !AllowsOthers(parentAccess, kDeleteChild);
}

}  // namespace fw
