#pragma once
// FLAC files: the STREAMINFO and VORBIS_COMMENT metadata blocks. Byte-level;
// reads the metadata blocks only.
#include "engine/readers/byte_source.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kv {

// What a FLAC read found.
struct FlacInfo {
  // A VORBIS_COMMENT block was met.
  bool tagFound = false;
  // Texts in the ANSI code page (TITLE, ARTIST, ALBUM, DATE, GENRE, COMMENT;
  // names in any letter case, the first item of a name wins).
  std::string title, artist, album, year, genre, comment;
  // TRACK as a whole number, 0 when empty or not one.
  int32_t track = 0;
  // Whole seconds (total samples / sample rate); 0 when the total is unknown
  // or the result does not fit 31 bits.
  uint32_t duration = 0;
  uint32_t bitsPerSample = 0;
  uint32_t sampleRate = 0;
  uint32_t channels = 0;
  uint64_t totalSamples = 0;
};

// The reasons a file with the FLAC extension is not added to the collection.
class FlacDropped : public std::runtime_error {
 public:
  enum class Reason { NotFlac, NoStreamInfo, ZeroSampleRate };
  explicit FlacDropped(Reason reason);
  Reason reason() const { return reason_; }

 private:
  Reason reason_;
};

// Reads the metadata blocks. Throws FlacDropped when the file does not begin
// with "fLaC" or has no usable STREAMINFO; errors of the source pass through.
// A block whose length runs past the file ends the walk with what was read.
FlacInfo ReadFlac(ByteSource& source);

// The record's bit rate estimate in kbit/s: file size / duration * 8 * 0.95 /
// 1024, halves to even; 0 for a clip shorter than one second.
int32_t FlacBitRate(uint64_t fileSize, uint32_t duration);

}  // namespace kv
