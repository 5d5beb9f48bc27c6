// Any bytes through the Ogg Vorbis reader and its duration and bit rate.
#include "engine/readers/ogg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource source({data, size});
  const kv::OggInfo info = kv::ReadOgg(source);
  volatile double sink = info.Duration() + info.BitRate() + static_cast<double>(info.title.size());
  (void)sink;
  return 0;
}
