// The tree's answers to the standard edit actions of the focused control.

#include <windows.h>

#include "treeview/base_lazy_tree_win.h"
#include "ui/actions_win.h"

namespace kv {

using ui::TEditActionKind;

bool TBaseLazyTree::ExecuteAction(ui::TBasicAction& action) {
  if (TControl::ExecuteAction(action)) return true;
  const auto* edit = dynamic_cast<const ui::TEditAction*>(&action);
  if (edit == nullptr) return false;
  const bool readOnly = (TreeOptions().MiscOptions() & toReadOnly) != 0;
  switch (edit->Kind()) {
    case TEditActionKind::SelectAll:
      SelectAll(false);  // hidden nodes too
      return true;
    case TEditActionKind::Copy:
      CopyToClipboard();
      return true;
    case TEditActionKind::Cut:
      if (readOnly) return false;
      CutToClipboard();
      return true;
    case TEditActionKind::Paste:
      if (readOnly) return false;
      PasteFromClipboard();
      return true;
    case TEditActionKind::Delete:
      if (readOnly) return false;
      DeleteSelectedNodes();
      return true;
  }
  return false;
}

bool TBaseLazyTree::UpdateAction(ui::TBasicAction& action) {
  auto* edit = dynamic_cast<ui::TEditAction*>(&action);
  const bool focused = HandleAllocated() && GetFocus() == HandleIfAllocated();
  if (edit == nullptr || !focused) return TControl::UpdateAction(action);
  const bool selected = SelectedCount() > 0;
  switch (edit->Kind()) {
    case TEditActionKind::Cut:
    case TEditActionKind::Copy:
      edit->SetEnabled(selected && !ClipboardFormats().Empty());
      break;
    case TEditActionKind::Delete:
      edit->SetEnabled(selected);
      break;
    case TEditActionKind::Paste:
      edit->SetEnabled(true);
      break;
    case TEditActionKind::SelectAll:
      edit->SetEnabled((TreeOptions().SelectionOptions() & toMultiSelect) != 0 && VisibleCount() > 0);
      break;
  }
  return true;
}

}  // namespace kv
