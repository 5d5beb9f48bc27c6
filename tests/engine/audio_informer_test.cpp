#include "engine/audio_informer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "engine/mp3_collection.h"
#include "tests/engine/reader_test_util.h"

namespace kv {
namespace {

using namespace readtest;

// Files in memory, by access path.
class MemoryEnvironment : public TAudioReadEnvironment {
 public:
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  std::unique_ptr<ByteSource> Open(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) throw std::runtime_error("Cannot open file " + path);
    return std::make_unique<MemorySource>(it->second);
  }
  void SetSessionFlag(std::string_view key) override { flags.insert(std::string(key)); }

  std::map<std::string, Bytes> files;
  std::set<std::string> flags;
};

TEST(AudioInformer, Id3v2TextsAreCompletedFromId3v1AndTheStreamIsAnalysed) {
  MemoryEnvironment env;
  env.files["C:\\M\\SONG~1.MP3"] =
      Cat({Tag(3, Cat({Frame("TIT2", Latin1("Title Two")), Frame("TALB", Latin1("Second\rcut"))})),
           Frames(kHdr128, 417, 10), Id3v1Block("Old title", "Artist One", 0, 0, 17)});
  TAudioInformer info;
  info.SetFileName("C:\\M\\SONG~1.MP3");
  info.ReadFile("C:\\M\\Song one.mp3", env);
  EXPECT_EQ(info.GetTagPart(kTagTitle), "Title Two");
  EXPECT_EQ(info.GetTagPart(kTagArtist), "Artist One");  // empty in ID3v2, taken from ID3v1
  EXPECT_EQ(info.GetTagPart(kTagAlbum), "Second");        // cut at the CR
  EXPECT_EQ(info.GetTagPart(kTagYear), "1999");
  EXPECT_EQ(info.GetTagPart(kTagTrack), "0");
  EXPECT_EQ(info.GetTagPart(kTagGenre), "Rock");
  EXPECT_EQ(info.GetTagPart(kTagDisplayPath), "C:\\M\\Song one.mp3");
  EXPECT_EQ(info.InfoCount(), 7u);
  EXPECT_EQ(info.GetInfoPart(kInfoSampleRate), 44100);
  EXPECT_EQ(info.GetInfoPart(kInfoBitRate), 128);
  EXPECT_EQ(info.GetInfoPart(kInfoChannels), kJointStereo);
  // The size is the open file's, whatever the display path says.
  EXPECT_EQ(info.GetInfoPart(kInfoFileSize), static_cast<int32_t>(env.files["C:\\M\\SONG~1.MP3"].size()));
  EXPECT_EQ(info.GetInfoPart(kInfoMpegVersion), 1);
  EXPECT_EQ(info.GetInfoPart(kInfoMpegLayer), 3);
  EXPECT_EQ(info.TemplateNo, 0);
  EXPECT_TRUE(env.flags.empty());
}

class TemplatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream in(std::string(KV_TEST_SOURCE_DIR) + "/data/fnametemplates.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ASSERT_FALSE(text.str().empty());
    shippedText = text.str();
    shipped.Load(shippedText);
  }
  std::string shippedText;
  TNameTemplates shipped;
};

// The shipped templates, on the real expression engine.
TEST_F(TemplatesTest, ShippedTemplatesTakeArtistAndTitleFromCommonNames) {
  const struct { const char* path; const char* artist; const char* title; int number; } cases[] = {
      {"C:\\Music\\03 - Some Band - A Song.mp3", "Some Band", "A Song", 1},
      {"C:\\Music\\Some Band\\07 - A Song.mp3", "Some Band", "A Song", 2},
      {"C:\\Music\\Some Band\\07. A Song.MP3", "Some Band", "A Song", 2},
      {"C:\\Music\\Some Band - A Song.mp3", "Some Band", "A Song", 3},
      {"C:\\Music\\Jay-Z - Big Tune.mp3", "Jay-Z", "Big Tune", 3},
      {"D:\\x\\Some_Band_-_A__Song.mp3", "Some Band", "A Song", 3},
  };
  for (const auto& c : cases) {
    MemoryEnvironment env;
    TMP3Informer direct;
    direct.ExtractInfoFromFilename(c.path, env, shipped);
    EXPECT_EQ(direct.GetTagPart(kTagArtist), c.artist) << c.path;
    EXPECT_EQ(direct.GetTagPart(kTagTitle), c.title) << c.path;
    EXPECT_EQ(direct.TemplateNo, c.number) << c.path;
  }
  TMP3Informer none;
  MemoryEnvironment env;
  none.ExtractInfoFromFilename("C:\\Music\\track.mp3", env, shipped);
  EXPECT_EQ(none.GetTagPart(kTagArtist), "");
  EXPECT_EQ(none.TemplateNo, 0);
  EXPECT_TRUE(env.flags.count("EmptyTags"));
}

TEST(NameTemplates, FirstMatchWinsBlanksAreCleanedAndBadLinesAreSkipped) {
  TNameTemplates t;
  t.Load("(unclosed\r\n1\r\n2\r\n\\\\(\\w+)_+(\\w+)\\.mp3$\r\n1\r\n2\r\n(.*)\r\n1\r\nx\r\nincomplete\r\n1\r\n");
  EXPECT_EQ(t.Count(), 3u);
  MemoryEnvironment env;
  TMP3Informer info;
  info.ExtractInfoFromFilename("C:\\a\\Foo___Bar.mp3", env, t);
  EXPECT_EQ(info.GetTagPart(kTagArtist), "Foo");
  EXPECT_EQ(info.GetTagPart(kTagTitle), "Bar");
  EXPECT_EQ(info.TemplateNo, 2);
  TMP3Informer other;
  other.ExtractInfoFromFilename("C:\\  spaced__out  .wma", env, t);
  EXPECT_EQ(other.TemplateNo, 3);
  EXPECT_EQ(other.GetTagPart(kTagArtist), "C:\\ spaced out .wma");  // "_" -> " ", blanks halved once, trimmed
  EXPECT_EQ(other.GetTagPart(kTagTitle), "");                        // "x" is no sub-match number
  // Any positive decimal names a sub-match, leading zeros and all; a number
  // past every sub-match (or the int range) gives an empty text.
  TNameTemplates padded;
  padded.Load("\\\\(\\w+)-(\\w+)\\.mp3$\r\n00001\r\n99999999999999999999\r\n");
  TMP3Informer zeros;
  zeros.ExtractInfoFromFilename("C:\\a\\Foo-Bar.mp3", env, padded);
  EXPECT_EQ(zeros.TemplateNo, 1);
  EXPECT_EQ(zeros.GetTagPart(kTagArtist), "Foo");
  EXPECT_EQ(zeros.GetTagPart(kTagTitle), "");
}

TEST(AudioInformer, MissingMp3GetsNoIntegersAndOtherFormatsRaiseWhenUnreadable) {
  MemoryEnvironment env;
  TAudioInformer mp3;
  mp3.SetFileName("C:\\gone.mp3");
  mp3.ReadFile("C:\\gone.mp3", env);
  EXPECT_EQ(mp3.InfoCount(), 0u);
  EXPECT_EQ(mp3.GetTagPart(kTagDisplayPath), "C:\\gone.mp3");

  TAudioInformer ogg;
  ogg.SetFileName("C:\\gone.ogg");
  EXPECT_ANY_THROW(ogg.ReadFile("C:\\gone.ogg", env));

  env.files["C:\\NOTFLAC.FLA"] = Bytes(100, 0x55);
  TAudioInformer flac;
  flac.SetFileName("C:\\NOTFLAC.FLA");
  EXPECT_ANY_THROW(flac.ReadFile("C:\\not.flac", env));
  // A FLAC file of 0 seconds has no bit rate: it is left out too.
  const uint64_t shortInfo = uint64_t{44100} << 44 | uint64_t{1} << 41 | uint64_t{15} << 36 | 44099;
  env.files["C:\\SHORT.FLA"] = Cat({B("fLaC"), Bytes{0x80}, Be(34, 3), Zeros(10), Be(shortInfo, 8), Zeros(16)});
  TAudioInformer shortFlac;
  shortFlac.SetFileName("C:\\SHORT.FLA");
  EXPECT_THROW(shortFlac.ReadFile("C:\\short.flac", env), std::runtime_error);

  env.files["C:\\X.M4A"] = Bytes(64, 0);
  TAudioInformer m4a;
  m4a.SetFileName("C:\\X.M4A");
  m4a.ReadFile("C:\\x.m4a", env);  // not an M4A inside: added with empty texts
  EXPECT_EQ(m4a.GetInfoPart(kInfoBitRate), kLosslessBitRate);
  EXPECT_TRUE(env.flags.count("iTunesInstalled"));

  // A damaged MPEG file is still read as far as it goes.
  env.files["C:\\BAD.MP3"] = Bytes{'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 'T', 'I'};
  TAudioInformer bad;
  bad.SetFileName("C:\\BAD.MP3");
  EXPECT_NO_THROW(bad.ReadFile("C:\\bad.mp3", env));
  EXPECT_EQ(bad.GetInfoPart(kInfoBitRate), 0);
}

Bytes SeedFile(const std::string& name) {
  std::ifstream in(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/" + name, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(AudioInformer, EveryOtherFormatFillsTheSameSlots) {
  // A FLAC file with every text the record takes, each different.
  Bytes comments = Cat({Le(1, 4), B("v"), Le(7, 4)});
  for (const char* item : {"TITLE=T", "ARTIST=A\rcut", "ALBUM=L", "DATE=1999", "GENRE=G", "COMMENT=C", "TRACK=7"}) {
    comments = Cat({comments, Le(std::string_view(item).size(), 4), B(item)});
  }
  const uint64_t streamInfo = uint64_t{44100} << 44 | uint64_t{0} << 41 | uint64_t{15} << 36 | 441000;
  Bytes flac = Cat({B("fLaC"), Bytes{0}, Be(34, 3), Zeros(10), Be(streamInfo, 8), Zeros(16), Bytes{0x84},
                    Be(comments.size(), 3), comments});
  flac.resize(200000);

  struct Case {
    const char* path;
    Bytes file;
    std::vector<std::string> texts;  // artist, title, album, year, comment, track, genre
    std::vector<int32_t> ints;       // length, sample rate, bit rate, channel code, size
  } cases[] = {
      {"C:\\a.flac", flac, {"A", "T", "L", "1999", "C", "7", "G"}, {10, 44100, 148, kMono, 200000}},
      {"C:\\a.wma", SeedFile("asf/tagged_mono.wma"), {"Artist", "Seed", "Album", "", "", "2", ""}, {}},
      {"C:\\a.ogg", SeedFile("ogg/tagged_mono.ogg"), {"Artist", "Seed", "", "", "", "2", ""}, {}},
      {"C:\\a.m4a", SeedFile("mp4/tagged_mono.m4a"), {"Artist", "Seed", "", "", "", "2", "Rock"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    MemoryEnvironment env;
    env.files["C:\\X"] = c.file;
    TAudioInformer info;
    info.SetFileName("C:\\X");
    info.ReadFile(c.path, env);
    for (int slot = kTagArtist; slot <= kTagGenre; ++slot) EXPECT_EQ(info.GetTagPart(slot), c.texts[slot]) << slot;
    EXPECT_EQ(info.GetTagPart(kTagDisplayPath), c.path);
    ASSERT_EQ(info.InfoCount(), 5u);
    EXPECT_EQ(info.GetInfoPart(kInfoFileSize), static_cast<int32_t>(c.file.size()));
    for (size_t i = 0; i < c.ints.size(); ++i) EXPECT_EQ(info.GetInfoPart(static_cast<int>(i)), c.ints[i]) << i;
  }
}

// The bytes with every occurrence of `from` replaced by `to` (of the same size).
Bytes Patched(Bytes bytes, std::string_view from, std::string_view to) {
  for (auto at = bytes.begin();;) {
    at = std::search(at, bytes.end(), from.begin(), from.end(),
                     [](uint8_t b, char c) { return b == static_cast<uint8_t>(c); });
    if (at == bytes.end()) return bytes;
    at = std::copy(to.begin(), to.end(), at);
  }
}

std::string Utf16Le(std::string_view ascii) {
  std::string out;
  for (char c : ascii) out += {c, '\0'};
  return out;
}

// A file whose tag is there but gives neither artist nor title takes both
// from the templates, in every format, and says that a file lacked a usable
// tag; the tag's other texts stay. A tag that gives either one is used as it is.
TEST_F(TemplatesTest, OnlyAnMpegFileWithoutTagsTakesArtistAndTitleFromTheTemplates) {
  NameTemplates().Load(shippedText);  // the process-wide list the reads use
  struct Restore {
    ~Restore() { NameTemplates().Load(""); }
  } restore;

  const Bytes mpeg = Frames(kHdr128, 417, 10);
  auto flac = [](const std::vector<std::string>& items) {
    Bytes comments = Cat({Le(1, 4), B("v"), Le(items.size(), 4)});
    for (const std::string& item : items) comments = Cat({comments, Le(item.size(), 4), B(item)});
    const uint64_t info = uint64_t{44100} << 44 | uint64_t{1} << 41 | uint64_t{15} << 36 | 441000;
    Bytes file = Cat({B("fLaC"), Bytes{0}, Be(34, 3), Zeros(10), Be(info, 8), Zeros(16), Bytes{0x84},
                      Be(comments.size(), 3), comments});
    file.resize(20000);
    return file;
  };
  const Bytes wma = SeedFile("asf/tagged_mono.wma");
  const Bytes ogg = SeedFile("ogg/tagged_mono.ogg");
  const Bytes m4a = SeedFile("mp4/tagged_mono.m4a");
  const std::string noArtist = Utf16Le("      "), noTitle = Utf16Le("    ");
  const struct {
    const char* ext;
    Bytes neither;     // a tag with other texts only
    Bytes titleOnly;   // a tag with a title but no artist
    int otherSlot;     // a text of the tag that stays
    const char* other;
  } cases[] = {
      {"mp3", Cat({Tag(3, Frame("TALB", Latin1("Tagged album"))), mpeg}),
       Cat({Tag(3, Frame("TIT2", Latin1("Named"))), mpeg}), kTagAlbum, "Tagged album"},
      {"mp3", Cat({mpeg, Id3v1Block("", "", 0, 3, 17)}), Cat({mpeg, Id3v1Block("Named", "", 0, 3, 17)}), kTagAlbum,
       "Album"},
      {"flac", flac({"ALBUM=Tagged album"}), flac({"TITLE=Named"}), kTagAlbum, "Tagged album"},
      {"wma", Patched(Patched(wma, Utf16Le("Artist"), noArtist), Utf16Le("Seed"), noTitle),
       Patched(wma, Utf16Le("Artist"), noArtist), kTagAlbum, "Album"},
      {"ogg", Patched(Patched(ogg, "artist=", "xrtist="), "title=", "xitle="), Patched(ogg, "artist=", "xrtist="),
       kTagTrack, "2"},
      {"m4a", Patched(Patched(m4a, "\xA9" "ART", "\xA9" "XRT"), "\xA9nam", "\xA9xam"),
       Patched(m4a, "\xA9" "ART", "\xA9" "XRT"), kTagGenre, "Rock"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ext);
    MemoryEnvironment env;
    env.files["C:\\X"] = c.neither;
    TAudioInformer info;
    info.SetFileName("C:\\X");
    info.ReadFile(std::string("C:\\Music\\Some Band - A Song.") + c.ext, env);
    // A tag without artist and title is still a tag: the templates are not asked.
    EXPECT_EQ(info.GetTagPart(kTagArtist), "");
    EXPECT_EQ(info.GetTagPart(kTagTitle), "");
    EXPECT_EQ(info.TemplateNo, 0);
    EXPECT_EQ(info.GetTagPart(c.otherSlot), c.other);
    EXPECT_FALSE(env.flags.count("EmptyTags"));

    MemoryEnvironment named;
    named.files["C:\\X"] = c.titleOnly;
    TAudioInformer kept;
    kept.SetFileName("C:\\X");
    kept.ReadFile(std::string("C:\\Music\\Some Band - A Song.") + c.ext, named);
    EXPECT_EQ(kept.GetTagPart(kTagArtist), "");
    EXPECT_NE(kept.GetTagPart(kTagTitle), "");
    EXPECT_EQ(kept.TemplateNo, 0);
    EXPECT_FALSE(named.flags.count("EmptyTags"));
  }
  // An MPEG file with neither tag takes them from the templates.
  MemoryEnvironment env;
  env.files["C:\\X"] = mpeg;
  TAudioInformer untagged;
  untagged.SetFileName("C:\\X");
  untagged.ReadFile("C:\\Music\\Some Band - A Song.mp3", env);
  EXPECT_EQ(untagged.GetTagPart(kTagArtist), "Some Band");
  EXPECT_EQ(untagged.GetTagPart(kTagTitle), "A Song");
  EXPECT_EQ(untagged.TemplateNo, 3);
  EXPECT_TRUE(env.flags.count("EmptyTags"));
}

TEST(MP3Collection, CopiesIndexesAndCombinesCandidates) {
  TCustomStrFinder exclude;
  exclude.AddString("THE", 0);
  TMP3Collection c(&exclude);
  auto add = [&](const char* artist, const char* title, int32_t size) {
    TAudioInfo r;
    r.SetTagPart(kTagArtist, artist);
    r.SetTagPart(kTagTitle, title);
    r.SetTagPart(kTagYear, "");
    r.SetPart(kInfoFileSize, size);
    r.SetPart(kInfoMpegVersion, 1);
    return &c.AddMp3Info(r);
  };
  TMP3Info* first = add("The Band", "Song", -1);  // 4 GiB - 1 as an unsigned size
  add("band", "song", 10);
  add("Other", "Song", 10);
  add("The", "Song", 10);
  EXPECT_EQ(first->GetTagPart(kTagYear), "0");       // copied as a number
  EXPECT_EQ(first->GetInfoPart(kInfoMpegVersion), 0);  // stream integers 5 and 6 are not copied
  EXPECT_EQ(c.GetTotalSize(), 4294967295LL + 30);

  c.ArtistBound = 100;
  c.TitleBound = 100;
  std::vector<int32_t> found;
  c.FindSimilar("The Band", "Song", found);
  EXPECT_EQ(found, (std::vector<int32_t>{0, 1}));
  c.FindSimilar("The", "Song", found);  // only excluded artist words: nothing at all
  EXPECT_TRUE(found.empty());
  c.Combine = 4;
  c.FindSimilar("Other", "Nothing", found);
  EXPECT_EQ(found, (std::vector<int32_t>{2}));
  c.Combine = 2;
  c.FindSimilar("x", "song", found);
  EXPECT_EQ(found, (std::vector<int32_t>{0, 1, 2, 3}));

  c.IndexEnabled = 0;
  found = {42};
  c.FindSimilar("band", "song", found);
  EXPECT_EQ(found, (std::vector<int32_t>{42}));  // untouched
  c.ArtistBound = 77;
  c.Clear();
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(c.ArtistBound, 77);  // settings survive
  EXPECT_TRUE(c.Modified);
}

}  // namespace
}  // namespace kv
