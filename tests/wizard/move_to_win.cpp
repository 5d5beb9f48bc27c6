// The destination chooser and the smart-marking dialog over the shell tests'
// namespace (fixture C:\kvtest), driven while their modal loops run: what
// they select, answer and store, and Move and Copy of the results page
// through the chooser to the disk.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "base/handle.h"
#include "base/strings.h"
#include "base/scope_guard.h"
#include "engine/audio_environment_win.h"
#include "foundation/md5.h"
#include "shell/namespace_win.h"
#include "tests/shell/shell_test_util.h"
#include "tests/wizard/wizard_test_util.h"
#include "ui/splitter_win.h"
#include "wizard/move_to_frame_win.h"
#include "wizard/result_tree_win.h"
#include "wizard/scan_paths_win.h"
#include "wizard/smart_marking.h"
#include "wizard/tune_smart_frame_win.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

// The visible form with this caption, or null.
ui::TForm* ShownForm(const std::string& caption) {
  for (ui::TForm* form : ui::Application().Forms())
    if (form->Visible() && form->Text() == caption) return form;
  return nullptr;
}

// A click on the node's caption, as the user makes it.
void ClickNode(TCustomLazyExplorerTree& tree, PLazyNode node) {
  ASSERT_NE(node, nullptr);
  tree.ScrollIntoView(node, false);
  const TLazyRect r = tree.GetDisplayRect(node, kNoColumn, true);
  const LPARAM at = MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  SendMessageW(tree.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(tree.Handle(), WM_LBUTTONUP, 0, at);
  ui::test::Pump(50);
}

class MoveTo : public test::WizardFixture {
 protected:
  // Select on a new chooser; act runs while the dialog is up and ends it.
  std::string Choose(const std::function<void(TMoveToFrame&)>& act) {
    auto& chooser = owner.Create<TMoveToFrame>();
    std::string dest = "unset";
    bool acted = false;
    ui::test::RunLater(100, [&] {
      acted = true;
      act(chooser);
    });
    chooser.Select(dest);
    EXPECT_TRUE(acted);
    savePaths = chooser.Get<ui::TCheckBox>("SavePathsCheckbox").Checked();
    owner.FreeComponent(&chooser);
    return dest;
  }
  static std::string Edit(TMoveToFrame& chooser) { return chooser.Get<ui::TEdit>("CopyToEdit").Text(); }
  static void Ok(ui::TComponent& dialog) { ui::test::ClickWindow(dialog.Get<ui::TButton>("Button1")); }
  static void Cancel(ui::TComponent& dialog) { ui::test::ClickWindow(dialog.Get<ui::TButton>("Button2")); }
  std::string Last(const char* key) { return Settings().GetVal("Last", key); }

  ui::TComponent owner;
  bool savePaths = false;
};

TEST_F(MoveTo, FirstUseOpensWithoutSelectionAndOkGivesNothing) {
  std::string shown = "unset";
  bool selected = true;
  EXPECT_EQ(Choose([&](TMoveToFrame& chooser) {
              shown = Edit(chooser);
              TFoldersTree& tree = *chooser.Explorer->FoldersTree;
              selected = tree.GetFirstSelected() != nullptr;
              // The folder tree's working defaults, but one folder at a time.
              EXPECT_TRUE(tree.FileObjects() & foHidden);
              EXPECT_EQ(tree.ExplorerMiscOptions() & (toChangeNotifierThread | toRemoveContextMenuShortCut),
                        uint32_t(toChangeNotifierThread | toRemoveContextMenuShortCut));
              EXPECT_EQ(tree.ExplorerImageOptions(), uint32_t(toImages | toThreadedImages | toMarkCutAndCopy));
              EXPECT_FALSE(tree.TreeOptions().SelectionOptions() & toMultiSelect);
              // Folders that are no file-system folders show too, not only
              // the computer and the network.
              std::vector<std::wstring> others;
              for (PLazyNode node = tree.GetFirst(); node; node = tree.GetNext(node)) {
                TNamespace* item = nullptr;
                if (tree.ValidateNamespace(node, item) && !item->GetFileSystem() && !item->IsMyComputer() &&
                    !item->IsNetworkNeighborhood() && !item->IsNetworkNeighborhoodChild())
                  others.push_back(item->GetNameInFolder());
              }
              EXPECT_FALSE(others.empty());
              Ok(chooser);
            }),
            "");
  EXPECT_EQ(shown, "");
  EXPECT_FALSE(selected);
  EXPECT_FALSE(savePaths);
  EXPECT_EQ(Last("CopyMoveTo"), "");
  EXPECT_EQ(Last("CopyMoveSavePath"), "0");
  EXPECT_FALSE(Settings().GetVal("Explorer", "DirWidth").empty());
}

TEST_F(MoveTo, AStoredDestinationIsSelectedAndComesBackOnOk) {
  struct Case {
    const char* stored;
    const char* shown;  // the edit and the tree's selection
    const char* dest;
  };
  const Case cases[] = {
      {"C:\\kvtest\\enum\\alpha\\", "C:\\kvtest\\enum\\alpha", "C:\\kvtest\\enum\\alpha\\"},
      {"c:\\KVTEST\\enum\\alpha", "C:\\kvtest\\enum", "C:\\kvtest\\enum\\"},  // no "\": its parent
      {"C:\\kvtest\\gone\\deeper\\", "C:\\kvtest", "C:\\kvtest\\"},          // up to what exists
      {"C:\\", "C:\\", "C:\\"},                                              // one "\" only
      {"\\\\server\\share\\", "", ""},
      {"C:\\kvtest\\enum\\Folder.zip\\", "C:\\kvtest\\enum", "C:\\kvtest\\enum\\"},  // no archive
      {"C:\\kvtest\\names\\\r\nC:\\kvtest\\enum\\", "C:\\kvtest\\names", "C:\\kvtest\\names\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    Settings().SetVal("Last", "CopyMoveTo", c.stored);
    std::string shown, selected;
    EXPECT_EQ(Choose([&](TMoveToFrame& chooser) {
                shown = Edit(chooser);
                selected = WStringToAnsi(chooser.Explorer->FoldersTree->GetSelectedPath());
                Ok(chooser);
              }),
              c.dest);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(selected, c.shown);
    EXPECT_EQ(Last("CopyMoveTo"), c.dest);
  }
}

TEST_F(MoveTo, TheTreeNotTheTypedTextDecidesAndCancelStoresNothing) {
  Settings().SetVal("Last", "CopyMoveTo", "C:\\kvtest\\enum\\alpha\\");
  Settings().SetFlag("Last", "CopyMoveSavePath", true);
  // Typed text is only a display; the box's state is stored with OK.
  uint32_t selectedPixel = 0;
  std::vector<uint32_t> selectionColors;
  EXPECT_EQ(Choose([&](TMoveToFrame& chooser) {
              TFoldersTree& tree = *chooser.Explorer->FoldersTree;
              ui::TForm& form = *chooser.ParentForm();
              const ui::TBitmap shot = ui::test::Screenshot(form, "move_to_chooser");
              const TLazyRect r = tree.GetDisplayRect(tree.GetFirstSelected(), kNoColumn, true);
              selectedPixel = ui::test::PixelAt(shot, form, tree.Handle(), r.Right - 2, (r.Top + r.Bottom) / 2);
              for (auto color : {TLTColors::FocusedSelectionColor, TLTColors::UnfocusedSelectionColor}) {
                const COLORREF c = ui::ColorToRGB(static_cast<TBaseLazyTree&>(tree).Colors().Color(color));
                selectionColors.push_back(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
              }
              SetWindowTextW(chooser.Get<ui::TEdit>("CopyToEdit").Handle(), L"C:\\kvtest\\names\\");
              EXPECT_TRUE(chooser.Get<ui::TCheckBox>("SavePathsCheckbox").Checked());
              ui::test::ClickWindow(chooser.Get<ui::TCheckBox>("SavePathsCheckbox"));
              Ok(chooser);
            }),
            "C:\\kvtest\\enum\\alpha\\");
  EXPECT_EQ(Last("CopyMoveSavePath"), "0");
  // The stored folder is shown selected (a picture for a person to look at, too).
  EXPECT_TRUE(selectedPixel == selectionColors[0] || selectedPixel == selectionColors[1])
      << std::hex << selectedPixel << " " << selectionColors[0] << " " << selectionColors[1];

  // The edit follows clicks in the tree; the computer is no folder to copy into.
  std::string followed;
  EXPECT_EQ(Choose([&](TMoveToFrame& chooser) {
              TFoldersTree& tree = *chooser.Explorer->FoldersTree;
              ClickNode(tree, tree.FindNode(L"C:\\kvtest\\names"));
              followed = Edit(chooser);
              ClickNode(tree, tree.FindNodeByPIDL(DrivesFolder()->AbsolutePIDL()));
              Ok(chooser);
            }),
            "");
  EXPECT_EQ(followed, "C:\\kvtest\\names");
  EXPECT_EQ(Last("CopyMoveTo"), "");

  Settings().SetVal("Last", "CopyMoveTo", "C:\\kvtest\\names\\");
  EXPECT_EQ(Choose([&](TMoveToFrame& chooser) {
              TFoldersTree& tree = *chooser.Explorer->FoldersTree;
              ClickNode(tree, tree.FindNode(L"C:\\kvtest\\enum"));
              ui::test::ClickWindow(chooser.Get<ui::TCheckBox>("SavePathsCheckbox"));
              Cancel(chooser);
            }),
            "");
  EXPECT_EQ(Last("CopyMoveTo"), "C:\\kvtest\\names\\");
  EXPECT_EQ(Last("CopyMoveSavePath"), "0");
}

TEST_F(MoveTo, AFolderOutsideTheCodePageTravelsAsItsShortForm) {
  const std::wstring folder = test::kFixture + L"\\\u041c\u0443\u0437\u044b\u043a\u0430 \u6771\u4eac";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const std::string shortForm = PathForAnsi(folder);
  ASSERT_EQ(shortForm.find('?'), std::string::npos) << shortForm;
  Settings().SetVal("Last", "CopyMoveTo", shortForm + "\\");
  std::wstring selected;
  EXPECT_EQ(Choose([&](TMoveToFrame& chooser) {
              selected = chooser.Explorer->FoldersTree->GetSelectedPath();
              Ok(chooser);
            }),
            shortForm + "\\");
  EXPECT_EQ(selected, folder);
}

// ------------------------------------------- the explorer with a file list --

class ExplorerFiles : public MoveTo {
 protected:
  void SetUp() override {
    MoveTo::SetUp();
    // A name the system lists for "*.*" that the mask leaves out (no dot),
    // and one with operators of expressions that it must not lose.
    for (const wchar_t* name : {L"README", L"b[1] (live)+.txt"}) {
      HANDLE file = CreateFileW((test::kFixture + L"\\enum\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      CloseHandle(file);
    }
  }
  // A form of 500 x 300 with an explorer prepared with files, shown.
  TExplorer& Make(bool multiSelect = true) {
    form = &owner.Create<ui::TForm>();
    form->SetBounds(0, 0, 500, 300);
    explorer = &form->Create<TExplorer>();
    explorer->SetParent(form);
    explorer->SetAlign(ui::TAlign::Client);
    explorer->MultiSelect = multiSelect;
    explorer->OnFolderChange = [this](ui::TComponent* sender) { changes += sender == explorer; };
    form->Show();
    explorer->Prepare(false);
    ui::test::Pump(50);
    return *explorer;
  }
  void Free() {
    owner.FreeComponent(form);
    form = nullptr;
    explorer = nullptr;
  }
  static std::vector<std::wstring> Selected(TFilteredListView& list) {
    std::vector<std::wstring> names;
    for (PLazyNode n = list.GetFirstSelected(); n; n = list.GetNextSelected(n)) names.push_back(list.GetText(n, kNoColumn));
    return names;
  }

  ui::TForm* form = nullptr;
  TExplorer* explorer = nullptr;
  int changes = 0;
};

TEST_F(ExplorerFiles, TheListFollowsTheTreeThroughItsMask) {
  Settings().SetVal("Explorer", "DirWidth", "150");
  TExplorer& e = Make();
  TFoldersTree& tree = *e.FoldersTree;
  ASSERT_NE(e.FileList, nullptr);
  TFilteredListView& list = *e.FileList;
  // The tree on the left in its stored width, the splitter, the list in the rest.
  ASSERT_EQ(e.ControlCount(), 3u);
  auto* splitter = dynamic_cast<ui::TSplitter*>(e.Controls(1));
  ASSERT_NE(splitter, nullptr);
  EXPECT_EQ(tree.Align(), ui::TAlign::Left);
  EXPECT_EQ(tree.Width(), 150);
  EXPECT_EQ(splitter->Left(), 150);
  EXPECT_EQ(list.Align(), ui::TAlign::Client);
  EXPECT_EQ(list.Left(), 150 + splitter->Width());
  EXPECT_TRUE(list.Listing);
  EXPECT_EQ(list.Mask, "*.*");
  EXPECT_TRUE(list.GetOptions().SelectionOptions() & toMultiSelect);
  EXPECT_FALSE(tree.TreeOptions().SelectionOptions() & toMultiSelect);

  // A file's line selects its folder in the tree and the file in the list,
  // whatever the letter case of the line; the lines go last first, so the
  // first line's folder stays selected.
  e.SetSelectedFiles("c:\\KVTEST\\ENUM\\TWO.DAT\r\nC:\\kvtest\\names\\small.txt");
  EXPECT_EQ(WStringToAnsi(e.GetFolder()), "C:\\kvtest\\enum");
  EXPECT_EQ(list.Folder(), tree.GetSelectedPath());
  EXPECT_EQ(list.Names(), (std::vector<std::wstring>{L".dotfile", L"b[1] (live)+.txt", L"Folder.zip", L"one.txt",
                                                     L"two.dat"}));
  EXPECT_EQ(Selected(list), std::vector<std::wstring>{L"two.dat"});
  ASSERT_NE(list.FocusedNode(), nullptr);
  EXPECT_EQ(list.GetText(list.FocusedNode(), kNoColumn), L"two.dat");
  EXPECT_EQ(list.FindNode(L"C:\\kvtest\\enum\\alpha"), nullptr);  // folders are not listed
  EXPECT_EQ(list.FindNode(L"C:\\kvtest\\names\\one.txt"), nullptr);

  // Drawn: the names are on screen (a picture for a person, too).
  const ui::TBitmap shot = ui::test::Screenshot(*form, "explorer_with_files");
  EXPECT_GT(ui::test::DarkPixels(shot, *form, list), 100);

  // Another mask, another folder clicked: the list follows and tells the explorer's owner.
  list.Mask = "*.TXT";
  changes = 0;
  ClickNode(tree, tree.FindNode(L"C:\\kvtest\\names"));
  EXPECT_GE(changes, 1);
  EXPECT_EQ(WStringToAnsi(e.GetFolder()), "C:\\kvtest\\names");
  ASSERT_EQ(list.Names().size(), 4u);
  EXPECT_EQ(WStringToAnsi(list.Names()[0]), "caf\xe9 \xfc" "ber.txt");
  EXPECT_EQ(list.Names()[1], L"small.txt");
  EXPECT_EQ(list.RootNodeCount(), 4u);
  // A virtual item has no files: the list is empty, not some drive's root.
  ClickNode(tree, tree.FindNodeByPIDL(DrivesFolder()->AbsolutePIDL()));
  EXPECT_EQ(e.GetFolder(), L"");
  EXPECT_EQ(list.RootNodeCount(), 0u);

  // The splitter gives the tree the width dragged; it is stored when the explorer goes.
  // The mouse at screen points, as the bar moves under it.
  HWND bar = splitter->Handle();
  POINT start{1, 50};
  ClientToScreen(bar, &start);
  const auto mouse = [&](UINT msg, WPARAM keys, int dx) {
    POINT p{start.x + dx, start.y};
    ScreenToClient(bar, &p);
    SendMessageW(bar, msg, keys, MAKELPARAM(p.x, p.y));
  };
  mouse(WM_LBUTTONDOWN, MK_LBUTTON, 0);
  mouse(WM_MOUSEMOVE, MK_LBUTTON, 40);
  EXPECT_EQ(tree.Width(), 190);
  mouse(WM_MOUSEMOVE, MK_LBUTTON, -400);  // never below its least width
  EXPECT_EQ(tree.Width(), splitter->MinSize());
  mouse(WM_MOUSEMOVE, MK_LBUTTON, 1000);  // nor the list
  EXPECT_EQ(list.Width(), splitter->MinSize());
  mouse(WM_MOUSEMOVE, MK_LBUTTON, 40);
  mouse(WM_LBUTTONUP, 0, 40);
  mouse(WM_MOUSEMOVE, 0, 80);  // released: nothing follows
  EXPECT_EQ(tree.Width(), 190);
  EXPECT_EQ(list.Left(), 190 + splitter->Width());
  Free();
  EXPECT_EQ(Settings().GetVal("Explorer", "DirWidth"), "190");
}

TEST_F(ExplorerFiles, SingleSelectionAndAStoredWidthThatIsNoWidth) {
  for (const char* stored : {"-5", "wide", ""}) {
    SCOPED_TRACE(stored);
    Settings().SetVal("Explorer", "DirWidth", stored);
    TExplorer& e = Make(false);
    EXPECT_EQ(e.FoldersTree->Width(), 200);  // the tree's own
    EXPECT_FALSE(e.FileList->GetOptions().SelectionOptions() & toMultiSelect);
    e.SetSelectedFiles("C:\\kvtest\\enum\\one.txt\r\nC:\\kvtest\\enum\\two.dat");
    // One line's file at a time: the first line's stays.
    EXPECT_EQ(Selected(*e.FileList), std::vector<std::wstring>{L"one.txt"});
    Free();
  }
  // Prepared with folders only, no list and the tree's selection is the folder.
  auto& panel = owner.Create<ui::TForm>();
  auto& e = panel.Create<TExplorer>();
  e.SetParent(&panel);
  e.Prepare(true);
  EXPECT_EQ(e.FileList, nullptr);
  EXPECT_EQ(e.FoldersTree->Align(), ui::TAlign::Client);
  e.SetSelectedFiles("C:\\kvtest\\enum\\one.txt");
  EXPECT_EQ(WStringToAnsi(e.GetFolder()), "C:\\kvtest\\enum");
  owner.FreeComponent(&panel);
}

// Without short names (a volume made without them) the folder is stored by
// its exact name and selected again from it; the chooser's box shows it.
TEST_F(MoveTo, AFolderOutsideTheCodePageIsStoredExactly) {
  const std::wstring folder = test::kFixture + L"\\\u0141\u00f3d\u017a \u0420\u043e\u043a \U0001F3B5";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  SetShortPathLookup([](const std::wstring&) { return std::wstring(); });
  ScopeGuard restore([] { SetShortPathLookup(nullptr); });
  Settings().SetVal("Last", "CopyMoveTo", StoredPathOf(folder + L"\\"));
  auto& chooser = owner.Create<TMoveToFrame>();
  std::wstring dest, shown;
  ui::test::RunLater(100, [&] {
    shown = chooser.Get<ui::TEdit>("CopyToEdit").WideText();
    Ok(chooser);
  });
  chooser.Select(dest);
  owner.FreeComponent(&chooser);
  EXPECT_EQ(shown, folder);
  EXPECT_EQ(dest, folder + L"\\");
  EXPECT_EQ(ExpandStoredPath(Last("CopyMoveTo")), folder + L"\\");
}

// ------------------------------------------------ the results page's Move --

const fs::path kWork = L"C:\\kvmove";

class MoveAndCopy : public MoveTo {
 protected:
  void SetUp() override {
    MoveTo::SetUp();
    disk.emplace(kWork, std::initializer_list<const char*>{"a.mp3", "b.mp3"});
    page = disk->page;
  }
  void TearDown() override {
    disk.reset();
    MoveTo::TearDown();
  }
  // Clicks the tool button; onChooser answers the chooser if it comes.
  void Run(void (TCollectionFrame::*button)(ui::TComponent*), const std::function<void(TMoveToFrame&)>& onChooser) {
    chooserShown = false;
    ui::test::RunLater(150, [&] {
      if (ui::TForm* form = ShownForm("Copy/Move Files")) {
        chooserShown = true;
        onChooser(*dynamic_cast<TMoveToFrame*>(form->Owner()));
      }
    });
    (page->*button)(nullptr);
    ui::test::Pump(300);
  }

  std::optional<test::ResultsOnDisk> disk;
  TCollectionFrame* page = nullptr;
  bool chooserShown = false;
};

TEST_F(MoveAndCopy, MoveAndCopyGoThroughTheChooserToTheDisk) {
  Settings().SetVal("Last", "CopyMoveTo", (kWork / "dest").string() + "\\");
  fs::create_directories(kWork / "dest");
  // Nothing checked: no chooser, nothing copied.
  Run(&TCollectionFrame::CopyButtonClick, [](TMoveToFrame& chooser) { Cancel(chooser); });
  EXPECT_FALSE(chooserShown);

  page->CheckAllButtonClick(nullptr);
  Run(&TCollectionFrame::CopyButtonClick, [](TMoveToFrame& chooser) { Cancel(chooser); });
  EXPECT_TRUE(chooserShown);
  EXPECT_TRUE(fs::is_empty(kWork / "dest"));

  // Copy with the folders recreated under "Disk C": the marks stay.
  Settings().SetFlag("Last", "CopyMoveSavePath", true);
  Run(&TCollectionFrame::CopyButtonClick, [](TMoveToFrame& chooser) { Ok(chooser); });
  EXPECT_EQ(test::ReadWhole(kWork / "dest" / "Disk C" / "kvmove" / "src" / "a.mp3"), "new a.mp3");
  EXPECT_TRUE(page->Checked(0) && page->Checked(1));
  EXPECT_TRUE(fs::exists(kWork / "src" / "a.mp3"));

  // Move of one file without the folders: copied, its source reserved.
  page->CheckNoneButtonClick(nullptr);
  page->Tree().WriteCheckState(page->Tree().GetNextSibling(page->Tree().GetFirst()), csCheckedNormal);
  Run(&TCollectionFrame::MoveButtonClick, [](TMoveToFrame& chooser) {
    ui::test::ClickWindow(chooser.Get<ui::TCheckBox>("SavePathsCheckbox"));
    Ok(chooser);
  });
  EXPECT_TRUE(chooserShown);
  EXPECT_EQ(test::ReadWhole(kWork / "dest" / "b.mp3"), "new b.mp3");
  EXPECT_FALSE(fs::exists(kWork / "src" / "b.mp3"));
  EXPECT_TRUE(fs::exists(kWork / "src" / "a.mp3"));
  EXPECT_EQ(disk->results.Items(1).Tag, -1);
  EXPECT_FALSE(page->Checked(1));
  EXPECT_EQ(page->GetHiddenCount(), 1);
}

TEST_F(MoveAndCopy, MovingAFileIntoItsOwnFolderLeavesItThereAndSaysSo) {
  Settings().SetVal("Last", "CopyMoveTo", (kWork / "src").string() + "\\");
  Settings().SetFlag("Last", "CopyMoveSavePath", false);
  std::vector<std::string> boxes;
  ui::SetMessageBoxHook([&](HWND, const std::string& text, const std::string&, UINT) {
    boxes.push_back(text);
    return IDOK;
  });
  ScopeGuard unhook([] { ui::SetMessageBoxHook(nullptr); });
  page->CheckNoneButtonClick(nullptr);
  page->Tree().WriteCheckState(page->Tree().GetFirst(), csCheckedNormal);
  Run(&TCollectionFrame::MoveButtonClick, [](TMoveToFrame& chooser) { Ok(chooser); });
  EXPECT_TRUE(chooserShown);
  EXPECT_EQ(test::ReadWhole(kWork / "src" / "a.mp3"), "new a.mp3");
  EXPECT_EQ(page->GetHiddenCount(), 0);  // not in the reserve
  EXPECT_EQ(disk->results.Items(0).Tag, 1);
  EXPECT_TRUE(page->Checked(0));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "These files were left where they are: the destination is their own folder.\r\n" +
                          (kWork / "src" / "a.mp3").string());
}

// ------------------------------------------------ the smart-marking dialog --

class TuneSmart : public MoveTo {
 protected:
  void SetUp() override {
    MoveTo::SetUp();
    KeepPreferences() = TKeepPreferences{};
  }
  void TearDown() override {
    KeepPreferences() = TKeepPreferences{};
    MoveTo::TearDown();
  }
  // Run on a new dialog; act runs while it is up and ends it.
  void RunDialog(const std::function<void(TTuneSmartFrame&)>& act) {
    auto& dialog = owner.Create<TTuneSmartFrame>();
    bool acted = false;
    ui::test::RunLater(100, [&] {
      acted = true;
      act(dialog);
    });
    dialog.Run();
    EXPECT_TRUE(acted);
    owner.FreeComponent(&dialog);
  }
  // The rows as the dialog shows them: "greater bitrate, lesser size, ...".
  static std::string Rows(TTuneSmartFrame& dialog) {
    std::string rows;
    for (const char* n : {"1", "2", "3"}) {
      if (!rows.empty()) rows += ", ";
      rows += dialog.Get<ui::TComboBox>(std::string("Combo") + n).ItemIndex() == 0 ? "greater " : "lesser ";
      rows += dialog.Get<ui::TLabel>(std::string("Label") + n).Text();
    }
    return rows;
  }
  static void SelectItem(ui::TComboBox& combo, int item) {
    SendMessageW(combo.Handle(), CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    SendMessageW(GetParent(combo.Handle()), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo.Handle()));
  }
  // Answers the folder dialog the folder buttons open.
  static void PickFolder(ui::TControl& button, const std::wstring& folder, bool ok, std::string* preselected) {
    ui::test::RunLater(150, [&button, folder, ok, preselected] {
      ui::TForm* form = ShownForm("Select folder");
      ASSERT_NE(form, nullptr);
      TExplorer* explorer = nullptr;
      for (size_t i = 0; i < form->ComponentCount(); ++i)
        if (auto* e = dynamic_cast<TExplorer*>(form->Components(i))) explorer = e;
      ASSERT_NE(explorer, nullptr);
      if (preselected) *preselected = WStringToAnsi(explorer->GetFolder());
      if (!folder.empty()) ClickNode(*explorer->FoldersTree, explorer->FoldersTree->FindNode(folder));
      else ClickNode(*explorer->FoldersTree, explorer->FoldersTree->FindNodeByPIDL(DrivesFolder()->AbsolutePIDL()));
      form->SetModalResult(ok ? ui::mrOk : ui::mrCancel);
    });
    ui::test::ClickWindow(button);
  }
};

TEST_F(TuneSmart, GarbageSettingsKeepTheDefaultsAndOkStoresWhatTheDialogShows) {
  Settings().SetVal("Session", "Keep1", "77");
  Settings().SetVal("Session", "Keep2", "257");  // one byte of it would be 1
  Settings().SetVal("Session", "Keep3", "-1");
  Settings().SetVal("Session", "UseKeepFolder", "1");
  Settings().SetVal("Session", "KeepFolder", "C:\\kvtest\\enum\\");
  std::string opened, preselected, afterCancel, afterVirtual;
  int boldInk = 0;
  RunDialog([&](TTuneSmartFrame& dialog) {
    opened = Rows(dialog);
    ui::TForm& form = *dialog.ParentForm();
    boldInk = ui::test::DarkPixels(ui::test::Screenshot(form, "tune_smart"), form, dialog.Get<ui::TLabel>("Label1"));
    EXPECT_EQ(KeepPreferences().KeepFolder, u"C:\\kvtest\\enum\\");
    EXPECT_TRUE(IsWindowEnabled(dialog.Get<ui::TEdit>("KeepFolderEdit").Handle()));
    // Direction lists and "Move Up" change the live order at once.
    SelectItem(dialog.Get<ui::TComboBox>("Combo1"), 1);
    SelectItem(dialog.Get<ui::TComboBox>("Combo1"), 1);  // the same item again changes nothing
    ui::test::ClickWindow(dialog.Get<ui::TButton>("ToolButton3"));
    EXPECT_EQ(Rows(dialog), "greater length, lesser bitrate, lesser size");
    ui::test::ClickWindow(dialog.Get<ui::TButton>("ToolButton1"));
    ui::test::ClickWindow(dialog.Get<ui::TButton>("ToolButton1"));  // twice: as before
    EXPECT_FALSE(IsWindowEnabled(dialog.Get<ui::TButton>("ToolButton2").Handle()));
    // The folder buttons: the dialog opens on the folder; Cancel and a
    // virtual item leave the text; OK takes the folder with one "\".
    auto& edit = dialog.Get<ui::TEdit>("KeepFolderEdit");
    PickFolder(dialog.Get<ui::TButton>("SpeedButton1"), L"C:\\kvtest\\names", false, &preselected);
    afterCancel = edit.Text();
    PickFolder(dialog.Get<ui::TButton>("SelectFolderButton"), L"", true, nullptr);
    afterVirtual = edit.Text();
    PickFolder(dialog.Get<ui::TButton>("SelectFolderButton"), L"C:\\kvtest\\names", true, nullptr);
    EXPECT_EQ(edit.Text(), "C:\\kvtest\\names\\");
    EXPECT_EQ(KeepPreferences().KeepFolder, u"C:\\kvtest\\names\\");
    Ok(dialog);
  });
  EXPECT_EQ(opened, "greater bitrate, greater length, lesser size");
  EXPECT_GT(boldInk, 20);
  EXPECT_EQ(preselected, "C:\\kvtest\\enum");
  EXPECT_EQ(afterCancel, "C:\\kvtest\\enum\\");
  EXPECT_EQ(afterVirtual, "C:\\kvtest\\enum\\");
  EXPECT_EQ(KeepPreferences().KeepOrder, (std::array<uint8_t, 3>{kLengthGreater, kBitRateLesser, kSizeLesser}));
  EXPECT_EQ(Settings().GetVal("Session", "Keep1"), "3");
  EXPECT_EQ(Settings().GetVal("Session", "Keep2"), "2");
  EXPECT_EQ(Settings().GetVal("Session", "Keep3"), "6");
  EXPECT_EQ(Settings().GetVal("Session", "UseKeepFolder"), "1");
  EXPECT_EQ(Settings().GetVal("Session", "KeepFolder"), "C:\\kvtest\\names\\");
  // What OK stored is what the results page loads.
  KeepPreferences() = TKeepPreferences{};
  TTuneSmartFrame::LoadMode();
  EXPECT_EQ(KeepPreferences().KeepOrder, (std::array<uint8_t, 3>{kLengthGreater, kBitRateLesser, kSizeLesser}));
  EXPECT_EQ(KeepPreferences().KeepFolder, u"C:\\kvtest\\names\\");
}

// Both dialogs translate their captions and the texts their code sets, not their layouts.
TEST_F(TuneSmart, DialogsTranslateTheirCaptionsButNotTheirLayouts) {
  auto key = [](const std::string& english) { return ToHex(GetMD5(english)); };
  SetLanguage(std::make_unique<TLanguage>(
      "test.lng", std::vector<std::string>{key("Copy/Move Files") + "=Kopieren", key("Destination") + "=Ziel",
                                           key("Select your preference") + "=Vorlieben", key("bitrate") + "=Bitrate",
                                           key("then with") + "=dann mit"}));
  std::vector<std::string> shown;
  Choose([&](TMoveToFrame& chooser) {
    shown = {chooser.ParentForm()->Text(), chooser.Get<ui::TLabel>("Label1").Caption()};
    Cancel(chooser);
  });
  RunDialog([&](TTuneSmartFrame& dialog) {
    for (const char* label : {"Heading2", "Label1"}) shown.push_back(dialog.Get<ui::TLabel>(label).Caption());
    shown.push_back(dialog.ParentForm()->Text());
    Cancel(dialog);
  });
  EXPECT_EQ(shown, (std::vector<std::string>{"Kopieren", "Destination", "then with", "Bitrate", "Vorlieben"}));
}

TEST_F(TuneSmart, CancelKeepsTheChangesLiveButStoresNothing) {
  RunDialog([&](TTuneSmartFrame& dialog) {
    EXPECT_FALSE(IsWindowEnabled(dialog.Get<ui::TEdit>("KeepFolderEdit").Handle()));
    SelectItem(dialog.Get<ui::TComboBox>("Combo3"), 0);
    ui::test::ClickWindow(dialog.Get<ui::TCheckBox>("KeepFolderCheckbox"));
    SetWindowTextW(dialog.Get<ui::TEdit>("KeepFolderEdit").Handle(), L"C:\\typed\\");
    Cancel(dialog);
  });
  EXPECT_EQ(KeepPreferences().KeepOrder, (std::array<uint8_t, 3>{kBitRateGreater, kLengthGreater, kSizeGreater}));
  EXPECT_EQ(KeepPreferences().KeepFolder, u"");  // typed text reaches it only through the box or the buttons
  EXPECT_EQ(Settings().GetVal("Session", "Keep3"), "");
  EXPECT_EQ(Settings().GetVal("Session", "UseKeepFolder"), "");
}

}  // namespace
}  // namespace kv

namespace {

// Without a window manager on the test display, Wine waits two seconds for
// every hidden managed window to be withdrawn: this program hides a dialog
// in almost every step. Wine reads the setting when a process starts.
bool WindowsLeftUnmanaged() {
  const wchar_t* path = L"Software\\Wine\\AppDefaults\\move_to_tests.exe\\X11 Driver";
  wchar_t value[4] = {};
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, path, L"Managed", RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS &&
      value[0] == L'N')
    return true;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return true;  // go on slowly
  RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), sizeof L"N");
  RegCloseKey(key);
  return false;
}

int RunAgain() {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring line = GetCommandLineW();
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return 2;
  kv::KernelHandle process(info.hProcess), thread(info.hThread);
  WaitForSingleObject(process.Get(), INFINITE);
  DWORD code = 2;
  GetExitCodeProcess(process.Get(), &code);
  return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!WindowsLeftUnmanaged()) return RunAgain();
  return kv::test::RunInFixtureNamespace();
}
