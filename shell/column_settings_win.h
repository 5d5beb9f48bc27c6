#pragma once
// The column menu of an explorer tree's header and, beside it, the column
// settings dialog that its "More ..." entry opens.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/shell_columns.h"
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"
#include "ui/popup_menu.h"
#include "ui/std_controls_win.h"

namespace kv {

class TCustomLazyExplorerTree;

// Lists the header's columns with their visibility; the user checks, drags
// them into another order and types the selected column's width.
class TFormColumnSettings : public ui::TForm {
 public:
  TFormColumnSettings();
  ~TFormColumnSettings() override;
  const char* ClassName() const override { return "TFormColumnSettings"; }

  // One node per entry, in this order.
  void SetEntries(std::vector<TColumnData> entries);
  // The entries in list order, as the user left them.
  std::vector<TColumnData> Entries() const;
  // Fired on every change while "Live Update" is checked.
  std::function<void(TFormColumnSettings&)> OnLiveUpdate;
  // Sounded for a refused character (tests replace it).
  std::function<void()> Beep = [] { MessageBeep(MB_OK); };

  // A drag of the node at `dragged` dropped on the node at `target` (list
  // places): moved down it lands after the target, moved up before it.
  void DropEntry(size_t dragged, size_t target);
  bool DialogKey(HWND focus, WPARAM key) override;

  ui::TPanel* Panel1 = nullptr;
  ui::TLabel* Label1 = nullptr;
  TLazyStringTree* LSTColumnNames = nullptr;
  ui::TLabel* Label2 = nullptr;
  ui::TEdit* EditPixelWidth = nullptr;
  ui::TLabel* Label3 = nullptr;
  ui::TCheckBox* CheckBoxLiveUpdate = nullptr;
  ui::TPanel* Bevel1 = nullptr;
  ui::TButton* ButtonOk = nullptr;
  ui::TButton* ButtonCancel = nullptr;

 private:
  class TWidthEdit;
  TColumnData* Data(PLazyNode node) const;
  // The node's place among the list's nodes.
  size_t PlaceOf(PLazyNode node) const;
  // Stores the width box into the node (an empty box leaves its width).
  void StoreWidth(PLazyNode node);
  void LiveUpdate();
  void PlaceWidthRow();
  void WidthKey(char& key);

  std::vector<std::unique_ptr<TColumnData>> data_;
  PLazyNode dragNode_ = nullptr;  // pressed last: the row a drag of the list moves
};

class TColumnMenu;

class TColumnMenuItem {
 public:
  TColumnMenuItem(TColumnMenu& menu, TColumnMenuEntry entry) : menu_(menu), entry_(std::move(entry)) {}
  const TColumnMenuEntry& Entry() const { return entry_; }
  int ColumnIndex() const { return entry_.ColumnIndex; }
  // A column item shows or hides its column; "More ..." opens the settings dialog.
  void Click();
  static void UpdateColumns(const TFormColumnSettings& dialog, TCustomLazyExplorerTree& tree);
  // The dialog's live-update callback: its entries go to the menu's tree at once.
  void LiveExplorerUpdate(TFormColumnSettings& dialog);

 private:
  TColumnMenu& menu_;
  TColumnMenuEntry entry_;
};

class TColumnMenu {
 public:
  explicit TColumnMenu(TCustomLazyExplorerTree& tree) : tree_(tree) {}
  TCustomLazyExplorerTree& Tree() const { return tree_; }
  // Rebuilds the items from the header, then shows them at the screen point.
  void Popup(int x, int y);
  void Rebuild();
  size_t Count() const { return items_.size(); }
  TColumnMenuItem& Items(size_t index) { return *items_.at(index); }
  // Shows the built menu (tests replace it; null: the system's menu).
  std::function<void(ui::TPopupMenu&, POINT)> ShowHook;

 private:
  TCustomLazyExplorerTree& tree_;
  std::vector<std::unique_ptr<TColumnMenuItem>> items_;
};

}  // namespace kv
