#include "engine/readers/reader_support.h"

#include "engine/readers/byte_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv {
namespace {

// Bytes fetched per source read; items larger than this are read in one go.
constexpr size_t kCursorChunk = 4096;

bool IsBlank(char16_t c) { return c <= u' '; }

}  // namespace

SourceCursor::SourceCursor(ByteSource& source, uint64_t begin, uint64_t end)
    : source_(source), pos_(begin), end_(std::min(end, source.Size())) {
  if (pos_ > end_) ok_ = false;
}

SourceCursor::SourceCursor(SourceCursor& parent, uint64_t begin, uint64_t end)
    : source_(parent.source_), parent_(&parent), pos_(begin), end_(std::min(end, parent.end_)) {
  if (pos_ > end_ || !parent.ok_) ok_ = false;
}

const uint8_t* SourceCursor::Buffered(size_t n) const {
  if (pos_ >= bufferStart_ && pos_ - bufferStart_ <= buffer_.size() && n <= buffer_.size() - (pos_ - bufferStart_)) {
    return buffer_.data() + (pos_ - bufferStart_);
  }
  for (const SourceCursor* p = parent_; p; p = p->parent_) {
    if (pos_ >= p->bufferStart_ && pos_ - p->bufferStart_ <= p->buffer_.size() &&
        n <= p->buffer_.size() - (pos_ - p->bufferStart_)) {
      return p->buffer_.data() + (pos_ - p->bufferStart_);
    }
  }
  return nullptr;
}

const uint8_t* SourceCursor::Need(size_t n) {
  if (!ok_ || n > end_ - pos_) {
    ok_ = false;
    return nullptr;
  }
  const uint8_t* p = Buffered(n);
  if (!p) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(n, kCursorChunk), end_ - pos_));
    buffer_.resize(want);
    bufferStart_ = pos_;
    buffer_.resize(source_.ReadAt(pos_, buffer_));
    if (buffer_.size() < n) {  // the source holds less than its size said
      ok_ = false;
      return nullptr;
    }
    p = buffer_.data();
  }
  pos_ += n;
  return p;
}

uint8_t SourceCursor::U8() {
  const uint8_t* p = Need(1);
  return p ? p[0] : 0;
}

template <typename T>
T SourceCursor::Int(size_t n, T (ByteReader::*read)()) {
  const uint8_t* p = Need(n);
  if (!p) return 0;
  ByteReader r(std::span(p, n));
  return (r.*read)();
}

uint16_t SourceCursor::U16le() { return Int(2, &ByteReader::U16le); }
uint16_t SourceCursor::U16be() { return Int(2, &ByteReader::U16be); }
uint32_t SourceCursor::U24be() { return Int(3, &ByteReader::U24be); }
uint32_t SourceCursor::U32le() { return Int(4, &ByteReader::U32le); }
uint32_t SourceCursor::U32be() { return Int(4, &ByteReader::U32be); }
uint64_t SourceCursor::U64le() { return Int(8, &ByteReader::U64le); }
uint64_t SourceCursor::U64be() { return Int(8, &ByteReader::U64be); }

std::string SourceCursor::Bytes(size_t n) {
  const uint8_t* p = Need(n);
  return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
}

void SourceCursor::Skip(uint64_t n) {
  if (!ok_ || n > end_ - pos_) {
    ok_ = false;
    return;
  }
  pos_ += n;
}

void SourceCursor::Seek(uint64_t pos) {
  if (!ok_ || pos > end_) {
    ok_ = false;
    return;
  }
  pos_ = pos;
}

const char* ReadFaultText(ReadFault fault) {
  switch (fault) {
    case ReadFault::kNone: return "read whole";
    case ReadFault::kNotThisFormat: return "not this format";
    case ReadFault::kOutsideParent: return "box outside its parent";
    case ReadFault::kBadSize: return "size smaller than its header";
    case ReadFault::kShortField: return "short field";
    case ReadFault::kTooManyBoxes: return "too many boxes";
    case ReadFault::kMissingBox: return "expected box missing";
    case ReadFault::kImplausibleStream: return "implausible stream figures";
    case ReadFault::kNoStreamInfo: return "no stream information";
    case ReadFault::kZeroSampleRate: return "sample rate of 0";
    case ReadFault::kReadError: return "read error";
  }
  return "unknown fault";
}

std::string_view DropCutUtf8Tail(std::string_view text) {
  size_t lead = text.size();
  while (lead > 0 && text.size() - lead < 4 && (static_cast<uint8_t>(text[lead - 1]) & 0xC0) == 0x80) --lead;
  if (lead == 0) return text;
  const auto c = static_cast<uint8_t>(text[lead - 1]);
  const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  return c >= 0xC0 && text.size() - (lead - 1) < need ? text.substr(0, lead - 1) : text;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<uint8_t>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<uint8_t>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t digitsStart = i;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
  }
  if (i == digitsStart || (i < text.size() && text[i] != '\0')) return std::nullopt;
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<int32_t> RoundHalfEven(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double r = std::nearbyint(value);  // the default rounding mode: halves to even
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(r);
}

}  // namespace kv
