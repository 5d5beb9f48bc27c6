// The cut/copy set and nodes restored from clipboard data, without a window.

#include <gtest/gtest.h>

#include <functional>

#include "tests/treeview/tree_checker.h"

namespace kv {
namespace {

class CutCopyTree : public TLazyTreeModel {
 public:
  using TLazyTreeModel::DoStateChange;
};

TEST(CutCopySet, MarksSelectedNodesAndACutDeletesTheTopmostOnce) {
  CutCopyTree tree;
  tree.TreeOptions().SetSelectionOptions(tree.TreeOptions().SelectionOptions() | toMultiSelect);
  test::Populate(tree, 4, 2);
  const auto all = test::AllNodes(tree);  // t0 c c t1 c c t2 c c t3 c c
  PLazyNode t0 = all[0], t0c1 = all[2], t1 = all[3], t2 = all[6];
  for (PLazyNode n : {t0, t0c1, t1, t2}) tree.AddToSelection(n);
  t1->States.Include(nsDisabled);
  tree.MarkCutCopyNodes();  // nothing pending: no marks
  EXPECT_EQ(tree.GetFirstCutCopy(), nullptr);
  tree.DoStateChange({tsCutPending});
  tree.MarkCutCopyNodes();
  EXPECT_EQ(tree.GetSortedCutCopySet(false), (std::vector<PLazyNode>{t0, t0c1, t2}));
  EXPECT_EQ(tree.GetSortedCutCopySet(true), (std::vector<PLazyNode>{t0, t2}));
  EXPECT_EQ(tree.GetNextCutCopy(tree.GetFirstCutCopy()), t0c1);

  std::uint32_t changes = 0;
  tree.OnStructureChange = [&](TLazyTreeModel&, PLazyNode, TChangeReason) { ++changes; };
  tree.FinishCutOrCopy();
  EXPECT_FALSE(tree.TreeStates().Contains(tsCutPending));
  EXPECT_EQ(tree.TotalCount(), 6u);
  EXPECT_EQ(tree.RootNode()->ChildCount, 2u);
  EXPECT_EQ(test::Key(tree, tree.GetFirst()), 3u);
  EXPECT_TREE_OK(tree);
}

std::vector<std::uint8_t> NodeChunks(TLazyTreeModel& source) {
  TNodeMemoryStream stream;
  for (PLazyNode n = source.GetFirst(); n != nullptr; n = source.GetNextSibling(n)) source.WriteNode(stream, n);
  return stream.Bytes();
}

TEST(CutCopySet, RestoredNodesAreOfferedAndBadDataLeavesNothing) {
  TLazyTreeModel source, target;
  test::Populate(source, 3, 1);
  test::Populate(target, 1, 0);
  int offered = 0;
  target.OnNodeCopying = [&](TLazyTreeModel&, PLazyNode, PLazyNode, bool& allowed) { allowed = ++offered != 2; };
  TNodeMemoryStream stream(NodeChunks(source));
  EXPECT_EQ(target.AddNodesFromStream(stream, target.GetFirst(), TLTNodeAttachMode::amAddChildLast,
                                      TChangeReason::crNodeCopied),
            2u);
  EXPECT_EQ(target.TotalCount(), 1u + 2u * 2u);
  EXPECT_TREE_OK(target);

  // A refused node is reported with the others before it goes again.
  {
    TLazyTreeModel single, into;
    test::Populate(single, 1, 0);
    into.OnNodeCopying = [](TLazyTreeModel&, PLazyNode, PLazyNode, bool& allowed) { allowed = false; };
    std::vector<TChangeReason> reasons;
    into.OnStructureChange = [&](TLazyTreeModel&, PLazyNode, TChangeReason r) { reasons.push_back(r); };
    TNodeMemoryStream one(NodeChunks(single));
    EXPECT_EQ(into.AddNodesFromStream(one, nullptr, TLTNodeAttachMode::amAddChildLast, TChangeReason::crNodeAdded),
              0u);
    EXPECT_EQ(into.TotalCount(), 0u);
    // Added, then deleted: both within one update, so they arrive merged.
    EXPECT_EQ(reasons, std::vector<TChangeReason>{TChangeReason::crAccumulated});
  }

  // A second chunk that is damaged: the first stays, the broken one goes.
  std::vector<std::uint8_t> bytes = NodeChunks(source);
  const std::size_t firstEnd = 8 + (bytes[4] | (bytes[5] << 8));
  bytes[firstEnd] = 9;
  TNodeMemoryStream damaged(bytes);
  // Restored at the top level, the nodes are offered with the root as their target.
  std::vector<PLazyNode> targets;
  target.OnNodeCopying = [&](TLazyTreeModel&, PLazyNode, PLazyNode to, bool&) { targets.push_back(to); };
  try {
    target.AddNodesFromStream(damaged, nullptr, TLTNodeAttachMode::amAddChildFirst, TChangeReason::crNodeAdded);
    ADD_FAILURE();
  } catch (const ELazyTreeError& e) {
    EXPECT_STREQ(e.what(), "Stream data corrupt. A node's anchor chunk is missing.");
  }
  EXPECT_EQ(targets, std::vector<PLazyNode>{target.RootNode()});
  EXPECT_EQ(target.TotalCount(), 5u + 2u);
  EXPECT_EQ(target.UpdateCount(), 0u);
  EXPECT_TREE_OK(target);
}

// A pasted block is read where it lies: the stream over it reads and never writes.
TEST(CutCopySet, ABlockIsReadInPlaceThroughAReadOnlyStream) {
  TLazyTreeModel source, target;
  test::Populate(source, 2, 1);
  const std::vector<std::uint8_t> bytes = NodeChunks(source);
  TOLEMemoryStream stream(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(target.AddNodesFromStream(stream, nullptr, TLTNodeAttachMode::amAddChildLast, TChangeReason::crNodeAdded),
            2u);
  EXPECT_EQ(target.TotalCount(), 2u * 2u);
  EXPECT_TREE_OK(target);
  const std::uint8_t byte = 0;
  for (auto step : {std::function<void()>([&] { stream.Write(&byte, 1); }),
                    std::function<void()>([&] { stream.SetSize(0); })}) {
    try {
      step();
      ADD_FAILURE();
    } catch (const EStreamError& e) {
      EXPECT_STREQ(e.what(), "Can't write to a read-only resource stream");
    }
  }
  EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(bytes, NodeChunks(source));
}

TEST(CutCopySet, NativeBlockLengthIsBoundedByTheBlock) {
  const std::uint8_t block[] = {5, 0, 0, 0, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(NativeBlockPayload(block, sizeof block).size(), 5u);
  EXPECT_EQ(NativeBlockPayload(block, 7).size(), 3u);
  EXPECT_EQ(NativeBlockPayload(block, 3).size(), 0u);
  const std::uint8_t huge[] = {0xFF, 0xFF, 0xFF, 0xFF, 1};
  EXPECT_EQ(NativeBlockPayload(huge, sizeof huge).size(), 1u);
}

}  // namespace
}  // namespace kv
