// The explorer tree's option object and the rules its setters keep, the
// copy of one tree's settings to another, and the refused node streams.
#include <stdexcept>

#include "base/scope_guard.h"
#include "shell/explorer_tree_win.h"

namespace kv {

TCustomLazyExplorerTree* TCustomLazyExplorerTreeOptions::Tree() const {
  return dynamic_cast<TCustomLazyExplorerTree*>(Owner());
}

void TCustomLazyExplorerTreeOptions::SetExplorerFolderOptions(uint32_t value) {
  if (TCustomLazyExplorerTree* tree = Tree()) tree->SetExplorerFolderOptions(value);
  else folder_ = value;
}

void TCustomLazyExplorerTreeOptions::SetExplorerImageOptions(uint32_t value) {
  if (TCustomLazyExplorerTree* tree = Tree()) tree->SetExplorerImageOptions(value);
  else image_ = value;
}

void TCustomLazyExplorerTreeOptions::SetExplorerMiscOptions(uint32_t value) {
  if (TCustomLazyExplorerTree* tree = Tree()) tree->SetExplorerMiscOptions(value);
  else misc_ = value;
}

void TCustomLazyExplorerTreeOptions::SetExplorerShellOptions(uint32_t value) {
  if (TCustomLazyExplorerTree* tree = Tree()) tree->SetExplorerShellOptions(value);
  else shell_ = value;
}

void TCustomLazyExplorerTreeOptions::AssignTo(TCustomLazyTreeOptions& target) const {
  TCustomStringTreeOptions::AssignTo(target);
  auto* explorer = dynamic_cast<TCustomLazyExplorerTreeOptions*>(&target);
  if (!explorer) return;
  explorer->SetExplorerFolderOptions(folder_);
  explorer->SetExplorerShellOptions(shell_);
  explorer->SetExplorerMiscOptions(misc_);
  explorer->SetExplorerImageOptions(image_);
  explorer->sync_ = sync_;
}

void TCustomLazyExplorerTree::OptionsChanged(TLTOptionSet which, std::uint32_t oldValue, std::uint32_t newValue) {
  // The correction below stores the set again: its own notice is not passed on.
  if (correctingOptions_) return;
  std::uint32_t corrected = newValue;
  // The tree sorts itself where the shell's order asks for it: never automatically.
  if (which == TLTOptionSet::Auto) corrected &= ~uint32_t(toAutoSort);
  // Several selected items must be siblings: a shell command takes items of one folder.
  if (which == TLTOptionSet::Selection && (corrected & toMultiSelect))
    corrected = (corrected & ~uint32_t(toLevelSelectConstraint)) | toSiblingSelectConstraint;
  if (corrected != newValue) {
    correctingOptions_ = true;
    const ScopeGuard done([this] { correctingOptions_ = false; });
    if (which == TLTOptionSet::Auto)
      GetOptions().SetAutoOptions(corrected);
    else
      GetOptions().SetSelectionOptions(corrected);
  }
  // The tree's effects see the whole change, from the set before to the corrected one.
  if (corrected != oldValue) TCustomLazyStringTree::OptionsChanged(which, oldValue, corrected);
}

void TCustomLazyExplorerTree::Assign(TCustomLazyExplorerTree& source) {
  if (&source == this) return;
  SetColumnDetails(source.ColumnDetails());
  SetColumnMenuItemCount(source.ColumnMenuItemCount());
  SetFileObjects(source.FileObjects());
  SetFileSizeFormat(source.FileSizeFormat());
  SetFileSort(source.FileSort());
  if (source.RootFolderCustomPIDL()) SetRootFolderCustomPIDL(source.RootFolderCustomPIDL());
  else if (!source.RootFolderCustomPath().empty()) SetRootFolderCustomPath(source.RootFolderCustomPath());
  else SetRootFolder(source.RootFolder());
  source.GetOptions().AssignTo(GetOptions());
  for (int i = 0; i < 3; ++i) Colors().SetExplorerColor(i, source.Colors().GetExplorerColor(i));
  SetActive(source.Active());
}

void TCustomLazyExplorerTree::SaveToStream(TNodeStream&, PLazyNode) {
  throw ELazyTreeAssertion("SaveToStream is not supported in the explorer tree. Use the ViewManager Property");
}

void TCustomLazyExplorerTree::LoadFromStream(TNodeStream&) {
  throw ELazyTreeAssertion("LoadFromStream is not supported in the explorer tree. Use the ViewManager Property");
}

}  // namespace kv
