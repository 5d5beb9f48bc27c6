// The tree driven by WM_KEYDOWN/WM_KEYUP/WM_CHAR, modifiers through SendInput,
// the search timer through the message loop.

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "tests/treeview/held_key_win.h"
#include "tests/treeview/tree_on_form_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"

namespace kv {
namespace {

using test::HeldKey;

class TreeKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &test::PlaceTree<TLazyDrawTree>(form, {300, 180});  // ten rows of 18
    form.Show();
    tree->SetRootNodeCount(30);
    for (PLazyNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n)) nodes.push_back(n);
    tree->AddChild(nodes[0]);
    tree->AddChild(nodes[0]);
    tree->OnIncrementalSearch = [this](TBaseLazyTree&, PLazyNode n, const std::u16string& text, int& result) {
      const std::u16string& name = names[n];
      result = name.compare(0, text.size(), text) == 0 ? 0 : 1;
    };
    tree->SetBeepHook([this] { ++beeps; });
    SetFocus(tree->Handle());
  }
  void Key(WORD key, UINT scan = 0) {
    SendMessageW(tree->Handle(), WM_KEYDOWN, key, static_cast<LPARAM>(scan) << 16 | 1);
    SendMessageW(tree->Handle(), WM_KEYUP, key, static_cast<LPARAM>(scan) << 16 | 0xC0000001);
  }
  void Type(const std::u16string& text) {
    for (char16_t c : text) {
      const WORD key = c >= u'a' && c <= u'z' ? static_cast<WORD>(c - u'a' + 'A') : static_cast<WORD>('Q');
      SendMessageW(tree->Handle(), WM_KEYDOWN, key, 1);
      SendMessageW(tree->Handle(), WM_CHAR, c, 1);
      SendMessageW(tree->Handle(), WM_KEYUP, key, 0xC0000001);
    }
  }
  ui::TForm form;
  TLazyDrawTree* tree = nullptr;
  std::vector<PLazyNode> nodes;
  std::map<PLazyNode, std::u16string> names;
  int beeps = 0;
};

TEST_F(TreeKeys, NavigationRows) {
  tree->SetFocusedNode(nodes[0]);
  Key(VK_DOWN);
  EXPECT_EQ(tree->FocusedNode(), nodes[1]);
  EXPECT_TRUE(tree->Selected(nodes[1]));
  EXPECT_FALSE(tree->Selected(nodes[0]));
  // Page Down covers at least a client height: ten rows on.
  Key(VK_NEXT);
  EXPECT_EQ(tree->FocusedNode(), nodes[11]);
  Key(VK_PRIOR);
  EXPECT_EQ(tree->FocusedNode(), nodes[1]);
  Key(VK_END);
  EXPECT_EQ(tree->FocusedNode(), nodes[29]);
  Key(VK_HOME);
  EXPECT_EQ(tree->FocusedNode(), nodes[0]);
  // Right expands, Right again enters the child, Left on a child goes to the parent.
  Key(VK_RIGHT);
  EXPECT_TRUE(tree->Expanded(nodes[0]));
  Key(VK_RIGHT);
  EXPECT_EQ(tree->FocusedNode(), tree->GetFirstChild(nodes[0]));
  Key(VK_LEFT);
  EXPECT_EQ(tree->FocusedNode(), nodes[0]);
  Key(VK_LEFT);
  EXPECT_FALSE(tree->Expanded(nodes[0]));
  // Ctrl+End scrolls without moving the focus.
  {
    HeldKey ctrl(VK_CONTROL);
    Key(VK_END);
  }
  EXPECT_EQ(tree->FocusedNode(), nodes[0]);
  EXPECT_LT(tree->OffsetY(), 0);
  // With grid extensions (and no columns) only Ctrl+Home/End move the focus.
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toGridExtensions);
  tree->SetFocusedNode(nodes[3]);
  tree->ClearSelection();
  Key(VK_END);
  EXPECT_EQ(tree->FocusedNode(), nodes[3]);
  EXPECT_FALSE(tree->Selected(nodes[3]));  // the focus did not move: nothing is selected
  tree->SetFocusedNode(nullptr);
  Key(VK_HOME);
  EXPECT_EQ(tree->FocusedNode(), nullptr);  // also without a focused node
  {
    HeldKey ctrl(VK_CONTROL);
    Key(VK_END);
  }
  EXPECT_EQ(tree->FocusedNode(), nodes[29]);
  // With extended focus too, Left and Right walk columns: without columns they
  // neither expand nor collapse.
  o.SetSelectionOptions(o.SelectionOptions() | toExtendedFocus);
  tree->SetFocusedNode(nodes[0]);
  Key(VK_RIGHT);
  EXPECT_FALSE(tree->Expanded(nodes[0]));
  EXPECT_EQ(tree->FocusedNode(), nodes[0]);
  tree->SetExpanded(nodes[0], true);
  Key(VK_LEFT);
  EXPECT_TRUE(tree->Expanded(nodes[0]));
  EXPECT_EQ(tree->FocusedNode(), nodes[0]);
}

// Alt is read from the key message; a key with Alt neither expands nor
// collapses, and of the character keys only "A" still starts a search.
TEST_F(TreeKeys, AltComesFromTheKeyMessage) {
  constexpr LPARAM kAltDown = LPARAM{KF_ALTDOWN} << 16 | 1;
  tree->SetFocusedNode(nodes[0]);
  SendMessageW(tree->Handle(), WM_KEYDOWN, 'Q', kAltDown);
  EXPECT_FALSE(tree->TreeStates().Contains(tsSearchPending));
  SendMessageW(tree->Handle(), WM_KEYDOWN, 'A', kAltDown);
  EXPECT_TRUE(tree->TreeStates().Contains(tsSearchPending));
  SendMessageW(tree->Handle(), WM_CHAR, 0, 1);  // nothing to search: only leaves the pending state
  // Alt added by the owner's key action counts as well: Right goes to the
  // child and Left to the parent, neither toggles.
  tree->OnKeyAction = [](TBaseLazyTree&, WORD&, UINT& shift, bool&) { shift |= MK_ALT; };
  Key(VK_RIGHT);
  EXPECT_EQ(tree->FocusedNode(), tree->GetFirstChild(nodes[0]));
  Key(VK_LEFT);
  EXPECT_EQ(tree->FocusedNode(), nodes[0]);
  Key(VK_LEFT);
  EXPECT_TRUE(tree->Expanded(nodes[0]));
  tree->OnKeyAction = nullptr;
  Key(VK_LEFT);
  EXPECT_FALSE(tree->Expanded(nodes[0]));
}

TEST_F(TreeKeys, PlusOnTheMainKeyboardActsAsTheKeypadKey) {
  tree->SetFocusedNode(nodes[0]);
  // "+" is Shift+"=" on the US layout; "-" is unshifted.
  {
    HeldKey shift(VK_SHIFT);
    Key(VK_OEM_PLUS, MapVirtualKeyW(VK_OEM_PLUS, MAPVK_VK_TO_VSC));
  }
  EXPECT_TRUE(tree->Expanded(nodes[0]));
  Key(VK_OEM_MINUS, MapVirtualKeyW(VK_OEM_MINUS, MAPVK_VK_TO_VSC));
  EXPECT_FALSE(tree->Expanded(nodes[0]));
  Key(VK_MULTIPLY);
  EXPECT_TRUE(tree->Expanded(nodes[0]));
  // "+" on a leaf asks the owner all the same.
  std::vector<PLazyNode> asked;
  tree->OnExpanding = [&](TLazyTreeModel&, PLazyNode node, bool&) { asked.push_back(node); };
  tree->SetFocusedNode(nodes[1]);
  Key(VK_ADD);
  tree->OnExpanding = nullptr;
  EXPECT_EQ(asked, std::vector<PLazyNode>{nodes[1]});
}

TEST_F(TreeKeys, ShiftExtendsAndCtrlASelectsAll) {
  auto& o = tree->TreeOptions();
  o.SetSelectionOptions(o.SelectionOptions() | toMultiSelect);
  tree->SetFocusedNode(nodes[2]);
  Key(VK_DOWN);  // anchor on node 3
  {
    HeldKey shift(VK_SHIFT);
    Key(VK_DOWN);
    Key(VK_DOWN);
  }
  EXPECT_EQ(tree->SelectedCount(), 3u);
  EXPECT_TRUE(tree->Selected(nodes[3]) && tree->Selected(nodes[5]));
  {
    HeldKey shift(VK_SHIFT);
    Key(VK_UP);
  }
  EXPECT_EQ(tree->SelectedCount(), 2u);
  Key(VK_DOWN);
  EXPECT_EQ(tree->SelectedCount(), 1u);
  {
    HeldKey ctrl(VK_CONTROL);
    Key('A');
  }
  EXPECT_EQ(tree->SelectedCount(), 30u);
  // The lower-case letter's code selects all as well.
  Key(VK_DOWN);
  EXPECT_EQ(tree->SelectedCount(), 1u);
  {
    HeldKey ctrl(VK_CONTROL);
    Key(97);
  }
  EXPECT_EQ(tree->SelectedCount(), 30u);
}

TEST_F(TreeKeys, ShiftStepsKeepWhatCtrlSelected) {
  auto& o = tree->TreeOptions();
  o.SetSelectionOptions(o.SelectionOptions() | toMultiSelect);
  tree->SetFocusedNode(nodes[1]);
  Key(VK_DOWN);  // anchor on node 2
  tree->AddToSelection(nodes[9]);  // as a Ctrl click leaves it
  {
    HeldKey shift(VK_SHIFT);
    Key(VK_DOWN);
    Key(VK_DOWN);
    Key(VK_UP);
  }
  EXPECT_EQ(tree->SelectedCount(), 3u);
  EXPECT_TRUE(tree->Selected(nodes[2]) && tree->Selected(nodes[3]) && tree->Selected(nodes[9]));
  // Above the anchor the range grows upwards and shrinks on the way back.
  {
    HeldKey shift(VK_SHIFT);
    Key(VK_UP);
    Key(VK_UP);
  }
  EXPECT_TRUE(tree->Selected(nodes[1]) && tree->Selected(nodes[2]) && tree->Selected(nodes[9]));
  EXPECT_FALSE(tree->Selected(nodes[3]));
  {
    HeldKey shift(VK_SHIFT);
    Key(VK_DOWN);
  }
  EXPECT_FALSE(tree->Selected(nodes[1]));
  EXPECT_TRUE(tree->Selected(nodes[2]) && tree->Selected(nodes[9]));
  // A selection made by code with no focus: the first selected node anchors
  // the steps, so going back towards it deselects again.
  tree->SetFocusedNode(nullptr);
  tree->ClearSelection();
  tree->AddToSelection(nodes[5]);
  {
    HeldKey shift(VK_SHIFT);
    Key(VK_DOWN);  // the focus arrives on the first node
    Key(VK_DOWN);
  }
  EXPECT_TRUE(tree->Selected(nodes[1]) && tree->Selected(nodes[5]));
  EXPECT_FALSE(tree->Selected(nodes[0]));
}

TEST_F(TreeKeys, SpaceTogglesTheFocusedCheckBoxOnRelease) {
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
  for (PLazyNode n : nodes) tree->SetCheckType(n, ctCheckBox);
  tree->SetFocusedNode(nodes[1]);
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_EQ(tree->GetCheckState(nodes[1]), csUncheckedPressed);
  SendMessageW(tree->Handle(), WM_KEYUP, VK_SPACE, 0xC0000001);
  EXPECT_EQ(tree->GetCheckState(nodes[1]), csCheckedNormal);
  // Released after the focus moved: nothing changes.
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_SPACE, 1);
  tree->SetFocusedNode(nodes[2]);
  SendMessageW(tree->Handle(), WM_KEYUP, VK_SPACE, 0xC0000001);
  EXPECT_EQ(tree->GetCheckState(nodes[1]), csCheckedNormal);
  // A disabled node's box does not move.
  nodes[2]->States.Include(nsDisabled);
  Key(VK_SPACE);
  EXPECT_EQ(tree->GetCheckState(nodes[2]), csUncheckedNormal);
}

TEST_F(TreeKeys, IncrementalSearch) {
  const char16_t* words[] = {u"alpha", u"beta", u"berry", u"bold", u"\u0436\u0443\u043a"};
  for (std::size_t i = 0; i < nodes.size(); ++i) names[nodes[i]] = i < 5 ? words[i] : u"zz";
  tree->SetIncrementalSearch(TLTIncrementalSearch::isAll);
  tree->SetIncrementalSearchTimeout(100000);
  tree->SetFocusedNode(nodes[0]);
  Type(u"b");
  EXPECT_EQ(tree->FocusedNode(), nodes[1]);
  Type(u"b");  // a repeated letter cycles
  EXPECT_EQ(tree->FocusedNode(), nodes[2]);
  Type(u"b");
  EXPECT_EQ(tree->FocusedNode(), nodes[3]);
  EXPECT_EQ(tree->SearchBuffer(), u"b");
  Type(u"o");
  EXPECT_EQ(tree->SearchBuffer(), u"bo");
  Type(u"x");  // no match: the focus and the buffer stay, one beep
  EXPECT_EQ(tree->FocusedNode(), nodes[3]);
  EXPECT_EQ(tree->SearchBuffer(), u"bo");
  EXPECT_EQ(beeps, 1);
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_BACK, 1);
  SendMessageW(tree->Handle(), WM_CHAR, 8, 1);
  EXPECT_EQ(tree->SearchBuffer(), u"b");
  // A Cyrillic text arrives as UTF-16 and is searched as it is.
  SendMessageW(tree->Handle(), WM_TIMER, 7, 0);
  EXPECT_EQ(tree->SearchBuffer(), u"");
  Type(u"\u0436\u0443");
  EXPECT_EQ(tree->FocusedNode(), nodes[4]);
  EXPECT_EQ(tree->SearchBuffer(), u"\u0436\u0443");
}

// The search takes a character before the owner's key press sees it; a
// character the owner drops leaves no search waiting.
TEST_F(TreeKeys, TheSearchTakesTheCharacterBeforeTheKeyPress) {
  names[nodes[3]] = u"k";
  tree->SetIncrementalSearch(TLTIncrementalSearch::isAll);
  tree->SetIncrementalSearchTimeout(100000);
  std::u16string atPress;
  tree->OnKeyPress = [&](TBaseLazyTree& t, wchar_t& c) {
    atPress = t.SearchBuffer();
    c = 0;
  };
  Type(u"k");
  EXPECT_EQ(atPress, u"k");
  EXPECT_EQ(tree->FocusedNode(), nodes[3]);
  EXPECT_FALSE(tree->TreeStates().Contains(tsSearchPending));
  tree->OnKeyPress = nullptr;
}

TEST_F(TreeKeys, SearchWithoutAStartNodeEndsAfterOneRound) {
  for (PLazyNode n : nodes) names[n] = u"x";
  names[nodes[7]] = u"q";
  tree->SetIncrementalSearch(TLTIncrementalSearch::isAll);
  tree->SetIncrementalSearchStart(TLTSearchStart::ssAlwaysStartOver);
  tree->SetIncrementalSearchTimeout(100000);
  Type(u"m");  // nothing matches: the search returns
  EXPECT_EQ(tree->FocusedNode(), nullptr);
  Type(u"q");
  EXPECT_EQ(tree->FocusedNode(), nodes[7]);
  Type(u"q");  // a repeat without a start node is a plain repeat
  EXPECT_EQ(tree->FocusedNode(), nodes[7]);
  EXPECT_EQ(tree->SearchBuffer(), u"q");
}

TEST_F(TreeKeys, SearchTimesOutThroughTheMessageLoop) {
  names[nodes[3]] = u"k";
  tree->SetIncrementalSearch(TLTIncrementalSearch::isAll);
  tree->SetIncrementalSearchTimeout(50);
  Type(u"k");
  EXPECT_EQ(tree->SearchBuffer(), u"k");
  const DWORD until = GetTickCount() + 2000;
  MSG msg;
  while (!tree->SearchBuffer().empty() && GetTickCount() < until) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
  EXPECT_EQ(tree->SearchBuffer(), u"");
  EXPECT_FALSE(tree->TreeStates().Contains(tsSearching));
  tree->SetIncrementalSearch(TLTIncrementalSearch::isNone);
  Type(u"k");
  EXPECT_EQ(tree->SearchBuffer(), u"");
}

}  // namespace
}  // namespace kv
