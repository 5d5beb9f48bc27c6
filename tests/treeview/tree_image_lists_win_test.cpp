// The image lists and menus a tree shows belong to someone else: the tree
// repaints when a list changes, lets go of lists and menus that are freed
// (also those of its header, also after Assign) and draws mask-type lists as
// masks. Pictures are printed through WM_PRINTCLIENT or taken from the screen.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>

#include "tests/treeview/save_shot_win.h"
#include "tests/treeview/tree_on_form_win.h"
#include "tests/ui/ui_test_util.h"
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"
#include "ui/std_controls_win.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"
#include "ui/toolbar_win.h"

namespace kv {
namespace {

constexpr COLORREF kRed = RGB(0xE0, 0x10, 0x10);
constexpr COLORREF kGreen = RGB(0x10, 0xC0, 0x10);
constexpr COLORREF kBlue = RGB(0x10, 0x10, 0xE0);
constexpr COLORREF kTransparent = RGB(255, 0, 255);
constexpr int kInside = 12 * 12;  // the opaque middle of a 16x16 tile

std::uint32_t Rgb(COLORREF c) {
  return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}

// `count` 16x16 tiles: a transparent 2-pixel ring around a square of `colour`.
void AddTiles(ui::TImageList& list, COLORREF colour, int count) {
  ui::TBitmap strip;
  strip.Create(16 * count, 16);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), strip.Handle());
    const RECT all{0, 0, 16 * count, 16};
    const ui::BrushObject ring = ui::MakeSolidBrush(kTransparent);
    FillRect(dc.Get(), &all, ring.Get());
    const ui::BrushObject inside = ui::MakeSolidBrush(colour);
    for (int i = 0; i < count; ++i) {
      const RECT r{16 * i + 2, 2, 16 * i + 14, 14};
      FillRect(dc.Get(), &r, inside.Get());
    }
  }
  list.AddStrip(strip.Handle());
}

class TreeImageLists : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &test::PlaceTree<TLazyDrawTree>(form);
    tree->SetColor(ui::clWhite);
    tree->SetRootNodeCount(2);
    tree->OnGetImageIndex = [](TBaseLazyTree&, PLazyNode, TLTImageKind kind, TColumnIndex, bool&, int& index) {
      if (kind != TLTImageKind::ikOverlay) index = 0;
    };
    form.Show();
  }
  ui::TBitmap Print(const std::string& name) {
    ui::TBitmap shot = test::PrintClient(tree->Handle());
    test::SaveShot(shot, "tree_images_" + name);
    return shot;
  }
  // What the screen shows of the tree once pending paints are done.
  ui::TBitmap Screen(const std::string& name) {
    UpdateWindow(tree->Handle());
    ui::TBitmap shot = test::ClientOnScreen(tree->Handle());
    test::SaveShot(shot, "tree_images_" + name);
    return shot;
  }
  // Pixels of a colour in the first row.
  static int Count(const ui::TBitmap& shot, COLORREF colour) {
    int n = 0;
    for (int y = 0; y < 18; ++y)
      for (int x = 0; x < shot.Width(); ++x) n += shot.Pixel(x, y) == Rgb(colour);
    return n;
  }
  bool RepaintPending() const { return GetUpdateRect(tree->Handle(), nullptr, FALSE) != FALSE; }

  ui::TForm form;
  TLazyDrawTree* tree = nullptr;
};

// Lists and menus freed while the tree lives are dropped from every slot that
// shows them, and the rows paint without them. A list filling two slots stays
// watched while one of them still shows it.
TEST_F(TreeImageLists, FreedListsAndMenusAreDroppedFromEverySlot) {
  ui::TImageList& red = form.Create<ui::TImageList>();
  AddTiles(red, kRed, 1);
  auto green = std::make_unique<ui::TImageList>();
  AddTiles(*green, kGreen, 1);
  auto menu = std::make_unique<ui::TPopupMenu>();
  menu->Add(L"Open");
  auto headerMenu = std::make_unique<ui::TPopupMenu>();
  tree->SetImages(&red);
  tree->SetStateImages(green.get());
  tree->SetPopupMenu(menu.get());
  tree->Header().SetImages(&red);
  tree->Header().SetPopupMenu(headerMenu.get());
  ui::TBitmap shot = Print("both");
  EXPECT_EQ(Count(shot, kRed), kInside);
  EXPECT_EQ(Count(shot, kGreen), kInside);

  ValidateRect(tree->Handle(), nullptr);
  form.FreeComponent(&red);
  EXPECT_EQ(tree->Images(), nullptr);
  EXPECT_EQ(tree->Header().Images(), nullptr);
  EXPECT_EQ(tree->StateImages(), green.get());
  EXPECT_TRUE(RepaintPending());
  shot = Screen("red_freed");
  EXPECT_EQ(Count(shot, kRed), 0);
  EXPECT_EQ(Count(shot, kGreen), kInside);

  int popups = 0;
  tree->SetPopupHook([&](ui::TPopupMenu&, POINT) { ++popups; });
  menu.reset();
  headerMenu.reset();
  EXPECT_EQ(tree->PopupMenu(), nullptr);
  EXPECT_EQ(tree->Header().PopupMenu(), nullptr);
  const LPARAM at = MAKELPARAM(100, 5);
  SendMessageW(tree->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, at);
  SendMessageW(tree->Handle(), WM_RBUTTONUP, 0, at);
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_APPS, 1);
  EXPECT_EQ(popups, 0);

  // Green in both slots, then let go of in one: freeing it still clears the other.
  tree->SetImages(green.get());
  tree->SetImages(nullptr);
  green.reset();
  EXPECT_EQ(tree->StateImages(), nullptr);
  shot = Print("none");
  EXPECT_EQ(Count(shot, kGreen), 0);
}

// A change of a list's images repaints the tree on the screen; a tree that
// died first is not told, and a list taken out of a slot no longer repaints.
TEST_F(TreeImageLists, AChangeOfAListRepaintsTheTree) {
  ui::TImageList list;
  AddTiles(list, kRed, 1);
  tree->SetImages(&list);
  EXPECT_EQ(Count(Screen("red"), kRed), kInside);

  auto other = std::make_unique<TLazyDrawTree>();
  other->SetImages(&list);
  other.reset();

  ValidateRect(tree->Handle(), nullptr);
  list.SetSize(16, 16);  // empties the list
  AddTiles(list, kBlue, 1);
  EXPECT_TRUE(RepaintPending());
  const ui::TBitmap shot = Screen("blue");
  EXPECT_EQ(Count(shot, kRed), 0);
  EXPECT_EQ(Count(shot, kBlue), kInside);

  tree->SetImages(nullptr);
  UpdateWindow(tree->Handle());
  AddTiles(list, kGreen, 1);
  EXPECT_FALSE(RepaintPending());
}

// A disabled node's image has the image list's disabled look: its shape in
// the button shadow colour (the highlight, one pixel off, is white here too).
TEST_F(TreeImageLists, DisabledNodesShowTheDisabledLook) {
  ui::TImageList list;
  AddTiles(list, kRed, 1);
  tree->SetImages(&list);
  tree->GetFirst()->States.Include(nsDisabled);
  tree->Colors().SetColor(TLTColors::TreeLineColor, kBlue);  // the default is the shadow colour
  const ui::TBitmap shot = Print("disabled");
  EXPECT_EQ(Count(shot, kRed), 0);
  EXPECT_EQ(Count(shot, GetSysColor(COLOR_BTNSHADOW)), kInside);
}

// The header redraws its strip at once when its list changes.
TEST_F(TreeImageLists, TheHeaderRedrawsWhenItsListChanges) {
  ui::TImageList list;
  AddTiles(list, kRed, 1);
  TLTHeader& header = tree->Header();
  header.SetHeight(24);
  header.Columns().Add().SetWidth(120);
  header.Columns().Items(0).SetImageIndex(0);
  header.SetOptions(header.Options() | hoVisible | hoShowImages);
  header.SetImages(&list);
  RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  RECT strip;
  GetWindowRect(tree->Handle(), &strip);
  strip.bottom = strip.top + 24;
  ui::TBitmap shot;
  shot.CaptureScreen(strip);
  test::SaveShot(shot, "tree_images_header_red");
  EXPECT_EQ(Count(shot, kRed), kInside);

  list.SetSize(16, 16);
  AddTiles(list, kBlue, 1);
  ui::test::Pump(200);  // Wine shows what a window DC drew once the thread handles messages
  shot.CaptureScreen(strip);
  test::SaveShot(shot, "tree_images_header_blue");
  EXPECT_EQ(Count(shot, kRed), 0);
  EXPECT_EQ(Count(shot, kBlue), kInside);
}

// Custom check images freed while in use: the tree goes back to the light
// check look and paints exactly what it painted before they came.
TEST_F(TreeImageLists, FreedCustomCheckImagesFallBackToTheLightCheck) {
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
  tree->OnGetImageIndex = nullptr;
  PLazyNode node = tree->GetFirst();
  node->CheckType = ctCheckBox;
  node->CheckState = csCheckedNormal;
  const ui::TBitmap light = Print("checks_light");

  auto custom = std::make_unique<ui::TImageList>();
  AddTiles(*custom, kBlue, 30);
  tree->SetCustomCheckImages(custom.get());
  tree->SetCheckImageKind(ckCustom);
  EXPECT_EQ(Count(Print("checks_custom"), kBlue), kInside);

  custom.reset();
  EXPECT_EQ(tree->CustomCheckImages(), nullptr);
  EXPECT_EQ(tree->CheckImageKind(), ckLightCheck);
  const ui::TBitmap after = Print("checks_custom_freed");
  int differing = 0;
  for (int y = 0; y < 18; ++y)
    for (int x = 0; x < light.Width(); ++x) differing += after.Pixel(x, y) != light.Pixel(x, y);
  EXPECT_EQ(differing, 0);
}

// A mask-type list draws each image's mask: the opaque square in one flat
// dark colour where the red was, the transparent ring not at all.
TEST_F(TreeImageLists, MaskListsDrawTheirMasks) {
  ui::TImageList list;
  AddTiles(list, kRed, 1);
  tree->SetImages(&list);
  const ui::TBitmap image = Print("image");
  ASSERT_EQ(Count(image, kRed), kInside);
  int left = image.Width(), top = 18;
  for (int y = 0; y < 18; ++y)
    for (int x = 0; x < image.Width(); ++x)
      if (image.Pixel(x, y) == Rgb(kRed)) {
        left = std::min(left, x);
        top = std::min(top, y);
      }

  ValidateRect(tree->Handle(), nullptr);
  list.SetImageType(ui::TImageType::itMask);
  EXPECT_TRUE(RepaintPending());
  const ui::TBitmap mask = Screen("mask");
  EXPECT_EQ(Count(mask, kRed), 0);
  const std::uint32_t ink = mask.Pixel(left, top);
  EXPECT_LT(GetRValue(ink) + GetGValue(ink) + GetBValue(ink), 3 * 0xC0) << std::hex << ink;
  int differing = 0;
  for (int y = -2; y < 14; ++y)
    for (int x = -2; x < 14; ++x) {
      const bool inside = x >= 0 && y >= 0 && x < 12 && y < 12;
      differing += mask.Pixel(left + x, top + y) != (inside ? ink : Rgb(RGB(255, 255, 255)));
    }
  EXPECT_EQ(differing, 0);
}

// Assign shares the source's lists and menu (and so their free notification)
// and copies the tab stop.
TEST_F(TreeImageLists, AssignSharesListsAndMenuAndCopiesTheTabStop) {
  auto list = std::make_unique<ui::TImageList>();
  AddTiles(*list, kRed, 30);
  ui::TPopupMenu menu;
  tree->SetImages(list.get());
  tree->SetStateImages(list.get());
  tree->SetCustomCheckImages(list.get());
  tree->SetPopupMenu(&menu);
  tree->SetTabStop(false);
  ui::TImageList headerList;
  ui::TPopupMenu headerMenu;
  tree->Header().SetImages(&headerList);
  tree->Header().SetPopupMenu(&headerMenu);

  TLazyDrawTree& copy = form.Create<TLazyDrawTree>();
  EXPECT_EQ(copy.TabStop(), std::optional<bool>(true));
  copy.Assign(*tree);
  EXPECT_EQ(copy.Images(), list.get());
  EXPECT_EQ(copy.StateImages(), list.get());
  EXPECT_EQ(copy.CustomCheckImages(), list.get());
  EXPECT_EQ(copy.PopupMenu(), &menu);
  EXPECT_EQ(copy.TabStop(), std::optional<bool>(false));
  EXPECT_EQ(copy.Header().Images(), &headerList);
  EXPECT_EQ(copy.Header().PopupMenu(), &headerMenu);
  copy.SetParent(&form);
  EXPECT_EQ(GetWindowLongPtrW(copy.Handle(), GWL_STYLE) & WS_TABSTOP, 0);

  list.reset();
  for (TBaseLazyTree* t : {static_cast<TBaseLazyTree*>(tree), static_cast<TBaseLazyTree*>(&copy)}) {
    EXPECT_EQ(t->Images(), nullptr);
    EXPECT_EQ(t->StateImages(), nullptr);
    EXPECT_EQ(t->CustomCheckImages(), nullptr);
    EXPECT_EQ(t->PopupMenu(), &menu);
    EXPECT_EQ(t->Header().Images(), &headerList);
  }
}

// Assign also takes the source's place in the Tab sequence and whether its
// font and hints follow the parent.
TEST_F(TreeImageLists, AssignCopiesTheTabOrderAndTheParentFlags) {
  ui::TButton& button = form.Create<ui::TButton>();
  button.SetParent(&form);
  TLazyDrawTree& copy = form.Create<TLazyDrawTree>();
  copy.SetParent(&form);
  ui::TFontSpec bold = copy.Font();
  bold.bold = true;
  copy.SetFont(bold);
  copy.SetShowHint(true);
  tree->SetTabOrder(1);
  ASSERT_EQ(button.TabOrder(), 0);
  copy.Assign(*tree);
  EXPECT_EQ(copy.TabOrder(), 1);
  EXPECT_EQ(tree->TabOrder(), 2);
  EXPECT_TRUE(copy.ParentFont());
  EXPECT_FALSE(copy.Font().bold);
  EXPECT_TRUE(copy.ParentShowHint());
  tree->SetShowHint(false);
  tree->SetFont(bold);
  copy.Assign(*tree);
  EXPECT_FALSE(copy.ParentShowHint());
  EXPECT_FALSE(copy.ShowHint());
  EXPECT_FALSE(copy.ParentFont());
  EXPECT_TRUE(copy.Font().bold);
}

}  // namespace
}  // namespace kv
