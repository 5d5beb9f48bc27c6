#include "shell/owner_draw_scrollbar_win.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "base/scope_guard.h"

#include "tests/shell/shell_test_util.h"
#include "tests/ui/ui_test_util.h"

namespace kv {
namespace {

// Records the scroll messages the bar sends it.
class TScrollRecorder : public ui::TControl {
 public:
  std::vector<std::pair<int, int>> calls;  // code, position
  HWND lastSender = nullptr;
  std::function<void(int code)> onScroll;

 protected:
  void WndProc(ui::TMessage& m) override {
    if (m.msg == WM_VSCROLL) {
      calls.emplace_back(LOWORD(m.wParam), static_cast<short>(HIWORD(m.wParam)));
      lastSender = reinterpret_cast<HWND>(m.lParam);
      if (onScroll) onScroll(LOWORD(m.wParam));
      return;
    }
    TControl::WndProc(m);
  }
};

struct ScrollbarFixture : ::testing::Test {
  void SetUp() override {
    form.SetBounds(100, 100, 200, 300);
    bar.SetParent(&form);
    bar.SetAllowThemes(false);
    bar.SetBounds(10, 10, 17, 200);
    recorder.SetParent(&form);
    recorder.SetBounds(60, 10, 50, 50);
    bar.SetAssociatedControl(&recorder);
    ASSERT_TRUE(bar.Handle());
  }
  // A click at y, the mouse moved through `moves` before the release.
  void Press(int y, const std::vector<int>& moves = {}) {
    SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, y));
    for (int m : moves) SendMessageW(bar.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(8, m));
    SendMessageW(bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(8, moves.empty() ? y : moves.back()));
  }
  ui::TForm form;
  TOwnerDrawScrollbar& bar = form.Create<TOwnerDrawScrollbar>();
  TScrollRecorder& recorder = form.Create<TScrollRecorder>();
};

using Calls = std::vector<std::pair<int, int>>;

TEST_F(ScrollbarFixture, PressesSendTheirCodeEachFollowedByEndScroll) {
  bar.SetPageSize(10);
  bar.SetPosition(45);
  const TScrollbarGeometry g = bar.Geometry();
  const struct {
    int y, code;
  } presses[] = {{g.UpperArrow().top + 2, SB_LINEUP},
                 {g.LowerArrow().top + 2, SB_LINEDOWN},
                 {g.PageAbove().top + 1, SB_PAGEUP},
                 {g.PageBelow().bottom - 1, SB_PAGEDOWN}};
  for (const auto& p : presses) {
    recorder.calls.clear();
    Press(p.y);
    EXPECT_EQ(recorder.calls, (Calls{{p.code, 45}, {SB_ENDSCROLL, 45}})) << p.y;
    EXPECT_EQ(recorder.lastSender, bar.Handle());
    EXPECT_EQ(bar.State() & ~sbsThemesAvailable & ~(sbsUpperArrowHot | sbsLowerArrowHot | sbsThumbHot), 0);
  }
  // A held arrow repeats after the delay.
  recorder.calls.clear();
  SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 2));
  ui::test::Pump(800);
  SendMessageW(bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(8, 2));
  EXPECT_GE(recorder.calls.size(), 6u);
  for (size_t i = 0; i < recorder.calls.size(); ++i)
    EXPECT_EQ(recorder.calls[i].first, i % 2 ? SB_ENDSCROLL : SB_LINEUP);
  // Without an associated control the bar moves itself.
  bar.SetAssociatedControl(nullptr);
  bar.SetSmallChange(3);
  bar.SetLargeChange(20);
  Press(g.LowerArrow().top + 2);
  EXPECT_EQ(bar.Position(), 48);
  Press(bar.Geometry().PageBelow().bottom - 1);
  EXPECT_EQ(bar.Position(), 68);
  // An associated control that has no window still takes the action: the bar does not move.
  TScrollRecorder& windowless = form.Create<TScrollRecorder>();
  bar.SetAssociatedControl(&windowless);
  Press(g.LowerArrow().top + 2);
  Press(bar.Geometry().PageBelow().bottom - 1);
  EXPECT_EQ(bar.Position(), 68);
  EXPECT_TRUE(windowless.calls.empty());
  EXPECT_FALSE(windowless.HandleIfAllocated());
}

// Releasing the thumb is an end-scroll action, followed like every action
// but thumb tracking by an end-scroll, while the thumb still shows pressed.
TEST_F(ScrollbarFixture, DraggingTracksPositionsAndEndsTheScroll) {
  bar.SetPageSize(10);
  const TScrollbarGeometry g = bar.Geometry();
  std::vector<uint16_t> statesAtEnd;
  recorder.onScroll = [&](int code) {
    if (code == SB_ENDSCROLL) statesAtEnd.push_back(bar.State() & (sbsThumbPressed | sbsLeftButtonDown));
  };
  Press(g.ThumbCenter(), {60, 100, 150, 400, -20});
  const Calls expected{{SB_THUMBTRACK, g.PositionFromPixel(60)},
                       {SB_THUMBTRACK, g.PositionFromPixel(100)},
                       {SB_THUMBTRACK, g.PositionFromPixel(150)},
                       {SB_THUMBTRACK, 90},
                       {SB_THUMBTRACK, 0},
                       {SB_ENDSCROLL, 0},
                       {SB_ENDSCROLL, 0}};
  EXPECT_EQ(recorder.calls, expected);
  EXPECT_EQ(statesAtEnd, (std::vector<uint16_t>(2, sbsThumbPressed | sbsLeftButtonDown)));
  EXPECT_EQ(bar.State() & (sbsThumbPressed | sbsLeftButtonDown), 0);
  EXPECT_LT(g.PositionFromPixel(60), g.PositionFromPixel(100));
  // A double-click on the thumb does not drag.
  recorder.calls.clear();
  SendMessageW(bar.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(8, g.ThumbCenter()));
  SendMessageW(bar.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(8, 120));
  SendMessageW(bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(8, 120));
  EXPECT_EQ(recorder.calls, (Calls{{SB_ENDSCROLL, 0}, {SB_ENDSCROLL, 0}}));
  // One position: the thumb fills the track and dragging keeps it.
  recorder.calls.clear();
  bar.SetPageSize(100);
  EXPECT_EQ(bar.Geometry().ThumbLength(), bar.Geometry().TrackLength());
  Press(100, {20, 100, 180});
  EXPECT_EQ(recorder.calls, (Calls{{5, 0}, {5, 0}, {5, 0}, {8, 0}, {8, 0}}));
}

TEST_F(ScrollbarFixture, HotPartsFollowTheMouseUntilItLeaves) {
  const TScrollbarGeometry g = bar.Geometry();
  const uint16_t hot = sbsUpperArrowHot | sbsLowerArrowHot | sbsThumbHot;
  const struct {
    int y;
    uint16_t bit;
  } moves[] = {{2, sbsUpperArrowHot}, {g.LowerArrow().top + 2, sbsLowerArrowHot},
               {g.ThumbCenter(), sbsThumbHot}, {g.Track().bottom - 2, 0}};
  for (const auto& move : moves) {
    SendMessageW(bar.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(8, move.y));
    EXPECT_EQ(bar.State() & hot, move.bit) << move.y;
  }
  SendMessageW(bar.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(8, 2));
  SetCursorPos(1200, 1000);  // far from the bar: the hot timer clears the mark
  ui::test::Pump(150);
  EXPECT_EQ(bar.State() & hot, 0);
}

TEST_F(ScrollbarFixture, ShortBarHasArrowsOnlyAndNeverTakesActivation) {
  bar.SetHeight(20);
  EXPECT_EQ(bar.Geometry().TrackLength(), 0);
  Press(15);
  EXPECT_EQ(recorder.calls, (Calls{{SB_LINEDOWN, 0}, {SB_ENDSCROLL, 0}}));
  EXPECT_EQ(SendMessageW(bar.Handle(), WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(form.Handle()),
                         MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
            MA_NOACTIVATE);
}

TEST_F(ScrollbarFixture, ClassicAndStyledLooks) {
  bar.SetPageSize(20);
  bar.SetPosition(40);
  bar.Colors().SetBackground(RGB(0, 0, 255));
  bar.Colors().SetBackgroundBlend(RGB(255, 255, 255));
  bar.Colors().SetThumbButton(RGB(255, 0, 0));
  form.Show();
  const ui::TBitmap shot = ui::test::Screenshot(form, "owner_draw_scrollbar_classic");
  test::KeepShot(shot, "owner_draw_scrollbar_classic");
  const TScrollbarGeometry g = bar.Geometry();
  auto at = [&](int x, int y) { return ui::test::PixelAt(shot, form, bar.Handle(), x, y); };
  // The track: blue where x + y is odd, white where even, above and below the thumb.
  for (int y : {g.PageAbove().top + 3, g.PageAbove().top + 4, g.PageBelow().bottom - 3}) {
    EXPECT_EQ(at(6, y), (6 + y) % 2 ? 0x0000FFu : 0xFFFFFFu) << y;
    EXPECT_EQ(at(7, y), (7 + y) % 2 ? 0x0000FFu : 0xFFFFFFu) << y;
  }
  EXPECT_EQ(at(8, g.ThumbCenter()), 0xFF0000u);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const uint32_t faceRgb = GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face);
  EXPECT_EQ(at(3, 3), faceRgb);  // the arrows' button face
  EXPECT_EQ(at(3, g.LowerArrow().bottom - 4), faceRgb);
  // In the visual style the thumb is the style's, not the classic colour.
  bar.SetAllowThemes(true);
  if (!bar.UsesThemes()) GTEST_SKIP() << "no visual style active";
  EXPECT_TRUE(bar.State() & sbsThemesAvailable);
  const ui::TBitmap themed = ui::test::Screenshot(form, "owner_draw_scrollbar_themed");
  test::KeepShot(themed, "owner_draw_scrollbar_themed");
  EXPECT_NE(ui::test::PixelAt(themed, form, bar.Handle(), 8, g.ThumbCenter()), 0xFF0000u);
}

// A bar wider than the system's: the arrows keep the system's width, the
// track takes the whole client width; beside an arrow a press does nothing.
TEST_F(ScrollbarFixture, ArrowsKeepTheSystemWidth) {
  const int arrow = GetSystemMetrics(SM_CXVSCROLL);
  bar.SetWidth(arrow + 20);
  bar.SetColor(RGB(0, 255, 0));
  bar.Colors().SetBackground(RGB(0, 0, 255));
  form.Show();
  const TScrollbarGeometry g = bar.Geometry();
  const ui::TBitmap shot = ui::test::Screenshot(form, "owner_draw_scrollbar_wide");
  test::KeepShot(shot, "owner_draw_scrollbar_wide");
  auto at = [&](int x, int y) { return ui::test::PixelAt(shot, form, bar.Handle(), x, y); };
  EXPECT_EQ(at(arrow + 5, 3), 0x00FF00u);  // beside the upper arrow: the bar's colour
  EXPECT_EQ(at(arrow + 5, g.LowerArrow().bottom - 4), 0x00FF00u);
  EXPECT_NE(at(arrow - 4, 3), 0x00FF00u);  // the arrow itself
  const int y = g.PageBelow().bottom - 3;  // the track's pattern runs under the whole width
  EXPECT_EQ(at(arrow + 5, y), (arrow + 5 + y) % 2 ? 0x0000FFu : 0xFFFFFFu);
  Press(3);
  Press(g.LowerArrow().bottom - 3);
  EXPECT_EQ(recorder.calls, (Calls{{SB_LINEUP, 0}, {SB_ENDSCROLL, 0}, {SB_LINEDOWN, 0}, {SB_ENDSCROLL, 0}}));
  recorder.calls.clear();
  SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(arrow + 5, 3));
  SendMessageW(bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(arrow + 5, 3));
  SendMessageW(bar.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(arrow + 5, g.LowerArrow().top + 2));
  EXPECT_TRUE(recorder.calls.empty());
  EXPECT_EQ(bar.State() & (sbsUpperArrowPressed | sbsLowerArrowHot), 0);
}

// The system's colours changed as the user changes them: the form hears of
// it and the bar's track (the scroll-bar colour by default) follows.
TEST_F(ScrollbarFixture, ASystemColourChangeRebuildsTheTrack) {
  const int element = COLOR_SCROLLBAR;
  const COLORREF old = GetSysColor(element);
  const COLORREF changed = old == RGB(0, 128, 0) ? RGB(128, 0, 128) : RGB(0, 128, 0);
  const ScopeGuard restore([&] { SetSysColors(1, &element, &old); });
  bar.SetPageSize(20);
  form.Show();
  ASSERT_TRUE(SetSysColors(1, &element, &changed));
  ui::test::Pump(50);
  const ui::TBitmap shot = ui::test::Screenshot(form, "owner_draw_scrollbar_colour_change");
  test::KeepShot(shot, "owner_draw_scrollbar_colour_change");
  const TScrollbarGeometry g = bar.Geometry();
  const uint32_t rgb = GetRValue(changed) << 16 | GetGValue(changed) << 8 | GetBValue(changed);
  for (int y : {g.PageBelow().top + 3, g.PageBelow().top + 4, g.PageBelow().bottom - 3}) {
    EXPECT_EQ(ui::test::PixelAt(shot, form, bar.Handle(), 6, y), (6 + y) % 2 ? rgb : 0xFFFFFFu) << y;
  }
}

}  // namespace
}  // namespace kv
