// The tree's hints driven by the mouse: tooltips only over cut-off text and
// exactly over it, the shadow blended onto the captured screen, the window
// kept inside the desktop, keys leaving it alone, and an animation that
// outlives its tree.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include "tests/ui/ui_test_util.h"
#include "treeview/alpha_blend.h"
#include "treeview/lazy_trees_win.h"

namespace kv {
namespace {

using ui::test::Pump;

class TreeHint : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCursorPos(&savedCursor);
    tree = &form.Create<TLazyStringTree>();
    tree->SetParent(&form);
    form.SetClientWidth(320);
    form.SetClientHeight(240);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetBorderStyle(TTreeBorderStyle::bsNone);
    tree->SetHintAnimation(THintAnimationType::hatNone);
    form.Show();
    SetWindowPos(form.Handle(), HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE);
    tree->SetRootNodeCount(3);
    for (PLazyNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n)) nodes.push_back(n);
    texts[nodes[0]] = L"short";
    texts[nodes[1]] = L"a text too long for the window " + std::wstring(40, L'w');
    tree->OnGetText = [this](TBaseLazyTree&, PLazyNode n, TColumnIndex, TLSTTextType, std::wstring& text) {
      text = texts[n];
    };
    Pump(50);
  }
  // The mouse goes back where it was: later tests' key input depends on it.
  void TearDown() override {
    SetCursorPos(savedCursor.x, savedCursor.y);
    Pump(30);
  }
  // Rests the mouse on the client point until the hint pause has passed.
  void Hover(POINT p, DWORD wait = 0) {
    POINT screen = p;
    ClientToScreen(tree->Handle(), &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageW(tree->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    Pump(wait != 0 ? wait : GetDoubleClickTime() + 150);
  }
  POINT Label(PLazyNode node) {
    const TLazyRect r = tree->GetDisplayRect(node, kNoColumn, true);
    return {r.Left + 5, (r.Top + r.Bottom) / 2};
  }
  bool HintShown() { return tree->HintWindow() != nullptr && tree->HintWindow()->Visible(); }
  RECT HintRect() {
    RECT r{};
    GetWindowRect(tree->HintWindow()->Handle(), &r);
    return r;
  }

  POINT savedCursor{};
  ui::TForm form;
  TLazyStringTree* tree = nullptr;
  std::vector<PLazyNode> nodes;
  std::map<PLazyNode, std::wstring> texts;
};

TEST_F(TreeHint, TooltipsShowOnlyCutOffTextExactlyOverIt) {
  tree->SetHintMode(TLTHintMode::hmTooltip);
  Hover(Label(nodes[0]), 150);
  EXPECT_FALSE(HintShown());  // the text fits
  Hover(Label(nodes[1]), 150);
  ASSERT_TRUE(HintShown());
  // The window's frame lies one pixel around the text rectangle, so the text
  // is drawn where the tree draws it.
  const TLazyRect text = tree->GetDisplayRect(nodes[1], kNoColumn, true, true);
  POINT corner{text.Left, text.Top};
  ClientToScreen(tree->Handle(), &corner);
  const RECT r = HintRect();
  EXPECT_EQ(r.left, corner.x - 1);
  EXPECT_EQ(r.top, corner.y - 1);
  EXPECT_EQ(r.bottom - r.top, text.Bottom - text.Top + 2 + kHintShadowSize);
  ui::test::Screenshot(form, "tree_tooltip");
  // Keys never close it; a click does.
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_SHIFT, 1);
  SendMessageW(tree->Handle(), WM_KEYDOWN, 'X', 1);
  Pump(30);
  EXPECT_TRUE(HintShown());
  const POINT p = Label(nodes[1]);
  SendMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageW(tree->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  EXPECT_FALSE(HintShown());
}

// A hint shown from inside a running hint animation's message loop replaces
// it: this hint animates, and only then is the old one told to stop (set
// before, the new animation would clear the cancel and the old would go on).
TEST_F(TreeHint, ANewHintCancelsTheRunningAnimationAfterItsOwn) {
  tree->SetHintMode(TLTHintMode::hmTooltip);
  Hover(Label(nodes[1]), 150);
  ASSERT_TRUE(HintShown());
  tree->SetHintAnimation(THintAnimationType::hatSlide);
  tree->SetAnimationDuration(30);
  tree->DoStateChange({tsInAnimation});  // as inside the old animation's loop
  ASSERT_TRUE(tree->HintWindow()->ActivateHint(HintRect(), L" "));
  EXPECT_TRUE(tree->TreeStates().Contains(tsCancelHintAnimation));
  EXPECT_FALSE(tree->TreeStates().Contains(tsInAnimation));
  EXPECT_TRUE(HintShown());
  tree->DoStateChange({}, {tsCancelHintAnimation});
}

// A draw tree's hints are its owner's: no size, no hint; else the owner's
// rectangle, painted by the owner.
TEST_F(TreeHint, DrawTreeHintsAreSizedAndPaintedByTheOwner) {
  tree->Hide();
  auto& draw = form.Create<TLazyDrawTree>();
  draw.SetParent(&form);
  draw.SetBounds(0, 0, 300, 200);
  draw.SetBorderStyle(TTreeBorderStyle::bsNone);
  draw.SetHintAnimation(THintAnimationType::hatNone);
  draw.SetHintMode(TLTHintMode::hmHint);
  draw.OnGetNodeWidth = [](TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, int& width) { width = 60; };
  draw.SetRootNodeCount(2);
  int sizeAsked = 0;
  draw.OnGetHintSize = [&](TBaseLazyTree&, PLazyNode node, TColumnIndex, RECT& r) {
    ++sizeAsked;
    if (node->Index == 1) r = {0, 0, 80, 30};
  };
  int painted = 0;
  draw.OnDrawHint = [&](TBaseLazyTree&, HDC dc, PLazyNode, const RECT& r, TColumnIndex) {
    ++painted;
    const ui::BrushObject brush = ui::MakeSolidBrush(RGB(0, 160, 80));
    FillRect(dc, &r, brush.Get());
  };
  auto hover = [&](PLazyNode node) {
    const TLazyRect r = draw.GetDisplayRect(node, kNoColumn, true);
    POINT p{r.Left + 5, (r.Top + r.Bottom) / 2}, screen = p;
    ClientToScreen(draw.Handle(), &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageW(draw.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    Pump(GetDoubleClickTime() + 150);
    return draw.HintWindow() != nullptr && draw.HintWindow()->Visible();
  };
  EXPECT_FALSE(hover(draw.GetFirst()));
  sizeAsked = 0;
  painted = 0;
  ASSERT_TRUE(hover(draw.GetNext(draw.GetFirst())));
  EXPECT_EQ(sizeAsked, 1);  // the window takes the size from the hint data
  RECT r{};
  GetWindowRect(draw.HintWindow()->Handle(), &r);
  EXPECT_EQ(r.right - r.left, 80);  // the owner's size, its shadow inside
  EXPECT_EQ(r.bottom - r.top, 30);
  EXPECT_EQ(painted, 1);
  // Every paint of the window is the owner's.
  RedrawWindow(draw.HintWindow()->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(painted, 2);
  ui::test::Screenshot(form, "tree_owner_hint");
}

// The tooltip the form shows for the tree in hmDefault (empty: none).
std::wstring FormTooltip(ui::TForm& form, HWND tool) {
  struct Find {
    HWND owner, found;
  } find{form.Handle(), nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM l) -> BOOL {
        auto* f = reinterpret_cast<Find*>(l);
        wchar_t name[64]{};
        GetClassNameW(h, name, 64);
        if (GetWindow(h, GW_OWNER) != f->owner || std::wstring(name) != TOOLTIPS_CLASSW) return TRUE;
        f->found = h;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&find));
  if (find.found == nullptr) return {};
  wchar_t text[256]{};
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = form.Handle();
  ti.uId = reinterpret_cast<UINT_PTR>(tool);
  ti.lpszText = text;
  SendMessageW(find.found, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&ti));
  return text;
}

// A hint "short|long" pops up with its short part, in the form's tooltip
// (hmDefault) as in the tree's own window (no node under hmHintAndDefault);
// ShowHint off keeps both away.
TEST_F(TreeHint, PlainHintsShowTheShortPartOnlyWhileShowHintIsOn) {
  tree->SetHint("Short|Long part");
  EXPECT_EQ(FormTooltip(form, tree->Handle()), L"Short");
  tree->SetShowHint(false);
  EXPECT_EQ(FormTooltip(form, tree->Handle()), L"");
  tree->SetShowHint(true);
  EXPECT_EQ(FormTooltip(form, tree->Handle()), L"Short");

  tree->SetHintMode(TLTHintMode::hmHintAndDefault);
  EXPECT_EQ(FormTooltip(form, tree->Handle()), L"");
  tree->SetBiDiMode(TLTBidiMode::bdRightToLeft);
  const POINT below{150, 180};  // no node there
  Hover(below);
  ASSERT_TRUE(HintShown());
  EXPECT_EQ(tree->HintWindow()->Data().HintText, L"Short");
  EXPECT_EQ(tree->HintWindow()->Data().Alignment, TLTAlignment::taRightJustify);  // mirrored
  tree->SetShowHint(false);
  EXPECT_FALSE(HintShown());
  Hover({below.x + 3, below.y});
  EXPECT_FALSE(HintShown());
}

// The shadow strips are the captured background darkened by black in five
// overlapping layers: the inner rows and columns carry all five, the outer
// ones only the first.
TEST_F(TreeHint, NodeHintsCastTheLayeredShadowAndStayOnTheDesktop) {
  tree->SetHintMode(TLTHintMode::hmHint);
  tree->SetHint("Hint of a node");
  Hover(Label(nodes[2]));  // the hint lies over the empty area below the last node
  ASSERT_TRUE(HintShown());
  const RECT r = HintRect();
  // What the window shows, from its own surface.
  ui::TBitmap shot;
  shot.Create(r.right - r.left, r.bottom - r.top);
  {
    const ui::WindowDc window = ui::GetClientDc(tree->HintWindow()->Handle());
    const ui::MemoryDc dc = ui::CreateMemoryDc(window.Get());
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
    BitBlt(dc.Get(), 0, 0, r.right - r.left, r.bottom - r.top, window.Get(), 0, 0, SRCCOPY);
  }
  tree->HideHint();
  Pump(50);
  ui::TBitmap background;
  background.CaptureScreen(r);
  const std::string bmp = shot.ToBmpFile();
  std::ofstream(std::string(KV_TEST_BINARY_DIR) + "/screenshots/tree_hint_shadow.bmp", std::ios::binary)
      .write(bmp.data(), static_cast<std::streamsize>(bmp.size()));
  const int w = r.right - r.left, h = r.bottom - r.top, s = kHintShadowSize;
  auto darkened = [&](int x, int y, int layers) {
    std::uint32_t pixel = background.Pixel(x, y);
    for (int i = 0; i < layers; ++i) AlphaBlendLineMasterAndColor(&pixel, 1, 0, kHintShadowAlphas[i]);
    return pixel;
  };
  const struct {
    int x, y, layers;
  } probes[] = {
      {w / 2, h - s, 5}, {w / 2, h - 1, 1}, {w / 2, h - 3, 3},  // bottom strip, inner to outer row
      {w - s, h / 2, 5}, {w - 1, h / 2, 1}, {w - 4, h / 2, 4},  // right strip, inner to outer column
      {s + 2, h - s, 3}, {s, h - s, 1},                         // the bottom strip's left end thins out
  };
  for (const auto& p : probes) EXPECT_EQ(shot.Pixel(p.x, p.y), darkened(p.x, p.y, p.layers)) << p.x << "," << p.y;
  EXPECT_NE(shot.Pixel(w / 2, h - 1), background.Pixel(w / 2, h - 1));
  EXPECT_EQ(shot.Pixel(w / 2, 0), 0u);  // the frame, over the content

  // Near the desktop's bottom right the window is moved back inside.
  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  SetWindowPos(form.Handle(), nullptr, desktop.right - 200, desktop.bottom - 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  Pump(50);
  const POINT p = Label(nodes[2]);
  Hover({p.x + 2, p.y});
  ASSERT_TRUE(HintShown());
  const RECT moved = HintRect();
  EXPECT_LE(moved.right, desktop.right);
  EXPECT_LE(moved.bottom, desktop.bottom);
  EXPECT_GE(moved.left, desktop.left);
}

// Hiding the window, as an empty rectangle does, forgets the hint: its data
// and the area it held for, so the pointer moving inside that area asks again.
TEST_F(TreeHint, HidingTheWindowForgetsTheHintAndItsArea) {
  tree->SetHintMode(TLTHintMode::hmTooltip);
  const POINT p = Label(nodes[1]);
  Hover(p, 150);
  ASSERT_TRUE(HintShown());
  const RECT shown = HintRect();
  ASSERT_TRUE(tree->HintWindow()->ActivateHint(RECT{}, L" "));
  EXPECT_FALSE(HintShown());
  EXPECT_EQ(tree->HintWindow()->Data().Node, nullptr);
  EXPECT_TRUE(tree->TreeStates().Contains(tsHintShowing));
  Hover({p.x + 3, p.y}, 150);
  EXPECT_TRUE(HintShown());

  // A hint window going away is noted until a hint window hides.
  { TLazyTreeHintWindow gone(*tree); }
  EXPECT_TRUE(TLazyTreeHintWindow::WindowDestroyed());
  ASSERT_TRUE(tree->HintWindow()->ActivateHint(shown, L" "));
  EXPECT_TRUE(TLazyTreeHintWindow::WindowDestroyed());
  tree->HideHint();
  EXPECT_FALSE(TLazyTreeHintWindow::WindowDestroyed());
  const RECT none = tree->HintWindow()->CalcHintRect(300, L" ", nullptr);  // no data, no window
  EXPECT_TRUE(IsRectEmpty(&none));
}

// A click handled while the hint fades in frees the tree: the animation
// returns without touching it.
TEST_F(TreeHint, AFadeOutlivingItsTreeTouchesNothing) {
  tree->SetHintMode(TLTHintMode::hmHint);
  tree->SetHint("Hint of a node");
  tree->SetHintAnimation(THintAnimationType::hatFade);
  tree->SetAnimationDuration(2000);
  const POINT p = Label(nodes[0]);
  HWND hintWindow = nullptr;
  // Polled from inside the fade's own loop: the tree goes as soon as the
  // fade is under way, however late a loaded machine starts it.
  const DWORD start = GetTickCount();
  constexpr DWORD kPatience = 5000;
  std::function<void()> poll = [&] {
    if (tree->TreeStates().Contains(tsInAnimation)) {
      hintWindow = tree->HintWindow()->Handle();
      form.FreeComponent(tree);
      tree = nullptr;
    } else if (GetTickCount() - start < kPatience) {
      ui::test::RunLater(10, poll);
    }
  };
  ui::test::RunLater(10, poll);
  Hover(p, 50);
  while (tree != nullptr && GetTickCount() - start < kPatience + 200) Pump(20);
  Pump(100);
  EXPECT_EQ(tree, nullptr);
  EXPECT_NE(hintWindow, nullptr);
  EXPECT_FALSE(IsWindow(hintWindow));
}

}  // namespace
}  // namespace kv
