#include "wizard/stored_paths.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(StoredPaths, CodePagePathsStayAsTheyWereAndOthersComeBackExactly) {
  // As older versions stored them: ANSI text.
  EXPECT_EQ(StoredPathText(u"C:\\Music\\Caf\u00e9\\"), "C:\\Music\\Caf\xE9\\");
  EXPECT_EQ(StoredPathValue("C:\\Music\\Caf\xE9\\"), u"C:\\Music\\Caf\u00e9\\");
  EXPECT_EQ(StoredPathValue("C:\\PROGRA~1"), u"C:\\PROGRA~1");  // a short form is the caller's to expand
  EXPECT_FALSE(IsUtf8StoredPath("C:\\Music"));

  const std::u16string others[] = {
      u"D:\\\u041c\u0443\u0437\u044b\u043a\u0430\\\u0420\u043e\u043a\\",  // Cyrillic
      u"D:\\\u0141\u00f3d\u017a Kolekcja",                                 // Polish (best fit would give "Lodz")
      u"\\\\server\\\u65e5\u672c\u306e\u97f3\u697d\\\u03a9",               // CJK, Greek, a network path
      u"E:\\\U0001F3B5",                                                     // a surrogate pair
  };
  for (const std::u16string& path : others) {
    const std::string stored = StoredPathText(path);
    EXPECT_TRUE(IsUtf8StoredPath(stored));
    EXPECT_EQ(stored.find('?'), std::string::npos);
    EXPECT_EQ(StoredPathValue(stored), path);
  }
  EXPECT_EQ(StoredPathText(u"D:\\\u0416"), "\xEF\xBB\xBF" "D:\\\xD0\x96");
}

}  // namespace
}  // namespace kv
