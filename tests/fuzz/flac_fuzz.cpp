// Any bytes through the FLAC reader: no crash, no hang, no text longer than
// the item limit.
#include <cstdlib>

#include "engine/readers/flac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource source({data, size});
  kv::TFlacFile flac;
  if (flac.ReadFromSource(source)) {
    for (const std::string* s : {&flac.texts.title, &flac.texts.artist, &flac.texts.album, &flac.texts.year,
                                 &flac.texts.genre, &flac.texts.comment}) {
      if (s->size() > kv::TFlacFile::kMaxItemBytes) std::abort();
    }
    volatile int32_t sink = kv::FlacBitRate(size, flac.duration);
    (void)sink;
  }
  return 0;
}
