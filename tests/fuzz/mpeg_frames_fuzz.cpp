// The MPEG stream analysis on any bytes: no crash, a bounded number of reads,
// and results that lie inside the data.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "engine/readers/mpeg_frames.h"

namespace {

class CountingSource final : public kv::ByteSource {
 public:
  explicit CountingSource(std::span<const uint8_t> bytes) : inner_(bytes) {}
  uint64_t Size() const override { return inner_.Size(); }
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) override {
    ++reads;
    return inner_.ReadAt(offset, buffer);
  }
  uint64_t reads = 0;

 private:
  kv::MemorySource inner_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CountingSource src(std::span<const uint8_t>(data, size));
  kv::TAudInfo info;
  info.LoadFromSource(src);
  // Tag frame headers, the search windows with one successor each, Xing, ID3v1.
  if (src.reads > kv::TID3v2Tag::kMaxFrames + 2 * (kv::TAudInfo::kSearchLimit / 124 + 2) + 8) std::abort();
  if (info.FirstFramePos >= static_cast<int64_t>(size) || info.AudioBytes > static_cast<int64_t>(size)) std::abort();
  if (info.HasStream() != (info.FirstFramePos >= 0)) std::abort();
  if (!info.HasStream() && (info.SampleRateHz() || info.ChannelCode() || info.LengthSeconds() || info.BitRateKbps()))
    std::abort();

  kv::TMpegFrameHdr h;
  const int64_t at = h.Locate(std::span<const uint8_t>(data, size));
  if (at >= 0 && (!h.Ok || h.GetFrameLen() < 4)) std::abort();
  return 0;
}
