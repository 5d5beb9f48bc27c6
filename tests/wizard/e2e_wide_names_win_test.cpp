// The whole program from outside over names the ANSI code page cannot hold
// (Cyrillic, Polish, Greek, CJK, an emoji), on what stands for a volume
// without short names (KELVARIN_TEST_NO_SHORT_NAMES): folders checked from
// the stored selection, search, results, Play, report, copy with the folder
// structure, exit, reopen "last" with its marks, delete into the reserve,
// restart, recover byte for byte.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/ansi_text.h"
#include "base/strings.h"
#include "foundation/md5.h"
#include "tests/wizard/e2e_driver_win.h"
#include "wizard/step_texts.h"
#include "wizard/stored_paths.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = L"C:\\kve2ewide";
const fs::path kLibrary = kRoot / L"lib";
const fs::path kProgram = kRoot / L"prog";
const fs::path kMusic = kLibrary / L"\u041c\u0443\u0437\u044b\u043a\u0430";           // Музыка
const fs::path kRock = kMusic / L"\u0420\u043e\u043a";                                // Рок
const fs::path kPop = kMusic / L"\u041f\u043e\u043f";                                 // Поп
const fs::path kPolish = kLibrary / L"\u0141\u00f3d\u017a Kolekcja";                  // Łódź Kolekcja
// 日本の音楽 🎵 ЁЍЏАѝ: in UTF-8 the Cyrillic letters hold the bytes 81 8D 8F 90 9D,
// which code page 1252 leaves undefined; the settings keep them all the same.
const fs::path kJapanese = kLibrary / L"\u65e5\u672c\u306e\u97f3\u697d \U0001F3B5 \u0401\u040d\u040f\u0410\u045d";
const fs::path kCopies = kRoot / L"\u041a\u043e\u043f\u0438\u0438";                    // Копии
// The results page's tool buttons: Play, separator, Delete, Move, Copy...
constexpr int kPlayButton = 1, kDeleteButton = 3, kCopyButton = 5, kReportButton = 13;

std::string Utf8(const fs::path& path) { return WideToUtf8(ToU16(path.wstring())); }

class WideNames : public test::ProgramFixture {
 protected:
  void SetUp() override {
    const fs::path source = fs::path(KV_TEST_BINARY_DIR) / "e2e_library";
    ASSERT_TRUE(fs::exists(source)) << "made by the fixture wizard_e2e_library";
    test::RemoveTree(kRoot);
    // "Other" stays unchecked, so the library folder itself is not.
    for (const fs::path& folder : {kRock, kPop, kPolish, kJapanese, kLibrary / L"Other", kCopies, kProgram})
      fs::create_directories(folder);
    // Two groups, each copy's bit rate given: the preferred folder (Рок)
    // keeps its copy in spite of the lower bit rate.
    const std::pair<fs::path, const wchar_t*> files[] = {
        {kRock / L"\u041f\u0435\u0441\u043d\u044f 03 - Ma\u00f1ana.mp3", L"Kino\\\u041f\u0435\u0441\u043d\u044f.mp3"},
        {kPop / L"\u041f\u0435\u0441\u043d\u044f 03 - Ma\u00f1ana.mp3", L"Kino\\best\\Gruppa krovi.mp3"},
        {kPolish / L"\u017b\u00f3\u0142\u0107 07 - \u03a9\u03bc\u03ad\u03b3\u03b1.mp3", L"Kino\\best\\Zvezda.mp3"},
        {kJapanese / L"\U0001F3B5 \u6b4c.mp3", L"Kino\\\u041c\u0435\u0447\u0442\u0430.mp3"},
    };
    for (const auto& [file, from] : files) {
      fs::copy_file(source / from, file);
      contents[file] = test::ReadWhole(file);
    }
    rock = files[0].first;
    pop = files[1].first;
    polish = files[2].first;
    japanese = files[3].first;
    InstallProgram(kProgram);
    unmanagedWindows = true;
    steps = test::ReadWhole(kProgram / "steps.txt");
    SetEnvironmentVariableW(L"KELVARIN_TEST_NO_SHORT_NAMES", L"1");
    SetEnvironmentVariableW(L"KELVARIN_LOG_SHELL_CALLS", L"1");
  }
  void TearDown() override {
    ProgramFixture::TearDown();
    SetEnvironmentVariableW(L"KELVARIN_TEST_NO_SHORT_NAMES", nullptr);
    SetEnvironmentVariableW(L"KELVARIN_LOG_SHELL_CALLS", nullptr);
    test::RemoveTree(kRoot);
  }
  static std::string Stored(const fs::path& path) { return StoredPathText(ToU16(path.wstring())); }
  void Preset() {
    auto config = LoadXMLConfig((kProgram / "kelvarin.conf.xml").wstring(), true);
    // The folders ticked directly, stored as this program stores them.
    config->WriteString("Last", "TreeSelection", Stored(kMusic) + "\r\n" + Stored(kPolish) + "\r\n" + Stored(kJapanese));
    config->WriteString("Last", "DupeSimilar", "1");
    config->WriteString("Last", "CopyMoveTo", Stored(kCopies / L""));
    config->WriteString("Last", "CopyMoveSavePath", "1");
    config->WriteString("Session", "UseKeepFolder", "1");
    config->WriteString("Session", "KeepFolder", Stored(kRock / L""));
    config->UpdateFile();
  }
  void Exit(HWND main) {
    Click(main, "&Exit");
    EXPECT_EQ(WaitForExit(), 0u);
  }
  // The results page's tree, and a click on the second text line of a row.
  HWND Tree(HWND main) { return ChildIf(main, [](HWND w) { return test::ClassOf(w).starts_with("KvLazyTree"); }); }
  void DoubleClickRow(HWND main, int row) {
    HWND tree = Tree(main);
    ASSERT_TRUE(tree);
    const LPARAM at = MAKELPARAM(100, row * 32 + 22);
    SendMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tree, WM_LBUTTONUP, 0, at);
    SendMessageW(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(tree, WM_LBUTTONUP, 0, at);
  }
  fs::path Hidden(const fs::path& file) {
    return file.parent_path() / ToHex(GetMD5(Utf8(file)));  // the code page cannot hold the path
  }
  std::string Log() { return test::ReadWhole(kProgram / "tmp.log"); }

  std::map<fs::path, std::string> contents;
  fs::path rock, pop, polish, japanese;
  std::string steps;
};

TEST_F(WideNames, ScanShowPlayReportCopyReopenDeleteAndRecover) {
  Preset();
  HWND main = Start();
  ASSERT_TRUE(main);
  ASSERT_EQ(SearchFromHere(main, StepText(steps, 6)),
            (std::vector<std::string>{"Total:", "2 groups", "4 files", "38Kbytes"}));
  ASSERT_EQ(StepMemo(main), StepText(steps, 6));
  const ui::TBitmap shot = Screenshot(main, "e2e_wide_names_results");
  // The path column shows text in each of the four rows (a probe; the
  // picture itself is for the eye).
  HWND tree = Tree(main);
  ASSERT_TRUE(tree);
  RECT treeRect, mainRect;
  GetWindowRect(tree, &treeRect);
  GetWindowRect(main, &mainRect);
  for (int row = 0; row < 4; ++row) {
    int dark = 0;
    const int top = treeRect.top - mainRect.top + row * 32 + 15;
    for (int y = top; y < top + 14; ++y)
      for (int x = treeRect.left - mainRect.left + 232; x < treeRect.left - mainRect.left + 400; ++x) {
        const uint32_t c = shot.Pixel(x, y);  // 0x00RRGGBB
        dark += ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF) < 3 * 160;
      }
    EXPECT_GT(dark, 40) << "row " << row;
  }

  // Play on the first row: the verb goes to the file's exact name.
  DoubleClickRow(main, 0);
  ToolCommand(main, kPlayButton);
  // The report into a folder whose name the code page lacks.
  ToolCommand(main, kReportButton);
  HWND dialog = nullptr;
  ASSERT_TRUE(test::WaitUntil([&] { return (dialog = FindTop("Select the file for report")) != nullptr; }));
  const fs::path report = kCopies / L"\u041e\u0442\u0447\u0451\u0442.htm";  // Отчёт.htm
  HWND name = ChildIf(dialog, [](HWND w) { return test::ClassOf(w) == "Edit"; });
  ASSERT_TRUE(name);
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(report.wstring().c_str()));
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(test::WaitUntil([&] { return !IsWindow(dialog) && fs::exists(report); })) << "no report";

  // Copy the checked copies (Поп's and one of the other group) with the structure.
  ToolCommand(main, kCopyButton);
  HWND chooser = nullptr;
  ASSERT_TRUE(test::WaitUntil([&] { return (chooser = FindTop("Copy/Move Files")) != nullptr; }));
  HWND edit = nullptr;
  EXPECT_TRUE(test::WaitUntil([&] {
    return (edit = ChildOfClass(chooser, "Edit")) && test::WindowText(edit) == WStringToAnsi(kCopies.wstring());
  })) << (edit ? test::WindowText(edit) : "no box");
  PostClick(chooser, "OK");
  ASSERT_TRUE(test::WaitUntil([&] { return !FindTop("Copy/Move Files") && !FindTop("Processing...") && IsWindowEnabled(main); }));
  Exit(main);

  // What the first run did.
  const std::string log = Log();
  const std::vector<fs::path> rows = {rock, pop, polish, japanese};
  bool played = false;
  for (const fs::path& file : rows) played = played || log.find("Shell: |" + Utf8(file) + "\r\n") != std::string::npos;
  EXPECT_TRUE(played) << log;
  EXPECT_NE(log.find("Shell: |" + Utf8(report) + "\r\n"), std::string::npos) << log;
  const std::string html = test::ReadWhole(report);
  EXPECT_NE(html.find("\\&#1056;&#1086;&#1082;\\"), std::string::npos);  // \Рок\ as the browser shows it
  EXPECT_NE(html.find("&#127925;"), std::string::npos);                 // the emoji as one character
  std::vector<fs::path> checked;
  for (const fs::path& file : rows) {
    const fs::path copy = kCopies / (L"Disk C" + file.wstring().substr(2));
    if (fs::exists(copy)) {
      EXPECT_EQ(test::ReadWhole(copy), contents[file]) << copy;
      checked.push_back(file);
    }
  }
  ASSERT_EQ(checked.size(), 2u);
  EXPECT_EQ(checked[0], pop);  // the preferred folder kept Рок's lower bit rate
  EXPECT_EQ(StoredPathValue(Setting("Last", "CopyMoveTo")), ToU16((kCopies / L"").wstring()));
  EXPECT_EQ(Setting("Last", "TreeSelection"),
            Stored(kPolish) + "\r\n" + Stored(kMusic) + "\r\n" + Stored(kJapanese) + "\r\n")  // in the tree's order
      << Setting("Last", "TreeSelection");
  EXPECT_EQ(test::ReadWhole(kProgram / "last").substr(0, 3), "\xEF\xBB\xBF");

  // The list reopened: its marks come back and act on the exact names.
  main = Start();
  ASSERT_TRUE(main);
  Click(main, "Open recently found duplicates list");
  Click(main, "Next >");
  ASSERT_EQ(StepMemo(main), StepText(steps, 6));
  EXPECT_EQ(StatusTexts(main), (std::vector<std::string>{"Total:", "2 groups", "4 files", "38Kbytes"}));
  Screenshot(main, "e2e_wide_names_reopened");
  ToolCommand(main, kDeleteButton);
  const auto [box, question] = WaitForMessageBox();
  EXPECT_EQ(question, "Do you really want to delete 2 files ?");
  Answer(box, IDYES);
  ASSERT_TRUE(test::WaitUntil([&] { return !FindTop("Processing...") && IsWindowEnabled(main); }));
  Exit(main);
  for (const fs::path& file : checked) {
    EXPECT_FALSE(fs::exists(file)) << file;
    EXPECT_EQ(test::ReadWhole(Hidden(file)), contents[file]) << file;
  }

  // The next start offers the reserve; recovering brings every file back.
  main = Start();
  ASSERT_TRUE(main);
  EXPECT_EQ(StepMemo(main), StepText(steps, 0));
  Screenshot(main, "e2e_wide_names_reserve");
  PostClick(main, "Recover deleted files");
  ASSERT_TRUE(test::WaitUntil([&] {
    HWND label = ChildIf(main, [](HWND w) { return test::WindowText(w).starts_with("There are no space"); });
    return label != nullptr;
  }));
  Exit(main);
  for (const auto& [file, bytes] : contents) EXPECT_EQ(test::ReadWhole(file), bytes) << file;
}

}  // namespace
}  // namespace kv
