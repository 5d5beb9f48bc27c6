// In-place editing of a string tree driven by real messages: the edit timer
// after a click on the focused node, F2, the editor's keys, its bounds, and
// what losing the focus does.

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tests/ui/ui_test_util.h"
#include "treeview/lazy_trees_win.h"

namespace kv {
namespace {

using ui::test::Pump;

class TreeEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &form.Create<TLazyStringTree>();
    tree->SetParent(&form);
    other = &form.Create<ui::TEdit>();
    other->SetParent(&form);
    form.SetClientWidth(320);
    form.SetClientHeight(240);
    tree->SetBounds(0, 0, 300, 200);
    other->SetBounds(0, 210, 100, 20);
    tree->SetBorderStyle(TTreeBorderStyle::bsNone);
    auto& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toEditable);
    tree->SetEditDelay(30);
    form.Show();
    tree->SetRootNodeCount(3);
    for (PLazyNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n)) nodes.push_back(n);
    texts[nodes[0]] = L"a";
    texts[nodes[1]] = L"second";
    texts[nodes[2]] = L"third " + std::wstring(80, L'w');
    tree->OnGetText = [this](TBaseLazyTree&, PLazyNode n, TColumnIndex, TLSTTextType, std::wstring& text) {
      text = texts[n];
    };
    tree->OnNewText = [this](TBaseLazyTree&, PLazyNode n, TColumnIndex, const std::wstring& text) {
      stored.push_back(text);
      texts[n] = text;
    };
    tree->OnEdited = [this](TBaseLazyTree&, PLazyNode, TColumnIndex) { ++edited; };
    tree->OnEditCancelled = [this](TBaseLazyTree& t, TColumnIndex) {
      ++cancelled;
      linkAtCancel = t.EditLink() != nullptr;
    };
    // Painted before the user edits: the long row's horizontal bar is there.
    RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  POINT Label(PLazyNode node) {
    // Focusing the long row scrolls it sideways; the next label is clicked from the left.
    if (tree->GetDisplayRect(node, kNoColumn, true).Left < 0) tree->SetOffsetX(0);
    const TLazyRect r = tree->GetDisplayRect(node, kNoColumn, true);
    return {r.Left + 3, (r.Top + r.Bottom) / 2};
  }
  void Click(POINT p) {
    SendMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageW(tree->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  }
  HWND Editor() {
    auto* link = dynamic_cast<TStringEditLink*>(tree->EditLink().get());
    return link != nullptr && link->Edit() != nullptr ? link->Edit()->HandleIfAllocated() : nullptr;
  }
  RECT EditorBounds() {
    RECT r{};
    GetWindowRect(Editor(), &r);
    MapWindowPoints(nullptr, tree->Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  void Type(const std::wstring& text) {
    for (wchar_t c : text) SendMessageW(Editor(), WM_CHAR, c, 1);
  }
  void Key(HWND target, WPARAM key) {
    SendMessageW(target, WM_KEYDOWN, key, 1);
    SendMessageW(target, WM_KEYUP, key, 0xC0000001);
  }

  ui::TForm form;
  TLazyStringTree* tree = nullptr;
  ui::TEdit* other = nullptr;
  std::vector<PLazyNode> nodes;
  std::map<PLazyNode, std::wstring> texts;
  std::vector<std::wstring> stored;
  int edited = 0, cancelled = 0;
  bool linkAtCancel = false;  // the handler of a cancel still found the link
};

TEST_F(TreeEdit, TheEditTimerOpensTheEditorAndEnterStores) {
  Click(Label(nodes[1]));
  ASSERT_EQ(tree->FocusedNode(), nodes[1]);
  Pump(80);
  EXPECT_FALSE(tree->IsEditing());  // the first click only focuses
  Click(Label(nodes[1]));
  EXPECT_TRUE(tree->TreeStates().Contains(tsEditPending));
  Pump(150);
  ASSERT_TRUE(tree->IsEditing());
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(GetFocus(), Editor());
  EXPECT_TRUE(IsWindowVisible(Editor()));
  Type(L"x\u0416");  // replaces the selected text; a Cyrillic letter as it is
  const ui::TBitmap shot = ui::test::Screenshot(form, "tree_editor_open");
  (void)shot;
  Key(Editor(), VK_RETURN);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(stored, std::vector<std::wstring>{L"x\u0416"});
  EXPECT_EQ(edited, 1);
  EXPECT_EQ(GetFocus(), tree->Handle());
  // The editor window goes from the message loop.
  const std::size_t components = tree->ComponentCount();
  Pump(50);
  EXPECT_EQ(tree->ComponentCount(), components - 1);
}

TEST_F(TreeEdit, EscapeCancelsAndADoubleClickStopsThePendingEdit) {
  tree->SetFocusedNode(nodes[1]);
  Key(tree->Handle(), VK_F2);
  ASSERT_TRUE(tree->IsEditing());
  Type(L"changed");
  Key(Editor(), VK_ESCAPE);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_TRUE(stored.empty());
  EXPECT_EQ(cancelled, 1);
  EXPECT_TRUE(linkAtCancel);
  EXPECT_EQ(edited, 0);
  // A cancel asked of the link itself ends the tree's edit as well, once.
  // Opening the editor ends a pending drag of either kind.
  tree->DoStateChange({tsDragPending, tsControlDragPending});
  TLazyTreeStates leftOnEditing;
  tree->OnStateChange = [&](auto&, TLazyTreeStates enter, TLazyTreeStates leave) {
    if (enter.Contains(tsEditing)) leftOnEditing = leave;
  };
  Key(tree->Handle(), VK_F2);
  tree->OnStateChange = nullptr;
  ASSERT_TRUE(tree->IsEditing());
  EXPECT_TRUE(leftOnEditing.Contains(tsDragPending));
  EXPECT_TRUE(leftOnEditing.Contains(tsControlDragPending));
  const HWND editor = Editor();
  EXPECT_TRUE(tree->EditLink()->CancelEdit());
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(tree->EditLink(), nullptr);
  EXPECT_EQ(cancelled, 2);
  EXPECT_FALSE(IsWindowVisible(editor));
  // Click, click, double click: no editor.
  Click(Label(nodes[1]));
  const POINT p = Label(nodes[1]);
  SendMessageW(tree->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  Pump(120);
  EXPECT_FALSE(tree->IsEditing());
  // Click, click, then the focus moves by node and column: no editor, on neither node.
  Click(Label(nodes[1]));
  Click(Label(nodes[1]));
  ASSERT_TRUE(tree->TreeStates().Contains(tsEditPending));
  tree->SetFocusedNodeAndColumn(nodes[2], kNoColumn);
  EXPECT_FALSE(tree->TreeStates().Contains(tsEditPending));
  Pump(120);
  EXPECT_FALSE(tree->IsEditing());
  // Click, click, then the arrow key moves the focus on: no editor either.
  Click(Label(nodes[1]));
  Click(Label(nodes[1]));
  ASSERT_TRUE(tree->TreeStates().Contains(tsEditPending));
  Key(tree->Handle(), VK_DOWN);
  ASSERT_EQ(tree->FocusedNode(), nodes[2]);
  Pump(120);
  EXPECT_FALSE(tree->IsEditing());
  // Click, click, then a context menu from the keyboard or the mouse: no editor.
  for (const LPARAM where : {LPARAM{-1}, LPARAM{MAKELPARAM(5, 5)}}) {
    Click(Label(nodes[2]));
    ASSERT_TRUE(tree->TreeStates().Contains(tsEditPending));
    SendMessageW(tree->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(tree->Handle()), where);
    EXPECT_FALSE(tree->TreeStates().Contains(tsEditPending));
    Pump(120);
    EXPECT_FALSE(tree->IsEditing()) << where;
  }
}

TEST_F(TreeEdit, TheEditorIsAtLeastThirtyPixelsWideAndInsideTheClient) {
  for (PLazyNode node : {nodes[0], nodes[2]}) {
    ASSERT_TRUE(tree->EditNode(node, kNoColumn));
    const RECT r = EditorBounds();
    EXPECT_GE(r.right - r.left, 30);
    EXPECT_GE(r.left, 0);
    EXPECT_LE(r.right, tree->ViewWidth());
    // Typing widens the editor of a short text, up to the client's edge.
    if (node == nodes[0]) {
      Type(L"a somewhat longer text");
      Pump(30);
      EXPECT_GT(EditorBounds().right - EditorBounds().left, r.right - r.left);
    }
    EXPECT_TRUE(tree->EndEditNode());
  }
  EXPECT_THROW(tree->EditNode(nullptr, kNoColumn), ELazyTreeAssertion);
  EXPECT_THROW(tree->EditNode(nodes[0], 3), ELazyTreeAssertion);
}

TEST_F(TreeEdit, TheEditorFollowsAResize) {
  ASSERT_TRUE(tree->EditNode(nodes[2], kNoColumn));
  EXPECT_GT(EditorBounds().right, 150);
  tree->SetBounds(0, 0, 150, 200);
  Pump(30);
  EXPECT_LE(EditorBounds().right, tree->ViewWidth());
  EXPECT_LE(tree->ViewWidth(), 150);
  EXPECT_TRUE(tree->EndEditNode());
}

TEST_F(TreeEdit, CtrlEnterEndsAMultiLineEdit) {
  tree->SetMultiLine(nodes[1], true);
  ASSERT_TRUE(tree->EditNode(nodes[1], kNoColumn));
  Type(L"one");
  Key(Editor(), VK_RETURN);
  SendMessageW(Editor(), WM_CHAR, L'\r', 1);
  Type(L"two");
  EXPECT_TRUE(tree->IsEditing());  // Enter made a new line
  {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_CONTROL;
    SendInput(1, &input, sizeof input);
    Pump(20);
    Key(Editor(), VK_RETURN);
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
    Pump(20);
  }
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(stored, std::vector<std::wstring>{L"one\r\ntwo"});
}

// Losing the focus ends the edit: stored with toAutoAcceptEditChange, discarded without.
TEST_F(TreeEdit, LosingTheFocusAcceptsOrDiscardsByTheOption) {
  for (const bool accept : {true, false}) {
    auto& o = tree->GetOptions();
    o.SetStringOptions(accept ? (o.StringOptions() | toAutoAcceptEditChange)
                              : (o.StringOptions() & ~toAutoAcceptEditChange));
    stored.clear();
    ASSERT_TRUE(tree->EditNode(nodes[1], kNoColumn));
    Type(L"moved");
    SetFocus(other->Handle());
    EXPECT_FALSE(tree->IsEditing()) << accept;
    EXPECT_EQ(stored.size(), accept ? 1u : 0u);
  }
}

TEST_F(TreeEdit, NothingOpensWithoutEditableOrWhenTheOwnerVetoes) {
  bool allow = false;
  tree->OnEditing = [&](TBaseLazyTree&, PLazyNode, TColumnIndex, bool& allowed) { allowed = allow; };
  EXPECT_FALSE(tree->EditNode(nodes[1], kNoColumn));
  allow = true;
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() & ~toEditable);
  EXPECT_FALSE(tree->EditNode(nodes[1], kNoColumn));
  o.SetMiscOptions(o.MiscOptions() | toEditable);
  EXPECT_TRUE(tree->EditNode(nodes[1], kNoColumn));
  // Deleting the edited node cancels the edit.
  tree->DeleteNode(nodes[1]);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(cancelled, 1);
}

}  // namespace
}  // namespace kv
