#pragma once
// A folder's entries as one listing read them, for looking up many names in one folder.
#include <string>
#include <utility>
#include <vector>

#include "FileObject.h"

namespace fw {

// The entries of a folder as one listing read them, looked up as the file system looks names up:
// case-insensitively, and by short (8.3) name too. Entries made after the listing are not in it.
class FolderListing {
 public:
  explicit FolderListing(const FileObject& folder);
  // The entry `name` names, or null; where a folder that tells case apart holds several, the one
  // spelt exactly as `name`. A name holding a wildcard or a separator finds nothing.
  const FolderEntry* Find(const std::wstring& name) const;

 private:
  std::vector<FolderEntry> entries_;
  std::vector<std::pair<std::wstring, std::size_t>> index_;  // upper-case name, entry; sorted
};

}  // namespace fw
