#pragma once
// M4A files: length, channels, sample rate and bit rate from the movie and
// audio sample boxes, and the texts of the iTunes-style item list. Byte-level;
// walks box headers and reads only the boxes it uses.
#include "engine/readers/byte_source.h"
#include "engine/readers/reader_results.h"

#include <cstdint>
#include <string>

namespace kv {

class TM4AFile {
 public:
  // Texts each from at most 255 bytes of its item, in the ANSI code page;
  // empty unless Exists.
  TTagTexts texts;
  // File size, channel count and the integer part of the sample rate (Hz).
  // Stream figures read before a fault stay.
  TStreamProperties stream;
  // The item list was reached and read without a fault.
  bool Exists = false;
  // Whole seconds from the movie header (halves to even); 0 when its time
  // scale is 0 or the result does not fit 31 bits.
  uint32_t duration = 0;
  // kbit/s: the elementary stream's average bit rate / 1000.
  uint32_t bitRate = 0;
  // Why the read ended before the item list was read whole (kNone when it was).
  ReadFault fault = ReadFault::kNone;

  // Boxes walked at most inside one parent (the file counts as one).
  static constexpr uint32_t kMaxBoxesPerParent = 4096;

  void Reset() { *this = TM4AFile{}; }
  // Sets Exists and empties the texts, either way.
  void SetExists(bool exists);
  // Opens the file by its wide name and reads it; the result is Exists.
  // A name of fewer than two characters is not read (false). Raises when the
  // file cannot be opened or read.
  bool ReadFromFile(const std::wstring& fileName);
  // Reads the boxes in the order an M4A file from the usual tools has them:
  // "ftyp" with brand "M4A ", then "moov" with "mvhd", the first "trak" (down
  // to "mp4a"/"esds") and "udta" (down to "ilst"). Boxes of other types
  // between them are passed over by their size. Only errors of the source throw.
  bool ReadFromSource(ByteSource& source);
};

}  // namespace kv
