// The older decoders on arbitrary bytes: the first byte picks the method and
// its parameters; output is capped at 1 MiB.
#include <cstdint>
#include <vector>

#include "zip/decode_io.h"
#include "zip/zip_errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t pick = data[0];
  kv::TSpanInput in(std::span<const uint8_t>(data + 1, size - 1));
  kv::TVectorOutput out(1 << 20);
  const uint64_t declared = (uint64_t{pick} << 10) + 1;
  try {
    switch (pick % 3) {
      case 0: kv::Unshrink(in, out); break;
      case 1: kv::Unreduce(in, out, 1 + (pick >> 2) % 4, declared); break;
      default: kv::Explode(in, out, static_cast<uint16_t>(pick & 6), size, declared); break;
    }
  } catch (const kv::EBiggerThanUncompressed&) {
  }
  return 0;
}
