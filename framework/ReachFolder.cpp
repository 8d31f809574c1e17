#include "ReachFolder.h"

#include "WideText.h"

namespace fw {

std::optional<ReachedFolder> ReachFolder(const FullPath& path, const LinkRule& rule) {
  ReachedFolder reached{FileObject::OpenFolder(AsWide(path.Root())), path.RootPath()};
  if (!reached.folder) return std::nullopt;
  for (const std::u16string& name : path.Names()) {
    const auto entry = reached.folder.Find(AsWide(name));
    if (!entry || !entry->IsFolder()) return std::nullopt;
    reached.path = reached.path.Child(AsUtf16(entry->name));
    FileObject next;
    if (entry->IsLink()) {
      // The rule judges the link itself, as listed: where the system followed it to open it
      // (Wine), or something else stands there now, nothing is followed.
      const FileObject link = reached.folder.OpenLinkItself(*entry);
      if (!link || !link.IsReparsePoint() || !link.HoldsListed(*entry) || !rule(reached.path, reached.folder, link)) return std::nullopt;
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

}  // namespace fw
