#include "foundation/tip_window_win.h"

#include <gtest/gtest.h>

#include "base/scope_guard.h"
#include "foundation/files_win.h"
#include "tests/ui/ui_test_util.h"
#include "ui/jpeg.h"

namespace kv {
namespace {

using ui::test::RunLater;

class TipWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = AppDirW();
    SetAppDir(ToFolder(std::string(KV_TEST_SOURCE_DIR) + "/tests/ui/data"));
    ui::SetShellExecuteHook([this](const std::string& verb, const std::string& target, int show) {
      opened_.push_back(verb + " " + target + " " + std::to_string(show));
      return true;
    });
  }
  void TearDown() override {
    ui::SetShellExecuteHook(nullptr);
    SetAppDir(saved_);
  }
  static std::wstring ToFolder(const std::string& path) { return std::wstring(path.begin(), path.end()); }

  std::wstring saved_;
  std::vector<std::string> opened_;
};

TEST_F(TipWindowTest, ReturnsTheCheckBoxAndOpensTheLinkFromThePicture) {
  // Centred on the main form even while that is hidden.
  ui::TForm main;
  main.SetBounds(100, 120, 600, 401);
  ui::TForm* savedMain = ui::Application().MainForm();
  ui::Application().SetMainForm(&main);
  ScopeGuard restoreMain([&] { ui::Application().SetMainForm(savedMain); });
  for (bool tick : {true, false}) {
    SCOPED_TRACE(tick);
    std::vector<std::string> layout;
    RunLater(80, [&] {
      TAdvForm* form = ui::test::FindForm<TAdvForm>();
      ASSERT_NE(form, nullptr);
      auto* image = dynamic_cast<ui::TImage*>(form->Components(2));
      auto* check = dynamic_cast<ui::TCheckBox*>(form->Components(1));
      auto* close = dynamic_cast<ui::TButton*>(form->Components(0));
      ASSERT_TRUE(image && check && close);
      layout = {std::to_string(form->ClientWidth()), std::to_string(form->ClientHeight()),
                std::to_string(check->Left()) + "," + std::to_string(check->Top()) + "," +
                    std::to_string(check->Width()),
                std::to_string(form->Width() - close->Left() - close->Width()),
                std::to_string(close->Top() - check->Top()), check->Caption(), close->Caption(),
                std::to_string(form->Left() - 100 - (600 - form->Width()) / 2) + "," +
                    std::to_string(form->Top() - 120 - (401 - form->Height()) / 2)};
      if (tick) {
        const ui::TBitmap shot = ui::test::Screenshot(*form, "tip_window");
        const uint32_t left = ui::test::PixelAt(shot, *form, form->Handle(), 30, 60);
        const uint32_t right = ui::test::PixelAt(shot, *form, form->Handle(), 210, 60);
        EXPECT_GT((left >> 16) & 0xFF, 150u) << std::hex << left;   // red half
        EXPECT_GT(right & 0xFF, 150u) << std::hex << right;         // blue half
        SendMessageW(image->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        SendMessageW(image->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        ui::test::ClickWindow(*check);
      }
      ui::test::ClickWindow(*close);
    });
    EXPECT_EQ(DisplayAdv("tip_picture", "https://downloads.example/brisquel"), tick);
    EXPECT_EQ(layout, (std::vector<std::string>{"240", "155", "5,125,200", "15", "0",
                                                "Do not show this tip again", "Close", "0,0"}));
    EXPECT_EQ(ui::test::FindForm<TAdvForm>(), nullptr);
  }
  EXPECT_EQ(opened_, std::vector<std::string>{"open https://downloads.example/brisquel 1"});
}

TEST_F(TipWindowTest, AMissingOrBrokenPictureRaisesAndLeavesNoWindow) {
  const std::string build = KV_TEST_BINARY_DIR;
  const std::string good = StrFromFile(std::string(KV_TEST_SOURCE_DIR) + "/tests/ui/data/tip_picture.jpg");
  StrToFile(good.substr(0, good.size() / 2), build + "/tip_broken.jpg");
  const size_t forms = ui::Application().Forms().size();
  EXPECT_THROW(DisplayAdv("no_such_tip", "x"), ui::EJpegError);
  SetAppDir(ToFolder(build));
  EXPECT_THROW(DisplayAdv("tip_broken", "x"), ui::EJpegError);
  EXPECT_EQ(ui::Application().Forms().size(), forms);
  EXPECT_TRUE(opened_.empty());
}

}  // namespace
}  // namespace kv
