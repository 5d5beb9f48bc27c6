#pragma once
// M4A files: length, channels, sample rate and bit rate from the movie and
// audio sample boxes, and the texts of the iTunes-style item list. Byte-level;
// walks box headers and reads only the boxes it uses.
#include "engine/readers/byte_source.h"
#include "engine/readers/reader_results.h"

#include <cstdint>
#include <string>
#include <utility>

namespace kv {

class TM4AFile {
 public:
  // Texts as read (UTF-8), each from at most 255 bytes of its item; empty
  // unless Exists. The track is a 16-bit number.
  TTagTexts texts;
  // Channel count and the integer part of the sample rate (Hz); the file size
  // is noted with a version-0 movie header. Stream figures read before a
  // fault stay.
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

  void Reset() { *this = TM4AFile{}; }
  // Sets Exists and empties the texts and the track, either way.
  void SetExists(bool exists);
  // The others store their value and do nothing else.
  void SetAlbum(std::string value) { texts.album = std::move(value); }
  void SetArtist(std::string value) { texts.artist = std::move(value); }
  void SetBitRate(uint32_t value) { bitRate = value; }
  void SetChannels(uint32_t value) { stream.channels = value; }
  void SetComment(std::string value) { texts.comment = std::move(value); }
  void SetDuration(uint32_t value) { duration = value; }
  void SetFSize(uint64_t value) { stream.fileSize = value; }
  void SetGenre(std::string value) { texts.genre = std::move(value); }
  void SetSampleRate(uint32_t value) { stream.sampleRate = value; }
  void SetTitle(std::string value) { texts.title = std::move(value); }
  void SetTrack(uint16_t value) { texts.track = value; }
  void SetYear(std::string value) { texts.year = std::move(value); }

  // Opens the file by its name converted to ANSI and reads it; the result is
  // Exists. A name of fewer than two characters is not read (false). Raises
  // EInOutError when the name has no ANSI form, or the file cannot be opened
  // or read, or is cut short.
  bool ReadFromFile(const std::wstring& fileName);
  // Reads the boxes in the order an M4A file from the usual tools has them:
  // "ftyp" with brand "M4A ", then "moov", whose children (and the atoms
  // after it, to the end of the file) are walked for "mvhd", the first "trak"
  // (down to "mp4a"/"esds") and "udta" (down to "ilst", whose walk goes on to
  // the end of the file too). Boxes of other types between the expected ones
  // are passed over by their size. Raises EInOutError for an atom cut by the
  // end of the file.
  bool ReadFromSource(ByteSource& source);
};

}  // namespace kv
