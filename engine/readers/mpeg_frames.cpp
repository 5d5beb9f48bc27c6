#include "engine/readers/mpeg_frames.h"

#include <algorithm>
#include <cstring>

#include "engine/readers/byte_reader.h"

namespace kv {
namespace {

__extension__ typedef unsigned __int128 U128;

// num / den rounded to the nearest integer, halves to the even neighbour.
// Exact: the operands are integers, so no real arithmetic blurs a half.
uint64_t RoundDiv(U128 num, U128 den) {
  if (den == 0) return 0;
  U128 q = num / den;
  const U128 r2 = (num % den) * 2;
  if (r2 > den || (r2 == den && (q & 1) != 0)) ++q;
  return static_cast<uint64_t>(q);
}

// kbit/s for bit-rate indexes 0..14 (15 is forbidden).
constexpr int kBitRates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2/2.5 Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2/2.5 Layers II, III
};
constexpr int kSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
// Version code by bits 4-3 of byte 1.
constexpr int kVersionByBits[4] = {3, 0, 2, 1};

constexpr size_t kWindow = 128;
constexpr size_t kCarry = 4;
constexpr size_t kXingSize = 120;

}  // namespace

bool TMpegFrameHdr::Load(std::span<const uint8_t> bytes) {
  *this = TMpegFrameHdr{};
  if (bytes.size() < 4) return false;
  std::copy_n(bytes.begin(), 4, Bytes.begin());
  Version = kVersionByBits[(Bytes[1] >> 3) & 3];
  const int layer = Layer();
  const int bri = BitRateIndex();
  if (Version != 0 && layer != 0 && bri != 15) {
    const int row = Version == 1 ? layer - 1 : (layer == 1 ? 3 : 4);
    BitRate = kBitRates[row][bri];
  }
  if (Version != 0 && SampleRateIndex() != 3) SampleRate = kSampleRates[Version - 1][SampleRateIndex()];

  Ok = Sync() && Version != 0 && layer != 0 && BitRate != -1 && SampleRate != -1;
  if (Ok && Version == 1 && layer == 2) {
    const bool mono = ChannelMode() == 3;
    switch (BitRate) {
      case 32: case 48: case 56: case 80: Ok = mono; break;
      case 224: case 256: case 320: case 384: Ok = !mono; break;
      default: break;
    }
  }

  if (SampleRate < 1 || BitRateBps() < 1) {
    FrameLen = 4;
  } else {
    const int64_t k = layer == 1 ? 48 : (layer == 3 && Version != 1 ? 72 : 144);
    FrameLen = static_cast<int>(k * BitRateBps() / SampleRate) + PaddingLen();
  }
  return Ok;
}

int64_t TMpegFrameHdr::Locate(std::span<const uint8_t> bytes) {
  for (size_t i = 0; bytes.size() >= 4 && i <= bytes.size() - 4; ++i) {
    if (bytes[i] == 0xFF && (bytes[i + 1] & 0xE0) == 0xE0 && Load(bytes.subspan(i))) {
      return static_cast<int64_t>(i);
    }
  }
  return -1;
}

void TAudInfo::LoadFromSource(ByteSource& src) {
  LoadFromStream(src, 0, src.Size());
  FileSize = static_cast<int64_t>(src.Size());
  FileDate = src.FileDate();
  FileAttributes = src.FileAttributes();
}

void TAudInfo::LoadFromStream(ByteSource& src, uint64_t start, uint64_t size) {
  ClearInfo();
  const uint64_t total = src.Size();
  if (start > total) return;
  size = std::min(size, total - start);
  if (size == 0) return;

  uint64_t offset = 0;
  if (size > 10) {
    Id3v2.LoadFromStream(src, start, size);
    offset = Id3v2.GetSize();
  }

  // The first frame: searched in windows of 128 bytes, each carrying the last
  // four bytes of the one before so that a header across the seam is seen.
  // A window offers at most one candidate; a candidate whose successor (one
  // frame length on) is a valid header ends the search. When the windows run
  // out, the last window's candidate stands; when that window held none, the
  // file has no stream data.
  std::array<uint8_t, kWindow> window{};
  size_t carry = 0;
  uint64_t pos = offset;
  TMpegFrameHdr candidate;
  int64_t candidatePos = -1;
  while (pos - offset < kSearchLimit && pos < size) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kWindow - carry, size - pos));
    const size_t chunk = src.ReadAt(start + pos, std::span(window.data() + carry, want));
    if (chunk == 0) break;
    const size_t filled = carry + chunk;
    TMpegFrameHdr h;
    const int64_t at = h.Locate(std::span(window.data(), filled));
    if (at >= 0) {
      candidate = h;
      candidatePos = at + static_cast<int64_t>(pos) - static_cast<int64_t>(carry);
      const uint64_t next = static_cast<uint64_t>(candidatePos) + static_cast<uint64_t>(h.FrameLen);
      std::array<uint8_t, 4> succ{};
      TMpegFrameHdr s;
      if (next + 4 < size && src.ReadAt(start + next, succ) == succ.size() && s.Load(succ)) break;
    } else {
      candidate = TMpegFrameHdr{};
      candidatePos = -1;
    }
    pos += chunk;
    if (filled < kCarry) break;  // only at the end of the data
    std::memmove(window.data(), window.data() + filled - kCarry, kCarry);
    carry = kCarry;
  }
  Header = candidate;
  FirstFramePos = candidatePos;
  if (!HasStream()) {
    Header = TMpegFrameHdr{};
    FirstFramePos = -1;
  }
  const uint64_t first = HasStream() ? static_cast<uint64_t>(FirstFramePos) : 0;

  if (HasStream()) {
    const bool mono = Header.ChannelMode() == 3;
    const uint64_t d = Header.Version == 1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    const uint64_t at = first + d;
    std::array<uint8_t, kXingSize> x{};
    if (at + kXingSize < size && src.ReadAt(start + at, x) == x.size() && std::memcmp(x.data(), "Xing", 4) == 0) {
      Vbr = Xing = true;
      ByteReader r{std::span<const uint8_t>(x).subspan(4)};
      XingFlags = r.U32be();
      if (XingFlags & 1) XingFrames = r.U32be();
      if (XingFlags & 2) XingBytes = r.U32be();
      if (XingFlags & 4) std::ranges::copy(r.Take(XingToc.size()), XingToc.begin());
      if (XingFlags & 8) XingQuality = r.U32be();

      Duration = static_cast<int64_t>(
          RoundDiv(U128{XingFrames} * static_cast<uint64_t>(Header.SamplesPerFrame()) * 1000,
                   static_cast<uint64_t>(Header.SampleRate)));
      FrameCount = XingFrames;
      if (XingBytes != 0) {
        if (Duration != 0) BitRate = static_cast<int64_t>(RoundDiv(U128{XingBytes} * 8000, static_cast<uint64_t>(Duration)));
        const uint64_t avail = size - first;
        if (avail < XingBytes) {
          // A truncated file: only the part that is there plays.
          Duration = static_cast<int64_t>(RoundDiv(U128{static_cast<uint64_t>(Duration)} * avail, XingBytes));
          FrameCount = static_cast<int64_t>(RoundDiv(U128{static_cast<uint64_t>(FrameCount)} * avail, XingBytes));
        } else {
          AudioBytes = XingBytes;
        }
      }
    }
  }

  const uint64_t tail = HasStream() ? first + static_cast<uint64_t>(Header.FrameLen) : 0;
  if (tail < size) Id3v1.LoadFromStream(src, start + tail, size - tail);

  if (!HasStream()) return;
  if (AudioBytes < 0) AudioBytes = static_cast<int64_t>(size - first) - (Id3v1.Exists ? 128 : 0);
  if (!Vbr) {
    FrameCount = AudioBytes / Header.FrameLen;
    BitRate = Header.BitRateBps();
    Duration = BitRate >= 1
                   ? static_cast<int64_t>(RoundDiv(U128{static_cast<uint64_t>(AudioBytes)} * 8000, static_cast<uint64_t>(BitRate)))
                   : 0;
  }
}

int32_t TAudInfo::LengthSeconds() const {
  return Duration > 0 ? static_cast<int32_t>(RoundDiv(static_cast<uint64_t>(Duration), 1000)) : 0;
}

int32_t TAudInfo::BitRateKbps() const {
  return BitRate > 0 ? static_cast<int32_t>(RoundDiv(static_cast<uint64_t>(BitRate), 1000)) : 0;
}

}  // namespace kv
