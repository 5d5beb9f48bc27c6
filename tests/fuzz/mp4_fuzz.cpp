// Any bytes through the M4A reader: no crash, no sanitizer report, no hang.
#include "engine/readers/mp4.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource source({data, size});
  const kv::Mp4Info info = kv::ReadMp4(source);
  volatile uint32_t sink = info.duration + info.sampleRate + static_cast<uint32_t>(info.title.size());
  (void)sink;
  return 0;
}
