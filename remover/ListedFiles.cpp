#include "ListedFiles.h"

#include "WideText.h"

namespace remover {

bool ListedFiles::Delete(const fw::FullPath& path) {
  if (path.IsRoot() || path.WrittenAsDevice()) return false;
  const fw::FullPath folderPath = path.Parent();
  auto [slot, added] = folders_.try_emplace(folderPath.Comparable());
  if (added) {
    if (auto reached = scope_.Reach(folderPath)) {
      fw::FolderListing listing(reached->folder);
      slot->second.emplace(Folder{std::move(reached->folder), std::move(listing)});
    }
  }
  if (!slot->second) return false;
  const fw::FolderEntry* entry = slot->second->listing.Find(fw::AsWide(path.Names().back()));
  // A link where a listed file was is not the product's file: it is left as it is.
  if (!entry || entry->IsLink()) return false;
  if (!entry->IsFolder()) slot->second->handle.DeleteFileEntry(*entry);
  return true;
}

}  // namespace remover
