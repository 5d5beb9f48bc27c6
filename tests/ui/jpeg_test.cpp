#include "ui/jpeg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace kv::ui {
namespace {

std::vector<uint8_t> DataFile(const std::string& name) {
  std::ifstream file(std::string(KV_TEST_SOURCE_DIR) + "/tests/ui/data/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

uint32_t RgbAt(const TRgbImage& image, int x, int y) {
  const uint8_t* p = image.pixels.data() + (size_t(y) * size_t(image.width) + size_t(x)) * 3;
  return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

bool Near(uint32_t a, uint32_t b) {
  for (int shift : {0, 8, 16})
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 4) return false;
  return true;
}

// Sizes and colours as ImageMagick reads the same files.
TEST(Jpeg, DecodesBaselineProgressiveAndGrey) {
  struct Case {
    const char* file;
    int width, height, x, y;
    uint32_t rgb;
  };
  const Case cases[] = {
      {"tip_picture.jpg", 240, 120, 30, 60, 0xD02828},
      {"tip_picture.jpg", 240, 120, 210, 60, 0x2848CF},
      {"tip_picture.jpg", 240, 120, 120, 60, 0xF0D121},
      {"tip_progressive.jpg", 240, 120, 30, 60, 0xD02828},
      {"gray.jpg", 16, 8, 5, 5, 0x808080},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const TRgbImage image = DecodeJpeg(DataFile(c.file));
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.height);
    ASSERT_EQ(image.pixels.size(), size_t(c.width) * size_t(c.height) * 3);
    EXPECT_TRUE(Near(RgbAt(image, c.x, c.y), c.rgb)) << std::hex << RgbAt(image, c.x, c.y);
  }
}

TEST(Jpeg, BrokenPicturesRaiseInsteadOfEndingTheProcess) {
  const std::vector<uint8_t> good = DataFile("tip_picture.jpg");
  ASSERT_GT(good.size(), 1000u);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a'}},
      {"only the start marker", {0xFF, 0xD8, 0xFF, 0xD9}},
  };
  for (size_t cut : {size_t(20), size_t(300), good.size() / 2, good.size() - 40})
    cases.push_back({"cut at " + std::to_string(cut), {good.begin(), good.begin() + long(cut)}});
  std::vector<uint8_t> scrambled = good;
  for (size_t i = 700; i < scrambled.size() - 10; i += 37) scrambled[i] ^= 0x5A;
  cases.push_back({"scrambled entropy data", scrambled});
  std::vector<uint8_t> huge = good;  // the frame header's height and width: 0xFFFF each
  for (size_t i = 2; i + 9 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = huge[i + 6] = huge[i + 7] = huge[i + 8] = 0xFF;
      break;
    }
  cases.push_back({"too large", huge});
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    EXPECT_THROW(DecodeJpeg(bytes), EJpegError);
  }
}

}  // namespace
}  // namespace kv::ui
