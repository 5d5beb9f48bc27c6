// Writing multi-part sets without losing the old one: a blocks set's parts
// moved into place together, a spanned set's disks written only after the
// last question but the commit's, rewrites of spanned sets, records that
// must lie whole on one part, and what the component shows afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "tests/zip/zipper_test_util.h"
#include "zip/unzipper.h"
#include "zip/zip_errors.h"
#include "zip/zip_files.h"
#include "zip/zipper.h"

namespace kv {
namespace {

using namespace ziptest;

constexpr int64_t kPart = kMinPartSize;

// Fails moves (every commit and rename goes through ReplaceFile): the
// failAt-th one, once, or every move from or onto a locked name (a file
// another program holds open without delete sharing).
class MoveFailingFileSystem : public TMemoryFileSystem {
 public:
  int failAt = 0;
  int moves = 0;
  std::string locked;
  void ReplaceFile(const std::string& source, const std::string& target) override {
    ++moves;
    if (moves == failAt || (!locked.empty() && (source == locked || target == locked))) {
      throw EZipWriteError("Cannot move \"" + source + "\" to \"" + target + "\"");
    }
    TMemoryFileSystem::ReplaceFile(source, target);
  }
};

#ifndef _WIN32
// For the reference tools.
void SaveBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
#endif

std::map<std::string, Bytes> Snapshot(const TMemoryFileSystem& fs) {
  std::map<std::string, Bytes> out;
  for (const auto& [name, f] : fs.Files()) out[name] = *f.bytes;
  return out;
}

void SetBlocks(TZipper& z) {
  z.multiZipInfo.multiMode = TMultiMode::mmBlocks;
  z.multiZipInfo.blockSize = z.multiZipInfo.firstBlockSize = kPart;
  z.packLevel = 0;
}

// The probe of the fault: set.001, set.002 and set.zip holding 150,000
// stored bytes, one entry replaced, a move failing at each step in turn.
TEST(ZipSetCommit, AFailedMoveAtAnyStepLeavesEveryOldPartByteForByte) {
  const Bytes oldData = Random(150000, 11), newData = Random(150000, 12);
  const auto make = [&](MoveFailingFileSystem& fs, MemoryDisk& disk) {
    TZipper z(fs, disk);
    z.SetZipName("C:\\set.zip");
    SetBlocks(z);
    z.ZipFromBuffer(oldData.data(), oldData.size(), "big.bin");
  };
  int failures = 0;
  for (int failAt = 1;; ++failAt) {
    ASSERT_LT(failAt, 20);
    MoveFailingFileSystem fs;
    MemoryDisk disk(fs);
    make(fs, disk);
    const auto before = Snapshot(fs);
    ASSERT_EQ(before.size(), 3u);
    fs.moves = 0;
    fs.failAt = failAt;
    TZipper z(fs, disk);
    z.SetZipName("C:\\set.zip");
    SetBlocks(z);
    try {
      z.ZipFromBuffer(newData.data(), newData.size(), "big.bin");
    } catch (const EZipWriteError&) {
      ++failures;
      EXPECT_EQ(Snapshot(fs), before) << "move " << failAt << " failed";
      // The old set still reads.
      TUnZipper u(fs);
      u.SetZipName("C:\\set.zip");
      TMemoryStream out;
      EXPECT_EQ(u.UnZipToStream(out, "big.bin"), 1);
      EXPECT_EQ(out.Bytes(), oldData);
      continue;
    }
    // Three old parts put aside and three new ones moved in.
    EXPECT_EQ(failures, 6);
    TUnZipper u(fs);
    u.SetZipName("C:\\set.zip");
    TMemoryStream out;
    EXPECT_EQ(u.UnZipToStream(out, "big.bin"), 1);
    EXPECT_EQ(out.Bytes(), newData);
    std::vector<std::string> names;
    for (const auto& [name, f] : fs.Files()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"C:\\set.001", "C:\\set.002", "C:\\set.zip"}));
    break;
  }

  // A part held open by another program, and a read-only part: refused,
  // every old part as it was.
  for (int kind = 0; kind < 2; ++kind) {
    MoveFailingFileSystem fs;
    MemoryDisk disk(fs);
    make(fs, disk);
    if (kind == 0) fs.locked = "C:\\set.002";
    if (kind == 1) fs.SetFileDateAndAttributes("C:\\set.zip", 0, 0x21);
    const auto before = Snapshot(fs);
    TZipper z(fs, disk);
    z.SetZipName("C:\\set.zip");
    SetBlocks(z);
    EXPECT_THROW(z.ZipFromBuffer(newData.data(), newData.size(), "big.bin"), EZipWriteError) << kind;
    EXPECT_EQ(Snapshot(fs), before) << kind;
  }
}

// A removable drive A whose media each have 70,000 free bytes.
template <class FileSystem = TMemoryFileSystem>
struct FloppiesOf {
  FileSystem fs;
  MemoryDisk disk{fs};
  FloppiesOf() {
    fs.SetDrive('A', {true, 70000, ""});
    fs.InsertDisk('A', 1);
    fs.SetDrive('A', {true, 70000, ""});
  }
  void Insert(int n) {
    fs.InsertDisk('A', n);
    if (!fs.FreeSpace("A:\\")) fs.SetDrive('A', {true, 70000, fs.VolumeLabel("A:\\")});
  }
  // The files of each medium 1..n, leaving disk `back` in the drive.
  std::map<int, std::map<std::string, Bytes>> Media(int n, int back) {
    std::map<int, std::map<std::string, Bytes>> out;
    for (int k = 1; k <= n; ++k) {
      Insert(k);
      out[k] = Snapshot(fs);
      for (auto it = out[k].begin(); it != out[k].end();) {
        it = it->first.rfind("A:", 0) == 0 ? std::next(it) : out[k].erase(it);
      }
    }
    Insert(back);
    return out;
  }
  void Spanned(TZipper& z) {
    z.SetZipName("A:\\set.zip");
    z.SetMultiMode(TMultiMode::mmSpan);
    z.packLevel = 0;
    z.onGetNextDisk = [this](int n, std::string&) { Insert(n); };
  }
  // The old set: a.bin, then b.bin, over three disks; disk 3 left in the drive.
  void WriteOldSet(const Bytes& a, const Bytes& b) {
    {
      TZipper z(fs, disk);
      Spanned(z);
      z.ZipFromBuffer(a.data(), a.size(), "a.bin");
      Insert(z.LastDisk() + 1);
      z.ZipFromBuffer(b.data(), b.size(), "b.bin");
      ASSERT_EQ(z.LastDisk(), 2);
    }
    Insert(3);
  }
  // Read with the last disk (1..) in the drive first, as a user starts.
  std::map<std::string, Bytes> ReadAll(int lastDisk) {
    Insert(lastDisk);
    TUnZipper u(fs);
    u.SetZipName("A:\\set.zip");
    u.onGetNextDisk = [this](int n, std::string&) { Insert(n); };
    u.ReadZip();
    std::map<std::string, Bytes> out;
    for (int i = 0; i < u.Count(); ++i) {
      TMemoryStream s;
      const std::string name = u.FileName(i);
      EXPECT_EQ(u.UnZipToStream(s, name), 1) << name;
      out[name] = s.Bytes();
    }
    return out;
  }
};

using Floppies = FloppiesOf<>;

// Fails the failAt-th file made on drive A: its writes report a full disk;
// refuses to set the label refusedLabel.
class DiskWriteFailingFileSystem : public TMemoryFileSystem {
 public:
  int failAt = 0;
  int created = 0;
  std::optional<std::string> refusedLabel;
  std::unique_ptr<TStream> Open(const std::string& name, TFileOpenMode mode) override {
    auto inner = TMemoryFileSystem::Open(name, mode);
    if (mode != TFileOpenMode::Create || name.rfind("A:", 0) != 0 || ++created != failAt) return inner;
    return std::make_unique<FullDisk>(std::move(inner));
  }
  bool SetVolumeLabel(const std::string& root, const std::string& label) override {
    return label != refusedLabel && TMemoryFileSystem::SetVolumeLabel(root, label);
  }

 private:
  class FullDisk : public TStream {
   public:
    explicit FullDisk(std::unique_ptr<TStream> inner) : inner_(std::move(inner)) {}
    int64_t Read(void* b, int64_t n) override { return inner_->Read(b, n); }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t o, TSeekOrigin w) override { return inner_->Seek(o, w); }
    int64_t Size() override { return inner_->Size(); }

   private:
    std::unique_ptr<TStream> inner_;
  };
};

// The files an error names as kept: "old" and "new" set, by disk (the
// lists read "disk <n>: "<name>", ...").
std::map<std::string, std::map<int, std::string>> KeptFiles(const std::string& error) {
  std::map<std::string, std::map<int, std::string>> out;
  for (const std::string which : {"old", "new"}) {
    const std::string head = which + " set's parts (";
    size_t at = error.find(head);
    if (at == std::string::npos) continue;
    at += head.size();
    const size_t end = error.find(')', at);
    for (size_t disk; (disk = error.find("disk ", at)) < end;) {
      const size_t open = error.find(": \"", disk), close = error.find('"', open + 3);
      out[which][std::stoi(error.substr(disk + 5, open - disk - 5))] = error.substr(open + 3, close - open - 3);
      at = close + 1;
    }
  }
  return out;
}

// The probe of the fault: an old set of three disks holding a.bin and
// b.bin, a.bin replaced; a cancel at each question in turn, then a write
// error on each disk in turn. Afterwards the old set reads whole from its
// disks, or the error names the copies of the old parts it replaced and the
// staged new parts, and each set, put on its disks, reads whole.
TEST(ZipSetCommit, AFailedSpannedRewriteLeavesTheOldSetOrKeepsItsPartsAndTheNewSet) {
  const Bytes a = Random(80000, 40), b = Random(60000, 41), newA = Random(80000, 42);
  const std::map<std::string, Bytes> oldContent{{"a.bin", a}, {"b.bin", b}}, newContent{{"a.bin", newA}, {"b.bin", b}};
  int whole = 0, kept = 0;
  for (const bool cancel : {true, false}) {
    for (int n = 1;; ++n) {
      ASSERT_LT(n, 30);
      SCOPED_TRACE((cancel ? "cancel at question " : "write error on disk file ") + std::to_string(n));
      FloppiesOf<DiskWriteFailingFileSystem> f;
      f.WriteOldSet(a, b);
      TZipper z(f.fs, f.disk);
      f.Spanned(z);
      int asked = 0;
      z.onGetNextDisk = [&](int disk, std::string& name) {
        if (cancel && ++asked == n) {
          name.clear();
          return;
        }
        f.Insert(disk);
      };
      f.fs.created = 0;
      f.fs.failAt = cancel ? 0 : n;
      std::string error;
      try {
        z.ZipFromBuffer(newA.data(), newA.size(), "a.bin");
      } catch (const EUserCanceled& e) {
        EXPECT_TRUE(cancel);
        error = e.what();
      } catch (const EZipWriteError& e) {
        EXPECT_FALSE(cancel);
        error = e.what();
      }
      f.fs.failAt = 0;
      if (error.empty()) {
        EXPECT_EQ(f.ReadAll(z.LastDisk() + 1), newContent);
        break;
      }
      SCOPED_TRACE(error);
      for (const auto& [disk, files] : f.Media(3, 3)) {
        for (const auto& [name, bytes] : files) EXPECT_EQ(name, "A:\\set.zip") << "disk " << disk;
      }
      const auto files = KeptFiles(error);
      std::set<std::string> named;
      for (const auto& [which, list] : files) {
        for (const auto& [disk, name] : list) named.insert(name);
      }
      for (const auto& [name, file] : f.fs.Files()) {
        if (name.rfind("C:\\", 0) == 0) {
          EXPECT_EQ(named.count(name), 1u) << name << " is left and not named";
        }
      }
      if (files.empty()) {
        ++whole;
        EXPECT_EQ(f.ReadAll(3), oldContent);
        continue;
      }
      ++kept;
      ASSERT_EQ(files.size(), 2u);
      for (const auto& [disk, name] : files.at("old")) {
        f.Insert(disk);
        f.fs.Put("A:\\set.zip", *f.fs.Files().at(name).bytes);
      }
      EXPECT_EQ(f.ReadAll(3), oldContent);
      Floppies fresh;
      ASSERT_EQ(files.at("new").size(), 3u);
      for (const auto& [disk, name] : files.at("new")) {
        fresh.Insert(disk);
        fresh.fs.Put("A:\\set.zip", *f.fs.Files().at(name).bytes);
        fresh.fs.SetVolumeLabel("A:\\", "PKBACK# 00" + std::to_string(disk));
      }
      EXPECT_EQ(fresh.ReadAll(3), newContent);
    }
  }
  // A failure on the first disk written leaves the old set whole; later
  // ones leave it broken on the disks written before.
  EXPECT_GT(whole, 0);
  EXPECT_GT(kept, 0);
}

// An old set of three disks rewritten into four: the commit writes disk 4,
// then disk 3, and fails before disk 2 changes. Disks 1-3 hold the old set
// whole; disk 4, blank before, is asked for again and left blank, without
// the set's label. Refused, it is named in the error; so is the label it
// keeps when its blank one cannot be put back. Left in the drive, the error
// says to put disk 3 back, with which the component reads the old set.
TEST(ZipSetCommit, AFailedRewriteThatGrowsASpannedSetLeavesItsNewDiskBlank) {
  const Bytes a = Random(80000, 47), b = Random(60000, 48), bigA = Random(160000, 49);
  const std::map<std::string, Bytes> oldContent{{"a.bin", a}, {"b.bin", b}};
  const std::string putBack = "; put disk 3 back in the drive to read the old set of \"A:\\set.zip\"";
  struct Case {
    const char* what;
    bool cancelDisk2;   // the commit's question for disk 2 refused
    int failWrite;      // else the n-th file written on A: reports a full disk
    bool refuseDisk4;   // the question that asks disk 4 back refused too
    bool keepsLabel;    // the drive refuses to put disk 4's blank label back
  };
  for (const Case c : {Case{"cancel at disk 2", true, 0, false, false},
                       Case{"write error on disk 3", false, 2, false, false},
                       Case{"disk 4 not given back", true, 0, true, false},
                       Case{"disk 4 keeps the set's label", true, 0, false, true}}) {
    SCOPED_TRACE(c.what);
    FloppiesOf<DiskWriteFailingFileSystem> f;
    f.WriteOldSet(a, b);
    TZipper z(f.fs, f.disk);
    f.Spanned(z);
    std::vector<int> asked;
    z.onGetNextDisk = [&](int disk, std::string& name) {
      // Disk 4 is asked for first while the parts are measured.
      const auto disk4Asked = std::count(asked.begin(), asked.end(), 4);
      asked.push_back(disk);
      if ((c.cancelDisk2 && disk == 2 && disk4Asked > 0) || (c.refuseDisk4 && disk == 4 && disk4Asked > 0)) {
        name.clear();
        return;
      }
      f.Insert(disk);
    };
    f.fs.created = 0;
    f.fs.failAt = c.failWrite;
    if (c.keepsLabel) f.fs.refusedLabel = "";
    std::string error;
    try {
      z.ZipFromBuffer(bigA.data(), bigA.size(), "a.bin");
    } catch (const EUserCanceled& e) {
      EXPECT_TRUE(c.cancelDisk2);
      error = e.what();
    } catch (const EZipWriteError& e) {
      EXPECT_FALSE(c.cancelDisk2);
      error = e.what();
    }
    f.fs.failAt = 0;
    f.fs.refusedLabel.reset();
    ASSERT_FALSE(error.empty());
    EXPECT_EQ(asked.back(), 4);
    const auto media = f.Media(4, 4);
    if (c.refuseDisk4) {
      EXPECT_NE(error.find("disk 4: \"A:\\set.zip\""), std::string::npos) << error;
      EXPECT_EQ(media.at(4).size(), 1u);
      EXPECT_EQ(error.find("put disk"), std::string::npos) << error;  // disk 3 is still in the drive
    } else {
      EXPECT_TRUE(media.at(4).empty());
      if (c.keepsLabel) {
        EXPECT_NE(error.find("; disks whose old label could not be put back (disk 4: \"PKBACK# 004\" instead of \"\")"),
                  std::string::npos)
            << error;
        EXPECT_EQ(f.fs.VolumeLabel("A:\\"), "PKBACK# 004");
      } else {
        EXPECT_EQ(error.find("disk 4"), std::string::npos) << error;
        EXPECT_EQ(f.fs.VolumeLabel("A:\\"), "");
      }
      // Blank disk 4 is in the drive, as the failure left it: the disk the
      // error names is the one the component reads the old set with.
      EXPECT_TRUE(error.ends_with(putBack)) << error;
      z.onGetNextDisk = [&f](int n, std::string&) { f.Insert(n); };
      f.Insert(3);
      TMemoryStream out;
      EXPECT_EQ(z.UnZipToStream(out, "b.bin"), 1);
      EXPECT_EQ(out.Bytes(), b);
    }
    for (const auto& [name, file] : f.fs.Files()) EXPECT_NE(name.rfind("C:\\", 0), 0u) << name;
    EXPECT_EQ(f.ReadAll(3), oldContent);
  }
}

// An old spanned set rewritten with the multi-disk setting at its default
// stays a spanned set: nothing is written on a disk before the set is
// staged whole, and no temporary file stays on any disk.
TEST(ZipSetCommit, ASpannedSetRewrittenInTheDefaultModeStaysSpanned) {
  Floppies f;
  const Bytes a = Random(80000, 43), b = Random(60000, 44), newA = Random(50000, 45);
  f.WriteOldSet(a, b);
  TZipper z(f.fs, f.disk);
  z.SetZipName("A:\\set.zip");
  z.packLevel = 0;
  z.onGetNextDisk = [&](int n, std::string&) { f.Insert(n); };
  EXPECT_EQ(z.ZipFromBuffer(newA.data(), newA.size(), "a.bin"), 1);
  EXPECT_EQ(z.MultiMode(), TMultiMode::mmSpan);
  const int last = z.LastDisk() + 1;
  for (const auto& [disk, files] : f.Media(3, last)) {
    for (const auto& [name, bytes] : files) EXPECT_EQ(name, "A:\\set.zip") << "disk " << disk;
  }
  for (const auto& [name, file] : f.fs.Files()) EXPECT_NE(name.rfind("C:\\", 0), 0u) << name;
  EXPECT_EQ(f.ReadAll(last), (std::map<std::string, Bytes>{{"a.bin", newA}, {"b.bin", b}}));
}

// A set written on a removable drive other than A: or B: (whose disks the
// writer leaves unlabelled: a label there is the user's) reads back with
// the default settings. A label of the writer's form is checked anywhere.
TEST(ZipSetCommit, ASetOnAnotherRemovableDriveReadsWithTheDefaults) {
  TMemoryFileSystem fs;
  MemoryDisk disk(fs);
  const auto insert = [&](int n) {
    fs.InsertDisk('E', n);
    if (!fs.FreeSpace("E:\\")) fs.SetDrive('E', {true, 70000, "MUSIC"});
  };
  insert(1);
  const Bytes big = Random(150000, 46);
  {
    TZipper z(fs, disk);
    z.SetZipName("E:\\set.zip");
    z.SetMultiMode(TMultiMode::mmSpan);
    z.packLevel = 0;
    z.onGetNextDisk = [&](int n, std::string&) { insert(n); };
    z.ZipFromBuffer(big.data(), big.size(), "big.bin");
    ASSERT_EQ(z.LastDisk(), 2);
  }
  insert(3);
  int asked = 0;
  const auto read = [&] {
    TUnZipper u(fs);
    u.SetZipName("E:\\set.zip");
    u.onGetNextDisk = [&](int n, std::string&) {
      ++asked;
      insert(n);
    };
    TMemoryStream out;
    EXPECT_EQ(u.UnZipToStream(out, "big.bin"), 1);
    return out.Bytes();
  };
  EXPECT_EQ(read(), big);
  EXPECT_EQ(fs.VolumeLabel("E:\\"), "MUSIC");
  EXPECT_LT(asked, 10);
  insert(2);
  fs.SetVolumeLabel("E:\\", "PKBACK# 003");
  insert(3);
  EXPECT_THROW(read(), EIncompleteZip);
}

// The probe: an old single-file archive on disk 1, a spanned write adding
// 150,000 bytes over three disks, cancelled at each disk question in turn.
TEST(ZipSetCommit, ACancelAtAnyDiskQuestionLeavesDisk1AsItWas) {
  const Bytes small = Text(2000, 13), big = Random(150000, 14);
  int questions = 0;
  for (int cancelAt = 1;; ++cancelAt) {
    ASSERT_LT(cancelAt, 20);
    Floppies f;
    {
      TZipper z(f.fs, f.disk);
      z.SetZipName("A:\\set.zip");
      z.ZipFromBuffer(small.data(), small.size(), "small.txt");
    }
    const auto before = f.Media(3, 1);
    TZipper z(f.fs, f.disk);
    f.Spanned(z);
    int asked = 0;
    z.onGetNextDisk = [&](int n, std::string& name) {
      if (++asked == cancelAt) {
        name.clear();
        return;
      }
      f.Insert(n);
    };
    try {
      z.ZipFromBuffer(big.data(), big.size(), "big.bin");
    } catch (const EUserCanceled&) {
      const auto after = f.Media(3, 1);
      EXPECT_EQ(after.at(1), before.at(1)) << "cancelled at question " << cancelAt;
      EXPECT_EQ(f.fs.VolumeLabel("A:\\"), "");
      // Nothing is staged any more.
      for (const auto& [name, file] : f.fs.Files()) EXPECT_EQ(name.rfind("C:\\TEMP", 0), std::string::npos) << name;
      // While the parts are only measured, nothing is written on any disk.
      if (cancelAt <= 2) {
        EXPECT_EQ(after, before) << cancelAt;
      }
      continue;
    }
    questions = cancelAt - 1;
    EXPECT_EQ(z.LastDisk(), 2);
    EXPECT_EQ(f.ReadAll(3), (std::map<std::string, Bytes>{{"small.txt", small}, {"big.bin", big}}));
    break;
  }
  EXPECT_EQ(questions, 4);  // disks 2 and 3 measured, then 2 and 1 written
}

// A move failing at each step of a spanned write (the parts' commits on
// their disks): disk 1 is as it was, and no temporary file stays on any
// disk or in the temporary folder.
TEST(ZipSetCommit, AFailedMoveOnAnyDiskLeavesDisk1AsItWas) {
  const Bytes small = Text(2000, 30), big = Random(150000, 31);
  int failures = 0;
  for (int failAt = 1;; ++failAt) {
    ASSERT_LT(failAt, 20);
    FloppiesOf<MoveFailingFileSystem> f;
    {
      TZipper z(f.fs, f.disk);
      z.SetZipName("A:\\set.zip");
      z.ZipFromBuffer(small.data(), small.size(), "small.txt");
    }
    const auto before = f.Media(3, 1);
    f.fs.moves = 0;
    f.fs.failAt = failAt;
    TZipper z(f.fs, f.disk);
    f.Spanned(z);
    try {
      z.ZipFromBuffer(big.data(), big.size(), "big.bin");
    } catch (const EZipWriteError&) {
      ++failures;
      const auto after = f.Media(3, 1);
      EXPECT_EQ(after.at(1), before.at(1)) << "move " << failAt;
      for (const auto& [disk, files] : after) {
        for (const auto& [name, bytes] : files) EXPECT_EQ(name, "A:\\set.zip") << "move " << failAt << ", disk " << disk;
      }
      for (const auto& [name, file] : f.fs.Files()) EXPECT_NE(name.rfind("C:\\", 0), 0u) << name;
      continue;
    }
    EXPECT_EQ(failures, 3);  // one move per disk
    EXPECT_EQ(f.ReadAll(3), (std::map<std::string, Bytes>{{"small.txt", small}, {"big.bin", big}}));
    break;
  }
}

// Adding to, replacing in and re-commenting a spanned set: the old set is
// read from its disks into the temporary folder, then the disks are asked
// for in order. No temporary file stays on any disk or in the folder.
TEST(ZipSetCommit, ASpannedSetCanBeRewritten) {
  Floppies f;
  std::map<std::string, Bytes> content{{"one.bin", Random(90000, 15)}, {"two.txt", Text(30000, 16)}};
  int last = 1;  // the disk that holds the end record
  size_t entries = 0;
  const auto write = [&](const std::function<void(TZipper&)>& action) {
    f.Insert(last);
    TZipper z(f.fs, f.disk);
    f.Spanned(z);
    action(z);
    // The component shows the set written, without asking for a disk.
    EXPECT_EQ(z.Count(), static_cast<int>(entries));
    EXPECT_EQ(z.MultiMode(), TMultiMode::mmSpan);
    last = z.LastDisk() + 1;
  };
  const auto add = [&](const std::string& name, size_t count) {
    entries = count;
    write([&](TZipper& z) { EXPECT_EQ(z.ZipFromBuffer(content[name].data(), content[name].size(), name), 1) << name; });
  };
  const auto clean = [&] {
    for (const auto& [disk, files] : f.Media(4, 1)) {
      for (const auto& [name, bytes] : files) EXPECT_EQ(name, "A:\\set.zip") << "disk " << disk;
    }
    for (const auto& [name, file] : f.fs.Files()) EXPECT_EQ(name.rfind("C:\\", 0), std::string::npos) << name;
  };
  add("one.bin", 1);
  add("two.txt", 2);
  EXPECT_GE(last, 2);
  EXPECT_EQ(f.ReadAll(last), content);
  clean();
  content["three.bin"] = Random(40000, 17);
  add("three.bin", 3);
  EXPECT_EQ(f.ReadAll(last), content);
  content["one.bin"] = Random(20000, 18);  // replaced in its place
  add("one.bin", 3);
  EXPECT_EQ(f.ReadAll(last), content);
  clean();
  write([&](TZipper& z) {
    z.ReadZip();
    z.SetZipComment("a spanned set");
    z.SaveModifiedZipFile();
  });
  EXPECT_EQ(f.ReadAll(last), content);
  clean();
  f.Insert(last);
  TUnZipper u(f.fs);
  u.SetZipName("A:\\set.zip");
  u.ReadZip();
  EXPECT_EQ(u.ZipComment(), "a spanned set");
  // The labels say each disk's number.
  for (int k = 1; k <= last; ++k) {
    f.Insert(k);
    EXPECT_EQ(GetVolumeLabel(f.fs, "A:"), "PKBACK# 00" + std::to_string(k));
  }
}

// The label check set in the writer's multi-part settings reaches the
// reader, and a swap records the date of the part it opens: the next call
// does not take disk 1 for a changed archive.
TEST(ZipSetCommit, TheLabelSettingAndThePartsDateReachTheReader) {
  Floppies f;
  const Bytes first = Random(30000, 28), second = Random(90000, 29);
  int disks = 0;
  {
    TZipper z(f.fs, f.disk);
    f.Spanned(z);
    z.ZipFromBuffer(first.data(), first.size(), "first.bin");
    f.Insert(z.LastDisk() + 1);
    z.ZipFromBuffer(second.data(), second.size(), "second.bin");
    disks = z.LastDisk() + 1;
    ASSERT_GE(disks, 2);
  }
  for (int k = 1; k <= disks; ++k) {
    f.Insert(k);
    f.fs.SetDrive('A', {true, 70000, "WRONG"});
    f.fs.SetFileDateAndAttributes("A:\\set.zip", 0x5a210000 + static_cast<uint32_t>(k), std::nullopt);
  }
  TZipper z(f.fs, f.disk);
  z.SetZipName("A:\\set.zip");
  int asked = 0;
  z.onGetNextDisk = [&](int n, std::string&) {
    ++asked;
    f.Insert(n);
  };
  z.multiZipInfo.checkDiskLabels = false;  // set directly, not through SetCheckDiskLabels
  // The labels are wrong: only unchecked are the disks taken.
  for (int call = 0; call < 2; ++call) {
    TMemoryStream out;
    EXPECT_EQ(z.UnZipToStream(out, "first.bin"), 1);
    EXPECT_EQ(out.Bytes(), first);
  }
  // Disk 1 stayed in the drive: its part's date was recorded, so the second
  // call did not take it for a changed archive (whose directory it does not
  // hold). It asks for disk 1 again: a closed set cannot know which disk
  // the drive holds.
  EXPECT_EQ(asked, 2);
}

// A file opened on a disk refuses reads and writes once the disk is out.
TEST(ZipSetCommit, TheMemoryDiskRefusesFilesOfADiskTakenOut) {
  Floppies f;
  auto file = f.fs.Open("A:\\x", TFileOpenMode::Create);
  file->WriteBuffer("ab", 2);
  f.Insert(2);
  EXPECT_THROW(file->WriteBuffer("cd", 2), EZipWriteError);
  uint8_t b[2];
  EXPECT_THROW(file->Read(b, 2), EZipWriteError);
  EXPECT_FALSE(f.fs.FileExists("A:\\x"));
  f.Insert(1);
  file->WriteBuffer("cd", 2);
  EXPECT_EQ(*f.fs.Files().at("A:\\x").bytes, Bytes({'a', 'b', 'c', 'd'}));
  EXPECT_TRUE(SetVolLabel(f.fs, "A:\\x", "LABEL"));
  EXPECT_EQ(GetVolumeLabel(f.fs, "a:"), "LABEL");
}

// The end record with its comment and every header lie whole on one part:
// a maximal comment does not fit a 64 KiB block and is refused before
// anything is written; on a disk with room it reads back.
TEST(ZipSetCommit, ARecordThatFitsNoPartIsRefusedBeforeAnythingIsWritten) {
  TMemoryFileSystem fs;
  MemoryDisk disk(fs);
  const Bytes data = Random(100000, 19);
  {
    TZipper z(fs, disk);
    z.SetZipName("C:\\set.zip");
    SetBlocks(z);
    z.ZipFromBuffer(data.data(), data.size(), "data.bin");
  }
  const auto before = Snapshot(fs);
  for (size_t length : {size_t{65535}, size_t{65530}}) {
    TZipper z(fs, disk);
    z.SetZipName("C:\\set.zip");
    SetBlocks(z);
    z.ReadZip();
    z.SetZipComment(std::string(length, 'c'));
    EXPECT_THROW(z.SaveModifiedZipFile(), EZipUnsupported) << length;
    EXPECT_EQ(Snapshot(fs), before) << length;
  }
  // The largest comment that fits the last part beside nothing else.
  {
    TZipper z(fs, disk);
    z.SetZipName("C:\\set.zip");
    SetBlocks(z);
    z.ReadZip();
    z.SetZipComment(std::string(kPart - 22, 'c'));
    z.SaveModifiedZipFile();
  }
  const Bytes& last = *fs.Files().at("C:\\set.zip").bytes;
  EXPECT_EQ(static_cast<int64_t>(last.size()), kPart);  // the end record alone on the last part
  EXPECT_EQ(test::Get32(last, 0), 0x06054b50u);
  TUnZipper u(fs);
  u.SetZipName("C:\\set.zip");
  TMemoryStream out;
  EXPECT_EQ(u.UnZipToStream(out, "data.bin"), 1);
  EXPECT_EQ(out.Bytes(), data);
  EXPECT_EQ(u.ZipComment(), std::string(kPart - 22, 'c'));

  // A maximal comment on a spanned set: each disk has room for it.
  Floppies f;
  int lastDisk = 0;
  {
    TZipper z(f.fs, f.disk);
    f.Spanned(z);
    z.ZipFromBuffer(data.data(), data.size(), "data.bin");
    f.Insert(z.LastDisk() + 1);
    z.SetZipComment(std::string(65535, 'm'));
    z.SaveModifiedZipFile();
    lastDisk = z.LastDisk() + 1;
  }
  EXPECT_EQ(f.ReadAll(lastDisk), (std::map<std::string, Bytes>{{"data.bin", data}}));
  f.Insert(lastDisk);
  TUnZipper s(f.fs);
  s.SetZipName("A:\\set.zip");
  s.onGetNextDisk = [&](int n, std::string&) { f.Insert(n); };
  s.ReadZip();
  EXPECT_EQ(s.ZipComment(), std::string(65535, 'm'));
}

// Once the new archive is in place the write has succeeded: the call
// reports success and shows the directory written, even where the file
// could not be read back then (a disk question cancelled, the file taken
// away).
TEST(ZipSetCommit, AWriteThatCommittedReportsSuccess) {
  struct ReadBackFails : MoveFailingFileSystem {
    bool refuse = false;
    std::unique_ptr<TStream> Open(const std::string& name, TFileOpenMode mode) override {
      if (refuse && moves > 0 && mode == TFileOpenMode::ReadDenyWrite) throw EUserCanceled("User canceled loading new disk.");
      return MoveFailingFileSystem::Open(name, mode);
    }
  } fs;
  MemoryDisk disk(fs);
  TZipper z(fs, disk);
  z.SetZipName("C:\\a.zip");
  const Bytes one = Text(100, 23), two = Text(200, 24);
  z.ZipFromBuffer(one.data(), one.size(), "one.txt");
  fs.moves = 0;
  fs.refuse = true;
  EXPECT_EQ(z.ZipFromBuffer(two.data(), two.size(), "two.txt"), 1);
  EXPECT_EQ(z.Count(), 2);  // taken from what was written
  fs.refuse = false;
  z.ReadZip();
  EXPECT_EQ(z.Count(), 2);
  TMemoryStream out;
  EXPECT_EQ(z.UnZipToStream(out, "two.txt"), 1);
  EXPECT_EQ(out.Bytes(), two);
}

// The fuzz seed of a set whose end record starts its last part: split at
// the record, it reads as a two-part blocks set.
TEST(ZipSetCommit, ASetWhoseEndRecordStartsTheLastPartReads) {
  std::ifstream in(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/zip_archive/set_end_record_at_part_boundary.zip",
                   std::ios::binary);
  const Bytes seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(seed.size(), 159u);
  const size_t cut = test::EndRecordAt(seed);
  TMemoryFileSystem fs;
  fs.Put("C:\\in.001", Bytes(seed.begin(), seed.begin() + static_cast<std::ptrdiff_t>(cut)));
  fs.Put("C:\\in.zip", Bytes(seed.begin() + static_cast<std::ptrdiff_t>(cut), seed.end()));
  TUnZipper u(fs);
  u.SetZipName("C:\\in.zip");
  TMemoryStream out;
  EXPECT_EQ(u.UnZipToStream(out, "a.txt"), 1);
  EXPECT_EQ(out.Text(), "hello, parts");
  EXPECT_EQ(u.MultiMode(), TMultiMode::mmBlocks);
  EXPECT_EQ(u.ZipComment(), "the end record starts the last part");
}

// The bytes before the first entry (a self-extractor's program) are kept
// when asked for: the program and every entry read back.
TEST(ZipSetCommit, TheSelfExtractorsProgramIsKeptOnRequest) {
  TMemoryFileSystem fs;
  MemoryDisk disk(fs);
  Bytes archive = test::BuildZip({{"a.txt", test::Bytes("first")}, {"b.txt", test::Bytes("second")}});
  // The program before the archive; offsets count from the file's start.
  const Bytes stub = Text(3000, 20);
  const size_t end = test::EndRecordAt(archive);
  size_t at = test::Get32(archive, end + 16);
  for (int i = 0; i < test::Get16(archive, end + 10); ++i) {
    test::Put32(archive, at + 42, test::Get32(archive, at + 42) + static_cast<uint32_t>(stub.size()));
    at += 46 + test::Get16(archive, at + 28) + test::Get16(archive, at + 30) + test::Get16(archive, at + 32);
  }
  test::Put32(archive, end + 16, test::Get32(archive, end + 16) + static_cast<uint32_t>(stub.size()));
  Bytes sfx = stub;
  sfx.insert(sfx.end(), archive.begin(), archive.end());
  for (bool keep : {true, false}) {
    fs.Put("C:\\sfx.exe", sfx);
    TZipper z(fs, disk);
    z.SetZipName("C:\\sfx.exe");
    z.keepSelfExtractorStub = keep;
    const Bytes c = test::Bytes("third");
    z.ZipFromBuffer(c.data(), c.size(), "c.txt");
    const Bytes& now = *fs.Files().at("C:\\sfx.exe").bytes;
    EXPECT_EQ(Bytes(now.begin(), now.begin() + (keep ? 3000 : 4)), keep ? stub : Bytes({'P', 'K', 3, 4})) << keep;
#ifndef _WIN32
    // Info-ZIP tests the self-extractor as written.
    if (keep && std::system("command -v unzip >/dev/null") == 0) {
      const std::string path = std::string(KV_TEST_BINARY_DIR) + "/zip_sfx_oracle.exe";
      SaveBytes(path, now);
      EXPECT_EQ(std::system(("unzip -tq '" + path + "' >/dev/null").c_str()), 0);
    }
#endif
    TUnZipper u(fs);
    u.SetZipName("C:\\sfx.exe");
    u.ReadZip();
    EXPECT_EQ(u.Count(), 3);
    const std::map<std::string, std::string> texts{{"a.txt", "first"}, {"b.txt", "second"}, {"c.txt", "third"}};
    for (const auto& [name, text] : texts) {
      TMemoryStream out;
      EXPECT_EQ(u.UnZipToStream(out, name), 1);
      EXPECT_EQ(out.Text(), text) << name;
    }
  }
}

// Sorting entries with equal keys: a strict order (ties in archive order),
// so neither std::sort in ReadData nor the sorted view runs off its range.
TEST(ZipSetCommit, SortingEntriesWithEqualKeysIsAStrictOrder) {
  TClassRegistry<TZipHeaderInfo> registry;
  registry.Register<TZipHeaderInfo>(
      [](TStream& s) {
        auto e = std::make_unique<TZipHeaderInfo>();
        uint32_t v[3];
        s.ReadBuffer(v, sizeof v);
        e->compressedSize = v[0];
        e->relativeOffset = v[1];
        e->lastModFileDateTime = v[2];
        return e;
      },
      [](const TZipHeaderInfo& e, TStream& s) {
        const uint32_t v[3] = {e.compressedSize, e.relativeOffset, e.lastModFileDateTime};
        s.WriteBuffer(v, sizeof v);
      });
  for (TZipSortMode mode : {TZipSortMode::ByCompressedSize, TZipSortMode::ByDate, TZipSortMode::ByUnCompressedSize}) {
    TSortedZip source(TDuplicates::Accept, true, mode);
    for (int i = 0; i < 200; ++i) {
      auto e = std::make_unique<TZipHeaderInfo>();
      e->compressedSize = i % 7 == 0 ? 900 : 500;
      e->relativeOffset = static_cast<uint32_t>(1000 - i);
      e->lastModFileDateTime = 0x5a210000;
      source.Add(std::move(e));
    }
    TMemoryStream stream;
    source.WriteData(stream, registry);
    // Stored as a list that refuses duplicates: sorted before anything is added.
    Bytes bytes = stream.Bytes();
    bytes[0] = static_cast<uint8_t>(TDuplicates::Error);
    TMemoryStream in;
    in.WriteBuffer(bytes);
    in.SetPosition(0);
    TSortedZip read(TDuplicates::Error, true, mode);
    read.ReadData(in, registry);
    ASSERT_EQ(read.Count(), 200);
    for (int i = 1; i < 200; ++i) {
      const TZipHeaderInfo& a = *read.Get(i - 1);
      const TZipHeaderInfo& b = *read.Get(i);
      EXPECT_LT(read.Compare(a, b), 0);
      EXPECT_GT(read.Compare(b, a), 0);
      if (mode == TZipSortMode::ByCompressedSize) {
        EXPECT_GE(a.compressedSize, b.compressedSize);  // descending, as before
        if (a.compressedSize == b.compressedSize) {
          EXPECT_LT(a.relativeOffset, b.relativeOffset);
        }
      }
    }
    EXPECT_EQ(read.Compare(*read.Get(0), *read.Get(0)), 0);
  }
}

#ifndef _WIN32
// The reference tools as oracles for a rewritten spanned set: 7-Zip tests
// its parts in place (named as it looks for them), and Info-ZIP tests the
// set joined into one archive (parts end to end, offsets counted from the
// start, every disk number 0).
Bytes JoinSet(const std::vector<Bytes>& parts) {
  // Where each part's offset 0 falls in the joined file (the first part's
  // split marker is dropped).
  Bytes joined;
  std::vector<int64_t> base;
  for (const Bytes& p : parts) {
    base.push_back(static_cast<int64_t>(joined.size()) - (base.empty() ? 4 : 0));
    joined.insert(joined.end(), p.begin() + (base.size() == 1 ? 4 : 0), p.end());
  }
  const size_t end = test::EndRecordAt(joined);
  size_t at = static_cast<size_t>(base[test::Get16(joined, end + 6)] + test::Get32(joined, end + 16));
  test::Put32(joined, end + 16, static_cast<uint32_t>(at));
  test::Put16(joined, end + 4, 0);
  test::Put16(joined, end + 6, 0);
  test::Put16(joined, end + 8, test::Get16(joined, end + 10));
  for (int i = 0; i < test::Get16(joined, end + 10); ++i) {
    test::Put32(joined, at + 42, static_cast<uint32_t>(base[test::Get16(joined, at + 34)] + test::Get32(joined, at + 42)));
    test::Put16(joined, at + 34, 0);
    at += 46 + test::Get16(joined, at + 28) + test::Get16(joined, at + 30) + test::Get16(joined, at + 32);
  }
  return joined;
}

TEST(ZipSetCommit, TheReferenceToolsTestARewrittenSpannedSet) {
  if (std::system("command -v unzip >/dev/null && command -v 7z >/dev/null") != 0) GTEST_SKIP() << "no unzip or 7z";
  const std::string dir = std::string(KV_TEST_BINARY_DIR) + "/zip_spanned_oracle";
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  Floppies f;
  int last = 1;
  const auto write = [&](const std::string& name, const Bytes& data, const std::string& comment) {
    f.Insert(last);
    TZipper z(f.fs, f.disk);
    f.Spanned(z);
    z.packLevel = name == "text.txt" ? 6 : 0;
    if (!name.empty()) z.ZipFromBuffer(data.data(), data.size(), name);
    if (!comment.empty()) {
      z.ReadZip();
      z.SetZipComment(comment);
      z.SaveModifiedZipFile();
    }
    last = z.LastDisk() + 1;
  };
  write("big.bin", Random(120000, 25), "");
  write("text.txt", Text(50000, 26), "");
  write("big.bin", Random(100000, 27), "");  // replaced
  write("", {}, "the set");
  ASSERT_GE(last, 2);
  std::vector<Bytes> parts;
  for (int k = 1; k <= last; ++k) {
    f.Insert(k);
    parts.push_back(*f.fs.Files().at("A:\\set.zip").bytes);
    SaveBytes(dir + (k == last ? "/set.zip" : "/set.z0" + std::to_string(k)), parts.back());
  }
  const Bytes joined = JoinSet(parts);
  SaveBytes(dir + "/joined.zip", joined);
  EXPECT_EQ(std::system(("cd '" + dir + "' && 7z t set.zip >/dev/null").c_str()), 0);
  EXPECT_EQ(std::system(("cd '" + dir + "' && unzip -tq joined.zip >/dev/null").c_str()), 0);
  EXPECT_EQ(std::system(("cd '" + dir + "' && unzip -z joined.zip | grep -q 'the set'").c_str()), 0);
}
#endif

}  // namespace
}  // namespace kv
