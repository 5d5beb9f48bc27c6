// The readers' file entry points on real files: wide names outside the ANSI
// code page, files that are missing, and the same results as the byte-level
// reads of the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <windows.h>

#include "engine/readers/asf.h"
#include "engine/readers/flac.h"
#include "engine/readers/id3v1.h"
#include "engine/readers/id3v2.h"
#include "engine/readers/mp4.h"
#include "engine/readers/mpeg_frames.h"
#include "engine/readers/ogg.h"
#include "base/ansi_text_win.h"
#include "foundation/uni_file_stream_win.h"
#include "tests/engine/reader_test_util.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using readtest::Bytes;

class ReaderFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(KV_TEST_BINARY_DIR) / L"reader_files";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The seed file copied under a name of Cyrillic and CJK letters; its bytes.
  std::wstring Copy(const char* seed, const wchar_t* extension, Bytes& bytes) {
    const fs::path from = fs::path(KV_TEST_SOURCE_DIR) / "tests/corpus" / seed;
    std::ifstream in(from, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const fs::path to = dir_ / (std::wstring(L"\u0416\u0443\u043a \u97f3\u697d") + extension);
    fs::copy_file(from, to);
    return to.wstring();
  }
  std::wstring Missing(const wchar_t* extension) { return (dir_ / (std::wstring(L"gone") + extension)).wstring(); }

  fs::path dir_;
};

void ExpectSameTexts(const TTagTexts& a, const TTagTexts& b) {
  EXPECT_EQ(a.title, b.title);
  EXPECT_EQ(a.artist, b.artist);
  EXPECT_EQ(a.album, b.album);
  EXPECT_EQ(a.year, b.year);
  EXPECT_EQ(a.genre, b.genre);
  EXPECT_EQ(a.comment, b.comment);
  EXPECT_EQ(a.track, b.track);
}

void ExpectSameStream(const TStreamProperties& a, const TStreamProperties& b) {
  EXPECT_EQ(a.fileSize, b.fileSize);
  EXPECT_EQ(a.channels, b.channels);
  EXPECT_EQ(a.sampleRate, b.sampleRate);
}

// The reader on the file under a wide name reads what it reads from the bytes in memory.
template <class Reader, class Extra>
void ExpectFileReadsAsMemory(const std::wstring& name, const Bytes& bytes, Extra sameExtra) {
  Reader fromFile, fromMemory;
  MemorySource mem(bytes);
  ASSERT_TRUE(fromFile.ReadFromFile(name));
  ASSERT_TRUE(fromMemory.ReadFromSource(mem));
  EXPECT_FALSE(fromFile.texts.title.empty());
  ExpectSameTexts(fromFile.texts, fromMemory.texts);
  ExpectSameStream(fromFile.stream, fromMemory.stream);
  EXPECT_EQ(fromFile.stream.fileSize, bytes.size());
  sameExtra(fromFile, fromMemory);
}

TEST_F(ReaderFiles, WmaByWideNameAndMissingFile) {
  Bytes bytes;
  const std::wstring name = Copy("asf/tagged_mono.wma", L".wma", bytes);
  ExpectFileReadsAsMemory<TWMAfile>(name, bytes, [](const TWMAfile&, const TWMAfile&) {});
  TWMAfile missing;
  EXPECT_FALSE(missing.ReadFromFile(Missing(L".wma")));  // quietly
  EXPECT_EQ(missing.fault, ReadFault::kReadError);
}

TEST_F(ReaderFiles, OggFlacAndM4aByWideNameRaiseForAMissingFile) {
  Bytes bytes;
  const auto sameDuration = [](const auto& a, const auto& b) { EXPECT_EQ(a.duration, b.duration); };
  ExpectFileReadsAsMemory<TOggVorbis>(Copy("ogg/tagged_mono.ogg", L".ogg", bytes), bytes,
                                      [](const TOggVorbis& a, const TOggVorbis& b) { EXPECT_EQ(a.samples, b.samples); });
  ExpectFileReadsAsMemory<TFlacFile>(Copy("flac/tagged_mono.flac", L".flac", bytes), bytes, sameDuration);
  // The M4A reader opens by the name's ANSI form: a name outside the ANSI code page raises.
  const std::wstring wideM4a = Copy("mp4/tagged_mono.m4a", L".m4a", bytes);
  TM4AFile wide;
  EXPECT_THROW(wide.ReadFromFile(wideM4a), EInOutError);
  const std::wstring plainM4a = (dir_ / L"plain é.m4a").wstring();
  fs::copy_file(wideM4a, plainM4a);
  ExpectFileReadsAsMemory<TM4AFile>(plainM4a, bytes, sameDuration);
  // An open that raises leaves no fields of the reader's earlier read.
  TOggVorbis ogg;
  const std::wstring oggName = Copy("ogg/tagged_mono.ogg", L"2.ogg", bytes);
  ASSERT_TRUE(ogg.ReadFromFile(oggName));
  EXPECT_ANY_THROW(ogg.ReadFromFile(Missing(L".ogg")));
  EXPECT_EQ(ogg.texts.title, "");
  EXPECT_EQ(ogg.samples, 0u);
  TFlacFile flac;
  const std::wstring flacName = Copy("flac/tagged_mono.flac", L"2.flac", bytes);
  ASSERT_TRUE(flac.ReadFromFile(flacName));
  EXPECT_ANY_THROW(flac.ReadFromFile(Missing(L".flac")));
  EXPECT_EQ(flac.texts.title, "");
  EXPECT_EQ(flac.duration, 0u);
  // The FLAC reader opens with no sharing: a file another handle reads is
  // refused, by name; the Ogg reader shares reading.
  {
    const auto reading = [](const std::wstring& name) {
      return FileHandle(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    };
    const FileHandle other = reading(flacName), otherOgg = reading(oggName);
    ASSERT_TRUE(other && otherOgg);
    try {
      flac.ReadFromFile(flacName);
      ADD_FAILURE() << "read beside another handle";
    } catch (const EFOpenError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Cannot open file ", 0), 0u) << e.what();
    }
    EXPECT_TRUE(ogg.ReadFromFile(oggName));
  }
  TM4AFile m4a;
  EXPECT_THROW(m4a.ReadFromFile(Missing(L".m4a")), EInOutError);
  EXPECT_FALSE(m4a.ReadFromFile(L"a"));  // a name of one character is not read, and raises nothing
  EXPECT_FALSE(m4a.Exists);
}

TEST_F(ReaderFiles, Id3TagsByWideAndByAnsiName) {
  Bytes block(128, 0);
  std::copy_n("TAGOld title", 12, block.begin());
  const Bytes bytes = readtest::Cat({readtest::Tag(3, readtest::Frame("TIT2", readtest::Latin1("Wide"))),
                                     Bytes(500, 0x55), block});
  const fs::path wide = dir_ / L"\u0416\u0443\u043a.mp3";
  const fs::path ansi = dir_ / L"plain \u00e9.mp3";
  for (const fs::path& p : {wide, ansi}) std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                                  static_cast<std::streamsize>(bytes.size()));
  TID3v2 v2;
  ASSERT_TRUE(v2.ReadFromFile(wide.wstring()));
  EXPECT_EQ(v2.Title, "Wide");
  EXPECT_ANY_THROW(v2.ReadFromFile(Missing(L".mp3")));
  EXPECT_EQ(v2.Title, "");  // reset before the open
  TID3v1Tag v1;
  v1.LoadFromFile(WStringToAnsi(ansi.wstring()));
  EXPECT_TRUE(v1.Exists);
  EXPECT_EQ(v1.Title, "Old title");
  EXPECT_THROW(v1.LoadFromFile(WStringToAnsi(Missing(L".mp3"))), EFOpenError);
}

TEST_F(ReaderFiles, MpegAnalysisOfAFileRecordsItsSizeDateAndAttributes) {
  Bytes bytes;
  const std::wstring name = Copy("mpeg_frames/cbr_tagged.bin", L".mp3", bytes);
  ASSERT_TRUE(SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  TAudInfo fromFile, fromMemory;
  fromFile.LoadFromFile(name);
  MemorySource mem(bytes);
  fromMemory.LoadFromSource(mem);
  EXPECT_EQ(fromFile.FirstFramePos, fromMemory.FirstFramePos);
  EXPECT_EQ(fromFile.Duration, fromMemory.Duration);
  EXPECT_EQ(fromFile.FileSize, static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(fromFile.FileAttributes, DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE});
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data));
  FILETIME local;
  WORD date = 0, time = 0;
  ASSERT_TRUE(FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &date, &time));
  EXPECT_EQ(fromFile.FileDate, static_cast<int32_t>((uint32_t{date} << 16) | time));
  EXPECT_EQ(fromMemory.FileDate, -1);
  EXPECT_EQ(fromMemory.FileAttributes, 0u);
  SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  // Others may read and write: a file another program holds open for
  // writing is analysed all the same.
  {
    const FileHandle writer(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    TAudInfo beside;
    beside.LoadFromFile(name);
    EXPECT_EQ(beside.FirstFramePos, fromMemory.FirstFramePos);
    EXPECT_EQ(beside.FileSize, static_cast<int64_t>(bytes.size()));
  }
  // A path of blanks opens nothing and leaves the results reset; a missing file raises.
  fromFile.LoadFromFile(L" \t ");
  EXPECT_EQ(fromFile.FileSize, -1);
  EXPECT_EQ(fromFile.FirstFramePos, -1);
  EXPECT_THROW(fromFile.LoadFromFile(Missing(L".mp3")), EFOpenError);
}

}  // namespace
}  // namespace kv
