// The MP3 readers against files made by Debian's encoders and taggers, with
// mutagen's readings as the expected values (tests/engine/make_mp3_corpus.py).
// Runs as its own CTest test after the corpus is made; skipped when
// KV_MP3_CORPUS does not name the folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/readers/id3v1.h"
#include "engine/readers/id3v2.h"
#include "engine/readers/mpeg_frames.h"

namespace kv {
namespace {

struct Expected {
  char kind = 'S';
  std::string text;  // S: the bytes; N: the number as written
  double tolerance = 0;
};

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the readers found in one file, by the keys of expected.tsv.
std::map<std::string, std::string> Texts(const TID3v2& v2, const TID3v1Tag& v1) {
  return {{"v2.title", v2.Title},     {"v2.artist", v2.Artist},     {"v2.album", v2.Album},
          {"v2.tracktext", v2.TrackText}, {"v2.year", v2.Year},     {"v2.genre", v2.Genre},
          {"v2.comment", v2.Comment}, {"v2.composer", v2.Composer}, {"v2.encoder", v2.Encoder},
          {"v1.title", v1.Title},     {"v1.artist", v1.Artist},     {"v1.album", v1.Album},
          {"v1.year", v1.Year},       {"v1.comment", v1.Comment},   {"v1.genre", v1.Genre}};
}

std::map<std::string, double> Numbers(const TID3v2& v2, const TID3v1Tag& v1, const TAudInfo& a) {
  return {{"v2.exists", v2.Exists},         {"v2.version", v2.Version},       {"v2.track", v2.Track},
          {"v1.exists", v1.Exists},         {"v1.track", v1.Track},           {"mpeg.length", a.LengthSeconds()},
          {"mpeg.kbps", a.BitRateKbps()},   {"mpeg.rate", a.SampleRateHz()},  {"mpeg.channels", a.ChannelCode()},
          {"mpeg.version", a.VersionCode()}, {"mpeg.layer", a.LayerCode()}};
}

TEST(Mp3Corpus, EveryFieldMatchesTheReference) {
  const char* dir = std::getenv("KV_MP3_CORPUS");
  if (!dir) GTEST_SKIP() << "KV_MP3_CORPUS not set";
  std::ifstream table(std::string(dir) + "/expected.tsv");
  ASSERT_TRUE(table) << "no expected.tsv in " << dir;

  std::map<std::string, std::map<std::string, Expected>> files;
  for (std::string line; std::getline(table, line);) {
    std::istringstream in(line);
    std::string file, key, kind, value, tolerance;
    std::getline(in, file, '\t');
    std::getline(in, key, '\t');
    std::getline(in, kind, '\t');
    std::getline(in, value, '\t');
    std::getline(in, tolerance, '\t');
    if (file.empty()) continue;
    Expected e;
    e.kind = kind.empty() ? 'S' : kind[0];
    e.text = e.kind == 'S' ? FromHex(value) : value;
    e.tolerance = tolerance.empty() ? 0 : std::stod(tolerance);
    files[file][key] = e;
  }
  ASSERT_GE(files.size(), 10u);

  for (const auto& [file, keys] : files) {
    const std::vector<uint8_t> bytes = ReadAll(std::string(dir) + "/" + file);
    ASSERT_FALSE(bytes.empty()) << file;
    MemorySource src(bytes);
    TID3v2 v2;
    v2.ReadFromSource(src);
    TID3v1Tag v1;
    v1.LoadFromSource(src);
    TAudInfo audio;
    audio.LoadFromSource(src);
    const auto texts = Texts(v2, v1);
    const auto numbers = Numbers(v2, v1, audio);
    for (const auto& [key, e] : keys) {
      if (e.kind == 'S') {
        ASSERT_TRUE(texts.count(key)) << key;
        EXPECT_EQ(texts.at(key), e.text) << file << " " << key;
      } else {
        ASSERT_TRUE(numbers.count(key)) << key;
        EXPECT_LE(std::fabs(numbers.at(key) - std::stod(e.text)), e.tolerance)
            << file << " " << key << ": read " << numbers.at(key) << ", reference " << e.text;
      }
    }
  }
}

}  // namespace
}  // namespace kv
