#pragma once
// M4A files: length, channels, sample rate and bit rate from the movie and
// audio sample boxes, and the texts of the iTunes-style item list. Byte-level;
// walks box headers and reads only the boxes it uses.
#include "engine/readers/byte_source.h"

#include <cstdint>
#include <string>

namespace kv {

// The bit rate the record stores for every M4A file: the mark of a lossless stream.
inline constexpr int32_t kM4aRecordBitRate = 10000;
// The record writes this flag as "1" to the settings section "Session" for
// every M4A file it reads, whatever the read finds.
inline constexpr char kM4aSettingsSection[] = "Session";
inline constexpr char kM4aSettingsFlag[] = "iTunesInstalled";

// What an M4A read found. Stream figures read before a failure stay.
struct Mp4Info {
  // The item list was reached and read without a fault; the texts and track
  // are empty otherwise.
  bool exists = false;
  // Whole seconds from the movie header (halves to even); 0 when its time
  // scale is 0 or the result does not fit 31 bits.
  uint32_t duration = 0;
  // kbit/s: the elementary stream's average bit rate / 1000.
  uint32_t bitRate = 0;
  uint16_t channels = 0;
  // Hz, the integer part of the sample entry's rate.
  uint32_t sampleRate = 0;
  // Texts in the ANSI code page, each from at most 255 bytes of its item.
  std::string title, artist, album, comment, genre, year;
  uint16_t track = 0;
};

// Reads the boxes in the order an M4A file from the usual tools has them:
// "ftyp" with brand "M4A ", then "moov" with "mvhd", the first "trak" (down
// to "mp4a"/"esds") and "udta" (down to "ilst"). Boxes of other types between
// them are passed over by their size. Only errors of the source throw.
Mp4Info ReadMp4(ByteSource& source);

}  // namespace kv
