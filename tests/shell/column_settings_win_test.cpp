// The column settings dialog driven by real keys and mouse clicks.
#include "shell/column_settings_win.h"

#include <gtest/gtest.h>

#include "tests/ui/ui_test_util.h"

namespace kv {
namespace {
using ui::test::Pump;

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
  EXPECT_EQ(dialog.Entries()[1].Width, 65535);
  EXPECT_EQ(dialog.EditPixelWidth->Text(), "180");

  // Enter anywhere else is OK.
  SetFocus(dialog.LSTColumnNames->Handle());
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
  auto drag = [&](unsigned from, unsigned to) {
    POINT a = ScreenPointOf(from), b = ScreenPointOf(to);
    SetCursorPos(a.x, a.y);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    Pump(50);
    SetCursorPos(b.x, b.y);
    mouse_event(MOUSEEVENTF_MOVE, 0, 0, 0, 0);
    Pump(50);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    Pump(150);
  };
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
}

}  // namespace
}  // namespace kv
