// Any bytes through the WMA reader: no crash, no sanitizer report, no hang,
// and a file that reads as valid has no fault.
#include <cstdlib>

#include "engine/readers/asf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource source({data, size});
  kv::TWMAfile wma;
  const bool valid = wma.ReadFromSource(source);
  if (valid != (wma.fault == kv::ReadFault::kNone)) std::abort();
  volatile double sink = wma.duration + static_cast<double>(wma.texts.title.size());
  (void)sink;
  return 0;
}
