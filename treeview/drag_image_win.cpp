// The tree's own drag image (used when the system's helper is missing).
#include "treeview/drag_image_win.h"

#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "treeview/alpha_blend_win.h"
#include "treeview/base_lazy_tree_win.h"

namespace kv {

namespace {

using RegionObject = Handle<ui::GdiObjectOf<HRGN>>;

RECT Rect(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }

}  // namespace

TDragRectangles FillDragRectangles(int w, int h, int dxSigned, int dySigned) {
  const int dx = std::abs(dxSigned), dy = std::abs(dySigned);
  TDragRectangles r{};
  r.Clip = Rect(0, 0, w, h);
  if (dySigned == 0) {
    if (dxSigned > 0) {
      r.Scroll = Rect(0, 0, w - dx, h);
      r.Sample1 = Rect(0, 0, dx, h);
      r.Draw1 = Rect(w - dx, 0, dx, h);
    } else {
      r.Scroll = Rect(dx, 0, w, h);
      r.Sample1 = Rect(w - dx, 0, dx, h);
      r.Draw1 = Rect(0, 0, dx, h);
    }
  } else if (dxSigned == 0) {
    if (dySigned > 0) {
      r.Scroll = Rect(0, 0, w, h - dy);
      r.Sample2 = Rect(0, 0, w, dy);
      r.Draw2 = Rect(0, h - dy, w, dy);
    } else {
      r.Scroll = Rect(0, dy, w, h);
      r.Sample2 = Rect(0, h - dy, w, dy);
      r.Draw2 = Rect(0, 0, w, dy);
    }
  } else if (dxSigned > 0 && dySigned > 0) {
    r.Scroll = Rect(0, 0, w - dx, h - dy);
    r.Sample1 = Rect(0, 0, dx, h);
    r.Sample2 = Rect(dx, 0, w - dx, dy);
    r.Draw1 = Rect(0, h - dy, w - dx, dy);
    r.Draw2 = Rect(w - dx, 0, dx, h);
  } else if (dxSigned > 0) {
    r.Scroll = Rect(0, dy, w - dx, h);
    r.Sample1 = Rect(0, 0, dx, h);
    r.Sample2 = Rect(dx, h - dy, w - dx, dy);
    r.Draw1 = Rect(0, 0, w - dx, dy);
    r.Draw2 = Rect(w - dx, 0, dx, h);
  } else if (dySigned > 0) {
    r.Scroll = Rect(dx, 0, w, h);
    r.Sample1 = Rect(0, 0, w - dx, dy);
    r.Sample2 = Rect(w - dx, 0, dx, h);
    r.Draw1 = Rect(0, 0, dx, h);
    r.Draw2 = Rect(dx, h - dy, w - dx, dy);
  } else {
    r.Scroll = Rect(dx, dy, w, h);
    r.Sample1 = Rect(0, h - dy, w - dx, dy);
    r.Sample2 = Rect(w - dx, 0, dx, h);
    r.Draw1 = Rect(0, 0, dx, h);
    r.Draw2 = Rect(dx, 0, w - dx, dy);
  }
  return r;
}

void MakeAlphaChannel(const std::uint32_t* source, std::uint32_t* target, int width, int height,
                      COLORREF colorKey) {
  const double d = std::max(width, height);
  // The key in the pixels' order: blue in the low byte.
  const std::uint32_t key = (colorKey & 0xFF) << 16 | (colorKey & 0xFF00) | (colorKey >> 16 & 0xFF);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * width + x;
      std::uint32_t alpha = 0;
      if (colorKey == kNoColorKey || (source[i] & 0xFFFFFF) != key) {
        const double fx = (x - width / 2) / d, fy = (y - height / 2) / d;
        alpha = static_cast<std::uint32_t>(std::lround(255 * std::exp(-8 * std::sqrt(fx * fx + fy * fy))));
      }
      target[i] = (target[i] & 0xFFFFFF) | alpha << 24;
    }
  }
}

TLTDragImage::~TLTDragImage() { EndDrag(); }

TLTDragImage::Surface TLTDragImage::MakeSurface() const {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width_;
  bi.bmiHeader.biHeight = -height_;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* raw = nullptr;
  Surface s;
  s.bitmap = ui::BitmapObject(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &raw, nullptr, 0));
  if (!s.bitmap) throw std::runtime_error("The drag image could not be made.");
  s.bits = static_cast<std::uint32_t*>(raw);
  return s;
}

void TLTDragImage::PrepareDrag(HBITMAP bitmap, POINT imagePosition, POINT hotSpot, IDataObject* dataObject) {
  BITMAP bm{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof bm, &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight <= 0) return;
  EndDrag();
  states_ = 0;
  if (dataObject != nullptr) {
    ComPtr<IDragSourceHelper> helper;
    if (SUCCEEDED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDragSourceHelper,
                                   helper.PutVoid()))) {
      states_ |= kSystemSupport;
      SHDRAGIMAGE image{};
      image.sizeDragImage = {bm.bmWidth, bm.bmHeight};
      image.ptOffset = {bm.bmWidth / 2, bm.bmHeight / 2};
      // Always a copy: the helper owns what it accepts, the caller keeps `bitmap`.
      image.hbmpDragImage = static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, 0));
      image.crColorKey = colorKey_ == kNoColorKey ? CLR_NONE : colorKey_;
      if (image.hbmpDragImage == nullptr || FAILED(helper->InitializeFromBitmap(&image, dataObject))) {
        if (image.hbmpDragImage != nullptr) DeleteObject(image.hbmpDragImage);
        states_ &= ~kSystemSupport;
      }
    }
  }
  if (!MMXAvailable() || (states_ & kSystemSupport)) return;
  lastPosition_ = hotSpot;
  width_ = bm.bmWidth;
  height_ = bm.bmHeight;
  drag_ = MakeSurface();
  alpha_ = MakeSurface();
  back_ = MakeSurface();
  dragBits_ = drag_.bits;
  backBits_ = back_.bits;
  {
    ui::MemoryDc from = ui::CreateMemoryDc(nullptr), to = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject a = ui::SelectInto(from.Get(), bitmap);
    const ui::SelectedObject b = ui::SelectInto(to.Get(), drag_.bitmap.Get());
    BitBlt(to.Get(), 0, 0, width_, height_, from.Get(), 0, 0, SRCCOPY);
    GdiFlush();
  }
  const std::size_t count = static_cast<std::size_t>(width_) * height_;
  const std::vector<std::uint32_t> original(drag_.bits, drag_.bits + count);
  if (preBlendBias_ != 0) {
    const TBitmapBits bits = DragBits();
    AlphaBlendBits(&bits, bits, {0, 0, width_, height_}, 0, 0, TBlendMode::bmConstantAlpha, 255, preBlendBias_);
  }
  MakeAlphaChannel(original.data(), drag_.bits, width_, height_, colorKey_);
  imagePosition_ = imagePosition;
  states_ = kHidden | kInDrag | kPrepared;
}

namespace {

// `part` (left, top, width, height in the image at `origin`) cut to the
// screen: a copy from the screen that starts outside it does not come back
// in place everywhere, so only the part on the screen is moved.
bool OnScreen(POINT origin, RECT& part) {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const RECT screen{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  RECT r{origin.x + part.left, origin.y + part.top, origin.x + part.left + part.right,
         origin.y + part.top + part.bottom};
  if (!IntersectRect(&r, &r, &screen)) return false;
  part = RECT{r.left - origin.x, r.top - origin.y, r.right - r.left, r.bottom - r.top};
  return true;
}

}  // namespace

void TLTDragImage::RestoreScreen(HDC screen, const RECT& whole) const {
  RECT part = whole;
  if (part.right <= 0 || part.bottom <= 0 || !OnScreen(imagePosition_, part)) return;
  ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  const ui::SelectedObject s = ui::SelectInto(dc.Get(), back_.bitmap.Get());
  BitBlt(screen, imagePosition_.x + part.left, imagePosition_.y + part.top, part.right, part.bottom, dc.Get(),
         part.left, part.top, SRCCOPY);
}

void TLTDragImage::SampleScreen(HDC screen, const RECT& whole) const {
  RECT part = whole;
  if (part.right <= 0 || part.bottom <= 0 || !OnScreen(imagePosition_, part)) return;
  ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  const ui::SelectedObject s = ui::SelectInto(dc.Get(), back_.bitmap.Get());
  BitBlt(dc.Get(), part.left, part.top, part.right, part.bottom, screen, imagePosition_.x + part.left,
         imagePosition_.y + part.top, SRCCOPY);
  GdiFlush();
}

void TLTDragImage::InternalShowDragImage(HDC screen) {
  GdiFlush();
  std::memcpy(alpha_.bits, back_.bits, static_cast<std::size_t>(width_) * height_ * 4);
  const TBitmapBits source = DragBits();
  const TBitmapBits target{alpha_.bits, width_, -height_};
  const TBlendMode mode =
      fade_ || colorKey_ != kNoColorKey ? TBlendMode::bmMasterAlpha : TBlendMode::bmConstantAlpha;
  AlphaBlendBits(&source, target, {0, 0, width_, height_}, 0, 0, mode, transparency_, postBlendBias_);
  ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  const ui::SelectedObject s = ui::SelectInto(dc.Get(), alpha_.bitmap.Get());
  BitBlt(screen, imagePosition_.x, imagePosition_.y, width_, height_, dc.Get(), 0, 0, SRCCOPY);
}

void TLTDragImage::ShowDragImage() {
  if (states_ != (kHidden | kInDrag | kPrepared)) return;
  states_ &= ~kHidden;
  GdiFlush();
  const ui::WindowDc screen = ui::GetClientDc(nullptr);
  SampleScreen(screen.Get(), Rect(0, 0, width_, height_));
  InternalShowDragImage(screen.Get());
}

void TLTDragImage::HideDragImage() {
  if (!Visible()) return;
  states_ |= kHidden;
  const ui::WindowDc screen = ui::GetClientDc(nullptr);
  RestoreScreen(screen.Get(), Rect(0, 0, width_, height_));
}

void TLTDragImage::Restricted(POINT p, int& dx, int& dy) const {
  dx = lastPosition_.x - p.x;
  dy = lastPosition_.y - p.y;
  if (restriction_ == TLTDragMoveRestriction::dmrHorizontalOnly) dy = 0;
  if (restriction_ == TLTDragMoveRestriction::dmrVerticalOnly) dx = 0;
}

bool TLTDragImage::WillMove(POINT p) const {
  if (!Visible()) return false;
  int dx = 0, dy = 0;
  Restricted(p, dx, dy);
  return dx != 0 || dy != 0;
}

bool TLTDragImage::DragTo(POINT p, bool forceRepaint) {
  int dx = 0, dy = 0;
  Restricted(p, dx, dy);
  if (dx == 0 && dy == 0 && !forceRepaint) return false;
  if (Visible()) {
    const ui::WindowDc screen = ui::GetClientDc(nullptr);
    if (std::abs(dx) >= width_ || std::abs(dy) >= height_ || forceRepaint) {
      RestoreScreen(screen.Get(), Rect(0, 0, width_, height_));
      if (forceRepaint) UpdateWindow(owner_);
      imagePosition_.x -= dx;
      imagePosition_.y -= dy;
      SampleScreen(screen.Get(), Rect(0, 0, width_, height_));
    } else {
      const TDragRectangles r = FillDragRectangles(width_, height_, dx, dy);
      if (dx != 0) RestoreScreen(screen.Get(), r.Draw1);
      if (dy != 0) RestoreScreen(screen.Get(), r.Draw2);
      // The part still covered moves with the image inside the back image:
      // the scroll rectangle moved by (dx, dy), cut to the clip rectangle.
      GdiFlush();
      RECT s = r.Scroll;
      s.left = std::max<LONG>(s.left, r.Clip.left - dx);
      s.right = std::min<LONG>(s.right, r.Clip.right - dx);
      s.top = std::max<LONG>(s.top, r.Clip.top - dy);
      s.bottom = std::min<LONG>(s.bottom, r.Clip.bottom - dy);
      const int rowWidth = s.right - s.left;
      auto moveRow = [&](int y) {
        std::memmove(back_.bits + static_cast<std::size_t>(y + dy) * width_ + s.left + dx,
                     back_.bits + static_cast<std::size_t>(y) * width_ + s.left,
                     static_cast<std::size_t>(rowWidth) * 4);
      };
      if (rowWidth > 0 && dy > 0) {
        for (int y = s.bottom - 1; y >= s.top; --y) moveRow(y);
      } else if (rowWidth > 0) {
        for (int y = s.top; y < s.bottom; ++y) moveRow(y);
      }
      imagePosition_.x -= dx;
      imagePosition_.y -= dy;
      if (dx != 0) SampleScreen(screen.Get(), r.Sample1);
      if (dy != 0) SampleScreen(screen.Get(), r.Sample2);
    }
    InternalShowDragImage(screen.Get());
  }
  lastPosition_ = p;
  return true;
}

void TLTDragImage::RecaptureBackground(TBaseLazyTree& tree, RECT r, HRGN visibleRegion, bool captureNCArea,
                                       bool reshowDragImage) {
  if (!Visible()) return;
  const HWND hwnd = tree.HandleIfAllocated();
  if (hwnd == nullptr) return;
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  const RECT image = GetDragImageRect();
  if (!IntersectRect(&r, &r, &image)) return;
  if (visibleRegion != nullptr) OffsetRgn(visibleRegion, -imagePosition_.x, -imagePosition_.y);
  const POINT target{r.left - imagePosition_.x, r.top - imagePosition_.y};
  const int w = r.right - r.left, h = r.bottom - r.top;
  MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
  OffsetRect(&r, -tree.OffsetX(), -tree.OffsetY());
  {
    ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject s = ui::SelectInto(dc.Get(), back_.bitmap.Get());
    if (visibleRegion != nullptr) SelectClipRgn(dc.Get(), visibleRegion);
    IntersectClipRect(dc.Get(), target.x, target.y, target.x + w, target.y + h);
    tree.PaintTree(dc.Get(), r, target,
                   poBackground | poColumnColor | poDrawFocusRect | poDrawDropMark | poDrawSelection | poGridLines);
    if (captureNCArea) {
      if (visibleRegion != nullptr) SelectClipRgn(dc.Get(), visibleRegion);
      RECT window{};
      GetWindowRect(hwnd, &window);
      POINT old{};
      SetWindowOrgEx(dc.Get(), imagePosition_.x - window.left, imagePosition_.y - window.top, &old);
      SendMessageW(hwnd, WM_PRINT, reinterpret_cast<WPARAM>(dc.Get()), PRF_NONCLIENT);
      SetWindowOrgEx(dc.Get(), old.x, old.y, nullptr);
    }
    SelectClipRgn(dc.Get(), nullptr);
  }
  if (reshowDragImage) {
    GdiFlush();
    const ui::WindowDc screen = ui::GetClientDc(nullptr);
    InternalShowDragImage(screen.Get());
  }
}

void TLTDragImage::Reshow() {
  if (!Visible()) return;
  const ui::WindowDc screen = ui::GetClientDc(nullptr);
  InternalShowDragImage(screen.Get());
}

RECT TLTDragImage::GetDragImageRect() const {
  if (!Visible()) return RECT{};
  return RECT{imagePosition_.x, imagePosition_.y, imagePosition_.x + width_, imagePosition_.y + height_};
}

void TLTDragImage::EndDrag() {
  HideDragImage();
  states_ &= ~(kInDrag | kPrepared);
  back_ = {};
  alpha_ = {};
  drag_ = {};
  backBits_ = dragBits_ = nullptr;
}

}  // namespace kv
