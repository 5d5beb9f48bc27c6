// The progress window of the results page while it copies: photographed
// while it asks about an existing target, half-way through the run.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/log_display_win.h"
#include "tests/wizard/wizard_test_util.h"
#include "wizard/result_tree_win.h"

namespace kv::test {
namespace {

namespace fs = std::filesystem;

const fs::path kWork = L"C:\\kvprogress";

// 0x00RRGGBB as TBitmap::Pixel answers, from a 0x00BBGGRR colour.
uint32_t Rgb(COLORREF bgr) { return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF); }

class ProgressWindow : public WizardFixture {
 protected:
  void SetUp() override {
    WizardFixture::SetUp();
    disk.emplace(kWork, std::initializer_list<const char*>{"first.mp3", "second.mp3"});
    page = disk->page;
    page->CheckAllButtonClick(nullptr);
    page->ChooseDestination = [](std::wstring& chosen, bool& savePaths) {
      chosen = (kWork / "dest").wstring() + L"\\";
      savePaths = false;
      return true;
    };
  }
  void TearDown() override {
    disk.reset();
    WizardFixture::TearDown();
  }

  std::optional<ResultsOnDisk> disk;
  TCollectionFrame* page = nullptr;
};

TEST_F(ProgressWindow, AskingHalfWayItShowsTheBarTheQuestionAndTheAnswers) {
  fs::create_directories(kWork / "dest");
  WriteWhole(kWork / "dest" / "second.mp3", "old second");
  bool asked = false, hostEnabled = true;
  std::vector<std::string> buttons;
  uint32_t done = 0, todo = 0, highlight = Rgb(GetSysColor(COLOR_HIGHLIGHT));
  int statusInk = 0, questionInk = 0;
  // Polls until the window waits for the answer (the first copy runs before).
  std::function<void()> look = [&] {
    ui::TForm* shown = nullptr;
    for (ui::TForm* f : ui::Application().Forms())
      if (f->Visible() && f->Text() == "Processing...") shown = f;
    auto* window = shown ? dynamic_cast<TLogDisplay*>(shown->Owner()) : nullptr;
    if (!window || window->Answer != -2) {
      ui::test::RunLater(50, look);
      return;
    }
    asked = true;
    hostEnabled = IsWindowEnabled(disk->host.Handle());
    const ui::TBitmap shot = ui::test::Screenshot(*shown, "progress_copy_question");
    // The bar stands at 50 %: filled at a quarter of its width, empty at three quarters.
    ui::TProgressBar& bar = *window->ProgressBar;
    done = ui::test::PixelAt(shot, *shown, bar.Handle(), bar.Width() / 4, bar.Height() / 2);
    todo = ui::test::PixelAt(shot, *shown, bar.Handle(), bar.Width() * 3 / 4, bar.Height() / 2);
    statusInk = ui::test::DarkPixels(shot, *shown, *window->StatusLabel);
    ui::TButton* yes = nullptr;
    for (size_t i = 0; i < shown->ComponentCount(); ++i) {
      if (auto* b = dynamic_cast<ui::TButton*>(shown->Components(i)); b && b->Visible()) {
        buttons.push_back(b->Text());
        if (b->Text() == "Yes") yes = b;
      }
      if (auto* l = dynamic_cast<ui::TLabel*>(shown->Components(i)); l && l != window->StatusLabel)
        questionInk = ui::test::DarkPixels(shot, *shown, *l);
    }
    // Any answer ends the wait; Stop when "Yes" is missing.
    ui::test::ClickWindow(yes ? *yes : *window->StopButton);
  };
  ui::test::RunLater(50, look);
  page->CopyButtonClick(nullptr);

  EXPECT_TRUE(asked);
  EXPECT_FALSE(hostEnabled);
  EXPECT_TRUE(IsWindowEnabled(disk->host.Handle()));
  EXPECT_EQ(done, highlight) << std::hex << done;
  EXPECT_NE(todo, highlight) << std::hex << todo;
  EXPECT_GT(statusInk, 20);    // "Confirmation:"
  EXPECT_GT(questionInk, 200);  // the question's long line
  EXPECT_EQ(buttons, (std::vector<std::string>{"Stop", "No to all", "Yes to all", "No", "Yes"}));
  EXPECT_EQ(ReadWhole(kWork / "dest" / "second.mp3"), "new second.mp3");
  EXPECT_EQ(ReadWhole(kWork / "dest" / "first.mp3"), "new first.mp3");
  EXPECT_TRUE(page->Checked(0) && page->Checked(1));  // copies keep their marks
}

}  // namespace
}  // namespace kv::test
