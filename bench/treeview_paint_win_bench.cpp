// Tree painting under Wine: a full paint of an 800 x 600 client over 1M
// top-level nodes at the top, middle and bottom (18- and 32-pixel rows, the
// position cache valid) with the number of init, measure and draw calls per
// paint; 100k plain check boxes changed by SetCheckState inside and outside
// an update (and 200k against 100k outside); one check of a tri-state parent
// with 100k children. Input at the bottom of 1M rows (cache valid): a hit
// test, a click, Page Down and End; incremental search keystrokes over 100k
// string nodes; and the text measures of a first and a second paint of a
// screen of string rows (the second should measure none: widths are cached).
//
// Figures are printed, not asserted. Run the .exe of the Windows build's
// "benchmarks" target under Wine.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>

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

// Waits (pumping) until the tree's position cache is valid.
bool WaitForCache(kv::TBaseLazyTree& tree) {
  for (int i = 0; i < 20000 && !tree.TreeStates().Contains(kv::tsUseCache); ++i) {
    Pump();
    Sleep(1);
  }
  return tree.TreeStates().Contains(kv::tsUseCache);
}

template <class F>
double BestOf(int rounds, F&& f) {
  double best = 1e9;
  for (int i = 0; i < rounds; ++i) best = std::min(best, Seconds(f));
  return best;
}

void InputAtTheBottom(std::uint32_t count) {
  kv::ui::TForm form;
  auto& tree = form.Create<kv::TLazyDrawTree>();
  tree.SetParent(&form);
  form.SetClientWidth(820);
  form.SetClientHeight(620);
  tree.SetBorderStyle(kv::TTreeBorderStyle::bsNone);
  tree.SetBounds(0, 0, 800, 600);
  tree.OnGetNodeWidth = [](kv::TBaseLazyTree&, HDC, PLazyNode, kv::TColumnIndex, int& width) { width = 200; };
  form.Show();
  tree.SetRootNodeCount(count);
  const bool cached = WaitForCache(tree);
  HWND hwnd = tree.Handle();
  SetFocus(hwnd);
  RECT client;
  GetClientRect(hwnd, &client);
  // A walk over every row, the cost each key must stay well below.
  long rows = 0;
  const double walk = Seconds([&] {
    for (PLazyNode n = tree.GetFirstVisible(); n != nullptr; n = tree.GetNextVisible(n)) ++rows;
  });
  tree.SetOffsetY(-2147483647);  // clamped to the bottom
  const int y = client.bottom - 5;
  kv::TTreeHitInfo hit;
  const double hitTest = BestOf(100, [&] { tree.GetHitTestInfoAt(40, y, true, hit); });
  const PLazyNode hitNode = hit.HitNode;
  const double click = BestOf(20, [&] {
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, y));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(40, y));
  });
  const bool clickFocused = hitNode != nullptr && tree.FocusedNode() == hitNode;
  auto key = [&](WPARAM vk) {
    SendMessageW(hwnd, WM_KEYDOWN, vk, 1);
    SendMessageW(hwnd, WM_KEYUP, vk, 0xC0000001);
  };
  // Page Down from a row a few screens above the end, again each round.
  const PLazyNode start = tree.GetPreviousVisible(tree.GetPreviousVisible(tree.GetLastVisible()));
  double pageDown = 1e9;
  for (int i = 0; i < 20; ++i) {
    PLazyNode from = start;
    for (int k = 0; k < 200; ++k) from = tree.GetPreviousVisible(from);
    tree.SetFocusedNode(from);
    pageDown = std::min(pageDown, Seconds([&] { key(VK_NEXT); }));
  }
  double end = 1e9;
  for (int i = 0; i < 20; ++i) {
    tree.SetFocusedNode(start);
    end = std::min(end, Seconds([&] { key(VK_END); }));
  }
  const bool endFocused = tree.FocusedNode() == tree.GetLastVisible();
  std::printf("%uk rows, bottom (cache %s): hit test %.3f ms, click %.3f ms%s, Page Down %.3f ms, "
              "End %.3f ms%s; a walk over all %ld rows takes %.1f ms\n",
              count / 1000, cached ? "valid" : "NOT valid", hitTest * 1e3, click * 1e3,
              clickFocused ? "" : " (did NOT focus the row)", pageDown * 1e3, end * 1e3,
              endFocused ? "" : " (did NOT reach the last row)", rows, walk * 1e3);
}

void IncrementalSearch() {
  kv::ui::TForm form;
  auto& tree = form.Create<kv::TLazyStringTree>();
  tree.SetParent(&form);
  tree.SetBounds(0, 0, 400, 300);
  tree.OnGetText = [](kv::TBaseLazyTree&, PLazyNode node, kv::TColumnIndex, kv::TLSTTextType,
                      std::wstring& text) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"n%06u", node->Index);
    text = buffer;
  };
  form.Show();
  tree.SetRootNodeCount(100000);
  tree.SetIncrementalSearch(kv::TLTIncrementalSearch::isAll);
  tree.SetIncrementalSearchTimeout(1000000);
  HWND hwnd = tree.Handle();
  SetFocus(hwnd);
  tree.SetFocusedNode(tree.GetFirst());
  // The last "9" walks 90k nodes to the last one, "x" matches nothing and
  // goes once round all of them.
  tree.SetBeepHook([] {});
  const wchar_t* typed = L"n099999x";
  std::printf("Incremental search over 100k string nodes, per keystroke:");
  double worst = 0;
  for (const wchar_t* c = typed; *c != 0; ++c) {
    const WPARAM vk = *c >= L'a' && *c <= L'z' ? *c - L'a' + 'A' : *c;
    const double t = Seconds([&] {
      SendMessageW(hwnd, WM_KEYDOWN, vk, 1);
      SendMessageW(hwnd, WM_CHAR, *c, 1);
      SendMessageW(hwnd, WM_KEYUP, vk, 0xC0000001);
    });
    worst = std::max(worst, t);
    std::printf(" '%lc' %.1f ms", static_cast<wint_t>(*c), t * 1e3);
  }
  std::printf("; worst %.1f ms, focus on \"n%06u\"\n", worst * 1e3,
              tree.FocusedNode() ? tree.FocusedNode()->Index : 0u);
}

void TextMeasures() {
  kv::ui::TForm form;
  auto& tree = form.Create<kv::TLazyStringTree>();
  tree.SetParent(&form);
  form.SetClientWidth(820);
  form.SetClientHeight(620);
  tree.SetBorderStyle(kv::TTreeBorderStyle::bsNone);
  tree.SetBounds(0, 0, 800, 600);
  // OnPaintText runs once per drawn row and once per text measured.
  long painted = 0, drawn = 0;
  tree.OnPaintText = [&](kv::TBaseLazyTree&, HDC, PLazyNode, kv::TColumnIndex, kv::TLSTTextType) {
    ++painted;
  };
  tree.OnGetText = [](kv::TBaseLazyTree&, PLazyNode node, kv::TColumnIndex, kv::TLSTTextType,
                      std::wstring& text) { text = L"Row number " + std::to_wstring(node->Index); };
  // The form stays hidden: no paint of the window's own measures the rows first.
  tree.SetRootNodeCount(1000);
  RECT client;
  GetClientRect(tree.Handle(), &client);
  kv::ui::TBitmap target;
  target.Create(client.right, client.bottom);
  const kv::ui::MemoryDc dc = kv::ui::CreateMemoryDc(nullptr);
  const kv::ui::SelectedObject selected = kv::ui::SelectInto(dc.Get(), target.Handle());
  const long rowsOnScreen = client.bottom / static_cast<long>(tree.DefaultNodeHeight()) + 1;
  RECT window = client;
  long measures[2] = {};
  double times[2] = {};
  for (int i = 0; i < 2; ++i) {
    painted = 0;
    times[i] = Seconds([&] { tree.PaintTree(dc.Get(), window, POINT{0, 0}, kv::kPaintRequestOptions); });
    drawn = std::min<long>(rowsOnScreen, 1000);
    measures[i] = painted - drawn;
  }
  std::printf("A screen of %ld string rows: first paint %.2f ms with %ld text measures, second %.2f ms "
              "with %ld\n",
              drawn, times[0] * 1e3, measures[0], times[1] * 1e3, measures[1]);
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
    InputAtTheBottom(100000);
    InputAtTheBottom(1000000);
    IncrementalSearch();
    TextMeasures();
  } catch (const std::exception& e) {
    std::printf("failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
