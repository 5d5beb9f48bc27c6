#pragma once
// Layout math of aligned and anchored children. No window handles: the
// controls feed their bounds in and apply what comes out.
#include <cstdint>
#include <vector>

namespace kv::ui {

struct TBounds {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const TBounds&) const = default;
};

enum class TAlign : uint8_t { None, Top, Bottom, Left, Right, Client };

using TAnchors = uint8_t;
constexpr TAnchors akLeft = 1, akTop = 2, akRight = 4, akBottom = 8;
constexpr TAnchors kDefaultAnchors = akLeft | akTop;

// Where an anchored child stood when its bounds were last set, and the size
// of its parent's client area at that moment.
struct TAnchorOrigin {
  TBounds bounds;
  int clientWidth = 0, clientHeight = 0;
};

// The child's bounds once the parent's client area is clientWidth x
// clientHeight: an edge anchored on both sides stretches, one anchored on the
// far side only moves, one anchored on neither side keeps its centre
// proportion; never narrower than the minimum size.
TBounds ApplyAnchors(const TAnchorOrigin& origin, TAnchors anchors, int clientWidth,
                     int clientHeight, int minWidth = 0, int minHeight = 0);

struct TAlignItem {
  TAlign align = TAlign::None;
  TBounds bounds;  // in: current bounds; out: aligned bounds
  int minWidth = 0, minHeight = 0;
};

// Places the aligned items in the client rectangle: top items stack down from
// the top in list order, bottom items up from the bottom, then left and right
// items share the remaining height, and client items fill what is left.
// Items aligned None are not touched.
void AlignItems(std::vector<TAlignItem>& items, TBounds client);

}  // namespace kv::ui
