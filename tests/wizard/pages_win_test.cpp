#include "wizard/pages_win.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>

#include "tests/ui/ui_test_util.h"
#include "ui/forms_win.h"
#include "wizard/theme_win.h"

namespace kv {
namespace {

class SimilarTuner : public ::testing::Test {
 protected:
  void SetUp() override { tuner.AssignCollection(&collection); }
  // The user's change of a control.
  void Changed(ui::TComponent& control) { tuner.OnStateChange(&control); }

  TMP3Collection collection;
  TSimilarTuner tuner;
};

TEST_F(SimilarTuner, ANegativeTimeDifferenceIsAnUntickedCheck) {
  collection.TimeDifference = -5;
  tuner.Refresh();
  EXPECT_EQ(tuner.TimeDifferenceEdit->Text(), "5");
  EXPECT_FALSE(tuner.CheckTimeCheckBox->Checked());
  EXPECT_FALSE(tuner.TimeDifferenceEdit->Enabled());
  EXPECT_FALSE(tuner.TimeLabel->Enabled());
  // Ticking it gives the same number as a check in force.
  tuner.CheckTimeCheckBox->SetChecked(true);
  Changed(*tuner.CheckTimeCheckBox);
  EXPECT_EQ(collection.TimeDifference, 5);
  EXPECT_TRUE(tuner.TimeDifferenceEdit->Enabled());
}

TEST_F(SimilarTuner, UntickingTheTimeBoxAtZeroKeepsTheCheckInForce) {
  collection.TimeDifference = 7;
  tuner.Refresh();
  tuner.TimeDifferenceEdit->SetText("0");
  tuner.CheckTimeCheckBox->SetChecked(false);
  Changed(*tuner.CheckTimeCheckBox);
  EXPECT_EQ(collection.TimeDifference, 0);
  EXPECT_FALSE(tuner.CheckTimeCheckBox->Checked());  // 0 leaves the box as the user set it
  EXPECT_TRUE(tuner.TimeDifferenceEdit->Enabled());
  EXPECT_TRUE(tuner.TimeLabel->Enabled());
  // A text that is no number counts as 0.
  tuner.CheckTimeCheckBox->SetChecked(true);
  tuner.TimeDifferenceEdit->SetText("");
  Changed(*tuner.TimeDifferenceEdit);
  EXPECT_EQ(collection.TimeDifference, 0);
}

TEST_F(SimilarTuner, TheEnabledBoxesAndTheRadioButtonsMakeTheCombineMode) {
  struct Case {
    bool artist, title, orSelected;
    int combine;
  } const cases[] = {
      {false, false, false, 0}, {true, false, false, 1}, {false, true, false, 2},
      {true, true, false, 3},   {true, true, true, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.combine);
    tuner.ArtistCheckBox->SetChecked(c.artist);
    tuner.TitleCheckBox->SetChecked(c.title);
    (c.orSelected ? tuner.OrRadioButton : tuner.AndRadioButton)->SetChecked(true);
    Changed(*tuner.TitleCheckBox);
    EXPECT_EQ(collection.Combine, c.combine);
    // Refresh shows the mode back: the boxes, their bars and labels, the radio buttons.
    EXPECT_EQ(tuner.ArtistCheckBox->Checked(), c.artist);
    EXPECT_EQ(tuner.ArtistTrackBar->Enabled(), c.artist);
    EXPECT_EQ(tuner.ArtistStatusLabel->Enabled(), c.artist);
    EXPECT_EQ(tuner.TitleCheckBox->Checked(), c.title);
    EXPECT_EQ(tuner.TitleTrackBar->Enabled(), c.title);
    EXPECT_EQ(tuner.OrRadioButton->Checked(), c.orSelected);
    EXPECT_EQ(tuner.AndRadioButton->Enabled(), c.combine >= 3);
  }
  // Combine 2 from the store: the artist's controls off, the title's on.
  collection.Combine = 2;
  tuner.Refresh();
  EXPECT_FALSE(tuner.ArtistCheckBox->Checked());
  EXPECT_TRUE(tuner.TitleCheckBox->Checked());
  EXPECT_FALSE(tuner.OrRadioButton->Enabled());
}

TEST_F(SimilarTuner, BoundsShowAsPercentClampedToTheBar) {
  struct Case {
    int stored, shown;
    const char* label;
  } const cases[] = {{90, 90, "90 %"}, {85, 85, "85 %"}, {150, 100, "100 %"}, {-3, 0, "0 %"}};
  for (const Case& c : cases) {
    collection.ArtistBound = c.stored;
    collection.TitleBound = c.stored;
    tuner.Refresh();
    EXPECT_EQ(tuner.ArtistTrackBar->Position(), c.shown);
    EXPECT_EQ(tuner.ArtistStatusLabel->Caption(), c.label);
    EXPECT_EQ(tuner.TitleStatusLabel->Caption(), c.label);
  }
  // Filling its own controls fires nothing back into the collection.
  EXPECT_EQ(collection.ArtistBound, -3);
  tuner.TitleTrackBar->SetPosition(40);
  Changed(*tuner.TitleTrackBar);
  EXPECT_EQ(collection.TitleBound, 40);
  EXPECT_EQ(tuner.TitleStatusLabel->Caption(), "40 %");
}

TEST_F(SimilarTuner, TheTimeEditTakesDigitsAndBackspaceOnly) {
  const std::pair<char, char> keys[] = {{'0', '0'}, {'9', '9'}, {'\b', '\b'}, {'-', 0}, {'a', 0},
                                        {' ', 0},   {'.', 0},   {'\r', 0},   {'/', 0}, {':', 0}};
  for (auto [typed, kept] : keys) {
    char key = typed;
    tuner.TimeDifferenceEditKeyPress(tuner.TimeDifferenceEdit, key);
    EXPECT_EQ(key, kept) << int(typed);
  }
  // Through the edit itself: the layout binds the filter.
  ui::TForm host;
  tuner.SetParent(&host);
  host.Show();
  tuner.TimeDifferenceEdit->SetText("");
  for (char c : std::string("1a-2"))
    SendMessageW(tuner.TimeDifferenceEdit->Handle(), WM_CHAR, static_cast<WPARAM>(c), 0);
  EXPECT_EQ(tuner.TimeDifferenceEdit->Text(), "12");
  // Typing stores nothing; a click into the box stores what it shows.
  tuner.CheckTimeCheckBox->SetChecked(true);
  EXPECT_NE(collection.TimeDifference, 12);
  HWND edit = tuner.TimeDifferenceEdit->Handle();
  SendMessageW(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(edit, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(collection.TimeDifference, 12);
  tuner.SetParent(nullptr);
}

TEST(ProgressFrame, MarkerBarAndCount) {
  TMP3Collection collection;
  for (int i = 0; i < 8; ++i) collection.AddRecord(std::make_unique<TMP3Info>(), false);
  TProgressFrame page;
  page.SetCollection(&collection);
  page.SetStep(1);
  EXPECT_EQ(page.CurImage->Top(), page.Step1Label->Top() + page.Step1Label->Height() + 5);
  page.SetStep(2);
  EXPECT_EQ(page.CurImage->Top(), page.Step2Label->Top() + page.Step2Label->Height() + 5);
  const std::pair<int, int> bars[] = {{0, 0}, {1, 12}, {3, 38}, {5, 62}, {8, 100}, {9, 100}, {-1, 0}};
  for (auto [count, position] : bars) {
    page.ItemsCompared(count);
    EXPECT_EQ(page.CompareProgressBar->Position(), position) << count;
  }
  page.SetStep(1);
  EXPECT_EQ(page.CompareProgressBar->Position(), 0);
  bool cancel = false;
  page.OnFile(collection, "C:\\Music\\a.mp3", cancel);
  EXPECT_FALSE(cancel);
  EXPECT_EQ(page.SearchLabel->Caption(), "C:\\Music\\a.mp3");
  EXPECT_EQ(page.FoundPanel->Caption(), "   Found: 8");
  page.Cancelled = true;
  page.OnFile(collection, "C:\\Music\\b.mp3", cancel);
  EXPECT_TRUE(cancel);
}

// The labels follow the reports at the screen's pace; whatever was reported
// last shows once the next phase starts, with "&" as a letter.
TEST(ProgressFrame, TheLastReportedTextsShowWhenThePhaseEnds) {
  TMP3Collection collection;
  ui::TForm host;
  TProgressFrame& page = host.Create<TProgressFrame>();
  page.SetParent(&host);
  host.SetClientWidth(page.Width());
  host.SetClientHeight(page.Height());
  host.Show();
  page.SetCollection(&collection);
  page.SetStep(1);
  bool cancel = false;
  for (int i = 0; i < 200; ++i) {
    collection.AddRecord(std::make_unique<TMP3Info>(), false);
    page.OnFile(collection, "C:\\Music\\Kate Wood & the Crowns\\" + std::to_string(i) + ".mp3", cancel);
  }
  page.SetStep(2);
  EXPECT_EQ(page.SearchLabel->Caption(), "C:\\Music\\Kate Wood & the Crowns\\199.mp3");
  EXPECT_EQ(page.FoundPanel->Caption(), "   Found: 200");
  for (int i = 0; i < 100; ++i) {
    page.SetComparedFile("C:\\Music\\" + std::to_string(i) + ".mp3");
    page.ItemsCompared(i);
  }
  page.ShowLatest();
  EXPECT_EQ(page.CompareLabel->Caption(), "C:\\Music\\99.mp3");
  EXPECT_EQ(page.CompareProgressBar->Position(), 50);
  // The bar, which moved with its painting held, is whole again: half filled.
  EXPECT_TRUE(IsWindowVisible(page.CompareProgressBar->Handle()));
  const ui::TBitmap shot = ui::test::Screenshot(host, "progress_page");
  const int barWidth = page.CompareProgressBar->Width(), y = page.CompareProgressBar->Height() / 2;
  EXPECT_NE(ui::test::PixelAt(shot, host, page.CompareProgressBar->Handle(), barWidth / 4, y),
            ui::test::PixelAt(shot, host, page.CompareProgressBar->Handle(), barWidth * 3 / 4, y));
  EXPECT_GT(ui::test::DarkPixels(shot, host, *page.CompareLabel), 20);  // its text is drawn
  for (ui::TLabel* label : {page.SearchLabel, page.CompareLabel})
    EXPECT_NE(GetWindowLongW(label->Handle(), GWL_STYLE) & SS_NOPREFIX, 0);
}

// The screenshot's pixel (0xRRGGBB) of a system colour.
uint32_t Rgb(int sysColor) {
  const COLORREF c = GetSysColor(sysColor);
  return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

// A second search starts with empty labels and a count of 0; the count then
// shows on a raised panel of the tip colour in the highlight colour, painted
// whole at every change (no erasing first, which showed the bare background
// for a moment), though the panel takes no input. With the program's theme
// manager too: under visual styles it paints panels and labels itself.
TEST(ProgressFrame, ANewSearchStartsCleanAndTheCountShowsOnTheTipColour) {
  for (const bool themed : {false, true}) {
    SCOPED_TRACE(themed ? "themed" : "plain");
    TMP3Collection collection;
    ui::TForm host;
    TProgressFrame& page = host.Create<TProgressFrame>();
    page.SetParent(&host);
    host.SetClientWidth(page.Width());
    host.SetClientHeight(page.Height());
    const std::unique_ptr<ui::TComponent> theme = themed ? CreateThemeManager() : nullptr;
    host.Show();
    page.SetCollection(&collection);
    page.SetStep(1);
    bool cancel = false;
    collection.AddRecord(std::make_unique<TMP3Info>(), false);
    page.OnFile(collection, "C:\\Music\\first.mp3", cancel);
    page.SetStep(2);
    page.SetComparedFile("C:\\Music\\first.mp3");
    page.ItemsCompared(0);
    page.ShowLatest();
    ASSERT_EQ(page.CompareLabel->Caption(), "C:\\Music\\first.mp3");

    page.SetStep(1);  // the next search, before its scan reports anything
    EXPECT_EQ(page.SearchLabel->Caption(), "");
    EXPECT_EQ(page.CompareLabel->Caption(), "");
    EXPECT_EQ(page.FoundPanel->Caption(), "   Found: 0");

    HWND panel = page.FoundPanel->Handle();
    ui::test::Pump(50);
    static int erased, painted;
    erased = painted = 0;
    auto count = [](HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) noexcept -> LRESULT {
      erased += msg == WM_ERASEBKGND;
      painted += msg == WM_PAINT;
      return DefSubclassProc(w, msg, wp, lp);
    };
    ASSERT_TRUE(SetWindowSubclass(panel, count, 1, 0));
    for (int i = 0; i < 1233; ++i) collection.AddRecord(std::make_unique<TMP3Info>(), false);
    page.OnFile(collection, "C:\\Music\\second.mp3", cancel);
    page.ShowLatest();
    RemoveWindowSubclass(panel, count, 1);
    ASSERT_EQ(page.FoundPanel->Caption(), "   Found: 1234");
    EXPECT_EQ(erased, 0);
    EXPECT_EQ(painted, 1);
    EXPECT_FALSE(IsWindowEnabled(panel));

    const ui::TBitmap shot = ui::test::Screenshot(host, themed ? "progress_found_panel_themed" : "progress_found_panel");
    const int w = page.FoundPanel->Width(), h = page.FoundPanel->Height();
    EXPECT_EQ(ui::test::PixelAt(shot, host, panel, w - 4, h / 2), Rgb(COLOR_INFOBK));  // right of the text
    EXPECT_EQ(ui::test::PixelAt(shot, host, panel, 0, h / 2), Rgb(COLOR_BTNHIGHLIGHT));  // raised: light
    EXPECT_EQ(ui::test::PixelAt(shot, host, panel, w - 1, h / 2), Rgb(COLOR_BTNSHADOW));  // and shadow
    int highlight = 0, grey = 0;
    for (int y = 1; y < h - 1; ++y)
      for (int x = 1; x < w - 1; ++x) {
        const uint32_t px = ui::test::PixelAt(shot, host, panel, x, y);
        highlight += px == Rgb(COLOR_HIGHLIGHT);
        grey += px == Rgb(COLOR_GRAYTEXT);
      }
    EXPECT_GT(highlight, 40);  // the text, in bold strokes
    EXPECT_EQ(grey, 0);
    // The labels keep the page's colour behind their text.
    EXPECT_EQ(ui::test::PixelAt(shot, host, page.SearchLabel->Handle(), page.SearchLabel->Width() - 2, 2),
              Rgb(COLOR_BTNFACE));
    EXPECT_GT(ui::test::DarkPixels(shot, host, *page.SearchLabel), 20);
    // The phase marker is an arrow on the page, not on a box of its own colour.
    HWND marker = page.CurImage->Handle();
    EXPECT_EQ(ui::test::PixelAt(shot, host, marker, 0, 0), Rgb(COLOR_BTNFACE));
    EXPECT_EQ(ui::test::PixelAt(shot, host, marker, 0, page.CurImage->Height() - 1), Rgb(COLOR_BTNFACE));
    EXPECT_EQ(ui::test::PixelAt(shot, host, marker, 10, 10), 0xC81E1Eu);  // the arrow's red
  }
}

}  // namespace
}  // namespace kv
