#pragma once
// The menu side of the program actions: items that stand for actions, their
// enabling and list expansion on every pass of the main loop, their clicks,
// and the actions' image lists. The program never builds a menu or a tool
// bar, so the menu root stays empty and a pass does nothing; the lists are
// filled at start-up all the same. User-interface thread only.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/foundation_init_win.h"
#include "ui/toolbar_win.h"

namespace kv {

// One menu or tool bar item. It owns its sub-items.
class TActionMenuItem {
 public:
  virtual ~TActionMenuItem() = default;

  std::string Caption;
  bool Enabled = true;
  bool Visible = true;
  bool Checked = false;
  int ImageIndex = -1;
  TProgAction* Action = nullptr;  // the action the item stands for (none: a plain submenu)
  std::function<void(TActionMenuItem& sender)> OnClick;
  std::vector<std::unique_ptr<TActionMenuItem>> Items;

  // Runs OnClick (nothing when the item has none).
  void Click();
};

// One line of a list-type action; its Action is the list.
class TDynTBItem : public TActionMenuItem {
 public:
  int Index = 0;  // the line's index in the list's Lines
};

// An item for the action: caption the last level of its path, its image,
// click handled by the shell's OnClick.
[[nodiscard]] std::unique_ptr<TActionMenuItem> NewActionItem(TProgAction& action);

// The one menu root (null: no menu; the program never makes one). Its items
// are the top level.
TActionMenuItem* MenuRoot();
void SetMenuRoot(std::unique_ptr<TActionMenuItem> root);

// Brings the item and its sub-items up to date for the active form: enabled
// state from the actions' OnUpdate, list actions expanded into their lines.
void Check(TActionMenuItem& item, HWND activeForm);
// Check on every item of the menu root; nothing without a menu root.
void ReCheckMenu();

// Creates the small action image list (owned by the application) from
// AppDir\images.bmp, and the large one from AppDir\limages.bmp (tiles as
// high as the strip; without that file the large list is the small one).
// A missing or broken strip is ignored.
void FillImageList();
// The lists FillImageList made (null before it ran).
ui::TImageList* ActionImages();
ui::TImageList* LargeActionImages();

}  // namespace kv
