// The results page on a fixed collection: its rows printed and probed pixel
// by pixel, the status texts, the check buttons, smart marking, clicks through
// the tree's window, the space key, and marks that survive saving the
// list and showing it again.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <string>

#include "engine/mp3_collection.h"
#include "tests/wizard/window_search_win.h"
#include "tests/wizard/wizard_test_util.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"
#include "ui/save_dialog_win.h"
#include "ui/std_controls_win.h"
#include "wizard/later_pages_win.h"
#include "wizard/result_tree_win.h"

namespace kv::test {
namespace {

// 0x00RRGGBB as TBitmap::Pixel answers, from a 0x00BBGGRR colour.
uint32_t Rgb(uint32_t bgr) { return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF); }

struct Row {
  const char* artist;
  const char* album;
  int32_t tag;
  int32_t bitRate;
};
// Groups 1 (two files), 2 (one live file, one deleted) and 3.
constexpr Row kRows[] = {
    {"Wren", "Moor", 1, 128}, {"Wren", "Moor", 1, 320}, {"AC/DC & Friends", "", 2, 192},
    {"Gone", "", -1, 192}, {"Last", "Heath", 3, 10000}};
constexpr int kProbeX = 600;

std::string WindowText(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[128] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

class CollectionFrame : public WizardFixture {
 protected:
  void SetUp() override {
    WizardFixture::SetUp();
    page = &host.Create<TCollectionFrame>();
    page->SetParent(&host);
    host.SetClientWidth(680);
    host.SetClientHeight(400);
    host.Show();
    for (const Row& r : kRows) {
      TAudioInfo info;
      info.SetTagPart(kTagArtist, r.artist);
      info.SetTagPart(kTagTitle, "Song");
      info.SetTagPart(kTagAlbum, r.album);
      info.SetTagPart(kTagDisplayPath, std::string("C:\\m\\") + r.artist + ".mp3");
      info.SetPart(kInfoBitRate, r.bitRate);
      info.SetPart(kInfoLength, 100);
      info.SetPart(kInfoFileSize, 100);
      info.SetFileName(std::string("C:\\M\\") + r.artist + ".MP3");
      results.AddMp3Info(info).Tag = r.tag;
    }
  }
  void TearDown() override {
    host.Hide();
    WizardFixture::TearDown();
  }
  TResultTree& Tree() { return page->Tree(); }
  HWND TreeWindow() { return Tree().Handle(); }
  // Gives every row a file of its own in "lib", shows the list and checks
  // rows 0 and 2 by clicking their boxes.
  void ShowFilesWithTheFirstAndThirdChecked() {
    std::filesystem::create_directories(folder.Path() / "lib");
    for (int i = 0; i < results.Count(); ++i) {
      const std::filesystem::path file = folder.Path() / "lib" / (std::to_string(i) + ".mp3");
      WriteWhole(file, "ID3");
      results.Items(i).SetFileName(file.string());
      results.Items(i).SetTagPart(kTagDisplayPath, file.string());
    }
    page->DisplayCollection(&results);
    Click(10, 0 * 32 + 10);
    Click(10, 2 * 32 + 10);
  }
  std::string Marks() {
    std::string marks;
    for (int i = 0; i < int(Tree().RootNodeCount()); ++i) marks += page->Checked(i) ? 'x' : '.';
    return marks;
  }
  std::string Status(size_t panel) { return page->Get<ui::TStatusBar>("Status").PanelText(panel); }
  ui::TBitmap Print(const std::string& name) {
    ui::TBitmap shot;
    RECT client;
    GetClientRect(TreeWindow(), &client);
    shot.Create(client.right, client.bottom);
    {
      const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
      const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
      SendMessageW(TreeWindow(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
    }
    const std::string dir = std::string(KV_TEST_BINARY_DIR) + "/screenshots";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string bmp = shot.ToBmpFile();
    std::ofstream(dir + "/results_" + name + ".bmp", std::ios::binary)
        .write(bmp.data(), static_cast<std::streamsize>(bmp.size()));
    return shot;
  }
  void KeyUp(WORD key) { SendMessageW(TreeWindow(), WM_KEYUP, key, 0); }
  void Click(int x, int y) {
    SendMessageW(TreeWindow(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }

  ui::TForm host;
  TCollectionFrame* page = nullptr;
  TMP3Collection results{nullptr};
};

TEST_F(CollectionFrame, RowsInGroupColoursWithSeparatorsOnlyBetweenGroups) {
  page->DisplayCollection(&results);
  const ui::TBitmap shot = Print("groups");
  const uint32_t backgrounds[] = {0xF0FFF0, 0xF0FFF0, 0xFFF0F0, 0xC0C0C0, 0xF0FFF0};
  for (int row = 0; row < 5; ++row)
    EXPECT_EQ(shot.Pixel(kProbeX, row * 32 + 10), Rgb(backgrounds[row])) << row;
  // The line under each row: silver inside a group and under the last row,
  // dark grey between groups (a deleted row ends its group's run too).
  const uint32_t lines[] = {0xC0C0C0, 0x808080, 0x808080, 0x808080, 0xC0C0C0};
  for (int row = 0; row < 5; ++row) EXPECT_EQ(shot.Pixel(kProbeX, row * 32 + 31), Rgb(lines[row])) << row;
  // Below the rows the tree's own background.
  EXPECT_EQ(shot.Pixel(kProbeX, 5 * 32 + 10), Rgb(0xFFFFFF));

  // A selected row keeps the tree's selection colour behind its texts.
  Tree().SetSelected(Tree().GetNextSibling(Tree().GetNextSibling(Tree().GetFirst())), true);
  const uint32_t selected = Print("selected").Pixel(kProbeX, 2 * 32 + 10);
  const auto& colors = Tree().Colors();
  EXPECT_TRUE(selected == Rgb(ui::ColorToRGB(colors.Color(TLTColors::FocusedSelectionColor))) ||
              selected == Rgb(ui::ColorToRGB(colors.Color(TLTColors::UnfocusedSelectionColor))))
      << std::hex << selected;

  EXPECT_EQ(Status(0), "Total:");
  EXPECT_EQ(Status(1), "3 groups");  // the highest group, not the last row's -1
  EXPECT_EQ(Status(2), "5 files");
  EXPECT_EQ(Status(3), "500bytes");
}

// Every initialised row owns one node-data object, freed with the row; the
// free event fires once per row, also when its handler frees rows itself.
TEST_F(CollectionFrame, RowDataLivesWithItsRowAndTheFreeEventFiresOnce) {
  page->DisplayCollection(&results);
  for (PLazyNode node = Tree().GetFirst(); node; node = Tree().GetNextSibling(node)) Tree().GetData(node);
  EXPECT_EQ(Tree().NodeDataCount(), 5);
  EXPECT_FALSE(Tree().ShowHint());
  int freed = 0;
  Tree().OnFreeNode = [&](TLazyTreeModel&, PLazyNode) { ++freed; };
  Tree().DeleteNode(Tree().GetFirst());
  EXPECT_EQ(freed, 1);
  EXPECT_EQ(Tree().NodeDataCount(), 4);
  Tree().Clear();
  EXPECT_EQ(freed, 5);
  EXPECT_EQ(Tree().NodeDataCount(), 0);
  EXPECT_TRUE(Tree().OnFreeNode);  // attached again after each row
  Tree().OnFreeNode = nullptr;
}

// The report's file: asked before an existing one is replaced, no read-only
// box, a dialog the user can size.
TEST_F(CollectionFrame, TheReportDialogAsksBeforeOverwriting) {
  const auto& dialog = page->Get<ui::TSaveDialog>("SaveDialog1");
  EXPECT_EQ(dialog.Title, "Select the file for report");
  EXPECT_EQ(dialog.Filter, "html files|*.html;*.htm");
  EXPECT_EQ(dialog.DefaultExt, "htm");
  EXPECT_TRUE(dialog.OverwritePrompt);
  EXPECT_TRUE(dialog.HideReadOnly);
  EXPECT_TRUE(dialog.EnableSizing);
}

// The report's dialog driven as the user drives it: a report saved under a
// name the code page lacks, then the dialog opened again. It offers that
// name in that folder, exactly, and Save replaces the report there.
TEST_F(CollectionFrame, TheReportDialogOffersTheLastReportByItsExactNameAgain) {
  namespace fs = std::filesystem;
  const fs::path folder = L"C:\\kvreport\\\u041e\u0442\u0447\u0451\u0442\u044b";  // Отчёты
  const std::wstring name = L"\u0442\u0447\u0451\u0442.html";                      // тчёт.html
  RemoveTree(folder.parent_path());
  fs::create_directories(folder);
  std::vector<std::wstring> reports;
  ui::SetWideShellExecuteHook([&](const std::string&, const std::wstring& target, int) {
    reports.push_back(target);
    return true;
  });
  auto topWindow = [](const std::function<bool(HWND)>& accept) {
    return FindTopWindowIf(GetCurrentProcessId(), accept);
  };
  auto dialogWindow = [&] {
    return topWindow([](HWND w) { return WindowText(w) == "Select the file for report"; });
  };
  auto nameBox = [](HWND dialog) { return FindChildWindowIf(dialog, [](HWND w) { return ClassOf(w) == "Edit"; }); };
  // Runs the action on the dialog once it shows, from the dialog's own loop.
  std::function<void(std::function<void(HWND)>)> whenShown = [&](std::function<void(HWND)> action) {
    ui::test::RunLater(100, [&, action] {
      HWND dialog = dialogWindow();
      if (!dialog || !nameBox(dialog)) return whenShown(action);
      action(dialog);
    });
  };

  // Before any list is shown the report still asks for its file, and its body is empty.
  whenShown([&](HWND dialog) {
    const std::wstring typed = (folder / L"empty.html").wstring();
    SendMessageW(nameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  page->Export(nullptr);
  ASSERT_EQ(reports, std::vector<std::wstring>{(folder / L"empty.html").wstring()});
  EXPECT_NE(ReadWhole(folder / L"empty.html").find("<BODY></BODY></HTML>"), std::string::npos);
  reports.clear();

  page->DisplayCollection(&results);
  whenShown([&](HWND dialog) {
    const std::wstring typed = (folder / name).wstring();
    SendMessageW(nameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  page->Export(nullptr);
  ASSERT_EQ(reports, std::vector<std::wstring>{(folder / name).wstring()});
  EXPECT_NE(ReadWhole(folder / name).find("<HTML>"), std::string::npos);
  WriteWhole(folder / name, "old");

  std::wstring offered, offeredFolder;
  HWND shown = nullptr;
  bool asked = false;
  int waits = 0;
  // The file exists: the dialog asks before it is replaced. A dialog that
  // neither asks nor closes took the name for something else: it is
  // cancelled after a while.
  std::function<void()> answer = [&] {
    HWND box = topWindow([&](HWND w) { return GetWindow(w, GW_OWNER) == shown && GetDlgItem(w, IDYES); });
    if (!box && ++waits == 50) return (void)PostMessageW(shown, WM_COMMAND, IDCANCEL, 0);
    if (!box) return ui::test::RunLater(100, answer);
    asked = true;
    PostMessageW(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
  };
  whenShown([&](HWND dialog) {
    shown = dialog;
    wchar_t text[MAX_PATH] = {};
    GetWindowTextW(nameBox(dialog), text, MAX_PATH);
    offered = text;
    wchar_t path[MAX_PATH] = {};
    SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path));
    offeredFolder = path;
    ui::test::Screenshot(dialog, "report_dialog_again", 300);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ui::test::RunLater(100, answer);
  });
  page->Export(nullptr);
  ui::SetWideShellExecuteHook({});
  EXPECT_EQ(offered, name);
  EXPECT_EQ(offeredFolder, folder.wstring());
  EXPECT_TRUE(asked);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1], (folder / name).wstring());
  EXPECT_NE(ReadWhole(folder / name).find("<HTML>"), std::string::npos);
  RemoveTree(folder.parent_path());
}

TEST_F(CollectionFrame, AnEmptyListShowsOneUnmarkableRowInSilver) {
  TMP3Collection empty(nullptr);
  page->DisplayCollection(&empty);
  ASSERT_EQ(Tree().RootNodeCount(), 1u);
  const ui::TBitmap shot = Print("empty");
  int silver = 0, other = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 400; ++x) {
      const uint32_t p = shot.Pixel(x, y);
      const uint32_t r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (p == Rgb(0xC0C0C0)) ++silver;
      else if (r != g || g != b || r < 0xC0) ++other;
    }
  EXPECT_GT(silver, 100);  // big bold letters
  // Smoothed edges blend silver into white, never into a colour or darker.
  EXPECT_EQ(other, 0);
  EXPECT_EQ(Status(1), "0 groups");
  EXPECT_EQ(Status(2), "0 files");
  EXPECT_EQ(Status(3), "0bytes");
  page->CheckAllButtonClick(nullptr);
  page->CheckInvertButtonClick(nullptr);
  Click(10, 10);
  Tree().SetFocusedNode(Tree().GetFirst());
  KeyUp(VK_SPACE);
  page->PlayButtonClick(nullptr);
  Click(40, 5);
  EXPECT_EQ(Marks(), ".");
  EXPECT_TRUE(opened.empty());
}

TEST_F(CollectionFrame, CheckButtonsAndSmartMarkingLeaveDeletedRowsUnchecked) {
  page->DisplayCollection(&results);
  page->CheckAllButtonClick(nullptr);
  EXPECT_EQ(Marks(), "xxx.x");
  Click(10, 3 * 32 + 20);  // a click can mark a deleted row
  EXPECT_EQ(Marks(), "xxxxx");
  page->CheckInvertButtonClick(nullptr);
  EXPECT_EQ(Marks(), ".....");
  page->CheckInvertButtonClick(nullptr);
  EXPECT_EQ(Marks(), "xxx.x");
  page->CheckNoneButtonClick(nullptr);
  EXPECT_EQ(Marks(), ".....");
  // Smart marking keeps the higher bit rate of group 1; single files stay unmarked.
  page->CheckSmartButtonClick(nullptr);
  EXPECT_EQ(Marks(), "x....");
}

TEST_F(CollectionFrame, ClicksToggleMarksOrSearchTheMusicStore) {
  page->DisplayCollection(&results);
  Click(23, 2 * 32 + 25);
  EXPECT_EQ(Marks(), "..x..");
  Click(23, 2 * 32 + 1);
  EXPECT_EQ(Marks(), ".....");
  Tree().SetFocusedNode(Tree().GetFirst());
  KeyUp(VK_SPACE);
  EXPECT_EQ(Marks(), "x....");
  KeyUp('A');
  EXPECT_EQ(Marks(), "x....");

  Click(30, 2 * 32 + 20);  // second line: nothing
  EXPECT_TRUE(opened.empty());
  Click(30, 2 * 32 + 5);  // on the artist
  Click(kProbeX, 5);       // right of the artist, album "Moor"
  Click(kProbeX, 2 * 32 + 5);  // no album: nothing
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], "https://www.torvane.example/musicstore/search.php?q=AC%2FDC%20%26%20Friends&t=artist");
  EXPECT_EQ(opened[1], "https://www.torvane.example/musicstore/search.php?q=Moor&t=album");
  EXPECT_EQ(verbs, (std::vector<std::string>{"", ""}));  // the browser the user chose, by the default action

  Tree().SetFocusedNode(Tree().GetNextSibling(Tree().GetFirst()));
  page->PlayButtonClick(nullptr);
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[2], "C:\\M\\Wren.MP3");
  EXPECT_EQ(verbs[2], "");  // music often plays by default rather than opens
}

TEST_F(CollectionFrame, MarksSurviveSavingTheListAndShowingItAgain) {
  page->DisplayCollection(&results);
  Click(10, 0 * 32 + 10);
  Click(10, 3 * 32 + 10);  // the deleted row
  Click(10, 4 * 32 + 10);
  ASSERT_EQ(Marks(), "x..xx");
  page->SaveMp3Tags();
  const std::string last = (folder.Path() / "last").string();
  results.SaveToCSV(last);
  page->ReleaseCollection(&results);

  TMP3Collection loaded(nullptr);
  loaded.LoadFromCSV(last);
  ASSERT_EQ(loaded.Count(), 5);
  page->DisplayCollection(&loaded);
  EXPECT_EQ(Marks(), "x...x");  // the deleted row comes back as deleted, unmarked
  for (int i = 0; i < 5; ++i) EXPECT_EQ(loaded.Items(i).Tag, kRows[i].tag) << i;
  EXPECT_EQ(Status(1), "3 groups");

  // A list shown afterwards starts from its own marks only.
  TMP3Collection plain(nullptr);
  for (int i = 0; i < 5; ++i) plain.AddMp3Info(TAudioInfo()).Tag = 1;
  page->DisplayCollection(&plain);
  EXPECT_EQ(Marks(), ".....");
}

TEST_F(CollectionFrame, DeletingPutsTheCheckedFilesIntoTheReserveAndGreysTheirRows) {
  ShowFilesWithTheFirstAndThirdChecked();
  answer = IDNO;
  page->DelButtonClick(nullptr);
  EXPECT_EQ(Marks(), "x.x..");
  EXPECT_EQ(page->GetHiddenCount(), 0);

  answer = IDYES;
  page->DelButtonClick(nullptr);
  EXPECT_EQ(Marks(), ".....");
  EXPECT_EQ(page->GetHiddenCount(), 2);
  const int32_t tags[] = {-1, 1, -1, -1, 3};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(results.Items(i).Tag, tags[i]) << i;
    EXPECT_EQ(std::filesystem::exists(results.Items(i).FileName()), tags[i] != -1 || i == 3) << i;
  }
  EXPECT_EQ(Print("deleted").Pixel(kProbeX, 2 * 32 + 10), Rgb(0xC0C0C0));
}

TEST_F(CollectionFrame, SavedSettingsHoldTheWidthOfEachHeaderColumn) {
  page->SaveSettings();  // the result tree has no columns: nothing written
  EXPECT_EQ(Settings().GetVal("CollectionDisplay", "Column1Width"), "");
  Tree().Header().Columns().Add().SetWidth(120);
  Tree().Header().Columns().Add().SetWidth(45);
  page->SaveSettings();
  EXPECT_EQ(Settings().GetVal("CollectionDisplay", "Column1Width"), "120");
  EXPECT_EQ(Settings().GetVal("CollectionDisplay", "Column2Width"), "45");
  EXPECT_EQ(Settings().GetVal("CollectionDisplay", "Column3Width"), "");
}

// A run whose save fails at its end has reserved its rows all the same:
// they lose their marks, so a second Delete does not try them again.
TEST_F(CollectionFrame, ARunThatFailsAtItsEndStillUnmarksTheReservedRows) {
  ShowFilesWithTheFirstAndThirdChecked();
  std::filesystem::create_directories(folder.Path() / "data");  // the archive cannot be read or replaced
  answer = IDYES;
  EXPECT_ANY_THROW(page->DelButtonClick(nullptr));
  EXPECT_EQ(results.Items(0).Tag, -1);
  EXPECT_EQ(results.Items(2).Tag, -1);
  EXPECT_EQ(Marks(), ".....");
}

}  // namespace
}  // namespace kv::test
