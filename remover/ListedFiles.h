#pragma once
// The listed files, deleted relative to their folder's handle.
#include <optional>
#include <string>

#include "FileObject.h"
#include "FolderListing.h"
#include "FullPath.h"
#include "RemovalScope.h"

namespace remover {

// Deletes listed files, each relative to its folder's handle. The folder is reached and listed
// once for each run of files in it (a group lists its files together), and only the current one
// is held: memory stays the same whatever the payload lists.
class ListedFiles {
 public:
  // `setAside`, when given, takes the files in use that the system will not delete now.
  explicit ListedFiles(const RemovalScope& scope, fw::SetAside* setAside = nullptr) : scope_(scope), setAside_(setAside) {}

  // Deletes the file at `path` (a file link there as the link itself). Found when an entry of that
  // name is in its folder (a folder, or a link to one, is found and stays), whether or not the
  // system deleted it. A root, a path written as a device path (only plain paths name
  // listed files), or a path whose folder cannot be reached, is not found.
  // What the deletion came to; nullopt when not found.
  std::optional<fw::DeleteOutcome> Delete(const fw::FullPath& path);
  // True when the file at `path` is in use so that it cannot be deleted (FileObject::InUse: a
  // running program's image, or held without delete sharing). Nothing is changed.
  bool InUse(const fw::FullPath& path);

 private:
  const RemovalScope& scope_;
  fw::SetAside* setAside_;
  struct Folder {
    fw::FileObject handle;
    fw::FolderListing listing;
  };
  // The entry at `path` in its folder, the folder reached and listed once for each run of files
  // in it; null when there is none.
  const fw::FolderEntry* Find(const fw::FullPath& path);

  std::u16string folderKey_;      // the current folder's comparable path ("" before the first)
  std::optional<Folder> folder_;  // nullopt: the current folder cannot be reached
};

}  // namespace remover
