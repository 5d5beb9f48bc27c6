#include "diagnostics/diag_file_utils_win.h"

#include <psapi.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "diagnostics/diag_errors.h"
#include "diagnostics/diag_strings_win.h"
#include "tests/diagnostics/diag_test_util.h"
#include "tests/foundation/foundation_test_util.h"

namespace kv {
namespace {

const std::string kFixtures = KV_TEST_BINARY_DIR "/diag_fixtures/";

// A file with the given content in a fresh folder of the test; its path.
class Scratch : public TempFolder {
 public:
  std::string File(const std::string& name, const std::string& content) const {
    std::ofstream(Path() / name, std::ios::binary) << content;
    return (Path() / name).string();
  }
  std::string Folder() const { return Path().string(); }
};

TEST(DiagFileUtils, FileGetSizeReportsSizesFoldersAndAbsence) {
  Scratch scratch;
  EXPECT_EQ(FileGetSize(scratch.File("a.txt", "12345")), 5);
  EXPECT_GE(FileGetSize(scratch.Folder()), 0);
  EXPECT_EQ(FileGetSize(scratch.Folder() + "\\missing.txt"), -1);
  // A size whose low 32 bits are all ones is a size, not absence.
  const std::string big = scratch.File("big.bin", "");
  {
    FileHandle f(CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(f);
    LARGE_INTEGER at;
    at.QuadPart = 0xFFFFFFFFLL;
    ASSERT_TRUE(SetFilePointerEx(f.Get(), at, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(f.Get()));
  }
  EXPECT_EQ(FileGetSize(big), 0xFFFFFFFFll);
}

// Every string of the selected table, as the system's own query sees it.
void ExpectMatchesVerQueryValue(const std::string& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return;
  std::vector<uint8_t> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(file.c_str(), 0, size, block.data()));
  SCOPED_TRACE(file);
  const TDiagFileVersionInfo info = ReadFileVersionInfo(file);
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(info.FixedFileInfo().fileVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(info.FixedFileInfo().fileVersionLS, fixed->dwFileVersionLS);
  TDiagFixedFileInfo copied;
  ASSERT_TRUE(VersionFixedFileInfo(file, copied));
  EXPECT_EQ(copied.productVersionLS, fixed->dwProductVersionLS);
  if (info.LanguageCodePages().empty()) return;
  const uint32_t lc = info.LanguageCodePages()[0];
  for (int key = 1; key <= 12; ++key) {
    char query[96];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", lc & 0xFFFF, lc >> 16, VersionKeyName(key));
    char* text = nullptr;
    UINT chars = 0;
    const std::string expected = VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&text), &chars) && text
                                     ? std::string(text)
                                     : std::string();
    EXPECT_EQ(info.GetVersionKeyValue(key), expected) << VersionKeyName(key);
  }
}

TEST(DiagFileUtils, ParserAgreesWithVerQueryValueForEveryLoadedModule) {
  HMODULE modules[512];
  DWORD needed = 0;
  ASSERT_TRUE(EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &needed));
  const size_t count = std::min<size_t>(needed / sizeof(HMODULE), std::size(modules));
  int withVersion = 0;
  for (size_t i = 0; i < count; ++i) {
    const std::string path = GetModulePath(modules[i]);
    if (!VersionResourceAvailable(path)) continue;
    ++withVersion;
    ExpectMatchesVerQueryValue(path);
  }
  EXPECT_GE(withVersion, 3);
  ExpectMatchesVerQueryValue(kFixtures + "diag_version_ok.dll");
}

TEST(DiagFileUtils, WindresFixtures) {
  const TDiagFileVersionInfo ok(kFixtures + "diag_version_ok.dll");
  EXPECT_EQ(ok.GetBinFileVersion(), "7.6.5.4");
  EXPECT_EQ(ok.GetVersionKeyValue(kVersionCompanyName), "Kelvarin Fixtures");
  EXPECT_EQ(ok.FileFlags(), 2u);
  EXPECT_EQ(ok.Translations(), std::vector<uint32_t>{0x04E40409});

  // A table key of four digits: no strings, the fixed version still there.
  const TDiagFileVersionInfo badKey = ReadFileVersionInfo(kFixtures + "diag_version_badkey.dll");
  EXPECT_TRUE(badKey.Items().empty());
  EXPECT_EQ(badKey.GetBinFileVersion(), "1.2.3.4");

  // The system reads the root of a resource with a value of type 7; the parser refuses it.
  const std::string bad = kFixtures + "diag_version_bad.dll";
  EXPECT_TRUE(VersionResourceAvailable(bad));
  TDiagFixedFileInfo badFixed;
  EXPECT_TRUE(VersionFixedFileInfo(bad, badFixed));
  try {
    ReadFileVersionInfo(bad);
    ADD_FAILURE() << "accepted";
  } catch (const EDiagFileVersionInfoError& e) {
    EXPECT_STREQ(e.what(), "File contains no version information");
  }
  // A file without any version resource.
  Scratch scratch;
  const std::string plain = scratch.File("plain.txt", "text");
  EXPECT_FALSE(VersionResourceAvailable(plain));
  TDiagFixedFileInfo untouched;
  untouched.fileVersionMS = 0x12345678;
  EXPECT_FALSE(VersionFixedFileInfo(plain, untouched));
  EXPECT_EQ(untouched.fileVersionMS, 0x12345678u);
  EXPECT_THROW(ReadFileVersionInfo(plain), EDiagFileVersionInfoError);
  EXPECT_THROW(TDiagFileVersionInfo{plain}, EDiagFileVersionInfoError);
  EXPECT_THROW(TDiagFileVersionInfo{scratch.Folder() + "\\missing.dll"}, std::system_error);
}

TEST(DiagFileUtils, RegistryReadersReturnValuesOfTheRightTypeOnly) {
  const char* kKey = "Software\\KelvarinDiagTest";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD number = 0x0600;
  RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("WinNT"), 6);
  RegSetValueExA(key, "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%TEMP%\0tail"), 12);
  RegSetValueExA(key, "Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>("abcd"), 4);
  RegCloseKey(key);

  EXPECT_EQ(RegReadIntegerDef(HKEY_CURRENT_USER, "\\Software\\KelvarinDiagTest", "Number", 7), 0x0600u);
  EXPECT_EQ(RegReadIntegerDef(HKEY_CURRENT_USER, kKey, "Text", 7), 7u);
  EXPECT_EQ(RegReadIntegerDef(HKEY_CURRENT_USER, kKey, "Missing", 7), 7u);
  EXPECT_EQ(RegReadStringDef(HKEY_CURRENT_USER, kKey, "Text", "def"), "WinNT");
  EXPECT_EQ(RegReadStringDef(HKEY_CURRENT_USER, kKey, "Expand", "def"), "%TEMP%");
  EXPECT_EQ(RegReadStringDef(HKEY_CURRENT_USER, kKey, "Binary", "def"), "def");
  EXPECT_EQ(RegReadStringDef(HKEY_CURRENT_USER, "Software\\KelvarinNoSuchKey", "Text", "def"), "def");
  RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

TEST(DiagFileUtils, FileMappingStream) {
  Scratch scratch;
  const std::string file = scratch.File("map.bin", "0123456789");
  {
    TDiagFileMappingStream stream(file, kOpenRead | kShareRead);
    ASSERT_EQ(stream.Size(), 10u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 10), "0123456789");
    EXPECT_EQ(stream.Write("x", 1), 0u);  // read-only view
    TDiagFileMappingStream second(file, kOpenRead | kShareRead);  // shared reading
    EXPECT_EQ(second.Memory()[0], '0');
  }
  {
    TDiagFileMappingStream stream(file, kOpenReadWrite | kShareNone);
    stream.Seek(8);
    EXPECT_EQ(stream.Write("abc", 3), 0u);  // does not fit: nothing written
    EXPECT_EQ(stream.Write("ab", 2), 2u);
    EXPECT_EQ(stream.Memory()[9], 'b');
    EXPECT_THROW(TDiagFileMappingStream(file, kOpenRead | kShareReadWrite), std::system_error);  // held alone
  }
  EXPECT_THROW(TDiagFileMappingStream(file, kOpenRead | 0x0050), std::system_error);  // no such sharing
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "0123456789");  // copy-on-write

  EXPECT_THROW(TDiagFileMappingStream(scratch.Folder() + "\\missing.bin", kOpenRead), std::system_error);
  try {
    TDiagFileMappingStream stream(scratch.File("empty.bin", ""), kOpenRead);
    ADD_FAILURE() << "mapped an empty file";
  } catch (const EDiagFileMappingError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("Failed to create FileMapping\rWin32: ")) << e.what();
  }
}

TEST(DiagCharTables, HoldTheLocalesTypesAndCasesFromTheStart) {
  const TDiagCharTables& t = DiagCharTables();
  EXPECT_TRUE(t.types['A'] & C1_UPPER);
  EXPECT_TRUE(t.types['z'] & C1_LOWER);
  EXPECT_TRUE(t.types['5'] & C1_DIGIT);
  EXPECT_TRUE(t.types[' '] & C1_SPACE);
  EXPECT_EQ(t.lower['Q'], 'q');
  EXPECT_EQ(t.upper['q'], 'Q');
  EXPECT_EQ(t.swapped['q'], 'Q');
  EXPECT_EQ(t.swapped['Q'], 'q');
  EXPECT_EQ(t.swapped['5'], '5');
  EXPECT_EQ(t.lower['5'], '5');
}

}  // namespace
}  // namespace kv
