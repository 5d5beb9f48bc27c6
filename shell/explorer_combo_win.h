#pragma once
// The address box of the shell namespace: a wide edit showing the current
// folder with its icon, a button opening a drop-down folder tree, and an
// auto-complete list of matching names while the user types a path.
#include <windows.h>
#include <uxtheme.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/auto_complete_win.h"
#include "shell/drop_down_win.h"
#include "shell/namespace_win.h"
#include "shell/wide_edit_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/gdi_win.h"

namespace kv {

class TCustomLazyExplorerCombobox;

// The edit inside the combo box. Keeps the last valid text and item so an
// entry that leads nowhere can be undone.
class TComboEdit : public TCustomWideEdit {
 public:
  explicit TComboEdit(TCustomLazyExplorerCombobox& combo);
  const char* ClassName() const override { return "TComboEdit"; }
  // Enter: goes to the typed path (see the combo box), or reports it.
  void SelectEnteredPath();
  const std::wstring& UndoText() const { return undoText_; }
  LPCITEMIDLIST UndoPIDL() const { return undoPIDL_.get(); }
  void SetUndo(const std::wstring& text, LPCITEMIDLIST pidl);
  void Undo();

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(ui::TMessage& m) override;

 private:
  // "C" -> "C:\", "C:" -> "C:\"; other texts as typed.
  static std::wstring AutoCompleteDrive(const std::wstring& text);
  void HandleInvalidText(const std::wstring& text);
  TCustomLazyExplorerCombobox& combo_;
  std::wstring undoText_;
  TPidl undoPIDL_;
};

class TPopupAutoCompleteDropDown;

// The candidates of the auto-complete drop-down, one text a row.
class TPopupAutoCompleteTree : public TLazyStringTree {
 public:
  explicit TPopupAutoCompleteTree(TPopupAutoCompleteDropDown& dropDown);
  ~TPopupAutoCompleteTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TPopupAutoCompleteTree"; }
  // Fills the rows for the typed text.
  void UpdateList(const std::wstring& text);
  const std::vector<std::wstring>& Rows() const { return rows_; }
  std::wstring RowText(PLazyNode node) const;
  TLazyShellAutoComplete& AutoComplete() { return autoComplete_; }

 protected:
  void DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType type, std::wstring& text) override;
  void WndProc(ui::TMessage& m) override;

 private:
  TPopupAutoCompleteDropDown& dropDown_;
  TLazyShellAutoComplete autoComplete_;
  std::vector<std::wstring> rows_;
};

// The application's own candidates: handled = true shows `list`.
using TAutoCompleteUpdateListEvent =
    std::function<void(TPopupAutoCompleteTree& sender, const std::wstring& text, std::vector<std::wstring>& list,
                       bool& handled)>;

class TPopupAutoCompleteDropDown : public TTreeDropDownWnd {
 public:
  explicit TPopupAutoCompleteDropDown(TCustomLazyExplorerCombobox& combo);
  const char* ClassName() const override { return "TPopupAutoCompleteDropDown"; }
  TPopupAutoCompleteTree& AutoCompleteTree() { return *tree_; }
  TCustomLazyExplorerCombobox& ComboBox() const { return combo_; }
  TAutoCompleteUpdateListEvent OnAutoCompleteUpdateList;

  bool KeyPressDispatch(MSG& msg) override;

 protected:
  void DoRollUp(bool selected) override;

 private:
  TCustomLazyExplorerCombobox& combo_;
  TPopupAutoCompleteTree* tree_ = nullptr;
};

// Published settings of a drop-down, forwarded to it.
class TPopupOptionsBase {
 public:
  explicit TPopupOptionsBase(TDropDownWnd& dropDown, TCustomLazyStringTree& tree) : dropDown_(dropDown), tree_(tree) {}
  UINT AnimationSpeed() const { return dropDown_.RollTime(); }
  void SetAnimationSpeed(UINT ms) { dropDown_.SetRollTime(ms); }
  UINT AutoScrollTimeFast() const { return dropDown_.ScrollTimeFast(); }
  void SetAutoScrollTimeFast(UINT ms) { dropDown_.SetScrollTimeFast(ms); }
  UINT AutoScrollTimeSlow() const { return dropDown_.ScrollTimeSlow(); }
  void SetAutoScrollTimeSlow(UINT ms) { dropDown_.SetScrollTimeSlow(ms); }
  // The tree's tiled background picture (the owner's bitmap) and its offsets.
  HBITMAP Background() const { return background_; }
  void SetBackground(HBITMAP bitmap) {
    background_ = bitmap;
    tree_.SetBackground(bitmap);
  }
  // A picture the tree keeps itself (read from a layout).
  void SetBackground(std::shared_ptr<const ui::BitmapObject> picture) {
    background_ = picture != nullptr ? picture->Get() : nullptr;
    tree_.SetBackground(std::move(picture));
  }
  int BackgroundOffsetX() const { return backgroundOffsetX_; }
  void SetBackgroundOffsetX(int x) {
    backgroundOffsetX_ = x;
    tree_.SetBackgroundOffset(backgroundOffsetX_, backgroundOffsetY_);
  }
  int BackgroundOffsetY() const { return backgroundOffsetY_; }
  void SetBackgroundOffsetY(int y) {
    backgroundOffsetY_ = y;
    tree_.SetBackgroundOffset(backgroundOffsetX_, backgroundOffsetY_);
  }
  ui::TColor Color() const { return tree_.Color(); }
  void SetColor(ui::TColor color) { tree_.SetColor(color); }
  uint32_t DefaultNodeHeight() const { return tree_.DefaultNodeHeight(); }
  void SetDefaultNodeHeight(uint32_t height) { tree_.SetDefaultNodeHeight(height); }
  int DropDownCount() const { return dropDown_.DropDownCount(); }
  void SetDropDownCount(int count) { dropDown_.SetDropDownCount(count); }
  unsigned Indent() const { return tree_.Indent(); }
  void SetIndent(unsigned indent) { tree_.SetIndentAndRepaint(indent); }
  TPopupOptions Options() const { return dropDown_.PopupOptions(); }
  void SetOptions(TPopupOptions options) { dropDown_.SetPopupOptions(options); }
  void SetOnRollDown(std::function<void(TDropDownWnd&)> event) { dropDown_.OnRollDown = std::move(event); }
  void SetOnRollUp(std::function<void(TDropDownWnd&, bool)> event) { dropDown_.OnRollUp = std::move(event); }

 protected:
  TDropDownWnd& dropDown_;
  TCustomLazyStringTree& tree_;
  HBITMAP background_ = nullptr;
  int backgroundOffsetX_ = 0;
  int backgroundOffsetY_ = 0;
};

class TPopupExplorerOptions : public TPopupOptionsBase {
 public:
  explicit TPopupExplorerOptions(TPopupExplorerDropDown& dropDown)
      : TPopupOptionsBase(dropDown, dropDown.ExplorerTree()), explorer_(dropDown) {}
  TComboBoxStyle ComboBoxStyle() const { return explorer_.ComboBoxStyle(); }
  void SetComboBoxStyle(TComboBoxStyle style) { explorer_.SetComboBoxStyle(style); }
  void SetOnEnumFolder(std::function<void(TCustomLazyExplorerTree&, TNamespace&, bool&)> event) {
    explorer_.OnEnumFolder = std::move(event);
  }

 private:
  TPopupExplorerDropDown& explorer_;
};

class TPopupAutoCompleteOptions : public TPopupOptionsBase {
 public:
  explicit TPopupAutoCompleteOptions(TPopupAutoCompleteDropDown& dropDown)
      : TPopupOptionsBase(dropDown, dropDown.AutoCompleteTree()), autoComplete_(dropDown) {}
  TAutoCompleteContents Contents() const { return autoComplete_.AutoCompleteTree().AutoComplete().Contents(); }
  void SetContents(TAutoCompleteContents contents) {
    autoComplete_.AutoCompleteTree().AutoComplete().SetContents(contents);
  }
  void SetOnAutoCompleteUpdateList(TAutoCompleteUpdateListEvent event) {
    autoComplete_.OnAutoCompleteUpdateList = std::move(event);
  }

 private:
  TPopupAutoCompleteDropDown& autoComplete_;
};

// Options bits of the combo box.
enum TExplorerComboboxOption : uint32_t {
  eoThreadedImages = 1u << 0,     // the pop-up tree loads its icons in the background
  eoThemed = 1u << 1,             // painted in the visual style
  eoSelectCurrentItem = 1u << 2,  // the pop-up tree selects the current item when it opens
};

class TCustomLazyExplorerCombobox : public ui::TControl {
 public:
  TCustomLazyExplorerCombobox();
  ~TCustomLazyExplorerCombobox() override;
  const char* ClassName() const override { return "TCustomLazyExplorerCombobox"; }

  TComboEdit& Edit() { return *edit_; }
  TPopupExplorerDropDown& PopupExplorerDropDown() { return *explorerDropDown_; }
  TPopupAutoCompleteDropDown& PopupAutoCompleteDropDown() { return *autoCompleteDropDown_; }
  TPopupExplorerOptions& PopupExplorerOptions() { return *explorerOptions_; }
  TPopupAutoCompleteOptions& PopupAutoCompleteOptions() { return *autoCompleteOptions_; }

  // The shown item (none before one is set).
  TNamespace* EditNamespace() const { return namespace_.get(); }
  // Shows `item` (its name and icon) and makes it current; reports the change.
  void SetEditNamespace(std::unique_ptr<TNamespace> item);
  // The look of the box: the classic sunken field and button, or the flat
  // enhanced one.
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle style);
  uint32_t Options() const { return options_; }
  void SetOptions(uint32_t options);
  bool Themed() const { return (options_ & eoThemed) && themes_[0] != nullptr; }

  // Opens the explorer drop-down (closes it when open); returns when it closes.
  void DropDownButtonClick();
  // Offers the names matching `text` in the auto-complete drop-down.
  void UpdateAutoComplete(const std::wstring& text);

  // ---------------------------------------------------------- change links --
  // A followed control changed: shows `pidl` unless it is the current item;
  // none (or design time) clears the edit.
  void ChangeLinkChanging(ui::TControl* server, LPCITEMIDLIST pidl);
  // Hands `pidl` to the controls that follow the box (the process-wide dispatcher).
  void ChangeLinkDispatch(LPCITEMIDLIST pidl);
  // A link is going: when it is the one by which the box follows its linked
  // tree, the box forgets that tree.
  void ChangeLinkFreeing(TExplorerChangeLink& link);
  // The explorer tree the box follows (none: no link). Setting it replaces the
  // link to the former tree by one to the new tree, the box as its client.
  TCustomLazyExplorerTree* LinkedTree() const { return linkedTree_; }
  void SetLinkedTree(TCustomLazyExplorerTree* tree);

  std::function<void(TCustomLazyExplorerCombobox&, const std::wstring& text)> OnInvalidEntry;
  std::function<void(TCustomLazyExplorerCombobox&, TNamespace& item)> OnPathChange;
  // Runs an entered file; the default opens it with its associated program.
  std::function<void(TCustomLazyExplorerCombobox&, TNamespace& item)> ExecuteHook;

 protected:
  friend class TComboEdit;
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;
  void WndProc(ui::TMessage& m) override;
  virtual void DoPathChange();
  virtual void DoInvalidEntry(const std::wstring& text);
  virtual void DoExecute(TNamespace& item);

 private:
  void OpenThemes();
  void CloseThemes();
  void LayoutChildren();
  RECT ButtonRect() const;
  void Paint(HDC dc);
  void PaintClassic(HDC dc, RECT& r, RECT& button);
  void PaintEnhanced(HDC dc, RECT& r, RECT& button);
  std::wstring DisplayText(TNamespace& item);

  TComboEdit* edit_ = nullptr;
  TPopupExplorerDropDown* explorerDropDown_ = nullptr;
  TPopupAutoCompleteDropDown* autoCompleteDropDown_ = nullptr;
  std::unique_ptr<TPopupExplorerOptions> explorerOptions_;
  std::unique_ptr<TPopupAutoCompleteOptions> autoCompleteOptions_;
  std::unique_ptr<TNamespace> namespace_;
  TComboBoxStyle style_ = TComboBoxStyle::cbsClassic;
  uint32_t options_ = eoThemed | eoSelectCurrentItem;
  HTHEME themes_[3] = {};  // "combobox", "button", "edit"
  bool changing_ = false;
  bool buttonPressed_ = false;
  TCustomLazyExplorerTree* linkedTree_ = nullptr;
};

class TLazyExplorerCombobox : public TCustomLazyExplorerCombobox {
 public:
  const char* ClassName() const override { return "TLazyExplorerCombobox"; }
};

// A folder whose normal name is `text` (any case): the desktop's folders,
// then My Computer's.
std::unique_ptr<TNamespace> FindFolderByName(const std::wstring& text);
// The desktop itself when `text` is its name, else a desktop folder or file so named.
std::unique_ptr<TNamespace> FindDesktopFolderByName(const std::wstring& text);

}  // namespace kv
