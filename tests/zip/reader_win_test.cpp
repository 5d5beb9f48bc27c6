// The reader on the Win32 file system: archives and destinations with
// non-ASCII and non-ANSI names, and the share mode of an archive held open.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "base/handle.h"
#include "tests/zip/zip_test_util.h"
#include "zip/unzipper.h"
#include "zip/zip_errors.h"
#include "zip/zip_support.h"

namespace kv {
namespace {

std::wstring TempFolder(const wchar_t* leaf) {
  wchar_t buf[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, buf);
  std::wstring dir = std::wstring(buf) + leaf;
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

void WriteWide(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  FileHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(h);
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
}

std::string Ansi(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  return s;
}

TEST(ZipReaderWin, NonAsciiArchiveAndEntryNames) {
  UseSystemOemConversion();
  const std::wstring dir = TempFolder(L"kv-zip-d\u00e9j\u00e0");
  const std::wstring zip = dir + L"\\caf\u00e9.zip";
  WriteWide(zip, test::BuildZip({{"Caf\xE9\\na\xEFve.txt", test::Bytes("accents")}, {"plain.txt", test::Bytes("p")}}));

  TUnZipper unzip;
  unzip.SetZipName(Ansi(zip));
  TMemoryStream out;
  EXPECT_EQ(unzip.UnZipToStream(out, "caf\xE9\\*"), 1);
  EXPECT_EQ(out.Text(), "accents");

  unzip.SetDestDir(Ansi(dir + L"\\out"));
  unzip.recreateDirs = true;
  unzip.doAll = true;
  unzip.overwriteMode = TUZOverwriteMode::Always;
  EXPECT_EQ(unzip.UnZip(), 2);
  const std::wstring extracted = dir + L"\\out\\Caf\u00e9\\na\u00efve.txt";
  EXPECT_NE(GetFileAttributesW(extracted.c_str()), INVALID_FILE_ATTRIBUTES);
  std::filesystem::remove_all(dir);
}

TEST(ZipReaderWin, NonAnsiPathThroughItsShortName) {
  // A folder name the ANSI code page cannot spell is reached by its 8.3 name.
  const std::wstring dir = TempFolder(L"kv-zip-\u0416\u0443\u043a");
  const std::wstring zip = dir + L"\\\u043c\u0443\u0437\u044b\u043a\u0430.zip";
  WriteWide(zip, test::BuildZip({{"a.txt", test::Bytes("wide")}}));
  wchar_t shortPath[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(zip.c_str(), shortPath, MAX_PATH);
  const std::string ansi = Ansi(shortPath);
  if (n == 0 || ansi.find('?') != std::string::npos) GTEST_SKIP() << "no short names on this volume";
  TUnZipper unzip;
  unzip.SetZipName(ansi);
  TMemoryStream out;
  EXPECT_EQ(unzip.UnZipToStream(out, "a.txt"), 1);
  EXPECT_EQ(out.Text(), "wide");
  std::filesystem::remove_all(dir);
}

TEST(ZipReaderWin, ArchiveHeldOpenRefusesWriters) {
  const std::wstring dir = TempFolder(L"kv-zip-share");
  const std::wstring zip = dir + L"\\held.zip";
  WriteWide(zip, test::BuildZip({{"a.txt", test::Bytes("x")}}));
  {
    TUnZipper unzip;
    unzip.keepZipOpen = true;
    unzip.SetZipName(Ansi(zip));
    unzip.ReadZip();
    FileHandle writer(CreateFileW(zip.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    FileHandle reader(CreateFileW(zip.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(reader);
    reader.Reset();
    unzip.ClearZip();  // closes the archive whatever keepZipOpen says
    FileHandle after(CreateFileW(zip.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(after);
  }
  std::filesystem::remove_all(dir);
}

TEST(ZipSupportWin, StringResourceHoldsTheStreamMessages) {
  for (const auto& [id, text] : StreamMessageTable()) EXPECT_EQ(LoadResourceString("S_STREAM", id), text) << id;
  EXPECT_EQ(LoadResourceString("S_STREAM", 99), "");
  EXPECT_THROW(LoadResourceString("S_NONE", 1), EZipResourceError);
}

TEST(ZipSupportWin, TemporaryFilesAreNewAndUniqueInTheFolderGiven) {
  const std::wstring dir = TempFolder(L"kv-zip-tempname");
  const std::string folder = Ansi(dir);
  const std::string a = TempFileName(folder), b = TempFileName(folder);
  EXPECT_NE(a, b);
  for (const std::string& name : {a, b}) {
    EXPECT_EQ(name.rfind(folder + "\\~kv", 0), 0u) << name;
    EXPECT_EQ(std::filesystem::file_size(name), 0u) << name;
  }
  EXPECT_THROW(TempFileName(folder + "\\missing"), EZipFileOpenError);
  std::filesystem::remove_all(dir);
}

// The hard scan of an archive without its end record shows the hourglass,
// and the cursor it replaced comes back afterwards.
TEST(ZipReaderWin, TheHardScanShowsTheHourglass) {
  const std::wstring dir = TempFolder(L"kv-zip-scan");
  const std::wstring zip = dir + L"\\scan.zip";
  std::vector<uint8_t> bytes(30000, 'j');  // the scan looks for the first header past these
  std::vector<uint8_t> zipped = test::BuildZip({{"big", std::vector<uint8_t>(4000, 'x')}});
  zipped.resize(test::EndRecordAt(zipped));
  bytes.insert(bytes.end(), zipped.begin(), zipped.end());
  WriteWide(zip, bytes);
  const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
  const HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
  SetCursor(arrow);
  TUnZipper unzip;
  unzip.incompleteZipMode = TIncompleteZipMode::izAssumeBad;
  std::vector<bool> waiting;
  unzip.onProcessMessages = [&] { waiting.push_back(GetCursor() == wait); };
  unzip.SetZipName(Ansi(zip));
  unzip.ReadZip();
  EXPECT_TRUE(unzip.HardScanned());
  ASSERT_FALSE(waiting.empty());
  EXPECT_EQ(std::count(waiting.begin(), waiting.end(), false), 0);
  EXPECT_EQ(GetCursor(), arrow);
  std::filesystem::remove_all(dir);
}

// The question for the next disk of a spanned set shows the normal arrow,
// also inside an hourglass, which comes back afterwards.
TEST(ZipReaderWin, TheNextDiskQuestionShowsTheNormalCursor) {
  const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
  const HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
  SetCursor(wait);
  TUnZipper unzip;
  unzip.SetMultiMode(TMultiMode::mmSpan);
  std::vector<bool> normal;
  unzip.dialogHook = [&](const TZipDialog& d) {
    normal.push_back(GetCursor() == arrow);
    EXPECT_EQ(d.text, "Please insert disk 2 of the multi-disk set.");
    return TZipDialogAnswer{true, {}};
  };
  std::string name = "A:\\set.zip";
  unzip.DefaultGetNextDisk(2, name);
  EXPECT_EQ(name, "A:\\set.zip");
  EXPECT_EQ(normal, std::vector<bool>{true});
  EXPECT_EQ(GetCursor(), wait);
  SetCursor(arrow);
}

}  // namespace
}  // namespace kv
