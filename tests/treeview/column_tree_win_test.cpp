// A string tree with columns as the user meets it: a main column, a
// right-aligned one, a right-to-left one and a hidden one, with the display
// order changed. Driven by real key and button messages; the pictures go to
// the build folder's screenshots.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/treeview/held_key_win.h"
#include "tests/treeview/save_shot_win.h"
#include "tests/treeview/tree_on_form_win.h"
#include "tests/ui/ui_test_util.h"
#include "treeview/edit_link_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"

namespace kv {
namespace {

using test::HeldKey;

constexpr int kHeaderHeight = 20;
// Column indices; the display order is Name, Note, Size (Hidden between, invisible).
constexpr TColumnIndex kName = 0, kSize = 1, kNote = 2, kHidden = 3;

void SaveShot(const ui::TBitmap& shot, const std::string& name) { test::SaveShot(shot, "columns_" + name); }

class ColumnTree : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &test::PlaceTree<TLazyStringTree>(form, {400, 200}, {440, 260});
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() & ~toThemeAware);
    tree->OnGetText = [](TBaseLazyTree&, PLazyNode node, TColumnIndex column, TLSTTextType, std::wstring& text) {
      const std::wstring n = std::to_wstring(node->Index);
      switch (column) {
        case kName: text = L"Node " + n; break;
        case kSize: text = n + L"00 KB"; break;
        case kNote: text = L"note " + n; break;
        default: text = L"secret " + n;
      }
    };
    TLTHeader& header = tree->Header();
    header.SetHeight(kHeaderHeight);
    for (auto [text, width] : {std::pair{L"Name", 120}, {L"Size", 80}, {L"Note", 100}, {L"Hidden", 60}}) {
      TLazyTreeColumn& c = header.Columns().Add();
      c.SetText(text);
      c.SetWidth(width);
    }
    Columns().Items(kSize).SetAlignment(TLTAlignment::taRightJustify);
    Columns().Items(kNote).SetBiDiMode(TLTBidiMode::bdRightToLeft);
    Columns().Items(kHidden).SetOptions(kDefaultColumnOptions & ~coVisible);
    Columns().Items(kSize).SetPosition(3);
    header.SetOptions(header.Options() | hoVisible);
    tree->SetRootNodeCount(4);
    for (PLazyNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n)) nodes.push_back(n);
    form.Show();
    hwnd = tree->Handle();
    SetFocus(hwnd);
  }
  TLazyTreeColumns& Columns() { return tree->Header().Columns(); }
  void SetOptions(std::uint32_t selection, std::uint32_t misc = 0) {
    auto& o = tree->TreeOptions();
    o.SetSelectionOptions(o.SelectionOptions() | selection);
    o.SetMiscOptions(o.MiscOptions() | misc);
  }
  void Key(WORD key) {
    SendMessageW(hwnd, WM_KEYDOWN, key, 1);
    SendMessageW(hwnd, WM_KEYUP, key, 0xC0000001);
  }
  // The middle of a node's cell in a column, in client coordinates.
  POINT Cell(PLazyNode node, TColumnIndex column) {
    const TLazyRect r = tree->GetDisplayRect(node, column, false);
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  }
  // A point on a node's text in a column.
  POINT Label(PLazyNode node, TColumnIndex column) {
    const TLazyRect r = tree->GetDisplayRect(node, column, true);
    return {r.Left + 2, (r.Top + r.Bottom) / 2};
  }
  void Click(POINT p, UINT down = WM_LBUTTONDOWN, WPARAM keys = MK_LBUTTON) {
    SendMessageW(hwnd, down, keys, MAKELPARAM(p.x, p.y));
    SendMessageW(hwnd, down + 1, 0, MAKELPARAM(p.x, p.y));
  }
  std::pair<PLazyNode, TColumnIndex> Focus() const { return {tree->FocusedNode(), tree->FocusedColumn()}; }
  ui::TBitmap Shot() {
    RECT client{};
    GetClientRect(hwnd, &client);
    ui::TBitmap shot;
    shot.Create(client.right, client.bottom);
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
    tree->PaintTree(dc.Get(), RECT{0, 0, client.right, client.bottom}, POINT{0, 0}, kPaintRequestOptions);
    return shot;
  }

  ui::TForm form;
  TLazyStringTree* tree = nullptr;
  HWND hwnd = nullptr;
  std::vector<PLazyNode> nodes;
};

TEST_F(ColumnTree, ClickTabHomeEndWalkTheVisibleColumns) {
  SetOptions(toExtendedFocus, toGridExtensions);
  tree->SetWantTabs(true);
  // A click focuses the column it hits.
  Click(Cell(nodes[1], kSize));
  EXPECT_EQ(Focus(), std::pair(nodes[1], kSize));
  // Tab past the last visible column wraps onto the next node's first one.
  Key(VK_TAB);
  EXPECT_EQ(Focus(), std::pair(nodes[2], kName));
  Key(VK_TAB);
  EXPECT_EQ(Focus(), std::pair(nodes[2], kNote));  // the hidden column is skipped
  {
    HeldKey shift(VK_SHIFT);
    SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 1);
    SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 1);
  }
  EXPECT_EQ(Focus(), std::pair(nodes[1], kSize));
  // With grid extensions Home and End change the column only; Ctrl moves the node too.
  Key(VK_HOME);
  EXPECT_EQ(Focus(), std::pair(nodes[1], kName));
  Key(VK_END);
  EXPECT_EQ(Focus(), std::pair(nodes[1], kSize));
  Key(VK_LEFT);
  EXPECT_EQ(Focus(), std::pair(nodes[1], kNote));
  Key(VK_RIGHT);
  Key(VK_RIGHT);  // no wrap at the end
  EXPECT_EQ(Focus(), std::pair(nodes[1], kSize));
  {
    HeldKey ctrl(VK_CONTROL);
    SendMessageW(hwnd, WM_KEYDOWN, VK_HOME, 1);
  }
  EXPECT_EQ(Focus(), std::pair(nodes[0], kName));
  // A column the owner refuses is stepped over; nothing is left at the end of the nodes.
  tree->OnFocusChanging = [](TLazyTreeModel&, PLazyNode, PLazyNode, TColumnIndex, TColumnIndex column, bool& allowed) {
    allowed = column != kNote;
  };
  Key(VK_TAB);
  EXPECT_EQ(Focus(), std::pair(nodes[0], kSize));
  tree->SetFocusedNode(nodes[3]);
  Key(VK_TAB);
  EXPECT_EQ(Focus(), std::pair(nodes[3], kSize));
  // Up and Down make a focused column of -1 the main column.
  tree->OnFocusChanging = nullptr;
  tree->SetFocusedColumn(kNoColumn);
  Key(VK_UP);
  EXPECT_EQ(Focus(), std::pair(nodes[2], kName));
  // Without a focused node Left starts on the first node too.
  tree->SetFocusedNode(nullptr);
  Key(VK_LEFT);
  EXPECT_EQ(Focus(), std::pair(nodes[0], kSize));
}

TEST_F(ColumnTree, WithoutExtendedFocusAClickStaysInTheMainColumn) {
  SetOptions(toFullRowSelect);
  Click(Cell(nodes[2], kNote));
  EXPECT_EQ(Focus(), std::pair(nodes[2], kName));
  Key(VK_TAB);  // Tab moves between columns only with extended focus
  EXPECT_EQ(Focus(), std::pair(nodes[2], kName));
}

TEST_F(ColumnTree, CtrlPlusFitsAndCtrlMinusRestoresResizableColumns) {
  Columns().Items(kSize).SetWidth(30);
  Columns().Items(kNote).SetOptions(Columns().Items(kNote).Options() & ~coResizable);
  const int fitted = tree->GetMaxColumnWidth(kSize);
  ASSERT_GT(fitted, 30);
  {
    HeldKey ctrl(VK_CONTROL);
    SendMessageW(hwnd, WM_KEYDOWN, VK_ADD, 1);
  }
  EXPECT_EQ(Columns().Items(kSize).Width(), fitted);
  EXPECT_EQ(Columns().Items(kNote).Width(), 100);
  {
    HeldKey ctrl(VK_CONTROL);
    SendMessageW(hwnd, WM_KEYDOWN, VK_SUBTRACT, 1);
  }
  EXPECT_EQ(Columns().Items(kSize).Width(), 30);
}

TEST_F(ColumnTree, KeyActionMayChangeOrStopAKey) {
  tree->SetFocusedNode(nodes[1]);
  std::vector<UINT> shifts;
  tree->OnKeyAction = [&](TBaseLazyTree&, WORD& key, UINT& shift, bool& doDefault) {
    shifts.push_back(shift);
    if (key == VK_DOWN) key = VK_UP;
    if (key == VK_END) doDefault = false;
    shift &= ~MK_CONTROL;  // Ctrl+Down becomes a plain move
  };
  Key(VK_DOWN);
  EXPECT_EQ(tree->FocusedNode(), nodes[0]);
  Key(VK_END);
  EXPECT_EQ(tree->FocusedNode(), nodes[0]);
  {
    HeldKey ctrl(VK_CONTROL);
    SendMessageW(hwnd, WM_KEYDOWN, VK_NEXT, 1);
  }
  EXPECT_EQ(tree->FocusedNode(), nodes[3]);
  EXPECT_EQ(shifts.back(), static_cast<UINT>(MK_CONTROL));
}

TEST_F(ColumnTree, RightClickOnASelectionWithAMenuKeepsIt) {
  SetOptions(toMultiSelect | toRightClickSelect);
  ui::TPopupMenu menu;
  int shown = 0;
  tree->OnGetPopupMenu = [&](TBaseLazyTree&, PLazyNode, TColumnIndex, POINT, bool&, ui::TPopupMenu*& m) {
    m = &menu;
  };
  tree->SetPopupHook([&](ui::TPopupMenu&, POINT) { ++shown; });
  tree->AddToSelection(nodes[0]);
  tree->AddToSelection(nodes[2]);
  Click(Label(nodes[2], kName), WM_RBUTTONDOWN, MK_RBUTTON);
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(tree->Selected(nodes[0]) && tree->Selected(nodes[2]));
  // Without a menu the right click selects the one node.
  tree->OnGetPopupMenu = nullptr;
  Click(Label(nodes[2], kName), WM_RBUTTONDOWN, MK_RBUTTON);
  EXPECT_FALSE(tree->Selected(nodes[0]));
  EXPECT_TRUE(tree->Selected(nodes[2]));
}

TEST_F(ColumnTree, TextRectanglesFollowAlignmentAndReading) {
  // Right-aligned: the text ends at the cell's right edge less the margin.
  const TLazyRect cell = tree->GetDisplayRect(nodes[1], kSize, false);
  const TLazyRect size = tree->GetDisplayRect(nodes[1], kSize, true);
  EXPECT_EQ(size.Right, cell.Right);
  EXPECT_GT(size.Left, cell.Left + tree->Margin());
  // Right-to-left: mirrored, and the margin is taken from the right edge.
  const TLazyRect noteCell = tree->GetDisplayRect(nodes[1], kNote, false);
  const TLazyRect note = tree->GetDisplayRect(nodes[1], kNote, true);
  EXPECT_EQ(note.Right, noteCell.Right - tree->Margin());
  // The hit test agrees with the picture: the label is where the mirrored text is.
  TTreeHitInfo hit;
  tree->GetHitTestInfoAt(note.Left + 1, note.Top + 2, true, hit);
  EXPECT_EQ(hit.HitColumn, kNote);
  EXPECT_EQ(hit.HitPositions, (THitPositions{hpOnItem, hpOnItemLabel}));
  tree->GetHitTestInfoAt(noteCell.Left + 2, note.Top + 2, true, hit);
  EXPECT_EQ(hit.HitPositions, (THitPositions{hpOnItem, hpOnItemLeft}));
  // Centred.
  Columns().Items(kSize).SetAlignment(TLTAlignment::taCenter);
  const TLazyRect centred = tree->GetDisplayRect(nodes[1], kSize, true);
  EXPECT_LE(std::abs((centred.Left - (cell.Left + tree->Margin())) - (cell.Right - centred.Right)), 1);
  // Text wider than a narrow cell: clipped keeps the cell, unclipped starts at the reading edge.
  Columns().Items(kNote).SetWidth(30);
  const TLazyRect narrow = tree->GetDisplayRect(nodes[1], kNote, false);
  EXPECT_EQ(tree->GetDisplayRect(nodes[1], kNote, true).Left, narrow.Left);
  const TLazyRect wide = tree->GetDisplayRect(nodes[1], kNote, true, true);
  EXPECT_EQ(wide.Right, narrow.Right - tree->Margin());
  EXPECT_LT(wide.Left, narrow.Left);
}

TEST_F(ColumnTree, BandCollectsWithinTheScrolledRightAlignedMainColumn) {
  SetOptions(toMultiSelect);
  Columns().Items(kName).SetAlignment(TLTAlignment::taRightJustify);
  Columns().Items(kName).SetWidth(350);
  tree->SetOffsetX(-100);
  ASSERT_EQ(tree->OffsetX(), -100);
  // The names now sit at the main column's right end, around x 200..250 on screen.
  const TLazyRect name = tree->GetDisplayRect(nodes[0], kName, true);
  ASSERT_GT(name.Left, 180);
  ASSERT_LT(name.Right, 250);
  // From left of the first name (where a band may start) to inside the second.
  const POINT from{name.Left - 4, 2}, to{name.Right - 4, (name.Top + name.Bottom) / 2 + 18};
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
  SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
  EXPECT_TRUE(tree->Selected(nodes[0]));
  EXPECT_TRUE(tree->Selected(nodes[1]));
  EXPECT_FALSE(tree->Selected(nodes[2]));
  // Left of the right-aligned texts the band meets nothing.
  tree->ClearSelection();
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(name.Left - 40, 2));
  SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(name.Left - 10, 60));
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(name.Left - 10, 60));
  EXPECT_EQ(tree->SelectedCount(), 0u);
}

TEST_F(ColumnTree, WhileAThumbIsHeldSidewaysMovesReachTheBar) {
  Columns().Items(kName).SetWidth(350);
  ASSERT_GT(static_cast<int>(tree->RangeX()), tree->ViewWidth());
  // The thumb is held (it places itself) while the view moves sideways by page.
  SendMessageW(hwnd, WM_HSCROLL, SB_THUMBTRACK, 0);
  ASSERT_TRUE(tree->TreeStates().Contains(tsThumbTracking));
  SendMessageW(hwnd, WM_HSCROLL, SB_PAGEDOWN, 0);
  ASSERT_LT(tree->OffsetX(), 0);
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_POS;
  GetScrollInfo(hwnd, SB_HORZ, &si);
  EXPECT_EQ(si.nPos, -tree->OffsetX());
  SendMessageW(hwnd, WM_HSCROLL, SB_ENDSCROLL, 0);
}

TEST_F(ColumnTree, SelectingGivesTheFocusAVisibleColumn) {
  tree->SetFocusedColumn(kHidden);
  tree->SetSelected(nodes[0], true);
  EXPECT_EQ(tree->FocusedColumn(), kName);
  // With the main column hidden, the first visible one.
  tree->SetSelected(nodes[0], false);
  Columns().Items(kName).SetOptions(Columns().Items(kName).Options() & ~coVisible);
  tree->SetFocusedColumn(kNoColumn);
  tree->SetSelected(nodes[1], true);
  EXPECT_EQ(tree->FocusedColumn(), kNote);
}

TEST_F(ColumnTree, EditorSitsOverTheRightAlignedText) {
  SetOptions(0, toEditable);
  ASSERT_TRUE(tree->EditNode(nodes[1], kSize));
  auto* link = dynamic_cast<TStringEditLink*>(tree->EditLink().get());
  ASSERT_TRUE(link != nullptr && link->Edit() != nullptr);
  const HWND editor = link->Edit()->HandleIfAllocated();
  RECT r{};
  GetWindowRect(editor, &r);
  MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
  const TLazyRect cell = tree->GetDisplayRect(nodes[1], kSize, false);
  EXPECT_EQ(r.right, cell.Right);  // the text's end, not the cell's start
  EXPECT_GT(r.left, cell.Left);
  EXPECT_NE(GetWindowLongPtrW(editor, GWL_STYLE) & ES_RIGHT, 0);
  EXPECT_TRUE(tree->CancelEditNode());
  // The right-to-left column's editor reads right to left; with grid
  // extensions it reaches from the text to the cell's left edge.
  SetOptions(0, toGridExtensions);
  ASSERT_TRUE(tree->EditNode(nodes[1], kNote));
  link = dynamic_cast<TStringEditLink*>(tree->EditLink().get());
  ASSERT_TRUE(link != nullptr && link->Edit() != nullptr);
  GetWindowRect(link->Edit()->HandleIfAllocated(), &r);
  MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
  const TLazyRect noteCell = tree->GetDisplayRect(nodes[1], kNote, false);
  EXPECT_EQ(r.left, noteCell.Left);
  EXPECT_EQ(r.right, noteCell.Right - tree->Margin());
  EXPECT_NE(GetWindowLongPtrW(link->Edit()->HandleIfAllocated(), GWL_EXSTYLE) & WS_EX_RTLREADING, 0);
  EXPECT_TRUE(tree->CancelEditNode());
}

// The edited column is the one under the editor, whichever column has the
// focus; the owner is asked about the column that is then edited, and a
// column outside the header is refused.
TEST_F(ColumnTree, EditingKeepsTheEditedAndTheFocusedColumnApart) {
  SetOptions(0, toEditable);
  std::vector<TColumnIndex> asked;
  bool vetoName = false;
  tree->OnEditing = [&](TBaseLazyTree&, PLazyNode, TColumnIndex column, bool& allowed) {
    asked.push_back(column);
    allowed = !(vetoName && column == kName);
  };
  ASSERT_TRUE(tree->EditNode(nodes[1], kSize));
  EXPECT_EQ(Focus(), std::pair(nodes[1], kName));
  EXPECT_EQ(tree->EditColumn(), kSize);
  const ui::TBitmap shot = Shot();
  SaveShot(shot, "editing_size");
  auto ink = [&](TColumnIndex column) {
    const TLazyRect r = tree->GetDisplayRect(nodes[1], column, false);
    int n = 0;
    for (int y = r.Top + 2; y < r.Bottom - 2; ++y)
      for (int x = r.Left + 2; x < r.Right - 2; ++x) n += (shot.Pixel(x, y) & 0xFF) < 0x60;
    return n;
  };
  EXPECT_GT(ink(kName), 10);  // the focused column keeps its text
  EXPECT_EQ(ink(kSize), 0);   // the editor covers the edited one
  EXPECT_TRUE(tree->CancelEditNode());

  // Past the last column: an assertion, and no event sees the index.
  asked.clear();
  EXPECT_THROW(tree->EditNode(nodes[1], Columns().Count()), ELazyTreeAssertion);
  EXPECT_THROW(tree->EditNode(nodes[1], 99), ELazyTreeAssertion);
  EXPECT_TRUE(asked.empty());
  EXPECT_FALSE(tree->IsEditing());

  // Without extended focus a click on the Size label of the selected node
  // is a change of column: no editor opens, the owner is not asked, and the
  // focus stays in the main column. A click on its Name label edits there,
  // where the owner's veto holds.
  tree->SetEditDelay(20);
  vetoName = true;
  Click(Label(nodes[2], kName));
  ASSERT_TRUE(tree->Selected(nodes[2]));
  asked.clear();
  Click(Label(nodes[2], kSize));
  ui::test::Pump(120);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(Focus(), std::pair(nodes[2], kName));
  Click(Label(nodes[2], kName));
  ui::test::Pump(120);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(asked, std::vector<TColumnIndex>{kName});
  vetoName = false;
  Click(Label(nodes[2], kName));
  ui::test::Pump(120);
  EXPECT_TRUE(tree->IsEditing());
  EXPECT_EQ(tree->EditColumn(), kName);
  EXPECT_TRUE(tree->CancelEditNode());

  // A pending edit ends with a change of column on the same node: its timer
  // does not open the editor later.
  Click(Label(nodes[2], kName));
  ASSERT_TRUE(tree->TreeStates().Contains(tsEditPending));
  tree->SetFocusedNodeAndColumn(nodes[2], kNote);
  EXPECT_EQ(Focus(), std::pair(nodes[2], kNote));
  EXPECT_FALSE(tree->TreeStates().Contains(tsEditPending));
  ui::test::Pump(120);
  EXPECT_FALSE(tree->IsEditing());
}

// A column's click comes before the button-up's edit step ends a pending
// edit; its double click only after a running edit has ended.
TEST_F(ColumnTree, ColumnClicksFollowTheButtonSteps) {
  std::vector<bool> pendingAtClick, editingAtDblClick;
  tree->OnColumnClick = [&](TBaseLazyTree& t, TColumnIndex, TShiftState) {
    pendingAtClick.push_back(t.TreeStates().Contains(tsEditPending));
  };
  tree->OnColumnDblClick = [&](TBaseLazyTree& t, TColumnIndex, TShiftState) {
    editingAtDblClick.push_back(t.IsEditing());
  };
  Click(Label(nodes[1], kName));
  Click(Label(nodes[1], kName));  // the selected, focused label: an edit is pending (not editable)
  EXPECT_EQ(pendingAtClick, (std::vector<bool>{false, true}));
  EXPECT_FALSE(tree->TreeStates().Contains(tsEditPending));
  SetOptions(0, toEditable);
  ASSERT_TRUE(tree->EditNode(nodes[1], kName));
  const POINT p = Label(nodes[1], kName);
  SendMessageW(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  EXPECT_EQ(editingAtDblClick, std::vector<bool>{false});
  EXPECT_FALSE(tree->IsEditing());
  // A press that ends wheel panning is no column click.
  Columns().Items(kNote).SetWidth(250);  // wider than the client: the middle button pans
  SendMessageW(hwnd, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(100, 40));
  SendMessageW(hwnd, WM_MBUTTONUP, 0, MAKELPARAM(100, 40));
  ASSERT_TRUE(tree->Panning());
  pendingAtClick.clear();
  Click(Label(nodes[2], kSize));
  EXPECT_FALSE(tree->Panning());
  EXPECT_TRUE(pendingAtClick.empty());
  tree->OnColumnClick = nullptr;
  tree->OnColumnDblClick = nullptr;
}

// A rubber band works in the main column: when it starts, the focus moves
// there from another column.
TEST_F(ColumnTree, ARubberBandMakesTheMainColumnTheFocusedOne) {
  SetOptions(toExtendedFocus | toMultiSelect);
  Click(Label(nodes[1], kSize));
  ASSERT_EQ(Focus(), std::pair(nodes[1], kSize));
  const TLazyRect last = tree->GetDisplayRect(nodes[3], kName, false);
  const POINT from{28, last.Bottom + 30}, to{32, 5};
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
  EXPECT_EQ(tree->FocusedColumn(), kSize);  // armed only
  SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
  EXPECT_TRUE(tree->TreeStates().Contains(tsDrawSelecting));
  EXPECT_EQ(tree->FocusedColumn(), kName);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
  EXPECT_TRUE(tree->Selected(nodes[0]));
}

// Cleared columns take the focused column with them; the next column set
// gives it its main column, so selection and focus show again.
TEST_F(ColumnTree, ClearedColumnsResetTheFocusedColumn) {
  SetOptions(toExtendedFocus);
  Click(Label(nodes[1], kSize));
  EXPECT_EQ(Focus(), std::pair(nodes[1], kSize));
  Columns().Clear();
  EXPECT_EQ(tree->FocusedColumn(), kNoColumn);
  for (const wchar_t* text : {L"One", L"Two"}) {
    TLazyTreeColumn& c = Columns().Add();
    c.SetText(text);
    c.SetWidth(150);
  }
  EXPECT_EQ(tree->FocusedColumn(), 0);
  EXPECT_TRUE(tree->Selected(nodes[1]));
  const ui::TBitmap shot = Shot();
  SaveShot(shot, "after_clear");
  const std::uint32_t selection = [&] {
    const COLORREF c = ui::ColorToRGB(tree->Colors().Color(TLTColors::FocusedSelectionColor));
    return std::uint32_t{GetRValue(c)} << 16 | std::uint32_t{GetGValue(c)} << 8 | GetBValue(c);
  }();
  const TLazyRect text = tree->GetDisplayRect(nodes[1], 0, true);
  int selected = 0;
  for (int y = text.Top; y < text.Bottom; ++y)
    for (int x = text.Left; x < text.Right; ++x) selected += shot.Pixel(x, y) == selection;
  EXPECT_GT(selected, 20);
}

TEST_F(ColumnTree, TextCutByItsColumnGetsATooltip) {
  POINT saved{};
  GetCursorPos(&saved);
  SetWindowPos(form.Handle(), HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE);
  tree->SetHintMode(TLTHintMode::hmTooltip);
  tree->SetHintAnimation(THintAnimationType::hatNone);
  Columns().Items(kSize).SetWidth(40);
  auto hover = [&](POINT p) {
    POINT screen = p;
    ClientToScreen(hwnd, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    ui::test::Pump(150);
    return tree->HintWindow() != nullptr && tree->HintWindow()->Visible();
  };
  EXPECT_FALSE(hover(Label(nodes[1], kName)));  // fits its column
  // Wider than its column: shown from the column's start, over the text.
  const TLazyRect text = tree->GetDisplayRect(nodes[1], kSize, true, true);
  EXPECT_EQ(text.Left, 220 + tree->Margin());
  EXPECT_TRUE(hover({text.Left + 3, (text.Top + text.Bottom) / 2}));
  SetCursorPos(saved.x, saved.y);
  ui::test::Pump(30);
}

TEST_F(ColumnTree, ExportsTakeTheVisibleColumnsInDisplayOrder) {
  const PLazyNode child = tree->AddChild(nodes[0]);
  (void)child;
  const std::string text = tree->ContentToText(TLTTextSource::tstAll, '\t');
  EXPECT_EQ(text.substr(0, text.find("\r\n", text.find("\r\n") + 2) + 2),
            "Name\t\tNote\tSize\r\n"
            "Node 0\t\tnote 0\t000 KB\r\n");
  EXPECT_NE(text.find("\tNode 0\tnote 0\t000 KB\r\n"), std::string::npos);  // the child, one level in
  EXPECT_EQ(text.find("secret"), std::string::npos);
  const std::string csv = tree->ContentToText(TLTTextSource::tstAll, ',');
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "Name,,Note,Size");
  // CF_TEXT is the tab form with its zero.
  HGLOBAL block = tree->ContentToClipboard(CF_TEXT, TLTTextSource::tstAll);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(block))), text);
  GlobalUnlock(block);
  GlobalFree(block);
  tree->SetBorderStyle(TTreeBorderStyle::bsSingle);
  tree->SetBorderWidth(3);
  const std::string html = tree->ContentToHTML(TLTTextSource::tstAll);
  EXPECT_NE(html.find(" border=\"4\" frame=box"), std::string::npos);  // the tree's border width + 1
  const std::size_t name = html.find(">Name<"), note = html.find(">Note<"), size = html.find(">Size<");
  ASSERT_NE(name, std::string::npos);
  EXPECT_LT(name, note);
  EXPECT_LT(note, size);
  EXPECT_EQ(html.find("Hidden"), std::string::npos);
  EXPECT_NE(html.find(">300 KB</td>"), std::string::npos);
  EXPECT_NE(html.find("dir=\"rtl\""), std::string::npos);
}

TEST_F(ColumnTree, PictureOfTheColumns) {
  EXPECT_EQ(Columns().GetVisibleColumns(), (std::vector<TColumnIndex>{kName, kNote, kSize}));
  EXPECT_EQ(Columns().Items(kSize).Left(), 220);
  SetOptions(toExtendedFocus, toGridExtensions);
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowVertGridLines);
  tree->SetFocusedNodeAndColumn(nodes[1], kSize);
  tree->AddToSelection(nodes[1]);
  const ui::TBitmap shot = Shot();
  SaveShot(shot, "tree");
  // What the user sees, header included.
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
  ui::test::Pump(50);
  RECT window{};
  GetWindowRect(hwnd, &window);
  ui::TBitmap screen;
  screen.CaptureScreen(window);
  SaveShot(screen, "window");
  // The right-aligned size ends near its column's right edge; the
  // right-to-left note sits at its column's right side too.
  const TLazyRect size = tree->GetDisplayRect(nodes[2], kSize, true);
  const TLazyRect note = tree->GetDisplayRect(nodes[2], kNote, true);
  EXPECT_GT(size.Left, 220 + 20);
  EXPECT_LE(size.Right, 300);
  EXPECT_GT(note.Left, 120 + 20);
  EXPECT_LE(note.Right, 220);
  auto dark = [&](int x0, int x1, int y) {
    for (int x = x0; x < x1; ++x)
      if ((shot.Pixel(x, y) & 0xFF) < 0x80) return true;
    return false;
  };
  const int y = (note.Top + note.Bottom) / 2;
  EXPECT_TRUE(dark(note.Left, note.Right, y));
  EXPECT_FALSE(dark(122, note.Left - 2, y));  // nothing drawn left of the mirrored text
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// The owner paints the right-to-left column's whole button, the background
// and the size column's face and caption; the name column stays the tree's.
TEST_F(ColumnTree, OwnerDrawnHeader) {
  constexpr COLORREF kStrip = RGB(30, 60, 120), kOwnButton = RGB(20, 140, 60), kFace = RGB(250, 220, 120);
  TLTHeader& header = tree->Header();
  header.SetOptions(header.Options() | hoOwnerDraw);
  Columns().Items(kNote).SetStyle(TLazyTreeColumnStyle::vsOwnerDraw);
  std::vector<TColumnIndex> whole, faces;
  auto fill = [](HDC dc, const RECT& r, COLORREF color) {
    const ui::BrushObject brush = ui::MakeSolidBrush(color);
    FillRect(dc, &r, brush.Get());
  };
  tree->OnHeaderDraw = [&](TBaseLazyTree&, HDC dc, TColumnIndex column, const RECT& r, bool, bool) {
    whole.push_back(column);
    fill(dc, r, kOwnButton);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT text = r;
    DrawTextW(dc, L"drawn", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  };
  tree->OnHeaderDrawQueryElements = [](TBaseLazyTree&, THeaderPaintInfo& info, THeaderPaintElements& elements) {
    if (info.Column == kNoColumn) elements = hpeBackground;
    if (info.Column == kSize) elements = hpeBackground | hpeText;
  };
  tree->OnAdvancedHeaderDraw = [&](TBaseLazyTree&, THeaderPaintInfo& info, THeaderPaintElements elements) {
    faces.push_back(info.Column);
    if (elements & hpeBackground) fill(info.TargetCanvas, info.PaintRectangle, info.Column < 0 ? kStrip : kFace);
    if (elements & hpeText) {
      SetTextColor(info.TargetCanvas, RGB(200, 0, 0));
      RECT text = info.PaintRectangle;
      DrawTextW(info.TargetCanvas, L"SIZE", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
  };
  RECT window{};
  GetWindowRect(hwnd, &window);
  const int width = window.right - window.left;
  ui::TBitmap shot;
  shot.Create(width, kHeaderHeight);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
    header.PaintHeader(dc.Get(), RECT{0, 0, width, kHeaderHeight}, 0);
  }
  SaveShot(shot, "owner_header");
  EXPECT_EQ(whole, std::vector<TColumnIndex>{kNote});
  EXPECT_EQ(faces, (std::vector<TColumnIndex>{kNoColumn, kSize}));
  auto rgb = [](COLORREF c) { return (std::uint32_t{GetRValue(c)} << 16) | (GetGValue(c) << 8) | GetBValue(c); };
  EXPECT_EQ(shot.Pixel(125, 2), rgb(kOwnButton));  // the note button, the owner's whole
  EXPECT_EQ(shot.Pixel(225, 2), rgb(kFace));       // the size button's face
  EXPECT_EQ(shot.Pixel(350, 10), rgb(kStrip));     // right of the last column
  EXPECT_NE(shot.Pixel(60, 10), rgb(kStrip));      // the name button is the tree's
  // The header's caption font follows the form's scaling.
  THeaderFont font = header.Font();
  font.Height = -12;
  header.SetFont(font);
  header.ChangeScale(3, 2);
  EXPECT_EQ(header.Font().Height, -18);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

TEST_F(ColumnTree, OwnerPaintsRowsAndTheLinePattern) {
  std::vector<PLazyNode> after;
  tree->OnBeforeItemPaint = [](TBaseLazyTree&, HDC dc, PLazyNode node, const RECT& r, bool& customDraw) {
    if (node->Index != 2) return;
    const ui::BrushObject brush = ui::MakeSolidBrush(RGB(200, 30, 30));
    FillRect(dc, &r, brush.Get());
    customDraw = true;
  };
  tree->OnAfterItemPaint = [&](TBaseLazyTree&, HDC, PLazyNode node, const RECT&) { after.push_back(node); };
  const ui::TBitmap shot = Shot();
  const TLazyRect row = tree->GetDisplayRect(nodes[2], kNote, false);
  EXPECT_EQ(shot.Pixel(row.Left + 5, row.Top + 2), 0xC81E1Eu);  // the owner's row, no text over it
  EXPECT_EQ(after, (std::vector<PLazyNode>{nodes[0], nodes[1], nodes[3]}));
  int asked = 0;
  tree->OnGetLineStyle = [&](TBaseLazyTree&, std::uint8_t (&pattern)[8]) {
    ++asked;
    for (auto& bits : pattern) bits = 0xFF;
  };
  tree->SetLineStyle(TLTLineStyle::lsCustomStyle);
  EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// Long names; node 1 has no note, so under toAutoSpanColumns its name runs
// on over the Note column (here read left to right, notes on the right).
class SpanningColumnTree : public ColumnTree {
 protected:
  void SetUp() override {
    ColumnTree::SetUp();
    Columns().Items(kNote).SetBiDiMode(TLTBidiMode::bdLeftToRight);
    Columns().Items(kNote).SetAlignment(TLTAlignment::taRightJustify);
    tree->OnGetText = [](TBaseLazyTree&, PLazyNode node, TColumnIndex column, TLSTTextType, std::wstring& text) {
      const std::wstring n = std::to_wstring(node->Index);
      if (column == kName) text = L"A long name of node " + n;
      else if (column == kNote) text = node->Index == 1 ? L"" : L"note " + n;
      else text = n + L"00 KB";
    };
    for (PLazyNode n : nodes) tree->InvalidateNode(n);
    auto& o = tree->TreeOptions();
    o.SetAutoOptions(o.AutoOptions() | toAutoSpanColumns);
  }
  void Band(POINT from, POINT to) {
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
  }
};

TEST_F(SpanningColumnTree, NameRunsOverTheEmptyColumnInPaintBandAndHeight) {
  // Painted: the name goes on over the empty note only.
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowVertGridLines);
  const ui::TBitmap shot = Shot();
  SaveShot(shot, "spanned");
  auto text = [&](PLazyNode node, int x0, int x1) {  // a text pixel (darker than the grid's grey)
    const TLazyRect row = tree->GetDisplayRect(node, kNote, false);
    for (int y = row.Top + 2; y < row.Bottom - 2; ++y)
      for (int x = x0; x < x1; ++x)
        if ((shot.Pixel(x, y) & 0xFF) < 0x60) return true;
    return false;
  };
  const int note = Columns().Items(kNote).Left();
  EXPECT_TRUE(text(nodes[1], note + 2, note + 12));
  EXPECT_FALSE(text(nodes[0], note + 2, note + 12));  // cut at its column, the note is far right
  EXPECT_FALSE(text(nodes[2], note + 2, note + 12));

  // A band over the left part of the Note column, rows 0 to 2, meets only the spanned name.
  SetOptions(toMultiSelect);
  const TLazyRect note0 = tree->GetDisplayRect(nodes[0], kNote, false);
  const TLazyRect row2 = tree->GetDisplayRect(nodes[2], kNote, false);
  ASSERT_GT(tree->GetDisplayRect(nodes[1], kName, true, true).Right, note0.Left + 12);
  const POINT from{note0.Left + 4, note0.Top + 2}, to{note0.Left + 12, row2.Bottom - 2};
  Band(from, to);
  EXPECT_TRUE(tree->Selected(nodes[1]));
  EXPECT_FALSE(tree->Selected(nodes[0]));  // its note has text: the name stops at its column
  EXPECT_FALSE(tree->Selected(nodes[2]));
  // A column read right to left is not run over, as it is not painted over.
  tree->ClearSelection();
  Columns().Items(kNote).SetBiDiMode(TLTBidiMode::bdRightToLeft);
  Columns().Items(kNote).SetAlignment(TLTAlignment::taLeftJustify);  // mirrored: notes on the right
  Band(from, to);
  EXPECT_EQ(tree->SelectedCount(), 0u);
  Columns().Items(kNote).SetBiDiMode(TLTBidiMode::bdLeftToRight);
  Columns().Items(kNote).SetAlignment(TLTAlignment::taRightJustify);

  // A multi-line name wraps in the spanned cell: one line there, two in its column.
  tree->SetMultiLine(nodes[1], true);
  const int spanned = tree->ComputeNodeHeight(nullptr, nodes[1], kName);
  EXPECT_GT(spanned, 0);
  tree->SetMultiLine(nodes[1], false);

  // Without spanning the name ends with its column.
  auto& o = tree->TreeOptions();
  o.SetAutoOptions(o.AutoOptions() & ~toAutoSpanColumns);
  tree->ClearSelection();
  Band(from, to);
  EXPECT_EQ(tree->SelectedCount(), 0u);
  tree->SetMultiLine(nodes[1], true);
  EXPECT_GE(tree->ComputeNodeHeight(nullptr, nodes[1], kName), 2 * spanned);
}


// The spanned cell of node 1 is Name and Note (0 to 220), wherever in it the
// point lies: right-aligned text sits at its right end, and a name cut at
// that end gets its tooltip.
TEST_F(SpanningColumnTree, HitTestsAndHintsSeeTheSpannedCellOnce) {
  Columns().Items(kName).SetAlignment(TLTAlignment::taRightJustify);
  tree->InvalidateNode(nodes[1]);
  // Painted at the right end of the spanned cell, less the margin.
  const TLazyRect whole = tree->GetDisplayRect(nodes[1], kName, true, true);
  const int textRight = 220 - tree->Margin(), textLeft = textRight - (whole.Right - whole.Left);
  ASSERT_GT(textLeft, 60);
  const ui::TBitmap shot = Shot();
  SaveShot(shot, "spanned_right_aligned");
  auto ink = [&](int x0, int x1) {
    bool found = false;
    for (int y = whole.Top + 2; y < whole.Bottom - 2; ++y)
      for (int x = x0; x < x1; ++x) found = found || (shot.Pixel(x, y) & 0xFF) < 0x60;
    return found;
  };
  EXPECT_TRUE(ink(textRight - 8, textRight));  // the text's last letters, left of the Size column
  EXPECT_FALSE(ink(textLeft - 30, textLeft - 2));
  const int y = (whole.Top + whole.Bottom) / 2;
  struct Case {
    int x;
    TTreeHitPosition position;
  } cases[] = {
      {textLeft - 10, hpOnItemLeft}, {textLeft + 6, hpOnItemLabel}, {150, hpOnItemLabel},
      {textRight - 2, hpOnItemLabel},
  };
  for (const Case& c : cases) {
    TTreeHitInfo hit;
    tree->GetHitTestInfoAt(c.x, y, true, hit);
    EXPECT_EQ(hit.HitColumn, kName) << c.x;
    EXPECT_EQ(hit.HitPositions.Bits(), THitPositions({hpOnItem, c.position}).Bits()) << c.x;
  }

  // Left-aligned, a name wider than the spanned cell (but narrower than the
  // cell counted with Note twice) is cut: hovering over it shows the tooltip.
  Columns().Items(kName).SetAlignment(TLTAlignment::taLeftJustify);
  std::wstring longName = L"A long name";
  tree->OnGetText = [&](TBaseLazyTree&, PLazyNode node, TColumnIndex column, TLSTTextType, std::wstring& text) {
    text = column == kName && node->Index == 1 ? longName : L"x";
    if (column == kNote && node->Index == 1) text.clear();
  };
  for (int i = 0; i < 40 && tree->GetDisplayRect(nodes[1], kName, true, true).Right < 240; ++i) {
    longName += L" and on";
    tree->InvalidateNode(nodes[1]);
  }
  const TLazyRect cut = tree->GetDisplayRect(nodes[1], kName, true, true);
  ASSERT_GE(cut.Right, 240);
  ASSERT_LT(cut.Right, 300);
  POINT saved{};
  GetCursorPos(&saved);
  SetWindowPos(form.Handle(), HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE);
  tree->SetHintMode(TLTHintMode::hmTooltip);
  tree->SetHintAnimation(THintAnimationType::hatNone);
  const POINT p{150, (cut.Top + cut.Bottom) / 2};
  POINT screen = p;
  ClientToScreen(hwnd, &screen);
  SetCursorPos(screen.x, screen.y);
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
  ui::test::Pump(150);
  EXPECT_TRUE(tree->HintWindow() != nullptr && tree->HintWindow()->Visible());
  SetCursorPos(saved.x, saved.y);
  ui::test::Pump(30);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

TEST_F(ColumnTree, TreeColourAndReadingOrderReachTheColumnsThatFollowThem) {
  constexpr ui::TColor kOwn = 0x00C0FFC0, kTree = 0x0080E0FF;  // the tree's: RGB(255, 224, 128)
  Columns().Items(kSize).SetColor(kOwn);
  ASSERT_FALSE(Columns().Items(kSize).HasOption(coParentColor));
  ASSERT_TRUE(Columns().Items(kName).HasOption(coParentColor));
  tree->SetColor(kTree);
  EXPECT_EQ(Columns().Items(kName).Color(), static_cast<std::uint32_t>(kTree));
  EXPECT_EQ(Columns().Items(kNote).Color(), static_cast<std::uint32_t>(kTree));
  EXPECT_EQ(Columns().Items(kSize).Color(), static_cast<std::uint32_t>(kOwn));
  // Below the rows each column's stripe shows its colour.
  const ui::TBitmap shot = Shot();
  EXPECT_EQ(shot.Pixel(60, 150), 0xFFE080u);
  EXPECT_EQ(shot.Pixel(250, 150), 0xC0FFC0u);

  // A right-to-left tree: its columns follow, its scroll bar is on the left.
  tree->SetRootNodeCount(40);  // taller than the window: a vertical scroll bar
  ASSERT_TRUE(Columns().Items(kName).HasOption(coParentBidiMode));
  tree->SetBiDiMode(TLTBidiMode::bdRightToLeft);
  hwnd = tree->Handle();
  EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR, 0);
  EXPECT_TRUE(Columns().Items(kName).UseRightToLeftReading());  // these follow the tree
  EXPECT_TRUE(Columns().Items(kSize).UseRightToLeftReading());
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
  ui::test::Pump(50);
  RECT window{};
  GetWindowRect(hwnd, &window);
  POINT client{0, 0};
  ClientToScreen(hwnd, &client);
  EXPECT_GE(client.x - window.left, GetSystemMetrics(SM_CXVSCROLL));
  // The header starts with the client area and still reaches the right edge.
  const RECT header = tree->Header().HeaderRect();
  EXPECT_EQ(header.left, client.x - window.left);
  EXPECT_EQ(header.right, window.right - window.left);
  ui::TBitmap screen;
  screen.CaptureScreen(window);
  SaveShot(screen, "right_to_left");
  EXPECT_EQ(tree->RootNodeCount(), 40u);  // the new window shows the same nodes
  tree->SetBiDiMode(TLTBidiMode::bdLeftToRight);
  EXPECT_EQ(GetWindowLongPtrW(tree->Handle(), GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR, 0);
  EXPECT_FALSE(Columns().Items(kName).UseRightToLeftReading());
  EXPECT_TRUE(Columns().Items(kNote).UseRightToLeftReading());  // set on its own
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

TEST_F(ColumnTree, AltClickOnTheMainColumnAndButtonsWaitingForABusyHeader) {
  SetOptions(toMultiSelect);
  tree->AddToSelection(nodes[0]);
  tree->AddToSelection(nodes[2]);
  {
    test::KeyStateHeld alt(VK_MENU);
    Click(Label(nodes[1], kName));
  }
  EXPECT_EQ(tree->SelectedCount(), 1u);
  EXPECT_TRUE(tree->Selected(nodes[1]));
  EXPECT_NE(tree->FocusedNode(), nodes[1]);  // with Alt nothing counts as a label hit
  // In another column the same click clears the selection.
  tree->ClearSelection();
  tree->AddToSelection(nodes[0]);
  tree->AddToSelection(nodes[2]);
  {
    test::KeyStateHeld alt(VK_MENU);
    Click(Label(nodes[1], kSize));
  }
  EXPECT_EQ(tree->SelectedCount(), 0u);

  // Right and middle buttons wait while the header resizes a column.
  tree->ClearSelection();
  SetOptions(toRightClickSelect | toMiddleClickSelect);
  const PLazyNode focused = tree->FocusedNode();
  // Columns wider than the client: the middle button would start wheel panning.
  Columns().Items(kNote).SetWidth(250);
  // A press on the splitter right of the Name column: a resize is pending.
  POINT splitter{Columns().Items(kName).Width() + 1, 10 - kHeaderHeight};
  ClientToScreen(hwnd, &splitter);
  SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(splitter.x, splitter.y));
  ASSERT_NE(tree->Header().States() & hstTrackPending, 0);
  Click(Label(nodes[2], kName), WM_RBUTTONDOWN, MK_RBUTTON);
  Click(Label(nodes[3], kName), WM_MBUTTONDOWN, MK_MBUTTON);
  EXPECT_FALSE(tree->Panning());
  EXPECT_EQ(tree->FocusedNode(), focused);
  EXPECT_EQ(tree->SelectedCount(), 0u);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(splitter.x, 0));
  ASSERT_EQ(tree->Header().States(), 0);
  Columns().Items(kNote).SetWidth(100);
  // Once the header is idle both buttons select.
  Click(Label(nodes[2], kName), WM_RBUTTONDOWN, MK_RBUTTON);
  EXPECT_EQ(tree->FocusedNode(), nodes[2]);
  Click(Label(nodes[3], kName), WM_MBUTTONDOWN, MK_MBUTTON);
  EXPECT_EQ(tree->FocusedNode(), nodes[3]);
  EXPECT_TRUE(tree->Selected(nodes[3]));
}

}  // namespace
}  // namespace kv
