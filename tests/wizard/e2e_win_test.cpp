// The whole program from outside, over a generated library (tests/wizard/
// e2e.cmake) copied to C:\kve2e\lib: search, smart marks, delete into the
// reserve, exit, restart on the reserve page, recover, free, restart, open the
// saved list; and the runs that go wrong on the way.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "engine/mp3_collection.h"
#include "tests/wizard/e2e_driver_win.h"
#include "wizard/reserve_list.h"
#include "wizard/step_texts.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = L"C:\\kve2e";
const fs::path kLibrary = kRoot / L"lib";
const fs::path kProgram = kRoot / L"prog";
// The status bar after a search of the library.
const std::vector<std::string> kFound = {"Total:", "5 groups", "10 files", "96Kbytes"};
// The results page's tool buttons: Play, separator, Delete, Move, Copy...
constexpr int kDeleteButton = 3, kMoveButton = 4, kReportButton = 13;

bool IsHidden(const fs::path& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

class EndToEnd : public test::ProgramFixture {
 protected:
  void SetUp() override {
    const fs::path source = fs::path(KV_TEST_BINARY_DIR) / "e2e_library";
    ASSERT_TRUE(fs::exists(source)) << "made by the fixture wizard_e2e_library";
    test::RemoveTree(kRoot);
    fs::create_directories(kProgram);
    fs::copy(source, kLibrary, fs::copy_options::recursive);
    // relative path (UTF-8) -> hidden name's digits, from Python's hashlib
    std::istringstream lines(test::ReadWhole(source.string() + ".digests"));
    for (std::string line; std::getline(lines, line);) {
      const size_t tab = line.find('\t');
      const fs::path file = kLibrary / fs::u8path(line.substr(0, tab));
      digests[file] = line.substr(tab + 1);
      contents[file] = test::ReadWhole(file);
    }
    InstallProgram(kProgram);
    unmanagedWindows = true;
    steps = test::ReadWhole(kProgram / "steps.txt");
  }
  void TearDown() override {
    ProgramFixture::TearDown();
    SetEnvironmentVariableW(L"KELVARIN_TEST_CRASH_AT", nullptr);
    test::RemoveTree(kRoot);
  }

  // Settings as a user's earlier runs left them.
  void Preset(const std::map<std::string, std::string>& lastValues) {
    auto config = LoadXMLConfig((kProgram / "kelvarin.conf.xml").wstring(), true);
    config->WriteString("Last", "TreeSelection", WStringToAnsi(kLibrary.wstring()));
    config->WriteString("Last", "DupeSimilar", "1");
    for (const auto& [key, value] : lastValues) config->WriteString("Last", key, value);
    config->UpdateFile();
  }
  // From the page shown to the results of a similar search.
  std::vector<std::string> Search(HWND main) { return SearchFromHere(main, StepText(steps, 6)); }
  // Delete on the tool bar, and Yes to the confirmation with its count.
  void Delete(HWND main, int count) {
    ToolCommand(main, kDeleteButton);
    const auto [box, text] = WaitForMessageBox();
    EXPECT_EQ(text, "Do you really want to delete " + std::to_string(count) + " files ?");
    Answer(box, IDYES);
  }
  void Exit(HWND main) {
    Click(main, "&Exit");
    EXPECT_EQ(WaitForExit(), 0u);
  }
  std::string ReservePageText(HWND main) {
    HWND label = ChildIf(main, [](HWND w) {
      const std::string text = test::WindowText(w);
      return text.starts_with("Duplicates deleted") || text.starts_with("There are no space");
    });
    return label ? test::WindowText(label) : "(no reserve text)";
  }
  fs::path HiddenName(const fs::path& file) { return file.parent_path() / digests.at(file); }
  // Files whose names are 32 hex digits, everywhere in the library.
  std::set<fs::path> HiddenOnDisk() {
    std::set<fs::path> found;
    for (const auto& e : fs::recursive_directory_iterator(kLibrary))
      if (IsHiddenName(WStringToAnsi(e.path().filename().wstring()))) found.insert(e.path());
    return found;
  }
  // The saved result list's rows: (display path's file name, Tag).
  std::multiset<int32_t> SavedTags() {
    TMP3Collection saved;
    saved.LoadFromCSV((kProgram / "last").string());
    std::multiset<int32_t> tags;
    for (int32_t i = 0; i < saved.Count(); ++i) tags.insert(saved.Items(i).Tag);
    return tags;
  }
  int Count(const std::multiset<int32_t>& tags, bool (*accept)(int32_t)) {
    int n = 0;
    for (int32_t t : tags) n += accept(t);
    return n;
  }

  std::map<fs::path, std::string> digests, contents;
  std::string steps;
  // The copies smart marking checks: the lower bit rate of each group.
  const std::vector<fs::path> worse = {kLibrary / L"Abba\\old\\Waterloo.mp3", kLibrary / L"Kino\\\u041f\u0435\u0441\u043d\u044f.mp3",
                                       kLibrary / L"Kino\\\u041c\u0435\u0447\u0442\u0430.mp3",
                                       kLibrary / L"Caf\u00e9\\\u00c9t\u00e9 indien.mp3", kLibrary / L"Floyd\\Shine.mp3"};
};

TEST_F(EndToEnd, SearchDeleteExitRecoverFreeAndReopenTheList) {
  Preset({});
  HWND main = Start();
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 2));
  // Pictures of the pages on the way, for the eye.
  Screenshot(main, "e2e_folder_page");
  Click(main, "Next >");
  Screenshot(main, "e2e_dupe_similar_page");
  Click(main, "Next >");
  Screenshot(main, "e2e_similarity_page");
  ASSERT_EQ(Search(main), kFound);
  Screenshot(main, "e2e_results_page");
  // The report's file dialog and the destination chooser, both cancelled.
  ToolCommand(main, kReportButton);
  HWND dialog = nullptr;
  ASSERT_TRUE(test::WaitUntil([&] { return (dialog = FindTop("Select the file for report")) != nullptr; }));
  Screenshot(dialog, "e2e_report_dialog");
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(test::WaitUntil([&] { return !IsWindow(dialog); }));
  ToolCommand(main, kMoveButton);
  HWND chooser = nullptr;
  ASSERT_TRUE(test::WaitUntil([&] { return (chooser = FindTop("Copy/Move Files")) != nullptr; }));
  test::WaitUntil([&] { return ChildOfClass(chooser, "Edit") != nullptr; }, 3000);
  Screenshot(chooser, "e2e_chooser");
  PostClick(chooser, "Cancel");
  ASSERT_TRUE(test::WaitUntil([&] { return !IsWindow(chooser) && IsWindowEnabled(main); }));

  // One hidden name is taken: that file stays, with its mark.
  const fs::path clash = HiddenName(worse[0]);
  test::WriteWhole(clash, "taken");
  Delete(main, 5);
  HWND progress = nullptr;
  ASSERT_TRUE(test::WaitUntil([&] { return (progress = FindTop("Processing...")) && Child(progress, "Ok"); }));
  HWND notice = ChildIf(progress, [](HWND w) { return test::WindowText(w).starts_with("Unable"); });
  EXPECT_EQ(notice ? test::WindowText(notice) : "", "Unable to delete file\"" + WStringToAnsi(worse[0].wstring()) + "\"");
  EXPECT_FALSE(IsWindowEnabled(main));
  Screenshot(progress, "e2e_progress_window");
  PostClick(progress, "Ok");
  ASSERT_TRUE(test::WaitUntil([&] { return !FindTop("Processing...") && IsWindowEnabled(main); }));
  Exit(main);

  const std::string log = test::ReadWhole(kProgram / "tmp.log");
  size_t at = 0;
  for (const char* marker : {"ifcoldispl:before logfinish", "ifcoldispl:before logfree", "ifcoldispl:after logfree",
                             "ifcoldispl:final"}) {
    at = log.find(std::string(marker) + "\r\n", at);
    ASSERT_NE(at, std::string::npos) << marker << " in\n" << log;
  }
  EXPECT_EQ(Setting("Last", "Ready"), "1");
  const std::multiset<int32_t> tags = SavedTags();
  EXPECT_EQ(tags.size(), 10u);
  EXPECT_EQ(tags.count(-1), 4u);
  EXPECT_EQ(Count(tags, [](int32_t t) { return t > 100000; }), 1);  // the file that could not go
  EXPECT_EQ(test::ReadWhole(kProgram / "lasterr.txt"), "183");
  EXPECT_EQ(test::ReadWhole(clash), "taken");
  EXPECT_EQ(test::ReadWhole(worse[0]), contents[worse[0]]);
  EXPECT_FALSE(IsHidden(worse[0]));
  for (const auto& [file, bytes] : contents) {
    const bool reserved = std::find(worse.begin() + 1, worse.end(), file) != worse.end();
    EXPECT_EQ(fs::exists(file), !reserved) << file;
    if (!reserved) continue;
    EXPECT_TRUE(IsHidden(HiddenName(file))) << file;
    EXPECT_EQ(test::ReadWhole(HiddenName(file)), bytes) << file;
  }
  fs::remove(clash);

  // The next start shows the reserve; a recovery onto a taken name keeps that file.
  main = Start();
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 0));
  EXPECT_EQ(ReservePageText(main),
            "Duplicates deleted before still occupy the space\r\nYou can free 26Kb or recover 4 files");
  Screenshot(main, "e2e_reserve_page");
  const fs::path blocked = worse[3];
  test::WriteWhole(blocked, "blocker");
  PostClick(main, "Recover deleted files");
  const auto [box, text] = WaitForMessageBox();
  EXPECT_TRUE(text.starts_with("1 files stay in the reserve:")) << text;
  Answer(box, IDOK);
  ASSERT_TRUE(test::WaitUntil([&] { return ReservePageText(main).ends_with("or recover 1 files"); }))
      << ReservePageText(main);
  EXPECT_EQ(test::ReadWhole(blocked), "blocker");
  EXPECT_EQ(HiddenOnDisk(), std::set<fs::path>{HiddenName(blocked)});
  // The rest freed for good, after the real question.
  PostClick(main, "Free reserved space now");
  const auto [freeBox, asked] = WaitForMessageBox();
  EXPECT_TRUE(asked.starts_with("Do you really want to free reserved space ?")) << asked;
  Answer(freeBox, IDYES);
  ASSERT_TRUE(test::WaitUntil([&] { return ReservePageText(main).starts_with("There are no space"); }));
  Exit(main);
  for (const auto& [file, bytes] : contents) {
    EXPECT_EQ(test::ReadWhole(file), file == blocked ? "blocker" : bytes) << file;
    EXPECT_FALSE(IsHidden(file)) << file;
  }
  EXPECT_TRUE(HiddenOnDisk().empty());
  const std::string data = test::ReadWhole(kProgram / "data");
  const TReserveArchive archive = ReadReserveArchive(std::vector<uint8_t>(data.begin(), data.end()));
  EXPECT_EQ(archive.list, "");
  std::multiset<std::string> history;
  for (const std::string& name : archive.entryNames) history.insert(name.substr(0, 4));
  EXPECT_EQ(history, (std::multiset<std::string>{"data", "size", "rec.", "del."}));

  // Without a reserve the wizard opens on the choice, and the saved list comes back.
  main = Start();
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 1));
  Screenshot(main, "e2e_open_scan_page");
  Click(main, "Open recently found duplicates list");
  Click(main, "Next >");
  EXPECT_EQ(StepMemo(main), StepText(steps, 6));
  EXPECT_EQ(StatusTexts(main), (std::vector<std::string>{"Total:", "5 groups", "10 files", "96Kbytes"}));
  // Its one marked row is marked again: Delete counts it (and No leaves it).
  ToolCommand(main, kDeleteButton);
  const auto [again, question] = WaitForMessageBox();
  EXPECT_EQ(question, "Do you really want to delete 1 files ?");
  Answer(again, IDNO);
  Exit(main);
  EXPECT_EQ(test::ReadWhole(worse[0]), contents[worse[0]]);
}

// Killed in the middle of a delete, its archive damaged since: the next
// start says so and takes the reserve from the journal, which names exactly
// the files renamed before the kill.
TEST_F(EndToEnd, AKilledDeleteAndAnUnreadableArchiveLoseNoFile) {
  Preset({{"Ready", "1"}, {"OpenScan", "1"}});
  SetEnvironmentVariableW(L"KELVARIN_TEST_CRASH_AT", L"rename:3");
  HWND main = Start();
  SetEnvironmentVariableW(L"KELVARIN_TEST_CRASH_AT", nullptr);
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 1));
  ASSERT_EQ(Search(main), kFound);
  Delete(main, 5);
  EXPECT_EQ(WaitForExit(), 3u);  // the crash point's exit code
  const std::set<fs::path> renamed = HiddenOnDisk();
  EXPECT_EQ(renamed.size(), 3u);
  for (const fs::path& hidden : renamed)
    EXPECT_TRUE(std::any_of(worse.begin(), worse.end(),
                            [&](const fs::path& f) { return HiddenName(f) == hidden && !fs::exists(f); }))
        << hidden;
  test::WriteWhole(kProgram / "data", "PK\x03\x04 not a whole archive");

  ASSERT_TRUE(Launch());
  const auto [box, text] = WaitForMessageBox();
  EXPECT_TRUE(text.starts_with("The list of the reserve of deleted files \"" + WStringToAnsi((kProgram / "data").wstring())))
      << text;
  Answer(box, IDOK);
  main = WaitForMain();
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 0));
  EXPECT_TRUE(ReservePageText(main).ends_with("or recover 3 files")) << ReservePageText(main);
  int aside = 0;
  for (const auto& e : fs::directory_iterator(kProgram))
    aside += e.path().filename().string().ends_with(".unreadable");
  EXPECT_EQ(aside, 1);
  PostClick(main, "Recover deleted files");
  ASSERT_TRUE(test::WaitUntil([&] { return ReservePageText(main).starts_with("There are no space"); }));
  Exit(main);
  for (const auto& [file, bytes] : contents) EXPECT_EQ(test::ReadWhole(file), bytes) << file;
  EXPECT_TRUE(HiddenOnDisk().empty());
}

// The very first run killed while deleting: no list was ever saved, yet the
// next start opens on the reserve page with the files the journal names.
TEST_F(EndToEnd, AFirstRunKilledWhileDeletingOpensOnTheReserve) {
  Preset({});
  SetEnvironmentVariableW(L"KELVARIN_TEST_CRASH_AT", L"rename:2");
  HWND main = Start();
  SetEnvironmentVariableW(L"KELVARIN_TEST_CRASH_AT", nullptr);
  ASSERT_TRUE(main);
  ASSERT_EQ(Search(main), kFound);
  Delete(main, 5);
  EXPECT_EQ(WaitForExit(), 3u);
  EXPECT_EQ(HiddenOnDisk().size(), 2u);
  EXPECT_EQ(Setting("Last", "Ready"), "(missing)");

  main = Start();
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 0));
  EXPECT_TRUE(ReservePageText(main).ends_with("or recover 2 files")) << ReservePageText(main);
  PostClick(main, "Recover deleted files");
  ASSERT_TRUE(test::WaitUntil([&] { return ReservePageText(main).starts_with("There are no space"); }));
  Exit(main);
  for (const auto& [file, bytes] : contents) EXPECT_EQ(test::ReadWhole(file), bytes) << file;
}

// Moving to a drive nothing can be written to (R: in the test prefix is a
// sysfs folder): each file's copy fails with a notice, and a source whose
// copy failed is not reserved and keeps its mark.
TEST_F(EndToEnd, AMoveToAReadOnlyDriveKeepsSourcesAndMarks) {
  if (GetFileAttributesW(L"R:\\") == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no drive R:";
  Preset({{"CopyMoveTo", "R:\\"}, {"CopyMoveSavePath", "1"}});
  HWND main = Start();
  ASSERT_TRUE(main);
  ASSERT_EQ(Search(main), kFound);
  ToolCommand(main, kMoveButton);
  HWND chooser = nullptr;
  ASSERT_TRUE(test::WaitUntil([&] { return (chooser = FindTop("Copy/Move Files")) != nullptr; }));
  // The chooser's window exists before its box is filled.
  HWND edit = nullptr;
  EXPECT_TRUE(test::WaitUntil([&] { return (edit = ChildOfClass(chooser, "Edit")) && test::WindowText(edit) == "R:\\"; }))
      << (edit ? test::WindowText(edit) : "no box");
  PostClick(chooser, "OK");
  for (int notices = 0; notices < 5; ++notices) {
    HWND progress = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return (progress = FindTop("Processing...")) && Child(progress, "Ok"); }))
        << notices;
    HWND notice = ChildIf(progress, [](HWND w) { return test::WindowText(w).starts_with("Unable to copy file"); });
    ASSERT_TRUE(notice) << notices;
    PostClick(progress, "Ok");
    test::WaitUntil([&] { return !IsWindow(notice); });
  }
  ASSERT_TRUE(test::WaitUntil([&] { return !FindTop("Processing...") && IsWindowEnabled(main); }));
  Exit(main);
  for (const auto& [file, bytes] : contents) EXPECT_EQ(test::ReadWhole(file), bytes) << file;
  EXPECT_TRUE(HiddenOnDisk().empty());
  const std::multiset<int32_t> tags = SavedTags();
  EXPECT_EQ(tags.count(-1), 0u);
  EXPECT_EQ(Count(tags, [](int32_t t) { return t > 100000; }), 5);
  EXPECT_EQ(Setting("Last", "CopyMoveTo"), "R:\\");
}

}  // namespace
}  // namespace kv
