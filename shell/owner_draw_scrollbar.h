#pragma once
// The arithmetic of the owner-drawn scroll bar: its range with the clamping
// rules, and the places of its arrows, track and thumb for a given height.
// Window-free, so the rules are checked natively.
#include <cstdint>

namespace kv {

class TScrollbarRange {
 public:
  int Min() const { return min_; }
  int Max() const { return max_; }
  int PageSize() const { return pageSize_; }
  int Position() const { return position_; }
  int HighestPosition() const { return max_ - pageSize_; }
  // Each setter keeps the four values consistent: Max above Min, PageSize
  // within 1 and Max - Min, Position within Min and Max - PageSize.
  void SetMin(int value);
  void SetMax(int value);
  void SetPageSize(int value);
  void SetPosition(int value);

 private:
  void Clamp();
  int min_ = 0, max_ = 100, pageSize_ = 1, position_ = 0;
};

// A vertical span [top, bottom) in client pixels; empty when bottom <= top.
struct TScrollbarSpan {
  int top = 0, bottom = 0;
  int Length() const { return bottom > top ? bottom - top : 0; }
  bool Contains(int y) const { return y >= top && y < bottom; }
  bool operator==(const TScrollbarSpan&) const = default;
};

enum class TScrollbarPart : uint8_t { None, UpperArrow, LowerArrow, PageAbove, PageBelow, Thumb };

class TScrollbarGeometry {
 public:
  // height: the control's client height; arrowHeight and thumbHeight: the
  // system's vertical arrow height and minimum thumb height.
  TScrollbarGeometry(const TScrollbarRange& range, int height, int arrowHeight, int thumbHeight);

  int ArrowHeight() const { return arrowHeight_; }
  int TrackLength() const { return trackLength_; }
  int ThumbLength() const { return thumbLength_; }
  // The thumb's centre, in client pixels (meaningless without a thumb).
  int ThumbCenter() const;

  TScrollbarSpan UpperArrow() const { return {0, arrowHeight_}; }
  TScrollbarSpan LowerArrow() const { return {arrowHeight_ + trackLength_, height_}; }
  TScrollbarSpan Track() const { return {arrowHeight_, arrowHeight_ + trackLength_}; }
  TScrollbarSpan Thumb() const;      // empty without a thumb
  TScrollbarSpan PageAbove() const;  // from the track's top to the thumb
  TScrollbarSpan PageBelow() const;  // from the thumb to the track's bottom
  TScrollbarPart PartAt(int y) const;

  // The position a thumb centred at pixel y stands for.
  int PositionFromPixel(int y) const;

 private:
  int ShortenedTrackLength() const;

  TScrollbarRange range_;
  int height_, arrowHeight_, trackLength_, thumbLength_;
};

}  // namespace kv
