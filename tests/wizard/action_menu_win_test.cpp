// Menu items of the program actions over a menu root the tests build, and
// the actions' image lists.
#include "wizard/action_menu_win.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/wizard/wizard_test_util.h"
#include "wizard/face_win.h"

namespace kv {
namespace {

class ActionMenu : public test::WizardFixture {
 protected:
  void SetUp() override {
    WizardFixture::SetUp();
    ClearActions();
    Init({}, {}, {}, {});  // the shell that clicks go through
    ui::Application().OnIdle = {};
  }
  void TearDown() override {
    SetMenuRoot(nullptr);
    ResetFace();
    ClearActions();
    WizardFixture::TearDown();
  }
  // A root with two top-level items, each holding an item per action.
  void Menu(std::initializer_list<TProgAction*> actions) {
    auto root = std::make_unique<TActionMenuItem>();
    for (int i = 0; i < 2; ++i) {
      auto& top = *root->Items.emplace_back(std::make_unique<TActionMenuItem>());
      for (TProgAction* action : actions) top.Items.push_back(NewActionItem(*action));
    }
    SetMenuRoot(std::move(root));
  }
  static TActionMenuItem& Item(int top, int i) { return *MenuRoot()->Items[top]->Items[i]; }
};

TEST_F(ActionMenu, ListLinesBecomeItemsAndALineClickPassesItsIndex) {
  std::vector<int> chosen;
  TDynActionList& recent = AddActionList(0, "File~Recent", false, false, false, false, {"a", "b", "c"},
                                         [&](TDynActionList&, int line) { chosen.push_back(line); });
  Menu({&recent});
  auto captions = [] {
    std::vector<std::string> texts;
    for (const auto& item : Item(0, 0).Items) {
      const auto* line = dynamic_cast<const TDynTBItem*>(item.get());
      texts.push_back(item->Caption + (line && line->ImageIndex < 0 ? std::to_string(line->Index) : "?"));
    }
    return texts;
  };
  ReCheckMenu();
  EXPECT_EQ(Item(0, 0).Caption, "Recent");
  EXPECT_EQ(captions(), (std::vector<std::string>{"a0", "b1", "c2"}));
  recent.Lines = {"d", "e"};
  ReCheckMenu();
  EXPECT_EQ(captions(), (std::vector<std::string>{"d0", "e1"}));
  Item(0, 0).Items[1]->Click();
  EXPECT_EQ(chosen, (std::vector<int>{1}));
}

TEST_F(ActionMenu, SamePathActionsRunNewestFirstAndOnlyWhenEnabled) {
  std::vector<std::string> ran;
  bool olderOn = true, newerOn = true;
  AddAction(0, "File~Save", false, false, false, false, [&](TProgAction&) { ran.push_back("older"); },
            [&](HWND, TProgAction&) { return olderOn; });
  TProgAction& newer = AddAction(0, "File~-Save", false, false, false, false,
                                 [&](TProgAction&) { ran.push_back("newer"); }, [&](HWND, TProgAction&) { return newerOn; });
  TDynActionList& list = AddActionList(0, "File~Recent", false, false, false, false, {"a"},
                                       [&](TDynActionList&, int) { ran.push_back("line"); },
                                       [&](HWND, TProgAction&) { return newerOn; });
  Menu({&newer, &list});
  const struct {
    bool olderOn, newerOn, saveEnabled;
    std::vector<std::string> ran;
  } cases[] = {{true, true, true, {"newer", "older", "line"}},
               {true, false, true, {"older"}},
               {false, false, false, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.olderOn << c.newerOn);
    olderOn = c.olderOn, newerOn = c.newerOn;
    ReCheckMenu();
    EXPECT_EQ(Item(1, 0).Enabled, c.saveEnabled);
    EXPECT_EQ(Item(1, 1).Items[0]->Enabled, c.newerOn);
    ran.clear();
    Item(0, 0).Click();
    Item(0, 1).Items[0]->Click();
    EXPECT_EQ(ran, c.ran);
  }
}

TEST_F(ActionMenu, AClickMirrorsItsCheckedStateOntoTheActionsOtherItems) {
  TProgAction& wrap = AddAction(0, "View~Wrap", false, false, false, false, {});
  TDynActionList& sort = AddActionList(0, "View~Sort", false, false, false, false, {"name", "size"}, {});
  Menu({&wrap, &sort});
  ReCheckMenu();
  Item(0, 0).Checked = Item(1, 1).Items[1]->Checked = true;
  Item(0, 0).Click();
  Item(1, 1).Items[1]->Click();
  EXPECT_TRUE(Item(1, 0).Checked);
  EXPECT_TRUE(Item(0, 1).Items[1]->Checked);
  EXPECT_FALSE(Item(0, 1).Items[0]->Checked);
}

TEST_F(ActionMenu, TheMainLoopRechecksTheMenu) {
  int updates = 0;
  Menu({&AddAction(0, "File~Save", false, false, false, false, {}, [&](HWND, TProgAction&) { return ++updates; })});
  ui::TForm& main = ui::Application().CreateForm<ui::TForm>();
  ui::test::RunLater(150, [&] { PostMessageW(main.Handle(), WM_CLOSE, 0, 0); });
  Init({}, {}, {}, {});
  ui::Application().Run();
  EXPECT_GE(updates, 1);
  ui::Application().SetMainForm(nullptr);
  ui::Application().FreeComponent(&main);
  ui::Application().ResetTerminated();
}

// A 24-bit strip of square tiles, magenta at the bottom-left.
std::string Strip(int tile, int tiles) {
  const int w = tile * tiles, stride = (w * 3 + 3) & ~3;
  std::string b(54 + stride * tile, '\x40');
  const uint32_t fields[][2] = {{2, uint32_t(b.size())}, {10, 54}, {14, 40}, {18, uint32_t(w)}, {22, uint32_t(tile)},
                                {26, 1 | 24 << 16}, {30, 0}, {34, 0}};
  for (const auto& [at, v] : fields) memcpy(&b[at], &v, 4);
  b[0] = 'B', b[1] = 'M';
  b.replace(54, 3, "\xff\x00\xff", 3);
  return b;
}

TEST_F(ActionMenu, ImageListsComeFromTheStripsAndBrokenStripsAreIgnored) {
  const auto small = folder.Path() / "images.bmp", large = folder.Path() / "limages.bmp";
  const struct {
    std::string small, large;
    int smallCount, largeCount, largeSize;  // largeSize 0: the large list is the small one
  } cases[] = {{Strip(16, 3), "", 3, 3, 0},
               {Strip(16, 3), Strip(24, 2), 3, 2, 24},
               {Strip(16, 3), "BM broken", 3, 3, 0},
               {"BM broken", Strip(32, 1), 0, 1, 32}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.largeCount);
    test::WriteWhole(small, c.small);
    std::filesystem::remove(large);
    if (!c.large.empty()) test::WriteWhole(large, c.large);
    EXPECT_NO_THROW(FillImageList());
    ASSERT_NE(ActionImages(), nullptr);
    EXPECT_EQ(ActionImages()->Owner(), &ui::Application());
    EXPECT_EQ(ActionImages()->Count(), c.smallCount);
    EXPECT_EQ(LargeActionImages()->Count(), c.largeCount);
    EXPECT_EQ(LargeActionImages() == ActionImages(), c.largeSize == 0);
    if (c.largeSize) {
      EXPECT_EQ(LargeActionImages()->Width(), c.largeSize);
    }
  }
}

}  // namespace
}  // namespace kv
