// The string tree: default and owner texts, the width cache, shortened texts
// in narrow cells, multi-line heights and the prefix search.

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "tests/treeview/tree_on_form_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"

namespace kv {
namespace {

class StringTree : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &test::PlaceTree<TLazyStringTree>(form);
    form.Show();
    tree->SetRootNodeCount(4);
    for (PLazyNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n)) nodes.push_back(n);
    tree->OnGetText = [this](TBaseLazyTree&, PLazyNode n, TColumnIndex, TLSTTextType, std::wstring& text) {
      ++asked;
      if (auto it = texts.find(n); it != texts.end()) text = it->second;
    };
    tree->OnPaintText = [this](TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, TLSTTextType) { ++measured; };
  }
  void Paint() {
    const ui::WindowDc screen = ui::GetClientDc(nullptr);
    ui::MemoryDc dc = ui::CreateMemoryDc(screen.Get());
    ui::BitmapObject bitmap(CreateCompatibleBitmap(screen.Get(), 300, 200));
    const int saved = SaveDC(dc.Get());
    SelectObject(dc.Get(), bitmap.Get());
    SendMessageW(tree->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
    RestoreDC(dc.Get(), saved);
  }
  ui::TForm form;
  TLazyStringTree* tree = nullptr;
  std::vector<PLazyNode> nodes;
  std::map<PLazyNode, std::wstring> texts;
  int asked = 0, measured = 0;
};

TEST_F(StringTree, TextsAndTheWidthCache) {
  texts[nodes[1]] = L"Second";
  EXPECT_EQ(tree->GetText(nodes[0], kNoColumn), L"Node");
  EXPECT_EQ(tree->GetText(nodes[1], kNoColumn), L"Second");
  std::wstring stored;
  tree->OnNewText = [&](TBaseLazyTree&, PLazyNode, TColumnIndex, const std::wstring& t) { stored = t; };
  tree->SetText(nodes[2], kNoColumn, L"new");
  EXPECT_EQ(stored, L"new");
  EXPECT_THROW(tree->GetText(nullptr, kNoColumn), ELazyTreeAssertion);

  Paint();
  const int first = measured;
  EXPECT_GT(first, 0);
  // A second paint measures no text: the widths are cached.
  measured = 0;
  Paint();
  const int paintsOnly = measured;
  Paint();
  EXPECT_EQ(measured, 2 * paintsOnly);
  measured = 0;
  tree->InvalidateNode(nodes[1]);
  Paint();
  EXPECT_EQ(measured, paintsOnly + 1);  // one node measured again
}

TEST_F(StringTree, WithoutColumnsLongTextsScrollRatherThanShorten) {
  texts[nodes[0]] = std::wstring(200, L'W');
  bool shortened = false;
  tree->OnShortenString = [&](TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, const std::wstring&, int,
                              std::wstring&, bool&) { shortened = true; };
  Paint();
  EXPECT_FALSE(shortened);
}

TEST_F(StringTree, MultiLineNodesGrowWithTheirText) {
  texts[nodes[0]] = L"one two three four five six seven eight nine ten eleven twelve thirteen fourteen";
  tree->SetMultiLine(nodes[0], true);
  const int single = static_cast<int>(tree->NodeHeight(nodes[1]));
  const int needed = tree->ComputeNodeHeight(nullptr, nodes[0], kNoColumn);
  EXPECT_GT(needed, single);
  EXPECT_EQ(tree->ComputeNodeHeight(nullptr, nodes[1], kNoColumn), single);
}

TEST_F(StringTree, SearchIsACaseSensitivePrefixMatch) {
  texts[nodes[0]] = L"apple";
  texts[nodes[1]] = L"Banana";
  texts[nodes[2]] = L"banana";
  texts[nodes[3]] = L"band";
  tree->SetIncrementalSearch(TLTIncrementalSearch::isAll);
  tree->SetIncrementalSearchTimeout(100000);
  tree->SetFocusedNode(nodes[0]);
  for (wchar_t c : std::wstring(L"band")) {
    SendMessageW(tree->Handle(), WM_KEYDOWN, 'B', 1);
    SendMessageW(tree->Handle(), WM_CHAR, c, 1);
  }
  EXPECT_EQ(tree->FocusedNode(), nodes[3]);
}

}  // namespace
}  // namespace kv
