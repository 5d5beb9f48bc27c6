#include "foundation/uni_file_stream_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "base/ansi_text_win.h"
#include "tests/foundation/foundation_test_util.h"

namespace kv {
namespace {

// Names outside code page 1252: Cyrillic, CJK, and a character beyond the
// basic plane (a surrogate pair).
const wchar_t* const kNames[] = {
    L"\x041C\x0443\x0437\x044B\x043A\x0430.mp3",
    L"\x97F3\x697D\x30D5\x30A1\x30A4\x30EB.mp3",
    L"song \xD834\xDD1E clef.mp3",
};

bool Opens(const std::wstring& name, uint16_t mode) {
  try {
    TUniFileStream s(name, mode);
    return true;
  } catch (const EFOpenError&) {
    return false;
  }
}

TEST(UniFileStream, WideNamesAreCreatedWrittenAndReadInEveryMode) {
  std::vector<uint8_t> data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  TempFolder dir;
  for (const wchar_t* leaf : kNames) {
    const std::wstring name = dir.File(leaf);
    {
      TUniFileStream out(name, kModeCreate);
      EXPECT_EQ(out.Write(data.data(), std::ssize(data)), std::ssize(data));
      EXPECT_EQ(out.Size(), 10000);
      EXPECT_EQ(out.Seek(-100, TSeekOrigin::End), 9900);
      uint8_t tail[200];
      EXPECT_EQ(out.Read(tail, sizeof tail), 100);  // short only at the end
      EXPECT_EQ(tail[0], data[9900]);
    }
    // The name on disk is exactly the wide name.
    WIN32_FIND_DATAW found;
    FindHandle find(FindFirstFileW(name.c_str(), &found));
    ASSERT_TRUE(find);
    EXPECT_EQ(std::wstring(found.cFileName), leaf);

    {
      TUniFileStream in(name, kOpenRead | kShareRead);
      std::vector<uint8_t> back(data.size());
      EXPECT_EQ(in.Read(back.data(), std::ssize(back)), std::ssize(back));
      EXPECT_EQ(back, data);
    }
    {
      TUniFileStream rw(name, kOpenReadWrite | kShareNone);
      rw.Seek(5, TSeekOrigin::Beginning);
      const uint8_t patch[] = {0xAA, 0xBB};
      rw.Write(patch, 2);
      EXPECT_EQ(rw.Position(), 7);
      rw.Seek(4, TSeekOrigin::Beginning);
      std::vector<uint8_t> got(4);
      ASSERT_EQ(rw.Read(got.data(), 4), 4);
      EXPECT_EQ(got, (std::vector<uint8_t>{data[4], 0xAA, 0xBB, data[7]}));
      rw.SetSize(9000);
      EXPECT_EQ(rw.Size(), 9000);
      EXPECT_EQ(rw.Position(), 8);
    }
    {
      // A file stream goes wherever a stream is expected.
      TUniFileStream file(name, kOpenRead | kShareRead);
      TStream& stream = file;
      TMemoryStream copy;
      EXPECT_EQ(copy.CopyFrom(stream, 0), 9000);
      EXPECT_EQ(stream.Handle(), file.Handle());
      EXPECT_NE(stream.Handle(), nullptr);
    }
    {
      TUniFileStream w(name, kOpenWrite | kShareReadWrite);
      uint8_t b;
      EXPECT_THROW(w.Read(&b, 1), std::system_error);  // opened for writing only
    }
    EXPECT_TRUE(DeleteFileW(name.c_str()));
  }
}

TEST(UniFileStream, SharingDecidesWhetherASecondOpenSucceeds) {
  TempFolder dir;
  const std::wstring name = dir.File(kNames[0]);
  { TUniFileStream create(name, kModeCreate); }
  struct Case {
    uint16_t first;
    uint16_t second;
    bool opens;
  } const cases[] = {
      {kOpenRead | kShareRead, kOpenRead | kShareReadWrite, true},
      {kOpenRead | kShareRead, kOpenWrite | kShareReadWrite, false},
      {kOpenRead | kShareNone, kOpenRead | kShareReadWrite, false},
      {kOpenRead, kOpenRead | kShareReadWrite, false},  // sharing 0: none
      {kOpenRead | kShareWrite, kOpenWrite | kShareReadWrite, true},
      {kOpenRead | kShareWrite, kOpenRead | kShareReadWrite, false},
      {kOpenReadWrite | kShareReadWrite, kOpenRead | kShareRead, false},
      {kOpenReadWrite | kShareReadWrite, kOpenReadWrite | kShareReadWrite, true},
  };
  for (const Case& c : cases) {
    TUniFileStream first(name, c.first);
    EXPECT_EQ(Opens(name, c.second), c.opens) << std::hex << c.first << " then " << c.second;
  }
  {
    TUniFileStream exclusive(name, kModeCreate);
    EXPECT_FALSE(Opens(name, kOpenRead | kShareReadWrite));
  }
  // Sharing values above 4 are no sharing mode at all.
  EXPECT_FALSE(Opens(name, kOpenRead | 0x50));
  EXPECT_TRUE(DeleteFileW(name.c_str()));
}

TEST(UniFileStream, FailuresNameTheFullPath) {
  TempFolder dir;
  const std::wstring missing = dir.File(L"absent \x044F.mp3");
  if (const auto e = ThrownBy<EFOpenError>([&] { TUniFileStream s(missing, kOpenRead | kShareRead); })) {
    EXPECT_EQ(std::string(e->what()), "Cannot open file " + WStringToAnsi(WideExpandFileName(missing)));
  }
  const std::wstring noFolder = dir.File(L"no such folder\\new.txt");
  if (const auto e = ThrownBy<EFCreateError>([&] { TUniFileStream s(noFolder, kModeCreate); })) {
    EXPECT_EQ(std::string(e->what()), "Cannot create file " + WStringToAnsi(WideExpandFileName(noFolder)));
  }
  // The full path is not cut at 260 characters.
  const std::wstring longName = L"C:\\" + std::wstring(300, L'x') + L"\\..\\y";
  EXPECT_EQ(WideExpandFileName(longName), L"C:\\y");
  const std::wstring deep = L"C:\\" + std::wstring(250, L'd') + L"\\" + std::wstring(250, L'f');
  EXPECT_EQ(WideExpandFileName(deep), deep);
}

TEST(UniFileStream, PositionsBeyondFourGigabytes) {
  TempFolder dir;
  const std::wstring name = dir.File(L"sparse.bin");
  {
    TUniFileStream s(name, kModeCreate);
    const int64_t beyond = (int64_t{5} << 30) + 17;
    EXPECT_EQ(s.Seek(beyond, TSeekOrigin::Beginning), beyond);
    const uint8_t b = 0x5A;
    s.Write(&b, 1);
    EXPECT_EQ(s.Size(), beyond + 1);
    EXPECT_EQ(s.Seek(-1, TSeekOrigin::Current), beyond);
    uint8_t back = 0;
    EXPECT_EQ(s.Read(&back, 1), 1);
    EXPECT_EQ(back, 0x5A);
    EXPECT_THROW(s.Seek(-1, TSeekOrigin::Beginning), std::system_error);
  }
  EXPECT_TRUE(DeleteFileW(name.c_str()));
}

TEST(UniFileStream, WideStringHelpers) {
  wchar_t buf[8];
  struct Case {
    const wchar_t* source;
    size_t most;
    const wchar_t* copied;
  } const cases[] = {
      {L"abcdef", 0, L""}, {L"abcdef", 3, L"abc"}, {L"ab", 5, L"ab"}, {L"", 4, L""}, {L"abcdefg", 7, L"abcdefg"},
  };
  for (const Case& c : cases) {
    std::fill(std::begin(buf), std::end(buf), L'#');
    EXPECT_EQ(WStrLCopy(buf, c.source, c.most), buf);
    EXPECT_EQ(std::wstring(buf), c.copied);
  }
  const wchar_t* text = L"a\\b\\c";
  EXPECT_EQ(WStrScan(text, L'\\'), text + 1);
  EXPECT_EQ(WStrScan(text, L'z'), nullptr);
  EXPECT_EQ(WStrScan(L"", L'a'), nullptr);
}

TEST(UniFileStream, PathResultsCopiedAsTheWideCallsWould) {
  const std::wstring_view path = L"C:\\ab\\cd\\e.mp3";  // 14 characters
  struct Case {
    DWORD length;
    uint32_t flags;
    DWORD result;
    const wchar_t* buffer;  // as far as the buffer holds text
  } const cases[] = {
      {15, 0, 14, L"C:\\ab\\cd\\e.mp3"},
      {40, kPathEmpty, 14, L"C:\\ab\\cd\\e.mp3"},
      {14, kPathCutLast, 15, L"C:\\ab\\cd\\e.mp"},
      {13, kPathCutLast, 15, L"##############"},
      {14, kPathEmpty, 15, L""},
      {14, 0, 15, L"##############"},
      {0, kPathEmpty, 15, L"##############"},
      {12, kPathSubPaths, 15, L"C:\\ab\\cd\\"},
      {10, kPathSubPaths, 15, L"C:\\ab\\cd\\"},
      {9, kPathSubPaths, 15, L"C:\\ab\\"},
      {4, kPathSubPaths, 15, L"C:\\"},
      {3, kPathSubPaths, 15, L"##############"},
  };
  for (const Case& c : cases) {
    wchar_t buffer[15];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    buffer[14] = L'\0';
    EXPECT_EQ(_HandlePathLengthResult(c.length, buffer, path, c.flags), c.result) << c.length << "/" << c.flags;
    EXPECT_EQ(std::wstring(buffer), c.buffer) << c.length << "/" << c.flags;
  }
  wchar_t exact[6];
  EXPECT_EQ(_HandlePathLengthResult(6, exact, path, kPathExactCopy), 6u);
  EXPECT_EQ(std::wstring(exact, 6), L"C:\\ab\\");

  // The wide calls themselves.
  EXPECT_TRUE(PlatformIsUnicode);
  wchar_t full[MAX_PATH];
  wchar_t* filePart = nullptr;
  const DWORD n = Uni_GetFullPathNameW(L"C:\\x\\..\\y\\song.mp3", MAX_PATH, full, &filePart);
  EXPECT_EQ(std::wstring(full, n), L"C:\\y\\song.mp3");
  EXPECT_EQ(std::wstring(filePart), L"song.mp3");
  // Too small: the size it needs, and an empty text rather than a piece of the path.
  std::fill(std::begin(full), std::end(full), L'Z');
  filePart = full + 1;
  EXPECT_GT(Uni_GetFullPathNameW(L"C:\\y\\song.mp3", 4, full, &filePart), 4u);
  EXPECT_EQ(full[0], L'\0');
  EXPECT_EQ(filePart, nullptr);
  EXPECT_FALSE(Uni_CreateFileW(L"C:\\no such folder\\x", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

}  // namespace
}  // namespace kv
