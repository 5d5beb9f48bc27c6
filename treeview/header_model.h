#pragma once
// The tree's header without a window: the column collection (captions,
// widths with limits, display order, options), the header's settings, the
// arithmetic of positions, hit tests, splitters, auto-size and spring
// columns, the button layout, and the header's binary stream. The window
// half (TLTHeader, header_win.h) paints, handles the mouse and answers the
// hooks below from the tree.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "treeview/lazy_node.h"
#include "treeview/node_stream.h"

namespace kv {

// Stored as 0, 1, 2 in the header stream.
enum class TLTAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
// The widest a column may be: far wider than any screen, small enough that
// the column edges (sums of widths, kept at most kMaxColumnsExtent by
// UpdatePositions) plus a width and a scroll offset stay inside int.
inline constexpr int kMaxColumnWidth = 1000000;
inline constexpr int kMaxColumnsExtent = 1 << 29;

// value * m / d, the half way case to the even neighbour (form scaling of
// heights and font sizes); m and d positive.
inline std::int64_t ScaleHalfEven(std::int64_t value, std::int64_t m, std::int64_t d) {
  const std::int64_t product = value * m;
  std::int64_t scaled = product / d, rest = product % d;
  if (rest < 0) { rest += d; --scaled; }  // floor division for negative font heights
  if (2 * rest > d || (2 * rest == d && scaled % 2 != 0)) ++scaled;
  return scaled;
}

enum class TLTBidiMode : std::uint8_t { bdLeftToRight, bdRightToLeft };
enum class TLazyTreeColumnStyle : std::uint8_t { vsText, vsOwnerDraw };
enum class TLTHeaderColumnLayout : std::uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum class TLTHeaderStyle : std::uint8_t { hsThickButtons, hsFlatButtons, hsPlates, hsXPStyle };

// Column options (16 bits).
enum TLTColumnOption : std::uint16_t {
  coAllowClick = 1u << 0, coDraggable = 1u << 1, coEnabled = 1u << 2, coParentBidiMode = 1u << 3,
  coParentColor = 1u << 4, coResizable = 1u << 5, coShowDropMark = 1u << 6, coVisible = 1u << 7,
  coAutoSpring = 1u << 8,
};
using TLTColumnOptions = std::uint16_t;
inline constexpr TLTColumnOptions kDefaultColumnOptions = 0x00FF;

// Header options (16 bits).
enum TLTHeaderOption : std::uint16_t {
  hoAutoResize = 1u << 0, hoColumnResize = 1u << 1, hoDblClickResize = 1u << 2, hoDrag = 1u << 3,
  hoHotTrack = 1u << 4, hoOwnerDraw = 1u << 5, hoRestrictDrag = 1u << 6, hoShowHint = 1u << 7,
  hoShowImages = 1u << 8, hoShowSortGlyphs = 1u << 9, hoVisible = 1u << 10, hoAutoSpring = 1u << 11,
};
using TLTHeaderOptions = std::uint16_t;
inline constexpr TLTHeaderOptions kDefaultHeaderOptions = hoColumnResize | hoDrag;

// Header states (one byte).
enum TLTHeaderState : std::uint8_t {
  hstDragging = 1u << 1, hstDragPending = 1u << 2, hstLoading = 1u << 3, hstTracking = 1u << 4,
  hstTrackPending = 1u << 5,
};
inline constexpr std::uint8_t kHeaderBusyStates =
    hstDragging | hstDragPending | hstTracking | hstTrackPending;

// Colours as the GUI layer keeps them: RGB, or a system colour index with the top bit.
inline constexpr std::uint32_t kWindowColor = 0x80000000u | 5, kButtonFaceColor = 0x80000000u | 15,
                               kWindowTextColor = 0x80000000u | 8;

inline constexpr int kHeaderStreamVersion = 3;

// The header's font as the stream keeps it; style bits: 1 bold, 2 italic,
// 4 underline, 8 strike-out. Pitch: 0 default, 1 variable, 2 fixed.
struct THeaderFont {
  std::uint32_t Color = kWindowTextColor;
  std::int32_t Height = -11;
  std::string Name = "MS Shell Dlg 2";
  std::int32_t Pitch = 0;
  std::uint32_t Style = 0;
  bool operator==(const THeaderFont&) const = default;
};

struct THeaderPoint {
  int X = 0, Y = 0;
};
struct THeaderSize {
  int Width = 0, Height = 0;
};
struct THeaderRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const THeaderRect&) const = default;
};

class TLazyTreeColumns;
class TLTHeaderModel;
class TBaseLazyTree;

class TLazyTreeColumn {
 public:
  explicit TLazyTreeColumn(TLazyTreeColumns& owner);
  virtual ~TLazyTreeColumn() = default;
  TLazyTreeColumn(const TLazyTreeColumn&) = delete;
  TLazyTreeColumn& operator=(const TLazyTreeColumn&) = delete;

  TLazyTreeColumns& Owner() const { return owner_; }
  // Place in the collection.
  int Index() const;
  // Moves the column within the collection (display order stays).
  void SetIndex(int index);

  const std::wstring& Text() const { return text_; }
  void SetText(const std::wstring& text);
  const std::wstring& Hint() const { return hint_; }
  void SetHint(const std::wstring& hint) { hint_ = hint; }
  // Left edge relative to the first column (display order).
  int Left() const { return left_; }
  int Width() const { return width_; }
  void SetWidth(int width);
  int Position() const { return position_; }
  void SetPosition(int position);
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int width);
  int MaxWidth() const { return maxWidth_; }
  void SetMaxWidth(int width);
  TLazyTreeColumnStyle Style() const { return style_; }
  void SetStyle(TLazyTreeColumnStyle style);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);
  TLTBidiMode BiDiMode() const { return bidiMode_; }
  void SetBiDiMode(TLTBidiMode mode);
  TLTHeaderColumnLayout Layout() const { return layout_; }
  void SetLayout(TLTHeaderColumnLayout layout);
  int Margin() const { return margin_; }
  void SetMargin(int margin);
  int Spacing() const { return spacing_; }
  void SetSpacing(int spacing);
  TLTColumnOptions Options() const { return options_; }
  void SetOptions(TLTColumnOptions options);
  bool HasOption(TLTColumnOption option) const { return (options_ & option) != 0; }
  std::int32_t Tag() const { return tag_; }
  void SetTag(std::int32_t tag) { tag_ = tag; }
  TLTAlignment Alignment() const { return alignment_; }
  void SetAlignment(TLTAlignment alignment);
  std::uint32_t Color() const { return color_; }
  void SetColor(std::uint32_t color);
  // The width before the last change.
  int PreviousWidth() const { return previousWidth_; }
  float SpringRest() const { return springRest_; }

  void RestoreLastWidth() { SetWidth(previousWidth_); }
  bool UseRightToLeftReading() const { return bidiMode_ != TLTBidiMode::bdLeftToRight; }
  // The caption, or "Column <index>" when it holds characters above 255.
  std::wstring GetDisplayName() const;
  // Left and right edge in header coordinates (absolute, without scrolling).
  void GetAbsoluteBounds(int& left, int& right) const;
  void ParentBiDiModeChanged();
  void ParentColorChanged();
  virtual void Assign(const TLazyTreeColumn& source);
  virtual bool Equals(const TLazyTreeColumn& other) const;
  void LoadFromStream(TNodeStream& stream, int version);
  void SaveToStream(TNodeStream& stream) const;

 private:
  friend class TLazyTreeColumns;
  friend class TLTHeaderModel;
  void Changed(bool all);
  TLazyTreeColumns& owner_;
  std::wstring text_, hint_;
  int left_ = 0;
  int width_ = 50;
  int position_ = 0;
  int minWidth_ = 10, maxWidth_ = 10000;
  TLazyTreeColumnStyle style_ = TLazyTreeColumnStyle::vsText;
  int imageIndex_ = -1;
  TLTBidiMode bidiMode_ = TLTBidiMode::bdLeftToRight;
  TLTHeaderColumnLayout layout_ = TLTHeaderColumnLayout::blGlyphLeft;
  int margin_ = 4, spacing_ = 4;
  TLTColumnOptions options_ = kDefaultColumnOptions;
  std::int32_t tag_ = 0;
  TLTAlignment alignment_ = TLTAlignment::taLeftJustify;
  int previousWidth_ = 50;
  std::uint32_t color_ = kWindowColor;
  float springRest_ = 0;
};

class TLazyTreeColumns {
 public:
  explicit TLazyTreeColumns(TLTHeaderModel& header) : header_(header) {}
  TLazyTreeColumns(const TLazyTreeColumns&) = delete;
  TLazyTreeColumns& operator=(const TLazyTreeColumns&) = delete;

  TLTHeaderModel& Header() const { return header_; }
  TLazyTreeColumn& Add();
  int Count() const { return static_cast<int>(items_.size()); }
  TLazyTreeColumn& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
  TLazyTreeColumn& operator[](int index) const { return Items(index); }
  void Clear();
  void Delete(int index);
  void Assign(const TLazyTreeColumns& source);
  bool Equals(const TLazyTreeColumns& other) const;
  // After any change of `column` (null: a general change).
  void Update(TLazyTreeColumn* column);

  // The column under x (client coordinates when `relative`), or -2.
  TColumnIndex ColumnFromPosition(THeaderPoint p, bool relative = true) const;
  // The column at a display position, -1 beyond the end.
  TColumnIndex ColumnFromPosition(int positionIndex) const;
  TColumnIndex GetColumnAndBounds(THeaderPoint p, int& left, int& right, bool relative = true) const;
  void GetColumnBounds(TColumnIndex column, int& left, int& right) const;
  TColumnIndex GetFirstVisibleColumn() const;
  TColumnIndex GetLastVisibleColumn() const;
  TColumnIndex GetNextColumn(TColumnIndex column) const;
  TColumnIndex GetPreviousColumn(TColumnIndex column) const;
  TColumnIndex GetNextVisibleColumn(TColumnIndex column) const;
  TColumnIndex GetPreviousVisibleColumn(TColumnIndex column) const;
  std::vector<TColumnIndex> GetVisibleColumns() const;
  bool IsValidColumn(TColumnIndex column) const;
  // Right edge of the last visible column in display order (0 without one).
  int TotalWidth() const;
  // The tree's colour changed: columns with coParentColor take it.
  void ParentColorChanged();
  void AdjustAutoSize(TColumnIndex currentIndex, bool force = false);
  void UpdatePositions(bool force = false);
  void InitializePositionArray();
  void IndexChanged(int oldIndex, int newIndex);
  void AdjustPosition(TLazyTreeColumn& column, int position);
  void FixPositions();
  // Column indices in display order.
  const std::vector<TColumnIndex>& PositionArray() const { return positions_; }

  // Mouse state of the header (-1: none).
  TColumnIndex HoverIndex() const { return hoverIndex_; }
  TColumnIndex DownIndex() const { return downIndex_; }
  TColumnIndex TrackIndex() const { return trackIndex_; }
  TColumnIndex ClickIndex() const { return clickIndex_; }
  TColumnIndex DragIndex() const { return dragIndex_; }
  TColumnIndex DropTarget() const { return dropTarget_; }
  bool DropBefore() const { return dropBefore_; }

  void LoadFromStream(TNodeStream& stream, int version);
  void SaveToStream(TNodeStream& stream) const;

 private:
  friend class TLTHeaderModel;
  friend class TLTHeader;
  friend class TBaseLazyTree;
  friend class TLazyTreeColumn;
  TLTHeaderModel& header_;
  std::vector<std::unique_ptr<TLazyTreeColumn>> items_;
  std::vector<TColumnIndex> positions_;
  bool needPositionsFix_ = false;
  TColumnIndex hoverIndex_ = -1, downIndex_ = -1, trackIndex_ = -1, clickIndex_ = -1;
  TColumnIndex dragIndex_ = -1, dropTarget_ = -1;
  bool dropBefore_ = false;
  int updateCount_ = 0;
};

// Where ComputeHeaderLayout puts the image, the sort glyph and the caption
// inside a button (relative to the button's top-left corner).
struct THeaderLayout {
  THeaderPoint Image;
  THeaderPoint SortGlyph;
  THeaderRect Text;
};

struct THeaderLayoutInput {
  THeaderSize Button;        // the button's size
  THeaderSize Image;         // 0 when no image is drawn
  THeaderSize SortGlyph;     // 0 when no sort glyph is drawn
  THeaderSize Caption;       // the caption's extent (0 without caption)
  int Margin = 4, Spacing = 4;
  TLTAlignment Alignment = TLTAlignment::taLeftJustify;
  bool Reversed = false;     // right-to-left reading
  TLTHeaderColumnLayout Layout = TLTHeaderColumnLayout::blGlyphLeft;
};
// Places the three parts of a button; false when there is nothing to place.
bool ComputeHeaderLayout(const THeaderLayoutInput& in, THeaderLayout& out);

class TLTHeaderModel {
 public:
  TLTHeaderModel();
  virtual ~TLTHeaderModel();
  TLTHeaderModel(const TLTHeaderModel&) = delete;
  TLTHeaderModel& operator=(const TLTHeaderModel&) = delete;

  TLazyTreeColumns& Columns() { return *columns_; }
  const TLazyTreeColumns& Columns() const { return *columns_; }
  // Whether the tree has columns (at least one in the collection).
  bool UseColumns() const { return columns_->Count() > 0; }

  int Height() const { return height_; }
  void SetHeight(int height);
  TLTHeaderOptions Options() const { return options_; }
  void SetOptions(TLTHeaderOptions options);
  bool HasOption(TLTHeaderOption option) const { return (options_ & option) != 0; }
  std::uint8_t States() const { return states_; }
  TLTHeaderStyle Style() const { return style_; }
  void SetStyle(TLTHeaderStyle style);
  std::uint32_t Background() const { return background_; }
  void SetBackground(std::uint32_t color);
  TColumnIndex AutoSizeIndex() const { return autoSizeIndex_; }
  void SetAutoSizeIndex(TColumnIndex index);
  TColumnIndex MainColumn() const { return mainColumn_; }
  void SetMainColumn(TColumnIndex column);
  // With columns present a missing main column (negative) becomes the first;
  // outside loading the tree's main-column handling follows.
  void UpdateMainColumn();
  TColumnIndex SortColumn() const { return sortColumn_; }
  void SetSortColumn(TColumnIndex column);
  TSortDirection SortDirection() const { return sortDirection_; }
  void SetSortDirection(TSortDirection direction);
  const THeaderFont& Font() const { return font_; }
  void SetFont(const THeaderFont& font);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);
  // With ParentFont the tree's font is copied into Font.
  void ParentFontChanged();

  // Replaces the columns by `count` new ones while the header is loading
  // (settings stored beside the columns stay); `fill` sets each from the
  // owner's layout. Loaded() then puts them in their stored places.
  void ReadColumns(int count, const std::function<void(TLazyTreeColumn&)>& fill);
  // After the owner's layout has been read: stored positions take effect,
  // main and sort column are clamped, the header is laid out and auto-sized.
  void Loaded();

  // Whether the columns go into the header stream.
  virtual bool CanWriteColumns() const { return true; }
  void SaveToStream(TNodeStream& stream) const;
  // A stream that ends early or holds impossible counts raises
  // ENodeStreamError; the header keeps what was read before.
  void LoadFromStream(TNodeStream& stream);
  virtual void Assign(const TLTHeaderModel& source);

  // Whether x (client coordinates) lies on a column's splitter; a resizable
  // column there becomes the track column.
  bool DetermineSplitterIndex(THeaderPoint p);
  // With hoAutoSpring shares the change of the header's width since the last
  // call among the spring columns; records the width either way.
  void UpdateSpringColumns();
  // The left edge of the column being resized (client coordinates).
  int TrackLeft() const { return trackLeft_; }

  // -------------------------------------------------------- owner hooks --
  // A new column of the collection (descendants make their own kind).
  virtual std::unique_ptr<TLazyTreeColumn> CreateColumn(TLazyTreeColumns& owner);
  // The tree is being loaded from its layout.
  virtual bool OwnerLoading() const { return false; }
  // Width the auto-size column fills (the tree's client width).
  virtual int AvailableWidth() const { return 0; }
  // Width of the header strip, which the spring columns follow.
  virtual int HeaderWidth() const { return 0; }
  // The tree's horizontal scroll offset (0 or negative).
  virtual int HorizontalOffset() const { return 0; }
  // Height of the tree control (points below it hit no column).
  virtual int TreeHeight() const { return 0x7FFFFFFF; }
  virtual std::uint32_t TreeColor() const { return kWindowColor; }
  virtual TLTBidiMode TreeBiDiMode() const { return TLTBidiMode::bdLeftToRight; }
  // The tree's font, for ParentFont; false when there is no tree to take it from.
  virtual bool TreeFont(THeaderFont& /*font*/) const { return false; }
  // Repaints a column's button (-1: the whole header).
  virtual void InvalidateHeader(TColumnIndex /*column*/) {}
  virtual void InvalidateTree() {}
  virtual void UpdateHorizontalScrollBar() {}
  // The header's height or visibility changed: the window frame follows.
  virtual void RecalculateHeader() {}
  virtual void DoColumnResize(TColumnIndex /*column*/) {}
  virtual void MainColumnChanged() {}
  // Sort column or direction changed.
  virtual void SortChanged() {}
  // A column is about to move: an edit in progress ends first.
  virtual void EndEditing() {}
  // A column's option change that the tree reacts to (visibility, colour).
  virtual void ColumnOptionsChanged(TLazyTreeColumn& /*column*/, TLTColumnOptions /*changed*/) {}

 protected:
  void EnterState(std::uint8_t s) { states_ = static_cast<std::uint8_t>(states_ | s); }
  void LeaveState(std::uint8_t s) { states_ = static_cast<std::uint8_t>(states_ & ~s); }
  bool Loading() const { return (states_ & hstLoading) != 0 || OwnerLoading(); }
  int trackLeft_ = 0;

 private:
  friend class TLazyTreeColumn;
  friend class TLazyTreeColumns;
  std::unique_ptr<TLazyTreeColumns> columns_;
  int height_ = 17;
  TLTHeaderOptions options_ = kDefaultHeaderOptions;
  std::uint8_t states_ = 0;
  TLTHeaderStyle style_ = TLTHeaderStyle::hsThickButtons;
  std::uint32_t background_ = kButtonFaceColor;
  TColumnIndex autoSizeIndex_ = -1;
  TColumnIndex mainColumn_ = -1;
  TColumnIndex sortColumn_ = -1;
  TSortDirection sortDirection_ = TSortDirection::sdAscending;
  THeaderFont font_;
  bool parentFont_ = false;
  int lastSpringWidth_ = 0;
  bool springWidthKnown_ = false;
};

}  // namespace kv
