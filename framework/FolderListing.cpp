#include "FolderListing.h"

#include <algorithm>

#include "NativeFiles.h"
#include "WideText.h"

namespace fw {

FolderListing::FolderListing(const FileObject& folder) : entries_(folder.List()) {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    index_.emplace_back(UpperCase(entries_[i].name), i);
    if (!entries_[i].shortName.empty()) index_.emplace_back(UpperCase(entries_[i].shortName), i);
  }
  std::sort(index_.begin(), index_.end());
}

const FolderEntry* FolderListing::Find(const std::wstring& name) const {
  if (name.empty() || name.find_first_of(L"*?<>\"\\/") != std::wstring::npos) return nullptr;
  const std::wstring key = UpperCase(name);
  const auto it = std::lower_bound(index_.begin(), index_.end(), std::make_pair(key, std::size_t{0}));
  return it != index_.end() && it->first == key ? &entries_[it->second] : nullptr;
}

}  // namespace fw
