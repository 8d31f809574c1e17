#pragma once
// Opening a full path one component at a time, by handle, from its drive or share root, so that
// no link anybody planted on the way is followed unless the caller's rule allows that link.
#include <functional>
#include <optional>
#include <string>

#include "FileObject.h"
#include "FullPath.h"

namespace fw {

// Whether a link met on the way may be followed: `linkPath` is the path of the link itself
// (the start and the names as the folders store them), `parent` the folder that holds it, `link`
// the link opened itself.
using LinkRule = std::function<bool(const FullPath& linkPath, const FileObject& parent, const FileObject& link)>;

// A folder reached by handle, with its path as the folders on the way store their names (short
// 8.3 names expanded, the case as stored).
struct ReachedFolder {
  FileObject folder;
  FullPath path;
};

// Opens the names of `path` one after the other below its root, opened by name (the system names
// it, and there is no component above it to plant a link in): each name is looked up in its folder's listing and opened relative to the folder's handle. A
// name that is a link is followed only where `rule` allows it; a folder that turned into a link or
// another folder between its listing and its open is refused. Every folder on the way is opened
// to pass through it only (no delete access, every sharing). nullopt when a name is missing, not a
// folder, or would need a link the rule refuses.
std::optional<ReachedFolder> ReachFolder(const FullPath& path, const LinkRule& rule);

}  // namespace fw
