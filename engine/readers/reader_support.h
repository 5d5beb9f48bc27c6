#pragma once
// Pieces shared by the WMA, Ogg Vorbis, FLAC and M4A readers: a bounded,
// buffered cursor over a ByteSource and the small text rules the readers
// have in common.
#include "engine/readers/byte_reader.h"
#include "engine/readers/byte_source.h"
#include "engine/readers/reader_results.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/strings.h"  // AsciiUpper

namespace kv {

// Sequential reads inside the window [begin, end) of a source (end clipped to
// its size). Like ByteReader, the first read past the window trips the cursor;
// afterwards every read yields zero/empty and the cursor tests false. Reads go
// through a small buffer, so walking many short items costs few source reads.
//
// A cursor made over a part of another (a child box inside the parent's walk)
// reads from the parent's buffer while that covers it, so descending into the
// children of a box costs no further source reads. The parent must outlive
// the child and must not move while the child is used.
class SourceCursor {
 public:
  SourceCursor(ByteSource& source, uint64_t begin, uint64_t end);
  // The window [begin, end) clipped to the parent's window.
  SourceCursor(SourceCursor& parent, uint64_t begin, uint64_t end);

  explicit operator bool() const { return ok_; }
  uint64_t Position() const { return pos_; }
  uint64_t End() const { return end_; }
  uint64_t Remaining() const { return ok_ ? end_ - pos_ : 0; }
  void Fail() { ok_ = false; }

  uint8_t U8();
  uint16_t U16le();
  uint16_t U16be();
  uint32_t U24be();
  uint32_t U32le();
  uint32_t U32be();
  uint64_t U64le();
  uint64_t U64be();
  // The next n bytes; the caller bounds n by what it keeps.
  std::string Bytes(size_t n);
  void Skip(uint64_t n);
  // Moves to an absolute offset inside the window.
  void Seek(uint64_t pos);

 private:
  const uint8_t* Need(size_t n);
  template <typename T>
  T Int(size_t n, T (ByteReader::*read)());

  // Points into this cursor's or the parent's buffer when it holds the n
  // bytes at pos_, else null.
  const uint8_t* Buffered(size_t n) const;

  ByteSource& source_;
  const SourceCursor* parent_ = nullptr;
  uint64_t pos_;
  uint64_t end_;
  bool ok_ = true;
  std::vector<uint8_t> buffer_;
  uint64_t bufferStart_ = 0;
};

// The text without a last UTF-8 sequence that a length limit cut short.
std::string_view DropCutUtf8Tail(std::string_view text);

// Removes characters up to and including the blank from both ends.
std::string_view TrimBlanks(std::string_view text);
std::u16string_view TrimBlanks(std::u16string_view text);

// A whole number: leading blanks, an optional sign, decimal digits, then the
// end of the text or a NUL. Nothing else (and nothing outside 32 bits) is one.
std::optional<int32_t> ParseWholeNumber(std::string_view text);

// Nearest integer, halves to the even neighbour; nothing when the value is not
// finite or lies outside 32 bits.
std::optional<int32_t> RoundHalfEven(double value);

}  // namespace kv
