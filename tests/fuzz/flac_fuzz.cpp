// Any bytes through the FLAC reader; a dropped file is an expected outcome.
#include "engine/readers/flac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource source({data, size});
  try {
    const kv::FlacInfo info = kv::ReadFlac(source);
    volatile int32_t sink = kv::FlacBitRate(size, info.duration) + static_cast<int32_t>(info.title.size());
    (void)sink;
  } catch (const kv::FlacDropped&) {
  }
  return 0;
}
