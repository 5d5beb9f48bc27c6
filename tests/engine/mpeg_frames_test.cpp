#include "engine/readers/mpeg_frames.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/reader_test_util.h"

namespace kv {
namespace {

using namespace readtest;

TEST(MpegFrameHdr, DecodesHeaders) {
  const struct {
    Bytes bytes;
    bool ok;
    int version, layer, kbps, rate, mode, len;
  } cases[] = {
      {kHdr128, true, 1, 3, 128, 44100, 1, 417},
      {{0xFF, 0xFB, 0x92, 0x40}, true, 1, 3, 128, 44100, 1, 418},  // padding
      {{0xFF, 0xFF, 0x90, 0x00}, true, 1, 1, 288, 44100, 0, 313},  // Layer I
      {{0xFF, 0xFF, 0x92, 0x00}, true, 1, 1, 288, 44100, 0, 317},  // Layer I padding adds 4
      {{0xFF, 0xFD, 0x10, 0x00}, false, 1, 2, 32, 44100, 0, 104},  // Layer II 32 kbit/s needs mono
      {{0xFF, 0xFD, 0x10, 0xC0}, true, 1, 2, 32, 44100, 3, 104},
      {{0xFF, 0xFD, 0xE4, 0xC0}, false, 1, 2, 384, 48000, 3, 1152},  // 384 kbit/s not in mono
      {{0xFF, 0xFD, 0xE4, 0x00}, true, 1, 2, 384, 48000, 0, 1152},
      {{0xFF, 0xFB, 0x00, 0x40}, true, 1, 3, 0, 44100, 1, 4},  // free format
      {{0xFF, 0xFB, 0xF0, 0x40}, false, 1, 3, -1, 44100, 1, 4},  // forbidden bit rate
      {{0xFF, 0xFB, 0x9C, 0x40}, false, 1, 3, 128, -1, 1, 4},   // reserved sample rate
      {{0xFF, 0xF3, 0x90, 0xC0}, true, 2, 3, 80, 22050, 3, 261},  // MPEG-2 Layer III: k = 72
      {{0xFF, 0xF5, 0x90, 0x00}, true, 2, 2, 80, 22050, 0, 522},  // MPEG-2 Layer II: k = 144
      {{0xFF, 0xE3, 0x88, 0x00}, true, 3, 3, 64, 8000, 0, 576},   // MPEG-2.5
      {{0xFF, 0xEB, 0x90, 0x40}, false, 0, 3, -1, -1, 1, 4},      // reserved version
      {{0xFF, 0xF9, 0x90, 0x40}, false, 1, 0, -1, 44100, 1, 4},   // reserved layer
      {{0xFE, 0xFB, 0x90, 0x40}, false, 1, 3, 128, 44100, 1, 417},  // no sync
  };
  for (const auto& c : cases) {
    TMpegFrameHdr h;
    EXPECT_EQ(h.Load(c.bytes), c.ok) << testing::PrintToString(c.bytes);
    EXPECT_EQ(h.Version, c.version);
    EXPECT_EQ(h.Layer(), c.layer);
    EXPECT_EQ(h.BitRate, c.kbps);
    EXPECT_EQ(h.SampleRate, c.rate);
    EXPECT_EQ(h.ChannelMode(), c.mode);
    EXPECT_EQ(h.GetFrameLen(), c.len) << testing::PrintToString(c.bytes);
  }
  TMpegFrameHdr h;
  EXPECT_FALSE(h.Load(Bytes{0xFF, 0xFB, 0x90}));
}

TEST(MpegFrameHdr, LocateSkipsFalseSyncs) {
  TMpegFrameHdr h;
  EXPECT_EQ(h.Locate(Cat({Bytes{0, 0xFF, 0xFF, 0xF0, 0x00, 0xFF}, kHdr128})), 6);
  EXPECT_EQ(h.BitRate, 128);
  EXPECT_EQ(h.Locate(Bytes{0xFF, 0xFB, 0x90}), -1);
  EXPECT_EQ(h.Locate(Bytes{}), -1);
}

TAudInfo Analyse(const Bytes& file) {
  MemorySource src(file);
  TAudInfo info;
  info.LoadFromSource(src);
  return info;
}

// A first frame carrying a Xing header with the fields its flags name,
// `offset` bytes in (36 for MPEG-1 stereo).
Bytes XingFrame(uint32_t flags, uint32_t frames, uint32_t bytes, const Bytes& header = kHdr128, size_t len = 417,
                size_t offset = 36) {
  Bytes f = Frames(header, len, 1);
  Bytes x = Cat({B("Xing"), Be(flags, 4)});
  if (flags & 1) x = Cat({x, Be(frames, 4)});
  if (flags & 2) x = Cat({x, Be(bytes, 4)});
  if (flags & 4) x = Cat({x, Bytes(100, 7)});
  if (flags & 8) x = Cat({x, Be(85, 4)});
  std::copy(x.begin(), x.end(), f.begin() + static_cast<long>(offset));
  return f;
}

// The record's figures of real streams are compared with mutagen in the corpus test.
TEST(AudInfo, ConstantBitRate) {
  // 160000 audio bytes at 128 kbit/s: 10 seconds.
  Bytes audio = Frames(kHdr128, 417, 384);
  audio.resize(160000);
  const TAudInfo cbr = Analyse(audio);
  EXPECT_EQ(cbr.FirstFramePos, 0);
  EXPECT_EQ(cbr.Duration, 10000);
  EXPECT_EQ(cbr.BitRate, 128000);
  EXPECT_EQ(cbr.FrameCount, 160000 / 417);
  EXPECT_FALSE(cbr.Vbr);

  // Behind an ID3v2 tag and before an ID3v1 block, which is not audio.
  Bytes v1(128, 0);
  std::memcpy(v1.data(), "TAG", 3);
  const Bytes tag = Tag(3, Frame("TIT2", Latin1("T")), 1000);
  const TAudInfo tagged = Analyse(Cat({tag, audio, v1}));
  EXPECT_EQ(tagged.FirstFramePos, static_cast<int64_t>(tag.size()));
  EXPECT_TRUE(tagged.Id3v1.Exists);
  EXPECT_EQ(tagged.AudioBytes, 160000);
  EXPECT_EQ(tagged.Duration, 10000);

  // Free format: valid, but no length can be computed.
  const TAudInfo free = Analyse(Frames({0xFF, 0xFB, 0x00, 0x40}, 4, 50));
  EXPECT_TRUE(free.HasStream());
  EXPECT_EQ(free.Duration, 0);
  EXPECT_EQ(free.BitRate, 0);
}

TEST(AudInfo, XingHeader) {
  const Bytes rest = Frames(kHdr128, 417, 20);
  const TAudInfo vbr = Analyse(Cat({XingFrame(15, 1000, 400000), rest, Bytes(400000, 0)}));
  EXPECT_TRUE(vbr.Vbr);
  EXPECT_TRUE(vbr.Xing);
  EXPECT_EQ(vbr.XingFrames, 1000u);
  EXPECT_EQ(vbr.XingQuality, 85u);
  EXPECT_EQ(vbr.XingToc[99], 7);
  EXPECT_EQ(vbr.Duration, 26122);  // 1000 x 1152 / 44100 s
  EXPECT_EQ(vbr.BitRate, 122502);  // 400000 x 8 / 26.122 s
  EXPECT_EQ(vbr.AudioBytes, 400000);
  EXPECT_EQ(vbr.FrameCount, 1000);

  // Only the frame count: the byte count and table are absent, not misread.
  const TAudInfo framesOnly = Analyse(Cat({XingFrame(1, 1000, 0), rest}));
  EXPECT_EQ(framesOnly.Duration, 26122);
  EXPECT_EQ(framesOnly.BitRate, 0);
  EXPECT_EQ(framesOnly.XingToc[0], 0);

  // A truncated file: what is there of the 400000 bytes plays.
  const Bytes cut = Cat({XingFrame(3, 1000, 400000), rest});
  const TAudInfo truncated = Analyse(cut);
  const double share = static_cast<double>(cut.size()) / 400000;
  EXPECT_NEAR(static_cast<double>(truncated.Duration), 26122 * share, 1.0);
  EXPECT_NEAR(static_cast<double>(truncated.FrameCount), 1000 * share, 1.0);
  EXPECT_EQ(truncated.BitRate, 122502);

  // Halves round to even: 4000 frames at 32000 Hz last 144000 ms, and 45 bytes
  // over them make 2.5 bit/s.
  const Bytes hdr32 = {0xFF, 0xFB, 0x98, 0x40};
  const TAudInfo half = Analyse(Cat({XingFrame(3, 4000, 45, hdr32, 576), Frames(hdr32, 576, 3)}));
  EXPECT_EQ(half.Duration, 144000);
  EXPECT_EQ(half.BitRate, 2);
}

TEST(AudInfo, FirstFrameSearch) {
  const Bytes stream = Frames(kHdr128, 417, 10);
  // A header across the seam of two 128-byte windows is found through the carry.
  EXPECT_EQ(Analyse(Cat({Bytes(126, 0), stream})).FirstFramePos, 126);
  // A false sync whose successor does not check is passed over.
  EXPECT_EQ(Analyse(Cat({Bytes(130, 0), kHdr128, Bytes(200, 0), stream})).FirstFramePos, 334);
  // Nothing in the windows covering the first 10240 bytes past the tag: no
  // stream, and every stream integer is 0.
  const TAudInfo none = Analyse(Cat({Bytes(10400, 0), stream}));
  EXPECT_FALSE(none.HasStream());
  EXPECT_EQ(none.FirstFramePos, -1);
  EXPECT_EQ(none.Duration, -1);
  EXPECT_EQ(none.LengthSeconds(), 0);
  EXPECT_EQ(none.BitRateKbps(), 0);
  EXPECT_EQ(none.SampleRateHz(), 0);
  EXPECT_EQ(none.ChannelCode(), 0);
  EXPECT_EQ(none.VersionCode(), 0);
  EXPECT_EQ(none.LayerCode(), 0);
  // A lone header in the last window has no successor to check; it stands.
  EXPECT_EQ(Analyse(Cat({Bytes(300, 0), kHdr128, Bytes(20, 0)})).FirstFramePos, 300);
  // When the last window holds no candidate, an earlier unchecked one does not count.
  EXPECT_FALSE(Analyse(Cat({Bytes(50, 0), Frames(kHdr128, 417, 1)})).HasStream());
  // Tiny inputs.
  EXPECT_FALSE(Analyse({}).HasStream());
  EXPECT_FALSE(Analyse({0xFF, 0xFB, 0x90}).HasStream());
}

TEST(AudInfo, MonoMpeg2XingOffset) {
  const Bytes hdr = {0xFF, 0xF3, 0x60, 0xC4};  // MPEG-2 Layer III, 48 kbit/s, 22050 Hz, mono
  const TAudInfo info = Analyse(Cat({XingFrame(3, 500, 100000, hdr, 156, 13), Frames(hdr, 156, 800)}));
  EXPECT_TRUE(info.Xing);
  EXPECT_EQ(info.Duration, 13061);  // 500 x 576 / 22050 s
  EXPECT_EQ(info.ChannelCode(), 4);
  EXPECT_EQ(info.VersionCode(), 2);
}

TEST(AudInfo, ReadsTheTagAndTheFramesItNeeds) {
  const Bytes file = Cat({Tag(3, Cat({Frame("APIC", Bytes(200000, 1)), Frame("TIT2", Latin1("T"))})),
                          Frames(kHdr128, 417, 2500)});
  MemorySource mem(file);
  CountingSource src(mem);
  TAudInfo info;
  info.LoadFromSource(src);
  EXPECT_TRUE(info.HasStream());
  // The tag is read whole to measure it (the picture too), of the audio only a few frames.
  EXPECT_GE(src.bytesRead, 200000u);
  EXPECT_LT(src.bytesRead, 200000u + 16 * 1024);
}

}  // namespace
}  // namespace kv
