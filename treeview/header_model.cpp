#include "treeview/header_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/scope_guard.h"

namespace kv {

namespace {

// A running sum of column widths as an edge: at most kMaxColumnsExtent, so
// an edge plus a width never overflows (thousands of the widest columns
// share the last edge instead).
int ColumnEdge(std::int64_t sum) {
  return static_cast<int>(std::clamp<std::int64_t>(sum, -kMaxColumnsExtent, kMaxColumnsExtent));
}

// Counts shared positions, widths and the position array among the change
// notifications; kept out of loading.
struct UpdateScope {
  explicit UpdateScope(int& count) : count_(count) { ++count_; }
  ~UpdateScope() { --count_; }
  int& count_;
};

}  // namespace

// ------------------------------------------------------------------ column --

TLazyTreeColumn::TLazyTreeColumn(TLazyTreeColumns& owner) : owner_(owner) {
  position_ = owner.Count();
}

int TLazyTreeColumn::Index() const {
  const auto& items = owner_.items_;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].get() == this) return static_cast<int>(i);
  return -1;
}

void TLazyTreeColumn::SetIndex(int index) {
  const int old = Index();
  index = std::clamp(index, 0, owner_.Count() - 1);
  if (old < 0 || old == index) return;
  owner_.InitializePositionArray();
  owner_.IndexChanged(old, index);
  auto& items = owner_.items_;
  std::unique_ptr<TLazyTreeColumn> self = std::move(items[static_cast<std::size_t>(old)]);
  items.erase(items.begin() + old);
  items.insert(items.begin() + index, std::move(self));
  owner_.Update(nullptr);
}

void TLazyTreeColumn::Changed(bool all) { owner_.Update(all ? nullptr : this); }

void TLazyTreeColumn::SetText(const std::wstring& text) {
  if (text == text_) return;
  text_ = text;
  Changed(false);
}

void TLazyTreeColumn::SetWidth(int width) {
  width = std::clamp(width, minWidth_, maxWidth_);
  if (width == width_) return;
  TLTHeaderModel& header = owner_.Header();
  // The auto-size column takes its width from the rest of the header only.
  const int index = Index();
  const bool autoSizeColumn = header.HasOption(hoAutoResize) && !header.Loading() &&
                              index == (owner_.IsValidColumn(header.AutoSizeIndex())
                                            ? header.AutoSizeIndex() : owner_.Count() - 1);
  if (autoSizeColumn) return;
  previousWidth_ = width_;
  width_ = width;
  owner_.UpdatePositions();
  if (!header.Loading() && owner_.updateCount_ == 0) {
    if (header.HasOption(hoAutoResize)) owner_.AdjustAutoSize(index);
    header.DoColumnResize(index);
  }
}

void TLazyTreeColumn::SetPosition(int position) {
  TLTHeaderModel& header = owner_.Header();
  if (header.Loading()) {
    // Fixed once loading has ended (FixPositions).
    position_ = position;
    owner_.needPositionsFix_ = true;
    return;
  }
  position = std::clamp(position, 0, owner_.Count() - 1);
  if (position == position_) return;
  owner_.InitializePositionArray();
  header.EndEditing();
  owner_.AdjustPosition(*this, position);
  owner_.UpdatePositions();
  header.InvalidateHeader(-1);
  header.InvalidateTree();
}

void TLazyTreeColumn::SetMinWidth(int width) {
  minWidth_ = std::clamp(width, 0, maxWidth_);
  SetWidth(width_);
}

void TLazyTreeColumn::SetMaxWidth(int width) {
  maxWidth_ = std::clamp(width, minWidth_, kMaxColumnWidth);
  SetWidth(width_);
}

void TLazyTreeColumn::SetStyle(TLazyTreeColumnStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed(false);
}

void TLazyTreeColumn::SetImageIndex(int index) {
  if (index == imageIndex_) return;
  imageIndex_ = index;
  Changed(false);
}

void TLazyTreeColumn::SetBiDiMode(TLTBidiMode mode) {
  options_ = static_cast<TLTColumnOptions>(options_ & ~coParentBidiMode);
  if (mode == bidiMode_) return;
  bidiMode_ = mode;
  Changed(false);
}

void TLazyTreeColumn::SetLayout(TLTHeaderColumnLayout layout) {
  if (layout == layout_) return;
  layout_ = layout;
  Changed(false);
}

void TLazyTreeColumn::SetMargin(int margin) {
  if (margin < 0) margin = 4;
  if (margin == margin_) return;
  margin_ = margin;
  Changed(false);
}

void TLazyTreeColumn::SetSpacing(int spacing) {
  if (spacing == spacing_) return;
  spacing_ = spacing;
  Changed(false);
}

void TLazyTreeColumn::SetAlignment(TLTAlignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  Changed(false);
  owner_.Header().InvalidateTree();
}

void TLazyTreeColumn::SetColor(std::uint32_t color) {
  options_ = static_cast<TLTColumnOptions>(options_ & ~coParentColor);
  if (color == color_) return;
  color_ = color;
  owner_.Header().InvalidateTree();
}

void TLazyTreeColumn::SetOptions(TLTColumnOptions options) {
  const TLTColumnOptions changed = options_ ^ options;
  if (changed == 0) return;
  options_ = options;
  if ((changed & coAutoSpring) && (options & coAutoSpring)) springRest_ = 0;
  if ((changed & coParentBidiMode) && (options & coParentBidiMode)) ParentBiDiModeChanged();
  if ((changed & coParentColor) && (options & coParentColor)) ParentColorChanged();
  Changed(false);
  if (changed & (coVisible | coParentColor)) owner_.Header().ColumnOptionsChanged(*this, changed);
}

void TLazyTreeColumn::ParentBiDiModeChanged() {
  if (!(options_ & coParentBidiMode)) return;
  const TLTBidiMode mode = owner_.Header().TreeBiDiMode();
  if (mode == bidiMode_) return;
  bidiMode_ = mode;
  Changed(false);
}

void TLazyTreeColumn::ParentColorChanged() {
  if (!(options_ & coParentColor)) return;
  color_ = owner_.Header().TreeColor();
}

void TLazyTreeColumns::ParentColorChanged() {
  for (auto& column : items_) column->ParentColorChanged();
}

std::wstring TLazyTreeColumn::GetDisplayName() const {
  const bool plain = std::all_of(text_.begin(), text_.end(), [](wchar_t c) { return c <= 255; });
  if (plain) return text_;
  return L"Column " + std::to_wstring(Index());
}

void TLazyTreeColumn::GetAbsoluteBounds(int& left, int& right) const {
  left = left_;
  right = left_ + width_;
}

void TLazyTreeColumn::Assign(const TLazyTreeColumn& source) {
  // The options last: they decide what the other values do.
  const TLTColumnOptions options = source.options_;
  options_ = 0;
  text_ = source.text_;
  hint_ = source.hint_;
  minWidth_ = source.minWidth_;
  maxWidth_ = source.maxWidth_;
  width_ = std::clamp(source.width_, minWidth_, maxWidth_);
  previousWidth_ = source.previousWidth_;
  position_ = source.position_;
  style_ = source.style_;
  imageIndex_ = source.imageIndex_;
  bidiMode_ = source.bidiMode_;
  layout_ = source.layout_;
  margin_ = source.margin_;
  spacing_ = source.spacing_;
  tag_ = source.tag_;
  alignment_ = source.alignment_;
  color_ = source.color_;
  options_ = options;
  Changed(true);
}

bool TLazyTreeColumn::Equals(const TLazyTreeColumn& o) const {
  return text_ == o.text_ && hint_ == o.hint_ && width_ == o.width_ && minWidth_ == o.minWidth_ &&
         maxWidth_ == o.maxWidth_ && position_ == o.position_ && style_ == o.style_ &&
         imageIndex_ == o.imageIndex_ && bidiMode_ == o.bidiMode_ && layout_ == o.layout_ &&
         margin_ == o.margin_ && spacing_ == o.spacing_ && options_ == o.options_ && tag_ == o.tag_ &&
         alignment_ == o.alignment_ && color_ == o.color_;
}

// ------------------------------------------------------------- collection --

TLazyTreeColumn& TLazyTreeColumns::Add() {
  std::unique_ptr<TLazyTreeColumn> column = header_.CreateColumn(*this);
  column->position_ = Count();
  column->ParentBiDiModeChanged();
  column->ParentColorChanged();
  items_.push_back(std::move(column));
  Update(nullptr);
  return *items_.back();
}

void TLazyTreeColumns::Clear() {
  hoverIndex_ = downIndex_ = trackIndex_ = clickIndex_ = -1;
  dragIndex_ = dropTarget_ = -1;
  if (!(header_.states_ & hstLoading)) {
    header_.autoSizeIndex_ = -1;
    header_.mainColumn_ = -1;
    header_.sortColumn_ = -1;
  }
  items_.clear();
  positions_.clear();
  Update(nullptr);
  // The tree's focused column named a column that is gone.
  if (!header_.Loading()) header_.MainColumnChanged();
}

void TLazyTreeColumns::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  InitializePositionArray();
  IndexChanged(index, -1);
  items_.erase(items_.begin() + index);
  auto follow = [index](TColumnIndex& stored) {
    if (stored == index) stored = -1;
    else if (stored > index) --stored;
  };
  follow(hoverIndex_);
  follow(downIndex_);
  follow(trackIndex_);
  follow(clickIndex_);
  follow(dragIndex_);
  follow(dropTarget_);
  follow(header_.autoSizeIndex_);
  follow(header_.sortColumn_);
  if (header_.mainColumn_ == index) {
    // The lowest other index takes over.
    header_.mainColumn_ = Count() > 0 ? 0 : -1;
    header_.MainColumnChanged();
  } else if (header_.mainColumn_ > index) {
    --header_.mainColumn_;
  }
  Update(nullptr);
}

void TLazyTreeColumns::Assign(const TLazyTreeColumns& source) {
  {
    UpdateScope scope(updateCount_);
    items_.clear();
    positions_.clear();
    for (const auto& column : source.items_) {
      std::unique_ptr<TLazyTreeColumn> copy = header_.CreateColumn(*this);
      items_.push_back(std::move(copy));
      items_.back()->Assign(*column);
    }
  }
  FixPositions();
  Update(nullptr);
}

bool TLazyTreeColumns::Equals(const TLazyTreeColumns& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (!items_[static_cast<std::size_t>(i)]->Equals(*other.items_[static_cast<std::size_t>(i)])) return false;
  return true;
}

void TLazyTreeColumns::Update(TLazyTreeColumn* column) {
  if (updateCount_ > 0) return;
  InitializePositionArray();
  if (header_.Loading()) {
    needPositionsFix_ = true;
  } else {
    UpdatePositions();
  }
  header_.UpdateMainColumn();
  if (header_.Loading()) return;
  if (header_.HasOption(hoAutoResize)) AdjustAutoSize(kInvalidColumn);
  if (column != nullptr) {
    header_.InvalidateHeader(column->Index());
  } else {
    header_.InvalidateHeader(-1);
    header_.UpdateHorizontalScrollBar();
    header_.InvalidateTree();
  }
}

void TLazyTreeColumns::InitializePositionArray() {
  const int count = Count();
  if (static_cast<int>(positions_.size()) == count) return;
  // Entries of columns that went are dropped, new columns come last; what
  // stays is always a permutation of the indices.
  std::vector<bool> used(static_cast<std::size_t>(count), false);
  std::vector<TColumnIndex> order;
  for (TColumnIndex entry : positions_)
    if (entry >= 0 && entry < count && !used[static_cast<std::size_t>(entry)]) {
      order.push_back(entry);
      used[static_cast<std::size_t>(entry)] = true;
    }
  for (int i = 0; i < count; ++i)
    if (!used[static_cast<std::size_t>(i)]) order.push_back(i);
  positions_ = std::move(order);
}

void TLazyTreeColumns::UpdatePositions(bool force) {
  if (!force && (updateCount_ > 0 || header_.Loading())) return;
  InitializePositionArray();
  std::int64_t running = 0;
  for (std::size_t place = 0; place < positions_.size(); ++place) {
    TLazyTreeColumn& column = *items_[static_cast<std::size_t>(positions_[place])];
    column.position_ = static_cast<int>(place);
    column.left_ = ColumnEdge(running);
    if (column.HasOption(coVisible)) running += column.width_;
  }
}

void TLazyTreeColumns::IndexChanged(int oldIndex, int newIndex) {
  if (newIndex < 0) {
    // A deleted column: its entry goes, the entries behind it close up.
    positions_.erase(std::remove(positions_.begin(), positions_.end(), oldIndex), positions_.end());
    for (auto& entry : positions_)
      if (entry > oldIndex) --entry;
    return;
  }
  for (auto& entry : positions_) {
    if (entry == oldIndex) {
      entry = newIndex;
    } else if (oldIndex < newIndex && entry > oldIndex && entry <= newIndex) {
      --entry;
    } else if (oldIndex > newIndex && entry >= newIndex && entry < oldIndex) {
      ++entry;
    }
  }
}

void TLazyTreeColumns::AdjustPosition(TLazyTreeColumn& column, int position) {
  const TColumnIndex index = column.Index();
  auto at = std::find(positions_.begin(), positions_.end(), index);
  if (at == positions_.end()) return;
  positions_.erase(at);
  position = std::clamp(position, 0, static_cast<int>(positions_.size()));
  positions_.insert(positions_.begin() + position, index);
}

void TLazyTreeColumns::FixPositions() {
  // Each column's stored position decides; ties keep the index order.
  std::vector<TColumnIndex> order(static_cast<std::size_t>(Count()));
  for (int i = 0; i < Count(); ++i) order[static_cast<std::size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [this](TColumnIndex a, TColumnIndex b) {
    return Items(a).position_ < Items(b).position_;
  });
  positions_ = order;
  needPositionsFix_ = false;
  UpdatePositions(true);
}

TColumnIndex TLazyTreeColumns::ColumnFromPosition(int positionIndex) const {
  if (positionIndex < 0 || positionIndex >= static_cast<int>(positions_.size())) return -1;
  return positions_[static_cast<std::size_t>(positionIndex)];
}

TColumnIndex TLazyTreeColumns::GetColumnAndBounds(THeaderPoint p, int& left, int& right,
                                                   bool relative) const {
  if (p.X < 0 || p.Y < 0 || p.Y > header_.TreeHeight()) return kInvalidColumn;
  std::int64_t edge = relative ? header_.HorizontalOffset() : 0;
  for (TColumnIndex index : positions_) {
    const TLazyTreeColumn& column = Items(index);
    if (!column.HasOption(coVisible)) continue;
    const std::int64_t next = edge + column.width_;
    if (next > p.X) {
      left = ColumnEdge(edge);
      right = left + column.width_;
      return index;
    }
    edge = next;
  }
  return kInvalidColumn;
}

TColumnIndex TLazyTreeColumns::ColumnFromPosition(THeaderPoint p, bool relative) const {
  int left = 0, right = 0;
  return GetColumnAndBounds(p, left, right, relative);
}

void TLazyTreeColumns::GetColumnBounds(TColumnIndex column, int& left, int& right) const {
  if (!IsValidColumn(column)) column = GetLastVisibleColumn();
  if (!IsValidColumn(column)) {
    left = right = 0;
    return;
  }
  Items(column).GetAbsoluteBounds(left, right);
}

bool TLazyTreeColumns::IsValidColumn(TColumnIndex column) const { return column >= 0 && column < Count(); }

TColumnIndex TLazyTreeColumns::GetFirstVisibleColumn() const {
  for (TColumnIndex index : positions_)
    if (Items(index).HasOption(coVisible)) return index;
  return kInvalidColumn;
}

TColumnIndex TLazyTreeColumns::GetLastVisibleColumn() const {
  for (auto it = positions_.rbegin(); it != positions_.rend(); ++it)
    if (Items(*it).HasOption(coVisible)) return *it;
  return kInvalidColumn;
}

TColumnIndex TLazyTreeColumns::GetNextColumn(TColumnIndex column) const {
  if (!IsValidColumn(column)) return kInvalidColumn;
  const int place = Items(column).position_ + 1;
  return place < static_cast<int>(positions_.size()) ? positions_[static_cast<std::size_t>(place)]
                                                     : kInvalidColumn;
}

TColumnIndex TLazyTreeColumns::GetPreviousColumn(TColumnIndex column) const {
  if (!IsValidColumn(column)) return kInvalidColumn;
  const int place = Items(column).position_ - 1;
  return place >= 0 && place < static_cast<int>(positions_.size()) ? positions_[static_cast<std::size_t>(place)]
                                                                   : kInvalidColumn;
}

TColumnIndex TLazyTreeColumns::GetNextVisibleColumn(TColumnIndex column) const {
  do {
    column = GetNextColumn(column);
  } while (column != kInvalidColumn && !Items(column).HasOption(coVisible));
  return column;
}

TColumnIndex TLazyTreeColumns::GetPreviousVisibleColumn(TColumnIndex column) const {
  do {
    column = GetPreviousColumn(column);
  } while (column != kInvalidColumn && !Items(column).HasOption(coVisible));
  return column;
}

std::vector<TColumnIndex> TLazyTreeColumns::GetVisibleColumns() const {
  std::vector<TColumnIndex> visible;
  for (TColumnIndex index : positions_)
    if (Items(index).HasOption(coVisible)) visible.push_back(index);
  return visible;
}

int TLazyTreeColumns::TotalWidth() const {
  const TColumnIndex last = GetLastVisibleColumn();
  if (last == kInvalidColumn) return 0;
  return Items(last).left_ + Items(last).width_;
}

void TLazyTreeColumns::AdjustAutoSize(TColumnIndex currentIndex, bool force) {
  if (Count() == 0) return;
  TColumnIndex target = IsValidColumn(header_.autoSizeIndex_) ? header_.autoSizeIndex_ : Count() - 1;
  if (IsValidColumn(currentIndex) && Items(currentIndex).position_ >= Items(target).position_)
    target = GetNextVisibleColumn(currentIndex);
  if (!IsValidColumn(target)) return;
  std::int64_t others = 0;
  for (int i = 0; i < Count(); ++i)
    if (i != target && Items(i).HasOption(coVisible)) others += Items(i).width_;
  TLazyTreeColumn& column = Items(target);
  const int width = static_cast<int>(std::clamp<std::int64_t>(header_.AvailableWidth() - others,
                                                              column.minWidth_, column.maxWidth_));
  if (width == column.width_ && !force) return;
  column.width_ = width;
  UpdatePositions();
  header_.DoColumnResize(target);
}

// ---------------------------------------------------------------- header --

TLTHeaderModel::TLTHeaderModel() : columns_(std::make_unique<TLazyTreeColumns>(*this)) {}

TLTHeaderModel::~TLTHeaderModel() = default;

std::unique_ptr<TLazyTreeColumn> TLTHeaderModel::CreateColumn(TLazyTreeColumns& owner) {
  return std::make_unique<TLazyTreeColumn>(owner);
}

void TLTHeaderModel::ReadColumns(int count, const std::function<void(TLazyTreeColumn&)>& fill) {
  const bool wasLoading = (states_ & hstLoading) != 0;
  EnterState(hstLoading);
  ScopeGuard restore([&] {
    if (!wasLoading) LeaveState(hstLoading);
  });
  columns_->Clear();
  for (int i = 0; i < count; ++i) fill(columns_->Add());
}

void TLTHeaderModel::Loaded() {
  // Positions read one by one may have gaps and ties (a stream brings its
  // whole position array instead).
  if (columns_->needPositionsFix_) {
    columns_->FixPositions();
  } else {
    columns_->InitializePositionArray();
    columns_->UpdatePositions(true);
  }
  const int count = columns_->Count();
  mainColumn_ = count == 0 ? -1 : std::clamp(mainColumn_, 0, count - 1);
  sortColumn_ = std::clamp(sortColumn_, -1, count - 1);
  RecalculateHeader();
  if (HasOption(hoAutoResize)) columns_->AdjustAutoSize(kInvalidColumn, true);
  MainColumnChanged();
  UpdateHorizontalScrollBar();
  InvalidateHeader(-1);
  InvalidateTree();
}

void TLTHeaderModel::SetHeight(int height) {
  height = std::max(height, 0);
  if (height == height_) return;
  height_ = height;
  if (!Loading()) RecalculateHeader();
  InvalidateHeader(-1);
}

void TLTHeaderModel::SetOptions(TLTHeaderOptions options) {
  const TLTHeaderOptions changed = options_ ^ options;
  if (changed == 0) return;
  options_ = options;
  if (Loading()) return;
  if (changed & hoAutoResize) {
    // Switched off too: the auto-size column fits the rest once more and
    // keeps that width from then on.
    columns_->AdjustAutoSize(kInvalidColumn, true);
    UpdateHorizontalScrollBar();
  }
  if (changed & hoVisible) RecalculateHeader();
  InvalidateHeader(-1);
  InvalidateTree();
}

void TLTHeaderModel::SetStyle(TLTHeaderStyle style) {
  if (style == style_) return;
  style_ = style;
  InvalidateHeader(-1);
}

void TLTHeaderModel::SetBackground(std::uint32_t color) {
  if (color == background_) return;
  background_ = color;
  InvalidateHeader(-1);
}

void TLTHeaderModel::SetAutoSizeIndex(TColumnIndex index) {
  if (index == autoSizeIndex_) return;
  autoSizeIndex_ = index;
  if (!Loading() && HasOption(hoAutoResize)) columns_->AdjustAutoSize(kInvalidColumn, true);
}

void TLTHeaderModel::UpdateMainColumn() {
  if (columns_->Count() == 0 || mainColumn_ >= 0) return;
  mainColumn_ = 0;
  if (!Loading()) MainColumnChanged();
}

void TLTHeaderModel::SetMainColumn(TColumnIndex column) {
  if (!Loading()) {
    column = columns_->Count() == 0 ? -1 : std::clamp(column, 0, columns_->Count() - 1);
  }
  if (column == mainColumn_) return;
  mainColumn_ = column;
  if (!Loading()) {
    MainColumnChanged();
    InvalidateTree();
  }
}

void TLTHeaderModel::SetSortColumn(TColumnIndex column) {
  if (!Loading()) column = std::clamp(column, -1, columns_->Count() - 1);
  if (column == sortColumn_) return;
  const TColumnIndex old = sortColumn_;
  sortColumn_ = column;
  if (Loading()) return;
  if (old >= 0) InvalidateHeader(old);
  if (column >= 0) InvalidateHeader(column);
  SortChanged();
}

void TLTHeaderModel::SetSortDirection(TSortDirection direction) {
  if (direction == sortDirection_) return;
  sortDirection_ = direction;
  if (Loading()) return;
  if (sortColumn_ >= 0) InvalidateHeader(sortColumn_);
  SortChanged();
}

void TLTHeaderModel::SetFont(const THeaderFont& font) {
  font_ = font;
  parentFont_ = false;
  InvalidateHeader(-1);
}

void TLTHeaderModel::SetParentFont(bool value) {
  if (value == parentFont_) return;
  parentFont_ = value;
  if (parentFont_) TreeFont(font_);
  InvalidateHeader(-1);
}

void TLTHeaderModel::ParentFontChanged() {
  if (parentFont_ && TreeFont(font_)) InvalidateHeader(-1);
}

void TLTHeaderModel::Assign(const TLTHeaderModel& source) {
  autoSizeIndex_ = source.autoSizeIndex_;
  background_ = source.background_;
  columns_->Assign(*source.columns_);
  font_ = source.font_;
  parentFont_ = source.parentFont_;
  mainColumn_ = source.mainColumn_;
  sortColumn_ = source.sortColumn_;
  sortDirection_ = source.sortDirection_;
  style_ = source.style_;
  SetHeight(source.height_);
  SetOptions(source.options_);
  RecalculateHeader();
  InvalidateHeader(-1);
  InvalidateTree();
}

bool TLTHeaderModel::DetermineSplitterIndex(THeaderPoint p) {
  TLazyTreeColumns& columns = *columns_;
  std::int64_t edge = std::int64_t{HorizontalOffset()} + columns.TotalWidth();
  for (auto it = columns.positions_.rbegin(); it != columns.positions_.rend(); ++it) {
    const TLazyTreeColumn& column = columns.Items(*it);
    if (!column.HasOption(coVisible)) continue;
    if (p.X > edge - 3 && p.X < edge + 5) {
      if (!column.HasOption(coResizable)) return false;
      columns.trackIndex_ = *it;
      trackLeft_ = ColumnEdge(edge - column.width_);
      return true;
    }
    edge -= column.width_;
  }
  return false;
}

// Runs on every size change: the width is recorded even while springing is
// off, so switching it on later shares only the changes made after that.
void TLTHeaderModel::UpdateSpringColumns() {
  const int current = HeaderWidth();
  const int difference = current - lastSpringWidth_;
  if (HasOption(hoAutoSpring) && springWidthKnown_ && difference != 0) {
    const int sign = difference < 0 ? -1 : 1;
    float left = static_cast<float>(std::abs(difference));
    int springs = 0;
    for (const auto& column : columns_->items_)
      if (column->HasOption(coAutoSpring)) ++springs;
    if (springs > 0) {
      const float share = left / static_cast<float>(springs);
      for (const auto& column : columns_->items_) {
        if (!column->HasOption(coAutoSpring)) continue;
        const float sum = column->springRest_ + share;
        const float whole = std::floor(sum);
        if (whole >= 1.0f) column->SetWidth(column->width_ + static_cast<int>(whole) * sign);
        column->springRest_ = sum - whole;
        left -= share;
        if (left < 0) break;
      }
    }
  }
  lastSpringWidth_ = current;
  springWidthKnown_ = true;
}

// ------------------------------------------------------------ button layout --

bool ComputeHeaderLayout(const THeaderLayoutInput& in, THeaderLayout& out) {
  out = THeaderLayout{};
  const int w = in.Button.Width, h = in.Button.Height;
  const THeaderSize g = in.Image, s = in.SortGlyph;
  THeaderSize t = in.Caption;
  const bool caption = t.Width > 0 || t.Height > 0;
  const bool image = g.Width > 0 || g.Height > 0;
  const bool sort = s.Width > 0 || s.Height > 0;
  if (!caption && !image && !sort) return false;
  if (caption) t.Width += 2;
  const int ts = caption ? in.Spacing : 0;
  const int m = in.Margin, sp = in.Spacing;
  const bool reversed = in.Reversed;
  TLTAlignment alignment = in.Alignment;
  if (reversed && alignment != TLTAlignment::taCenter)
    alignment = alignment == TLTAlignment::taLeftJustify ? TLTAlignment::taRightJustify
                                                          : TLTAlignment::taLeftJustify;
  const bool side = in.Layout == TLTHeaderColumnLayout::blGlyphLeft ||
                    in.Layout == TLTHeaderColumnLayout::blGlyphRight || !image;
  const bool imageLeft = in.Layout != TLTHeaderColumnLayout::blGlyphRight;
  THeaderPoint ip, sp0;
  int textX = 0, textY = 0;

  // 1. Vertical.
  sp0.Y = (h - s.Height) / 2;
  if (side) {
    ip.Y = (h - g.Height) / 2;
    textY = (h - t.Height) / 2;
  } else if (in.Layout == TLTHeaderColumnLayout::blGlyphTop) {
    ip.Y = (h - g.Height - t.Height - ts) / 2;
    textY = ip.Y + g.Height + ts;
  } else {
    textY = (h - g.Height - t.Height - ts) / 2;
    ip.Y = textY + t.Height + ts;
  }

  if (!caption && !image) {
    // 2. A sort glyph alone is centred.
    sp0.X = (w - s.Width) / 2;
  } else if (alignment == TLTAlignment::taLeftJustify) {
    // 3.
    int x = m;
    if (reversed && sort) {
      sp0.X = x;
      x += s.Width + sp;
    }
    if (side) {
      if (image && imageLeft) {
        ip.X = x;
        x += g.Width + sp;
      }
      textX = x;
      x += t.Width + ts;
      if (image && !imageLeft) {
        ip.X = x;
        x += g.Width + sp;
      }
    } else {
      textX = x;
      ip.X = std::max(x, (w - g.Width) / 2);
      x = std::max(textX + t.Width + ts, ip.X + g.Width + sp);
    }
    if (!reversed && sort) sp0.X = x;
  } else if (alignment == TLTAlignment::taCenter) {
    // 4.
    int leftmost = 0, rightmost = 0;
    if (side) {
      // The group is centred with the caption's gap in it, image or not.
      int x = (w - g.Width - ts - t.Width) / 2;
      leftmost = x;
      if (image && imageLeft) {
        ip.X = x;
        x += g.Width + ts;
      }
      textX = x;
      x += t.Width;
      if (image && !imageLeft) {
        x += ts;
        ip.X = x;
        x += g.Width;
      }
      rightmost = x;
    } else {
      ip.X = (w - g.Width) / 2;
      textX = (w - t.Width) / 2;
      if (sort) textX -= s.Width / 2;
      leftmost = std::min(ip.X, textX);
      rightmost = std::max(ip.X + g.Width, textX + t.Width);
    }
    if (sort) sp0.X = reversed ? leftmost - sp - s.Width : rightmost + sp;
  } else {
    // 5. Right alignment runs leftwards.
    int x = w - m;
    if (!reversed && sort) {
      sp0.X = x - s.Width;
      x = sp0.X - sp;
    }
    if (side) {
      if (image && !imageLeft) {
        ip.X = x - g.Width;
        x = ip.X - sp;
      }
      textX = x - t.Width;
      x = textX - ts;
      if (image && imageLeft) {
        ip.X = x - g.Width;
        x = ip.X - sp;
      }
    } else {
      textX = x - t.Width;
      ip.X = std::min((w - g.Width) / 2, x - sp - g.Width);
      x = std::min(textX, ip.X) - sp;
    }
    if (reversed && sort) sp0.X = x - s.Width;
  }

  // 6. Clamping.
  int rightLimit = w - m, leftLimit = m;
  if (sort && !reversed) {
    if (sp0.X + s.Width > rightLimit) sp0.X = rightLimit - s.Width;
    sp0.X = std::max(sp0.X, leftLimit);
    rightLimit = sp0.X - sp;
  } else if (sort) {
    sp0.X = std::max(sp0.X, leftLimit);
    leftLimit = sp0.X + s.Width + sp;
  }
  if (image) {
    if (ip.X + g.Width > rightLimit) ip.X = rightLimit - g.Width;
    ip.X = std::max(ip.X, leftLimit);
    if (side && !imageLeft) rightLimit = ip.X - sp;
    else if (side) leftLimit = ip.X + g.Width + sp;
  }
  textX = std::max(textX, leftLimit);
  out.Image = ip;
  out.SortGlyph = sp0;
  out.Text = THeaderRect{textX, textY, std::min(textX + t.Width, rightLimit), textY + t.Height};
  return true;
}

}  // namespace kv
