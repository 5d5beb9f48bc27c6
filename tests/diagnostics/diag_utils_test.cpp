#include "diagnostics/diag_utils.h"

#include <gtest/gtest.h>

#include "diagnostics/diag_errors.h"
#include "diagnostics/diag_streams.h"

namespace kv {
namespace {

TEST(DiagUtils, PathRoutines) {
  struct Case {
    const char* path;
    const char* noExt;
    const char* dirFixed;
    const char* nameNoExt;
  };
  const Case cases[] = {
      {"C:\\Music\\song.mp3", "C:\\Music\\song", "C:\\Music\\", "song"},
      {"C:\\My.Music\\song", "C:\\My.Music\\song", "C:\\My.Music\\", "song"},
      {"C:\\Music\\a.b.mp3", "C:\\Music\\a.b", "C:\\Music\\", "a.b"},
      {"C:song.mp3", "C:song", "C:\\", "song"},
      {"C:\\song.", "C:\\song", "C:\\", "song"},
      {"song", "song", "\\", "song"},
      {"", "", "\\", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(PathRemoveExtension(c.path), c.noExt);
    EXPECT_EQ(PathExtractFileDirFixed(c.path), c.dirFixed);
    EXPECT_EQ(PathExtractFileNameNoExt(c.path), c.nameNoExt);
  }
  EXPECT_EQ(PathAddSeparator(""), "\\");
  EXPECT_EQ(PathAddSeparator("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(PathAddSeparator("C:\\a"), "C:\\a\\");
}

TEST(DiagUtils, ReferenceStreamReadsAndRefusesWrites) {
  const uint8_t block[] = {1, 2, 3, 4, 5};
  TDiagReferenceMemoryStream stream(block, sizeof block);
  uint8_t out[8] = {};
  EXPECT_EQ(stream.Read(out, 3), 3u);
  EXPECT_EQ(stream.Read(out, 8), 2u);
  EXPECT_EQ(out[1], 5);
  stream.Seek(99);
  EXPECT_EQ(stream.Read(out, 1), 0u);
  try {
    stream.Write(out, 1);
    ADD_FAILURE() << "written";
  } catch (const EDiagError& e) {
    EXPECT_STREQ(e.what(), "Can not write to a read-only memory stream");
  }
}

TEST(DiagUtils, Win32ErrorMessageCarriesTheSystemText) {
  const EDiagFileMappingError e(DiagText::kFileMappingFailed, 5, "Access denied.");
  EXPECT_STREQ(e.what(), "Failed to create FileMapping\rWin32: Access denied. (5)");
  EXPECT_EQ(e.ErrorCode(), 5u);
}

}  // namespace
}  // namespace kv
