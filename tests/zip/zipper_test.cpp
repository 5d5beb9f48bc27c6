#include "zip/zipper.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/zip/zipper_test_util.h"
#include "zip/crc32.h"
#include "zip/zip_cipher.h"

namespace kv {
namespace {

using namespace ziptest;

const std::string kArchive = "C:\\data\\arc.zip";

struct Fixture {
  FaultyFileSystem fs;
  MemoryDisk disk{fs};

  std::unique_ptr<TZipper> Open() {
    auto z = std::make_unique<TZipper>(fs, disk);
    z->SetZipName(kArchive);
    return z;
  }
  void Save(const std::string& entry, const Bytes& data, int level = 6, const std::string& password = "") {
    auto z = Open();
    z->password = password;
    z->packLevel = level;
    EXPECT_EQ(z->ZipFromBuffer(data.data(), data.size(), entry), 1);
  }
  Bytes Load(const std::string& entry, const std::string& password = "") {
    auto z = Open();
    z->password = password;
    TMemoryStream out;
    z->UnZipToStream(out, entry);
    return out.Bytes();
  }
  Bytes File(const std::string& name = kArchive) const {
    const auto it = fs.Files().find(name);
    return it == fs.Files().end() ? Bytes{} : *it->second.bytes;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const auto& [name, f] : fs.Files()) out.push_back(name);
    return out;
  }
  // The entries as the reader sees them, in archive order.
  std::vector<TZipHeaderInfo> Directory() {
    auto z = Open();
    z->ReadZip();
    std::vector<TZipHeaderInfo> out;
    for (int i = 0; i < z->Count(); ++i) out.push_back(z->Entry(i));
    return out;
  }
};

using test::Get16;
using test::Get32;

// The bytes of an entry's local header, name, extra field and data.
Bytes LocalRegion(const Bytes& archive, const TZipHeaderInfo& e) {
  const size_t at = e.relativeOffset;
  const size_t len = 30 + Get16(archive, at + 26) + Get16(archive, at + 28) + e.compressedSize;
  return Bytes(archive.begin() + static_cast<std::ptrdiff_t>(at), archive.begin() + static_cast<std::ptrdiff_t>(at + len));
}

// Flags, versions and methods are checked by the reference tools on the
// archives of zipper_files_win_test.cpp.
TEST(Zipper, EntriesOfEveryKindReadBackAtEveryLevelWithAndWithoutPassword) {
  const std::pair<std::string, Bytes> entries[] = {{"empty", {}},
                                                   {"short", {'h', 'i', '!'}},
                                                   {"text70k", Text(70000, 1)},
                                                   {"random", Random(1 << 20, 2)},
                                                   {"same", Bytes(300000, 'z')}};
  for (const std::string password : {"", "p\xE4ss"}) {
    for (int level : {0, 1, 3, 4, 6, 8, 9}) {
      SCOPED_TRACE("level " + std::to_string(level) + " password '" + password + "'");
      Fixture f;
      for (const auto& [name, data] : entries) f.Save(name, data, level, password);
      const auto dir = f.Directory();
      ASSERT_EQ(dir.size(), std::size(entries));
      for (size_t i = 0; i < dir.size(); ++i) {
        const auto& [name, data] = entries[i];
        EXPECT_EQ(dir[i].FullName(), name);
        EXPECT_EQ(f.Load(name, password), data) << name;
        if (dir[i].compressionMethod == 0) {
          EXPECT_EQ(dir[i].compressedSize, data.size() + (password.empty() ? 0 : 12)) << name;
        }
      }
      EXPECT_EQ(f.Names(), std::vector<std::string>{kArchive}) << "temporary file left";
    }
  }
}

TEST(Zipper, EncryptionHeaderIsFreshEveryTimeAndChecksTheCrc) {
  Fixture a, b;
  const Bytes data = Text(500, 4);
  a.Save("x", data, 6, "pw");
  b.Save("x", data, 6, "pw");
  const auto ea = a.Directory().at(0), eb = b.Directory().at(0);
  // Same entry apart from the random header (and the time stamp).
  const Bytes ra = LocalRegion(a.File(), ea), rb = LocalRegion(b.File(), eb);
  const size_t dataAt = 30 + ea.fileNameLength;
  EXPECT_NE(Bytes(ra.begin() + dataAt, ra.begin() + dataAt + 10), Bytes(rb.begin() + dataAt, rb.begin() + dataAt + 10));
  // The last header byte decrypts to the CRC's top byte.
  TZipKeys keys;
  keys.Init("pw");
  Bytes head(ra.begin() + dataAt, ra.begin() + dataAt + 12);
  keys.DecryptBuff(head);
  EXPECT_EQ(head[11], ea.crc32 >> 24);
  EXPECT_EQ(head[10], (ea.crc32 >> 16) & 0xFF);
}

TEST(Zipper, ReplacingAnEntryKeepsItsPlaceAndTheOthersBytes) {
  Fixture f;
  f.Save("one", Text(3000, 5));
  f.Save("two", Text(3000, 6));
  f.Save("three", Random(2000, 7));
  const Bytes before = f.File();
  const auto old = f.Directory();
  // A folder part is dropped by default, so "sub\TWO" names the entry "two".
  f.Save("sub\\TWO", Text(100, 8));
  const Bytes after = f.File();
  const auto now = f.Directory();
  ASSERT_EQ(now.size(), 3u);
  EXPECT_EQ(now[0].FullName(), "one");
  EXPECT_EQ(now[1].FullName(), "TWO");
  EXPECT_EQ(now[2].FullName(), "three");
  EXPECT_EQ(LocalRegion(after, now[0]), LocalRegion(before, old[0]));
  EXPECT_EQ(LocalRegion(after, now[2]), LocalRegion(before, old[2]));
  EXPECT_EQ(f.Load("two"), Text(100, 8));
  EXPECT_EQ(f.Load("three"), Random(2000, 7));
}

TEST(Zipper, SaveModifiedRewritesOnlyWhenCommentsChanged) {
  Fixture f;
  f.Save("a", Text(100, 9));
  const Bytes before = f.File();
  f.Open()->SaveModifiedZipFile();
  EXPECT_EQ(f.File(), before);
  {
    auto z = f.Open();
    z->ReadZip();
    z->SetZipComment("archive note");
    z->SetFileComment(0, "entry note");
    z->SaveModifiedZipFile();
  }
  auto z = f.Open();
  z->ReadZip();
  EXPECT_EQ(z->ZipComment(), "archive note");
  EXPECT_EQ(z->FileComment(0), "entry note");
  EXPECT_EQ(f.Load("a"), Text(100, 9));
}

// Comments set right after naming the archive (its directory unread) are
// what the next write carries, a new archive's too; those set before the
// file is replaced on disk go onto its directory, entry comments by name.
TEST(Zipper, CommentsSetBeforeTheDirectoryIsReadAreWritten) {
  Fixture f;
  auto z = f.Open();
  z->SetZipComment("first");  // no archive yet
  EXPECT_EQ(z->ZipFromBuffer("a", 1, "a"), 1);
  EXPECT_EQ(z->ZipComment(), "first");
  z = f.Open();
  z->SetZipComment("");  // a change: the archive has one
  z->SaveModifiedZipFile();
  EXPECT_EQ(z->ZipComment(), "");
  z = f.Open();
  z->SetZipComment("new");
  EXPECT_EQ(z->ZipFromBuffer("b", 1, "b"), 1);
  EXPECT_EQ(z->ZipComment(), "new");
  z->SetZipComment("mine");
  z->SetFileComment(1, "on b");
  f.fs.Put(kArchive, test::BuildZip({{"c", {}}, {"B", {}}}), 0x5A220000);  // another date
  z->SaveModifiedZipFile();
  EXPECT_EQ(z->ZipComment(), "mine");
  EXPECT_EQ(z->FileComment(1), "on b");
}

// A hand-made archive as other tools write them: local and central extra
// fields of different lengths, a data descriptor with its signature, an
// entry comment and an archive comment.
Bytes ForeignArchive() {
  const std::string name = "foreign.txt";
  const Bytes data = {'s', 't', 'o', 'r', 'e', 'd'};
  const uint32_t crc = Crc32(data);
  Bytes out;
  auto u16 = [&](uint32_t v) { out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  auto raw = [&](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
  const std::string localExtra("\x55\x54\x05\x00\x03\x01\x02\x03\x04", 9);
  const std::string centralExtra("\x55\x54\x01\x00\x03", 5);
  u32(0x04034b50), u16(10), u16(8), u16(0), u32(0x5A210000), u32(0), u32(0), u32(0);
  u16(uint32_t(name.size())), u16(uint32_t(localExtra.size())), raw(name), raw(localExtra);
  out.insert(out.end(), data.begin(), data.end());
  u32(0x08074b50), u32(crc), u32(uint32_t(data.size())), u32(uint32_t(data.size()));
  const uint32_t central = uint32_t(out.size());
  u32(0x02014b50), u16(0x031E), u16(10), u16(8), u16(0), u32(0x5A210000), u32(crc);
  u32(uint32_t(data.size())), u32(uint32_t(data.size())), u16(uint32_t(name.size()));
  u16(uint32_t(centralExtra.size())), u16(4), u16(0), u16(1), u32(0x81A40000), u32(0);
  raw(name), raw(centralExtra), raw("note");
  const uint32_t centralSize = uint32_t(out.size()) - central;
  u32(0x06054b50), u16(0), u16(0), u16(1), u16(1), u32(centralSize), u32(central), u16(7), raw("comment");
  return out;
}

TEST(Zipper, CopiedEntriesKeepExtraFieldsDescriptorsAndComments) {
  Fixture f;
  const Bytes foreign = ForeignArchive();
  f.fs.Put(kArchive, foreign);
  f.Save("new", Text(5000, 10));
  const Bytes after = f.File();
  // The old entry is copied byte for byte, descriptor included.
  const size_t localLen = 30 + 11 + 9 + 6 + 16;
  EXPECT_EQ(Bytes(after.begin(), after.begin() + localLen), Bytes(foreign.begin(), foreign.begin() + localLen));
  // Its central record is the old one with the same offset (0).
  const size_t oldCentral = localLen;
  const size_t centralLen = 46 + 11 + 5 + 4;
  const uint32_t newCentral = Get32(after, after.size() - 22 - 7 + 16);
  EXPECT_EQ(Bytes(after.begin() + newCentral, after.begin() + newCentral + centralLen),
            Bytes(foreign.begin() + oldCentral, foreign.begin() + oldCentral + centralLen));
  auto z = f.Open();
  z->ReadZip();
  EXPECT_EQ(z->ZipComment(), "comment");
  EXPECT_EQ(z->FileComment(0), "note");
  EXPECT_EQ(f.Load("foreign.txt"), (Bytes{'s', 't', 'o', 'r', 'e', 'd'}));
}

// The component shows the archive just written as a reader of the file
// finds it, and works on from there (a comment edit reads the copied
// central records again at the offsets it shows).
TEST(Zipper, TheDirectoryShownAfterARebuildIsTheOneInTheFile) {
  Fixture f;
  f.fs.Put(kArchive, ForeignArchive());
  auto z = f.Open();
  z->password = "pw";
  const Bytes data = Text(5000, 10);
  EXPECT_EQ(z->ZipFromBuffer(data.data(), data.size(), "new"), 1);
  const auto fields = [](const TZipHeaderInfo& e) {
    return std::vector<int64_t>{e.versionMadeBy, e.versionNeeded, e.flag, e.compressionMethod, e.lastModFileDateTime,
                                e.crc32, e.compressedSize, e.uncompressedSize, e.fileNameLength, e.extraFieldLength,
                                e.fileCommentLength, e.diskNumberStart, e.internalFileAttributes,
                                e.externalFileAttributes, e.relativeOffset, e.centralOffset};
  };
  const auto read = f.Directory();
  ASSERT_EQ(z->Count(), static_cast<int>(read.size()));
  for (int i = 0; i < z->Count(); ++i) {
    EXPECT_EQ(z->Entry(i).FullName(), read[static_cast<size_t>(i)].FullName());
    EXPECT_EQ(fields(z->Entry(i)), fields(read[static_cast<size_t>(i)])) << i;
  }
  EXPECT_EQ(z->ZipComment(), "comment");
  EXPECT_EQ(z->FileComment(0), "note");
  TMemoryStream out;
  EXPECT_EQ(z->UnZipToStream(out, "new"), 1);
  EXPECT_EQ(out.Bytes(), data);
  z->SetFileComment(1, "on new");
  z->SaveModifiedZipFile();
  auto again = f.Open();
  again->ReadZip();
  EXPECT_EQ(again->FileComment(0), "note");
  EXPECT_EQ(again->FileComment(1), "on new");
  EXPECT_EQ(f.Load("foreign.txt"), (Bytes{'s', 't', 'o', 'r', 'e', 'd'}));
}

TEST(Zipper, AnyFailureLeavesTheOldArchiveAndNoTemporaryFile) {
  // Count the writes of a good save first, then fail each in turn.
  Fixture probe;
  probe.Save("keep", Text(90000, 12));
  probe.fs.writes = 0;
  probe.Save("add", Random(40000, 13));
  const int writes = probe.fs.writes;
  ASSERT_GT(writes, 3);

  struct Case {
    std::string name;
    int failWrite;
    bool failFlush, failReplace;
  };
  std::vector<Case> cases;
  for (int n = 1; n <= writes; ++n) cases.push_back({"write " + std::to_string(n), n, false, false});
  cases.push_back({"flush", 0, true, false});
  cases.push_back({"move", 0, false, true});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.Save("keep", Text(90000, 12));
    const Bytes before = f.File();
    const auto names = f.Names();
    f.fs.writes = 0;
    f.fs.failWrite = c.failWrite;
    f.fs.failFlush = c.failFlush;
    f.fs.failReplace = c.failReplace;
    auto z = f.Open();
    const Bytes data = Random(40000, 13);
    EXPECT_THROW(z->ZipFromBuffer(data.data(), data.size(), "add"), std::runtime_error);
    EXPECT_EQ(f.File(), before);
    EXPECT_EQ(f.Names(), names);
    // The component is usable afterwards.
    f.fs.failWrite = 0, f.fs.failFlush = f.fs.failReplace = false;
    EXPECT_EQ(z->ZipFromBuffer(data.data(), data.size(), "add"), 1);
    EXPECT_EQ(f.Load("add"), data);
  }
  // A first save that fails leaves no archive at all.
  Fixture fresh;
  fresh.fs.failFlush = true;
  EXPECT_THROW(fresh.Save("x", Text(10, 14)), EZipWriteError);
  EXPECT_TRUE(fresh.Names().empty());
}

TEST(Zipper, BadOldArchivesAndBusyComponentsRaiseAndChangeNothing) {
  const Bytes foreign = ForeignArchive();
  const size_t central = foreign.size() - 22 - 7 - (46 + 11 + 5 + 4);
  const auto with = [&](size_t at, uint32_t v) {  // a field of the central record changed
    Bytes b = foreign;
    test::Put32(b, central + at, v);
    return b;
  };
  const std::pair<const char*, Bytes> cases[] = {
      {"offset past 4 GiB marker", with(42, 0xFFFFFFFF)},
      {"entry runs past the end", with(20, 0xF0)},  // compressed size
      {"not a zip file", Text(100, 15)},
  };
  for (const auto& [name, old] : cases) {
    SCOPED_TRACE(name);
    Fixture f;
    f.fs.Put(kArchive, old);
    EXPECT_THROW(f.Save("new", Text(10, 16)), std::runtime_error);
    EXPECT_EQ(f.File(), old);
    EXPECT_EQ(f.Names(), std::vector<std::string>{kArchive});
  }

  Fixture f;
  f.Save("a", Text(10, 17));
  const Bytes before = f.File();
  auto z = f.Open();
  int reentered = 0;
  z->onProcessMessages = [&] {
    ++reentered;
    const char b = 'b';
    z->ZipFromBuffer(&b, 1, "b");  // from the message pump
  };
  const Bytes data = Text(100000, 18);
  EXPECT_THROW(z->ZipFromBuffer(data.data(), data.size(), "c"), EZipBusy);
  EXPECT_EQ(reentered, 1);
  EXPECT_EQ(f.File(), before);
  z->onProcessMessages = [&] { z->Cancel(); };
  EXPECT_THROW(z->ZipFromBuffer(data.data(), data.size(), "c"), EUserCanceled);
  EXPECT_EQ(f.File(), before);
  EXPECT_EQ(f.Names(), std::vector<std::string>{kArchive});
}

TEST(Zipper, AddsFilesFromDiskByWildcardWithThePathOptions) {
  struct Case {
    const char* name;
    std::function<void(TZipper&)> setup;
    std::vector<std::string> files;
    std::vector<std::string> entries, missing;
  } cases[] = {
      {"plain names, folders dropped", {}, {"C:\\src\\a.txt", "C:\\src\\sub\\c.txt"}, {"a.txt", "c.txt"}, {}},
      {"wildcard, this folder only", {}, {"C:\\src\\*.txt"}, {"a.txt"}, {}},
      {"wildcard with recursion and relative paths",
       [](TZipper& z) {
         z.SetRootDir("C:\\src");
         z.SetRelativePaths(true);
       },
       {"C:\\src\\*.txt"}, {"a.txt", "sub\\c.txt"}, {}},
      {"stored paths, no drive", [](TZipper& z) { z.SetStorePaths(true); }, {"C:\\src\\a.txt"}, {"src\\a.txt"}, {}},
      {"exclusions and missing files",
       [](TZipper& z) {
         z.recurse = true;
         z.excludeList = {"c.*"};
       },
       {"C:\\src\\*.*", "C:\\src\\missing.txt"}, {"a.txt", "b.mp3"}, {"C:\\src\\missing.txt"}},
      {"wildcards in the folder part", [](TZipper& z) { z.SetStorePaths(true); }, {"C:\\S*\\*\\*.txt"},
       {"src\\sub\\c.txt"}, {}},
      {"a folder wildcard before a plain name, and folders that match nothing",
       {},
       {"C:\\?rc\\a.txt", "C:\\?rc\\none.txt", "C:\\x*\\*.txt"},
       {"a.txt"},
       {"C:\\?rc\\none.txt", "C:\\x*\\*.txt"}},
      {"a folder named in the list is no file; the rest is added", {}, {"C:\\src\\sub", "C:\\src\\a.txt"},
       {"a.txt"}, {"C:\\src\\sub"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.fs.Put("C:\\src\\a.txt", Text(2000, 19));
    f.fs.Put("C:\\src\\b.mp3", Text(2000, 20));
    f.fs.Put("C:\\src\\sub\\c.txt", Text(2000, 21));
    auto z = f.Open();
    z->noCompressList = {"*.mp3"};
    std::vector<std::string> missing;
    z->onNoSuchFile = [&](const std::string& n) { missing.push_back(n); };
    if (c.setup) c.setup(*z);
    z->filesList = c.files;
    EXPECT_EQ(z->Zip(), static_cast<int>(c.entries.size()));
    std::vector<std::string> names;
    for (const auto& e : f.Directory()) {
      names.push_back(e.FullName());
      EXPECT_EQ(e.compressionMethod, e.FileName() == "b.mp3" ? 0 : 8);
    }
    EXPECT_EQ(names, c.entries);
    EXPECT_EQ(missing, c.missing);
  }
  // A file gone after the names were expanded is passed over unreported.
  Fixture f;
  f.fs.Put("C:\\src\\a.txt", Text(20, 22));
  f.fs.Put("C:\\src\\b.txt", Text(20, 23));
  auto z = f.Open();
  int missing = 0;
  z->onNoSuchFile = [&](const std::string&) { ++missing; };
  z->onStartZipInfo = [&](int, uint64_t, TEndCentral&, bool&) { f.fs.DeleteFile("C:\\src\\a.txt"); };
  z->filesList = {"C:\\src\\*.txt"};
  EXPECT_EQ(z->Zip(), 1);
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(f.Load("b.txt"), Text(20, 23));
}

TEST(Zipper, ExistingEntriesAreUpdatedFreshenedOrReplacedByDate) {
  const uint32_t kOld = 0x50210000, kNew = 0x5A210000;  // 2020 and 2025, DOS form
  struct Case {
    const char* name;
    TZipAction action;
    uint32_t fileDate;
    bool replaced, added;
  } cases[] = {
      {"update, newer file", TZipAction::zaUpdate, kNew, true, true},
      {"update, older file keeps the entry", TZipAction::zaUpdate, kOld, false, true},
      {"freshen, newer file; a file without entry is added", TZipAction::zaFreshen, kNew, true, true},
      {"freshen, older file keeps the entry", TZipAction::zaFreshen, kOld, false, true},
      {"replace ignores dates", TZipAction::zaReplace, kOld, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    const Bytes old = Text(100, 40), fresh = Text(200, 41), other = Text(50, 42);
    f.Save("a.txt", old);
    // Give the stored entry a date between the two file dates.
    {
      auto z = f.Open();
      z->onStartZip = [](const std::string&, TZipHeaderInfo& h, bool&) { h.lastModFileDateTime = 0x55210000; };
      z->ZipFromBuffer(old.data(), old.size(), "a.txt");
    }
    f.fs.Put("C:\\in\\a.txt", fresh, c.fileDate);
    f.fs.Put("C:\\in\\b.txt", other, c.fileDate);
    auto z = f.Open();
    z->zipAction = c.action;
    z->dispose = true;
    z->filesList = {"C:\\in\\a.txt", "C:\\in\\b.txt"};
    z->Zip();
    EXPECT_EQ(f.Load("a.txt"), c.replaced ? fresh : old);
    EXPECT_EQ(f.Load("b.txt"), c.added ? other : Bytes{});
    // Disposed: exactly the files that went into the archive are deleted.
    EXPECT_EQ(f.fs.FileExists("C:\\in\\a.txt"), !c.replaced);
    EXPECT_EQ(f.fs.FileExists("C:\\in\\b.txt"), !c.added);
  }
}

TEST(Zipper, HandlersSeeTheEntrySizeFirstTheEntriesInArchiveOrderAndABusyComponent) {
  Fixture f;
  f.Save("b", Text(10, 43));
  f.Save("a", Text(10, 44));
  f.fs.Put("C:\\in\\c.txt", Text(2000, 45));
  auto z = f.Open();
  z->Sort(TZipSortMode::ByName);
  z->dispose = true;
  std::vector<uint32_t> sizes;
  std::vector<TZipSortMode> modes;
  std::string firstDuring;
  z->onStartZip = [&](const std::string&, TZipHeaderInfo& h, bool&) {
    sizes.push_back(h.uncompressedSize);
    modes.push_back(z->SortMode());
    firstDuring = z->Entry(0).FullName();
  };
  const Bytes data = Text(1234, 46);
  EXPECT_EQ(z->ZipFromBuffer(data.data(), data.size(), "d"), 1);
  z->filesList = {"C:\\in\\c.txt"};
  int disposed = 0;
  z->onDisposeFile = [&](const std::string&, bool&) {
    ++disposed;
    EXPECT_THROW(z->ZipFromBuffer(data.data(), data.size(), "e"), EZipBusy);
  };
  EXPECT_EQ(z->Zip(), 1);
  EXPECT_EQ(disposed, 1);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{1234, 2000}));
  EXPECT_EQ(modes, (std::vector<TZipSortMode>{TZipSortMode::ByNone, TZipSortMode::ByNone}));
  EXPECT_EQ(firstDuring, "b");
  // Afterwards, and after a cancelled rebuild, the chosen order again.
  EXPECT_EQ(z->SortMode(), TZipSortMode::ByName);
  EXPECT_EQ(z->Entry(0).FullName(), "a");
  z->onStartZipInfo = [](int, uint64_t, TEndCentral&, bool& stop) { stop = true; };
  EXPECT_THROW(z->ZipFromBuffer(data.data(), data.size(), "e"), EUserCanceled);
  EXPECT_EQ(z->SortMode(), TZipSortMode::ByName);
  EXPECT_EQ(z->Count(), 4);
  EXPECT_EQ(f.Load("c.txt"), Text(2000, 45));
}

// Made by `zip -X -fz` from three files of 120, 370 and 120 bytes: zip64
// records and blocks although every value fits 32 bits, and the end
// record's directory offset at 0xFFFFFFFF.
Bytes Zip64ThreeEntries() {
  std::ifstream in(KV_TEST_SOURCE_DIR "/tests/corpus/zip_archive/regress/zip64_rewrite_dropped_entries.zip",
                   std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(Zipper, RewritingAZip64ArchiveKeepsEveryEntry) {
  const Bytes old = Zip64ThreeEntries();
  ASSERT_EQ(old.size(), 1038u);
  Fixture f;
  f.fs.Put(kArchive, old);
  const auto before = f.Directory();
  ASSERT_EQ(before.size(), 3u);
  f.Save("new", Text(500, 50));
  const auto after = f.Directory();
  ASSERT_EQ(after.size(), 4u);
  const std::pair<const char*, uint32_t> kept[] = {{"A", 120}, {"B", 370}, {"C", 120}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(after[i].FullName(), kept[i].first);
    EXPECT_EQ(after[i].uncompressedSize, kept[i].second);
    EXPECT_EQ(LocalRegion(f.File(), after[i]), LocalRegion(old, before[i])) << kept[i].first;
    EXPECT_EQ(f.Load(kept[i].first).size(), kept[i].second) << kept[i].first;  // and its CRC checked
  }
  EXPECT_EQ(f.Load("new"), Text(500, 50));
}

// Two entries; the second's offset lives in its central record's zip64
// block, the record's field at its maximum.
Bytes OffsetInZip64Block() {
  Bytes b = test::BuildZip({{"a", Text(100, 60)}, {"b", Text(200, 61)}});
  const size_t end = test::EndRecordAt(b);
  const size_t second = Get32(b, end + 16) + 46 + 1;  // after a's record
  const uint32_t offset = Get32(b, second + 42);
  test::Put32(b, second + 42, 0xFFFFFFFF);
  test::Put16(b, second + 30, 12);
  const Bytes block = {1, 0, 8, 0, uint8_t(offset), uint8_t(offset >> 8), uint8_t(offset >> 16), uint8_t(offset >> 24),
                       0, 0, 0, 0};
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(second + 46 + 1), block.begin(), block.end());
  test::Put32(b, end + 12 + 12, Get32(b, end + 12 + 12) + 12);  // directory size
  return b;
}

TEST(Zipper, CopiedZip64EntriesKeepTheirDescriptorsAndGetTheirNewOffset) {
  {
    // The offset of a moved entry is patched where the reader found it.
    Fixture f;
    f.fs.Put(kArchive, OffsetInZip64Block());
    f.Save("a", Text(5000, 62));  // b moves
    const auto dir = f.Directory();
    ASSERT_EQ(dir.size(), 2u);
    const Bytes now = f.File();
    EXPECT_EQ(Get32(now, dir[1].relativeOffset), kLocalHeaderSignature);
    const size_t record = Get32(now, now.size() - 22 + 16) + 46 + 1;
    EXPECT_EQ(Get32(now, record + 42), 0xFFFFFFFFu);
    EXPECT_EQ(Get32(now, record + 46 + 1 + 4), dir[1].relativeOffset);
    EXPECT_EQ(f.Load("b"), Text(200, 61));
  }
  // Written by Python without seeking: zip64 blocks in the local headers,
  // so 8-byte sizes in the data descriptors, copied whole.
  std::ifstream in(KV_TEST_SOURCE_DIR "/tests/corpus/zip_archive/zip64_descriptors.zip", std::ios::binary);
  const Bytes python(std::istreambuf_iterator<char>(in), {});
  Fixture f;
  f.fs.Put(kArchive, python);
  const auto before = f.Directory();
  ASSERT_EQ(before.size(), 2u);
  f.Save("new", Text(50, 63));
  const auto after = f.Directory();
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[1].relativeOffset - after[0].relativeOffset, before[1].relativeOffset - before[0].relativeOffset);
  const Bytes now = f.File();
  EXPECT_EQ(Bytes(now.begin(), now.begin() + before[1].relativeOffset),
            Bytes(python.begin(), python.begin() + before[1].relativeOffset));
  EXPECT_EQ(f.Load("b.bin").size(), 256u);
}

TEST(Zipper, ArchivesWhoseDirectoryWasNotReadWholeAreLeftAsTheyAre) {
  Bytes scanned = Zip64ThreeEntries();
  scanned[test::EndRecordAt(scanned) - 20] = 'X';  // no zip64 locator: the directory offset leads nowhere
  const Bytes two = test::BuildZip({{"a", Text(100, 51)}, {"b", Text(100, 52)}});
  Bytes wrapped = two, shortCount = two;
  test::Put16(wrapped, test::EndRecordAt(two) + 10, 0);
  test::Put16(shortCount, test::EndRecordAt(two) + 10, 1);
  Bytes noEnd = two;
  noEnd.resize(test::EndRecordAt(two));
  const std::pair<const char*, Bytes> cases[] = {
      {"directory rebuilt by a scan", scanned},
      {"entry count wrapped to 0", wrapped},
      {"entry count below the records", shortCount},
      {"no end record, scan allowed", noEnd},
  };
  for (const auto& [name, old] : cases) {
    SCOPED_TRACE(name);
    Fixture f;
    f.fs.Put(kArchive, old);
    auto z = f.Open();
    z->incompleteZipMode = TIncompleteZipMode::izAssumeBad;
    const Bytes data = Text(10, 53);
    try {
      z->ZipFromBuffer(data.data(), data.size(), "new");
      ADD_FAILURE() << "rewritten";
    } catch (const EZipDirectoryIncomplete& e) {
      EXPECT_EQ(std::string(e.what()),
                "The directory of \"" + kArchive + "\" could not be read whole; the archive is not rewritten");
    }
    EXPECT_EQ(f.File(), old);
    EXPECT_EQ(f.Names(), std::vector<std::string>{kArchive});
  }
}

TEST(Zipper, AnArchiveHoldsAtMost65535Entries) {
  std::vector<test::TestEntry> entries;
  for (int i = 0; i < 65535; ++i) entries.push_back({"e" + std::to_string(i), {}});
  const Bytes full = test::BuildZip(entries);
  Fixture f;
  f.fs.Put(kArchive, full);
  auto z = f.Open();
  const Bytes data = Text(10, 54);
  EXPECT_THROW(z->ZipFromBuffer(data.data(), data.size(), "one more"), EZipTooLarge);
  EXPECT_EQ(f.File(), full);
  EXPECT_EQ(f.Names(), std::vector<std::string>{kArchive});
  // Replacing one keeps the count.
  EXPECT_EQ(z->ZipFromBuffer(data.data(), data.size(), "e65534"), 1);
  EXPECT_EQ(z->Count(), 65535);
  EXPECT_EQ(f.Load("e65534"), data);
}

// The program writes names in the OEM code page without the UTF-8 flag,
// also where it replaces an entry whose name was flagged; the entries it
// copies keep their names and flags.
TEST(Zipper, NamesAreWrittenInTheOemCodePageAndCopiedAsTheyWere) {
  const std::string ete = "\xE9t\xE9.txt";
  std::ifstream in(KV_TEST_BINARY_DIR "/zip_corpus/py-utf8.zip", std::ios::binary);
  const Bytes python(std::istreambuf_iterator<char>(in), {});
  ASSERT_FALSE(python.empty()) << "corpus missing: the zip_corpus fixture builds it";
  Fixture f;
  f.fs.Put(kArchive, python);
  const auto before = f.Directory();
  f.Save(ete, Text(20, 55));
  const Bytes after = f.File();
  const auto now = f.Directory();
  ASSERT_EQ(now.size(), 2u);
  EXPECT_EQ(now[0].FullName(), ete);
  EXPECT_EQ(now[0].flag & 0x800, 0);
  EXPECT_EQ(Bytes(after.begin() + 30, after.begin() + 30 + 7), Bytes({0x82, 't', 0x82, '.', 't', 'x', 't'}));
  EXPECT_EQ(f.Load(ete), Text(20, 55));
  EXPECT_EQ(now[1].flag & 0x800, 0x800);
  EXPECT_EQ(LocalRegion(after, now[1]), LocalRegion(python, before[1]));
  EXPECT_EQ(f.Load("snow ?.txt"), Bytes({'c', 'o', 'l', 'd'}));
}

}  // namespace
}  // namespace kv
