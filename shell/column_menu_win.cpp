// The column menu of an explorer tree's header: a check item per column,
// and for shell columns "More ..." with the column settings dialog.
#include <algorithm>

#include "shell/column_settings_win.h"
#include "shell/explorer_tree_win.h"

namespace kv {

void TColumnMenu::Rebuild() {
  items_.clear();
  std::vector<bool> secondary;
  TNamespace* root = tree_.RootNamespace();
  const bool shell = tree_.ColumnDetails() == cdShellColumns;
  std::vector<TColumnState> columns = tree_.ColumnStates();
  if (shell && root)
    for (const TColumnState& c : columns)
      secondary.push_back((root->DetailsGetDefaultColumnState(c.Index) &
                           static_cast<uint16_t>(TShellColumnState::SecondaryUI)) != 0);
  for (TColumnMenuEntry& entry : BuildColumnMenu(columns, secondary, shell, tree_.ColumnMenuItemCount()))
    items_.push_back(std::make_unique<TColumnMenuItem>(*this, std::move(entry)));
}

void TColumnMenu::Popup(int x, int y) {
  Rebuild();
  ui::TPopupMenu menu;
  menu.PopupComponent = &tree_;
  for (const auto& item : items_) {
    ui::TMenuItem& shown = menu.Add(std::wstring(item->Entry().Caption.begin(), item->Entry().Caption.end()));
    shown.Checked = item->Entry().Checked;
    TColumnMenuItem* target = item.get();
    shown.OnClick = [target](ui::TMenuItem&) { target->Click(); };
  }
  if (ShowHook)
    ShowHook(menu, POINT{x, y});
  else
    menu.Popup(x, y);
}

void TColumnMenuItem::UpdateColumns(const TFormColumnSettings& dialog, TCustomLazyExplorerTree& tree) {
  std::vector<TColumnState> columns = tree.ColumnStates();
  ApplyColumnEntries(dialog.Entries(), columns);
  tree.ApplyColumnStates(columns);
}

void TColumnMenuItem::LiveExplorerUpdate(TFormColumnSettings& dialog) { UpdateColumns(dialog, menu_.Tree()); }

void TColumnMenuItem::Click() {
  TCustomLazyExplorerTree& tree = menu_.Tree();
  TLazyTreeColumns& columns = tree.Header().Columns();
  if (entry_.ColumnIndex >= 0) {
    if (entry_.ColumnIndex >= columns.Count()) return;
    TLazyTreeColumn& column = columns[entry_.ColumnIndex];
    column.SetOptions(static_cast<TLTColumnOptions>(entry_.Checked ? (column.Options() & ~coVisible)
                                                                   : (column.Options() | coVisible)));
    tree.StoreColumnState();
    return;
  }
  if (entry_.ColumnIndex >= kColumnMenuSeparator) return;
  // "More ...": the columns as they were, to undo the live changes of a
  // cancelled dialog. Not through the header stream: with shell columns it
  // holds no columns (loading it back would delete them all), and it never
  // holds a column's kind.
  const std::vector<TColumnState> saved = tree.ColumnStates();
  TFormColumnSettings dialog;
  dialog.SetEntries(ColumnSettingsEntries(tree.ColumnStates()));
  dialog.OnLiveUpdate = [this](TFormColumnSettings& d) { LiveExplorerUpdate(d); };
  if (dialog.ShowModal() == ui::mrOk) {
    UpdateColumns(dialog, tree);
    tree.StoreColumnState();
  } else {
    // Live changes are applied without being stored, so putting the columns
    // back leaves the folder's stored layout (or its having none) alone.
    tree.BeginUpdate();
    tree.ApplyColumnStates(saved);
    tree.EndUpdate();
    tree.Header().Invalidate(kNoColumn);
    tree.Repaint();
  }
}

}  // namespace kv
