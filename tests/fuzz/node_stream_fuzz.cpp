// The tree's node stream reader on arbitrary bytes, with an owner that reads
// two bytes of user data per node and keeps captions as a string tree does. What loads must form a consistent tree,
// write back, and load again to the same bytes. The first byte picks the
// selection mode; the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <unordered_map>

#include "tests/treeview/tree_checker.h"
#include "treeview/lazy_tree_model.h"

namespace {

struct Data {
  std::uint8_t length;
  std::uint8_t bytes[2];
};

// A window-free tree with the string tree's caption chunk.
class CaptionTree : public kv::TLazyTreeModel {
 public:
  ~CaptionTree() override { DestroyNodes(); }
  void WriteChunks(kv::TNodeStream& stream, kv::PLazyNode node) override {
    TLazyTreeModel::WriteChunks(stream, node);
    auto it = captions_.find(node);
    if (it != captions_.end() && !it->second.empty() && node->States.Contains(kv::nsInitialized))
      kv::WriteCaptionChunk(stream, it->second);
  }
  bool ReadChunk(kv::TNodeStream& stream, int version, kv::PLazyNode node, std::uint32_t type,
                 std::uint32_t size) override {
    if (type != kv::kCaptionChunk) return TLazyTreeModel::ReadChunk(stream, version, node, type, size);
    std::u16string text = kv::ReadCaptionChunk(stream, size);
    if (node != RootNode()) captions_[node] = std::move(text);
    return true;
  }

 protected:
  void ForgetNode(kv::PLazyNode node) override {
    captions_.erase(node);
    TLazyTreeModel::ForgetNode(node);
  }

 private:
  std::unordered_map<kv::PLazyNode, std::u16string> captions_;
};

void Wire(kv::TLazyTreeModel& tree, bool multiSelect) {
  tree.SetNodeDataSize(sizeof(Data));
  if (multiSelect)
    tree.TreeOptions().SetSelectionOptions(tree.TreeOptions().SelectionOptions() | kv::toMultiSelect);
  tree.OnLoadNode = [](kv::TLazyTreeModel& t, kv::PLazyNode node, kv::TNodeStream& stream) {
    if (node == nullptr) return;
    auto* data = static_cast<Data*>(t.GetNodeData(node));
    data->length = static_cast<std::uint8_t>(stream.Read(data->bytes, 2));
  };
  tree.OnSaveNode = [](kv::TLazyTreeModel& t, kv::PLazyNode node, kv::TNodeStream& stream) {
    if (node == nullptr) return;
    auto* data = static_cast<Data*>(t.GetNodeData(node));
    if (data->length == 2) stream.WriteBuffer(data->bytes, 2);
  };
}

std::vector<std::uint8_t> Save(kv::TLazyTreeModel& tree) {
  kv::TNodeMemoryStream stream;
  tree.SaveToStream(stream);
  return stream.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool multiSelect = (data[0] & 1) != 0;
  CaptionTree tree;
  Wire(tree, multiSelect);
  kv::TNodeMemoryStream stream(std::vector<std::uint8_t>(data + 1, data + size));
  bool loaded = true;
  try {
    tree.LoadFromStream(stream);
  } catch (const kv::ELazyTreeError&) {
    loaded = false;
  } catch (const kv::ENodeStreamError&) {
    loaded = false;
  }
  if (tree.UpdateCount() != 0 || !kv::test::CheckTree(tree).empty()) __builtin_trap();
  // Whatever was read, also after a failure, writes and reads back alike.
  (void)loaded;
  const std::vector<std::uint8_t> first = Save(tree);
  CaptionTree copy;
  Wire(copy, multiSelect);
  kv::TNodeMemoryStream again(first);
  copy.LoadFromStream(again);
  if (!kv::test::CheckTree(copy).empty() || copy.TotalCount() != tree.TotalCount()) __builtin_trap();
  if (Save(copy) != first) __builtin_trap();
  copy.Clear();
  tree.Clear();
  return 0;
}
