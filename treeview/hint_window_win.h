#pragma once
// The pop-up text a tree shows over itself: a column's hint, a node hint, or
// a tooltip with the full text of a cut-off cell. The window captures the
// screen beneath itself, draws a soft shadow over that copy and may fade or
// slide in.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "treeview/lazy_node.h"
#include "treeview/lazy_tree_paint_win.h"
#include "ui/gdi_win.h"

namespace kv {

class TBaseLazyTree;

enum class TLTHintMode : std::uint8_t { hmDefault, hmHint, hmHintAndDefault, hmTooltip };
enum class THintAnimationType : std::uint8_t { hatNone, hatFade, hatSlide, hatSystemDefault };

// What the tree decided to show; the window reads it.
struct THintData {
  TBaseLazyTree* Tree = nullptr;
  PLazyNode Node = nullptr;  // null for header and plain hints
  TColumnIndex Column = kNoColumn;
  RECT HintRect{};           // a draw tree's: the size its owner wants (OnGetHintSize)
  std::wstring DefaultHint;  // a text fixed by the tree (column hint)
  std::wstring HintText;     // the text finally shown
  TLTBidiMode BidiMode = TLTBidiMode::bdLeftToRight;
  TLTAlignment Alignment = TLTAlignment::taLeftJustify;
};

// The width of the shadow at the right and bottom of a hint (none where
// blending is not available).
inline constexpr int kHintShadowSize = 5;
// The five layers of black blended over each shadow strip (out of 256).
inline constexpr std::uint8_t kHintShadowAlphas[5] = {5, 10, 20, 35, 50};

// Darkens the right and bottom strips of `size` pixels of the rectangle
// `r` on `dc` in five overlapping layers, so the shadow fades outwards.
void DrawHintShadow(HDC dc, int size, const RECT& r);

class TLazyTreeHintWindow {
 public:
  explicit TLazyTreeHintWindow(TBaseLazyTree& tree);
  ~TLazyTreeHintWindow();
  TLazyTreeHintWindow(const TLazyTreeHintWindow&) = delete;
  TLazyTreeHintWindow& operator=(const TLazyTreeHintWindow&) = delete;

  // The window's size for the hint data (origin 0, the shadow included);
  // empty: nothing to show (no data, no text, or a tooltip over text that is
  // fully visible). The hint text is the data's; `hint` is not shown.
  RECT CalcHintRect(int maxWidth, const std::wstring& hint, const THintData* data);
  // Shows the window at `r` (screen coordinates, kept inside its monitor),
  // animated as the tree wants. False when the tree was destroyed meanwhile
  // (by a message handled during the animation): then neither the tree nor
  // this window may be touched.
  bool ActivateHint(RECT r, const std::wstring& hint);
  void Hide();
  bool Visible() const;
  // Set when a tree's hint window was destroyed; cleared when one is made or
  // hidden. A running animation stops once it is set.
  static bool WindowDestroyed();
  HWND Handle() const { return hwnd_; }
  const THintData& Data() const { return data_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) noexcept;
  // The window went hidden: the tree's hint area and the hint data go.
  void Hidden();
  void RenderDrawing();
  // Step 0 renders the hint's picture first; step size 0 shows the finished
  // hint, any other one animation step.
  void InternalPaint(int step, int stepSize);
  void AllocateBitmaps(int width, int height);
  // Runs the animation steps; false when the tree went meanwhile.
  bool Animate(int steps, unsigned duration);

  // A 32-bit top-down bitmap selected into a memory DC of its own.
  struct Surface;
  static std::unique_ptr<Surface> MakeSurface(int width, int height);

  TBaseLazyTree& tree_;
  HWND hwnd_ = nullptr;
  THintData data_;
  THintAnimationType animation_ = THintAnimationType::hatNone;
  int width_ = 0, height_ = 0;
  int textHeight_ = 0;
  int shadow_ = kHintShadowSize;
  bool ownerDrawn_ = false;  // the tree's owner paints the content (a draw tree's hint)
  LOGFONTW font_{};
  std::unique_ptr<Surface> background_, drawing_, target_;
};

}  // namespace kv
