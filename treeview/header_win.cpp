// The header's window side: its place in the tree's frame, painting of the
// column buttons, and the mouse: clicks, resizing on a splitter, dragging a
// column to a new place, the hover look timed by the header timer.

#include "treeview/header_win.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "base/scope_guard.h"
#include "treeview/base_lazy_tree_win.h"
#include "treeview/drag_image_win.h"
#include "treeview/shorten_text.h"
#include "treeview/theme_services_win.h"
#include "ui/gdi_win.h"

namespace kv {

namespace {

POINT ScreenPoint(HWND hwnd, POINT client) {
  ClientToScreen(hwnd, &client);
  return client;
}

int PointX(LPARAM l) { return static_cast<short>(LOWORD(l)); }
int PointY(LPARAM l) { return static_cast<short>(HIWORD(l)); }

void FillColor(HDC dc, const RECT& r, COLORREF color) {
  const COLORREF old = SetBkColor(dc, color);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  SetBkColor(dc, old);
}

void HorizontalLine(HDC dc, int left, int right, int y, COLORREF color) {
  FillColor(dc, RECT{left, y, right, y + 1}, color);
}

void VerticalLine(HDC dc, int x, int top, int bottom, COLORREF color) {
  FillColor(dc, RECT{x, top, x + 1, bottom}, color);
}

// A colour darker by `step` in each channel (not below 0).
COLORREF Darker(COLORREF c, int step) {
  auto ch = [step](int v) { return static_cast<BYTE>(std::max(v - step, 0)); };
  return RGB(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c)));
}

ui::TFontSpec SpecOf(const THeaderFont& font) {
  ui::TFontSpec spec;
  spec.name = font.Name;
  spec.height = font.Height;
  spec.bold = (font.Style & 1) != 0;
  spec.italic = (font.Style & 2) != 0;
  spec.underline = (font.Style & 4) != 0;
  spec.color = font.Color;
  return spec;
}

POINT ClientPointOf(LPARAM l) { return POINT{PointX(l), PointY(l)}; }

constexpr std::uint32_t kTransparent = 0xFF00FF;
constexpr int kHotPieceWidth = 16;

}  // namespace

TShiftState GetShiftState() {
  TShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  return shift;
}

TLTHeader::TLTHeader(TBaseLazyTree& tree)
    : tree_(tree), imagesLink_([this](ui::TComponent*) { Invalidate(-1); }) {}

TLTHeader::~TLTHeader() = default;

// ------------------------------------------------------------------- hooks --

bool TLTHeader::OwnerLoading() const { return tree_.Loading(); }

int TLTHeader::AvailableWidth() const {
  if (HWND hwnd = tree_.HandleIfAllocated()) {
    RECT client{};
    GetClientRect(hwnd, &client);
    return client.right;
  }
  return tree_.Width();
}

int TLTHeader::HorizontalOffset() const { return tree_.OffsetX(); }

int TLTHeader::TreeHeight() const { return tree_.Height(); }

std::uint32_t TLTHeader::TreeColor() const { return tree_.Color(); }

TLTBidiMode TLTHeader::TreeBiDiMode() const { return tree_.BiDiMode(); }

bool TLTHeader::TreeFont(THeaderFont& font) const {
  const ui::TFontSpec& spec = tree_.Font();
  font.Name = spec.name;
  font.Height = spec.height;
  font.Style = (spec.bold ? 1u : 0u) | (spec.italic ? 2u : 0u) | (spec.underline ? 4u : 0u) | (font.Style & ~7u);
  font.Color = spec.color;
  return true;
}

void TLTHeader::InvalidateTree() { tree_.InvalidateClientRect(nullptr); }

void TLTHeader::UpdateHorizontalScrollBar() {
  if (tree_.HandleAllocated() && !tree_.Loading()) tree_.UpdateScrollBars(true);
}

void TLTHeader::RecalculateHeader() {
  if (HWND hwnd = tree_.HandleIfAllocated())
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TLTHeader::DoColumnResize(TColumnIndex column) { tree_.DoColumnResize(column); }

void TLTHeader::MainColumnChanged() { tree_.MainColumnChanged(); }

void TLTHeader::SortChanged() { tree_.HeaderSortChanged(); }

void TLTHeader::ColumnOptionsChanged(TLazyTreeColumn& /*column*/, TLTColumnOptions changed) {
  tree_.InvalidateClientRect(nullptr);
  if (changed & coVisible) UpdateHorizontalScrollBar();
}

void TLTHeader::EndEditing() {
  if (tree_.IsEditing()) tree_.DoEndEdit();
}

void TLTHeader::SetImages(ui::TImageList* list) {
  tree_.ChangeImageList(images_, imagesLink_, list);
  Invalidate(-1);
}

void TLTHeader::SetPopupMenu(ui::TPopupMenu* menu) {
  ui::TPopupMenu* before = popupMenu_;
  popupMenu_ = menu;
  tree_.ReferenceChanged(before, menu);
}

void TLTHeader::Assign(const TLTHeaderModel& source) {
  TLTHeaderModel::Assign(source);
  if (const auto* header = dynamic_cast<const TLTHeader*>(&source)) {
    SetImages(header->Images());
    SetPopupMenu(header->PopupMenu());
  }
}

// -------------------------------------------------------------- geometry --

RECT TLTHeader::HeaderRect() const {
  if (!HasOption(hoVisible)) return RECT{};
  return StripRect();
}

int TLTHeader::HeaderWidth() const {
  if (tree_.HandleIfAllocated() == nullptr) return tree_.Width();
  const RECT strip = StripRect();
  return strip.right - strip.left;
}

RECT TLTHeader::StripRect() const {
  HWND hwnd = tree_.HandleIfAllocated();
  if (hwnd == nullptr) return RECT{};
  RECT window{};
  GetWindowRect(hwnd, &window);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  const int left = origin.x - window.left, top = origin.y - window.top;
  // The header starts where the client area does and reaches the right
  // border, over a vertical scroll bar on the right; one on the left is not
  // part of the border.
  int border = left;
  if ((GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) && (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VSCROLL))
    border = std::max(0, border - GetSystemMetrics(SM_CXVSCROLL));
  return RECT{left, top - Height(), window.right - window.left - border, top};
}

bool TLTHeader::InHeader(POINT p) const {
  RECT r = HeaderRect();
  if (IsRectEmpty(&r)) return false;
  HWND hwnd = tree_.HandleIfAllocated();
  RECT window{};
  GetWindowRect(hwnd, &window);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  OffsetRect(&r, window.left - origin.x, window.top - origin.y);
  return PtInRect(&r, p) != FALSE;
}

POINT TLTHeader::HeaderPoint(POINT client) const { return POINT{client.x, client.y + Height()}; }

RECT TLTHeader::GetRect(TColumnIndex column) const {
  RECT r = HeaderRect();
  if (!Columns().IsValidColumn(column)) return r;
  const TLazyTreeColumn& c = Columns().Items(column);
  r.left += c.Left() + HorizontalOffset();
  r.right = r.left + c.Width();
  return r;
}

void TLTHeader::Invalidate(TColumnIndex column, bool expandToBorder) {
  HWND hwnd = tree_.HandleIfAllocated();
  if (hwnd == nullptr || !HasOption(hoVisible) || !IsWindowVisible(hwnd) || Loading()) return;
  const RECT header = HeaderRect();
  RECT part = column >= 0 ? GetRect(column) : header;
  if (expandToBorder) part.right = header.right;
  IntersectRect(&part, &part, &header);
  if (IsRectEmpty(&part)) return;
  const ui::WindowDc dc = ui::GetFrameDc(hwnd);
  if (dc.Get() == nullptr) return;
  IntersectClipRect(dc.Get(), part.left, part.top, part.right, part.bottom);
  PaintHeader(dc.Get(), header, HorizontalOffset());
}

// -------------------------------------------------------------- painting --

const TLTHeader::TPicture& TLTHeader::Picture(TPicture& slot, const char* name) {
  if (!slot.Pixels.empty()) return slot;
  const ui::BitmapObject bitmap = ui::LoadBitmapResource(name);
  BITMAP info{};
  GetObjectW(bitmap.Get(), sizeof info, &info);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = info.bmWidth;
  bi.bmiHeader.biHeight = -info.bmHeight;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(info.bmWidth) * info.bmHeight);
  const ui::MemoryDc screen = ui::CreateMemoryDc(nullptr);
  if (GetDIBits(screen.Get(), bitmap.Get(), 0, static_cast<UINT>(info.bmHeight), pixels.data(), &bi,
                DIB_RGB_COLORS) == 0)
    return slot;
  slot.Width = info.bmWidth;
  slot.Height = info.bmHeight;
  slot.Pixels = std::move(pixels);
  return slot;
}

void TLTHeader::DrawPicture(HDC dc, const TPicture& picture, int srcX, int width, int x, int y) {
  for (int row = 0; row < picture.Height; ++row) {
    for (int col = 0; col < width && srcX + col < picture.Width; ++col) {
      const std::uint32_t p = picture.Pixels[static_cast<std::size_t>(row) * picture.Width + srcX + col] & 0xFFFFFF;
      if (p != kTransparent) SetPixelV(dc, x + col, y + row, RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    }
  }
}

THeaderSize TLTHeader::SortGlyphSize() {
  const TPicture& glyph = Picture(sortUp_, "LT_HEADERSORTUP");
  return THeaderSize{glyph.Width, glyph.Height};
}

void TLTHeader::DrawSortGlyph(HDC dc, int x, int y, bool ascending) {
  const TPicture& glyph = ascending ? Picture(sortUp_, "LT_HEADERSORTUP") : Picture(sortDown_, "LT_HEADERSORTDOWN");
  DrawPicture(dc, glyph, 0, glyph.Width, x, y);
}

HCURSOR TLTHeader::SplitCursor() const {
  // Shared cursors of the module's resources need no release.
  HCURSOR cursor = static_cast<HCURSOR>(
      LoadImageW(GetModuleHandleW(nullptr), L"LT_HEADERSPLIT", IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  return cursor != nullptr ? cursor : LoadCursorW(nullptr, MAKEINTRESOURCEW(32644));
}

ui::TFontSpec TLTHeader::CaptionFont() const { return SpecOf(Font()); }

void TLTHeader::ChangeScale(int m, int d) {
  if (m <= 0 || d <= 0 || m == d) return;
  THeaderFont font = Font();
  font.Height = static_cast<int>(std::clamp<std::int64_t>(ScaleHalfEven(font.Height, m, d), -0xFFFF, 0xFFFF));
  SetFont(font);
}

void TLTHeader::PaintHeader(HDC dc, const RECT& r, int hOffset) {
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return;
  const ui::MemoryDc memory = ui::CreateMemoryDc(dc);
  const ui::BitmapObject bitmap(CreateCompatibleBitmap(dc, width, height));
  if (!bitmap) return;
  const ui::SelectedObject selected = ui::SelectInto(memory.Get(), bitmap.Get());
  HDC canvas = memory.Get();
  const bool ownerDraw = HasOption(hoOwnerDraw);
  THeaderPaintInfo background;
  background.TargetCanvas = canvas;
  background.PaintRectangle = RECT{0, 0, width, height};
  THeaderPaintElements ownerBackground = 0;
  if (ownerDraw) tree_.DoHeaderDrawQueryElements(background, ownerBackground);
  if (ownerBackground & hpeBackground)
    tree_.DoAdvancedHeaderDraw(background, hpeBackground);
  else
    FillColor(canvas, RECT{0, 0, width, height}, ui::ColorToRGB(Background()));
  const ui::FontObject font = ui::MakeFont(CaptionFont());
  const ui::SelectedObject selectedFont = ui::SelectInto(canvas, font.Get());
  SetBkMode(canvas, TRANSPARENT);
  const TLazyTreeColumns& columns = Columns();
  for (TColumnIndex index : columns.PositionArray()) {
    const TLazyTreeColumn& column = columns.Items(index);
    if (!column.HasOption(coVisible)) continue;
    const RECT button{column.Left() + hOffset, 0, column.Left() + hOffset + column.Width(), height};
    if (button.right <= 0) continue;
    if (button.left >= width) break;
    const bool pressed = index == columns.DownIndex();
    const bool hot = index == columns.HoverIndex() && HasOption(hoHotTrack) && column.HasOption(coEnabled);
    if (ownerDraw && column.Style() == TLazyTreeColumnStyle::vsOwnerDraw) {
      // The owner draws the whole button; the canvas comes back as it was.
      const int saved = SaveDC(canvas);
      tree_.DoHeaderDraw(canvas, index, button, hot, pressed);
      RestoreDC(canvas, saved);
      continue;
    }
    THeaderPaintElements owner = 0;
    if (ownerDraw) {
      THeaderPaintInfo info{canvas, index, button, hot, pressed, false, false};
      tree_.DoHeaderDrawQueryElements(info, owner);
    }
    DrawButton(canvas, index, button, pressed, hot, owner);
  }
  // The drop mark of a column being dragged.
  if ((States() & hstDragging) && columns.IsValidColumn(columns.DropTarget()) &&
      columns.IsValidColumn(columns.DragIndex()) && columns.Items(columns.DragIndex()).HasOption(coShowDropMark)) {
    const TLazyTreeColumn& target = columns.Items(columns.DropTarget());
    const int x = target.Left() + hOffset + (columns.DropBefore() ? 0 : target.Width() - 2);
    THeaderPaintInfo mark{canvas, columns.DropTarget(), RECT{x, 0, x + 2, height}, false, false, false, false};
    THeaderPaintElements owner = 0;
    if (ownerDraw) tree_.DoHeaderDrawQueryElements(mark, owner);
    if (owner & hpeDropMark)
      tree_.DoAdvancedHeaderDraw(mark, hpeDropMark);
    else
      FillColor(canvas, mark.PaintRectangle, ui::ColorToRGB(tree_.Colors().Color(TLTColors::DropMarkColor)));
  }
  BitBlt(dc, r.left, r.top, width, height, canvas, 0, 0, SRCCOPY);
}

void TLTHeader::DrawXPButton(HDC dc, const RECT& r, bool pressed, bool hot) {
  // Colours as the system stores them (blue, green, red from the top byte down).
  const COLORREF normal = 0xDBEAEB, hotColor = 0xF3F8FA, down = 0xD8DFDE;
  FillColor(dc, r, pressed ? down : hot ? hotColor : normal);
  if (!pressed && !hot) {
    VerticalLine(dc, r.right - 2, r.top + 3, r.bottom - 3, 0xB2C5C7);
    VerticalLine(dc, r.right - 1, r.top + 3, r.bottom - 3, RGB(255, 255, 255));
  }
  // Two shading lines darkening stepwise, then the bottom line.
  HorizontalLine(dc, r.left, r.right, r.bottom - 3, Darker(normal, 8));
  HorizontalLine(dc, r.left, r.right, r.bottom - 2, Darker(normal, 16));
  HorizontalLine(dc, r.left, r.right, r.bottom - 1, 0xB8C7CB);
  if (hot) {
    // The bar under a hot button: its ends, and the middle piece between them.
    const TPicture& pieces = Picture(hotPieces_, "LT_HEADERHOT");
    const int y = r.bottom - pieces.Height;
    const int width = r.right - r.left;
    if (width > 2 * kHotPieceWidth) {
      for (int x = r.left + kHotPieceWidth; x < r.right - kHotPieceWidth; x += kHotPieceWidth)
        DrawPicture(dc, pieces, 7 * kHotPieceWidth, std::min<int>(kHotPieceWidth, r.right - kHotPieceWidth - x), x, y);
    }
    DrawPicture(dc, pieces, 8 * kHotPieceWidth, kHotPieceWidth, r.right - kHotPieceWidth, y);
    DrawPicture(dc, pieces, 6 * kHotPieceWidth, std::min<int>(kHotPieceWidth, width), r.left, y);
  }
}

void TLTHeader::DrawButton(HDC dc, TColumnIndex index, const RECT& button, bool pressed, bool hot,
                           THeaderPaintElements owner) {
  const TLazyTreeColumn& column = Columns().Items(index);
  THeaderPaintInfo info{dc, index, button, hot, pressed, false, false};
  // The owner's parts come last, over what the header drew.
  ScopeGuard ownerParts([&] {
    if (owner != 0) tree_.DoAdvancedHeaderDraw(info, owner);
  });
  RECT r = button;
  if (owner & hpeBackground) {
    // The owner paints the button's face.
  } else switch (Style()) {
    case TLTHeaderStyle::hsThickButtons:
      DrawEdge(dc, &r, EDGE_RAISED, pressed ? 0x780F : 0x380B);
      break;
    case TLTHeaderStyle::hsFlatButtons:
      DrawEdge(dc, &r, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, pressed ? 0x280F : 0x280B);
      break;
    case TLTHeaderStyle::hsPlates:
      if (pressed) {
        DrawEdge(dc, &r, BDR_SUNKENOUTER, 0x280F);
      } else {
        if (column.HasOption(coAllowClick) && column.HasOption(coEnabled)) DrawEdge(dc, &r, BDR_RAISEDINNER, 0x280B);
        DrawEdge(dc, &r, BDR_RAISEDINNER, 0x380F);
      }
      break;
    case TLTHeaderStyle::hsXPStyle:
      if (tree_.TreeStates().Contains(tsUseThemes) && ThemeServices().ThemesEnabled()) {
        const int state = pressed ? 3 : hot ? 2 : 1;
        const auto item = static_cast<TThemedHeader>(static_cast<int>(TThemedHeader::thHeaderItemNormal) + state - 1);
        ThemeServices().DrawElement(dc, GetElementDetails(item), button);
      } else {
        DrawXPButton(dc, button, pressed, hot);
      }
      r = button;
      break;
  }

  // The content: image, sort glyph and caption.
  THeaderLayoutInput in;
  in.Button = {button.right - button.left, button.bottom - button.top};
  HIMAGELIST images = images_ != nullptr ? images_->HandleIfMade() : nullptr;
  const bool showImage = HasOption(hoShowImages) && images != nullptr && column.ImageIndex() >= 0;
  info.ShowHeaderGlyph = showImage;
  if (showImage) in.Image = {images_->Width(), images_->Height()};
  const bool showSort = HasOption(hoShowSortGlyphs) && index == SortColumn();
  info.ShowSortGlyph = showSort;
  if (showSort) in.SortGlyph = SortGlyphSize();
  const std::wstring& caption = column.Text();
  if (!caption.empty()) {
    SIZE extent{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    in.Caption = {extent.cx, extent.cy};
  }
  in.Margin = column.Margin();
  in.Spacing = column.Spacing();
  in.Alignment = column.Alignment();
  in.Reversed = column.UseRightToLeftReading();
  in.Layout = column.Layout();
  THeaderLayout layout;
  if (!ComputeHeaderLayout(in, layout)) return;
  if (showImage && !(owner & hpeHeaderGlyph)) {
    ImageList_Draw(images, column.ImageIndex(), dc, button.left + layout.Image.X, button.top + layout.Image.Y,
                   column.HasOption(coEnabled) ? ILD_TRANSPARENT : ILD_TRANSPARENT | ILD_BLEND50);
  }
  if (showSort && !(owner & hpeSortGlyph)) {
    DrawSortGlyph(dc, button.left + layout.SortGlyph.X, button.top + layout.SortGlyph.Y,
                  SortDirection() == TSortDirection::sdAscending);
  }
  if (!caption.empty() && !(owner & hpeText)) {
    RECT text{button.left + layout.Text.Left, button.top + layout.Text.Top, button.left + layout.Text.Right,
              button.top + layout.Text.Bottom};
    DrawButtonText(dc, caption, text, column.HasOption(coEnabled), hot, column);
  }
}

void TLTHeader::DrawButtonText(HDC dc, const std::wstring& caption, RECT bounds, bool enabled, bool hot,
                               const TLazyTreeColumn& column) {
  std::wstring text = caption;
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  if (extent.cx > bounds.right - bounds.left) {
    const std::function<int(std::wstring_view)> measure = [dc](std::wstring_view part) {
      SIZE size{};
      GetTextExtentPoint32W(dc, part.data(), static_cast<int>(part.size()), &size);
      return static_cast<int>(size.cx);
    };
    text = ShortenText<wchar_t>(caption, bounds.right - bounds.left, 0, column.UseRightToLeftReading(), measure);
  }
  UINT format = DT_NOPREFIX | DT_SINGLELINE | DT_TOP;
  if (column.UseRightToLeftReading()) format |= DT_RTLREADING;
  SetBkMode(dc, TRANSPARENT);
  if (!enabled) {
    RECT shifted = bounds;
    OffsetRect(&shifted, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &shifted, format);
    SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
  } else {
    const ui::TColor ink = hot ? tree_.Colors().Color(TLTColors::HeaderHotColor) : Font().Color;
    SetTextColor(dc, ui::ColorToRGB(ink));
  }
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, format);
}

// ------------------------------------------------------------------ mouse --

// The down or hover column becomes the one under a client point (-1 outside
// the columns); both the old and the new one repaint.
bool TLTHeader::AdjustColumnIndex(TColumnIndex& slot, POINT client) {
  const TColumnIndex index = InHeader(client) ? Columns().ColumnFromPosition(THeaderPoint{client.x, 0}) : -1;
  const TColumnIndex now = index < 0 ? -1 : index;
  if (now == slot) return false;
  const TColumnIndex old = slot;
  slot = now;
  if (old >= 0) Invalidate(old);
  if (now >= 0) Invalidate(now);
  return true;
}

void TLTHeader::HandleClick(POINT client, bool dblClick, bool force, int button) {
  TLazyTreeColumns& columns = Columns();
  // The column under the point, wherever over the tree's height it lies: a
  // pressed column released below the strip is clicked all the same.
  const POINT p = HeaderPoint(client);
  const TColumnIndex index = columns.ColumnFromPosition(THeaderPoint{p.x, p.y});
  if (index >= 0 && columns.Items(index).HasOption(coAllowClick) && (index == columns.downIndex_ || force)) {
    columns.clickIndex_ = index;
    tree_.DoHeaderClick(index, button, GetShiftState() | (dblClick ? ssDouble : 0), p.x, p.y);
    Invalidate(index);
  } else {
    columns.clickIndex_ = -1;
  }
}

// The column under a client point while dragging, and the side it is
// dropped on. Where no column is under the point (beside the columns, above
// the header) the drop target and its side stay: a release in the header's
// empty part puts the column beside the last one it passed.
bool TLTHeader::DragTo(POINT screen) {
  POINT client = screen;
  ScreenToClient(tree_.HandleIfAllocated(), &client);
  TLazyTreeColumns& columns = Columns();
  int left = 0, right = 0;
  const TColumnIndex column =
      columns.GetColumnAndBounds(THeaderPoint{client.x, client.y + Height()}, left, right);
  bool repaint = false;
  if (columns.IsValidColumn(column)) {
    const bool before = client.x < (left + right) / 2;
    repaint = column != columns.dropTarget_ || before != columns.dropBefore_;
    if (repaint) {
      const TColumnIndex old = columns.dropTarget_;
      columns.dropTarget_ = -1;
      if (old >= 0) Invalidate(old);
      columns.dropTarget_ = column;
      columns.dropBefore_ = before;
      Invalidate(column);
    }
  }
  // A changed drop mark is painted before the picture moves over it.
  return dragImage_ && dragImage_->DragTo(screen, repaint);
}

void TLTHeader::PrepareDrag(POINT /*p*/, POINT start) {
  TLazyTreeColumns& columns = Columns();
  columns.dropTarget_ = -1;
  const HWND hwnd = tree_.HandleIfAllocated();
  const RECT header = HeaderRect();
  const int width = header.right - header.left, height = header.bottom - header.top;
  if (hwnd == nullptr || width <= 0 || height <= 0 || !columns.IsValidColumn(columns.dragIndex_)) return;
  const TLazyTreeColumn& column = columns.Items(columns.dragIndex_);
  const int left = column.Left() + HorizontalOffset();
  const ui::WindowDc screen = ui::GetClientDc(nullptr);
  const ui::BitmapObject whole(CreateCompatibleBitmap(screen.Get(), width, height));
  const ui::BitmapObject part(CreateCompatibleBitmap(screen.Get(), column.Width(), height));
  if (!whole || !part) return;
  {
    const ui::MemoryDc from = ui::CreateMemoryDc(screen.Get()), to = ui::CreateMemoryDc(screen.Get());
    const ui::SelectedObject a = ui::SelectInto(from.Get(), whole.Get());
    const ui::SelectedObject b = ui::SelectInto(to.Get(), part.Get());
    PaintHeader(from.Get(), RECT{0, 0, width, height}, HorizontalOffset());
    BitBlt(to.Get(), 0, 0, column.Width(), height, from.Get(), left, 0, SRCCOPY);
  }
  RECT window{};
  GetWindowRect(hwnd, &window);
  POINT hot = start;
  ClientToScreen(hwnd, &hot);
  dragImage_ = std::make_unique<TLTDragImage>(hwnd);
  // The header's drag image: more opaque than the tree's, darkened before blending, never faded.
  dragImage_->SetTransparency(140);
  dragImage_->SetPreBlendBias(-50);
  dragImage_->SetPostBlendBias(0);
  dragImage_->SetFade(false);
  dragImage_->PrepareDrag(part.Get(), POINT{window.left + header.left + left, window.top + header.top}, hot, nullptr);
  dragImage_->ShowDragImage();
}

bool TLTHeader::HandleHeaderMouseMove(ui::TMessage& m) {
  TLazyTreeColumns& columns = Columns();
  const POINT p = ClientPointOf(m.lParam);
  if (States() & hstTrackPending) {
    tree_.StopTimer(kHeaderTimer);
    LeaveState(hstTrackPending);
    EnterState(hstTracking);
  }
  if (States() & hstTracking) {
    if (columns.IsValidColumn(columns.trackIndex_)) columns.Items(columns.trackIndex_).SetWidth(p.x - trackLeft_);
    return true;
  }
  if (States() & hstDragPending) {
    const TColumnIndex down = columns.downIndex_;
    // The owner is asked at every move while the drag is pending.
    if (HasOption(hoDrag) && columns.IsValidColumn(down) && tree_.DoHeaderDragging(down) &&
        (std::abs(p.x - dragStart_.x) > GetSystemMetrics(SM_CXDRAG) ||
         std::abs(p.y - dragStart_.y) > GetSystemMetrics(SM_CYDRAG))) {
      tree_.StopTimer(kHeaderTimer);
      columns.downIndex_ = -1;
      columns.hoverIndex_ = -1;
      columns.dragIndex_ = down;
      columns.dropTarget_ = -1;
      LeaveState(hstDragPending);
      EnterState(hstDragging);
      Invalidate(-1);
      UpdateWindow(tree_.HandleIfAllocated());
      PrepareDrag(p, dragStart_);
      DragTo(ScreenPoint(tree_.HandleIfAllocated(), p));
    }
    return true;
  }
  if (States() & hstDragging) {
    DragTo(ScreenPoint(tree_.HandleIfAllocated(), p));
    return true;
  }
  return false;
}

void TLTHeader::DropColumn(POINT client) {
  TLazyTreeColumns& columns = Columns();
  const TColumnIndex dragged = columns.dragIndex_;
  const TColumnIndex target = columns.dropTarget_;
  dragImage_.reset();  // the screen under it comes back first
  if (!columns.IsValidColumn(dragged)) return;
  if (!columns.IsValidColumn(target) || target == dragged || !InHeader(client)) {
    POINT screen = client;
    ClientToScreen(tree_.HandleIfAllocated(), &screen);
    tree_.DoHeaderDraggedOut(dragged, screen);
  } else {
    TLazyTreeColumn& column = columns.Items(dragged);
    const int oldPosition = column.Position();
    const int targetPosition = columns.Items(target).Position();
    const bool fromLeft = oldPosition < targetPosition;
    int position = 0;
    if (!columns.dropBefore_) position = fromLeft ? targetPosition : targetPosition + 1;
    else position = fromLeft ? std::max(targetPosition - 1, 0) : targetPosition;
    column.SetPosition(position);
    tree_.DoHeaderDragged(dragged, oldPosition);
  }
  columns.dropTarget_ = -1;
  columns.dragIndex_ = -1;
  Invalidate(-1);
}

void TLTHeader::EndDragOrTrack(bool /*cancel*/) {
  TLazyTreeColumns& columns = Columns();
  dragImage_.reset();
  if (GetCapture() == tree_.HandleIfAllocated()) ReleaseCapture();
  columns.dropTarget_ = -1;
  columns.dragIndex_ = -1;
  columns.trackIndex_ = -1;
  if (columns.downIndex_ >= 0) {
    const TColumnIndex old = columns.downIndex_;
    columns.downIndex_ = -1;
    Invalidate(old);
  }
  LeaveState(kHeaderBusyStates);
  Invalidate(-1);
}

int TLTHeader::MaxColumnWidth(TColumnIndex column) const { return tree_.GetMaxColumnWidth(column); }

bool TLTHeader::HandleMessage(ui::TMessage& m) {
  HWND hwnd = tree_.HandleIfAllocated();
  if (hwnd == nullptr) return false;
  TLazyTreeColumns& columns = Columns();
  auto fromScreen = [hwnd](LPARAM l) {
    POINT p{PointX(l), PointY(l)};
    ScreenToClient(hwnd, &p);
    return p;
  };
  switch (m.msg) {
    case WM_NCLBUTTONDOWN: {
      tree_.HeaderMouseDownStarted();
      const POINT p = fromScreen(m.lParam);
      dragStart_ = p;
      if (!InHeader(p)) return false;
      const POINT h = HeaderPoint(p);
      tree_.DoHeaderMouseDown(0, GetShiftState(), h.x, h.y);
      if (HasOption(hoColumnResize) && DetermineSplitterIndex(THeaderPoint{p.x, p.y})) {
        columns.hoverIndex_ = -1;
        EnterState(hstTrackPending);
        SetCapture(hwnd);
        m.result = 0;
        return true;
      }
      AdjustColumnIndex(columns.downIndex_, p);
      if (HasOption(hoDrag) && columns.IsValidColumn(columns.downIndex_) &&
          columns.Items(columns.downIndex_).HasOption(coDraggable)) {
        EnterState(hstDragPending);
        SetCapture(hwnd);
        m.result = 0;
        return true;
      }
      return false;
    }
    case WM_MOUSEMOVE:
      if ((States() & kHeaderBusyStates) == 0) return false;
      m.result = 0;
      return HandleHeaderMouseMove(m);
    case WM_NCLBUTTONUP:
    case WM_LBUTTONUP: {
      const bool busy = (States() & kHeaderBusyStates) != 0;
      tree_.HideHint();
      const POINT p = m.msg == WM_NCLBUTTONUP ? fromScreen(m.lParam) : ClientPointOf(m.lParam);
      if (busy && GetCapture() == hwnd) ReleaseCapture();
      if (States() & hstDragging) DropColumn(p);
      const POINT h = HeaderPoint(p);
      if (m.msg == WM_NCLBUTTONUP) {
        HandleClick(p, false, false);
        tree_.DoHeaderMouseUp(0, GetShiftState(), h.x, h.y);
      } else {
        // A press on a column that neither drags nor resizes holds no state
        // and no capture: its release may come to the client, and the
        // pressed look must go with it all the same.
        if (columns.downIndex_ >= 0) HandleClick(p, false, false);
        if (busy) tree_.DoHeaderMouseUp(0, GetShiftState(), h.x, h.y);
      }
      for (TColumnIndex* slot : {&columns.trackIndex_, &columns.downIndex_}) {
        const TColumnIndex old = *slot;
        *slot = -1;
        if (old >= 0) Invalidate(old);
      }
      LeaveState(kHeaderBusyStates);
      // The client's own button-up follows unless the header held the mouse.
      if (m.msg == WM_LBUTTONUP && !busy) return false;
      m.result = 0;
      return true;
    }
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDBLCLK: {
      const POINT p = fromScreen(m.lParam);
      if (!InHeader(p)) return false;
      const int button = m.msg == WM_NCLBUTTONDBLCLK ? 0 : m.msg == WM_NCRBUTTONDBLCLK ? 1 : 2;
      if (HasOption(hoDblClickResize) && DetermineSplitterIndex(THeaderPoint{p.x, p.y})) {
        const TColumnIndex track = columns.trackIndex_;
        AnimatedResize(track, std::max(columns.Items(track).MinWidth(), MaxColumnWidth(track)));
        columns.trackIndex_ = -1;
      } else {
        HandleClick(p, true, true, button);
      }
      if (columns.clickIndex_ >= 0) {
        const POINT h = HeaderPoint(p);
        tree_.DoHeaderDblClick(columns.clickIndex_, button, GetShiftState() | ssDouble, h.x, h.y);
      }
      m.result = 0;
      return true;
    }
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN: {
      const POINT p = fromScreen(m.lParam);
      if (InHeader(p)) {
        const POINT h = HeaderPoint(p);
        tree_.DoHeaderMouseDown(m.msg == WM_NCRBUTTONDOWN ? 1 : 2, GetShiftState(), h.x, h.y);
      }
      return false;
    }
    case WM_NCMBUTTONUP:
    case WM_NCRBUTTONUP: {
      if (m.msg == WM_NCRBUTTONUP) tree_.HideHint();
      const POINT p = fromScreen(m.lParam);
      const bool inHeader = InHeader(p);
      if (!inHeader && m.msg == WM_NCRBUTTONUP) return false;
      const POINT h = HeaderPoint(p);
      // A middle release elsewhere in the frame (over a scroll bar) clicks no column.
      if (inHeader)
        HandleClick(p, false, true, m.msg == WM_NCRBUTTONUP ? 1 : 2);
      else
        columns.clickIndex_ = -1;
      tree_.DoHeaderMouseUp(m.msg == WM_NCRBUTTONUP ? 1 : 2, GetShiftState(), h.x, h.y);
      columns.downIndex_ = -1;
      // The middle button's release elsewhere in the frame is told too, and
      // left to the frame's own handling.
      if (!inHeader) return false;
      if (m.msg == WM_NCRBUTTONUP) {
        columns.trackIndex_ = -1;
        if (popupMenu_ != nullptr) {
          tree_.StopTimer(kScrollTimer);
          tree_.StopTimer(kHeaderTimer);
          columns.hoverIndex_ = -1;
          POINT screen{PointX(m.lParam), PointY(m.lParam)};
          tree_.PopupAt(*popupMenu_, screen);
        }
      }
      m.result = 0;
      return true;
    }
    case WM_NCMOUSEMOVE: {
      const POINT p = fromScreen(m.lParam);
      const POINT h = HeaderPoint(p);
      tree_.DoHeaderMouseMove(GetShiftState(), h.x, h.y);
      if (InHeader(p)) {
        const bool changed = AdjustColumnIndex(columns.hoverIndex_, p);
        if (changed || (columns.downIndex_ >= 0 && columns.downIndex_ != columns.hoverIndex_))
          tree_.StartTimer(kHeaderTimer, 50);
        if (HasOption(hoShowHint)) tree_.HeaderHintMove(p);
      }
      return false;
    }
    case WM_NCMOUSELEAVE:
      tree_.HideHint();
      return false;
    case WM_TIMER: {
      if (m.wParam != kHeaderTimer) return false;
      POINT p{};
      GetCursorPos(&p);
      ScreenToClient(hwnd, &p);
      if (!(InHeader(p) && (columns.downIndex_ < 0 || columns.downIndex_ == columns.hoverIndex_))) {
        tree_.StopTimer(kHeaderTimer);
        columns.hoverIndex_ = columns.clickIndex_ = columns.downIndex_ = -1;
        Invalidate(-1);
      }
      m.result = 0;
      return true;
    }
    case WM_SETCURSOR: {
      if (reinterpret_cast<HWND>(m.wParam) != hwnd) return false;
      if (States() & kHeaderBusyStates) {
        m.result = 1;
        return true;
      }
      POINT p{};
      GetCursorPos(&p);
      ScreenToClient(hwnd, &p);
      if (!InHeader(p)) return false;
      HCURSOR defaultCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
      HCURSOR cursor = defaultCursor;
      if (HasOption(hoColumnResize) && DetermineSplitterIndex(THeaderPoint{p.x, p.y})) cursor = SplitCursor();
      tree_.DoGetHeaderCursor(cursor);
      if (cursor == defaultCursor) return false;
      SetCursor(cursor);
      m.result = 1;
      return true;
    }
    case WM_SIZE:
      if (HasOption(hoAutoResize) && !tree_.TreeStates().Contains(tsWindowCreating)) {
        columns.AdjustAutoSize(kInvalidColumn);
        Invalidate(-1);
      }
      return false;
    case WM_KEYDOWN:
    case WM_KILLFOCUS:
      if (m.msg == WM_KEYDOWN && m.wParam != VK_ESCAPE) return false;
      if ((States() & kHeaderBusyStates) == 0) return false;
      EndDragOrTrack(true);
      m.result = 0;
      return true;
  }
  return false;
}

bool TLTHeader::HintAt(POINT p, std::wstring& text, RECT& area) const {
  if (!UseColumns() || !HasOption(hoShowHint) || !InHeader(p)) return false;
  const RECT header = HeaderRect();
  area = RECT{0, -Height(), header.right - header.left, 0};
  const TColumnIndex column = Columns().ColumnFromPosition(THeaderPoint{p.x, 0});
  text = column >= 0 ? Columns().Items(column).Hint() : std::wstring();
  return true;
}

// ------------------------------------------------------------- resizing --

void TLTHeader::AnimatedResize(TColumnIndex column, int newWidth) {
  TLazyTreeColumns& columns = Columns();
  if (!columns.IsValidColumn(column)) return;
  TLazyTreeColumn& c = columns.Items(column);
  newWidth = std::clamp(newWidth, c.MinWidth(), c.MaxWidth());
  if (newWidth == c.Width()) return;
  HWND hwnd = tree_.HandleIfAllocated();
  if (hwnd != nullptr && IsWindowVisible(hwnd) && HasOption(hoVisible)) {
    const int step = (newWidth - c.Width()) / 32;
    if (step != 0) {
      const ui::WindowDc dc = ui::GetFrameDc(hwnd);
      const RECT header = HeaderRect();
      RECT window{};
      GetWindowRect(hwnd, &window);
      RECT client{};
      GetClientRect(hwnd, &client);
      const int right = GetRect(column).right;
      RECT area{right, header.top, header.right, header.bottom + client.bottom};
      const ui::BrushObject brush = ui::MakeSolidBrush(ui::ColorToRGB(tree_.Color()));
      for (int i = 0; i < 32 && dc.Get() != nullptr; ++i) {
        if (step > 0) {
          RECT strip{area.left, area.top, area.left + step, area.bottom};
          FillRect(dc.Get(), &strip, brush.Get());
        }
        ScrollDC(dc.Get(), step, 0, &area, &area, nullptr, nullptr);
        area.left += step;
        Sleep(1);
      }
    }
  }
  c.SetWidth(newWidth);
}

void TLTHeader::AutoFitColumns(bool animated) {
  TLazyTreeColumns& columns = Columns();
  for (int i = 0; i < columns.Count(); ++i) {
    TLazyTreeColumn& c = columns.Items(i);
    if (!c.HasOption(coVisible) || !c.HasOption(coResizable)) continue;
    const int width = MaxColumnWidth(i);
    if (animated) AnimatedResize(i, width);
    else c.SetWidth(width);
  }
}

void TLTHeader::RestoreColumns() {
  TLazyTreeColumns& columns = Columns();
  for (int i = 0; i < columns.Count(); ++i) {
    TLazyTreeColumn& c = columns.Items(i);
    if (c.HasOption(coVisible) && c.HasOption(coResizable)) AnimatedResize(i, c.PreviousWidth());
  }
}

}  // namespace kv
