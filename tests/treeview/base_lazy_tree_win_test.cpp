// The tree's window: option side effects, delayed change events, update
// locking, scroll bars, the tree-view protocol, layouts and the worker's
// reports arriving as messages.

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "tests/treeview/tree_checker.h"
#include "treeview/lazy_trees_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "ui/layout_loader_win.h"

namespace kv {
namespace {

void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (static_cast<int>(end - GetTickCount()) > 0) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    ui::Application().ProcessMessages();
  }
}

class DropCountingTree : public TLazyDrawTree {
 public:
  ~DropCountingTree() override { DestroyNodes(); }
  int registered = 0, revoked = 0;

 protected:
  void RegisterDropTarget() override { ++registered; }
  void RevokeDropTarget() override { ++revoked; }
};

class TreeWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCursorPos(&savedCursor);
    tree = &form.Create<DropCountingTree>();
    tree->SetParent(&form);
    form.SetClientWidth(400);
    form.SetClientHeight(300);
    tree->SetBounds(0, 0, 300, 200);
    form.Show();
  }
  // A mouse moved by a test goes back: left over the next test's window it
  // takes back the modifier keys that test holds through the input queue.
  void TearDown() override {
    POINT now{};
    GetCursorPos(&now);
    if (now.x == savedCursor.x && now.y == savedCursor.y) return;
    SetCursorPos(savedCursor.x, savedCursor.y);
    Pump(30);
  }
  HWND Window() { return tree->Handle(); }
  RECT Client() {
    RECT r;
    GetClientRect(Window(), &r);
    return r;
  }
  SCROLLINFO Bar(int bar) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(Window(), bar, &si);
    return si;
  }
  POINT savedCursor{};
  ui::TForm form;
  DropCountingTree* tree = nullptr;
};

TEST_F(TreeWindow, OptionSideEffects) {
  EXPECT_NE(tree->WindowClassStyle() & CS_HREDRAW, 0u);  // toFullRepaintOnResize by default
  const HWND before = Window();
  const int registeredBefore = tree->registered;
  const int revokedBefore = tree->revoked;
  auto& options = tree->TreeOptions();
  // The new window is made inside tsWindowCreating, entered before it exists.
  bool creatingBeforeTheWindow = false;
  tree->OnStateChange = [&](TLazyTreeModel&, TLazyTreeStates enter, TLazyTreeStates) {
    if (enter.Contains(tsWindowCreating) && !tree->HandleAllocated()) creatingBeforeTheWindow = true;
  };
  options.SetMiscOptions(options.MiscOptions() & ~toFullRepaintOnResize);
  tree->OnStateChange = nullptr;
  EXPECT_TRUE(creatingBeforeTheWindow);
  EXPECT_FALSE(tree->TreeStates().Contains(tsWindowCreating));
  EXPECT_NE(Window(), before);  // remade with the other class
  EXPECT_EQ(tree->WindowClassStyle() & (CS_HREDRAW | CS_VREDRAW), 0u);
  // The old window revoked, the new one registers again.
  EXPECT_EQ(tree->revoked, revokedBefore + 1);
  EXPECT_EQ(tree->registered, registeredBefore + 1);

  options.SetMiscOptions(options.MiscOptions() & ~toAcceptOLEDrop);
  EXPECT_EQ(tree->revoked, revokedBefore + 2);
  options.SetMiscOptions(options.MiscOptions() | toAcceptOLEDrop);
  EXPECT_EQ(tree->registered, registeredBefore + 2);

  options.SetPaintOptions(options.PaintOptions() & ~toThemeAware);
  EXPECT_FALSE(tree->TreeStates().Contains(tsUseThemes));
  options.SetPaintOptions(options.PaintOptions() | toThemeAware);
  EXPECT_EQ(tree->TreeStates().Contains(tsUseThemes), ui::VisualStylesEnabled());

  tree->ScrollBarOptions().SetScrollBars(TScrollStyle::ssNone);
  EXPECT_EQ(GetWindowLongW(Window(), GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL), 0);
  tree->SetBorderStyle(TTreeBorderStyle::bsNone);
  EXPECT_EQ(GetWindowLongW(Window(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
}

TEST_F(TreeWindow, DelayedChangesArriveOnceForTheLastNode) {
  tree->TreeOptions().SetSelectionOptions(toMultiSelect);
  tree->SetRootNodeCount(20);
  tree->SetChangeDelay(100);
  int changes = 0;
  PLazyNode last = nullptr;
  tree->OnChange = [&](TLazyTreeModel&, PLazyNode n) {
    ++changes;
    last = n;
  };
  std::vector<TChangeReason> reasons;
  tree->OnStructureChange = [&](TLazyTreeModel&, PLazyNode, TChangeReason r) { reasons.push_back(r); };
  PLazyNode n = tree->GetFirst();
  PLazyNode tenth = nullptr;
  for (int i = 0; i < 10; ++i, n = tree->GetNext(n)) {
    tree->SetSelected(n, true);
    tenth = n;
  }
  tree->AddChild(nullptr);
  tree->DeleteNode(tree->GetLast());
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(reasons.empty());
  Pump(400);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(last, tenth);
  EXPECT_EQ(reasons, std::vector<TChangeReason>{TChangeReason::crAccumulated});
  // A selected node deleted outside an update reports at once.
  tree->DeleteNode(tree->GetFirst());
  EXPECT_EQ(changes, 2);
}

TEST_F(TreeWindow, UpdateLockingStopsRedrawAndRepaintsAfterwards) {
  std::vector<TLTUpdateState> states;
  tree->OnUpdating = [&](TLazyTreeModel&, TLTUpdateState s) { states.push_back(s); };
  UpdateWindow(Window());
  tree->BeginUpdate();
  EXPECT_EQ(GetWindowLongW(Window(), GWL_STYLE) & WS_VISIBLE, 0);  // WM_SETREDRAW FALSE
  tree->BeginUpdate();
  tree->SetRootNodeCount(30);
  tree->EndUpdate();
  EXPECT_EQ(GetWindowLongW(Window(), GWL_STYLE) & WS_VISIBLE, 0);
  tree->EndUpdate();
  EXPECT_NE(GetWindowLongW(Window(), GWL_STYLE) & WS_VISIBLE, 0);
  RECT dirty{};
  EXPECT_TRUE(GetUpdateRect(Window(), &dirty, FALSE));
  // Outer begin, inner begin, RootNodeCount's own pair, inner end, outer end.
  EXPECT_EQ(states, (std::vector<TLTUpdateState>{TLTUpdateState::usBegin, TLTUpdateState::usUpdate,
                                                 TLTUpdateState::usUpdate, TLTUpdateState::usUpdate,
                                                 TLTUpdateState::usUpdate, TLTUpdateState::usEnd}));
}

TEST_F(TreeWindow, ScrollBarsFollowTheRanges) {
  tree->SetRootNodeCount(3);
  EXPECT_EQ(GetWindowLongW(Window(), GWL_STYLE) & WS_VSCROLL, 0);  // nothing to scroll
  tree->SetRootNodeCount(1000);
  SCROLLINFO v = Bar(SB_VERT);
  EXPECT_NE(GetWindowLongW(Window(), GWL_STYLE) & WS_VSCROLL, 0);
  EXPECT_EQ(v.nMax, 18000);
  EXPECT_EQ(v.nPage, static_cast<UINT>(Client().bottom + 1));
  tree->SetOffsetY(-500);
  EXPECT_EQ(Bar(SB_VERT).nPos, 500);
  SendMessageW(Window(), WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(tree->OffsetY(), -500 - Client().bottom);

  tree->SetRootNodeCount(300000);  // past the 16 bits of the message
  SCROLLINFO pos{};
  pos.cbSize = sizeof pos;
  pos.fMask = SIF_POS;
  pos.nPos = 5000000;
  SetScrollInfo(Window(), SB_VERT, &pos, FALSE);
  SendMessageW(Window(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 5000000 & 0xFFFF), 0);
  SendMessageW(Window(), WM_VSCROLL, SB_ENDSCROLL, 0);
  EXPECT_EQ(tree->OffsetY(), -5000000);
  EXPECT_EQ(Bar(SB_VERT).nPos, 5000000);

  tree->Clear();
  tree->ScrollBarOptions().SetAlwaysVisible(true);
  tree->SetRootNodeCount(2);
  EXPECT_NE(GetWindowLongW(Window(), GWL_STYLE) & WS_VSCROLL, 0);

  // A bar the settings leave out is hidden, whoever showed it.
  tree->ScrollBarOptions().SetAlwaysVisible(false);
  tree->ScrollBarOptions().SetScrollBars(TScrollStyle::ssHorizontal);
  tree->SetRootNodeCount(1000);
  ShowScrollBar(Window(), SB_VERT, TRUE);
  tree->UpdateScrollBars(true);
  EXPECT_EQ(GetWindowLongW(Window(), GWL_STYLE) & WS_VSCROLL, 0);
}

// Over a background picture a scroll paints the whole client again; the
// child windows move with the rows.
TEST_F(TreeWindow, ScrollingOverABackgroundPictureRepaintsAll) {
  tree->SetRootNodeCount(100);
  HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 40, 30, 20, Window(), nullptr,
                               nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  tree->SetBackground(std::make_shared<const ui::BitmapObject>(CreateBitmap(8, 8, 1, 32, nullptr)));
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowBackground);
  UpdateWindow(Window());
  tree->SetOffsetY(-18);
  RECT dirty{};
  EXPECT_TRUE(GetUpdateRect(Window(), &dirty, FALSE));
  const RECT client = Client();
  EXPECT_TRUE(EqualRect(&dirty, &client));
  RECT at{};
  GetWindowRect(child, &at);
  MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&at), 2);
  EXPECT_EQ(at.top, 40 - 18);
  DestroyWindow(child);
}

TEST_F(TreeWindow, TreeViewProtocolFromAnotherThread) {
  tree->TreeOptions().SetSelectionOptions(toMultiSelect);
  test::Populate(*tree, 3, 2);
  PLazyNode a = tree->GetFirst();
  PLazyNode b = a->NextSibling;
  tree->ToggleNode(a);
  tree->SetSelected(a->FirstChild, true);
  tree->SetFocusedNode(b);
  PLazyNode stale = tree->AddChild(b);
  tree->DeleteNode(stale);
  tree->OnGetImageIndex = [](TBaseLazyTree&, PLazyNode, TLTImageKind kind, TColumnIndex, bool&, int& index) {
    index = kind == TLTImageKind::ikNormal ? 4 : kind == TLTImageKind::ikSelected ? 5
          : kind == TLTImageKind::ikState ? 2 : 0;
  };
  const HWND hwnd = Window();
  struct Answers {
    LRESULT root, parentOfTop, child, next, staleNext, lastVisible, caret, unknown;
    LRESULT itemOk, itemStale, staleRect, hiddenRect, shownRect;
    TVITEMA item;
    char text[8];
    RECT rect;
  } got{};
  std::atomic<bool> done{false};
  std::thread other([&] {
    auto next = [&](WPARAM flag, PLazyNode n) {
      return SendMessageW(hwnd, TVM_GETNEXTITEM, flag, reinterpret_cast<LPARAM>(n));
    };
    got.root = next(TVGN_ROOT, nullptr);
    got.parentOfTop = next(TVGN_PARENT, a);
    got.child = next(TVGN_CHILD, a);
    got.next = next(TVGN_NEXT, a);
    got.staleNext = next(TVGN_NEXT, stale);
    got.lastVisible = next(TVGN_LASTVISIBLE, nullptr);
    got.caret = next(TVGN_CARET, nullptr);
    got.unknown = next(0x77, a);
    std::memcpy(got.text, "xxxxxxx", 8);
    got.item.mask = TVIF_HANDLE | TVIF_STATE | TVIF_TEXT | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    got.item.hItem = reinterpret_cast<HTREEITEM>(a->FirstChild);
    got.item.pszText = got.text;
    got.item.cchTextMax = 0;  // nothing may be written
    got.itemOk = SendMessageW(hwnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&got.item));
    TVITEMA staleItem{};
    staleItem.mask = TVIF_HANDLE | TVIF_TEXT;
    staleItem.hItem = reinterpret_cast<HTREEITEM>(stale);
    staleItem.pszText = got.text;
    staleItem.cchTextMax = 8;
    got.itemStale = SendMessageW(hwnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&staleItem));
    auto rectOf = [&](PLazyNode n) {
      std::memcpy(&got.rect, &n, sizeof n);
      return SendMessageW(hwnd, TVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&got.rect));
    };
    got.staleRect = rectOf(stale);
    got.hiddenRect = rectOf(b->FirstChild);
    got.shownRect = rectOf(a->FirstChild);
    done = true;
  });
  while (!done) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    ui::Application().ProcessMessages();
  }
  other.join();
  EXPECT_EQ(got.root, reinterpret_cast<LRESULT>(a));
  EXPECT_EQ(got.parentOfTop, 0);
  EXPECT_EQ(got.child, reinterpret_cast<LRESULT>(a->FirstChild));
  EXPECT_EQ(got.next, reinterpret_cast<LRESULT>(b));
  EXPECT_EQ(got.staleNext, 0);
  EXPECT_EQ(got.lastVisible, reinterpret_cast<LRESULT>(tree->GetLastVisible()));
  EXPECT_EQ(got.caret, reinterpret_cast<LRESULT>(b));
  EXPECT_EQ(got.unknown, 0);
  EXPECT_EQ(got.itemOk, 1);
  // Selected, state image 2 and overlay 0, each + 1 in their fields.
  EXPECT_EQ(got.item.state, static_cast<UINT>(TVIS_SELECTED | INDEXTOSTATEIMAGEMASK(3) | INDEXTOOVERLAYMASK(1)));
  EXPECT_EQ(got.item.iImage, 4);
  EXPECT_EQ(got.item.iSelectedImage, 5);
  EXPECT_EQ(got.item.cChildren, 0);
  EXPECT_STREQ(got.text, "xxxxxxx");
  EXPECT_EQ(got.itemStale, 0);
  EXPECT_EQ(got.staleRect, 0);
  EXPECT_EQ(got.hiddenRect, 0);
  EXPECT_EQ(got.shownRect, 1);
  EXPECT_EQ(got.rect.top, 18);
  EXPECT_EQ(got.rect.bottom, 36);
}

TEST_F(TreeWindow, WorkerReportsArriveAsMessages) {
  tree->SetRootNodeCount(5000);
  for (int i = 0; i < 500 && !tree->TreeStates().Contains(tsUseCache); ++i) Pump(10);
  ASSERT_TRUE(tree->TreeStates().Contains(tsUseCache));
  EXPECT_EQ(tree->PositionCache(), tree->BuildCacheNow());
  EXPECT_EQ(tree->PositionCache().size(), 3u);
  // Trees destroyed while the worker builds for them.
  for (int round = 0; round < 20; ++round) {
    auto& doomed = form.Create<TLazyDrawTree>();
    doomed.SetParent(&form);
    doomed.SetRootNodeCount(100000);
    Sleep(round % 3);
    form.FreeComponent(&doomed);
  }
  EXPECT_TREE_OK(*tree);
}

TEST_F(TreeWindow, AnimatedToggleKeepsTheCounts) {
  test::Populate(*tree, 5, 4);
  tree->SetAnimationDuration(60);
  tree->ToggleNode(tree->GetFirst());
  tree->ToggleNode(tree->GetFirst());
  EXPECT_FALSE(tree->TreeStates().Contains(tsInAnimation));
  EXPECT_EQ(tree->VisibleCount(), 5u);
  EXPECT_TREE_OK(*tree);
}

TEST_F(TreeWindow, BandAtTheBottomEdgeScrollsAfterTheDelay) {
  tree->TreeOptions().SetSelectionOptions(toMultiSelect);
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoScroll);
  tree->SetAutoScrollDelay(50);
  tree->SetRootNodeCount(100);
  const int bottom = Client().bottom;
  POINT at{50, bottom - 5};
  ClientToScreen(Window(), &at);
  SetCursorPos(at.x, at.y);
  tree->BeginDrawSelection(5, 5, false);
  tree->DoAutoScroll(50, bottom - 5);
  EXPECT_EQ(tree->OffsetY(), 0);
  Pump(80);
  tree->DoAutoScroll(50, bottom - 5);  // rested long enough: the timer starts
  EXPECT_EQ(tree->OffsetY(), 0);
  Pump(400);
  EXPECT_LT(tree->OffsetY(), 0);
  EXPECT_GT(tree->SelectedCount(), 0u);
  tree->EndDrawSelection();
  tree->DoAutoScroll(50, bottom - 5);  // the band is gone: nothing to scroll for
  EXPECT_FALSE(tree->TreeStates().Contains(tsScrolling));
}

TEST_F(TreeWindow, ChangeScaleScalesTheDefaultHeightNotTheNodes) {
  tree->SetRootNodeCount(2);
  THeaderFont font = tree->Header().Font();
  font.Height = -12;
  tree->Header().SetFont(font);
  tree->ChangeScale(3, 2);  // without toAutoChangeScale nothing scales
  EXPECT_EQ(tree->DefaultNodeHeight(), 18u);
  EXPECT_EQ(tree->Header().Font().Height, -12);

  auto& options = tree->TreeOptions();
  options.SetAutoOptions(options.AutoOptions() | toAutoChangeScale);
  tree->ChangeScale(3, 2);
  EXPECT_EQ(tree->DefaultNodeHeight(), 27u);
  EXPECT_EQ(tree->Header().Font().Height, -18);
  EXPECT_EQ(tree->GetFirst()->NodeHeight, 18);  // made before: kept
  EXPECT_EQ(tree->AddChild(nullptr)->NodeHeight, 27);
  EXPECT_EQ(tree->RootNode()->TotalHeight, 27u + 18 + 18 + 27);
  EXPECT_TREE_OK(*tree);
  tree->ChangeScale(5, 5);
  EXPECT_EQ(tree->DefaultNodeHeight(), 27u);

  // Halves go to the even neighbour: 17 * 1.5 = 25.5, 19 * 1.5 = 28.5.
  tree->SetDefaultNodeHeight(17);
  tree->ChangeScale(3, 2);
  EXPECT_EQ(tree->DefaultNodeHeight(), 26u);
  tree->SetDefaultNodeHeight(19);
  tree->ChangeScale(3, 2);
  EXPECT_EQ(tree->DefaultNodeHeight(), 28u);
}

// While a layout loads, only a height the layout set is scaled.
TEST(TreeScale, WhileLoadingOnlyASetHeightScales) {
  TLazyDrawTree tree;
  auto& options = tree.TreeOptions();
  options.SetAutoOptions(options.AutoOptions() | toAutoChangeScale);
  tree.SetLoading(true);
  tree.ChangeScale(2, 1);
  EXPECT_EQ(tree.DefaultNodeHeight(), 18u);
  EXPECT_EQ(tree.Header().Font().Height, -11);
  tree.SetDefaultNodeHeight(20);
  EXPECT_TRUE(tree.TreeStates().Contains(tsNeedScale));
  tree.ChangeScale(2, 1);
  EXPECT_EQ(tree.DefaultNodeHeight(), 40u);
  EXPECT_EQ(tree.Header().Font().Height, -22);
  tree.SetLoading(false);
}

TEST(TreeLayout, ALayoutDeclaringTreesBuilds) {
  RegisterLazyTreeClasses();
  ui::TForm form;
  const std::string text =
      "object F: TForm\n"
      "  object Results: TLazyDrawTree\n"
      "    Width = 300\n"
      "    Height = 200\n"
      "    RootNodeCount = 50\n"
      "    DefaultNodeHeight = 32\n"
      "    NodeDataSize = 4\n"
      "    TreeOptions.SelectionOptions = [toMultiSelect, toFullRowSelect]\n"
      "    ScrollBarOptions.ScrollBars = ssVertical\n"
      "    BevelKind = bkFlat\n"
      "    BevelInner = bvNone\n"
      "    BorderWidth = 3\n"
      "  end\n"
      "  object Old: TLazyStringTree\n"
      "    Options = [voMultiSelect, voShowRoot, voAutoSort, toSomethingElse]\n"
      "    TreeOptions.StringOptions = [toShowStaticText]\n"
      "  end\n"
      "end\n";
  ui::BuildLayout(form, ui::ParseLayout(text, "trees.layout"), "trees.layout");
  auto& results = form.Get<TLazyDrawTree>("Results");
  EXPECT_EQ(results.RootNodeCount(), 50u);
  EXPECT_EQ(results.GetFirst()->NodeHeight, 32);  // made after every property was read
  EXPECT_EQ(results.TreeOptions().SelectionOptions(), std::uint32_t{toMultiSelect | toFullRowSelect});
  EXPECT_EQ(results.ScrollBarOptions().ScrollBars(), TScrollStyle::ssVertical);
  auto& old = form.Get<TLazyStringTree>("Old");
  EXPECT_EQ(old.TreeOptions().SelectionOptions(), std::uint32_t{toMultiSelect});
  EXPECT_EQ(old.TreeOptions().PaintOptions(), std::uint32_t{toShowRoot});
  EXPECT_EQ(old.TreeOptions().AutoOptions(), std::uint32_t{toAutoSort});
  EXPECT_EQ(old.TreeOptions().MiscOptions(), 0u);
  EXPECT_EQ(old.GetOptions().StringOptions(), std::uint32_t{toShowStaticText});
  TLazyStringTree fresh;
  EXPECT_EQ(fresh.GetOptions().StringOptions(), 5u);
  results.SetCheckImageKind(TCheckImageKind::ckDarkTick);
  results.SetColor(RGB(1, 2, 3));
  ui::TFontSpec font = results.Font();
  font.bold = true;
  results.SetFont(font);
  results.SetDefaultPasteMode(TLTNodeAttachMode::amInsertBefore);
  results.SetDragWidth(77);
  results.SetDragHeight(66);
  results.SetDragImageKind(TLTDragImageKind::diNoImage);
  results.SetHintMode(TLTHintMode::hmTooltip);
  results.SetHotCursor(32649);
  results.SetNodeAlignment(TLTNodeAlignment::naFromTop);
  results.SetHint("the results");
  results.SetBiDiMode(TLTBidiMode::bdRightToLeft);
  results.SetDragType(TLTDragType::dtNative);
  fresh.Assign(results);
  EXPECT_EQ(fresh.BiDiMode(), TLTBidiMode::bdRightToLeft);
  EXPECT_EQ(fresh.DragType(), TLTDragType::dtNative);
  EXPECT_EQ(fresh.CheckImageKind(), TCheckImageKind::ckDarkTick);
  EXPECT_EQ(fresh.Color(), static_cast<ui::TColor>(RGB(1, 2, 3)));
  EXPECT_TRUE(fresh.Font().bold);
  EXPECT_EQ(fresh.DefaultPasteMode(), TLTNodeAttachMode::amInsertBefore);
  EXPECT_EQ(fresh.DragWidth(), 77);
  EXPECT_EQ(fresh.DragHeight(), 66);
  EXPECT_EQ(fresh.DragImageKind(), TLTDragImageKind::diNoImage);
  EXPECT_EQ(fresh.HintMode(), TLTHintMode::hmTooltip);
  EXPECT_EQ(fresh.HotCursor(), 32649);
  EXPECT_EQ(fresh.NodeAlignment(), TLTNodeAlignment::naFromTop);
  EXPECT_EQ(fresh.Hint(), "the results");  // settings and a node count, never the nodes
  EXPECT_EQ(fresh.RootNodeCount(), 50u);
  EXPECT_EQ(fresh.GetFirst()->NodeHeight, 32);
  EXPECT_NE(fresh.GetFirst(), results.GetFirst());
  EXPECT_EQ(fresh.TreeOptions().SelectionOptions(), results.TreeOptions().SelectionOptions());
  EXPECT_EQ(fresh.BevelKind(), TBevelKind::bkFlat);
  EXPECT_EQ(fresh.BevelInner(), TBevelCut::bvNone);
  EXPECT_EQ(fresh.BevelOuter(), TBevelCut::bvLowered);
  EXPECT_EQ(fresh.BorderWidth(), 3);
}

TEST(TreeLayout, PaintDragHintAndEditSettingsAreRead) {
  RegisterLazyTreeClasses();
  ui::TForm form;
  const std::string text =
      "object F: TForm\n"
      "  object T: TLazyDrawTree\n"
      "    ButtonStyle = bsTriangle\n"
      "    ButtonFillMode = fmShaded\n"
      "    LineStyle = lsSolid\n"
      "    LineMode = lmBands\n"
      "    CheckImageKind = ckSystemFlat\n"
      "    DragType = dtNative\n"
      "    HintMode = hmHintAndDefault\n"
      "    NodeAlignment = naFromTop\n"
      "    EditDelay = 250\n"
      "  end\n"
      "end\n";
  ui::BuildLayout(form, ui::ParseLayout(text, "settings.layout"), "settings.layout");
  auto& t = form.Get<TLazyDrawTree>("T");
  EXPECT_EQ(t.ButtonStyle(), TLTButtonStyle::bsTriangle);
  EXPECT_EQ(t.ButtonFillMode(), TLTButtonFillMode::fmShaded);
  EXPECT_EQ(t.LineStyle(), TLTLineStyle::lsSolid);
  EXPECT_EQ(t.LineMode(), TLTLineMode::lmBands);
  EXPECT_EQ(t.CheckImageKind(), ckSystemFlat);
  EXPECT_EQ(t.DragType(), TLTDragType::dtNative);
  EXPECT_EQ(t.HintMode(), TLTHintMode::hmHintAndDefault);
  EXPECT_EQ(t.NodeAlignment(), TLTNodeAlignment::naFromTop);
  EXPECT_EQ(t.EditDelay(), 250u);
  ui::TForm other;
  const std::string bad = "object F: TForm\n  object T: TLazyDrawTree\n    ButtonStyle = bsRound\n  end\nend\n";
  EXPECT_THROW(ui::BuildLayout(other, ui::ParseLayout(bad, "bad.layout"), "bad.layout"), ui::ELayoutError);
}

TEST(TreeLayout, PicturesImageListsClipboardDragAndSearchSettingsAreRead) {
  RegisterLazyTreeClasses();
  auto form = std::make_unique<ui::TForm>();
  const std::string text =
      "object F: TForm\n"
      "  object T: TLazyStringTree\n"
      "    Background = \"LT_MOVEALL\"\n"
      "    BackgroundOffsetX = -7\n"
      "    BackgroundOffsetY = 5\n"
      "    ClipboardFormats = (\"Plain text\", \"CSV\")\n"
      "    Images = Icons\n"
      "    StateImages = States\n"
      "    CustomCheckImages = Checks\n"
      "    Header.Images = Icons\n"
      "    DefaultPasteMode = amInsertAfter\n"
      "    DragWidth = 120\n"
      "    DragHeight = 90\n"
      "    DragImageKind = diMainColumnOnly\n"
      "    DragOperations = [doLink]\n"
      "    DrawSelectionMode = smBlendedRectangle\n"
      "    HintAnimation = hatSlide\n"
      "    HotCursor = crHandPoint\n"
      "    IncrementalSearch = isVisibleOnly\n"
      "    IncrementalSearchDirection = sdBackward\n"
      "    IncrementalSearchStart = ssLastHit\n"
      "    IncrementalSearchTimeout = 2500\n"
      "  end\n"
      "  object Icons: TImageList\n"
      "  end\n"
      "  object States: TImageList\n"
      "  end\n"
      "  object Checks: TImageList\n"
      "  end\n"
      "end\n";
  ui::BuildLayout(*form, ui::ParseLayout(text, "more.layout"), "more.layout");
  auto& t = form->Get<TLazyStringTree>("T");
  BITMAP picture{};
  ASSERT_NE(t.Background(), nullptr);
  EXPECT_NE(GetObjectW(t.Background(), sizeof picture, &picture), 0);
  EXPECT_EQ(t.BackgroundOffset().x, -7);
  EXPECT_EQ(t.BackgroundOffset().y, 5);
  EXPECT_EQ(t.ClipboardFormats().Names(), (std::vector<std::string>{"CSV", "Plain text"}));
  EXPECT_EQ(t.Images(), &form->Get<ui::TImageList>("Icons"));
  EXPECT_EQ(t.StateImages(), &form->Get<ui::TImageList>("States"));
  EXPECT_EQ(t.CustomCheckImages(), &form->Get<ui::TImageList>("Checks"));
  EXPECT_EQ(t.Header().Images(), &form->Get<ui::TImageList>("Icons"));
  EXPECT_EQ(t.DefaultPasteMode(), TLTNodeAttachMode::amInsertAfter);
  EXPECT_EQ(t.DragWidth(), 120);
  EXPECT_EQ(t.DragHeight(), 90);
  EXPECT_EQ(t.DragImageKind(), TLTDragImageKind::diMainColumnOnly);
  EXPECT_EQ(t.DragOperations(), std::uint8_t{doLink});
  EXPECT_EQ(t.DrawSelectionMode(), TLTDrawSelectionMode::smBlendedRectangle);
  EXPECT_EQ(t.HintAnimation(), THintAnimationType::hatSlide);
  EXPECT_EQ(t.HotCursor(), 32649);
  EXPECT_EQ(t.IncrementalSearch(), TLTIncrementalSearch::isVisibleOnly);
  EXPECT_EQ(t.IncrementalSearchDirection(), TLTSearchDirection::sdBackward);
  EXPECT_EQ(t.IncrementalSearchStart(), TLTSearchStart::ssLastHit);
  EXPECT_EQ(t.IncrementalSearchTimeout(), 2500u);
  // The picture read from the layout is the tree's own: a tree given it by
  // Assign still paints it after the first tree is gone.
  TLazyStringTree copy;
  copy.Assign(t);
  form.reset();
  ASSERT_NE(copy.Background(), nullptr);
  EXPECT_NE(GetObjectW(copy.Background(), sizeof picture, &picture), 0);
  // Draw trees offer no text formats.
  ui::TForm other;
  const std::string bad =
      "object F: TForm\n  object T: TLazyDrawTree\n    ClipboardFormats = (\"CSV\")\n  end\nend\n";
  EXPECT_THROW(ui::BuildLayout(other, ui::ParseLayout(bad, "bad.layout"), "bad.layout"), ui::ELayoutError);
}

TEST(TreeLayout, StringTreeLayoutPropertiesAndScrollBarStyle) {
  RegisterLazyTreeClasses();
  ui::TForm form;
  const std::string text =
      "object F: TForm\n"
      "  object Names: TLazyStringTree\n"
      "    WideDefaultText = \"Caf\xe9\"\n"
      "    StringOptions = [soShowStaticText, soSomethingElse]\n"
      "    ScrollBarOptions.ScrollBarStyle = sbmRegular\n"
      "  end\n"
      "end\n";
  ui::BuildLayout(form, ui::ParseLayout(text, "names.layout"), "names.layout");
  auto& names = form.Get<TLazyStringTree>("Names");
  EXPECT_EQ(names.DefaultText(), L"Caf\u00e9");
  // Emptied first: toSaveCaptions and toAutoAcceptEditChange are gone.
  EXPECT_EQ(names.GetOptions().StringOptions(), std::uint32_t{toShowStaticText});
  EXPECT_EQ(names.ScrollBarOptions().ScrollBarStyle(), TScrollBarStyle::sbmRegular);
  EXPECT_THROW(names.ScrollBarOptions().SetScrollBarStyle(TScrollBarStyle::sbmFlat), ELazyTreeAssertion);
  EXPECT_EQ(names.ScrollBarOptions().ScrollBarStyle(), TScrollBarStyle::sbmRegular);
}

}  // namespace
}  // namespace kv
