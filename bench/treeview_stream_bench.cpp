// Node streams at 1M nodes: saving and loading 1000 x 1000 (two levels) and
// 1M top-level nodes, each with 4 bytes of owner data, in MB/s. Loading a
// million nodes should take about a second natively at most.
// Exports of 100k and 200k rows as text and as an HTML table (the time of
// twice the rows should stay below 2.3 times that of the rows: the buffers
// grow geometrically), the restoring of 10k pasted nodes from their native
// block, and the finishing of a cut of 100k nodes (one update, each parent
// renumbered once).
//
// Figures are printed, not asserted. Native: build without sanitizers (see
// DEVELOPERS.md) and run build/bench/treeview_stream_bench; under Wine run
// the .exe of the Windows build's "benchmarks" target.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "treeview/content_export.h"
#include "treeview/lazy_tree_model.h"

namespace {

using Clock = std::chrono::steady_clock;
using kv::PLazyNode;
using kv::TLazyTreeModel;

template <class F>
double Seconds(F&& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void WithNumbers(TLazyTreeModel& tree) {
  tree.SetNodeDataSize(8);
  tree.OnSaveNode = [](TLazyTreeModel& t, PLazyNode node, kv::TNodeStream& stream) {
    if (node != nullptr) stream.WriteBuffer(t.GetNodeData(node), 4);
  };
  tree.OnLoadNode = [](TLazyTreeModel& t, PLazyNode node, kv::TNodeStream& stream) {
    if (node != nullptr) stream.ReadBuffer(t.GetNodeData(node), 4);
  };
}

void Run(const char* shape, std::uint32_t top, std::uint32_t children) {
  TLazyTreeModel tree;
  WithNumbers(tree);
  tree.BeginUpdate();
  std::uint32_t number = 0;
  for (std::uint32_t i = 0; i < top; ++i) {
    PLazyNode n = tree.AddChild(nullptr);
    *static_cast<std::uint32_t*>(tree.GetNodeData(n)) = number++;
    for (std::uint32_t j = 0; j < children; ++j)
      *static_cast<std::uint32_t*>(tree.GetNodeData(tree.AddChild(n))) = number++;
  }
  tree.EndUpdate();
  tree.FullExpand();  // initialises every node, so saving measures writing only

  kv::TNodeMemoryStream stream;
  const double save = Seconds([&] { tree.SaveToStream(stream); });
  const double mb = static_cast<double>(stream.Size()) / 1e6;
  TLazyTreeModel copy;
  WithNumbers(copy);
  stream.SetPosition(0);
  const double load = Seconds([&] { copy.LoadFromStream(stream); });
  const double clear = Seconds([&] { copy.Clear(); });
  std::printf("%-12s %8u nodes %7.1f MB  save %6.3f s (%6.1f MB/s)  load %6.3f s (%6.1f MB/s)  clear %6.3f s\n",
              shape, tree.TotalCount(), mb, save, mb / save, load, mb / load, clear);
}

kv::TExportLayout Rows(int count) {
  kv::TExportLayout layout;
  layout.columns.resize(3);
  for (int c = 0; c < 3; ++c) layout.columns[c].caption = u"Column " + std::u16string(1, u'A' + c);
  layout.columns[0].isMain = true;
  layout.rows.resize(count);
  for (int i = 0; i < count; ++i) {
    kv::TExportRow& row = layout.rows[i];
    row.level = i % 3;
    row.height = 18;
    row.cells.resize(3);
    row.cells[0].text = u"Track " + std::u16string(1, u'0' + i % 10) + u" & <friends>";
    row.cells[1].text = u"Artist, the";
    row.cells[2].text = u"03:45";
  }
  return layout;
}

void Exports() {
  double text[2] = {}, html[2] = {};
  const int counts[2] = {100000, 200000};
  for (int i = 0; i < 2; ++i) {
    const kv::TExportLayout layout = Rows(counts[i]);
    std::size_t bytes = 0;
    // Best of five: the machine is shared, and the first touch of fresh pages counts once.
    text[i] = html[i] = 1e9;
    for (int run = 0; run < 5; ++run) {
      bytes = 0;
      text[i] = std::min(text[i], Seconds([&] { bytes += kv::ContentToText(layout, '\t').size(); }));
      html[i] = std::min(html[i], Seconds([&] { bytes += kv::ContentToHTML(layout).size(); }));
    }
    std::printf("export %6d rows  text %6.3f s  html %6.3f s  (%zu bytes)\n", counts[i], text[i], html[i], bytes);
  }
  std::printf("export 200k/100k  text ratio %.2f  html ratio %.2f (target <= 2.3)\n", text[1] / text[0],
              html[1] / html[0]);
}

void PasteAndCut() {
  TLazyTreeModel source;
  WithNumbers(source);
  source.BeginUpdate();
  for (std::uint32_t i = 0; i < 10000; ++i) *static_cast<std::uint32_t*>(source.GetNodeData(source.AddChild(nullptr))) = i;
  source.EndUpdate();
  kv::TNodeMemoryStream block;
  for (PLazyNode n = source.GetFirst(); n != nullptr; n = source.GetNextSibling(n)) source.WriteNode(block, n);
  TLazyTreeModel target;
  WithNumbers(target);
  block.SetPosition(0);
  std::uint32_t kept = 0;
  const double paste = Seconds([&] {
    target.BeginUpdate();
    kept = target.AddNodesFromStream(block, nullptr, kv::TLTNodeAttachMode::amAddChildLast,
                                     kv::TChangeReason::crNodeAdded);
    target.EndUpdate();
  });
  std::printf("paste  %6u nodes from a %zu-byte block  %6.3f s\n", kept, static_cast<std::size_t>(block.Size()), paste);

  // A cut of 100k nodes: every second one of 200k top-level nodes, and the
  // children of 100 parents (1000 each) plus their parents' neighbours.
  for (int shape = 0; shape < 2; ++shape) {
    TLazyTreeModel tree;
    tree.TreeOptions().SetSelectionOptions(tree.TreeOptions().SelectionOptions() | kv::toMultiSelect);
    tree.BeginUpdate();
    std::vector<PLazyNode> cut;
    if (shape == 0) {
      for (int i = 0; i < 200000; ++i) {
        PLazyNode n = tree.AddChild(nullptr);
        if (i % 2 == 0) cut.push_back(n);
      }
    } else {
      for (int p = 0; p < 100; ++p) {
        PLazyNode parent = tree.AddChild(nullptr);
        for (int c = 0; c < 2000; ++c) {
          PLazyNode n = tree.AddChild(parent);
          if (c % 2 == 1) cut.push_back(n);
        }
      }
    }
    tree.EndUpdate();
    tree.AddToSelection(cut.data(), cut.size());
    tree.DoStateChange({kv::tsCutPending});
    tree.MarkCutCopyNodes();
    const double finish = Seconds([&] { tree.FinishCutOrCopy(); });
    std::printf("finish cut of %zu nodes (%s)  %6.3f s, %u left\n", cut.size(),
                shape == 0 ? "flat" : "100 parents", finish, tree.TotalCount());
  }
}

}  // namespace

int main() {
  Run("1000 x 1000", 1000, 999);
  Run("1M flat", 1000000, 0);
  Exports();
  PasteAndCut();
  return 0;
}
