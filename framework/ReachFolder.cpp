#include "ReachFolder.h"

#include "Text.h"

namespace fw {

std::optional<ReachedFolder> ReachFolder(FileObject start, std::wstring startPath, std::span<const std::wstring> names,
                                         const LinkRule& rule) {
  ReachedFolder reached{std::move(start), std::move(startPath)};
  if (!reached.folder) return std::nullopt;
  for (const std::wstring& name : names) {
    const auto entry = reached.folder.Find(name);
    if (!entry || !entry->IsFolder()) return std::nullopt;
    if (!IsPathSeparator(reached.path.back())) reached.path += L'\\';
    reached.path += entry->name;
    FileObject next;
    if (entry->IsLink()) {
      // The rule judges the link itself, as listed: where the system followed it to open it
      // (Wine), or something else stands there now, nothing is followed.
      const FileObject link = reached.folder.OpenLinkItself(*entry);
      if (!link || !link.IsReparsePoint() || !link.HoldsListed(*entry) || !rule(reached.path, link)) return std::nullopt;
      next = reached.folder.OpenThroughLink(*entry);
    } else {
      next = reached.folder.OpenPassage(*entry);
      // Replaced since it was listed: by a link (Windows opens the link itself and says so; Wine
      // follows it and shows another id) or by another folder.
      if (next && (!next.HoldsListed(*entry) || next.IsReparsePoint())) next = FileObject();
    }
    if (!next) return std::nullopt;
    reached.folder = std::move(next);
  }
  return reached;
}

std::optional<ReachedFolder> ReachFolder(const std::wstring& root, std::span<const std::wstring> names,
                                         const LinkRule& rule) {
  return ReachFolder(FileObject::OpenFolder(root), root, names, rule);
}

}  // namespace fw
