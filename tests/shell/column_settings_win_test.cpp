// The column settings dialog driven by real keys, clicks and drags.
#include "shell/column_settings_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "shell/explorer_tree_win.h"
#include "shell_test_util.h"
#include "tests/treeview/held_key_win.h"
#include "tests/ui/ui_test_util.h"

namespace kv {
namespace {
using test::LeftButton;
using test::MouseTo;
using ui::test::Pump;

// Glides the mouse to `to` in steps of 20 ms, then rests there (a pixel up
// and down, so the list hears of it) until `arrived` or about eight seconds passed.
void GlideTo(POINT from, POINT to, const std::function<bool()>& arrived = [] { return true; }) {
  for (int i = 1; i <= 8; ++i) {
    MouseTo({from.x + (to.x - from.x) * i / 8, from.y + (to.y - from.y) * i / 8});
    Sleep(20);
  }
  for (int i = 0; i < 400 && !arrived(); ++i) {
    MouseTo({to.x, to.y + (i & 1)});
    Sleep(20);
  }
  Sleep(100);
}

// A drag from `from` to `to` (see GlideTo), `there` run before the button goes
// up. It runs on a helper thread while this one handles messages: the drag the
// list starts runs OLE's modal loop here, which reads the real cursor and buttons.
void DragRow(POINT from, POINT to, const std::function<bool()>& arrived = [] { return true; },
             const std::function<void()>& there = nullptr) {
  std::atomic<bool> done{false};
  std::thread driver([&] {
    MouseTo(from);
    Sleep(50);
    LeftButton(true);
    Sleep(100);
    GlideTo(from, {from.x + 12, from.y + 2});
    GlideTo({from.x + 12, from.y + 2}, to, arrived);
    if (there) there();
    LeftButton(false);
    Sleep(150);
    done = true;
  });
  for (int i = 0; i < 2000 && !done; ++i) Pump(10);
  driver.join();
  Pump(50);
}

void Keys(std::initializer_list<BYTE> keys) {
  for (BYTE k : keys) {
    keybd_event(k, 0, 0, 0);
    keybd_event(k, 0, KEYEVENTF_KEYUP, 0);
  }
  Pump(150);
}

class ColumnSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog.SetEntries({{u"Name", true, 180, 0}, {u"Size", true, 96, 1}, {u"Type", false, 120, 2}});
    dialog.Beep = [this] { ++beeps; };
    dialog.OnLiveUpdate = [this](TFormColumnSettings& d) { live.push_back(d.Entries()); };
    dialog.Show();
    SetForegroundWindow(dialog.Handle());
    Pump(100);
  }
  PLazyNode Node(unsigned index) {
    PLazyNode n = dialog.LSTColumnNames->GetFirst();
    while (n && n->Index != index) n = dialog.LSTColumnNames->GetNextSibling(n);
    return n;
  }
  void Focus(unsigned index) {
    dialog.LSTColumnNames->ClearSelection();
    dialog.LSTColumnNames->SetSelected(Node(index), true);
    dialog.LSTColumnNames->SetFocusedNode(Node(index));
  }
  POINT ScreenPointOf(unsigned index) {
    const TLazyRect r = dialog.LSTColumnNames->GetDisplayRect(Node(index), kNoColumn, true);
    POINT pt{r.Left + 10, (r.Top + r.Bottom) / 2};
    ClientToScreen(dialog.LSTColumnNames->Handle(), &pt);
    return pt;
  }
  std::u16string Titles() {
    std::u16string out;
    for (const TColumnData& e : dialog.Entries()) out += e.Title + u" ";
    return out;
  }

  TFormColumnSettings dialog;
  int beeps = 0;
  std::vector<std::vector<TColumnData>> live;
};

TEST_F(ColumnSettings, WidthBoxTakesDigitsAppliesOnEnterAndKeepsTheWidthWhenEmpty) {
  dialog.CheckBoxLiveUpdate->SetChecked(true);
  Focus(1);
  EXPECT_EQ(dialog.EditPixelWidth->Text(), "96");
  SetFocus(dialog.EditPixelWidth->Handle());
  SendMessageW(dialog.EditPixelWidth->Handle(), EM_SETSEL, 0, -1);
  Keys({'7', 'A', VK_OEM_MINUS, '5'});
  EXPECT_EQ(dialog.EditPixelWidth->Text(), "75");
  EXPECT_EQ(beeps, 2);
  Keys({VK_RETURN});
  ASSERT_FALSE(live.empty());
  EXPECT_EQ(live.back()[1].Width, 75);
  EXPECT_EQ(dialog.ModalResult(), ui::mrNone);  // Enter in the box is the box's

  // An empty box leaves the width as it was.
  dialog.EditPixelWidth->SetText("");
  Keys({VK_RETURN});
  EXPECT_EQ(dialog.Entries()[1].Width, 75);
  // Moving the selection stores the box into the node it leaves.
  dialog.EditPixelWidth->SetText("99999999");
  Focus(0);
  EXPECT_EQ(dialog.Entries()[1].Width, 99999999);
  EXPECT_EQ(dialog.EditPixelWidth->Text(), "180");
  // Leaving the box for another window stores nothing; for another control
  // of the dialog it stores the box and updates live.
  SetFocus(dialog.EditPixelWidth->Handle());
  dialog.EditPixelWidth->SetText("123");
  const size_t told = live.size();
  SendMessageW(dialog.EditPixelWidth->Handle(), WM_KILLFOCUS, 0, 0);
  EXPECT_EQ(dialog.Entries()[0].Width, 180);
  EXPECT_EQ(live.size(), told);
  SetFocus(dialog.LSTColumnNames->Handle());
  EXPECT_EQ(dialog.Entries()[0].Width, 123);
  EXPECT_EQ(live.size(), told + 1);

  // Esc is no key of the dialog's: only the Cancel button cancels.
  SetFocus(dialog.LSTColumnNames->Handle());
  Keys({VK_ESCAPE});
  EXPECT_EQ(dialog.ModalResult(), ui::mrNone);
  // Enter anywhere else is OK.
  Keys({VK_RETURN});
  EXPECT_EQ(dialog.ModalResult(), ui::mrOk);
}

TEST_F(ColumnSettings, CheckingAndDraggingUpdateLiveOnlyWhenAsked) {
  Focus(0);
  SetFocus(dialog.LSTColumnNames->Handle());
  Keys({VK_SPACE});  // unchecks Name
  EXPECT_FALSE(dialog.Entries()[0].Visible);
  EXPECT_TRUE(live.empty());

  dialog.CheckBoxLiveUpdate->SetChecked(true);
  Keys({VK_SPACE});
  ASSERT_EQ(live.size(), 1u);
  EXPECT_TRUE(live.back()[0].Visible);

  // The first dragged below the third lands after it; the third dragged above the first before it.
  auto drag = [&](unsigned from, unsigned to) { DragRow(ScreenPointOf(from), ScreenPointOf(to)); };
  // Name is selected (its width in the box) when it is dragged: every column keeps its own width.
  Focus(0);
  ASSERT_EQ(dialog.EditPixelWidth->Text(), "180");
  drag(0, 2);
  EXPECT_EQ(Titles(), u"Size Type Name ");
  auto widths = [&] {
    std::vector<int32_t> out;
    for (const TColumnData& e : dialog.Entries()) out.push_back(e.Width);
    return out;
  };
  EXPECT_EQ(widths(), (std::vector<int32_t>{96, 120, 180}));
  EXPECT_EQ(live.back()[0].Width, 96);  // the list behind is not given Name's width for Size
  EXPECT_EQ(dialog.EditPixelWidth->Text(), "180");  // the dragged column stays selected
  drag(2, 0);
  EXPECT_EQ(Titles(), u"Name Size Type ");
  EXPECT_EQ(widths(), (std::vector<int32_t>{180, 96, 120}));
  EXPECT_EQ(live.back()[0].ColumnIndex, 0);
  EXPECT_FALSE(dialog.Entries()[2].Visible);  // the check marks moved with their columns
  // A drop onto its own row moves nothing and is still told.
  const size_t told = live.size();
  dialog.DropEntry(1, 1);
  EXPECT_EQ(Titles(), u"Name Size Type ");
  EXPECT_EQ(live.size(), told + 1);
}


// A list longer than the view: the row is dragged with the tree's own drag
// (image, drop target in its colours), the list scrolls while the mouse rests
// at its edge, and the drop lands after a target below, before one above.
TEST_F(ColumnSettings, DraggedRowsScrollTheListAndLandBesideTheTarget) {
  std::vector<TColumnData> entries;
  for (int i = 1; i <= 30; ++i) {
    const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
    entries.push_back({u"Column " + std::u16string(n.begin(), n.end()), i % 3 != 0, 100 + i, i - 1});
  }
  dialog.SetEntries(entries);
  dialog.CheckBoxLiveUpdate->SetChecked(true);
  TLazyStringTree& list = *dialog.LSTColumnNames;
  list.Colors().SetColor(TLTColors::DropTargetColor, RGB(0, 0xA0, 0));
  list.Colors().SetColor(TLTColors::DropTargetBorderColor, RGB(0, 0xA0, 0));
  Pump(100);
  ASSERT_GT(list.RangeY(), static_cast<uint32_t>(list.ViewHeight()) + 200);
  std::atomic<bool> atTop{true}, atEnd{false};  // as the list saw it at the last move
  list.OnDragOver = [&, accept = list.OnDragOver](TBaseLazyTree& tree, TBaseLazyTree* source, TShiftState shift,
                                                   TDragState state, POINT pt, TDropMode mode, DWORD& effect,
                                                   bool& accepted) {
    accept(tree, source, shift, state, pt, mode, effect, accepted);
    atTop = tree.OffsetY() == 0;
    atEnd = int64_t{tree.ViewHeight()} - tree.OffsetY() >= tree.RangeY();
  };
  auto titles = [&] {
    std::u16string out;
    for (const TColumnData& e : dialog.Entries()) out += e.Title.substr(7) + u" ";
    return out;
  };
  auto client = [&](int x, int y) {
    POINT p{x, y};
    ClientToScreen(list.Handle(), &p);
    return p;
  };
  const int zone = static_cast<int>(list.DefaultNodeHeight());

  // "01" down: it rests right of "05" (the shot), then at the lower edge
  // until the list shows its end, and is dropped on "30".
  const TLazyRect fourth = list.GetDisplayRect(Node(3), kNoColumn, true);
  const TLazyRect fifth = list.GetDisplayRect(Node(4), kNoColumn, true);
  const POINT onFifth = client(fifth.Right + 60, (fifth.Top + fifth.Bottom) / 2);
  const POINT atBottom = client(fifth.Right + 60, list.ViewHeight() - zone / 3);
  RECT area{};
  GetWindowRect(dialog.Handle(), &area);
  ui::TBitmap shot;
  DragRow(ScreenPointOf(0), onFifth, [] { return true; }, [&] {
    shot.CaptureScreen(area);
    GlideTo(onFifth, atBottom, [&] { return atEnd.load(); });
  });
  test::KeepShot(shot, "column_settings_drag");
  auto pixels = [&](const TLazyRect& r, int left, int right, bool match, uint32_t colour) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = left; x < right; ++x) {
        const POINT p = client(x, y);
        n += (shot.Pixel(p.x - area.left, p.y - area.top) == colour) == match;
      }
    return n;
  };
  // The target shows the drop-target colour; the rows above it, repainted
  // under the drag image, only their own labels (background right of them).
  EXPECT_GT(pixels(fifth, fifth.Left, fifth.Right, true, 0x00A000), (fifth.Right - fifth.Left) * 4);
  EXPECT_EQ(pixels(fourth, fourth.Left, fourth.Right, true, 0x00A000), 0);
  EXPECT_EQ(pixels(fourth, fourth.Right + 2, fourth.Right + 60, false, 0xFFFFFF), 0);
  EXPECT_TRUE(atEnd);
  EXPECT_EQ(titles(), u"02 03 04 05 06 07 08 09 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 01 ");
  EXPECT_EQ(list.TotalCount(), 30u);  // moved, nothing deleted
  ASSERT_FALSE(live.empty());
  EXPECT_EQ(live.back().back().ColumnIndex, 0);
  EXPECT_EQ(dialog.EditPixelWidth->Text(), "101");  // the moved row stays selected

  // "30" (second to last, in view) up to the top edge: dropped on "02", before it.
  const TLazyRect thirty = list.GetDisplayRect(Node(28), kNoColumn, true);
  ASSERT_TRUE(thirty.Top >= 0 && thirty.Bottom <= list.ViewHeight());
  DragRow(client(thirty.Left + 10, (thirty.Top + thirty.Bottom) / 2), client(thirty.Left + 10, zone / 3),
          [&] { return atTop.load(); });
  EXPECT_TRUE(atTop);
  EXPECT_EQ(titles(), u"30 02 03 04 05 06 07 08 09 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 01 ");
  EXPECT_FALSE(dialog.Entries()[0].Visible);  // the check mark moved with its column
  EXPECT_EQ(live.back().front().ColumnIndex, 29);
}

// A row pressed (remembered for a drag) and then a drop from elsewhere: only
// a drag of the list's own rows moves one.
TEST_F(ColumnSettings, ADropFromElsewhereMovesNothing) {
  TLazyStringTree& other = dialog.Create<TLazyStringTree>();
  other.SetParent(&dialog);
  other.SetBounds(0, 0, 10, 10);
  other.SetRootNodeCount(1);
  const POINT pressed = ScreenPointOf(2);
  SetCursorPos(pressed.x, pressed.y);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  Pump(150);
  ASSERT_TRUE(dialog.LSTColumnNames->Selected(Node(2)));

  ILTDragManager& target = dialog.LSTColumnNames->GetDragManager();
  const ComPtr<IDataObject> data = other.GetDragManager().GetDataObject();
  const POINT on = ScreenPointOf(0);
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  ASSERT_EQ(target.DragEnter(data.Get(), 0, POINTL{on.x, on.y}, &effect), S_OK);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  EXPECT_EQ(target.Drop(data.Get(), 0, POINTL{on.x, on.y}, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_EQ(Titles(), u"Name Size Type ");
}

// Columns the dialog leaves out (a title listed already) follow the listed
// ones in the order they had, whatever the count of columns.
TEST(ColumnSettingsApply, ColumnsOfOnePositionKeepTheirOrder) {
  ui::TForm form;
  TLazyExplorerTree& tree = form.Create<TLazyExplorerTree>();
  tree.SetParent(&form);
  tree.SetBounds(0, 0, 300, 200);
  TLazyTreeColumns& columns = tree.Header().Columns();
  // 20 columns; every fourth repeats the title before it.
  for (int i = 0; i < 20; ++i) {
    const int titled = i % 4 == 3 ? i - 1 : i;
    columns.Add().SetText(L"C" + std::to_wstring(titled));
  }
  TFormColumnSettings dialog;
  dialog.SetEntries(ColumnSettingsEntries(tree.ColumnStates()));
  ASSERT_EQ(dialog.Entries().size(), 15u);
  dialog.DropEntry(0, 14);  // C0 to the end of the list
  TColumnMenuItem::UpdateColumns(dialog, tree);
  std::vector<int> shown;
  for (TColumnIndex i : columns.PositionArray()) shown.push_back(i);
  // The listed columns in list order, then the ones left out as they were.
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 0, 3, 7, 11, 15, 19}));
}

}  // namespace
}  // namespace kv
