// The tree model at 100k and 1M nodes: creating nodes (time and bytes per
// node with 8 user bytes), AddChild inside and outside an update, finding the
// node at the top, middle and bottom with and without the position cache
// (time and nodes walked), the cache build, SortTree on random keys
// (comparisons against n*ceil(log2 n)), FullExpand of 1000 x 1000 against
// 2000 x 1000, SelectAll / ClearSelection / DeleteSelectedNodes of 100k, and
// invalidating a row on screen scrolled far down against at the top.
//
// Figures are printed, not asserted. Native: build without sanitizers (see
// DEVELOPERS.md) and run build/bench/treeview_model_bench; under Wine run the
// .exe of the Windows build's "benchmarks" target.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

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

void WaitForCache(TLazyTreeModel& tree) {
  for (int i = 0; i < 100000 && !tree.TreeStates().Contains(kv::tsUseCache); ++i) {
    tree.DeliverWorkerStates();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void Creation(std::uint32_t n) {
  TLazyTreeModel tree;
  tree.SetNodeDataSize(8);
  const double t = Seconds([&] { tree.SetRootNodeCount(n); });
  std::printf("RootNodeCount %8u: %8.3f s, %.1f bytes per node\n", n, t,
              static_cast<double>(tree.NodeMemoryBytes()) / n);
  TLazyTreeModel inside, outside;
  inside.SetNodeDataSize(8);
  outside.SetNodeDataSize(8);
  const double tIn = Seconds([&] {
    inside.BeginUpdate();
    for (std::uint32_t i = 0; i < n; ++i) inside.AddChild(nullptr);
    inside.EndUpdate();
  });
  const double tOut = Seconds([&] {
    for (std::uint32_t i = 0; i < n; ++i) outside.AddChild(nullptr);
  });
  std::printf("AddChild      %8u: %8.3f s inside an update, %8.3f s outside\n", n, tIn, tOut);
}

void Lookups(std::uint32_t n) {
  TLazyTreeModel tree;
  tree.SetViewSize(800, 600);
  tree.SetRootNodeCount(n);
  const double build = Seconds([&] { (void)tree.BuildCacheNow(); });
  std::printf("cache build   %8u: %8.3f ms (single thread)\n", n, build * 1e3);
  for (int withCache = 0; withCache < 2; ++withCache) {
    if (withCache) {
      const double t = Seconds([&] {
        tree.InvalidateCache();
        tree.ValidateCache();
        WaitForCache(tree);
      });
      std::printf("cache ready   %8u: %8.3f ms through the worker\n", n, t * 1e3);
    } else {
      tree.InvalidateCache();  // not queued: lookups walk from the first node
    }
    for (double at : {0.0, 0.5, 0.999}) {
      const int y = static_cast<int>(at * n) * 18 + 3;
      const std::uint64_t before = tree.WalkedNodes();
      int top = 0;
      PLazyNode found = nullptr;
      const double t = Seconds([&] { found = tree.GetNodeAt(0, y, false, top); });
      std::printf("GetNodeAt %s cache at %5.1f%%: %10.1f us, %8llu nodes walked%s\n",
                  withCache ? "with   " : "without", at * 100, t * 1e6,
                  static_cast<unsigned long long>(tree.WalkedNodes() - before),
                  found ? "" : " (none)");
    }
  }
}

void Sorting(std::uint32_t n) {
  TLazyTreeModel tree;
  tree.SetNodeDataSize(4);
  std::mt19937 rng(1);
  tree.SetRootNodeCount(n);
  for (PLazyNode p = tree.GetFirstNoInit(); p; p = p->NextSibling)
    *static_cast<std::uint32_t*>(tree.GetNodeData(p)) = rng();
  std::uint64_t comparisons = 0;
  tree.OnCompareNodes = [&](TLazyTreeModel& t, PLazyNode a, PLazyNode b, kv::TColumnIndex, int& r) {
    ++comparisons;
    const auto ka = *static_cast<std::uint32_t*>(t.GetNodeData(a));
    const auto kb = *static_cast<std::uint32_t*>(t.GetNodeData(b));
    r = ka < kb ? -1 : ka > kb ? 1 : 0;
  };
  const double t = Seconds([&] { tree.SortTree(0, kv::TSortDirection::sdAscending, false); });
  const double bound = n * std::ceil(std::log2(static_cast<double>(n)));
  std::printf("SortTree      %8u: %8.3f s, %llu comparisons (bound %.0f)\n", n, t,
              static_cast<unsigned long long>(comparisons), bound);
}

double FullExpand(std::uint32_t top, std::uint32_t children) {
  TLazyTreeModel tree;
  tree.OnInitNode = [](TLazyTreeModel&, PLazyNode parent, PLazyNode, kv::TLazyNodeInitStates& s) {
    if (parent == nullptr) s |= kv::nisHasChildren;
  };
  tree.OnInitChildren = [&](TLazyTreeModel&, PLazyNode, std::uint32_t& count) { count = children; };
  tree.SetRootNodeCount(top);
  return Seconds([&] { tree.FullExpand(); });
}

void Selection() {
  const std::uint32_t n = 100000;
  TLazyTreeModel tree;
  tree.TreeOptions().SetSelectionOptions(kv::toMultiSelect);
  tree.SetRootNodeCount(n);
  const double all = Seconds([&] { tree.SelectAll(false); });
  const double clear = Seconds([&] { tree.ClearSelection(); });
  tree.SelectAll(false);
  const double del = Seconds([&] { tree.DeleteSelectedNodes(); });
  std::printf("SelectAll %u: %.3f s, ClearSelection %.3f s, DeleteSelectedNodes %.3f s\n", n, all,
              clear, del);
}

void Invalidation() {
  TLazyTreeModel tree;
  tree.SetViewSize(800, 600);
  tree.SetRootNodeCount(1000000);
  tree.UpdateScrollBars(false);
  auto measure = [&](int firstRow) {
    tree.SetOffsetY(-firstRow * 18);
    PLazyNode shown = tree.TopNode();
    for (int i = 0; i < 15 && shown->NextSibling; ++i) shown = shown->NextSibling;
    tree.InvalidateNode(shown);
    const int runs = 10000;
    return Seconds([&] {
             for (int i = 0; i < runs; ++i) tree.InvalidateNode(shown);
           }) / runs;
  };
  const double atTop = measure(0);
  const double far = measure(900000);
  std::printf("InvalidateNode on screen: %.2f us at the top, %.2f us at row 900000 (ratio %.2f)\n",
              atTop * 1e6, far * 1e6, far / atTop);
}

}  // namespace

int main() {
  for (std::uint32_t n : {100000u, 1000000u}) {
    Creation(n);
    Lookups(n);
    Sorting(n);
  }
  const double one = FullExpand(1000, 1000);
  const double two = FullExpand(2000, 1000);
  std::printf("FullExpand 1000x1000: %.3f s, 2000x1000: %.3f s (ratio %.2f)\n", one, two, two / one);
  Selection();
  Invalidation();
  return 0;
}
