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
  // Among the entries of that name in the case rule (more than one only in a folder that tells
  // case apart), the one spelt exactly so: "KORVANE.EXE" beside "Korvane.exe" is another file.
  const FolderEntry* found = nullptr;
  for (auto it = std::lower_bound(index_.begin(), index_.end(), std::make_pair(key, std::size_t{0}));
       it != index_.end() && it->first == key; ++it) {
    const FolderEntry& entry = entries_[it->second];
    if (entry.name == name) return &entry;
    if (!found) found = &entry;
  }
  return found;
}

}  // namespace fw
