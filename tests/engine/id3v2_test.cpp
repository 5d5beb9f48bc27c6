#include "engine/readers/id3v2.h"

#include <gtest/gtest.h>

#include "tests/engine/reader_test_util.h"

namespace kv {
namespace {

using namespace readtest;

TID3v2 Read(const Bytes& file) {
  MemorySource src(file);
  TID3v2 t;
  EXPECT_TRUE(t.ReadFromSource(src));
  return t;
}

// The artist frame's body as written, and the ANSI text read from it.
struct TextCase {
  const char* what;
  Bytes body;
  std::string artist;
};

TEST(Id3v2Text, EncodingsDecodeToAnsi) {
  const TextCase cases[] = {
      {"Latin-1 trimmed", Latin1("  Abba \x01"), "Abba"},
      {"UTF-16 big-endian mark is honoured", Cat({Bytes{1, 0xFE, 0xFF}, Utf16(u"Bj\u00F6rk", true)}), "Bj\xF6rk"},
      {"UTF-16 without mark reads little-endian", Cat({Bytes{1}, Utf16(u"Moby")}), "Moby"},
      {"y-diaeresis and U+xxFF are kept", Cat({Bytes{1, 0xFF, 0xFE}, Utf16(u"\u00FFa\u01FFb")}), "\xFF" "a?b"},
      {"only a leading mark is dropped", Cat({Bytes{1, 0xFF, 0xFE}, Utf16(u"a\uFEFFb")}), "a?b"},
      {"UTF-16 ends at the first 0 unit", Cat({Bytes{1, 0xFF, 0xFE}, Utf16(u"One"), Bytes{0, 0}, Utf16(u"Two")}),
       "One"},
      {"UTF-16 odd last byte is a unit of its own", Cat({Bytes{1, 0xFF, 0xFE}, Utf16(u"Ab"), Bytes{'c'}}), "Abc"},
      {"UTF-8 encoding", Cat({Bytes{3}, B("Sigur R\xC3\xB3s\n")}), "Sigur R\xF3s"},
      {"UTF-8 mark dropped", Cat({Bytes{3}, B("\xEF\xBB\xBFX")}), "X"},
      {"UTF-16 big-endian without a mark", Cat({Bytes{2}, Utf16(u"Moby", true)}), "Moby"},
      {"unknown encoding ignored", Cat({Bytes{4}, B("Nope")}), ""},
      {"empty frame", Bytes{}, ""},
  };
  for (const auto& c : cases) {
    const TID3v2 t = Read(Tag(3, Frame("TPE1", c.body)));
    EXPECT_EQ(t.Artist, c.artist) << c.what;
  }
  // A frame of an unknown encoding does not replace a kept one.
  EXPECT_EQ(Read(Tag(4, Cat({Frame("TPE1", Latin1("Kept")), Frame("TPE1", Cat({Bytes{4}, B("Later")}))}))).Artist,
            "Kept");
}

// The plain frame mappings are compared with mutagen in the corpus test; these
// are the fallbacks and frames the corpus files do not carry.
TEST(Id3v2Text, DerivedFieldsAndFallbacks) {
  const Bytes body = Cat({
      Frame("TIT2", Latin1("")),
      Frame("TIT1", Latin1("Group")),
      Frame("TOPE", Latin1("Original")),
      Frame("TALB", Latin1("First")),
      Frame("TALB", Latin1("Second")),  // a later frame replaces an earlier one
      Frame("WXXX", Cat({Bytes{1, 0xFF, 0xFE}, Utf16(u"d"), Bytes{0, 0}, B("http://x.example/")})),
      Frame("TCOP", Latin1("(C) 2004")),
      Frame("TLAN", Latin1("eng")),
      Frame("TSIZ", Latin1("12345")),
  });
  const TID3v2 t = Read(Tag(3, body, 64));
  EXPECT_EQ(t.Title, "Group");
  EXPECT_EQ(t.Artist, "Original");
  EXPECT_EQ(t.Album, "Second");
  EXPECT_EQ(t.Link, "http://x.example/");
  EXPECT_EQ(t.Copyright, "(C) 2004");
  EXPECT_EQ(t.Language, "eng");
  EXPECT_EQ(t.SizeText, "12345");
}

TEST(Id3v2Text, TrackAndGenreRules) {
  const struct { const char* track; int32_t number; const char* genre; const char* name; } cases[] = {
      {"7", 7, "Pop", "Pop"},
      {"07/10", 7, "(13)", ""},
      {"A1", 0, "(13)(17)Rock & Roll", "Rock & Roll"},
      {"", 0, "", ""},
      {"99999999999", 0, "(1) Blues", " Blues"},  // what follows the ")" as it stands
  };
  for (const auto& c : cases) {
    const TID3v2 t = Read(Tag(3, Cat({Frame("TRCK", Latin1(c.track)), Frame("TCON", Latin1(c.genre))})));
    EXPECT_EQ(t.Track, c.number) << c.track;
    EXPECT_EQ(t.Genre, c.name) << c.genre;
  }
}

TEST(Id3v2Text, CommentDescriptionsInEachEncoding) {
  const struct { const char* what; Bytes body; std::string comment; } cases[] = {
      {"UTF-16 description ends on a unit boundary",
       Cat({Bytes{1}, B("eng"), Bytes{0xFF, 0xFE, 'x', 0, 0, 0}, Bytes{0xFF, 0xFE}, Utf16(u"\u00E9t\u00E9")}),
       "\xE9t\xE9"},
      {"Latin-1 description", Cat({Bytes{0}, B("eng"), B("d\xE9"), Bytes{0}, B("ol\xE9")}), "ol\xE9"},
      {"UTF-8 description", Cat({Bytes{3}, B("eng"), B("d\xC3\xA9"), Bytes{0}, B("ol\xC3\xA9")}), "ol\xE9"},
      {"unterminated description", Cat({Bytes{0}, B("eng"), B("only")}), ""},
      {"too short for a language", Bytes{0, 'e'}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Read(Tag(3, Frame("COMM", c.body))).Comment, c.comment) << c.what;
  }
}

TEST(Id3v2Versions, Version22FramesAndVersion4Sizes) {
  const TID3v2 v22 = Read(Tag(2, Cat({Frame22("TT2", Latin1("Title")), Frame22("TP1", Latin1("Artist")),
                                       Frame22("TOR", Latin1("1999")),
                                       Frame22("COM", Cat({Bytes{0}, B("eng"), Bytes{0}, B("Hi")}))})));
  EXPECT_EQ(v22.Title, "Title");
  EXPECT_EQ(v22.Artist, "Artist");
  EXPECT_EQ(v22.Year, "1999");
  EXPECT_EQ(v22.Comment, "Hi");

  // Some writers store version 2.4 sizes plainly: taken when only that lands on
  // a frame (the syncsafe case is in the corpus).
  const Bytes picture = Cat({Bytes{0}, B("image/png"), Bytes{0, 3, 0}, Bytes(300, 0xAB)});
  const Bytes plain = Cat({Frame("APIC", picture, false), Frame("TIT2", Latin1("Plain"), false)});
  EXPECT_EQ(Read(Tag(4, plain, 10)).Title, "Plain");
}

TEST(Id3v2Versions, PackedFramesAreSkippedByTheirVersionsFlags) {
  const Bytes packed = Latin1("x\x9c garbage");
  // Version 2.3: compression 0x80, encryption 0x40 in the second flag byte.
  EXPECT_EQ(Read(Tag(3, Cat({Frame("TIT2", Latin1("Kept")), Frame("TIT2", packed, false, 0x80)}))).Title, "Kept");
  EXPECT_EQ(Read(Tag(3, Frame("TIT2", packed, false, 0x40))).Title, "");
  // Version 2.4: compression 0x08, encryption 0x04, and bit 7 as in 2.3.
  EXPECT_EQ(Read(Tag(4, Frame("TIT2", packed, true, 0x08))).Title, "");
  EXPECT_EQ(Read(Tag(4, Frame("TIT2", packed, true, 0x04))).Title, "");
  EXPECT_EQ(Read(Tag(4, Cat({Frame("TIT2", Latin1("Kept"), true), Frame("TIT2", Latin1("Flagged"), true, 0x80)})))
                .Title,
            "Kept");
  EXPECT_EQ(Read(Tag(4, Frame("TIT2", Latin1("Fine"), true, 0x40))).Title, "Fine");
}

TEST(Id3v2Bounds, SizesAreBoundedByTagAndFile) {
  // Header only, or fewer than 10 bytes.
  {
    const Bytes few = B("ID3\x03");
    MemorySource src(few);
    TID3v2 t;
    EXPECT_FALSE(t.ReadFromSource(src));
    EXPECT_FALSE(t.Exists);
  }
  EXPECT_FALSE(Read(B("RIFF0123456789")).Exists);

  // The footer flag adds ten bytes to the total size.
  const Bytes body = Frame("TIT2", Latin1("T"));
  EXPECT_EQ(Read(Cat({Tag(4, body, 0, 0x10), B("3DI"), Bytes(7, 0)})).Size, body.size() + 20);

  // A declared size past the end of the file: size 0, no frames.
  Bytes tooBig = Tag(3, Frame("TIT2", Latin1("Lost")));
  tooBig[6] = 0x7F;
  const TID3v2 big = Read(tooBig);
  EXPECT_TRUE(big.Exists);
  EXPECT_EQ(big.Size, 0u);
  EXPECT_EQ(big.Title, "");

  // A text longer than the buffer keeps its first 499 characters.
  const TID3v2 lng = Read(Tag(3, Frame("TIT2", Latin1(std::string(2000, 'a')))));
  EXPECT_EQ(lng.Title, std::string(499, 'a'));

  // A frame size running past the tag: the data stops at the tag's end, so the
  // audio behind it does not become text.
  Bytes overrun = Cat({Tag(3, Cat({B("TIT2"), Be(0xFFFFFFF0, 4), Bytes{0, 0}, Latin1("In")})), B("AUDIO")});
  EXPECT_EQ(Read(overrun).Title, "In");

  // Padding ends the walk; what follows it is not read.
  EXPECT_EQ(Read(Tag(3, Cat({Frame("TIT2", Latin1("A")), Bytes(4, 0), Frame("TPE1", Latin1("B"))}))).Artist, "");
}

TEST(Id3v2Bounds, ReadsOnlyTheFramesItKeeps) {
  const Bytes picture(1 << 20, 0x55);
  const Bytes file = Cat({Tag(3, Cat({Frame("APIC", picture), Frame("TIT2", Latin1("After"))})), Bytes(4096, 0)});
  MemorySource mem(file);
  CountingSource src(mem);
  TID3v2 t;
  ASSERT_TRUE(t.ReadFromSource(src));
  EXPECT_EQ(t.Title, "After");
  EXPECT_LT(src.bytesRead, 16u * 1024);  // the picture is passed over, not read
  EXPECT_LE(src.reads, 3u);
}

TEST(Id3v2Tag, MeasuresTagsWithFrames) {
  const struct { const char* what; Bytes file; uint64_t size; } cases[] = {
      {"frames and padding", Tag(3, Frame("TIT2", Latin1("T")), 50), 10 + 12 + 50},
      {"padding only", Tag(3, {}, 50), 0},
      {"size byte with its top bit", [] { Bytes b = Tag(3, Frame("TIT2", Latin1("T"))); b[9] |= 0x80; return b; }(), 0},
      {"version 5", Tag(5, Frame("TIT2", Latin1("T"))), 0},
      {"size past the data", [] { Bytes b = Tag(3, Frame("TIT2", Latin1("T"))); b[8] = 0x7F; return b; }(), 0},
      {"not a tag", B("TAG and more bytes"), 0},
      {"frame size past the tag", Tag(3, Cat({B("TIT2"), Be(0xFFFFFFFF, 4), Bytes{0, 0}})), 20},
  };
  for (const auto& c : cases) {
    MemorySource src(c.file);
    TID3v2Tag tag;
    tag.LoadFromStream(src, 0, c.file.size());
    EXPECT_EQ(tag.GetSize(), c.size) << c.what;
  }
  // The size given bounds the declared size; the frames are read for all of
  // the declared size after the header.
  const Bytes exact = Cat({Tag(3, Frame("TIT2", Latin1("T"))), B("AUDIO")});
  MemorySource src(exact);
  TID3v2Tag tag;
  tag.LoadFromStream(src, 0, 12);
  EXPECT_EQ(tag.GetSize(), 22u);
  EXPECT_EQ(tag.Frames.size(), 1u);
}

TEST(Id3v2Tag, ReadsEachFrameByItsKind) {
  const Bytes file = Cat({Tag(3, Cat({Frame("TIT2", Latin1("Title")), Frame("TXXX", Latin1("free")),
                                      Frame("COMM", Cat({Bytes{0}, B("eng"), B("desc"), Bytes{0}, B("Said")})),
                                      Frame("APIC", Bytes{1, 2, 3}), Frame("TALB", Bytes(20, 'a'), false)})),
                          Bytes(16, 0xFF)});
  Bytes cut = file;
  cut[cut.size() - 16 - 20 - 10 + 7] = 40;  // the last frame's size runs 20 bytes past the tag
  MemorySource src(cut);
  TID3v2Tag tag;
  tag.LoadFromStream(src, 0, cut.size());
  ASSERT_EQ(tag.Frames.size(), 5u);
  const auto* title = dynamic_cast<const TTextFrame*>(tag.Frames[0].get());
  ASSERT_TRUE(title);
  EXPECT_EQ(title->Encoding, 0);
  EXPECT_EQ(title->Text, "Title");
  const auto* txxx = dynamic_cast<const TUnknownFrame*>(tag.Frames[1].get());
  ASSERT_TRUE(txxx);
  EXPECT_EQ(txxx->Data, Latin1("free"));
  const auto* comm = dynamic_cast<const TCommFrame*>(tag.Frames[2].get());
  ASSERT_TRUE(comm);
  EXPECT_EQ(comm->Language, "eng");
  EXPECT_EQ(comm->Description, "desc");
  EXPECT_EQ(comm->Text, "Said");
  const auto* picture = dynamic_cast<const TUnknownFrame*>(tag.Frames[3].get());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Data, (Bytes{1, 2, 3}));
  EXPECT_EQ(std::string(tag.Frames[3]->Id.data(), 4), "APIC");
  const auto* album = dynamic_cast<const TTextFrame*>(tag.Frames[4].get());
  ASSERT_TRUE(album);
  EXPECT_EQ(album->Size, 40u);
  EXPECT_EQ(album->Text, std::string(19, 'a'));  // cut at the tag's end, not read from the audio
}

}  // namespace
}  // namespace kv
