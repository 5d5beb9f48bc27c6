// Any bytes as a frame's language-specific data, looked up at offsets taken
// from the input itself and around it.
#include "diagnostics/frame_kind.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kv::ByteView view(data, size);
  unsigned sink = 0;
  for (uint64_t offset : {uint64_t{0}, uint64_t{4}, uint64_t{0x21}, uint64_t{size}, ~uint64_t{0}}) {
    sink += kv::FrameKindFromLsda(view, offset);
  }
  for (size_t i = 0; i + 1 < size && i < 16; ++i) sink += kv::FrameKindFromLsda(view, data[i] | data[i + 1] << 8);
  volatile unsigned keep = sink;
  (void)keep;
  return 0;
}
