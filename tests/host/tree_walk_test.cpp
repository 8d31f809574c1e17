// The walk's order and its stack, on trees in memory: a tree of any depth is walked without the
// thread's stack growing per level, and a limit on the depth leaves what is deeper in place.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

#include "MemoryTree.h"

// The address sanitizer's count of the bytes allocated and not freed (the host tests always run
// under it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();

namespace {

using memorytree::MemoryTree;

TEST(TreeWalkTest, PostOrderAndWhatIsNotEnteredKeepsItsParents) {
  MemoryTree tree = MemoryTree::Chain(0, 1);
  const std::size_t a = tree.Add(0, 1), b = tree.Add(a, 2), c = tree.Add(0, 0), component = tree.Add(c, 1);
  tree.nodes[component].component = true;
  EXPECT_FALSE(removal::WalkPostOrder(tree, 0));
  EXPECT_EQ(tree.left, (std::vector<std::size_t>{b, a, c, 0})) << "each folder after all of its sub-folders";
  EXPECT_TRUE(tree.nodes[a].removed && tree.nodes[b].removed);
  EXPECT_EQ(tree.nodes[component].files, 1u) << "a folder not entered keeps what is in it";
  EXPECT_FALSE(tree.nodes[c].removed) << "and the folders above it stay";
  EXPECT_EQ(tree.FilesLeft(), 1u);

  // Without deleting files, only what is or becomes empty goes.
  MemoryTree keep = MemoryTree::Chain(3, 0);
  keep.nodes[2].files = 1;
  keep.deleteFiles = false;
  EXPECT_FALSE(removal::WalkPostOrder(keep, 0));
  EXPECT_TRUE(keep.nodes[3].removed);
  EXPECT_FALSE(keep.nodes[2].removed || keep.nodes[1].removed || keep.nodes[0].removed);
}

// 100,000 levels, a file in each: walked to the end with no limit. What the walk holds grows with
// the depth on the heap only (a walk that called itself per level would overflow the stack here,
// under the sanitizers sooner still); the bytes per level are printed for the record.
TEST(TreeWalkTest, AHundredThousandLevelsAreWalkedToTheEnd) {
  const std::size_t levels = 100000;
  MemoryTree tree = MemoryTree::Chain(levels, 1);
  struct Measured : MemoryTree {
    std::size_t base = 0, peak = 0;
    std::vector<Entry> List(Folder folder) {
      const std::size_t now = __sanitizer_get_current_allocated_bytes();
      if (now > peak) peak = now;
      return MemoryTree::List(folder);
    }
  } measured;
  static_cast<MemoryTree&>(measured) = std::move(tree);
  measured.base = __sanitizer_get_current_allocated_bytes();
  EXPECT_TRUE(removal::WalkPostOrder(measured, 0, std::numeric_limits<std::size_t>::max()));
  EXPECT_EQ(measured.FilesLeft(), 0u);
  EXPECT_EQ(measured.peakHeld, levels);
  ASSERT_GT(measured.peak, measured.base);
  const double perLevel = static_cast<double>(measured.peak - measured.base) / static_cast<double>(levels);
  std::printf("walk of %zu levels: %.1f MiB at the deepest, %.0f bytes per level\n", levels,
              static_cast<double>(measured.peak - measured.base) / 1048576.0, perLevel);
  EXPECT_LT(perLevel, 512.0);
}

// The remover's limit: a deep tree is walked to kMaxWalkDepth levels below the listed folder, the
// files there go, and everything deeper stays, with the folders that hold it.
TEST(TreeWalkTest, PastTheDepthLimitEverythingStays) {
  const std::size_t levels = 100000;
  MemoryTree tree = MemoryTree::Chain(levels, 1);
  EXPECT_FALSE(removal::WalkPostOrder(tree, 0));
  EXPECT_EQ(tree.peakHeld, removal::kMaxWalkDepth);
  for (std::size_t level = 0; level <= removal::kMaxWalkDepth; ++level) ASSERT_EQ(tree.nodes[level].files, 0u) << level;
  EXPECT_EQ(tree.nodes[removal::kMaxWalkDepth + 1].files, 1u) << "the first level past the limit is not entered";
  EXPECT_EQ(tree.FilesLeft(), levels - removal::kMaxWalkDepth);
  EXPECT_FALSE(tree.nodes[0].removed);

  // A tree exactly as deep as the limit goes whole.
  MemoryTree exact = MemoryTree::Chain(removal::kMaxWalkDepth, 1);
  EXPECT_TRUE(removal::WalkPostOrder(exact, 0));
  EXPECT_EQ(exact.FilesLeft(), 0u);
}

}  // namespace
