#include "treeview/hit_test.h"

namespace kv {

THitPositions CellHitPositionsLTR(const TCellHitLayout& cell, int offset, int right) {
  THitPositions result{hpOnItem};
  if (offset < cell.Indent) {
    if (cell.HasButton && offset >= cell.Indent - cell.IndentStep) result.Include(hpOnItemButton);
    return result;
  }
  if (cell.ContentOnly) return result;
  int position = cell.Indent + cell.Margin;
  if (cell.CheckWidth > 0) {
    position += cell.CheckWidth + 2;
    if (offset < position) return {hpOnItem, hpOnItemCheckbox};
  }
  if (cell.StateWidth > 0) {
    position += cell.StateWidth + 2;
    if (offset < position) {
      result.Include(hpOnStateIcon);
      return result;
    }
  }
  if (cell.ImageWidth > 0) {
    position += cell.ImageWidth + 2;
    if (offset < position) {
      result.Include(hpOnNormalIcon);
      return result;
    }
  }
  const int textStart = position;
  const int width = cell.NodeWidth;
  if (width <= right - textStart) {
    switch (cell.Alignment) {
      case 1:
        if (offset < right - width) {
          result.Include(hpOnItemLeft);
          return result;
        }
        break;
      case 2: {
        const int start = (textStart + right - width) / 2;
        if (offset < start) {
          result.Include(hpOnItemLeft);
          return result;
        }
        if (offset >= start + width) {
          result.Include(hpOnItemRight);
          return result;
        }
        break;
      }
      default:
        if (offset >= textStart + width) {
          result.Include(hpOnItemRight);
          return result;
        }
        break;
    }
  }
  result.Include(hpOnItemLabel);
  return result;
}

THitPositions CellHitPositionsRTL(const TCellHitLayout& cell, int offset, int right) {
  // Mirrored: the pixel at `offset` is the pixel right - 1 - offset read from
  // the other edge. Read from there the alignment is the one set (left-aligned
  // text follows the images from the right edge, as it is painted); the sides
  // of the label swap.
  const THitPositions m = CellHitPositionsLTR(cell, right - 1 - offset, right);
  THitPositions result;
  for (int p = hpAbove; p <= hpToRight; ++p) {
    auto position = static_cast<TTreeHitPosition>(p);
    if (!m.Contains(position)) continue;
    if (position == hpOnItemLeft) result.Include(hpOnItemRight);
    else if (position == hpOnItemRight) result.Include(hpOnItemLeft);
    else result.Include(position);
  }
  return result;
}

}  // namespace kv
