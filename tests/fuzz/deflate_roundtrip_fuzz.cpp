// Deflates arbitrary bytes at the level the first byte picks and checks that
// zlib inflates the result back to the input. The second byte picks how the
// input is delivered (read size) and whether it is repeated past the window
// so that the window slides.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zip/deflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int level = 1 + data[0] % 9;
  const size_t chunk = 1 + (data[1] & 0x7f) * 97;
  std::vector<uint8_t> in(data + 2, data + size);
  if ((data[1] & 0x80) != 0 && !in.empty()) {
    while (in.size() < 150000) in.insert(in.end(), data + 2, data + size);
  }

  kv::Deflater d;
  kv::DeflateEntry entry;
  std::vector<uint8_t> out;
  size_t pos = 0;
  const uint64_t n = d.Deflate(
      level,
      [&](std::span<uint8_t> buf) {
        const size_t k = std::min({buf.size(), in.size() - pos, chunk});
        if (k != 0) std::memcpy(buf.data(), in.data() + pos, k);
        pos += k;
        return k;
      },
      [&](std::span<const uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); }, entry);
  if (n != out.size() || pos != in.size()) std::abort();
  if (entry.method == 0) {
    if (out != in) std::abort();
    return 0;
  }
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) std::abort();
  std::vector<uint8_t> back(in.size() + 1);
  z.next_in = out.data();
  z.avail_in = static_cast<uInt>(out.size());
  z.next_out = back.data();
  z.avail_out = static_cast<uInt>(back.size());
  const int rc = inflate(&z, Z_FINISH);
  const size_t got = z.total_out;
  inflateEnd(&z);
  if (rc != Z_STREAM_END || z.avail_in != 0 || got != in.size() || !std::equal(in.begin(), in.end(), back.begin()))
    std::abort();
  return 0;
}
