#pragma once
// FLAC files: the STREAMINFO and VORBIS_COMMENT metadata blocks. Byte-level;
// reads the metadata blocks only.
#include "engine/readers/byte_source.h"
#include "engine/readers/reader_results.h"

#include <cstdint>
#include <string>

namespace kv {

class TFlacFile {
 public:
  // TITLE, ARTIST, ALBUM, DATE, GENRE, COMMENT (names in any letter case, the
  // first item of a name wins), each from at most kMaxItemBytes of its item;
  // track is TRACK as a whole number, 0 when empty or not one.
  TTagTexts texts;
  TStreamProperties stream;
  // A VORBIS_COMMENT block was met.
  bool tagFound = false;
  // Whole seconds (total samples / sample rate); 0 when the total is unknown
  // or the result does not fit 31 bits.
  uint32_t duration = 0;
  uint32_t bitsPerSample = 0;
  uint64_t totalSamples = 0;
  // Why the read failed (kNotThisFormat, kNoStreamInfo, kZeroSampleRate) or
  // why the walk of the blocks ended early (the read still succeeds).
  ReadFault fault = ReadFault::kNone;

  // Bytes of a comment item (name, "=" and value) that are kept.
  static constexpr uint32_t kMaxItemBytes = 250;

  void Reset() { *this = TFlacFile{}; }
  // Opens the file by its wide name and reads its metadata; false when it
  // does not begin with "fLaC" or has no usable STREAMINFO. Raises when the
  // file cannot be opened or read.
  bool ReadFromFile(const std::wstring& fileName);
  // The same over any bytes; only errors of the source throw.
  bool ReadFromSource(ByteSource& source);
};

// The record's bit rate estimate in kbit/s: file size / duration * 8 * 0.95 /
// 1024, halves to even; 0 for a clip shorter than one second.
int32_t FlacBitRate(uint64_t fileSize, uint32_t duration);

}  // namespace kv
