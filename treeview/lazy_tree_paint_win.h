#pragma once
// Types of the tree's painting: the internal paint options, the record handed
// to every drawing step and to the owner, and the look settings.

#include <windows.h>

#include <commctrl.h>

#include <cstdint>

#include "treeview/header_model.h"
#include "treeview/lazy_node.h"

namespace kv {

// Internal paint options, one bit each.
enum TLTInternalPaintOption : std::uint32_t {
  poBackground = 1u << 0, poColumnColor = 1u << 1, poDrawFocusRect = 1u << 2,
  poDrawSelection = 1u << 3, poDrawDropMark = 1u << 4, poGridLines = 1u << 5,
  poMainOnly = 1u << 6, poSelectedOnly = 1u << 7,
};
inline constexpr std::uint32_t kPaintRequestOptions =
    poBackground | poColumnColor | poDrawFocusRect | poDrawSelection | poDrawDropMark | poGridLines;
inline constexpr std::uint32_t kPrintClientOptions =
    poBackground | poDrawFocusRect | poDrawSelection | poDrawDropMark | poGridLines;

enum class TLTImageKind : std::uint8_t { ikNormal, ikSelected, ikState, ikOverlay };
enum TLTLineType : std::uint8_t {
  ltNone, ltBottomRight, ltTopDown, ltTopDownRight, ltRight, ltTopRight, ltLeft, ltLeftBottom
};
enum class TItemEraseAction : std::uint8_t { eaColor, eaDefault, eaNone };
enum class TLTLineStyle : std::uint8_t { lsCustomStyle, lsDotted, lsSolid };
enum class TLTLineMode : std::uint8_t { lmNormal, lmBands };
enum class TLTButtonStyle : std::uint8_t { bsRectangle, bsTriangle };
enum class TLTButtonFillMode : std::uint8_t { fmTreeColor, fmWindowColor, fmShaded, fmTransparent };
enum class TLTNodeAlignment : std::uint8_t { naFromBottom, naFromTop, naProportional };
enum class TLTDrawSelectionMode : std::uint8_t { smDottedRectangle, smBlendedRectangle };
// The pixel format of the bitmap a row is composed in: the target device's
// own, or a device-independent one of that many bits per pixel (15: five
// bits per colour).
enum class TPixelFormat : std::uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

struct TLTImageInfo {
  int Index = -1;
  int XPos = 0, YPos = 0;
  bool Ghosted = false;
};
enum TLTImageInfoIndex : std::uint8_t { iiNormal = 0, iiState = 1, iiCheck = 2 };

struct TLTPaintInfo {
  HDC Canvas = nullptr;
  std::uint32_t PaintOptions = 0;
  PLazyNode Node = nullptr;
  TColumnIndex Column = kNoColumn;
  int Position = 0;
  RECT CellRect{};
  RECT ContentRect{};
  int NodeWidth = 0;
  TLTAlignment Alignment = TLTAlignment::taLeftJustify;
  TLTBidiMode BidiMode = TLTBidiMode::bdLeftToRight;
  POINT BrushOrigin{};
  TLTImageInfo ImageInfo[3];
};

// Side of the plus and minus bitmaps.
inline constexpr int kButtonSize = 9;
// Their transparent colour (fuchsia).
inline constexpr COLORREF kButtonTransparent = RGB(255, 0, 255);

}  // namespace kv
