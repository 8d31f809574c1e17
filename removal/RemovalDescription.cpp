#include "RemovalDescription.h"

#include "Text.h"

namespace removal {

const char* RootName(RegistryRoot root) {
  return root == RegistryRoot::CurrentConfig ? "HKEY_CURRENT_CONFIG" : "HKEY_CLASSES_ROOT";
}

std::optional<std::u16string> PathForSystem(std::string_view gbk) {
  if (gbk.size() >= kPathLimit) return std::nullopt;
  return fw::GbkToUtf16(gbk);
}

}  // namespace removal
