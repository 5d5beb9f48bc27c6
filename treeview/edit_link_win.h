#pragma once
// In-place editing: the protocol between a tree and the editor of one cell
// (ILTEditLink), and the string tree's own editor, an edit window over the
// cell's text (TLTEdit), with its link (TStringEditLink).

#include <windows.h>

#include <memory>
#include <string>

#include "treeview/lazy_node.h"
#include "treeview/lazy_tree_paint_win.h"
#include "ui/std_controls_win.h"

namespace kv {

class TBaseLazyTree;
class TCustomLazyStringTree;

// What a tree asks of the editor of a cell. The tree holds the link from
// DoCreateEditor until the edit ends or is cancelled.
class ILTEditLink {
 public:
  virtual ~ILTEditLink() = default;
  // Shows the editor and gives it the focus; false keeps the tree from editing.
  virtual bool BeginEdit() = 0;
  // Both answer whether the editor closed (the tree then releases the link).
  virtual bool CancelEdit() = 0;
  virtual bool EndEdit() = 0;
  // Binds the editor to the cell; false: this editor cannot edit it.
  virtual bool PrepareEdit(TBaseLazyTree& tree, PLazyNode node, TColumnIndex column) = 0;
  virtual RECT GetBounds() = 0;
  // Hands a message to the editor's window.
  virtual void ProcessMessage(ui::TMessage& m) = 0;
  // The cell's rectangle in the tree's client coordinates.
  virtual void SetBounds(RECT r) = 0;
};
using PLTEditLink = std::shared_ptr<ILTEditLink>;

// Posted to an editor's own window to adjust its width to the typed text.
inline constexpr UINT CM_AUTOADJUST = 0xB7D5;

class TStringEditLink;

// A multi-line edit window over the cell; its text is the cell's UTF-16 text.
class TLTEdit : public ui::TEdit {
 public:
  explicit TLTEdit(TStringEditLink& link);
  const char* ClassName() const override { return "TLTEdit"; }
  std::wstring WideText() const;
  void SetWideText(const std::wstring& text);
  bool Modified() const;
  // The link went; from now on the editor only waits to be freed.
  void Detach() { link_ = nullptr; }
  // Single-line cells: the width follows the text (anchored by the alignment).
  void AutoAdjustSize();

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(ui::TMessage& m) override;
  void CommandNotify(WORD code) override;

 private:
  void KeyDown(ui::TMessage& m);
  TStringEditLink* link_;
};

class TStringEditLink : public ILTEditLink {
 public:
  TStringEditLink();
  ~TStringEditLink() override;
  bool BeginEdit() override;
  bool CancelEdit() override;
  bool EndEdit() override;
  bool PrepareEdit(TBaseLazyTree& tree, PLazyNode node, TColumnIndex column) override;
  RECT GetBounds() override;
  void ProcessMessage(ui::TMessage& m) override;
  void SetBounds(RECT r) override;

  TLTEdit* Edit() const { return edit_; }
  TCustomLazyStringTree* Tree() const { return tree_; }
  PLazyNode Node() const { return node_; }
  TColumnIndex Column() const { return column_; }
  TLTAlignment Alignment() const { return alignment_; }
  bool Stopping() const { return stopping_; }

 private:
  friend class TLTEdit;
  // Owned by the tree (a component of it), freed after the link lets it go.
  TLTEdit* edit_ = nullptr;
  TCustomLazyStringTree* tree_ = nullptr;
  std::weak_ptr<const bool> alive_;  // the tree's
  ui::FontObject font_;
  PLazyNode node_ = nullptr;
  TColumnIndex column_ = kNoColumn;
  TLTAlignment alignment_ = TLTAlignment::taLeftJustify;
  RECT textBounds_{};
  bool stopping_ = false;
};

}  // namespace kv
