#include "wizard/scan_paths_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "base/ansi_text_win.h"
#include "base/file_utils_win.h"
#include "tests/foundation/foundation_test_util.h"

namespace kv {
namespace {

TEST(ScanPaths, NonAnsiFoldersTravelInTheirShortFormAndComeBackLong) {
  TempFolder folder;
  const std::wstring plain = folder.File(L"Caf\u00e9 Music");
  const std::wstring foreign = folder.File(L"\u0416\u0443\u043a \u97f3\u697d");
  ASSERT_TRUE(CreateDirectoryW(plain.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(foreign.c_str(), nullptr));

  // A name of code page 1252 stays as it is.
  EXPECT_EQ(ScanPathOf(plain), WStringToAnsi(plain));
  EXPECT_EQ(ExpandStoredPath(ScanPathOf(plain)), plain);

  // Another one goes as its short form, which exists and reads back long.
  const std::string stored = ScanPathOf(foreign);
  EXPECT_EQ(stored.find('?'), std::string::npos) << stored;
  EXPECT_TRUE(DirectoryExists(stored)) << stored;
  EXPECT_EQ(ExpandStoredPath(stored), foreign);

  // A stored path that is gone comes back as it was stored.
  EXPECT_EQ(ExpandStoredPath("C:\\gone\\AB~1"), L"C:\\gone\\AB~1");
}

}  // namespace
}  // namespace kv
