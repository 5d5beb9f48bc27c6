// The reserve page at start-up: the wizard opens on it while the reserve
// holds files, and its buttons free or recover through the results page.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/ansi_text_win.h"
#include "tests/wizard/wizard_test_util.h"
#include "wizard/reserve_win.h"

namespace kv::test {
namespace {

namespace fs = std::filesystem;

class FreeSpacePage : public WizardFixture {
 protected:
  // Three files of 5,242,880 bytes in all, reserved by an earlier run.
  void ReserveThreeFiles() {
    fs::create_directories(folder.Path() / "Music");
    TReserve reserve(AppDirW());
    reserve.Load();
    const size_t sizes[] = {2'000'000, 2'000'000, 1'242'880};
    for (int i = 0; i < 3; ++i) {
      const fs::path file = folder.Path() / "Music" / ("f" + std::to_string(i) + ".mp3");
      WriteWhole(file, std::string(sizes[i], 'x'));
      files.push_back(file);
      const std::string path = WStringToAnsi(file.wstring());
      ASSERT_TRUE(reserve.HideInsteadDelete(AnsiToWString(path), path));
    }
    reserve.Save();
  }
  std::string Status() { return form->FreeSpaceFrame->Get<ui::TLabel>("StatusLabel").Caption(); }
  std::vector<fs::path> files;
};

TEST_F(FreeSpacePage, AReserveOpensTheWizardOnItAndRecoveringEmptiesIt) {
  ReserveThreeFiles();
  Settings().SetFlag("Last", "Ready", true);
  MakeForm();
  EXPECT_EQ(form->Step, 0);
  EXPECT_EQ(Status(), "Duplicates deleted before still occupy the space\r\nYou can free 5Mb or recover 3 files");
  ui::test::Screenshot(*form, "reserve_page");
  ui::test::ClickWindow(form->FreeSpaceFrame->Get<ui::TButton>("RecoverButton"));
  for (const fs::path& file : files) EXPECT_TRUE(fs::exists(file)) << file;
  EXPECT_EQ(Status(), "There are no space reserved by deleted duplicates\r\nClick the \"Next\"-button");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(FreeSpacePage, FreeingAsksFirstAndTheNextStartSkipsThePage) {
  ReserveThreeFiles();
  Settings().SetFlag("Last", "Ready", true);
  MakeForm();
  answer = IDNO;
  ui::test::ClickWindow(form->FreeSpaceFrame->Get<ui::TButton>("FreeSpaceButton"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Do you really want to free reserved space ?\r\nTo recover files after this is impossible !!!");
  EXPECT_EQ(form->CollectionFrame->GetHiddenCount(), 3);
  answer = IDYES;
  ui::test::ClickWindow(form->FreeSpaceFrame->Get<ui::TButton>("FreeSpaceButton"));
  EXPECT_EQ(form->CollectionFrame->GetHiddenCount(), 0);
  EXPECT_TRUE(fs::is_empty(folder.Path() / "Music"));
  form->Finish();
  FreeForm();
  MakeForm();
  EXPECT_EQ(form->Step, 1);
}

}  // namespace
}  // namespace kv::test
