#include "diagnostics/diag_utils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

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

TEST(DiagUtils, StringAndIntegerRoutines) {
  EXPECT_EQ(StrRepeat(" ", 11), std::string(11, ' '));
  EXPECT_EQ(StrRepeat("ab", 0), "");
  EXPECT_EQ(StrRepeat("ab", -3), "");
  EXPECT_EQ(StrEnsureSuffix(".", "Text."), "Text.");
  EXPECT_EQ(StrEnsureSuffix(".", "Text"), "Text.");
  std::string cut("ab\0cd", 5);
  StrResetLength(cut);
  EXPECT_EQ(cut, "ab");
  EXPECT_EQ(Max(-5, 3), 3);
  EXPECT_EQ(Max(-5, -7), -5);
  EXPECT_EQ(Min(0xFFFFFFFFu, 1u), 1u);  // unsigned: the largest value is not -1
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

// Two blocks of whole pages: the first readable, the second not.
class HalfReadablePages {
 public:
  static constexpr size_t kHalf = 64 << 10;
  HalfReadablePages() {
#ifdef _WIN32
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * kHalf, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD was = 0;
    if (base_ != nullptr) VirtualProtect(base_ + kHalf, kHalf, PAGE_NOACCESS, &was);
#else
    void* at = mmap(nullptr, 2 * kHalf, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = at == MAP_FAILED ? nullptr : static_cast<uint8_t*>(at);
    if (base_ != nullptr) mprotect(base_ + kHalf, kHalf, PROT_NONE);
#endif
  }
  ~HalfReadablePages() {
#ifdef _WIN32
    if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
#else
    if (base_ != nullptr) munmap(base_, 2 * kHalf);
#endif
  }
  HalfReadablePages(const HalfReadablePages&) = delete;
  HalfReadablePages& operator=(const HalfReadablePages&) = delete;
  uint8_t* Base() const { return base_; }

 private:
  uint8_t* base_ = nullptr;
};

// The block must be readable for its whole size when the stream is made;
// a block that is not fails there, not at a later read.
TEST(DiagUtils, ReferenceStreamChecksItsBlockWhenMade) {
  HalfReadablePages pages;
  ASSERT_NE(pages.Base(), nullptr);
  uint8_t* const readable = pages.Base();
  constexpr size_t kHalf = HalfReadablePages::kHalf;
  const struct {
    const char* what;
    const void* block;
    uint64_t size;
    bool good;
  } cases[] = {
      {"no bytes of no block", nullptr, 0, true},
      {"the readable pages", readable, kHalf, true},
      {"no block", nullptr, 16, false},
      {"running into a page that cannot be read", readable + kHalf - 8, 16, false},
      {"a page that cannot be read", readable + kHalf, 1, false},
      {"past the end of the address space", readable, UINT64_MAX, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      TDiagReferenceMemoryStream stream(c.block, c.size);
      EXPECT_TRUE(c.good) << "made";
    } catch (const std::logic_error& e) {
      EXPECT_FALSE(c.good);
      EXPECT_STREQ(e.what(), "Assertion failed (DiagSysUtils): the block of a read-only memory stream cannot be read");
    }
  }
}

TEST(DiagUtils, Win32ErrorMessageCarriesTheSystemText) {
  const EDiagFileMappingError e(DiagText::kFileMappingFailed, 5, "Access denied.");
  EXPECT_STREQ(e.what(), "Failed to create FileMapping\rWin32: Access denied. (5)");
  EXPECT_EQ(e.ErrorCode(), 5u);
}

}  // namespace
}  // namespace kv
