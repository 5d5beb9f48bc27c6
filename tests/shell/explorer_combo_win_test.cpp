#include "shell/explorer_combo_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "shell/change_dispatch_win.h"
#include "shell/explorer_tree_win.h"
#include "shell/shell_utils_win.h"
#include "tests/shell/shell_test_util.h"
#include "tests/ui/ui_test_util.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"
#include "ui/layout_loader_win.h"

namespace kv {
namespace {

using ui::test::RunLater;

struct ComboFixture : ::testing::Test {
  void SetUp() override {
    form.SetBounds(100, 100, 400, 300);
    combo.SetParent(&form);
    combo.SetBounds(10, 10, 320, 23);
    combo.OnInvalidEntry = [this](TCustomLazyExplorerCombobox&, const std::wstring& text) { invalid.push_back(text); };
    combo.ExecuteHook = [this](TCustomLazyExplorerCombobox&, TNamespace& item) {
      executed.push_back(item.GetNameForParsing());
    };
    // The form stands for a control following the box.
    ExplorerChangeDispatch()->RegisterChangeLink(
        &combo, &form, [this](ui::TControl*, LPCITEMIDLIST) { ++dispatches; }, nullptr);
    ASSERT_TRUE(combo.Handle());
  }
  void TearDown() override { ExplorerChangeDispatch()->UnRegisterChangeLink(&combo, &form, TChangeLinkMatch::Both); }
  void Enter(const std::wstring& text) {
    combo.Edit().SetWideText(text);
    SendMessageW(combo.Edit().Handle(), WM_KEYDOWN, VK_RETURN, 0);
    ui::test::Pump(20);  // the posted selection
  }
  std::wstring Shown() { return combo.EditNamespace() ? combo.EditNamespace()->GetNameForParsing() : L""; }
  std::pair<DWORD, DWORD> Selection() {
    DWORD start = 0, end = 0;
    SendMessageW(combo.Edit().Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
  ui::TForm form;
  TLazyExplorerCombobox& combo = form.Create<TLazyExplorerCombobox>();
  std::vector<std::wstring> invalid, executed;
  int dispatches = 0;
};

TEST_F(ComboFixture, EnteredPathsBecomeTheCurrentFolder) {
  const std::wstring music = test::kFixture + L"\\Music";
  // An empty text goes to the shell as typed.
  TPidl empty = PathToPIDL(L"");
  ASSERT_TRUE(empty);
  auto emptyNamed = std::make_unique<TNamespace>(std::move(empty), nullptr);
  const struct {
    std::wstring typed, shown, text;
  } cases[] = {
      {L"", emptyNamed->GetNameForParsing(), emptyNamed->GetNameNormal()},  // whatever the shell names so
      {L"C", L"C:\\", L"C:\\"},
      {L"C:", L"C:\\", L"C:\\"},
      {music, music, music},
      {L"rock", music + L"\\Rock", music + L"\\Rock"},  // a folder of the current one, by name
      {L"my computer", DrivesFolder()->GetNameForParsing(), DrivesFolder()->GetNameNormal()},
      {DesktopFolder()->GetNameNormal(), DesktopFolder()->GetNameForParsing(), DesktopFolder()->GetNameNormal()},
  };
  for (const auto& c : cases) {
    combo.Edit().SetWideText(L"");
    Enter(c.typed);
    EXPECT_EQ(Shown(), c.shown) << test::Narrow(c.typed);
    EXPECT_EQ(combo.Edit().WideText(), c.text) << test::Narrow(c.typed);
    EXPECT_EQ(combo.Edit().UndoText(), c.text);
  }
  EXPECT_EQ(dispatches, 7);
  EXPECT_TRUE(invalid.empty());
  EXPECT_TRUE(executed.empty());
  // The box shows the item's icon left of the text.
  Enter(music);
  form.Show();
  const ui::TBitmap shot = ui::test::Screenshot(form, "explorer_combo");
  test::KeepShot(shot, "explorer_combo");
  int coloured = 0;
  for (int y = 5; y < 18; ++y)
    for (int x = 4; x < 20; ++x) {
      const uint32_t px = ui::test::PixelAt(shot, form, combo.Handle(), x, y);
      coloured += ((px >> 16) & 0xFF) != (px & 0xFF) || ((px >> 8) & 0xFF) != (px & 0xFF);
    }
  EXPECT_GT(coloured, 20);
}

TEST_F(ComboFixture, InvalidEntriesAndFilesLeaveTheFolderAlone) {
  const std::wstring music = test::kFixture + L"\\Music";
  Enter(music);
  ASSERT_EQ(Shown(), music);
  // The rest after the longest existing folder is selected and reported.
  const std::wstring nope = music + L"\\Nope";
  Enter(nope);
  EXPECT_EQ(invalid, std::vector<std::wstring>{nope});
  EXPECT_EQ(Selection(), std::make_pair(DWORD(music.size() + 1), DWORD(nope.size())));
  EXPECT_EQ(Shown(), music);
  EXPECT_EQ(combo.Edit().UndoText(), music);
  SendMessageW(combo.Edit().Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(combo.Edit().WideText(), music);
  Enter(L"Nowhere at all");
  EXPECT_EQ(Selection(), std::make_pair(DWORD(0), DWORD(14)));
  // Without a handler: the message box, through its hook.
  combo.OnInvalidEntry = nullptr;
  std::wstring caption, text;
  SetWideMessageHook([&](HWND, const std::wstring& c, const std::wstring& t) { caption = c, text = t; });
  Enter(L"Q:\\missing");
  SetWideMessageHook(nullptr);
  EXPECT_EQ(caption, L"Invalid Path");
  EXPECT_EQ(text, L"Windows can not find \"Q:\\missing\" Please check the spelling and try again.");
  // A file is run, the box keeps its folder and text.
  const std::wstring file = test::kFixture + L"\\enum\\one.txt";
  Enter(file);
  EXPECT_EQ(executed, std::vector<std::wstring>{file});
  EXPECT_EQ(Shown(), music);
  EXPECT_EQ(combo.Edit().WideText(), music);
  EXPECT_EQ(dispatches, 1);
}

TEST_F(ComboFixture, TypingOffersMatchingNamesAndEnterTakesOne) {
  combo.Edit().SetWideText(test::kFixture + L"\\M");
  SendMessageW(combo.Edit().Handle(), EM_SETSEL, 100, 100);
  std::vector<std::wstring> offered, afterSlash;
  bool below = false;
  TPopupAutoCompleteDropDown& dropDown = combo.PopupAutoCompleteDropDown();
  RunLater(30, [&] {
    offered = dropDown.AutoCompleteTree().Rows();
    RECT box, list;
    GetWindowRect(combo.Handle(), &box);
    GetWindowRect(dropDown.Handle(), &list);
    below = list.top == box.bottom && list.left == box.left;
    // Typing on while it is open narrows or changes the list.
    PostMessageW(combo.Edit().Handle(), WM_CHAR, L's', 0);
    RunLater(30, [&] {
      offered.push_back(L"|");
      for (const auto& row : dropDown.AutoCompleteTree().Rows()) offered.push_back(row);
      PostMessageW(combo.Edit().Handle(), WM_KEYDOWN, VK_DOWN, 0);
      PostMessageW(combo.Edit().Handle(), WM_KEYDOWN, VK_RETURN, 0);
    });
  });
  SendMessageW(combo.Edit().Handle(), WM_CHAR, L'u', 0);
  const std::wstring music = test::kFixture + L"\\Music";
  EXPECT_EQ(offered, (std::vector<std::wstring>{music, L"|", music}));
  EXPECT_TRUE(below);
  EXPECT_FALSE(dropDown.DroppedDown());
  EXPECT_EQ(Shown(), music);
  // Inside a folder: its entries, sorted as the source gives them.
  combo.Edit().SetWideText(music);
  SendMessageW(combo.Edit().Handle(), EM_SETSEL, 100, 100);
  RunLater(30, [&] {
    afterSlash = dropDown.AutoCompleteTree().Rows();
    PostMessageW(combo.Edit().Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  });
  SendMessageW(combo.Edit().Handle(), WM_CHAR, L'\\', 0);
  std::sort(afterSlash.begin(), afterSlash.end());
  EXPECT_EQ(afterSlash, (std::vector<std::wstring>{music + L"\\Jazz", music + L"\\Rock", music + L"\\c.mp3"}));
  EXPECT_EQ(Shown(), music);  // Esc chose nothing
  // A bare drive reads its root, whatever was read before; an empty text
  // offers every name of its source.
  TPopupAutoCompleteTree& tree = dropDown.AutoCompleteTree();
  tree.UpdateList(music + L"\\");
  ASSERT_EQ(tree.Rows().size(), 3u);
  tree.UpdateList(L"C:");
  EXPECT_NE(std::find(tree.Rows().begin(), tree.Rows().end(), test::kFixture), tree.Rows().end());
  EXPECT_EQ(std::find(tree.Rows().begin(), tree.Rows().end(), music + L"\\Jazz"), tree.Rows().end());
  tree.UpdateList(L"");
  EXPECT_FALSE(tree.Rows().empty());
}

TEST_F(ComboFixture, DropDownTreeHandsTheChosenFolderOver) {
  Enter(test::kFixture + L"\\Music\\Rock");
  TPopupExplorerTree& tree = combo.PopupExplorerDropDown().ExplorerTree();
  EXPECT_TRUE(tree.DisableWaitCursors());  // no hourglass over the open list
  std::wstring focused;
  RunLater(50, [&] {
    TNamespace* ns = nullptr;
    if (tree.ValidateNamespace(tree.FocusedNode(), ns)) focused = ns->GetNameForParsing();
    PLazyNode parent = tree.FocusedNode()->Parent;
    tree.SetFocusedNode(parent);
    PostMessageW(tree.Handle(), WM_KEYDOWN, VK_RETURN, 0);
  });
  combo.DropDownButtonClick();
  EXPECT_EQ(focused, test::kFixture + L"\\Music\\Rock");
  EXPECT_EQ(Shown(), test::kFixture + L"\\Music");
  EXPECT_EQ(dispatches, 2);
}

// Without its option the pop-up tree opens without selecting the current item.
TEST_F(ComboFixture, DropDownTreeSelectsTheCurrentItemOnlyWithItsOption) {
  Enter(test::kFixture + L"\\Music\\Rock");
  TPopupExplorerTree& tree = combo.PopupExplorerDropDown().ExplorerTree();
  combo.SetOptions(combo.Options() & ~uint32_t{eoSelectCurrentItem});
  std::wstring selected = L"?";
  RunLater(50, [&] {
    TNamespace* ns = nullptr;
    selected = tree.ValidateNamespace(tree.GetFirstSelected(), ns) ? ns->GetNameForParsing() : L"";
    PostMessageW(tree.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  });
  combo.DropDownButtonClick();
  EXPECT_NE(selected, L"?");
  EXPECT_NE(selected, test::kFixture + L"\\Music\\Rock");
  EXPECT_EQ(Shown(), test::kFixture + L"\\Music\\Rock");
}

TEST_F(ComboFixture, FollowsChangesWithoutEchoes) {
  auto alpha = test::Item(L"enum\\alpha");
  int nested = 0;
  ExplorerChangeDispatch()->UnRegisterChangeLink(&combo, &form, TChangeLinkMatch::Both);
  ExplorerChangeDispatch()->RegisterChangeLink(
      &combo, &form,
      [&](ui::TControl*, LPCITEMIDLIST pidl) {
        ++dispatches;
        combo.ChangeLinkChanging(&form, pidl);  // a chain back to the box: ignored
        ++nested;
      },
      nullptr);
  combo.ChangeLinkChanging(nullptr, alpha->AbsolutePIDL());
  EXPECT_EQ(Shown(), alpha->GetNameForParsing());
  combo.ChangeLinkChanging(nullptr, alpha->AbsolutePIDL());  // the same item: nothing
  EXPECT_EQ(dispatches, 1);
  EXPECT_EQ(nested, 1);
  combo.ChangeLinkChanging(nullptr, nullptr);
  ASSERT_NE(combo.EditNamespace(), nullptr);  // only the text goes
  EXPECT_EQ(combo.EditNamespace()->GetNameForParsing(), alpha->GetNameForParsing());
  EXPECT_EQ(combo.Edit().WideText(), L"");
}


// The box follows a tree through a link of its own and forgets the tree when
// that link goes (the tree freed, or another tree named); other links going
// leave it alone.
TEST_F(ComboFixture, ALinkedTreeIsForgottenWhenItsLinkGoes) {
  TExplorerChangeDispatch& d = *ExplorerChangeDispatch();
  const size_t links = d.Count();
  auto tree = std::make_unique<TLazyExplorerTree>();
  combo.SetLinkedTree(tree.get());
  EXPECT_EQ(combo.LinkedTree(), tree.get());
  EXPECT_EQ(d.Count(), links + 1);
  auto alpha = test::Item(L"enum\\alpha");
  d.DispatchChange(tree.get(), alpha->AbsolutePIDL());
  EXPECT_EQ(Shown(), alpha->GetNameForParsing());

  ui::TControl other;
  d.RegisterChangeLink(tree.get(), &other, nullptr, [this](TExplorerChangeLink& link) { combo.ChangeLinkFreeing(link); });
  d.UnRegisterChangeLink(tree.get(), &other, TChangeLinkMatch::Both);
  EXPECT_EQ(combo.LinkedTree(), tree.get());

  tree.reset();
  EXPECT_EQ(combo.LinkedTree(), nullptr);
  EXPECT_EQ(d.Count(), links);

  auto first = std::make_unique<TLazyExplorerTree>(), second = std::make_unique<TLazyExplorerTree>();
  combo.SetLinkedTree(first.get());
  combo.SetLinkedTree(second.get());
  EXPECT_EQ(d.CountOf(first.get()), 0u);
  EXPECT_EQ(d.CountOf(second.get()), 1u);
  combo.SetLinkedTree(nullptr);
  EXPECT_EQ(d.Count(), links);
}

// The pop-ups' background picture and its offsets reach their trees: the
// empty tree is tiled with the picture, shifted by the offsets.
TEST_F(ComboFixture, StyleChoosesTheClassicOrTheEnhancedLook) {
  combo.SetOptions(combo.Options() & ~uint32_t{eoThemed});  // system colours, the same on every machine
  form.Show();
  const auto rgb = [](int index) {
    const COLORREF c = GetSysColor(index);
    return (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
  };
  const int side = GetSystemMetrics(SM_CXVSCROLL);
  const struct {
    TComboBoxStyle style;
    int inner, button;  // the frame's inner ring; the button's face
  } cases[] = {{TComboBoxStyle::cbsClassic, COLOR_3DDKSHADOW, COLOR_BTNFACE},
               {TComboBoxStyle::cbsExplorerEnhanced, COLOR_WINDOW, COLOR_WINDOW}};
  for (const auto& c : cases) {
    combo.SetStyle(c.style);
    const ui::TBitmap shot = ui::test::Screenshot(form, "explorer_combo_style");
    const auto at = [&](int x, int y) { return ui::test::PixelAt(shot, form, combo.Handle(), x, y); };
    const int style = static_cast<int>(c.style);
    test::KeepShot(shot, "explorer_combo_style" + std::to_string(style));
    EXPECT_EQ(at(0, 0), rgb(COLOR_BTNSHADOW)) << style;
    EXPECT_EQ(at(1, 1), rgb(c.inner)) << style;
    EXPECT_EQ(at(combo.Width() - side, 4), rgb(c.button)) << style;
  }
}

TEST_F(ComboFixture, PopupOptionsCarryTheBackgroundPicture) {
  ui::TBitmap picture;
  picture.Create(4, 4);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), picture.Handle());
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) SetPixel(dc.Get(), x, y, RGB(10 + x, 20 + y, 30));
  }
  TPopupAutoCompleteOptions& options = combo.PopupAutoCompleteOptions();
  EXPECT_EQ(options.Background(), nullptr);
  EXPECT_EQ(options.BackgroundOffsetX(), 0);
  EXPECT_EQ(options.BackgroundOffsetY(), 0);
  options.SetBackground(picture.Handle());
  options.SetBackgroundOffsetX(1);
  options.SetBackgroundOffsetY(2);
  EXPECT_EQ(options.Background(), picture.Handle());
  EXPECT_EQ(options.BackgroundOffsetX(), 1);
  EXPECT_EQ(options.BackgroundOffsetY(), 2);
  TPopupAutoCompleteTree& tree = combo.PopupAutoCompleteDropDown().AutoCompleteTree();
  tree.TreeOptions().SetPaintOptions(tree.TreeOptions().PaintOptions() | toShowBackground);
  ui::TBitmap shot;
  shot.Create(20, 20);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
    tree.PaintTree(dc.Get(), RECT{0, 0, 20, 20}, POINT{0, 0}, poBackground);
  }
  for (int y : {0, 1, 6, 19})
    for (int x : {0, 3, 10})
      EXPECT_EQ(shot.Pixel(x, y), (uint32_t{10u + (x + 1) % 4} << 16) | (uint32_t{20u + (y + 2) % 4} << 8) | 30u)
          << x << "," << y;

  // The explorer pop-up's object keeps its own values.
  EXPECT_EQ(combo.PopupExplorerOptions().Background(), nullptr);
  EXPECT_EQ(combo.PopupExplorerOptions().BackgroundOffsetX(), 0);
}


// Two boxes from one layout: each option object's settings reach that box's
// own drop-down, the rest keep their declared defaults, and the auto-complete
// object's obsolete AlwaysShow is read and dropped.
TEST(ExplorerComboLayout, BothOptionObjectsOfEachBoxLoad) {
  RegisterExplorerTreeClasses();
  ui::TForm form;
  const std::string text =
      "object F: TForm\n"
      "  object Address: TLazyExplorerCombobox\n"
      "    Style = cbsExplorerEnhanced\n"
      "    Options = [eoThreadedImages, eoSelectCurrentItem]\n"
      "    PopupExplorerOptions.ComboBoxStyle = cbsExplorerEnhanced\n"
      "    PopupExplorerOptions.DropDownCount = 12\n"
      "    PopupExplorerOptions.Background = \"LT_MOVEALL\"\n"
      "    PopupExplorerOptions.BackgroundOffsetX = -3\n"
      "    PopupAutoCompleteOptions.AlwaysShow = true\n"
      "    PopupAutoCompleteOptions.Contents = [accCurrentDir, accHidden, accSortList]\n"
      "    PopupAutoCompleteOptions.Options = [poEnabled, poSizeable]\n"
      "  end\n"
      "  object Second: TLazyExplorerCombobox\n"
      "    PopupExplorerOptions.AutoScrollTimeFast = 5\n"
      "    PopupExplorerOptions.Color = clBtnFace\n"
      "    PopupAutoCompleteOptions.AnimationSpeed = 50\n"
      "    PopupAutoCompleteOptions.DropDownCount = 4\n"
      "    PopupAutoCompleteOptions.Indent = 6\n"
      "  end\n"
      "end\n";
  ui::BuildLayout(form, ui::ParseLayout(text, "boxes.layout"), "boxes.layout");
  auto& address = form.Get<TLazyExplorerCombobox>("Address");
  auto& second = form.Get<TLazyExplorerCombobox>("Second");
  EXPECT_EQ(address.Style(), TComboBoxStyle::cbsExplorerEnhanced);
  EXPECT_EQ(address.Options(), uint32_t{eoThreadedImages | eoSelectCurrentItem});
  EXPECT_TRUE(address.PopupExplorerDropDown().ExplorerTree().ExplorerImageOptions() & toThreadedImages);
  TPopupExplorerOptions& explorer = address.PopupExplorerOptions();
  EXPECT_EQ(explorer.ComboBoxStyle(), TComboBoxStyle::cbsExplorerEnhanced);
  EXPECT_EQ(explorer.DropDownCount(), 12);
  EXPECT_NE(explorer.Background(), nullptr);
  EXPECT_EQ(address.PopupExplorerDropDown().ExplorerTree().Background(), explorer.Background());
  EXPECT_EQ(explorer.BackgroundOffsetX(), -3);
  EXPECT_EQ(explorer.Options(), kDefaultPopupOptions & ~uint32_t{poThemeAware});  // the box's options unthemed it
  TPopupAutoCompleteOptions& complete = address.PopupAutoCompleteOptions();
  EXPECT_EQ(complete.Contents(), TAutoCompleteContents{accCurrentDir | accHidden | accSortList});
  EXPECT_EQ(complete.Options(), TPopupOptions{poEnabled | poSizeable});
  EXPECT_EQ(complete.DropDownCount(), 8);
  TPopupExplorerOptions& explorer2 = second.PopupExplorerOptions();
  EXPECT_EQ(explorer2.AutoScrollTimeFast(), 5u);
  EXPECT_EQ(explorer2.Color(), ui::clBtnFace);
  EXPECT_EQ(explorer2.Indent(), 10u);
  EXPECT_EQ(explorer2.DropDownCount(), 8);
  TPopupAutoCompleteOptions& complete2 = second.PopupAutoCompleteOptions();
  EXPECT_EQ(complete2.AnimationSpeed(), 50u);
  EXPECT_EQ(complete2.DropDownCount(), 4);
  EXPECT_EQ(complete2.Indent(), 6u);
  EXPECT_EQ(complete2.Contents(), kDefaultAutoCompleteContents);
  EXPECT_EQ(second.Options(), uint32_t{eoThemed | eoSelectCurrentItem});

  // What the objects do not publish, or a value of the wrong kind, is an error naming it.
  const struct {
    const char* line;
    const char* error;
  } bad[] = {
      {"PopupExplorerOptions.AlwaysShow = true", "unknown property \"PopupExplorerOptions.AlwaysShow\""},
      {"PopupAutoCompleteOptions.AlwaysShow = 1", "expected true or false"},
      {"PopupExplorerOptions.Contents = [accDesktop]", "unknown property"},
      {"PopupExplorerOptions.Options = [poBouncy]", "unknown option \"poBouncy\""},
      {"PopupAutoCompleteOptions.AnimationSpeed = -1", "expected a number from 0"},
      {"PopupExplorerOptions.DropDownCount = 2147483647", "expected a number of rows from 1 to 1000"},
      {"PopupAutoCompleteOptions.DropDownCount = 1001", "expected a number of rows from 1 to 1000"},
      {"PopupExplorerOptions.DropDownCount = 0", "expected a number of rows from 1 to 1000"},
      {"Options = [eoAnimated]", "unknown option \"eoAnimated\""},
  };
  for (const auto& b : bad) {
    ui::TForm other;
    const std::string layout =
        std::string("object F: TForm\n  object Box: TLazyExplorerCombobox\n    ") + b.line + "\n  end\nend\n";
    try {
      ui::BuildLayout(other, ui::ParseLayout(layout, "bad.layout"), "bad.layout");
      ADD_FAILURE() << b.line << " loaded";
    } catch (const ui::ELayoutError& e) {
      EXPECT_NE(std::string(e.what()).find(b.error), std::string::npos) << e.what();
      EXPECT_EQ(e.Line(), 3) << b.line;
    }
  }
}

}  // namespace
}  // namespace kv
