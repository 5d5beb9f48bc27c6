// Blending between device contexts that hold 32-bit DIB sections.
#pragma once

#include <windows.h>

#include <cstdint>

#include "treeview/alpha_blend.h"
#include "ui/control_win.h"

namespace kv {

// The component library's "default colour" (clNone is ui::clNone).
constexpr ui::TColor clDefault = 0x20000000u;

// A colour as the system's drawing calls expect it: clNone -> CLR_NONE,
// clDefault -> CLR_DEFAULT, system colours resolved, others as they are.
COLORREF GetRGBColor(ui::TColor color);

// The bits of the DIB section selected into dc, with its width and height
// (negative: top-down); null (width and height 0) when it holds none.
std::uint32_t* GetBitmapBitsFromDeviceContext(HDC dc, int& width, int& height);

// Blends r of the destination's DIB with the source's DIB from `target` on;
// see AlphaBlendBits. source may be null in the colour mode (bias = RGB colour).
void AlphaBlend(HDC source, HDC destination, const RECT& r, POINT target, TBlendMode mode,
                int constantAlpha, int bias);

}  // namespace kv
