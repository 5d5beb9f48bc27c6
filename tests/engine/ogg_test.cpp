#include "engine/readers/ogg.h"

#include "tests/engine/reader_test_util.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

using namespace readtest;

Bytes Page(const Bytes& packet, int64_t granule) {
  Bytes lacing;
  size_t left = packet.size();
  do {
    lacing.push_back(static_cast<uint8_t>(std::min<size_t>(left, 255)));
    left -= lacing.back();
  } while (lacing.back() == 255);
  return Cat({B("OggS"), Zeros(2), Le(static_cast<uint64_t>(granule), 8), Zeros(12), Le(lacing.size(), 1), lacing,
              packet});
}
// One packet over as many pages as its lacing values need, at most `perPage`
// to a page; the pages after the first are flagged as continuing it.
std::vector<Bytes> Pages(const Bytes& packet, size_t perPage = 255, uint32_t serial = 0) {
  Bytes lacing(packet.size() / 255, 255);
  lacing.push_back(static_cast<uint8_t>(packet.size() % 255));
  std::vector<Bytes> pages;
  size_t data = 0;
  for (size_t first = 0; first < lacing.size(); first += perPage) {
    const Bytes mine(lacing.begin() + first, lacing.begin() + std::min(lacing.size(), first + perPage));
    size_t length = 0;
    for (uint8_t n : mine) length += n;
    pages.push_back(Cat({B("OggS"), Bytes{0, static_cast<uint8_t>(first == 0 ? 0 : 1)}, Zeros(8), Le(serial, 4),
                         Zeros(8), Le(mine.size(), 1), mine, Bytes(packet.begin() + data, packet.begin() + data + length)}));
    data += length;
  }
  return pages;
}
Bytes Identification(uint8_t channels, uint32_t rate, int32_t nominal) {
  return Cat({B("\x01vorbis"), Zeros(4), Le(channels, 1), Le(rate, 4), Zeros(4), Le(static_cast<uint32_t>(nominal), 4),
              Zeros(4), B("\xB8\x01")});
}
Bytes Item(std::string_view text) { return Cat({Le(text.size(), 4), B(text)}); }
Bytes Comments(std::string_view vendor, const std::vector<std::string>& items, size_t count) {
  Bytes out = Cat({B("\x03vorbis"), Item(vendor), Le(count, 4)});
  for (const std::string& i : items) out = Cat({out, Item(i)});
  return Cat({out, B("\x01")});
}
// Identification page, comment page, then audio pages up to about `audio`
// bytes, the last one carrying `granule`.
Bytes Ogg(const std::vector<std::string>& items, int64_t granule, size_t audio = 4000, uint8_t channels = 2,
          uint32_t rate = 44100, int32_t nominal = 128000) {
  Bytes out = Cat({Page(Identification(channels, rate, nominal), 0), Page(Comments("vendor", items, items.size()), 0)});
  for (size_t done = 0; done < audio; done += 200) out = Cat({out, Page(Bytes(200, 0x55), granule / 2)});
  return Cat({out, Page(Bytes(100, 0x55), granule)});
}

TOggVorbis Read(const Bytes& b) {
  MemorySource src(b);
  TOggVorbis ogg;
  EXPECT_EQ(ogg.ReadFromSource(src), ogg.valid);
  return ogg;
}

TEST(Ogg, CommentNamesAndTheLastGranule) {
  const TOggVorbis info = Read(Ogg({"title=  Caf\xC3\xA9 ", "ARTIST=First", "Artist=Second", "DESCRIPTION=unused",
                                 "COMMENT=kept"},
                                441000));
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.texts.title, "Caf\xE9");
  EXPECT_EQ(info.texts.artist, "Second");  // a later item of a name replaces an earlier one
  EXPECT_EQ(info.texts.comment, "kept");
  EXPECT_EQ(info.samples, 441000u);
  EXPECT_DOUBLE_EQ(info.FGetDuration(), 10.0);
  EXPECT_EQ(info.vendor, "vendor");
  // The vendor text, and an item without "=" standing in for an empty one, as they stand.
  const Bytes rawVendor = Cat({Page(Identification(2, 44100, 128000), 0),
                               Page(Comments(" Xiph \xC3\xA9 ", {"TITLE=t"}, 1), 0), Page(Bytes(100, 0x55), 1000)});
  EXPECT_EQ(Read(rawVendor).vendor, "Xiph \xC3\xA9");
  const Bytes itemVendor = Cat({Page(Identification(2, 44100, 128000), 0),
                                Page(Comments("", {"enc \xC3\xA9", "later"}, 2), 0), Page(Bytes(100, 0x55), 1000)});
  EXPECT_EQ(Read(itemVendor).vendor, "enc \xC3\xA9");
}

TEST(Ogg, ValuesAreCutAndDecodedAsTheReaderDoes) {
  struct Case {
    std::string item;
    std::string title;
  } cases[] = {
      {"TITLE=" + std::string(300, 'v'), std::string(244, 'v')},  // 250 bytes of item, less "TITLE="
      {"TITLE=ab\xF0\x9F\x98\x80" "cd", "ab"},                      // a four-byte sequence ends the text
      {"TITLE=ab\xC3" "cd", "ab"},                                   // so does a broken one
      {"TITLE=\xE2\x82\xAC 5", "\x80 5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(Ogg({c.item, "ALBUM=after"}, 8000)).texts.title, c.title);
    EXPECT_EQ(Read(Ogg({c.item, "ALBUM=after"}, 8000)).texts.album, "after");
  }
  struct Track {
    std::string value;
    uint16_t track;
  } tracks[] = {{"7", 7}, {"3/9", 3}, {"x", 0}, {"", 0}, {"-1", 0}, {"70000", 0}};
  for (const Track& t : tracks) EXPECT_EQ(Read(Ogg({"TRACKNUMBER=" + t.value}, 8000)).texts.track, t.track) << t.value;
}

TEST(Ogg, DurationFallsBackToTheNominalBitRate) {
  struct Case {
    const char* what;
    Bytes file;
    uint32_t samples;
  } cases[] = {
      // Bytes after the last page that no page can span.
      {"far", Cat({Ogg({}, 1000, 0), Bytes(241 * 50 + 100, 0x55)}), 0},
      {"negative granule", Ogg({}, -1), 0},
      {"granule past 32 bits", Ogg({}, int64_t{1} << 33), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TOggVorbis info = Read(c.file);
    ASSERT_TRUE(info.valid);
    EXPECT_EQ(info.samples, c.samples);
    EXPECT_DOUBLE_EQ(info.FGetDuration(), c.file.size() / 128.0 / 2 / 125 * 2);
  }
  // Nothing to estimate from: 0, and no division by a zero sample rate.
  EXPECT_EQ(Read(Ogg({}, 0, 400, 2, 44100, 0)).FGetDuration(), 0.0);
  const TOggVorbis noRate = Read(Ogg({}, 1000, 400, 2, 0, 128000));
  EXPECT_EQ(noRate.FGetDuration(), 0.0);
  EXPECT_EQ(noRate.FGetBitRate(), 0);
  // A bit rate beyond 16 bits is not wrapped.
  EXPECT_EQ(Read(Ogg({}, 1, 40000, 2, 48000)).FGetBitRate(), 0);
}

TEST(Ogg, TheLastPageIsSoughtInFiftyStepsFromTheEnd) {
  // The search covers the 50 windows of 241 steps before the last 10 bytes:
  // a last page header further back gives samples 0 and the nominal-bit-rate
  // estimate. A page cut by the end of the file is taken as it is; an "OggS"
  // inside the last packet is not taken for a page.
  const Bytes start = Ogg({}, 1000, 400);
  Bytes decoy = Bytes(8000, 0x55);
  std::copy_n(B("OggS").begin(), 4, decoy.begin() + 4000);
  Bytes decoyOfVersion0 = decoy;
  decoyOfVersion0[4004] = 0;
  struct Case {
    const char* what;
    Bytes file;
    uint32_t samples;
  } cases[] = {
      {"within the steps", Cat({start, Page(Bytes(11 * 1024, 0x55), 2'000'000)}), 2'000'000},
      {"at the last step", Cat({start, Page(Bytes(241 * 50 + 10 - 27 - 48, 0x55), 2'500'000)}), 2'500'000},
      {"one byte before the steps", Cat({start, Page(Bytes(241 * 50 + 10 - 27 - 47, 0x55), 2'500'000)}), 0},
      {"17 KB", Cat({start, Page(Bytes(17 * 1024, 0x55), 3'000'000)}), 0},
      {"cut last page", Cat({start, Page(Bytes(5000, 0x55), 5'000'000)}), 5'000'000},
      {"pattern in the packet", Cat({start, Page(decoy, 6'000'000)}), 6'000'000},
      {"pattern of version 0 in the packet", Cat({start, Page(decoyOfVersion0, 6'000'000)}), 6'000'000},
  };
  Bytes& cut = cases[4].file;
  cut.resize(cut.size() - 10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TOggVorbis info = Read(c.file);
    ASSERT_TRUE(info.valid);
    EXPECT_EQ(info.samples, c.samples);
    EXPECT_DOUBLE_EQ(info.FGetDuration(),
                     c.samples ? c.samples / 44100.0 : c.file.size() / 128.0 / 2 / 125 * 2);
  }
}

TEST(Ogg, SmallFilesAndAnId3v2TagBeforeThePages) {
  // The backward search stops at the file's start: a single short page is found.
  const TOggVorbis tiny = Read(Page(Identification(1, 8000, 64000), 4000));
  ASSERT_TRUE(tiny.valid);
  EXPECT_EQ(tiny.samples, 4000u);

  const Bytes body = Ogg({"TITLE=tagged"}, 88200);
  const Bytes file = Cat({B(std::string_view("ID3\x04\x00\x10", 6)), Be(0x0100, 4), Zeros(128 + 10), body});  // 128 + footer
  const TOggVorbis info = Read(file);
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.id3v2Size, 148u);
  EXPECT_EQ(info.texts.title, "tagged");
  EXPECT_EQ(info.FGetBitRate(), Read(body).FGetBitRate());  // the tag is not counted
}

TEST(Ogg, TheCommentPacketIsReadAcrossPages) {
  // A picture of 70 KB before the title: the packet runs over two pages, or
  // over many small ones, and the items after the page boundary are read.
  const Bytes picture = B("METADATA_BLOCK_PICTURE=" + std::string(70000, 'p'));
  const Bytes packet = Comments("vendor", {std::string(picture.begin(), picture.end()), "TITLE=after", "ARTIST=x"}, 3);
  const Bytes head = Page(Identification(2, 44100, 128000), 0);
  const Bytes tail = Page(Bytes(300, 0x55), 44100);
  auto file = [&](std::vector<Bytes> pages, Bytes between = {}) {
    Bytes out = head;
    for (size_t i = 0; i < pages.size(); ++i) out = Cat({out, i == 1 ? between : Bytes{}, pages[i]});
    return Cat({out, tail});
  };
  std::vector<Bytes> unflagged = Pages(packet);
  unflagged[1][5] = 0;
  std::vector<Bytes> otherStream = Pages(packet);
  otherStream[1][14] = 7;
  Bytes cut = file(Pages(packet));
  cut.resize(head.size() + Pages(packet)[0].size() + 100);
  // 255 x 255 bytes exactly: the packet's closing lacing value of 0 lies alone on the second page.
  const Bytes exact = Cat({packet, Bytes(255 * 255 - packet.size() % (255 * 255), ' ')});
  struct Case {
    const char* what;
    Bytes file;
    ReadFault fault;
    std::string title;
  } cases[] = {
      {"two pages", file(Pages(packet)), ReadFault::kNone, "after"},
      {"small pages", file(Pages(packet, 3)), ReadFault::kNone, "after"},
      {"only a closing lacing value on the last page", file(Pages(exact)), ReadFault::kNone, "after"},
      {"next page not flagged as continuing", file(unflagged), ReadFault::kMissingBox, ""},
      {"next page of another stream", file(otherStream), ReadFault::kMissingBox, ""},
      {"a stray page between", file(Pages(packet), Page(Bytes(10, 0), 0)), ReadFault::kMissingBox, ""},
      {"file ends inside the packet", cut, ReadFault::kOutsideParent, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TOggVorbis ogg = Read(c.file);
    ASSERT_TRUE(ogg.valid);
    EXPECT_EQ(ogg.fault, c.fault);
    EXPECT_EQ(ogg.texts.title, c.title);
    EXPECT_EQ(ogg.texts.artist, c.title.empty() ? "" : "x");
  }
}

TEST(Ogg, BrokenFilesNameTheirFaultAndKeepWhatWasRead) {
  // A count far beyond the items, then an item running past the file.
  const Bytes lying = Cat({Page(Identification(2, 44100, 128000), 0),
                           Page(Cat({B("\x03vorbis"), Item("v"), Le(0xFFFFFFFF, 4), Item("TITLE=one"), Le(1 << 30, 4),
                                     B("ARTIST=x")}),
                                0)});
  const Bytes noComments = Cat({Page(Identification(2, 44100, 128000), 0), Page(B("\x05vorbis....."), 0)});
  // The comment header's page is found by its place, whatever its capture
  // pattern and version say.
  Bytes oddSecondPage = Ogg({"TITLE=odd"}, 1000);
  const size_t page2 = Page(Identification(2, 44100, 128000), 0).size();
  oddSecondPage[page2 + 3] = 'X';
  oddSecondPage[page2 + 4] = 1;
  struct Case {
    const char* what;
    Bytes file;
    bool valid;
    ReadFault fault;
    std::string title;
  } cases[] = {
      {"good", Ogg({"TITLE=t"}, 1000), true, ReadFault::kNone, "t"},
      {"not Ogg", B("RIFF....WAVEfmt "), false, ReadFault::kNotThisFormat, ""},
      {"page header cut", B("OggS\x00\x02"), false, ReadFault::kShortField, ""},
      {"not Vorbis", Page(Cat({B("\x01vorbiX"), Zeros(23)}), 0), false, ReadFault::kNotThisFormat, ""},
      {"identification cut", Page(B("\x01vorbis\x00"), 0), false, ReadFault::kShortField, ""},
      {"no comment header", noComments, true, ReadFault::kMissingBox, ""},
      {"comment page without its pattern", oddSecondPage, true, ReadFault::kNone, "odd"},
      {"comment item past the file", lying, true, ReadFault::kOutsideParent, "one"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TOggVorbis ogg = Read(c.file);
    EXPECT_EQ(ogg.valid, c.valid);
    EXPECT_EQ(ogg.fault, c.fault);
    EXPECT_EQ(ogg.texts.title, c.title);
    EXPECT_EQ(ogg.texts.artist, "");
  }

  FailingSource failing;
  TOggVorbis ogg;
  EXPECT_THROW(ogg.ReadFromSource(failing), std::runtime_error);
}

TEST(Ogg, ReadsOnlyTheStartAndTheEnd) {
  PaddedSource big(Ogg({"TITLE=t"}, 1000, 0), uint64_t{1} << 32);
  TOggVorbis ogg;
  EXPECT_TRUE(ogg.ReadFromSource(big));
  EXPECT_LT(big.bytesRead, 72u * 1024);  // a few hundred bytes and the span of one page
}

}  // namespace
}  // namespace kv
