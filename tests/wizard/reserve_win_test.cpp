// The reserve on a real disk under C:\ (the expected hidden names are the
// MD5 digests Python's hashlib gives for these fixed paths).
#include "wizard/reserve_win.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/ansi_text.h"
#include "base/ansi_text_win.h"
#include "foundation/zip_strings_win.h"
#include "tests/support/allocation_meter.h"
#include "tests/wizard/reserve_zip_util.h"
#include "tests/wizard/wizard_test_util.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = L"C:\\kvreserve";
const fs::path kMusic = kRoot / L"Music";
const fs::path kProgram = kRoot / L"Program";

void Write(const fs::path& path, size_t size, char fill = 'x') {
  std::ofstream(path, std::ios::binary) << std::string(size, fill);
}

std::string ShortAnsi(const fs::path& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return WStringToAnsi(n ? std::wstring(buffer, n) : path.wstring());
}

// The attribute bits the reserve sets (the file system adds "archive").
DWORD Attributes(const fs::path& path) {
  return GetFileAttributesW(path.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

std::wstring LongOf(const std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
  return n ? std::wstring(buffer, n) : path;
}

// The names in the folder that are 32 hexadecimal digits.
std::set<std::wstring> HiddenOnDisk(const fs::path& folder) {
  std::set<std::wstring> names;
  for (const auto& e : fs::directory_iterator(folder))
    if (IsHiddenName(WStringToAnsi(e.path().filename().wstring()))) names.insert(e.path().wstring());
  return names;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The files of the program folder that were put aside with that extension.
std::vector<fs::path> Aside(const wchar_t* extension) {
  std::vector<fs::path> found;
  for (const auto& e : fs::directory_iterator(kProgram))
    if (e.path().extension() == extension) found.push_back(e.path());
  return found;
}

std::set<std::wstring> Listed(const TReserve& reserve) {
  std::set<std::wstring> names;
  for (const TReserveLine& line : reserve.Lines()) names.insert(LongOf(AnsiToWString(line.hidden)));
  return names;
}

class ReserveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RemoveTree(kRoot);
    fs::create_directories(kMusic);
    fs::create_directories(kProgram);
  }
  void TearDown() override { test::RemoveTree(kRoot); }
  // As the results page hands a row over: its full wide path and the
  // short-name access path the scan took.
  bool Hide(TReserve& reserve, const fs::path& file) {
    return reserve.HideInsteadDelete(file.wstring(), ShortAnsi(file));
  }
  // Reserves a.mp3 (11 bytes) and b.mp3 (22 bytes) of the music folder and
  // answers the reserve's list; the archive is saved unless `save` is false
  // (a run killed before its save).
  std::string ReserveTwo(bool save) {
    Write(kMusic / L"a.mp3", 11);
    Write(kMusic / L"b.mp3", 22);
    TReserve writer(kProgram.wstring());
    writer.Load();
    EXPECT_TRUE(Hide(writer, kMusic / L"a.mp3"));
    EXPECT_TRUE(Hide(writer, kMusic / L"b.mp3"));
    std::string list = writer.HiddenList();
    if (save) writer.Save();
    return list;
  }
};

TEST_F(ReserveTest, DeletedFilesGetTheirDigestNamesHiddenAndComeBackByteForByte) {
  struct File {
    const wchar_t* name;
    const char* digits;
    size_t size;
  };
  const File files[] = {
      {L"a.mp3", "6683F0B5E8E05C5E1568183C06599FDB", 1000},
      {L"caf\u00e9.mp3", "8FEE01B1D87EFA1E4A244C1140C0DD63", 2000},
      // Two names of equal length outside code page 1252: both would be
      // "???.mp3" in ANSI, so their digests come from the UTF-8 long paths.
      {L"\u0416\u0430\u0440.mp3", "AFE1328E98F2CB426F3FEC5C5AB77C4B", 3000},
      {L"\u0416\u0443\u043a.mp3", "7C6EAE6ACA4BB0333B5021C7EA539648", 4000},
  };
  TReserve reserve(kProgram.wstring());
  reserve.Load();
  int64_t total = 0;
  for (const File& f : files) {
    SCOPED_TRACE(WStringToAnsi(f.name));
    Write(kMusic / f.name, f.size);
    SetFileAttributesW((kMusic / f.name).c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(Hide(reserve, kMusic / f.name));
    total += f.size;
    const fs::path hidden = kMusic / f.digits;
    EXPECT_FALSE(fs::exists(kMusic / f.name));
    EXPECT_EQ(Attributes(hidden), DWORD{FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(reserve.Lines().back().hidden, ShortAnsi(kMusic) + "\\" + f.digits);
    // The third field only where the display path cannot hold the name.
    EXPECT_EQ(reserve.Lines().back().longPath.empty(), f.size < 3000);
    EXPECT_EQ(reserve.GetHiddenSize(), total);
  }
  EXPECT_EQ(reserve.GetHiddenCount(), 4);
  EXPECT_EQ(reserve.Lines()[2].display, "C:\\kvreserve\\Music\\???.mp3");

  // The journal holds every line already, before any save.
  const TParsedReserve journal = ParseReserveList(test::ReadWhole(kProgram / L"data.journal"), true);
  EXPECT_EQ(journal.lines.size(), 4u);

  reserve.Save();
  const TReserveRun run = reserve.Recover(nullptr);
  EXPECT_EQ(run.done, 4);
  EXPECT_TRUE(run.failures.empty());
  for (const File& f : files) {
    EXPECT_EQ(fs::file_size(kMusic / f.name), f.size) << WStringToAnsi(f.name);
    EXPECT_FALSE(fs::exists(kMusic / f.digits));
  }
  EXPECT_EQ(reserve.GetHiddenCount(), 0);
  EXPECT_EQ(reserve.GetHiddenSize(), 0);
}

// NTFS names may hold lone surrogates: two names that differ only in one get
// hidden names of their own, their lines read back, and the files come back
// exactly, in a folder whose name holds one as well. Wine's file system takes
// no such names: there only the lines are checked.
TEST_F(ReserveTest, NamesWithLoneSurrogatesComeBackExactly) {
  const fs::path folder = kMusic / (std::wstring(L"d") + wchar_t(0xDC00));
  const fs::path files[] = {folder / (std::wstring(L"x") + wchar_t(0xD800) + L".mp3"),
                            folder / (std::wstring(L"x") + wchar_t(0xD801) + L".mp3")};
  std::vector<TReserveLine> lines;  // as a reservation writes them
  std::string digits[2];
  for (size_t i = 0; i < 2; ++i) {
    const std::wstring path = files[i].wstring();
    digits[i] = HiddenDigits(path, path);
    lines.push_back({WStringToAnsi(folder.wstring()) + "\\" + digits[i], WStringToAnsi(path), WideToUtf8(ToU16(path)), 0});
  }
  EXPECT_NE(digits[0], digits[1]);
  const TParsedReserve parsed = ParseReserveList(FormatReserveList(lines), true);
  ASSERT_EQ(parsed.lines.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(HiddenPathOf(parsed.lines[i]) == folder.wstring() + L"\\" + AnsiToWString(digits[i])) << i;
    EXPECT_TRUE(RecoveredPathOf(parsed.lines[i]) == files[i].wstring()) << i;
  }

  if (!CreateDirectoryW(folder.c_str(), nullptr)) GTEST_SKIP() << "no lone surrogates in names on this file system";
  {
    TReserve reserve(kProgram.wstring());
    reserve.Load();
    for (size_t i = 0; i < 2; ++i) {
      Write(files[i], 10 + i);
      ASSERT_TRUE(Hide(reserve, files[i])) << i;
    }
    reserve.Save();
  }
  EXPECT_EQ(HiddenOnDisk(folder).size(), 2u);
  TReserve reserve(kProgram.wstring());
  EXPECT_TRUE(reserve.Load().empty());
  ASSERT_EQ(reserve.GetHiddenCount(), 2);
  EXPECT_TRUE(reserve.Recover(nullptr).failures.empty());
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(fs::file_size(files[i]), 10 + i) << i;
}

TEST_F(ReserveTest, AClashKeepsFileAndAttributesAndWritesTheCodeToLastErr) {
  const fs::path a = kMusic / L"a.mp3";
  {
    TReserve reserve(kProgram.wstring());
    reserve.Load();
    Write(a, 10);
    ASSERT_TRUE(Hide(reserve, a));
    const fs::path first = AnsiToWString(reserve.Lines()[0].hidden);
    SetFileAttributesW(first.c_str(), FILE_ATTRIBUTE_NORMAL);  // shown by hand meanwhile
    Write(a, 20, 'y');  // a second file under the same display path
    SetFileAttributesW(a.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(Hide(reserve, a));
    EXPECT_EQ(test::ReadWhole(kProgram / L"lasterr.txt"), "183");
    EXPECT_EQ(test::ReadWhole(a), std::string(20, 'y'));
    EXPECT_EQ(Attributes(a), DWORD{FILE_ATTRIBUTE_READONLY});
    // The file already under the hidden name is made hidden again, untouched otherwise.
    EXPECT_EQ(Attributes(first), DWORD{FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(test::ReadWhole(first), std::string(10, 'x'));
    EXPECT_EQ(reserve.GetHiddenCount(), 1);
    EXPECT_EQ(reserve.GetHiddenSize(), 10);
    reserve.FlushJournal();
  }
  // The clash's journal line names the file already listed, so it adds nothing.
  TReserve again(kProgram.wstring());
  again.Load();
  EXPECT_EQ(again.GetHiddenCount(), 1);
}

TEST_F(ReserveTest, RecoveryOntoATakenNameAndFreeingOfAGoneFileKeepOnlyWhatIsLeft) {
  TReserve reserve(kProgram.wstring());
  reserve.Load();
  for (const wchar_t* name : {L"a.mp3", L"b.mp3", L"c.mp3"}) {
    Write(kMusic / name, 100);
    ASSERT_TRUE(Hide(reserve, kMusic / name));
  }
  Write(kMusic / L"b.mp3", 7, 'n');  // the user made a new b.mp3 meanwhile
  TReserveRun run = reserve.Recover(nullptr);
  EXPECT_EQ(run.done, 2);
  ASSERT_EQ(run.failures.size(), 1u);
  EXPECT_NE(run.failures[0].find("b.mp3"), std::string::npos);
  EXPECT_EQ(test::ReadWhole(kMusic / L"b.mp3"), std::string(7, 'n'));  // never replaced
  ASSERT_EQ(reserve.GetHiddenCount(), 1);
  EXPECT_EQ(reserve.GetHiddenSize(), 100);
  const fs::path stillHidden = AnsiToWString(reserve.Lines()[0].hidden);
  EXPECT_EQ(Attributes(stillHidden), DWORD{FILE_ATTRIBUTE_HIDDEN});

  // Freeing: a file gone from a folder that exists is done; the rest deleted.
  Write(kMusic / L"d.mp3", 50);
  ASSERT_TRUE(Hide(reserve, kMusic / L"d.mp3"));
  SetFileAttributesW(stillHidden.c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove(stillHidden);
  run = reserve.Free(nullptr);
  EXPECT_EQ(run.done, 2);
  EXPECT_TRUE(run.failures.empty());
  EXPECT_TRUE(HiddenOnDisk(kMusic).empty());
  EXPECT_EQ(reserve.GetHiddenCount(), 0);

  // Both runs left their lists as history entries beside "data" and "size".
  const std::string archive = WStringToAnsi((kProgram / L"data").wstring());
  // A history entry bears the moment its run ended, not the one it began.
  Write(kMusic / L"e.mp3", 5);
  ASSERT_TRUE(Hide(reserve, kMusic / L"e.mp3"));
  const auto [startDay, startMs] = ReserveTimeStamp();
  run = reserve.Free([](size_t, size_t, const TReserveLine&) {
    Sleep(300);
    return true;
  });
  const auto [endDay, endMs] = ReserveTimeStamp();
  ASSERT_EQ(run.done, 1);
  const std::string data = test::ReadWhole(kProgram / L"data");
  const TReserveArchive entries = ReadReserveArchive(std::vector<uint8_t>(data.begin(), data.end()));
  std::vector<int64_t> moments;  // of the "del." entries, in milliseconds from the run's start
  for (const std::string& name : entries.entryNames) {
    int64_t day = 0, ms = 0;
    if (std::sscanf(name.c_str(), "del.%lld.%lld", &day, &ms) == 2)
      moments.push_back((day - startDay) * 86400000 + ms - startMs);
  }
  ASSERT_EQ(moments.size(), 2u);
  const int64_t last = *std::max_element(moments.begin(), moments.end());
  EXPECT_GE(last, 300);
  EXPECT_LE(last, (endDay - startDay) * 86400000 + endMs - startMs);
  EXPECT_EQ(LoadStringFromZip(archive, "data", ""), "");
  EXPECT_EQ(LoadStringFromZip(archive, "size", ""), "0");
  EXPECT_EQ(test::ReadWhole(kProgram / L"data.journal"), "");
}

TEST_F(ReserveTest, AStopLeavesEveryFileDoneOrUntouched) {
  TReserve reserve(kProgram.wstring());
  reserve.Load();
  for (int i = 0; i < 6; ++i) {
    const fs::path f = kMusic / (L"f" + std::to_wstring(i) + L".mp3");
    Write(f, 10);
    ASSERT_TRUE(Hide(reserve, f));
  }
  const TReserveRun run = reserve.Free([](size_t done, size_t total, const TReserveLine&) {
    EXPECT_EQ(total, 6u);
    return done < 2;
  });
  EXPECT_TRUE(run.stopped);
  EXPECT_EQ(run.done, 2);
  EXPECT_EQ(reserve.GetHiddenCount(), 4);
  EXPECT_EQ(reserve.GetHiddenSize(), 40);
  EXPECT_EQ(HiddenOnDisk(kMusic), Listed(reserve));
}

TEST_F(ReserveTest, StartUpMergesTheJournalAndCountsBigFilesInFull) {
  // A 5 GiB sparse file, reserved by a process that never saved its list.
  const fs::path big = kMusic / L"big.flac";
  {
    FileHandle file(CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD ignored = 0;
    DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = int64_t{5} << 30;
    ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.Get()));
  }
  {
    TReserve first(kProgram.wstring());
    first.Load();
    ASSERT_TRUE(Hide(first, big));
    EXPECT_EQ(first.GetHiddenSize(), int64_t{5} << 30);
    first.FlushJournal();
  }  // no Save: as if the process had been killed
  EXPECT_FALSE(fs::exists(kProgram / L"data"));
  TReserve second(kProgram.wstring());
  EXPECT_TRUE(second.Load().empty());
  EXPECT_EQ(second.GetHiddenCount(), 1);
  EXPECT_EQ(second.GetHiddenSize(), int64_t{5} << 30);
  const std::string archive = WStringToAnsi((kProgram / L"data").wstring());
  EXPECT_EQ(LoadStringFromZip(archive, "size", ""), "5368709120");
  second.Free(nullptr);
}

TEST_F(ReserveTest, AnUnreadableArchiveIsRenamedAsideAndTheJournalGivesTheReserve) {
  std::mt19937 random(7);
  std::string noise(600, '\0');
  for (char& ch : noise) ch = static_cast<char>(random());
  const std::string good = [] {
    std::vector<uint8_t> b = RewriteReserveArchive({}, {{"data", std::string(400, 'q')}, {"size", "1"}});
    return std::string(b.begin(), b.end());
  }();
  const std::string foreign = [] {
    std::vector<uint8_t> b = RewriteReserveArchive({}, {{"readme.txt", "hello"}});
    return std::string(b.begin(), b.end());
  }();
  const struct {
    const char* what;
    std::string bytes;
    bool renamed;
  } cases[] = {
      {"random bytes", noise, true},
      {"truncated", good.substr(0, good.size() / 2), true},
      {"foreign zip", foreign, true},
      {"garbage lines", good, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    {
      TReserve writer(kProgram.wstring());
      writer.Load();
      Write(kMusic / L"a.mp3", 33);
      ASSERT_TRUE(Hide(writer, kMusic / L"a.mp3"));
      writer.FlushJournal();
    }
    std::ofstream(kProgram / L"data", std::ios::binary) << c.bytes;

    TReserve reader(kProgram.wstring());
    const std::vector<std::string> notices = reader.Load();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(reader.GetHiddenCount(), 1);
    EXPECT_EQ(reader.GetHiddenSize(), 33);
    int aside = 0;
    for (const auto& e : fs::directory_iterator(kProgram))
      if (e.path().extension() == L".unreadable") {
        ++aside;
        EXPECT_EQ(test::ReadWhole(e.path()), c.bytes);  // kept as it was
      }
    EXPECT_EQ(aside, c.renamed ? 1 : 0);
    const std::string archive = WStringToAnsi((kProgram / L"data").wstring());
    EXPECT_EQ(ParseReserveList(LoadStringFromZip(archive, "data", ""), false).lines.size(), 1u);
  }
}

// A damaged journal of any size is read in pieces: memory stays near one
// accepted line, the files it names are kept, and the garbage goes to the
// history entry as its start; a journal that cannot be read is put aside.
TEST_F(ReserveTest, AnOversizedOrUnreadableJournalCostsLittleAndLosesNothing) {
  const std::string lines = ReserveTwo(false);
  const size_t split = lines.find('\n') + 1;
  const std::string garbage(size_t{24} << 20, 'g');
  {
    std::ofstream out(kProgram / L"data.journal", std::ios::binary);
    out << lines.substr(0, split) << garbage << "\r\n" << lines.substr(split) << "torn";
  }
  {
    TReserve reader(kProgram.wstring());
    test::AllocationMeter meter;
    const std::vector<std::string> notices = reader.Load();
    EXPECT_LT(meter.Peak(), size_t{4} << 20);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("\"bad."), std::string::npos) << notices[0];
    EXPECT_EQ(reader.GetHiddenCount(), 2);
    EXPECT_EQ(reader.GetHiddenSize(), 33);
  }
  EXPECT_EQ(test::ReadWhole(kProgram / L"data.journal"), lines);

  // Held open without read sharing: the journal cannot be read, so it is
  // renamed aside as it was and the archive keeps its list.
  FileHandle held(CreateFileW((kProgram / L"data.journal").c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  TReserve reader(kProgram.wstring());
  const std::vector<std::string> notices = reader.Load();
  held.Reset();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("data.journal"), std::string::npos) << notices[0];
  EXPECT_EQ(reader.GetHiddenCount(), 2);
  int aside = 0;
  for (const auto& e : fs::directory_iterator(kProgram))
    if (e.path().extension() == L".unreadable") {
      ++aside;
      EXPECT_EQ(test::ReadWhole(e.path()), lines);
    }
  EXPECT_EQ(aside, 1);
  EXPECT_EQ(test::ReadWhole(kProgram / L"data.journal"), lines);
}

// A list entry that does not check out still names files that are hidden:
// the archive is renamed aside as it was, never rewritten shorter, and the
// journal (here: of the first file only) gives what it can.
TEST_F(ReserveTest, ADamagedListIsKeptAsideWithOrWithoutAJournal) {
  for (const test::TDamage& damage : test::ListDamages()) {
    for (const bool withJournal : {false, true}) {
      SCOPED_TRACE(std::string(damage.what) + (withJournal ? ", a journal of one file" : ", no journal"));
      SetUp();
      Write(kMusic / L"a.mp3", 11);
      Write(kMusic / L"b.mp3", 22);
      std::string first, list;
      {
        TReserve writer(kProgram.wstring());
        writer.Load();
        ASSERT_TRUE(Hide(writer, kMusic / L"a.mp3"));
        first = writer.HiddenList();
        ASSERT_TRUE(Hide(writer, kMusic / L"b.mp3"));
        list = writer.HiddenList();
        writer.Save();
      }
      const std::string damaged = Text(test::RawZip({test::DamagedList(damage, list), test::StoredEntry("size", "33")}));
      WriteBytes(kProgram / L"data", damaged);
      if (withJournal)
        WriteBytes(kProgram / L"data.journal", first);
      else
        fs::remove(kProgram / L"data.journal");

      TReserve reader(kProgram.wstring());
      const std::vector<std::string> notices = reader.Load();
      ASSERT_EQ(notices.size(), 1u);
      EXPECT_NE(notices[0].find("of the reserve's archive is damaged"), std::string::npos) << notices[0];
      EXPECT_EQ(reader.GetHiddenCount(), withJournal ? 1 : 0);
      const std::vector<fs::path> aside = Aside(L".unreadable");
      ASSERT_EQ(aside.size(), 1u);
      EXPECT_EQ(test::ReadWhole(aside[0]), damaged);
      EXPECT_EQ(HiddenOnDisk(kMusic).size(), 2u);
      reader.Save();
      EXPECT_EQ(test::ReadWhole(aside[0]), damaged);
    }
  }
}

// A "size" entry that does not check out, or that cannot be read at all, is
// unknown: the size comes from the files, and the archive gets it again.
TEST_F(ReserveTest, ADamagedSizeIsTakenFromTheFiles) {
  test::TRawEntry badCrc = test::StoredEntry("size", "99");
  badCrc.crc ^= 1;
  test::TRawEntry unknownMethod = test::StoredEntry("size", "99");
  unknownMethod.method = 99;
  for (const test::TRawEntry& size : {badCrc, unknownMethod}) {
    SetUp();
    const std::string list = ReserveTwo(true);
    WriteBytes(kProgram / L"data", Text(test::RawZip({test::DeflatedEntry("data", list), size})));
    TReserve reader(kProgram.wstring());
    EXPECT_TRUE(reader.Load().empty());
    EXPECT_EQ(reader.GetHiddenCount(), 2);
    EXPECT_EQ(reader.GetHiddenSize(), 33);
    EXPECT_TRUE(Aside(L".unreadable").empty());
    const std::string archive = WStringToAnsi((kProgram / L"data").wstring());
    EXPECT_EQ(LoadStringFromZip(archive, "size", ""), "33");
    EXPECT_EQ(LoadStringFromZip(archive, "data", ""), list);
  }
}

// A "size" entry whose bytes run past the end, or that has no local header,
// cannot be copied by any later save: the archive is set aside as it is,
// its list still gives every reserved file, and the size comes from them.
TEST_F(ReserveTest, ASizeEntryNoSaveCanCopySetsTheArchiveAsideAndKeepsItsList) {
  const struct {
    const char* what;
    void (*damage)(std::vector<uint8_t>&, size_t central, size_t local);
  } cases[] = {
      {"compressed size 1000 more",
       [](std::vector<uint8_t>& b, size_t central, size_t) {
         const uint32_t cut = test::Le(b, central + 20, 4) + 1000;
         for (size_t i = 0; i < 4; ++i) b[central + 20 + i] = static_cast<uint8_t>(cut >> (8 * i));
       }},
      {"no local header", [](std::vector<uint8_t>& b, size_t, size_t local) { b[local] = 'X'; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    const std::string list = ReserveTwo(true);
    std::vector<uint8_t> bytes = test::RawZip({test::StoredEntry("data", list), test::StoredEntry("size", "1000")});
    const size_t end = bytes.size() - 22;
    const size_t dataCentral = test::Le(bytes, end + 16, 4);
    const size_t sizeCentral = dataCentral + 46 + 4;  // after the record of "data"
    c.damage(bytes, sizeCentral, test::Le(bytes, sizeCentral + 42, 4));
    WriteBytes(kProgram / L"data", Text(bytes));
    fs::remove(kProgram / L"data.journal");

    TReserve reader(kProgram.wstring());
    const std::vector<std::string> notices = reader.Load();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("The entry \"size\" of the reserve's archive is damaged"), std::string::npos) << notices[0];
    EXPECT_EQ(reader.GetHiddenCount(), 2);
    EXPECT_EQ(reader.GetHiddenSize(), 33);
    const std::vector<fs::path> aside = Aside(L".unreadable");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(test::ReadWhole(aside[0]), Text(bytes));
    const std::string archive = WStringToAnsi((kProgram / L"data").wstring());
    EXPECT_EQ(LoadStringFromZip(archive, "size", ""), "33");
    EXPECT_EQ(LoadStringFromZip(archive, "data", ""), list);
    // The files stay recoverable.
    EXPECT_EQ(reader.Recover({}).done, 2);
    EXPECT_TRUE(fs::exists(kMusic / L"a.mp3"));
    EXPECT_TRUE(fs::exists(kMusic / L"b.mp3"));
    EXPECT_TRUE(reader.Load().empty());
  }
}

// A journal past its line bound is read up to the bound; the rest, never
// read, stays in the journal, which is kept whole under another name.
TEST_F(ReserveTest, AJournalPastItsLineBoundIsKeptWhole) {
  const std::string lines = ReserveTwo(false);
  const size_t split = lines.find('\n') + 1;
  std::string journal = lines.substr(0, split);
  for (size_t i = 1; i < kMaxReserveLines; ++i) journal += "x\r\n";
  journal += lines.substr(split);  // past the bound
  WriteBytes(kProgram / L"data.journal", journal);

  TReserve reader(kProgram.wstring());
  const std::vector<std::string> notices = reader.Load();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_NE(notices[0].find("holds more than 4000000 lines"), std::string::npos) << notices[0];
  EXPECT_NE(notices[1].find("\"bad."), std::string::npos) << notices[1];
  EXPECT_EQ(reader.GetHiddenCount(), 1);
  const std::vector<fs::path> aside = Aside(L".unread");
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(fs::file_size(aside[0]), journal.size());
  EXPECT_EQ(test::ReadWhole(aside[0]).substr(journal.size() - (lines.size() - split)), lines.substr(split));
  EXPECT_EQ(test::ReadWhole(kProgram / L"data.journal"), reader.HiddenList());
}

TEST_F(ReserveTest, AListWrittenWithThePasswordIsRead) {
  Write(kMusic / L"a.mp3", 5);
  std::string list;
  {
    TReserve writer(kProgram.wstring());
    writer.Load();
    ASSERT_TRUE(Hide(writer, kMusic / L"a.mp3"));
    list = writer.HiddenList();
  }
  const std::string archive = WStringToAnsi((kProgram / L"data").wstring());
  SaveStringToZip(archive, "data", list, "wrenfield");
  SaveStringToZip(archive, "size", "5", "wrenfield");
  fs::remove(kProgram / L"data.journal");
  TReserve reader(kProgram.wstring());
  EXPECT_TRUE(reader.Load().empty());
  EXPECT_EQ(reader.GetHiddenCount(), 1);
  EXPECT_EQ(reader.GetHiddenSize(), 5);
}

// ------------------------------------------------------------ crashes --

// Run by the crash tests in a child process: reserves the files it is told
// to, with the crash point of KELVARIN_TEST_CRASH_AT armed.
TEST(ReserveChild, ReservesFiles) {
  char count[16] = {};
  if (!GetEnvironmentVariableA("KV_RESERVE_CHILD_FILES", count, sizeof count)) GTEST_SKIP();
  TReserve reserve(kProgram.wstring());
  reserve.Load();
  for (int i = 0; i < std::atoi(count); ++i) {
    const fs::path f = kMusic / (L"f" + std::to_wstring(i) + L".mp3");
    reserve.HideInsteadDelete(AnsiToWString(WStringToAnsi(f.wstring())), WStringToAnsi(f.wstring()));
  }
  reserve.Save();
}

// Starts this test program as the child above; kills it after killAfterMs
// unless negative. Returns its exit code.
DWORD RunChild(int files, const std::string& crashAt, int killAfterMs) {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=ReserveChild.ReservesFiles";
  SetEnvironmentVariableA("KV_RESERVE_CHILD_FILES", std::to_string(files).c_str());
  SetEnvironmentVariableA("KELVARIN_TEST_CRASH_AT", crashAt.empty() ? nullptr : crashAt.c_str());
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA("KV_RESERVE_CHILD_FILES", nullptr);
  SetEnvironmentVariableA("KELVARIN_TEST_CRASH_AT", nullptr);
  if (!started) return DWORD(-1);
  KernelHandle process(pi.hProcess), thread(pi.hThread);
  if (killAfterMs >= 0 && WaitForSingleObject(process.Get(), DWORD(killAfterMs)) == WAIT_TIMEOUT)
    TerminateProcess(process.Get(), 9);
  WaitForSingleObject(process.Get(), 60000);
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  return code;
}

TEST_F(ReserveTest, AfterACrashAtAnyStepTheReserveEqualsTheHiddenFilesOnDisk) {
  struct Case {
    std::string crashAt;
    int killAfterMs;
  };
  std::vector<Case> cases = {{"journal:3", -1}, {"rename:3", -1}, {"list:3", -1}};
  std::mt19937 random(std::random_device{}());
  for (int i = 0; i < 3; ++i) cases.push_back({"", int(random() % 200)});
  const int files = 300;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.crashAt + " / " + std::to_string(c.killAfterMs) + " ms");
    SetUp();
    for (int i = 0; i < files; ++i) Write(kMusic / (L"f" + std::to_wstring(i) + L".mp3"), 10);
    const DWORD code = RunChild(files, c.crashAt, c.killAfterMs);
    if (!c.crashAt.empty()) {
      EXPECT_EQ(code, 3u);
    }
    TReserve reserve(kProgram.wstring());
    reserve.Load();
    const std::set<std::wstring> onDisk = HiddenOnDisk(kMusic);
    EXPECT_EQ(Listed(reserve), onDisk);
    EXPECT_EQ(reserve.GetHiddenSize(), int64_t(10 * onDisk.size()));
    if (c.crashAt == "journal:3") {
      EXPECT_EQ(onDisk.size(), 2u);
    } else if (c.crashAt == "rename:3" || c.crashAt == "list:3") {
      EXPECT_EQ(onDisk.size(), 3u);
    }
    // Everything comes back under its name.
    reserve.Recover(nullptr);
    for (int i = 0; i < files; ++i) ASSERT_TRUE(fs::exists(kMusic / (L"f" + std::to_wstring(i) + L".mp3"))) << i;
  }
}

}  // namespace
}  // namespace kv
