// The writer on real files: archives at every level for the reference tools
// to check (tests/zip/writer_check.py verify), archives of other tools
// rewritten, and the failure paths of the Win32 file system.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/handle.h"
#include "tests/zip/zipper_test_util.h"
#include "zip/zipper.h"

namespace kv {
namespace {

using namespace ziptest;

const std::string kDir = KV_TEST_BINARY_DIR "/zip_writer";
const std::string kOut = kDir + "/out";

std::string Dos(std::string s) {
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes Read(const std::string& archive, const std::string& entry, const std::string& password = "") {
  TZipper z;
  z.SetZipName(archive);
  z.password = password;
  TMemoryStream out;
  z.UnZipToStream(out, entry);
  return out.Bytes();
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder)) out.push_back(e.path().filename().string());
  return out;
}

bool Prepared() { return GetFileAttributesA(Dos(kOut + "/expected").c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(ZipperFiles, WritesArchivesAtEveryLevelForTheReferenceTools) {
  if (!Prepared()) GTEST_SKIP() << "run through CTest: writer_check.py prepares " << kDir;
  const std::vector<std::pair<std::string, Bytes>> entries = {
      {"empty", {}},
      {"short", {'o', 'k'}},
      {"text70k", Text(70000, 31)},
      {"random1m", Random(1 << 20, 32)},
      {"same300k", Bytes(300000, 0x5A)},
      {"large", Text(3000000, 33)}};
  for (const auto& [name, data] : entries) WriteFile(kOut + "/expected/" + name, data);
  for (int level : {0, 1, 3, 4, 6, 8, 9}) {
    for (const std::string password : {"", "secret"}) {
      const std::string archive = Dos(kOut + "/level" + std::to_string(level) + (password.empty() ? "_plain" : "_pw") + ".zip");
      DeleteFileA(archive.c_str());
      for (const auto& [name, data] : entries) {
        TZipper z;
        z.SetZipName(archive);
        z.packLevel = level;
        z.password = password;
        ASSERT_EQ(z.ZipFromBuffer(data.data(), data.size(), name), 1);
      }
      for (const auto& [name, data] : entries) EXPECT_EQ(Read(archive, name, password), data) << archive << " " << name;
    }
  }
}

TEST(ZipperFiles, RewritesArchivesOfOtherTools) {
  if (!Prepared()) GTEST_SKIP() << "run through CTest: writer_check.py prepares " << kDir;
  const Bytes added = Text(9000, 34), replaced = Text(700, 35);
  WriteFile(kOut + "/expected/added.txt", added);
  WriteFile(kOut + "/expected/replaced_b.txt", replaced);
  for (const std::string tool : {"zip", "python", "7z", "zip64", "python64"}) {
    SCOPED_TRACE(tool);
    const std::string archive = Dos(kOut + "/rewritten_" + tool + ".zip");
    ASSERT_TRUE(CopyFileA(Dos(kDir + "/foreign/" + tool + ".zip").c_str(), archive.c_str(), FALSE));
    TZipper z;
    z.SetZipName(archive);
    ASSERT_EQ(z.ZipFromBuffer(added.data(), added.size(), "added.txt"), 1);
    ASSERT_EQ(z.ZipFromBuffer(replaced.data(), replaced.size(), "b.txt"), 1);
    EXPECT_EQ(Read(archive, "a.txt"), ReadFile(kDir + "/foreign/src/a.txt"));
    EXPECT_EQ(Read(archive, "c.bin"), ReadFile(kDir + "/foreign/src/c.bin"));
    EXPECT_EQ(Read(archive, "b.txt"), replaced);
    EXPECT_EQ(Read(archive, "added.txt"), added);
  }
}

// The most entries an archive holds: one replaced in a 65535-entry archive
// made by Python, for the reference tools (writer_check.py verify); the
// refusal of one more is in zipper_test.cpp.
TEST(ZipperFiles, RewritesAnArchiveOf65535Entries) {
  if (!Prepared()) GTEST_SKIP() << "run through CTest: writer_check.py prepares " << kDir;
  const std::string archive = Dos(kOut + "/full65535.zip");
  ASSERT_TRUE(CopyFileA(Dos(KV_TEST_BINARY_DIR "/zip_corpus/py-65535.zip").c_str(), archive.c_str(), FALSE));
  const Bytes first = Text(3000, 38);
  WriteFile(kOut + "/expected/full65535_e00000", first);
  TZipper z;
  z.SetZipName(archive);
  ASSERT_EQ(z.ZipFromBuffer(first.data(), first.size(), "e00000"), 1);
  EXPECT_EQ(z.Count(), 65535);
  EXPECT_EQ(Read(archive, "e00000"), first);
  EXPECT_EQ(Read(archive, "e65534"), Bytes({'6', '5', '5', '3', '4'}));
}

TEST(ZipperFiles, AFailedReplaceKeepsTheArchiveAndLeavesNoTemporaryFile) {
  const std::string folder = KV_TEST_BINARY_DIR "/zip_writer_fail";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  const std::string archive = Dos(folder + "/arc.zip");
  const Bytes first = Text(5000, 36);
  {
    TZipper z;
    z.SetZipName(archive);
    z.ZipFromBuffer(first.data(), first.size(), "first");
  }
  const Bytes before = ReadFile(archive);
  const Bytes more = Random(50000, 37);
  // Another program holds the archive open without sharing deletion: the
  // final move cannot happen.
  {
    FileHandle other(CreateFileA(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other);
    TZipper z;
    z.SetZipName(archive);
    EXPECT_THROW(z.ZipFromBuffer(more.data(), more.size(), "second"), std::runtime_error);
  }
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"arc.zip"});
  // The archive named by a folder: refused before anything is written.
  const std::string notAFile = Dos(folder + "/dir.zip");
  CreateDirectoryA(notAFile.c_str(), nullptr);
  TZipper z;
  z.SetZipName(notAFile);
  EXPECT_THROW(z.ZipFromBuffer(more.data(), more.size(), "x"), std::runtime_error);
  RemoveDirectoryA(notAFile.c_str());
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"arc.zip"});
  // A read-only archive is refused as Windows refuses it; a killed save's
  // temporary file goes with the next save into the folder.
  {
    std::ofstream(folder + "/~kv12345678.tmp") << "left by a killed save";
    ASSERT_TRUE(SetFileAttributesA(archive.c_str(), FILE_ATTRIBUTE_READONLY));
    TZipper locked;
    locked.SetZipName(archive);
    try {
      locked.ZipFromBuffer(more.data(), more.size(), "second");
      ADD_FAILURE() << "saved over a read-only archive";
    } catch (const EZipFileOpenError& e) {
      EXPECT_NE(std::string(e.what()).find("arc.zip\". "), std::string::npos) << e.what();
    }
    SetFileAttributesA(archive.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"arc.zip"});
  // Once free again, the save goes through.
  TZipper ok;
  ok.SetZipName(archive);
  EXPECT_EQ(ok.ZipFromBuffer(more.data(), more.size(), "second"), 1);
  EXPECT_EQ(Read(archive, "first"), first);
  EXPECT_EQ(Read(archive, "second"), more);

  // Extraction replaces files the same way: a killed extraction's temporary
  // file goes, a read-only file stays as it is and its entry fails.
  const std::string out = folder + "/out";
  std::filesystem::create_directory(out);
  std::ofstream(out + "/~kvFEEDBEEF.tmp") << "left by a killed extraction";
  std::ofstream(out + "/second") << "read-only";
  ASSERT_TRUE(SetFileAttributesA(Dos(out + "/second").c_str(), FILE_ATTRIBUTE_READONLY));
  TZipper extract;
  extract.SetZipName(archive);
  extract.SetDestDir(Dos(out));
  extract.doAll = true;
  extract.overwriteMode = TUZOverwriteMode::Always;
  EXPECT_THROW(extract.UnZip(), EZipFileOpenError);
  SetFileAttributesA(Dos(out + "/second").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFile(out + "/first"), first);
  EXPECT_EQ(ReadFile(out + "/second"), (Bytes{'r', 'e', 'a', 'd', '-', 'o', 'n', 'l', 'y'}));
  auto names = FilesIn(out);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"first", "second"}));
}

}  // namespace
}  // namespace kv
