// ID3v2 text reader, ID3v2 measuring reader and ID3v1 block on any bytes:
// no crash, every size within the data, every text within its frame buffer.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "engine/readers/id3v1.h"
#include "engine/readers/id3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource src(std::span<const uint8_t>(data, size));

  kv::TID3v2 text;
  text.ReadFromSource(src);
  if (text.Size > size) std::abort();
  for (const std::string* s : {&text.Title, &text.Artist, &text.Album, &text.TrackText, &text.Year,
                               &text.Genre, &text.Comment, &text.Link}) {
    if (s->size() > 500) std::abort();
  }

  kv::TID3v2Tag tag;
  const uint64_t start = size > 3 ? data[0] % 4 : 0;
  tag.LoadFromStream(src, start, size);
  if (tag.GetSize() > size + 10 || tag.Frames.size() > kv::TID3v2Tag::kMaxFrames) std::abort();

  kv::TID3v1Tag v1;
  v1.LoadFromSource(src);
  return 0;
}
