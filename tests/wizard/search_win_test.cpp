// The search from the wizard: a generated library (tests/wizard/search.cmake)
// copied below C:\, scanned and grouped, and stopped in different ways.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <set>

#include "engine/collection_csv.h"
#include "engine/engine_init_win.h"
#include "foundation/tip_window_win.h"
#include "tests/wizard/wizard_test_util.h"

namespace kv {
namespace {

using Group = std::set<std::string>;

class Search : public test::WizardFixture {
 protected:
  void SetUp() override {
    WizardFixture::SetUp();
    const std::filesystem::path source = std::filesystem::path(KV_TEST_BINARY_DIR) / "search_library";
    ASSERT_TRUE(std::filesystem::exists(source)) << "made by the fixture wizard_search_library";
    std::filesystem::copy(source, library(), std::filesystem::copy_options::recursive);
    for (const char* picture : {"Brisquel.jpg", "EmptyTags.jpg"})
      std::filesystem::copy(std::filesystem::path(KV_TEST_SOURCE_DIR) / "data" / picture, folder.Path() / picture);
    EngineInitialize();  // the scan's session flags reach the settings
  }
  void TearDown() override {
    *tipsAlive = false;
    EngineFinalize();
    ui::Application().ResetTerminated();
    WizardFixture::TearDown();
  }
  std::filesystem::path library() const { return folder.Path() / "lib"; }

  // Opens the wizard on the folder page with the library (and a folder inside
  // it) as the checked paths, similar files searched for.
  void OpenOnLibrary(const char* dupeSimilar = "1") {
    Settings().SetVal("Last", "DupeSimilar", dupeSimilar);
    MakeForm();
    ASSERT_EQ(form->Step, 2);
    form->CheckboxDriveTree->Paths = {library().wstring(), (library() / "EXACT").wstring()};
  }
  // From the folder page to the search.
  void RunSearch() {
    Next();
    Next();
    if (form->Step == 4) Next();
  }
  // A first search (tips declined before) to the results; its list.
  TMP3Collection* SearchWithoutTips() {
    Settings().SetVal("Session", "IgnoreiTunes", "1");
    Settings().SetVal("Session", "IgnoreEmptyTags", "1");
    OpenOnLibrary();
    RunSearch();
    EXPECT_EQ(form->Step, 6);
    return form->Step == 6 ? form->Results.get() : nullptr;
  }
  // Closes every tip window as it comes, noting its address.
  // The chain ends with the test (tipsAlive), so no later test meets it.
  void CloseTips(int rounds = 150) {
    ui::test::RunLater(100, [this, rounds, alive = tipsAlive] {
      if (!*alive) return;
      if (auto* tip = ui::test::FindForm<TAdvForm>()) {
        tips.push_back(tip->URL);
        PostMessageW(tip->Handle(), WM_CLOSE, 0, 0);
      }
      if (rounds > 0) CloseTips(rounds - 1);
    });
  }
  // The groups of the results as sets of library-relative paths (a saved
  // list's marked rows carry 100000 on top of their group number).
  std::map<int32_t, Group> Groups(const TMP3Collection& results) const {
    std::map<int32_t, Group> groups;
    const std::string root = library().string() + "\\";
    for (int32_t i = 0; i < results.Count(); ++i) {
      std::string path = results.Items(i).GetTagPart(kTagDisplayPath);
      EXPECT_EQ(path.compare(0, root.size(), root), 0) << path;
      path.erase(0, root.size());
      for (char& c : path)
        if (c == '\\') c = '/';
      const int32_t tag = results.Items(i).Tag;
      groups[tag > 100000 ? tag - 100000 : tag].insert(path);
    }
    return groups;
  }
  std::vector<std::string> tips;
  std::shared_ptr<bool> tipsAlive = std::make_shared<bool>(true);
};

const std::set<Group> kSimilarGroups = {
    {"exact/one/Let It Be.mp3", "exact/two/Let It Be.mp3"},
    {"similar/Shine again.mp3", "similar/Shine.mp3"},
    {"cross/Hysteria.mp3", "cross/m4a/Hysteria.m4a"}};

std::set<Group> Values(const std::map<int32_t, Group>& groups) {
  std::set<Group> values;
  for (const auto& [number, group] : groups) values.insert(group);
  return values;
}

TEST_F(Search, EndsOnTheResultsWithTheGroupsAndBothTips) {
  OpenOnLibrary();
  CloseTips();
  RunSearch();
  EXPECT_EQ(form->Step, 6);
  EXPECT_EQ(form->NextButton->Caption(), "Next >");
  EXPECT_FALSE(form->NextButton->Enabled());
  ASSERT_TRUE(form->Results);
  EXPECT_EQ(form->CollectionFrame->Results(), form->Results.get());
  const auto groups = Groups(*form->Results);
  EXPECT_EQ(Values(groups), kSimilarGroups);
  EXPECT_EQ(groups.begin()->first, 1);
  EXPECT_EQ(groups.rbegin()->first, 3);
  // Nine files, each scanned once although a folder inside the library was checked too.
  EXPECT_EQ(form->Collection->Count(), 9);
  for (int32_t i = 0; i < form->Collection->Count(); ++i) EXPECT_EQ(form->Collection->Items(i).Tag, 0);
  EXPECT_EQ(Settings().GetVal("Session", "iTunesInstalled"), "1");
  EXPECT_EQ(Settings().GetVal("Session", "EmptyTags"), "1");
  EXPECT_EQ(tips, (std::vector<std::string>{kBrisquelUrl, kCorvennaUrl}));
  EXPECT_EQ(form->ProgressFrame->CompareProgressBar->Position(), 89);  // 8 of 9 searched before the last
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Search, DuplicatesOnlyKeepsTheUsersBoundsAndNoFolderFindsNothing) {
  Settings().SetVal("Session", "IgnoreiTunes", "1");
  Settings().SetVal("Session", "IgnoreEmptyTags", "1");
  OpenOnLibrary("0");
  RunSearch();
  ASSERT_EQ(form->Step, 6);
  EXPECT_EQ(Values(Groups(*form->Results)),
            (std::set<Group>{{"exact/one/Let It Be.mp3", "exact/two/Let It Be.mp3"},
                             {"cross/Hysteria.mp3", "cross/m4a/Hysteria.m4a"}}));
  EXPECT_EQ(form->Collection->ArtistBound, 90);
  EXPECT_EQ(form->Collection->TitleBound, 85);

  // No folder checked, or one removed since: nothing scanned, an empty list.
  for (const std::vector<std::wstring>& paths :
       {std::vector<std::wstring>{}, std::vector<std::wstring>{(folder.Path() / "gone").wstring(), L""}}) {
    Back();
    ASSERT_EQ(form->Step, 3);
    form->CheckboxDriveTree->Paths = paths;
    Next();
    ASSERT_EQ(form->Step, 6);
    EXPECT_EQ(form->Results->Count(), 0);
    EXPECT_EQ(form->Collection->Count(), 0);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Search, AStoppedSearchKeepsTheLastListAndExitDuringASearchLetsItFinish) {
  TMP3Collection* first = SearchWithoutTips();
  ASSERT_TRUE(first);

  // Cancel: the click waits in the queue and arrives during the scan.
  Back();
  ASSERT_EQ(form->Step, 4);
  PostMessageW(form->NextButton->Handle(), BM_CLICK, 0, 0);
  Next();
  EXPECT_EQ(form->Step, 4);  // stepped back
  EXPECT_LT(form->Collection->Count(), 9);
  EXPECT_EQ(form->Results.get(), first);
  EXPECT_EQ(form->CollectionFrame->Results(), first);
  EXPECT_EQ(Values(Groups(*first)), kSimilarGroups);
  EXPECT_EQ(form->NextButton->Caption(), "Search");
  EXPECT_TRUE(form->BackButton->Enabled());

  // Exit during the search closes the window at once and asks the
  // application to end, but does not stop the search: it runs to its end
  // unseen, and its list is the one saved.
  PostMessageW(form->CancelButton->Handle(), BM_CLICK, 0, 0);
  Next();
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(ui::Application().Terminated());
  EXPECT_FALSE(form->ProgressFrame->Cancelled);
  EXPECT_EQ(form->Step, 6);
  EXPECT_EQ(form->Collection->Count(), 9);
  ASSERT_TRUE(form->Results);
  EXPECT_NE(form->Results.get(), first);
  EXPECT_EQ(Values(Groups(*form->Results)), kSimilarGroups);

  form->Finish();
  TMP3Collection saved;
  saved.LoadFromCSV((folder.Path() / "last").string());
  EXPECT_EQ(Values(Groups(saved)), kSimilarGroups);
}

// Stopped while the first folder is scanned: each folder after it is still
// entered, and its scan ends at its first entry; nothing is compared.
TEST_F(Search, AStopDuringTheScanEndsEachRemainingFolderAtItsFirstEntry) {
  OpenOnLibrary();
  form->CheckboxDriveTree->Paths = {(library() / "exact").wstring(), (library() / "similar").wstring(),
                                    (library() / "alone").wstring()};
  Next();
  Next();
  ASSERT_EQ(form->Step, 4);
  PostMessageW(form->NextButton->Handle(), BM_CLICK, 0, 0);
  Next();
  EXPECT_EQ(form->Step, 4);  // stepped back
  EXPECT_FALSE(form->Results);
  EXPECT_EQ(form->Collection->Count(), 0);  // the folders' first entries are "."
  form->ProgressFrame->ShowLatest();
  const std::wstring shown = form->ProgressFrame->SearchLabel->WideText();
  const std::wstring alone = (library() / "alone").wstring() + L"\\";
  EXPECT_EQ(shown.compare(0, alone.size(), alone), 0) << shown;  // the last folder was entered
}

// Stopped while the second record is compared (the click is posted when the
// compare bar moves): the list before stays shown and bound, with the marks
// the user set, and that is what "last" keeps.
TEST_F(Search, AStopDuringTheComparisonKeepsTheLastListWithItsMarks) {
  TMP3Collection* first = SearchWithoutTips();
  ASSERT_TRUE(first);
  form->CollectionFrame->CheckAllButtonClick(nullptr);  // not what smart marking chose

  Back();
  ASSERT_EQ(form->Step, 4);
  HWND bar = form->ProgressFrame->CompareProgressBar->Handle();
  auto stopOnMove = [](HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR next) noexcept -> LRESULT {
    if (msg == PBM_SETPOS && wp > 0) {
      PostMessageW(reinterpret_cast<HWND>(next), BM_CLICK, 0, 0);
      RemoveWindowSubclass(w, nullptr, 1);
    }
    return DefSubclassProc(w, msg, wp, lp);
  };
  ASSERT_TRUE(SetWindowSubclass(bar, stopOnMove, 1, reinterpret_cast<DWORD_PTR>(form->NextButton->Handle())));
  Next();
  RemoveWindowSubclass(bar, stopOnMove, 1);
  EXPECT_EQ(form->Step, 4);  // stepped back
  EXPECT_EQ(form->Collection->Count(), 9);  // the scan was whole
  EXPECT_LT(form->ProgressFrame->CompareProgressBar->Position(), 89);  // not all compared
  EXPECT_EQ(form->Results.get(), first);
  EXPECT_EQ(form->CollectionFrame->Results(), first);
  for (int row = 0; row < first->Count(); ++row) EXPECT_TRUE(form->CollectionFrame->Checked(row)) << row;

  form->Finish();
  TMP3Collection saved;
  saved.LoadFromCSV((folder.Path() / "last").string());
  EXPECT_EQ(Values(Groups(saved)), kSimilarGroups);
  for (int32_t i = 0; i < saved.Count(); ++i) EXPECT_GT(saved.Items(i).Tag, 100000) << i;
}

// The results page fails to show a new list once it holds it (its status
// bar is gone): the failure is told, and the page holds the list the form
// keeps, never a freed one; with the bar back the next search shows its list.
TEST_F(Search, AListThePageFailsToShowIsKeptWhileThePageHoldsIt) {
  TMP3Collection* first = SearchWithoutTips();
  ASSERT_TRUE(first);
  ui::TStatusBar& status = form->CollectionFrame->Get<ui::TStatusBar>("Status");
  status.SetName("StatusAway");
  Back();
  ASSERT_EQ(form->Step, 4);
  Next();
  EXPECT_EQ(form->Step, 4);  // told, and back where the search started
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("Status"), std::string::npos) << boxes[0].text;
  ASSERT_TRUE(form->Results);
  EXPECT_EQ(form->CollectionFrame->Results(), form->Results.get());
  EXPECT_EQ(Values(Groups(*form->Results)), kSimilarGroups);

  status.SetName("Status");
  boxes.clear();
  Next();
  ASSERT_EQ(form->Step, 6);
  EXPECT_EQ(form->CollectionFrame->Results(), form->Results.get());
  EXPECT_EQ(Values(Groups(*form->Results)), kSimilarGroups);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Search, AMissingTipPictureShowsItsErrorAndKeepsTheResults) {
  std::filesystem::remove(folder.Path() / "Brisquel.jpg");
  OpenOnLibrary();
  CloseTips();
  RunSearch();
  ASSERT_EQ(form->Step, 6);
  EXPECT_EQ(Values(Groups(*form->Results)), kSimilarGroups);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("Brisquel"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(tips, (std::vector<std::string>{kCorvennaUrl}));  // the second tip still comes
}

}  // namespace
}  // namespace kv
