#pragma once
// The 128-byte ID3v1 block at the end of an MPEG file: title, artist, album,
// year, comment, track and genre. Texts are ANSI (the block's bytes as they
// stand), cut at their first 0 byte and trimmed at the right.
#include <cstdint>
#include <string>

#include "engine/readers/byte_source.h"

namespace kv {

struct TID3v1Tag {
  bool Exists = false;    // the block starts with "TAG"
  bool Version10 = false;  // no track byte (version 1.0); false for 1.1 and when absent
  std::string Title, Artist, Album, Year, Comment;
  int32_t Track = 0;       // 1..255 for version 1.1, else 0
  uint8_t GenreNo = 0;     // the genre byte as it stands
  std::string Genre;       // the name for GenreNo, empty when the list has none

  // Empties every field.
  void Reset() { *this = TID3v1Tag{}; }
  // Reads the last 128 bytes of the file named in the ANSI code page. Raises
  // when the file cannot be opened or read.
  void LoadFromFile(const std::string& fileName);
  // Reads the 128 bytes that end at start + size (nothing exists when size < 128).
  void LoadFromStream(ByteSource& src, uint64_t start, uint64_t size);
  // Reads the last 128 bytes of the whole source.
  void LoadFromSource(ByteSource& src) { LoadFromStream(src, 0, src.Size()); }
  // Decodes one block; not existing unless it is 128 bytes starting with "TAG".
  void Decode(const uint8_t* block, size_t size);
};

// Number of names in the genre list (0 "Blues" .. 147 "Synthpop").
inline constexpr int kId3v1GenreCount = 148;
// The genre name for a number, empty when the list has none.
std::string Id3v1GenreName(int number);

}  // namespace kv
