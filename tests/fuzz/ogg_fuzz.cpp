// Any bytes through the Ogg Vorbis reader and its duration and bit rate.
#include <cstdlib>

#include "engine/readers/ogg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource source({data, size});
  kv::TOggVorbis ogg;
  ogg.ReadFromSource(source);
  if (ogg.texts.title.size() > 250 || ogg.id3v2Size > size) std::abort();
  volatile double sink = ogg.FGetDuration() + ogg.FGetBitRate();
  (void)sink;
  return 0;
}
