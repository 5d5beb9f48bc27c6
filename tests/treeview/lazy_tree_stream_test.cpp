// Node streams of the window-free tree: layout, round trips, damaged and
// hostile streams.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/treeview/tree_checker.h"

namespace kv {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
Bytes Header(std::uint16_t version = 2) {
  Bytes b;
  for (std::uint16_t unit : {std::uint16_t{0x2045}, std::uint16_t{'V'}, std::uint16_t{'T'}, version,
                             std::uint16_t{' '}, std::uint16_t{0x2046}})
    Put16(b, unit);
  return b;
}
Bytes Chunk(std::uint32_t type, const Bytes& content) {
  Bytes b;
  Put32(b, type);
  Put32(b, static_cast<std::uint32_t>(content.size()));
  b.insert(b.end(), content.begin(), content.end());
  return b;
}
struct Fields {
  std::uint32_t childCount = 0, height = 18;
  std::uint16_t states = nsInitialized | nsVisible;
  std::uint8_t align = 50, checkState = 0, checkType = 0;
};
// A node chunk: base chunk with the fields and `children` (complete node
// chunks), then `extra` chunks.
Bytes Node(const Fields& f, const Bytes& children = {}, const Bytes& extra = {}, int version = 2) {
  Bytes base;
  Put32(base, f.childCount);
  Put32(base, f.height);
  if (version == 2) {
    Put16(base, f.states);
  } else {
    base.push_back(static_cast<std::uint8_t>(f.states));
  }
  base.push_back(f.align);
  base.push_back(f.checkState);
  base.push_back(f.checkType);
  if (version == 2) Put32(base, 0);
  base.insert(base.end(), children.begin(), children.end());
  Bytes node = Chunk(2, base);
  node.insert(node.end(), extra.begin(), extra.end());
  return Chunk(1, node);
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}
Bytes Count(std::uint32_t n) {
  Bytes b;
  Put32(b, n);
  return b;
}

// Keeps a 4-byte number per node as its stream data.
void KeepNumbers(TLazyTreeModel& tree) {
  tree.OnSaveNode = [](TLazyTreeModel& t, PLazyNode node, TNodeStream& stream) {
    if (node != nullptr) stream.WriteBuffer(t.GetNodeData(node), 4);
  };
  tree.OnLoadNode = [](TLazyTreeModel& t, PLazyNode node, TNodeStream& stream) {
    if (node != nullptr) stream.ReadBuffer(t.GetNodeData(node), 4);
  };
}

Bytes Save(TLazyTreeModel& tree, PLazyNode node = nullptr) {
  TNodeMemoryStream stream;
  tree.SaveToStream(stream, node);
  return stream.Bytes();
}

// The stream's own read error (a short read inside a chunk).
constexpr int kReadError = -1;

int LoadError(TLazyTreeModel& tree, const Bytes& bytes) {
  TNodeMemoryStream stream(bytes);
  try {
    tree.LoadFromStream(stream);
  } catch (const ELazyTreeError& e) {
    return e.Code();
  } catch (const ENodeStreamError&) {
    return kReadError;
  }
  return 0;
}

TEST(LazyTreeStream, SavedTreeLoadsBackWithStructureStatesAndData) {
  TLazyTreeModel tree;
  tree.TreeOptions().SetSelectionOptions(tree.TreeOptions().SelectionOptions() | toMultiSelect);
  test::Populate(tree, 3, 4);
  KeepNumbers(tree);
  PLazyNode first = tree.GetFirst();
  tree.SetExpanded(first, true);
  tree.SetNodeHeight(tree.GetFirstChild(first), 40);
  tree.GetFirstChild(first)->CheckType = ctCheckBox;
  tree.GetFirstChild(first)->CheckState = csCheckedNormal;
  tree.AddToSelection(tree.GetLastChild(first));
  tree.AddToSelection(tree.GetNextSibling(first));
  const Bytes saved = Save(tree);

  TLazyTreeModel copy;
  copy.SetNodeDataSize(8);
  copy.TreeOptions().SetSelectionOptions(copy.TreeOptions().SelectionOptions() | toMultiSelect);
  KeepNumbers(copy);
  int copied = 0;
  copy.OnNodeCopied = [&](TLazyTreeModel&, PLazyNode node) { copied += node == nullptr; };
  TNodeMemoryStream stream(saved);
  copy.LoadFromStream(stream);
  EXPECT_TREE_OK(copy);
  EXPECT_EQ(copied, 1);
  EXPECT_EQ(copy.TotalCount(), 15u);
  EXPECT_EQ(copy.VisibleCount(), tree.VisibleCount());
  EXPECT_EQ(copy.SelectedCount(), 2u);
  auto a = test::AllNodes(tree), b = test::AllNodes(copy);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(test::Key(tree, a[i]), test::Key(copy, b[i]));
    EXPECT_EQ(a[i]->NodeHeight, b[i]->NodeHeight);
    EXPECT_EQ(a[i]->CheckState, b[i]->CheckState);
    EXPECT_EQ(a[i]->States.Raw() & 0x15E9, b[i]->States.Raw());
  }
  EXPECT_EQ(Save(copy), saved);

  // One node: count 1 and its subtree.
  const Bytes one = Save(tree, tree.GetNextSibling(first));
  TLazyTreeModel single;
  single.SetNodeDataSize(8);
  KeepNumbers(single);
  TNodeMemoryStream oneStream(one);
  single.LoadFromStream(oneStream);
  EXPECT_EQ(single.TotalCount(), 5u);
  EXPECT_EQ(test::Key(single, single.GetFirst()), 5u);
  EXPECT_EQ(single.SelectedCount(), 0u);  // single selection: loaded marks go
  EXPECT_TREE_OK(single);
}

TEST(LazyTreeStream, LayoutOfEmptyTreeAndOfANodeWithThreeChildren) {
  TLazyTreeModel tree;
  EXPECT_EQ(Save(tree), Cat({Header(), Count(0)}));
  EXPECT_EQ(LoadError(tree, Save(tree)), 0);
  EXPECT_EQ(tree.TotalCount(), 0u);

  PLazyNode n = tree.AddChild(nullptr);
  for (int i = 0; i < 3; ++i) tree.AddChild(n);
  for (PLazyNode c = tree.GetFirstNoInit(); c != nullptr; c = tree.GetNextNoInit(c)) tree.InitNode(c);
  const std::uint16_t parentStates = n->States.Raw() & 0xDDE9, childStates = nsInitialized | nsVisible;
  Bytes children;
  for (int i = 0; i < 3; ++i) children = Cat({children, Node({0, 18, childStates})});
  // No user data chunks: the owner wrote nothing.
  EXPECT_EQ(Save(tree), Cat({Header(), Count(1), Node({3, 18, parentStates}, children)}));
  EXPECT_EQ(Save(tree).size(), 16u + 8 + 8 + 17 + 3 * 33);
}

TEST(LazyTreeStream, BadStreamsNameTheirErrorAndBadHeadersKeepTheTree) {
  const Bytes leaf = Node({});
  Bytes shortBase = Chunk(1, Chunk(2, Bytes(10, 0)));
  Bytes overrun = leaf;
  overrun[12] += 1;  // base chunk one byte longer than its node
  Bytes beyondStream = leaf;
  beyondStream[4] += 100;
  Fields claimsTwo;
  claimsTwo.childCount = 2;
  struct Case {
    const char* name;
    Bytes bytes;
    int code;
  } cases[] = {
      {"ten bytes", [] { Bytes h = Header(); h.resize(10); return h; }(), 2004},
      {"header without count", Header(), kReadError},
      {"second unit not V", [] { Bytes h = Header(); h[2] = 'W'; return h; }(), 2002},
      {"last unit wrong", [] { Bytes h = Header(); h[10] = 0; return Cat({h, Count(0)}); }(), 2002},
      {"version 3", Cat({Header(3), Count(0)}), 2003},
      {"not a node chunk", Cat({Header(), Count(1), Chunk(2, Bytes(17, 0))}), 2005},
      {"children the base chunk cannot hold", Cat({Header(), Count(1), Node(claimsTwo, leaf)}), 2006},
      {"chunk overrunning its node", Cat({Header(), Count(2), overrun, leaf}), 2006},
      {"chunk overrunning its node and the stream", Cat({Header(), Count(1), overrun}), kReadError},
      {"node beyond the stream", Cat({Header(), Count(1), beyondStream}), kReadError},
      {"base chunk shorter than its fields", Cat({Header(), Count(1), shortBase}), 2006},
      {"version 1 base chunk in a version 2 stream",
       Cat({Header(), Count(1), Node({}, {}, {}, 1)}), 2006},
      {"unit 4 is not looked at", [] { Bytes h = Header(); h[8] = 'x'; return Cat({h, Count(0)}); }(), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLazyTreeModel tree;
    test::Populate(tree, 2, 1);
    const int code = LoadError(tree, c.bytes);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(tree.UpdateCount(), 0u);
    EXPECT_TREE_OK(tree);
    // Header faults are found before the tree is cleared.
    if (code >= 2002 && code <= 2004) {
      EXPECT_EQ(tree.TotalCount(), 4u);
    }
  }
}

TEST(LazyTreeStream, LoadedFieldsAreBroughtIntoRange) {
  Fields wild;
  wild.states = 0xFFFF;
  wild.height = 70000;
  wild.checkState = 9;
  wild.checkType = 7;
  Fields fine;
  fine.checkState = csMixedPressed;
  fine.checkType = ctButton;
  TLazyTreeModel tree;
  ASSERT_EQ(LoadError(tree, Cat({Header(), Count(2), Node(wild), Node(fine)})), 0);
  PLazyNode n = tree.GetFirstNoInit();
  // Only written, lasting bits; no children so none hidden; no selection
  // without multi-select.
  EXPECT_EQ(n->States.Raw(), 0x15E9 & ~(nsAllChildrenHidden | nsSelected));
  EXPECT_EQ(n->NodeHeight, 65535);
  EXPECT_EQ(n->CheckState, 0);
  EXPECT_EQ(n->CheckType, 0);
  PLazyNode m = tree.GetNextSibling(n);
  EXPECT_EQ(m->CheckState, csMixedPressed);
  EXPECT_EQ(m->CheckType, ctButton);
  EXPECT_TREE_OK(tree);
  // A loaded node is unlinked properly when deleted.
  tree.DeleteNode(n);
  EXPECT_EQ(tree.TotalCount(), 1u);
  EXPECT_TREE_OK(tree);
}

TEST(LazyTreeStream, OlderVersionsReadShortFieldsUntilTheEnd) {
  Fields hiddenSelected;
  hiddenSelected.states = 0x80 | nsInitialized;  // the old selected mark
  for (int version : {0, 1}) {
    SCOPED_TRACE(version);
    TLazyTreeModel tree;
    tree.TreeOptions().SetSelectionOptions(tree.TreeOptions().SelectionOptions() | toMultiSelect);
    Fields parent;
    parent.childCount = 1;
    parent.states = nsInitialized | nsExpanded | nsHasChildren;
    Fields plain;
    plain.states = nsInitialized;
    const Bytes bytes = Cat({Header(static_cast<std::uint16_t>(version)),
                             Node(parent, Node(hiddenSelected, {}, {}, version), {}, version),
                             Node(plain, {}, {}, version)});
    ASSERT_EQ(LoadError(tree, bytes), 0);
    EXPECT_EQ(tree.TotalCount(), 3u);
    EXPECT_EQ(tree.VisibleCount(), 3u);  // every node visible
    EXPECT_EQ(tree.SelectedCount(), 1u);
    EXPECT_TRUE(tree.Selected(tree.GetFirstChild(tree.GetFirstNoInit())));
    EXPECT_TREE_OK(tree);
  }
}

TEST(LazyTreeStream, UserChunksCannotMisalignTheReader) {
  Bytes six = Chunk(4, {1, 2, 3, 4, 5, 6});
  Bytes unknown = Chunk(9, {7, 7, 7});
  const Bytes bytes = Cat({Header(), Count(2), Node({}, {}, Cat({six, unknown})), Node({}, {}, six)});
  for (int readCount : {0, 2, 6, 10}) {
    SCOPED_TRACE(readCount);
    TLazyTreeModel tree;
    std::vector<std::uint8_t> firsts;
    tree.OnLoadNode = [&](TLazyTreeModel&, PLazyNode, TNodeStream& stream) {
      std::uint8_t buffer[10] = {};
      stream.Read(buffer, readCount);
      firsts.push_back(buffer[0]);
    };
    ASSERT_EQ(LoadError(tree, bytes), 0);
    EXPECT_EQ(tree.TotalCount(), 2u);
    EXPECT_EQ(firsts, (std::vector<std::uint8_t>{readCount ? std::uint8_t{1} : std::uint8_t{0},
                                                 readCount ? std::uint8_t{1} : std::uint8_t{0}}));
  }
}

// A tree with a chunk of its own after the base chunks, as the string tree
// adds its captions.
class LabelTree : public TLazyTreeModel {
 public:
  std::vector<std::uint8_t> read;

 protected:
  void WriteChunks(TNodeStream& stream, PLazyNode node) override {
    TLazyTreeModel::WriteChunks(stream, node);
    const std::uint8_t chunk[] = {3, 0, 0, 0, 1, 0, 0, 0, static_cast<std::uint8_t>(node->Index + 'a')};
    stream.WriteBuffer(chunk, sizeof chunk);
  }
  bool ReadChunk(TNodeStream& stream, int version, PLazyNode node, std::uint32_t type,
                 std::uint32_t size) override {
    if (type != 3) return TLazyTreeModel::ReadChunk(stream, version, node, type, size);
    std::uint8_t b = 0;
    stream.ReadBuffer(&b, 1);
    read.push_back(b);
    return true;
  }
};

TEST(LazyTreeStream, ChunksOfADerivedTreeComeBackAndAPlainTreeSkipsThem) {
  LabelTree tree;
  test::Populate(tree, 3, 0);
  const Bytes saved = Save(tree);
  LabelTree copy;
  ASSERT_EQ(LoadError(copy, saved), 0);
  EXPECT_EQ(copy.read, (std::vector<std::uint8_t>{'a', 'b', 'c'}));
  TLazyTreeModel plain;
  ASSERT_EQ(LoadError(plain, saved), 0);
  EXPECT_EQ(plain.TotalCount(), 3u);
  EXPECT_TREE_OK(plain);
}

// A chain of `levels` nodes, every one expanded.
void Chain(TLazyTreeModel& tree, int levels) {
  PLazyNode n = nullptr;
  for (int i = 0; i < levels; ++i) {
    n = tree.AddChild(n);
    tree.InitNode(n);
  }
  for (PLazyNode p = n; p != nullptr && p != tree.RootNode(); p = p->Parent) tree.SetExpanded(p, true);
}

TEST(LazyTreeStream, NestingIsCappedAtAThousandLevels) {
  TLazyTreeModel deep;
  Chain(deep, 1000);
  const Bytes saved = Save(deep);
  TLazyTreeModel tree;
  ASSERT_EQ(LoadError(tree, saved), 0);
  EXPECT_EQ(tree.TotalCount(), 1000u);
  EXPECT_EQ(tree.VisibleCount(), 1000u);
  EXPECT_TREE_OK(tree);
  EXPECT_EQ(Save(tree), saved);
  tree.Clear();
  EXPECT_EQ(tree.TotalCount(), 0u);

  TLazyTreeModel deeper;
  Chain(deeper, 1001);
  EXPECT_EQ(LoadError(tree, Save(deeper)), 2006);
  EXPECT_EQ(tree.UpdateCount(), 0u);
  EXPECT_EQ(tree.TotalCount(), 1000u);  // what was read stays
  EXPECT_TREE_OK(tree);
  tree.Clear();
  EXPECT_TREE_OK(tree);
}

// A tree built in code may be deeper than any call stack: the writer keeps
// its own stack, so the owner's save handler runs at the same stack depth for
// the deepest node as for the first. (Built and deleted from the bottom up
// inside one update, so that the test's own work stays flat too.)
TEST(LazyTreeStream, WriterDoesNotGrowTheCallStackWithDepth) {
  constexpr std::uint32_t kDepth = 3000;
  TLazyTreeModel tree;
  tree.BeginUpdate();
  PLazyNode n = nullptr;
  for (std::uint32_t i = 0; i < kDepth; ++i) n = tree.AddChild(n);
  std::uintptr_t lowest = UINTPTR_MAX, highest = 0;
  tree.OnSaveNode = [&](TLazyTreeModel&, PLazyNode, TNodeStream&) {
    const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    lowest = std::min(lowest, frame);
    highest = std::max(highest, frame);
  };
  const Bytes saved = Save(tree);
  EXPECT_LT(highest - lowest, 1024u);
  // Header, count, then per level a node chunk header, a base chunk header
  // and the 17 field bytes, no user data.
  ASSERT_EQ(saved.size(), 16u + kDepth * 33u);
  auto u32 = [&](std::size_t at) {
    return std::uint32_t{saved[at]} | std::uint32_t{saved[at + 1]} << 8 | std::uint32_t{saved[at + 2]} << 16 |
           std::uint32_t{saved[at + 3]} << 24;
  };
  EXPECT_EQ(u32(12), 1u);
  EXPECT_EQ(u32(16), 1u);                 // node chunk
  EXPECT_EQ(u32(20), kDepth * 33u - 8);   // its size: everything after its header
  EXPECT_EQ(u32(24), 2u);                 // base chunk
  EXPECT_EQ(u32(28), kDepth * 33u - 16);  // the fields and the rest of the chain
  EXPECT_EQ(u32(32), 1u);                 // one child
  const std::size_t last = 16 + (kDepth - 1) * 33;
  EXPECT_EQ(u32(last + 4), 25u);
  EXPECT_EQ(u32(last + 12), 17u);
  EXPECT_EQ(u32(last + 16), 0u);          // the deepest node has no children
  while (n != nullptr && n != tree.RootNode()) {
    PLazyNode parent = n->Parent;
    tree.DeleteNode(n);
    n = parent;
  }
  tree.EndUpdate();
}

TEST(LazyTreeStream, LoadsFromAFile) {
  TLazyTreeModel tree;
  test::Populate(tree, 2, 2);
  const Bytes saved = Save(tree);
  const auto name = std::filesystem::temp_directory_path() / "kv_lazy_tree_stream_test.bin";
  {
    std::ofstream out(name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(saved.data()), static_cast<std::streamsize>(saved.size()));
  }
  TLazyTreeModel copy;
  copy.LoadFromFile(name);
  std::filesystem::remove(name);
  EXPECT_EQ(copy.TotalCount(), 6u);
  EXPECT_THROW(copy.LoadFromFile(name), ENodeStreamError);
  EXPECT_EQ(copy.TotalCount(), 6u);
}

}  // namespace
}  // namespace kv
