#pragma once
// Ogg Vorbis files: the identification and comment headers of the first two
// pages and the sample position of the last page. Byte-level; reads the start
// and the last few kilobytes of the file only.
#include "engine/readers/byte_source.h"

#include <cstdint>
#include <string>

namespace kv {

// What an Ogg Vorbis read found. Everything stays zero/empty unless `valid`.
struct OggInfo {
  // The first page and its Vorbis identification packet were found.
  bool valid = false;
  uint64_t fileSize = 0;
  // Bytes of an ID3v2 tag before the first page (0 when none).
  uint64_t id3v2Size = 0;
  uint8_t channels = 0;
  uint32_t sampleRate = 0;
  // kbit/s from the identification packet; 0 when unset, negative or beyond 16 bits.
  uint16_t nominalBitRate = 0;
  // The last page's granule position; 0 when not found or not a count of 32 bits.
  uint32_t samples = 0;
  // Comment texts in the ANSI code page. The artist falls back to PERFORMER,
  // the comment to DESCRIPTION.
  std::string title, artist, album, date, genre, comment, vendor;
  // The number before the first "/" of TRACKNUMBER; 0 when it is not one.
  uint16_t track = 0;

  // Seconds: samples / sample rate, or an estimate from the nominal bit rate
  // when no sample position was found; 0 when neither is known.
  double Duration() const;
  // Average kbit/s over the file after the ID3v2 tag; 0 when the duration is
  // not above 0 or the figure does not fit 16 bits.
  uint16_t BitRate() const;
};

// Reads the headers and the last page. Only errors of the source throw; a
// file that is not Ogg Vorbis gives an invalid result.
OggInfo ReadOgg(ByteSource& source);

}  // namespace kv
