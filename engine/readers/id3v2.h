#pragma once
// ID3v2 tags at the start of an MPEG file. Two readers:
//  - TID3v2 reads the texts the record needs (versions 2.2, 2.3 and 2.4);
//  - TID3v2Tag reads the tag's frames to measure it, so the frame search can
//    start behind it.
// Both read through a ByteSource; no tag is ever written.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/readers/byte_source.h"

namespace kv {

// Bytes of the ID3v2 tag at the start of the source: header, frames and,
// when its flag is set, the footer; 0 when the source does not start with
// "ID3" or the tag would be larger than the source.
uint64_t Id3v2TagSize(ByteSource& src);

// Texts of an ID3v2 tag. Every text is ANSI, trimmed of blanks and control
// characters at both ends; a text frame keeps at most its first 500 bytes.
struct TID3v2 {
  bool Exists = false;  // the data starts with an "ID3" header
  int Version = 0;      // the header's major version byte
  uint64_t Size = 0;    // total tag size (header, frames, footer); 0 when it exceeds the data
  std::string Title, Artist, Album;
  int32_t Track = 0;      // the integer before the first "/" of TrackText, 0 when none
  std::string TrackText;  // the track frame as it stands ("3/12")
  std::string Year, Genre, Comment, Composer, Encoder, Copyright, Language, Link, SizeText;

  // Empties every field.
  void ResetData() { *this = TID3v2{}; }
  // Resets, opens the file by its wide name (others may read, not write) and
  // reads its tag; false when fewer than 10 bytes exist. Raises when the file
  // cannot be opened or read.
  bool ReadFromFile(const std::wstring& fileName);
  // Reads the tag at the start of the source; false when fewer than 10 bytes exist.
  bool ReadFromSource(ByteSource& src);
};

// The 10-byte header as the measuring reader sees it.
struct TID3V2Header {
  bool Valid = false;  // "ID3", version and revision below 255, size bytes below 128
  uint8_t Version = 0, Revision = 0, Flags = 0;
  uint32_t Size = 0;   // the syncsafe size: the tag without its header
};

// One frame met by the measuring walk: identifier, size as a plain
// big-endian number, two flag bytes, and its content by kind.
class TID3Frame {
 public:
  virtual ~TID3Frame() = default;
  std::array<char, 4> Id{};
  uint32_t Size = 0;
  std::array<uint8_t, 2> Flags{};
  uint64_t TotalSize() const { return uint64_t{Size} + 10; }
};

// A frame whose identifier begins with "T" (but "TXXX"): encoding byte and text.
class TTextFrame : public TID3Frame {
 public:
  uint8_t Encoding = 0;
  std::string Text;  // the bytes after the encoding byte
};

// "COMM": encoding byte, three-letter language, description up to a 0 byte, text.
class TCommFrame : public TID3Frame {
 public:
  uint8_t Encoding = 0;
  std::string Language, Description, Text;
};

// Any other frame, "TXXX" too: its bytes as they stand.
class TUnknownFrame : public TID3Frame {
 public:
  std::vector<uint8_t> Data;
};

// Measures the ID3v2 tag that stands before the audio.
class TID3v2Tag {
 public:
  TID3V2Header Header;
  std::vector<std::unique_ptr<TID3Frame>> Frames;  // owned; at most kMaxFrames
  bool FramesRead = false;                         // at least one frame was read

  // A crafted tag of tiny frames would otherwise grow the list without bound.
  static constexpr size_t kMaxFrames = 4096;

  // Reads the header at `start` and, when valid and within `size` bytes, the
  // frames (their data cut at the tag's end).
  void LoadFromStream(ByteSource& src, uint64_t start, uint64_t size);
  // Header size + 10 when at least one frame was read, else 0.
  uint64_t GetSize() const { return FramesRead ? uint64_t{Header.Size} + 10 : 0; }
};

}  // namespace kv
