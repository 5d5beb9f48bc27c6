// Node streams at 1M nodes: saving and loading 1000 x 1000 (two levels) and
// 1M top-level nodes, each with 4 bytes of owner data, in MB/s. Loading a
// million nodes should take about a second natively at most.
//
// Figures are printed, not asserted. Native: build without sanitizers (see
// DEVELOPERS.md) and run build/bench/treeview_stream_bench; under Wine run
// the .exe of the Windows build's "benchmarks" target.
#include <chrono>
#include <cstdio>

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

}  // namespace

int main() {
  Run("1000 x 1000", 1000, 999);
  Run("1M flat", 1000000, 0);
  return 0;
}
