// The program itself, started in a program folder of its own and driven from
// outside as a user would: buttons clicked, the window moved, maximised and
// closed, then its log and settings file read.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/collection_csv.h"
#include "foundation/zip_strings_win.h"
#include "tests/wizard/e2e_driver_win.h"
#include "tests/wizard/reserve_zip_util.h"
#include "wizard/step_texts.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

class Program : public test::ProgramFixture {
 protected:
  void SetUp() override {
    InstallProgram(folder.Path());
    SetEnvironmentVariableW(L"KELVARIN_LOG_MESSAGE_BOXES", L"1");
  }
  void TearDown() override {
    ProgramFixture::TearDown();
    SetEnvironmentVariableW(L"KELVARIN_LOG_MESSAGE_BOXES", nullptr);
  }

  TempFolder folder;
};

TEST_F(Program, StartsInOrderStepsThroughThePagesAndSavesOnExit) {
  const std::string steps = test::ReadWhole(folder.Path() / "steps.txt");
  HWND main = Start();
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 2));
  EXPECT_FALSE(IsWindowEnabled(Child(main, "< &Back")));
  // Tab passes over the step text: it is only read.
  HWND memo = ChildIf(main, [](HWND w) { return test::ClassOf(w) == "Edit" && (GetWindowLongW(w, GWL_STYLE) & ES_READONLY); });
  ASSERT_TRUE(memo);
  EXPECT_FALSE(GetWindowLongW(memo, GWL_STYLE) & WS_TABSTOP);
  Click(main, "Next >");
  EXPECT_EQ(StepMemo(main), StepText(steps, 3));
  Click(main, "Search for duplicates and similar files (remixes, variations, etc.)");
  Click(main, "Next >");
  EXPECT_EQ(StepMemo(main), StepText(steps, 4));
  EXPECT_TRUE(Child(main, "Search"));
  Click(main, "< &Back");
  EXPECT_EQ(StepMemo(main), StepText(steps, 3));
  SetWindowPos(main, nullptr, 50, 60, 600, 400, SWP_NOZORDER | SWP_NOACTIVATE);
  Click(main, "&Exit");
  EXPECT_EQ(WaitForExit(), 0u);

  const std::string log = test::ReadWhole(folder.Path() / "tmp.log");
  size_t at = 0;
  for (const char* marker : {"CommonInit:start", "CommonInit:success", "Dpr:start", "Dpr:conig", "Dpr:about",
                             "Dpr:splash", "Dpr:main", "Dpr:theme", "Dpr:load", "Dpr:init", "Dpr:run"}) {
    const size_t found = log.find(std::string(marker) + "\r\n", at);
    ASSERT_NE(found, std::string::npos) << marker << " in\n" << log;
    at = found + 1;
  }
  EXPECT_EQ(log.find("MessageBox"), std::string::npos) << log;
  EXPECT_EQ(Setting("Session", "ArtistBound"), "90");
  EXPECT_EQ(Setting("Session", "TitleBound"), "85");
  EXPECT_EQ(Setting("Session", "Combine"), "3");
  EXPECT_EQ(Setting("Session", "TimeDifference"), "5");
  EXPECT_EQ(Setting("Session", "CheckAlbums"), "0");
  EXPECT_EQ(Setting("Last", "OpenScan"), "0");
  EXPECT_EQ(Setting("Last", "DupeSimilar"), "1");
  EXPECT_EQ(Setting("Last", "TreeSelection"), "");
  EXPECT_EQ(Setting("SizeAndPos", "MainForm"), "400,600,60,50,0,");
  EXPECT_EQ(Setting("SizeAndPos", "MainForm.MainPanel.WorkPanel.Panel1"), "49,,,,");
  EXPECT_EQ(Setting("SizeAndPos", "MainForm.MainPanel.WorkPanel.panProperties.DupeSimilarFrame"), ",,,,");

  // The next start has that geometry; closed maximised, it comes back so.
  main = Start();
  ASSERT_TRUE(main);
  RECT r;
  GetWindowRect(main, &r);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.top, 60);
  EXPECT_EQ(r.right - r.left, 600);
  EXPECT_EQ(r.bottom - r.top, 400);
  ShowWindow(main, SW_MAXIMIZE);
  Click(main, "&Exit");
  EXPECT_EQ(WaitForExit(), 0u);
  EXPECT_EQ(Setting("SizeAndPos", "MainForm"), "400,600,60,50,2,");
  main = Start();
  ASSERT_TRUE(main);
  EXPECT_TRUE(IsZoomed(main));
  // Wine answers GetWindowPlacement for another process's window with its
  // current rectangle, so the normal bounds are read by restoring it.
  ShowWindow(main, SW_RESTORE);
  GetWindowRect(main, &r);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.right - r.left, 600);
  PostMessageW(main, WM_CLOSE, 0, 0);  // the close box behaves as Exit
  EXPECT_EQ(WaitForExit(), 0u);
}

// Exit while another program holds the result list "last" open without
// sharing: the user is told once, naming the file; the reserve and the
// settings are saved all the same, "Ready" is set before the list is saved
// (opening a list that is not there shows an empty one) and the program ends
// normally.
TEST_F(Program, ALockedResultListAtExitIsToldOnceAndTheRestIsSaved) {
  HWND main = Start();
  ASSERT_TRUE(main);
  Click(main, "Next >");
  Click(main, "Search for duplicates and similar files (remixes, variations, etc.)");
  Click(main, "Next >");
  Click(main, "Search");  // an empty search: an empty result list
  const fs::path last = folder.Path() / "last";
  FileHandle lock(CreateFileW(last.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(lock);
  Click(main, "&Exit");
  EXPECT_EQ(WaitForExit(), 0u);
  lock = FileHandle();

  const std::string log = test::ReadWhole(folder.Path() / "tmp.log");
  const size_t box = log.find("MessageBox: ");
  ASSERT_NE(box, std::string::npos) << log;
  EXPECT_EQ(log.find("MessageBox: ", box + 1), std::string::npos) << log;
  const std::string told = log.substr(box, log.find("\r\n\r\n", box) - box);
  EXPECT_NE(told.find("\"" + last.string() + "\""), std::string::npos) << told;
  EXPECT_EQ(test::ReadWhole(last), "");
  EXPECT_TRUE(fs::exists(folder.Path() / "data"));
  EXPECT_EQ(Setting("Last", "DupeSimilar"), "1");
  EXPECT_EQ(Setting("Session", "ArtistBound"), "90");
  EXPECT_EQ(Setting("Last", "Ready"), "1");
}

// Files a killed delete left only in the journal: the wizard opens on the
// reserve page although no result list was ever saved. Once the archive
// lists them, the first start without a saved list is the folder page again.
// The reserve page as the program draws it with its theme manager: the
// status text maroon on the tool-tip background, inside the maroon frame.
TEST_F(Program, TheReservePageShowsAnUnfinishedRunAndItsText) {
  const std::string steps = test::ReadWhole(folder.Path() / "steps.txt");
  const fs::path lib = folder.Path() / "lib";
  fs::create_directories(lib);
  const fs::path hidden = lib / "0123456789ABCDEF0123456789ABCDEF";
  test::WriteWhole(hidden, std::string(3000, 'x'));
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  test::WriteWhole(folder.Path() / "data.journal", hidden.string() + "\t" + (lib / "song.mp3").string() + "\r\n");
  auto reservePage = [&](HWND main) {
    return ChildIf(main, [](HWND w) { return test::WindowText(w).starts_with("Duplicates deleted before"); });
  };

  HWND main = Start();
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 0));
  EXPECT_TRUE(reservePage(main));
  EXPECT_FALSE(IsWindowEnabled(Child(main, "< &Back")));
  Click(main, "&Exit");
  EXPECT_EQ(WaitForExit(), 0u);
  main = Start();
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 2));
  Click(main, "&Exit");
  EXPECT_EQ(WaitForExit(), 0u);

  {
    auto config = LoadXMLConfig((folder.Path() / "kelvarin.conf.xml").wstring(), true);
    config->WriteString("Last", "Ready", "1");
    config->UpdateFile();
  }
  main = Start();
  ASSERT_TRUE(main);
  HWND label = reservePage(main);
  ASSERT_TRUE(label);
  const ui::TBitmap shot = Screenshot(main, "program_reserve_page");
  RECT window, box;
  GetWindowRect(main, &window);
  GetWindowRect(label, &box);
  OffsetRect(&box, -window.left, -window.top);
  auto rgb = [](COLORREF c) { return uint32_t(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c); };
  const uint32_t infoBk = rgb(GetSysColor(COLOR_INFOBK)), maroon = 0x800000;
  // Right of the text's end, and the text itself.
  EXPECT_EQ(shot.Pixel(box.right - 4, box.bottom - 4), infoBk);
  EXPECT_EQ(shot.Pixel(box.right - 4, box.top + 2), infoBk);
  int text = 0;
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x) text += shot.Pixel(x, y) == maroon;
  EXPECT_GT(text, 200);
  // The frame around it stays maroon.
  EXPECT_EQ(shot.Pixel(box.left - 1, box.top - 1), maroon);
  // The two buttons draw their captions in their own red font, not the theme's.
  for (const char* caption : {"Free reserved space now", "Recover deleted files"}) {
    HWND button = Child(main, caption);
    ASSERT_TRUE(button) << caption;
    RECT face;
    GetWindowRect(button, &face);
    OffsetRect(&face, -window.left, -window.top);
    int red = 0;
    for (int y = face.top; y < face.bottom; ++y)
      for (int x = face.left; x < face.right; ++x) red += shot.Pixel(x, y) == 0xFF0000;
    EXPECT_GT(red, 40) << caption;
  }
  Click(main, "&Exit");
  EXPECT_EQ(WaitForExit(), 0u);
}

// A reserve archive whose "size" entry no save could copy (cut short, or
// without its local header) is told once and set aside as it was; the
// wizard starts, the reserved file is kept, and the archive is new.
TEST_F(Program, AReserveArchiveWithADamagedSizeIsToldAndTheWizardStarts) {
  const fs::path lib = folder.Path() / "lib";
  fs::create_directories(lib);
  const fs::path hidden = lib / "0123456789ABCDEF0123456789ABCDEF";
  test::WriteWhole(hidden, std::string(3000, 'x'));
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  const std::string list = hidden.string() + "\t" + (lib / "song.mp3").string() + "\r\n";
  for (const bool cut : {true, false}) {
    SCOPED_TRACE(cut ? "cut" : "no local header");
    std::vector<uint8_t> bytes = test::RawZip({test::StoredEntry("data", list), test::StoredEntry("size", "1000")});
    const size_t central = test::Le(bytes, bytes.size() - 6, 4) + 46 + 4;  // the record of "size"
    if (cut) {
      const uint32_t claimed = test::Le(bytes, central + 20, 4) + 1000;
      for (size_t i = 0; i < 4; ++i) bytes[central + 20 + i] = static_cast<uint8_t>(claimed >> (8 * i));
    } else {
      bytes[test::Le(bytes, central + 42, 4)] = 'X';
    }
    const std::string damaged(bytes.begin(), bytes.end());
    for (const auto& e : fs::directory_iterator(folder.Path()))
      if (e.path().extension() == ".unreadable") fs::remove(e.path());
    fs::remove(folder.Path() / "data.journal");
    fs::remove(folder.Path() / "tmp.log");
    test::WriteWhole(folder.Path() / "data", damaged);

    HWND main = Start();
    ASSERT_TRUE(main);
    EXPECT_TRUE(Child(main, "&Exit"));
    Click(main, "&Exit");
    EXPECT_EQ(WaitForExit(), 0u);
    const std::string log = test::ReadWhole(folder.Path() / "tmp.log");
    EXPECT_NE(log.find("MessageBox: The list of the reserve of deleted files"), std::string::npos) << log;
    EXPECT_NE(log.find("The entry \"size\" of the reserve's archive is damaged"), std::string::npos) << log;
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(folder.Path()))
      if (e.path().extension() == ".unreadable") aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(test::ReadWhole(aside[0]), damaged);
    EXPECT_TRUE(fs::exists(hidden));
    const std::string archive = (folder.Path() / "data").string();
    EXPECT_EQ(LoadStringFromZip(archive, "data", ""), list);
    EXPECT_EQ(LoadStringFromZip(archive, "size", ""), "3000");
  }
}

// A second start from the same folder says so and ends at once: two
// programs would each write their reserve list at exit.
TEST_F(Program, ASecondStartFromTheSameFolderEndsWithoutWritingAFile) {
  HWND main = Start();
  ASSERT_TRUE(main);
  auto snapshot = [&] {
    std::vector<std::pair<std::wstring, uintmax_t>> files;
    for (const auto& e : fs::directory_iterator(folder.Path()))
      files.emplace_back(e.path().filename().wstring(), e.is_regular_file() ? e.file_size() : 0);
    std::sort(files.begin(), files.end());
    return files;
  };
  const auto before = snapshot();
  KernelHandle first = std::move(process);
  ASSERT_TRUE(Launch());
  EXPECT_EQ(WaitForExit(), 2u);
  process = std::move(first);
  EXPECT_EQ(snapshot(), before);
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForExit(), 0u);
}

// A saved list that exists but cannot be read (another program holds it) is
// no empty list: opening it says so, and Exit leaves it and "Ready" alone.
TEST_F(Program, ARestartWithLastUnreadableSaysSoAndKeepsIt) {
  const std::string list = std::string(kCsvHeader) + "\r\n1,Artist,Title,C:\\nowhere\\a.mp3,,,0,0,1,2,3,4,5\r\n";
  test::WriteWhole(folder.Path() / "last", list);
  {
    auto config = LoadXMLConfig((folder.Path() / "kelvarin.conf.xml").wstring(), true);
    config->WriteString("Last", "Ready", "1");
    config->UpdateFile();
  }
  FileHandle held(CreateFileW((folder.Path() / "last").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  HWND main = Start();
  ASSERT_TRUE(main);
  Click(main, "Open recently found duplicates list");
  Click(main, "Next >");  // the message box goes to the log
  EXPECT_TRUE(Child(main, "Open recently found duplicates list"));  // still on the choice
  held = FileHandle();  // readable again: only Exit could touch it now
  Click(main, "&Exit");
  EXPECT_EQ(WaitForExit(), 0u);
  const std::string log = test::ReadWhole(folder.Path() / "tmp.log");
  EXPECT_NE(log.find("MessageBox: The file \""), std::string::npos) << log;
  EXPECT_NE(log.find("\\last\" cannot be read: "), std::string::npos) << log;
  EXPECT_EQ(test::ReadWhole(folder.Path() / "last"), list);
  EXPECT_EQ(Setting("Last", "Ready"), "1");
}

}  // namespace
}  // namespace kv
