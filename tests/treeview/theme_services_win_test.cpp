// Theme services under the two common-controls versions the program meets:
// 5.81 (no styles: every caller takes its classic path) and 6.0.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/scope_guard.h"
#include "treeview/theme_services_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"
#include "ui/std_controls_win.h"

namespace kv {
namespace {

struct ComCtl {
  explicit ComCtl(int version) { ui::SetComCtlVersionProvider([version] { return version; }); }
  ~ComCtl() { ui::SetComCtlVersionProvider(nullptr); }
};

struct Window {
  Window()
      : hwnd(CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                             nullptr, nullptr, nullptr)) {}
  ~Window() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
  HWND hwnd;
};

constexpr TThemedElement kAll[] = {
    TThemedElement::teButton,    TThemedElement::teClock,      TThemedElement::teComboBox,
    TThemedElement::teEdit,      TThemedElement::teExplorerBar, TThemedElement::teHeader,
    TThemedElement::teListView,  TThemedElement::teMenu,       TThemedElement::tePage,
    TThemedElement::teProgress,  TThemedElement::teRebar,      TThemedElement::teScrollBar,
    TThemedElement::teSpin,      TThemedElement::teStartPanel, TThemedElement::teStatus,
    TThemedElement::teTab,       TThemedElement::teTaskBand,   TThemedElement::teTaskBar,
    TThemedElement::teToolBar,   TThemedElement::teToolTip,    TThemedElement::teTrackBar,
    TThemedElement::teTrayNotify, TThemedElement::teTreeview,  TThemedElement::teWindow};

TEST(ThemeServices, OlderCommonControlsDrawNothingThemed) {
  const ComCtl comctl(581);
  Window window;
  TThemeServices services(window.hwnd);
  EXPECT_FALSE(services.UseThemes());
  EXPECT_FALSE(services.ThemesEnabled());
  for (TThemedElement e : kAll) EXPECT_EQ(services.Theme(e), nullptr);
}

// Wine's styles have no parts for these; callers fall back to classic drawing.
const std::set<std::wstring> kMayBeMissing = {L"clock",    L"explorerbar", L"page",
                                              L"startpanel", L"taskband", L"taskbar",
                                              L"traynotify"};

struct ThemeServicesThemed : ::testing::Test {
  void SetUp() override {
    if (!(IsAppThemed() && IsThemeActive())) GTEST_SKIP() << "no visual style active";
  }
  ComCtl comctl{600};
};

TEST_F(ThemeServicesThemed, Version6OpensEveryClassTheStyleHas) {
  Window window;
  TThemeServices services(window.hwnd);
  EXPECT_TRUE(services.ThemesEnabled());
  for (TThemedElement e : kAll) {
    const std::wstring name = ThemedElementClassName(e);
    if (!kMayBeMissing.count(name)) {
      EXPECT_NE(services.Theme(e), nullptr) << std::string(name.begin(), name.end());
    }
  }
}

TEST_F(ThemeServicesThemed, ThemeChangeReopensHandlesAndFiresOnce) {
  Window window;
  TThemeServices services(window.hwnd);
  int changes = 0;
  services.OnThemeChange = [&](TThemeServices&) { ++changes; };
  ASSERT_NE(services.Theme(TThemedElement::teButton), nullptr);
  SendMessageW(window.hwnd, WM_THEMECHANGED, 0, 0);
  EXPECT_EQ(changes, 1);
  EXPECT_NE(services.Theme(TThemedElement::teButton), nullptr);
  // A window destroyed before the services takes its subclass and handles
  // with it; nothing is touched afterwards.
  DestroyWindow(window.hwnd);
  SendMessageW(window.hwnd, WM_THEMECHANGED, 0, 0);
  EXPECT_EQ(changes, 1);
}

TEST_F(ThemeServicesThemed, PaintBorderDrawsOnlyTheOuterTwoPixelsAndTheCorner) {
  TThemeServices services(nullptr);
  ui::TForm form;
  form.SetBounds(40, 40, 200, 150);
  auto& memo = form.Create<ui::TMemo>();
  memo.SetParent(&form);
  memo.SetScrollBars(ui::TScrollStyle::Both);
  memo.SetBounds(10, 10, 120, 80);
  form.Show();
  UpdateWindow(form.Handle());
  RECT window;
  GetWindowRect(memo.Handle(), &window);
  const int w = window.right - window.left, h = window.bottom - window.top;

  // The edit element alone in a bitmap of the window's size.
  const ui::WindowDc screen = ui::GetClientDc(nullptr);
  const ui::MemoryDc alone = ui::CreateMemoryDc(screen.Get());
  const ui::BitmapObject bitmap(CreateCompatibleBitmap(screen.Get(), w, h));
  const ui::SelectedObject selected = ui::SelectInto(alone.Get(), bitmap.Get());
  services.DrawElement(alone.Get(), GetElementDetails(TThemedEdit::teEditTextNormal),
                       RECT{0, 0, w, h});

  const HDC dc = GetWindowDC(memo.Handle());
  const ScopeGuard release([&] { ReleaseDC(memo.Handle(), dc); });
  const POINT inside{w / 2, 2};
  const COLORREF insideBefore = GetPixel(dc, inside.x, inside.y);
  services.PaintBorder(memo, true);
  for (POINT p : {POINT{0, 0}, POINT{1, h / 2}, POINT{w - 1, h - 1}, POINT{w / 2, h - 2}})
    EXPECT_EQ(GetPixel(dc, p.x, p.y), GetPixel(alone.Get(), p.x, p.y)) << p.x << "," << p.y;
  EXPECT_EQ(GetPixel(dc, inside.x, inside.y), insideBefore);
  // The box where the scroll bars meet, inside the frame.
  EXPECT_EQ(GetPixel(dc, w - 3, h - 3), GetSysColor(COLOR_BTNFACE));
}

}  // namespace
}  // namespace kv
