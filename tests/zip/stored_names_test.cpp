// Entry names as they were stored: folders written with their drive come
// back below the destination folder, and an old archive whose names clash
// without regard to case is never rewritten.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/zip/zipper_test_util.h"
#include "zip/unzipper.h"
#include "zip/zipper.h"

namespace kv {
namespace {

using namespace ziptest;
using test::TestEntry;

std::vector<std::string> FilesUnder(const TMemoryFileSystem& fs, const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& [name, file] : fs.Files()) {
    if (name.rfind(folder, 0) == 0) out.push_back(name + "=" + std::string(file.bytes->begin(), file.bytes->end()));
  }
  return out;
}

TEST(StoredNames, FoldersWithADriveAreExtractedBelowDestDirWithoutIt) {
  // An archive of this library with the volumes kept.
  FaultyFileSystem fs;
  MemoryDisk disk{fs};
  fs.Put("C:\\src\\f.txt", Bytes{'f'});
  fs.Put("C:\\src\\sub\\g.txt", Bytes{'g'});
  {
    TZipper z(fs, disk);
    z.SetZipName("C:\\arc.zip");
    z.SetStoreVolumes(true);
    z.recurse = true;
    z.filesList = {"C:\\src\\*.txt"};
    ASSERT_EQ(z.Zip(), 2);
  }
  TUnZipper unzip(fs);
  unzip.SetZipName("C:\\arc.zip");
  unzip.ReadZip();
  ASSERT_EQ(unzip.Count(), 2);
  EXPECT_EQ(unzip.Entry(0).FullName(), "C:\\src\\f.txt");
  std::vector<std::string> skipped;
  unzip.onSkippingFile = [&](TSkipReason r, const std::string& n, int) {
    skipped.push_back(std::to_string(static_cast<int>(r)) + ":" + n);
  };
  unzip.recreateDirs = true;
  unzip.doAll = true;
  unzip.SetDestDir("D:\\out");
  EXPECT_EQ(unzip.UnZip(), 2);
  EXPECT_EQ(FilesUnder(fs, "D:\\"), (std::vector<std::string>{"D:\\out\\src\\f.txt=f", "D:\\out\\src\\sub\\g.txt=g"}));

  // A RootDir that matches is dropped first, drive and all.
  unzip.SetRootDir("c:\\SRC");
  unzip.SetDestDir("D:\\root");
  EXPECT_EQ(unzip.UnZip(), 2);
  EXPECT_EQ(FilesUnder(fs, "D:\\root\\"), (std::vector<std::string>{"D:\\root\\f.txt=f", "D:\\root\\sub\\g.txt=g"}));

  // Without a destination folder the stored drive would be written to: refused.
  unzip.SetRootDir("");
  unzip.SetDestDir("");
  EXPECT_EQ(unzip.UnZip(), 0);
  EXPECT_EQ(skipped, (std::vector<std::string>{"2:C:\\src\\f.txt", "2:C:\\src\\sub\\g.txt"}));
  EXPECT_EQ(FilesUnder(fs, "C:\\src\\"), (std::vector<std::string>{"C:\\src\\f.txt=f", "C:\\src\\sub\\g.txt=g"}));
  // Names that stay relative go to DestDir + "\\": with no DestDir, the root.
  TMemoryFileSystem plain;
  plain.Put("b.zip", test::BuildZip({TestEntry("sub\\h.txt", Bytes{'h'})}), 1);
  TUnZipper rooted(plain);
  rooted.SetZipName("b.zip");
  rooted.recreateDirs = true;
  rooted.doAll = true;
  EXPECT_EQ(rooted.UnZip(), 1);
  EXPECT_EQ(FilesUnder(plain, "\\"), std::vector<std::string>{"\\sub\\h.txt=h"});
}

TEST(StoredNames, ADriveStrippedNameNeverLeavesDestDir) {
  struct Case {
    const char* name;
    const char* target;  // nullptr: refused as unsafe
  } cases[] = {
      {"e:\\a\\x.txt", "D:\\out\\a\\x.txt"},
      {"E:rel\\x.txt", "D:\\out\\rel\\x.txt"},  // relative to the drive's folder
      {"C:\\\\\\deep\\x.txt", "D:\\out\\deep\\x.txt"},
      {"C:\\..\\x.txt", nullptr},
      {"C:..\\x.txt", nullptr},
      {"C:\\a\\..\\..\\x.txt", nullptr},
      {"C:\\D:\\x.txt", nullptr},        // a second drive
      {"C:\\CON\\x.txt", nullptr},       // a device
      {"1:\\x.txt", nullptr},            // no drive letter
      {"C::\\x.txt", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryFileSystem fs;
    fs.Put("a.zip", test::BuildZip({TestEntry(c.name, Bytes{'x'})}), 1);
    TUnZipper unzip(fs);
    unzip.SetZipName("a.zip");
    int unsafe = 0;
    unzip.onSkippingFile = [&](TSkipReason r, const std::string&, int) { unsafe += r == TSkipReason::UnsafeName; };
    unzip.recreateDirs = true;
    unzip.doAll = true;
    unzip.SetDestDir("D:\\out");
    EXPECT_EQ(unzip.UnZip(), c.target ? 1 : 0);
    EXPECT_EQ(unsafe, c.target ? 0 : 1);
    if (c.target) {
      EXPECT_EQ(FilesUnder(fs, "D:\\"), std::vector<std::string>{std::string(c.target) + "=x"});
    } else {
      EXPECT_EQ(fs.Files().size(), 1u);
    }
  }
  // A folder entry with a drive makes its folder below DestDir.
  TMemoryFileSystem fs;
  fs.Put("a.zip", test::BuildZip({TestEntry("C:\\empty\\", {})}), 1);
  TUnZipper unzip(fs);
  unzip.SetZipName("a.zip");
  unzip.recreateDirs = true;
  unzip.doAll = true;
  unzip.SetDestDir("D:\\out");
  unzip.UnZip();
  EXPECT_NE(std::find(fs.Dirs().begin(), fs.Dirs().end(), "D:\\out\\empty"), fs.Dirs().end());
}

TEST(StoredNames, OldEntriesDifferingOnlyInCaseStopTheRebuildAndChangeNothing) {
  for (const char* second : {"A.TXT", "Dir\\a.txt"}) {
    SCOPED_TRACE(second);
    FaultyFileSystem fs;
    MemoryDisk disk{fs};
    const std::string first = std::string(second) == "A.TXT" ? "a.txt" : "DIR\\A.txt";
    const Bytes old = test::BuildZip({TestEntry(first, Bytes{'1'}), TestEntry(second, Bytes{'2'})});
    fs.Put("C:\\arc.zip", old);
    TZipper z(fs, disk);
    z.SetZipName("C:\\arc.zip");
    const Bytes data = Text(5000, 30);
    try {
      z.ZipFromBuffer(data.data(), data.size(), "new.txt");
      ADD_FAILURE() << "the rebuild went through";
    } catch (const EListError& e) {
      EXPECT_STREQ(e.what(), "Duplicate Object index");
    }
    EXPECT_EQ(*fs.Files().at("C:\\arc.zip").bytes, old);
    EXPECT_EQ(fs.Files().size(), 1u);  // no temporary file left

    // The component still reads the old archive (the later of the two
    // names is the one a reader sees).
    TMemoryStream out;
    EXPECT_EQ(z.UnZipToStream(out, "*"), 1);
    EXPECT_EQ(out.Text(), "2");
  }
}

}  // namespace
}  // namespace kv
