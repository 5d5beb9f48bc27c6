#include "foundation/settings_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "base/file_utils_win.h"
#include "base/handle.h"
#include "base/strings.h"
#include "foundation/files_win.h"
#include "foundation/md5.h"
#include "foundation/translate.h"
#include "tests/foundation/foundation_test_util.h"
#include "tests/support/allocation_meter.h"

namespace kv {
namespace {

const std::string kFile =
    "<?xml version=\"1.0\" encoding=\"Windows-1252\" ?>\r\n<XMLConfig><info>kelvarin config file</info>\r\n"
    "<group name=\"Options\">\r\n <group name=\"General\">\r\n  <param name=\"LangFile\">x.lng</param>\r\n"
    " </group>\r\n</group>\r\n<group name=\"Session\">\r\n <param name=\"EmptyTags\">1</param>\r\n"
    " <param name=\"Odd\">abc</param>\r\n <param name=\"Zero\">0</param>\r\n</group>\r\n</XMLConfig>";

// The language table belongs to the process; each test starts and ends without one.
class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLanguage(nullptr);
    SetAppDir(dir.Path().wstring());
  }
  void TearDown() override { SetLanguage(nullptr); }
  TempFolder dir;
};

TEST_F(SettingsFile, AMissingFileIsCreatedFromTheTemplateAtOnceOnlyWhenSaving) {
  const std::wstring path = dir.File(L"a.conf.xml");
  const auto loaded = LoadXMLConfig(path, true);
  EXPECT_EQ(loaded->Info, "foundation_tests config file");
  EXPECT_EQ(StrFromFileW(path), NewSettingsText("foundation_tests config file"));

  const std::wstring other = dir.File(L"b.conf.xml");
  const auto memoryOnly = LoadXMLConfig(other, false);
  EXPECT_EQ(memoryOnly->Info, "foundation_tests config file");
  EXPECT_EQ(dir.Entries(), std::vector<std::wstring>{L"a.conf.xml"});
}

TEST_F(SettingsFile, AFileThatExistsButCannotBeReadIsNeverReplaced) {
  const std::wstring path = dir.File(L"locked.conf.xml");
  WriteFileAtomic(path, kFile);
  {
    const FileHandle lock(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_THROW(LoadXMLConfig(path, true), EOSError);
  }
  EXPECT_EQ(StrFromFileW(path), kFile);

  const std::wstring folder = dir.File(L"folder.conf.xml");
  CreateDirectoryW(folder.c_str(), nullptr);
  EXPECT_THROW(LoadXMLConfig(folder, true), EOSError);
  EXPECT_NE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(dir.Entries().size(), 2u);  // no temporary file left behind
}

TEST_F(SettingsFile, EveryPrefixFailsToLoadAndLeavesTheBytesAlone) {
  const std::wstring path = dir.File(L"p.conf.xml");
  for (size_t n = 0; n < kFile.size(); ++n) {
    const std::string prefix = kFile.substr(0, n);
    WriteFileAtomic(path, prefix);
    if (const auto e = ThrownBy<EParseError>([&] { TConfiger configer(path); })) {
      EXPECT_NE(std::string(e->what()).find("p.conf.xml\" at position "), std::string::npos) << e->what();
      EXPECT_LE(e->Position(), static_cast<int64_t>(n) + 1);
    }
    ASSERT_EQ(StrFromFileW(path), prefix) << n;
  }
  EXPECT_EQ(dir.Entries().size(), 1u);
}

// A failed replace is in files_win_test.cpp; a failed save's state in settings_test.cpp.
TEST_F(SettingsFile, TheConfigerSavesTheWholeFile) {
  const std::wstring path = dir.File(L"s.conf.xml");
  WriteFileAtomic(path, "<?xml version=\"1.0\" encoding=\"Windows-1252\"?><XMLConfig><info>i</info>"
                        "<g n=\"Last\"><p n=\"Dir\">C:\\old</p></g></XMLConfig>");
  TConfiger configer(path);
  configer.SetVal("Last", "Dir", "C:\\new $2");
  configer.Ini().UpdateFile();
  const std::string saved = StrFromFileW(path);
  EXPECT_EQ(saved, configer.Ini().GetXMLText());
  EXPECT_NE(saved.find("<group name=\"Last\">\r\n <param name=\"Dir\">C:\\new $2</param>"), std::string::npos);
  EXPECT_FALSE(configer.Ini().Modified);
  EXPECT_EQ(dir.Entries(), std::vector<std::wstring>{L"s.conf.xml"});
}

// A folder may be named "&lt;": after a restart the setting still names it.
TEST_F(SettingsFile, AFolderNamedLikeAnEntityComesBackAfterARestart) {
  const std::wstring path = dir.File(L"f.conf.xml");
  std::string folders;
  for (const wchar_t* name : {L"&lt;", L"a&gt;b&amp;"}) {
    ASSERT_TRUE(CreateDirectoryW(dir.File(name).c_str(), nullptr));
    folders += WStringToAnsi(dir.File(name)) + "\r\n";
  }
  {
    TConfiger configer(path);
    configer.SetVal("Last", "TreeSelection", folders);
    configer.Ini().UpdateFile();
  }
  TConfiger restarted(path);
  const std::string read = restarted.GetVal("Last", "TreeSelection");
  EXPECT_EQ(read, folders);
  std::vector<std::string> lines;
  Separate(read, "\r\n", lines);
  for (const std::string& folder : lines)
    if (!folder.empty()) {
      EXPECT_TRUE(DirectoryExists(folder)) << folder;
    }
}

TEST_F(SettingsFile, AFileOverTheSizeLimitIsRefusedUnreadAndKept) {
  const std::wstring path = dir.File(L"big.conf.xml");
  const std::string big = kFile.substr(0, kFile.size() - 12) + std::string(kMaxSettingsFileSize, ' ') + "</XMLConfig>";
  WriteFileAtomic(path, big);
  test::AllocationMeter meter;
  const auto e = ThrownBy<EOSError>([&] { LoadXMLConfig(path, true); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->what(), "The settings file \"" + WStringToAnsi(path) + "\" is larger than 4194304 bytes");
  EXPECT_LT(meter.Peak(), 65536u);  // refused before reading
  EXPECT_EQ(StrFromFileW(path), big);
}

// A file in the short tag forms, under the limit, comes back in the long
// forms at about twice its size: such a save is refused with the limit named,
// the file stays as it was and still loads; a save that fits goes through.
TEST_F(SettingsFile, ASaveThatTheNextStartWouldRefuseKeepsTheFile) {
  const std::wstring path = dir.File(L"short.conf.xml");
  std::string params;
  for (int i = 0; params.size() < (size_t{3} << 20); ++i) params += "<p n=\"k" + std::to_string(i) + "\">1</p>";
  const std::string shortForm = kFile.substr(0, kFile.size() - 12) + params + "</XMLConfig>";
  ASSERT_LT(shortForm.size(), static_cast<size_t>(kMaxSettingsFileSize));
  WriteFileAtomic(path, shortForm);
  {
    TConfiger configer(path);
    EXPECT_EQ(configer.GetVal("Options", "General.LangFile"), "x.lng");
    configer.SetVal("Session", "EmptyTags", "0");
    const auto e = ThrownBy<EOSError>([&] { configer.Ini().UpdateFile(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Code(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
    const std::string what = e->what();
    EXPECT_EQ(what.find("The settings take "), 0u) << what;
    EXPECT_NE(what.find(" bytes, more than the 4194304 bytes a settings file may have; \"" + WStringToAnsi(path) +
                        "\" was kept as it was"),
              std::string::npos)
        << what;
    EXPECT_TRUE(configer.Ini().Modified);
  }
  EXPECT_EQ(StrFromFileW(path), shortForm);
  LoadXMLConfig(path, true);  // the next start reads it

  const std::wstring small = dir.File(L"small.conf.xml");
  WriteFileAtomic(small, kFile);
  TConfiger configer(small);
  configer.SetVal("Session", "Big", std::string(size_t{1} << 20, 'v'));
  configer.Ini().UpdateFile();
  EXPECT_EQ(TConfiger(small).GetVal("Session", "Big").size(), size_t{1} << 20);
}

// A save keeps a read-only file as it is (as Windows refuses to replace it)
// and removes the temporary files a killed save left in the folder.
TEST_F(SettingsFile, SavingKeepsAReadOnlyFileAndClearsStaleTemporaryFiles) {
  const std::wstring path = dir.File(L"r.conf.xml");
  WriteFileAtomic(path, kFile);
  WriteFileAtomic(dir.File(L"~kv0BADF00D.tmp"), "left by a killed save");
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  {
    TConfiger configer(path);
    configer.SetVal("Session", "EmptyTags", "0");
    const auto e = ThrownBy<EOSError>([&] { configer.Ini().UpdateFile(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Code(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(e->what(), "Cannot create file \"" + WStringToAnsi(path) + "\". " + SystemErrorText(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(StrFromFileW(path), kFile);
  EXPECT_NE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(dir.Entries(), std::vector<std::wstring>{L"r.conf.xml"});
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SettingsFile, TheConfigerReadsFlagsAndLoadsTheLanguageItNames) {
  WriteFileAtomic(dir.File(L"x.lng"), "[Messages]\r\n" + ToHex(GetMD5("Syntax error")) + "=Fehler\r\n");
  const std::wstring path = dir.File(L"c.conf.xml");
  WriteFileAtomic(path, kFile);
  TConfiger configer(path);
  ASSERT_NE(Language(), nullptr);
  EXPECT_EQ(Language()->LanguageFile(), AppDir() + "\\x.lng");
  EXPECT_EQ(Translate("Syntax error"), "Fehler");

  const struct {
    const char* key;
    bool flag;
  } flags[] = {{"EmptyTags", true}, {"emptytags", true}, {"Odd", false}, {"Zero", false}, {"Missing", false}};
  for (const auto& f : flags) EXPECT_EQ(configer.GetFlag("SESSION", f.key), f.flag) << f.key;
  configer.SetFlag("Session", "Zero", true);
  configer.SetFlag("Session", "EmptyTags", false);
  EXPECT_EQ(configer.GetVal("Session", "Zero"), "1");
  EXPECT_EQ(configer.GetVal("Session", "EmptyTags"), "0");

  SetLanguage(nullptr);
  const std::wstring plain = dir.File(L"plain.conf.xml");
  TConfiger withDefault(plain);
  ASSERT_NE(Language(), nullptr);
  EXPECT_EQ(Language()->LanguageFile(), AppDir() + "\\default.lng");
}

}  // namespace
}  // namespace kv
