#include "treeview/alpha_blend_win.h"

#include <commctrl.h>

namespace kv {

COLORREF GetRGBColor(ui::TColor color) {
  if (color == ui::clNone) return CLR_NONE;
  if (color == clDefault) return CLR_DEFAULT;
  return ui::ColorToRGB(color);
}

namespace {

// Some GDIs report a top-down section with a positive height. The first stored
// row is the visible top exactly when changing its first word changes the
// pixel at device point (0, 0).
bool StoredTopDown(HDC dc, std::uint32_t* bits) {
  POINT origin{0, 0};
  DPtoLP(dc, &origin, 1);
  GdiFlush();
  const COLORREF before = GetPixel(dc, origin.x, origin.y);
  if (before == CLR_INVALID) return false;
  const std::uint32_t saved = bits[0];
  bits[0] = saved ^ 0x00FFFFFF;
  const COLORREF after = GetPixel(dc, origin.x, origin.y);
  bits[0] = saved;
  return after != before;
}

}  // namespace

namespace {

TBitmapBits SelectedBits(HDC dc) {
  if (!dc) return {};
  const auto bitmap = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
  DIBSECTION section{};
  if (!bitmap || GetObjectW(bitmap, sizeof section, &section) != sizeof section) return {};
  // Only 32-bit sections hold one word per pixel without row padding.
  if (!section.dsBm.bmBits || section.dsBmih.biBitCount != 32) return {};
  TBitmapBits bits{static_cast<std::uint32_t*>(section.dsBm.bmBits), section.dsBmih.biWidth,
                   section.dsBmih.biHeight};
  if (bits.height > 1 && StoredTopDown(dc, bits.bits)) bits.height = -bits.height;
  return bits;
}

}  // namespace

std::uint32_t* GetBitmapBitsFromDeviceContext(HDC dc, int& width, int& height) {
  const TBitmapBits bits = SelectedBits(dc);
  width = bits.width;
  height = bits.height;
  return bits.bits;
}

void AlphaBlend(HDC source, HDC destination, const RECT& r, POINT target, TBlendMode mode,
                int constantAlpha, int bias) {
  if (IsRectEmpty(&r)) return;
  const TBitmapBits destinationBits = SelectedBits(destination);
  if (!destinationBits.bits) return;
  TBitmapBits sourceBits;
  if (mode != TBlendMode::bmConstantAlphaAndColor) {
    sourceBits = SelectedBits(source);
    if (!sourceBits.bits) return;
  }
  // GDI may still hold drawing for these bitmaps in its batch.
  GdiFlush();
  AlphaBlendBits(&sourceBits, destinationBits, {r.left, r.top, r.right, r.bottom}, target.x,
                 target.y, mode, constantAlpha, bias);
}

}  // namespace kv
