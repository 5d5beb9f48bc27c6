// The standard edit actions reach the focused tree: Update decides Enabled
// from the selection, the clipboard formats and the options; Execute selects,
// copies, cuts, pastes and deletes, the changing ones never in a read-only tree.

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/treeview/text_owner_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/actions_win.h"
#include "ui/forms_win.h"
#include "ui/std_controls_win.h"

namespace kv {
namespace {

using ui::TEditAction;
using Kind = ui::TEditActionKind;

class EditActions : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &form.Create<TLazyStringTree>();
    tree->SetParent(&form);
    tree->SetBounds(0, 0, 200, 150);
    edit = &form.Create<ui::TEdit>();
    edit->SetParent(&form);
    edit->SetBounds(0, 160, 200, 22);
    owner = std::make_unique<test::TextOwner>(*tree);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->ClipboardFormats().Assign({"Unicode text", "Lazy Tree Data"});
    a = tree->AddChild(nullptr);
    b = tree->AddChild(nullptr);
    b1 = tree->AddChild(b);  // b stays collapsed: b1 is hidden
    c = tree->AddChild(nullptr);
    owner->texts = {{a, L"a"}, {b, L"b"}, {b1, L"b1"}, {c, L"c"}};
    form.Show();
    SetForegroundWindow(form.Handle());
    SetFocus(tree->Handle());
  }
  void TearDown() override { OleSetClipboard(nullptr); }

  // Enabled after an Update through the focused control (it starts as the opposite of `expected`).
  bool Enabled(Kind kind, bool expected) {
    TEditAction action(kind);
    action.SetEnabled(!expected);
    EXPECT_TRUE(action.Update());
    return action.Enabled();
  }

  ui::TForm form;
  TLazyStringTree* tree = nullptr;
  ui::TEdit* edit = nullptr;
  std::unique_ptr<test::TextOwner> owner;
  PLazyNode a = nullptr, b = nullptr, b1 = nullptr, c = nullptr;
};

TEST_F(EditActions, UpdateFollowsSelectionFormatsOptionsAndFocus) {
  ASSERT_EQ(GetFocus(), tree->Handle());
  // Nothing selected: only paste and select all.
  EXPECT_FALSE(Enabled(Kind::Cut, false) || Enabled(Kind::Copy, false) || Enabled(Kind::Delete, false));
  EXPECT_TRUE(Enabled(Kind::Paste, true) && Enabled(Kind::SelectAll, true));
  tree->AddToSelection(a);
  EXPECT_TRUE(Enabled(Kind::Cut, true) && Enabled(Kind::Copy, true) && Enabled(Kind::Delete, true));
  // Without a clipboard format there is nothing to cut or copy; delete stays.
  tree->ClipboardFormats().Clear();
  EXPECT_FALSE(Enabled(Kind::Cut, false) || Enabled(Kind::Copy, false));
  EXPECT_TRUE(Enabled(Kind::Delete, true));
  // Select all needs toMultiSelect and a visible node.
  tree->TreeOptions().SetSelectionOptions(0);
  EXPECT_FALSE(Enabled(Kind::SelectAll, false));
  tree->TreeOptions().SetSelectionOptions(toMultiSelect);
  tree->Clear();
  EXPECT_FALSE(Enabled(Kind::SelectAll, false));

  // The edit has the focus and knows no actions: both decline, Enabled stays.
  a = tree->AddChild(nullptr);
  tree->AddToSelection(a);
  SetFocus(edit->Handle());
  TEditAction remove(Kind::Delete);
  remove.SetEnabled(false);
  EXPECT_FALSE(remove.Update() || remove.Enabled() || remove.Execute());
  EXPECT_FALSE(tree->UpdateAction(remove));  // asked directly, the unfocused tree leaves it to its base
  EXPECT_EQ(tree->TotalCount(), 1u);
  // Other actions are not the tree's.
  struct TOther : ui::TBasicAction {
    bool Execute() override { return false; }
    bool Update() override { return false; }
  } other;
  SetFocus(tree->Handle());
  EXPECT_FALSE(tree->UpdateAction(other) || tree->ExecuteAction(other));
  EXPECT_EQ(tree->TotalCount(), 1u);
}

TEST_F(EditActions, ExecuteSelectsCopiesCutsPastesAndDeletes) {
  TEditAction selectAll(Kind::SelectAll), copy(Kind::Copy), cut(Kind::Cut), paste(Kind::Paste),
      remove(Kind::Delete);
  // A read-only tree declines the changing actions; reading stays allowed.
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toReadOnly);
  tree->AddToSelection(a);
  EXPECT_FALSE(cut.Execute() || paste.Execute() || remove.Execute());
  EXPECT_EQ(tree->TotalCount(), 4u);
  EXPECT_FALSE(tree->TreeStates().Contains(tsCutPending));
  ASSERT_TRUE(selectAll.Execute());
  EXPECT_EQ(tree->SelectedCount(), 4u);  // the hidden b1 too
  ASSERT_TRUE(copy.Execute());
  EXPECT_TRUE(tree->TreeStates().Contains(tsCopyPending));
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() & ~toReadOnly);

  tree->ClearSelection();
  tree->AddToSelection(c);
  ASSERT_TRUE(copy.Execute());
  tree->ClearSelection();
  tree->SetFocusedNode(a);
  ASSERT_TRUE(paste.Execute());
  ASSERT_NE(tree->GetFirstChild(a), nullptr);
  EXPECT_EQ(tree->GetText(tree->GetFirstChild(a), kNoColumn), L"c");

  tree->ClearSelection();
  tree->AddToSelection(b);
  ASSERT_TRUE(cut.Execute());
  tree->SetFocusedNode(c);
  ASSERT_TRUE(paste.Execute());
  EXPECT_EQ(tree->GetFirstChild(c), b);  // moved, with its child
  EXPECT_EQ(tree->TotalCount(), 5u);

  tree->ClearSelection();
  tree->AddToSelection(a);
  ASSERT_TRUE(remove.Execute());
  EXPECT_EQ(tree->TotalCount(), 3u);  // a and its pasted child went
}

}  // namespace
}  // namespace kv
