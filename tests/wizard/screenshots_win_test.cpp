// Every page of the wizard, the splash, the about box and both tip windows,
// captured into the build folder's screenshots and probed: the pictures
// where they belong, text in the step memo, the captions as shown.
#include <gtest/gtest.h>

#include "base/ansi_text_win.h"
#include "foundation/tip_window_win.h"
#include "tests/wizard/wizard_test_util.h"
#include "wizard/step_texts.h"

namespace kv {
namespace {

using test::WizardFixture;
namespace fs = std::filesystem;

constexpr uint32_t kBannerFrame = 0x102060;  // the banner's border colour
constexpr uint32_t kMarkerRed = 0xC81E1E;    // the phase marker's arrow

class Screens : public WizardFixture {
 protected:
  void SetUp() override {
    WizardFixture::SetUp();
    for (const char* name : {"steps.txt", "Brisquel.jpg", "EmptyTags.jpg"})
      fs::copy_file(fs::path(KV_TEST_SOURCE_DIR) / "data" / name, folder.Path() / name,
                    fs::copy_options::overwrite_existing);
  }
  std::string Shown(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return WStringToAnsi(text);
  }
};

TEST_F(Screens, EveryPageWithBannerStepTextAndButtons) {
  MakeForm();
  for (int step = 0; step < kStepCount; ++step) {
    SCOPED_TRACE(step);
    for (auto* page : form->Frames) page->Hide();
    form->Step = step;
    form->Frames[step]->Show();
    if (step == 5) {  // shown as the search shows it, without running one
      form->SteptextMemo->SetText(StepText(form->StepsText, 5));
      form->ProgressFrame->SetStep(2);
      form->NextButton->SetCaption("Cancel");
    } else {
      form->CheckButtonCaptions();
    }
    const ui::TBitmap shot = ui::test::Screenshot(*form, "wizard_step_" + std::to_string(step));
    EXPECT_EQ(ui::test::PixelAt(shot, *form, form->Get<ui::TImage>("Image1").Handle(), 0, 0), kBannerFrame);
    EXPECT_EQ(ui::test::PixelAt(shot, *form, form->Get<ui::TImage>("Image1").Handle(), 149, 94), kBannerFrame);
    EXPECT_GT(ui::test::DarkPixels(shot, *form, *form->SteptextMemo), 60);
    EXPECT_EQ(Shown(form->NextButton->Handle()), step == 4 ? "Search" : step == 5 ? "Cancel" : "Next >");
    if (step == 5) {
      ui::TImage& marker = *form->ProgressFrame->CurImage;
      EXPECT_EQ(ui::test::PixelAt(shot, *form, marker.Handle(), 5, 10), kMarkerRed);
      RECT label, mark;
      GetWindowRect(form->ProgressFrame->Step2Label->Handle(), &label);
      GetWindowRect(marker.Handle(), &mark);
      EXPECT_EQ(mark.top, label.bottom + 5);
    }
  }
}

TEST_F(Screens, SplashAboutBoxAndTips) {
  TAboutForm splash;
  splash.StartSplash();
  ui::TBitmap shot = ui::test::Screenshot(splash, "splash");
  EXPECT_EQ(ui::test::PixelAt(shot, splash, splash.Get<ui::TImage>("Image1").Handle(), 0, 0) >> 16, 0x1Eu);
  EXPECT_GT(ui::test::DarkPixels(shot, splash, splash.Get<ui::TLabel>("Label1")), 100);
  splash.FinishSplash();

  ui::test::RunLater(300, [&] {
    auto* about = ui::test::FindForm<TAboutForm>();
    ASSERT_TRUE(about);
    ui::test::Screenshot(*about, "about_box");
    ui::test::ClickWindow(about->Get<ui::TButton>("Button1"));
  });
  help::TStub().OnAbout();

  for (const char* tip : {"Brisquel", "EmptyTags"}) {
    int width = 0;
    ui::test::RunLater(300, [&, tip] {
      auto* window = ui::test::FindForm<TAdvForm>();
      ASSERT_TRUE(window);
      const ui::TBitmap tipShot = ui::test::Screenshot(*window, std::string("tip_") + tip);
      width = tipShot.Width();
      PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
    });
    EXPECT_FALSE(DisplayAdv(tip, "https://www.torvane.example/"));
    EXPECT_GE(width, 400) << tip;
  }
}

}  // namespace
}  // namespace kv
