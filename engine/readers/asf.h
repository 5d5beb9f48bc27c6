#pragma once
// WMA files: the stream properties and descriptive texts of an Advanced
// Systems Format header. Byte-level; reads only the header object.
#include "engine/readers/byte_source.h"
#include "engine/readers/reader_results.h"

#include <cstdint>
#include <string>

namespace kv {

class TWMAfile {
 public:
  // Texts blanks-trimmed; track is WM/Track as a whole number, 0 when it is not one.
  TTagTexts texts;
  TStreamProperties stream;
  // The header was read whole and its stream figures are plausible (maximum
  // bit rate 1..319999, 1 or 2 channels, 8000..96000 Hz, average byte rate
  // 1..39999). Every other field stays zero/empty unless valid.
  bool valid = false;
  // Seconds: the file's play duration less its preroll, or, when the file
  // does not state them, file size in bits / maximum bit rate.
  double duration = 0;
  // kbit/s, from the stream's average byte rate.
  int32_t bitRate = 0;
  // Why the last read found no valid file (kNone when it did).
  ReadFault fault = ReadFault::kNone;

  // Empties every field.
  void Reset() { *this = TWMAfile{}; }
  // Opens the file by its wide name (others may read, not write) and reads
  // its header; false for a file that cannot be opened or read, as for an
  // invalid WMA file; true for a valid one and for a file that is not ASF
  // at all (read, nothing found). Never throws except std::bad_alloc.
  bool ReadFromFile(const std::wstring& fileName);
  // The same over any bytes.
  bool ReadFromSource(ByteSource& source);
};

}  // namespace kv
