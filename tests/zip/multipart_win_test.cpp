// Multi-part archives on the Win32 file system, and the "?" dialogs
// answered by the hook.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "tests/zip/zip_test_util.h"
#include "zip/unzipper.h"
#include "zip/zip_errors.h"
#include "zip/zipper.h"

namespace kv {
namespace {

// A blocks set in a folder of the Win32 file system: the parts are written
// under temporary names and moved into place when the set is complete; read
// back part after part by their default names.
TEST(ZipMultiPartWin, BlocksSetOnTheDisk) {
  wchar_t temp[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
  const std::wstring dir = std::wstring(temp) + L"kv-zip-set";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string folder = WStringToAnsi(dir);
  const std::vector<uint8_t> data = test::Random(150000, 9);
  TZipFileSystem& fs = DefaultZipFileSystem();
  EXPECT_FALSE(fs.IsRemovableDrive("C:\\"));
  EXPECT_TRUE(fs.FreeSpace(folder + "\\set.zip").has_value());
  {
    TZipper z;
    z.SetZipName(folder + "\\set.zip");
    z.multiZipInfo.multiMode = TMultiMode::mmBlocks;
    z.multiZipInfo.blockSize = z.multiZipInfo.firstBlockSize = kMinPartSize;
    z.packLevel = 0;
    z.ZipFromBuffer(data.data(), data.size(), "data.bin");
  }
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"set.001", "set.002", "set.zip"}));
  TUnZipper u;
  u.SetZipName(folder + "\\set.zip");
  TMemoryStream out;
  EXPECT_EQ(u.UnZipToStream(out, "data.bin"), 1);
  EXPECT_EQ(u.MultiMode(), TMultiMode::mmBlocks);
  EXPECT_EQ(out.Bytes(), data);
  std::filesystem::remove_all(dir);
}

TEST(ZipMultiPartWin, QuestionMarkDialogsCancelledThroughTheHook) {
  TUnZipper u;
  std::vector<TZipDialog> shown;
  u.dialogHook = [&](const TZipDialog& d) {
    shown.push_back(d);
    return TZipDialogAnswer{};
  };
  EXPECT_THROW(u.SetZipName("C:\\windows\\?"), EUserCanceled);
  EXPECT_THROW(u.SetDestDir("?"), EUserCanceled);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].initialDir, "C:\\windows");  // the name's folder exists
  EXPECT_EQ(shown[1].kind, TZipDialogKind::BrowseFolder);
}

}  // namespace
}  // namespace kv
