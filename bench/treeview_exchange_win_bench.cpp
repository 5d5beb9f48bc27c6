// Tree data exchange under Wine: a copy of 10k nodes through the OLE
// clipboard and its paste into another tree (copy pasted, and cut pasted,
// which moves the nodes), and the finishing of a cut of 100k of 200k nodes
// in a tree with a window (one update, each parent renumbered once).
//
// Figures are printed, not asserted. Run the .exe of the Windows build's
// "benchmarks" target under Wine.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"

namespace {

using Clock = std::chrono::steady_clock;
using kv::PLazyNode;

template <class F>
double Seconds(F&& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

kv::TLazyStringTree& MakeTree(kv::ui::TForm& form, int left) {
  auto& tree = form.Create<kv::TLazyStringTree>();
  tree.SetParent(&form);
  tree.SetBounds(left, 0, 300, 400);
  tree.TreeOptions().SetSelectionOptions(tree.TreeOptions().SelectionOptions() | kv::toMultiSelect);
  tree.ClipboardFormats().Assign({"Lazy Tree Data"});
  return tree;
}

void Paste(bool cut) {
  kv::ui::TForm form;
  form.SetBounds(0, 0, 640, 440);
  auto& source = MakeTree(form, 0);
  auto& target = MakeTree(form, 320);
  form.Show();
  source.SetRootNodeCount(10000);
  source.SelectAll(false);
  bool placed = false;
  const double put = Seconds([&] { placed = cut ? source.CutToClipboard() : source.CopyToClipboard(); });
  target.SetFocusedNode(nullptr);
  const double paste = Seconds([&] { target.PasteFromClipboard(); });
  std::printf("%s 10000 nodes: to the clipboard %6.3f s (%s), paste %6.3f s; source %u, target %u nodes\n",
              cut ? "cut " : "copy", put, placed ? "ok" : "refused", paste, source.TotalCount(),
              target.TotalCount());
  OpenClipboard(nullptr);
  EmptyClipboard();
  CloseClipboard();
}

void FinishCut() {
  kv::ui::TForm form;
  form.SetBounds(0, 0, 640, 440);
  auto& tree = MakeTree(form, 0);
  form.Show();
  tree.SetRootNodeCount(200000);
  std::vector<PLazyNode> half;
  half.reserve(100000);
  int i = 0;
  for (PLazyNode n = tree.GetFirst(); n != nullptr; n = tree.GetNextSibling(n))
    if (i++ % 2 == 0) half.push_back(n);
  tree.AddToSelection(half.data(), half.size());
  if (!tree.CutToClipboard()) {
    std::printf("cut refused\n");
    return;
  }
  const double finish = Seconds([&] { tree.FinishCutOrCopy(); });
  std::printf("finish cut of 100000 of 200000 nodes (window) %6.3f s, %u left\n", finish, tree.TotalCount());
  OpenClipboard(nullptr);
  EmptyClipboard();
  CloseClipboard();
}

}  // namespace

int main() {
  Paste(false);
  Paste(true);
  FinishCut();
  return 0;
}
