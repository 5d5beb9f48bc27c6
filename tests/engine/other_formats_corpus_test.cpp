// Files made by Debian's encoders and taggers (tests/engine/make_other_corpus.py),
// read by our readers and compared with what the tools wrote and report.
#include "engine/readers/asf.h"
#include "engine/readers/byte_source.h"
#include "engine/readers/flac.h"
#include "engine/readers/mp4.h"
#include "engine/readers/ogg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kv {
namespace {

struct Expected {
  std::string key;
  bool isText = false;
  std::string text;
  double number = 0;
  double tolerance = 0;
};

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::map<std::string, std::vector<Expected>> LoadExpected(const std::string& dir) {
  std::map<std::string, std::vector<Expected>> files;
  std::ifstream in(dir + "/expected.tsv");
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string part; std::getline(ss, part, '\t');) f.push_back(part);
    if (f.size() < 3) continue;
    Expected e;
    e.key = f[1];
    e.isText = f[2] == "S";
    if (e.isText) e.text = FromHex(f.size() > 3 ? f[3] : "");
    else {
      e.number = std::stod(f.at(3));
      e.tolerance = std::stod(f.at(4));
    }
    files[f[0]].push_back(e);
  }
  return files;
}

struct Found {
  std::map<std::string, std::string> texts;
  std::map<std::string, double> numbers;
};

Found ReadAny(const std::string& name, ByteSource& src) {
  Found r;
  const std::string ext = name.substr(name.rfind('.'));
  if (ext == ".wma") {
    const AsfInfo i = ReadAsf(src);
    r.texts = {{"title", i.title}, {"artist", i.artist}, {"album", i.album},
               {"year", i.year},   {"genre", i.genre},   {"comment", i.comment}};
    r.numbers = {{"track", i.track},           {"valid", i.valid},     {"channels", i.channels},
                 {"sampleRate", i.sampleRate}, {"bitRate", i.bitRate}, {"duration", i.duration}};
  } else if (ext == ".ogg") {
    const OggInfo i = ReadOgg(src);
    r.texts = {{"title", i.title}, {"artist", i.artist}, {"album", i.album},
               {"date", i.date},   {"genre", i.genre},   {"comment", i.comment}};
    r.numbers = {{"track", i.track},           {"valid", i.valid},
                 {"channels", i.channels},     {"sampleRate", i.sampleRate},
                 {"nominalBitRate", i.nominalBitRate}, {"samples", i.samples},
                 {"duration", i.Duration()},   {"bitRate", i.BitRate()}};
  } else if (ext == ".flac") {
    const FlacInfo i = ReadFlac(src);
    r.texts = {{"title", i.title}, {"artist", i.artist}, {"album", i.album},
               {"year", i.year},   {"genre", i.genre},   {"comment", i.comment}};
    r.numbers = {{"track", i.track},
                 {"channels", i.channels},
                 {"sampleRate", i.sampleRate},
                 {"bitsPerSample", i.bitsPerSample},
                 {"duration", i.duration},
                 {"bitRate", FlacBitRate(src.Size(), i.duration)}};
  } else if (ext == ".m4a") {
    const Mp4Info i = ReadMp4(src);
    r.texts = {{"title", i.title}, {"artist", i.artist}, {"album", i.album},
               {"year", i.year},   {"genre", i.genre},   {"comment", i.comment}};
    r.numbers = {{"track", i.track},
                 {"exists", i.exists},
                 {"channels", i.channels},
                 {"sampleRate", i.sampleRate},
                 {"duration", i.duration},
                 {"bitRate", i.bitRate}};
  }
  return r;
}

TEST(OtherFormatsCorpus, ReadersAgreeWithTheTools) {
  const char* dir = std::getenv("KV_OTHER_FORMATS_CORPUS");
  if (dir == nullptr) GTEST_SKIP() << "runs in the CTest test other_formats_corpus";
  const auto files = LoadExpected(dir);
  ASSERT_GE(files.size(), 9u) << "expected.tsv missing or short in " << dir;
  for (const auto& [name, expected] : files) {
    SCOPED_TRACE(name);
    std::ifstream in(std::string(dir) + "/" + name, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    MemorySource src(bytes);
    const Found found = ReadAny(name, src);
    for (const Expected& e : expected) {
      SCOPED_TRACE(e.key);
      if (e.isText) {
        ASSERT_TRUE(found.texts.count(e.key));
        EXPECT_EQ(found.texts.at(e.key), e.text);
      } else {
        ASSERT_TRUE(found.numbers.count(e.key));
        EXPECT_NEAR(found.numbers.at(e.key), e.number, e.tolerance);
      }
    }
  }
}

}  // namespace
}  // namespace kv
