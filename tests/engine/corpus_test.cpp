// The readers against files made by Debian's encoders and taggers before the
// test, with the reference readings in each folder's expected.tsv: mutagen's
// for the MP3 files (tests/engine/make_mp3_corpus.py), the tools' own for the
// WMA, Ogg Vorbis, FLAC and M4A files (tests/engine/make_other_corpus.py).
// Each runs as its own CTest test after its corpus is made; skipped when the
// variable naming the folder is not set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/ansi_text.h"
#include "engine/readers/asf.h"
#include "engine/readers/flac.h"
#include "engine/readers/id3v1.h"
#include "engine/readers/id3v2.h"
#include "engine/readers/mp4.h"
#include "engine/readers/mpeg_frames.h"
#include "engine/readers/ogg.h"

namespace kv {
namespace {

// Lines of expected.tsv: file, key, S and a text as Windows-1252 hex, or N, a
// number and its tolerance.
struct Expected {
  bool isText = false;
  std::string text;
  double number = 0, tolerance = 0;
};

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

struct Found {
  std::map<std::string, std::string> texts;
  std::map<std::string, double> numbers;
};

// Reads every file the folder's expected.tsv names and compares each key.
void CompareWithReference(const char* variable, size_t minFiles,
                          const std::function<Found(const std::string&, ByteSource&)>& read) {
  const char* dir = std::getenv(variable);
  if (!dir) GTEST_SKIP() << variable << " not set";
  std::ifstream table(std::string(dir) + "/expected.tsv");
  std::map<std::string, std::map<std::string, Expected>> files;
  for (std::string line; std::getline(table, line);) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string part; std::getline(ss, part, '\t');) f.push_back(part);
    if (f.size() < 3) continue;
    Expected e;
    e.isText = f[2] == "S";
    if (e.isText) e.text = FromHex(f.size() > 3 ? f[3] : "");
    else {
      e.number = std::stod(f.at(3));
      e.tolerance = f.size() > 4 ? std::stod(f[4]) : 0;
    }
    files[f[0]][f[1]] = e;
  }
  ASSERT_GE(files.size(), minFiles) << "expected.tsv missing or short in " << dir;

  for (const auto& [name, keys] : files) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> bytes;
    {  // closed before the reader opens the file: the FLAC reader shares it with no one
      std::ifstream in(std::string(dir) + "/" + name, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_FALSE(bytes.empty());
    MemorySource src(bytes);
    const Found found = read(std::string(dir) + "/" + name, src);
    for (const auto& [key, e] : keys) {
      SCOPED_TRACE(key);
      if (e.isText) {
        ASSERT_TRUE(found.texts.count(key));
        EXPECT_EQ(found.texts.at(key), e.text);
      } else {
        ASSERT_TRUE(found.numbers.count(key));
        EXPECT_NEAR(found.numbers.at(key), e.number, e.tolerance);
      }
    }
  }
}

TEST(Mp3Corpus, EveryFieldMatchesTheReference) {
  CompareWithReference("KV_MP3_CORPUS", 10, [](const std::string&, ByteSource& src) {
    TID3v2 v2;
    v2.ReadFromSource(src);
    TID3v1Tag v1;
    v1.LoadFromSource(src);
    TAudInfo a;
    a.LoadFromSource(src);
    return Found{
        {{"v2.title", v2.Title},     {"v2.artist", v2.Artist},     {"v2.album", v2.Album},
         {"v2.tracktext", v2.TrackText}, {"v2.year", v2.Year},     {"v2.genre", v2.Genre},
         {"v2.comment", v2.Comment}, {"v2.composer", v2.Composer}, {"v2.encoder", v2.Encoder},
         {"v1.title", v1.Title},     {"v1.artist", v1.Artist},     {"v1.album", v1.Album},
         {"v1.year", v1.Year},       {"v1.comment", v1.Comment},   {"v1.genre", v1.Genre}},
        {{"v2.exists", v2.Exists},         {"v2.version", v2.Version},       {"v2.track", v2.Track},
         {"v1.exists", v1.Exists},         {"v1.track", v1.Track},           {"mpeg.length", a.LengthSeconds()},
         {"mpeg.kbps", a.BitRateKbps()},   {"mpeg.rate", a.SampleRateHz()},  {"mpeg.channels", a.ChannelCode()},
         {"mpeg.version", a.VersionCode()}, {"mpeg.layer", a.LayerCode()}}};
  });
}

// Under Windows each reader opens the file itself by its wide name, as the
// record does; natively the same readers run over the bytes in memory.
template <typename Reader>
void ReadOne(Reader& reader, const std::string& path, ByteSource& src) {
#ifdef _WIN32
  (void)src;
  reader.ReadFromFile(std::wstring(path.begin(), path.end()));
#else
  (void)path;
  reader.ReadFromSource(src);
#endif
}

std::map<std::string, std::string> TextsOf(const TTagTexts& t, const char* yearKey) {
  return {{"title", t.title}, {"artist", t.artist}, {"album", t.album},
          {yearKey, t.year},  {"genre", t.genre},   {"comment", t.comment}};
}

TEST(OtherFormatsCorpus, ReadersAgreeWithTheTools) {
  CompareWithReference("KV_OTHER_FORMATS_CORPUS", 9, [](const std::string& path, ByteSource& src) {
    Found r;
    const std::string ext = path.substr(path.rfind('.'));
    if (ext == ".wma") {
      TWMAfile i;
      ReadOne(i, path, src);
      r.texts = TextsOf(i.texts, "year");
      r.numbers = {{"track", i.texts.track}, {"valid", i.valid},     {"channels", i.stream.channels},
                   {"sampleRate", i.stream.sampleRate}, {"bitRate", i.bitRate}, {"duration", i.duration}};
    } else if (ext == ".ogg") {
      TOggVorbis i;
      ReadOne(i, path, src);
      r.texts = TextsOf(i.texts, "date");
      r.numbers = {{"track", i.texts.track}, {"valid", i.valid}, {"channels", i.stream.channels},
                   {"sampleRate", i.stream.sampleRate}, {"nominalBitRate", i.nominalBitRate},
                   {"samples", i.samples}, {"duration", i.FGetDuration()}, {"bitRate", i.FGetBitRate()}};
    } else if (ext == ".flac") {
      TFlacFile i;
      ReadOne(i, path, src);
      r.texts = TextsOf(i.texts, "year");
      r.numbers = {{"track", i.texts.track}, {"channels", i.stream.channels}, {"sampleRate", i.stream.sampleRate},
                   {"bitsPerSample", i.bitsPerSample}, {"duration", i.duration},
                   // A clip under one second has no bit rate: the record leaves it out.
                   {"bitRate", i.duration ? FlacBitRate(src.Size(), i.duration) : 0}};
    } else if (ext == ".m4a") {
      TM4AFile i;
      ReadOne(i, path, src);
      r.texts = TextsOf(i.texts, "year");
      for (auto& [key, text] : r.texts) text = Utf8ToAnsi(text);  // as read; the record decodes them
      r.numbers = {{"track", i.texts.track}, {"exists", i.Exists}, {"channels", i.stream.channels},
                   {"sampleRate", i.stream.sampleRate}, {"duration", i.duration}, {"bitRate", i.bitRate}};
    }
    return r;
  });
}

}  // namespace
}  // namespace kv
