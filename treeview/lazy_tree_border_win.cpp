// The tree's frame inside the system's border: the bevel and the border
// ring. Both are cut from the window in WM_NCCALCSIZE before the header, so
// header, scroll bars and client sit inside them.

#include <algorithm>

#include "treeview/base_lazy_tree_win.h"
#include "treeview/header_win.h"
#include "treeview/theme_services_win.h"
#include "ui/gdi_win.h"

namespace kv {
namespace {

UINT InnerEdge(TBevelCut cut) {
  return cut == TBevelCut::bvLowered ? BDR_SUNKENINNER : cut == TBevelCut::bvRaised ? BDR_RAISEDINNER : 0;
}

UINT OuterEdge(TBevelCut cut) {
  return cut == TBevelCut::bvLowered ? BDR_SUNKENOUTER : cut == TBevelCut::bvRaised ? BDR_RAISEDOUTER : 0;
}

UINT KindFlags(TBevelKind kind) {
  return kind == TBevelKind::bkSoft ? BF_SOFT : kind == TBevelKind::bkFlat ? BF_FLAT : 0;
}

// Fills `outer` less `inner`.
void FillRing(HDC dc, const RECT& outer, const RECT& inner, COLORREF color) {
  const int saved = SaveDC(dc);
  ExcludeClipRect(dc, inner.left, inner.top, inner.right, inner.bottom);
  const ui::BrushObject brush = ui::MakeSolidBrush(color);
  FillRect(dc, &outer, brush.Get());
  RestoreDC(dc, saved);
}

}  // namespace

void TBaseLazyTree::SetBevels(TBevelKind kind, TBevelCut inner, TBevelCut outer, int width) {
  width = std::max(width, 1);
  if (kind == bevelKind_ && inner == bevelInner_ && outer == bevelOuter_ && width == bevelWidth_) return;
  bevelKind_ = kind;
  bevelInner_ = inner;
  bevelOuter_ = outer;
  bevelWidth_ = width;
  FrameChanged();
}

void TBaseLazyTree::SetBorderWidth(int width) {
  width = std::max(width, 0);
  if (width == borderWidth_) return;
  borderWidth_ = width;
  FrameChanged();
}

void TBaseLazyTree::FrameChanged() {
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr || Loading()) return;
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
}

SIZE TBaseLazyTree::GetBorderDimensions() const {
  SIZE result{0, 0};
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return result;
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
  if (style & WS_BORDER) {
    result.cx -= 1;
    result.cy -= 1;
  }
  if (style & WS_THICKFRAME) {
    result.cx -= GetSystemMetrics(SM_CXFRAME);
    result.cy -= GetSystemMetrics(SM_CYFRAME);
  }
  if (exStyle & WS_EX_CLIENTEDGE) {
    result.cx -= GetSystemMetrics(SM_CXEDGE);
    result.cy -= GetSystemMetrics(SM_CYEDGE);
  }
  return result;
}

int TBaseLazyTree::FrameInset() const {
  int inset = borderWidth_;
  if (bevelKind_ != TBevelKind::bkNone) {
    if (bevelInner_ != TBevelCut::bvNone) inset += bevelWidth_;
    if (bevelOuter_ != TBevelCut::bvNone) inset += bevelWidth_;
  }
  return inset;
}

void TBaseLazyTree::OriginalWMNCPaint(HDC dc) {
  if (FrameInset() == 0) return;
  HWND hwnd = HandleIfAllocated();
  RECT r{};
  GetWindowRect(hwnd, &r);
  OffsetRect(&r, -r.left, -r.top);
  const SIZE border = GetBorderDimensions();
  InflateRect(&r, border.cx, border.cy);
  const COLORREF color = ui::ColorToRGB(colors_.Color(TLTColors::BorderColor));
  if (bevelKind_ != TBevelKind::bkNone) {
    const int cuts = (bevelInner_ != TBevelCut::bvNone) + (bevelOuter_ != TBevelCut::bvNone);
    RECT inner = r;
    InflateRect(&inner, -cuts * bevelWidth_, -cuts * bevelWidth_);
    // A cut wider than the edge's line shows the border colour beside it.
    FillRing(dc, r, inner, color);
    RECT edge = r;
    if (const UINT edges = InnerEdge(bevelInner_) | OuterEdge(bevelOuter_))
      DrawEdge(dc, &edge, edges, BF_RECT | KindFlags(bevelKind_));
    r = inner;
  }
  if (borderWidth_ > 0) {
    RECT inner = r;
    InflateRect(&inner, -borderWidth_, -borderWidth_);
    FillRing(dc, r, inner, color);
  }
}

// Cuts the bevel and the border ring from the window's client rectangle.
void TBaseLazyTree::InsetClientByFrame(RECT& r) const {
  const int inset = FrameInset();
  r.left = std::min<LONG>(r.left + inset, r.right);
  r.right = std::max<LONG>(r.right - inset, r.left);
  r.top = std::min<LONG>(r.top + inset, r.bottom);
  r.bottom = std::max<LONG>(r.bottom - inset, r.top);
}

// With visual styles the system leaves the client edge alone: the theme's
// border is drawn there afterwards.
void TBaseLazyTree::PaintNonClient(ui::TMessage& m) {
  HWND hwnd = HandleIfAllocated();
  const bool themed = TreeStates().Contains(tsUseThemes) && ThemeServices().ThemesEnabled();
  const auto update = reinterpret_cast<HRGN>(m.wParam);  // 1: the whole frame
  const bool wholeFrame = m.wParam == 0 || m.wParam == 1;
  if (themed && (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0) {
    RECT inner{};
    GetWindowRect(hwnd, &inner);
    InflateRect(&inner, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    const ui::RegionObject region(CreateRectRgnIndirect(&inner));
    if (region.Get() != nullptr && !wholeFrame) CombineRgn(region.Get(), region.Get(), update, RGN_AND);
    ui::TMessage cut = m;
    if (region.Get() != nullptr) cut.wParam = reinterpret_cast<WPARAM>(region.Get());
    TControl::WndProc(cut);
    m.result = cut.result;
  } else {
    TControl::WndProc(m);
  }
  {
    const ui::WindowDc dc = ui::GetFrameDcIn(hwnd, wholeFrame ? nullptr : update);
    if (dc.Get() != nullptr) {
      if (header_ != nullptr && header_->HasOption(hoVisible) && !Loading())
        header_->PaintHeader(dc.Get(), header_->HeaderRect(), OffsetX());
      OriginalWMNCPaint(dc.Get());
    }
  }
  if (themed) ThemeServices().PaintBorder(*this, false);
}

}  // namespace kv
