#include "wizard/file_mask.h"

#include <gtest/gtest.h>

#include "foundation/regex.h"

namespace kv {
namespace {

bool Matches(const std::string& mask, const std::string& name) {
  TRegex expression;
  expression.SetExpression(MaskToExpression(mask));
  expression.SetModifier(1, true);  // i
  return expression.Exec(name);
}

TEST(FileMask, TheExpressionOfAMask) {
  EXPECT_EQ(MaskToExpression("*.mp3"), "^.*\\.mp3$");
  EXPECT_EQ(MaskToExpression("a?c"), "^a.c$");
  EXPECT_EQ(MaskToExpression("*.*"), "^.*\\..*$");
  EXPECT_EQ(MaskToExpression(""), "^$");
}

TEST(FileMask, NamesAMaskTakesAndLeaves) {
  const struct {
    const char* mask;
    const char* name;
    bool taken;
  } cases[] = {
      {"*.mp3", "song.mp3", true},
      {"*.mp3", "SONG.MP3", true},           // case-insensitive
      {"*.mp3", "song.mp3x", false},         // the whole name: what a short name lets through
      {"*.mp3", "songmp3", false},           // "." is a dot, not any character
      {"*.mp3", "a.mp3.bak", false},
      {"?.wma", "a.wma", true},
      {"?.wma", "ab.wma", false},
      {"*.*", "song.mp3", true},
      {"*.*", "README", false},              // a dot is a dot here too, though the system lists it
      {"*.*", ".hidden", true},
      {"a*.*", "abc", false},
      {"a*.*", "abc.", true},
      {"a*.*", "bc", false},
      {"x.*", "x", false},
      {"x.*", "x.", true},
      {"x.*", "xy", false},
      {"[1] (live)+.mp3", "[1] (live)+.mp3", true},  // operators of expressions are plain characters
      {"[1] (live)+.mp3", "1 live.mp3", false},
      {"a{2}.mp3", "a{2}.mp3", true},
      {"a{2}.mp3", "aa.mp3", false},
      {"^$|#.ogg", "^$|#.ogg", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mask) + " / " + c.name);
    EXPECT_EQ(Matches(c.mask, c.name), c.taken);
  }
}

}  // namespace
}  // namespace kv
