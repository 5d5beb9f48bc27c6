#pragma once
// Where a point falls inside one cell of the tree: the indentation and its
// plus/minus button, the check box, the state and normal images, the label,
// and the free space left and right of the label. Window-free arithmetic; the
// tree fills the cell's layout from its node, options and image lists.

#include <cstdint>

#include "treeview/lazy_node.h"

namespace kv {

enum TTreeHitPosition : std::uint8_t {
  hpAbove = 0, hpBelow = 1, hpNowhere = 2, hpOnItem = 3, hpOnItemButton = 4, hpOnItemCheckbox = 5,
  hpOnItemIndent = 6, hpOnItemLabel = 7, hpOnItemLeft = 8, hpOnItemRight = 9, hpOnNormalIcon = 10,
  hpOnStateIcon = 11, hpToLeft = 12, hpToRight = 13,
};

// A set of hit positions, one bit per element (bit n = element n).
class THitPositions {
 public:
  constexpr THitPositions() = default;
  constexpr THitPositions(std::initializer_list<TTreeHitPosition> list) {
    for (auto p : list) Include(p);
  }
  constexpr bool Contains(TTreeHitPosition p) const { return (bits_ >> p) & 1u; }
  constexpr void Include(TTreeHitPosition p) { bits_ = static_cast<std::uint16_t>(bits_ | (1u << p)); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const THitPositions&) const = default;

 private:
  std::uint16_t bits_ = 0;
};

struct TTreeHitInfo {
  PLazyNode HitNode = nullptr;
  THitPositions HitPositions;
  TColumnIndex HitColumn = kNoColumn;
};

// The parts of a cell in reading order from its leading edge. A width of 0
// means the part is absent (no check box, no state or normal image).
struct TCellHitLayout {
  int Indent = 0;            // indentation of this cell (0 outside the main column)
  int IndentStep = 0;        // one level of indentation (the tree's Indent)
  bool HasButton = false;    // buttons shown and the node has children
  bool ContentOnly = false;  // a column other than the main one in report mode
  int Margin = 0;
  int CheckWidth = 0;
  int StateWidth = 0;
  int ImageWidth = 0;
  int NodeWidth = 0;
  int Alignment = 0;  // the text's side: 0 left, 1 right, 2 centre
};

// The positions of `offset` (from the cell's left edge) in a cell `right`
// pixels wide, read left to right.
THitPositions CellHitPositionsLTR(const TCellHitLayout& cell, int offset, int right);
// The same read right to left: every part is laid out from the cell's right
// edge; "left" and "right" of the label stay the physical sides.
THitPositions CellHitPositionsRTL(const TCellHitLayout& cell, int offset, int right);

}  // namespace kv
