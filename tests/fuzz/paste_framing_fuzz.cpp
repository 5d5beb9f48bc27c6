// A pasted native block on arbitrary bytes: the framing's length against the
// block's real size, then the node chunks restored under a node of a small
// tree. The tree must stay consistent and keep every node it had.
#include <cstddef>
#include <cstdint>

#include "tests/treeview/tree_checker.h"
#include "treeview/lazy_tree_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  kv::TLazyTreeModel tree;
  kv::test::Populate(tree, 3, 2);
  const std::uint32_t before = tree.TotalCount();
  const auto mode = static_cast<kv::TLTNodeAttachMode>(1 + data[0] % 4);
  const auto payload = kv::NativeBlockPayload(data + 1, size - 1);
  if (payload.size() > size - 1) __builtin_trap();
  kv::TNodeMemoryStream stream(std::vector<std::uint8_t>(payload.begin(), payload.end()));
  std::uint32_t kept = 0;
  try {
    kept = tree.AddNodesFromStream(stream, tree.GetFirst(), mode, kv::TChangeReason::crNodeCopied);
  } catch (const kv::ELazyTreeError&) {
  } catch (const kv::ENodeStreamError&) {
  }
  if (tree.UpdateCount() != 0 || !kv::test::CheckTree(tree).empty()) __builtin_trap();
  if (tree.RootNode()->ChildCount < 3 || tree.TotalCount() < before + kept) __builtin_trap();
  tree.Clear();
  return 0;
}
