// The tree's side of the header: the header in the window frame (its strip
// is taken from the client area and answered as border), the header
// dispatchers and the column facts the node model asks for.

#include <algorithm>

#include "treeview/base_lazy_tree_win.h"

namespace kv {

namespace {

int PointX(LPARAM l) { return static_cast<short>(LOWORD(l)); }
int PointY(LPARAM l) { return static_cast<short>(HIWORD(l)); }

constexpr unsigned kHintTimer = 9;

}  // namespace

std::unique_ptr<TLTHeader> TBaseLazyTree::CreateHeader() { return std::make_unique<TLTHeader>(*this); }

TLTHeader& TBaseLazyTree::Header() {
  if (header_ == nullptr) {
    header_ = CreateHeader();
    if (!HeaderHintAt)
      HeaderHintAt = [](TBaseLazyTree& tree, POINT p, std::wstring& text, RECT& area) {
        return tree.header_->HintAt(p, text, area);
      };
  }
  return *header_;
}

bool TBaseLazyTree::HeaderUsesColumns() const { return header_ != nullptr && header_->UseColumns(); }

TColumnIndex TBaseLazyTree::HeaderMainColumn() const {
  return HeaderUsesColumns() ? header_->MainColumn() : kNoColumn;
}

TColumnIndex TBaseLazyTree::HeaderSortColumn() const {
  return header_ != nullptr ? header_->SortColumn() : kNoColumn;
}

TSortDirection TBaseLazyTree::HeaderSortDirection() const {
  return header_ != nullptr ? header_->SortDirection() : TSortDirection::sdAscending;
}

bool TBaseLazyTree::HeaderColumnBounds(TColumnIndex column, int& left, int& right) const {
  if (!HeaderUsesColumns() || !header_->Columns().IsValidColumn(column)) return false;
  header_->Columns().Items(column).GetAbsoluteBounds(left, right);
  return true;
}

int TBaseLazyTree::HeaderColumnAlignment(TColumnIndex column, bool& rightToLeft) const {
  rightToLeft = CellRightToLeft(column);
  const TLTAlignment a = CellAlignment(column);
  return a == TLTAlignment::taRightJustify ? 1 : a == TLTAlignment::taCenter ? 2 : 0;
}

TColumnIndex TBaseLazyTree::HeaderVisibleColumn(TColumnIndex column) const {
  if (!HeaderUsesColumns()) return column;
  const TLazyTreeColumns& columns = header_->Columns();
  if (columns.IsValidColumn(column) && columns.Items(column).HasOption(coVisible)) return column;
  return columns.GetFirstVisibleColumn();
}

int TBaseLazyTree::HeaderColumnsWidth() const { return HeaderUsesColumns() ? header_->Columns().TotalWidth() : 0; }

// ------------------------------------------------------------ dispatchers --

void TBaseLazyTree::DoHeaderClick(TColumnIndex column, int button, TShiftState shift, int x, int y) {
  if (OnHeaderClick) OnHeaderClick(*this, column, button, shift, x, y);
}

void TBaseLazyTree::DoHeaderDblClick(TColumnIndex column, int button, TShiftState shift, int x, int y) {
  if (OnHeaderDblClick) OnHeaderDblClick(*this, column, button, shift, x, y);
}

void TBaseLazyTree::DoHeaderMouseDown(int button, TShiftState shift, int x, int y) {
  if (OnHeaderMouseDown) OnHeaderMouseDown(*this, button, shift, x, y);
}

void TBaseLazyTree::DoHeaderMouseUp(int button, TShiftState shift, int x, int y) {
  if (OnHeaderMouseUp) OnHeaderMouseUp(*this, button, shift, x, y);
}

void TBaseLazyTree::DoHeaderMouseMove(TShiftState shift, int x, int y) {
  if (OnHeaderMouseMove) OnHeaderMouseMove(*this, shift, x, y);
}

bool TBaseLazyTree::DoHeaderDragging(TColumnIndex column) {
  bool allowed = true;
  if (OnHeaderDragging) OnHeaderDragging(*this, column, allowed);
  return allowed;
}

void TBaseLazyTree::DoHeaderDragged(TColumnIndex column, int oldPosition) {
  if (OnHeaderDragged) OnHeaderDragged(*this, column, oldPosition);
}

void TBaseLazyTree::DoHeaderDraggedOut(TColumnIndex column, POINT screen) {
  if (OnHeaderDraggedOut) OnHeaderDraggedOut(*this, column, screen);
}

void TBaseLazyTree::DoGetHeaderCursor(HCURSOR& cursor) {
  if (OnGetHeaderCursor) OnGetHeaderCursor(*this, cursor);
}

void TBaseLazyTree::DoHeaderDraw(HDC canvas, TColumnIndex column, const RECT& r, bool hot, bool pressed) {
  if (OnHeaderDraw) OnHeaderDraw(*this, canvas, column, r, hot, pressed);
}

void TBaseLazyTree::DoHeaderDrawQueryElements(THeaderPaintInfo& info, THeaderPaintElements& elements) {
  if (OnHeaderDrawQueryElements) OnHeaderDrawQueryElements(*this, info, elements);
}

void TBaseLazyTree::DoAdvancedHeaderDraw(THeaderPaintInfo& info, THeaderPaintElements elements) {
  if (OnAdvancedHeaderDraw) OnAdvancedHeaderDraw(*this, info, elements);
}

void TBaseLazyTree::DoColumnClick(TColumnIndex column, TShiftState shift) {
  if (OnColumnClick) OnColumnClick(*this, column, shift);
}

void TBaseLazyTree::DoColumnDblClick(TColumnIndex column, TShiftState shift) {
  if (OnColumnDblClick) OnColumnDblClick(*this, column, shift);
}

void TBaseLazyTree::DoColumnResize(TColumnIndex column) {
  if (HandleAllocated() && !Loading() && header_ != nullptr) {
    // Wrapped text is measured again at its new width.
    for (PLazyNode n = GetFirstInitialized(); n != nullptr; n = GetNextInitialized(n))
      if (n->States.Contains(nsMultiline)) n->States.Exclude(nsHeightMeasured);
    UpdateScrollBars(true);
    if (header_->Columns().IsValidColumn(column) && !HasOption(toAutoSpanColumns)) {
      RECT client{};
      GetClientRect(HandleIfAllocated(), &client);
      const TLazyRect from{header_->Columns().Items(column).Left() + OffsetX(), 0, client.right, client.bottom};
      InvalidateClientRect(&from);
    } else {
      InvalidateClientRect(nullptr);
    }
    header_->Invalidate(column, true);
    if (header_->States() & hstTracking) UpdateWindow(HandleIfAllocated());
    if (OnColumnResize) OnColumnResize(*this, column);
    if (IsEditing()) UpdateEditBounds();
  }
}

void TBaseLazyTree::MainColumnChanged() {
  // The focused column follows the main column without toExtendedFocus, and
  // never names a column that is not there (the columns were cleared or
  // replaced by fewer).
  if (!HeaderUsesColumns())
    SetFocusedColumn(kNoColumn);
  else if (!HasOption(toExtendedFocus) || !header_->Columns().IsValidColumn(FocusedColumn()))
    SetFocusedColumn(header_->MainColumn());
  InvalidateClientRect(nullptr);
}

void TBaseLazyTree::HeaderSortChanged() {
  if (HasOption(toAutoSort) && UpdateCount() == 0) SortTree(HeaderSortColumn(), HeaderSortDirection(), true);
}

void TBaseLazyTree::HeaderMouseDownStarted() {
  HideHint();
  StopTimer(kScrollTimer);
  StopTimer(kEditTimer);
  DoStateChange({}, {tsScrollPending, tsScrolling, tsEditPending});
}

void TBaseLazyTree::HeaderHintMove(POINT p) {
  if (p.x == hintMousePos_.x && p.y == hintMousePos_.y) return;
  hintMousePos_ = p;
  if (PtInRect(&lastHintRect_, p)) return;
  const bool hadHint = hintWindow_ && hintWindow_->Visible();
  HideHint();
  if (!ShowHint() || GetKeyState(VK_LBUTTON) < 0) return;
  StartTimer(kHintTimer, HintPause(true, hadHint));
  TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE | TME_NONCLIENT, HandleIfAllocated(), 0};
  TrackMouseEvent(&track);
}

void TBaseLazyTree::InvalidateColumn(TColumnIndex column) {
  if (!HeaderUsesColumns() || !header_->Columns().IsValidColumn(column) || !HandleAllocated()) return;
  int left = 0, right = 0;
  header_->Columns().Items(column).GetAbsoluteBounds(left, right);
  const TLazyRect r{left + OffsetX(), 0, right + OffsetX(), ViewHeight()};
  InvalidateClientRect(&r);
}

int TBaseLazyTree::GetMaxColumnWidth(TColumnIndex column) {
  const bool mainColumn = !HeaderUsesColumns() || column == HeaderMainColumn();
  const int indent = static_cast<int>(Indent());
  int widest = 0;
  for (PLazyNode n = GetFirstVisible(); n != nullptr; n = GetNextVisible(n)) {
    int width = 2 * Margin() + DoGetNodeWidth(n, column);
    if (mainColumn)
      width += GetNodeLevel(n) * indent + (HasOption(toShowRoot) ? indent : 0) + ContentImagesWidth(n, column);
    widest = std::max(widest, width);
  }
  return widest;
}

int TBaseLazyTree::GetMaxRightExtend() {
  const bool useColumns = HeaderUsesColumns();
  const TColumnIndex main = useColumns ? HeaderMainColumn() : kNoColumn;
  int left = 0;
  if (useColumns) {
    if (!header_->Columns().IsValidColumn(main)) return 0;
    left = header_->Columns().Items(main).Left();
  }
  const int indent = static_cast<int>(Indent());
  int extent = 0;
  for (PLazyNode n = GetFirstVisible(); n != nullptr; n = GetNextVisible(n)) {
    const int right = left + Margin() + GetNodeLevel(n) * indent + (HasOption(toShowRoot) ? indent : 0) +
                      ContentImagesWidth(n, main) + DoGetNodeWidth(n, main);
    extent = std::max(extent, right);
  }
  return extent;
}

bool TBaseLazyTree::HitColumnBounds(TTreeHitInfo& hitInfo, int x, int& left, int& right) {
  TLazyTreeColumns& columns = header_->Columns();
  hitInfo.HitColumn = columns.GetColumnAndBounds(THeaderPoint{x, 0}, left, right, false);
  if (hitInfo.HitColumn < 0) return false;
  if (HasOption(toAutoSpanColumns) && hitInfo.HitNode != nullptr) {
    // `right` is the edge of the column under the point: the cell grows to the
    // left over empty columns, and to the right only past that column.
    const TColumnIndex pointed = hitInfo.HitColumn;
    while (ColumnIsEmpty(hitInfo.HitNode, hitInfo.HitColumn)) {
      const TColumnIndex previous = columns.GetPreviousVisibleColumn(hitInfo.HitColumn);
      if (previous < 0) break;
      hitInfo.HitColumn = previous;
      left -= columns.Items(previous).Width();
    }
    for (TColumnIndex next = columns.GetNextVisibleColumn(pointed);
         next >= 0 && ColumnIsEmpty(hitInfo.HitNode, next); next = columns.GetNextVisibleColumn(next))
      right += columns.Items(next).Width();
  }
  return true;
}

TColumnIndex TBaseLazyTree::SpanEmptyColumns(PLazyNode node, TColumnIndex column, int& right) {
  const TLazyTreeColumns& columns = header_->Columns();
  TColumnIndex next = columns.GetNextVisibleColumn(column);
  if (!HasOption(toAutoSpanColumns) || node == nullptr || columns.Items(column).UseRightToLeftReading())
    return next;
  while (next >= 0 && ColumnIsEmpty(node, next) && !columns.Items(next).UseRightToLeftReading()) {
    right += columns.Items(next).Width();
    next = columns.GetNextVisibleColumn(next);
  }
  return next;
}

int TBaseLazyTree::SpannedCellRight(PLazyNode node, TColumnIndex column, int right) {
  if (HeaderUsesColumns() && header_->Columns().IsValidColumn(column)) SpanEmptyColumns(node, column, right);
  return right;
}

void TBaseLazyTree::ColumnMouse(int phase, TColumnIndex column) {
  if (header_ == nullptr) return;
  TLazyTreeColumns& columns = header_->Columns();
  switch (phase) {
    case 0:
      columns.clickIndex_ = column;
      break;
    case 1:
      if (columns.clickIndex_ >= 0 && columns.clickIndex_ == column) DoColumnClick(column, GetShiftState());
      break;
    default:
      if (column == columns.clickIndex_) DoColumnDblClick(column, GetShiftState() | ssDouble);
      break;
  }
}

// ----------------------------------------------------------------- frame --

bool TBaseLazyTree::HeaderFrameMessage(ui::TMessage& m) {
  switch (m.msg) {
    case WM_NCCALCSIZE: {
      TControl::WndProc(m);
      auto* r = reinterpret_cast<RECT*>(m.lParam);
      InsetClientByFrame(*r);
      if (header_ != nullptr && header_->HasOption(hoVisible)) {
        r->top = std::min<LONG>(r->top + header_->Height(), r->bottom);
      }
      return true;
    }
    case WM_PRINT: {
      // The header's part of a printed frame, then the usual printing. A
      // hidden header has no part: it would cover the first row.
      HWND hwnd = HandleIfAllocated();
      if (header_ != nullptr && header_->HasOption(hoVisible) &&
          !((m.lParam & PRF_CHECKVISIBLE) && !IsWindowVisible(hwnd)))
        header_->PaintHeader(reinterpret_cast<HDC>(m.wParam), header_->HeaderRect(), OffsetX());
      return false;
    }
    case WM_NCHITTEST: {
      TControl::WndProc(m);
      if ((m.result == HTERROR || m.result == HTNOWHERE) && FrameInset() > 0) {
        RECT window{};
        GetWindowRect(HandleIfAllocated(), &window);
        if (PtInRect(&window, POINT{PointX(m.lParam), PointY(m.lParam)})) m.result = HTBORDER;  // the ring
      }
      if (header_ != nullptr && header_->HasOption(hoVisible)) {
        POINT p{PointX(m.lParam), PointY(m.lParam)};
        ScreenToClient(HandleIfAllocated(), &p);
        if (header_->InHeader(p)) m.result = HTBORDER;
      }
      return true;
    }
  }
  return false;
}

}  // namespace kv
