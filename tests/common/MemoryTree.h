#pragma once
// A tree of folders and files in memory, for walking with removal::WalkPostOrder where no file
// system could hold it (100,000 levels) or to see the walk's order. Flat storage: a tree that deep
// must not be torn down by recursion either.
#include <cstddef>
#include <optional>
#include <vector>

#include "TreeWalk.h"

namespace memorytree {

struct MemoryTree {
  struct Node {
    std::vector<std::size_t> folders;  // indexes of the sub-folders
    std::size_t files = 0;
    bool component = false;  // never entered
    bool removed = false;
  };
  struct Entry {
    std::size_t node;  // the sub-folder's index; for a file or "." / "..", the folder's own
    bool folder;
    bool dots;
  };
  using Folder = std::size_t;

  // A chain of `levels` folders below the root, each holding `filesEach` files; the root is 0.
  static MemoryTree Chain(std::size_t levels, std::size_t filesEach) {
    MemoryTree tree;
    tree.nodes.resize(levels + 1);
    for (std::size_t i = 0; i <= levels; ++i) {
      tree.nodes[i].files = filesEach;
      if (i < levels) tree.nodes[i].folders.push_back(i + 1);
    }
    return tree;
  }
  std::size_t Add(std::size_t parent, std::size_t files) {
    nodes.push_back({{}, files, false, false});
    nodes[parent].folders.push_back(nodes.size() - 1);
    return nodes.size() - 1;
  }

  std::vector<Entry> List(Folder folder) {
    std::vector<Entry> entries = {{folder, true, true}, {folder, true, true}};
    for (std::size_t sub : nodes[folder].folders)
      if (!nodes[sub].removed) entries.push_back({sub, true, false});
    for (std::size_t i = 0; i < nodes[folder].files; ++i) entries.push_back({folder, false, false});
    return entries;
  }
  static bool IsSubfolder(const Entry& entry) { return entry.folder && !entry.dots; }
  static bool IsFile(const Entry& entry) { return !entry.folder; }
  std::optional<Folder> Enter(Folder, const Entry& entry) {
    if (nodes[entry.node].component) return std::nullopt;
    if (++held > peakHeld) peakHeld = held;
    return entry.node;
  }
  void File(Folder folder, const Entry&) {
    if (deleteFiles && nodes[folder].files > 0) --nodes[folder].files;
  }
  bool Leave(Folder& folder) {
    left.push_back(folder);
    if (folder != 0) --held;
    Node& node = nodes[folder];
    for (std::size_t sub : node.folders)
      if (!nodes[sub].removed) return false;
    if (node.files != 0) return false;
    node.removed = true;
    return true;
  }

  // Files left anywhere in the tree.
  std::size_t FilesLeft() const {
    std::size_t count = 0;
    for (const Node& node : nodes) count += node.files;
    return count;
  }

  std::vector<Node> nodes;
  bool deleteFiles = true;
  std::size_t held = 0, peakHeld = 0;  // folders below the root entered and not yet left
  std::vector<Folder> left;             // the order of Leave
};

}  // namespace memorytree
