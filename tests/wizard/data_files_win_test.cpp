// The files shipped beside the program and the pictures built into it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/wizard/wizard_test_util.h"
#include "ui/graphics_win.h"
#include "ui/jpeg.h"
#include "wizard/step_texts.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

fs::path DataFile(const char* name) { return fs::path(KV_TEST_SOURCE_DIR) / "data" / name; }

TEST(DataFiles, SevenStepTextsAndAnEmptyLanguageSection) {
  const std::string steps = test::ReadWhole(DataFile("steps.txt"));
  for (int step = 0; step < 7; ++step) EXPECT_FALSE(StepText(steps, step).empty()) << step;
  EXPECT_EQ(StepText(steps, 7), "");
  EXPECT_EQ(test::ReadWhole(DataFile("default.lng")), "[Messages]\r\n");
}

TEST(DataFiles, TipPicturesDecodeHereAndWithTheOracle) {
  for (const char* name : {"Brisquel.jpg", "EmptyTags.jpg"}) {
    SCOPED_TRACE(name);
    ui::TBitmap picture;
    ASSERT_NO_THROW(picture.LoadFromJpegFile(DataFile(name).wstring()));
    EXPECT_EQ(picture.Width(), 400);
    EXPECT_EQ(picture.Height(), 250);
  }
}

}  // namespace
}  // namespace kv
