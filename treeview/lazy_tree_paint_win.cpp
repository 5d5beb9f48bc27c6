// Painting of the tree: each row is composed in an off-screen 32-bit bitmap
// (background, selection, focus rectangle, grid lines, tree lines, button,
// check and images, then the owner's content) and copied to the target; the
// area below the last row is filled last.

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "base/scope_guard.h"
#include "treeview/alpha_blend_win.h"
#include "treeview/base_lazy_tree_win.h"
#include "treeview/check_images_win.h"
#include "treeview/theme_services_win.h"

#include <vssym32.h>

namespace kv {

namespace {

// A 32-bit top-down DIB section; throws when GDI refuses.
ui::BitmapObject MakeDib(HDC dc, int width, int height, std::uint32_t** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = std::max(width, 1);
  bi.bmiHeader.biHeight = -std::max(height, 1);
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* raw = nullptr;
  ui::BitmapObject bitmap(CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &raw, nullptr, 0));
  if (!bitmap || raw == nullptr) throw std::runtime_error("The tree's row bitmap could not be made.");
  *bits = static_cast<std::uint32_t*>(raw);
  return bitmap;
}

// A row bitmap of the format; `bits` is set for 32 bits only (the pixels
// the buttons are written into), null otherwise. Throws when GDI refuses.
ui::BitmapObject MakeNodeBitmap(HDC target, HDC dc, int width, int height, TPixelFormat format,
                                std::uint32_t** bits) {
  *bits = nullptr;
  if (format == TPixelFormat::pf32bit) return MakeDib(dc, width, height, bits);
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (format == TPixelFormat::pfDevice) {
    ui::BitmapObject bitmap(CreateCompatibleBitmap(target, width, height));
    if (!bitmap) throw std::runtime_error("The tree's row bitmap could not be made.");
    return bitmap;
  }
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } bi{};
  bi.header.biSize = sizeof bi.header;
  bi.header.biWidth = width;
  bi.header.biHeight = -height;
  bi.header.biPlanes = 1;
  bi.header.biCompression = BI_RGB;
  switch (format) {
    case TPixelFormat::pf1bit:
      bi.header.biBitCount = 1;
      bi.colors[1] = RGBQUAD{255, 255, 255, 0};
      break;
    case TPixelFormat::pf4bit: {
      bi.header.biBitCount = 4;
      // The sixteen standard colours.
      static constexpr COLORREF kStandard[16] = {
          RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
          RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
          RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
          RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
      for (int i = 0; i < 16; ++i)
        bi.colors[i] = RGBQUAD{GetBValue(kStandard[i]), GetGValue(kStandard[i]), GetRValue(kStandard[i]), 0};
      break;
    }
    case TPixelFormat::pf8bit: {
      bi.header.biBitCount = 8;
      HPALETTE halftone = CreateHalftonePalette(nullptr);
      PALETTEENTRY entries[256]{};
      const UINT count = halftone != nullptr ? GetPaletteEntries(halftone, 0, 256, entries) : 0;
      if (halftone != nullptr) DeleteObject(halftone);
      for (UINT i = 0; i < count; ++i) bi.colors[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
      bi.header.biClrUsed = count;
      break;
    }
    case TPixelFormat::pf15bit: bi.header.biBitCount = 16; break;  // 5-5-5 without masks
    case TPixelFormat::pf16bit: {
      bi.header.biBitCount = 16;
      bi.header.biCompression = BI_BITFIELDS;
      const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
      std::memcpy(bi.colors, masks, sizeof masks);
      break;
    }
    default: bi.header.biBitCount = 24; break;
  }
  void* raw = nullptr;
  ui::BitmapObject bitmap(
      CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&bi), DIB_RGB_COLORS, &raw, nullptr, 0));
  if (!bitmap || raw == nullptr) throw std::runtime_error("The tree's row bitmap could not be made.");
  return bitmap;
}

void FillColor(HDC dc, const RECT& r, COLORREF color) {
  const COLORREF old = SetBkColor(dc, color);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  SetBkColor(dc, old);
}

std::uint32_t PixelOf(COLORREF c) {
  return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}

// round(x / 2) with halves to the even integer.
int HalfEven(int x) {
  const int q = x / 2;
  if (x % 2 == 0) return q;
  const int lower = x < 0 ? q - 1 : q;  // floor
  return lower % 2 == 0 ? lower : lower + 1;
}

}  // namespace

// ------------------------------------------------------------- properties --

void TBaseLazyTree::SetLineStyle(TLTLineStyle style) {
  if (lineStyle_ == style) return;
  lineStyle_ = style;
  PrepareBitmaps(false, true);
  InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetLineMode(TLTLineMode mode) {
  if (lineMode_ == mode) return;
  lineMode_ = mode;
  if (!Loading()) InvalidateClientRect(nullptr);
}

// The buttons are rebuilt at once, also while a layout loads: nothing
// rebuilds them when loading ends, so a window made before would keep the old.
void TBaseLazyTree::SetButtonStyle(TLTButtonStyle style) {
  if (buttonStyle_ == style) return;
  buttonStyle_ = style;
  PrepareBitmaps(true, false);
  InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetButtonFillMode(TLTButtonFillMode mode) {
  if (buttonFillMode_ == mode) return;
  buttonFillMode_ = mode;
  PrepareBitmaps(true, false);
  InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetNodeAlignment(TLTNodeAlignment value) {
  if (nodeAlignment_ == value) return;
  nodeAlignment_ = value;
  if (!Loading()) InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetImages(ui::TImageList* list) {
  ChangeImageList(images_, imagesLink_, list);
  InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetStateImages(ui::TImageList* list) {
  ChangeImageList(stateImages_, stateImagesLink_, list);
  InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetBackground(HBITMAP bitmap) {
  background_ = bitmap;
  if (ownBackground_ != nullptr && ownBackground_->Get() != bitmap) ownBackground_.reset();
  InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetBackground(std::shared_ptr<const ui::BitmapObject> picture) {
  background_ = picture != nullptr ? picture->Get() : nullptr;
  ownBackground_ = std::move(picture);
  InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetBackgroundOffset(int x, int y) {
  backgroundOffset_ = {x, y};
  InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetCheckImageKind(TCheckImageKind kind) {
  if (checkImageKind_ == kind) return;
  checkImageKind_ = kind;
  if (UpdateCount() == 0 && !Loading()) InvalidateClientRect(nullptr);
}

void TBaseLazyTree::SetCustomCheckImages(ui::TImageList* list) {
  if (customCheckImages_ == list) return;
  ChangeImageList(customCheckImages_, customCheckImagesLink_, list);
  if (!Loading()) InvalidateClientRect(nullptr);
}

HIMAGELIST TBaseLazyTree::CurrentCheckImages() const {
  return CheckImagesFor(checkImageKind_, customCheckImages_ != nullptr ? customCheckImages_->HandleIfMade() : nullptr);
}

// ------------------------------------------------------------- resources --

void TBaseLazyTree::PrepareBitmaps(bool needButtons, bool needLines) {
  if (needButtons) {
    buttonsThemed_ = TreeStates().Contains(tsUseThemes) && ThemeServices().ThemesEnabled();
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    for (bool plus : {true, false}) {
      std::uint32_t* bits = nullptr;
      ui::BitmapObject bitmap = MakeDib(dc.Get(), kButtonSize, kButtonSize, &bits);
      {
        const ui::SelectedObject selected = ui::SelectInto(dc.Get(), bitmap.Get());
        const RECT all{0, 0, kButtonSize, kButtonSize};
        FillColor(dc.Get(), all, kButtonTransparent);
        if (buttonStyle_ == TLTButtonStyle::bsTriangle) {
          const ui::BrushObject brush = ui::MakeSolidBrush(RGB(0, 0, 0));
          const ui::PenObject pen = ui::MakeSolidPen(RGB(0, 0, 0), 1);
          const ui::SelectedObject b = ui::SelectInto(dc.Get(), brush.Get());
          const ui::SelectedObject p = ui::SelectInto(dc.Get(), pen.Get());
          const POINT minus[3] = {{0, 2}, {8, 2}, {4, 6}};
          const POINT plusPts[3] = {{2, 0}, {6, 4}, {2, 8}};
          Polygon(dc.Get(), plus ? plusPts : minus, 3);
        } else if (buttonFillMode_ == TLTButtonFillMode::fmShaded) {
          const ui::BitmapObject shaded = ui::LoadBitmapResource(plus ? "LT_XPBUTTONPLUS" : "LT_XPBUTTONMINUS");
          const ui::MemoryDc from = ui::CreateMemoryDc(nullptr);
          const ui::SelectedObject s = ui::SelectInto(from.Get(), shaded.Get());
          BitBlt(dc.Get(), 0, 0, kButtonSize, kButtonSize, from.Get(), 0, 0, SRCCOPY);
        } else {
          if (buttonFillMode_ == TLTButtonFillMode::fmTreeColor) {
            FillColor(dc.Get(), all, ui::ColorToRGB(Color()));
          } else if (buttonFillMode_ == TLTButtonFillMode::fmWindowColor) {
            FillColor(dc.Get(), all, GetSysColor(COLOR_WINDOW));
          }
          const ui::BrushObject frame = ui::MakeSolidBrush(ui::ColorToRGB(colors_.Color(TLTColors::TreeLineColor)));
          FrameRect(dc.Get(), &all, frame.Get());
          const COLORREF ink = ui::ColorToRGB(Font().color);
          const RECT bar{2, kButtonSize / 2, kButtonSize - 2, kButtonSize / 2 + 1};
          FillColor(dc.Get(), bar, ink);
          if (plus) FillColor(dc.Get(), RECT{kButtonSize / 2, 2, kButtonSize / 2 + 1, kButtonSize - 2}, ink);
        }
        if (buttonsThemed_) {
          ThemeServices().DrawElement(dc.Get(), GetElementDetails(plus ? TThemedTreeview::ttGlyphClosed
                                                                       : TThemedTreeview::ttGlyphOpened), all);
        }
      }
      GdiFlush();
      auto& target = plus ? plusPixels_ : minusPixels_;
      for (std::size_t i = 0; i < target.size(); ++i) target[i] = bits[i] & 0xFFFFFFu;
    }
  }
  if (needLines) {
    std::uint8_t pattern[8];
    for (int row = 0; row < 8; ++row) {
      pattern[row] = lineStyle_ == TLTLineStyle::lsSolid ? 0 : (row % 2 == 0 ? 0x55 : 0xAA);
    }
    if (lineStyle_ == TLTLineStyle::lsCustomStyle) DoGetLineStyle(pattern);
    WORD words[8];
    for (int row = 0; row < 8; ++row) words[row] = pattern[row];
    const ui::BitmapObject mono(CreateBitmap(8, 8, 1, 1, words));
    if (!mono) throw std::runtime_error("The tree's line pattern could not be made.");
    lineBrush_ = ui::BrushObject(CreatePatternBrush(mono.Get()));
  }
}

// --------------------------------------------------------------- helpers --

bool TBaseLazyTree::PaintFocused() const {
  return HandleAllocated() && GetFocus() == HandleIfAllocated();
}

void TBaseLazyTree::SelectionColors(COLORREF& brush, COLORREF& pen) const {
  const bool focused = PaintFocused() || HasOption(toPopupMode);
  brush = ui::ColorToRGB(colors_.Color(focused ? TLTColors::FocusedSelectionColor
                                               : TLTColors::UnfocusedSelectionColor));
  pen = ui::ColorToRGB(colors_.Color(focused ? TLTColors::FocusedSelectionBorderColor
                                             : TLTColors::UnfocusedSelectionBorderColor));
}

void TBaseLazyTree::DoGetImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column,
                                    bool& ghosted, int& index) {
  if (OnGetImageIndex) OnGetImageIndex(*this, node, kind, column, ghosted, index);
}

int TBaseLazyTree::ImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column, bool& ghosted) {
  int index = -1;
  DoGetImageIndex(node, kind, column, ghosted, index);
  return index;
}

void TBaseLazyTree::DoBeforeItemErase(HDC dc, PLazyNode node, const RECT& r, COLORREF& color,
                                      TItemEraseAction& action) {
  if (OnBeforeItemErase) OnBeforeItemErase(*this, dc, node, r, color, action);
}

void TBaseLazyTree::DoAfterItemErase(HDC dc, PLazyNode node, const RECT& r) {
  if (OnAfterItemErase) OnAfterItemErase(*this, dc, node, r);
}

void TBaseLazyTree::DoBeforePaint(HDC dc) {
  if (OnBeforePaint) OnBeforePaint(*this, dc);
}

void TBaseLazyTree::DoAfterPaint(HDC dc) {
  if (OnAfterPaint) OnAfterPaint(*this, dc);
}

bool TBaseLazyTree::DoPaintBackground(HDC dc, const RECT& r) {
  bool handled = false;
  if (OnPaintBackground) OnPaintBackground(*this, dc, r, handled);
  return handled;
}

void TBaseLazyTree::DoBeforeCellPaint(HDC dc, PLazyNode node, TColumnIndex column, const RECT& cell) {
  if (OnBeforeCellPaint) OnBeforeCellPaint(*this, dc, node, column, cell);
}

void TBaseLazyTree::DoAfterCellPaint(HDC dc, PLazyNode node, TColumnIndex column, const RECT& cell) {
  if (OnAfterCellPaint) OnAfterCellPaint(*this, dc, node, column, cell);
}

void TBaseLazyTree::DoMeasureItem(HDC dc, PLazyNode node, int& height) {
  if (OnMeasureItem) OnMeasureItem(*this, dc, node, height);
}

void TBaseLazyTree::MeasureItemHeight(PLazyNode node) {
  if (node == nullptr || IsRoot(node) || node->States.Contains(nsHeightMeasured)) return;
  node->States.Include(nsHeightMeasured);
  int height = node->NodeHeight;
  if (PaintCanvas() != nullptr) {
    DoMeasureItem(PaintCanvas(), node, height);
  } else {
    const ui::WindowDc screen = ui::GetClientDc(HandleAllocated() ? HandleIfAllocated() : nullptr);
    DoMeasureItem(screen.Get(), node, height);
  }
  if (height >= 0 && static_cast<std::uint32_t>(height) != node->NodeHeight)
    SetNodeHeight(node, static_cast<std::uint32_t>(height));
}

int TBaseLazyTree::InitializeLineImageAndSelectLevel(PLazyNode node,
                                                    std::vector<TLTLineType>& lineImage) {
  int selectLevel = 0;
  int ancestors = 0;
  PLazyNode top = node;
  for (PLazyNode p = node->Parent; p != nullptr && !IsRoot(p); p = p->Parent) {
    ++ancestors;
    if (Selected(p)) ++selectLevel;
    top = p;
  }
  const bool showRoot = HasOption(toShowRoot);
  const int shift = showRoot ? 0 : -1;  // entry index of a level
  lineImage.assign(static_cast<std::size_t>(ancestors + (showRoot ? 1 : 0)), ltNone);
  if (!HasOption(toShowTreeLines)) return selectLevel;
  if (ancestors > 0) {
    lineImage.back() = HasVisibleNextSibling(node) ? ltTopDownRight : ltTopRight;
    int level = ancestors - 1;
    for (PLazyNode p = node->Parent; level >= 1; p = p->Parent, --level) {
      lineImage[static_cast<std::size_t>(level + shift)] = HasVisibleNextSibling(p) ? ltTopDown : ltNone;
    }
  }
  if (showRoot) {
    if (ancestors > 0) {
      lineImage[0] = HasVisibleNextSibling(top) ? ltTopDown : ltNone;
    } else {
      const bool first = GetPreviousVisibleSiblingNoInit(node) == nullptr;
      const bool last = !HasVisibleNextSibling(node);
      lineImage[0] = first && last ? ltRight : first ? ltBottomRight : last ? ltTopRight : ltTopDownRight;
    }
  }
  return selectLevel;
}

void TBaseLazyTree::CalculateVerticalAlignments(PLazyNode node, int& vAlign, int& buttonY) const {
  const int height = node->NodeHeight;
  switch (nodeAlignment_) {
    case TLTNodeAlignment::naFromTop: vAlign = node->Align; break;
    case TLTNodeAlignment::naFromBottom: vAlign = height - node->Align; break;
    case TLTNodeAlignment::naProportional: {
      int h = -1;
      const ui::TImageList* list = images_ != nullptr ? images_ : stateImages_;
      if (list != nullptr) h = list->Height();
      else if (HasOption(toShowButtons)) h = kButtonSize;
      vAlign = h >= 0 ? MulDiv(height - h, node->Align, 100) + h / 2 : MulDiv(height, node->Align, 100);
      break;
    }
  }
  buttonY = vAlign - kButtonSize / 2;
}

void TBaseLazyTree::AdjustImageBorder(int width, int height, TLTBidiMode bidi, int vAlign, RECT& r,
                                      TLTImageInfo& info) const {
  if (bidi == TLTBidiMode::bdLeftToRight) {
    info.XPos = r.left;
    r.left += width + 2;
  } else {
    info.XPos = r.right - width;
    r.right -= width + 2;
  }
  info.YPos = r.top + vAlign - height / 2;
}

void TBaseLazyTree::DrawDottedHLine(const TLTPaintInfo& info, int left, int right, int top) {
  const RECT r{std::min(left, right), top, std::max(left, right) + 1, top + 1};
  SetBkColor(info.Canvas, ui::ColorToRGB(Color()));
  FillRect(info.Canvas, &r, lineBrush_.Get());
}

void TBaseLazyTree::DrawDottedVLine(const TLTPaintInfo& info, int top, int bottom, int left) {
  const RECT r{left, std::min(top, bottom), left + 1, std::max(top, bottom) + 1};
  SetBkColor(info.Canvas, ui::ColorToRGB(Color()));
  FillRect(info.Canvas, &r, lineBrush_.Get());
}

void TBaseLazyTree::DrawLineImage(const TLTPaintInfo& info, int x, int y, int h, int vAlign,
                                  TLTLineType style, bool reverse) {
  const int indent = static_cast<int>(Indent());
  const int mid = x + indent / 2;
  auto stroke = [&] { DrawDottedHLine(info, mid, reverse ? x : x + indent, y + vAlign); };
  switch (style) {
    case ltNone: break;
    case ltBottomRight: DrawDottedVLine(info, y + vAlign, y + h, mid); stroke(); break;
    case ltTopDown: DrawDottedVLine(info, y, y + h, mid); break;
    case ltTopDownRight: DrawDottedVLine(info, y, y + h, mid); stroke(); break;
    case ltRight: stroke(); break;
    case ltTopRight: DrawDottedVLine(info, y, y + vAlign, mid); stroke(); break;
    case ltLeft: DrawDottedVLine(info, y, y + h, reverse ? x + indent : x); break;
    case ltLeftBottom:
      DrawDottedVLine(info, y, y + h, reverse ? x + indent : x);
      DrawDottedHLine(info, x, x + indent, y + h);
      break;
  }
}

void TBaseLazyTree::PaintTreeLines(TLTPaintInfo& info, int vAlign, int indentSize,
                                   const TLTLineType* lineImage) {
  const int indent = static_cast<int>(Indent());
  const bool rtl = info.BidiMode != TLTBidiMode::bdLeftToRight;
  int x = rtl ? info.CellRect.right - indent : info.CellRect.left;
  const int step = rtl ? -indent : indent;
  const int h = info.Node->NodeHeight;  // the full row, grid line included
  if (lineMode_ == TLTLineMode::lmNormal) {
    SetTextColor(info.Canvas, ui::ColorToRGB(colors_.Color(TLTColors::TreeLineColor)));
    for (int i = 0; i < indentSize; ++i, x += step) {
      DrawLineImage(info, x, info.CellRect.top, h, vAlign, lineImage[i], rtl);
    }
    return;
  }
  if ((info.PaintOptions & poGridLines) == 0 || indentSize == 0) return;
  std::vector<TLTLineType> bands(static_cast<std::size_t>(indentSize), ltNone);
  for (int i = indentSize - 1; i >= 0; --i) {
    const TLTLineType entry = lineImage[i];
    TLTLineType band = ltNone;
    if (i == indentSize - 1 && Expanded(info.Node)) {
      band = ltLeft;
    } else {
      switch (entry) {
        case ltBottomRight: case ltTopDownRight: case ltRight: case ltTopRight: band = ltLeftBottom; break;
        case ltNone: case ltTopDown: {
          const TLTLineType right = i + 1 < indentSize ? lineImage[i + 1] : ltNone;
          band = right != ltNone && right != ltTopRight ? ltLeft
                 : i + 1 < indentSize ? bands[static_cast<std::size_t>(i + 1)] : ltNone;
          break;
        }
        default: band = ltNone; break;
      }
    }
    bands[static_cast<std::size_t>(i)] = band;
  }
  SetTextColor(info.Canvas, ui::ColorToRGB(colors_.Color(TLTColors::GridLineColor)));
  for (int i = 0; i < indentSize; ++i, x += step) {
    DrawLineImage(info, x, info.CellRect.top, h - 1, vAlign, bands[static_cast<std::size_t>(i)], rtl);
  }
}

bool TBaseLazyTree::DoBeforeItemPaint(HDC dc, PLazyNode node, const RECT& r) {
  bool customDraw = false;
  if (OnBeforeItemPaint) OnBeforeItemPaint(*this, dc, node, r, customDraw);
  return customDraw;
}

void TBaseLazyTree::DoAfterItemPaint(HDC dc, PLazyNode node, const RECT& r) {
  if (OnAfterItemPaint) OnAfterItemPaint(*this, dc, node, r);
}

void TBaseLazyTree::DoGetLineStyle(std::uint8_t (&pattern)[8]) {
  if (OnGetLineStyle) OnGetLineStyle(*this, pattern);
}

void TBaseLazyTree::PaintNodeButton(HDC dc, PLazyNode node, const RECT& r, int buttonX,
                                    int buttonY, TLTBidiMode bidi) {
  const auto& pixels = Expanded(node) ? minusPixels_ : plusPixels_;
  const int left = bidi == TLTBidiMode::bdLeftToRight ? r.left + buttonX
                                                      : r.right - buttonX - kButtonSize;
  const int top = r.top + buttonY;
  if (nodeBits_ == nullptr) {
    // A row bitmap of another format: the picture through a mask, clipped to the cell.
    DrawButtonPicture(dc, pixels, left, top, r);
    return;
  }
  GdiFlush();
  const std::uint32_t transparent = PixelOf(kButtonTransparent);
  for (int y = 0; y < kButtonSize; ++y) {
    const int row = top + y;
    if (row < 0 || row >= nodeBitsHeight_) continue;
    for (int x = 0; x < kButtonSize; ++x) {
      const int column = left + x - nodeBitsLeft_;
      const std::uint32_t p = pixels[static_cast<std::size_t>(y * kButtonSize + x)];
      // Written into the pixels directly, so kept inside the cell by hand.
      if (left + x < r.left || left + x >= r.right) continue;
      if (column < 0 || column >= nodeBitsWidth_ || p == transparent) continue;
      nodeBits_[static_cast<std::size_t>(row) * static_cast<std::size_t>(nodeBitsWidth_) +
                static_cast<std::size_t>(column)] = p;
    }
  }
}

void TBaseLazyTree::DrawButtonPicture(HDC dc, const std::array<std::uint32_t, kButtonSize * kButtonSize>& pixels,
                                      int left, int top, const RECT& cell) {
  const std::uint32_t transparent = PixelOf(kButtonTransparent);
  const ui::MemoryDc source = ui::CreateMemoryDc(dc);
  std::uint32_t* bits = nullptr;
  const ui::BitmapObject picture = MakeDib(source.Get(), kButtonSize, kButtonSize, &bits);
  // 1 marks the transparent pixels (one bit a pixel, rows of 16 bits).
  WORD maskRows[kButtonSize]{};
  for (int i = 0; i < kButtonSize * kButtonSize; ++i) {
    const bool clear = pixels[static_cast<std::size_t>(i)] == transparent;
    bits[i] = clear ? 0 : pixels[static_cast<std::size_t>(i)];
    if (clear) maskRows[i / kButtonSize] |= static_cast<WORD>(0x8000u >> (i % kButtonSize));
  }
  for (WORD& row : maskRows) row = static_cast<WORD>((row >> 8) | (row << 8));  // bytes in screen order
  const ui::BitmapObject mask(CreateBitmap(kButtonSize, kButtonSize, 1, 1, maskRows));
  if (!mask) return;
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, cell.left, cell.top, cell.right, cell.bottom);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  {
    const ui::SelectedObject m = ui::SelectInto(source.Get(), mask.Get());
    BitBlt(dc, left, top, kButtonSize, kButtonSize, source.Get(), 0, 0, SRCAND);
  }
  {
    const ui::SelectedObject p = ui::SelectInto(source.Get(), picture.Get());
    BitBlt(dc, left, top, kButtonSize, kButtonSize, source.Get(), 0, 0, SRCPAINT);
  }
  RestoreDC(dc, saved);
}

void TBaseLazyTree::PaintCheckImage(TLTPaintInfo& info) {
  const TLTImageInfo& image = info.ImageInfo[iiCheck];
  if (image.Index < 1) return;
  if (TreeStates().Contains(tsUseThemes) && checkImageKind_ != ckCustom && ThemeServices().ThemesEnabled()) {
    // The style's own part: radio button, check box or push button, with the
    // state number the image index gives inside its group.
    TThemedElementDetails details;
    details.element = TThemedElement::teButton;
    if (image.Index <= 8) {
      details.part = BP_RADIOBUTTON;
      details.state = image.Index;
    } else if (image.Index <= 20) {
      details.part = BP_CHECKBOX;
      details.state = image.Index - 8;
    } else {
      details.part = BP_PUSHBUTTON;
      details.state = image.Index - 20;
    }
    const RECT r{image.XPos, image.YPos, image.XPos + 16, image.YPos + 16};
    ThemeServices().DrawElement(info.Canvas, details, r);
    if (details.part == BP_PUSHBUTTON) ImageList_Draw(UtilityImages(), 1, info.Canvas, r.left, r.top, ILD_TRANSPARENT);
    return;
  }
  HIMAGELIST list = CurrentCheckImages();
  if (list == nullptr) return;
  ImageList_Draw(list, image.Index, info.Canvas, image.XPos, image.YPos, ILD_TRANSPARENT);
}

void TBaseLazyTree::PaintImage(TLTPaintInfo& info, TLTImageInfoIndex slot, ui::TImageList& images,
                               bool overlay) {
  HIMAGELIST list = images.HandleIfMade();
  if (list == nullptr) return;
  const TLTImageInfo& image = info.ImageInfo[slot];
  PLazyNode node = info.Node;
  const bool cutNode = node->States.Contains(nsCutCopyMarked) && TreeStates().Contains(tsCutPending);
  const bool paintFocused = PaintFocused() || HasOption(toGhostedIfUnfocused);
  // No colour blends nothing in.
  const auto blendColor = [](ui::TColor c) { return c == ui::clNone ? CLR_NONE : ui::ColorToRGB(c); };
  COLORREF blend = blendColor(Color());
  const bool selected = Selected(node);
  if (selected && !image.Ghosted && !cutNode) {
    blend = blendColor(colors_.Color(paintFocused || HasOption(toPopupMode) ? TLTColors::FocusedSelectionColor
                                                                             : TLTColors::UnfocusedSelectionColor));
  }
  int overlayIndex = -1;
  if (overlay) {
    bool ghosted = false;
    overlayIndex = ImageIndex(node, TLTImageKind::ikOverlay, info.Column, ghosted);
  }
  UINT style = ILD_TRANSPARENT;
  if (overlayIndex >= 0) style |= INDEXTOOVERLAYMASK(overlayIndex + 1);
  const bool enabled = !node->States.Contains(nsDisabled) && Enabled();
  if (enabled) {
    if (HasOption(toUseBlendedImages) && paintFocused &&
        (image.Ghosted || (selected && !HasOption(toFullRowSelect) && !HasOption(toGridExtensions)) ||
         cutNode)) {
      style |= ILD_SELECTED;
    }
    if (images.ImageType() == ui::TImageType::itMask) style |= ILD_MASK;
  } else {
    images.DrawDisabled(info.Canvas, image.XPos, image.YPos, image.Index, style & ILD_OVERLAYMASK);
    return;
  }
  const COLORREF foreground = selected && !image.Ghosted ? CLR_DEFAULT : blend;
  ImageList_DrawEx(list, image.Index, info.Canvas, image.XPos, image.YPos, 0, 0,
                   ImageList_GetBkColor(list), foreground, style);
}

void TBaseLazyTree::TileBackground(HDC dc, POINT offset, const RECT& r) {
  BITMAP bm{};
  if (background_ == nullptr || GetObjectW(background_, sizeof bm, &bm) == 0 || bm.bmWidth <= 0 ||
      bm.bmHeight <= 0)
    return;
  const ui::MemoryDc source = ui::CreateMemoryDc(dc);
  const ui::SelectedObject selected = ui::SelectInto(source.Get(), background_);
  auto positiveMod = [](long v, long m) { return static_cast<int>(((v % m) + m) % m); };
  const int startX = positiveMod(r.left + offset.x + backgroundOffset_.x, bm.bmWidth);
  int sy = positiveMod(r.top + offset.y + backgroundOffset_.y, bm.bmHeight);
  for (int y = r.top; y < r.bottom; sy = 0) {
    const int h = std::min<int>(bm.bmHeight - sy, r.bottom - y);
    int sx = startX;
    for (int x = r.left; x < r.right; sx = 0) {
      const int w = std::min<int>(bm.bmWidth - sx, r.right - x);
      BitBlt(dc, x, y, w, h, source.Get(), sx, sy, SRCCOPY);
      x += w;
    }
    y += h;
  }
}

void TBaseLazyTree::PaintSelectionRectangle(HDC dc, int windowOrgX, const RECT& band, const RECT& target) {
  if ((drawSelectionMode_ == TLTDrawSelectionMode::smBlendedRectangle ||
       TreeStates().Contains(tsUseThemes)) && MMXAvailable()) {
    RECT inside;
    if (IntersectRect(&inside, &band, &target)) {
      RECT pixels = inside;
      OffsetRect(&pixels, -windowOrgX, 0);
      AlphaBlend(nullptr, dc, pixels, POINT{pixels.left, pixels.top}, TBlendMode::bmConstantAlphaAndColor,
                 SelectionBlendFactor(),
                 static_cast<int>(ui::ColorToRGB(colors_.Color(TLTColors::SelectionRectangleBlendColor))));
    }
    const ui::BrushObject border =
        ui::MakeSolidBrush(ui::ColorToRGB(colors_.Color(TLTColors::SelectionRectangleBorderColor)));
    FrameRect(dc, &band, border.Get());
    return;
  }
  const COLORREF oldText = SetTextColor(dc, RGB(255, 255, 255));
  const COLORREF oldBack = SetBkColor(dc, RGB(0, 0, 0));
  DrawFocusRect(dc, &band);
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
}

// ------------------------------------------------------------- the rows --

void TBaseLazyTree::ClearNodeBackground(TLTPaintInfo& info, bool useBackground, POINT tileOffset,
                                        RECT r) {
  COLORREF color = ui::ColorToRGB(Color());
  TItemEraseAction action = TItemEraseAction::eaDefault;
  DoBeforeItemErase(info.Canvas, info.Node, r, color, action);
  switch (action) {
    case TItemEraseAction::eaColor: FillColor(info.Canvas, r, color); break;
    case TItemEraseAction::eaNone: break;
    case TItemEraseAction::eaDefault:
      if (useBackground) {
        TileBackground(info.Canvas, tileOffset, r);
      } else if ((info.PaintOptions & poDrawSelection) && HasOption(toFullRowSelect) &&
                 Selected(info.Node)) {
        FillColor(info.Canvas, r, ui::ColorToRGB(Color()));
        RECT s = r;
        if (HasOption(toShowHorzGridLines)) --s.bottom;
        COLORREF brushColor = 0, penColor = 0;
        SelectionColors(brushColor, penColor);
        const ui::BrushObject brush = ui::MakeSolidBrush(brushColor);
        const ui::PenObject pen = ui::MakeSolidPen(penColor, 1);
        const ui::SelectedObject b = ui::SelectInto(info.Canvas, brush.Get());
        const ui::SelectedObject p = ui::SelectInto(info.Canvas, pen.Get());
        const int radius = static_cast<int>(SelectionCurveRadius());
        RoundRect(info.Canvas, s.left, s.top, s.right, s.bottom, radius, radius);
      } else {
        // The tree's own erasing: the colour offered to the owner counts
        // only with eaColor.
        FillColor(info.Canvas, r, ui::ColorToRGB(Color()));
      }
      break;
  }
  DoAfterItemErase(info.Canvas, info.Node, r);
}

void TBaseLazyTree::PrepareCell(TLTPaintInfo& info, int maxWidth) {
  const bool focusedColumn = info.Column == FocusedColumn();
  if (!focusedColumn && !HasOption(toFullRowSelect)) return;
  RECT selection = info.ContentRect;
  const int contentWidth = selection.right - selection.left;
  if (!HasOption(toGridExtensions) && info.NodeWidth < contentWidth) {
    switch (info.Alignment) {
      case TLTAlignment::taLeftJustify: selection.right = selection.left + info.NodeWidth; break;
      case TLTAlignment::taRightJustify: selection.left = selection.right - info.NodeWidth; break;
      case TLTAlignment::taCenter:
        selection.left += (contentWidth - info.NodeWidth) / 2;
        selection.right = selection.left + info.NodeWidth;
        break;
    }
  }
  // The drop target shows its own colours while something is dropped on it
  // (or on the selection it belongs to).
  const bool dropTarget = ShowsDropTargetColors(info.Node);
  if ((info.PaintOptions & poDrawSelection) && (dropTarget || Selected(info.Node))) {
    COLORREF brushColor = 0, penColor = 0;
    SelectionColors(brushColor, penColor);
    if (dropTarget) {
      brushColor = ui::ColorToRGB(Colors().Color(TLTColors::DropTargetColor));
      penColor = ui::ColorToRGB(Colors().Color(TLTColors::DropTargetBorderColor));
    }
    RECT r = HasOption(toGridExtensions) || HasOption(toFullRowSelect) ? info.CellRect : selection;
    if (!IsRectEmpty(&r)) {
      if (HasOption(toUseBlendedSelection) && MMXAvailable()) {
        // Blending works on the bitmap's pixels: move out of the window origin.
        POINT origin{};
        GetWindowOrgEx(info.Canvas, &origin);
        OffsetRect(&r, -origin.x, -origin.y);
        r.left = std::max<LONG>(r.left, 0);
        r.right = std::min<LONG>(r.right, maxWidth);
        AlphaBlend(nullptr, info.Canvas, r, POINT{r.left, r.top}, TBlendMode::bmConstantAlphaAndColor,
                   SelectionBlendFactor(), static_cast<int>(brushColor));
      } else {
        const ui::BrushObject brush = ui::MakeSolidBrush(brushColor);
        const ui::PenObject pen = ui::MakeSolidPen(penColor, 1);
        const ui::SelectedObject b = ui::SelectInto(info.Canvas, brush.Get());
        const ui::SelectedObject p = ui::SelectInto(info.Canvas, pen.Get());
        const int radius = static_cast<int>(SelectionCurveRadius());
        RoundRect(info.Canvas, r.left, r.top, r.right, r.bottom, radius, radius);
      }
    }
  }
  if ((info.PaintOptions & poDrawFocusRect) && focusedColumn &&
      (PaintFocused() || HasOption(toPopupMode)) && info.Node == FocusedNode()) {
    const COLORREF oldText = SetTextColor(info.Canvas, RGB(255, 255, 255));
    const COLORREF oldBack = SetBkColor(info.Canvas, RGB(0, 0, 0));
    const RECT focus = HasOption(toGridExtensions) ? info.CellRect : selection;
    DrawFocusRect(info.Canvas, &focus);
    SetTextColor(info.Canvas, oldText);
    SetBkColor(info.Canvas, oldBack);
  }
}

// The cells of one row, column by column in display order (one cell over
// the whole row without columns). `info` holds the row; each cell gets its
// own rectangle, options, images and reading order.
void TBaseLazyTree::PaintCells(TLTPaintInfo& info, const RECT& row, const RECT& window, int h, int vAlign,
                               int buttonX, int buttonY, int indentSize, const TLTLineType* lineImage,
                               HIMAGELIST checkImages, int checkWidth, int checkHeight, int maxWidth) {
  HDC dc = info.Canvas;
  PLazyNode node = info.Node;
  const std::uint32_t requested = info.PaintOptions;
  const bool useColumns = HeaderUsesColumns();
  const TLazyTreeColumns* columns = useColumns ? &header_->Columns() : nullptr;
  const int indent = static_cast<int>(Indent());
  info.CellRect = row;
  TColumnIndex column = kNoColumn;
  info.Position = 0;
  if (useColumns) {
    column = columns->GetFirstVisibleColumn();
    if (column >= 0) {
      const TLazyTreeColumn& c = columns->Items(column);
      info.CellRect.left = c.Left();
      info.CellRect.right = c.Left() + c.Width();
      info.Position = c.Position();
    }
  } else {
    // The one cell is the row's whole extent in tree coordinates, not the
    // painted part: an update rectangle, the horizontal scroll or the drag
    // image's background may cover only some of it, and right-aligned,
    // centred or right-to-left content is placed from the cell's edges.
    info.CellRect.left = 0;
    info.CellRect.right = std::max<int>(ViewWidth(), static_cast<int>(RangeX()));
  }
  const TColumnIndex lastVisible = useColumns ? columns->GetLastVisibleColumn() : kNoColumn;
  for (;;) {
    if ((useColumns && column < 0) || info.CellRect.left >= window.right) break;
    const TLazyTreeColumn* c = useColumns ? &columns->Items(column) : nullptr;
    info.Column = column;
    info.BidiMode = c != nullptr ? c->BiDiMode() : bidiMode_;
    info.Alignment = c != nullptr ? c->Alignment() : alignment_;
    info.PaintOptions = requested;
    // The cell under the editor: the edited column, which need not be the focused one.
    const bool underEditor =
        TreeStates().Contains(tsEditing) && node == FocusedNode() && (!useColumns || column == EditColumn());
    if (underEditor) info.PaintOptions &= ~poDrawSelection;
    if (c == nullptr || c->HasOption(coParentColor) ||
        (Selected(node) && HasOption(toFullRowSelect) && (info.PaintOptions & poDrawSelection)))
      info.PaintOptions &= ~poColumnColor;
    const bool isMain = !useColumns || column == HeaderMainColumn();
    const bool rtl = info.BidiMode != TLTBidiMode::bdLeftToRight;
    if (rtl && info.Alignment != TLTAlignment::taCenter)
      info.Alignment = info.Alignment == TLTAlignment::taLeftJustify ? TLTAlignment::taRightJustify
                                                                      : TLTAlignment::taLeftJustify;
    const bool skip = (c != nullptr && !c->HasOption(coVisible)) || ((info.PaintOptions & poMainOnly) && !isMain);
    TColumnIndex next = useColumns ? columns->GetNextVisibleColumn(column) : kNoColumn;
    if (!skip) AdjustPaintCellRect(info, next);
    if (!skip && info.CellRect.right > window.left) {
      for (auto& image : info.ImageInfo) image = TLTImageInfo{};
      info.NodeWidth = DoGetNodeWidth(node, column);
      info.ContentRect = info.CellRect;
      if (rtl) info.ContentRect.right -= Margin();
      else info.ContentRect.left += Margin();
      if (isMain && checkImages != nullptr) {
        info.ImageInfo[iiCheck].Index = GetCheckImage(node);
        if (info.ImageInfo[iiCheck].Index != -1)
          AdjustImageBorder(checkWidth, checkHeight, info.BidiMode, vAlign, info.ContentRect, info.ImageInfo[iiCheck]);
      }
      int iw = 0, ih = 0;
      if (stateImages_ != nullptr) {
        bool ghosted = false;
        info.ImageInfo[iiState].Index = ImageIndex(node, TLTImageKind::ikState, column, ghosted);
        info.ImageInfo[iiState].Ghosted = ghosted;
        if (info.ImageInfo[iiState].Index != -1) {
          iw = stateImages_->Width();
          ih = stateImages_->Height();
          AdjustImageBorder(iw, ih, info.BidiMode, vAlign, info.ContentRect, info.ImageInfo[iiState]);
        }
      }
      if (images_ != nullptr) {
        bool ghosted = false;
        info.ImageInfo[iiNormal].Index = ImageIndex(
            node, Selected(node) ? TLTImageKind::ikSelected : TLTImageKind::ikNormal, column, ghosted);
        info.ImageInfo[iiNormal].Ghosted = ghosted;
        if (info.ImageInfo[iiNormal].Index != -1) {
          iw = images_->Width();
          ih = images_->Height();
          AdjustImageBorder(iw, ih, info.BidiMode, vAlign, info.ContentRect, info.ImageInfo[iiNormal]);
        }
      }
      // The main column's indentation moves the content and the images.
      const int shift = isMain ? indentSize * indent : 0;
      if (rtl) info.ContentRect.right -= shift;
      else info.ContentRect.left += shift;
      for (auto& image : info.ImageInfo) image.XPos += rtl ? -shift : shift;
      // Without columns the widest row measured so far is the horizontal
      // range: the content from the cell's leading edge, the node's width
      // and the margin after it.
      if (!useColumns) {
        const int lead = rtl ? info.CellRect.right - info.ContentRect.right : info.ContentRect.left - info.CellRect.left;
        NoteNodeExtent(node, static_cast<std::uint32_t>(std::max(lead + info.NodeWidth + Margin(), 0)));
      }
      const int saved = useColumns ? SaveDC(dc) : 0;
      if (useColumns)
        IntersectClipRect(dc, info.CellRect.left, info.CellRect.top, info.CellRect.right, info.CellRect.bottom);
      if ((info.PaintOptions & poGridLines) && HasOption(toShowHorzGridLines)) {
        SetTextColor(dc, ui::ColorToRGB(colors_.Color(TLTColors::GridLineColor)));
        int left = info.CellRect.left, right = info.CellRect.right - 1;
        if (isMain && lineMode_ == TLTLineMode::lmBands) {
          if (rtl) right -= shift;
          else left += shift;
        }
        DrawDottedHLine(info, left, right, info.CellRect.bottom - 1);
        --info.CellRect.bottom;
        --info.ContentRect.bottom;
      }
      if (useColumns && (info.PaintOptions & poGridLines) && HasOption(toShowVertGridLines) &&
          !(header_->HasOption(hoAutoResize) && column == lastVisible)) {
        if (!(rtl && ColumnIsEmpty(node, column))) {
          SetTextColor(dc, ui::ColorToRGB(colors_.Color(TLTColors::GridLineColor)));
          DrawDottedVLine(info, info.CellRect.top, info.CellRect.bottom - 1, info.CellRect.right - 1);
        }
        --info.CellRect.right;
        --info.ContentRect.right;
      }
      if (info.PaintOptions & poColumnColor) FillColor(dc, info.CellRect, ui::ColorToRGB(c->Color()));
      DoBeforeCellPaint(dc, node, column, info.CellRect);
      PrepareCell(info, maxWidth);
      if (isMain) {
        if (HasOption(toShowTreeLines)) PaintTreeLines(info, vAlign, indentSize, lineImage);
        if (HasOption(toShowButtons) && node->States.Contains(nsHasChildren) &&
            !(node->States.Contains(nsAllChildrenHidden) && HasOption(toAutoHideButtons))) {
          PaintNodeButton(dc, node, info.CellRect, buttonX, buttonY, info.BidiMode);
        }
        if (info.ImageInfo[iiCheck].Index != -1) PaintCheckImage(info);
      }
      if (info.ImageInfo[iiState].Index != -1) PaintImage(info, iiState, *stateImages_, false);
      if (info.ImageInfo[iiNormal].Index != -1) PaintImage(info, iiNormal, *images_, true);
      if (!underEditor) DoPaintNode(info);
      DoAfterCellPaint(dc, node, column, info.CellRect);
      if (useColumns) RestoreDC(dc, saved);
    }
    if (!useColumns || next < 0) break;
    column = next;
    const TLazyTreeColumn& n = columns->Items(column);
    info.Position = n.Position();
    info.CellRect = RECT{n.Left(), 0, n.Left() + n.Width(), h};
  }
}

// The area below the last row with columns: each visible column's stripe in
// its colour, full-height grid lines, the tree colour right of the columns.
void TBaseLazyTree::PaintColumnStripes(HDC dc, const RECT& window, int originX, int h, std::uint32_t paintOptions) {
  const TLazyTreeColumns& columns = header_->Columns();
  const COLORREF tree = ui::ColorToRGB(Color());
  FillColor(dc, RECT{originX, 0, originX + window.right - window.left, h}, tree);
  const TColumnIndex last = columns.GetLastVisibleColumn();
  const bool grid = (paintOptions & poGridLines) && HasOption(toShowVertGridLines) && HasOption(toFullVertGridLines);
  for (TColumnIndex index : columns.GetVisibleColumns()) {
    const TLazyTreeColumn& c = columns.Items(index);
    const int left = c.Left() - window.left + originX, right = left + c.Width();
    if (right <= originX) continue;
    if (left >= originX + window.right - window.left) break;
    FillColor(dc, RECT{left, 0, right, h}, c.HasOption(coParentColor) ? tree : ui::ColorToRGB(c.Color()));
    if (grid && !(header_->HasOption(hoAutoResize) && index == last))
      FillColor(dc, RECT{right - 1, 0, right, h}, ui::ColorToRGB(colors_.Color(TLTColors::GridLineColor)));
  }
}

void TBaseLazyTree::AdjustPaintCellRect(TLTPaintInfo& info, TColumnIndex& nextColumn) {
  if (HeaderUsesColumns()) nextColumn = header_->Columns().GetNextVisibleColumn(info.Column);
}

bool TBaseLazyTree::ColumnIsEmpty(PLazyNode node, TColumnIndex column) {
  bool empty = true;
  if (OnGetCellIsEmpty) OnGetCellIsEmpty(*this, node, column, empty);
  return empty;
}

void TBaseLazyTree::PaintTree(HDC target, const RECT& window, POINT at, std::uint32_t paintOptions,
                              TPixelFormat pixelFormat) {
  DoStateChange({tsPainting});
  std::optional<ui::MemoryDc> memory;
  ui::BitmapObject bitmap;
  std::optional<ui::SelectedObject> selected;
  ScopeGuard leave([&] {
    selected.reset();
    paintCanvas_ = nullptr;
    nodeBits_ = nullptr;
    try {
      DoStateChange({}, {tsPainting});
    } catch (...) {
    }
  });
  const int width = window.right - window.left;
  DoBeforePaint(target);
  if (width <= 0 || window.bottom <= window.top) {
    DoAfterPaint(target);
    return;
  }
  const bool themed = TreeStates().Contains(tsUseThemes) && ThemeServices().ThemesEnabled();
  if (!lineBrush_ || themed != buttonsThemed_) PrepareBitmaps(true, !lineBrush_);
  memory.emplace(ui::CreateMemoryDc(target));
  HDC dc = memory->Get();
  paintCanvas_ = dc;
  SetMapMode(dc, GetMapMode(target));
  // Blending works on 32-bit pixels.
  const bool blends = MMXAvailable() && (drawSelectionMode_ == TLTDrawSelectionMode::smBlendedRectangle ||
                                   TreeStates().Contains(tsUseThemes) || HasOption(toUseBlendedSelection));
  const TPixelFormat rowFormat = blends ? TPixelFormat::pf32bit : pixelFormat;
  auto makeBitmap = [&](int w, int h, TPixelFormat format) {
    selected.reset();
    std::uint32_t* bits = nullptr;
    bitmap = MakeNodeBitmap(target, dc, w, h, format, &bits);
    selected.emplace(ui::SelectInto(dc, bitmap.Get()));
    nodeBits_ = bits;
    nodeBitsWidth_ = w;
    nodeBitsHeight_ = h;
  };

  const bool useBackground = HasOption(toShowBackground) && background_ != nullptr &&
                             (paintOptions & poBackground) != 0;
  if (HasOption(toAlwaysHideSelection)) {
    paintOptions &= ~poDrawSelection;
  } else if (!PaintFocused() && HasOption(toHideSelection)) {
    paintOptions &= ~poDrawSelection;
  }
  if (HasOption(toHideFocusRect)) paintOptions &= ~poDrawFocusRect;

  // The rubber band in tree coordinates, drawn while the mouse selects.
  RECT band{};
  bool drawBand = false;
  if (IsMouseSelecting()) {
    const TLazyRect ordered = OrderRect(SelectionRect());
    band = RECT{ordered.Left, ordered.Top, ordered.Right, ordered.Bottom};
    drawBand = !IsRectEmpty(&band);
  }
  const int bottomLimit = at.y + (window.bottom - window.top);
  const int indent = static_cast<int>(Indent());
  // Paints the rows from the top of `window` down; answers the target's y below the last one.
  auto paintRows = [&]() -> int {
    int baseOffset = 0;
    PLazyNode node = GetNodeAt(0, window.top, false, baseOffset);
    int targetTop = at.y - (window.top - baseOffset);
    std::vector<TLTLineType> lineImage;
    int selectLevel = 0, indentSize = 0, buttonX = 0;
    if (node != nullptr) {
      if (!node->States.Contains(nsInitialized)) InitNode(node);
      selectLevel = InitializeLineImageAndSelectLevel(node, lineImage);
      indentSize = static_cast<int>(lineImage.size());
      buttonX = indentSize * indent + HalfEven(indent - kButtonSize) - indent;
    }
    HIMAGELIST checkImages = HasOption(toCheckSupport) ? CurrentCheckImages() : nullptr;
    int checkWidth = 0, checkHeight = 0;
    if (checkImages != nullptr) ImageList_GetIconSize(checkImages, &checkWidth, &checkHeight);
    if (checkImages != nullptr && TreeStates().Contains(tsUseThemes) && checkImageKind_ != ckCustom &&
        ThemeServices().ThemesEnabled())
      checkWidth = checkHeight = 16;
    int bitmapHeight = -1;
    while (node != nullptr) {
      if (!node->States.Contains(nsInitialized)) InitNode(node);
      if (Selected(node)) ++selectLevel;
      MeasureItemHeight(node);
      const int h = node->NodeHeight;
      TLTPaintInfo info;
      info.Canvas = dc;
      info.PaintOptions = paintOptions;
      info.Node = node;
      info.BrushOrigin = {window.left & 1, baseOffset & 1};
      const int nodeTop = baseOffset;
      baseOffset += h;
      if (!((paintOptions & poSelectedOnly) && selectLevel < 1) && h > 0) {
        if (bitmapHeight != h) {
          makeBitmap(width, h, rowFormat);
          SetWindowOrgEx(dc, window.left, 0, nullptr);
          bitmapHeight = h;
          nodeBitsLeft_ = window.left;
        }
        const RECT r{window.left, 0, window.right, h};
        SetBrushOrgEx(dc, info.BrushOrigin.x, info.BrushOrigin.y, nullptr);
        int vAlign = 0, buttonY = 0;
        CalculateVerticalAlignments(node, vAlign, buttonY);
        buttonX_ = buttonX;
        buttonY_ = buttonY;
        if (!DoBeforeItemPaint(dc, node, r)) {
          ClearNodeBackground(info, useBackground, POINT{0, nodeTop}, r);
          PaintCells(info, r, window, h, vAlign, buttonX, buttonY, indentSize, lineImage.data(), checkImages,
                     checkWidth, checkHeight, width);
          DoAfterItemPaint(dc, node, r);
          if (node == DropTargetNode() && HasOption(toShowDropmark) && (paintOptions & poDrawDropMark))
            DoPaintDropMark(dc, node, r);
        }
        if (drawBand) {
          RECT rowBand = band;
          OffsetRect(&rowBand, 0, -nodeTop);
          PaintSelectionRectangle(dc, window.left, rowBand, r);
        }
        GdiFlush();
        BitBlt(target, at.x, targetTop, width, h, dc, window.left, 0, SRCCOPY);
      }
      targetTop += h;
      if (targetTop >= bottomLimit) break;

      PLazyNode next = GetNextVisibleNoInit(node);
      if (next == nullptr) break;
      if (next->Parent != node) {
        if (Selected(node)) --selectLevel;
        for (PLazyNode up = node; up->Parent != next->Parent && !IsRoot(up->Parent); up = up->Parent) {
          --indentSize;
          buttonX -= indent;
          if (Selected(up->Parent)) --selectLevel;
        }
      } else {
        if (indentSize > 0)
          lineImage[static_cast<std::size_t>(indentSize - 1)] = HasVisibleNextSibling(node) ? ltTopDown : ltNone;
        ++indentSize;
        buttonX += indent;
      }
      if (static_cast<int>(lineImage.size()) < indentSize) lineImage.resize(static_cast<std::size_t>(indentSize) + 8, ltNone);
      if (indentSize > 0 && HasOption(toShowTreeLines))
        lineImage[static_cast<std::size_t>(indentSize - 1)] = HasVisibleNextSibling(next) ? ltTopDownRight : ltTopRight;
      node = next;
    }
    return targetTop;
  };
  // Without columns right-aligned, centred and right-to-left rows are placed from the edge of the
  // horizontal range, which the painted rows may widen: then every row is placed again, so that the
  // rows above the widest one do not keep the old edge.
  const auto cellWidth = [this] { return std::max<std::int64_t>(ViewWidth(), RangeX()); };
  const std::int64_t widthBefore = cellWidth();
  int targetTop = paintRows();
  if (!HeaderUsesColumns() && cellWidth() != widthBefore &&
      (alignment_ != TLTAlignment::taLeftJustify || bidiMode_ != TLTBidiMode::bdLeftToRight))
    targetTop = paintRows();

  // The area below the last row, drawn with x as on the target: an owner
  // painting it sees where the part lies.
  if (targetTop < bottomLimit) {
    const int h = bottomLimit - targetTop;
    makeBitmap(width + 1, h + 1, TPixelFormat::pf32bit);
    SetWindowOrgEx(dc, at.x, 0, nullptr);
    nodeBitsLeft_ = at.x;
    const RECT r{at.x, 0, at.x + width, h};
    if (DoPaintBackground(dc, r)) {
      // The user painted it.
    } else if (background_ != nullptr && HasOption(toShowBackground) && (paintOptions & poBackground)) {
      TileBackground(dc, POINT{window.left - at.x, window.bottom - h}, r);
    } else if (HeaderUsesColumns()) {
      PaintColumnStripes(dc, window, at.x, h, paintOptions);
    } else {
      FillColor(dc, r, ui::ColorToRGB(Color()));
    }
    if (drawBand) {
      RECT areaBand = band;
      OffsetRect(&areaBand, at.x - window.left, -(window.bottom - h));
      SetBrushOrgEx(dc, 0, at.x & 1, nullptr);
      PaintSelectionRectangle(dc, at.x, areaBand, r);
    }
    GdiFlush();
    BitBlt(target, at.x, targetTop, width, h, dc, at.x, 0, SRCCOPY);
  }
  // The bitmap goes before the owner hears that painting is over.
  selected.reset();
  nodeBits_ = nullptr;
  bitmap = ui::BitmapObject();
  DoAfterPaint(target);
}

// ------------------------------------------------------------- messages --

void TBaseLazyTree::PrintClient(HDC dc, LPARAM flags) {
  if ((flags & PRF_CHECKVISIBLE) && !IsWindowVisible(HandleIfAllocated())) return;
  RECT client;
  GetClientRect(HandleIfAllocated(), &client);
  RECT window = client;
  OffsetRect(&window, -OffsetX(), -OffsetY());
  PaintTree(dc, window, POINT{client.left, client.top}, kPrintClientOptions);
}

}  // namespace kv
