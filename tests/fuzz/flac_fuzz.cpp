// Any bytes through the FLAC reader: no crash, no hang, no text longer than
// the file. A cut file or a sample rate of 0 raises, as it does for the record.
#include <cstdlib>
#include <stdexcept>

#include "engine/readers/flac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource source({data, size});
  kv::TFlacFile flac;
  try {
    if (flac.ReadFromSource(source)) {
      for (const std::string* s : {&flac.texts.title, &flac.texts.artist, &flac.texts.album, &flac.texts.year,
                                   &flac.texts.genre, &flac.texts.comment}) {
        if (s->size() > size) std::abort();
      }
      volatile int32_t sink = kv::FlacBitRate(size, flac.duration);
      (void)sink;
    }
  } catch (const std::runtime_error&) {
  }
  return 0;
}
