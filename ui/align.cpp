#include "ui/align.h"

#include <algorithm>
#include <climits>

namespace kv::ui {

namespace {

// Sizes and positions come from layouts and from stored settings, so any
// int may arrive: the sums are taken in 64 bits and the results brought
// back into an int's range.
int ToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

// One axis of ApplyAnchors: start/size of the child, grown by delta.
void AnchorAxis(bool nearSide, bool farSide, int64_t delta, int originSize, int originStart,
                int minSize, int& start, int& size) {
  start = originStart;
  size = originSize;
  if (nearSide && farSide) {
    size = std::max(ToInt(originSize + delta), minSize);
  } else if (farSide) {
    start = ToInt(originStart + delta);
  } else if (!nearSide) {
    start = ToInt(originStart + delta / 2);  // keeps the centre where it was, relatively
  }
}

}  // namespace

TBounds ApplyAnchors(const TAnchorOrigin& origin, TAnchors anchors, int clientWidth,
                     int clientHeight, int minWidth, int minHeight) {
  TBounds b;
  AnchorAxis(anchors & akLeft, anchors & akRight, int64_t{clientWidth} - origin.clientWidth,
             origin.bounds.width, origin.bounds.left, minWidth, b.left, b.width);
  AnchorAxis(anchors & akTop, anchors & akBottom, int64_t{clientHeight} - origin.clientHeight,
             origin.bounds.height, origin.bounds.top, minHeight, b.top, b.height);
  return b;
}

void AlignItems(std::vector<TAlignItem>& items, TBounds client) {
  int64_t top = client.top, bottom = int64_t{client.top} + client.height;
  int64_t left = client.left, right = int64_t{client.left} + client.width;
  const int across = ToInt(std::max<int64_t>(right - left, 0));
  for (auto& it : items) {
    if (it.align != TAlign::Top) continue;
    it.bounds = {ToInt(left), ToInt(top), std::max(across, it.minWidth), it.bounds.height};
    top += it.bounds.height;
  }
  for (auto& it : items) {
    if (it.align != TAlign::Bottom) continue;
    bottom -= it.bounds.height;
    it.bounds = {ToInt(left), ToInt(bottom), std::max(across, it.minWidth), it.bounds.height};
  }
  const int middle = ToInt(std::max<int64_t>(bottom - top, 0));
  for (auto& it : items) {
    if (it.align != TAlign::Left) continue;
    it.bounds = {ToInt(left), ToInt(top), it.bounds.width, std::max(middle, it.minHeight)};
    left += it.bounds.width;
  }
  for (auto& it : items) {
    if (it.align != TAlign::Right) continue;
    right -= it.bounds.width;
    it.bounds = {ToInt(right), ToInt(top), it.bounds.width, std::max(middle, it.minHeight)};
  }
  for (auto& it : items) {
    if (it.align != TAlign::Client) continue;
    it.bounds = {ToInt(left), ToInt(top), std::max(ToInt(right - left), it.minWidth),
                 std::max(middle, it.minHeight)};
  }
}

}  // namespace kv::ui
