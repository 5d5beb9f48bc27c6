// The theme manager over the layer's standard controls: which list each
// class joins, controls that refuse, forms made later, freeing in either
// order, the hand-over of the main role, and what the screen shows with and
// without visual styles.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/ui/ui_test_util.h"
#include "treeview/theme_manager_win.h"
#include "treeview/theme_services_win.h"
#include "ui/toolbar_win.h"

namespace kv {
namespace {

using K = TThemeListKind;

struct ComCtl {
  explicit ComCtl(int version) {
    ui::SetComCtlVersionProvider([version] { return version; });
    ThemeServices().UpdateThemes();
  }
  ~ComCtl() {
    ui::SetComCtlVersionProvider(nullptr);
    ThemeServices().UpdateThemes();
  }
};

// A control that paints itself and refuses to be subclassed, as trees do.
class TSelfPainted : public ui::TPanel {
 protected:
  void WndProc(ui::TMessage& m) override {
    if (m.msg == ui::CM_DENYSUBCLASSING) {
      m.result = 1;
      return;
    }
    ui::TPanel::WndProc(m);
  }
};

// A form with one control of every standard class.
struct StandardForm {
  StandardForm() {
    form = std::make_unique<ui::TForm>();
    form->SetBounds(60, 60, 420, 300);
    ui::TForm& f = *form;
    auto place = [&](ui::TControl& c, ui::TControl& parent, int x, int y, int w, int h,
                     const char* caption) {
      c.SetParent(&parent);
      c.SetBounds(x, y, w, h);
      if (*caption) c.SetCaption(caption);
    };
    place(f.Create<ui::TButton>(), f, 10, 10, 80, 25, "Button");
    place(f.Create<ui::TCheckBox>(), f, 10, 40, 100, 20, "Check");
    place(f.Create<ui::TRadioButton>(), f, 10, 65, 100, 20, "Radio");
    place(f.Create<ui::TSpeedButton>(), f, 100, 10, 25, 25, "S");
    group = &f.Create<ui::TGroupBox>();
    place(*group, f, 140, 10, 150, 90, "Group");
    place(f.Create<ui::TCheckBox>(), *group, 10, 30, 100, 20, "Inside");
    place(f.Create<ui::TRadioGroup>(), f, 300, 10, 100, 90, "Radios");
    panel = &f.Create<ui::TPanel>();
    place(*panel, f, 10, 110, 200, 60, "Wg panel");
    place(f.Create<ui::TFrame>(), f, 220, 110, 80, 60, "");
    place(f.Create<ui::TTrackBar>(), f, 10, 180, 200, 30, "");
    place(f.Create<ui::TEdit>(), f, 220, 180, 120, 22, "");
    selfPainted = &f.Create<TSelfPainted>();
    place(*selfPainted, f, 350, 110, 50, 50, "");
    place(f.Create<ui::TStatusBar>(), f, 0, 250, 400, 20, "");
  }
  std::unique_ptr<ui::TForm> form;
  ui::TGroupBox* group = nullptr;
  ui::TPanel* panel = nullptr;
  TSelfPainted* selfPainted = nullptr;
};

TEST(ThemeManager, EveryClassJoinsItsListAndSelfPaintedControlsRefuse) {
  const ComCtl comctl(581);
  StandardForm standard;
  TThemeManager manager;
  ASSERT_TRUE(manager.IsMainManager());
  EXPECT_FALSE(manager.Subclassed(*standard.form));  // nothing before the collection
  manager.CollectForms();
  struct Case {
    K kind;
    size_t count;
  };
  const Case cases[] = {
      {K::ButtonControl, 5},  // button, speed button, two check boxes, radio button
      {K::SpeedButton, 0}, {K::GroupBox, 2}, {K::Panel, 1}, {K::Frame, 1}, {K::TrackBar, 1},
      {K::StatusBar, 1},   {K::Form, 1},     {K::ListView, 0}, {K::TabSheet, 0},
      {K::Animate, 0},     {K::CheckListBox, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(manager.ListCount(c.kind), c.count) << static_cast<int>(c.kind);
  EXPECT_FALSE(manager.Subclassed(*standard.selfPainted));
  EXPECT_TRUE(manager.Subclassed(*standard.form));

  // With its class's option off a control goes on to the next test that
  // matches, the windowed controls; with that off too it is left alone.
  const size_t windowed = manager.ListCount(K::WinControl);
  manager.SetOptions(manager.Options() & ~toSubclassPanel);
  manager.CollectForms(nullptr);
  EXPECT_EQ(manager.ListCount(K::Panel), 0u);
  EXPECT_EQ(manager.ListCount(K::WinControl), windowed + 1);
  EXPECT_TRUE(manager.Subclassed(*standard.panel));
  EXPECT_FALSE(manager.Subclassed(*standard.selfPainted));
  manager.SetOptions(manager.Options() & ~toSubclassWinControl);
  manager.CollectForms(nullptr);
  EXPECT_FALSE(manager.Subclassed(*standard.panel));
  EXPECT_EQ(manager.ListCount(K::WinControl), 0u);
  manager.SetOptions(kDefaultThemeOptions);

  // A form the owner keeps to itself still has its controls collected.
  manager.OnAllowSubclassing = [](TThemeManager&, ui::TControl& c, bool& allow) {
    allow = dynamic_cast<ui::TForm*>(&c) == nullptr;
  };
  manager.CollectForms(nullptr);
  EXPECT_FALSE(manager.Subclassed(*standard.form));
  EXPECT_TRUE(manager.Subclassed(*standard.panel));
  EXPECT_EQ(manager.ListCount(K::ButtonControl), 5u);
  manager.OnAllowSubclassing = nullptr;
  EXPECT_THROW(manager.CollectControls(nullptr), std::invalid_argument);

  // A list takes only controls of its own class.
  manager.ClearLists();
  ui::TControl& button = *standard.form->Controls(0);
  TWindowProcList groups(manager, K::GroupBox), views(manager, K::ListView),
      others(manager, K::WinControl);
  EXPECT_EQ(groups.Add(button), -1);
  EXPECT_EQ(views.Add(*standard.panel), -1);
  EXPECT_EQ(groups.Count() + views.Count(), 0u);
  EXPECT_EQ(groups.Add(*standard.group), 0);
  EXPECT_EQ(others.Add(button), 0);
  EXPECT_EQ(others.Add(button), -1);
  groups.Clear();
  others.Clear();
}

TEST(ThemeManager, FreeingAFormThenTheManagerTouchesNothingStale) {
  const ComCtl comctl(600);
  auto manager = std::make_unique<TThemeManager>();
  {
    StandardForm standard;
    manager->CollectForms(nullptr);
    EXPECT_GT(manager->ListCount(K::ButtonControl), 0u);
    standard.form->Show();
    ui::test::Pump(50);
  }
  // Every control freed with its form left its list.
  for (int k = 0; k < kThemeListCount; ++k)
    EXPECT_EQ(manager->ListCount(static_cast<K>(k)), 0u) << k;
  manager.reset();
  EXPECT_EQ(TThemeManager::MainManager(), nullptr);
}

TEST(ThemeManager, FormMadeLaterIsCollectedAtTheNextMessage) {
  const ComCtl comctl(581);
  TThemeManager manager;
  ui::TForm later;
  auto& button = later.Create<ui::TButton>();
  button.SetParent(&later);
  EXPECT_FALSE(manager.Subclassed(later));
  ui::Application().ProcessMessages();
  EXPECT_TRUE(manager.Subclassed(later));
  EXPECT_TRUE(manager.Subclassed(button));
}

TEST(ThemeManager, ControlsJoiningACollectedFormAreSubclassed) {
  const ComCtl comctl(600);
  if (!ThemeServices().ThemesEnabled()) GTEST_SKIP() << "no visual style active";
  StandardForm standard;
  TThemeManager manager;
  manager.CollectForms();
  auto& added = standard.form->Create<ui::TButton>();
  added.SetParent(standard.form.get());
  EXPECT_TRUE(manager.Subclassed(added));
  added.SetParent(nullptr);
  EXPECT_FALSE(manager.Subclassed(added));
  // A panel joining while the panels' option is off goes to the windowed
  // controls' list, and leaves it when it leaves the form.
  manager.SetOptions(kDefaultThemeOptions & ~toSubclassPanel);
  auto& panel = standard.form->Create<ui::TPanel>();
  panel.SetParent(standard.form.get());
  EXPECT_EQ(manager.ListCount(K::Panel), 1u);  // the form's own, collected before
  EXPECT_TRUE(manager.Subclassed(panel));
  panel.SetParent(nullptr);
  EXPECT_FALSE(manager.Subclassed(panel));
  manager.SetOptions(kDefaultThemeOptions);
}

TEST(ThemeManager, DestroyingTheMainManagerMakesTheSecondMain) {
  const ComCtl comctl(581);
  StandardForm standard;
  auto first = std::make_unique<TThemeManager>();
  first->CollectForms();
  first->SetOptions(kDefaultThemeOptions & ~toSubclassGroupBox);
  TThemeManager second;
  EXPECT_FALSE(second.IsMainManager());
  EXPECT_EQ(second.Options(), first->Options());  // a sub manager takes the main one's options
  EXPECT_EQ(second.ListCount(K::Form), 0u);
  first.reset();
  EXPECT_TRUE(second.IsMainManager());
  EXPECT_EQ(second.ListCount(K::Form), 1u);
  EXPECT_EQ(second.ListCount(K::GroupBox), 0u);
  EXPECT_TRUE(second.Subclassed(*standard.panel));
  // Taking the role back explicitly.
  TThemeManager third;
  third.ForceAsMainManager();
  EXPECT_TRUE(third.IsMainManager());
  EXPECT_EQ(second.ListCount(K::Form), 0u);
  EXPECT_EQ(third.ListCount(K::Form), 1u);
}

TEST(ThemeManager, FreeingASubManagerLeavesTheMainOneCollecting) {
  const ComCtl comctl(581);
  TThemeManager main;
  auto sub = std::make_unique<TThemeManager>();
  sub.reset();
  ui::TForm later;
  ui::Application().ProcessMessages();
  EXPECT_TRUE(main.Subclassed(later));
  // The old main manager, a sub manager once another took the role, likewise.
  auto old = std::make_unique<TThemeManager>();
  old->ForceAsMainManager();
  main.ForceAsMainManager();
  old.reset();
  ui::TForm latest;
  ui::Application().ProcessMessages();
  EXPECT_TRUE(main.Subclassed(latest));
}

std::string Pixels(const ui::TBitmap& shot) {
  std::string all;
  for (int y = 0; y < shot.Height(); ++y)
    for (int x = 0; x < shot.Width(); ++x) all += std::to_string(shot.Pixel(x, y)) + ",";
  return all;
}

TEST(ThemeManager, WithoutStylesTheFormLooksAsWithoutTheManager) {
  const ComCtl comctl(581);
  StandardForm standard;
  standard.form->Show();
  const ui::TBitmap before = ui::test::Screenshot(*standard.form, "theme_manager_581_without");
  TThemeManager manager;
  manager.CollectForms();
  const ui::TBitmap after = ui::test::Screenshot(*standard.form, "theme_manager_581_with");
  ASSERT_EQ(before.Width(), after.Width());
  ASSERT_EQ(before.Height(), after.Height());
  EXPECT_TRUE(Pixels(before) == Pixels(after));
}

// A frame that counts the paint messages its own handler gets.
class TCountingFrame : public ui::TFrame {
 public:
  int paints = 0;

 protected:
  void WndProc(ui::TMessage& m) override {
    if (m.msg == WM_PAINT) ++paints;
    ui::TFrame::WndProc(m);
  }
};

TEST(ThemeManager, KeysShowTheFormsCuesAndFramesPaintNothingOfTheirOwn) {
  const ComCtl comctl(600);
  if (!ThemeServices().ThemesEnabled()) GTEST_SKIP() << "no visual style active";
  StandardForm standard;
  auto& frame = standard.form->Create<TCountingFrame>();
  frame.SetParent(standard.form.get());
  frame.SetBounds(300, 180, 60, 40);
  standard.form->Show();
  TThemeManager manager;
  manager.CollectForms();
  HWND form = standard.form->Handle();
  HWND edit = nullptr;
  for (size_t i = 0; i < standard.form->ControlCount(); ++i)
    if (dynamic_cast<ui::TEdit*>(standard.form->Controls(i)))
      edit = standard.form->Controls(i)->Handle();
  ASSERT_NE(edit, nullptr);
  // Every kind of key-down: Tab and the arrows bring back the focus cues,
  // Alt the accelerator cues.
  struct Key {
    UINT msg;
    WPARAM key;
    WORD shown;
  } const keys[] = {
      {WM_KEYDOWN, VK_TAB, UISF_HIDEFOCUS},     {WM_SYSKEYDOWN, VK_LEFT, UISF_HIDEFOCUS},
      {ui::CN_KEYDOWN, VK_DOWN, UISF_HIDEFOCUS}, {WM_SYSKEYDOWN, VK_MENU, UISF_HIDEACCEL},
      {ui::CN_KEYDOWN, VK_MENU, UISF_HIDEACCEL},
  };
  WPARAM asked = 0;
  const ui::TWndMethod old = standard.form->WindowProc();
  standard.form->SetWindowProc([&asked, old](ui::TMessage& m) {
    if (m.msg == WM_CHANGEUISTATE) asked = m.wParam;
    old(m);
  });
  for (const Key& k : keys) {
    asked = 0;
    SendMessageW(edit, k.msg, k.key, 0);
    EXPECT_EQ(asked, MAKEWPARAM(UIS_CLEAR, k.shown)) << k.msg << " " << k.key;
  }
  standard.form->SetWindowProc(old);
  // A frame paints nothing of its own, and its window is left valid.
  UpdateWindow(form);
  frame.paints = 0;
  InvalidateRect(frame.Handle(), nullptr, TRUE);
  UpdateWindow(frame.Handle());
  EXPECT_EQ(frame.paints, 0);
  EXPECT_FALSE(GetUpdateRect(frame.Handle(), nullptr, FALSE));
}

TEST(ThemeManager, StyledGroupBoxAndPanelSitWhereTheyBelong) {
  const ComCtl comctl(600);
  if (!ThemeServices().ThemesEnabled()) GTEST_SKIP() << "no visual style active";
  StandardForm standard;
  standard.panel->SetBevelOuter(ui::TBevel::Lowered);
  standard.panel->SetBevelEdges(BF_TOP);  // a separator line
  standard.form->Show();
  TThemeManager manager;
  manager.CollectForms();
  const ui::TBitmap shot = ui::test::Screenshot(*standard.form, "theme_manager_600");
  ui::TForm& form = *standard.form;

  // The group box element drawn alone over the frame rectangle, which
  // starts at half the caption height; the caption's place is left out.
  HWND group = standard.group->Handle();
  RECT client;
  GetClientRect(group, &client);
  const ui::WindowDc screen = ui::GetClientDc(nullptr);
  const ui::MemoryDc alone = ui::CreateMemoryDc(screen.Get());
  const ui::BitmapObject bitmap(CreateCompatibleBitmap(screen.Get(), client.right, client.bottom));
  const ui::SelectedObject selected = ui::SelectInto(alone.Get(), bitmap.Get());
  const ui::SelectedObject font = ui::SelectInto(alone.Get(), standard.group->FontHandle());
  SIZE extent{};
  GetTextExtentPoint32W(alone.Get(), L"Group", 5, &extent);
  FillRect(alone.Get(), &client, GetSysColorBrush(COLOR_BTNFACE));
  const RECT frame{0, extent.cy / 2, client.right, client.bottom};
  ThemeServices().DrawElement(alone.Get(), GetElementDetails(TThemedButton::tbGroupBoxNormal),
                              frame);
  auto rgb = [](COLORREF c) {
    return static_cast<uint32_t>(GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c));
  };
  const POINT frameProbes[] = {{0, client.bottom / 2},
                               {client.right - 1, client.bottom / 2},
                               {4, extent.cy / 2},
                               {client.right / 2, client.bottom - 1}};
  for (POINT p : frameProbes)
    EXPECT_EQ(ui::test::PixelAt(shot, form, group, p.x, p.y), rgb(GetPixel(alone.Get(), p.x, p.y)))
        << p.x << "," << p.y;
  // The caption starts 8 pixels in: the frame line does not run under it.
  int dark = 0;
  for (int x = 8; x < 8 + extent.cx; ++x) {
    const uint32_t px = ui::test::PixelAt(shot, form, group, x, extent.cy / 2);
    dark += ((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF) < 300;
  }
  EXPECT_GT(dark, 0);  // caption strokes
  // Above the frame the parent's background shows.
  for (int y = 0; y < extent.cy / 2 - 1; ++y)
    EXPECT_EQ(ui::test::PixelAt(shot, form, group, 2, y), rgb(GetSysColor(COLOR_BTNFACE))) << y;

  // The panel's caption sits in a band one "W" high centred in the panel.
  HWND panel = standard.panel->Handle();
  GetClientRect(panel, &client);
  const ui::SelectedObject panelFont = ui::SelectInto(alone.Get(), standard.panel->FontHandle());
  SIZE w{};
  GetTextExtentPoint32W(alone.Get(), L"W", 1, &w);
  const int bandTop = 1 + (client.bottom - 2 - w.cy) / 2;
  int inBand = 0, outside = 0;
  for (int y = 1; y < client.bottom - 1; ++y)
    for (int x = 1; x < client.right - 1; ++x) {
      const uint32_t px = ui::test::PixelAt(shot, form, panel, x, y);
      const bool ink = ((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF) < 200;
      (y >= bandTop && y < bandTop + w.cy ? inBand : outside) += ink;
    }
  EXPECT_GT(inBand, 10);
  EXPECT_EQ(outside, 0);
  // Its bevel only on its own edge: the shadow along the top, the
  // background down the sides and along the bottom.
  const uint32_t inside = ui::test::PixelAt(shot, form, panel, 2, 2);
  EXPECT_EQ(ui::test::PixelAt(shot, form, panel, 2, 0), rgb(GetSysColor(COLOR_BTNSHADOW)));
  const POINT plain[] = {{0, 2}, {client.right - 1, 2}, {2, client.bottom - 1}};
  for (POINT p : plain)
    EXPECT_EQ(ui::test::PixelAt(shot, form, panel, p.x, p.y), inside) << p.x << "," << p.y;
}

// A label, a check box and a track bar of their own colour on a coloured
// panel, a label of the panel's colour, and a tool bar.
struct ColouredPanelForm {
  static constexpr ui::TColor kPanel = 0x3070C0, kOwn = ui::clWhite;
  ColouredPanelForm() {
    form = std::make_unique<ui::TForm>();
    form->SetBounds(80, 80, 320, 200);
    panel = &form->Create<ui::TPanel>();
    panel->SetParent(form.get());
    panel->SetBounds(10, 40, 290, 110);
    panel->SetColor(kPanel);
    panel->SetBevelOuter(ui::TBevel::None);
    label = &form->Create<ui::TLabel>();
    label->SetParent(panel);
    label->SetAutoSize(false);
    label->SetBounds(10, 10, 150, 20);
    label->SetColor(kOwn);
    label->SetCaption("Ab");
    plainLabel = &form->Create<ui::TLabel>();
    plainLabel->SetParent(panel);
    plainLabel->SetAutoSize(false);
    plainLabel->SetBounds(10, 92, 150, 16);
    plainLabel->SetCaption("Ab");
    check = &form->Create<ui::TCheckBox>();
    check->SetParent(panel);
    check->SetBounds(170, 10, 110, 20);
    check->SetColor(kOwn);
    check->SetCaption("Ab");
    track = &form->Create<ui::TTrackBar>();
    track->SetParent(panel);
    track->SetBounds(10, 50, 250, 40);
    track->SetColor(kOwn);
    track->SetPosition(5);
    toolbar = &form->Create<ui::TToolBar>();
    toolbar->SetParent(form.get());
    toolbar->SetBounds(0, 0, 300, 30);
    toolbar->SetFlat(false);
    form->Show();
  }
  std::unique_ptr<ui::TForm> form;
  ui::TPanel* panel = nullptr;
  ui::TLabel* label = nullptr;
  ui::TLabel* plainLabel = nullptr;
  ui::TCheckBox* check = nullptr;
  ui::TTrackBar* track = nullptr;
  ui::TToolBar* toolbar = nullptr;
};

uint32_t Rgb(ui::TColor c) {
  const COLORREF v = ui::ColorToRGB(c);
  return static_cast<uint32_t>(GetRValue(v) << 16 | GetGValue(v) << 8 | GetBValue(v));
}

TEST(ThemeManager, StyledLabelAndTrackBarShowTheirParent) {
  {
    const ComCtl comctl(581);
    ColouredPanelForm plain;
    const ui::TBitmap before = ui::test::Screenshot(*plain.form, "theme_manager_coloured_581");
    TThemeManager manager;
    manager.CollectForms();
    const ui::TBitmap after = ui::test::Screenshot(*plain.form, "theme_manager_coloured_581_with");
    EXPECT_TRUE(Pixels(before) == Pixels(after));
    EXPECT_EQ(ui::test::PixelAt(after, *plain.form, plain.label->Handle(), 140, 10),
              Rgb(ColouredPanelForm::kOwn));
    // Tool bars become transparent without a style too.
    EXPECT_TRUE(SendMessageW(plain.toolbar->Handle(), TB_GETSTYLE, 0, 0) & TBSTYLE_TRANSPARENT);
  }
  const ComCtl comctl(600);
  if (!ThemeServices().ThemesEnabled()) GTEST_SKIP() << "no visual style active";
  ColouredPanelForm styled;
  TThemeManager manager;
  manager.CollectForms();
  const ui::TBitmap shot = ui::test::Screenshot(*styled.form, "theme_manager_coloured_600");
  ui::TForm& form = *styled.form;
  const uint32_t panel = Rgb(ColouredPanelForm::kPanel);
  // Beside the label's text, and above and beside the track bar's channel.
  // A label of a colour of its own keeps it: its text was chosen for it.
  HWND label = styled.plainLabel->Handle(), track = styled.track->Handle();
  EXPECT_EQ(ui::test::PixelAt(shot, form, label, 140, 10), panel);
  EXPECT_EQ(ui::test::PixelAt(shot, form, label, 100, 2), panel);
  EXPECT_EQ(ui::test::PixelAt(shot, form, styled.label->Handle(), 140, 10), Rgb(ColouredPanelForm::kOwn));
  EXPECT_EQ(ui::test::PixelAt(shot, form, styled.label->Handle(), 100, 2), Rgb(ColouredPanelForm::kOwn));
  EXPECT_EQ(ui::test::PixelAt(shot, form, styled.check->Handle(), 100, 10), panel);
  RECT client, channel{}, thumb{};
  GetClientRect(track, &client);
  SendMessageW(track, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  SendMessageW(track, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  EXPECT_EQ(ui::test::PixelAt(shot, form, track, client.right - 3, 1), panel);
  EXPECT_EQ(ui::test::PixelAt(shot, form, track, 1, (channel.top + channel.bottom) / 2), panel);
  // The channel drawn before the tics is still there, away from the thumb.
  const int x = thumb.right + 10 < channel.right ? thumb.right + 10 : channel.left + 2;
  EXPECT_NE(ui::test::PixelAt(shot, form, track, x, (channel.top + channel.bottom) / 2), panel);
  // The tool bar was made transparent.
  EXPECT_TRUE(SendMessageW(styled.toolbar->Handle(), TB_GETSTYLE, 0, 0) & TBSTYLE_TRANSPARENT);

  // A frame of a colour of its own, joining while the frames' option is off,
  // goes to the windowed controls and still shows its parent.
  manager.SetOptions(kDefaultThemeOptions & ~toSubclassFrame);
  auto& frame = form.Create<ui::TFrame>();
  frame.SetColor(ColouredPanelForm::kOwn);
  frame.SetParent(styled.panel);
  frame.SetBounds(265, 45, 20, 40);
  EXPECT_TRUE(manager.Subclassed(frame));
  const ui::TBitmap framed = ui::test::Screenshot(form, "theme_manager_coloured_600_frame");
  EXPECT_EQ(ui::test::PixelAt(framed, form, frame.Handle(), 10, 20), panel);
}

}  // namespace
}  // namespace kv
