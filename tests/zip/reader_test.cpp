// The archive reader: archives of the reference tools (every entry equals
// `unzip -p`), and crafted archives for the failure paths: each names the
// exact outcome it must cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/zip/zip_test_util.h"
#include "zip/unzipper.h"
#include "zip/zip_errors.h"
#include "zip/zip_file_system.h"

namespace kv {
namespace {

using test::Bytes;
using test::TestEntry;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ZipReaderCorpus, EveryEntryEqualsTheReferenceExtraction) {
  const std::string dir = std::string(KV_TEST_BINARY_DIR) + "/zip_corpus/";
  std::ifstream cases(dir + "cases.txt");
  ASSERT_TRUE(cases) << "corpus missing: the zip_corpus fixture builds it";
  int checked = 0;
  std::string line;
  while (std::getline(cases, line)) {
    std::stringstream fields(line);  // archive|entry|password|expected
    std::string f[4];
    for (std::string& field : f) std::getline(fields, field, '|');
    TUnZipper unzip;
    unzip.dialogHook = nullptr;  // methods this library lacks: no box
    unzip.SetZipName(dir + f[0]);
    unzip.password = f[2];
    TMemoryStream out;
    const int selected = unzip.UnZipToStream(out, f[1]);
    EXPECT_EQ(selected, 1) << line;
    if (f[3] == "EMPTY") {
      EXPECT_EQ(out.Size(), 0) << line;
    } else {
      EXPECT_TRUE(out.Bytes() == ReadFile(dir + "expect/" + f[3])) << line;
    }
    ++checked;
  }
  EXPECT_GT(checked, 100);

  // Wildcards select several entries, one after the other into one stream;
  // names match without regard to ASCII case.
  TUnZipper unzip;
  unzip.SetZipName(dir + "infozip-6.zip");
  TMemoryStream out;
  EXPECT_EQ(unzip.UnZipToStream(out, "SUB/*"), 2);
  EXPECT_EQ(out.Size(), 200000 + 200000);
  EXPECT_EQ(unzip.UnZipToStream(out, "README.TXT"), 1);
  EXPECT_EQ(unzip.UnZipToStream(out, "nothing.here"), 0);

  TUnZipper comment;
  comment.SetZipName(dir + "infozip-comment.zip");
  comment.ReadZip();
  EXPECT_EQ(comment.ZipComment(), "Archive comment");  // zip -z drops the final line end
}

// Names flagged UTF-8 (general purpose bit 11) are read as UTF-8, others in
// the OEM code page; either way they are held in the ANSI code page.
TEST(ZipReaderCorpus, NamesFlaggedUtf8AreReadAsUtf8) {
  const std::string dir = std::string(KV_TEST_BINARY_DIR) + "/zip_corpus/";
  const std::string ete = "\xE9t\xE9.txt";
  for (const char* archive : {"py-utf8.zip", "7z-utf8.zip", "infozip-oem.zip"}) {
    TUnZipper unzip;
    unzip.SetZipName(dir + archive);
    unzip.ReadZip();
    ASSERT_GE(unzip.Count(), 1) << archive;
    EXPECT_EQ(unzip.FileName(0), ete) << archive;
    TMemoryStream out;
    EXPECT_EQ(unzip.UnZipToStream(out, ete), 1) << archive;
    EXPECT_EQ(out.Text(), "summer") << archive;
  }
  // Without the directory the local headers' flags decide; a character the
  // code page lacks becomes '?'.
  std::vector<uint8_t> bytes = ReadFile(dir + "py-utf8.zip");
  for (const bool scanned : {false, true}) {
    if (scanned) bytes.resize(test::EndRecordAt(bytes));
    TMemoryFileSystem fs;
    fs.Put("a.zip", bytes);
    TUnZipper unzip(fs);
    unzip.SetZipName("a.zip");
    unzip.incompleteZipMode = TIncompleteZipMode::izAssumeBad;
    unzip.ReadZip();
    EXPECT_EQ(unzip.HardScanned(), scanned);
    ASSERT_EQ(unzip.Count(), 2);
    EXPECT_EQ(unzip.FileName(0), ete);
    EXPECT_EQ(unzip.FileName(1), "snow ?.txt");
    EXPECT_EQ(unzip.FileComment(0), "note");  // behind the name as stored
  }
}

// ------------------------------------------------------- crafted archives --

struct Fixture {
  TMemoryFileSystem fs;
  TUnZipper unzip{fs};
  std::vector<std::string> skipped;
  std::vector<uint32_t> badCrc;
  explicit Fixture(std::vector<uint8_t> archive) {
    fs.Put("a.zip", std::move(archive), 1);
    unzip.SetZipName("a.zip");
    unzip.onSkippingFile = [this](TSkipReason r, const std::string& n, int) {
      skipped.push_back(std::to_string(static_cast<int>(r)) + ":" + n);
    };
    unzip.onBadCRC = [this](uint32_t calc, uint32_t, int) { badCrc.push_back(calc); };
    unzip.dialogHook = [this](const TZipDialog& d) {
      boxes.push_back(d.text);
      return TZipDialogAnswer{};
    };
  }
  std::vector<std::string> boxes;
  std::string Extract(const std::string& name, int* selected = nullptr) {
    TMemoryStream out;
    out.WriteBuffer("prefix", 6);
    const int n = unzip.UnZipToStream(out, name);
    if (selected) *selected = n;
    return out.Text();
  }
};

// Raw deflate of "hello hello hello" (fixed Huffman block).
const std::vector<uint8_t> kHelloDeflate = {0xcb, 0x48, 0xcd, 0xc9, 0xc9, 0x57, 0xc8, 0x40, 0x90, 0x00};
const std::string kHello = "hello hello hello";

TEST(ZipReader, FailingEntriesContributeNothing) {
  std::vector<uint8_t> truncated(kHelloDeflate.begin(), kHelloDeflate.begin() + 5);
  std::vector<uint8_t> garbage = {0xff, 0xff, 0xff, 0xff};  // block type 3
  // 65 empty dynamic blocks in a row, then "hi": valid deflate, but no encoder's.
  const auto emptyRun =
      ReadFile(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/zip_inflate/regress/empty_dynamic_block_run.bin");
  ASSERT_FALSE(emptyRun.empty());
  struct Case {
    const char* what;
    TestEntry entry;
    const char* event;  // "crc" or the skip reason and name
  } cases[] = {
      {"bad CRC", {"e", Bytes(kHello), kHelloDeflate, 8, "", 1234u}, "crc"},
      {"damaged data", {"e", Bytes(kHello), garbage, 8}, "crc"},
      {"a run of empty blocks", {"e", Bytes("hi"), emptyRun, 8}, "crc"},
      {"data ends early", {"e", Bytes(kHello), truncated, 8}, "crc"},
      {"more than its size", {"e", Bytes(kHello), kHelloDeflate, 8, "", std::nullopt, 5u}, "crc"},
      {"less than its size", {"e", Bytes(kHello), kHelloDeflate, 8, "", std::nullopt, 50u}, "crc"},
      {"unknown method", {"e", Bytes("xyz"), Bytes("xyz"), 99}, "crc"},
      {"unknown method, CRC 0", {"e", {}, Bytes("xyz"), 99, "", 0u}, "4:e"},
      {"64-bit sizes", {"e", Bytes("abc"), Bytes("abc"), 0, "", std::nullopt, 0xFFFFFFFFu}, "4:e"},
  };
  for (const Case& c : cases) {
    Fixture fx(test::BuildZip({{"ok1", Bytes("fine")}, c.entry, {"ok2", Bytes("fine")}}));
    fx.unzip.password = "secret";
    int selected = 0;
    EXPECT_EQ(fx.Extract("*", &selected), "prefixfinefine") << c.what;
    EXPECT_EQ(selected, 3) << c.what;
    if (std::string(c.event) == "crc") {
      EXPECT_EQ(fx.badCrc.size(), 1u) << c.what;
    } else {
      EXPECT_EQ(fx.skipped, std::vector<std::string>{c.event}) << c.what;
    }
  }
  // Data that go on past the size: decoding ends at the size, and the CRC
  // judges what came up to it.
  std::vector<uint8_t> whole = test::Random(16100, 7);
  const std::vector<uint8_t> head(whole.begin(), whole.begin() + 16000);
  Fixture longer(test::BuildZip({{"e", head, whole, 0}}));
  EXPECT_TRUE(longer.Extract("e") == "prefix" + std::string(head.begin(), head.end()));
  EXPECT_TRUE(longer.badCrc.empty());
  Fixture wrong(test::BuildZip({{"e", head, whole, 0, "", 1234u}}));
  EXPECT_EQ(wrong.Extract("e"), "prefix");
  EXPECT_EQ(wrong.badCrc.size(), 1u);
}

// An unknown method is told after the entry was opened and started,
// decodes nothing and ends as a CRC mismatch against the CRC of nothing.
TEST(ZipReader, AnUnknownMethodIsToldWhenItsTurnComes) {
  Fixture fx(test::BuildZip({{"good", Bytes(kHello), kHelloDeflate, 8},
                             {"odd", Bytes("xyz"), Bytes("xyz"), 99, "", 0x1234u}}));
  std::vector<std::string> events;
  fx.unzip.onStartUnZip = [&](int, const std::string& n, bool&) { events.push_back("start " + n); };
  fx.unzip.onEndUnZip = [&](int, const std::string& n) { events.push_back("end " + n); };
  fx.unzip.onBadCRC = [&](uint32_t calc, uint32_t stored, int) {
    events.push_back("crc " + std::to_string(calc) + " " + std::to_string(stored));
  };
  fx.unzip.dialogHook = [&](const TZipDialog& d) {
    events.push_back(d.text + " / " + d.caption);
    return TZipDialogAnswer{};
  };
  EXPECT_EQ(fx.Extract("*"), "prefix" + kHello);
  EXPECT_EQ(events, (std::vector<std::string>{"start good", "end good", "start odd",
                                               "Unknown Compression Method / Zip Error", "crc 0 4660"}));
}

TEST(ZipReader, PasswordsAndTheBadPasswordEvent) {
  Fixture fx(test::BuildZip({{"e", Bytes(kHello), kHelloDeflate, 8, "right"}}));
  fx.unzip.password = "wrong";
  std::vector<int> asked;
  fx.unzip.onBadPassword = [&](int index, std::string& pw) {
    asked.push_back(index);
    pw = "right";
  };
  EXPECT_EQ(fx.Extract("e"), "prefix" + kHello);
  EXPECT_EQ(asked, std::vector<int>{0});
  EXPECT_EQ(fx.unzip.password, "right");

  // A handler offering the same password again ends in a skip, not a loop.
  Fixture same(test::BuildZip({{"e", Bytes(kHello), kHelloDeflate, 8, "right"}}));
  same.unzip.password = "wrong";
  same.unzip.onBadPassword = [](int, std::string& pw) { pw = "wrong"; };
  EXPECT_EQ(same.Extract("e"), "prefix");
  EXPECT_EQ(same.skipped, std::vector<std::string>{"0:e"});

  // The handler is handed the password that failed; left as it is, the
  // entry is skipped. Without a handler the entry is skipped too, and still
  // counts as selected.
  Fixture told(test::BuildZip({{"e", Bytes(kHello), kHelloDeflate, 8, "right"}}));
  told.unzip.password = "wrong";
  std::vector<std::string> handed;
  told.unzip.onBadPassword = [&](int, std::string& pw) {
    handed.push_back(pw);
    if (pw == "wrong") pw = "right";
  };
  EXPECT_EQ(told.Extract("e"), "prefix" + kHello);
  EXPECT_EQ(handed, std::vector<std::string>{"wrong"});
  told.unzip.password = "other";
  told.unzip.onBadPassword = [&](int, std::string& pw) { handed.push_back(pw); };
  EXPECT_EQ(told.Extract("e"), "prefix");
  EXPECT_EQ(handed.back(), "other");
  EXPECT_EQ(told.unzip.password, "other");
  told.unzip.onBadPassword = nullptr;
  TMemoryStream none;
  EXPECT_EQ(told.unzip.UnZipToStream(none, "e"), 1);
  EXPECT_EQ(none.Size(), 0);
}

TEST(ZipReader, DirectoryThatCannotBeTrusted) {
  const std::vector<uint8_t> good = test::BuildZip({{"a", Bytes("one")}, {"b", Bytes("two")}});
  const size_t end = test::EndRecordAt(good);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool badZip;          // EBadZipFile from the directory read
    const char* extract;  // else: what extracting "*" yields (nullptr: it raises EFatalUnzipError)
    const char* skips;
  };
  std::vector<Case> cases;
  {
    auto b = good;
    test::Put16(b, end + 10, 3);  // announces three records, holds two
    test::Put16(b, end + 8, 3);
    cases.push_back({"directory shorter than announced", b, true, "", ""});
  }
  {
    auto b = good;
    b[0] = 'X';  // first local header signature broken: the header is not checked, the CRC is
    cases.push_back({"local signature", b, false, "prefixonetwo", ""});
  }
  {
    auto b = good;
    const size_t central = test::Get32(b, end + 16);
    test::Put32(b, central + 42, 0x7FFFFF00);  // first entry's offset outside the file
    cases.push_back({"offset outside (cut short)", b, false, nullptr, ""});
  }
  {
    auto b = good;
    test::Put16(b, 26, 0xFFFF);  // the first local header's name runs past the end
    cases.push_back({"name past the end (cut short)", b, false, nullptr, ""});
  }
  {
    auto b = good;
    test::Put32(b, 18, 0x10000);  // local size is ignored; the central one is too large:
    const size_t central = test::Get32(b, end + 16);
    test::Put32(b, central + 20, 0x10000);
    cases.push_back({"data past the end (cut short)", b, false, nullptr, ""});
  }
  {
    auto b = good;
    test::Put16(b, 28, 0xFFFF);  // the first local header's extra field runs past the end
    cases.push_back({"extra field past the end (cut short)", b, false, nullptr, ""});
  }
  for (const Case& c : cases) {
    Fixture fx(c.bytes);
    if (c.badZip) {
      EXPECT_THROW(fx.Extract("*"), EBadZipFile) << c.what;
      EXPECT_EQ(fx.unzip.Count(), 0) << c.what;
      EXPECT_EQ(fx.unzip.ZipName(), "") << c.what;
      continue;
    }
    if (c.extract == nullptr) {
      EXPECT_THROW(fx.Extract("*"), EFatalUnzipError) << c.what;
      EXPECT_TRUE(fx.skipped.empty()) << c.what;
      continue;
    }
    EXPECT_EQ(fx.Extract("*"), c.extract) << c.what;
    EXPECT_EQ(fx.skipped, *c.skips ? std::vector<std::string>{c.skips} : std::vector<std::string>{}) << c.what;
  }
  // Two records for one local header: the list's own error, the component cleared.
  auto twice = good;
  const size_t central = test::Get32(twice, end + 16);
  test::Put32(twice, central + 46 + 1 + 42, test::Get32(twice, central + 42));
  Fixture fx(twice);
  try {
    fx.unzip.ReadZip();
    ADD_FAILURE() << "read";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Duplicate Object index");
  }
  EXPECT_EQ(fx.unzip.Count(), 0);
  EXPECT_EQ(fx.unzip.ZipName(), "");
}

// Setting the name the component holds, in another case (ANSI letters
// too), keeps what it read.
TEST(ZipReader, TheSameNameInAnotherCaseKeepsTheDirectory) {
  TMemoryFileSystem fs;
  fs.Put("\xC9t\xE9.zip", test::BuildZip({{"a", Bytes("one")}}), 1);
  TUnZipper unzip(fs);
  unzip.keepZipOpen = true;
  unzip.SetZipName("\xC9t\xE9.zip");
  unzip.ReadZip();
  unzip.SetZipName("\xE9T\xC9.ZIP");
  EXPECT_EQ(unzip.Count(), 1);
  EXPECT_EQ(unzip.ZipName(), "\xC9t\xE9.zip");
  // No name, and no name again: a comment set meanwhile stays.
  TUnZipper unnamed(fs);
  unnamed.SetZipComment("for the new archive");
  unnamed.SetZipName("");
  EXPECT_EQ(unnamed.ZipComment(), "for the new archive");
}

// Whether the directory was read whole decides whether the writer may
// rewrite the archive; each case names what the reader then holds.
TEST(ZipReader, DirectoryReadWholeOrNot) {
  const std::vector<uint8_t> good = test::BuildZip({{"a", Bytes("one")}, {"b", Bytes("two")}});
  const size_t end = test::EndRecordAt(good);
  auto withEnd = [&](size_t field, uint32_t value, int width) {
    auto b = good;
    width == 2 ? test::Put16(b, end + field, static_cast<uint16_t>(value)) : test::Put32(b, end + field, value);
    return b;
  };
  auto noEnd = good;
  noEnd.resize(end);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool whole, scanned;
    int count;
    const char* extract;
  } cases[] = {
      {"read from the directory", good, true, false, 2, "prefixonetwo"},
      {"zip64 records, end record at its maxima", test::WithZip64End(good), true, false, 2, "prefixonetwo"},
      {"directory offset 0xFFFFFFFF, no zip64 locator", withEnd(16, 0xFFFFFFFF, 4), false, true, 2, "prefixonetwo"},
      {"count smaller than the records", withEnd(10, 1, 2), false, false, 1, "prefixone"},
      {"count 0 before two records (wrapped at 65536)", withEnd(10, 0, 2), false, false, 0, "prefix"},
      {"no end record, scanned", noEnd, false, true, 2, "prefixonetwo"},
  };
  for (const Case& c : cases) {
    Fixture fx(c.bytes);
    fx.unzip.incompleteZipMode = TIncompleteZipMode::izAssumeBad;
    fx.unzip.ReadZip();
    EXPECT_EQ(fx.unzip.DirectoryReadWhole(), c.whole) << c.what;
    EXPECT_EQ(fx.unzip.HardScanned(), c.scanned) << c.what;
    EXPECT_EQ(fx.unzip.Count(), c.count) << c.what;
    EXPECT_EQ(fx.Extract("*"), c.extract) << c.what;
  }

  // More entries than the end record can count cannot be held.
  Fixture tooMany(test::WithZip64End(good, 65536));
  try {
    tooMany.unzip.ReadZip();
    ADD_FAILURE() << "read a directory of 65536 entries";
  } catch (const EBadZipFile& e) {
    EXPECT_STREQ(e.what(), "Not a valid zip file! (more than 65535 entries)");
  }
}

TEST(ZipReader, MissingEndRecordAndHardScan) {
  std::vector<uint8_t> b = test::BuildZip({{"a", Bytes("one")}, {"dir\\b", Bytes("two")}});
  b.resize(test::EndRecordAt(b));  // no end record
  {
    Fixture fx(b);
    EXPECT_THROW(fx.unzip.ReadZip(), EIncompleteZip);
    EXPECT_EQ(fx.unzip.ZipName(), "");
  }
  Fixture fx(b);
  fx.unzip.incompleteZipMode = TIncompleteZipMode::izAssumeBad;
  fx.unzip.ReadZip();
  EXPECT_TRUE(fx.unzip.HardScanned());
  ASSERT_EQ(fx.unzip.Count(), 2);  // the scanned entries are kept
  EXPECT_EQ(fx.unzip.FileName(1), "dir\\b");
  EXPECT_EQ(fx.unzip.Entry(1).versionMadeBy, 20);  // merged from the central record
  EXPECT_EQ(fx.Extract("*"), "prefixonetwo");

  Fixture empty(test::BuildZip({}));  // an end record alone is an empty archive
  int selected = -1;
  EXPECT_EQ(empty.Extract("*", &selected), "prefix");
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(empty.unzip.Count(), 0);

  Fixture none(Bytes("no zip here at all, just text"));
  none.unzip.incompleteZipMode = TIncompleteZipMode::izAssumeBad;
  EXPECT_THROW(none.unzip.ReadZip(), EBadZipFile);
}

// Counts every byte written to it, also those a failing entry's rollback
// takes back: the bytes decoded.
class CountingStream : public TMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override {
    written += static_cast<uint64_t>(count);
    return TMemoryStream::Write(buffer, count);
  }
  uint64_t written = 0;
};

// Counts the bytes written to every file created (extraction to disk) and
// read from every file opened.
class CountingFileSystem : public TMemoryFileSystem {
 public:
  std::unique_ptr<TStream> Open(const std::string& name, TFileOpenMode mode) override {
    struct Counted : TStream {
      Counted(std::unique_ptr<TStream> s, CountingFileSystem& fs) : inner(std::move(s)), owner(fs) {}
      int64_t Read(void* b, int64_t n) override {
        const int64_t got = inner->Read(b, n);
        owner.read += static_cast<uint64_t>(got);
        return got;
      }
      int64_t Write(const void* b, int64_t n) override {
        owner.written += static_cast<uint64_t>(n);
        return inner->Write(b, n);
      }
      int64_t Seek(int64_t o, TSeekOrigin w) override { return inner->Seek(o, w); }
      int64_t Size() override { return inner->Size(); }
      void SetSize(int64_t n) override { inner->SetSize(n); }
      std::unique_ptr<TStream> inner;
      CountingFileSystem& owner;
    };
    return std::make_unique<Counted>(TMemoryFileSystem::Open(name, mode), *this);
  }
  uint64_t written = 0;
  uint64_t read = 0;
};

// An entry that decodes to 1 MiB and then fails its CRC.
TestEntry Bomb(const std::string& name) {
  static const std::vector<uint8_t> zeros(1 << 20, 0);
  static const std::vector<uint8_t> packed = test::Deflated(zeros);
  return {name, zeros, packed, 8, "", 1234u};
}

TEST(ZipReader, DecodingWorkIsBoundedPerCallNotPerEntry) {
  constexpr uint64_t kMiB = 1 << 20;
  // Of twenty entries with one name only the last in the directory is read.
  std::vector<TestEntry> sameName(19, Bomb("big"));
  sameName.push_back({"BIG", Bytes("last")});
  {
    Fixture fx(test::BuildZip(sameName));
    CountingStream out;
    EXPECT_EQ(fx.unzip.UnZipToStream(out, "big"), 1);
    EXPECT_EQ(out.Text(), "last");
    EXPECT_EQ(out.written, 4u);
    EXPECT_TRUE(fx.badCrc.empty());
  }
  // Failing entries count against the cap: twenty of them decode no more
  // than the cap in all, and leave nothing in the output.
  std::vector<TestEntry> many;
  for (int i = 0; i < 20; ++i) many.push_back(Bomb("b" + std::to_string(i)));
  many.push_back({"c", Bytes("fine")});  // past the cap even when good
  {
    Fixture fx(test::BuildZip(many));
    fx.unzip.maxOutputSize = 3 * kMiB + kMiB / 2;
    CountingStream out;
    EXPECT_EQ(fx.unzip.UnZipToStream(out, "*"), 21);
    EXPECT_EQ(out.Size(), 0);
    EXPECT_LE(out.written, fx.unzip.maxOutputSize);
    EXPECT_GT(out.written, 3 * kMiB);
    EXPECT_EQ(fx.badCrc.size(), 21u);
  }
  // Extraction to disk is bounded by each entry's size alone: every entry
  // is decoded, and the good one lands.
  {
    CountingFileSystem fs;
    fs.Put("a.zip", test::BuildZip(many), 1);
    TUnZipper unzip(fs);
    unzip.SetZipName("a.zip");
    unzip.SetDestDir("dest");
    unzip.doAll = true;
    unzip.maxOutputSize = 3 * kMiB + kMiB / 2;
    EXPECT_EQ(unzip.UnZip(), 1);
    EXPECT_EQ(fs.written, 20 * kMiB + 4);
    EXPECT_EQ(fs.Files().size(), 2u);  // the archive and "c"
  }
  // Good entries take their bytes from the same cap.
  Fixture fx(test::BuildZip({{"a", std::vector<uint8_t>(1000, 'a')}, {"b", std::vector<uint8_t>(1000, 'b')}}));
  fx.unzip.maxOutputSize = 1500;
  EXPECT_EQ(fx.Extract("*"), "prefix" + std::string(1000, 'a'));
  EXPECT_EQ(fx.badCrc.size(), 1u);
}

// n entries whose local headers follow one another, each header's extra
// field running over the headers after it: all of them name one block of data.
std::vector<uint8_t> SharedDataArchive(int n, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> b;
  auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  const auto size = static_cast<uint32_t>(data.size());
  for (int k = 0; k < n; ++k) {
    u32(kLocalHeaderSignature), u16(20), u16(0), u16(kMethodDeflated), u32(0), u32(0), u32(size), u32(0);
    u16(1), u16(static_cast<uint32_t>((n - 1 - k) * 31)), b.push_back(static_cast<uint8_t>('a' + k));
  }
  b.insert(b.end(), data.begin(), data.end());
  const auto central = static_cast<uint32_t>(b.size());
  for (int k = 0; k < n; ++k) {
    u32(kCentralHeaderSignature), u16(20), u16(20), u16(0), u16(kMethodDeflated), u32(0), u32(0), u32(size);
    u32(0), u16(1), u16(0), u16(0), u16(0), u16(0), u32(0), u32(static_cast<uint32_t>(k * 31));
    b.push_back(static_cast<uint8_t>('a' + k));
  }
  const auto centralSize = static_cast<uint32_t>(b.size()) - central;
  u32(kEndCentralSignature), u16(0), u16(0), u16(static_cast<uint32_t>(n)), u16(static_cast<uint32_t>(n));
  u32(centralSize), u32(central), u16(0);
  return b;
}

// The scan's merge finds each central record's entry by name at once: the
// largest directory, one byte off, is read whole (in well under a second
// natively; a search per record took most of a minute).
TEST(ZipReader, HardScanOfTheLargestDirectoryMergesEveryRecord) {
  std::vector<TestEntry> entries;
  for (int i = 0; i < 65535; ++i) entries.push_back({"E" + std::to_string(i), {static_cast<uint8_t>(i)}});
  entries.back().comment = "last";
  std::vector<uint8_t> b = test::BuildZip(entries);
  const size_t end = test::EndRecordAt(b);
  test::Put32(b, end + 16, test::Get32(b, end + 16) + 1);
  Fixture fx(b);
  fx.unzip.ReadZip();
  EXPECT_TRUE(fx.unzip.HardScanned());
  ASSERT_EQ(fx.unzip.Count(), 65535);
  EXPECT_EQ(fx.unzip.Entry(65534).versionMadeBy, 20);  // merged
  EXPECT_EQ(fx.unzip.Entry(65534).fileCommentLength, 4);
  EXPECT_EQ(fx.unzip.Entry(0).versionMadeBy, 20);
  EXPECT_EQ(fx.Extract("e65534"), std::string("prefix") + static_cast<char>(65534 & 0xFF));
}

// Once the call's cap is spent, further entries fail unread: the archive is
// read no further than its directory and the entries the cap allowed.
TEST(ZipReader, EntriesPastTheSpentCapAreNeitherReadNorDecoded) {
  static const std::vector<uint8_t> zeros(64 << 10, 0);
  const std::vector<uint8_t> packed = test::Deflated(zeros);
  std::vector<TestEntry> many;
  for (int i = 0; i < 4000; ++i) many.push_back({"b" + std::to_string(i), zeros, packed, 8, "", 1234u});
  many.push_back({"empty", {}});  // nothing to decode: still read
  const std::vector<uint8_t> archive = test::BuildZip(many);
  CountingFileSystem fs;
  fs.Put("a.zip", archive, 1);
  TUnZipper unzip(fs);
  unzip.SetZipName("a.zip");
  unzip.maxOutputSize = 100 << 10;
  int badCrc = 0;
  unzip.onBadCRC = [&](uint32_t, uint32_t, int) { ++badCrc; };
  std::vector<std::string> done;
  unzip.onEndUnZip = [&](int, const std::string& name) { done.push_back(name); };
  CountingStream out;
  EXPECT_EQ(unzip.UnZipToStream(out, "*"), 4001);
  EXPECT_EQ(badCrc, 4000);
  EXPECT_EQ(done, std::vector<std::string>{"empty"});
  EXPECT_LE(out.written, unzip.maxOutputSize);
  EXPECT_GT(out.written, 64u << 10);
  EXPECT_EQ(out.Size(), 0);
  // The directory (found from the end), two entries' data, the empty entry.
  const size_t central = test::Get32(archive, test::EndRecordAt(archive) + 16);
  EXPECT_LT(fs.read, archive.size() - central + 70000 + 4 * kStreamBufferSize);
}

TEST(ZipReader, EntriesSharingDataAreReadOnce) {
  // 1 MiB of empty, non-final stored blocks: much to read, nothing to write.
  std::vector<uint8_t> empties;
  for (int i = 0; i < (1 << 20) / 5; ++i) empties.insert(empties.end(), {0x00, 0x00, 0x00, 0xFF, 0xFF});
  const std::vector<uint8_t> archive = SharedDataArchive(20, empties);
  CountingFileSystem fs;
  fs.Put("a.zip", archive, 1);
  TUnZipper unzip(fs);
  unzip.SetZipName("a.zip");
  std::vector<std::string> skipped;
  int badCrc = 0;
  unzip.onSkippingFile = [&](TSkipReason r, const std::string& n, int) {
    skipped.push_back(std::to_string(static_cast<int>(r)) + ":" + n);
  };
  unzip.onBadCRC = [&](uint32_t, uint32_t, int) { ++badCrc; };
  TMemoryStream out;
  EXPECT_EQ(unzip.UnZipToStream(out, "*"), 20);
  EXPECT_EQ(out.Size(), 0);
  EXPECT_EQ(badCrc, 1);  // the first entry: its blocks never end
  std::vector<std::string> expected;
  for (char c = 'b'; c < 'a' + 20; ++c) expected.push_back(std::string("3:") + c);
  EXPECT_EQ(skipped, expected);
  EXPECT_LT(fs.read, 2 * archive.size());
}

TEST(ZipReader, ReadsTheDirectoryAgainWhenTheFileChanged) {
  Fixture fx(test::BuildZip({{"a", Bytes("old")}, {"b", Bytes("two")}}));
  EXPECT_EQ(fx.Extract("*"), "prefixoldtwo");
  fx.fs.Put("a.zip", test::BuildZip({{"c", Bytes("new")}}), 2);  // another date
  EXPECT_EQ(fx.Extract("*"), "prefixnew");
  EXPECT_EQ(fx.unzip.Count(), 1);
}

TEST(ZipReader, CommentsOnDemand) {
  Fixture fx(test::BuildZip({{"a", Bytes("1"), {}, 0, "", {}, {}, 0, "first"}, {"b", Bytes("2")}}, "whole"));
  fx.unzip.ReadZip();
  EXPECT_EQ(fx.unzip.FileComment(0), "first");
  EXPECT_EQ(fx.unzip.FileComment(1), "");
  EXPECT_EQ(fx.unzip.ZipComment(), "whole");
  EXPECT_THROW(fx.unzip.FileComment(2), EListError);
}

TEST(ZipReader, ExtractionToDiskSkipsUnsafeNamesAndKeepsFiles) {
  // Which names are unsafe: ZipReader.SafeNames.
  const std::vector<TestEntry> entries = {{"ok.txt", Bytes("ok")},
                                          {"dir\\in.txt", Bytes("in")},
                                          {"dir\\..\\..\\up.txt", Bytes("x")},
                                          {"dir\\NUL.txt", Bytes("x")},
                                          {"keep.txt", Bytes("new")}};
  Fixture fx(test::BuildZip(entries));
  fx.fs.Put("dest\\keep.txt", Bytes("old"));
  fx.unzip.SetDestDir("dest\\");
  fx.unzip.recreateDirs = true;
  fx.unzip.doAll = true;
  fx.unzip.overwriteMode = TUZOverwriteMode::Never;
  EXPECT_EQ(fx.unzip.UnZip(), 2);
  std::vector<std::string> files;
  for (const auto& [name, file] : fx.fs.Files()) files.push_back(name + "=" + std::string(file.bytes->begin(), file.bytes->end()));
  EXPECT_EQ(files.size(), 4u);
  EXPECT_EQ(files[1], "dest\\dir\\in.txt=in");
  EXPECT_EQ(files[2], "dest\\keep.txt=old");
  EXPECT_EQ(files[3], "dest\\ok.txt=ok");
  EXPECT_EQ(fx.skipped, (std::vector<std::string>{"2:dir\\..\\..\\up.txt", "2:dir\\NUL.txt", "1:keep.txt"}));

  // Prompt asks. A failing entry costs neither an existing file nor leaves
  // a new one behind.
  Fixture again(test::BuildZip(
      {{"keep.txt", Bytes("new")}, {"bad.txt", Bytes("x"), {}, 0, "", 1u}, {"bad2.txt", Bytes("x"), {}, 0, "", 1u}}));
  again.fs.Put("dest\\keep.txt", Bytes("old"));
  again.fs.Put("dest\\bad.txt", Bytes("old"));
  again.unzip.SetDestDir("dest");
  again.unzip.doAll = true;
  int asked = 0;
  again.unzip.onPromptForOverwrite = [&](bool& yes, int, std::string&) { yes = ++asked > 0; };
  EXPECT_EQ(again.unzip.UnZip(), 1);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(*again.fs.Files().at("dest\\keep.txt").bytes, Bytes("new"));
  EXPECT_EQ(*again.fs.Files().at("dest\\bad.txt").bytes, Bytes("old"));
  EXPECT_FALSE(again.fs.FileExists("dest\\bad2.txt"));
  EXPECT_EQ(again.fs.Files().size(), 3u);  // no temporary file left
}

TEST(ZipReader, EventsReportSelectionProgressAndSkips) {
  Fixture fx(test::BuildZip({{"a", std::vector<uint8_t>(1000, 'a')}, {"b", std::vector<uint8_t>(40000, 'b')}}));
  std::vector<std::string> log;
  bool stop = true;
  fx.unzip.onStartUnZipInfo = [&](int n, uint64_t total, bool& stopNow) {
    log.push_back("info " + std::to_string(n) + " " + std::to_string(total));
    stopNow = stop;
  };
  EXPECT_EQ(fx.Extract("*"), "prefix");
  EXPECT_EQ(log, std::vector<std::string>{"info 2 41000"});

  stop = false;
  std::vector<int> total;
  fx.unzip.onTotalPercentDone = [&](int p) { total.push_back(p); };
  fx.unzip.onStartUnZip = [&](int, const std::string& name, bool& skip) { skip = name == "a"; };
  fx.unzip.onEndUnZip = [&](int, const std::string& name) { log.push_back("end " + name); };
  EXPECT_EQ(fx.Extract("*"), "prefix" + std::string(40000, 'b'));
  EXPECT_EQ(log.back(), "end b");
  ASSERT_FALSE(total.empty());
  EXPECT_TRUE(std::is_sorted(total.begin(), total.end()));
  EXPECT_EQ(total.back(), 98);  // 40,000 of 41,000 bytes: the skipped entry never ran
}

TEST(ZipReader, CancelStopsWithUserCanceledAndRollsBack) {
  Fixture fx(test::BuildZip({{"a", std::vector<uint8_t>(50000, 'a')}}));
  fx.unzip.onProcessMessages = [&] { fx.unzip.Cancel(); };
  TMemoryStream out;
  out.WriteBuffer("keep", 4);
  EXPECT_THROW(fx.unzip.UnZipToStream(out, "a"), EUserCanceled);
  EXPECT_EQ(out.Text(), "keep");
  // Without message processing a cancel request is not looked at.
  fx.unzip.doProcessMessages = false;
  fx.unzip.onStartUnZip = [&](int, const std::string&, bool&) { fx.unzip.Cancel(); };
  EXPECT_EQ(fx.unzip.UnZipToStream(out, "a"), 1);
  EXPECT_EQ(out.Size(), 4 + 50000);
}

TEST(ZipReader, SafeNames) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {{"a\\b.txt", true},   {"..", false},        {"a\\..\\b", false}, {"\\abs", false},
               {"a:b", false},       {"aux.mp3", false},   {"lpt9", false},     {"...", false},
               {"com10", true},      {"con_x", true},      {"a\\.\\b", false},  {"tab\tname", false},
               {"c:\\abs", false},    {"dir\\com1", false}, {"dir\\NUL.txt", false}, {"..\\up", false}};
  for (const Case& c : cases) EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << c.name;
}

}  // namespace
}  // namespace kv
