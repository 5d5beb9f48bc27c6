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
#include "tests/wizard/e2e_driver_win.h"
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
