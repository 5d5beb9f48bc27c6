#pragma once
// Ogg Vorbis files: the identification and comment headers of the first two
// pages and the sample position of the last page. Byte-level; reads the start
// and the last few kilobytes of the file only.
#include "engine/readers/byte_source.h"
#include "engine/readers/reader_results.h"

#include <cstdint>
#include <string>

namespace kv {

class TOggVorbis {
 public:
  // Comment texts; the artist falls back to PERFORMER, the comment to
  // DESCRIPTION; year is DATE as it stands; track is the number before the
  // first "/" of TRACKNUMBER (0 when it is not one, or beyond 16 bits).
  TTagTexts texts;
  TStreamProperties stream;
  // The vendor text as it stands in the comment header (not decoded).
  std::string vendor;
  // The first page and its Vorbis identification packet were found; every
  // other field stays zero/empty unless valid.
  bool valid = false;
  // Bytes of an ID3v2 tag before the first page (0 when none).
  uint64_t id3v2Size = 0;
  // kbit/s from the identification packet; 0 when unset, negative or beyond 16 bits.
  uint16_t nominalBitRate = 0;
  // The last page's granule position; 0 when no page header turns up in the
  // last 12,060 bytes or so, or the position is not a count of 32 bits.
  uint32_t samples = 0;
  // Why the read stopped short: no valid file, or comments cut (kNone when read whole).
  ReadFault fault = ReadFault::kNone;

  void Reset() { *this = TOggVorbis{}; }
  // Resets, opens the file by its wide name (others may read, not write) and
  // reads it; false when it is no Ogg Vorbis file. Raises when the file
  // cannot be opened or read.
  bool ReadFromFile(const std::wstring& fileName);
  // The same over any bytes; only errors of the source throw.
  bool ReadFromSource(ByteSource& source);

  // Seconds: samples / sample rate, or an estimate from the nominal bit rate
  // when no sample position was found; 0 when neither is known.
  double FGetDuration() const;
  // Average kbit/s over the file after the ID3v2 tag; 0 when the duration is
  // not above 0 or the figure does not fit 16 bits.
  uint16_t FGetBitRate() const;
};

}  // namespace kv
