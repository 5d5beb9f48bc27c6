#include "ui/align.h"

#include <algorithm>

namespace kv::ui {

namespace {

// One axis of ApplyAnchors: start/size of the child, grown by delta.
void AnchorAxis(bool nearSide, bool farSide, int delta, int originSize, int originStart,
                int minSize, int& start, int& size) {
  start = originStart;
  size = originSize;
  if (nearSide && farSide) {
    size = std::max(originSize + delta, minSize);
  } else if (farSide) {
    start = originStart + delta;
  } else if (!nearSide) {
    start = originStart + delta / 2;  // keeps the centre where it was, relatively
  }
}

}  // namespace

TBounds ApplyAnchors(const TAnchorOrigin& origin, TAnchors anchors, int clientWidth,
                     int clientHeight, int minWidth, int minHeight) {
  TBounds b;
  AnchorAxis(anchors & akLeft, anchors & akRight, clientWidth - origin.clientWidth,
             origin.bounds.width, origin.bounds.left, minWidth, b.left, b.width);
  AnchorAxis(anchors & akTop, anchors & akBottom, clientHeight - origin.clientHeight,
             origin.bounds.height, origin.bounds.top, minHeight, b.top, b.height);
  return b;
}

void AlignItems(std::vector<TAlignItem>& items, TBounds client) {
  int top = client.top, bottom = client.top + client.height;
  int left = client.left, right = client.left + client.width;
  for (auto& it : items) {
    if (it.align != TAlign::Top) continue;
    it.bounds = {left, top, std::max(right - left, it.minWidth), it.bounds.height};
    top += it.bounds.height;
  }
  for (auto& it : items) {
    if (it.align != TAlign::Bottom) continue;
    bottom -= it.bounds.height;
    it.bounds = {left, bottom, std::max(right - left, it.minWidth), it.bounds.height};
  }
  const int middle = std::max(bottom - top, 0);
  for (auto& it : items) {
    if (it.align != TAlign::Left) continue;
    it.bounds = {left, top, it.bounds.width, std::max(middle, it.minHeight)};
    left += it.bounds.width;
  }
  for (auto& it : items) {
    if (it.align != TAlign::Right) continue;
    right -= it.bounds.width;
    it.bounds = {right, top, it.bounds.width, std::max(middle, it.minHeight)};
  }
  for (auto& it : items) {
    if (it.align != TAlign::Client) continue;
    it.bounds = {left, top, std::max(right - left, it.minWidth), std::max(middle, it.minHeight)};
  }
}

}  // namespace kv::ui
