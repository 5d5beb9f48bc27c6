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
  // TITLE, ARTIST, ALBUM, DATE, GENRE, COMMENT of the last VORBIS_COMMENT
  // block (names in any letter case, the first item of a name in the block
  // wins); track is TRACK as a whole number, 0 when empty or not one.
  TTagTexts texts;
  TStreamProperties stream;
  // A VORBIS_COMMENT block was met.
  bool tagFound = false;
  // Whole seconds (total samples / sample rate); 0 when there is no STREAMINFO,
  // the total is unknown or the result does not fit 31 bits.
  uint32_t duration = 0;
  uint32_t bitsPerSample = 0;
  uint64_t totalSamples = 0;
  // Why the read failed (kNotThisFormat), raised (kZeroSampleRate), found no
  // stream figures (kNoStreamInfo) or why comment items stopped short.
  ReadFault fault = ReadFault::kNone;

  void Reset() { *this = TFlacFile{}; }
  // Resets, opens the file by its wide name through TAuFileStream (mode 0:
  // read-only, no sharing) and reads its metadata; false when it does not
  // begin with "fLaC". Raises when the file cannot be opened or read, when a
  // read needs bytes past the end of the file and for a STREAMINFO with a
  // sample rate of 0.
  bool ReadFromFile(const std::wstring& fileName);
  // The same over any bytes.
  bool ReadFromSource(ByteSource& source);
};

// The record's bit rate estimate in kbit/s: file size / duration * 8 * 0.95 /
// 1024, halves to even. Raises for a length of 0 seconds (the file is left out).
int32_t FlacBitRate(uint64_t fileSize, uint32_t duration);

}  // namespace kv
