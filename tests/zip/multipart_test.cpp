// Multi-part archives: blocks sets beside each other and spanned sets on
// removable disks, written and read back through the memory file system,
// and the boxes and dialogs answered through the component's hook.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "tests/zip/zipper_test_util.h"
#include "zip/unzipper.h"
#include "zip/zip_errors.h"
#include "zip/zipper.h"

namespace kv {
namespace {

using namespace ziptest;

constexpr int64_t kPart = kMinPartSize;

// What every test writes: a stored entry larger than a part (its data
// split), many small ones (their directory runs over a part's end) and a
// deflated one.
std::map<std::string, Bytes> Content() {
  std::map<std::string, Bytes> c;
  c["big.bin"] = Random(90000, 1);
  for (int i = 0; i < 1200; ++i) c["small\\f" + std::to_string(i) + ".txt"] = Bytes(1, static_cast<uint8_t>(i));
  c["text.txt"] = Text(40000, 2);
  return c;
}

void WriteAll(TZipper& z, const std::map<std::string, Bytes>& content) {
  z.SetStorePaths(true);
  for (const auto& [name, data] : content) {
    z.packLevel = name == "big.bin" ? 0 : 6;
    z.ZipFromBuffer(data.data(), data.size(), name);
  }
}

void ExpectContent(TUnZipper& u, const std::map<std::string, Bytes>& content) {
  u.ReadZip();
  ASSERT_EQ(u.Count(), static_cast<int>(content.size()));
  for (const auto& [name, data] : content) {
    TMemoryStream out;
    EXPECT_EQ(u.UnZipToStream(out, name), 1) << name;
    EXPECT_EQ(out.Bytes(), data) << name;
  }
}

TEST(ZipMultiPart, BlocksSetIsWrittenIntoTemporaryPartsAndReadBack) {
  TMemoryFileSystem fs;
  MemoryDisk disk(fs);
  const auto content = Content();
  {
    TZipper z(fs, disk);
    z.SetZipName("C:\\set.zip");
    z.multiZipInfo.multiMode = TMultiMode::mmBlocks;
    z.multiZipInfo.blockSize = z.multiZipInfo.firstBlockSize = kPart;
    // One rebuild per entry: each copies the set so far across its parts.
    WriteAll(z, {{"big.bin", content.at("big.bin")}, {"text.txt", content.at("text.txt")}});
    std::map<std::string, Bytes> rest = content;
    rest.erase("big.bin");
    rest.erase("text.txt");
    // The small ones in one rebuild from files.
    for (const auto& [name, data] : rest) fs.Put("C:\\in\\" + name, data);
    z.SetRelativePaths(true);
    z.SetRootDir("C:\\in");
    z.filesList = {"C:\\in\\small\\*.txt"};
    EXPECT_EQ(z.Zip(), 1200);
    EXPECT_EQ(z.MultiMode(), TMultiMode::mmBlocks);
  }
  std::vector<std::string> names;
  for (const auto& [name, f] : fs.Files()) {
    if (name.rfind("C:\\in\\", 0) != 0) names.push_back(name);
  }
  // No temporary file is left; every part but the last holds a full part.
  ASSERT_EQ(names, (std::vector<std::string>{"C:\\set.001", "C:\\set.002", "C:\\set.003", "C:\\set.zip"}));
  for (const char* part : {"C:\\set.001", "C:\\set.002", "C:\\set.003"}) {
    EXPECT_LE(static_cast<int64_t>(fs.Files().at(part).bytes->size()), kPart);
    EXPECT_GT(static_cast<int64_t>(fs.Files().at(part).bytes->size()), kPart - 600) << part;
  }
  const Bytes& last = *fs.Files().at("C:\\set.zip").bytes;
  const size_t end = test::EndRecordAt(last);
  EXPECT_EQ(test::Get16(last, end + 4), 3);                    // this disk
  EXPECT_LT(test::Get16(last, end + 8), 1202);                 // records on this disk
  EXPECT_EQ(test::Get16(last, end + 10), 1202);                // records in all
  EXPECT_LT(test::Get16(last, end + 6), 3);                    // the directory starts on an earlier disk

  // Comments: written by a rewrite of the set, read back while another
  // part than the end record's is open.
  {
    TZipper c(fs, disk);
    c.multiZipInfo.multiMode = TMultiMode::mmBlocks;
    c.multiZipInfo.blockSize = c.multiZipInfo.firstBlockSize = kPart;
    c.SetZipName("C:\\set.zip");
    c.ReadZip();
    c.SetZipComment("the set");
    c.SetFileComment(0, "the big one");
    c.SaveModifiedZipFile();
  }
  TUnZipper u(fs);
  u.SetZipName("C:\\set.zip");
  ExpectContent(u, content);
  EXPECT_EQ(u.MultiMode(), TMultiMode::mmBlocks);
  EXPECT_EQ(u.LastDisk(), 3);
  TUnZipper c(fs);
  c.SetZipName("C:\\set.zip");
  c.keepZipOpen = true;
  TMemoryStream first;
  EXPECT_EQ(c.UnZipToStream(first, "big.bin"), 1);
  EXPECT_NE(c.CurrentDisk(), c.LastDisk());
  EXPECT_EQ(c.ZipComment(), "the set");
  EXPECT_EQ(c.FileComment(0), "the big one");

  // The mode set for the next write leaves the set read as it is: its
  // entries are still read from their own parts.
  {
    TZipper next(fs, disk);
    next.SetZipName("C:\\set.zip");
    next.ReadZip();
    next.SetMultiMode(TMultiMode::mmNone);
    EXPECT_EQ(next.GetMultiMode(), TMultiMode::mmNone);
    EXPECT_EQ(next.MultiMode(), TMultiMode::mmBlocks);
    TMemoryStream out;
    EXPECT_EQ(next.UnZipToStream(out, "big.bin"), 1);
    EXPECT_TRUE(out.Bytes() == content.at("big.bin"));
  }

  // Written again as one file: the old parts go.
  TUnZipper scanned(fs);  // holds the set's directory
  scanned.SetZipName("C:\\set.zip");
  scanned.ReadZip();
  TZipper single(fs, disk);
  single.SetZipName("C:\\set.zip");
  const Bytes more = Text(100, 3);
  single.ZipFromBuffer(more.data(), more.size(), "more.txt");
  EXPECT_FALSE(fs.FileExists("C:\\set.001"));
  EXPECT_FALSE(fs.FileExists("C:\\set.003"));
  auto all = content;
  all["more.txt"] = more;
  TUnZipper again(fs);
  again.SetZipName("C:\\set.zip");
  ExpectContent(again, all);
  EXPECT_EQ(again.MultiMode(), TMultiMode::mmNone);
  // A reader that held the set's directory sees the file changed and reads
  // it as the single archive it is now, asking for no part of the old set.
  c.keepZipOpen = false;
  c.CloseZip();
  fs.SetFileDateAndAttributes("C:\\set.zip", 0x5A210000, std::nullopt);
  int asked = 0;
  c.onGetNextDisk = [&](int, std::string& name) {
    ++asked;
    name.clear();
  };
  TMemoryStream replaced;
  EXPECT_EQ(c.UnZipToStream(replaced, "more.txt"), 1);
  EXPECT_EQ(replaced.Bytes(), more);
  EXPECT_EQ(c.MultiMode(), TMultiMode::mmNone);
  EXPECT_EQ(c.CurrentDisk(), 0);
  EXPECT_EQ(c.LastDisk(), 0);
  EXPECT_EQ(asked, 0);
  // So does a reader that finds the new file without its end record and
  // scans it.
  Bytes cut = *fs.Files().at("C:\\set.zip").bytes;
  cut.resize(test::EndRecordAt(cut));
  fs.Put("C:\\set.zip", cut, 0x5A220000);
  scanned.incompleteZipMode = TIncompleteZipMode::izAssumeBad;
  scanned.onGetNextDisk = c.onGetNextDisk;
  TMemoryStream rescued;
  EXPECT_EQ(scanned.UnZipToStream(rescued, "more.txt"), 1);
  EXPECT_EQ(rescued.Bytes(), more);
  EXPECT_TRUE(scanned.HardScanned());
  EXPECT_EQ(scanned.MultiMode(), TMultiMode::mmNone);
  EXPECT_EQ(asked, 0);
}

TEST(ZipMultiPart, AFailingOrMissingPartLeavesTheOldSetWhole) {
  TMemoryFileSystem fs;
  MemoryDisk disk(fs);
  const Bytes big = Random(150000, 4);
  {
    TZipper z(fs, disk);
    z.SetZipName("C:\\set.zip");
    z.multiZipInfo.multiMode = TMultiMode::mmBlocks;
    z.multiZipInfo.blockSize = z.multiZipInfo.firstBlockSize = kPart;
    z.packLevel = 0;
    z.ZipFromBuffer(big.data(), big.size(), "big.bin");
  }
  const auto before = fs.Files();
  ASSERT_EQ(before.size(), 3u);
  {
    // Cancelled while the second entry is written into the parts.
    TZipper z(fs, disk);
    z.SetZipName("C:\\set.zip");
    z.multiZipInfo.multiMode = TMultiMode::mmBlocks;
    z.multiZipInfo.blockSize = z.multiZipInfo.firstBlockSize = kPart;
    int writes = 0;
    z.onProcessMessages = [&] {
      if (++writes == 5) z.Cancel();
    };
    EXPECT_THROW(z.ZipFromBuffer(big.data(), big.size(), "again.bin"), EUserCanceled);
  }
  ASSERT_EQ(fs.Files().size(), before.size());
  for (const auto& [name, f] : before) EXPECT_EQ(*fs.Files().at(name).bytes, *f.bytes) << name;
  // Parts smaller than the smallest part are refused before anything is written.
  TZipper tiny(fs, disk);
  tiny.SetZipName("C:\\other.zip");
  tiny.multiZipInfo.multiMode = TMultiMode::mmBlocks;
  tiny.multiZipInfo.blockSize = 1000;
  EXPECT_THROW(tiny.ZipFromBuffer(big.data(), 10, "x"), EZipUnsupported);
  EXPECT_FALSE(fs.FileExists("C:\\other.zip"));
  // A missing part: asked for a bounded number of times, then refused.
  fs.DeleteFile("C:\\set.001");
  TUnZipper u(fs);
  u.SetZipName("C:\\set.zip");
  int asked = 0;
  u.onGetNextDisk = [&](int n, std::string& name) {
    ++asked;
    u.DefaultGetNextDisk(n, name);
  };
  TMemoryStream out;
  EXPECT_THROW(u.UnZipToStream(out, "big.bin"), EIncompleteZip);
  EXPECT_GT(asked, 1);
  EXPECT_LE(asked, 100);
}

// A spanned set on the removable drive A: each disk's free space makes its
// part; disks are labelled; the reader checks the labels and asks again for
// a wrong disk; a cancel at a disk question during a rewrite leaves every disk
// as it was.
TEST(ZipMultiPart, SpannedSetOnRemovableDisks) {
  TMemoryFileSystem fs;
  MemoryDisk disk(fs);
  fs.SetDrive('A', {true, 70000, "OLD"});
  fs.InsertDisk('A', 1);
  fs.SetDrive('A', {true, 70000, "OLD"});
  const Bytes data = Random(150000, 5);
  std::vector<int> asked;
  const auto insert = [&](int n, std::string&) {
    asked.push_back(n);
    fs.InsertDisk('A', n);
    if (fs.VolumeLabel("A:\\").empty()) fs.SetDrive('A', {true, 70000, ""});
  };
  {
    TZipper z(fs, disk);
    z.SetZipName("A:\\set.zip");
    z.SetMultiMode(TMultiMode::mmSpan);
    z.packLevel = 0;
    z.onGetNextDisk = insert;
    z.ZipFromBuffer(data.data(), data.size(), "data.bin");
    // Disks 2 and 3 measured while the set is cut (nothing written on
    // them), then the parts written from the last disk down to disk 1.
    EXPECT_EQ(asked, (std::vector<int>{2, 3, 2, 1}));
  }
  EXPECT_EQ(fs.VolumeLabel("A:\\"), "PKBACK# 001");
  for (int n : {1, 2, 3}) {
    fs.InsertDisk('A', n);
    EXPECT_EQ(fs.VolumeLabel("A:\\"), "PKBACK# 00" + std::to_string(n));
    EXPECT_EQ(fs.Files().size(), 1u);  // the part alone, no temporary file
  }
  fs.InsertDisk('A', 3);

  // Read back: the wrong disk is refused by its label and asked for again.
  TUnZipper u(fs);
  u.SetZipName("A:\\set.zip");
  std::vector<std::string> boxes;
  u.dialogHook = [&](const TZipDialog& d) {
    boxes.push_back(d.text);
    return TZipDialogAnswer{true, {}};
  };
  int wrongFirst = 1;
  u.onGetNextDisk = [&](int n, std::string& name) {
    u.DefaultGetNextDisk(n, name);  // the box, answered OK
    fs.InsertDisk('A', wrongFirst-- > 0 ? 3 : n);
  };
  TMemoryStream out;
  EXPECT_EQ(u.UnZipToStream(out, "data.bin"), 1);
  EXPECT_EQ(out.Bytes(), data);
  EXPECT_EQ(u.MultiMode(), TMultiMode::mmSpan);
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "Please insert disk 1 of the multi-disk set.");
  EXPECT_EQ(boxes[1], "Please insert disk 1 of the multi-disk set.");  // the wrong disk came first

  // Cancel at the next-disk question: no disk changes.
  fs.InsertDisk('A', 3);
  std::map<int, Bytes> before;
  for (int n : {1, 2, 3}) {
    fs.InsertDisk('A', n);
    before[n] = *fs.Files().at("A:\\set.zip").bytes;
  }
  TZipper z(fs, disk);
  z.SetZipName("A:\\set.zip");
  z.SetMultiMode(TMultiMode::mmSpan);
  z.packLevel = 0;
  z.dialogHook = [](const TZipDialog&) { return TZipDialogAnswer{}; };  // Cancel
  fs.InsertDisk('A', 3);
  EXPECT_THROW(z.ZipFromBuffer(data.data(), data.size(), "second.bin"), EUserCanceled);
  for (int n : {1, 2, 3}) {
    fs.InsertDisk('A', n);
    EXPECT_EQ(*fs.Files().at("A:\\set.zip").bytes, before[n]) << n;
  }
}

TEST(ZipMultiPart, BoxesAndDialogsGoThroughTheHook) {
  TMemoryFileSystem fs;
  fs.Put("C:\\a.zip", test::BuildZip({{"a", test::Bytes("one")}, {"odd", test::Bytes("x"), test::Bytes("x"), 7}}));
  fs.Put("C:\\out\\a", test::Bytes("old"));
  TUnZipper u(fs);
  std::vector<TZipDialog> shown;
  TZipDialogAnswer answer;
  u.dialogHook = [&](const TZipDialog& d) {
    shown.push_back(d);
    return answer;
  };
  try {
    u.SetZipName("C:\\nowhere\\?");
    ADD_FAILURE();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled setting zip file name.");
  }
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, TZipDialogKind::OpenFile);
  EXPECT_EQ(shown[0].caption, "Open a Zip File");
  EXPECT_EQ(shown[0].initialDir, "C:\\");
  EXPECT_EQ(shown[0].filter.substr(0, 24), "Zip Files (*.ZIP)|*.zip|");
  answer = {true, "C:\\a.zip"};
  u.SetZipName("?");
  EXPECT_EQ(u.ZipName(), "C:\\a.zip");

  answer = {};
  u.SetDestDir("C:\\out");
  try {
    u.SetDestDir("?");
    ADD_FAILURE();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled Set Desination Directory");
  }
  EXPECT_EQ(shown.back().kind, TZipDialogKind::BrowseFolder);
  EXPECT_EQ(shown.back().initialDir, "C:\\");  // no such folder: the current one
  EXPECT_EQ(u.DestDir(), "C:\\out");
  fs.ForceDirs("C:\\out");
  EXPECT_THROW(u.SetDestDir("?"), EUserCanceled);
  EXPECT_EQ(shown.back().initialDir, "C:\\out");
  // One trailing "\" goes: the root of the current drive is no destination
  // folder at all, not a network name.
  u.SetDestDir("C:\\out\\");
  EXPECT_EQ(u.DestDir(), "C:\\out");
  u.SetDestDir("\\");
  EXPECT_EQ(u.DestDir(), "");
  u.SetDestDir("C:\\out");

  // The overwrite question without a handler, answered No, then Yes; the
  // unknown method's box.
  shown.clear();
  u.doAll = true;
  EXPECT_EQ(u.UnZip(), 0);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "Replace existing file a?");
  EXPECT_EQ(shown[0].caption, "File Exists Alert");
  EXPECT_EQ(shown[0].kind, TZipDialogKind::YesNo);
  EXPECT_EQ(shown[1].text, "Unknown Compression Method");
  EXPECT_EQ(shown[1].caption, "Zip Error");
  EXPECT_EQ(*fs.Files().at("C:\\out\\a").bytes, test::Bytes("old"));
  answer = {true, {}};
  EXPECT_EQ(u.UnZip(), 1);
  EXPECT_EQ(*fs.Files().at("C:\\out\\a").bytes, test::Bytes("one"));
}

}  // namespace
}  // namespace kv

#ifndef _WIN32
namespace kv {
namespace {

// The reference tools as oracles: 7-Zip extracts our blocks set (its parts
// renamed to the scheme it looks for); we read a set that Info-ZIP split.
class ZipMultiPartOracle : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v zip >/dev/null && command -v 7z >/dev/null") != 0) GTEST_SKIP() << "no zip or 7z";
    dir_ = std::string(KV_TEST_BINARY_DIR) + "/zip_multipart_oracle";
    std::system(("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'").c_str());
  }
  int Run(const std::string& command) { return std::system(("cd '" + dir_ + "' && " + command).c_str()); }
  std::string dir_;
};

TEST_F(ZipMultiPartOracle, SevenZipReadsOurSetsAndWeReadInfoZips) {
  const Bytes big = Random(150000, 7), text = Text(30000, 8);
  std::ofstream(dir_ + "/big.ref", std::ios::binary).write(reinterpret_cast<const char*>(big.data()), static_cast<std::streamsize>(big.size()));
  std::ofstream(dir_ + "/text.ref", std::ios::binary).write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size()));
  TZipper z(DefaultZipFileSystem(), DefaultZipperDisk());
  z.SetZipName(dir_ + "/ours.zip");
  z.multiZipInfo.multiMode = TMultiMode::mmBlocks;
  z.multiZipInfo.blockSize = z.multiZipInfo.firstBlockSize = kMinPartSize;
  z.packLevel = 0;
  z.ZipFromBuffer(big.data(), big.size(), "big.bin");
  z.packLevel = 6;
  z.ZipFromBuffer(text.data(), text.size(), "text.txt");
  ASSERT_EQ(Run("test -f ours.002 && ! test -f ours.003"), 0);
  // 7-Zip reads the set in place (its parts under the names it looks for);
  // Info-ZIP's join (zip -s 0) cuts entries that cross a part, its own sets'
  // too, so it is no oracle here.
  ASSERT_EQ(Run("for n in 1 2; do cp ours.00$n ours.z0$n; done && 7z x -y -oout ours.zip >/dev/null"), 0);
  EXPECT_EQ(Run("cmp -s out/big.bin big.ref && cmp -s out/text.txt text.ref"), 0);
  // Theirs: parts .z01, .z02... before .zip, named through the handler.
  ASSERT_EQ(Run("cp big.ref big.bin && cp text.ref text.txt && zip -q -s 64k theirs.zip big.bin text.txt && "
                "test -f theirs.z02"), 0);
  TUnZipper u(DefaultZipFileSystem());
  u.SetZipName(dir_ + "/theirs.zip");
  u.onGetNextDisk = [&](int n, std::string& name) {
    name = n - 1 == u.LastDisk() ? dir_ + "/theirs.zip" : dir_ + "/theirs.z" + (n < 10 ? "0" : "") + std::to_string(n);
  };
  u.ReadZip();
  EXPECT_EQ(u.MultiMode(), TMultiMode::mmBlocks);
  for (const auto& [name, data] : std::map<std::string, Bytes>{{"big.bin", big}, {"text.txt", text}}) {
    TMemoryStream out;
    EXPECT_EQ(u.UnZipToStream(out, name), 1);
    EXPECT_EQ(out.Bytes(), data) << name;
  }
}

}  // namespace
}  // namespace kv
#endif
