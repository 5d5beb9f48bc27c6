// Shortening texts to a width: prefix or suffix with the ellipsis, nothing
// when even the ellipsis does not fit.

#include "treeview/shorten_text.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

// Every character 7 pixels wide, a dot 3.
int Measure(std::u16string_view s) {
  int w = 0;
  for (char16_t c : s) w += c == u'.' ? 3 : 7;
  return w;
}

TEST(ShortenText, KeepsTheLongestFittingPart) {
  const std::function<int(std::u16string_view)> measure = Measure;
  struct Row { int width; bool rtl; const char16_t* expected; };
  const Row rows[] = {
      {9 + 7 * 3, false, u"abc..."},   // exactly three characters and the ellipsis
      {9 + 7 * 3 - 1, false, u"ab..."},
      {9 + 7 * 3, true, u"...efg"},
      {10, false, u"..."},               // only the ellipsis fits
      {9, false, u""},                   // the ellipsis is not narrower than the cell
      {0, false, u""},
      {1000, false, u"abcdefg..."},      // the caller shortens only texts that do not fit
  };
  for (const Row& r : rows)
    EXPECT_EQ(ShortenText<char16_t>(u"abcdefg", r.width, 0, r.rtl, measure), r.expected) << r.width;
  EXPECT_EQ(ShortenText<char16_t>(u"", 100, 0, false, measure), u"");
  // A given ellipsis width is used as it is.
  EXPECT_EQ(ShortenText<char16_t>(u"abcdefg", 30, 16, false, measure), u"ab...");
}

}  // namespace
}  // namespace kv
