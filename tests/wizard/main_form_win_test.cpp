#include "wizard/main_form_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>

#include "base/strings.h"
#include "engine/collection_csv.h"
#include "foundation/md5.h"
#include "tests/wizard/wizard_test_util.h"

namespace kv {
namespace {

using test::WizardFixture;

class MainForm : public WizardFixture {
 protected:
  void SaveList(int rows) {
    std::string csv = std::string(kCsvHeader) + "\r\n";
    for (int i = 0; i < rows; ++i) csv += "1,Artist,Title " + std::to_string(i) + ",C:\\m\\" + std::to_string(i) + ".mp3,,,0,0,1,2,3,4,5\r\n";
    test::WriteWhole(folder.Path() / "last", csv);
  }
  bool Shown(int step) const { return form->Frames[step]->Visible(); }
  int VisiblePages() const {
    int n = 0;
    for (auto* page : form->Frames) n += page->Visible();
    return n;
  }
};

TEST_F(MainForm, FirstStepFollowsTheSavedListAndBackIsDisabledWhereverItOpens) {
  // No saved list: the folder page, even when the other keys ask for more.
  {
    MakeForm();
    EXPECT_EQ(form->Step, 2);
    EXPECT_TRUE(Shown(2));
    EXPECT_EQ(VisiblePages(), 1);
    EXPECT_FALSE(form->BackButton->Enabled());
    EXPECT_TRUE(form->NextButton->Enabled());
    // Enter belongs to the page (the folder tree executes its node): Next is
    // no default button.
    EXPECT_FALSE(form->NextButton->Default());
    form->DialogKey(form->Frames[2]->Handle(), VK_RETURN);
    EXPECT_EQ(form->Step, 2);
    FreeForm();
  }
  // A saved list and no reserve: step 1; there and back, Back leads to 0.
  Settings().SetFlag("Last", "Ready", true);
  Settings().SetVal("Last", "OpenScan", "1");
  MakeForm();
  EXPECT_EQ(form->Step, 1);
  EXPECT_FALSE(form->BackButton->Enabled());
  Next();
  EXPECT_EQ(form->Step, 2);
  Back();
  EXPECT_EQ(form->Step, 1);
  EXPECT_TRUE(form->BackButton->Enabled());
  Back();
  EXPECT_EQ(form->Step, 0);
  EXPECT_FALSE(form->BackButton->Enabled());
  EXPECT_TRUE(Shown(0));
  EXPECT_EQ(VisiblePages(), 1);
}

// Every move of the step table, as sequences of clicks from the first step.
TEST_F(MainForm, NextAndBackFollowTheChoices) {
  struct Case {
    const char* name;
    bool ready;
    int openScan, dupeSimilar;
    std::string clicks;     // N next, B back
    std::vector<int> steps;  // the step after each click
  };
  const Case cases[] = {
      {"open the saved list, and back", true, 0, 0, "NB", {6, 1}},
      {"scan, duplicates only", true, 1, 0, "NNNB", {2, 3, 6, 3}},
      {"scan, similar files too", false, 0, 1, "NNNB", {3, 4, 6, 4}},
      {"back over the similarity page", false, 0, 0, "NBB", {3, 2, 1}},
      {"reopened twice", true, 0, 0, "NBN", {6, 1, 6}},
  };
  SaveList(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Settings().SetFlag("Last", "Ready", c.ready);
    Settings().SetVal("Last", "OpenScan", std::to_string(c.openScan));
    Settings().SetVal("Last", "DupeSimilar", std::to_string(c.dupeSimilar));
    MakeForm();
    for (size_t i = 0; i < c.clicks.size(); ++i) {
      SCOPED_TRACE(i);
      c.clicks[i] == 'N' ? Next() : Back();
      EXPECT_EQ(form->Step, c.steps[i]);
      EXPECT_TRUE(Shown(form->Step));
      EXPECT_EQ(VisiblePages(), 1);
      EXPECT_FALSE(form->Frames[5]->Visible());  // the progress page is never left shown
    }
    if (c.openScan == 0 && c.ready) {
      ASSERT_TRUE(form->Results);
      EXPECT_EQ(form->Results->Count(), 2);
      EXPECT_EQ(form->Results->IndexEnabled, 0);
    }
    if (form->Step == 6) {
      EXPECT_FALSE(form->NextButton->Enabled());
    }
    FreeForm();
  }
}

TEST_F(MainForm, SearchCaptionOnTheSimilarityPageAndAnEmptySearchEndsOnTheResults) {
  Settings().SetVal("Last", "DupeSimilar", "1");
  MakeForm();
  Next();
  EXPECT_EQ(form->NextButton->Caption(), "Next >");
  Next();
  EXPECT_EQ(form->Step, 4);
  EXPECT_EQ(form->NextButton->Caption(), "Search");
  Next();
  EXPECT_EQ(form->Step, 6);
  EXPECT_EQ(form->NextButton->Caption(), "Next >");
  ASSERT_TRUE(form->Results);
  EXPECT_EQ(form->Results->Count(), 0);
  EXPECT_EQ(form->CollectionFrame->Results(), form->Results.get());
  EXPECT_EQ(Settings().GetVal("Session", "EmptyTags"), "0");
  EXPECT_TRUE(boxes.empty());
}

// A scan that fails on its first try, Exit pressed before the failure when
// asked.
class FailingScanForm : public TMainForm {
 public:
  void FillCollection() override {
    TMainForm::FillCollection();
    if (failures == 0) return;
    --failures;
    if (exitFirst) Close();
    throw std::runtime_error("the scan failed");
  }
  int failures = 1;
  bool exitFirst = false;
};

// A search that fails is told once and leaves the wizard where the search
// started, with its buttons, and the next search ends on the results. An
// Exit pressed during the failing search has closed the window all the same.
TEST_F(MainForm, AFailedSearchIsToldOnceAndReturnsToItsPage) {
  for (const bool exitFirst : {false, true}) {
    SCOPED_TRACE(exitFirst ? "Exit pressed first" : "no Exit");
    Settings().SetVal("Last", "DupeSimilar", "1");
    auto& failing = ui::Application().CreateForm<FailingScanForm>();
    failing.exitFirst = exitFirst;
    form = &failing;
    SetMainForm(form);
    form->Init();
    form->Show();
    Next();
    Next();
    ASSERT_EQ(form->Step, 4);
    Next();
    EXPECT_EQ(form->Step, 4);
    EXPECT_TRUE(Shown(4));
    EXPECT_EQ(VisiblePages(), 1);
    EXPECT_EQ(form->NextButton->Caption(), "Search");
    EXPECT_TRUE(form->NextButton->Enabled());
    EXPECT_TRUE(form->BackButton->Enabled());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("the scan failed"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(form->Visible(), !exitFirst);
    MSG msg;
    EXPECT_EQ(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) || ui::Application().Terminated(),
              exitFirst);
    ui::Application().ResetTerminated();

    Next();
    EXPECT_EQ(form->Step, 6);
    EXPECT_EQ(boxes.size(), 1u);
    boxes.clear();
    FreeForm();
  }
}

TEST_F(MainForm, TheFormIsTranslatedButNotItsPages) {
  auto key = [](const std::string& english) { return ToHex(GetMD5(english)); };
  SetLanguage(std::make_unique<TLanguage>(
      "test.lng", std::vector<std::string>{key("< &Back") + "=< &Zurueck", key("&Exit") + "=&Ende",
                                           key("Next") + "=Weiter", key("Search") + "=Suchen",
                                           key("  What are you want to do ?  ") + "=Was tun?",
                                           key("Search only for duplicates") + "=Nur Duplikate"}));
  Settings().SetVal("Last", "DupeSimilar", "1");
  MakeForm();
  EXPECT_EQ(form->BackButton->Caption(), "< &Zurueck");
  EXPECT_EQ(form->CancelButton->Caption(), "&Ende");
  EXPECT_EQ(form->NextButton->Caption(), "Weiter >");
  EXPECT_EQ(form->DupeSimilarFrame->ActionRG->Caption(), "  What are you want to do ?  ");
  EXPECT_EQ(form->DupeSimilarFrame->ActionRG->Items()[0], "Search only for duplicates");
  Next();
  Next();
  EXPECT_EQ(form->NextButton->Caption(), "Suchen");
}

TEST_F(MainForm, StepTextsAndSettingsFallBackWhenMissingOrNotNumbers) {
  Settings().SetFlag("Last", "Ready", true);
  Settings().SetVal("Last", "OpenScan", "1");
  MakeForm();
  EXPECT_EQ(form->SteptextMemo->Text(), "text 1");
  Back();
  EXPECT_EQ(form->SteptextMemo->Text(), "text 0");
  for (int step = 1; step <= 3; ++step) {
    Next();
    EXPECT_EQ(form->SteptextMemo->Text(), "text " + std::to_string(step));
  }
  FreeForm();

  std::filesystem::remove(folder.Path() / "steps.txt");
  for (const char* key : {"ArtistBound", "TitleBound", "Combine", "TimeDifference", "CheckAlbums"})
    Settings().SetVal("Session", key, "12x");
  Settings().SetVal("Last", "OpenScan", "one");
  MakeForm();
  EXPECT_EQ(form->SteptextMemo->Text(), "");
  EXPECT_EQ(form->OpenScanFrame->ActionRG->ItemIndex(), 0);
  EXPECT_EQ(form->Collection->ArtistBound, 90);
  EXPECT_EQ(form->Collection->TitleBound, 85);
  EXPECT_EQ(form->Collection->Combine, 3);
  EXPECT_EQ(form->Collection->TimeDifference, 5);
  EXPECT_EQ(form->Collection->CheckAlbums, 0);
  // The similarity page shows the defaults.
  EXPECT_EQ(form->SimilarTuner->ArtistStatusLabel->Caption(), "90 %");
  EXPECT_EQ(form->SimilarTuner->TitleStatusLabel->Caption(), "85 %");
  EXPECT_TRUE(form->SimilarTuner->ArtistCheckBox->Checked());
  EXPECT_TRUE(form->SimilarTuner->TitleCheckBox->Checked());
  EXPECT_TRUE(form->SimilarTuner->AndRadioButton->Checked());
  EXPECT_TRUE(form->SimilarTuner->CheckTimeCheckBox->Checked());
  EXPECT_EQ(form->SimilarTuner->TimeDifferenceEdit->Text(), "5");
  EXPECT_FALSE(form->SimilarTuner->CheckAlbumsCheckBox->Checked());
}

// A list that cannot be read: its error is shown and the wizard stays on
// step 1 with its page shown and no result collection.
TEST_F(MainForm, ACorruptSavedListLeavesTheWizardOnTheChoicePage) {
  test::WriteWhole(folder.Path() / "last", std::string(kCsvHeader) + "\r\nx,a,b,f,,,0,0,1,2,3,4,5\r\n");
  Settings().SetFlag("Last", "Ready", true);
  MakeForm();
  Next();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("'x' is not a valid integer value for field 'Tag'"), std::string::npos)
      << boxes[0].text;
  EXPECT_EQ(form->Step, 1);
  EXPECT_TRUE(Shown(1));
  EXPECT_EQ(VisiblePages(), 1);
  EXPECT_FALSE(form->Results);
  // Scanning instead still works.
  form->OpenScanFrame->ActionRG->SetItemIndex(1);
  Next();
  EXPECT_EQ(form->Step, 2);
}

TEST_F(MainForm, FinishWritesTheChoicesTheBoundsAndTheList) {
  Settings().SetVal("Last", "TreeSelection", "C:\\Music\r\nD:\\More\r\n");
  Settings().SetVal("Last", "DupeSimilar", "1");
  MakeForm();
  form->SimilarTuner->ArtistTrackBar->SetPosition(70);
  form->SimilarTuner->OnStateChange(form->SimilarTuner->ArtistTrackBar);
  Next();
  Next();
  Next();  // the search: a result collection exists now
  ASSERT_EQ(form->Step, 6);
  form->Finish();
  EXPECT_EQ(Settings().GetVal("Session", "ArtistBound"), "70");
  EXPECT_EQ(Settings().GetVal("Session", "TitleBound"), "85");
  EXPECT_EQ(Settings().GetVal("Session", "Combine"), "3");
  EXPECT_EQ(Settings().GetVal("Session", "TimeDifference"), "5");
  EXPECT_EQ(Settings().GetVal("Session", "CheckAlbums"), "0");
  EXPECT_EQ(Settings().GetVal("Last", "OpenScan"), "0");
  EXPECT_EQ(Settings().GetVal("Last", "DupeSimilar"), "1");
  EXPECT_EQ(Settings().GetVal("Last", "TreeSelection"), "C:\\Music\r\nD:\\More\r\n");
  EXPECT_TRUE(Settings().GetFlag("Last", "Ready"));
  EXPECT_EQ(test::ReadWhole(folder.Path() / "last").substr(0, 3), "Tag");
  EXPECT_FALSE(form->Results);
  EXPECT_FALSE(form->Collection);
}

}  // namespace
}  // namespace kv
