// Tree painting under Wine: a full paint of an 800 x 600 client over 1M
// top-level nodes at the top, middle and bottom (18- and 32-pixel rows, the
// position cache valid) with the number of init, measure and draw calls per
// paint; 100k plain check boxes changed by SetCheckState inside and outside
// an update (and 200k against 100k outside); one check of a tri-state parent
// with 100k children.
//
// Figures are printed, not asserted. Run the .exe of the Windows build's
// "benchmarks" target under Wine.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "treeview/lazy_trees_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"

namespace {

using Clock = std::chrono::steady_clock;
using kv::PLazyNode;

template <class F>
double Seconds(F&& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class CountingTree : public kv::TLazyDrawTree {
 public:
  ~CountingTree() override { DestroyNodes(); }
  long measured = 0;

 protected:
  void MeasureItemHeight(PLazyNode node) override {
    ++measured;
    kv::TLazyDrawTree::MeasureItemHeight(node);
  }
};

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void FullPaints(unsigned rowHeight) {
  kv::ui::TForm form;
  auto& tree = form.Create<CountingTree>();
  tree.SetParent(&form);
  form.SetClientWidth(820);
  form.SetClientHeight(620);
  tree.SetBorderStyle(kv::TTreeBorderStyle::bsNone);
  tree.SetBounds(0, 0, 800, 600);
  form.Show();
  long inits = 0, draws = 0;
  tree.OnInitNode = [&](kv::TLazyTreeModel&, PLazyNode, PLazyNode, kv::TLazyNodeInitStates&) { ++inits; };
  tree.OnDrawNode = [&](kv::TBaseLazyTree&, const kv::TLTPaintInfo&) { ++draws; };
  tree.SetDefaultNodeHeight(rowHeight);
  tree.SetRootNodeCount(1000000);
  for (int i = 0; i < 20000 && !tree.TreeStates().Contains(kv::tsUseCache); ++i) {
    Pump();
    Sleep(1);
  }
  RECT client;
  GetClientRect(tree.Handle(), &client);
  kv::ui::TBitmap target;
  target.Create(client.right, client.bottom);
  const kv::ui::MemoryDc dc = kv::ui::CreateMemoryDc(nullptr);
  const kv::ui::SelectedObject selected = kv::ui::SelectInto(dc.Get(), target.Handle());
  const long long total = 1000000LL * rowHeight;
  const struct {
    const char* name;
    long long top;
  } places[] = {{"top", 0}, {"middle", total / 2}, {"bottom", total - client.bottom}};
  double times[3] = {};
  int k = 0;
  for (const auto& place : places) {
    tree.SetOffsetY(static_cast<int>(-place.top));
    inits = draws = 0;
    tree.measured = 0;
    RECT window = client;
    OffsetRect(&window, -tree.OffsetX(), -tree.OffsetY());
    // The first paint initialises the rows; the figure is the best of ten.
    tree.PaintTree(dc.Get(), window, POINT{0, 0}, kv::kPaintRequestOptions);
    const long firstInits = inits, firstMeasures = tree.measured, firstDraws = draws;
    double best = 1e9;
    for (int round = 0; round < 10; ++round)
      best = std::min(best, Seconds([&] { tree.PaintTree(dc.Get(), window, POINT{0, 0}, kv::kPaintRequestOptions); }));
    times[k++] = best;
    std::printf("%2u-pixel rows, %-6s: %7.2f ms per full paint; first paint: %ld inits, %ld measures, "
                "%ld draws (rows on screen + 1 = %ld)\n",
                rowHeight, place.name, best * 1e3, firstInits, firstMeasures, firstDraws,
                static_cast<long>(client.bottom / static_cast<long>(rowHeight)) + 1);
  }
  std::printf("%2u-pixel rows: bottom/top %.2f, cache %s\n", rowHeight, times[2] / times[0],
              tree.TreeStates().Contains(kv::tsUseCache) ? "valid" : "NOT valid");
}

void CheckChanges() {
  auto run = [](std::uint32_t n, bool inUpdate) {
    kv::TLazyTreeModel tree;
    tree.SetRootNodeCount(n);
    for (PLazyNode node = tree.GetFirst(); node != nullptr; node = tree.GetNextSibling(node))
      node->CheckType = kv::ctCheckBox;
    return Seconds([&] {
      if (inUpdate) tree.BeginUpdate();
      for (PLazyNode node = tree.GetFirst(); node != nullptr; node = tree.GetNextSibling(node))
        tree.SetCheckState(node, kv::csCheckedNormal);
      if (inUpdate) tree.EndUpdate();
    });
  };
  const double inside = run(100000, true), outside = run(100000, false), outside2 = run(200000, false);
  std::printf("SetCheckState 100k: %.3f s inside an update, %.3f s outside; 200k/100k outside %.2f\n",
              inside, outside, outside2 / outside);

  kv::TLazyTreeModel tree;
  PLazyNode parent = tree.AddChild(nullptr);
  tree.InitNode(parent);
  parent->CheckType = kv::ctTriStateCheckBox;
  tree.SetChildCount(parent, 100000);
  for (PLazyNode c = tree.GetFirstChild(parent); c != nullptr; c = tree.GetNextSibling(c))
    c->CheckType = kv::ctCheckBox;
  long events = 0;
  tree.OnChecked = [&](kv::TLazyTreeModel&, PLazyNode) { ++events; };
  const double click = Seconds([&] { tree.SetCheckState(parent, kv::csCheckedNormal); });
  std::printf("Checking a tri-state parent of 100k children: %.3f s, %ld OnChecked\n", click, events);
}

}  // namespace

int main() {
  try {
    FullPaints(18);
    FullPaints(32);
    CheckChanges();
  } catch (const std::exception& e) {
    std::printf("failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
