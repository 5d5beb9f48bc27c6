// Multi-part archives on the Win32 file system: drive R: of the test prefix
// is a floppy drive by Wine's drive type setting (tests/zip/multipart.cmake),
// so a set found there is a spanned one; the "?" dialogs answered by the hook.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/zip/zip_test_util.h"
#include "zip/unzipper.h"
#include "zip/zip_errors.h"
#include "zip/zipper.h"

namespace kv {
namespace {

TEST(ZipMultiPartWin, ASetOnARemovableDriveIsSpanned) {
  ASSERT_EQ(GetDriveTypeW(L"R:\\"), static_cast<UINT>(DRIVE_REMOVABLE)) << "the zip_floppy fixture sets R: up";
  TZipFileSystem& fs = DefaultZipFileSystem();
  EXPECT_TRUE(fs.IsRemovableDrive("R:\\"));
  EXPECT_FALSE(fs.IsRemovableDrive("C:\\"));
  ASSERT_TRUE(fs.FreeSpace("R:\\set.zip").has_value());
  // Written as blocks (parts side by side in the folder), read on the
  // floppy drive as a spanned set: each part asked for by the disk box.
  const std::vector<uint8_t> data = test::Random(100000, 9);
  {
    TZipper z;
    z.SetZipName("R:\\set.zip");
    z.multiZipInfo.multiMode = TMultiMode::mmBlocks;
    z.multiZipInfo.blockSize = z.multiZipInfo.firstBlockSize = kMinPartSize;
    z.packLevel = 0;
    z.ZipFromBuffer(data.data(), data.size(), "data.bin");
  }
  ASSERT_TRUE(fs.FileExists("R:\\set.001"));
  TUnZipper u;
  u.SetZipName("R:\\set.zip");
  u.SetCheckDiskLabels(false);
  std::vector<std::string> boxes;
  u.dialogHook = [&](const TZipDialog& d) {
    boxes.push_back(d.text);
    return TZipDialogAnswer{true, {}};
  };
  u.onGetNextDisk = [&](int n, std::string& name) {
    u.DefaultGetNextDisk(n, name);  // the box
    name = TUnZipper::DriveRoot(name) + (n == 2 ? "set.zip" : "set.001");
  };
  TMemoryStream out;
  EXPECT_EQ(u.UnZipToStream(out, "data.bin"), 1);
  EXPECT_EQ(u.MultiMode(), TMultiMode::mmSpan);
  EXPECT_EQ(out.Bytes(), data);
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes[0], "Please insert disk 1 of the multi-disk set.");
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
