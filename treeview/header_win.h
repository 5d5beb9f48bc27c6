#pragma once
// The window half of the tree's header: it lives in the tree's non-client
// area above the client rectangle, paints its column buttons there in four
// styles and handles the non-client mouse messages the tree passes on
// (clicks, resizing on splitters, dragging columns to new places).

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <vector>

#include "treeview/header_model.h"
#include "treeview/shift_state.h"
#include "ui/control_win.h"
#include "ui/popup_menu.h"
#include "ui/toolbar_win.h"

namespace kv {

class TBaseLazyTree;
class TLTDragImage;

// Shift, Ctrl and Alt from the current key state.
TShiftState GetShiftState();

// The header's timer (hover and pressed look).
inline constexpr unsigned kHeaderTimer = 3;

// Parts of the header an owner may paint itself (hoOwnerDraw).
using THeaderPaintElements = unsigned;
inline constexpr THeaderPaintElements hpeBackground = 1, hpeDropMark = 2, hpeHeaderGlyph = 4, hpeSortGlyph = 8,
                                      hpeText = 16;

// What is being painted: a column's button, or the background (column -1).
struct THeaderPaintInfo {
  HDC TargetCanvas = nullptr;
  TColumnIndex Column = kNoColumn;
  RECT PaintRectangle{};
  bool IsHoverIndex = false, IsDownIndex = false;
  bool ShowHeaderGlyph = false, ShowSortGlyph = false;
};

class TLTHeader : public TLTHeaderModel {
 public:
  explicit TLTHeader(TBaseLazyTree& tree);
  ~TLTHeader() override;
  TBaseLazyTree& Tree() const { return tree_; }

  // The header's rectangle in window coordinates (empty while hidden).
  RECT HeaderRect() const;
  // The picture of the column being dragged (null when no column is dragged).
  const TLTDragImage* DragImage() const { return dragImage_.get(); }
  // Whether a client point lies in the header.
  bool InHeader(POINT p) const;
  // A column's button rectangle in window coordinates.
  RECT GetRect(TColumnIndex column) const;
  // Redraws a column's button, or the whole header for -1.
  void Invalidate(TColumnIndex column, bool expandToBorder = false);
  // Paints the header into `dc` (window coordinates of `r`), scrolled by `hOffset`.
  void PaintHeader(HDC dc, const RECT& r, int hOffset);
  // Handles a message of the tree's window meant for the header; true ends
  // the tree's own processing.
  bool HandleMessage(ui::TMessage& m);

  // Image list of the column images (the owner's). The header repaints when
  // it changes; the tree lets go of it when it is freed.
  ui::TImageList* Images() const { return images_; }
  void SetImages(ui::TImageList* list);

  // Shown on a right click in the header (the owner's; null: none; the tree
  // lets go of it when it is freed).
  ui::TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(ui::TPopupMenu* menu);
  // The model's values, and from another tree's header its image list and
  // menu too.
  void Assign(const TLTHeaderModel& source) override;

  // The hint over the header at a client point (hoShowHint): true when the
  // point is in the header, with the column's hint (empty: none) and the
  // header's area in client coordinates.
  bool HintAt(POINT p, std::wstring& text, RECT& area) const;

  // The font the captions are drawn in (the tree's with ParentFont).
  ui::TFontSpec CaptionFont() const;
  // Scales the header's own font by m/d (as the form scales its controls).
  void ChangeScale(int m, int d);

  // Every visible resizable column fits its widest visible content.
  void AutoFitColumns(bool animated);
  // Every visible resizable column gets its previous width back.
  void RestoreColumns();
  // Grows or shrinks a column in 32 steps, sliding what lies right of it.
  void AnimatedResize(TColumnIndex column, int newWidth);

  // The model's hooks, answered by the tree.
  bool OwnerLoading() const override;
  int AvailableWidth() const override;
  int HeaderWidth() const override;
  int HorizontalOffset() const override;
  int TreeHeight() const override;
  std::uint32_t TreeColor() const override;
  TLTBidiMode TreeBiDiMode() const override;
  bool TreeFont(THeaderFont& font) const override;
  void InvalidateHeader(TColumnIndex column) override { Invalidate(column); }
  void InvalidateTree() override;
  void UpdateHorizontalScrollBar() override;
  void RecalculateHeader() override;
  void DoColumnResize(TColumnIndex column) override;
  void MainColumnChanged() override;
  void SortChanged() override;
  void ColumnOptionsChanged(TLazyTreeColumn& column, TLTColumnOptions changed) override;
  void EndEditing() override;

 private:
  // A picture of the program's resources as pixels (magenta is transparent).
  struct TPicture {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
  };
  const TPicture& Picture(TPicture& slot, const char* name);
  void DrawPicture(HDC dc, const TPicture& picture, int srcX, int width, int x, int y);
  THeaderSize SortGlyphSize();
  void DrawSortGlyph(HDC dc, int x, int y, bool ascending);
  HCURSOR SplitCursor() const;
  // The strip the header takes in the frame (window coordinates), hidden or not.
  RECT StripRect() const;
  // Moves the dragged column's picture to a screen point; answers whether it moved.
  bool DragTo(POINT screen);
  // The dragged column's picture, shown at its place with `start` (where the
  // drag began) as hot spot; `p` is where the mouse is now. Client points.
  void PrepareDrag(POINT p, POINT start);
  // Header point (relative to the header's top-left corner) of a client point.
  POINT HeaderPoint(POINT client) const;
  // `owner`: the parts the owner paints instead (drawn after the rest).
  void DrawButton(HDC dc, TColumnIndex index, const RECT& r, bool pressed, bool hot,
                  THeaderPaintElements owner = 0);
  void DrawXPButton(HDC dc, const RECT& r, bool pressed, bool hot);
  void DrawButtonText(HDC dc, const std::wstring& caption, RECT bounds, bool enabled, bool hot,
                      const TLazyTreeColumn& column);
  void HandleClick(POINT client, bool dblClick, bool force, int button = 0);
  bool AdjustColumnIndex(TColumnIndex& slot, POINT client);
  bool HandleHeaderMouseMove(ui::TMessage& m);
  void EndDragOrTrack(bool cancel);
  void DropColumn(POINT screen);
  int MaxColumnWidth(TColumnIndex column) const;

  TBaseLazyTree& tree_;
  ui::TImageList* images_ = nullptr;
  ui::TChangeLink imagesLink_;
  ui::TPopupMenu* popupMenu_ = nullptr;
  POINT dragStart_{};
  std::unique_ptr<TLTDragImage> dragImage_;  // while a column is dragged
  TPicture sortUp_, sortDown_, hotPieces_;
};

}  // namespace kv
