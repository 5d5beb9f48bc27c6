// Any bytes through the WMA reader: no crash, no sanitizer report, no hang.
#include "engine/readers/asf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource source({data, size});
  const kv::AsfInfo info = kv::ReadAsf(source);
  volatile double sink = info.duration + info.bitRate + static_cast<double>(info.title.size());
  (void)sink;
  return 0;
}
