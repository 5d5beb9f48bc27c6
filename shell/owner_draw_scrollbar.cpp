#include "shell/owner_draw_scrollbar.h"

#include <algorithm>
#include <cmath>

namespace kv {

namespace {
// Nearest integer, halves to the even neighbour (the default rounding mode).
int RoundEven(double value) { return static_cast<int>(std::nearbyint(value)); }
}  // namespace

void TScrollbarRange::Clamp() {
  pageSize_ = std::clamp(pageSize_, 1, max_ - min_);
  position_ = std::clamp(position_, min_, max_ - pageSize_);
}

void TScrollbarRange::SetMin(int value) {
  min_ = value >= max_ ? max_ - 1 : value;
  Clamp();
}

void TScrollbarRange::SetMax(int value) {
  max_ = value <= min_ ? min_ + 1 : value;
  Clamp();
}

void TScrollbarRange::SetPageSize(int value) {
  pageSize_ = value;
  Clamp();
}

void TScrollbarRange::SetPosition(int value) {
  position_ = value;
  Clamp();
}

TScrollbarGeometry::TScrollbarGeometry(const TScrollbarRange& range, int height, int arrowHeight,
                                       int thumbHeight)
    : range_(range), height_(std::max(height, 0)) {
  // Shorter than two arrows: the arrows share the height (the lower one takes
  // the odd pixel) and there is no track.
  const bool shorter = height_ < 2 * arrowHeight;
  arrowHeight_ = shorter ? height_ / 2 : arrowHeight;
  trackLength_ = shorter ? 0 : height_ - 2 * arrowHeight_;
  const double share = double(range_.PageSize()) / double(range_.Max() - range_.Min());
  thumbLength_ = std::max(RoundEven(trackLength_ * share), thumbHeight / 2);
  if (thumbLength_ > trackLength_) thumbLength_ = 0;
}

int TScrollbarGeometry::ThumbCenter() const {
  const int half = thumbLength_ / 2;
  const int top = arrowHeight_ + half;
  if (range_.Position() == range_.Min()) return top;
  if (range_.Position() == range_.HighestPosition()) return arrowHeight_ + trackLength_ - half;
  // Between the ends: along the track shortened by half a thumb at each end.
  // Position is strictly between Min and the highest position here, so the
  // divisor is at least 2.
  const int length = ShortenedTrackLength();
  const int steps = range_.HighestPosition() - range_.Min();
  return top + RoundEven((range_.Position() - range_.Min()) * (double(length) / steps));
}

TScrollbarSpan TScrollbarGeometry::Thumb() const {
  if (thumbLength_ == 0) return {};
  const int top = ThumbCenter() - thumbLength_ / 2;
  return {top, top + thumbLength_};
}

// Without a thumb (the minimum one does not fit) the page areas still meet at
// the centre a thumb of length 0 would have, so a press in the track pages.
TScrollbarSpan TScrollbarGeometry::PageAbove() const {
  return {Track().top, thumbLength_ == 0 ? ThumbCenter() : Thumb().top};
}

TScrollbarSpan TScrollbarGeometry::PageBelow() const {
  return {thumbLength_ == 0 ? ThumbCenter() : Thumb().bottom, Track().bottom};
}

TScrollbarPart TScrollbarGeometry::PartAt(int y) const {
  if (UpperArrow().Contains(y)) return TScrollbarPart::UpperArrow;
  if (LowerArrow().Contains(y)) return TScrollbarPart::LowerArrow;
  if (Thumb().Contains(y)) return TScrollbarPart::Thumb;
  if (PageAbove().Contains(y)) return TScrollbarPart::PageAbove;
  if (PageBelow().Contains(y)) return TScrollbarPart::PageBelow;
  return TScrollbarPart::None;
}

// Half a thumb is a whole number of pixels, so an odd thumb leaves the
// shortened track one pixel longer than the track less the thumb.
int TScrollbarGeometry::ShortenedTrackLength() const { return trackLength_ - 2 * (thumbLength_ / 2); }

int TScrollbarGeometry::PositionFromPixel(int y) const {
  const int top = arrowHeight_ + thumbLength_ / 2;
  const int length = ShortenedTrackLength();
  const int steps = range_.HighestPosition() - range_.Min();
  // A single position answers Min everywhere. A thumb as long as the track
  // leaves a shortened track of no length: its top pixel stands for Min,
  // every pixel below it for the highest position.
  if (steps <= 0 || y <= top) return range_.Min();
  if (y >= top + length) return range_.HighestPosition();
  return range_.Min() + RoundEven((y - top) * (double(steps) / length));
}

}  // namespace kv
