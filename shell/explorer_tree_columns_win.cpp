// The explorer tree's detail columns: the header built from the shell's
// columns of the folder shown (or the tree's own set), the cells' texts, and
// the folder's column layout remembered in the node storage.
#include <algorithm>
#include <string>

#include "base/scope_guard.h"
#include "shell/column_settings_win.h"
#include "shell/explorer_tree_win.h"

namespace kv {

namespace {

std::u16string ToU16(const std::wstring& text) { return {text.begin(), text.end()}; }

TShellColumnRoot ShellColumnRootOf(TNamespace& ns, int columnCount) {
  if (ns.IsMyComputer()) return TShellColumnRoot::MyComputer;
  if (ns.IsControlPanel()) return TShellColumnRoot::ControlPanel;
  if (ns.IsNetworkNeighborhood() || (ns.IsNetworkNeighborhoodChild() && columnCount < 3))
    return TShellColumnRoot::Network;
  return TShellColumnRoot::General;
}

}  // namespace

void TCustomLazyExplorerTree::SetColumnDetails(TColumnDetailType value) {
  if (value == columnDetails_) return;
  columnDetails_ = value;
  Header().Columns().Clear();
  shellColumnCount_ = 0;
  if (value == cdUser) {
    Header().SetOptions(static_cast<TLTHeaderOptions>(Header().Options() & ~hoVisible));
    return;
  }
  Header().SetOptions(static_cast<TLTHeaderOptions>(Header().Options() | hoVisible));
  RebuildHeader(rootNamespace_.get());
}

void TCustomLazyExplorerTree::RebuildHeader(TNamespace* ns) {
  if (columnDetails_ == cdShellColumns) RebuildShellHeader(ns);
  else if (columnDetails_ == cdExplorerColumns) RebuildExplorerHeader();
}

void TCustomLazyExplorerTree::RebuildExplorerHeader() {
  if (!HandleAllocated()) return;
  buildingHeader_ = true;
  const ScopeGuard done([this] { buildingHeader_ = false; });
  TLazyTreeColumns& columns = Header().Columns();
  columns.Clear();
  static constexpr TColumnDetails kOrder[] = {cdFileName, cdSize,    cdType,    cdModified, cdAttributes,
                                              cdAccessed, cdCreated, cdDOSName, cdPath};
  for (TColumnDetails kind : kOrder) {
    auto& column = static_cast<TExplorerColumn&>(columns.Add());
    column.SetColumnDetails(kind);
    if (kind == cdAccessed || kind == cdCreated || kind == cdDOSName || kind == cdPath)
      column.SetOptions(static_cast<TLTColumnOptions>(column.Options() & ~coVisible));
  }
  DoAddCustomShellColumn(columns.Count());
}

void TCustomLazyExplorerTree::RebuildShellHeader(TNamespace* ns) {
  if (!ns || !HandleAllocated() || columnDetails_ != cdShellColumns) return;
  buildingHeader_ = true;
  const ScopeGuard done([this] { buildingHeader_ = false; });
  BeginUpdate();
  shellColumnCount_ = 0;
  TLazyTreeColumns& columns = Header().Columns();
  columns.Clear();
  Header().SetOptions(static_cast<TLTHeaderOptions>(Header().Options() | hoVisible));
  const int count = ns->DetailsSupportedColumns();
  const TShellColumnRoot kind = ShellColumnRootOf(*ns, count);
  const bool rightAlignSize = (ExplorerShellOptions() & toRightAlignSizeColumn) && rootNamespace_ &&
                              rootNamespace_->GetFileSystem() && !rootNamespace_->GetHidden();
  for (int i = 0; i < count; ++i) {
    TLazyTreeColumn& column = columns.Add();
    column.SetText(ns->DetailsColumnTitle(i));
    if (i == 1 && rightAlignSize) column.SetAlignment(TLTAlignment::taRightJustify);
    column.SetWidth(DefaultShellColumnWidth(i, kind));
    static_cast<TExplorerColumn&>(column).SetColumnDetails(cdCustom);
    if (!(ns->DetailsGetDefaultColumnState(i) & static_cast<uint16_t>(TShellColumnState::OnByDefault)))
      column.SetOptions(static_cast<TLTColumnOptions>(column.Options() & ~coVisible));
    ++shellColumnCount_;
  }
  DoAddCustomShellColumn(shellColumnCount_);
  ReStoreColumnState();
  EndUpdate();
}

std::vector<TColumnState> TCustomLazyExplorerTree::ColumnStates() {
  std::vector<TColumnState> states;
  TLazyTreeColumns& columns = Header().Columns();
  for (int i = 0; i < columns.Count(); ++i) {
    const TLazyTreeColumn& c = columns[i];
    states.push_back({i, c.Position(), c.Width(), c.HasOption(coVisible), ToU16(c.Text())});
  }
  return states;
}

void TCustomLazyExplorerTree::ApplyColumnStates(const std::vector<TColumnState>& states) {
  TLazyTreeColumns& columns = Header().Columns();
  std::vector<const TColumnState*> byPosition;
  for (const TColumnState& s : states)
    if (s.Index >= 0 && s.Index < columns.Count()) byPosition.push_back(&s);
  // Columns of one position (one the settings dialog left out keeps its
  // number beside the listed ones) stay in the order they are given.
  std::stable_sort(byPosition.begin(), byPosition.end(),
                   [](const TColumnState* a, const TColumnState* b) { return a->Position < b->Position; });
  const bool outer = !applyingColumns_;
  applyingColumns_ = true;
  const ScopeGuard applied([this, outer] {
    if (outer) applyingColumns_ = false;
  });
  BeginUpdate();
  // Placed from the first position on, each move leaves the earlier ones where they are.
  for (size_t place = 0; place < byPosition.size(); ++place) {
    const TColumnState& s = *byPosition[place];
    TLazyTreeColumn& column = columns[s.Index];
    column.SetPosition(static_cast<int>(place));
    const auto options = static_cast<TLTColumnOptions>(s.Visible ? (column.Options() | coVisible)
                                                                 : (column.Options() & ~coVisible));
    if (options != column.Options()) column.SetOptions(options);
    column.SetWidth(s.Width);
  }
  EndUpdate();
}

bool TCustomLazyExplorerTree::ColumnStateKept() const {
  return (ExplorerMiscOptions() & toPersistentColumns) && columnDetails_ == cdShellColumns && rootNamespace_ &&
         rootNamespace_->GetFolder();
}

void TCustomLazyExplorerTree::StoreColumnState() {
  if (!ColumnStateKept() || !Header().UseColumns()) return;
  if (TNodeStorage* stored = GetNewStorage()->Store(StorageBytes(rootNamespace_->AbsolutePIDL()), kStoreColumns))
    StoreColumnLayout(stored->Storage.Column, ColumnStates());
}

void TCustomLazyExplorerTree::ReStoreColumnState() {
  if (!ColumnStateKept() || !Header().UseColumns()) return;
  TNodeStorage* stored = GetNewStorage()->Find(StorageBytes(rootNamespace_->AbsolutePIDL()), kStoreColumns);
  if (!stored) return;
  std::vector<TColumnState> states = ColumnStates();
  if (RestoreColumnLayout(stored->Storage.Column, states))
    ApplyColumnStates(states);
  else
    GetNewStorage()->Delete(StorageBytes(rootNamespace_->AbsolutePIDL()), kStoreColumns, false, false);
}

void TCustomLazyExplorerTree::DoHeaderMouseUp(int button, TShiftState shift, int x, int y) {
  TCustomLazyStringTree::DoHeaderMouseUp(button, shift, x, y);
  // A column dragged, wherever it was let go: the layout is kept as it now is.
  if (Header().States() & hstDragging) StoreColumnState();
  if (button != 1 || Header().PopupMenu() || !(ExplorerShellOptions() & toShellColumnMenu) || !HandleAllocated()) return;
  // Header points are relative to the header; it sits right above the client area.
  POINT screen{x, y};
  ClientToScreen(HandleIfAllocated(), &screen);
  columnMenu_->Popup(screen.x, screen.y - Header().Height());
}

void TCustomLazyExplorerTree::DoColumnResize(TColumnIndex column) {
  TCustomLazyStringTree::DoColumnResize(column);
  if (!buildingHeader_ && !applyingColumns_) StoreColumnState();
}

}  // namespace kv
