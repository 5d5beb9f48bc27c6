#pragma once
// The tree's own drag image: a picture blended over the screen that follows
// the mouse while something is dragged, used whenever the system's drag
// image helper is missing (under Wine it answers E_NOTIMPL and counts as
// missing). It keeps the screen under itself (the back image) to restore it
// when it moves or hides. All points are screen coordinates.

#include <windows.h>
#include <ole2.h>

#include <array>
#include <cstdint>

#include "treeview/alpha_blend.h"
#include "ui/gdi_win.h"

namespace kv {

class TBaseLazyTree;

enum class TLTDragMoveRestriction : std::uint8_t { dmrNone, dmrHorizontalOnly, dmrVerticalOnly };

// "No colour key".
inline constexpr COLORREF kNoColorKey = 0x1FFFFFFF;

// The rectangles of one overlapping move of the image by (dx, dy) (a positive
// delta moves left or up). Clip and Scroll are true rectangles; the sample
// and draw rectangles hold left, top, width and height.
struct TDragRectangles {
  RECT Clip, Scroll, Sample1, Sample2, Draw1, Draw2;
};
TDragRectangles FillDragRectangles(int width, int height, int dx, int dy);

// Gives `target` (width x height) an alpha channel that fades out from the
// centre; pixels of `colorKey` (an RGB value, kNoColorKey for none) in
// `source` become fully transparent. Both are top-down 32-bit pixels.
void MakeAlphaChannel(const std::uint32_t* source, std::uint32_t* target, int width, int height,
                      COLORREF colorKey);

class TLTDragImage {
 public:
  // `owner` is the window whose contents lie under the image (repainted on a forced move).
  explicit TLTDragImage(HWND owner) : owner_(owner) {}
  ~TLTDragImage();
  TLTDragImage(const TLTDragImage&) = delete;
  TLTDragImage& operator=(const TLTDragImage&) = delete;

  // Takes a copy of `bitmap` as the image at `imagePosition`; the system's
  // drag helper gets it first when `dataObject` is given. A prepared image starts hidden.
  void PrepareDrag(HBITMAP bitmap, POINT imagePosition, POINT hotSpot, IDataObject* dataObject);
  void ShowDragImage();
  void HideDragImage();
  // Moves the image with the mouse; true when something moved (or a repaint was forced).
  bool DragTo(POINT p, bool forceRepaint);
  bool WillMove(POINT p) const;
  // Paints `r` of `tree` (client coordinates) into the back image, clipped to
  // `visibleRegion` (screen coordinates; it is moved by this call).
  void RecaptureBackground(TBaseLazyTree& tree, RECT r, HRGN visibleRegion, bool captureNCArea,
                           bool reshowDragImage);
  // Puts a visible image on the screen again (after its area was repainted).
  void Reshow();
  RECT GetDragImageRect() const;
  void EndDrag();

  bool Visible() const { return states_ == (kInDrag | kPrepared); }
  bool SystemSupport() const { return (states_ & kSystemSupport) != 0; }
  std::uint8_t Transparency() const { return transparency_; }
  void SetTransparency(std::uint8_t value) { transparency_ = value; }
  void SetPreBlendBias(std::int8_t value) { preBlendBias_ = value; }
  void SetPostBlendBias(std::int8_t value) { postBlendBias_ = value; }
  void SetFade(bool value) { fade_ = value; }
  void SetMoveRestriction(TLTDragMoveRestriction value) { restriction_ = value; }
  COLORREF ColorKey() const { return colorKey_; }
  void SetColorKey(COLORREF value) { colorKey_ = value; }
  POINT ImagePosition() const { return imagePosition_; }
  // The pixels of the prepared image (with alpha) and of the screen under it, top-down.
  TBitmapBits DragBits() const { return {dragBits_, width_, -height_}; }
  TBitmapBits BackBits() const { return {backBits_, width_, -height_}; }

 private:
  enum : std::uint8_t { kHidden = 1, kInDrag = 2, kPrepared = 4, kSystemSupport = 8 };
  struct Surface {
    ui::BitmapObject bitmap;
    std::uint32_t* bits = nullptr;
  };
  Surface MakeSurface() const;
  void InternalShowDragImage(HDC screen);
  // Copies between the screen and the back image (rectangles as left, top, width, height).
  void RestoreScreen(HDC screen, const RECT& part) const;
  void SampleScreen(HDC screen, const RECT& part) const;
  void Restricted(POINT p, int& dx, int& dy) const;

  HWND owner_;
  int width_ = 0, height_ = 0;
  Surface back_, alpha_, drag_;
  std::uint32_t *backBits_ = nullptr, *dragBits_ = nullptr;
  POINT imagePosition_{}, lastPosition_{};
  std::uint8_t transparency_ = 128;
  std::int8_t preBlendBias_ = 0, postBlendBias_ = 0;
  bool fade_ = false;
  TLTDragMoveRestriction restriction_ = TLTDragMoveRestriction::dmrNone;
  COLORREF colorKey_ = kNoColorKey;
  std::uint8_t states_ = 0;
};

}  // namespace kv
