// Any bytes through the WMA reader: no crash, no sanitizer report, no hang,
// a file that reads as valid has no fault, and the read answers true just
// for a valid file and for one that is not ASF at all.
#include <cstdlib>

#include "engine/readers/asf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::MemorySource source({data, size});
  kv::TWMAfile wma;
  const bool read = wma.ReadFromSource(source);
  if (wma.valid != (wma.fault == kv::ReadFault::kNone)) std::abort();
  if (read != (wma.valid || wma.fault == kv::ReadFault::kNotThisFormat)) std::abort();
  volatile double sink = wma.duration + static_cast<double>(wma.texts.title.size());
  (void)sink;
  return 0;
}
