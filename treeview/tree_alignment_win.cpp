// The tree's own alignment and reading order: they place the content where
// the tree has no columns, and columns that follow their parent take the
// reading order over.

#include "treeview/base_lazy_tree_win.h"

namespace kv {

void TBaseLazyTree::SetAlignment(TLTAlignment value) {
  if (alignment_ == value) return;
  alignment_ = value;
  if (!Loading()) InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetBiDiMode(TLTBidiMode value) {
  if (bidiMode_ == value) return;
  bidiMode_ = value;
  if (header_ != nullptr) {
    TLazyTreeColumns& columns = header_->Columns();
    for (int i = 0; i < columns.Count(); ++i) columns.Items(i).ParentBiDiModeChanged();
    header_->Invalidate(-1);
  }
  if (Loading()) return;
  // The vertical scroll bar changes sides: a window style of its own.
  if (HandleAllocated())
    RecreateWindow();
  else
    InvalidateClientRect(nullptr);
}

TLTAlignment TBaseLazyTree::CellAlignment(TColumnIndex column) const {
  if (HeaderUsesColumns() && header_->Columns().IsValidColumn(column))
    return header_->Columns().Items(column).Alignment();
  return alignment_;
}

bool TBaseLazyTree::CellRightToLeft(TColumnIndex column) const {
  if (HeaderUsesColumns() && header_->Columns().IsValidColumn(column))
    return header_->Columns().Items(column).UseRightToLeftReading();
  return bidiMode_ != TLTBidiMode::bdLeftToRight;
}

}  // namespace kv
