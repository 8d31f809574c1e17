#include "ListedFiles.h"

#include <span>

#include "PathParts.h"

namespace remover {

bool ListedFiles::Delete(const std::wstring& path) {
  const auto parts = fw::SplitPlainPath(std::wstring_view(path));
  if (!parts || parts->components.empty()) return false;
  const std::span<const std::wstring> names(parts->components);
  const std::span<const std::wstring> folderNames = names.first(names.size() - 1);
  std::wstring folderPath = parts->root;
  for (const std::wstring& folderName : folderNames) folderPath += folderName + L"\\";
  auto [slot, added] = folders_.try_emplace(Comparable(folderPath));
  if (added) {
    if (auto reached = scope_.Reach(parts->root, folderNames)) {
      fw::FolderListing listing(reached->folder);
      slot->second.emplace(Folder{std::move(reached->folder), std::move(listing)});
    }
  }
  if (!slot->second) return false;
  const fw::FolderEntry* entry = slot->second->listing.Find(names.back());
  // A link where a listed file was is not the product's file: it is left as it is.
  if (!entry || entry->IsLink()) return false;
  if (!entry->IsFolder()) slot->second->handle.DeleteFileEntry(*entry);
  return true;
}

}  // namespace remover
