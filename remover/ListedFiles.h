#pragma once
// The listed files, deleted relative to their folder's handle.
#include <map>
#include <optional>
#include <string>

#include "FileObject.h"
#include "FolderListing.h"
#include "FullPath.h"
#include "RemovalScope.h"

namespace remover {

// Deletes listed files, each relative to its folder's handle; each distinct folder is reached
// once (and held until this object goes).
class ListedFiles {
 public:
  explicit ListedFiles(const RemovalScope& scope) : scope_(scope) {}

  // Deletes the file at `path`. True when it was found (an entry of that name, not a link, is in
  // its folder), whether or not the system deleted it. A root, a path written as a device path
  // (only plain paths name listed files), or a path whose folder cannot be reached, is not found.
  bool Delete(const fw::FullPath& path);

 private:
  const RemovalScope& scope_;
  struct Folder {
    fw::FileObject handle;
    fw::FolderListing listing;
  };
  std::map<std::u16string, std::optional<Folder>, std::less<>> folders_;  // by comparable path
};

}  // namespace remover
