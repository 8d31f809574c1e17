#pragma once
// The order of a folder walk, apart from what it acts on: depth-first and post-order, each folder
// handled after all of its sub-folders. The walk keeps its own stack on the heap, one frame per
// folder it holds open, so a tree of any depth costs the thread's stack nothing: a user can build
// a tree many thousand levels deep in a folder the walk enters, and a walk that called itself per
// level would overflow the worker's stack there. Portable: the remover walks folders it holds by
// handle, the tests walk trees of their own.
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace removal {

// How deep below a listed folder the walk goes. Deeper folders are left in place with what is in
// them (the folders above them stay too, not being empty). A product's own tree is never near
// this deep: its paths, as the installer writes them, fit in 260 characters, a handful of levels.
// Deeper trees are made to stop or slow the remover (under Wine each open resolves the whole
// path, so a walk costs the depth squared there).
inline constexpr std::size_t kMaxWalkDepth = 256;

// Walks the tree below `top`, which the caller has opened, and ends with `top` itself.
// `Tree` says what the walk does:
//   std::vector<Entry> List(const Folder&): the folder's entries, read to the end first;
//   bool IsSubfolder(const Entry&): an entry to enter ("." and ".." are neither);
//   bool IsFile(const Entry&): an entry to hand to File;
//   std::optional<Folder> Enter(const Folder& parent, const Entry&): the sub-folder opened to
//     walk, or nullopt to leave it (after acting on it, as on a link);
//   void File(const Folder&, const Entry&): a file of the folder;
//   bool Leave(Folder&): the folder, all of it handled: removed when it can be; true when it was.
// Sub-folders deeper than `maxDepth` below `top` are neither entered nor removed. Returns what
// Leave said of `top`.
template <typename Tree>
bool WalkPostOrder(Tree& tree, typename Tree::Folder top, std::size_t maxDepth = kMaxWalkDepth) {
  using Folder = typename Tree::Folder;
  using Entry = typename Tree::Entry;
  struct Frame {
    Folder folder;
    std::vector<Entry> entries;
    std::size_t next = 0;
  };
  std::vector<Frame> stack;
  std::vector<Entry> entries = tree.List(top);
  stack.push_back(Frame{std::move(top), std::move(entries), 0});
  for (;;) {
    Frame& frame = stack.back();
    if (frame.next == frame.entries.size()) {
      const bool removed = tree.Leave(frame.folder);
      stack.pop_back();
      if (stack.empty()) return removed;
      continue;
    }
    const Entry& entry = frame.entries[frame.next++];
    if (tree.IsSubfolder(entry)) {
      if (stack.size() > maxDepth) continue;  // `entry` would lie deeper than maxDepth
      std::optional<Folder> sub = tree.Enter(frame.folder, entry);
      if (!sub) continue;
      std::vector<Entry> subEntries = tree.List(*sub);
      stack.push_back(Frame{std::move(*sub), std::move(subEntries), 0});  // `frame` and `entry` end here
    } else if (tree.IsFile(entry)) {
      tree.File(frame.folder, entry);
    }
  }
}

}  // namespace removal
