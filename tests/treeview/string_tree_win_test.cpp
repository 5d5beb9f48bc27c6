// The string tree: default and owner texts, the width cache, shortened texts
// in narrow cells, multi-line heights, the prefix search and texts painted
// alike whether the whole window or a part of it is painted.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>

#include "base/scope_guard.h"
#include "tests/treeview/save_shot_win.h"
#include "tests/treeview/tree_on_form_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"

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

// Without columns the widest painted row sets the horizontal range: texts
// that fit leave the bar hidden, a longer one brings it after the paint, and
// the bar's end shows the text's end.
TEST_F(StringTree, WithoutColumnsTheWidestPaintedRowSetsTheHorizontalBar) {
  HWND hwnd = tree->Handle();
  const auto barShown = [&] { return (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_HSCROLL) != 0; };
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_FALSE(barShown());
  EXPECT_LT(static_cast<int>(tree->RangeX()), tree->ViewWidth());

  texts[nodes[1]] = std::wstring(60, L'W') + L"|";
  tree->InvalidateNode(nodes[1]);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  ASSERT_TRUE(barShown());
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE};
  ASSERT_TRUE(GetScrollInfo(hwnd, SB_HORZ, &si));
  EXPECT_EQ(si.nMax, static_cast<int>(tree->RangeX()));
  EXPECT_GT(si.nMax, static_cast<int>(si.nPage));

  SendMessageW(hwnd, WM_HSCROLL, SB_RIGHT, 0);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(tree->OffsetX(), tree->ViewWidth() - static_cast<int>(tree->RangeX()));
  // The text's last stroke sits just before the margins at the right edge.
  const ui::TBitmap shot = test::PrintClient(hwnd);
  const TLazyRect row = tree->GetDisplayRect(nodes[1], kNoColumn, false);
  int rightmost = -1;
  for (int y = row.Top; y < row.Bottom; ++y)
    for (int x = 0; x < tree->ViewWidth(); ++x)
      if ((shot.Pixel(x, y) & 0xFFFFFFu) == 0) rightmost = std::max(rightmost, x);
  const int textEnd = tree->ViewWidth() - tree->Margin() - tree->TextMargin();
  EXPECT_LE(rightmost, textEnd);
  EXPECT_GE(rightmost, textEnd - 4);

  // Scrolled to the wide row's end, a short row is brought into view sideways
  // by its own text, not by the whole row's width; once shown it stays put.
  ASSERT_TRUE(tree->ScrollIntoView(nodes[0], false, true));
  const TLazyRect label = tree->GetDisplayRect(nodes[0], kNoColumn, true, true);
  EXPECT_GE(label.Left, 0);
  EXPECT_LE(label.Right, tree->ViewWidth());
  EXPECT_FALSE(tree->ScrollIntoView(nodes[0], false, true));

  // The range follows the rows still shown: with the wide row gone, or folded
  // away under its parent, the rows come back into view and the bar goes.
  tree->DeleteNode(nodes[1]);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(tree->OffsetX(), 0);
  EXPECT_LT(static_cast<int>(tree->RangeX()), tree->ViewWidth());
  EXPECT_FALSE(barShown());
  PLazyNode wide = tree->AddChild(nodes[0]);
  texts[wide] = std::wstring(60, L'W');
  tree->ToggleNode(nodes[0]);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  SendMessageW(hwnd, WM_HSCROLL, SB_RIGHT, 0);
  ASSERT_LT(tree->OffsetX(), 0);
  tree->ToggleNode(nodes[0]);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(tree->OffsetX(), 0);
  EXPECT_FALSE(barShown());
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

// A part of the window (a hint hiding, a strip uncovered by scrolling) is
// painted as the whole window paints it: the text is placed in the row's
// whole width, not in the painted part's.
TEST_F(StringTree, PaintedInPartAsWhole) {
  texts[nodes[0]] = L"First row";
  texts[nodes[1]] = L"A longer second row";
  const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  auto paint = [&](const RECT& part) {
    ui::TBitmap shot;
    shot.Create(300, 200);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
    tree->PaintTree(dc.Get(), part, POINT{part.left, part.top}, kPaintRequestOptions);
    GdiFlush();
    return shot;
  };
  using enum TLTAlignment;
  const std::pair<TLTBidiMode, TLTAlignment> cases[] = {{TLTBidiMode::bdLeftToRight, taLeftJustify},
                                                        {TLTBidiMode::bdRightToLeft, taLeftJustify},
                                                        {TLTBidiMode::bdLeftToRight, taRightJustify},
                                                        {TLTBidiMode::bdLeftToRight, taCenter}};
  for (const auto& [bidi, alignment] : cases) {
    tree->SetBiDiMode(bidi);
    tree->SetAlignment(alignment);
    const ui::TBitmap whole = paint(RECT{0, 0, 300, 200});
    for (const int left : {0, 150}) {
      const ui::TBitmap shot = paint(RECT{left, 0, left + 150, 200});
      int differ = 0;
      for (int y = 0; y < 200; ++y)
        for (int x = left; x < left + 150; ++x) differ += shot.Pixel(x, y) != whole.Pixel(x, y);
      EXPECT_EQ(differ, 0) << "bidi " << static_cast<int>(bidi) << ", alignment " << static_cast<int>(alignment)
                           << ", from x = " << left;
    }
  }
  // A row wider than the window below short ones: the first paint, which
  // measures it, already places the short rows as every later paint does.
  texts[nodes[2]] = std::wstring(60, L'W');
  tree->InvalidateNode(nodes[2]);
  for (const auto& [bidi, alignment] : cases) {
    if (bidi == TLTBidiMode::bdLeftToRight && alignment == taLeftJustify) continue;
    tree->SetBiDiMode(bidi);
    tree->SetAlignment(alignment);
    tree->ResetRangeX();
    const ui::TBitmap first = paint(RECT{0, 0, 300, 200});
    const ui::TBitmap whole = paint(RECT{0, 0, 300, 200});
    const ui::TBitmap shortRows = paint(RECT{0, 0, 300, 36});
    int differ = 0, differShort = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 300; ++x) {
        differ += first.Pixel(x, y) != whole.Pixel(x, y);
        if (y < 36) differShort += shortRows.Pixel(x, y) != whole.Pixel(x, y);
      }
    EXPECT_EQ(differ, 0) << "first paint, bidi " << static_cast<int>(bidi) << ", alignment "
                         << static_cast<int>(alignment);
    EXPECT_EQ(differShort, 0) << "short rows, bidi " << static_cast<int>(bidi) << ", alignment "
                              << static_cast<int>(alignment);
  }
}

// The text is drawn on a transparent background unless the owner asks for an
// opaque one while it prepares the canvas: the normal text of the first row,
// the static text of the second.
TEST_F(StringTree, OwnerMayAskForAnOpaqueTextBackground) {
  constexpr COLORREF kBack = RGB(255, 0, 255);
  tree->GetOptions().SetStringOptions(tree->GetOptions().StringOptions() | toShowStaticText);
  tree->OnGetText = [&](TBaseLazyTree&, PLazyNode n, TColumnIndex, TLSTTextType type, std::wstring& text) {
    text = type == TLSTTextType::ttStatic ? (n == nodes[1] ? L"static" : L"") : L"normal";
  };
  tree->OnPaintText = [&](TBaseLazyTree&, HDC dc, PLazyNode n, TColumnIndex, TLSTTextType type) {
    SetBkColor(dc, kBack);
    if ((n == nodes[0] && type == TLSTTextType::ttNormal) || (n == nodes[1] && type == TLSTTextType::ttStatic))
      SetBkMode(dc, OPAQUE);
  };
  const ui::TBitmap shot = test::PrintClient(tree->Handle());
  auto backed = [&](PLazyNode n) {  // background-coloured pixels in the row
    const TLazyRect row = tree->GetDisplayRect(n, kNoColumn, false);
    int count = 0;
    for (int y = row.Top; y < row.Bottom; ++y)
      for (int x = 0; x < 300; ++x) count += shot.Pixel(x, y) == 0xFF00FFu;
    return count;
  };
  EXPECT_GT(backed(nodes[0]), 20);
  EXPECT_GT(backed(nodes[1]), 20);
  EXPECT_EQ(backed(nodes[2]), 0);
}

// A font the owner sets only for painting (the width was measured without
// it) is measured again: the static text follows the text as painted.
TEST_F(StringTree, AFontSetForPaintingIsMeasuredAgain) {
  tree->GetOptions().SetStringOptions(tree->GetOptions().StringOptions() | toShowStaticText);
  bool wide = false;
  const ui::FontObject wideFont(CreateFontW(16, 20, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
  tree->OnGetText = [](TBaseLazyTree&, PLazyNode, TColumnIndex, TLSTTextType type, std::wstring& text) {
    text = type == TLSTTextType::ttStatic ? L"static" : L"normal";
  };
  tree->OnPaintText = [&](TBaseLazyTree&, HDC dc, PLazyNode, TColumnIndex, TLSTTextType type) {
    if (type == TLSTTextType::ttStatic)
      SetTextColor(dc, RGB(255, 0, 0));
    else if (wide)
      SelectObject(dc, wideFont.Get());
  };
  const ScopeGuard unhook([this] {
    tree->OnPaintText = nullptr;
    tree->OnGetText = nullptr;
  });
  const TLazyRect label = tree->GetDisplayRect(nodes[0], kNoColumn, true);  // measured narrow
  ASSERT_LT(label.Right - label.Left, 100);
  wide = true;
  const ui::TBitmap shot = test::PrintClient(tree->Handle());
  int firstRed = 300;
  for (int y = label.Top; y < label.Bottom; ++y)
    for (int x = 0; x < 300; ++x)
      if ((shot.Pixel(x, y) & 0xFFFFFFu) == 0xFF0000u) firstRed = std::min(firstRed, x);
  EXPECT_GT(firstRed, label.Left + 6 * 15);  // after six wide letters
  EXPECT_LT(firstRed, 300);
}

}  // namespace
}  // namespace kv
