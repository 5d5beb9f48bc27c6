#include "wizard/html_report_win.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/file_replacement_win.h"
#include "tests/wizard/wizard_test_util.h"

namespace kv {
namespace {

class ExportReportTest : public test::WizardFixture {
 protected:
  std::unique_ptr<TMP3Info> Row(int32_t tag, const char* title) {
    auto r = std::make_unique<TMP3Info>();
    r->Tag = tag;
    r->SetTagPart(kTagArtist, "Band");
    r->SetTagPart(kTagTitle, title);
    return r;
  }
  int TempFiles() const {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
      n += entry.path().filename().wstring().rfind(kTempPrefix, 0) == 0;
    return n;
  }
};

TEST_F(ExportReportTest, ReplacesTheFileInOneStepAndOpensIt) {
  const std::string target = (folder.Path() / "report.htm").string();
  test::WriteWhole(target, "old report");
  auto a = Row(1, "<One>"), b = Row(2, "Two");
  ExportReport(target, {a.get(), b.get()});
  const std::string page = test::ReadWhole(target);
  EXPECT_EQ(page.rfind("<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">", 0), 0u);
  EXPECT_NE(page.find("<b>Band - &lt;One&gt;</b>"), std::string::npos);
  EXPECT_NE(page.find("class=\"even\""), std::string::npos);
  EXPECT_EQ(opened, (std::vector<std::string>{target}));
  EXPECT_EQ(verbs, (std::vector<std::string>{""}));  // its program's default action
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(ExportReportTest, AFailedWriteKeepsTheOldFileAndOpensNothing) {
  const std::string target = (folder.Path() / "locked.htm").string();
  test::WriteWhole(target, "old report");
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
  auto a = Row(1, "One");
  EXPECT_THROW(ExportReport(target, {a.get()}), EReplaceError);
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(test::ReadWhole(target), "old report");
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(TempFiles(), 0);
  // A folder that does not exist: the same.
  EXPECT_THROW(ExportReport((folder.Path() / "none" / "r.htm").string(), {a.get()}), EReplaceError);
  EXPECT_TRUE(opened.empty());
}

}  // namespace
}  // namespace kv
