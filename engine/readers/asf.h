#pragma once
// WMA files: the stream properties and descriptive texts of an Advanced
// Systems Format header. Byte-level; reads only the header object.
#include "engine/readers/byte_source.h"

#include <cstdint>
#include <string>

namespace kv {

// What a WMA read found. Everything stays zero/empty unless `valid`.
struct AsfInfo {
  // The header was read whole and its stream figures are plausible (maximum
  // bit rate 1..319999, 1 or 2 channels, 8000..96000 Hz, average byte rate 1..39999).
  bool valid = false;
  uint64_t fileSize = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  // Seconds: the file's play duration less its preroll, or, when the file
  // does not state them, file size in bits / maximum bit rate.
  double duration = 0;
  // kbit/s, from the stream's average byte rate.
  int32_t bitRate = 0;
  // Texts in the ANSI code page, blanks trimmed.
  std::string title, artist, album, year, genre, comment;
  // WM/Track as a whole number, 0 when it is not one.
  int32_t track = 0;
};

// Reads the header object. Never throws except std::bad_alloc: a file that is
// not ASF, is malformed, is cut short or fails to read gives an invalid result.
AsfInfo ReadAsf(ByteSource& source);

}  // namespace kv
