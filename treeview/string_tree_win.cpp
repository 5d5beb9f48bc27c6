// The string tree: one wide text per cell from the owner, measured once per
// node (the width cache in the node's internal area), painted into the cell,
// shortened with an ellipsis when it does not fit, and matched by the
// incremental search.

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/scope_guard.h"
#include "treeview/lazy_trees_win.h"
#include "treeview/shorten_text.h"
#include "ui/gdi_win.h"

namespace kv {

namespace {

constexpr UINT kSingleLineFormat = DT_NOPREFIX | DT_VCENTER | DT_SINGLELINE;
constexpr UINT kMultiLineFormat = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS;

UINT AlignmentFormat(TLTAlignment alignment) {
  switch (alignment) {
    case TLTAlignment::taRightJustify: return DT_RIGHT;
    case TLTAlignment::taCenter: return DT_CENTER;
    default: return DT_LEFT;
  }
}

int TextWidth(HDC dc, std::wstring_view text) {
  SIZE size{};
  if (!text.empty()) GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  return size.cx;
}

}  // namespace

TCustomLazyStringTree::TCustomLazyStringTree(std::unique_ptr<TCustomStringTreeOptions> options)
    : TBaseLazyTree(options ? std::move(options) : std::make_unique<TStringTreeOptions>()) {
  widthCacheOffset_ = AllocateInternalDataArea(sizeof(std::uint32_t));
}

std::uint32_t& TCustomLazyStringTree::CachedWidth(PLazyNode node) {
  return *reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(node) + widthCacheOffset_);
}

void TCustomLazyStringTree::SetDefaultText(std::wstring text) {
  if (text == defaultText_) return;
  defaultText_ = std::move(text);
  ResetWidthCaches();
  if (HandleAllocated()) InvalidateRect(HandleIfAllocated(), nullptr, FALSE);
}

std::wstring TCustomLazyStringTree::GetText(PLazyNode node, TColumnIndex column) {
  LazyTreeAssert(node != nullptr, "Node must not be nil.");
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  std::wstring text = defaultText_;
  DoGetText(node, column, TLSTTextType::ttNormal, text);
  return text;
}

void TCustomLazyStringTree::SetText(PLazyNode node, TColumnIndex column, const std::wstring& text) {
  DoNewText(node, column, text);
  InvalidateNode(node);
}

void TCustomLazyStringTree::WriteChunks(TNodeStream& stream, PLazyNode node) {
  TBaseLazyTree::WriteChunks(stream, node);
  if ((GetOptions().StringOptions() & toSaveCaptions) == 0 || node == RootNode() ||
      !node->States.Contains(nsInitialized))
    return;
  const std::wstring text = GetText(node, HeaderMainColumn());
  if (!text.empty()) WriteCaptionChunk(stream, std::u16string(text.begin(), text.end()));
}

bool TCustomLazyStringTree::ReadChunk(TNodeStream& stream, int version, PLazyNode node,
                                      std::uint32_t chunkType, std::uint32_t chunkSize) {
  if (chunkType != kCaptionChunk) return TBaseLazyTree::ReadChunk(stream, version, node, chunkType, chunkSize);
  const std::u16string text = ReadCaptionChunk(stream, chunkSize);
  if (node != RootNode()) SetText(node, HeaderMainColumn(), std::wstring(text.begin(), text.end()));
  return true;
}

void TCustomLazyStringTree::DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType type,
                                      std::wstring& text) {
  if (OnGetText) OnGetText(*this, node, column, type, text);
}

void TCustomLazyStringTree::DoNewText(PLazyNode node, TColumnIndex column, const std::wstring& text) {
  if (OnNewText) OnNewText(*this, node, column, text);
}

void TCustomLazyStringTree::DoPaintText(PLazyNode node, HDC canvas, TColumnIndex column, TLSTTextType type) {
  if (OnPaintText) OnPaintText(*this, canvas, node, column, type);
}

std::wstring TCustomLazyStringTree::DoShortenString(HDC canvas, PLazyNode node, TColumnIndex column,
                                                    const std::wstring& text, int width, bool rightToLeft,
                                                    int ellipsisWidth) {
  std::wstring result;
  bool done = false;
  if (OnShortenString) OnShortenString(*this, canvas, node, column, text, width, result, done);
  if (done) return result;
  const std::function<int(std::wstring_view)> measure = [canvas](std::wstring_view s) {
    return TextWidth(canvas, s);
  };
  return ShortenText<wchar_t>(text, width, ellipsisWidth, rightToLeft, measure);
}

int TCustomLazyStringTree::CalculateTextWidth(HDC canvas, PLazyNode node, const std::wstring& text,
                                              TColumnIndex column) {
  int width = 2 * TextMargin();
  if (text.empty()) return width;
  std::optional<ui::WindowDc> own;
  if (canvas == nullptr) own.emplace(ui::GetClientDc(HandleIfAllocated()));
  HDC dc = canvas != nullptr ? canvas : own->Get();
  const int saved = SaveDC(dc);
  SelectObject(dc, FontHandle());
  DoPaintText(node, dc, column, TLSTTextType::ttNormal);
  width += TextWidth(dc, text);
  RestoreDC(dc, saved);
  return width;
}

int TCustomLazyDrawTree::DoGetNodeWidth(PLazyNode node, TColumnIndex column) {
  int width = 2 * TextMargin();
  if (!OnGetNodeWidth) return width;
  if (HDC canvas = PaintCanvas(); canvas != nullptr) {
    OnGetNodeWidth(*this, canvas, node, column, width);
    return width;
  }
  const ui::WindowDc dc = ui::GetClientDc(HandleAllocated() ? HandleIfAllocated() : nullptr);
  const int saved = SaveDC(dc.Get());
  const ScopeGuard restore([&] { RestoreDC(dc.Get(), saved); });
  SelectObject(dc.Get(), FontHandle());
  OnGetNodeWidth(*this, dc.Get(), node, column, width);
  return width;
}

int TCustomLazyStringTree::DoGetNodeWidth(PLazyNode node, TColumnIndex column) {
  // Wrapped text fills its column.
  if (int left = 0, right = 0; MultiLine(node) && column >= 0 && HeaderColumnBounds(column, left, right))
    return right - left;
  HDC canvas = PaintCanvas();
  const bool mainColumn = column == kNoColumn || column == HeaderMainColumn();
  if (!mainColumn) return CalculateTextWidth(canvas, node, GetText(node, column), column);
  std::uint32_t& cached = CachedWidth(node);
  if (cached == 0)
    cached = static_cast<std::uint32_t>(std::max(CalculateTextWidth(canvas, node, GetText(node, column), column), 0));
  return static_cast<int>(cached);
}

int TCustomLazyStringTree::ComputeNodeHeight(HDC canvas, PLazyNode node, TColumnIndex column) {
  if (!MultiLine(node)) return static_cast<int>(node->NodeHeight);
  TLazyRect r = GetDisplayRect(node, column, true);
  // Wrapped as painted: over the empty columns the cell spans.
  if (int left = 0, right = 0; HeaderColumnBounds(column, left, right))
    r.Right += SpannedCellRight(node, column, right) - right;
  RECT calc{r.Left, 0, r.Right, 0};
  const std::wstring text = GetText(node, column);
  std::optional<ui::WindowDc> own;
  if (canvas == nullptr) own.emplace(ui::GetClientDc(HandleIfAllocated()));
  HDC dc = canvas != nullptr ? canvas : own->Get();
  const int saved = SaveDC(dc);
  SelectObject(dc, FontHandle());
  DoPaintText(node, dc, column, TLSTTextType::ttNormal);
  // Right-to-left text wraps from the right edge, reading right to left.
  const UINT format = DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK | (CellRightToLeft(column) ? DT_RIGHT | DT_RTLREADING : 0);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc, format);
  RestoreDC(dc, saved);
  return calc.bottom - calc.top;
}

TLazyRect TCustomLazyStringTree::InvalidateNode(PLazyNode node) {
  if (node != nullptr && node != RootNode()) {
    CachedWidth(node) = 0;
    node->States.Exclude(nsHeightMeasured);
  }
  return TBaseLazyTree::InvalidateNode(node);
}

void TCustomLazyStringTree::ReinitNode(PLazyNode node, bool recursive) {
  TBaseLazyTree::ReinitNode(node, recursive);
  if (node != nullptr && node != RootNode()) {
    CachedWidth(node) = 0;
    node->States.Exclude(nsHeightMeasured);
  }
}

bool TCustomLazyStringTree::ColumnIsEmpty(PLazyNode node, TColumnIndex column) {
  if (!GetText(node, column).empty()) return false;
  return TBaseLazyTree::ColumnIsEmpty(node, column);
}

void TCustomLazyStringTree::AdjustPaintCellRect(TLTPaintInfo& info, TColumnIndex& nextColumn) {
  if (!HeaderUsesColumns() || !Header().Columns().IsValidColumn(info.Column)) {
    TBaseLazyTree::AdjustPaintCellRect(info, nextColumn);
    return;
  }
  int right = info.CellRect.right;
  nextColumn = SpanEmptyColumns(info.Node, info.Column, right);
  info.CellRect.right = right;
}

void TCustomLazyStringTree::MainColumnChanged() {
  ResetWidthCaches();
  TBaseLazyTree::MainColumnChanged();
}

void TCustomLazyStringTree::ResetWidthCaches() {
  for (PLazyNode n = GetFirstNoInit(); n != nullptr; n = GetNextNoInit(n)) CachedWidth(n) = 0;
}

void TCustomLazyStringTree::MeasureFont() {
  const ui::WindowDc screen = ui::GetClientDc(nullptr);
  const int saved = SaveDC(screen.Get());
  SelectObject(screen.Get(), FontHandle());
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen.Get(), &metrics);
  textHeight_ = metrics.tmHeight;
  ellipsisWidth_ = TextWidth(screen.Get(), L"...");
  RestoreDC(screen.Get(), saved);
}

void TCustomLazyStringTree::FontChanged() {
  TBaseLazyTree::FontChanged();
  MeasureFont();
  ResetWidthCaches();
}

void TCustomLazyStringTree::SetTextColors(const TLTPaintInfo& info, HDC dc) {
  COLORREF color = ui::ColorToRGB(Font().color);
  if (HasOption(toHotTrack) && info.Node == HotNode())
    color = ui::ColorToRGB(Colors().Color(TLTColors::HotColor));
  if ((info.PaintOptions & poDrawSelection) && (info.Column == FocusedColumn() || HasOption(toFullRowSelect)) &&
      ((Selected(info.Node) && (GetFocus() == HandleIfAllocated() || HasOption(toPopupMode))) ||
       ShowsDropTargetColors(info.Node)))
    color = GetSysColor(COLOR_HIGHLIGHTTEXT);
  SetTextColor(dc, color);
}

void TCustomLazyStringTree::PaintNormalText(TLTPaintInfo& info, const std::wstring& text) {
  HDC dc = info.Canvas;
  const int saved = SaveDC(dc);
  SelectObject(dc, FontHandle());
  ui::FontObject underlined;
  if (HasOption(toHotTrack) && info.Node == HotNode()) {
    LOGFONTW font{};
    if (GetObjectW(FontHandle(), sizeof font, &font) != 0) {
      font.lfUnderline = TRUE;
      underlined = ui::FontObject(CreateFontIndirectW(&font));
      if (underlined) SelectObject(dc, underlined.Get());
    }
  }
  SetTextColors(info, dc);
  RECT r = info.ContentRect;
  r.left += TextMargin();
  r.right -= TextMargin();
  const bool rtl = info.BidiMode != TLTBidiMode::bdLeftToRight;
  const bool disabled = info.Node->States.Contains(nsDisabled) || !Enabled();
  std::wstring shown = text;
  UINT format;
  // The text's background is transparent unless the owner asks for an opaque
  // one in OnPaintText (SetBkMode OPAQUE with its background colour).
  SetBkMode(dc, TRANSPARENT);
  const HGDIOBJ fontBefore = GetCurrentObject(dc, OBJ_FONT);
  DoPaintText(info.Node, dc, info.Column, TLSTTextType::ttNormal);
  const bool fontChanged = GetCurrentObject(dc, OBJ_FONT) != fontBefore;
  if (disabled) SetTextColor(dc, ui::ColorToRGB(Colors().Color(TLTColors::DisabledColor)));
  if (!MultiLine(info.Node)) {
    // A font the owner set only now makes the text as wide as it is painted
    // (the static text follows it).
    if (fontChanged) info.NodeWidth = 2 * TextMargin() + TextWidth(dc, text);
    format = kSingleLineFormat | (rtl ? DT_RTLREADING : 0);
    const int width = r.right - r.left;
    if (info.Column == kNoColumn || info.NodeWidth - 2 * TextMargin() <= width) {
      format |= AlignmentFormat(info.Alignment);
    } else {
      shown = DoShortenString(dc, info.Node, info.Column, text, width, rtl, TextWidth(dc, L"..."));
      if (info.Alignment == TLTAlignment::taRightJustify) format |= DT_RIGHT;
    }
  } else {
    format = AlignmentFormat(info.Alignment) | kMultiLineFormat | (rtl ? DT_RTLREADING : 0);
  }
  if (!shown.empty()) DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &r, format);
  RestoreDC(dc, saved);
}

void TCustomLazyStringTree::PaintStaticText(TLTPaintInfo& info, const std::wstring& text) {
  HDC dc = info.Canvas;
  const int saved = SaveDC(dc);
  SelectObject(dc, FontHandle());
  if (HasOption(toFullRowSelect))
    SetTextColors(info, dc);
  else
    SetTextColor(dc, ui::ColorToRGB(Font().color));
  SetBkMode(dc, TRANSPARENT);  // as for the normal text: the owner may ask for opaque
  DoPaintText(info.Node, dc, info.Column, TLSTTextType::ttStatic);
  if (info.Node->States.Contains(nsDisabled) || !Enabled())
    SetTextColor(dc, ui::ColorToRGB(Colors().Color(TLTColors::DisabledColor)));
  RECT r = info.ContentRect;
  if (info.Alignment == TLTAlignment::taRightJustify)
    r.right -= info.NodeWidth + TextMargin();
  else
    r.left += info.NodeWidth + TextMargin();
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, kSingleLineFormat);
  RestoreDC(dc, saved);
}

void TCustomLazyStringTree::DoPaintNode(TLTPaintInfo& info) {
  const std::wstring text = GetText(info.Node, info.Column);
  if (!text.empty()) PaintNormalText(info, text);
  // The cell's own alignment decides: static text beside centred text would
  // be drawn over it.
  if (info.Alignment != TLTAlignment::taCenter && !MultiLine(info.Node) &&
      (GetOptions().StringOptions() & toShowStaticText)) {
    std::wstring staticText;
    DoGetText(info.Node, info.Column, TLSTTextType::ttStatic, staticText);
    if (!staticText.empty()) PaintStaticText(info, staticText);
  }
}

// A case-sensitive prefix match on the focused column's text, unless the
// owner decides.
int TCustomLazyStringTree::DoIncrementalSearch(PLazyNode node, const std::u16string& text) {
  if (OnIncrementalSearch) return TBaseLazyTree::DoIncrementalSearch(node, text);
  const std::wstring own = GetText(node, FocusedColumn());
  if (own.size() < text.size()) return 1;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (static_cast<char16_t>(own[i]) != text[i]) return 1;
  return 0;
}

std::string TCustomLazyStringTree::ItemText(PLazyNode node) {
  const std::wstring text = GetText(node, HeaderMainColumn());
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

PLTEditLink TCustomLazyStringTree::DoCreateEditor(PLazyNode node, TColumnIndex column) {
  PLTEditLink link = TBaseLazyTree::DoCreateEditor(node, column);
  if (!link) link = std::make_shared<TStringEditLink>();
  return link;
}

void TCustomLazyStringTree::DoGetNodeHint(PLazyNode node, TColumnIndex column, std::wstring& text) {
  TBaseLazyTree::DoGetNodeHint(node, column, text);
  if (OnGetHint) OnGetHint(*this, node, column, TLSTTextType::ttNormal, text);
}

void TCustomLazyStringTree::DoGetNodeTooltip(PLazyNode node, TColumnIndex column, std::wstring& text) {
  text = GetText(node, column);
}

// The cell's text as painted: the font OnPaintText chooses, and the text
// rectangle centred on one line of that font.
void TCustomLazyStringTree::GetTextInfo(PLazyNode node, TColumnIndex column, LOGFONTW& font, RECT& r,
                                        std::wstring& text) {
  TBaseLazyTree::GetTextInfo(node, column, font, r, text);
  int height = textHeight_;
  {
    const ui::WindowDc screen = ui::GetClientDc(nullptr);
    const int saved = SaveDC(screen.Get());
    SelectObject(screen.Get(), FontHandle());
    DoPaintText(node, screen.Get(), column, TLSTTextType::ttNormal);
    GetObjectW(GetCurrentObject(screen.Get(), OBJ_FONT), sizeof font, &font);
    TEXTMETRICW metrics{};
    if (GetTextMetricsW(screen.Get(), &metrics)) height = metrics.tmHeight;
    RestoreDC(screen.Get(), saved);
  }
  text = GetText(node, column);
  const TLazyRect d = GetDisplayRect(node, column, true, !MultiLine(node));
  r = {d.Left, d.Top, d.Right, d.Bottom};
  if (HasOption(toShowHorzGridLines)) --r.bottom;
  InflateRect(&r, 0, (height - (r.bottom - r.top)) / 2);
}

}  // namespace kv
