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
using ui::TEditActionKind;

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
    tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
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

  // Update through the focused control; Enabled starts opposite to what is expected.
  bool EnabledAfterUpdate(TEditActionKind kind, bool expected) {
    TEditAction action(kind);
    action.SetEnabled(!expected);
    EXPECT_TRUE(action.Update());
    return action.Enabled();
  }
  void SetMisc(std::uint32_t add, std::uint32_t remove) {
    tree->TreeOptions().SetMiscOptions((tree->TreeOptions().MiscOptions() | add) & ~remove);
  }

  ui::TForm form;
  TLazyStringTree* tree = nullptr;
  ui::TEdit* edit = nullptr;
  std::unique_ptr<test::TextOwner> owner;
  PLazyNode a = nullptr, b = nullptr, b1 = nullptr, c = nullptr;
};

TEST_F(EditActions, UpdateFollowsSelectionFormatsAndOptions) {
  ASSERT_EQ(GetFocus(), tree->Handle());
  // Nothing selected: only paste and select all.
  EXPECT_FALSE(EnabledAfterUpdate(TEditActionKind::Cut, false));
  EXPECT_FALSE(EnabledAfterUpdate(TEditActionKind::Copy, false));
  EXPECT_FALSE(EnabledAfterUpdate(TEditActionKind::Delete, false));
  EXPECT_TRUE(EnabledAfterUpdate(TEditActionKind::Paste, true));
  EXPECT_TRUE(EnabledAfterUpdate(TEditActionKind::SelectAll, true));

  tree->AddToSelection(a);
  EXPECT_TRUE(EnabledAfterUpdate(TEditActionKind::Cut, true));
  EXPECT_TRUE(EnabledAfterUpdate(TEditActionKind::Copy, true));
  EXPECT_TRUE(EnabledAfterUpdate(TEditActionKind::Delete, true));

  // Without a clipboard format there is nothing to cut or copy; delete stays.
  tree->ClipboardFormats().Clear();
  EXPECT_FALSE(EnabledAfterUpdate(TEditActionKind::Cut, false));
  EXPECT_FALSE(EnabledAfterUpdate(TEditActionKind::Copy, false));
  EXPECT_TRUE(EnabledAfterUpdate(TEditActionKind::Delete, true));

  // Select all needs toMultiSelect and a visible node.
  tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() & ~toMultiSelect);
  EXPECT_FALSE(EnabledAfterUpdate(TEditActionKind::SelectAll, false));
  tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
  tree->Clear();
  EXPECT_FALSE(EnabledAfterUpdate(TEditActionKind::SelectAll, false));

  // Only the focused control is asked.
  a = tree->AddChild(nullptr);
  tree->AddToSelection(a);
  SetFocus(edit->Handle());
  ASSERT_EQ(GetFocus(), edit->Handle());
  // The edit knows no actions: both decline and Enabled stays as it was.
  TEditAction remove(TEditActionKind::Delete);
  remove.SetEnabled(false);
  EXPECT_FALSE(remove.Update());
  EXPECT_FALSE(remove.Enabled());
  EXPECT_FALSE(remove.Execute());
  EXPECT_EQ(tree->TotalCount(), 1u);
  // Asked directly, the unfocused tree leaves the decision to its base.
  EXPECT_FALSE(tree->UpdateAction(remove));
  EXPECT_FALSE(remove.Enabled());
  // Other actions are not the tree's.
  struct TOther : ui::TBasicAction {
    bool Execute() override { return false; }
    bool Update() override { return false; }
  } other;
  SetFocus(tree->Handle());
  EXPECT_FALSE(tree->UpdateAction(other));
  EXPECT_FALSE(tree->ExecuteAction(other));
  EXPECT_EQ(tree->TotalCount(), 1u);
}

TEST_F(EditActions, ExecuteSelectsCopiesCutsPastesAndDeletes) {
  TEditAction selectAll(TEditActionKind::SelectAll), copy(TEditActionKind::Copy), cut(TEditActionKind::Cut),
      paste(TEditActionKind::Paste), remove(TEditActionKind::Delete);
  // A read-only tree declines the changing actions.
  SetMisc(toReadOnly, 0);
  tree->AddToSelection(a);
  EXPECT_FALSE(cut.Execute());
  EXPECT_FALSE(paste.Execute());
  EXPECT_FALSE(remove.Execute());
  EXPECT_EQ(tree->TotalCount(), 4u);
  EXPECT_FALSE(tree->TreeStates().Contains(tsCutPending));
  // Reading stays allowed.
  EXPECT_TRUE(copy.Execute());
  EXPECT_TRUE(tree->TreeStates().Contains(tsCopyPending));
  EXPECT_TRUE(selectAll.Execute());
  EXPECT_EQ(tree->SelectedCount(), 4u);
  SetMisc(0, toReadOnly);
  OleSetClipboard(nullptr);
  tree->ClearSelection();

  ASSERT_TRUE(selectAll.Execute());
  EXPECT_EQ(tree->SelectedCount(), 4u);  // the hidden b1 too
  EXPECT_TRUE(b1->States.Contains(nsSelected));

  tree->ClearSelection();
  tree->AddToSelection(c);
  ASSERT_TRUE(copy.Execute());
  EXPECT_TRUE(tree->TreeStates().Contains(tsCopyPending));
  tree->ClearSelection();
  tree->SetFocusedNode(a);
  ASSERT_TRUE(paste.Execute());
  EXPECT_EQ(tree->TotalCount(), 5u);
  ASSERT_NE(tree->GetFirstChild(a), nullptr);
  EXPECT_EQ(tree->GetText(tree->GetFirstChild(a), kNoColumn), L"c");

  tree->ClearSelection();
  tree->AddToSelection(b);
  ASSERT_TRUE(cut.Execute());
  EXPECT_TRUE(tree->TreeStates().Contains(tsCutPending));
  tree->SetFocusedNode(c);
  ASSERT_TRUE(paste.Execute());
  EXPECT_EQ(tree->GetFirstChild(c), b);  // moved, with its child
  EXPECT_EQ(tree->TotalCount(), 5u);

  tree->ClearSelection();
  tree->AddToSelection(a);
  ASSERT_TRUE(remove.Execute());
  EXPECT_EQ(tree->TotalCount(), 3u);  // a and its pasted child
}

}  // namespace
}  // namespace kv
