// Processing of checked rows on a real disk, with the user's answers scripted.
#include "wizard/processing_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "engine/audio_environment_win.h"
#include "engine/mp3_collection.h"
#include "foundation/log.h"
#include "tests/wizard/wizard_test_util.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = L"C:\\kvprocess";
const fs::path kProgram = kRoot / L"Program";
const fs::path kDest = kRoot / L"Dest";

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Answers from a script; records what was shown.
class ScriptedUi : public TProcessUi {
 public:
  using TProcessUi::SetStatus;
  bool Confirm(const std::string& question) override {
    confirmations.push_back(question);
    return confirm;
  }
  void Start(const std::string& caption, const std::string& stop) override {
    started = true;
    log.push_back("start " + caption + " " + stop);
  }
  void SetStatus(const std::string& text) override { status.push_back(text); }
  void SetProgress(int percent) override {
    progress.push_back(percent);
    if (stopAfter > 0 && int(progress.size()) == stopAfter) stopped = true;
  }
  int Ask(const std::string& options, const std::string& question) override {
    questions.push_back(question);
    lastOptions = options;
    if (answers.empty()) return -1;
    const int a = answers.front();
    answers.pop_front();
    return a;
  }
  bool Stopped() override { return stopped; }
  void Finish() override { log.push_back("finish"); }
  void Free() override { log.push_back("free"); }
  void Repaint() override { log.push_back("repaint"); }
  void Unchecked(size_t row) override { log.push_back("uncheck " + std::to_string(row)); }

  bool confirm = true, started = false, stopped = false;
  int stopAfter = 0;
  std::deque<int> answers;
  std::vector<std::string> confirmations, questions, status, log;
  std::vector<int> progress;
  std::string lastOptions;
};

class ProcessingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RemoveTree(kRoot);
    fs::create_directories(kProgram);
    fs::create_directories(kDest);
    ClearLog();
  }
  void TearDown() override { test::RemoveTree(kRoot); }
  // A file with its record and a checked row.
  void Add(const fs::path& path, const std::string& content, bool checked = true) {
    Write(path, content);
    auto rec = std::make_unique<TMP3Info>();
    rec->SetTagPart(kTagDisplayPath, WStringToAnsi(path.wstring()));
    rec->SetWidePath(ToU16(path.wstring()));
    wchar_t access[MAX_PATH];  // the short-name path, as the scan records it
    const DWORD n = GetShortPathNameW(path.c_str(), access, MAX_PATH);
    rec->SetFileName(WStringToAnsi(std::wstring(access, n)));
    rec->Tag = 1;
    rows.push_back({rec.get(), checked});
    records.push_back(std::move(rec));
  }
  TProcessResult Run(int mode, bool savePaths = true) {
    return ProcessRows(mode, rows, WStringToAnsi(kDest.wstring()) + "\\", savePaths, reserve, ui);
  }
  std::vector<std::unique_ptr<TMP3Info>> records;
  std::vector<TProcessRow> rows;
  TReserve reserve{kProgram.wstring()};
  ScriptedUi ui;
};

TEST_F(ProcessingTest, DeletingAsksWithTheCountAndReservesTheRows) {
  Add(kRoot / L"M" / L"a.mp3", "a");
  Add(kRoot / L"M" / L"b.mp3", "b", false);
  Add(kRoot / L"M" / L"c.mp3", "c");
  Add(kRoot / L"N" / L"d.mp3", "d");
  ui.confirm = false;
  EXPECT_FALSE(Run(kProcessReserve).started);
  EXPECT_FALSE(ui.started);
  EXPECT_TRUE(fs::exists(kRoot / L"M" / L"a.mp3"));

  ui.confirm = true;
  const TProcessResult result = Run(kProcessReserve);
  EXPECT_EQ(ui.confirmations.back(), "Do you really want to delete 3 files ?");
  EXPECT_EQ(result.done, 3);
  EXPECT_EQ(ui.progress, (std::vector<int>{33, 67, 100}));
  for (size_t i : {0u, 2u, 3u}) {
    EXPECT_EQ(records[i]->Tag, -1);
    EXPECT_FALSE(rows[i].checked);
  }
  EXPECT_EQ(records[1]->Tag, 1);
  EXPECT_TRUE(fs::exists(kRoot / L"M" / L"b.mp3"));
  EXPECT_EQ(reserve.GetHiddenCount(), 3);
  EXPECT_EQ(LogText(),
            "ifcoldispl:before logfinish\r\nifcoldispl:before logfree\r\nifcoldispl:after logfree\r\n"
            "ifcoldispl:final\r\n");
  // Each reserved row loses its check box as it is done, before the window goes.
  EXPECT_EQ(ui.log, (std::vector<std::string>{"start Processing... Stop", "uncheck 0", "uncheck 2", "uncheck 3",
                                              "finish", "free", "repaint"}));

  // Nothing checked: nothing asked, nothing shown.
  ui.confirmations.clear();
  EXPECT_FALSE(Run(kProcessReserve).started);
  EXPECT_TRUE(ui.confirmations.empty());
}

TEST_F(ProcessingTest, OverwriteAnswersAreRememberedAsSpecifiedForEachFile) {
  // Without the folder structure every file meets the same target name but the first.
  struct Case {
    const char* what;
    std::deque<int> answers;
    size_t questions;
    std::string result;  // the target's content after the run
  };
  const Case cases[] = {
      {"yes to all", {2}, 1, "e"},
      {"no to all", {3}, 1, "a"},
      {"no, then yes", {1, 0, 1, 1}, 4, "c"},  // c overwrites; d and e are asked again
      {"stop", {-1}, 1, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reserve = TReserve(kProgram.wstring());  // lets go of the journal
    SetUp();
    records.clear();
    rows.clear();
    ui = ScriptedUi();
    for (const char* name : {"a", "b", "c", "d", "e"})
      Add(kRoot / name / L"x.mp3", name);
    ui.answers = c.answers;
    Run(kProcessCopy, false);
    EXPECT_EQ(ui.questions.size(), c.questions);
    EXPECT_EQ(test::ReadWhole(kDest / L"x.mp3"), c.result);
    for (const TProcessRow& row : rows) EXPECT_TRUE(row.checked);  // copies keep their marks
  }
  EXPECT_EQ(ui.lastOptions, "Yes\r\nNo\r\nYes to all\r\nNo to all");
  EXPECT_EQ(ui.questions[0], "File \"" + WStringToAnsi((kDest / L"x.mp3").wstring()) +
                                 "\" already exists.Do you really want to overwrite it ?\t\t");
}

TEST_F(ProcessingTest, CopiesRecreateTheFoldersUnderDiskAndAFailedCopyKeepsTheSource) {
  Add(kRoot / L"Music" / L"Rock" / L"a.mp3", "aaa");
  Add(kRoot / L"Music" / L"\u0416\u0430\u0440.mp3", "zh");
  test::RemoveTree(kDest);  // the destination went after it was chosen
  Run(kProcessCopy);
  EXPECT_EQ(test::ReadWhole(kDest / L"Disk C" / L"kvprocess" / L"Music" / L"Rock" / L"a.mp3"), "aaa");
  // The real name, not the display path's "???".
  EXPECT_EQ(test::ReadWhole(kDest / L"Disk C" / L"kvprocess" / L"Music" / L"\u0416\u0430\u0440.mp3"), "zh");
  EXPECT_TRUE(ui.questions.empty());

  // Moving where the target is read-only: the copy fails, is reported, and
  // the source stays with its mark; "No" to an overwrite still moves.
  ui = ScriptedUi();
  const fs::path target = kDest / L"Disk C" / L"kvprocess" / L"Music" / L"Rock" / L"a.mp3";
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
  ui.answers = {0, 0, 1};  // overwrite a.mp3 (fails: read-only), the notice, "No" for the other
  Run(kProcessCopy | kProcessReserve);
  ASSERT_EQ(ui.questions.size(), 3u);
  EXPECT_EQ(ui.questions[1].rfind("Unable to copy file\"", 0), 0u);
  EXPECT_TRUE(fs::exists(kRoot / L"Music" / L"Rock" / L"a.mp3"));
  EXPECT_TRUE(rows[0].checked);
  EXPECT_EQ(records[0]->Tag, 1);
  EXPECT_FALSE(fs::exists(kRoot / L"Music" / L"\u0416\u0430\u0440.mp3"));
  EXPECT_FALSE(rows[1].checked);
  EXPECT_EQ(reserve.GetHiddenCount(), 1);
  for (const auto& e : fs::directory_iterator(target.parent_path()))
    EXPECT_EQ(e.path().filename().wstring().rfind(L"~kv", 0), std::wstring::npos);  // no temporary left

  // The status line shows each row's path as the list shows it: a record
  // of an older list keeps its short names there.
  ui = ScriptedUi();
  records.clear();
  rows.clear();
  Add(kRoot / L"Music" / L"Rock" / L"b.mp3", "b");
  const std::string shortPath = records[0]->FileName();
  ASSERT_NE(AnsiToWString(shortPath), (kRoot / L"Music" / L"Rock" / L"b.mp3").wstring());
  records[0]->SetWidePath(ToU16(AnsiToWString(shortPath)));
  Run(kProcessCopy);
  EXPECT_EQ(ui.status, std::vector<std::string>{shortPath});
}

TEST_F(ProcessingTest, AReservedRowAndAStopEndTheRunAsTheUserSees) {
  Add(kRoot / L"M" / L"a.mp3", "a");
  Add(kRoot / L"M" / L"b.mp3", "b");
  Add(kRoot / L"M" / L"c.mp3", "c");
  fs::remove(kRoot / L"M" / L"a.mp3");  // reserved earlier, checked by hand
  records[0]->Tag = -1;
  ui.answers = {0};
  ui.stopAfter = 2;
  const TProcessResult result = Run(kProcessReserve);
  EXPECT_TRUE(result.stopped);
  EXPECT_EQ(result.done, 2);
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], "Unable to delete file\"" + WStringToAnsi((kRoot / L"M" / L"a.mp3").wstring()) + "\"");
  EXPECT_TRUE(rows[0].checked);
  EXPECT_FALSE(rows[1].checked);
  EXPECT_TRUE(rows[2].checked);  // after the stop: untouched
  EXPECT_TRUE(fs::exists(kRoot / L"M" / L"c.mp3"));
  EXPECT_EQ(test::ReadWhole(kProgram / L"lasterr.txt"), "2");

  // Stop at a move's overwrite question: the file in hand still goes into
  // the reserve, as with "No", and the run ends there.
  ui = ScriptedUi();
  records.clear();
  rows.clear();
  Add(kRoot / L"S" / L"x.mp3", "s");
  Add(kRoot / L"T" / L"x.mp3", "t");
  Write(kDest / L"x.mp3", "old");
  ui.answers = {-1};
  EXPECT_TRUE(Run(kProcessCopy | kProcessReserve, false).stopped);
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(test::ReadWhole(kDest / L"x.mp3"), "old");
  EXPECT_FALSE(fs::exists(kRoot / L"S" / L"x.mp3"));
  EXPECT_EQ(records[0]->Tag, -1);
  EXPECT_FALSE(rows[0].checked);
  EXPECT_EQ(test::ReadWhole(kRoot / L"T" / L"x.mp3"), "t");
  EXPECT_TRUE(rows[1].checked);

  EXPECT_EQ(PercentDone(1, 8), 12);  // 12.5 to even
  EXPECT_EQ(PercentDone(3, 8), 38);  // 37.5 to even
}

// R: is a sysfs folder (set up by the test's CTest fixture): nothing can be
// created there, not even by root.
TEST_F(ProcessingTest, AReadOnlyDestinationGivesTheNoticeAndKeepsSourcesAndMarks) {
  if (GetFileAttributesW(L"R:\\") == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no drive R:";
  Add(kRoot / L"M" / L"a.mp3", "a");
  Add(kRoot / L"M" / L"b.mp3", "b");
  ui.answers = {0, 0};
  const TProcessResult result = ProcessRows(kProcessCopy | kProcessReserve, rows, "R:\\", true, reserve, ui);
  EXPECT_EQ(result.done, 2);
  ASSERT_EQ(ui.questions.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(ui.questions[i].rfind("Unable to copy file\"", 0), 0u) << ui.questions[i];
    EXPECT_TRUE(rows[i].checked);
    EXPECT_EQ(records[i]->Tag, 1);
  }
  EXPECT_EQ(test::ReadWhole(kRoot / L"M" / L"a.mp3"), "a");
  EXPECT_EQ(test::ReadWhole(kRoot / L"M" / L"b.mp3"), "b");
  EXPECT_EQ(reserve.GetHiddenCount(), 0);
}

TEST_F(ProcessingTest, AnExceptionInTheRunStillClosesTheWindow) {
  struct ThrowingUi : ScriptedUi {
    void SetProgress(int) override { throw std::runtime_error("refresh failed"); }
  } throwing;
  Add(kRoot / L"M" / L"a.mp3", "a");
  EXPECT_THROW(ProcessRows(kProcessReserve, rows, "", true, reserve, throwing), std::runtime_error);
  EXPECT_EQ(throwing.log, (std::vector<std::string>{"start Processing... Stop", "uncheck 0", "finish", "free"}));
  // The file reserved before the failure is in the journal for the next start.
  TReserve next(kProgram.wstring());
  reserve = TReserve(kRoot.wstring());  // lets go of the journal
  next.Load();
  EXPECT_EQ(next.GetHiddenCount(), 1);
}

TEST_F(ProcessingTest, AFileWhoseTargetIsItselfIsLeftWhereItIsWhateverTheAnswer) {
  // "Recreate directory structure" off, the destination the file's own folder.
  for (int answer : {1, 3, 0, 2}) {  // No, No to all, Yes, Yes to all
    SCOPED_TRACE(answer);
    records.clear();
    rows.clear();
    Add(kDest / L"own.mp3", "the only copy");
    const std::wstring other = L"other" + std::to_wstring(answer) + L".mp3";
    Add(kRoot / L"M" / other, "other");
    ui.answers = {answer, answer};
    ui.questions.clear();
    const TProcessResult moved = Run(kProcessCopy | kProcessReserve, false);
    EXPECT_EQ(test::ReadWhole(kDest / L"own.mp3"), "the only copy");
    EXPECT_EQ(records[0]->Tag, 1);
    EXPECT_TRUE(rows[0].checked);
    EXPECT_TRUE(ui.questions.empty());  // nothing to overwrite: not asked
    ASSERT_EQ(moved.ownFolder.size(), 1u);
    EXPECT_EQ(moved.ownFolder[0], (kDest / L"own.mp3").wstring());
    EXPECT_NE(OwnFolderSummary(moved).find("own.mp3"), std::string::npos);
    // The other file moved as usual.
    EXPECT_EQ(test::ReadWhole(kDest / other), "other");
    EXPECT_EQ(records[1]->Tag, -1);
  }
  EXPECT_EQ(reserve.GetHiddenCount(), 4);  // only the four other files
  records.clear();
  rows.clear();
  Add(kDest / L"own.mp3", "the only copy");
  EXPECT_EQ(Run(kProcessCopy, false).ownFolder.size(), 1u);
  EXPECT_EQ(test::ReadWhole(kDest / L"own.mp3"), "the only copy");
}

// A record as the scan makes it on a volume without short names: its wide
// path, a display path with "?" and an access path with "|".
TEST_F(ProcessingTest, NamesOutsideTheCodePageAreDeletedRecoveredAndCopiedByTheirWidePaths) {
  const fs::path folder = kRoot / L"\u041c\u0443\u0437\u044b\u043a\u0430" / L"\u0141\u00f3d\u017a \U0001F3B5";
  const fs::path file = folder / L"\u0416\u00f3\u0142\u0107 \u65e5\u672c \u03a9.mp3";
  Write(file, std::string("bytes \0 of the song", 19));
  auto rec = std::make_unique<TMP3Info>();
  rec->SetWidePath(ToU16(file.wstring()));
  rec->SetTagPart(kTagDisplayPath, WStringToAnsi(file.wstring()));
  rec->SetFileName("C:\\kvprocess\\||||||\\|||| |\\|||| || |.mp3");
  rec->Tag = 1;
  rows.push_back({rec.get(), true});
  records.push_back(std::move(rec));

  const TProcessResult copied = Run(kProcessCopy, true);
  EXPECT_TRUE(ui.questions.empty()) << ui.questions.front();
  const fs::path target = kDest / (L"Disk C" + file.wstring().substr(2));
  EXPECT_EQ(test::ReadWhole(target), std::string("bytes \0 of the song", 19));
  EXPECT_TRUE(copied.ownFolder.empty());

  rows[0].checked = true;
  Run(kProcessReserve);
  EXPECT_TRUE(ui.questions.empty()) << ui.questions.front();
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(records[0]->Tag, -1);
  ASSERT_EQ(reserve.GetHiddenCount(), 1);
  EXPECT_TRUE(fs::exists(HiddenPathOf(reserve.Lines()[0])));

  // A restart reads the reserve back and gives the file its exact name.
  TReserve next{kProgram.wstring()};
  next.Load();
  ASSERT_EQ(next.GetHiddenCount(), 1);
  const TReserveRun run = next.Recover(nullptr);
  EXPECT_EQ(run.done, 1);
  EXPECT_EQ(test::ReadWhole(file), std::string("bytes \0 of the song", 19));
}

// Short names pass from file to file: once the row's file is renamed or
// removed in another program, another file of its folder may take the short
// name the scan recorded as the row's access path. Only the row's own file,
// the one at its wide path, is ever reserved.
TEST_F(ProcessingTest, AShortNameTakenByAnotherFileNeverLeadsTheRunToThatFile) {
  const fs::path folder = kRoot / L"M";
  const std::wstring name = L"\u0416\u0430\u0440.mp3";  // the code page lacks it
  const std::wstring shortName = L"ZHAR~1.MP3";
  SetShortPathLookup([&](const std::wstring& path) {
    return path == (folder / name).wstring() ? (folder / shortName).wstring() : std::wstring();
  });
  ScopeGuard restore([] { SetShortPathLookup(nullptr); });
  std::string song(4170, '\0');  // ten MPEG-1 Layer III frames
  for (size_t at = 0; at < song.size(); at += 417) song.replace(at, 4, "\xFF\xFB\x90\x40");
  const std::string theirs = "another program's file";

  struct Case {
    const char* what;
    int mode;
    bool renamedAway;  // the row's file left its name before the other took the short name
  };
  for (const Case& c : {Case{"delete", kProcessReserve, false}, Case{"move", kProcessCopy | kProcessReserve, false},
                        Case{"delete a renamed file", kProcessReserve, true}}) {
    SCOPED_TRACE(c.what);
    reserve = TReserve(kProgram.wstring());  // lets go of the journal
    SetUp();
    Write(folder / name, song);
    TMP3Collection scanned;
    scanned.ScanDisks(ToU16(folder.wstring()), TScanFileEvent());
    ASSERT_EQ(scanned.Count(), 1);
    TMP3Info& rec = scanned.Items(0);
    ASSERT_EQ(rec.FileName(), WStringToAnsi((folder / shortName).wstring()));
    rec.Tag = 1;
    rows = {{&rec, true}};
    ui = ScriptedUi();
    if (c.renamedAway) fs::rename(folder / name, folder / L"kept.mp3");
    Write(folder / shortName, theirs);

    Run(c.mode);
    EXPECT_EQ(test::ReadWhole(folder / shortName), theirs);
    if (c.renamedAway) {
      ASSERT_EQ(ui.questions.size(), 1u);
      EXPECT_EQ(ui.questions[0], "Unable to delete file\"" + WStringToAnsi((folder / name).wstring()) + "\"");
      EXPECT_TRUE(rows[0].checked);
      EXPECT_EQ(rec.Tag, 1);
      EXPECT_EQ(reserve.GetHiddenCount(), 0);
      EXPECT_TRUE(test::ReadWhole(folder / L"kept.mp3") == song);
      continue;
    }
    EXPECT_TRUE(ui.questions.empty()) << ui.questions.front();
    EXPECT_FALSE(fs::exists(folder / name));
    EXPECT_EQ(rec.Tag, -1);
    ASSERT_EQ(reserve.GetHiddenCount(), 1);
    const fs::path hidden = HiddenPathOf(reserve.Lines()[0]);
    EXPECT_TRUE(test::ReadWhole(hidden) == song);
    EXPECT_EQ(reserve.GetHiddenSize(), int64_t(song.size()));
    if (c.mode & kProcessCopy) {
      EXPECT_TRUE(test::ReadWhole(kDest / (L"Disk C" + (folder / name).wstring().substr(2))) == song);
    }

    // Freeing the reserve deletes the row's file, and only that.
    EXPECT_EQ(reserve.Free(nullptr).done, 1);
    EXPECT_FALSE(fs::exists(hidden));
    EXPECT_EQ(test::ReadWhole(folder / shortName), theirs);
  }
}

}  // namespace
}  // namespace kv
