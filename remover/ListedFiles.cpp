#include "ListedFiles.h"

#include "WideText.h"

namespace remover {

const fw::FolderEntry* ListedFiles::Find(const fw::FullPath& path) {
  if (path.IsRoot() || path.WrittenAsDevice()) return nullptr;
  // The folder's comparable form is the file's without its last name: most files share the folder
  // of the one before them, found without a copy.
  const std::u16string_view comparable(path.Comparable());
  const std::u16string_view folderKey = comparable.substr(0, comparable.size() - path.Names().back().size() - 1);
  if (folderKey_.empty() || folderKey != folderKey_) {
    folder_.reset();  // let go before the next is reached
    folderKey_ = folderKey;
    if (auto reached = scope_.Reach(path.Parent())) {
      fw::FolderListing listing(reached->folder);
      folder_.emplace(Folder{std::move(reached->folder), std::move(listing)});
    }
  }
  if (!folder_) return nullptr;
  return folder_->listing.Find(fw::AsWide(path.Names().back()));
}

bool ListedFiles::InUse(const fw::FullPath& path) {
  const fw::FolderEntry* entry = Find(path);
  return entry && !entry->IsFolder() && folder_->handle.InUse(*entry);
}

std::optional<fw::DeleteOutcome> ListedFiles::Delete(const fw::FullPath& path) {
  const fw::FolderEntry* entry = Find(path);
  if (!entry) return std::nullopt;
  // A file link in the listed file's place goes as the link itself (DeleteFileEntry opens it
  // without following it and proves it is this entry); its target is never touched. A folder or
  // a folder link is found, and stays.
  if (entry->IsFolder()) return fw::DeleteOutcome::NotDeleted;
  return folder_->handle.DeleteFileEntry(*entry, setAside_);
}

}  // namespace remover
