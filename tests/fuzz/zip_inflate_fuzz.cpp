// Inflate against zlib on arbitrary bytes: both accept or both refuse, and
// what both accept decodes to the same bytes. Output is capped at 1 MiB.
// Inflate alone refuses long runs of empty dynamic blocks and more dynamic
// blocks than its output could need (zlib takes any number); what it
// delivered before it refused is still zlib's output.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "zip/decode_io.h"
#include "zip/inflate.h"
#include "zip/zip_errors.h"

namespace {

constexpr size_t kCap = 1 << 20;

// zlib's verdict: 1 stream end within the cap, 0 refused or truncated, -1 too large.
int ZlibInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) std::abort();
  out.resize(kCap + 1);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int r = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  if (out.size() > kCap) return -1;
  return r == Z_STREAM_END ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> reference;
  const int verdict = ZlibInflate(data, size, reference);
  kv::TSpanInput in(std::span<const uint8_t>(data, size));
  kv::TVectorOutput out(kCap);
  kv::TDecodeResult r = kv::TDecodeResult::BadData;
  kv::TInflateFault fault = kv::TInflateFault::kNone;
  bool capped = false;
  try {
    r = kv::Inflate(in, out, fault);
  } catch (const kv::EBiggerThanUncompressed&) {
    capped = true;
  }
  if (verdict < 0 || capped) return 0;
  // A refused stream always names its fault, an accepted one none.
  if ((r == kv::TDecodeResult::Ok) != (fault == kv::TInflateFault::kNone)) std::abort();
  if ((r == kv::TDecodeResult::Truncated) != (fault == kv::TInflateFault::kTruncated)) std::abort();
  if (fault == kv::TInflateFault::kEmptyBlockRun || fault == kv::TInflateFault::kTooManyBlocks) {
    const auto& got = out.Bytes();
    if (got.size() > reference.size() || !std::equal(got.begin(), got.end(), reference.begin())) std::abort();
    return 0;
  }
  if ((verdict == 1) != (r == kv::TDecodeResult::Ok)) std::abort();
  if (verdict == 1 && out.Bytes() != reference) std::abort();
  return 0;
}
