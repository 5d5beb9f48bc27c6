#include "foundation/translate.h"

#include <gtest/gtest.h>

#include "base/strings.h"
#include "foundation/md5.h"

namespace kv {
namespace {

std::string KeyOf(const std::string& english) { return ToHex(GetMD5(english)); }

class TranslateTest : public ::testing::Test {
 protected:
  void TearDown() override { SetLanguage(nullptr); }
};

TEST_F(TranslateTest, WithoutALanguageTheEnglishTextGetsItsParameters) {
  EXPECT_EQ(Translate("Syntax error"), "Syntax error");
  EXPECT_EQ(Translate("File $1 not found", "a.mp3"), "File a.mp3 not found");
  EXPECT_EQ(Translate("$1 of $2", "3\r\n7"), "3 of 7");
  EXPECT_EQ(Translate("$1|$2|$3", "a\r\n\r\nc"), "a||c");   // an empty middle line counts
  EXPECT_EQ(Translate("$1|$2", "a\r\n"), "a|$2");            // a final CR LF adds none
  EXPECT_EQ(Translate("$1", ""), "$1");
}

TEST_F(TranslateTest, FillsInOnePassWithoutRescanningInsertedText) {
  EXPECT_EQ(Translate("[$1] [$2]", "has $2 inside\r\nsecond"), "[has $2 inside] [second]");
  EXPECT_EQ(Translate("$1$1", "$1"), "$1$1");
  std::string ten;
  for (int i = 1; i <= 10; ++i) ten += "p" + std::to_string(i) + "\r\n";
  EXPECT_EQ(Translate("$10/$1", ten), "p10/p1");
  EXPECT_EQ(Translate("$10", "x"), "x0");  // only one parameter: "$1" then "0"
  EXPECT_EQ(Translate("cost $", "x"), "cost $");
  EXPECT_EQ(Translate("$01 $0 $1", "x"), "$01 $0 x");  // no parameter has a leading zero
}

TEST_F(TranslateTest, LooksUpTheDigestOfTheEnglishText) {
  SetLanguage(std::make_unique<TLanguage>(
      "test.lng", std::vector<std::string>{KeyOf("Syntax error") + "=Syntaxfehler",
                                           AsciiUpper(KeyOf("File $1 not found")) + "=Datei $1 fehlt",
                                           KeyOf("Dropped $1 and $2") + "=Nur $2",
                                           KeyOf("Empty") + "=", "no equals sign"}));
  EXPECT_EQ(Translate("Syntax error"), "Syntaxfehler");
  EXPECT_EQ(Translate("File $1 not found", "x.ogg"), "Datei x.ogg fehlt");
  EXPECT_EQ(Translate("Dropped $1 and $2", "a\r\nb"), "Nur b");
  EXPECT_EQ(Translate("Empty"), "Empty");
  EXPECT_EQ(Translate("Unknown"), "Unknown");
  // Keys compare without regard to letter case.
  std::string lower = KeyOf("Syntax error");
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(Language()->TranslateUserMessage(lower), "Syntaxfehler");
}

}  // namespace
}  // namespace kv
