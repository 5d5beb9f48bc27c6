#include "foundation/log_display_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/ui/ui_test_util.h"

namespace kv {
namespace {

using ui::test::RunLater;

// The answer buttons of a question, left to right.
std::vector<ui::TButton*> AnswerButtons(TLogDisplay& d) {
  std::vector<ui::TButton*> found;
  for (size_t i = 0; i < d.Form->ComponentCount(); ++i)
    if (auto* b = dynamic_cast<ui::TButton*>(d.Form->Components(i)); b && b != d.StopButton)
      found.push_back(b);
  std::sort(found.begin(), found.end(), [](auto* a, auto* b) { return a->Left() < b->Left(); });
  return found;
}

TEST(LogDisplay, ControlsStackInOrderForEveryFlagSet) {
  for (int flags : {16, 2 | 4 | 8 | 16, 4, 2 | 8, 4 | 16, 2}) {
    SCOPED_TRACE(flags);
    TLogDisplay d;
    d.Start("Working", flags, false, nullptr);
    const int client = d.Form->ClientWidth();
    int y = 0;
    std::vector<ui::TControl*> present;
    for (ui::TControl* c : std::initializer_list<ui::TControl*>{d.StatusLabel, d.Memo, d.ProgressBar, d.StopButton})
      if (c) present.push_back(c);
    EXPECT_EQ(present.size(), size_t(__builtin_popcount(flags)));
    for (ui::TControl* c : present) {
      EXPECT_EQ(c->Top(), y + 5);
      if (c == d.StopButton) {
        EXPECT_EQ(c->Left(), client - c->Width() - 10);
      } else {
        EXPECT_EQ(c->Left(), 5);
        EXPECT_EQ(c->Width(), client - 10);
      }
      y += c->Height() + 10;
    }
    EXPECT_EQ(d.Form->ClientHeight(), y);
    d.Finish(false);
    EXPECT_FALSE(d.Form->Visible());
  }
}

TEST(LogDisplay, CentresOnTheParentAndDisablesItWhileOnTop) {
  ui::TForm parent;
  parent.SetBounds(100, 120, 600, 401);
  parent.Show();
  TLogDisplay d;
  d.Start("Processing...", 4 | 16, true, &parent);
  EXPECT_EQ(d.Form->Left(), 100 + (600 - 400) / 2);
  EXPECT_EQ(d.Form->Top(), 120 + (401 - d.Form->Height()) / 2);
  EXPECT_FALSE(IsWindowEnabled(parent.Handle()));
  EXPECT_TRUE(GetWindowLongPtrW(d.Form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  d.Finish(false);
  EXPECT_TRUE(IsWindowEnabled(parent.Handle()));
  EXPECT_EQ(d.ParentForm, nullptr);  // nothing left to touch should the parent go first

  // Freed while on top: the parent comes back too.
  auto again = std::make_unique<TLogDisplay>();
  again->Start("Processing...", 16, true, &parent);
  EXPECT_FALSE(IsWindowEnabled(parent.Handle()));
  again.reset();
  EXPECT_TRUE(IsWindowEnabled(parent.Handle()));
}

TEST(LogDisplay, AskReturnsTheClickedAnswerAndPutsTheWindowBack) {
  struct Case {
    const char* what;
    int expected;
    std::function<void(TLogDisplay&)> act;
  };
  auto answer = [](int index) {
    return [index](TLogDisplay& d) { ui::test::ClickWindow(*AnswerButtons(d).at(size_t(index))); };
  };
  const Case cases[] = {
      {"first", 0, answer(0)},
      {"third", 2, answer(2)},
      {"stop", -1, [](TLogDisplay& d) { ui::test::ClickWindow(*d.StopButton); }},
      {"close", -1, [](TLogDisplay& d) { PostMessageW(d.Form->Handle(), WM_CLOSE, 0, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TLogDisplay d;
    d.StopCaption = "Stop";
    d.Status = "Copying";
    d.Start("Processing...", 4 | 16, false, nullptr);
    const int height = d.Form->ClientHeight(), stopTop = d.StopButton->Top();
    std::vector<std::string> captions;
    std::string status;
    RunLater(50, [&] {
      auto buttons = AnswerButtons(d);
      for (auto* b : buttons) {
        captions.push_back(b->Caption());
        EXPECT_EQ(b->Anchors(), ui::TAnchors(ui::akRight));  // held at the right edge only
      }
      status = d.StatusLabel->Caption();
      c.act(d);
    });
    EXPECT_EQ(d.Ask("Overwrite\r\nSkip\r\nOverwrite all\r\n", "The file exists. Overwrite it?"),
              c.expected);
    EXPECT_EQ(captions, (std::vector<std::string>{"Overwrite", "Skip", "Overwrite all"}));
    EXPECT_EQ(status, "Confirmation:");
    EXPECT_TRUE(AnswerButtons(d).empty());
    EXPECT_EQ(d.StatusLabel->Caption(), "Copying");
    EXPECT_EQ(d.StopButton->Top(), stopTop);
    EXPECT_EQ(d.Form->ClientHeight(), height);
    d.Finish(false);
  }
}

TEST(LogDisplay, ALongQuestionWidensTheWindowAndTheStopButtonFollowsTheRightEdge) {
  TLogDisplay d;
  d.Start("x", 16, false, nullptr);
  const int width = d.Form->ClientWidth();
  const int stopGap = width - d.StopButton->Left();
  int widened = 0, labelWidth = 0, gapWhileAsking = 0;
  RunLater(50, [&] {
    widened = d.Form->ClientWidth();
    for (size_t i = 0; i < d.Form->ComponentCount(); ++i)
      if (auto* l = dynamic_cast<ui::TLabel*>(d.Form->Components(i))) labelWidth = l->Width();
    gapWhileAsking = widened - d.StopButton->Left();
    ui::test::ClickWindow(*AnswerButtons(d).at(0));
  });
  const std::string question(120, 'W');
  EXPECT_EQ(d.Ask("Yes", question), 0);
  EXPECT_GT(labelWidth, width);
  EXPECT_EQ(widened, labelWidth + 10);
  EXPECT_EQ(gapWhileAsking, stopGap);  // anchored to the right
  d.Finish(false);
}

// Finish(true) waits for Stop; a wait nothing could end (no Stop button, no
// answers) returns at once.
TEST(LogDisplay, FinishWaitsForStopAndNoWaitStartsWithoutAWayOut) {
  TLogDisplay d;
  d.Start("x", 2 | 16, false, nullptr);
  bool clicked = false;
  RunLater(150, [&] {
    clicked = true;
    ui::test::ClickWindow(*d.StopButton);
  });
  d.Finish(true);
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(d.Stopped);
  EXPECT_EQ(d.Answer, -1);

  d.Start("x", 2 | 4, false, nullptr);  // reused, without a Stop button
  EXPECT_FALSE(d.Stopped);
  EXPECT_EQ(d.Ask("Yes\r\nNo", "Sure?"), -1);
  d.Finish(true);
  EXPECT_FALSE(d.Form->Visible());
  d.Start("x", 16, false, nullptr);
  EXPECT_EQ(d.Ask("", "Sure?"), -1);
  EXPECT_EQ(d.Form->ComponentCount(), 1u);  // nothing was added
  d.Finish(false);
}

// A question (and a modal form) ends without an answer on a quit, which goes
// on to the outer loop, and when a handler frees its owner meanwhile.
TEST(LogDisplay, QuitOrFreeingDuringAQuestionEndsIt) {
  ui::TForm parent;
  parent.Show();
  auto d = std::make_unique<TLogDisplay>();
  d->Start("x", 16, true, &parent);
  RunLater(50, [] { PostQuitMessage(0); });
  EXPECT_EQ(d->Ask("A\r\nB", "?"), -1);
  EXPECT_TRUE(ui::Application().Terminated());
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
  ui::Application().ResetTerminated();

  RunLater(50, [&] { d.reset(); });
  EXPECT_EQ(d->Ask("A\r\nB", "?"), -1);
  EXPECT_EQ(d, nullptr);
  EXPECT_TRUE(IsWindowEnabled(parent.Handle()));

  auto dialog = std::make_unique<ui::TForm>();
  RunLater(50, [&] { dialog.reset(); });
  EXPECT_EQ(dialog->ShowModal(), ui::mrCancel);
  EXPECT_EQ(dialog, nullptr);
  EXPECT_TRUE(IsWindowEnabled(parent.Handle()));
}

// Starts d with every part (status, text area, bar, stop button) filled in
// as a copy run shows them.
void StartCopyRun(TLogDisplay& d, bool stayOnTop) {
  d.StopCaption = "Stop";
  d.Status = "C:\\Music\\Artist - Title.mp3";
  d.Progress = 60;
  d.Start("Processing...", 2 | 4 | 8 | 16, stayOnTop, nullptr);
  d.Memo->AddLine("Copied C:\\Music\\one.mp3");
}

TEST(LogDisplay, ScreenshotShowsAPaintedWindow) {
  TLogDisplay d;
  StartCopyRun(d, true);
  d.Memo->AddLine("Copied C:\\Music\\two.mp3");
  d.Refresh();
  const ui::TBitmap shot = ui::test::Screenshot(*d.Form, "log_display");
  // The bar's filled part differs from its empty part.
  const int barWidth = d.ProgressBar->Width(), y = d.ProgressBar->Height() / 2;
  const uint32_t filled = ui::test::PixelAt(shot, *d.Form, d.ProgressBar->Handle(), barWidth / 5, y);
  const uint32_t empty = ui::test::PixelAt(shot, *d.Form, d.ProgressBar->Handle(), barWidth * 9 / 10, y);
  EXPECT_NE(filled, empty) << std::hex << filled;
  std::set<uint32_t> colours;
  for (int py = 0; py < shot.Height(); py += 3)
    for (int px = 0; px < shot.Width(); px += 3) colours.insert(shot.Pixel(px, py));
  EXPECT_GT(colours.size(), 4u);
  d.Finish(false);
}

// A question grows the window below the stop button: the text area and the
// bar, held at neither edge vertically, move down by half the growth and come
// back; the stop button stays at the top right, and nothing changes width.
TEST(LogDisplay, AQuestionMovesTheTextAreaAndTheBarByHalfTheGrowth) {
  TLogDisplay d;
  StartCopyRun(d, false);
  const ui::TBounds memo = d.Memo->Bounds(), bar = d.ProgressBar->Bounds(),
                    stop = d.StopButton->Bounds(), status = d.StatusLabel->Bounds();
  const int height = d.Form->ClientHeight();
  int growth = 0;
  ui::TBounds memoAsking, barAsking, stopAsking, statusAsking;
  ui::TLabel* question = nullptr;
  RunLater(50, [&] {
    growth = d.Form->ClientHeight() - height;
    memoAsking = d.Memo->Bounds();
    barAsking = d.ProgressBar->Bounds();
    stopAsking = d.StopButton->Bounds();
    statusAsking = d.StatusLabel->Bounds();
    for (size_t i = 0; i < d.Form->ComponentCount(); ++i)
      if (auto* l = dynamic_cast<ui::TLabel*>(d.Form->Components(i)); l && l != d.StatusLabel) question = l;
    const ui::TBitmap shot = ui::test::Screenshot(*d.Form, "log_display_question");
    // The question is written, and the bar is painted where it now stands.
    if (question) {
      EXPECT_GT(ui::test::DarkPixels(shot, *d.Form, *question), 20);
    }
    const int barWidth = d.ProgressBar->Width(), y = d.ProgressBar->Height() / 2;
    EXPECT_NE(ui::test::PixelAt(shot, *d.Form, d.ProgressBar->Handle(), barWidth / 5, y),
              ui::test::PixelAt(shot, *d.Form, d.ProgressBar->Handle(), barWidth * 9 / 10, y));
    for (ui::TButton* b : AnswerButtons(d)) EXPECT_GT(ui::test::DarkPixels(shot, *d.Form, *b), 10);
    ui::test::ClickWindow(*AnswerButtons(d).at(1));
  });
  EXPECT_EQ(d.Ask("Overwrite\r\nSkip", "The file exists. Overwrite it?"), 1);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(growth, question->Height() + 10);
  const auto moved = [&](ui::TBounds b, int dy) { return ui::TBounds{b.left, b.top + dy, b.width, b.height}; };
  EXPECT_EQ(memoAsking, moved(memo, growth / 2));
  EXPECT_EQ(barAsking, moved(bar, growth / 2));
  EXPECT_EQ(stopAsking, moved(stop, growth));  // moved by Ask itself, not by the growth
  EXPECT_EQ(statusAsking, status);
  // Put back once answered.
  EXPECT_EQ(d.Memo->Bounds(), memo);
  EXPECT_EQ(d.ProgressBar->Bounds(), bar);
  EXPECT_EQ(d.StopButton->Bounds(), stop);
  EXPECT_EQ(d.Form->ClientHeight(), height);
  d.Finish(false);
}

// Every Refresh handles the pending messages (a stop acts at once), while the
// texts and the bar follow at the screen's pace: the latest values show.
TEST(LogDisplay, RefreshHandlesMessagesEachTimeAndShowsTheLatestValues) {
  TLogDisplay d;
  d.StopCaption = "Stop";
  d.Start("Processing...", 2 | 4 | 16, false, nullptr);
  for (int i = 0; i < 50; ++i) {
    d.Status = "C:\\Music\\Kate Wood & the Crowns\\" + std::to_string(i) + ".mp3";
    d.Progress = i;
    if (i == 25) PostMessageW(d.StopButton->Handle(), BM_CLICK, 0, 0);
    d.Refresh();
    EXPECT_EQ(d.Stopped, i >= 25) << i;
  }
  Sleep(TUpdatePace::kIntervalMs + 10);
  d.Refresh();
  EXPECT_EQ(d.StatusLabel->Caption(), "C:\\Music\\Kate Wood & the Crowns\\49.mp3");
  EXPECT_EQ(d.ProgressBar->Position(), 49);
  EXPECT_NE(GetWindowLongW(d.StatusLabel->Handle(), GWL_STYLE) & SS_NOPREFIX, 0);
  d.Finish(false);
}

}  // namespace
}  // namespace kv
